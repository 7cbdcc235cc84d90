#pragma once

class CCatalogueTreeModel;
class CQueryTreeModel;
class QTreeView;
class QWidget;

// The views of the navigator's browser pages, made in one place so that richer views can take
// their places without the navigator changing: each returns a view showing its model.
QTreeView* CreateCatalogueBrowserView(CCatalogueTreeModel& model, QWidget* parent);
QTreeView* CreateQueryBrowserView(CQueryTreeModel& model, QWidget* parent);
