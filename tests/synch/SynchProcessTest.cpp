#include "ProcessEnvironment.h"
#include "SynchronizerServer.h"
#include "common/ConversationClient.h"
#include "common/ConversationProtocol.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{
// Real synchronizer processes on a real database, kept apart from any other synchronizer by a
// runtime folder of their own, on a fixture volume that holds the catalogue's medium.
class SynchProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strDatabase = m_dir.filePath(QStringLiteral("My Films.qrl"));
        ASSERT_TRUE(WriteTemplateDatabase(m_strDatabase));
        const QString media = m_dir.filePath(QStringLiteral("media"));
        ASSERT_TRUE(QDir().mkpath(media + QStringLiteral("/Films")));
        QFile present(media + QStringLiteral("/Films/present.mkv"));
        ASSERT_TRUE(present.open(QIODevice::WriteOnly));
        present.close();
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
            m_dir.filePath(QStringLiteral("volumes")),
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))}));

        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                                  "Location, DriveType) VALUES (0, 1, 'Films', 'DATA', ?, ?, 'Fixed')"),
                   {CDbValue(qint32(0x1234ABCD)), CDbValue(media)});
        db.Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (5, 'Films')"));
        db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                  "FileSizeDouble) VALUES (1, 5, 1, 'present.mkv', 0, 0), (1, 5, 2, 'gone.mkv', 0, 0)"));

        m_env = IsolatedProcessEnvironment(m_dir);
        qputenv("QUARRANE_RUNTIME_DIR", m_dir.filePath(QStringLiteral("run")).toUtf8());
    }
    void TearDown() override
    {
        for (auto& p : m_processes)
            if (p->state() != QProcess::NotRunning)
            {
                p->terminate();
                if (!p->waitForFinished(5000))
                    p->kill();
                p->waitForFinished(5000);
            }
        qunsetenv("QUARRANE_RUNTIME_DIR");
    }

    QProcess& Start(const QStringList& arguments)
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_processes.back();
        p.setProcessEnvironment(m_env);
        p.setWorkingDirectory(m_dir.path());
        p.start(QStringLiteral(QUARRANESYNCH_PATH), arguments);
        return p;
    }
    bool WaitForServer() { return WaitForSynchronizerServer(); }
    bool FileDeleted(qint32 fileId)
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        CDbStatement st = db.Prepare(QStringLiteral("SELECT Deleted FROM File WHERE FileId=?"));
        st.Bind(1, fileId);
        return st.Step() && st.Value(0).ToBool();
    }

    QTemporaryDir m_dir;
    QString m_strDatabase;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
} // namespace

TEST_F(SynchProcessTest, ASecondInstanceHandsItsRequestToTheFirstAndEnds)
{
    QProcess& first = Start({QStringLiteral("-Unattended")});
    ASSERT_TRUE(WaitForServer());

    // A client holding an advise link hears the final notice of its own request.
    CConversationClient client;
    ASSERT_TRUE(client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("Synchronize")));
    const QString line = QStringLiteral("-Database=\"%1\" -CatalogueID=\"1\" -MarkDeleted").arg(m_strDatabase);
    EXPECT_EQ(client.AdviseStart(line), kDdeFAck);
    EXPECT_EQ(client.WaitForFinalAdvise(20000), 0u);
    EXPECT_TRUE(FileDeleted(2));
    EXPECT_FALSE(FileDeleted(1));

    // Garbage and an oversized frame on the socket do not disturb the server.
    for (const QByteArray& bytes : {QByteArray("\x7f\xff\xff\xff" "xxxx", 8), QByteArray(100, '\x01')})
    {
        QLocalSocket bad;
        bad.connectToServer(ConversationServerPath(QStringLiteral("QuarraneSynch")));
        ASSERT_TRUE(bad.waitForConnected(2000));
        bad.write(bytes);
        bad.flush();
        EXPECT_TRUE(bad.waitForDisconnected(5000) || bad.state() == QLocalSocket::UnconnectedState);
    }

    // A second instance with a command line forwards it and ends; the first one carries it out.
    QFile::remove(m_dir.filePath(QStringLiteral("media/Films/present.mkv")));
    QProcess& second = Start({QStringLiteral("-Database=%1").arg(m_strDatabase), QStringLiteral("-CatalogueID=1"),
                              QStringLiteral("-MarkDeleted"), QStringLiteral("-Unattended")});
    ASSERT_TRUE(second.waitForFinished(ScaledTimeout(20000)));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return FileDeleted(1); }, ScaledTimeout(20000)));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(client.Execute(QStringLiteral("-Database=x")), kDdeFAck) << "the first instance still serves";
}

TEST_F(SynchProcessTest, UnattendedQuitEndsWithTheRequestsResult)
{
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("UPDATE Parameter SET [Value]='1.005' WHERE Parameter='Version'"));
    }
    QProcess& run = Start({QStringLiteral("-Database=%1").arg(m_strDatabase), QStringLiteral("-CatalogueID=1"),
                           QStringLiteral("-MarkDeleted"), QStringLiteral("-Unattended"), QStringLiteral("-Quit")});
    ASSERT_TRUE(run.waitForFinished(ScaledTimeout(30000)));
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 43) << "4313 does not fit an exit status";
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Database Created by a Newer Version of Quarrane"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("result 4313")));
    EXPECT_FALSE(FileDeleted(2)) << "nothing is done on a database of another version";
}

TEST_F(SynchProcessTest, AnUnattendedQuittingSynchronizerEndsWhenItsWorkEnds)
{
    const QString line = QStringLiteral("-Database=\"%1\" -CatalogueID=1 -MarkDeleted").arg(m_strDatabase);
    struct Case
    {
        const char* name;
        QStringList startArguments;
        QString handedLine; // given by conversation once the synchronizer serves
    };
    const Case cases[] = {
        // Nobody is left to close a synchronizer that was told to quit: a request handed to it
        // later without the quit option must not keep it running for ever.
        {"started with -Quit, handed a request without it",
         {QStringLiteral("-Unattended"), QStringLiteral("-Quit")},
         line},
        // The request's own quit option: at once, not after the delay a person gets to see the window.
        {"handed a request with -Quit", {QStringLiteral("-Unattended")}, line + QStringLiteral(" -Quit")},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        {
            CDbDatabase db;
            db.Open(m_strDatabase);
            db.Execute(QStringLiteral("UPDATE File SET Deleted=FALSE"));
        }
        QProcess& run = Start(c.startArguments);
        ASSERT_TRUE(WaitForServer());
        CConversationClient client;
        ASSERT_TRUE(client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("Synchronize")));
        EXPECT_EQ(client.AdviseStart(c.handedLine), kDdeFAck);
        EXPECT_EQ(client.WaitForFinalAdvise(ScaledTimeout(20000)), 0u);
        QElapsedTimer sinceDone;
        sinceDone.start();
        ASSERT_TRUE(run.waitForFinished(ScaledTimeout(10000))) << "the synchronizer kept running";
        EXPECT_LT(sinceDone.elapsed(), 2000) << "an unattended run waited as if someone watched it";
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        EXPECT_TRUE(FileDeleted(2));
        EXPECT_FALSE(FileDeleted(1));
    }
}
