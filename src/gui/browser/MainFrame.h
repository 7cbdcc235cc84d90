#pragma once

#include "browser/BrowserCommands.h"
#include "browser/FileListTotals.h"
#include "browser/RecentFileList.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <map>
#include <memory>
#include <optional>

class CCatalogueBrowserTreeCtrl;
class CDialogFileChooser;
class CFileChooser;
class CHandlersController;
class CFileListTabs;
class CMirrowelView;
class CFileDetailsFormView;
class CFileListFollower;
class CFileOperations;
class CWidgetFileProblemsPrompt;
class CMirrowelDoc;
class CNavigatorWnd;
class CQueryFindCommands;
class CRecordSetList;
class CWidgetInteraction;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QTableView;
class QToolBar;

// The browser's main window: the menus and the five toolbars built from the command table, the
// navigator beside the file list, and the status bar with its message, progress bar and totals.
// It shows what the document holds and hands the person's commands to it; long operations run as
// the document's jobs, and while one writes, the commands that write are disabled.
class CMainFrame final : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kDefaultNavigatorWidth = 300;

    // The interaction is the document's: the window becomes the owner of its boxes and the home
    // of its status text and progress.
    CMainFrame(CMirrowelDoc& doc, CWidgetInteraction& ui, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Where File dialogs come from (not owned); nullptr restores the desktop's dialogs.
    void SetFileChooser(CFileChooser* chooser);

    QAction* Action(EMwCommand id) const;
    QToolBar* Toolbar(EMwToolbar toolbar) const { return m_toolbars[static_cast<int>(toolbar)]; }
    CNavigatorWnd* Navigator() const { return m_pNavigator; }
    CHandlersController& Handlers() const { return *m_pHandlers; }
    // The file list of the active tab (the folder view or a query view).
    QTableView* FileListView() const;
    CRecordSetList& FileList();
    CMirrowelView* ActiveFileListView() const;
    CFileListTabs* FileListTabs() const { return m_pFileTabs; }
    CFileDetailsFormView* DetailsForm() const { return m_pDetailsForm; }
    // Tells the editor of the current file and selection of the file list.
    CFileListFollower& FileListFollower() { return *m_pFileListFollower; }
    CQueryFindCommands* FindCommands() const { return m_pFindCommands; }
    QProgressBar* ProgressBar() const { return m_pProgress; }
    QLabel* TotalPane() const { return m_pTotalPane; }
    QLabel* CheckedPane() const { return m_pCheckedPane; }
    QMenu* RecentFileMenu() const { return m_pFileMenu; }
    const CRecentFileList& RecentFiles() const { return m_recent; }
    // Moving, copying, deleting and ghosting files and checking them to a size; the catalogue
    // tree's drop menu moves and copies through it too.
    CFileOperations& FileOperations() { return *m_pFileOperations; }

    // The navigator's width as shown.
    int NavigatorWidth() const;
    void SetNavigatorWidth(int width);

    // The totals panes show these (the file list's walk feeds them).
    void ShowTotals(const CFileListTotals& totals);
    // Shows a catalogue folder (relativePathId 0: its root) in the folder view.
    void ShowFolderFiles(qint32 catalogueId, qint32 relativePathId);
    // The View menu's field view submenus, filled when they open.
    QMenu* FieldViewMenu(bool folder) const { return folder ? m_pFolderViewMenu : m_pQueryViewMenu; }
    void FillFieldViewMenu(bool folder);
    // "Customize File List Fields...": the dialog; true when its changes were kept.
    bool CustomizeFieldViews();
    // "Export List...": the active list to path (CSV or tab-separated by the extension) as a job.
    bool ExportList(const QString& path);

    // Opens a database and lists it among the recent files.
    bool OpenFile(const QString& path);
    // Enables each command as the document's state allows.
    void UpdateCommandStates();
    // Writes the toolbars, the attribute lists' heights and the recent files to the settings.
    void SaveSettings();

signals:
    // The active tab changed, or its list shows other rows.
    void activeFileListChanged();
    // The commands' enabled states were set from the table's rules; commands whose state depends
    // on more (the selection) refine theirs.
    void commandStatesUpdated();

public slots:
    void OnFileNew();
    void OnFileOpen();
    void OnFileOpenServer();
    void OnFileImport();
    void OnFileImportServer();
    void ImportDatabase(const std::optional<QString>& path);
    void OnFileClose();
    void OnFileCompactDatabase();
    void OnFileRepairDatabase();
    void OnToolsOptions();
    void OnHelpAbout();
    void OnFileListMoveCopyTo();
    void OnFileListDeleteSelected();
    void OnFileListGhostSelected();
    void OnFileListCheckFilesToSize();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolbars();
    void CreateStatusBar();
    void Connect(EMwCommand id, void (CMainFrame::*handler)());
    void SetToolbarShown(int toolbar, bool shown);
    void RebuildRecentFiles();
    // The document opened a database: the navigator shows it at the width this user left it.
    bool OnDatabaseOpened();
    void OnDatabaseClosing();
    QString NavigatorWidthParameter() const;
    void WriteNavigatorWidth();
    void OnTitleChanged(const QString& title);
    // Waits, with events moving, for a job that outlived its database (its compaction).
    void LetClosedDatabasesJobEnd();
    void CreateFileListCommands();
    // The details form under the file list, and the Edit and Replay Edits commands.
    void CreateDetailsPane();
    void ConnectEditCommands();
    // Files dropped on the catalogue tree are moved or copied; the tree and lists follow.
    void ConnectFileDrops(CCatalogueBrowserTreeCtrl& tree);

    CMirrowelDoc& m_doc;
    CWidgetInteraction& m_ui;
    std::unique_ptr<CDialogFileChooser> m_pDialogChooser;
    CFileChooser* m_pChooser = nullptr;
    std::map<EMwCommand, QAction*> m_actions;
    std::array<QToolBar*, kMwToolbarCount> m_toolbars{};
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pRecentPlaceholder = nullptr;
    QList<QAction*> m_recentActions;
    CRecentFileList m_recent;

    QSplitter* m_pSplitter = nullptr;
    CNavigatorWnd* m_pNavigator = nullptr;
    std::unique_ptr<CHandlersController> m_pHandlers;
    CFileListTabs* m_pFileTabs = nullptr;
    QMenu* m_pFolderViewMenu = nullptr;
    QMenu* m_pQueryViewMenu = nullptr;
    CFileDetailsFormView* m_pDetailsForm = nullptr;
    std::unique_ptr<CFileListFollower> m_pFileListFollower;

    std::unique_ptr<CWidgetFileProblemsPrompt> m_pProblemsPrompt;
    std::unique_ptr<CFileOperations> m_pFileOperations;

    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pTotalPane = nullptr;
    QLabel* m_pCheckedPane = nullptr;
    CQueryFindCommands* m_pFindCommands = nullptr;

    // The navigator's width as it was read or last written for this database and user.
    int m_nStoredNavigatorWidth = -1;
    QTimer m_navigatorWidthTimer;
    bool m_bSettingsSaved = false;
};
