#pragma once

#include "browser/CatalogueUserSelection.h"
#include "browser/models/CatalogueTreeRecord.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CDbDatabase;
class CDbRetryPolicy;
class CUserInteraction;

// The catalogue browser's data: groups nested by parent, the catalogues of each group and, under
// a catalogue, its folders (each the whole relative path text, one level deep, only folders that
// hold a file that is not deleted; the root folder has no item). Siblings are subgroups first,
// then catalogues, each in alphabetical order without regard to case.
//
// Loading is lazy: the top level is read by Load(); an item's children are read the first time
// it is expanded (fetchMore), with the wait cursor and "Updating Catalogue Browser...". Until
// then hasChildren() tells whether it has any, so that a view shows an expand button only where
// expanding shows something.
//
// Roles, besides Qt::DisplayRole (the name or folder text):
//   Qt::CheckStateRole  catalogues: the user's check mark; setting it writes CatalogueUserSelect
//   RecordRole          CCatalogueTreeRecord of the item
//   KindRole, GroupIdRole, CatalogueIdRole, RelativePathIdRole, ChildrenLoadedRole: its fields
//   ImageRole           catalogues: drive type image (1 No Root Dir, 2 Removable, 3 Fixed,
//                       4 Network, 5 CD-ROM, 6 RAM Disk, 0 any other); -1 for other items
//   StateImageRole      catalogues: 1 unchecked, 2 checked, plus 6 when excluded from duplicate
//                       searches; 0 for other items
//   ExcludedRole        catalogues: excluded from duplicate searches (bool)
//
// data() only reads what the item holds; the database is read by Load, fetchMore and the reloads.
class CCatalogueTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role
    {
        RecordRole = Qt::UserRole + 1,
        KindRole,
        GroupIdRole,
        CatalogueIdRole,
        RelativePathIdRole,
        ChildrenLoadedRole,
        ImageRole,
        StateImageRole,
        ExcludedRole,
    };

    using CUserSelection = CCatalogueUserSelection;

    CCatalogueTreeModel(CUserInteraction& ui, CDbRetryPolicy& policy, QObject* parent = nullptr);
    ~CCatalogueTreeModel() override;

    // The database shown and whose per-user rows are used; nullptr empties the tree. Loads the
    // top level when a database is given.
    void SetDatabase(CDbDatabase* db, const QString& userName);
    CDbDatabase* Database() const { return m_pDatabase; }

    // Empties the tree and reads the top level afresh: groups of no parent, then catalogues of
    // no group. False when the database could not be read (logged).
    bool Load();
    void Clear();

    // Re-reads the children of a group or catalogue item (the root for an invalid index), loading
    // them if they were not loaded; items that stay keep their own loaded children.
    bool ReloadChildren(const QModelIndex& parent);
    // Re-reads one catalogue: its name, drive type and marks, and its folders when they were
    // loaded; an item whose row is gone is removed. False when there is no such item.
    bool ReloadCatalogue(qint32 catalogueId);
    // Re-reads everything, keeping which items were loaded: the top level, then every loaded item
    // below it. Shows "Refreshing..." with the wait cursor.
    void Requery();

    // The item of a group (kind 1, group id), catalogue (2, catalogue id); invalid when not loaded.
    QModelIndex FindItem(qint32 kind, qint32 id) const;
    QModelIndex FindFolder(qint32 catalogueId, qint32 relativePathId) const;
    CCatalogueTreeRecord Record(const QModelIndex& index) const;

    // A folder item with this text under a catalogue item whose folders are loaded, unless one with
    // the same text (without regard to case, "/" read as "\") is there; the item either way. A
    // catalogue whose folders are not loaded yet only gets its expand button (the folder is read
    // with the others on expanding): the result is then invalid.
    QModelIndex AddFolderItem(qint32 catalogueId, qint32 relativePathId, const QString& text);

    // The user's selection row of a catalogue: writes the given values (a missing row is added),
    // under the retry policy, and updates the item. False when the write was given up.
    bool SetCatalogueUserProperties(qint32 catalogueId, std::optional<bool> checked,
                                    std::optional<bool> excluded);
    // Both false when the user has no row (or it cannot be read).
    CUserSelection GetCatalogueUserProperties(qint32 catalogueId) const;
    // A click on a catalogue's state image: checked becomes unchecked and back, excluded kept.
    bool ToggleCatalogueCheck(const QModelIndex& index);

    static int DriveTypeImage(const QString& driveType);
    static int StateImage(const CUserSelection& selection);

    // Qt model.
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct CNode;
    struct CChildRow;

    CNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const CNode* node) const;
    CNode* FindNode(CNode* from, qint32 kind, qint32 id, qint32 catalogueId) const;

    // Reads what the children of node are now; false when the database could not be read.
    bool ReadChildren(const CNode& node, std::vector<CChildRow>& rows);
    bool ReadGroupChildren(qint32 groupId, std::vector<CChildRow>& rows);
    bool ReadCatalogueFolders(qint32 catalogueId, std::vector<CChildRow>& rows);
    // Whether an unloaded item would have children.
    bool ReadHasChildren(const CChildRow& row);
    QHash<qint32, CUserSelection> ReadUserSelections() const;

    // Makes node's children what rows says: removes, updates, reorders and inserts in place.
    void SyncChildren(CNode* node, std::vector<CChildRow> rows);
    bool LoadChildren(CNode* node);
    void RequeryBelow(CNode* node);
    void Touch(CNode* node);

    CUserInteraction& m_ui;
    CDbRetryPolicy& m_policy;
    CDbDatabase* m_pDatabase = nullptr;
    QString m_strUserName;
    std::unique_ptr<CNode> m_root;
    // Filled for the length of one reading pass, so a pass reads the selections once.
    QHash<qint32, CUserSelection> m_passSelections;
    bool m_bInPass = false;
};
