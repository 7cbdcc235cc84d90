#pragma once

#include "browser/CatalogueDialogs.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CDbDatabase;
class CDbValue;
class CQueryOutput;
class CDbRetryPolicy;
class CSynchLauncher;
class CUserInteraction;
class QTimer;

// Update hints the document sends its views.
enum : int
{
    HINT_SAVED_EDITS = 5,
    HINT_CLOSING = 6,
    HINT_CURRENT_FILE = 7,
    HINT_QUERY_RUN = 10,
    HINT_REFRESHING = 12,
};

// The browser's document: the one open catalogue database and the services every part of the
// browser uses on it: creating, opening, closing and compacting databases, identifiers,
// parameters, lookups by identifier, the current file and its pending edits, groups, catalogues
// and folders, and handing catalogues to the synchronizer. No widgets: it talks to the person
// through the interaction it is given, and to its views through signals.
class CMirrowelDoc final : public QObject
{
    Q_OBJECT

public:
    static constexpr double kVersion = 1.004;

    explicit CMirrowelDoc(CUserInteraction& ui, QObject* parent = nullptr);
    ~CMirrowelDoc() override;

    // The program's one document (null when there is none).
    static CMirrowelDoc* Instance();

    // The person the per-user rows belong to: the login name unless set otherwise.
    void SetUserName(const QString& userName);
    QString UserName() const { return m_strUserName; }
    QString QuotedUserName() const;

    // Who receives command lines for the synchronizer (by default, quarranesynch beside us).
    void SetSynchLauncher(CSynchLauncher* launcher);
    CSynchLauncher* SynchLauncher();
    // Loads the catalogue and query browsers after an open; false makes the open fail.
    void SetBrowserLoader(std::function<bool()> loader) { m_fnLoadBrowsers = std::move(loader); }
    // Shows the "File Problems" list; by default a message box.
    void SetFileProblemsHandler(std::function<void(const QString&, const std::vector<CFileProblem>&)> handler)
    {
        m_fnFileProblems = std::move(handler);
    }

    // Lifecycle.
    // New: chosenPath is the save dialog's answer (nothing when cancelled).
    bool NewDatabase(const std::optional<QString>& chosenPath, bool bStartingUp = false);
    bool OpenDatabase(const QString& path);
    bool CloseDatabase();
    // The Close command (also the first step of New and Open while a database is open): close,
    // then compact when CompactOnExit is set.
    bool CloseCommand();
    // The Compact Database command: close, compact, open again.
    bool CompactDatabaseCommand();
    // Compacts (repairs) the database file at path, which must not be open here.
    bool CompactDatabase(const QString& path);

    bool IsOpen() const;
    QString Path() const { return m_strPath; }
    QString Title() const { return m_strTitle; }
    CDbDatabase* Database();
    CDbRetryPolicy& RetryPolicy() { return *m_pPolicy; }
    CUserInteraction& Interaction() { return m_ui; }
    bool CompactOnExit();

    // Identifiers and parameters.
    qint32 GetNewRecSetId(const QString& name);
    QString GetDatabaseParameter(const QString& name);
    bool SetDatabaseParameter(const QString& name, const QString& value);
    double GetDatabaseVersion();

    // Lookups by identifier: 0 or "" when there is no such row.
    QString GetGroupNameFromGroupId(qint32 groupId);
    qint32 GetParentGroupFromGroup(qint32 groupId);
    qint32 GetParentQueryGroupFromQueryGroup(qint32 groupId);
    qint32 GetParentGroupFromCatalogueId(qint32 catalogueId);
    qint32 GetCatalogueIdFromCatalogueName(const QString& name);
    qint32 GetCatalogueIdFromFileId(qint32 fileId);
    qint32 GetRelativePathIdFromFileId(qint32 fileId);
    QString GetCatalogueNameFromCatalogueId(qint32 catalogueId);

    // The current file and its pending edits.
    void MoveToRecord(qint32 fileId, bool bForce);
    qint32 CurrentFileId() const { return m_lCurrentFileId; }
    // The details form's texts changed.
    void SetDetailsFormText(const QString& description, const QString& notes);
    void SetAttributePending(bool pending) { m_bAttributePending = pending; }
    bool NavigatingAway();
    // Save Changes (Ctrl+S).
    void SaveChanges();

    // Groups, catalogues and folders.
    std::vector<GroupChoice> GroupParentChoices(qint32 excludedGroupId = -1);
    bool NewGroup(qint32& parentGroupId, qint32& newGroupId, const DialogFunction<CGroupDialogData>& dialog);
    bool GroupProperties(qint32 groupId, const DialogFunction<CGroupDialogData>& dialog);
    qint32 NewCatalogue(qint32& parentGroupId, const QString& initialLocation,
                        const DialogFunction<CCatalogueDialogData>& dialog);
    bool CatalogueProperties(qint32 catalogueId, int& stateImage, const DialogFunction<CCatalogueDialogData>& dialog);
    // Fills the location and what is read from its volume, as setting it in the dialog does.
    void SetCatalogueDialogLocation(CCatalogueDialogData& data, const QString& location);
    // The dialog's OK checks; false (having told the person) keeps the dialog open.
    bool ValidateCatalogueDialog(qint32 catalogueId, CCatalogueDialogData& data);
    qint32 NewRelativePath(qint32 catalogueId, QString& folder, const DialogFunction<CRelativePathDialogData>& dialog);
    bool RelativePathProperties(qint32 catalogueId, qint32& relativePathId, QString& newFolder,
                                const DialogFunction<CRelativePathDialogData>& dialog);
    void SynchronizeCatalogue(qint32 catalogueId);
    void UpdateCatalogueTTH(qint32 catalogueId);

    // Runs the script of a Query row for the current user: its steps in order (stored action
    // queries, the duplicate routine), with progress, Esc between steps and the retry rules, then
    // hands the output query to the query output. False when the run was cancelled or given up.
    bool ExecuteQuery(qint32 queryId);
    void SetQueryOutput(CQueryOutput* output) { m_pQueryOutput = output; }
    // The QueryId of a query name (without regard to case), 0 when there is none.
    qint32 QueryIdFromName(const QString& queryName);

    // Queries: in every group of identical files (size and TTH) among the user's query-marked
    // files whose copies are all checked, unchecks those on CD-ROMs and ghosts, or else the copy
    // with the highest keep priority, so that one copy of each file survives a delete.
    void UnmarkAtLeastOneDuplicate();

    // Refreshes a catalogue after a delay (8000 ms after starting the synchronizer, 5000 ms after
    // its advise data); pending refreshes end with the document.
    void ScheduleCatalogueRefresh(qint32 catalogueId, int delayMs);
    int PendingRefreshCount() const;

signals:
    void updateHint(int code, qint64 value);
    void titleChanged(const QString& title);
    void statusText(const QString& text);
    // The refresh of a catalogue's item after the synchronizer worked on it.
    void catalogueChanged(qint32 catalogueId);
    // A query run ended without being cancelled (the main window flashes).
    void queryFinished(qint32 queryId);

private:
    void SetTitle(const QString& title);
    bool NavigatingAway(qint32 fileId);
    // The first value of a one-row lookup by one key, Null when there is none (errors logged).
    CDbValue Lookup(const QString& sql, const CDbValue& key, const QString& context);
    bool ValidateRelativePathDialog(qint32 catalogueId, const CRelativePathDialogData& data,
                                    const QString& openedFolder, qint32 relativePathId, qint32& existingId);
    void WriteCatalogueUserSelect(qint32 catalogueId, bool exclude);
    // Shows the group dialog until it is cancelled or holds a name and an allowed parent.
    bool ShowGroupDialog(CGroupDialogData& data, const DialogFunction<CGroupDialogData>& dialog,
                         const QString& caption);
    bool SendToSynchronizer(const QString& topic, const QString& commandLine);
    void OnAdvise(const QString& topic, const QString& item);
    bool Write(const QString& context, const std::function<void()>& step);
    bool RunIntermediateQuery(const QString& storedQuery);

    CUserInteraction& m_ui;
    std::unique_ptr<CDbDatabase> m_pDatabase;
    std::unique_ptr<CDbRetryPolicy> m_pPolicy;
    CSynchLauncher* m_pLauncher = nullptr;
    std::unique_ptr<CSynchLauncher> m_pOwnLauncher;
    std::function<bool()> m_fnLoadBrowsers;
    std::function<void(const QString&, const std::vector<CFileProblem>&)> m_fnFileProblems;
    QString m_strPath;
    QString m_strTitle = QStringLiteral("Untitled");
    QString m_strUserName;
    qint32 m_lCurrentFileId = 0;
    qint32 m_lPreviousFileId = 0;
    bool m_bFormPending = false;
    bool m_bAttributePending = false;
    QString m_strFormDescription;
    QString m_strFormNotes;
    bool m_bClosing = false;
    std::vector<QTimer*> m_refreshTimers;
    CQueryOutput* m_pQueryOutput = nullptr;
};
