#include "SynchTaskFixture.h"

#include "common/DbException.h"
#include "database/DbRetryPolicy.h"
#include "synch/MwuTaskManager.h"

#include <chrono>
#include <vector>

using namespace std::chrono_literals;

namespace
{
// A task manager with no work of its own: the retry rules are driven directly, the way the real
// tasks run their database operations.
class CRetryProbe final : public CMwuTaskManager
{
public:
    CRetryProbe(CMwuRequest& request, CMwuContext& context)
        : CMwuTaskManager(TaskKindUpdateTTH, request, context)
    {
    }
    using CMwuTaskManager::ReopenDatabase;
    using CMwuTaskManager::RunWithRetry;
    int RetryAnswer() const { return m_nRetryAnswer; }
    bool Answered() const { return m_bAnswered; }

protected:
    CMwuTaskList::Row CreateTaskTop() override { return nullptr; }
    void SetProgressMaxTaskCurrent() override {}
    void ProcessGroupTaskCurrent() override {}
};

const QString kSynchCaption = QStringLiteral("Quarrane Synchronizer");

CDbException Failure(long code)
{
    return CDbException(code, QStringLiteral("engine error %1").arg(code));
}

class TaskManagerRetryTest : public SynchTaskFixture
{
protected:
    void SetUp() override
    {
        SynchTaskFixture::SetUp();
        m_context.wait = [this](std::chrono::milliseconds ms)
        {
            // The reopen wait is a second; lock waits grow towards it from a few milliseconds.
            EXPECT_GE(ms, 1ms);
            EXPECT_LE(ms, 1000ms);
            ++m_nWaits;
        };
        m_request.m_strCommandLine =
            QStringLiteral("-Database=\"%1\" -CatalogueID=1 -UpdateTTH").arg(m_strDatabase);
        m_request.m_line = SynchCommandLine::Parse(m_request.m_strCommandLine);
    }

    QString LogText() const
    {
        QFile file(ErrorLogPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    int m_nWaits = 0;
};
} // namespace

TEST_F(TaskManagerRetryTest, ReopenErrorsOpenTheDatabaseAgainOrPassToTheEnclosingOperation)
{
    for (const long code : {3011L, 3043L, 3078L})
    {
        SCOPED_TRACE(code);
        m_nWaits = 0;
        CRetryProbe manager(m_request, m_context);
        manager.Database().Open(m_strDatabase);
        int attempts = 0;
        int reopens = 0;
        qint32 catalogues = -1;
        const bool done = manager.RunWithRetry(
            QStringLiteral("ctx"),
            [&]
            {
                if (++attempts == 1)
                    throw Failure(code);
                CDbStatement count =
                    manager.Database().Prepare(QStringLiteral("SELECT Count(*) FROM Catalogue"));
                catalogues = count.Step() ? count.Value(0).ToLong() : -1;
            },
            [&]
            {
                ++reopens;
                manager.ReopenDatabase();
            });
        EXPECT_TRUE(done);
        EXPECT_EQ(attempts, 2);
        EXPECT_EQ(reopens, 1);
        EXPECT_EQ(catalogues, 1) << "the database is open again";
        EXPECT_EQ(m_nWaits, 1) << "the reopen waits, the rule itself does not";

        // Without a reopen of its own the operation passes the error on; the enclosing one reopens
        // and runs the inner operation again.
        int inner = 0;
        reopens = 0;
        EXPECT_TRUE(manager.RunWithRetry(
            QStringLiteral("outer"),
            [&]
            {
                manager.RunWithRetry(QStringLiteral("inner"),
                                     [&]
                                     {
                                         if (++inner == 1)
                                             throw Failure(code);
                                     });
            },
            [&] { ++reopens; }));
        EXPECT_EQ(inner, 2);
        EXPECT_EQ(reopens, 1);
        try
        {
            manager.RunWithRetry(QStringLiteral("alone"), [&] { throw Failure(code); });
            ADD_FAILURE() << "not passed on";
        }
        catch (const CDbException& e)
        {
            EXPECT_EQ(e.m_nErrorCode, code);
        }
        EXPECT_EQ(manager.RetryAnswer(), CMwuTaskManager::IDRETRY);
    }
    EXPECT_TRUE(m_ui.Messages().empty());
    EXPECT_TRUE(LogText().isEmpty());

    // A database that cannot be opened again: asked once, and Cancel ends the operation and the task.
    CRetryProbe manager(m_request, m_context);
    manager.Database().Open(m_strDatabase);
    m_request.m_line.database = m_dir.filePath(QStringLiteral("gone.qrl"));
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    int attempts = 0;
    EXPECT_FALSE(manager.RunWithRetry(
        QStringLiteral("ctx"),
        [&]
        {
            ++attempts;
            throw Failure(3043);
        },
        [&] { manager.ReopenDatabase(); }));
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(manager.RetryAnswer(), CMwuTaskManager::IDCANCEL);
    EXPECT_TRUE(manager.IsCancelled());
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Database Error"));
}

TEST_F(TaskManagerRetryTest, DiskFullAsksRetryStartsTheCountAfreshCancelEndsTheTask)
{
    // Ten lock failures, a full disk (Retry), ten more, then success: 21 failures in all but never
    // 16 since the answer, so no other question.
    CRetryProbe manager(m_request, m_context);
    int attempts = 0;
    m_ui.QueueAnswer(MsgAnswer::Retry);
    EXPECT_TRUE(manager.RunWithRetry(QStringLiteral("ctx"),
                                     [&]
                                     {
                                         ++attempts;
                                         if (attempts <= 10 || (attempts >= 12 && attempts <= 21))
                                             throw Failure(3218);
                                         if (attempts == 11)
                                             throw Failure(3026);
                                     }));
    EXPECT_EQ(attempts, 22);
    EXPECT_EQ(m_nWaits, 20);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
    auto messages = m_ui.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("There is not enough space on disk. Free some space and press Retry "
                             "to try again or press Cancel to abort this operation."));
    EXPECT_EQ(messages[0].caption, kSynchCaption);
    EXPECT_EQ(messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(messages[0].buttons, MsgButtons::RetryCancel);
    EXPECT_TRUE(manager.Answered());
    EXPECT_EQ(manager.RetryAnswer(), CMwuTaskManager::IDRETRY);
    EXPECT_FALSE(manager.IsCancelled());

    // Cancel: the operation ends, the task is cancelled, and no later operation is tried.
    attempts = 0;
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(manager.RunWithRetry(QStringLiteral("ctx"),
                                      [&]
                                      {
                                          ++attempts;
                                          throw Failure(3026);
                                      }));
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(manager.RetryAnswer(), CMwuTaskManager::IDCANCEL);
    EXPECT_TRUE(manager.IsCancelled());
    EXPECT_FALSE(manager.RunWithRetry(QStringLiteral("later"), [&] { ++attempts; }));
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(m_ui.Messages().size(), 2u);
}

TEST_F(TaskManagerRetryTest, AFailureThatNeverClearsIsAskedAboutAfterEverySeriesOf16)
{
    struct Case
    {
        long code;
        std::vector<MsgAnswer> answers;
        int clearsAt; // the attempt that succeeds; 0: never
        std::vector<int> askedAt;
        bool done;
        int waits;
    };
    const std::vector<Case> cases = {
        // A lock: every attempt waits, the one ending a series too.
        {3218, {MsgAnswer::Retry, MsgAnswer::Retry, MsgAnswer::Cancel}, 0, {16, 32, 48}, false, 48},
        {3218, {MsgAnswer::Retry}, 20, {16}, true, 19},
        // Another error: tried again at once, logged each time.
        {3022, {MsgAnswer::Retry, MsgAnswer::Cancel}, 0, {16, 32}, false, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.code);
        m_nWaits = 0;
        CRetryProbe manager(m_request, m_context);
        int attempts = 0;
        std::vector<int> askedAt;
        size_t answer = 0;
        m_ui.SetResponder(
            [&](const CScriptedInteraction::Message& m) -> std::optional<MsgAnswer>
            {
                EXPECT_EQ(m.text, QStringLiteral("engine error %1").arg(c.code));
                EXPECT_EQ(m.caption, kSynchCaption);
                EXPECT_EQ(m.buttons, MsgButtons::RetryCancel);
                askedAt.push_back(attempts);
                return answer < c.answers.size() ? c.answers[answer++] : MsgAnswer::Cancel;
            });
        const bool done = manager.RunWithRetry(QStringLiteral("ctx"),
                                               [&]
                                               {
                                                   // The bound keeps a rule that stops asking from retrying
                                                   // for ever.
                                                   if (++attempts == c.clearsAt || attempts > 200)
                                                       return;
                                                   throw Failure(c.code);
                                               });
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(askedAt, c.askedAt);
        EXPECT_EQ(m_nWaits, c.waits);
        EXPECT_EQ(manager.RetryAnswer(), c.done ? CMwuTaskManager::IDRETRY : CMwuTaskManager::IDCANCEL);
        EXPECT_TRUE(manager.Answered());
        EXPECT_FALSE(manager.IsCancelled()) << "giving up one operation does not cancel the task";
    }
    m_ui.SetResponder({});
}

TEST_F(TaskManagerRetryTest, LocksWaitAndOtherErrorsAreLoggedWithTheContext)
{
    CRetryProbe manager(m_request, m_context);
    const std::vector<long> locks = {3164, 3186, 3187, 3188, 3197, 3202, 3218,
                                     3260, 3356, 3412, 3413, 3414, 3624};
    for (const long code : locks)
    {
        int attempts = 0;
        EXPECT_TRUE(manager.RunWithRetry(QStringLiteral("CMwuTaskManager::Lock()"),
                                         [&]
                                         {
                                             if (++attempts == 1)
                                                 throw Failure(code);
                                         }))
            << code;
        EXPECT_EQ(attempts, 2) << code;
    }
    EXPECT_EQ(m_nWaits, static_cast<int>(locks.size()));
    EXPECT_TRUE(LogText().isEmpty()) << LogText().toStdString();

    // Not a lock, not disk full (3035 counts as disk full only at the browser's query steps):
    // logged with the operation's context and the engine's text, without a box or a wait.
    for (const long code : {3022L, 3035L, 3315L})
    {
        int attempts = 0;
        EXPECT_TRUE(manager.RunWithRetry(QStringLiteral("CMwuTaskManager::Step%1()").arg(code),
                                         [&]
                                         {
                                             if (++attempts <= 2)
                                                 throw Failure(code);
                                         }));
        const QString log = LogText();
        EXPECT_EQ(log.count(QStringLiteral("CMwuTaskManager::Step%1()").arg(code)), 2) << log.toStdString();
        EXPECT_EQ(log.count(QStringLiteral("engine error %1").arg(code)), 2) << log.toStdString();
    }
    EXPECT_EQ(m_nWaits, static_cast<int>(locks.size()));
    EXPECT_TRUE(m_ui.Messages().empty());
}
