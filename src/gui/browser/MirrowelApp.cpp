#include "gui/browser/MirrowelApp.h"

#include "browser/BrowserSettings.h"
#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/NewVersionCheck.h"
#include "browser/QueryRunner.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "gui/WidgetInteraction.h"
#include "gui/browser/MainFrame.h"
#include "gui/browser/dialogs/NewVersionDialog.h"

#include <QEventLoop>
#include <QIcon>
#include <QTimer>

#include <exception>

namespace
{
// The code a C++ exception carries where exceptions have codes ("msc" with a marker byte).
constexpr unsigned kCppExceptionCode = 0xE06D7363;
} // namespace

CMirrowelApp::CMirrowelApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName(BrowserSettingsOrganization());
    setApplicationName(BrowserSettingsApplication());
    SetErrorLogProgramName(QStringLiteral("Quarrane"));
    // Links the window to its launcher entry and icon on the desktop.
    setDesktopFileName(QStringLiteral("org.brevold.Quarrane"));
    // Toolbar pictures missing from the desktop's icon theme come from the one most desktops have.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

CMirrowelApp::~CMirrowelApp()
{
    if (m_pUi)
        ExitInstance();
}

QString CMirrowelApp::DatabaseArgument(const QStringList& arguments)
{
    for (int i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(QLatin1Char('-')))
            return arguments[i];
    return QString();
}

QString CMirrowelApp::ExceptionMessage(unsigned code)
{
    return QString::asprintf("Exception 0x%X thrown", code);
}

bool CMirrowelApp::InitInstance()
{
    m_pUi = std::make_unique<CWidgetInteraction>();
    SetProcessUserInteraction(m_pUi.get());
    m_pDoc = std::make_unique<CMirrowelDoc>(*m_pUi);
    m_pFrame = std::make_unique<CMainFrame>(*m_pDoc, *m_pUi);

    const QString database = DatabaseArgument(arguments());
    if (!database.isEmpty() && !m_pFrame->OpenFile(database))
        return false;
    m_pFrame->show();
    // --run-query=NAME: the query's rows in its tab once the window is up.
    for (const QString& argument : arguments())
        if (argument.startsWith(QLatin1String("--run-query=")) && m_pDoc->IsOpen())
            if (const qint32 queryId = m_pDoc->Queries().QueryIdFromName(argument.mid(12)))
                QTimer::singleShot(0, this, [this, queryId] { m_pDoc->Queries().StartQuery(queryId); });

    if (CNewVersionCheck::ShouldCheck(BrowserSettings()))
        QTimer::singleShot(0, this, &CMirrowelApp::StartVersionCheck);
    return true;
}

void CMirrowelApp::StartVersionCheck()
{
    m_pVersionCheck = std::make_unique<CNewVersionCheck>();
    CNewVersionDialog::ShowOnNewVersion(*m_pVersionCheck, m_pFrame.get(), [this] { return m_bShuttingDown; });
    m_pVersionCheck->StartIfWanted(BrowserSettings());
}

int CMirrowelApp::Run()
{
    int result = exec();
    if (m_bExceptionEscaped)
        result = kExceptionExitCode;
    ExitInstance();
    return result;
}

bool CMirrowelApp::notify(QObject* receiver, QEvent* event)
{
    try
    {
        return QApplication::notify(receiver, event);
    }
    catch (const CDbException& e)
    {
        ReportEscapedException(static_cast<unsigned>(e.m_nErrorCode));
    }
    catch (...)
    {
        ReportEscapedException(kCppExceptionCode);
    }
    return false;
}

void CMirrowelApp::ReportEscapedException(unsigned code)
{
    // One report: whatever the box's own event loop delivers meanwhile is not reported again.
    if (m_bExceptionEscaped.exchange(true))
        return;
    LOG_ERROR(ExceptionMessage(code), QStringLiteral("CMirrowelApp::Run()"));
    exit(kExceptionExitCode);
}

void CMirrowelApp::WaitForJob()
{
    if (!m_pDoc || !m_pDoc->Jobs().IsRunning())
        return;
    // The job may ask a question on this thread before it ends, so the wait keeps events moving.
    QEventLoop loop;
    connect(&m_pDoc->Jobs(), &CJobRunner::jobFinished, &loop, &QEventLoop::quit);
    if (m_pDoc->Jobs().IsRunning())
        loop.exec();
}

void CMirrowelApp::ExitInstance()
{
    m_bShuttingDown = true;
    if (m_pVersionCheck)
        m_pVersionCheck->Abandon();
    if (m_pDoc)
    {
        // A loop ended by an exception leaves the window open: its job stops after the item
        // it is on and the database closes without compaction.
        m_pDoc->Jobs().Stop();
        WaitForJob();
        m_pDoc->CloseDatabase();
        WaitForJob();
    }
    m_pVersionCheck.reset();
    m_pFrame.reset();
    m_pDoc.reset();
    SetProcessUserInteraction(nullptr);
    m_pUi.reset();
}
