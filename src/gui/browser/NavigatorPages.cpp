#include "gui/browser/NavigatorPages.h"

#include "browser/models/CatalogueTreeModel.h"
#include "browser/models/QueryTreeModel.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"
#include "gui/browser/query/QueryBrowserTreeCtrl.h"

#include <QTreeView>

QTreeView* CreateCatalogueBrowserView(CCatalogueTreeModel& model, CMirrowelDoc& doc, QWidget* parent)
{
    return new CCatalogueBrowserTreeCtrl(model, doc, parent);
}

QTreeView* CreateQueryBrowserView(CQueryTreeModel& model, QWidget* parent)
{
    return new CQueryBrowserTreeCtrl(model, parent);
}
