#pragma once

#include "browser/BrowserCommands.h"
#include "browser/FileListTotals.h"
#include "browser/RecentFileList.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <map>
#include <memory>

class CDialogFileChooser;
class CFileChooser;
class CFileOperations;
class CWidgetFileProblemsPrompt;
class CMirrowelDoc;
class CNavigatorWnd;
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
    QTableView* FileListView() const { return m_pFileListView; }
    CRecordSetList& FileList() { return *m_pFileList; }
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

    // Opens a database and lists it among the recent files.
    bool OpenFile(const QString& path);
    // Enables each command as the document's state allows.
    void UpdateCommandStates();
    // Writes the toolbars, the attribute lists' heights and the recent files to the settings.
    void SaveSettings();

public slots:
    void OnFileNew();
    void OnFileOpen();
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
    std::unique_ptr<CRecordSetList> m_pFileList;
    QTableView* m_pFileListView = nullptr;

    std::unique_ptr<CWidgetFileProblemsPrompt> m_pProblemsPrompt;
    std::unique_ptr<CFileOperations> m_pFileOperations;

    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pTotalPane = nullptr;
    QLabel* m_pCheckedPane = nullptr;

    // The navigator's width as it was read or last written for this database and user.
    int m_nStoredNavigatorWidth = -1;
    QTimer m_navigatorWidthTimer;
    bool m_bSettingsSaved = false;
};
