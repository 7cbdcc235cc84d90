#pragma once

#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"
#include "synch/MwuTask.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CConversationServer;
class CMwuSynchState;
class CMwuTaskManager;

// The synchronizer's application logic, without widgets: it takes command lines (its own and
// those that arrive by conversation) as requests, runs each on a worker thread, rate-limits the
// notices that workers ask for, tells linked clients of progress, and decides when to close.
class CMirrowelUpdateApp final : public QObject, public CMwuNotifier
{
    Q_OBJECT

public:
    using TaskManagerFactory = std::function<std::unique_ptr<CMwuTaskManager>(TaskKind, CMwuRequest&)>;

    static constexpr int kRequestNotifyDelayMs = 30000;
    static constexpr int kRefreshDelayMs = 10000;
    static constexpr int kQuitDelayMs = 3000;
    // Requests run on a small pool of workers: their task managers take turns on the database
    // anyway, and a thread per request lets a flood of requests exhaust the process.
    static constexpr int kMaxWorkers = 4;
    // Requests received and not yet finished beyond this many are answered busy.
    static constexpr int kMaxPendingRequests = 256;

    CMirrowelUpdateApp(CMwuSynchState& state, TaskManagerFactory factory, QObject* parent = nullptr);
    ~CMirrowelUpdateApp() override;

    // Serves "QuarraneSynch"; false when another live instance serves it.
    bool StartServer(QString* pError = nullptr);
    // Until the document exists, transactions are answered busy.
    void SetDocumentReady(bool ready) { m_bDocumentReady = ready; }

    // The request is handed back (dropped from the list) once its end has been handled; the
    // returned reference keeps it readable for as long as the caller holds it.
    std::shared_ptr<CMwuRequest> CreateRequest(const QString& topic, const QString& commandLine,
                                               RequestSource source, quint64 linkId = 0);
    // Requests received and not yet finished and handed back.
    int RequestCount() const { return static_cast<int>(m_requests.size()); }
    // Requests received since the start.
    int ReceivedCount() const { return m_nReceived; }
    int WorkerCount() const;

    // Closing: the closing flag, the gate opened, every running task manager cancelled, then every
    // worker waited for.
    void Close();

    // The exit status of a run that ended by its quit option: that request's first non-zero result.
    int QuitResult() const { return m_nQuitResult; }

    void PostRefresh() override;
    void PostManageStarted() override;
    void AskRefresh() override;
    void AskRequestNotify(CMwuRequest* request) override;

    // Every request acts as if it had the quit option: the program ends once it has no work left,
    // whatever each request said (a synchronizer started for a script, or started unattended with
    // the quit option and handed further requests).
    void SetQuitWhenIdle(bool quit) { m_bQuitWhenIdle = quit; }
    bool QuitsWhenIdle() const { return m_bQuitWhenIdle; }
    // Nobody watches an unattended run: it ends as soon as its requests are done, without the
    // delay that lets a person see the finished window.
    void SetUnattended(bool unattended) { m_bUnattended = unattended; }

    // For tests: shorter delays.
    void SetDelays(int requestNotifyMs, int refreshMs, int quitMs);

signals:
    void refreshRequested();
    void manageStarted();
    // A request with the quit option ended while nothing else runs: close the window.
    void closeRequested();
    // A request ended without closing the program: draw the person's eye to the window.
    void flashRequested();
    // A second instance asked the window to come forward.
    void raiseRequested();

private:
    void RunWorker();
    void RunRequest(CMwuRequest* request);
    void StopWorkers();
    void OnRequestDone(CMwuRequest* request);
    void OnRequestNotify(CMwuRequest* request);
    quint32 OnTransaction(int kind, const QString& topic, const QString& item, const QString& data,
                          quint64 linkId);
    void DestroyRequest(CMwuRequest* request);

    CMwuSynchState& m_state;
    TaskManagerFactory m_factory;
    CConversationServer* m_pServer = nullptr;
    bool m_bDocumentReady = true;
    std::list<std::shared_ptr<CMwuRequest>> m_requests;
    int m_nReceived = 0;
    // The worker pool: requests wait in the queue for a free worker.
    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<CMwuRequest*> m_queue;
    std::vector<std::thread> m_workers;
    int m_nIdleWorkers = 0;
    bool m_bStopWorkers = false;
    std::atomic<bool> m_bNotifyPending{false};
    std::atomic<bool> m_bRefreshPending{false};
    int m_nRequestNotifyDelayMs = kRequestNotifyDelayMs;
    int m_nRefreshDelayMs = kRefreshDelayMs;
    int m_nQuitDelayMs = kQuitDelayMs;
    int m_nQuitResult = 0;
    bool m_bQuitWhenIdle = false;
    bool m_bUnattended = false;
};
