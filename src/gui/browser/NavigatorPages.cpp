#include "gui/browser/NavigatorPages.h"

#include "browser/models/CatalogueTreeModel.h"
#include "browser/models/QueryTreeModel.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"

#include <QTreeView>

namespace
{
QTreeView* CreateTree(QAbstractItemModel& model, const QString& name, QWidget* parent)
{
    auto* view = new QTreeView(parent);
    view->setHeaderHidden(true);
    view->setUniformRowHeights(true);
    view->setModel(&model);
    view->setAccessibleName(name);
    return view;
}
} // namespace

QTreeView* CreateCatalogueBrowserView(CCatalogueTreeModel& model, CMirrowelDoc& doc, QWidget* parent)
{
    return new CCatalogueBrowserTreeCtrl(model, doc, parent);
}

QTreeView* CreateQueryBrowserView(CQueryTreeModel& model, QWidget* parent)
{
    QTreeView* view = CreateTree(model, QStringLiteral("Query Browser"), parent);
    // The model keeps which groups are open across its rebuilds.
    QObject::connect(view, &QTreeView::expanded, &model,
                     [&model](const QModelIndex& index) { model.SetGroupExpanded(index, true); });
    QObject::connect(view, &QTreeView::collapsed, &model,
                     [&model](const QModelIndex& index) { model.SetGroupExpanded(index, false); });
    return view;
}
