#pragma once

#include "browser/CatalogueDialogs.h"

#include <QString>

#include <functional>
#include <vector>

class CDbDatabase;
class CMirrowelDoc;
class CUserInteraction;

// The groups, catalogues and folders of the open database: their dialogs' logic (filled from and
// returned through the plain dialog structs), the checks that keep names and locations sound, the
// lookups by identifier, and handing a catalogue to the synchronizer.
class CCatalogueStore final
{
public:
    explicit CCatalogueStore(CMirrowelDoc& doc);
    CCatalogueStore(const CCatalogueStore&) = delete;
    CCatalogueStore& operator=(const CCatalogueStore&) = delete;

    // Shows the "File Problems" list; by default a message box.
    void SetFileProblemsHandler(std::function<void(const QString&, const std::vector<CFileProblem>&)> handler)
    {
        m_fnFileProblems = std::move(handler);
    }

    std::vector<GroupChoice> GroupParentChoices(qint32 excludedGroupId = -1);
    bool NewGroup(qint32& parentGroupId, qint32& newGroupId, const DialogFunction<CGroupDialogData>& dialog);
    bool GroupProperties(qint32 groupId, const DialogFunction<CGroupDialogData>& dialog);
    qint32 NewCatalogue(qint32& parentGroupId, const QString& initialLocation,
                        const DialogFunction<CCatalogueDialogData>& dialog);
    bool CatalogueProperties(qint32 catalogueId, int& stateImage,
                             const DialogFunction<CCatalogueDialogData>& dialog);
    // Fills the location and what is read from its volume, as setting it in the dialog does.
    void SetCatalogueDialogLocation(CCatalogueDialogData& data, const QString& location);
    // The dialog's OK checks; false (having told the person) keeps the dialog open.
    bool ValidateCatalogueDialog(qint32 catalogueId, CCatalogueDialogData& data);
    qint32 NewRelativePath(qint32 catalogueId, QString& folder,
                           const DialogFunction<CRelativePathDialogData>& dialog);
    bool RelativePathProperties(qint32 catalogueId, qint32& relativePathId, QString& newFolder,
                                const DialogFunction<CRelativePathDialogData>& dialog);
    void SynchronizeCatalogue(qint32 catalogueId);
    void UpdateCatalogueTTH(qint32 catalogueId);

    // Lookups by identifier: 0 or "" when there is no such row.
    QString GetGroupNameFromGroupId(qint32 groupId);
    qint32 GetParentGroupFromGroup(qint32 groupId);
    qint32 GetParentGroupFromCatalogueId(qint32 catalogueId);
    qint32 GetCatalogueIdFromCatalogueName(const QString& name);
    qint32 GetCatalogueIdFromFileId(qint32 fileId);
    qint32 GetRelativePathIdFromFileId(qint32 fileId);
    QString GetCatalogueNameFromCatalogueId(qint32 catalogueId);

private:
    CDbDatabase& Db();
    bool ValidateRelativePathDialog(qint32 catalogueId, const CRelativePathDialogData& data,
                                    const QString& openedFolder, qint32 relativePathId, qint32& existingId);
    void WriteCatalogueUserSelect(qint32 catalogueId, bool exclude);
    // Shows the group dialog until it is cancelled or holds a name and an allowed parent.
    bool ShowGroupDialog(CGroupDialogData& data, const DialogFunction<CGroupDialogData>& dialog,
                         const QString& caption);

    CMirrowelDoc& m_doc;
    CUserInteraction& m_ui;
    std::function<void(const QString&, const std::vector<CFileProblem>&)> m_fnFileProblems;
};
