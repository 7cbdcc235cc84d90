#include "gui/browser/NavigatorPages.h"

#include "browser/models/CatalogueTreeModel.h"
#include "browser/models/QueryTreeModel.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"
#include "gui/browser/query/QueryBrowserTreeCtrl.h"

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
    return new CQueryBrowserTreeCtrl(model, parent);
}
