#include "gui/browser/MainFrame.h"

#include "browser/BrowserSettings.h"
#include "browser/CatalogueStore.h"
#include "browser/CurrentFileEditor.h"
#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/QueryRunner.h"
#include "browser/RecordSetList.h"
#include "browser/filelist/FieldViewEditor.h"
#include "browser/filelist/FileListExport.h"
#include "browser/fileops/FileOperations.h"
#include "browser/fileops/MoveTargets.h"
#include "browser/import/MwImportCommand.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/ProductVersion.h"
#include "database/DbAddress.h"
#include "gui/WidgetInteraction.h"
#include "gui/browser/FileChooser.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/attributes/AttributesListView.h"
#include "gui/browser/attributes/FileDetailsFormView.h"
#include "gui/browser/attributes/FileListFollower.h"
#include "gui/browser/attributes/TextEditCommands.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"
#include "gui/browser/catalogue/SynchronizeOffer.h"
#include "gui/browser/dialogs/CheckFilesToSizeDlg.h"
#include "gui/browser/dialogs/FileProblemsDlg.h"
#include "gui/browser/dialogs/MoveCopyToDlg.h"
#include "gui/browser/dialogs/OptionsSheet.h"
#include "gui/browser/filelist/FieldViewsDialog.h"
#include "gui/browser/filelist/FileListTabs.h"
#include "gui/browser/filelist/MirrowelFolderView.h"
#include "gui/browser/handlers/HandlersController.h"
#include "gui/browser/query/QueryFindCommands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QToolBar>

namespace
{
const QString kFilter = QStringLiteral("Quarrane Files (*.qrl)");
const QString kIdleText = QStringLiteral("Ready");

// The picture of a toolbar button: the desktop's icon of that name, else the style's own.
QIcon CommandIcon(EMwCommand id)
{
    struct SIcon
    {
        EMwCommand id;
        const char* name;
        QStyle::StandardPixmap fallback;
    };
    static constexpr SIcon kIcons[] = {
        {EMwCommand::FileNew, "document-new", QStyle::SP_FileIcon},
        {EMwCommand::FileOpen, "document-open", QStyle::SP_DialogOpenButton},
        {EMwCommand::EditSaveChanges, "document-save", QStyle::SP_DialogSaveButton},
        {EMwCommand::ViewRequeryFileBrowser, "view-refresh", QStyle::SP_BrowserReload},
        {EMwCommand::GroupNew, "folder-new", QStyle::SP_FileDialogNewFolder},
        {EMwCommand::CatalogueSynchronize, "mail-send-receive", QStyle::SP_BrowserReload},
        {EMwCommand::CatalogueUpdateTth, "system-run", QStyle::SP_CommandLink},
        {EMwCommand::CatalogueNew, "drive-harddisk", QStyle::SP_DriveHDIcon},
        {EMwCommand::QueryRun, "media-playback-start", QStyle::SP_MediaPlay},
        {EMwCommand::QueryFind, "edit-find", QStyle::SP_FileDialogContentsView},
        {EMwCommand::QueryFindNext, "go-down", QStyle::SP_ArrowDown},
        {EMwCommand::QueryFindFileNameByMagnetLink, "insert-link", QStyle::SP_FileLinkIcon},
        {EMwCommand::QueryFindTthByMagnetLink, "edit-find-replace", QStyle::SP_FileDialogDetailedView},
        {EMwCommand::FileListSelectChecked, "edit-select-all", QStyle::SP_DialogApplyButton},
        {EMwCommand::FileListCheckFilesToSize, "media-optical", QStyle::SP_DriveCDIcon},
        {EMwCommand::FileListOpen, "document-open", QStyle::SP_DialogOpenButton},
        {EMwCommand::FileListGhostSelected, "edit-clear", QStyle::SP_DialogResetButton},
        {EMwCommand::FileListDeleteSelected, "edit-delete", QStyle::SP_TrashIcon},
        {EMwCommand::FileListRequery, "view-refresh", QStyle::SP_BrowserReload},
        {EMwCommand::SlideshowConfigure, "document-properties", QStyle::SP_FileDialogInfoView},
        {EMwCommand::SlideshowPrevious, "media-skip-backward", QStyle::SP_MediaSkipBackward},
        {EMwCommand::SlideshowStop, "media-playback-stop", QStyle::SP_MediaStop},
        {EMwCommand::SlideshowPause, "media-playback-pause", QStyle::SP_MediaPause},
        {EMwCommand::SlideshowPlay, "media-playback-start", QStyle::SP_MediaPlay},
        {EMwCommand::SlideshowNext, "media-skip-forward", QStyle::SP_MediaSkipForward},
    };
    for (const SIcon& icon : kIcons)
    {
        if (icon.id != id)
            continue;
        const QString name = QString::fromLatin1(icon.name);
        for (const QString& candidate : {name, name + QStringLiteral("-symbolic")})
            if (QIcon::hasThemeIcon(candidate))
                return QIcon::fromTheme(candidate);
        return QApplication::style()->standardIcon(icon.fallback);
    }
    return QIcon();
}

// A button's text: the command without its mnemonic, ellipsis and shortcut, shortened where the
// menu's text is too long for a button.
QString ButtonText(const SMwCommand& command)
{
    switch (command.id)
    {
    case EMwCommand::QueryFindFileNameByMagnetLink:
        return QStringLiteral("Find Name by Link");
    case EMwCommand::QueryFindTthByMagnetLink:
        return QStringLiteral("Find TTH by Link");
    case EMwCommand::SlideshowConfigure:
        return QStringLiteral("Slide Show");
    default:
        break;
    }
    QString text = MwCommandLabel(command);
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text;
}
} // namespace

CMainFrame::CMainFrame(CMirrowelDoc& doc, CWidgetInteraction& ui, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_ui(ui), m_pDialogChooser(std::make_unique<CDialogFileChooser>()),
      m_pChooser(m_pDialogChooser.get())
{
    setAccessibleName(QStringLiteral("Quarrane Browser"));
    // Most of the screen, so that the five toolbars find room on their row.
    QSize size(1024, 720);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.expandedTo(screen->availableSize() * 9 / 10);
    resize(size);

    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pSplitter->setChildrenCollapsible(false);
    m_pNavigator = new CNavigatorWnd(doc, m_pSplitter);
    m_pFileTabs = new CFileListTabs(doc, m_pSplitter);
    // Tab moves between the panes; the tabs themselves are chosen by mouse or Ctrl+Tab.
    m_pFileTabs->setFocusPolicy(Qt::NoFocus);
    m_pFileTabs->tabBar()->setFocusPolicy(Qt::NoFocus);
    m_pSplitter->addWidget(m_pNavigator);
    m_pSplitter->addWidget(m_pFileTabs);
    CreateDetailsPane();
    // A wider or narrower window changes the file list; the navigator keeps its width.
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    // Wide enough to show its four tabs side by side.
    const int navigatorWidth = qMax(kDefaultNavigatorWidth, m_pNavigator->tabBar()->sizeHint().width() + 8);
    m_pSplitter->setSizes({navigatorWidth, width() - navigatorWidth});
    setCentralWidget(m_pSplitter);
    m_pNavigator->installEventFilter(this);
    m_pProblemsPrompt = std::make_unique<CWidgetFileProblemsPrompt>(this);
    m_pFileOperations = std::make_unique<CFileOperations>(doc, *m_pProblemsPrompt);
    connect(m_pFileOperations.get(), &CFileOperations::finished, this,
            [this]
            {
                if (CMirrowelView* view = ActiveFileListView(); view && view->FocusedRow() >= 0)
                    view->scrollTo(view->model()->index(view->FocusedRow(), 0));
            });

    CreateActions();
    CreateMenus();
    CreateToolbars();
    CreateStatusBar();
    ConnectEditCommands();
    m_ui.SetWidgets(this, statusBar(), m_pProgress);
    m_pHandlers = std::make_unique<CHandlersController>(*this, m_doc, m_ui);
    m_pHandlers->SetFileChooser(m_pChooser);
    CreateFileListCommands();
    // Every list shows the handlers' icons and opens its files through them.
    m_pFileTabs->SetIconProvider([this](const QString& extension)
                                 { return m_pHandlers->Icons().Icon(extension); });
    connect(this, &CMainFrame::activeFileListChanged, this,
            [this] { m_pHandlers->AttachView(FileListView()); });
    connect(m_pFileTabs, &CFileListTabs::openRequested, m_pHandlers.get(), &CHandlersController::OpenFileId);
    m_pFindCommands = new CQueryFindCommands(*this, m_doc, m_ui);
    auto& catalogueTree = *static_cast<CCatalogueBrowserTreeCtrl*>(m_pNavigator->CatalogueView());
    ConnectCatalogueBrowser(
        catalogueTree, m_doc, statusBar(), [this](EMwCommand id) { return Action(id); },
        [this](const QString& path) { return OpenFile(path); });
    // Choosing a catalogue or folder shows its files.
    connect(&catalogueTree, &CCatalogueBrowserTreeCtrl::folderSelected, this, &CMainFrame::ShowFolderFiles);
    ConnectFileDrops(catalogueTree);

    m_navigatorWidthTimer.setSingleShot(true);
    m_navigatorWidthTimer.setInterval(400);
    connect(&m_navigatorWidthTimer, &QTimer::timeout, this, &CMainFrame::WriteNavigatorWidth);

    m_doc.SetBrowserLoader([this] { return OnDatabaseOpened(); });
    connect(&m_doc, &CMirrowelDoc::titleChanged, this, &CMainFrame::OnTitleChanged);
    connect(&m_doc, &CMirrowelDoc::statusText, this,
            [this](const QString& text) { m_ui.SetStatusText(text); });
    connect(&m_doc, &CMirrowelDoc::closing, this, &CMainFrame::OnDatabaseClosing);
    CJobRunner& jobs = m_doc.Jobs();
    connect(&jobs, &CJobRunner::jobStarted, this, &CMainFrame::UpdateCommandStates);
    connect(&jobs, &CJobRunner::writingChanged, this, &CMainFrame::UpdateCommandStates);
    connect(&jobs, &CJobRunner::jobFinished, this,
            [this]
            {
                m_ui.ClearProgress();
                UpdateCommandStates();
            });
    // The person said Yes to closing during a job, which has now stopped.
    connect(&jobs, &CJobRunner::closeRequested, this, &QWidget::close);
    connect(m_pNavigator, &QTabWidget::currentChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_pNavigator, &CNavigatorWnd::catalogueChoiceChanged, this, &CMainFrame::UpdateCommandStates);

    OnTitleChanged(m_doc.Title());
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    SaveSettings();
    m_doc.SetBrowserLoader({});
    m_doc.Queries().SetQueryOutput(nullptr);
    m_ui.SetWidgets(nullptr, nullptr, nullptr);
    // Focus moves while the panes go: nothing may look at them meanwhile.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QApplication::clipboard(), nullptr, this, nullptr);
    m_pFileListFollower->SetFileList(nullptr, nullptr);
    // The panes go while the models they show and the commands they update still exist.
    m_pNavigator->disconnect(this);
    m_pHandlers.reset();
    delete takeCentralWidget();
}

void CMainFrame::SetFileChooser(CFileChooser* chooser)
{
    m_pChooser = chooser ? chooser : m_pDialogChooser.get();
    m_pHandlers->SetFileChooser(m_pChooser);
}

QAction* CMainFrame::Action(EMwCommand id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------------
// Building the window

void CMainFrame::CreateActions()
{
    QSettings settings = BrowserSettings();
    for (const SMwCommand& command : MwCommands())
    {
        if (command.kind == EMwCommandKind::Submenu || command.kind == EMwCommandKind::RecentFile)
            continue;
        auto* action = new QAction(MwCommandLabel(command), this);
        const QString shortcut = MwCommandShortcut(command);
        if (!shortcut.isEmpty())
            action->setShortcut(QKeySequence::fromString(shortcut, QKeySequence::PortableText));
        action->setIconText(ButtonText(command));
        action->setIcon(CommandIcon(command.id));
        action->setCheckable(command.kind == EMwCommandKind::Toggle);
        m_actions[command.id] = action;
    }

    Connect(EMwCommand::FileNew, &CMainFrame::OnFileNew);
    Connect(EMwCommand::FileOpen, &CMainFrame::OnFileOpen);
    Connect(EMwCommand::FileOpenServer, &CMainFrame::OnFileOpenServer);
    Connect(EMwCommand::FileImport, &CMainFrame::OnFileImport);
    Connect(EMwCommand::FileImportServer, &CMainFrame::OnFileImportServer);
    Connect(EMwCommand::FileClose, &CMainFrame::OnFileClose);
    Connect(EMwCommand::FileCompactDatabase, &CMainFrame::OnFileCompactDatabase);
    Connect(EMwCommand::FileRepairDatabase, &CMainFrame::OnFileRepairDatabase);
    Connect(EMwCommand::ToolsOptions, &CMainFrame::OnToolsOptions);
    Connect(EMwCommand::HelpAbout, &CMainFrame::OnHelpAbout);
    Connect(EMwCommand::FileListMoveCopyTo, &CMainFrame::OnFileListMoveCopyTo);
    Connect(EMwCommand::FileListDeleteSelected, &CMainFrame::OnFileListDeleteSelected);
    Connect(EMwCommand::FileListGhostSelected, &CMainFrame::OnFileListGhostSelected);
    Connect(EMwCommand::FileListCheckFilesToSize, &CMainFrame::OnFileListCheckFilesToSize);
    connect(Action(EMwCommand::FileExit), &QAction::triggered, this, &QWidget::close);
    connect(Action(EMwCommand::EditSaveChanges), &QAction::triggered, this,
            [this] { m_doc.Editor().SaveChanges(); });
    for (int toolbar = 0; toolbar < kMwToolbarCount; ++toolbar)
    {
        QAction* toggle =
            Action(static_cast<EMwCommand>(static_cast<int>(EMwCommand::ViewFileToolbar) + toolbar));
        toggle->setChecked(settings.value(MwToolbarSetting(static_cast<EMwToolbar>(toolbar)), 1).toInt() !=
                           0);
        connect(toggle, &QAction::triggered, this,
                [this, toolbar](bool shown) { SetToolbarShown(toolbar, shown); });
    }
    QAction* statusToggle = Action(EMwCommand::ViewStatusBar);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::triggered, this, [this](bool shown) { statusBar()->setVisible(shown); });
}

void CMainFrame::Connect(EMwCommand id, void (CMainFrame::*handler)())
{
    connect(Action(id), &QAction::triggered, this, handler);
}

void CMainFrame::CreateMenus()
{
    for (const char* menuText : MwMenus())
    {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(menuText));
        if (qstrcmp(menuText, "&File") == 0)
            m_pFileMenu = menu;
        QMenu* submenu = nullptr;
        QString submenuText;
        for (const SMwCommand& command : MwCommands())
        {
            if (qstrcmp(command.menu, menuText) != 0)
                continue;
            QMenu* target = menu;
            if (*command.submenu)
            {
                if (!submenu || submenuText != QString::fromUtf8(command.submenu))
                {
                    submenuText = QString::fromUtf8(command.submenu);
                    submenu = menu->addMenu(submenuText);
                }
                target = submenu;
            }
            switch (command.kind)
            {
            case EMwCommandKind::Submenu:
            {
                QMenu* empty = target->addMenu(MwCommandLabel(command));
                empty->setEnabled(false);
                if (command.id == EMwCommand::ViewFolderFieldView)
                    m_pFolderViewMenu = empty;
                else if (command.id == EMwCommand::ViewQueryFieldView)
                    m_pQueryViewMenu = empty;
                break;
            }
            case EMwCommandKind::RecentFile:
                target->addSeparator();
                m_pRecentPlaceholder = target->addAction(MwCommandLabel(command));
                m_pRecentPlaceholder->setEnabled(false);
                target->addSeparator();
                break;
            default:
                target->addAction(Action(command.id));
                break;
            }
        }
    }
    QSettings settings = BrowserSettings();
    m_recent.Load(settings);
    RebuildRecentFiles();
}

void CMainFrame::CreateToolbars()
{
    for (int toolbar = 0; toolbar < kMwToolbarCount; ++toolbar)
    {
        const auto which = static_cast<EMwToolbar>(toolbar);
        auto* bar = new QToolBar(MwToolbarTitle(which), this);
        bar->setObjectName(MwToolbarSetting(which));
        bar->setAccessibleName(MwToolbarTitle(which) + QStringLiteral(" toolbar"));
        bar->setToolButtonStyle(Qt::ToolButtonFollowStyle);
        for (const SMwCommand& command : MwCommands())
            if (command.toolbar == which)
                bar->addAction(Action(command.id));
        // All five on one row at the top, each beside the one before.
        addToolBar(Qt::TopToolBarArea, bar);
        m_toolbars[toolbar] = bar;
        const QAction* toggle =
            Action(static_cast<EMwCommand>(static_cast<int>(EMwCommand::ViewFileToolbar) + toolbar));
        bar->setVisible(toggle->isChecked());
    }
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setAccessibleName(QStringLiteral("Status bar"));
    m_pProgress = new QProgressBar(bar);
    m_pProgress->setAccessibleName(QStringLiteral("Progress"));
    m_pProgress->setMaximumWidth(160);
    m_pProgress->setTextVisible(false);
    m_pProgress->hide();
    m_pTotalPane = new QLabel(bar);
    m_pTotalPane->setAccessibleName(QStringLiteral("Total"));
    m_pCheckedPane = new QLabel(bar);
    m_pCheckedPane->setAccessibleName(QStringLiteral("Checked"));
    bar->addPermanentWidget(m_pProgress);
    bar->addPermanentWidget(m_pTotalPane);
    bar->addPermanentWidget(m_pCheckedPane);
    // The idle text comes back whenever an operation's message is cleared.
    connect(bar, &QStatusBar::messageChanged, this,
            [bar](const QString& text)
            {
                if (text.isEmpty())
                    bar->showMessage(kIdleText);
            });
    bar->showMessage(kIdleText);
    CFileListTotals totals;
    ShowTotals(totals);
}

QMenu* CMainFrame::createPopupMenu()
{
    // The toolbars are chosen in View > Toobars, where the choice is also remembered.
    return nullptr;
}

void CMainFrame::SetToolbarShown(int toolbar, bool shown)
{
    m_toolbars[toolbar]->setVisible(shown);
    QSettings settings = BrowserSettings();
    settings.setValue(MwToolbarSetting(static_cast<EMwToolbar>(toolbar)), shown ? 1 : 0);
}

void CMainFrame::ShowTotals(const CFileListTotals& totals)
{
    m_pTotalPane->setText(totals.TotalText());
    m_pCheckedPane->setText(totals.CheckedText());
}

void CMainFrame::RebuildRecentFiles()
{
    for (QAction* action : m_recentActions)
    {
        m_pFileMenu->removeAction(action);
        delete action;
    }
    m_recentActions.clear();
    const QStringList& files = m_recent.Files();
    m_pRecentPlaceholder->setVisible(files.isEmpty());
    for (int i = 0; i < files.size(); ++i)
    {
        auto* action = new QAction(m_recent.MenuText(i), this);
        const QString path = files[i];
        connect(action, &QAction::triggered, this, [this, path] { OpenFile(path); });
        m_pFileMenu->insertAction(m_pRecentPlaceholder, action);
        m_recentActions.append(action);
    }
}

void CMainFrame::SaveSettings()
{
    QSettings settings = BrowserSettings();
    for (int toolbar = 0; toolbar < kMwToolbarCount; ++toolbar)
        settings.setValue(MwToolbarSetting(static_cast<EMwToolbar>(toolbar)),
                          m_toolbars[toolbar]->isHidden() ? 0 : 1);
    m_recent.Save(settings);
    m_pNavigator->SaveSettings();
}

void CMainFrame::CreateDetailsPane()
{
    // Whatever shows the files is the upper pane of a splitter, the current file's details the
    // lower one.
    auto* filePane = new QSplitter(Qt::Vertical);
    filePane->setChildrenCollapsible(false);
    const int index = m_pSplitter->count() - 1;
    filePane->addWidget(m_pSplitter->widget(index));
    m_pDetailsForm = new CFileDetailsFormView(m_doc.Editor(), filePane);
    filePane->addWidget(m_pDetailsForm);
    filePane->setStretchFactor(0, 1);
    filePane->setStretchFactor(1, 0);
    // Most of the height for the files; the form gets room for a few lines of each text.
    filePane->setSizes({height() * 3 / 4, 170});
    m_pSplitter->insertWidget(index, filePane);
    m_pFileListFollower = std::make_unique<CFileListFollower>(m_doc.Editor());
    // The form shows the focused file of whichever list is active.
    m_pFileListFollower->SetFileList(&FileList(), FileListView());
    connect(this, &CMainFrame::activeFileListChanged, this,
            [this] { m_pFileListFollower->SetFileList(&FileList(), FileListView()); });
}

void CMainFrame::ConnectEditCommands()
{
    // Select All is the file list's too: see CreateFileListCommands.
    for (const EMwCommand id :
         {EMwCommand::EditUndo, EMwCommand::EditCut, EMwCommand::EditCopy, EMwCommand::EditPaste})
        connect(Action(id), &QAction::triggered, this,
                [id] { RunTextEditCommand(QApplication::focusWidget(), id); });
    // Commands on an attribute list act on the one that has the focus.
    connect(Action(EMwCommand::EditNewAttribute), &QAction::triggered, this,
            []
            {
                if (auto* list = qobject_cast<CAttributesListView*>(QApplication::focusWidget()))
                    list->OnMwAttributeNew();
            });
    connect(Action(EMwCommand::EditRenameAttribute), &QAction::triggered, this,
            []
            {
                if (auto* list = qobject_cast<CAttributesListView*>(QApplication::focusWidget()))
                    list->OnMwAttributeRename();
            });
    connect(Action(EMwCommand::FileListReplayEdits), &QAction::triggered, this,
            [this] { m_doc.Editor().ReplayEdits(m_pFileListFollower->SelectedFileIds()); });
    // The Edit commands follow the focus and the clipboard.
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::UpdateCommandStates);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::UpdateCommandStates);
}

// ---------------------------------------------------------------------------------------------
// State

void CMainFrame::UpdateCommandStates()
{
    CMwCommandContext context;
    context.bDatabaseOpen = m_doc.IsOpen();
    context.bJobRunning = m_doc.Jobs().IsRunning();
    context.bJobWriting = m_doc.Jobs().IsWriting();
    context.bDatabaseReadOnly = m_doc.IsReadOnly();
    context.bDatabaseOnServer = m_doc.IsOpen() && m_doc.Database() && m_doc.Database()->IsServer();
    context.bBrowserTabShown = m_pNavigator->currentIndex() == CNavigatorWnd::BrowserPage;
    context.bCatalogueChosen = m_pNavigator->ChosenCatalogueId() != 0;
    if (m_pHandlers)
    {
        context.bSlideshowPlaying = m_pHandlers->Slideshow().State() == CSlideshow::EState::Playing;
        context.bSlideshowPaused = m_pHandlers->Slideshow().State() == CSlideshow::EState::Paused;
    }
    QWidget* focus = QApplication::focusWidget();
    context.bTextFocused = CanRunTextEditCommand(focus, EMwCommand::EditCopy);
    context.bTextEditable = CanRunTextEditCommand(focus, EMwCommand::EditCut);
    context.bClipboardText = CanRunTextEditCommand(focus, EMwCommand::EditPaste);
    context.bAttributeListFocused = qobject_cast<CAttributesListView*>(focus) != nullptr;
    const int chosenKind =
        m_pNavigator->CatalogueView()->currentIndex().data(CCatalogueTreeModel::KindRole).toInt();
    context.bGroupChosen = chosenKind == CCatalogueTreeRecord::KindGroup;
    context.bFolderChosen = chosenKind == CCatalogueTreeRecord::KindFolder;
    for (const SMwCommand& command : MwCommands())
        if (QAction* action = Action(command.id))
            action->setEnabled(IsMwCommandEnabled(command, context));
    for (const EMwCommand id : {EMwCommand::ViewFolderFieldView, EMwCommand::ViewQueryFieldView})
        if (QMenu* menu = FieldViewMenu(id == EMwCommand::ViewFolderFieldView))
            menu->setEnabled(IsMwCommandEnabled(MwCommand(id), context));
    emit commandStatesUpdated();
}

void CMainFrame::OnTitleChanged(const QString& title)
{
    setWindowTitle(title + QStringLiteral(" - Quarrane Browser"));
    UpdateCommandStates();
}

bool CMainFrame::OnDatabaseOpened()
{
    const bool loaded = m_pNavigator->Load();
    m_pFileTabs->DatabaseOpened();
    // The file list starts with the first catalogue's files rather than empty.
    if (loaded)
        static_cast<CCatalogueBrowserTreeCtrl*>(m_pNavigator->CatalogueView())->SelectFirstCatalogue();
    const int width = m_doc.GetDatabaseParameter(NavigatorWidthParameter()).toInt();
    if (width > 0)
        SetNavigatorWidth(width);
    m_nStoredNavigatorWidth = width > 0 ? width : -1;
    UpdateCommandStates();
    return loaded;
}

void CMainFrame::OnDatabaseClosing()
{
    if (m_navigatorWidthTimer.isActive())
    {
        m_navigatorWidthTimer.stop();
        WriteNavigatorWidth();
    }
    m_pFileTabs->DatabaseClosing();
    m_pNavigator->Clear();
    m_nStoredNavigatorWidth = -1;
}

QString CMainFrame::NavigatorWidthParameter() const
{
    return QStringLiteral("NavigatorWndWidth_") + m_doc.UserName();
}

int CMainFrame::NavigatorWidth() const
{
    return m_pNavigator->width();
}

void CMainFrame::SetNavigatorWidth(int width)
{
    const QList<int> sizes = m_pSplitter->sizes();
    int total = 0;
    for (int size : sizes)
        total += size;
    if (total <= 0)
        total = m_pSplitter->width();
    m_pSplitter->setSizes({width, qMax(1, total - width)});
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pNavigator && event->type() == QEvent::Resize && m_doc.IsOpen() && !m_doc.IsClosing())
        m_navigatorWidthTimer.start();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::WriteNavigatorWidth()
{
    const int width = NavigatorWidth();
    // A database opened read-only keeps no width: waiting for it to become writable never ends.
    if (!m_doc.IsOpen() || m_doc.IsReadOnly() || width <= 0 || width == m_nStoredNavigatorWidth)
        return;
    // A job writing meanwhile would hold the database; the width is written once it has ended.
    if (!m_doc.CanWrite())
    {
        m_navigatorWidthTimer.start();
        return;
    }
    if (m_doc.SetDatabaseParameter(NavigatorWidthParameter(), QString::asprintf("%d", width)))
        m_nStoredNavigatorWidth = width;
}

// ---------------------------------------------------------------------------------------------
// Commands

void CMainFrame::OnFileNew()
{
    const std::optional<QString> path = m_pChooser->SaveFileName(
        this, QStringLiteral("Create New Quarrane Database"), kFilter, QStringLiteral("qrl"));
    if (path)
        LetClosedDatabasesJobEnd();
    if (m_doc.NewDatabase(path) && path)
    {
        m_recent.Add(*path);
        RebuildRecentFiles();
    }
}

void CMainFrame::OnFileOpen()
{
    if (const std::optional<QString> path = m_pChooser->OpenFileName(this, QStringLiteral("Open"), kFilter))
        OpenFile(*path);
}

void CMainFrame::OnFileOpenServer()
{
    if (const std::optional<QString> address =
            m_pChooser->ServerAddress(this, QStringLiteral("Open Server Catalogue")))
        OpenFile(*address);
}

void CMainFrame::OnFileImport()
{
    ImportDatabase(m_pChooser->OpenFileName(this, MwImportDialogCaption(), MwImportDialogFilter()));
}

void CMainFrame::OnFileImportServer()
{
    ImportDatabase(m_pChooser->ServerAddress(this, MwImportServerCaption()));
}

void CMainFrame::ImportDatabase(const std::optional<QString>& path)
{
    OnMwFileImport(m_doc, path,
                   [this](const SMwImportResult&)
                   {
                       // A failed import changed nothing, but the views are read afresh either
                       // way: the person sees the database as it is now.
                       QApplication::alert(this);
                       m_pNavigator->CatalogueModel().Requery();
                       m_pFileTabs->RequeryAll();
                   });
}

void CMainFrame::LetClosedDatabasesJobEnd()
{
    if (m_doc.IsOpen() || !m_doc.Jobs().IsRunning())
        return;
    // The compaction of the database closed last is still running. The document would wait for
    // it without looking at events, while the job may be waiting for an answer from this thread:
    // so the wait lets the job's questions through (their boxes take the person's input) and
    // keeps the window's own commands out until the job has ended.
    QEventLoop loop;
    connect(&m_doc.Jobs(), &CJobRunner::jobFinished, &loop, &QEventLoop::quit);
    if (m_doc.Jobs().IsRunning())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

bool CMainFrame::OpenFile(const QString& path)
{
    LetClosedDatabasesJobEnd();
    const bool opened = m_doc.OpenDatabase(path);
    if (opened)
        m_recent.Add(path);
    else if (!DbAddress::IsServerAddress(path) && !QFileInfo::exists(path))
        // A server that cannot be reached now keeps its place: it is not gone.
        m_recent.Remove(path);
    RebuildRecentFiles();
    UpdateCommandStates();
    return opened;
}

void CMainFrame::OnFileClose()
{
    m_doc.CloseCommand();
}

void CMainFrame::OnFileCompactDatabase()
{
    m_doc.CompactDatabaseCommand();
}

void CMainFrame::OnFileRepairDatabase()
{
    if (const std::optional<QString> path =
            m_pChooser->OpenFileName(this, QStringLiteral("Repair Quarrane Database"), kFilter))
        m_doc.RepairDatabaseCommand(*path);
}

void CMainFrame::OnToolsOptions()
{
    COptionsSheet sheet(&m_doc, this);
    m_pHandlers->AddOptionsPage(sheet);
    sheet.exec();
}

void CMainFrame::OnHelpAbout()
{
    QMessageBox::about(this, QStringLiteral("About Quarrane"),
                       ProductVersionLine(QStringLiteral("Quarrane")));
}

void CMainFrame::OnFileListMoveCopyTo()
{
    QTableView* view = FileListView();
    const std::vector<qint32> ids = CFileOperations::SelectedFileIds(FileList(), view->selectionModel());
    if (ids.empty() || !m_doc.IsOpen())
        return;
    std::vector<CMoveTargetCatalogue> targets;
    try
    {
        targets = MoveTargets(*m_doc.Database());
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CMainFrame::OnFileListMoveCopyTo() - CatalogueRecSet.Open"));
        return;
    }
    CMoveCopyToDlg dialog(std::move(targets), static_cast<int>(ids.size()), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    CMoveFilesRequest request;
    request.lCatalogueId = dialog.CatalogueId();
    request.lRelativePathId = dialog.RelativePathId();
    request.fileIds = ids;
    request.lFocusedFileId = ActiveFileListView()->FocusedFileId();
    request.bKeepFolders = dialog.KeepFolders();
    request.bCopy = dialog.Copy();
    m_pFileOperations->MoveFilesTo(request, &FileList(), view->selectionModel());
}

void CMainFrame::ConnectFileDrops(CCatalogueBrowserTreeCtrl& tree)
{
    // Files dropped on the tree came from the list the window shows.
    tree.SetFileMover(
        [this](const CMoveFilesRequest& request)
        { return m_pFileOperations->MoveFilesTo(request, &FileList(), FileListView()->selectionModel()); });
    // Files that moved, were copied or went: folders may have come or gone under their
    // catalogues, and the other lists may show them.
    connect(m_pFileOperations.get(), &CFileOperations::finished, this,
            [this, pTree = QPointer<CCatalogueBrowserTreeCtrl>(&tree)](const CFileOpResult& result)
            {
                if (!result.bDoingPassRan || !m_doc.IsOpen() || m_doc.IsClosing() || !pTree)
                    return;
                pTree->OnMwRequery();
                m_pFileTabs->RequeryAllBut(ActiveFileListView());
            });
    connect(&tree, &CCatalogueBrowserTreeCtrl::catalogueDeleted, m_pFileTabs,
            &CFileListTabs::CatalogueDeleted);
}

void CMainFrame::OnFileListDeleteSelected()
{
    // The Delete key belongs to a row label being edited: its editor is a child of the list.
    const QWidget* focus = QApplication::focusWidget();
    if (focus && focus != FileListView() && FileListView()->isAncestorOf(focus))
        return;
    m_pFileOperations->DeleteOrGhostSelected(FileList(), FileListView()->selectionModel(), false);
}

void CMainFrame::OnFileListGhostSelected()
{
    m_pFileOperations->DeleteOrGhostSelected(FileList(), FileListView()->selectionModel(), true);
}

void CMainFrame::OnFileListCheckFilesToSize()
{
    if (!FileList().IsOpen())
        return;
    CCheckFilesToSizeDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Capacity())
        return;
    m_pFileOperations->CheckFilesToSize(FileList(), dialog.Order(), *dialog.Capacity());
    FileListView()->viewport()->update();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // During a job: the question; Yes stops it after its item and the window closes when it ends.
    if (!m_doc.Jobs().QueryClose())
    {
        event->ignore();
        return;
    }
    if (!m_doc.CloseCommand())
    {
        event->ignore();
        return;
    }
    SaveSettings();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// The file list

QTableView* CMainFrame::FileListView() const
{
    return m_pFileTabs->CurrentView();
}

CMirrowelView* CMainFrame::ActiveFileListView() const
{
    return m_pFileTabs->CurrentView();
}

CRecordSetList& CMainFrame::FileList()
{
    return m_pFileTabs->CurrentView()->List();
}

void CMainFrame::ShowFolderFiles(qint32 catalogueId, qint32 relativePathId)
{
    m_pFileTabs->FolderView()->ShowFolder(catalogueId, relativePathId);
    m_pFileTabs->setCurrentWidget(m_pFileTabs->FolderView());
}

void CMainFrame::CreateFileListCommands()
{
    m_doc.Queries().SetQueryOutput(m_pFileTabs);
    connect(&m_doc.Queries(), &CQueryRunner::queryRefresh, m_pFileTabs, &CFileListTabs::RefreshOthers);
    connect(m_pFileTabs, &CFileListTabs::activeViewChanged, this, &CMainFrame::activeFileListChanged);
    connect(m_pFileTabs, &CFileListTabs::totalsChanged, this, &CMainFrame::ShowTotals);
    connect(m_pFileTabs, &CFileListTabs::statusText, this,
            [this](const QString& text) { m_ui.SetStatusText(text); });
    connect(m_pFileTabs, &CFileListTabs::findRequested, this,
            [this]
            {
                if (QAction* find = Action(EMwCommand::QueryFind); find && find->isEnabled())
                    find->trigger();
            });
    const auto onView = [this](EMwCommand id, auto handler)
    { connect(Action(id), &QAction::triggered, this, [this, handler] { handler(*ActiveFileListView()); }); };
    onView(EMwCommand::FileListSelectChecked, [](CMirrowelView& view) { view.SelectChecked(); });
    // A text field with the focus selects its text; elsewhere the list selects all its rows.
    onView(EMwCommand::EditSelectAll,
           [](CMirrowelView& view)
           {
               if (!RunTextEditCommand(QApplication::focusWidget(), EMwCommand::EditSelectAll))
                   view.SelectAllRows();
           });
    onView(EMwCommand::FileListNeverAutoCheck, [](CMirrowelView& view) { view.NeverAutoCheck(); });
    onView(EMwCommand::FileListRename, [](CMirrowelView& view) { view.StartRename(); });
    onView(EMwCommand::FileListRequery, [](CMirrowelView& view) { view.Requery(); });
    connect(Action(EMwCommand::FileListExportList), &QAction::triggered, this,
            [this]
            {
                if (const std::optional<QString> path = m_pChooser->SaveFileName(
                        this, QStringLiteral("Export List"),
                        QStringLiteral("CSV Files (*.csv);;Tab-Separated Text (*.tsv)"),
                        QStringLiteral("csv")))
                    ExportList(*path);
            });
    for (const bool folder : {true, false})
        if (QMenu* menu = FieldViewMenu(folder))
            connect(menu, &QMenu::aboutToShow, this, [this, folder] { FillFieldViewMenu(folder); });
}

void CMainFrame::FillFieldViewMenu(bool folder)
{
    QMenu* menu = FieldViewMenu(folder);
    menu->clear();
    CDbDatabase* db = m_doc.Database();
    if (!db)
        return;
    const auto kind = folder ? CFieldViewColumns::ListKind::Folder : CFieldViewColumns::ListKind::Query;
    const QString current = CFieldViewColumns::CurrentViewName(*db, m_doc.UserName(), kind);
    for (const QString& name : CFieldViewColumns::ViewNames(*db, m_doc.UserName()))
    {
        QAction* action = menu->addAction(name);
        action->setCheckable(true);
        action->setChecked(name.compare(current, Qt::CaseInsensitive) == 0);
        connect(action, &QAction::triggered, this,
                [this, kind, name]
                {
                    CDbDatabase* chosenDb = m_doc.Database();
                    if (!chosenDb || !m_doc.CanWrite())
                        return;
                    CFieldViewColumns::SetCurrentViewName(*chosenDb, m_doc.UserName(), kind, name);
                    m_ui.SetStatusText(QStringLiteral("Updating Views..."));
                    m_pFileTabs->ApplyFieldView(kind, name);
                    m_ui.SetStatusText(QString());
                });
    }
    menu->addSeparator();
    QAction* customize = menu->addAction(QStringLiteral("Customize File List Fields..."));
    customize->setEnabled(m_doc.CanWrite());
    connect(customize, &QAction::triggered, this, &CMainFrame::CustomizeFieldViews);
}

bool CMainFrame::CustomizeFieldViews()
{
    CDbDatabase* db = m_doc.Database();
    if (!db || !m_doc.CanWrite())
        return false;
    CFieldViewEditor editor(*db, m_doc.RetryPolicy(), m_doc.UserName());
    if (!editor.Load())
    {
        m_ui.MessageBox(QStringLiteral("The File List Field Views could not be read."),
                        QStringLiteral("Database Error"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    CMwFileListFieldViewsDialog dialog(editor, m_ui, ActiveFileListView()->FieldViewName(), this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_pFileTabs->ReapplyFieldViews();
    return true;
}

bool CMainFrame::ExportList(const QString& path)
{
    const std::optional<CFileListExport::EFormat> format = CFileListExport::FormatFromName(path);
    CMirrowelView* view = ActiveFileListView();
    if (!format || !view->List().IsOpen())
    {
        m_ui.MessageBox(format ? QStringLiteral("The file list shows nothing to export.")
                               : QStringLiteral("Export to a file ending in .csv or .tsv."),
                        QStringLiteral("Export List"), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    struct SOutcome
    {
        qint64 rows = -1;
        QString error;
    };
    auto outcome = std::make_shared<SOutcome>();
    const CFileListExport exporter = CFileListExport::FromList(view->List());
    const int total = view->List().DataCtrl_GetRecordCount();
    return m_doc.Jobs().Start(
        {QStringLiteral("CMirrowelView::OnExportList()"), m_doc.Path(), m_doc.UserName(), false},
        [exporter, path, format, total, outcome](CJobContext& job)
        {
            CUserInteraction& ui = job.Interaction();
            ui.SetStatusText(QStringLiteral("Exporting List (Esc to Cancel)..."));
            ui.SetProgressRange(0, qMax(total, 1));
            // Written beside the target and put in its place at the end: a stopped export leaves
            // no half file and an older export as it was.
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly))
            {
                outcome->error = file.errorString();
                return false;
            }
            outcome->rows = exporter.Write(
                job.Database(), file, *format,
                [&](qint64 rows)
                {
                    ui.SetProgressPos(static_cast<int>(qMin<qint64>(rows, total)));
                    return job.ShouldContinue();
                },
                &outcome->error);
            if (outcome->rows < 0)
                return false;
            if (!file.commit())
            {
                outcome->rows = -1;
                outcome->error = file.errorString();
                return false;
            }
            return true;
        },
        [this, path, outcome](bool)
        {
            m_ui.SetStatusText(QString());
            if (outcome->rows >= 0)
                m_ui.SetStatusText(QStringLiteral("Exported %1 files to %2").arg(outcome->rows).arg(path));
            else if (!outcome->error.isEmpty())
                m_ui.MessageBox(
                    QStringLiteral("The list was not exported to %1:\n%2").arg(path, outcome->error),
                    QStringLiteral("Export List"), MsgIcon::Warning, MsgButtons::Ok);
        });
}
