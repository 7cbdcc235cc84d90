#include "gui/browser/query/QueryBrowserTreeCtrl.h"

#include "browser/QueryRunner.h"
#include "browser/models/QueryTreeModel.h"

CQueryBrowserTreeCtrl::CQueryBrowserTreeCtrl(CQueryTreeModel& model, QWidget* parent)
    : QTreeView(parent), m_model(model)
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setModel(&model);
    setAccessibleName(QStringLiteral("Query Browser"));
    setExpandsOnDoubleClick(true);
    // The model keeps which groups are open, so that a rebuild opens them again.
    connect(this, &QTreeView::expanded, &model,
            [&model](const QModelIndex& index) { model.SetGroupExpanded(index, true); });
    connect(this, &QTreeView::collapsed, &model,
            [&model](const QModelIndex& index) { model.SetGroupExpanded(index, false); });
    connect(&model, &QAbstractItemModel::modelReset, this, &CQueryBrowserTreeCtrl::ExpandRemembered);
    connect(this, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index)
            {
                if (m_model.QueryIdAt(index) != 0)
                    emit runRequested();
            });
}

void CQueryBrowserTreeCtrl::ExpandRemembered()
{
    // Expanding tells the model again; the set it holds is what is being restored.
    const QSet<qint32> remembered = m_model.ExpandedGroups();
    for (const QModelIndex& index : m_model.ExpandedGroupIndexes())
        expand(index);
    m_model.SetExpandedGroups(remembered);
}

qint32 CQueryBrowserTreeCtrl::TakeQueryToRun()
{
    const qint32 pending = m_lPendingQueryId;
    m_lPendingQueryId = 0;
    if (pending != 0)
        return pending;
    const QModelIndexList selected =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    return selected.isEmpty() ? 0 : m_model.QueryIdAt(selected.first());
}

bool CQueryBrowserTreeCtrl::Run(CQueryRunner& runner)
{
    const qint32 queryId = TakeQueryToRun();
    return queryId != 0 && runner.StartQuery(queryId);
}
