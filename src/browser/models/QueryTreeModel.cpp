#include "browser/models/QueryTreeModel.h"

#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"

#include <vector>

namespace
{
const QString kQueryGroupContext =
    QStringLiteral("CQueryBrowserTreeCtrl::AddGroupItems() - grouprecset.Open");
const QString kEntryContext =
    QStringLiteral("CQueryBrowserTreeCtrl::AddQueryEntries() - queryentryrecset.Open");
constexpr int kSubQueryEntryType = 4;
} // namespace

struct CQueryTreeModel::CNode
{
    int nKind = 0;
    qint32 lId = 0;
    QString strName;
    QString strOutputQuery;
    bool bSubQuery = false;
    CNode* pParent = nullptr;
    std::vector<std::unique_ptr<CNode>> children;

    CNode* Add(int kind, qint32 id, const QString& name)
    {
        auto child = std::make_unique<CNode>();
        child->nKind = kind;
        child->lId = id;
        child->strName = name;
        child->pParent = this;
        children.push_back(std::move(child));
        return children.back().get();
    }
    int RowOf(const CNode* child) const
    {
        for (size_t i = 0; i < children.size(); ++i)
            if (children[i].get() == child)
                return static_cast<int>(i);
        return -1;
    }
};

CQueryTreeModel::CQueryTreeModel(CUserInteraction& ui, CDbRetryPolicy& policy, QObject* parent)
    : QAbstractItemModel(parent), m_ui(ui), m_policy(policy), m_root(std::make_unique<CNode>())
{
}

CQueryTreeModel::~CQueryTreeModel() = default;

void CQueryTreeModel::SetDatabase(CDbDatabase* db)
{
    m_pDatabase = db;
    m_expandedGroups.clear();
    if (m_pDatabase)
        Rebuild();
    else
        Clear();
}

void CQueryTreeModel::Clear()
{
    beginResetModel();
    m_root = std::make_unique<CNode>();
    endResetModel();
}

bool CQueryTreeModel::Rebuild()
{
    if (!m_pDatabase)
        return false;
    CWaitCursorScope wait(m_ui);
    m_ui.SetStatusText(QStringLiteral("Updating Query Browser..."));
    auto root = std::make_unique<CNode>();
    QSet<qint32> visited;
    // Whatever went wrong the attempt is whole or nothing: a half-read tree is never shown.
    const bool read = m_policy.Run(kQueryGroupContext,
                                   [&]
                                   {
                                       root->children.clear();
                                       visited.clear();
                                       AddGroupItems(root.get(), 0, visited);
                                   });
    if (read)
    {
        beginResetModel();
        m_root = std::move(root);
        endResetModel();
        // Groups that are gone are forgotten, so that a new group of an old id starts collapsed.
        QSet<qint32> present;
        for (const qint32 id : std::as_const(m_expandedGroups))
            if (Find(m_root.get(), KindGroup, id))
                present.insert(id);
        m_expandedGroups = present;
    }
    m_ui.SetStatusText(QString());
    return read;
}

void CQueryTreeModel::AddGroupItems(CNode* parent, qint32 groupId, QSet<qint32>& visited)
{
    // A group is entered once: parents that loop would otherwise nest without end.
    visited.insert(groupId);
    CDbStatement groups = m_pDatabase->Prepare(QStringLiteral(
        "SELECT QueryGroup.GroupId, QueryGroup.Group FROM [QueryGroup] WHERE ( QueryGroup.ParentGroupId=? ) "
        "ORDER BY QueryGroup.Group, QueryGroup.GroupId;"));
    groups.Bind(1, groupId);
    std::vector<std::pair<qint32, QString>> subgroups;
    while (groups.Step())
        subgroups.emplace_back(groups.Value(0).ToLong(), groups.Value(1).ToString());
    for (const auto& [id, name] : subgroups)
    {
        if (visited.contains(id))
            continue;
        AddGroupItems(parent->Add(KindGroup, id, name), id, visited);
    }

    CDbStatement queries = m_pDatabase->Prepare(
        groupId == 0
            ? QStringLiteral("SELECT QueryId, QueryName, OutputQuery FROM [Query] WHERE (GroupId Is Null AND "
                             "Intermediate=FALSE) OR (GroupId=0) ORDER BY QueryName, QueryId;")
            : QStringLiteral("SELECT QueryId, QueryName, OutputQuery FROM [Query] WHERE (GroupId=? AND "
                             "Intermediate=FALSE) ORDER BY QueryName, QueryId;"));
    if (groupId != 0)
        queries.Bind(1, groupId);
    std::vector<CNode*> added;
    while (queries.Step())
    {
        CNode* query = parent->Add(KindQuery, queries.Value(0).ToLong(), queries.Value(1).ToString());
        query->strOutputQuery = queries.Value(2).ToString();
        added.push_back(query);
    }
    for (CNode* query : added)
        AddQueryEntries(query);
}

void CQueryTreeModel::AddQueryEntries(CNode* query)
{
    CDbStatement entries = m_pDatabase->Prepare(QStringLiteral(
        "SELECT QueryEntry, EntryType, Query FROM QueryEntry WHERE ((QueryId=?)) ORDER BY QueryEntry;"));
    entries.Bind(1, query->lId);
    QStringList names;
    while (entries.Step())
        if (entries.Value(1).ToLong() == kSubQueryEntryType)
            names.append(entries.Value(2).ToString());
    for (const QString& name : names)
    {
        CDbStatement lookup = m_pDatabase->Prepare(
            QStringLiteral("SELECT QueryId, QueryName, OutputQuery FROM [Query] WHERE QueryName=?"));
        lookup.Bind(1, name);
        // A step naming no query has nothing to run and is not shown.
        if (!lookup.Step())
            continue;
        CNode* sub = query->Add(KindQuery, lookup.Value(0).ToLong(), lookup.Value(1).ToString());
        sub->strOutputQuery = lookup.Value(2).ToString();
        sub->bSubQuery = true;
    }
}

bool CQueryTreeModel::RefreshQueryEntries(qint32 queryId)
{
    if (!m_pDatabase)
        return false;
    std::vector<CNode*> targets;
    std::vector<CNode*> pending{m_root.get()};
    while (!pending.empty())
    {
        CNode* node = pending.back();
        pending.pop_back();
        for (const auto& child : node->children)
        {
            if (child->nKind == KindQuery && !child->bSubQuery && child->lId == queryId)
                targets.push_back(child.get());
            pending.push_back(child.get());
        }
    }
    CWaitCursorScope wait(m_ui);
    m_ui.SetStatusText(QStringLiteral("Updating Query Browser..."));
    bool ok = true;
    for (CNode* target : targets)
    {
        CNode fresh;
        fresh.lId = queryId;
        if (!m_policy.Run(kEntryContext,
                          [&]
                          {
                              fresh.children.clear();
                              AddQueryEntries(&fresh);
                          }))
        {
            ok = false;
            continue;
        }
        const QModelIndex at = IndexOf(target);
        if (!target->children.empty())
        {
            beginRemoveRows(at, 0, static_cast<int>(target->children.size()) - 1);
            target->children.clear();
            endRemoveRows();
        }
        if (!fresh.children.empty())
        {
            beginInsertRows(at, 0, static_cast<int>(fresh.children.size()) - 1);
            target->children = std::move(fresh.children);
            for (const auto& child : target->children)
                child->pParent = target;
            endInsertRows();
        }
    }
    m_ui.SetStatusText(QString());
    return ok;
}

void CQueryTreeModel::SetGroupExpanded(const QModelIndex& index, bool expanded)
{
    const CNode* node = NodeOf(index);
    if (!index.isValid() || !node || node->nKind != KindGroup)
        return;
    if (expanded)
        m_expandedGroups.insert(node->lId);
    else
        m_expandedGroups.remove(node->lId);
}

QModelIndexList CQueryTreeModel::ExpandedGroupIndexes() const
{
    QModelIndexList indexes;
    std::vector<const CNode*> pending{m_root.get()};
    // Breadth first, so that a parent is listed (and expanded) before its children.
    for (size_t next = 0; next < pending.size(); ++next)
    {
        for (const auto& child : pending[next]->children)
        {
            if (child->nKind != KindGroup)
                continue;
            if (m_expandedGroups.contains(child->lId))
                indexes.append(IndexOf(child.get()));
            pending.push_back(child.get());
        }
    }
    return indexes;
}

const CQueryTreeModel::CNode* CQueryTreeModel::Find(const CNode* from, int kind, qint32 id) const
{
    for (const auto& child : from->children)
    {
        if (child->nKind == kind && child->lId == id && !child->bSubQuery)
            return child.get();
        if (const CNode* found = Find(child.get(), kind, id))
            return found;
    }
    return nullptr;
}

QModelIndex CQueryTreeModel::FindGroup(qint32 groupId) const
{
    return IndexOf(Find(m_root.get(), KindGroup, groupId));
}

QModelIndex CQueryTreeModel::FindQuery(qint32 queryId) const
{
    return IndexOf(Find(m_root.get(), KindQuery, queryId));
}

qint32 CQueryTreeModel::QueryIdAt(const QModelIndex& index) const
{
    const CNode* node = NodeOf(index);
    return index.isValid() && node && node->nKind == KindQuery ? node->lId : 0;
}

CQueryTreeModel::CNode* CQueryTreeModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<CNode*>(index.internalPointer()) : m_root.get();
}

QModelIndex CQueryTreeModel::IndexOf(const CNode* node) const
{
    if (!node || node == m_root.get() || !node->pParent)
        return {};
    const int row = node->pParent->RowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<CNode*>(node));
}

QModelIndex CQueryTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const CNode* node = NodeOf(parent);
    if (column != 0 || row < 0 || !node || row >= static_cast<int>(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex CQueryTreeModel::parent(const QModelIndex& child) const
{
    return child.isValid() ? IndexOf(NodeOf(child)->pParent) : QModelIndex();
}

int CQueryTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const CNode* node = NodeOf(parent);
    return node ? static_cast<int>(node->children.size()) : 0;
}

int CQueryTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant CQueryTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const CNode* node = NodeOf(index);
    switch (role)
    {
    case Qt::DisplayRole:
        return node->strName;
    case KindRole:
        return node->nKind;
    case IdRole:
        return node->lId;
    case OutputQueryRole:
        return node->nKind == KindQuery ? QVariant(node->strOutputQuery) : QVariant();
    case SubQueryRole:
        return node->bSubQuery;
    default:
        return {};
    }
}

Qt::ItemFlags CQueryTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
