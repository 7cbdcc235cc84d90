#pragma once

class CCatalogueTreeModel;
class CMirrowelDoc;
class CQueryTreeModel;
class QTreeView;
class QWidget;

// The views of the navigator's browser pages, made in one place so that richer views can take
// their places without the navigator changing: each returns a view showing its model.
// The catalogue browser is a CCatalogueBrowserTreeCtrl working on the document's catalogues.
QTreeView* CreateCatalogueBrowserView(CCatalogueTreeModel& model, CMirrowelDoc& doc, QWidget* parent);
QTreeView* CreateQueryBrowserView(CQueryTreeModel& model, QWidget* parent);
