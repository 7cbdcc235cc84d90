#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbErrors.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"

#include <QProcess>

#include <optional>
#include <set>

namespace
{
// The retry rules with a scripted person. RetryPolicyTest runs on both engines: its locks are a
// file's locks on SQLite and another session's row and advisory locks on the server, which must
// give the same locking family. RetryRulesTest exercises the rules alone, with failures thrown by
// hand, so it needs no engine at all beyond the error log's file.
template <class TFixture> class TRetryPolicyFixture : public TFixture
{
protected:
    void SetUp() override
    {
        TFixture::SetUp();
        if (!this->Ready())
            return;
        // The exception box of the error log is acknowledged; every other question is scripted.
        this->m_ui.SetResponder(
            [](const CScriptedInteraction::Message& m) -> std::optional<MsgAnswer>
            {
                if (m.caption == QLatin1String("Exception Occurred"))
                    return MsgAnswer::Ok;
                return std::nullopt;
            });
        this->m_db.SetBusyTimeout(0);
    }

    // The files' identifier counter, at 0, for another connection to hold: on a server an
    // immediate transaction does not keep a counter's writer out, the counter row's lock does.
    void AddFileCounter()
    {
        this->m_db.Execute(
            QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES ('File_FileId', 0)"));
    }
    static void HoldFileCounter(CDbDatabase& other)
    {
        other.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId WHERE [Index]='File_FileId'"));
    }

    // The Retry/Cancel questions asked so far (not the exception boxes).
    std::vector<CScriptedInteraction::Message> Questions() const
    {
        std::vector<CScriptedInteraction::Message> questions;
        for (const auto& m : this->m_ui.Messages())
            if (m.buttons == MsgButtons::RetryCancel)
                questions.push_back(m);
        return questions;
    }

    int ExceptionBoxes() const
    {
        int count = 0;
        for (const auto& m : this->m_ui.Messages())
            count += m.caption == QLatin1String("Exception Occurred") ? 1 : 0;
        return count;
    }

    // A policy whose waits are counted, and that runs onWait (if any) instead of sleeping.
    CDbRetryPolicy Policy(std::function<void(int)> onWait = {})
    {
        CDbRetryPolicy policy(this->m_ui);
        policy.SetWait(
            [this, onWait](std::chrono::milliseconds ms)
            {
                ++m_nWaits;
                EXPECT_GE(ms, std::chrono::milliseconds(1));
                EXPECT_LE(ms, CDbRetryPolicy::kRetryWait);
                if (onWait)
                    onWait(m_nWaits);
            });
        return policy;
    }

    int m_nWaits = 0;
};

class RetryPolicyTest : public TRetryPolicyFixture<BothEnginesFixture>
{
};
using RetryRulesTest = TRetryPolicyFixture<DatabaseFixture>;
} // namespace

QUARRANE_ON_BOTH_ENGINES(RetryPolicyTest);

TEST_P(RetryPolicyTest, ALockedWriteWaitsAndSucceedsOnceTheLockIsReleased)
{
    AddFileCounter();
    CDbDatabase other;
    other.Open(m_path);
    std::optional<CDbTransaction> holding(std::in_place, other);
    HoldFileCounter(other);

    CDbRetryPolicy policy = Policy([&](int waits) {
        if (waits == 3)
            holding.reset(); // the other program finishes its write
    });
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 1);
    EXPECT_EQ(m_nWaits, 3);
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_P(RetryPolicyTest, ALockHeldPast16AttemptsAsksRetryOrCancel)
{
    AddFileCounter();
    CDbDatabase other;
    other.Open(m_path);
    std::optional<CDbTransaction> holding(std::in_place, other);
    HoldFileCounter(other);

    // Cancel: nothing stored, the failure value.
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    CDbRetryPolicy policy = Policy();
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), -1);
    EXPECT_EQ(m_nWaits, CDbRetryPolicy::kMaxAttempts - 1);
    ASSERT_EQ(Questions().size(), 1u);
    EXPECT_TRUE(Questions()[0].text.contains(QLatin1String("locked"))) << Questions()[0].text.toStdString();
    EXPECT_TRUE(DbErrors::IsLockingError(policy.LastErrorCode()));

    // Retry starts a fresh series; the lock goes during it and the write goes through.
    m_nWaits = 0;
    m_ui.QueueAnswer(MsgAnswer::Retry);
    CDbRetryPolicy retrying = Policy([&](int waits) {
        if (waits == CDbRetryPolicy::kMaxAttempts + 2)
            holding.reset();
    });
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), retrying), 1);
    EXPECT_EQ(m_nWaits, CDbRetryPolicy::kMaxAttempts + 2);
    EXPECT_EQ(Questions().size(), 2u);
    EXPECT_EQ(Rows(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='File_FileId'")), QStringList{"1"});
}

TEST_P(RetryPolicyTest, AnotherProcessHoldingTheLock)
{
    AddFileCounter();
    QProcess holder;
    holder.start(QStringLiteral(QUARRANE_LOCK_HOLDER), {m_path});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("locked"));

    // Held past 16 attempts: the question, answered Cancel.
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    CDbRetryPolicy giveUp = Policy();
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), giveUp), -1);
    EXPECT_EQ(Questions().size(), 1u);

    // Released after the second wait: the write succeeds without a question.
    m_nWaits = 0;
    CDbRetryPolicy policy = Policy([&](int waits) {
        if (waits == 2)
        {
            holder.write("\n");
            holder.closeWriteChannel();
            ASSERT_TRUE(holder.waitForFinished(10000));
        }
    });
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 1);
    EXPECT_EQ(m_nWaits, 2);
    EXPECT_EQ(Questions().size(), 1u);
    EXPECT_EQ(holder.exitCode(), 0);
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("CompactOnExit")), QStringLiteral("0")); // rolled back
}

TEST_F(RetryRulesTest, DiskFullAsksAndRetryRestartsTheCount)
{
    // Ten lock failures, a full disk (Retry), ten more lock failures, then success: the count
    // started afresh, so no 16-attempt question.
    int attempt = 0;
    m_ui.QueueAnswer(MsgAnswer::Retry);
    CDbRetryPolicy policy = Policy();
    EXPECT_TRUE(policy.Run(QStringLiteral("ctx"), [&] {
        ++attempt;
        if (attempt <= 10 || (attempt >= 12 && attempt <= 21))
            throw CDbException(3260, QStringLiteral("Couldn't update; currently locked."));
        if (attempt == 11)
            throw CDbException(DbErrors::kDiskFull, QStringLiteral("Disk full."));
    }));
    EXPECT_EQ(attempt, 22);
    EXPECT_EQ(m_nWaits, 20);
    ASSERT_EQ(Questions().size(), 1u);
    EXPECT_EQ(Questions()[0].text, CDbRetryPolicy::DiskFullText());

    // Cancel gives up at once; 3035 counts as disk full only where asked.
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(policy.Run(QStringLiteral("ctx"), [] { throw CDbException(DbErrors::kDiskFull, QStringLiteral("Disk full.")); }));
    policy.SetResourcesExceededAsDiskFull(true);
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(policy.Run(QStringLiteral("ctx"), [] { throw CDbException(3035, QStringLiteral("System resource exceeded.")); }));
    EXPECT_EQ(Questions().size(), 3u);
    EXPECT_EQ(Questions()[2].text, CDbRetryPolicy::DiskFullText());
}

TEST_P(RetryPolicyTest, OtherErrorsAreLoggedWithTheStepsContextAndRetriedAtOnce)
{
    // An empty identifier name breaks a rule of IndexId: not a lock, so each attempt is logged
    // with the adding context and tried again without waiting, 16 times, then the question.
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    CDbRetryPolicy policy = Policy();
    EXPECT_EQ(GetNewRecSetId(m_db, QString(), policy), -1);
    EXPECT_EQ(m_nWaits, 0);
    EXPECT_EQ(ExceptionBoxes(), CDbRetryPolicy::kMaxAttempts);
    EXPECT_EQ(LogText().count(QStringLiteral("CMirrowelDoc::GetNewRecSetId() : Adding new ")), CDbRetryPolicy::kMaxAttempts);
    ASSERT_EQ(Questions().size(), 1u);
    EXPECT_EQ(policy.LastErrorCode(), DbErrors::kZeroLengthString);

    // The caller's contexts are the ones logged.
    SRecSetIdContexts synch;
    synch.getting = QStringLiteral("CMwuTaskManager::GetNewRecSetId() - !indexidrecset.IsEOF() %s");
    synch.adding = QStringLiteral("CMwuTaskManager::GetNewRecSetId() - indexidrecset.IsEOF() %s");
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_EQ(GetNewRecSetId(m_db, QString(), policy, synch), -1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("CMwuTaskManager::GetNewRecSetId() - indexidrecset.IsEOF() ")));
}

TEST_F(RetryRulesTest, TheSynchronizersRulesDifferFromTheBrowsersOnlyWhereTheyShould)
{
    // One failure of each code, then success, under each program's rules.
    struct Outcome
    {
        int waits = 0;
        int reopens = 0;
        int boxes = 0; // exception boxes
        int questions = 0;
        bool passedOn = false;
    };
    const auto runOnce = [&](CDbRetryPolicy::SRules rules, long code, bool withReopen)
    {
        const int boxesBefore = ExceptionBoxes();
        const size_t questionsBefore = Questions().size();
        m_nWaits = 0;
        CDbRetryPolicy policy(m_ui, std::move(rules));
        policy.SetWait([this](std::chrono::milliseconds) { ++m_nWaits; });
        Outcome outcome;
        int attempts = 0;
        const auto step = [&]
        {
            if (++attempts == 1)
                throw CDbException(code, QStringLiteral("failure"));
        };
        try
        {
            EXPECT_TRUE(withReopen ? policy.Run(QStringLiteral("ctx"), step, [&] { ++outcome.reopens; })
                                   : policy.Run(QStringLiteral("ctx"), step));
        }
        catch (const CDbException& e)
        {
            EXPECT_EQ(e.m_nErrorCode, code);
            outcome.passedOn = true;
        }
        outcome.waits = m_nWaits;
        outcome.boxes = ExceptionBoxes() - boxesBefore;
        outcome.questions = static_cast<int>(Questions().size() - questionsBefore);
        return outcome;
    };
    const auto browser = CDbRetryPolicy::BrowserRules();
    const auto synch = CDbRetryPolicy::SynchronizerRules();

    for (const long code : {3011L, 3043L, 3078L})
    {
        SCOPED_TRACE(code);
        const Outcome b = runOnce(browser, code, true);
        EXPECT_EQ(b.waits, 1);
        EXPECT_EQ(b.reopens, 0) << "the browser waits; it has no database to reopen mid-step";
        const Outcome s = runOnce(synch, code, true);
        EXPECT_EQ(s.waits, 0);
        EXPECT_EQ(s.reopens, 1);
        EXPECT_TRUE(runOnce(synch, code, false).passedOn);
    }
    for (const long code : {3218L, 3624L})
    {
        EXPECT_EQ(runOnce(browser, code, false).waits, 1) << code;
        EXPECT_EQ(runOnce(synch, code, false).waits, 1) << code;
    }
    // Other errors: the browser shows the exception box, the synchronizer only logs.
    const Outcome bOther = runOnce(browser, 3022, false);
    EXPECT_EQ(bOther.boxes, 1);
    EXPECT_EQ(bOther.waits, 0);
    const Outcome sOther = runOnce(synch, 3022, false);
    EXPECT_EQ(sOther.boxes, 0);
    EXPECT_EQ(sOther.waits, 0);
    EXPECT_EQ(LogText().count(QStringLiteral(" : ctx")), 2);

    // Disk full under the synchronizer's rules: the warning icon; 3035 is not disk full there.
    m_ui.QueueAnswer(MsgAnswer::Retry);
    EXPECT_EQ(runOnce(synch, 3026, false).questions, 1);
    EXPECT_EQ(Questions().back().icon, MsgIcon::Warning);
    EXPECT_EQ(Questions().back().text, CDbRetryPolicy::DiskFullText());
    EXPECT_EQ(runOnce(synch, 3035, false).questions, 0);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(RetryRulesTest, ALockThatNeverClearsIsAskedAboutAfterEverySeries)
{
    // Retry, Retry, Cancel: three questions, each after 16 more attempts. The browser does not
    // wait before asking; the synchronizer does.
    for (const bool synchronizer : {false, true})
    {
        SCOPED_TRACE(synchronizer);
        m_nWaits = 0;
        CDbRetryPolicy policy(m_ui, synchronizer ? CDbRetryPolicy::SynchronizerRules()
                                                 : CDbRetryPolicy::BrowserRules());
        policy.SetWait([this](std::chrono::milliseconds) { ++m_nWaits; });
        int attempts = 0;
        std::vector<int> askedAt;
        const std::vector<MsgAnswer> answers = {MsgAnswer::Retry, MsgAnswer::Retry, MsgAnswer::Cancel};
        m_ui.SetResponder(
            [&](const CScriptedInteraction::Message&) -> std::optional<MsgAnswer>
            {
                askedAt.push_back(attempts);
                return askedAt.size() <= answers.size() ? answers[askedAt.size() - 1] : MsgAnswer::Cancel;
            });
        EXPECT_FALSE(policy.Run(QStringLiteral("ctx"),
                                [&]
                                {
                                    if (++attempts >
                                        200) // a rule that stops asking must not retry for ever here
                                        return;
                                    throw CDbException(3260, QStringLiteral("locked"));
                                }));
        EXPECT_EQ(askedAt, (std::vector<int>{16, 32, 48}));
        EXPECT_EQ(m_nWaits, synchronizer ? 48 : 45);
        EXPECT_EQ(policy.LastErrorCode(), 3260);
    }
}

TEST(RetryWait, GrowsFromMillisecondsToASecondWithJitter)
{
    using std::chrono::milliseconds;
    // failures in a row -> the range the wait is drawn from
    const struct
    {
        int failures;
        milliseconds low;
        milliseconds high;
    } cases[] = {
        {1, milliseconds(1), milliseconds(2)},         {2, milliseconds(2), milliseconds(4)},
        {5, milliseconds(16), milliseconds(32)},       {9, milliseconds(256), milliseconds(512)},
        {10, milliseconds(500), milliseconds(1000)},   {16, milliseconds(500), milliseconds(1000)},
        {1000, milliseconds(500), milliseconds(1000)},
    };
    for (const auto& c : cases)
    {
        std::set<qint64> seen;
        for (int draw = 0; draw < 200; ++draw)
        {
            const milliseconds wait = CDbRetryPolicy::RetryWait(c.failures);
            EXPECT_GE(wait, c.low) << c.failures;
            EXPECT_LE(wait, c.high) << c.failures;
            seen.insert(wait.count());
        }
        // Two writers that collided must not keep colliding in step.
        if (c.high - c.low >= milliseconds(2))
        {
            EXPECT_GT(seen.size(), 2u) << c.failures;
        }
    }
    // A whole series of waits takes seconds, not the sixteen seconds of fixed one-second waits.
    milliseconds longest(0);
    for (int failures = 1; failures < CDbRetryPolicy::kMaxAttempts; ++failures)
        longest += CDbRetryPolicy::RetryWait(failures);
    EXPECT_LT(longest, milliseconds(8000));
}
