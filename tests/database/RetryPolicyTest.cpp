#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbErrors.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"

#include <QProcess>

#include <optional>

namespace
{
class RetryPolicyTest : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        DatabaseFixture::SetUp();
        // The exception box of the error log is acknowledged; every other question is scripted.
        m_ui.SetResponder([](const CScriptedInteraction::Message& m) -> std::optional<MsgAnswer> {
            if (m.caption == QLatin1String("Exception Occurred"))
                return MsgAnswer::Ok;
            return std::nullopt;
        });
        m_db.SetBusyTimeout(0);
    }

    // The Retry/Cancel questions asked so far (not the exception boxes).
    std::vector<CScriptedInteraction::Message> Questions() const
    {
        std::vector<CScriptedInteraction::Message> questions;
        for (const auto& m : m_ui.Messages())
            if (m.buttons == MsgButtons::RetryCancel)
                questions.push_back(m);
        return questions;
    }

    int ExceptionBoxes() const
    {
        int count = 0;
        for (const auto& m : m_ui.Messages())
            count += m.caption == QLatin1String("Exception Occurred") ? 1 : 0;
        return count;
    }

    // A policy whose waits are counted, and that runs onWait (if any) instead of sleeping.
    CDbRetryPolicy Policy(std::function<void(int)> onWait = {})
    {
        CDbRetryPolicy policy(m_ui);
        policy.SetWait([this, onWait](std::chrono::milliseconds ms) {
            EXPECT_EQ(ms, CDbRetryPolicy::kRetryWait);
            ++m_nWaits;
            if (onWait)
                onWait(m_nWaits);
        });
        return policy;
    }

    int m_nWaits = 0;
};
} // namespace

TEST_F(RetryPolicyTest, ALockedWriteWaitsAndSucceedsOnceTheLockIsReleased)
{
    CDbDatabase other;
    other.Open(m_path);
    std::optional<CDbTransaction> holding(std::in_place, other);
    other.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId WHERE [Index]='ActionLine_LineId'"));

    CDbRetryPolicy policy = Policy([&](int waits) {
        if (waits == 3)
            holding.reset(); // the other program finishes its write
    });
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 1);
    EXPECT_EQ(m_nWaits, 3);
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_F(RetryPolicyTest, ALockHeldPast16AttemptsAsksRetryOrCancel)
{
    CDbDatabase other;
    other.Open(m_path);
    std::optional<CDbTransaction> holding(std::in_place, other);
    other.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId WHERE [Index]='ActionLine_LineId'"));

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

TEST_F(RetryPolicyTest, AnotherProcessHoldingTheLock)
{
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

TEST_F(RetryPolicyTest, DiskFullAsksAndRetryRestartsTheCount)
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

TEST_F(RetryPolicyTest, OtherErrorsAreLoggedWithTheStepsContextAndRetriedAtOnce)
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
