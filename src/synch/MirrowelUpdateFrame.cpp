#include "synch/MirrowelUpdateFrame.h"

#include "common/ProductVersion.h"
#include "synch/MirrowelUpdateApp.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskListModel.h"
#include "synch/WatcherPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTableView>

CMirrowelUpdateFrame::CMirrowelUpdateFrame(CMirrowelUpdateApp& app, CMwuSynchState& state,
                                           const CMwuTaskList& list, QSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_state(state), m_settings(settings),
      m_pModel(new CMwuTaskListModel(list, state, this)), m_pView(new QTableView(this))
{
    setWindowTitle(QStringLiteral("Quarrane Synchronizer"));
    setAttribute(Qt::WA_ShowWithoutActivating);

    m_pView->setModel(m_pModel);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pView->verticalHeader()->hide();
    m_pView->horizontalHeader()->setDefaultSectionSize(100);
    m_pView->horizontalHeader()->setStretchLastSection(false);
    m_pView->setWordWrap(false);
    setCentralWidget(m_pView);

    m_pMenu = menuBar()->addMenu(QStringLiteral("&Synchronizer"));
    m_pPause = m_pMenu->addAction(QStringLiteral("&Pause"), this, &CMirrowelUpdateFrame::TogglePause);
    m_pMenu->addSeparator();
    m_pMenu->addAction(QStringLiteral("&Save Window Position"), this, &CMirrowelUpdateFrame::SaveWindowPosition);
    m_pMenu->addAction(QStringLiteral("&About Quarrane Synchronizer..."), this, &CMirrowelUpdateFrame::ShowAbout);
    m_pView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_pMenu->popup(m_pView->viewport()->mapToGlobal(at)); });

    connect(&m_app, &CMirrowelUpdateApp::refreshRequested, m_pModel, &CMwuTaskListModel::Refresh);
    connect(&m_app, &CMirrowelUpdateApp::manageStarted, this, [this] {
        m_pModel->Refresh();
        FitAndPlace();
    });
    connect(&m_app, &CMirrowelUpdateApp::closeRequested, this, &QWidget::close);
    connect(&m_app, &CMirrowelUpdateApp::flashRequested, this, [this] { QApplication::alert(this); });
    connect(&m_app, &CMirrowelUpdateApp::raiseRequested, this, [this] {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    });
}

QSize CMirrowelUpdateFrame::DesktopSize() const
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

void CMirrowelUpdateFrame::FitAndPlace()
{
    const QRect place = WatcherPlacement::Read(m_settings).Place(DesktopSize());
    setWindowTitle(QStringLiteral("Quarrane Synchronizer"));
    setGeometry(place);
    show();
    raise();
}

void CMirrowelUpdateFrame::TogglePause()
{
    if (m_state.IsPaused())
    {
        m_state.Resume();
        m_pPause->setText(QStringLiteral("&Pause"));
    }
    else
    {
        m_state.Pause();
        m_pPause->setText(QStringLiteral("&Resume"));
    }
    m_app.PostRefresh();
}

void CMirrowelUpdateFrame::SaveWindowPosition()
{
    if (isMinimized())
        return;
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect(QPoint(), DesktopSize());
    // The same rectangle that placing sets, so that saving and placing round-trip exactly.
    const QRect window = geometry().translated(-screen.topLeft());
    WatcherPlacement::FromWindow(window, screen.size()).Write(m_settings);
    m_settings.sync();
}

void CMirrowelUpdateFrame::ShowAbout()
{
    QMessageBox::about(this, QStringLiteral("About Quarrane Synchronizer"),
                       ProductVersionLine(QStringLiteral("Quarrane Synchronizer")));
}

void CMirrowelUpdateFrame::closeEvent(QCloseEvent* event)
{
    m_app.Close();
    event->accept();
}
