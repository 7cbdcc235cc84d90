#pragma once

#include "browser/QueryOutput.h"
#include "gui/browser/filelist/MirrowelView.h"

#include <QTabWidget>

class CMirrowelDoc;
class CMirrowelFolderView;
class CMirrowelQueryView;

// The file list's tabs: the folder view first, then one query view per query name, found by its
// label without regard to case, so that running a query again shows its rows where they were.
class CFileListTabs final : public QTabWidget, public CQueryOutput
{
    Q_OBJECT

public:
    explicit CFileListTabs(CMirrowelDoc& doc, QWidget* parent = nullptr);
    ~CFileListTabs() override;

    CMirrowelFolderView* FolderView() const { return m_pFolderView; }
    CMirrowelView* CurrentView() const;
    CMirrowelQueryView* QueryView(const QString& queryName) const;
    int QueryViewCount() const { return count() - 1; }

    void Show(qint32 queryId, const QString& queryName, const QString& sql, const QString& groupingOrderBy,
              int groupingDepth) override;

    // A search's rows in the query view named by title (made when there is none).
    void ShowSearch(const QString& title, const QString& sql, const QString& condition);

    void SetIconProvider(const std::function<QIcon(const QString& extension)>& provider);
    // The user chose another field view for lists of a kind.
    void ApplyFieldView(CMirrowelView::Kind kind, const QString& viewName);
    // The field views changed (the dialog): every list shows its view afresh.
    void ReapplyFieldViews();
    // Another view's query ran: the other lists read their rows again.
    void RefreshOthers(qint32 queryId);
    // Files changed elsewhere (moved, deleted, edited, marked): every open list reads its rows and
    // totals again, keeping its focused file.
    void RequeryAll();
    // The same, but for one list that has just been read again by whoever changed its files.
    void RequeryAllBut(const CMirrowelView* view);
    // A catalogue and its files are gone: a folder view showing it shows nothing, and the query
    // views run again in their grouped order, so that none keeps rows of it.
    void CatalogueDeleted(qint32 catalogueId);
    void DatabaseOpened();
    void DatabaseClosing();

signals:
    // The list the window's commands act on is another one, or shows other rows.
    void activeViewChanged();
    void totalsChanged(const CFileListTotals& totals);
    void statusText(const QString& text);
    void openRequested(qint32 fileId);
    void findRequested();

private:
    void Adopt(CMirrowelView* view);
    // The query view named name, made when there is none.
    CMirrowelQueryView* QueryTab(const QString& name);
    void CloseQueryTab(int index);

    CMirrowelDoc& m_doc;
    CMirrowelFolderView* m_pFolderView = nullptr;
    std::function<QIcon(const QString&)> m_iconProvider;
};
