#include "ProcessEnvironment.h"
#include "SynchronizerServer.h"
#include "common/ConversationClient.h"
#include "common/ConversationProtocol.h"
#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>

#include <unistd.h>

namespace
{
// What /proc says of a process: threads, resident and virtual memory (KiB).
struct ProcessFigures
{
    int threads = 0;
    qint64 rssKiB = 0;
    qint64 sizeKiB = 0;
};

ProcessFigures FiguresOf(qint64 pid)
{
    ProcessFigures figures;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return figures;
    for (const QByteArray& line : status.readAll().split('\n'))
    {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2)
            continue;
        if (parts[0] == "Threads:")
            figures.threads = parts[1].toInt();
        else if (parts[0] == "VmRSS:")
            figures.rssKiB = parts[1].toLongLong();
        else if (parts[0] == "VmSize:")
            figures.sizeKiB = parts[1].toLongLong();
    }
    return figures;
}

std::ostream& operator<<(std::ostream& out, const ProcessFigures& f)
{
    return out << f.threads << " threads, " << f.rssKiB / 1024 << " MiB resident, " << f.sizeKiB / 1024
               << " MiB address space";
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Real synchronizer processes on real databases, in a runtime folder of their own.
class SynchLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strDatabase = m_dir.filePath(QStringLiteral("Films.qrl"));
        m_strMedia = m_dir.filePath(QStringLiteral("media"));
        ASSERT_TRUE(QDir().mkpath(m_strMedia + QStringLiteral("/Films")));
        for (const char* name : {"present.mkv", "other.mkv"})
        {
            QFile file(m_strMedia + QStringLiteral("/Films/") + QString::fromLatin1(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
            m_dir.filePath(QStringLiteral("volumes")),
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))}));
        MakeCatalogue(m_strDatabase);
        m_env = IsolatedProcessEnvironment(m_dir);
        qputenv("QUARRANE_RUNTIME_DIR", m_dir.filePath(QStringLiteral("run")).toUtf8());
    }
    void TearDown() override
    {
        for (auto& p : m_processes)
            if (p->state() != QProcess::NotRunning)
            {
                p->kill();
                p->waitForFinished(5000);
            }
        qunsetenv("QUARRANE_RUNTIME_DIR");
    }

    // A catalogue of the media folder with one file record in it.
    void MakeCatalogue(const QString& path)
    {
        ASSERT_TRUE(WriteTemplateDatabase(path));
        CDbDatabase db;
        db.Open(path);
        db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, 1, 'Films', 'DATA', ?, ?, 'Fixed')"),
            {CDbValue(qint32(0x1234ABCD)), CDbValue(m_strMedia)});
        db.Execute(
            QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (5, 'Films')"));
        db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                  "FileSizeDouble) VALUES (1, 5, 1, 'present.mkv', 0, 0)"));
        db.Execute(QStringLiteral("INSERT INTO IndexId (IndexId, [Index]) VALUES (1, 'File_FileId')"));
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
    // A request by advise-start on its own link; its result, or -1 when none came.
    qint64 Request(CConversationClient& client, const QString& line)
    {
        if (client.AdviseStart(line, ScaledTimeout(10000)) != kDdeFAck)
            return -1;
        const auto result = client.WaitForFinalAdvise(ScaledTimeout(60000));
        return result ? qint64(*result) : -1;
    }
    // Runs one request in a synchronizer of its own with -Quit; its exit status and stderr.
    std::pair<int, QString> RunQuit(const QString& database, const QStringList& options, int catalogueId = 1)
    {
        QProcess& p = Start(QStringList{QStringLiteral("-Database=%1").arg(database),
                                        QStringLiteral("-CatalogueID=%1").arg(catalogueId)} +
                            options + QStringList{QStringLiteral("-Unattended"), QStringLiteral("-Quit")});
        EXPECT_TRUE(p.waitForFinished(ScaledTimeout(120000)));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
    }

    QTemporaryDir m_dir;
    QString m_strDatabase;
    QString m_strMedia;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// Counts taken from the environment so that a long run can be asked for; the defaults are the
// full counts.
int CountFromEnvironment(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}
} // namespace

// A flood of execute frames and a long series of real requests: the synchronizer answers every
// one, and its threads and memory stay where they were once it had warmed up.
TEST_F(SynchLoadTest, FloodsAndManyRequestsLeaveThreadsAndMemoryFlat)
{
    const int frames = CountFromEnvironment("QUARRANE_LOAD_FRAMES", 50000);
    const int requests = CountFromEnvironment("QUARRANE_LOAD_REQUESTS", 1000);
    QProcess& synch = Start({QStringLiteral("-Unattended")});
    ASSERT_TRUE(WaitForServer());
    const qint64 pid = synch.processId();
    const QString line = QStringLiteral("-Database=\"%1\" -CatalogueID=1 -MarkDeleted").arg(m_strDatabase);

    // Warming up: several requests at once, so that every worker the pool may have exists.
    CConversationClient client;
    ASSERT_TRUE(client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("Synchronize")));
    for (int round = 0; round < 5; ++round)
    {
        std::vector<CConversationClient> clients(8);
        for (auto& c : clients)
        {
            ASSERT_TRUE(c.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("Synchronize")));
            ASSERT_EQ(c.AdviseStart(line), kDdeFAck);
        }
        for (auto& c : clients)
            ASSERT_EQ(c.WaitForFinalAdvise(ScaledTimeout(60000)), 0u);
    }
    QTest::qWait(300);
    const ProcessFigures before = FiguresOf(pid);
    ASSERT_GT(before.threads, 0);

    // The flood: execute frames written as fast as the socket takes them, on one connection.
    QLocalSocket flood;
    flood.connectToServer(ConversationServerPath(QStringLiteral("QuarraneSynch")));
    ASSERT_TRUE(flood.waitForConnected(5000));
    flood.write(EncodeConversationFrame({ConversationKind::Connect, 1, 0, {QStringLiteral("CmdLine")}}));
    CConversationFrameReader reader;
    int answered = 0;
    int busy = 0;
    int mostThreads = 0;
    const auto readAnswers = [&](int waitMs)
    {
        if (flood.bytesAvailable() == 0)
            flood.waitForReadyRead(waitMs);
        reader.Append(flood.readAll());
        ConversationFrame frame;
        while (reader.Next(frame) == CConversationFrameReader::Result::Frame)
            if (frame.kind == ConversationKind::Answer && frame.transactionId > 1)
            {
                ++answered;
                busy += frame.value == kDdeFBusy ? 1 : 0;
            }
    };
    const QByteArray data = QStringLiteral("-Database=\"%1\" -CatalogueID=1").arg(m_strDatabase).toUtf8();
    for (int sent = 0; sent < frames;)
    {
        QByteArray chunk;
        for (int i = 0; i < 500 && sent < frames; ++i, ++sent)
            chunk += EncodeConversationFrame(
                {ConversationKind::Execute, quint32(sent + 2), 0, {QString::fromUtf8(data)}});
        flood.write(chunk);
        flood.waitForBytesWritten(5000);
        readAnswers(0);
        if (sent % 5000 == 0)
            mostThreads = std::max(mostThreads, FiguresOf(pid).threads);
    }
    for (QDeadlineTimer deadline(ScaledTimeout(60000)); answered < frames && !deadline.hasExpired();)
        readAnswers(200);
    EXPECT_EQ(answered, frames) << "every frame is answered, FACK or busy";
    EXPECT_EQ(synch.state(), QProcess::Running);

    // Real requests, many at a time on one link each.
    int done = 0;
    for (int sent = 0; sent < requests;)
    {
        std::vector<CConversationClient> clients(std::min(50, requests - sent));
        for (auto& c : clients)
        {
            ASSERT_TRUE(c.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("Synchronize")));
            // The flood's last requests may still be running: busy means "ask again", as any
            // client of the synchronizer does.
            std::optional<quint32> answer;
            for (QDeadlineTimer deadline(ScaledTimeout(30000));;)
            {
                answer = c.AdviseStart(line, ScaledTimeout(10000));
                if (answer != kDdeFBusy || deadline.hasExpired())
                    break;
                QTest::qWait(20);
            }
            ASSERT_EQ(answer, kDdeFAck);
            ++sent;
        }
        mostThreads = std::max(mostThreads, FiguresOf(pid).threads);
        for (auto& c : clients)
            done += c.WaitForFinalAdvise(ScaledTimeout(60000)) == 0u ? 1 : 0;
    }
    EXPECT_EQ(done, requests);

    QTest::qWait(500);
    const ProcessFigures after = FiguresOf(pid);
    std::cout << "  " << frames << " execute frames (" << busy << " answered busy) and " << requests
              << " requests\n  warmed up: " << before << "\n  afterwards: " << after
              << "\n  most threads meanwhile: " << mostThreads << std::endl;
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(mostThreads, before.threads + 1) << "no thread per request";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A sanitizer keeps freed memory in quarantine and its own shadow of it: only the thread
    // count says anything there.
    EXPECT_LT(after.sizeKiB - before.sizeKiB, 64 * 1024) << "address space returns to its level";
    EXPECT_LT(after.rssKiB - before.rssKiB, 24 * 1024) << "resident memory returns to its level";
#endif
    // And it still works.
    EXPECT_EQ(Request(client, line), 0);
}

// Files the programs refuse stay byte for byte as they were, whatever their journal mode, and the
// refusal says what the file is.
TEST_F(SynchLoadTest, RefusedFilesStayByteIdenticalInBothJournalModes)
{
    QProcess& synch = Start({QStringLiteral("-Unattended")});
    ASSERT_TRUE(WaitForServer());
    CConversationClient client;
    ASSERT_TRUE(client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("Synchronize")));

    const auto foreign = [](CDbDatabase& db)
    {
        db.ExecuteSqliteScript(
            QStringLiteral("CREATE TABLE Things (Name TEXT); INSERT INTO Things VALUES ('a');"));
    };
    const auto foreignParameter = [](CDbDatabase& db)
    { db.ExecuteSqliteScript(QStringLiteral("CREATE TABLE Parameter (Key TEXT, Setting TEXT);")); };
    const auto version = [](const char* text)
    {
        return [text](CDbDatabase& db)
        {
            db.Execute(QStringLiteral("UPDATE Parameter SET [Value]=? WHERE Parameter='Version'"),
                       {CDbValue(QString::fromLatin1(text))});
        };
    };
    const auto dropFile = [](CDbDatabase& db)
    { db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=OFF; DROP TABLE \"File\";")); };
    const struct
    {
        const char* name;
        bool catalogue; // made from the template, else a plain SQLite file
        std::function<void(CDbDatabase&)> change;
        long openError; // what opening it raises, 0 when it opens (another version)
        const char* says;
    } cases[] = {
        {"plain SQLite file", false, foreign, DbErrors::kUnrecognizedFormat, "Unrecognized database format"},
        {"another program's Parameter table", false, foreignParameter, DbErrors::kUnrecognizedFormat,
         "Unrecognized database format"},
        {"older catalogue", true, version("1.003"), 0, "created by a older version"},
        {"newer catalogue", true, version("1.005"), 0, "created by a later version"},
        {"catalogue without its File table", true, dropFile, DbErrors::kUnrecognizedFormat,
         "lost its File table"},
    };
    int index = 0;
    for (const auto& c : cases)
        for (const char* mode : {"DELETE", "WAL"})
        {
            SCOPED_TRACE(std::string(c.name) + " in " + mode);
            const QString path = m_dir.filePath(QStringLiteral("refused%1.qrl").arg(index++));
            {
                CDbDatabase db;
                if (c.catalogue)
                {
                    ASSERT_TRUE(WriteTemplateDatabase(path));
                    db.Open(path);
                }
                else
                    db.Create(path);
                c.change(db);
                db.ExecuteSqliteScript(
                    QStringLiteral("PRAGMA journal_mode=%1;").arg(QString::fromLatin1(mode)));
            }
            const QByteArray before = Bytes(path);
            ASSERT_FALSE(before.isEmpty());
            ASSERT_EQ(before[18], QString::fromLatin1(mode) == QStringLiteral("WAL") ? 2 : 1);

            // The synchronizer refuses it as a database it cannot use.
            EXPECT_EQ(
                Request(client,
                        QStringLiteral("-Database=\"%1\" -CatalogueID=1 -AddFiles -MarkDeleted").arg(path)),
                4313);
            EXPECT_EQ(Bytes(path), before);

            // So does the engine, saying what it is; another version opens unchanged for its caller
            // to refuse by its version.
            CDbDatabase db;
            long error = 0;
            QString description;
            try
            {
                db.Open(path);
            }
            catch (const CDbException& e)
            {
                error = e.m_nErrorCode;
                description = e.m_strDescription;
            }
            EXPECT_EQ(error, c.openError);
            if (error != 0)
                EXPECT_TRUE(description.contains(QString::fromLatin1(c.says))) << description.toStdString();
            else
                EXPECT_EQ(db.JournalMode(), QString::fromLatin1(mode).toLower());
            db.Close();
            EXPECT_EQ(Bytes(path), before);
        }
    EXPECT_EQ(synch.state(), QProcess::Running);
    synch.terminate();
    EXPECT_TRUE(synch.waitForFinished(ScaledTimeout(20000)));
    // The messages name the file for what it is, never an SQL error of ours.
    const QString log = QString::fromLocal8Bit(synch.readAllStandardError());
    for (const auto& c : cases)
        EXPECT_TRUE(log.contains(QString::fromLatin1(c.says))) << c.says;
    EXPECT_FALSE(log.contains(QStringLiteral("Too few parameters"))) << log.toStdString();
}

// Exit statuses of runs that did not do their work: never 0.
TEST_F(SynchLoadTest, ARunThatDidNotDoItsWorkNeverEndsWithZero)
{
    const QString noFileTable = m_dir.filePath(QStringLiteral("NoFileTable.qrl"));
    MakeCatalogue(noFileTable);
    {
        CDbDatabase db;
        db.Open(noFileTable);
        db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=OFF; DROP TABLE \"File\";"));
    }
    const QString damaged = m_dir.filePath(QStringLiteral("Damaged.qrl"));
    {
        QByteArray bytes = Bytes(m_strDatabase);
        bytes.replace(4096, 4096 * 4, QByteArray(4096 * 4, '\x5a'));
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const struct
    {
        QString database;
        QString option;
        int catalogueId;
        int status;
        const char* says;
    } cases[] = {
        {noFileTable, QStringLiteral("-MarkDeleted"), 1, 43, "lost its File table"},
        {damaged, QStringLiteral("-AddFiles"), 1, 43, "result 4313"},
        {m_dir.filePath(QStringLiteral("missing.qrl")), QStringLiteral("-AddFiles"), 1, 2, "result 2"},
        {m_strDatabase, QStringLiteral("-MarkDeleted"), 9, 2, "Unable to find the catalogue: 9"},
        {m_strDatabase, QStringLiteral("-MarkDeleted"), 1, 0, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.database.toStdString() + " " + c.option.toStdString());
        const auto [status, err] = RunQuit(c.database, {c.option}, c.catalogueId);
        EXPECT_EQ(status, c.status) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromLatin1(c.says))) << err.toStdString();
    }
}

// A database on a disk that fills up during an add-files run: the unattended run answers Cancel
// and ends with the disk-full status; what was stored is a sound database.
TEST_F(SynchLoadTest, ADiskThatFillsEndsTheRunWithTheDiskFullStatus)
{
    const QString small = m_dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(small));
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=900k"), QStringLiteral("tmpfs"), small});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): "
                     << mount.readAllStandardError().toStdString();
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {small}); });

    const QString database = small + QStringLiteral("/Full.qrl");
    MakeCatalogue(database);
    const QString folder = m_strMedia + QStringLiteral("/Many");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (int i = 0; i < 6000; ++i)
    {
        QFile file(folder +
                   QStringLiteral("/a file name long enough to fill a small disk soon %1.dat").arg(i));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto [status, err] = RunQuit(database, {QStringLiteral("-AddFiles")});
    EXPECT_EQ(status, 112) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("There is not enough space on disk"))) << err.toStdString();

    // What was stored is sound, and fewer files than there are.
    QProcess::execute(QStringLiteral("mount"),
                      {QStringLiteral("-o"), QStringLiteral("remount,size=8m"), small});
    CDbDatabase db;
    db.Open(database);
    CDbStatement check = db.PrepareSqlite(QStringLiteral("PRAGMA integrity_check"));
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Value(0).ToString(), QStringLiteral("ok"));
    CDbStatement count = db.PrepareSqlite(QStringLiteral("SELECT count(*) FROM File"));
    ASSERT_TRUE(count.Step());
    EXPECT_LT(count.Value(0).ToLong(), 6000);
}
