#include "gui/browser/filelist/FileListTabs.h"

#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "gui/browser/filelist/MirrowelFolderView.h"
#include "gui/browser/filelist/MirrowelQueryView.h"

#include <QTabBar>

CFileListTabs::CFileListTabs(CMirrowelDoc& doc, QWidget* parent) : QTabWidget(parent), m_doc(doc)
{
    setAccessibleName(QStringLiteral("File List"));
    setDocumentMode(true);
    setTabsClosable(true);
    setMovable(false);
    m_pFolderView = new CMirrowelFolderView(doc, this);
    Adopt(m_pFolderView);
    addTab(m_pFolderView, QStringLiteral("Folder"));
    // The folder view stays; query tabs can be closed.
    tabBar()->setTabButton(0, QTabBar::RightSide, nullptr);
    tabBar()->setTabButton(0, QTabBar::LeftSide, nullptr);
    connect(this, &QTabWidget::tabCloseRequested, this, &CFileListTabs::CloseQueryTab);
    connect(this, &QTabWidget::currentChanged, this,
            [this]
            {
                if (CMirrowelView* view = CurrentView())
                    emit totalsChanged(view->Totals());
                emit activeViewChanged();
            });
}

CFileListTabs::~CFileListTabs() = default;

void CFileListTabs::Adopt(CMirrowelView* view)
{
    if (m_iconProvider)
        view->SetIconProvider(m_iconProvider);
    connect(view, &CMirrowelView::totalsChanged, this,
            [this, view](const CFileListTotals& totals)
            {
                if (view == CurrentView())
                    emit totalsChanged(totals);
            });
    connect(view, &CMirrowelView::statusText, this, &CFileListTabs::statusText);
    connect(view, &CMirrowelView::openRequested, this, &CFileListTabs::openRequested);
    connect(view, &CMirrowelView::findRequested, this, &CFileListTabs::findRequested);
    connect(&view->List(), &QAbstractItemModel::modelReset, this,
            [this, view]
            {
                if (view == CurrentView())
                    emit activeViewChanged();
            });
}

CMirrowelView* CFileListTabs::CurrentView() const
{
    auto* view = qobject_cast<CMirrowelView*>(currentWidget());
    return view ? view : m_pFolderView;
}

CMirrowelQueryView* CFileListTabs::QueryView(const QString& queryName) const
{
    for (int i = 1; i < count(); ++i)
        if (tabText(i).compare(queryName, Qt::CaseInsensitive) == 0)
            return qobject_cast<CMirrowelQueryView*>(widget(i));
    return nullptr;
}

void CFileListTabs::Show(qint32 queryId, const QString& queryName, const QString& sql,
                         const QString& groupingOrderBy, int groupingDepth)
{
    CMirrowelQueryView* view = QueryTab(queryName);
    view->ShowQuery(queryId, sql, groupingOrderBy, groupingDepth);
    setCurrentWidget(view);
}

CMirrowelQueryView* CFileListTabs::QueryTab(const QString& name)
{
    CMirrowelQueryView* view = QueryView(name);
    if (!view)
    {
        view = new CMirrowelQueryView(m_doc, name, this);
        Adopt(view);
        addTab(view, name);
    }
    return view;
}

void CFileListTabs::ShowSearch(const QString& title, const QString& sql, const QString& condition)
{
    CMirrowelQueryView* view = QueryTab(title);
    view->ShowSearch(sql, condition);
    setCurrentWidget(view);
}

void CFileListTabs::SetIconProvider(const std::function<QIcon(const QString& extension)>& provider)
{
    m_iconProvider = provider;
    for (int i = 0; i < count(); ++i)
        if (auto* view = qobject_cast<CMirrowelView*>(widget(i)))
            view->SetIconProvider(provider);
}

void CFileListTabs::ApplyFieldView(CMirrowelView::Kind kind, const QString& viewName)
{
    for (int i = 0; i < count(); ++i)
        if (auto* view = qobject_cast<CMirrowelView*>(widget(i)); view && view->ListKind() == kind)
            view->SetFileListFieldView(viewName);
}

void CFileListTabs::ReapplyFieldViews()
{
    for (int i = 0; i < count(); ++i)
        if (auto* view = qobject_cast<CMirrowelView*>(widget(i)))
            view->ApplyCurrentFieldView();
}

void CFileListTabs::RefreshOthers(qint32 queryId)
{
    for (int i = 0; i < count(); ++i)
    {
        auto* view = qobject_cast<CMirrowelView*>(widget(i));
        auto* query = qobject_cast<CMirrowelQueryView*>(view);
        if (!view || (query && queryId != 0 && query->QueryId() == queryId) || !view->List().IsOpen())
            continue;
        view->List().DataCtrl_RequeryAsync();
    }
}

void CFileListTabs::RequeryAll()
{
    RefreshOthers(0);
}

void CFileListTabs::RequeryAllBut(const CMirrowelView* except)
{
    for (int i = 0; i < count(); ++i)
        if (auto* view = qobject_cast<CMirrowelView*>(widget(i));
            view && view != except && view->List().IsOpen())
            view->List().DataCtrl_RequeryAsync();
}

void CFileListTabs::CatalogueDeleted(qint32 catalogueId)
{
    if (m_pFolderView->CatalogueId() == catalogueId)
        m_pFolderView->ShowFolder(0, 0);
    for (int i = 1; i < count(); ++i)
    {
        auto* view = qobject_cast<CMirrowelView*>(widget(i));
        if (!view || !view->List().IsOpen())
            continue;
        if (!view->List().GroupingColumns().isEmpty())
            view->List().SetGroupedOrder(true);
        view->List().DataCtrl_RequeryAsync();
    }
}

void CFileListTabs::DatabaseOpened()
{
    m_pFolderView->ApplyCurrentFieldView();
}

void CFileListTabs::DatabaseClosing()
{
    while (count() > 1)
        CloseQueryTab(count() - 1);
    m_pFolderView->ShowFolder(0, 0);
    m_pFolderView->List().ClearFieldsAndColumns();
}

void CFileListTabs::CloseQueryTab(int index)
{
    if (index <= 0 || index >= count())
        return;
    QWidget* view = widget(index);
    removeTab(index);
    delete view;
}
