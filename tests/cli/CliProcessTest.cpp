#include "ProcessEnvironment.h"
#include "ServerCatalogue.h"
#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "platform/FixtureVolumeTable.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

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
// synchronizer by a runtime folder of their own. Its own cases are about a file (the sqlite3
// tool, read-only files, versions, pipes and terminals) and stay on one; CliBothEnginesTest
// runs the rest on both engines.
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
    CliRun Program(const QString& program, const QStringList& arguments)
    {
        auto* p = new QProcess;
        m_processes.emplace_back(p);
        p->setProcessEnvironment(m_env);
        p->start(program, arguments);
        return Finish(p);
    }
    static QStringList Lines(const QString& out) { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QByteArray Bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

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

// The cases that mean the same for a catalogue on a server: each starts from a new catalogue, a
// file made by `new`, or a copy of the test run's server catalogue (made once: `new` on a server
// has cases of its own).
class CliBothEnginesTest : public CliProcessTest, public ::testing::WithParamInterface<EEngine>
{
protected:
    bool OnServer() const { return GetParam() == EEngine::Server; }
    void SetUp() override
    {
        CliProcessTest::SetUp();
        if (OnServer() && !HasFatalFailure())
            QUARRANE_NEW_SERVER_CATALOGUE(m_strDatabase);
    }
    void NewCatalogue()
    {
        if (!OnServer())
        {
            ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
        }
    }
};

// A file named with one zero-width space, which a catalogue of an earlier version took for empty.
void AddGhostlyName(CDbDatabase& db)
{
    db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, FileId, File, FileSize, FileSizeDouble) "
                              "SELECT CatalogueId, 99, ?, 0, 0 FROM File"),
               {CDbValue(QString::fromUtf8("\u200B"))});
}

// Cases about a server catalogue only.
class CliServerCatalogueTest : public CliProcessTest
{
protected:
    void SetUp() override
    {
        CliProcessTest::SetUp();
        if (!HasFatalFailure())
            QUARRANE_NEW_SERVER_CATALOGUE(m_strDatabase);
    }
};
} // namespace

QUARRANE_ON_BOTH_ENGINES(CliBothEnginesTest);

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

    // A folder that is not there: said once, in words, and nothing is left behind.
    const QString nowhere = m_dir.filePath(QStringLiteral("no/such/dir/x.qrl"));
    const CliRun missing = Cli({"new", nowhere});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(
        missing.err.contains(QStringLiteral("the folder %1 does not exist").arg(QFileInfo(nowhere).path())))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(QStringLiteral("Database Error"))) << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(QStringLiteral("locked"))) << missing.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("no"))));
}

// An older database cannot be opened; the advice is the command that brings its data over.
TEST_F(CliProcessTest, AnOlderDatabaseIsRefusedAndImportedIntoANewOne)
{
    const QString old = m_dir.filePath(QStringLiteral("Old.qrl"));
    ASSERT_EQ(Cli({"new", old}).exitCode, 0);
    {
        CDbDatabase db;
        db.Open(old);
        db.ExecuteSqliteScript(QStringLiteral(
            "ALTER TABLE File DROP COLUMN Extension;"
            "UPDATE Parameter SET Value = '1.003' WHERE Parameter = 'Version';"
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, LocalMachine, UserName, "
            "CatalogueType) VALUES (0, 1, 'Old disk', 9, 'pc', 'bob', 'Disk');"
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) VALUES "
            "(1, 0, 1, 'notes.txt', 1, 1);"
            "INSERT OR REPLACE INTO IndexId (\"Index\", IndexId) VALUES ('File_FileId', 1), "
            "('Catalogue_CatalogueId', 1);"));
    }
    const QByteArray before = Bytes(old);
    const CliRun refused = Cli({"catalogues", old});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("quarrane-cli import NEW.qrl OLD.qrl")))
        << refused.err.toStdString();
    EXPECT_FALSE(refused.err.contains(QStringLiteral("menu"))) << refused.err.toStdString();

    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    const CliRun imported = Cli({"import", m_strDatabase, old});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.isEmpty());
    EXPECT_TRUE(imported.err.contains(QStringLiteral("imported into"))) << imported.err.toStdString();
    const CliRun rows = Cli({"sql", m_strDatabase,
                             "SELECT c.Catalogue, f.File, f.Extension FROM File f JOIN Catalogue c ON "
                             "c.CatalogueId = f.CatalogueId"});
    ASSERT_EQ(rows.exitCode, 0) << rows.err.toStdString();
    EXPECT_EQ(Lines(rows.out).value(1), QStringLiteral("Old disk\tnotes.txt\ttxt"));
    EXPECT_EQ(Bytes(old), before) << "the imported database is left as it was";
    EXPECT_EQ(Cli({"check", m_strDatabase, "--quiet"}).exitCode, 0);

    EXPECT_EQ(Cli({"import", m_strDatabase}).exitCode, 2);
    EXPECT_EQ(Cli({"import", m_strDatabase, m_dir.filePath(QStringLiteral("none.qrl"))}).exitCode, 1);
}
TEST_P(CliBothEnginesTest, CataloguesAFolderWithItsTTHsThroughTheSynchronizer)
{
    const QByteArray same = Random(300000);
    Write(QStringLiteral("media/a/one.bin"), same);
    Write(QStringLiteral("media/b/copy of one.bin"), same);
    Write(QStringLiteral("media/it's \"odd\".txt"), "hello");
    Write(QStringLiteral("media/empty.txt"), QByteArray());
    for (int i = 0; i < 40; ++i)
        Write(QStringLiteral("big/f%1.bin").arg(i), Random(2 << 20));
    ASSERT_NO_FATAL_FAILURE(NewCatalogue());

    // The first catalogue is still being hashed when the second arrives: the same synchronizer
    // queues it, and both commands hear the end of their own request.
    QProcess* first = Start({"add-catalogue", m_strDatabase, "--name", "Big", "--location",
                             m_dir.filePath("big"), "--update-tth"});
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
    EXPECT_EQ(
        lines[0],
        QStringLiteral(
            "CatalogueId\tCatalogue\tVolume\tVolumeSerial\tLocation\tDriveType\tGroupId\tFiles\tOnline"));
    EXPECT_EQ(lines[1],
              QStringLiteral("1\tBig\tDATA\t2468ACE0\t%1\tFixed\t0\t40\ttrue").arg(m_dir.filePath("big")));
    EXPECT_EQ(lines[2],
              QStringLiteral("2\tMedia\tDATA\t2468ACE0\t%1\tFixed\t0\t4\ttrue").arg(m_dir.filePath("media")));
    // The medium unplugged: the catalogues stay, offline.
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(m_dir.filePath(QStringLiteral("volumes")), {}));
    const QStringList unplugged =
        Cli({"catalogues", m_strDatabase}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(unplugged.size(), 3);
    EXPECT_TRUE(unplugged[1].endsWith(QStringLiteral("\t40\tfalse"))) << unplugged[1].toStdString();
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
        m_dir.filePath(QStringLiteral("volumes")),
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x2468ACE0, QStringLiteral("DATA"))}));

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
    CDbStatement marks =
        db.Prepare(QStringLiteral("SELECT [User] FROM CatalogueUserSelect WHERE CatalogueId=2"));
    ASSERT_TRUE(marks.Step());
    EXPECT_EQ(marks.Value(0).ToString(), QStringLiteral("bob"));

    // The synchronizer the commands started ends once it has nothing left to do.
    const QString runtime = m_dir.filePath(QStringLiteral("run"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !QFile::exists(runtime + QStringLiteral("/QuarraneSynch.lock")); }, 20000));
}

TEST_P(CliBothEnginesTest, TheDuplicateSearchChecksAllButOneCopyForEachUser)
{
    const QByteArray photo = Random(40000);
    const QByteArray song = Random(90000);
    Write(QStringLiteral("disk1/photo.jpg"), photo);
    Write(QStringLiteral("disk1/music/song.mp3"), song);
    Write(QStringLiteral("disk1/unique.txt"), "only here");
    Write(QStringLiteral("disk2/backup/photo (copy).jpg"), photo);
    Write(QStringLiteral("disk2/backup/song.mp3"), song);
    Write(QStringLiteral("disk2/more/song again.mp3"), song);
    ASSERT_NO_FATAL_FAILURE(NewCatalogue());
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Disk 1", "--location", m_dir.filePath("disk1"),
                   "--update-tth"})
                  .exitCode,
              0);
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Disk 2", "--location", m_dir.filePath("disk2"),
                   "--update-tth"})
                  .exitCode,
              0);
    EXPECT_EQ(Cli({"run-query", m_strDatabase, "No Such Query"}).exitCode, 1);

    for (const char* user : {"ann", "bob"})
    {
        const CliRun run = Cli(
            {"run-query", m_strDatabase, "Check Duplicates For Deletion in All Catalogues", "--user", user});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 1 + 5)
            << "a header and five copies";
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
    EXPECT_EQ(Cli({"checked", m_strDatabase, "--user", "ann"})
                  .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                  .size(),
              1);
    EXPECT_EQ(Cli({"checked", m_strDatabase, "--user", "bob"})
                  .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                  .size(),
              4);
}

TEST_P(CliBothEnginesTest, QueryResultsForPeopleAndScripts)
{
    Write(QStringLiteral("media/Sub Dir/Deeper/One.bin"), Random(5000));
    Write(QStringLiteral("media/two, \"quoted\".txt"), "two");
    ASSERT_NO_FATAL_FAILURE(NewCatalogue());
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location", m_dir.filePath("media"),
                   "--update-tth"})
                  .exitCode,
              0);
    ASSERT_EQ(Cli({"check-catalogues", m_strDatabase, "--all"}).exitCode, 0);
    const QString query = QStringLiteral("All Files in Checked Catalogues");

    const CliRun tsv = Cli({"run-query", m_strDatabase, query});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err.toStdString();
    const QStringList lines = Lines(tsv.out);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Catalogue\tFolder\tFile\tSize\tTTH")))
        << lines[0].toStdString();
    const QStringList one = lines.filter(QStringLiteral("One.bin")).value(0).split(QLatin1Char('\t'));
    ASSERT_GE(one.size(), 5);
    EXPECT_EQ(one[1], QStringLiteral("Sub Dir/Deeper")) << "folders as this system writes them";
    EXPECT_EQ(one[3], QStringLiteral("5000"));
    EXPECT_EQ(one[4].size(), 39) << "the TTH";

    const CliRun all = Cli({"run-query", m_strDatabase, query, "--columns", "all"});
    ASSERT_EQ(all.exitCode, 0);
    const QStringList header = Lines(all.out).value(0).split(QLatin1Char('\t'));
    EXPECT_GT(header.size(), 10);
    EXPECT_TRUE(header.contains(QStringLiteral("FileId")));
    EXPECT_EQ(QSet<QString>(header.begin(), header.end()).size(), header.size()) << "no column twice";

    const CliRun csv = Cli({"run-query", m_strDatabase, query, "--format", "csv"});
    ASSERT_EQ(csv.exitCode, 0);
    EXPECT_TRUE(csv.out.contains(QStringLiteral(",\"two, \"\"quoted\"\".txt\",3,"))) << csv.out.toStdString();

    const CliRun json = Cli({"run-query", m_strDatabase, query, "--format", "json"});
    ASSERT_EQ(json.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();
    ASSERT_EQ(document.array().size(), 2);
    for (const QJsonValue& row : document.array())
        if (row[QStringLiteral("File")].toString() == QStringLiteral("One.bin"))
        {
            EXPECT_EQ(row[QStringLiteral("Folder")].toString(), QStringLiteral("Sub Dir/Deeper"));
            EXPECT_TRUE(row[QStringLiteral("Size")].isDouble());
            EXPECT_EQ(row[QStringLiteral("Size")].toInteger(), 5000);
        }

    const CliRun catalogues = Cli({"catalogues", m_strDatabase, "--format", "json"});
    ASSERT_EQ(catalogues.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(catalogues.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0][QStringLiteral("Catalogue")].toString(), QStringLiteral("Media"));
    EXPECT_EQ(list[0][QStringLiteral("Files")].toInteger(), 2);
}

TEST_P(CliBothEnginesTest, QueriesSqlCheckAndRepair)
{
    Write(QStringLiteral("media/One.bin"), Random(3000));
    ASSERT_NO_FATAL_FAILURE(NewCatalogue());
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location", m_dir.filePath("media")})
                  .exitCode,
              0);

    // The query browser's order: by name, building blocks left out; a building block that only
    // the window carries out is refused, not run as if done.
    const CliRun queries = Cli({"queries", m_strDatabase});
    ASSERT_EQ(queries.exitCode, 0);
    const QStringList lines = Lines(queries.out).mid(1);
    ASSERT_GT(lines.size(), 5);
    QStringList names;
    for (const QString& line : lines)
        if (line.startsWith(QStringLiteral("/\t")))
            names.append(line.section(QLatin1Char('\t'), 1));
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    EXPECT_EQ(names, sorted);
    EXPECT_TRUE(names.contains(QStringLiteral("All Files in Checked Catalogues")));
    EXPECT_FALSE(names.contains(QStringLiteral("Delete Checked Files")));
    const CliRun deleting = Cli({"run-query", m_strDatabase, "Delete Checked Files"});
    EXPECT_EQ(deleting.exitCode, 1);
    EXPECT_TRUE(deleting.out.isEmpty());
    EXPECT_TRUE(deleting.err.contains(QStringLiteral("nothing was run"))) << deleting.err.toStdString();

    // sql reads with the catalogue's collation, and only reads.
    const CliRun found = Cli({"sql", m_strDatabase, "SELECT File FROM File WHERE File='ONE.BIN'"});
    ASSERT_EQ(found.exitCode, 0) << found.err.toStdString();
    EXPECT_EQ(found.out, QStringLiteral("File\nOne.bin\n"));
    const CliRun deleted = Cli({"sql", m_strDatabase, "DELETE FROM File"});
    EXPECT_EQ(deleted.exitCode, 1);
    EXPECT_TRUE(deleted.err.contains(QStringLiteral("read-only"))) << deleted.err.toStdString();
    EXPECT_EQ(Cli({"sql", m_strDatabase, "SELECT count(*) AS n FROM File"}).out, QStringLiteral("n\n1\n"));

    const CliRun sound = Cli({"check", m_strDatabase});
    EXPECT_EQ(sound.exitCode, 0) << sound.out.toStdString();
    EXPECT_TRUE(sound.out.contains(QStringLiteral("integrity: ok\n")));
    const CliRun quiet = Cli({"check", m_strDatabase, "--quiet"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_TRUE(quiet.out.isEmpty() && quiet.err.isEmpty());
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=0 WHERE [Index]='File_FileId'"));
    }
    const CliRun broken = Cli({"check", m_strDatabase, "--quiet"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.out.contains(QStringLiteral("the File_FileId counter is 0")))
        << broken.out.toStdString();

    if (OnServer())
    {
        // A catalogue made by an earlier version: check names what it lacks, and repair adds it.
        {
            CDbDatabase db;
            db.Open(m_strDatabase);
            db.ExecuteSqliteScript(
                QStringLiteral("DROP FUNCTION jet_order(text); DROP FUNCTION jet_order(anyelement); "
                               "ALTER TABLE \"File\" DROP CONSTRAINT \"File_File_NotEmpty\", ADD CONSTRAINT "
                               "\"File_File_NotEmpty\" CHECK (\"File\" <> '')"));
            EXPECT_THROW(AddGhostlyName(db), CDbException);
        }
        const CliRun lacking = Cli({"check", m_strDatabase});
        EXPECT_EQ(lacking.exitCode, 1);
        EXPECT_TRUE(
            lacking.out.contains(QStringLiteral("integrity: the server function jet_order(text) is missing")))
            << lacking.out.toStdString();
        EXPECT_TRUE(
            lacking.out.contains(QStringLiteral("the rule that File.File is not empty refuses names")))
            << lacking.out.toStdString();
        EXPECT_TRUE(lacking.err.contains(QStringLiteral("quarrane-cli repair"))) << lacking.err.toStdString();
        const CliRun unsorted =
            Cli({"sql", m_strDatabase, "SELECT File FROM File ORDER BY \"File\".\"File\""});
        EXPECT_EQ(unsorted.exitCode, 1);
        EXPECT_TRUE(unsorted.err.contains(QStringLiteral("quarrane-cli repair")))
            << unsorted.err.toStdString();
        const CliRun repaired = Cli({"repair", m_strDatabase});
        ASSERT_EQ(repaired.exitCode, 0) << repaired.err.toStdString();
        EXPECT_EQ(Cli({"sql", m_strDatabase, "SELECT File FROM File ORDER BY \"File\".\"File\""}).out,
                  QStringLiteral("File\nOne.bin\n"));
        const CliRun mended = Cli({"check", m_strDatabase});
        EXPECT_TRUE(mended.out.contains(QStringLiteral("integrity: ok\n"))) << mended.out.toStdString();
        EXPECT_EQ(Lines(Cli({"catalogues", m_strDatabase}).out).size(), 2);
        CDbDatabase db;
        db.Open(m_strDatabase);
        EXPECT_NO_THROW(AddGhostlyName(db));
        return;
    }
    // Repair keeps the data and puts the file as it was in this run's trash.
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files");
    const auto trashed = [&]
    { return QDir(trash).entryList({QStringLiteral("Example.qrl*")}, QDir::Files).size(); };
    const qsizetype before = trashed();
    {
        // Not while another program has it open: the file stays where it is, as it was.
        CDbDatabase other;
        other.Open(m_strDatabase);
        const QByteArray bytes = Bytes(m_strDatabase);
        const CliRun refused = Cli({"repair", m_strDatabase});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("already in use"))) << refused.err.toStdString();
        EXPECT_EQ(trashed(), before);
        EXPECT_EQ(Bytes(m_strDatabase), bytes);
    }
    const CliRun repaired = Cli({"repair", m_strDatabase});
    ASSERT_EQ(repaired.exitCode, 0) << repaired.err.toStdString();
    EXPECT_EQ(trashed(), before + 1);
    EXPECT_EQ(Lines(Cli({"catalogues", m_strDatabase}).out).size(), 2);
}

TEST_F(CliProcessTest, TheSqlite3ToolReadsACatalogueWithTheExtension)
{
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty())
        GTEST_SKIP() << "the sqlite3 tool is not installed (apt-get install sqlite3)";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the extension of a sanitizer build needs the sanitizer's runtime, which a stock "
                    "sqlite3 does not load";
#endif
    Write(QStringLiteral("media/One.bin"), Random(3000));
    Write(QStringLiteral("media/b.txt"), "b");
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location", m_dir.filePath("media")})
                  .exitCode,
              0);

    const CliRun bare = Program(sqlite3, {m_strDatabase, "PRAGMA integrity_check"});
    EXPECT_TRUE(bare.out.trimmed() != QStringLiteral("ok"))
        << "without the collation the catalogue cannot be checked";
    const CliRun loaded = Program(
        sqlite3,
        {"-cmd", QStringLiteral(".load %1").arg(QStringLiteral(QUARRANE_SQLITE_EXTENSION_PATH)),
         m_strDatabase, "PRAGMA integrity_check", "SELECT File FROM File WHERE File='ONE.BIN'",
         "SELECT count(*) FROM File WHERE File LIKE '*.BIN'", "SELECT File FROM File ORDER BY File DESC"});
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err.toStdString();
    EXPECT_EQ(Lines(loaded.out), QStringList({"ok", "One.bin", "1", "One.bin", "b.txt"}))
        << loaded.out.toStdString();
}

TEST_P(CliBothEnginesTest, AddCatalogueRefusesAMissingLocationAndANameInUse)
{
    Write(QStringLiteral("media/a.txt"), "a");
    Write(QStringLiteral("plain.txt"), "not a folder");
    ASSERT_NO_FATAL_FAILURE(NewCatalogue());
    const QString missing = m_dir.filePath(QStringLiteral("no/such/folder"));
    const CliRun refused = Cli({"add-catalogue", m_strDatabase, "--name", "X", "--location", missing});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_TRUE(refused.err.contains(QStringLiteral("does not exist"))) << refused.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("no"))));
    EXPECT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "X", "--location", m_dir.filePath("plain.txt")})
                  .exitCode,
              1);
    EXPECT_EQ(Lines(Cli({"catalogues", m_strDatabase}).out).size(), 1) << "nothing was created";

    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location", m_dir.filePath("media")})
                  .exitCode,
              0);
    const CliRun same =
        Cli({"add-catalogue", m_strDatabase, "--name", "MEDIA", "--location", m_dir.filePath("media")});
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_TRUE(same.err.contains(QStringLiteral("\"Media\""))) << same.err.toStdString();
    EXPECT_EQ(Lines(Cli({"catalogues", m_strDatabase}).out).size(), 2);
    const CliRun allowed = Cli({"add-catalogue", m_strDatabase, "--name", "MEDIA", "--location",
                                m_dir.filePath("media"), "--allow-same-name"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err.toStdString();
    EXPECT_EQ(allowed.out.trimmed(), QStringLiteral("2"));

    const CliRun created =
        Cli({"add-catalogue", m_strDatabase, "--name", "New", "--location", missing, "--create-location"});
    EXPECT_EQ(created.exitCode, 0) << created.err.toStdString();
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_EQ(Lines(Cli({"catalogues", m_strDatabase}).out).size(), 4);
}

TEST_F(CliProcessTest, ThePipeOfAnAddCatalogueEndsWithTheCommand)
{
    Write(QStringLiteral("media/a.txt"), "a");
    // Hashing a large file keeps the synchronizer at work long enough to look at what it holds.
    {
        QFile large(m_dir.filePath(QStringLiteral("media/large.bin")));
        ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64(1) << 30));
    }
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    // The shell ends when cat has read to the end of the pipe: when every writer has closed it.
    // Had the synchronizer inherited the pipe, cat would wait for it to end.
    auto* shell = new QProcess;
    m_processes.emplace_back(shell);
    shell->setProcessEnvironment(m_env);
    shell->start(QStringLiteral("/bin/sh"),
                 {"-c", "\"$0\" add-catalogue \"$1\" --name Media --location \"$2\" --update-tth | cat",
                  QStringLiteral(QUARRANE_CLI_PATH), m_strDatabase, m_dir.filePath("media")});

    // The lock file of the running synchronizer names its process: its standard output and
    // error lead nowhere.
    const QString lock = m_dir.filePath(QStringLiteral("run/QuarraneSynch.lock"));
    QString pid;
    ASSERT_TRUE(QTest::qWaitFor(
        [&]
        {
            pid = QString::fromLatin1(Bytes(lock)).section(QLatin1Char('\n'), 0, 0).trimmed();
            return !pid.isEmpty();
        },
        ScaledTimeout(20000)));
    for (const char* fd : {"1", "2"})
        EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(pid, QLatin1String(fd))),
                  QStringLiteral("/dev/null"))
            << "descriptor " << fd;

    const CliRun piped = Finish(shell);
    ASSERT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_EQ(piped.out, QStringLiteral("1\n"));
    EXPECT_TRUE(piped.err.isEmpty()) << "no progress when stderr is no terminal: " << piped.err.toStdString();
}

// Without a display and without waiting, the synchronizer still does the work on its own and ends.
TEST_F(CliProcessTest, AddCatalogueWithoutWaitingLeavesTheWorkToTheSynchronizer)
{
    Write(QStringLiteral("media/a.txt"), "a");
    Write(QStringLiteral("media/b.txt"), "b");
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    const CliRun started = Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location",
                                m_dir.filePath("media"), "--no-wait"});
    ASSERT_EQ(started.exitCode, 0) << started.err.toStdString();
    const QString lock = m_dir.filePath(QStringLiteral("run/QuarraneSynch.lock"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(lock); }, ScaledTimeout(30000)))
        << "the synchronizer ends once it has nothing left to do";
    const QStringList rows = Lines(Cli({"catalogues", m_strDatabase}).out);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[1].endsWith(QStringLiteral("\t2\ttrue"))) << rows[1].toStdString();
}

// What the synchronizer could not read is named by its path, not by a result number.
TEST_F(CliProcessTest, FilesThatCouldNotBeReadAreNamed)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root and setpriv to catalogue as nobody a file nobody may read";
    Write(QStringLiteral("media/open.txt"), "anyone");
    Write(QStringLiteral("media/sub/private one.txt"), "owner only");
    Write(QStringLiteral("media/private two.txt"), "owner only too");
    ASSERT_EQ(QProcess::execute(QStringLiteral("chmod"), {"-R", "a+rwX", m_dir.path()}), 0);
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFile::Permissions(0x7777)));
    for (const char* name : {"media/sub/private one.txt", "media/private two.txt"})
        ASSERT_TRUE(
            QFile::setPermissions(m_dir.filePath(QLatin1String(name)), QFile::ReadOwner | QFile::WriteOwner));
    for (const char* name : {"HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        m_env.insert(QString::fromLatin1(name), m_dir.filePath(QString::fromLatin1(name).toLower()));
    auto asNobody = [&](const QStringList& arguments)
    {
        return Program(setpriv, QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                            QStringLiteral(QUARRANE_CLI_PATH)} +
                                    arguments);
    };
    ASSERT_EQ(asNobody({"new", m_strDatabase}).exitCode, 0);
    const CliRun run = asNobody({"add-catalogue", m_strDatabase, "--name", "Media", "--location",
                                 m_dir.filePath("media"), "--update-tth"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains(
        QStringLiteral("2 files could not be read:\n  %1\n  %2\n")
            .arg(m_dir.filePath("media/private two.txt"), m_dir.filePath("media/sub/private one.txt"))))
        << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("open.txt")));
}

TEST_F(CliProcessTest, AReadOnlyCatalogueServesTheReadingCommands)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (geteuid() == 0 && setpriv.isEmpty())
        GTEST_SKIP() << "root ignores file modes, and setpriv is missing to act as nobody";
    Write(QStringLiteral("media/One.bin"), Random(3000));
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location", m_dir.filePath("media")})
                  .exitCode,
              0);
    // Once the synchronizer has let go, as on a disc written and closed.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !QFile::exists(m_dir.filePath(QStringLiteral("run/QuarraneSynch.lock"))); }, 20000));
    const QString folder = m_dir.filePath(QStringLiteral("disc"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString database = folder + QStringLiteral("/Example.qrl");
    ASSERT_TRUE(QFile::copy(m_strDatabase, database));
    const QByteArray before = Bytes(database);
    // Where the export goes: a folder anyone may write.
    const QString outFolder = m_dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(outFolder));
    ASSERT_TRUE(QFile::setPermissions(outFolder, QFile::Permissions(0x7777)));
    const QString exported = outFolder + QStringLiteral("/media.tsv");
    const auto readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const auto exec = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(database, readOnly));
    ASSERT_TRUE(QFile::setPermissions(folder, readOnly | exec));
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), readOnly | exec | QFile::WriteOwner));
    auto asReader = [&](const QStringList& arguments)
    {
        if (geteuid() != 0)
            return Cli(arguments);
        return Program(setpriv, QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                            QStringLiteral(QUARRANE_CLI_PATH)} +
                                    arguments);
    };
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString output;
    };
    const Case cases[] = {
        {{"catalogues", database}, 0, "Media"},
        {{"queries", database}, 0, "All Files in Checked Catalogues"},
        {{"checked", database}, 0, "Catalogue\tFolder\tFile"},
        {{"sql", database, "SELECT File FROM File WHERE File='one.BIN'"}, 0, "One.bin"},
        {{"check", database}, 0, "integrity: ok"},
        {{"search", database, "--name", "one"}, 0, "One.bin"},
        {{"export", database, "--catalogue", "Media", exported}, 0, QString()},
        {{"check-catalogues", database, "--all"}, 1, "may only be read"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const CliRun run = asReader(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE((c.exitCode == 0 ? run.out : run.err).contains(c.output))
            << run.out.toStdString() << run.err.toStdString();
    }
    EXPECT_TRUE(Bytes(exported).contains("One.bin")) << Bytes(exported).toStdString();
    EXPECT_EQ(Bytes(database), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"Example.qrl"}))
        << "no journal left beside it";
    QFile::setPermissions(folder, readOnly | exec | QFile::WriteOwner);
    QFile::setPermissions(m_dir.path(), readOnly | exec | QFile::WriteOwner);
}

// The server's counterpart of a read-only file: a login granted SELECT on the catalogue's tables.
TEST_F(CliServerCatalogueTest, ALoginThatMayOnlyReadServesTheReadingCommands)
{
    Write(QStringLiteral("media/One.bin"), Random(3000));
    ASSERT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "Media", "--location", m_dir.filePath("media")})
                  .exitCode,
              0);
    const QString role = QStringLiteral("cli_reader_%1").arg(getpid());
    {
        CDbDatabase owner;
        owner.Open(m_strDatabase);
        owner.ExecuteSqliteScript(
            QStringLiteral(
                "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 "
                "LOGIN; END IF; END $$; GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1")
                .arg(role));
    }
    const QString reader =
        QString(m_strDatabase).replace(QStringLiteral("user=quarrane"), QStringLiteral("user=") + role);
    const QString exported = m_dir.filePath(QStringLiteral("media.tsv"));
    const auto rows = [&](const char* table)
    {
        CDbDatabase db;
        db.Open(m_strDatabase, EDbOpenMode::ReadOnly);
        CDbStatement count =
            db.Prepare(QStringLiteral("SELECT Count(*) FROM %1").arg(QString::fromLatin1(table)));
        return count.Step() ? count.Value(0).ToLong() : -1;
    };
    const qint32 marks = rows("CatalogueUserSelect");
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString output;
    };
    const Case cases[] = {
        {{"catalogues", reader}, 0, "Media"},
        {{"queries", reader}, 0, "All Files in Checked Catalogues"},
        {{"checked", reader}, 0, "Catalogue\tFolder\tFile"},
        {{"sql", reader, "SELECT File FROM File WHERE File='one.BIN'"}, 0, "One.bin"},
        {{"check", reader}, 0, "integrity: ok"},
        {{"search", reader, "--name", "one"}, 0, "One.bin"},
        {{"export", reader, "--catalogue", "Media", exported}, 0, QString()},
        {{"check-catalogues", reader, "--all"}, 1, "read-only"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const CliRun run = Cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE((c.exitCode == 0 ? run.out : run.err).contains(c.output))
            << run.out.toStdString() << run.err.toStdString();
    }
    EXPECT_TRUE(Bytes(exported).contains("One.bin")) << Bytes(exported).toStdString();
    EXPECT_EQ(rows("CatalogueUserSelect"), marks) << "nothing written by the reader";
}

TEST_F(CliProcessTest, BashCompletesCommandsOptionsAndQueryNames)
{
    const QString library = QStringLiteral("/usr/share/bash-completion/bash_completion");
    if (!QFileInfo::exists(library))
        GTEST_SKIP() << "bash-completion is not installed (apt-get install bash-completion)";
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    m_env.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(QUARRANE_CLI_PATH)).absolutePath() +
                                             QLatin1Char(':') + m_env.value(QStringLiteral("PATH")));
    struct Case
    {
        QStringList words; // as typed, up to the cursor
        QStringList expected;
    };
    const Case cases[] = {
        {{"quarrane-cli", "che"}, {"check-catalogues", "checked", "check"}},
        {{"quarrane-cli", "add-catalogue", "db.qrl", "--al"}, {"--allow-same-name"}},
        {{"quarrane-cli", "catalogues", "db.qrl", "--format", "j"}, {"json"}},
        {{"quarrane-cli", "run-query", m_strDatabase, "Check\\ Dup"},
         {"Check\\ Duplicates\\ For\\ Deletion\\ Between\\ Checked\\ and\\ All\\ Catalogues",
          "Check\\ Duplicates\\ For\\ Deletion\\ Between\\ Checked\\ Catalogues",
          "Check\\ Duplicates\\ For\\ Deletion\\ in\\ All\\ Catalogues"}},
    };
    for (const Case& c : cases)
    {
        const QString line = c.words.join(QLatin1Char(' '));
        SCOPED_TRACE(line.toStdString());
        // As bash hands them to a completion function: the words raw, the cursor at the end.
        const QString script = QStringLiteral(
            "source \"$1\"; source \"$2\"; COMP_LINE=\"$3\"; COMP_POINT=${#COMP_LINE}; "
            "COMP_WORDS=(\"${@:4}\"); "
            "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quarrane_cli; printf '%s\\n' \"${COMPREPLY[@]}\"");
        const CliRun run =
            Program(QStringLiteral("/bin/bash"), QStringList{"-c", script, "bash", library,
                                                             QStringLiteral(QUARRANE_COMPLETION_PATH), line} +
                                                     c.words);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        QStringList got = Lines(run.out);
        QStringList expected = c.expected;
        got.sort();
        expected.sort();
        EXPECT_EQ(got, expected) << run.out.toStdString();
    }
}

TEST_F(CliProcessTest, ProgressShowsOnATerminalOnly)
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        GTEST_SKIP() << "script (util-linux) is missing to give the command a terminal";
    Write(QStringLiteral("media/a.bin"), Random(4000));
    Write(QStringLiteral("media/b.bin"), Random(6000));
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    auto onTerminal = [&](const QString& name, const QString& extra)
    {
        return Program(script,
                       {"-qec",
                        QStringLiteral("'%1' add-catalogue '%2' --name %3 --location '%4' --update-tth %5")
                            .arg(QStringLiteral(QUARRANE_CLI_PATH), m_strDatabase, name,
                                 m_dir.filePath(QStringLiteral("media")), extra),
                        "/dev/null"});
    };
    const CliRun shown = onTerminal(QStringLiteral("One"), QString());
    ASSERT_EQ(shown.exitCode, 0) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("2 files, 9.8 kB, 2 hashed"))) << shown.out.toStdString();
    const CliRun quiet = onTerminal(QStringLiteral("Two"), QStringLiteral("--quiet"));
    ASSERT_EQ(quiet.exitCode, 0) << quiet.out.toStdString();
    EXPECT_FALSE(quiet.out.contains(QStringLiteral("files,"))) << quiet.out.toStdString();
    EXPECT_EQ(quiet.out.trimmed(), QStringLiteral("2")) << "the identifier alone";
}
