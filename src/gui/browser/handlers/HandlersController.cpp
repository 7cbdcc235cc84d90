#include "gui/browser/handlers/HandlersController.h"

#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "browser/handlers/CatalogueFileRequest.h"
#include "common/FilePath.h"
#include "gui/browser/MainFrame.h"
#include "gui/browser/dialogs/OptionsSheet.h"
#include "gui/browser/filelist/MirrowelView.h"
#include "gui/browser/handlers/FileHandlingPage.h"
#include "gui/browser/handlers/SlideshowDialog.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableView>
#include <QUrl>

bool ShowInFileManager(const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

CHandlersController::CHandlersController(CMainFrame& frame, CMirrowelDoc& doc, CUserInteraction& ui)
    : m_frame(frame), m_doc(doc), m_ui(ui), m_opener(m_handlers, ui), m_icons(m_handlers),
      m_slideshow([this](ESlideFiles which) { return Candidates(which); },
                  [this](qint32 fileId) { return OpenSlide(fileId); })
{
    m_handlers.Load(FileHandlingXmlPath());
    m_opener.SetFileManagerShow(ShowInFileManager);

    auto on = [this](EMwCommand id, auto handler)
    {
        if (QAction* action = m_frame.Action(id))
            connect(action, &QAction::triggered, this, handler);
    };
    on(EMwCommand::FileListOpen, [this] { OpenFocused(); });
    on(EMwCommand::SlideshowConfigure, [this] { ConfigureSlideshow(); });
    on(EMwCommand::SlideshowPlay,
       [this]
       {
           m_slideshow.SetSettings(m_slideSettings);
           m_slideshow.Play();
       });
    on(EMwCommand::SlideshowPause, [this] { m_slideshow.Pause(); });
    on(EMwCommand::SlideshowStop, [this] { m_slideshow.Stop(); });
    on(EMwCommand::SlideshowNext, [this] { m_slideshow.Next(); });
    on(EMwCommand::SlideshowPrevious, [this] { m_slideshow.Previous(); });
    connect(&m_slideshow, &CSlideshow::stateChanged, &m_frame, &CMainFrame::UpdateCommandStates);
    // A database that closes takes the show's files with it.
    connect(&m_doc, &CMirrowelDoc::closing, &m_slideshow, &CSlideshow::Stop);
    AttachView(m_frame.FileListView());
}

CHandlersController::~CHandlersController() = default;

void CHandlersController::AttachView(QTableView* view)
{
    // A view comes back each time its tab is made active again; it is followed once.
    static const char* const kAttached = "quarraneHandlersAttached";
    if (!view || view->property(kAttached).toBool())
        return;
    view->setProperty(kAttached, true);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& at)
            {
                const QModelIndex index = view->indexAt(at);
                if (!index.isValid())
                    return;
                QMenu menu(view);
                AddFileMenuItems(menu, index.row());
                menu.exec(view->viewport()->mapToGlobal(at));
            });
    connect(&m_icons, &CFileTypeIcons::iconsReset, view->viewport(), qOverload<>(&QWidget::update));
}

void CHandlersController::AddFileMenuItems(QMenu& menu, int row)
{
    menu.addAction(QStringLiteral("&Open"), this, [this, row] { OpenRow(row); });
    QMenu* openWith = menu.addMenu(QStringLiteral("Open &With"));
    const std::optional<SOpenRequest> request = RowRequest(row);
    const QString extension = request ? FilePath(request->strPath).Extension() : QString();
    for (int handler : m_handlers.OpenWithHandlers(extension))
        openWith->addAction(m_handlers.Handler(handler).strName, this,
                            [this, row, handler] { OpenRow(row, handler); });
    openWith->setEnabled(!openWith->isEmpty());
    menu.addAction(QStringLiteral("Open Containing &Folder"), this,
                   [this, row] { OpenContainingFolder(row); });
}

std::optional<SOpenRequest> CHandlersController::RowRequest(int row)
{
    CRecordSetList& list = m_frame.FileList();
    if (!m_doc.Database() || row < 0 || row >= list.DataCtrl_GetRecordCount())
        return std::nullopt;
    return ReadOpenRequest(*m_doc.Database(), list.Key(row));
}

qint64 CHandlersController::OpenRow(int row, std::optional<int> handler)
{
    const std::optional<SOpenRequest> request = RowRequest(row);
    return request ? m_opener.OpenFile(*request, handler) : -1;
}

bool CHandlersController::OpenContainingFolder(int row)
{
    const std::optional<SOpenRequest> request = RowRequest(row);
    return request && m_opener.OpenContainingFolder(*request);
}

void CHandlersController::OpenFocused()
{
    if (const CMirrowelView* view = m_frame.ActiveFileListView(); view && view->FocusedRow() >= 0)
        OpenFileId(view->FocusedFileId());
}

qint64 CHandlersController::OpenFileId(qint32 fileId)
{
    if (!m_doc.Database())
        return -1;
    const std::optional<SOpenRequest> request = ReadOpenRequest(*m_doc.Database(), fileId);
    return request ? m_opener.OpenFile(*request) : -1;
}

void CHandlersController::ConfigureSlideshow()
{
    CSlideshowDialog dialog(m_slideSettings, &m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_slideSettings = dialog.Settings();
    m_slideshow.Stop();
    m_slideshow.SetSettings(m_slideSettings);
    m_slideshow.Play();
}

std::vector<qint32> CHandlersController::Candidates(ESlideFiles which)
{
    std::vector<int> rows;
    if (QTableView* view = m_frame.FileListView(); view && view->selectionModel())
        for (const QModelIndex& index : view->selectionModel()->selectedRows())
            rows.push_back(index.row());
    return SlideCandidates(m_frame.FileList(), which, std::move(rows), m_doc.Database(), m_doc.UserName());
}

SSlideOpened CHandlersController::OpenSlide(qint32 fileId)
{
    SSlideOpened opened;
    const std::optional<SOpenRequest> request =
        m_doc.Database() ? ReadOpenRequest(*m_doc.Database(), fileId) : std::nullopt;
    if (!request)
        return opened;
    opened.pid = m_opener.OpenFile(*request);
    if (const std::optional<int> index =
            m_handlers.FindDefaultHandler(FilePath(request->strPath).Extension()))
    {
        const SFileHandler handler = m_handlers.Handler(*index);
        opened.bKillPrevApp = handler.bKillPrevApp;
        opened.dKillPrevAppTime = handler.strKillPrevAppTime.toDouble();
        opened.bWaitForAppExit = handler.bWaitForAppExit;
    }
    return opened;
}

void CHandlersController::AddOptionsPage(COptionsSheet& sheet)
{
    auto* page = new CFileHandlingPage(m_ui, m_pChooser, FileHandlingXmlPath());
    connect(page, &CFileHandlingPage::applied, this, &CHandlersController::ReloadHandlers);
    sheet.AddPage(page, QStringLiteral("File Handling"), [page] { return page->Apply(); });
}

void CHandlersController::ReloadHandlers()
{
    m_handlers.Load(FileHandlingXmlPath());
    m_icons.Reset();
}
