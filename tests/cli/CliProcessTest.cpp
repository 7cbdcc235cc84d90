#include "ProcessEnvironment.h"
#include "database/DbDatabase.h"
#include "platform/FixtureVolumeTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{
struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// quarrane-cli and the synchronizer it starts, as real processes kept apart from any other
// synchronizer by a runtime folder of their own.
class CliProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = IsolatedProcessEnvironment(m_dir);
        m_env.remove(QStringLiteral("DISPLAY"));
        m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
            m_dir.filePath(QStringLiteral("volumes")),
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x2468ACE0, QStringLiteral("DATA"))}));
        m_strDatabase = m_dir.filePath(QStringLiteral("Example.qrl"));
    }

    QProcess* Start(const QStringList& arguments)
    {
        auto* p = new QProcess;
        m_processes.emplace_back(p);
        p->setProcessEnvironment(m_env);
        p->start(QStringLiteral(QUARRANE_CLI_PATH), arguments);
        return p;
    }
    static CliRun Finish(QProcess* p)
    {
        CliRun run;
        // An event loop may already have seen it finish.
        if (p->state() != QProcess::NotRunning && !p->waitForFinished(120000))
            return run;
        run.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -2;
        run.out = QString::fromUtf8(p->readAllStandardOutput());
        run.err = QString::fromUtf8(p->readAllStandardError());
        return run;
    }
    CliRun Cli(const QStringList& arguments) { return Finish(Start(arguments)); }

    void Write(const QString& relative, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Random(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(static_cast<quint32>(size));
        generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
        return bytes;
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_strDatabase;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
} // namespace

TEST_F(CliProcessTest, UsageAndRefusals)
{
    EXPECT_EQ(Cli({}).exitCode, 2);
    EXPECT_EQ(Cli({"frobnicate", m_strDatabase}).exitCode, 2);
    EXPECT_EQ(Cli({"catalogues", m_strDatabase}).exitCode, 1) << "no such database";
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    EXPECT_EQ(Cli({"new", m_strDatabase}).exitCode, 1) << "an existing file is never replaced";
    EXPECT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "X"}).exitCode, 2);
    EXPECT_EQ(Cli({"synchronize", m_strDatabase, "7"}).exitCode, 1) << "no catalogue 7";
    EXPECT_EQ(Cli({"check-catalogues", m_strDatabase, "--all", "3"}).exitCode, 2);
    const CliRun version = Cli({"--version"});
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("Quarrane  Version: 1.06"));

    // A database of another version is refused with the message and left as it was.
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("UPDATE Parameter SET [Value]='1.005' WHERE Parameter='Version'"));
    }
    QFile file(m_strDatabase);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const CliRun refused = Cli({"catalogues", m_strDatabase});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("Database Created by a Newer Version of Quarrane")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}
TEST_F(CliProcessTest, CataloguesAFolderWithItsTTHsThroughTheSynchronizer)
{
    const QByteArray same = Random(300000);
    Write(QStringLiteral("media/a/one.bin"), same);
    Write(QStringLiteral("media/b/copy of one.bin"), same);
    Write(QStringLiteral("media/it's \"odd\".txt"), "hello");
    Write(QStringLiteral("media/empty.txt"), QByteArray());
    for (int i = 0; i < 40; ++i)
        Write(QStringLiteral("big/f%1.bin").arg(i), Random(2 << 20));
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);

    // The first catalogue is still being hashed when the second arrives: the same synchronizer
    // queues it, and both commands hear the end of their own request.
    QProcess* first = Start({"add-catalogue", m_strDatabase, "--name", "Big", "--location", m_dir.filePath("big"),
                             "--update-tth"});
    QTest::qWait(300);
    const CliRun second = Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location",
                            m_dir.filePath("media"), "--update-tth", "--user", "bob"});
    const CliRun big = Finish(first);
    EXPECT_EQ(big.exitCode, 0) << big.err.toStdString();
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(big.out.trimmed(), QStringLiteral("1"));
    EXPECT_EQ(second.out.trimmed(), QStringLiteral("2"));

    const CliRun list = Cli({"catalogues", m_strDatabase});
    ASSERT_EQ(list.exitCode, 0);
    const QStringList lines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("CatalogueId\tCatalogue\tVolume\tVolumeSerial\tLocation\tDriveType\tGroupId\tFiles"));
    EXPECT_EQ(lines[1], QStringLiteral("1\tBig\tDATA\t2468ACE0\t%1\tFixed\t0\t40").arg(m_dir.filePath("big")));
    EXPECT_EQ(lines[2], QStringLiteral("2\tMedia\tDATA\t2468ACE0\t%1\tFixed\t0\t4").arg(m_dir.filePath("media")));

    CDbDatabase db;
    db.Open(m_strDatabase);
    CDbStatement hashed = db.Prepare(QStringLiteral("SELECT Count(*) FROM File WHERE Len(TTH)=39"));
    ASSERT_TRUE(hashed.Step());
    EXPECT_EQ(hashed.Value(0).ToLong(), 44);
    CDbStatement twins = db.Prepare(QStringLiteral(
        "SELECT Count(*), Count(DISTINCT SimilarityId) FROM File WHERE CatalogueId=2 AND SimilarityId<>0"));
    ASSERT_TRUE(twins.Step());
    EXPECT_EQ(twins.Value(0).ToLong(), 2) << "the two copies are linked";
    EXPECT_EQ(twins.Value(1).ToLong(), 1);
    CDbStatement marks = db.Prepare(QStringLiteral("SELECT [User] FROM CatalogueUserSelect WHERE CatalogueId=2"));
    ASSERT_TRUE(marks.Step());
    EXPECT_EQ(marks.Value(0).ToString(), QStringLiteral("bob"));

    // The synchronizer the commands started ends once it has nothing left to do.
    const QString runtime = m_dir.filePath(QStringLiteral("run"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(runtime + QStringLiteral("/QuarraneSynch.lock")); },
                                20000));
}

TEST_F(CliProcessTest, TheDuplicateSearchChecksAllButOneCopyForEachUser)
{
    const QByteArray photo = Random(40000);
    const QByteArray song = Random(90000);
    Write(QStringLiteral("disk1/photo.jpg"), photo);
    Write(QStringLiteral("disk1/music/song.mp3"), song);
    Write(QStringLiteral("disk1/unique.txt"), "only here");
    Write(QStringLiteral("disk2/backup/photo (copy).jpg"), photo);
    Write(QStringLiteral("disk2/backup/song.mp3"), song);
    Write(QStringLiteral("disk2/more/song again.mp3"), song);
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Disk 1", "--location", m_dir.filePath("disk1"),
                   "--update-tth"}).exitCode, 0);
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Disk 2", "--location", m_dir.filePath("disk2"),
                   "--update-tth"}).exitCode, 0);
    EXPECT_EQ(Cli({"run-query", m_strDatabase, "No Such Query"}).exitCode, 1);

    for (const char* user : {"ann", "bob"})
    {
        const CliRun run = Cli({"run-query", m_strDatabase, "Check Duplicates For Deletion in All Catalogues",
                                "--user", user});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 1 + 5) << "a header and five copies";
    }
    // Each user: of two photos one checked, of three songs two; the unique file never.
    for (const char* user : {"ann", "bob"})
    {
        const CliRun checked = Cli({"checked", m_strDatabase, "--user", user});
        ASSERT_EQ(checked.exitCode, 0);
        const QStringList lines = checked.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1 + 3) << checked.out.toStdString();
        EXPECT_EQ(lines.filter(QStringLiteral("photo")).size(), 1);
        EXPECT_EQ(lines.filter(QStringLiteral("song")).size(), 2);
    }
    // Unchecking everything for ann leaves bob's marks.
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("UPDATE FileUserSelect SET Mark=FALSE WHERE [User]='ann'"));
    }
    EXPECT_EQ(Cli({"checked", m_strDatabase, "--user", "ann"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 1);
    EXPECT_EQ(Cli({"checked", m_strDatabase, "--user", "bob"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 4);
}
