#include "ProcessEnvironment.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/NativeName.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
using PathSet = std::set<QString>;

// The real synchronizer on a real tree of what a Linux disk holds, checked against find, rhash and
// jdupes run on the same tree. Paths are compared as the catalogue's text ("folder/name").
class LinuxMediumTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strDatabase = m_dir.filePath(QStringLiteral("Media.qrl"));
        m_strMedia = m_dir.filePath(QStringLiteral("media"));
        ASSERT_TRUE(WriteTemplateDatabase(m_strDatabase));
        ASSERT_TRUE(QDir().mkpath(m_strMedia));
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
            m_dir.filePath(QStringLiteral("volumes")),
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))}));
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, 1, 'Media', 'DATA', ?, ?, 'Fixed')"),
            {CDbValue(qint32(0x1234ABCD)), CDbValue(m_strMedia)});
    }

    // Runs a bash script in the medium (its $'...' quoting writes any byte into a name).
    QByteArray Shell(const QString& script, const QStringList& prefix = {})
    {
        QProcess shell;
        shell.setWorkingDirectory(m_strMedia);
        QStringList arguments = prefix;
        arguments << QStringLiteral("bash") << QStringLiteral("-euc") << script;
        shell.start(arguments.takeFirst(), arguments);
        EXPECT_TRUE(shell.waitForFinished(60000));
        EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
        return shell.readAllStandardOutput();
    }

    struct Run
    {
        int exitCode = -1;
        QByteArray stderrText;
    };
    Run RunSynchronizer(const QStringList& options, const QStringList& prefix = {},
                        const QProcessEnvironment& environment = {})
    {
        QProcess synch;
        synch.setProcessEnvironment(environment.isEmpty() ? IsolatedProcessEnvironment(m_dir) : environment);
        synch.setWorkingDirectory(m_dir.path());
        QStringList arguments = prefix;
        arguments << QStringLiteral(QUARRANESYNCH_PATH) << QStringLiteral("-Database=%1").arg(m_strDatabase)
                  << QStringLiteral("-CatalogueID=1") << options << QStringLiteral("-Unattended")
                  << QStringLiteral("-Quit");
        synch.start(arguments.takeFirst(), arguments);
        EXPECT_TRUE(synch.waitForFinished(ScaledTimeout(100000)));
        EXPECT_EQ(synch.exitStatus(), QProcess::NormalExit);
        return {synch.exitCode(), synch.readAllStandardError()};
    }

    // The medium's paths of a NUL-separated listing, as the catalogue writes them.
    static PathSet PathsOf(const QByteArray& listing)
    {
        PathSet paths;
        for (const QByteArray& path : listing.split('\0'))
            if (!path.isEmpty())
                paths.insert(NativeName::FromBytes(path));
        return paths;
    }

    // find's regular files, dot files and dot folders aside.
    PathSet FoundFiles(const QStringList& prefix = {})
    {
        return PathsOf(Shell(
            QStringLiteral("find . -name '.*' ! -name . -prune -o -type f -printf '%P\\0' || true"), prefix));
    }

    struct Record
    {
        qint32 fileId;
        qint64 size;
        double sizeDouble;
        QString tth;
        qint32 similarityId;
        QString identity;
        bool deleted;
    };
    // Every record by its path ("folder/name"); with live only, deleted ones left out.
    std::multimap<QString, Record> Records(bool liveOnly = true)
    {
        std::multimap<QString, Record> records;
        CDbDatabase db;
        db.Open(m_strDatabase);
        const bool identities =
            db.PrepareSqlite(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'FileIdentity'"))
                .Step();
        CDbStatement st = db.PrepareSqlite(
            QStringLiteral(
                "SELECT r.RelativePath, f.File, f.FileId, f.FileSize, f.FileSizeHigh, f.FileSizeDouble, "
                "f.TTH, f.SimilarityId, %1, f.Deleted FROM File f LEFT JOIN RelativePath r ON "
                "r.RelativePathId = f.RelativePathId %2 WHERE f.Ghost = 0")
                .arg(identities ? QStringLiteral("i.Identity") : QStringLiteral("NULL"),
                     identities ? QStringLiteral("LEFT JOIN FileIdentity i ON i.FileId = f.FileId")
                                : QString()));
        while (st.Step())
        {
            if (liveOnly && st.Value(9).ToBool())
                continue;
            const QString folder = CatalogueFilePath(QString(), st.Value(0).ToString());
            const QString path =
                folder.isEmpty() ? st.Value(1).ToString() : folder + '/' + st.Value(1).ToString();
            const qint64 size = (qint64(quint32(st.Value(4).ToLong())) << 32) | quint32(st.Value(3).ToLong());
            records.insert({path,
                            {st.Value(2).ToLong(), size, st.Value(5).ToDouble(), st.Value(6).ToString(),
                             st.Value(7).ToLong(), st.Value(8).IsNull() ? QString() : st.Value(8).ToString(),
                             st.Value(9).ToBool()}});
        }
        return records;
    }

    // Qt's own removal cannot name files whose names are not UTF-8.
    void TearDown() override
    {
        QProcess::execute(QStringLiteral("rm"),
                          {QStringLiteral("-rf"), m_strMedia, m_dir.filePath(QStringLiteral("data"))});
    }

    QTemporaryDir m_dir;
    QString m_strDatabase;
    QString m_strMedia;
};

// What a Linux disk holds besides plain files: links, a pipe, hard links, names that are not UTF-8,
// a folder whose name holds a backslash beside the real folder that name would mean.
const char* const kAwkwardTree = R"(
mkdir -p sub hard other 'x\y' x/y deep .dotdir
printf 'seventy thousand' > sub/b.bin; cp sub/b.bin sub/copy.bin
ln -s sub/b.bin link-to-b; ln -s sub linkdir; ln -s nowhere dangling
mkfifo pipe
printf 'linked twice' > hard/one; ln hard/one hard/two; cp hard/one hard/three
printf 'alone but twice' > hard/solo; ln hard/solo hard/solo2
printf 'latin one' > $'caf\xe9.txt'; printf 'latin one' > $'other/\xff\xfe'
printf 'inside the backslash' > 'x\y/in.txt'; printf 'inside the real one' > x/y/in.txt
printf 'escape block' > $'\xef\x9d\x9c name'
: > empty1; : > other/empty2
printf never > .dotfile; printf never > .dotdir/never.txt
)";
} // namespace

TEST_F(LinuxMediumTest, CatalogueMatchesFindRhashAndJdupes)
{
    Shell(QString::fromLatin1(kAwkwardTree));
    const Run run = RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH")});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText.toStdString();

    // Regular files only, each once: no link, no pipe, and x\y/in.txt apart from x/y/in.txt.
    const auto records = Records();
    PathSet catalogued;
    for (const auto& [path, record] : records)
        EXPECT_TRUE(catalogued.insert(path).second) << "two live records: " << path.toStdString();
    const PathSet found = FoundFiles();
    EXPECT_EQ(found.size(), 14u);
    EXPECT_EQ(catalogued, found);
    EXPECT_EQ(records.count(NativeName::FromBytes("x\\y/in.txt")), 1u);
    EXPECT_EQ(records.count(QStringLiteral("x/y/in.txt")), 1u);

    // Every TTH as rhash computes it from the file's own bytes (read from stdin: rhash takes a
    // backslash in a path for a separator).
    const QByteArray hashes = Shell(QStringLiteral(
        "find . -name '.*' ! -name . -prune -o -type f -exec sh -c "
        "'for f; do printf \"%s\\t%s\\0\" \"$(rhash -p \"%{tth}\" - < \"$f\")\" \"${f#./}\"; done' _ {} +"));
    int hashed = 0;
    for (const QByteArray& line : hashes.split('\0'))
    {
        if (line.isEmpty())
            continue;
        const QString path = NativeName::FromBytes(line.mid(line.indexOf('\t') + 1));
        const auto record = records.find(path);
        ASSERT_NE(record, records.end()) << path.toStdString();
        EXPECT_EQ(record->second.tth, QString::fromLatin1(line.left(line.indexOf('\t'))).toUpper())
            << path.toStdString();
        ++hashed;
    }
    EXPECT_EQ(hashed, 14);

    // Duplicate groups: equal TTH and size, held by at least two physical files; the names of one
    // inode are one file, as jdupes (without -H) counts them.
    std::map<std::pair<qint64, QString>, std::vector<std::pair<QString, QString>>> byContents;
    for (const auto& [path, record] : records)
        byContents[{record.size, record.tth}].push_back(
            {path, record.identity.isEmpty() ? QString::number(record.fileId) : record.identity});
    std::set<PathSet> ours;
    for (const auto& [key, members] : byContents)
    {
        std::set<QString> physical;
        PathSet group;
        for (const auto& [path, identity] : members)
        {
            physical.insert(identity);
            group.insert(path);
        }
        if (physical.size() > 1)
            ours.insert(group);
    }
    std::set<PathSet> theirs;
    PathSet block;
    // One path a line, a blank line after each group.
    for (const QByteArray& line : Shell(QStringLiteral("jdupes -r -z -q .")).split('\n'))
    {
        // jdupes also reads dot files, which catalogues leave out.
        if (line.startsWith("./."))
            continue;
        if (!line.isEmpty())
            block.insert(NativeName::FromBytes(line.startsWith("./") ? line.mid(2) : line));
        else if (block.size() > 1)
            theirs.insert(std::exchange(block, {}));
        else
            block.clear();
    }
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(ours.size(), 4u) << "b/copy, one/two/three, the latin pair, the empty pair, and nothing else";

    // The two names of hard/one are one file; hard/three is a copy of it.
    EXPECT_FALSE(records.find(QStringLiteral("hard/one"))->second.identity.isEmpty());
    EXPECT_EQ(records.find(QStringLiteral("hard/one"))->second.identity,
              records.find(QStringLiteral("hard/two"))->second.identity);
    EXPECT_TRUE(records.find(QStringLiteral("hard/three"))->second.identity.isEmpty());
}

// A file that grew after it was hashed is stored with the size it was hashed at, so that a copy
// of it made later is found as its duplicate.
TEST_F(LinuxMediumTest, AGrownFileKeepsTheSizeItWasHashedAt)
{
    Shell(QStringLiteral("printf 'first lines\\n' > grows.log; printf other > other.txt"));
    ASSERT_EQ(RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH")}).exitCode, 0);
    Shell(
        QStringLiteral("printf 'many more lines, and more\\n' >> grows.log; touch -d '+1 minute' grows.log; "
                       "cp -p grows.log copy.log"));
    ASSERT_EQ(RunSynchronizer(
                  {QStringLiteral("-AddFiles"), QStringLiteral("-MarkDeleted"), QStringLiteral("-UpdateTTH")})
                  .exitCode,
              0);

    const auto records = Records();
    const Record& grown = records.find(QStringLiteral("grows.log"))->second;
    const Record& copy = records.find(QStringLiteral("copy.log"))->second;
    const qint64 size = QFileInfo(m_strMedia + QStringLiteral("/grows.log")).size();
    EXPECT_EQ(size, 38);
    EXPECT_EQ(grown.size, size);
    EXPECT_EQ(grown.sizeDouble, double(size));
    EXPECT_EQ(grown.tth, copy.tth);
    EXPECT_NE(grown.similarityId, 0);
    EXPECT_EQ(grown.similarityId, copy.similarityId);
}

// Names that are not UTF-8, or hold a backslash, are files like any other: hashed, moved, sent to
// the trash and marked deleted, always under their own bytes.
TEST_F(LinuxMediumTest, OddNamesAreHashedMovedTrashedAndMarkedDeleted)
{
    Shell(QStringLiteral("mkdir -p $'dir\\\\with' moved; printf latin > $'caf\\xe9.txt'; "
                         "printf slash > $'dir\\\\with/a\\\\b'"));
    ASSERT_EQ(RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH")}).exitCode, 0);
    const QString latin = NativeName::FromBytes("caf\xE9.txt");
    const QString slashed = NativeName::FromBytes("dir\\with/a\\b");
    auto records = Records();
    ASSERT_EQ(records.count(latin), 1u);
    ASSERT_EQ(records.count(slashed), 1u);
    EXPECT_EQ(records.find(latin)->second.tth,
              QString::fromLatin1(Shell(QStringLiteral("rhash -p '%{tth}' $'caf\\xe9.txt'"))).toUpper());
    EXPECT_FALSE(records.find(slashed)->second.tth.isEmpty());

    // Moved by the program's own primitive, from the path the catalogue's texts make.
    CDbDatabase db;
    db.Open(m_strDatabase);
    CDbStatement where =
        db.PrepareSqlite(QStringLiteral("SELECT r.RelativePath, f.File FROM File f JOIN RelativePath r ON "
                                        "r.RelativePathId = f.RelativePathId "
                                        "WHERE f.RelativePathId <> 0"));
    ASSERT_TRUE(where.Step());
    const QString source =
        CatalogueFilePath(m_strMedia, where.Value(0).ToString(), where.Value(1).ToString());
    QString problem;
    EXPECT_EQ(MoveFileTo(source, m_strMedia + QStringLiteral("/moved"), 1, &problem, nullptr), 0)
        << problem.toStdString();
    EXPECT_EQ(Shell(QStringLiteral("ls moved | od -An -c | tr -d ' \\n'")), QByteArray("a\\b\\n"));
    // And the other one goes to the trash (one of this test's own), whose record keeps its bytes.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
    EXPECT_EQ(RemoveFile(CatalogueFilePath(m_strMedia, QString(), latin), &problem, nullptr), 0)
        << problem.toStdString();
    qputenv("XDG_DATA_HOME", dataHome);
    EXPECT_EQ(Shell(QStringLiteral("grep -h '^Path=' ../data/Trash/info/*")),
              QByteArray("Path=") + QFile::encodeName(m_strMedia).toPercentEncoding("/") + "/caf%E9.txt\n");
    struct stat gone = {};
    EXPECT_NE(::lstat((m_strMedia + QStringLiteral("/caf")).toUtf8() + "\xE9.txt", &gone), 0);

    const Run run = RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-MarkDeleted")});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText.toStdString();
    records = Records(false);
    ASSERT_EQ(records.count(latin), 1u);
    EXPECT_TRUE(records.find(latin)->second.deleted);
    ASSERT_EQ(records.count(slashed), 1u);
    EXPECT_TRUE(records.find(slashed)->second.deleted);
    const QString arrived = NativeName::FromBytes("moved/a\\b");
    ASSERT_EQ(records.count(arrived), 1u);
    EXPECT_FALSE(records.find(arrived)->second.deleted);
}

// Folders that cannot be catalogued are named and left out; the rest of the medium is catalogued
// and the result says that something was skipped. Each case runs on a tree of its own.
TEST_F(LinuxMediumTest, FoldersLeftOutAreNamedAndTheRestCatalogued)
{
    const QString longName = QString(120, QLatin1Char('n'));
    Shell(QStringLiteral("mkdir -p secret/inner %1/%1/%1; printf a > a.txt; printf b > secret/b.txt; "
                         "printf c > secret/inner/c.txt; printf d > %1/%1/%1/d.txt; printf e > %1/e.txt")
              .arg(longName));
    // An older database: its folder column still holds 255 characters, and cannot be changed in
    // place; the folder 3 x 120 characters deep does not fit.
    QProcess sqlite;
    sqlite.start(
        QStringLiteral("sqlite3"),
        {m_strDatabase, QStringLiteral("PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql = "
                                       "replace(sql, '<= 4095', '<= 255') WHERE name = 'RelativePath';")});
    ASSERT_TRUE(sqlite.waitForFinished(10000));
    ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();

    // Run by somebody who may not read "secret" (root reads everything).
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the synchronizer as nobody";
    Shell(QStringLiteral("chmod -R a+rwX %1; chmod 700 secret; printf p > private.txt; chmod 600 private.txt")
              .arg(m_dir.path()));
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0777), 0);
    QProcessEnvironment env = IsolatedProcessEnvironment(m_dir);
    for (const char* name : {"HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        env.insert(QString::fromLatin1(name), m_dir.filePath(QString::fromLatin1(name).toLower()));
    const QStringList nobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                             QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")};
    const Run run = RunSynchronizer({QStringLiteral("-AddFiles")}, nobody, env);
    EXPECT_EQ(run.exitCode, 3) << run.stderrText.toStdString();
    const QString text = QString::fromUtf8(run.stderrText);
    EXPECT_TRUE(
        text.contains(QStringLiteral("Unable to read folder: ") + m_strMedia + QStringLiteral("/secret\n")))
        << text.toStdString();
    const QString tooLong = m_strMedia + QStringLiteral("/%1/%1/%1").arg(longName);
    EXPECT_TRUE(text.contains(QStringLiteral("Folder path too long for the catalogue: ") + tooLong + '\n'))
        << text.toStdString();
    // A file that cannot be read is a worse result than a folder left out; both are named.
    const Run hashing =
        RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH")}, nobody, env);
    EXPECT_EQ(hashing.exitCode, 30) << hashing.stderrText.toStdString();
    const QString hashingText = QString::fromUtf8(hashing.stderrText);
    EXPECT_TRUE(hashingText.contains(QStringLiteral("Error reading from file: ") + m_strMedia +
                                     QStringLiteral("/private.txt\n")))
        << hashingText.toStdString();
    EXPECT_TRUE(hashingText.contains(QStringLiteral("Unable to read folder: ") + m_strMedia +
                                     QStringLiteral("/secret\n")));

    PathSet catalogued;
    for (const auto& [path, record] : Records())
        catalogued.insert(path);
    const PathSet expected{QStringLiteral("a.txt"), QStringLiteral("private.txt"),
                           longName + QStringLiteral("/e.txt")};
    EXPECT_EQ(catalogued, expected);
    // find run as the same person lists the same files, less the folder too deep for the column.
    PathSet found = FoundFiles(nobody);
    found.erase(QStringLiteral("%1/%1/%1/d.txt").arg(longName));
    EXPECT_EQ(catalogued, found);
}

// Removing duplicates while hashing: a second name of one file is not a duplicate to remove, a
// real copy is.
TEST_F(LinuxMediumTest, UpdateTTHRemovesCopiesButNeverASecondNameOfOneFile)
{
    Shell(QStringLiteral("mkdir a b; printf 'one file, two names' > a/name1; ln a/name1 b/name2; "
                         "printf 'two real copies' > a/copy1; cp a/copy1 b/copy2"));
    const Run run = RunSynchronizer(
        {QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH"), QStringLiteral("-DeleteDuplicates")});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText.toStdString();

    // The folders are hashed in the order the directory lists them: either copy may be the second.
    const auto records = Records(false);
    EXPECT_FALSE(records.find(QStringLiteral("a/name1"))->second.deleted);
    EXPECT_FALSE(records.find(QStringLiteral("b/name2"))->second.deleted);
    const bool firstGone = records.find(QStringLiteral("a/copy1"))->second.deleted;
    EXPECT_NE(firstGone, records.find(QStringLiteral("b/copy2"))->second.deleted);
    EXPECT_EQ(FoundFiles(), PathSet({QStringLiteral("a/name1"), QStringLiteral("b/name2"),
                                     firstGone ? QStringLiteral("b/copy2") : QStringLiteral("a/copy1")}));
    EXPECT_EQ(records.find(QStringLiteral("a/name1"))->second.similarityId,
              records.find(QStringLiteral("b/name2"))->second.similarityId)
        << "still linked as the same contents";
}
