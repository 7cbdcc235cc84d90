#include "browser/JobRunner.h"
#include "SteppedJob.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <gtest/gtest.h>
#include <optional>

namespace
{
class JobRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetProcessUserInteraction(&m_ui);
        m_strDatabase = m_dir.filePath(QStringLiteral("Jobs.qrl"));
        QFile file(m_strDatabase);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(TemplateDatabaseBytes());
    }
    void TearDown() override
    {
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    QTemporaryDir m_dir;
    CScriptedInteraction m_ui;
    QString m_strDatabase;
};
} // namespace

TEST_F(JobRunnerTest, EscStopsAfterTheCurrentItem)
{
    CJobRunner jobs(m_ui);
    CSteppedJob job;
    QSignalSpy finished(&jobs, &CJobRunner::jobFinished);
    QSignalSpy writing(&jobs, &CJobRunner::writingChanged);
    std::optional<bool> completed;
    ASSERT_TRUE(jobs.Start({QStringLiteral("stepped"), QString(), QString(), true}, job.Body(),
                           [&](bool done) { completed = done; }));
    EXPECT_TRUE(jobs.IsWriting());
    EXPECT_TRUE(m_ui.IsOperationRunning());
    EXPECT_FALSE(jobs.Start({QStringLiteral("second"), QString(), QString(), false},
                            [](CJobContext&) { return true; }))
        << "one job at a time";

    ASSERT_TRUE(job.WaitForItem(1));
    job.Proceed();
    ASSERT_TRUE(job.WaitForItem(2));
    jobs.Stop();
    job.Proceed();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(job.finished, 2) << "the item under way is finished";
    EXPECT_EQ(job.started, 2) << "no item begins after Esc";
    EXPECT_EQ(completed, std::optional<bool>(false));
    EXPECT_FALSE(jobs.IsRunning());
    EXPECT_FALSE(m_ui.IsOperationRunning());
    ASSERT_EQ(writing.count(), 2);
    EXPECT_FALSE(writing[1][0].toBool());
}

TEST_F(JobRunnerTest, TheCloseQuestionLetsTheJobGoOnOrStopsItAndThenCloses)
{
    CJobRunner jobs(m_ui);
    EXPECT_TRUE(jobs.QueryClose()) << "without a job the window closes at once";
    EXPECT_TRUE(m_ui.Messages().empty());

    CSteppedJob job;
    QSignalSpy finished(&jobs, &CJobRunner::jobFinished);
    QSignalSpy closeRequested(&jobs, &CJobRunner::closeRequested);
    ASSERT_TRUE(jobs.Start({QStringLiteral("stepped"), QString(), QString(), false}, job.Body()));
    ASSERT_TRUE(job.WaitForItem(1));

    // No: the job goes on and the window stays.
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_FALSE(jobs.QueryClose());
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Background Processing in Progress"));
    EXPECT_EQ(m_ui.Messages()[0].buttons, MsgButtons::YesNo);
    job.Proceed();
    ASSERT_TRUE(job.WaitForItem(2));
    EXPECT_TRUE(jobs.IsRunning());

    // Yes: the job ends after its item, then the window is asked to close.
    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_FALSE(jobs.QueryClose()) << "the window waits for the job";
    EXPECT_TRUE(jobs.IsCloseRequested());
    EXPECT_EQ(closeRequested.count(), 0);
    job.Proceed();
    ASSERT_TRUE(closeRequested.wait(10000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(job.finished, 2);
    EXPECT_EQ(job.started, 2);
}

TEST_F(JobRunnerTest, AJobWorksOnItsOwnConnectionOnItsOwnThread)
{
    CDbDatabase gui;
    gui.Open(m_strDatabase);
    gui.Execute(
        QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Before', 0)"));

    CJobRunner jobs(m_ui);
    QSignalSpy finished(&jobs, &CJobRunner::jobFinished);
    Qt::HANDLE jobThread = nullptr;
    QString seen;
    ASSERT_TRUE(jobs.Start(
        {QStringLiteral("own connection"), m_strDatabase, QStringLiteral("ann"), true},
        [&](CJobContext& job)
        {
            jobThread = QThread::currentThreadId();
            EXPECT_NE(&job.Database(), &gui);
            EXPECT_EQ(job.Database().UserName(), QStringLiteral("ann"));
            CDbStatement st = job.Database().Prepare(QStringLiteral("SELECT [Group] FROM [Group]"));
            if (st.Step())
                seen = st.Value(0).ToString();
            job.Database().Execute(QStringLiteral(
                "INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (2, 'From job', 0)"));
            return true;
        }));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(finished[0][1].toBool());
    EXPECT_NE(jobThread, QThread::currentThreadId());
    EXPECT_EQ(seen, QStringLiteral("Before"));
    CDbStatement st = gui.Prepare(QStringLiteral("SELECT [Group] FROM [Group] WHERE GroupId=2"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(0).ToString(), QStringLiteral("From job"));
}

TEST_F(JobRunnerTest, FailuresAreLoggedAndReportedAsNotCompleted)
{
    CJobRunner jobs(m_ui);
    std::optional<bool> completed;
    // An engine error inside the body.
    ASSERT_TRUE(jobs.Start(
        {QStringLiteral("failing step"), m_strDatabase, QString(), true},
        [](CJobContext& job)
        {
            job.Database().Execute(QStringLiteral("SELECT * FROM NoSuchTable"));
            return true;
        },
        [&](bool done) { completed = done; }));
    ASSERT_TRUE(jobs.Wait(10000));
    EXPECT_EQ(completed, std::optional<bool>(false));

    // A database that cannot be opened: the body never runs.
    bool ran = false;
    const QString missing = m_dir.filePath(QStringLiteral("missing.qrl"));
    ASSERT_TRUE(jobs.Start(
        {QStringLiteral("missing database"), missing, QString(), false},
        [&](CJobContext&) { return ran = true; }, [&](bool done) { completed = done; }));
    ASSERT_TRUE(jobs.Wait(10000));
    EXPECT_FALSE(ran);
    EXPECT_EQ(completed, std::optional<bool>(false));
    EXPECT_FALSE(QFile::exists(missing));

    QFile log(ErrorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("CJobRunner::Run() - failing step"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("CJobRunner::Run() - missing database"))) << text.toStdString();
}

TEST_F(JobRunnerTest, TheRunnerStopsAndJoinsItsJobWhenItGoes)
{
    CSteppedJob job;
    {
        CJobRunner jobs(m_ui);
        ASSERT_TRUE(jobs.Start({QStringLiteral("stepped"), QString(), QString(), false}, job.Body()));
        ASSERT_TRUE(job.WaitForItem(1));
        job.Proceed(1000); // no item waits while the runner is being destroyed
    }
    EXPECT_EQ(job.finished, job.started);
    EXPECT_FALSE(m_ui.IsOperationRunning());
}
