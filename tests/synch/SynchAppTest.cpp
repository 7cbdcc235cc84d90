#include "common/ConversationClient.h"
#include "synch/MirrowelUpdateApp.h"
#include "common/ScriptedInteraction.h"
#include "synch/MwuContext.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"
#include "synch/MwuTaskManager.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <QSet>

#include <mutex>
#include <optional>
#include <thread>

namespace
{
// Stands in for the real task managers: "hashes" a number of files, passing the pause gate before
// each, and records what it did.
struct Journal
{
    std::mutex mutex;
    QStringList entries;
    std::atomic<int> filesDone{0};
    QSet<int> held; // catalogues whose task managers wait before each file until released

    void Hold(QSet<int> catalogues)
    {
        std::lock_guard lock(mutex);
        held = std::move(catalogues);
    }
    bool IsHeld(int catalogue)
    {
        std::lock_guard lock(mutex);
        return held.contains(catalogue);
    }

    void Add(const QString& entry)
    {
        std::lock_guard lock(mutex);
        entries.append(entry);
    }
    QStringList Entries()
    {
        std::lock_guard lock(mutex);
        return entries;
    }
};

class CFakeTaskManager final : public CMwuTaskManager
{
public:
    CFakeTaskManager(TaskKind kind, CMwuRequest& request, CMwuContext& context, Journal& journal, int files,
                     int result, bool stop)
        : CMwuTaskManager(kind, request, context), m_journal(journal), m_nFiles(files), m_nFakeResult(result),
          m_bStopOnResult(stop)
    {
    }
    int Manage() override
    {
        CMwuSynchState& state = m_context.state;
        std::lock_guard database(state.DatabaseMutex());
        m_journal.Add(QStringLiteral("%1:%2").arg(m_request.m_line.catalogueId).arg(m_kind));
        for (int i = 0; i < m_nFiles; ++i)
        {
            while (m_journal.IsHeld(m_request.m_line.catalogueId) && !IsCancelled())
                QThread::msleep(1);
            state.WaitWhilePaused();
            if (IsCancelled())
            {
                m_journal.Add(QStringLiteral("cancelled"));
                return 0;
            }
            ++m_journal.filesDone;
        }
        if (m_bStopOnResult)
            m_bStop = true;
        return m_nFakeResult;
    }

protected:
    CMwuTaskList::Row CreateTaskTop() override { return nullptr; }
    void SetProgressMaxTaskCurrent() override {}
    void ProcessGroupTaskCurrent() override {}

private:
    Journal& m_journal;
    int m_nFiles;
    int m_nFakeResult;
    bool m_bStopOnResult;
};

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

class SynchAppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid());
        qputenv("QUARRANE_RUNTIME_DIR", m_runtime.path().toUtf8());
    }
    void TearDown() override { qunsetenv("QUARRANE_RUNTIME_DIR"); }

    // Catalogue id 99 reports 4313 and stops its request; id 30 reports 30 and carries on.
    CMirrowelUpdateApp::TaskManagerFactory Factory(int files = 3)
    {
        return [this, files](TaskKind kind, CMwuRequest& request) -> std::unique_ptr<CMwuTaskManager> {
            const int id = request.m_line.catalogueId;
            const int result = id == 99 ? 4313 : id == 30 ? 30 : 0;
            return std::make_unique<CFakeTaskManager>(kind, request, *m_pContext, m_journal, files, result, id == 99);
        };
    }

    // The app is the context's notifier, so each test makes its context once its app exists.
    std::unique_ptr<CMwuContext> MakeContext(CMirrowelUpdateApp& app)
    {
        return std::make_unique<CMwuContext>(CMwuContext{m_state, m_tasks, app, m_ui, [](auto) {}});
    }

    QTemporaryDir m_runtime;
    CMwuSynchState m_state;
    CMwuTaskList m_tasks;
    CScriptedInteraction m_ui;
    Journal m_journal;
    std::unique_ptr<CMwuContext> m_pContext;
};
} // namespace

TEST_F(SynchAppTest, TasksRunInTheirFixedOrderAndAVersionStopEndsTheRequest)
{
    CMirrowelUpdateApp app(m_state, Factory());
    m_pContext = MakeContext(app);
    const std::shared_ptr<CMwuRequest> a =
        app.CreateRequest("CmdLine", "-Database=x -CatalogueID=1 -UpdateTTH -MarkDeleted -AddFiles",
                          RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return a->m_bDone.load(); }));
    const std::shared_ptr<CMwuRequest> b = app.CreateRequest(
        "CmdLine", "-Database=x -CatalogueID=99 -AddFiles -UpdateTTH", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return b->m_bDone.load(); }));
    const std::shared_ptr<CMwuRequest> c = app.CreateRequest(
        "CmdLine", "-Database=x -CatalogueID=30 -AddFiles -UpdateTTH", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return c->m_bDone.load(); }));
    // The force flag alone starts nothing.
    const std::shared_ptr<CMwuRequest> d = app.CreateRequest(
        "CmdLine", "-Database=x -CatalogueID=5 -ForceUpdateTTH", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return d->m_bDone.load(); }));

    EXPECT_EQ(m_journal.Entries(), QStringList({"1:1", "1:2", "1:3", "99:1", "30:1", "30:3"}));
    EXPECT_EQ(a->m_nResult.load(), 0);
    EXPECT_EQ(b->m_nResult.load(), 4313);
    EXPECT_EQ(c->m_nResult.load(), 30);
}

TEST_F(SynchAppTest, QuitClosesOnlyWhenNoTaskManagerRuns)
{
    CMirrowelUpdateApp app(m_state, Factory());
    m_pContext = MakeContext(app);
    app.SetDelays(50, 50, 50);
    QSignalSpy closed(&app, &CMirrowelUpdateApp::closeRequested);
    QSignalSpy flashed(&app, &CMirrowelUpdateApp::flashRequested);

    // The quitting request has the database; another request's task manager waits for it.
    m_journal.Hold({30, 1});
    const std::shared_ptr<CMwuRequest> quitting = app.CreateRequest(
        "CmdLine", "-Database=x -CatalogueID=30 -Quit -MarkDeleted", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return m_journal.Entries() == QStringList{"30:2"}; }));
    const std::shared_ptr<CMwuRequest> other =
        app.CreateRequest("CmdLine", "-Database=x -CatalogueID=1 -AddFiles", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return m_state.RunningCount() == 2; }));

    // The quitting request ends while the other one runs: the window is only flashed.
    m_journal.Hold({1});
    ASSERT_TRUE(WaitFor([&] { return quitting->m_bDone && flashed.count() == 1; }));
    QTest::qWait(200);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(other->m_bDone);

    m_journal.Hold({});
    ASSERT_TRUE(WaitFor([&] { return flashed.count() == 2; }));
    EXPECT_EQ(closed.count(), 0);

    // Alone, a quitting request closes the program after the delay, with its result.
    const std::shared_ptr<CMwuRequest> alone = app.CreateRequest(
        "CmdLine", "-Database=x -CatalogueID=30 -Quit -AddFiles", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return alone->m_bDone.load(); }));
    ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
    EXPECT_EQ(app.QuitResult(), 30);
}

TEST_F(SynchAppTest, PauseHoldsWorkersBetweenFilesAndClosingEndsThemAll)
{
    CMirrowelUpdateApp app(m_state, Factory(100000000));
    m_pContext = MakeContext(app);
    m_state.Pause();
    app.CreateRequest("CmdLine", "-Database=x -CatalogueID=1 -AddFiles", RequestSource::CommandLine);
    app.CreateRequest("CmdLine", "-Database=x -CatalogueID=2 -AddFiles", RequestSource::CommandLine);
    ASSERT_TRUE(WaitFor([&] { return m_state.RunningCount() == 2 && m_journal.Entries().size() == 1; }));
    QTest::qWait(50);
    EXPECT_EQ(m_journal.filesDone.load(), 0) << "a paused worker went on";

    m_state.Resume();
    ASSERT_TRUE(WaitFor([&] { return m_journal.filesDone.load() > 10; }));
    m_state.Pause();
    QTest::qWait(20);
    const int held = m_journal.filesDone.load();
    QTest::qWait(50);
    EXPECT_EQ(m_journal.filesDone.load(), held) << "pause did not hold between files";

    // Closing while paused wakes every worker, which sees the cancel flag and ends.
    app.Close();
    EXPECT_EQ(m_state.RunningCount(), 0);
    EXPECT_EQ(app.RequestCount(), 0);
    EXPECT_TRUE(m_journal.Entries().contains(QStringLiteral("cancelled")));
}

TEST_F(SynchAppTest, ConversationRequestsAndTheirNotices)
{
    CMirrowelUpdateApp app(m_state, Factory());
    m_pContext = MakeContext(app);
    app.SetDelays(50, 50, 50);
    ASSERT_TRUE(app.StartServer());
    QSignalSpy raised(&app, &CMirrowelUpdateApp::raiseRequested);

    // The server is served by this thread's event loop; the client blocks in another.
    std::atomic<int> phase{0};
    std::optional<quint32> busyAnswer, ackAnswer, finalResult;
    QList<CConversationClient::Advise> advises;
    std::thread client([&] {
        CConversationClient c;
        if (!c.Connect("QuarraneSynch", "AddFiles"))
            return;
        busyAnswer = c.AdviseStart("-Database=x -CatalogueID=30 -AddFiles");
        phase = 1;
        while (phase != 2)
            QThread::msleep(1);
        ackAnswer = c.AdviseStart("-Database=x -CatalogueID=30 -AddFiles");
        finalResult = c.WaitForFinalAdvise(10000);
        c.Poke("Raise", QString());
        advises = c.TakeAdvises();
        phase = 3;
    });
    app.SetDocumentReady(false);
    ASSERT_TRUE(WaitFor([&] { return phase == 1; }));
    app.SetDocumentReady(true);
    phase = 2;
    ASSERT_TRUE(WaitFor([&] { return phase == 3; }));
    client.join();

    EXPECT_EQ(busyAnswer, kDdeFBusy);
    EXPECT_EQ(ackAnswer, kDdeFAck);
    EXPECT_EQ(finalResult, 30u);
    EXPECT_TRUE(WaitFor([&] { return raised.count() == 1; }));
    EXPECT_EQ(m_journal.Entries(), QStringList({"30:1"}));
}

TEST_F(SynchAppTest, NoticesAreRateLimited)
{
    CMirrowelUpdateApp app(m_state, Factory());
    app.SetDelays(100, 100, 100);
    QSignalSpy refreshed(&app, &CMirrowelUpdateApp::refreshRequested);

    // Asked from a worker three times within the delay: one refresh, after the delay.
    std::thread worker([&] {
        app.AskRefresh();
        app.AskRefresh();
        app.AskRefresh();
    });
    worker.join();
    QTest::qWait(20);
    EXPECT_EQ(refreshed.count(), 0) << "a rate-limited refresh came before its delay";
    ASSERT_TRUE(WaitFor([&] { return refreshed.count() == 1; }));
    QTest::qWait(150);
    EXPECT_EQ(refreshed.count(), 1);

    // Once it has fired, the next ask starts a new delay; an immediate refresh is never held back.
    app.AskRefresh();
    app.PostRefresh();
    ASSERT_TRUE(WaitFor([&] { return refreshed.count() == 2; }));
    ASSERT_TRUE(WaitFor([&] { return refreshed.count() == 3; }));
}

TEST_F(SynchAppTest, AnUnattendedRunEndsAsSoonAsItHasNoWorkLeft)
{
    struct Case
    {
        const char* name;
        bool quitWhenIdle;
        const char* firstLine;  // held until the second request has arrived
        const char* secondLine; // without the quit option
        bool closes;
    };
    const Case cases[] = {
        {"started with -Quit, then handed a request without it", true,
         "-Database=x -CatalogueID=30 -Quit -MarkDeleted", "-Database=x -CatalogueID=1 -AddFiles", true},
        {"no request asked to quit, none quits", false, "-Database=x -CatalogueID=30 -MarkDeleted",
         "-Database=x -CatalogueID=1 -AddFiles", false},
        {"the last request to end has the quit option", false, "-Database=x -CatalogueID=1 -AddFiles",
         "-Database=x -CatalogueID=30 -Quit -MarkDeleted", true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CMwuSynchState state;
        CMirrowelUpdateApp app(state, Factory());
        m_pContext = std::make_unique<CMwuContext>(CMwuContext{state, m_tasks, app, m_ui, [](auto) {}});
        // The real delays: an unattended run must not wait the three seconds a person gets.
        app.SetUnattended(true);
        app.SetQuitWhenIdle(c.quitWhenIdle);
        QSignalSpy closed(&app, &CMirrowelUpdateApp::closeRequested);
        QSignalSpy flashed(&app, &CMirrowelUpdateApp::flashRequested);

        m_journal.Hold({1, 30});
        const auto first = app.CreateRequest("CmdLine", c.firstLine, RequestSource::CommandLine);
        ASSERT_TRUE(WaitFor([&] { return state.RunningCount() == 1; }));
        const auto second = app.CreateRequest("CmdLine", c.secondLine, RequestSource::Execute);
        ASSERT_TRUE(WaitFor([&] { return state.RunningCount() == 2; }));
        // The first request ends while the second waits for the database.
        const int firstCatalogue = first->m_line.catalogueId;
        m_journal.Hold({firstCatalogue == 1 ? 30 : 1});
        ASSERT_TRUE(WaitFor([&] { return first->m_bDone.load() && flashed.count() == 1; }));
        EXPECT_EQ(closed.count(), 0) << "work was left";

        QElapsedTimer sinceDone;
        m_journal.Hold({});
        ASSERT_TRUE(WaitFor([&] { return second->m_bDone.load(); }));
        sinceDone.start();
        if (c.closes)
        {
            ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }, 2500));
            EXPECT_LT(sinceDone.elapsed(), CMirrowelUpdateApp::kQuitDelayMs);
        }
        else
        {
            ASSERT_TRUE(WaitFor([&] { return flashed.count() == 2; }));
            EXPECT_EQ(closed.count(), 0);
        }
        app.Close();
    }
}

// Requests share a small pool of workers instead of a thread each, are handed back once ended, and
// past a limit of unfinished requests the server answers busy instead of piling them up.
TEST_F(SynchAppTest, RequestsShareABoundedPoolAndAreHandedBackWhenDone)
{
    CMirrowelUpdateApp app(m_state, Factory(1));
    m_pContext = MakeContext(app);
    ASSERT_TRUE(app.StartServer());
    m_journal.Hold({7});
    const int requests = CMirrowelUpdateApp::kMaxPendingRequests;
    std::vector<std::shared_ptr<CMwuRequest>> first;
    for (int i = 0; i < requests; ++i)
        first.push_back(
            app.CreateRequest("CmdLine", "-Database=x -CatalogueID=7 -AddFiles", RequestSource::CommandLine));
    ASSERT_TRUE(WaitFor([&] { return m_state.RunningCount() == CMirrowelUpdateApp::kMaxWorkers; }));
    QTest::qWait(50);
    EXPECT_EQ(app.WorkerCount(), CMirrowelUpdateApp::kMaxWorkers);
    EXPECT_EQ(m_state.RunningCount(), CMirrowelUpdateApp::kMaxWorkers) << "the rest wait for a worker";

    // The server is served by this thread's event loop; the client blocks in another.
    const auto execute = []
    {
        std::optional<quint32> answer;
        std::atomic<bool> done{false};
        std::thread client(
            [&]
            {
                CConversationClient c;
                if (c.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("CmdLine")))
                    answer = c.Execute(QStringLiteral("-Database=x -CatalogueID=8 -AddFiles"));
                done = true;
            });
        WaitFor([&] { return done.load(); });
        client.join();
        return answer;
    };
    EXPECT_EQ(execute(), kDdeFBusy);
    EXPECT_EQ(app.ReceivedCount(), requests);

    m_journal.Hold({});
    ASSERT_TRUE(WaitFor([&] { return app.RequestCount() == 0; }, 30000));
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](const auto& r) { return r->m_bDone.load(); }));
    EXPECT_EQ(m_journal.filesDone.load(), requests);
    EXPECT_EQ(execute(), kDdeFAck);
    ASSERT_TRUE(WaitFor([&] { return app.RequestCount() == 0; }));
    EXPECT_EQ(app.WorkerCount(), CMirrowelUpdateApp::kMaxWorkers) << "workers are kept, not made anew";
    EXPECT_EQ(app.ReceivedCount(), requests + 1);
}
