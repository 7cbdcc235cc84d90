#include "synch/MirrowelUpdateApp.h"

#include "common/ConversationServer.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "platform/ThreadPriority.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskManager.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

#include <exception>

CMirrowelUpdateApp::CMirrowelUpdateApp(CMwuSynchState& state, TaskManagerFactory factory, QObject* parent)
    : QObject(parent), m_state(state), m_factory(std::move(factory))
{
}

CMirrowelUpdateApp::~CMirrowelUpdateApp()
{
    Close();
}

bool CMirrowelUpdateApp::StartServer(QString* pError)
{
    if (!m_pServer)
    {
        m_pServer = new CConversationServer(QStringLiteral("QuarraneSynch"), this);
        m_pServer->SetHandler([this](const CConversationServer::Transaction& t) {
            return OnTransaction(static_cast<int>(t.kind), t.topic, t.item, t.data, t.linkId);
        });
    }
    return m_pServer->Listen(pError);
}

quint32 CMirrowelUpdateApp::OnTransaction(int kind, const QString& topic, const QString& item,
                                          const QString& data, quint64 linkId)
{
    switch (static_cast<ConversationKind>(kind))
    {
    case ConversationKind::AdviseStart:
        if (!m_bDocumentReady || m_state.IsClosing() || RequestCount() >= kMaxPendingRequests)
            return kDdeFBusy;
        CreateRequest(topic, item, RequestSource::AdviseStart, linkId);
        return kDdeFAck;
    case ConversationKind::Execute:
        if (!m_bDocumentReady || m_state.IsClosing() || RequestCount() >= kMaxPendingRequests)
            return kDdeFBusy;
        CreateRequest(topic, data, RequestSource::Execute);
        return kDdeFAck;
    case ConversationKind::Poke:
        // A second instance asks the running one to come forward, as it would raise our window.
        if (item == QStringLiteral("Raise"))
        {
            emit raiseRequested();
            return kDdeFAck;
        }
        return kDdeNotProcessed;
    default:
        return kDdeNotProcessed;
    }
}

std::shared_ptr<CMwuRequest> CMirrowelUpdateApp::CreateRequest(const QString& topic,
                                                               const QString& commandLine,
                                                               RequestSource source, quint64 linkId)
{
    auto request = std::make_shared<CMwuRequest>();
    request->m_strTopic = topic;
    request->m_strCommandLine = commandLine;
    request->m_source = source;
    request->m_linkId = linkId;
    CMwuRequest* raw = request.get();
    m_requests.push_back(request);
    ++m_nReceived;
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(raw);
        // A new worker only when the idle ones cannot take every queued request at once.
        if (static_cast<int>(m_queue.size()) > m_nIdleWorkers &&
            static_cast<int>(m_workers.size()) < kMaxWorkers && !m_bStopWorkers)
            m_workers.emplace_back([this] { RunWorker(); });
    }
    m_queueChanged.notify_one();
    return request;
}

int CMirrowelUpdateApp::WorkerCount() const
{
    std::lock_guard lock(m_queueMutex);
    return static_cast<int>(m_workers.size());
}

void CMirrowelUpdateApp::RunWorker()
{
    LowerCurrentThreadPriority();
    std::unique_lock lock(m_queueMutex);
    for (;;)
    {
        ++m_nIdleWorkers;
        m_queueChanged.wait(lock, [this] { return m_bStopWorkers || !m_queue.empty(); });
        --m_nIdleWorkers;
        if (m_queue.empty())
            return;
        CMwuRequest* request = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        RunRequest(request);
        lock.lock();
    }
}

void CMirrowelUpdateApp::StopWorkers()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_bStopWorkers = true;
    }
    m_queueChanged.notify_all();
    // Workers finish what is queued first; closing makes that quick.
    for (std::thread& worker : m_workers)
        if (worker.joinable())
            worker.join();
    m_workers.clear();
}

void CMirrowelUpdateApp::RunRequest(CMwuRequest* request)
{
    try
    {
        request->m_line = SynchCommandLine::Parse(request->m_strCommandLine);
        for (int index = 1; index <= 3 && !m_state.IsClosing(); ++index)
        {
            if (!request->m_line.TaskFlag(index))
                continue;
            std::unique_ptr<CMwuTaskManager> manager = m_factory(static_cast<TaskKind>(index), *request);
            if (!manager)
                continue;
            const int result = manager->Manage();
            // The first result stands, but entries skipped by one task give way to a worse
            // result of a later one.
            const int earlier = request->m_nResult.load();
            if (result != 0 && (earlier == 0 || earlier == CMwuTaskManager::ResultSkipped))
                request->m_nResult.store(result);
            const bool stop = result != 0 && manager->IsStopped();
            manager.reset();
            if (stop)
                break;
        }
    }
    catch (const CDbException& e)
    {
        LOG_ERROR(QStringLiteral("Exception 0x%1 thrown").arg(QString::number(e.m_nErrorCode, 16).toUpper()),
                  QStringLiteral("CMirrowelUpdateApp::OnPoke()"));
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(QStringLiteral("Exception 0x0 thrown: %1").arg(QString::fromLocal8Bit(e.what())),
                  QStringLiteral("CMirrowelUpdateApp::OnPoke()"));
    }
    request->m_bDone.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(this, [this, request] { OnRequestDone(request); }, Qt::QueuedConnection);
}

void CMirrowelUpdateApp::OnRequestDone(CMwuRequest* request)
{
    // The worker set the flag after its last write to the request; reading it first orders those
    // writes before the reads below without relying on the event queue that brought us here.
    if (!request->m_bDone.load(std::memory_order_acquire) || m_state.IsClosing())
        return;
    // A linked client hears at once that its request has ended, with the result.
    if (request->m_source == RequestSource::AdviseStart && m_pServer)
        m_pServer->PostFinalAdvise(request->m_linkId, static_cast<quint32>(request->m_nResult.load()));

    const bool quit = request->m_line.quit || m_bQuitWhenIdle;
    const int result = request->m_nResult.load();
    // Its worker has let go of it and its client has its answer: nothing needs it any longer.
    DestroyRequest(request);
    if (quit && m_state.RunningCount() == 0)
    {
        QTimer::singleShot(m_bUnattended ? 0 : m_nQuitDelayMs, this,
                           [this, result]
                           {
                               // Work that arrived during the delay is not cut short.
                               const bool allDone =
                                   std::all_of(m_requests.begin(), m_requests.end(),
                                               [](const auto& r) { return r->m_bDone.load(); });
                               if (m_state.IsClosing() || m_state.RunningCount() != 0 || !allDone)
                                   return;
                               m_nQuitResult = result;
                               // A client arriving from now on finds no server and starts another
                               // synchronizer, instead of handing its work to one that is going.
                               if (m_pServer)
                                   m_pServer->StopListening();
                               emit closeRequested();
                           });
    }
    else
        emit flashRequested();
}

void CMirrowelUpdateApp::OnRequestNotify(CMwuRequest* request)
{
    if (m_state.IsClosing())
        return;
    emit refreshRequested();
    auto it = std::find_if(m_requests.begin(), m_requests.end(), [request](const auto& r) { return r.get() == request; });
    if (it == m_requests.end())
        return;
    // A request that ended meanwhile was handed back when it ended (OnRequestDone).
    if (request->m_source == RequestSource::AdviseStart && m_pServer)
        m_pServer->PostAdvise();
}

void CMirrowelUpdateApp::DestroyRequest(CMwuRequest* request)
{
    auto it = std::find_if(m_requests.begin(), m_requests.end(), [request](const auto& r) { return r.get() == request; });
    if (it == m_requests.end())
        return;
    m_requests.erase(it);
}

void CMirrowelUpdateApp::Close()
{
    m_state.Close([](CMwuTaskManager* manager) { manager->Cancel(); });
    // A worker may be waiting for an answer that only this thread can show: keep serving events
    // until every worker has finished its current file and ended.
    auto allDone = [this] {
        return std::all_of(m_requests.begin(), m_requests.end(), [](const auto& r) { return r->m_bDone.load(); });
    };
    while (!allDone())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    StopWorkers();
    m_requests.clear();
    if (m_pServer)
        m_pServer->Close();
}

void CMirrowelUpdateApp::PostRefresh()
{
    QMetaObject::invokeMethod(this, [this] {
        if (!m_state.IsClosing())
            emit refreshRequested();
    }, Qt::QueuedConnection);
}

void CMirrowelUpdateApp::PostManageStarted()
{
    QMetaObject::invokeMethod(this, [this] {
        if (!m_state.IsClosing())
            emit manageStarted();
    }, Qt::QueuedConnection);
}

void CMirrowelUpdateApp::AskRefresh()
{
    if (m_state.IsClosing() || m_bRefreshPending.exchange(true))
        return;
    QMetaObject::invokeMethod(this, [this] {
        QTimer::singleShot(m_nRefreshDelayMs, this, [this] {
            m_bRefreshPending = false;
            if (!m_state.IsClosing())
                emit refreshRequested();
        });
    }, Qt::QueuedConnection);
}

void CMirrowelUpdateApp::AskRequestNotify(CMwuRequest* request)
{
    if (m_state.IsClosing() || m_bNotifyPending.exchange(true))
        return;
    QMetaObject::invokeMethod(this, [this, request] {
        QTimer::singleShot(m_nRequestNotifyDelayMs, this, [this, request] {
            m_bNotifyPending = false;
            OnRequestNotify(request);
        });
    }, Qt::QueuedConnection);
}

void CMirrowelUpdateApp::SetDelays(int requestNotifyMs, int refreshMs, int quitMs)
{
    m_nRequestNotifyDelayMs = requestNotifyMs;
    m_nRefreshDelayMs = refreshMs;
    m_nQuitDelayMs = quitMs;
}
