#pragma once

#include <QAbstractItemModel>
#include <QSet>
#include <QString>

#include <memory>

class CDbDatabase;
class CDbRetryPolicy;
class CUserInteraction;

// The query browser's data: query groups nested by parent, in each group its subgroups and then
// its queries, both in alphabetical order; under a query, the sub-queries that it runs (its
// "(Sub)Query" steps, in step order). Queries of no group or of group 0 are at the top;
// intermediate queries, the building blocks of others, are shown only when their group is 0.
//
// A rebuild resets the model. Which groups are expanded belongs to the view; it tells the model
// (SetGroupExpanded) so that after a rebuild ExpandedGroupIndexes() says which to expand again.
//
// Roles, besides Qt::DisplayRole (the group or query name):
//   KindRole         1 group, 2 query
//   IdRole           GroupId of a group, QueryId of a query
//   OutputQueryRole  a query's output query name
//   SubQueryRole     true for a query shown as a step of another query
class CQueryTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Kind : int
    {
        KindGroup = 1,
        KindQuery = 2,
    };
    enum Role
    {
        KindRole = Qt::UserRole + 1,
        IdRole,
        OutputQueryRole,
        SubQueryRole,
    };

    CQueryTreeModel(CUserInteraction& ui, CDbRetryPolicy& policy, QObject* parent = nullptr);
    ~CQueryTreeModel() override;

    // The database shown; nullptr empties the tree. Builds the tree when one is given.
    void SetDatabase(CDbDatabase* db);

    // Reads the whole tree again, with the wait cursor and "Updating Query Browser...". When the
    // reading is given up the tree stays as it was and the result is false.
    bool Rebuild();
    // Reads the sub-queries of every item of that query again.
    bool RefreshQueryEntries(qint32 queryId);
    void Clear();

    // The groups the view has expanded, kept across rebuilds by GroupId.
    void SetGroupExpanded(const QModelIndex& index, bool expanded);
    QSet<qint32> ExpandedGroups() const { return m_expandedGroups; }
    void SetExpandedGroups(const QSet<qint32>& groupIds) { m_expandedGroups = groupIds; }
    // The items of the expanded groups that exist in the tree, parents before children.
    QModelIndexList ExpandedGroupIndexes() const;

    QModelIndex FindGroup(qint32 groupId) const;
    // The query's own item (not one where it appears as a step of another query).
    QModelIndex FindQuery(qint32 queryId) const;
    // The QueryId of a query item, 0 for anything else: running a group runs nothing.
    qint32 QueryIdAt(const QModelIndex& index) const;

    // Qt model.
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct CNode;

    CNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const CNode* node) const;
    const CNode* Find(const CNode* from, int kind, qint32 id) const;
    void AddGroupItems(CNode* parent, qint32 groupId, QSet<qint32>& visited);
    void AddQueryEntries(CNode* query);

    CUserInteraction& m_ui;
    CDbRetryPolicy& m_policy;
    CDbDatabase* m_pDatabase = nullptr;
    std::unique_ptr<CNode> m_root;
    QSet<qint32> m_expandedGroups;
};
