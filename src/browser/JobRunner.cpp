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

bool CJobRunner::Start(const CJobSpec& spec, Body body, Done done)
{
    if (m_pThread)
        return false;
    m_spec = spec;
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
    emit jobStarted(m_spec.strName);
    if (m_spec.bWrites)
        emit writingChanged(true);
    thread->start();
    return true;
}

void CJobRunner::Run()
{
    std::unique_ptr<CDbDatabase> db;
    try
    {
        if (!m_spec.strDatabasePath.isEmpty())
        {
            db = std::make_unique<CDbDatabase>();
            db->SetUserName(m_spec.strUserName);
            db->Open(m_spec.strDatabasePath);
        }
        CJobContext context(m_ui, db.get());
        context.SetRetryWait(m_fnRetryWait);
        m_bCompleted = m_body(context);
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CJobRunner::Run() - %1").arg(m_spec.strName));
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(QString::fromLocal8Bit(e.what()),
                  QStringLiteral("CJobRunner::Run() - %1").arg(m_spec.strName));
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
    if (m_spec.bWrites)
        emit writingChanged(false);
    if (done)
        done(completed);
    emit jobFinished(m_spec.strName, completed);
    if (m_bCloseRequested)
        emit closeRequested();
}

void CJobRunner::Stop()
{
    if (m_pThread)
        m_ui.SetOperationRunning(false);
}

bool CJobRunner::QueryClose()
{
    if (!m_pThread)
        return true;
    if (m_ui.MessageBox(
            QStringLiteral("A background task is currently running.\nClosing this application will "
                           "cancel that task.\n\nDo you wish to cancel the background task and close "
                           "this application?"),
            QStringLiteral("Background Processing in Progress"), MsgIcon::Warning,
            MsgButtons::YesNo) != MsgAnswer::Yes)
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
