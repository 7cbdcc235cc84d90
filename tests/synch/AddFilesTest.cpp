#include "SynchTaskFixture.h"

#include "database/DbErrorCodes.h"
#include "database/DbTransaction.h"
#include "platform/NativeName.h"
#include "synch/MwuTaskManagerAddFiles.h"

#include <QDateTime>
#include <QProcess>
#include <QSet>

#include <optional>
#include <thread>

#include <unistd.h>

namespace
{
class AddFilesTest : public SynchTaskOnBothEngines
{
protected:
    int AddFiles() { return Run<CMwuTaskManagerAddFiles>(QStringLiteral("-AddFiles")); }

    // An independent listing: find walks depth-first in the order the directory is read.
    QStringList Find(const QString& type)
    {
        QProcess find;
        find.start(QStringLiteral("find"), {m_strMedia, QStringLiteral("-name"), QStringLiteral(".*"),
                                             QStringLiteral("-prune"), QStringLiteral("-o"), QStringLiteral("-type"),
                                             type, QStringLiteral("-printf"), QStringLiteral("%P\\n")});
        EXPECT_TRUE(find.waitForFinished(10000));
        QStringList lines = QString::fromUtf8(find.readAllStandardOutput()).split(QLatin1Char('\n'));
        lines.removeLast();
        for (QString& line : lines)
            line.replace(QLatin1Char('/'), QLatin1Char('\\'));
        return lines;
    }

    // "folder\name" of every live record of catalogue 1.
    QSet<QString> CataloguedFiles()
    {
        CDbStatement st = m_db.Prepare(QStringLiteral(
            "SELECT RelativePath.RelativePath, File.File FROM RelativePath RIGHT JOIN File ON "
            "RelativePath.RelativePathId = File.RelativePathId WHERE File.CatalogueId=1 AND File.Deleted=FALSE"));
        QSet<QString> files;
        while (st.Step())
        {
            const QString folder = st.Value(0).ToString();
            files.insert(folder.isEmpty() ? st.Value(1).ToString() : folder + '\\' + st.Value(1).ToString());
        }
        return files;
    }
};
} // namespace

QUARRANE_ON_BOTH_ENGINES(AddFilesTest);

TEST_P(AddFilesTest, OneGroupPerFolderInWalkOrderAndOneRecordPerFile)
{
    for (const char* file : {"top.txt", "B/one.txt", "B/C/two.txt", "B/C/three.txt", "Z/a b's \"q\" %;*.txt",
                             "Z/Ünïcødé.txt", ".hidden/x.txt", "F/.profile", "F/.git/config", "F/kept"})
        WriteFile(QString::fromUtf8(file));
    ASSERT_TRUE(QDir().mkpath(m_strMedia + "/B/C/empty"));
    ASSERT_TRUE(QDir().mkpath(m_strMedia + "/E"));

    EXPECT_EQ(AddFiles(), 0);

    const auto rows = Rows();
    const QStringList folders = Find(QStringLiteral("d"));
    ASSERT_EQ(folders.size(), 7) << folders.join(',').toStdString(); // the location and six below it
    ASSERT_EQ(rows.size(), folders.size() + 1);
    EXPECT_EQ(rows[0].m_position, TaskPositionTop);
    EXPECT_EQ(rows[0].m_strRelativePath, QStringLiteral("<All>"));
    EXPECT_EQ(rows[0].m_lProgressMax, 7);
    EXPECT_EQ(rows[0].m_lProgressCurrent, 7);
    EXPECT_EQ(rows[0].m_status, TaskStatusCompleted);
    for (qsizetype i = 0; i < folders.size(); ++i)
    {
        const CMwuTask& row = rows[size_t(i) + 1];
        EXPECT_EQ(row.m_strRelativePath, folders[i]);
        EXPECT_EQ(row.m_position, i + 1 == folders.size() ? TaskPositionLastGroup : TaskPositionGroup);
        EXPECT_EQ(row.m_status, TaskStatusCompleted);
        // Every folder has its RelativePath row, empty folders too.
        CDbStatement id = m_db.Prepare(QStringLiteral("SELECT RelativePathId FROM RelativePath WHERE RelativePath=?"));
        id.Bind(1, folders[i]);
        EXPECT_EQ(id.Step() ? id.Value(0).ToLong() : 0, row.m_lRelativePathId) << folders[i].toStdString();
        EXPECT_EQ(row.m_lRelativePathId == 0, folders[i].isEmpty());
    }

    const QStringList files = Find(QStringLiteral("f"));
    EXPECT_EQ(CataloguedFiles(), QSet<QString>(files.begin(), files.end()));
    EXPECT_EQ(Count(QStringLiteral("File LIKE '.*' OR File='config' OR File='x.txt'")), 0);
}

TEST_P(AddFilesTest, ColumnsOfNewRecords)
{
    const qint64 gib = qint64(1) << 30;
    struct Case
    {
        const char* name;
        qint64 size;
        qint32 low;
        qint32 high;
        const char* extension; // nullptr: Null
    };
    const Case cases[] = {
        {"five.bin", 5 * gib, qint32(1073741824), 1, "bin"},
        {"three.iso", 3 * gib, qint32(0xC0000000u), 0, "iso"}, // the low half above 2^31
        {"archive.tar.gz", 10, 10, 0, "gz"},
        {"noext", 0, 0, 0, nullptr},
        {"ends.", 1, 1, 0, nullptr},
        {"blanks.ab  ", 2, 2, 0, "ab"},
    };
    const QDateTime written(QDate(2021, 3, 4), QTime(5, 6, 7));
    for (const Case& c : cases)
    {
        WriteFile(QString::fromUtf8(c.name));
        QFile file(m_strMedia + '/' + QString::fromUtf8(c.name));
        ASSERT_TRUE(file.resize(c.size)); // sparse: no blocks behind the size
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    }
    WriteFile(QStringLiteral("readonly.txt"), "x");
    ASSERT_TRUE(QFile::setPermissions(m_strMedia + "/readonly.txt", QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(Rows().front().m_position, TaskPositionSingle) << "no subfolders: one row";

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CDbStatement st = m_db.Prepare(QStringLiteral(
            "SELECT FileSize, FileSizeHigh, FileSizeDouble, Extension, LastModified, New, Deleted, Ghost, TTH, "
            "RelativePathId, Attributes, FileInfoId, SimilarityId FROM File WHERE File=?"));
        st.Bind(1, QString::fromUtf8(c.name));
        ASSERT_TRUE(st.Step());
        EXPECT_EQ(st.Value(0).ToLong(), c.low);
        EXPECT_EQ(st.Value(1).ToLong(), c.high);
        EXPECT_EQ(st.Value(2).ToDouble(), double(c.size));
        if (c.extension)
            EXPECT_EQ(st.Value(3).ToString(), QString::fromUtf8(c.extension));
        else
            EXPECT_TRUE(st.Value(3).IsNull());
        EXPECT_EQ(st.Value(4).ToDateTime(), written);
        EXPECT_TRUE(st.Value(5).ToBool());
        EXPECT_FALSE(st.Value(6).ToBool());
        EXPECT_FALSE(st.Value(7).ToBool());
        EXPECT_TRUE(st.Value(8).IsNull());
        EXPECT_EQ(st.Value(9).ToLong(), 0);
        EXPECT_EQ(st.Value(10).ToString(), c.size > 0 ? QStringLiteral("P") : QStringLiteral("N"));
        EXPECT_TRUE(st.Value(11).IsNull());
        EXPECT_EQ(st.Value(12).ToLong(), 0);
    }
    CDbStatement readOnly = m_db.Prepare(QStringLiteral("SELECT Attributes FROM File WHERE File='readonly.txt'"));
    ASSERT_TRUE(readOnly.Step());
    EXPECT_EQ(readOnly.Value(0).ToString(), QStringLiteral("R"));

    // FileIds are distinct and the counter holds the last one handed out.
    CDbStatement ids = m_db.Prepare(QStringLiteral(
        "SELECT Count(DISTINCT FileId), Max(FileId), (SELECT IndexId FROM IndexId WHERE [Index]='File_FileId') FROM File"));
    ASSERT_TRUE(ids.Step());
    EXPECT_EQ(ids.Value(0).ToLong(), 7);
    EXPECT_EQ(ids.Value(1).ToLong(), ids.Value(2).ToLong());
}

TEST_P(AddFilesTest, ASecondRunAddsOnlyWhatIsNotCataloguedAlive)
{
    // Two names that differ only in case are two files on a case-sensitive medium.
    WriteFile(QStringLiteral("Docs/Readme.txt"));
    WriteFile(QStringLiteral("Docs/README.txt"));
    WriteFile(QStringLiteral("Docs/gone-once.txt"));
    WriteFile(QStringLiteral("Docs/ghosted.txt"));
    WriteFile(QStringLiteral("root.txt"));
    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(Count(QStringLiteral("CatalogueId=1")), 5);
    EXPECT_EQ(Count(QStringLiteral("StrComp(File, 'README.txt', 0)=0")), 1);

    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(Count(QStringLiteral("CatalogueId=1")), 5) << "nothing new";
    const auto rows = Rows();
    EXPECT_EQ(rows[3].m_position, TaskPositionTop);
    EXPECT_EQ(rows[3].m_lProgressCurrent, 5) << "progress still counts every file";

    // A file whose records are only deleted or ghosted gets a fresh record; the old ones stay.
    m_db.Execute(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE File='gone-once.txt'"));
    m_db.Execute(QStringLiteral("UPDATE File SET Ghost=TRUE WHERE File='ghosted.txt'"));
    WriteFile(QStringLiteral("Docs/new.txt"));
    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(Count(QStringLiteral("File='gone-once.txt'")), 2);
    EXPECT_EQ(Count(QStringLiteral("File='ghosted.txt'")), 2);
    EXPECT_EQ(Count(QStringLiteral("File='new.txt'")), 1);
    EXPECT_EQ(Count(QStringLiteral("CatalogueId=1")), 8);
}

TEST_P(AddFilesTest, OnAMediumThatIgnoresCaseANameInAnotherCaseIsCatalogued)
{
    SetVolume(QStringLiteral("vfat"));
    WriteFile(QStringLiteral("photo.jpg"));
    WriteFile(QStringLiteral("other.jpg"));
    m_db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) "
                                "VALUES (1, 0, 100, 'PHOTO.JPG', 0, 0)"));
    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(Count(QStringLiteral("CatalogueId=1")), 2);
    EXPECT_EQ(Count(QStringLiteral("File='other.jpg'")), 1);
    EXPECT_EQ(Count(QStringLiteral("StrComp(File, 'photo.jpg', 0)=0")), 0);
}

TEST_P(AddFilesTest, MissingMediumOrLocationAddsNothing)
{
    WriteFile(QStringLiteral("a.txt"));
    AddCatalogue(2, QStringLiteral("Elsewhere"), 0x0BADF00D, QStringLiteral("Fixed"));
    m_catalogueId = 2;
    // Nothing done is not a success.
    EXPECT_EQ(AddFiles(), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(Rows().back().m_status, TaskStatusMediaNotFound);
    EXPECT_EQ(Rows().size(), 1u);

    // The volume is there but the location is not.
    m_db.Execute(QStringLiteral("UPDATE Catalogue SET VolumeSerial=?, Location=? WHERE CatalogueId=2"),
                 {CDbValue(qint32(kSerial)), CDbValue(m_strMedia + "/no such folder")});
    EXPECT_EQ(AddFiles(), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(Rows().back().m_status, TaskStatusMediaNotFound);
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
}

TEST_P(AddFilesTest, AnotherConnectionSeesEachFolderOnceItIsDone)
{
    for (int i = 0; i < 3; ++i)
        WriteFile(QStringLiteral("first/%1.txt").arg(i));
    for (int i = 0; i < 4; ++i)
        WriteFile(QStringLiteral("second/%1.txt").arg(i));

    // Hold the task after its first folder group, then look from a second connection.
    std::vector<qint32> seen;
    m_notifier.onGroupEnded = [&] {
        CDbDatabase reader;
        reader.Open(m_strDatabase);
        CDbStatement st = reader.Prepare(QStringLiteral("SELECT Count(*) FROM File"));
        seen.push_back(st.Step() ? st.Value(0).ToLong() : -1);
    };
    std::thread worker([&] {
        m_request.m_strCommandLine = QStringLiteral("-Database=\"%1\" -CatalogueID=1 -AddFiles").arg(m_strDatabase);
        m_request.m_line = SynchCommandLine::Parse(m_request.m_strCommandLine);
        CMwuTaskManagerAddFiles manager(m_request, m_context);
        manager.SetGroupCommitInterval(0);
        EXPECT_EQ(manager.Manage(), 0);
    });
    worker.join();
    // Groups: the location (no files), then the two folders in the order the directory gives.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], 0);
    EXPECT_TRUE((seen[1] == 3 && seen[2] == 7) || (seen[1] == 4 && seen[2] == 7));
}

TEST_P(AddFilesTest, AFolderLargerThanABatchGetsEveryFileOnceWithItsOwnColumns)
{
    // More than one batch in one folder, many rows per statement, and a rest that is no multiple
    // of anything: a binding off by one row or column would show here.
    constexpr int kFiles = CMwuTaskManagerAddFiles::kBatchRows + 345;
    for (int i = 0; i < kFiles; ++i)
        WriteFile(QStringLiteral("Many/f%1.b%2").arg(i).arg(i % 7), QByteArray(i % 50, 'x'));
    WriteFile(QStringLiteral("z.txt"));
    EXPECT_EQ(AddFiles(), 0);

    CDbStatement st = m_db.PrepareSqlite(QStringLiteral(
        "SELECT File, FileSize, FileSizeDouble, Extension, FileId FROM File WHERE CatalogueId=1 ORDER BY FileId"));
    QSet<QString> names;
    qint32 expectedId = 0;
    while (st.Step())
    {
        const QString name = st.Value(0).ToString();
        names.insert(name);
        EXPECT_EQ(st.Value(4).ToLong(), ++expectedId) << "FileIds follow one another";
        if (name == QStringLiteral("z.txt"))
            continue;
        const int i = name.mid(1, name.indexOf(QLatin1Char('.')) - 1).toInt();
        ASSERT_EQ(st.Value(1).ToLong(), i % 50) << name.toStdString();
        ASSERT_EQ(st.Value(2).ToDouble(), double(i % 50)) << name.toStdString();
        ASSERT_EQ(st.Value(3).ToString(), QStringLiteral("b%1").arg(i % 7)) << name.toStdString();
    }
    EXPECT_EQ(names.size(), kFiles + 1);
    EXPECT_EQ(expectedId, kFiles + 1);
    CDbStatement counter = m_db.PrepareSqlite(QStringLiteral("SELECT IndexId FROM IndexId WHERE \"Index\"='File_FileId'"));
    ASSERT_TRUE(counter.Step());
    EXPECT_EQ(counter.Value(0).ToLong(), kFiles + 1) << "the counter is past every FileId handed out";
}

namespace
{
// The rows of a query as text, fields joined by "|", Null as "<null>".
QStringList RowsOf(CDbDatabase& db, const QString& sql)
{
    CDbStatement st = db.Prepare(sql);
    QStringList rows;
    while (st.Step())
    {
        QStringList fields;
        for (int i = 0; i < st.ColumnCount(); ++i)
        {
            // Yes/No reads as a number from a file and as a truth value from a server.
            const CDbValue value = st.Value(i);
            if (value.IsNull())
                fields << QStringLiteral("<null>");
            else if (value.GetType() == CDbValue::Type::Bool)
                fields << QString::number(value.ToBool() ? 1 : 0);
            else if (value.GetType() == CDbValue::Type::Double)
                fields << QString::number(value.ToDouble(), 'g', 17);
            else
                fields << value.ToString();
        }
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

QString ReadErrorLog()
{
    QFile file(ErrorLogPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

qint32 FileIdCounter(CDbDatabase& db)
{
    CDbStatement st = db.Prepare(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='File_FileId'"));
    return st.Step() ? st.Value(0).ToLong() : -1;
}
} // namespace

TEST_P(AddFilesTest, NamesWithTabsLineEndsAndBackslashesAreCataloguedAsTheyAre)
{
    // What a server's bulk load reads as its own field and row marks, in file and folder names.
    const QStringList names = {QStringLiteral("tab\there.txt"),
                               QStringLiteral("line\nbreak.txt"),
                               QStringLiteral("cr\r"),
                               QStringLiteral("back\\slash\\"),
                               QStringLiteral("\\N"),
                               QStringLiteral("\\."),
                               QStringLiteral("it's \"q\" 100%_*[x].txt")};
    QSet<QString> expected;
    for (const QString& name : names)
    {
        WriteFile(name);
        WriteFile(QStringLiteral("we\tird\nfolder/") + name);
        // A backslash in a name is held as its escape, the separator of relative paths being one.
        const QString held = NativeName::FromBytes(name.toUtf8());
        expected << held << QStringLiteral("we\tird\nfolder\\") + held;
    }
    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(CataloguedFiles(), expected);
    EXPECT_EQ(Count(QStringLiteral("Extension='txt'")), 6);
}

TEST_P(AddFilesTest, ABatchWhoseRowBreaksAKeyKeepsNoneOfItsRowsAndIsLoggedWithItsNumber)
{
    for (int i = 0; i < 5; ++i)
        WriteFile(QStringLiteral("f%1.txt").arg(i));
    // A record the FileId counter does not know of: the batch's third FileId is taken.
    const qint32 counter = FileIdCounter(m_db);
    m_db.Execute(QStringLiteral(
                     "INSERT INTO File (CatalogueId, FileId, File, RelativePathId, FileSize, FileSizeDouble) "
                     "VALUES (1, ?, 'elsewhere.txt', 0, 0, 0)"),
                 {CDbValue(counter + 3)});
    int questions = 0;
    m_ui.SetResponder(
        [&](const CScriptedInteraction::Message&)
        {
            ++questions;
            return std::optional<MsgAnswer>(MsgAnswer::Cancel);
        });

    EXPECT_NE(AddFiles(), 0);
    EXPECT_EQ(RowsOf(m_db, QStringLiteral("SELECT File FROM File")),
              QStringList{QStringLiteral("elsewhere.txt")});
    // On a file the counter is rolled back with the rows; a server hands a batch its FileIds
    // before the rows' transaction, and keeps them handed out.
    EXPECT_EQ(FileIdCounter(m_db), GetParam() == EEngine::Server ? std::max(counter, 0) + 5 : counter);
    EXPECT_EQ(questions, 1) << "one series of attempts, then the question";
    const QString log = ReadErrorLog();
    EXPECT_TRUE(log.contains(
        QStringLiteral("[Exception:0x%1]").arg(QString::number(DbErrors::kDuplicateKey, 16).toUpper())))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("CMwuTaskManagerAddFiles::ProcessGroupTaskCurrent()")))
        << log.toStdString();
}

TEST_P(AddFilesTest, ABatchThatMeetsALockIsWrittenWholeOnceTheLockIsGone)
{
    for (int i = 0; i < 40; ++i)
        WriteFile(QStringLiteral("a/%1.txt").arg(i));
    for (int i = 0; i < 30; ++i)
        WriteFile(QStringLiteral("b/%1.txt").arg(i));
    // A counter row for the other writer to lock (a new catalogue has none until its first file).
    if (FileIdCounter(m_db) < 0)
        m_db.Execute(QStringLiteral("INSERT INTO IndexId (IndexId, [Index]) VALUES (0, 'File_FileId')"));
    const qint32 counter = FileIdCounter(m_db);

    // Another writer takes the FileId counter (and on a file the database) once the first group
    // has ended, and lets go when the scan first waits to try again.
    CDbDatabase holder;
    holder.Open(m_strDatabase);
    std::optional<CDbTransaction> held;
    int waits = 0;
    m_context.wait = [&](std::chrono::milliseconds)
    {
        ++waits;
        held.reset();
    };
    m_notifier.onGroupEnded = [&]
    {
        if (held || waits > 0)
            return;
        held.emplace(holder);
        holder.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId WHERE [Index]='File_FileId'"));
    };
    m_request.m_strCommandLine =
        QStringLiteral("-Database=\"%1\" -CatalogueID=1 -AddFiles").arg(m_strDatabase);
    m_request.m_line = SynchCommandLine::Parse(m_request.m_strCommandLine);
    CMwuTaskManagerAddFiles manager(m_request, m_context);
    manager.SetGroupCommitInterval(0);
    EXPECT_EQ(manager.Manage(), 0);

    EXPECT_GE(waits, 1) << "the lock was met";
    EXPECT_FALSE(held.has_value());
    // Every file once, the FileIds one after another from the counter on, the counter at the last.
    CDbStatement st = m_db.Prepare(
        QStringLiteral("SELECT Count(*), Count(DISTINCT FileId), Min(FileId), Max(FileId) FROM File"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(0).ToLong(), 70);
    EXPECT_EQ(st.Value(1).ToLong(), 70);
    EXPECT_EQ(st.Value(2).ToLong(), counter + 1);
    EXPECT_EQ(st.Value(3).ToLong(), counter + 70);
    EXPECT_EQ(FileIdCounter(m_db), counter + 70);
    EXPECT_EQ(CataloguedFiles().size(), 70);
}

TEST_P(AddFilesTest, ABatchWhoseServerConnectionDiesIsWrittenAgainByTheTask)
{
    if (GetParam() != EEngine::Server)
        GTEST_SKIP() << "a catalogue file has no connection to lose";
    for (int i = 0; i < 2500; ++i)
        WriteFile(QStringLiteral("d%1/%2.txt").arg(i / 500).arg(i));
    // The first COPY into File ends the session that sends it, as a server restart or a network
    // fault would; a sequence, which no rollback takes back, makes it happen once only.
    m_db.ExecuteSqliteScript(QStringLiteral(
        "CREATE SEQUENCE qrl_test_end_once; "
        "CREATE FUNCTION qrl_test_end_session() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN "
        "IF nextval(''qrl_test_end_once'') = 1 THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF; "
        "RETURN NULL; END'; "
        "CREATE TRIGGER qrl_test_end_session BEFORE INSERT ON \"File\" "
        "FOR EACH STATEMENT EXECUTE FUNCTION qrl_test_end_session()"));
    m_request.m_strCommandLine =
        QStringLiteral("-Database=\"%1\" -CatalogueID=1 -AddFiles").arg(m_strDatabase);
    m_request.m_line = SynchCommandLine::Parse(m_request.m_strCommandLine);
    CMwuTaskManagerAddFiles manager(m_request, m_context);
    EXPECT_EQ(manager.Manage(), 0);

    CDbStatement ended = m_db.PrepareSqlite(QStringLiteral("SELECT last_value FROM qrl_test_end_once"));
    ASSERT_TRUE(ended.Step());
    EXPECT_GE(ended.Value(0).ToLong(), 2) << "the session was ended and the batch sent again";
    CDbStatement st =
        m_db.Prepare(QStringLiteral("SELECT Count(*), Count(DISTINCT FileId), Max(FileId) FROM File"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(0).ToLong(), 2500);
    EXPECT_EQ(st.Value(1).ToLong(), 2500);
    EXPECT_EQ(FileIdCounter(m_db), st.Value(2).ToLong());
    EXPECT_EQ(CataloguedFiles().size(), 2500);
}

namespace
{
class AddFilesOnTwoEngines : public SynchTaskFixture
{
protected:
    // Everything add-files writes, in the order it was written.
    static QStringList Written(CDbDatabase& db)
    {
        QStringList rows =
            RowsOf(db, QStringLiteral(
                           "SELECT File.FileId, RelativePath.RelativePath, File.File, File.RelativePathId, "
                           "FileSize, FileSizeHigh, FileSizeDouble, LastModified, Attributes, Extension, "
                           "[New], Deleted, Ghost, TTH, FileInfoId FROM File LEFT JOIN RelativePath ON "
                           "File.RelativePathId = RelativePath.RelativePathId ORDER BY File.FileId"));
        rows << RowsOf(db,
                       QStringLiteral("SELECT RelativePathId, RelativePath, KeepPriority FROM RelativePath "
                                      "ORDER BY RelativePathId"));
        rows << RowsOf(
            db, QStringLiteral("SELECT IndexId.Index, IndexId.IndexId FROM IndexId WHERE IndexId.Index "
                               "IN ('File_FileId', 'RelativePath_RelativePathId') ORDER BY IndexId.Index"));
        rows << RowsOf(db, QStringLiteral("SELECT FileId, Identity FROM FileIdentity ORDER BY FileId"));
        return rows;
    }

    int AddFilesInto(const QString& database)
    {
        m_strDatabase = database;
        return Run<CMwuTaskManagerAddFiles>(QStringLiteral("-AddFiles"));
    }
};
} // namespace

TEST_F(AddFilesOnTwoEngines, AServerCatalogueGetsTheRowsAFileGets)
{
    QString address;
    QUARRANE_NEW_SERVER_CATALOGUE(address);
    const QString file = m_strDatabase;
    CDbDatabase server;
    server.Open(address);
    server.Execute(
        QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                       "Location, DriveType, LocalMachine, UserName) VALUES (0, 1, 'Media', 'DATA', ?, ?, "
                       "'Fixed', 'host', 'ann')"),
        {CDbValue(qint32(kSerial)), CDbValue(m_strMedia)});
    // Awkward names, nested folders, a folder of more than one batch and two names of one file.
    for (const char* name : {"top.txt", "B/one.txt", "B/C/two.TXT", "B/c/Two.txt", "Z/a b's \"q\" %;*.txt",
                             "Z/Ünïcødé.txt", "Z/tab\tand\\back", "Z/[x]_y"})
        WriteFile(QString::fromUtf8(name));
    ASSERT_TRUE(QDir().mkpath(m_strMedia + "/E"));
    for (int i = 0; i < CMwuTaskManagerAddFiles::kBatchRows + 50; ++i)
        WriteFile(QStringLiteral("Many/m%1.d%2").arg(i).arg(i % 3), QByteArray(i % 13, 'x'));
    ASSERT_EQ(::link(QFile::encodeName(m_strMedia + "/top.txt").constData(),
                     QFile::encodeName(m_strMedia + "/B/top-again.txt").constData()),
              0);
    EXPECT_EQ(AddFilesInto(file), 0);
    EXPECT_EQ(AddFilesInto(address), 0);

    // A second run over catalogued folders: new files in old and new folders, a record marked
    // deleted and one made a ghost (neither is alive: both files are added again).
    for (const char* name : {"B/C/three.txt", "Many/late.txt", "New/first.txt", "top2.txt"})
        WriteFile(QString::fromUtf8(name));
    for (CDbDatabase* db : {&m_db, &server})
    {
        db->Execute(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE File='one.txt'"));
        db->Execute(QStringLiteral("UPDATE File SET Ghost=TRUE WHERE File='m7.d1'"));
    }
    EXPECT_EQ(AddFilesInto(file), 0);
    EXPECT_EQ(AddFilesInto(address), 0);

    const QStringList onFile = Written(m_db);
    EXPECT_GT(onFile.size(), CMwuTaskManagerAddFiles::kBatchRows + 60);
    EXPECT_EQ(Written(server), onFile);
    EXPECT_EQ(RowsOf(server, QStringLiteral("SELECT Count(*) FROM File WHERE File IN ('one.txt', 'm7.d1')")),
              QStringList{QStringLiteral("4")});
}
