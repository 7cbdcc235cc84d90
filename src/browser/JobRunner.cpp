#include "browser/JobRunner.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"

#include <QDeadlineTimer>
#include <QThread>

#include <exception>

CJobContext::CJobContext(CUserInteraction& ui, CDbDatabase* pDatabase, CDbRetryPolicy* pPolicy)
    : m_ui(ui), m_pDatabase(pDatabase), m_pPolicy(pPolicy)
{
    if (!m_pPolicy)
    {
        m_pOwnPolicy = std::make_unique<CDbRetryPolicy>(ui);
        m_pOwnPolicy->SetCaption(QStringLiteral("Quarrane"));
        m_pPolicy = m_pOwnPolicy.get();
    }
}

void CJobContext::SetRetryWait(const std::function<void(std::chrono::milliseconds)>& wait)
{
    if (wait)
        m_pPolicy->SetWait(wait);
}

CJobContext::~CJobContext() = default;

bool CJobContext::ShouldContinue() const
{
    return m_ui.IsOperationRunning();
}

CJobRunner::CJobRunner(CUserInteraction& ui, QObject* parent) : QObject(parent), m_ui(ui) {}

CJobRunner::~CJobRunner()
{
    if (!m_pThread)
        return;
    m_ui.SetOperationRunning(false);
    m_pThread->wait();
    delete m_pThread;
    m_pThread = nullptr;
}

bool CJobRunner::Start(const CJobParams& params, Body body, Done done)
{
    if (m_pThread)
        return false;
    m_params = params;
    m_body = std::move(body);
    m_done = std::move(done);
    m_bCompleted = false;
    m_bCloseRequested = false;
    m_ui.SetOperationRunning(true);
    m_pThread = QThread::create([this] { Run(); });
    // Queued to this object's thread: the end of a job is handled where it was started.
    QThread* thread = m_pThread;
    connect(thread, &QThread::finished, this,
            [this, thread]
            {
                if (m_pThread == thread)
                    Finish();
            });
    emit jobStarted(m_params.strName);
    if (m_params.bWrites)
        emit writingChanged(true);
    thread->start();
    return true;
}

void CJobRunner::Run()
{
    std::unique_ptr<CDbDatabase> db;
    try
    {
        if (!m_params.strDatabasePath.isEmpty())
        {
            db = std::make_unique<CDbDatabase>();
            db->SetUserName(m_params.strUserName);
            db->Open(m_params.strDatabasePath);
        }
        CJobContext context(m_ui, db.get());
        context.SetRetryWait(m_fnRetryWait);
        m_bCompleted = m_body(context);
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CJobRunner::Run() - %1").arg(m_params.strName));
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(QString::fromLocal8Bit(e.what()),
                  QStringLiteral("CJobRunner::Run() - %1").arg(m_params.strName));
    }
}

void CJobRunner::Finish()
{
    QThread* thread = m_pThread;
    m_pThread = nullptr;
    thread->wait();
    thread->deleteLater();
    m_ui.SetOperationRunning(false);
    const bool completed = m_bCompleted;
    Done done = std::move(m_done);
    m_done = nullptr;
    m_body = nullptr;
    if (m_params.bWrites)
        emit writingChanged(false);
    if (done)
        done(completed);
    emit jobFinished(m_params.strName, completed);
    if (m_bCloseRequested)
        emit closeRequested();
}

void CJobRunner::Stop()
{
    if (m_pThread)
        m_ui.SetOperationRunning(false);
}

bool CJobRunner::AskToCancel(const QString& closing)
{
    return m_ui.MessageBox(
               QStringLiteral("A background task is currently running.\nClosing this %1 will cancel "
                              "that task.\n\nDo you wish to cancel the background task and close "
                              "this %1?")
                   .arg(closing),
               QStringLiteral("Background Processing in Progress"), MsgIcon::Warning,
               MsgButtons::YesNo) == MsgAnswer::Yes;
}

bool CJobRunner::QueryClose()
{
    if (!m_pThread)
        return true;
    if (!AskToCancel(QStringLiteral("application")))
        return false;
    // The job may have ended while the question was open.
    if (!m_pThread)
        return true;
    m_ui.SetOperationRunning(false);
    m_bCloseRequested = true;
    return false;
}

bool CJobRunner::Wait(int timeoutMs)
{
    if (!m_pThread)
        return true;
    const QDeadlineTimer deadline =
        timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    if (!m_pThread->wait(deadline))
        return false;
    Finish();
    return true;
}
