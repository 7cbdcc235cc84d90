#include "browser/models/CatalogueTreeModel.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/JetText.h"

#include <algorithm>

namespace
{
const QString kUpdatingText = QStringLiteral("Updating Catalogue Browser...");
const QString kRefreshingText = QStringLiteral("Refreshing...");
const QString kGroupContext =
    QStringLiteral("CCatalogueBrowserTreeCtrl::AddGroupItems() - m_pGroupRecSet->Seek()");
const QString kFolderContext =
    QStringLiteral("CCatalogueBrowserTreeCtrl::AddCatalogueRelativePaths() - relativepathrecset.Open");

// Folder texts name the same folder whatever the case and whichever separator was stored.
QString FolderKey(const QString& text)
{
    QString key = text;
    key.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return key;
}

// Shows the wait cursor and a status text for as long as it lives, then clears the text.
class CBusyStatus final
{
public:
    CBusyStatus(CUserInteraction& ui, const QString& text) : m_wait(ui), m_ui(ui)
    {
        m_ui.SetStatusText(text);
    }
    ~CBusyStatus() { m_ui.SetStatusText(QString()); }
    CBusyStatus(const CBusyStatus&) = delete;
    CBusyStatus& operator=(const CBusyStatus&) = delete;

private:
    CWaitCursorScope m_wait;
    CUserInteraction& m_ui;
};
} // namespace

struct CCatalogueTreeModel::CChildRow
{
    CCatalogueTreeRecord record;
    QString strText;
    int nImage = -1;
    CUserSelection selection;
    bool bHasChildren = false;

    qint32 Id() const
    {
        switch (record.nKind)
        {
        case CCatalogueTreeRecord::KindGroup:
            return record.lGroupId;
        case CCatalogueTreeRecord::KindCatalogue:
            return record.lCatalogueId;
        default:
            return record.lRelativePathId;
        }
    }
};

struct CCatalogueTreeModel::CNode
{
    CChildRow row;
    CNode* pParent = nullptr;
    std::vector<std::unique_ptr<CNode>> children;

    bool SameItem(const CChildRow& other) const
    {
        return row.record.nKind == other.record.nKind && row.Id() == other.Id();
    }
    int RowOf(const CNode* child) const
    {
        for (size_t i = 0; i < children.size(); ++i)
            if (children[i].get() == child)
                return static_cast<int>(i);
        return -1;
    }
};

namespace
{
// Sibling order: groups, then catalogues, then folders; by text without regard to case; by id
// where texts are equal, so that the order never depends on the order rows were read in.
template <typename Row> bool SortsBefore(const Row& a, const Row& b)
{
    if (a.record.nKind != b.record.nKind)
        return a.record.nKind < b.record.nKind;
    const int byText = JetText::CompareGeneral(a.strText, b.strText);
    if (byText != 0)
        return byText < 0;
    return a.Id() < b.Id();
}
} // namespace

CCatalogueTreeModel::CCatalogueTreeModel(CUserInteraction& ui, CDbRetryPolicy& policy, QObject* parent)
    : QAbstractItemModel(parent), m_ui(ui), m_policy(policy), m_root(std::make_unique<CNode>())
{
}

CCatalogueTreeModel::~CCatalogueTreeModel() = default;

void CCatalogueTreeModel::SetDatabase(CDbDatabase* db, const QString& userName)
{
    Clear();
    m_pDatabase = db;
    m_strUserName = userName;
    if (m_pDatabase)
        Load();
}

void CCatalogueTreeModel::Clear()
{
    beginResetModel();
    m_root = std::make_unique<CNode>();
    endResetModel();
}

bool CCatalogueTreeModel::Load()
{
    Clear();
    if (!m_pDatabase)
        return false;
    return LoadChildren(m_root.get());
}

// ---------------------------------------------------------------------------------------------
// Reading

QHash<qint32, CCatalogueTreeModel::CUserSelection> CCatalogueTreeModel::ReadUserSelections() const
{
    QHash<qint32, CUserSelection> selections;
    if (!m_pDatabase)
        return selections;
    try
    {
        CDbStatement st =
            m_pDatabase->Prepare(QStringLiteral("SELECT CatalogueId, CatalogueSelect, ExcludeFromDuplicate "
                                                "FROM CatalogueUserSelect WHERE [User]=?"));
        st.Bind(1, m_strUserName);
        while (st.Step())
            selections.insert(st.Value(0).ToLong(),
                              CUserSelection{st.Value(1).ToBool(), st.Value(2).ToBool()});
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(
            e, QString(),
            QStringLiteral(
                "CCatalogueBrowserTreeCtrl::AddGroupItems() - m_pCatalogueUserSelectRecSet->Seek()"));
    }
    return selections;
}

bool CCatalogueTreeModel::ReadChildren(const CNode& node, std::vector<CChildRow>& rows)
{
    rows.clear();
    if (!m_pDatabase)
        return false;
    bool ok = false;
    if (&node == m_root.get())
        ok = ReadGroupChildren(0, rows);
    else if (node.row.record.nKind == CCatalogueTreeRecord::KindGroup)
        ok = ReadGroupChildren(node.row.record.lGroupId, rows);
    else if (node.row.record.nKind == CCatalogueTreeRecord::KindCatalogue)
        ok = ReadCatalogueFolders(node.row.record.lCatalogueId, rows);
    else
        ok = true; // folders have no children
    std::sort(rows.begin(), rows.end(), SortsBefore<CChildRow>);
    return ok;
}

bool CCatalogueTreeModel::ReadGroupChildren(qint32 groupId, std::vector<CChildRow>& rows)
{
    const bool ownPass = !m_bInPass;
    if (ownPass)
        m_passSelections = ReadUserSelections();
    try
    {
        CDbStatement groups = m_pDatabase->Prepare(
            QStringLiteral("SELECT Group.GroupId, Group.Group FROM [Group] WHERE Group.ParentGroupId=?"));
        groups.Bind(1, groupId);
        while (groups.Step())
        {
            CChildRow row;
            row.record.nKind = CCatalogueTreeRecord::KindGroup;
            row.record.lGroupId = groups.Value(0).ToLong();
            // A group that names itself as its parent would nest without end.
            if (row.record.lGroupId == groupId)
                continue;
            row.strText = groups.Value(1).ToString();
            rows.push_back(row);
        }
        CDbStatement catalogues = m_pDatabase->Prepare(QStringLiteral(
            "SELECT Catalogue.CatalogueId, Catalogue.Catalogue, Catalogue.DriveType FROM [Catalogue] "
            "WHERE Catalogue.GroupId=?"));
        catalogues.Bind(1, groupId);
        while (catalogues.Step())
        {
            CChildRow row;
            row.record.nKind = CCatalogueTreeRecord::KindCatalogue;
            row.record.lGroupId = groupId;
            row.record.lCatalogueId = catalogues.Value(0).ToLong();
            row.strText = catalogues.Value(1).ToString();
            row.nImage = DriveTypeImage(catalogues.Value(2).ToString());
            row.selection = m_passSelections.value(row.record.lCatalogueId);
            rows.push_back(row);
        }
        for (CChildRow& row : rows)
            row.bHasChildren = ReadHasChildren(row);
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), kGroupContext);
        if (ownPass)
            m_passSelections.clear();
        return false;
    }
    if (ownPass)
        m_passSelections.clear();
    return true;
}

bool CCatalogueTreeModel::ReadHasChildren(const CChildRow& row)
{
    if (row.record.nKind == CCatalogueTreeRecord::KindGroup)
    {
        CDbStatement groups = m_pDatabase->Prepare(QStringLiteral(
            "SELECT Group.GroupId FROM [Group] WHERE Group.ParentGroupId=? AND Group.GroupId<>?"));
        groups.Bind(1, row.record.lGroupId).Bind(2, row.record.lGroupId);
        if (groups.Step())
            return true;
        CDbStatement catalogues = m_pDatabase->Prepare(
            QStringLiteral("SELECT Catalogue.CatalogueId FROM [Catalogue] WHERE Catalogue.GroupId=?"));
        catalogues.Bind(1, row.record.lGroupId);
        return catalogues.Step();
    }
    if (row.record.nKind == CCatalogueTreeRecord::KindCatalogue)
    {
        // The same rule as the folder list: a named folder holding a file that is not deleted. The
        // root folder is 0, so the catalogue's index skips a root of a million files at once.
        CDbStatement folders = m_pDatabase->Prepare(QStringLiteral(
            "SELECT File.RelativePathId FROM File INNER JOIN RelativePath ON RelativePath.RelativePathId = "
            "File.RelativePathId WHERE File.CatalogueId=? AND File.RelativePathId>0 AND File.Deleted=FALSE "
            "AND "
            "RelativePath.RelativePath<>''"));
        folders.Bind(1, row.record.lCatalogueId);
        return folders.Step();
    }
    return false;
}

bool CCatalogueTreeModel::ReadCatalogueFolders(qint32 catalogueId, std::vector<CChildRow>& rows)
{
    try
    {
        CDbStatement st = m_pDatabase->Prepare(
            QStringLiteral("SELECT RelativePath.RelativePathId, RelativePath.RelativePath FROM File LEFT "
                           "JOIN RelativePath ON "
                           "RelativePath.RelativePathId = File.RelativePathId WHERE ((File.CatalogueId=?) "
                           "AND (File.Deleted=FALSE)) "
                           "GROUP BY RelativePath.RelativePathId, RelativePath.RelativePath"));
        st.Bind(1, catalogueId);
        while (st.Step())
        {
            const QString text = st.Value(1).ToString();
            if (text.isEmpty())
                continue; // the root folder
            CChildRow row;
            row.record.nKind = CCatalogueTreeRecord::KindFolder;
            row.record.lCatalogueId = catalogueId;
            row.record.lRelativePathId = st.Value(0).ToLong();
            row.strText = text;
            rows.push_back(row);
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), kFolderContext);
        return false;
    }
    // One item per folder text: the one with the lowest identifier stands for the others.
    std::sort(rows.begin(), rows.end(),
              [](const CChildRow& a, const CChildRow& b)
              {
                  const int byKey = JetText::CompareGeneral(FolderKey(a.strText), FolderKey(b.strText));
                  return byKey != 0 ? byKey < 0 : a.Id() < b.Id();
              });
    rows.erase(
        std::unique(rows.begin(), rows.end(),
                    [](const CChildRow& a, const CChildRow& b)
                    { return JetText::CompareGeneral(FolderKey(a.strText), FolderKey(b.strText)) == 0; }),
        rows.end());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Keeping the tree in step

bool CCatalogueTreeModel::LoadChildren(CNode* node)
{
    std::vector<CChildRow> rows;
    const bool ok = ReadChildren(*node, rows);
    if (ok)
        SyncChildren(node, std::move(rows));
    // Even after a failure: a view would otherwise ask again at every paint. A reload retries.
    node->row.record.bChildrenLoaded = true;
    return ok;
}

void CCatalogueTreeModel::SyncChildren(CNode* node, std::vector<CChildRow> rows)
{
    const QModelIndex parentIndex = IndexOf(node);
    auto& children = node->children;
    auto inRows = [&](const CNode& child)
    { return std::any_of(rows.begin(), rows.end(), [&](const CChildRow& r) { return child.SameItem(r); }); };

    // Items that are gone.
    for (int i = static_cast<int>(children.size()) - 1; i >= 0; --i)
    {
        if (inRows(*children[static_cast<size_t>(i)]))
            continue;
        beginRemoveRows(parentIndex, i, i);
        children.erase(children.begin() + i);
        endRemoveRows();
    }

    // Items that stay take the new values, keeping their children and whether they were loaded.
    for (size_t i = 0; i < children.size(); ++i)
    {
        CNode& child = *children[i];
        const CChildRow& now =
            *std::find_if(rows.begin(), rows.end(), [&](const CChildRow& r) { return child.SameItem(r); });
        CChildRow updated = now;
        updated.record.bChildrenLoaded = child.row.record.bChildrenLoaded;
        if (child.row.record.bChildrenLoaded)
            updated.bHasChildren = !child.children.empty();
        const bool changed = updated.strText != child.row.strText || updated.nImage != child.row.nImage ||
                             updated.selection.bChecked != child.row.selection.bChecked ||
                             updated.selection.bExcluded != child.row.selection.bExcluded ||
                             !(updated.record == child.row.record);
        const bool hintChanged = updated.bHasChildren != child.row.bHasChildren;
        child.row = updated;
        if (changed || hintChanged)
        {
            const QModelIndex at = createIndex(static_cast<int>(i), 0, &child);
            emit dataChanged(at, at);
        }
    }

    // A renamed item moves to its new place among those that stay.
    std::vector<CNode*> order;
    for (const auto& child : children)
        order.push_back(child.get());
    std::stable_sort(order.begin(), order.end(),
                     [](const CNode* a, const CNode* b) { return SortsBefore(a->row, b->row); });
    bool reordered = false;
    for (size_t i = 0; i < order.size(); ++i)
        reordered = reordered || order[i] != children[i].get();
    if (reordered)
    {
        emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)},
                                    QAbstractItemModel::VerticalSortHint);
        QModelIndexList from;
        for (const QModelIndex& p : persistentIndexList())
            if (NodeOf(p)->pParent == node)
                from.append(p);
        std::sort(children.begin(), children.end(),
                  [](const std::unique_ptr<CNode>& a, const std::unique_ptr<CNode>& b)
                  { return SortsBefore(a->row, b->row); });
        QModelIndexList to;
        for (const QModelIndex& p : from)
        {
            CNode* moved = NodeOf(p);
            to.append(createIndex(node->RowOf(moved), p.column(), moved));
        }
        changePersistentIndexList(from, to);
        emit layoutChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
    }

    // New items, each at its place.
    for (size_t i = 0; i < rows.size(); ++i)
    {
        if (i < children.size() && children[i]->SameItem(rows[i]))
            continue;
        auto child = std::make_unique<CNode>();
        child->row = rows[i];
        child->row.record.bChildrenLoaded = false;
        child->pParent = node;
        beginInsertRows(parentIndex, static_cast<int>(i), static_cast<int>(i));
        children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), std::move(child));
        endInsertRows();
    }
    node->row.bHasChildren = !children.empty();
}

bool CCatalogueTreeModel::ReloadChildren(const QModelIndex& parent)
{
    CNode* node = NodeOf(parent);
    if (!node || !m_pDatabase)
        return false;
    const bool wasLoaded = node->row.record.bChildrenLoaded;
    const bool ok = LoadChildren(node);
    if (parent.isValid() && !wasLoaded)
        emit dataChanged(parent, parent, {ChildrenLoadedRole, RecordRole});
    return ok;
}

bool CCatalogueTreeModel::ReloadCatalogue(qint32 catalogueId)
{
    CNode* node = FindNode(m_root.get(), CCatalogueTreeRecord::KindCatalogue, catalogueId, 0);
    if (!node || !m_pDatabase)
        return false;
    CNode* parentNode = node->pParent;
    const qint32 oldGroupId = node->row.record.lGroupId;
    qint32 groupId = -1;
    try
    {
        CDbStatement st = m_pDatabase->Prepare(
            QStringLiteral("SELECT Catalogue.GroupId FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"));
        st.Bind(1, catalogueId);
        if (st.Step())
            groupId = st.Value(0).ToLong();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), kGroupContext);
        return false;
    }
    // The catalogue's own row is read with its siblings: a new name or group places it anew.
    ReloadChildren(IndexOf(parentNode));
    if (groupId >= 0 && groupId != oldGroupId)
    {
        CNode* target =
            groupId == 0 ? m_root.get() : FindNode(m_root.get(), CCatalogueTreeRecord::KindGroup, groupId, 0);
        if (target && target->row.record.bChildrenLoaded)
            ReloadChildren(IndexOf(target));
        return true;
    }
    node = FindNode(m_root.get(), CCatalogueTreeRecord::KindCatalogue, catalogueId, 0);
    if (node && node->row.record.bChildrenLoaded)
        LoadChildren(node);
    return true;
}

void CCatalogueTreeModel::Requery()
{
    if (!m_pDatabase)
        return;
    CBusyStatus status(m_ui, kRefreshingText);
    m_passSelections = ReadUserSelections();
    m_bInPass = true;
    LoadChildren(m_root.get());
    RequeryBelow(m_root.get());
    m_bInPass = false;
    m_passSelections.clear();
}

void CCatalogueTreeModel::RequeryBelow(CNode* node)
{
    for (size_t i = 0; i < node->children.size(); ++i)
    {
        CNode* child = node->children[i].get();
        if (!child->row.record.bChildrenLoaded)
            continue;
        LoadChildren(child);
        RequeryBelow(child);
    }
}

QModelIndex CCatalogueTreeModel::AddFolderItem(qint32 catalogueId, qint32 relativePathId, const QString& text)
{
    CNode* node = FindNode(m_root.get(), CCatalogueTreeRecord::KindCatalogue, catalogueId, 0);
    if (!node || text.isEmpty())
        return {};
    if (!node->row.record.bChildrenLoaded)
    {
        // Its folders are read when it is expanded, the new one with them.
        node->row.bHasChildren = true;
        const QModelIndex at = IndexOf(node);
        emit dataChanged(at, at);
        return {};
    }
    const QString key = FolderKey(text);
    for (const auto& child : node->children)
        if (JetText::CompareGeneral(FolderKey(child->row.strText), key) == 0)
            return IndexOf(child.get());
    CChildRow row;
    row.record.nKind = CCatalogueTreeRecord::KindFolder;
    row.record.lCatalogueId = catalogueId;
    row.record.lRelativePathId = relativePathId;
    row.strText = text;
    int at = 0;
    while (at < static_cast<int>(node->children.size()) &&
           SortsBefore(node->children[static_cast<size_t>(at)]->row, row))
        ++at;
    auto child = std::make_unique<CNode>();
    child->row = row;
    child->pParent = node;
    CNode* added = child.get();
    beginInsertRows(IndexOf(node), at, at);
    node->children.insert(node->children.begin() + at, std::move(child));
    endInsertRows();
    node->row.bHasChildren = true;
    return createIndex(at, 0, added);
}

// ---------------------------------------------------------------------------------------------
// The user's marks

bool CCatalogueTreeModel::SetCatalogueUserProperties(qint32 catalogueId, std::optional<bool> checked,
                                                     std::optional<bool> excluded)
{
    if (!m_pDatabase)
        return false;
    CUserSelection stored;
    const bool written = m_policy.Run(
        QStringLiteral("CCatalogueBrowserTreeCtrl::SetCatalogueUserProperties() - "
                       "m_pCatalogueUserSelectRecSet->Update()"),
        [&] {
            stored = WriteCatalogueUserSelection(*m_pDatabase, catalogueId, m_strUserName, checked, excluded);
        });
    if (!written)
        return false;
    if (CNode* node = FindNode(m_root.get(), CCatalogueTreeRecord::KindCatalogue, catalogueId, 0))
    {
        node->row.selection = stored;
        const QModelIndex at = IndexOf(node);
        emit dataChanged(at, at, {Qt::CheckStateRole, StateImageRole, ExcludedRole});
    }
    return true;
}

CCatalogueTreeModel::CUserSelection CCatalogueTreeModel::GetCatalogueUserProperties(qint32 catalogueId) const
{
    if (!m_pDatabase)
        return {};
    try
    {
        CDbStatement st =
            m_pDatabase->Prepare(QStringLiteral("SELECT CatalogueSelect, ExcludeFromDuplicate FROM "
                                                "CatalogueUserSelect WHERE CatalogueId=? AND [User]=?"));
        st.Bind(1, catalogueId).Bind(2, m_strUserName);
        if (st.Step())
            return {st.Value(0).ToBool(), st.Value(1).ToBool()};
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CCatalogueBrowserTreeCtrl::GetCatalogueUserProperties() - Seek()"));
    }
    return {};
}

bool CCatalogueTreeModel::ToggleCatalogueCheck(const QModelIndex& index)
{
    const CNode* node = NodeOf(index);
    if (!index.isValid() || !node || node->row.record.nKind != CCatalogueTreeRecord::KindCatalogue)
        return false;
    return SetCatalogueUserProperties(node->row.record.lCatalogueId, !node->row.selection.bChecked,
                                      std::nullopt);
}

int CCatalogueTreeModel::DriveTypeImage(const QString& driveType)
{
    static const char* const kNames[] = {"No Root Dir", "Removable", "Fixed",
                                         "Network",     "CD-ROM",    "RAM Disk"};
    for (int i = 0; i < 6; ++i)
        if (driveType == QLatin1String(kNames[i]))
            return i + 1;
    return 0;
}

int CCatalogueTreeModel::StateImage(const CUserSelection& selection)
{
    return (selection.bChecked ? 2 : 1) + (selection.bExcluded ? 6 : 0);
}

// ---------------------------------------------------------------------------------------------
// Finding items

CCatalogueTreeModel::CNode* CCatalogueTreeModel::NodeOf(const QModelIndex& index) const
{
    if (!index.isValid())
        return m_root.get();
    return static_cast<CNode*>(index.internalPointer());
}

QModelIndex CCatalogueTreeModel::IndexOf(const CNode* node) const
{
    if (!node || node == m_root.get() || !node->pParent)
        return {};
    const int row = node->pParent->RowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<CNode*>(node));
}

CCatalogueTreeModel::CNode* CCatalogueTreeModel::FindNode(CNode* from, qint32 kind, qint32 id,
                                                          qint32 catalogueId) const
{
    for (const auto& child : from->children)
    {
        const CCatalogueTreeRecord& r = child->row.record;
        if (r.nKind == kind && child->row.Id() == id &&
            (kind != CCatalogueTreeRecord::KindFolder || r.lCatalogueId == catalogueId))
            return child.get();
        if (CNode* found = FindNode(child.get(), kind, id, catalogueId))
            return found;
    }
    return nullptr;
}

QModelIndex CCatalogueTreeModel::FindItem(qint32 kind, qint32 id) const
{
    if (kind != CCatalogueTreeRecord::KindGroup && kind != CCatalogueTreeRecord::KindCatalogue)
        return {};
    return IndexOf(FindNode(m_root.get(), kind, id, 0));
}

QModelIndex CCatalogueTreeModel::FindFolder(qint32 catalogueId, qint32 relativePathId) const
{
    const CNode* catalogue = FindNode(m_root.get(), CCatalogueTreeRecord::KindCatalogue, catalogueId, 0);
    if (!catalogue)
        return {};
    for (const auto& child : catalogue->children)
        if (child->row.record.lRelativePathId == relativePathId)
            return IndexOf(child.get());
    return {};
}

CCatalogueTreeRecord CCatalogueTreeModel::Record(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    return NodeOf(index)->row.record;
}

// ---------------------------------------------------------------------------------------------
// Qt model

QModelIndex CCatalogueTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const CNode* node = NodeOf(parent);
    if (column != 0 || row < 0 || !node || row >= static_cast<int>(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex CCatalogueTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    return IndexOf(NodeOf(child)->pParent);
}

int CCatalogueTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const CNode* node = NodeOf(parent);
    return node ? static_cast<int>(node->children.size()) : 0;
}

int CCatalogueTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool CCatalogueTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return false;
    const CNode* node = NodeOf(parent);
    if (!node)
        return false;
    if (node == m_root.get() || node->row.record.bChildrenLoaded)
        return !node->children.empty();
    return node->row.bHasChildren;
}

bool CCatalogueTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const CNode* node = NodeOf(parent);
    if (!parent.isValid() || !node || !m_pDatabase)
        return false;
    const qint32 kind = node->row.record.nKind;
    return (kind == CCatalogueTreeRecord::KindGroup || kind == CCatalogueTreeRecord::KindCatalogue) &&
           !node->row.record.bChildrenLoaded;
}

void CCatalogueTreeModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    CBusyStatus status(m_ui, kUpdatingText);
    LoadChildren(NodeOf(parent));
    emit dataChanged(parent, parent, {ChildrenLoadedRole, RecordRole});
}

QVariant CCatalogueTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const CChildRow& row = NodeOf(index)->row;
    const bool catalogue = row.record.nKind == CCatalogueTreeRecord::KindCatalogue;
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return row.strText;
    case Qt::CheckStateRole:
        if (!catalogue)
            return {};
        return static_cast<int>(row.selection.bChecked ? Qt::Checked : Qt::Unchecked);
    case RecordRole:
        return QVariant::fromValue(row.record);
    case KindRole:
        return row.record.nKind;
    case GroupIdRole:
        return row.record.lGroupId;
    case CatalogueIdRole:
        return row.record.lCatalogueId;
    case RelativePathIdRole:
        return row.record.lRelativePathId;
    case ChildrenLoadedRole:
        return row.record.bChildrenLoaded;
    case ImageRole:
        return catalogue ? row.nImage : -1;
    case StateImageRole:
        return catalogue ? StateImage(row.selection) : 0;
    case ExcludedRole:
        return catalogue && row.selection.bExcluded;
    default:
        return {};
    }
}

bool CCatalogueTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid())
        return false;
    const CNode* node = NodeOf(index);
    if (node->row.record.nKind != CCatalogueTreeRecord::KindCatalogue)
        return false;
    const bool checked = value.toInt() != Qt::Unchecked;
    return SetCatalogueUserProperties(node->row.record.lCatalogueId, checked, std::nullopt);
}

Qt::ItemFlags CCatalogueTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const qint32 kind = NodeOf(index)->row.record.nKind;
    if (kind == CCatalogueTreeRecord::KindCatalogue)
        f |= Qt::ItemIsUserCheckable;
    if (kind == CCatalogueTreeRecord::KindFolder)
        f |= Qt::ItemNeverHasChildren;
    return f;
}
