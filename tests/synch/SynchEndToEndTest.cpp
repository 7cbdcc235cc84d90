#include "ProcessEnvironment.h"
#include "ServerCatalogue.h"
#include "common/NameList.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"
#include "synch/MwuAlternateFile.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace
{
// The real synchronizer on a generated medium, its rows checked against find and rhash; the
// catalogue is a file, or lives on the test run's PostgreSQL server (-Database= takes its address).
class SynchEndToEndTest : public ::testing::TestWithParam<EEngine>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strMedia = m_dir.filePath(QStringLiteral("media"));
        if (GetParam() == EEngine::Server)
        {
            QUARRANE_NEW_SERVER_CATALOGUE(m_strDatabase);
        }
        else
        {
            m_strDatabase = m_dir.filePath(QStringLiteral("Media.qrl"));
            ASSERT_TRUE(WriteTemplateDatabase(m_strDatabase));
        }
        ASSERT_TRUE(QDir().mkpath(m_strMedia));
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
            m_dir.filePath(QStringLiteral("volumes")),
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))}));
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                                  "Location, DriveType) VALUES (0, 1, 'Media', 'DATA', ?, ?, 'Fixed')"),
                   {CDbValue(qint32(0x1234ABCD)), CDbValue(m_strMedia)});
    }

    void Write(const QString& relative, const QByteArray& contents)
    {
        const QString path = m_strMedia + QLatin1Char('/') + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(contents), contents.size());
    }

    int RunSynchronizer(const QStringList& options)
    {
        QProcess synch;
        synch.setProcessEnvironment(IsolatedProcessEnvironment(m_dir));
        synch.setWorkingDirectory(m_dir.path());
        QStringList arguments{QStringLiteral("-Database=%1").arg(m_strDatabase), QStringLiteral("-CatalogueID=1")};
        arguments << options << QStringLiteral("-Unattended") << QStringLiteral("-Quit");
        synch.start(QStringLiteral(QUARRANESYNCH_PATH), arguments);
        EXPECT_TRUE(synch.waitForFinished(ScaledTimeout(100000)));
        EXPECT_EQ(synch.exitStatus(), QProcess::NormalExit) << synch.readAllStandardError().toStdString();
        return synch.exitCode();
    }

    QTemporaryDir m_dir;
    QString m_strDatabase;
    QString m_strMedia;
};

struct Row
{
    qint32 fileId;
    QString name;
    qint64 size;
    qint32 low;
    qint32 high;
    double sizeDouble;
    QString tth;
    qint32 similarityId;
    QString alternates;
};
} // namespace

QUARRANE_ON_BOTH_ENGINES(SynchEndToEndTest);

TEST_P(SynchEndToEndTest, AddFilesAndUpdateTTHOnAGeneratedMedium)
{
    const QByteArray shared(70000, 'x');      // three copies under different names and folders
    const QByteArray quoted("quoted twins");  // two copies with awkward names
    Write(QStringLiteral("top.txt"), "top");
    Write(QStringLiteral("empty at the top"), {});
    Write(QStringLiteral("Nested/Deeper/deepest.bin"), shared);
    Write(QStringLiteral("Nested/copy of deepest.bin"), shared);
    Write(QString::fromUtf8("Ünïcødé/naïve – файл.txt"), shared);
    Write(QString::fromUtf8("Quotes/it's \"q\" %;*.txt"), quoted);
    Write(QString::fromUtf8("Quotes/folder 'a' \"b\" %;*/z.txt"), quoted);
    Write(QStringLiteral("Case/Readme.txt"), "upper");
    Write(QStringLiteral("Case/README.txt"), "lower");
    Write(QStringLiteral("Case/empty too"), {});
    Write(QStringLiteral(".dotfile"), "never");
    Write(QStringLiteral(".dotdir/inside.txt"), "never");
    Write(QStringLiteral("Nested/.hidden.txt"), "never");
    ASSERT_TRUE(QDir().mkpath(m_strMedia + "/Nested/Empty Folder"));
    ASSERT_TRUE(QDir().mkpath(m_strMedia + "/Another/Empty"));
    Write(QStringLiteral("Big/five.bin"), {});
    ASSERT_TRUE(QFile::resize(m_strMedia + "/Big/five.bin", qint64(5) << 30)); // sparse

    // rhash reads the big file while the synchronizer does: each takes a while.
    QProcess bigHash;
    bigHash.start(QStringLiteral("rhash"),
                  {QStringLiteral("-p"), QStringLiteral("%{tth}"), m_strMedia + "/Big/five.bin"});
    EXPECT_EQ(RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH")}), 0);
    ASSERT_TRUE(bigHash.waitForFinished(ScaledTimeout(240000)));
    const QString bigTth = QString::fromLatin1(bigHash.readAllStandardOutput()).trimmed().toUpper();

    // The independent listing: find for names and sizes, rhash for the TTH.
    std::map<QString, qint64> expectedSizes;
    {
        QProcess find;
        find.start(QStringLiteral("find"), {m_strMedia, QStringLiteral("-name"), QStringLiteral(".*"),
                                             QStringLiteral("-prune"), QStringLiteral("-o"), QStringLiteral("-type"),
                                             QStringLiteral("f"), QStringLiteral("-printf"), QStringLiteral("%P\\t%s\\n")});
        ASSERT_TRUE(find.waitForFinished(10000));
        for (const QString& line : QString::fromUtf8(find.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            expectedSizes[line.section('\t', 0, 0)] = line.section('\t', 1).toLongLong();
    }
    ASSERT_EQ(expectedSizes.size(), 11u);

    std::map<QString, Row> rows;
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        CDbStatement st = db.Prepare(QStringLiteral(
            "SELECT RelativePath.RelativePath, File.File, File.FileId, File.FileSize, File.FileSizeHigh, "
            "File.FileSizeDouble, File.TTH, File.SimilarityId, File.AlternateFile FROM RelativePath RIGHT JOIN File "
            "ON RelativePath.RelativePathId = File.RelativePathId WHERE File.Deleted=FALSE AND File.Ghost=FALSE"));
        while (st.Step())
        {
            QString folder = st.Value(0).ToString().replace('\\', '/');
            const QString path = folder.isEmpty() ? st.Value(1).ToString() : folder + '/' + st.Value(1).ToString();
            Row row{st.Value(2).ToLong(), st.Value(1).ToString(), 0, st.Value(3).ToLong(), st.Value(4).ToLong(),
                    st.Value(5).ToDouble(), st.Value(6).ToString(), st.Value(7).ToLong(), st.Value(8).ToString()};
            row.size = (qint64(quint32(row.high)) << 32) | quint32(row.low);
            EXPECT_TRUE(rows.emplace(path, row).second) << "one live row per file: " << path.toStdString();
        }
    }
    std::set<QString> listed;
    std::set<QString> catalogued;
    for (const auto& [path, size] : expectedSizes)
        listed.insert(path);
    for (const auto& [path, row] : rows)
        catalogued.insert(path);
    ASSERT_EQ(catalogued, listed);

    const Row& big = rows.at(QStringLiteral("Big/five.bin"));
    EXPECT_EQ(big.high, 1);
    EXPECT_EQ(big.low, 1073741824);
    EXPECT_EQ(big.sizeDouble, 5368709120.0);

    std::map<std::pair<qint64, QString>, std::vector<const Row*>> groups;
    for (const auto& [path, row] : rows)
    {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(row.size, expectedSizes.at(path));
        EXPECT_EQ(row.sizeDouble, double(row.size));
        if (path == QLatin1String("Big/five.bin"))
        {
            EXPECT_EQ(row.tth, bigTth);
        }
        else
        {
            QProcess rhash;
            rhash.start(QStringLiteral("rhash"),
                        {QStringLiteral("-p"), QStringLiteral("%{tth}"), m_strMedia + '/' + path});
            ASSERT_TRUE(rhash.waitForFinished(ScaledTimeout(60000)));
            EXPECT_EQ(row.tth, QString::fromLatin1(rhash.readAllStandardOutput()).trimmed().toUpper());
        }
        groups[{row.size, row.tth}].push_back(&row);
    }

    // SimilarityId groups are the groups of equal size and TTH (empty files never linked), and each
    // record's AlternateFile lists the other names of its group by the insertion rule.
    std::set<qint32> similarityIds;
    for (const auto& [key, members] : groups)
    {
        const bool linked = members.size() > 1 && key.first > 0;
        for (const Row* row : members)
        {
            SCOPED_TRACE(row->name.toStdString());
            if (!linked)
            {
                EXPECT_EQ(row->similarityId, 0);
                EXPECT_TRUE(row->alternates.isEmpty());
                continue;
            }
            EXPECT_EQ(row->similarityId, members.front()->similarityId);
            EXPECT_NE(row->similarityId, 0);
            QString expected;
            for (const Row* other : members)
                if (other != row)
                    MwuAlternateFile::Insert(expected, row->name, other->name);
            EXPECT_EQ(row->alternates, expected);
        }
        if (linked)
        {
            EXPECT_TRUE(similarityIds.insert(members.front()->similarityId).second) << "one id per group";
        }
    }
    EXPECT_EQ(similarityIds.size(), 2u);

    // Running both tasks again changes nothing.
    EXPECT_EQ(RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-MarkDeleted"), QStringLiteral("-UpdateTTH")}),
              0);
    CDbDatabase db;
    db.Open(m_strDatabase);
    CDbStatement count = db.Prepare(QStringLiteral("SELECT Count(*), Sum(Deleted) FROM File"));
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.Value(0).ToLong(), 11);
    EXPECT_EQ(count.Value(1).ToLong(), 0);
}

// Killed in the middle of a scan, the synchronizer loses at most its last uncommitted batch; the
// next run adds what is missing, and nothing twice.
TEST_P(SynchEndToEndTest, AScanKilledHalfwayIsCompletedByTheNextRun)
{
    constexpr int kFolders = 200;
    constexpr int kFilesPerFolder = 100;
    for (int f = 0; f < kFolders; ++f)
    {
        const QString folder = m_strMedia + QStringLiteral("/d%1").arg(f);
        ASSERT_TRUE(QDir().mkpath(folder));
        for (int i = 0; i < kFilesPerFolder; ++i)
        {
            QFile file(folder + QStringLiteral("/f%1.bin").arg(i));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::number(f * kFilesPerFolder + i));
        }
    }
    auto count = [&](const char* sql) {
        CDbDatabase db;
        db.Open(m_strDatabase);
        CDbStatement st = db.Prepare(QString::fromLatin1(sql));
        return st.Step() ? st.Value(0).ToLong() : -1;
    };

    QProcess synch;
    synch.setProcessEnvironment(IsolatedProcessEnvironment(m_dir));
    synch.start(QStringLiteral(QUARRANESYNCH_PATH),
                {QStringLiteral("-Database=%1").arg(m_strDatabase), QStringLiteral("-CatalogueID=1"),
                 QStringLiteral("-AddFiles"), QStringLiteral("-Unattended")});
    ASSERT_TRUE(synch.waitForStarted());
    // Killed once the first rows are in, whatever it was doing then.
    for (int i = 0; i < 2000 && count("SELECT Count(*) FROM File") <= 0; ++i)
        QThread::msleep(5);
    synch.kill();
    synch.waitForFinished();
    const qint32 before = count("SELECT Count(*) FROM File");
    EXPECT_GT(before, 0);
    EXPECT_LT(before, kFolders * kFilesPerFolder) << "the scan ended before it could be killed";

    EXPECT_EQ(RunSynchronizer({QStringLiteral("-AddFiles")}), 0);
    EXPECT_EQ(count("SELECT Count(*) FROM File"), kFolders * kFilesPerFolder);
    EXPECT_EQ(count("SELECT Count(*) FROM (SELECT DISTINCT RelativePathId, File FROM File)"), kFolders * kFilesPerFolder)
        << "nothing catalogued twice";
    EXPECT_EQ(count("SELECT Count(*) FROM RelativePath WHERE RelativePathId<>0"), kFolders);
    // The identifier counters never fall behind the identifiers in use.
    EXPECT_GE(count("SELECT IndexId FROM IndexId WHERE [Index]='File_FileId'"), count("SELECT Max(FileId) FROM File"));
    EXPECT_GE(count("SELECT IndexId FROM IndexId WHERE [Index]='RelativePath_RelativePathId'"),
              count("SELECT Max(RelativePathId) FROM RelativePath"));
}

// The medium is not mounted: every task of the request finds nothing to do and changes nothing.
TEST_P(SynchEndToEndTest, WithoutItsMediumACatalogueIsLeftAsItWas)
{
    Write(QStringLiteral("a.txt"), "a");
    EXPECT_EQ(RunSynchronizer({QStringLiteral("-AddFiles")}), 0);
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
        m_dir.filePath(QStringLiteral("volumes")),
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x0BADF00D, QStringLiteral("OTHER"))}));
    QFile::remove(m_strMedia + QStringLiteral("/a.txt"));
    Write(QStringLiteral("b.txt"), "b");
    // Nothing was done, and the exit status says so: folder not found.
    EXPECT_EQ(RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-MarkDeleted"),
                               QStringLiteral("-UpdateTTH")}),
              2);

    CDbDatabase db;
    db.Open(m_strDatabase);
    CDbStatement rows = db.Prepare(QStringLiteral("SELECT File, Deleted, TTH FROM File ORDER BY File"));
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Value(0).ToString(), QStringLiteral("a.txt"));
    EXPECT_FALSE(rows.Value(1).ToBool()) << "not marked deleted while its medium is away";
    EXPECT_TRUE(rows.Value(2).IsNull());
    EXPECT_FALSE(rows.Step()) << "nothing added from a folder that is not the medium";
}

// A file name that holds the list separator itself: every re-hash leaves the lists as they were,
// one entry per other name.
TEST_P(SynchEndToEndTest, ANameHoldingTheListSeparatorSurvivesReHashes)
{
    const QByteArray same("the same contents");
    const QString awkward = QStringLiteral("first;  second.txt");
    Write(awkward, same);
    Write(QStringLiteral("plain.txt"), same);
    Write(QStringLiteral("Other/third;  .txt"), same);

    const auto alternates = [&]
    {
        std::map<QString, QString> lists;
        CDbDatabase db;
        db.Open(m_strDatabase);
        CDbStatement st = db.Prepare(QStringLiteral("SELECT File, AlternateFile FROM File"));
        while (st.Step())
            lists[st.Value(0).ToString()] = st.Value(1).ToString();
        return lists;
    };
    const QString listedAwkward = MwuAlternateFile::ListedName(awkward);
    const QString listedThird = MwuAlternateFile::ListedName(QStringLiteral("third;  .txt"));
    EXPECT_EQ(listedAwkward, QString::fromUtf8("first;\u00A0 second.txt"));

    ASSERT_EQ(RunSynchronizer({QStringLiteral("-AddFiles"), QStringLiteral("-UpdateTTH")}), 0);
    const std::map<QString, QString> first = alternates();
    ASSERT_EQ(first.size(), 3u);
    // Each list names the two others once, in the listed form that never splits.
    for (const auto& [name, list] : first)
    {
        EXPECT_EQ(NameList::Count(list), 2) << name.toStdString() << ": " << list.toStdString();
        EXPECT_FALSE(MwuAlternateFile::Contains(list, name)) << "never its own name";
    }
    EXPECT_EQ(first.at(QStringLiteral("plain.txt")),
              listedAwkward + QStringLiteral(";  ") + listedThird + QStringLiteral(";  "));
    EXPECT_TRUE(MwuAlternateFile::Contains(first.at(awkward), QStringLiteral("plain.txt")));

    for (int rehash = 1; rehash <= 3; ++rehash)
    {
        ASSERT_EQ(RunSynchronizer({QStringLiteral("-UpdateTTH"), QStringLiteral("-ForceUpdateTTH")}), 0);
        EXPECT_EQ(alternates(), first) << "re-hash " << rehash;
    }
}

// Names a Linux folder holds apart but the server's case-insensitive collation takes for each
// other (canonically equivalent, differing in an ignorable or a compatibility character) or for
// no text at all: each is one file of its own on both engines, and stays so when scanned again.
TEST_P(SynchEndToEndTest, NamesTheServerCollationTakesForEachOtherAreFilesOfTheirOwn)
{
    const QStringList names = {QString::fromUtf8("\u200B"),
                               QStringLiteral("ab.txt"),
                               QString::fromUtf8("a\u200Bb.txt"),
                               QString::fromUtf8("\uFF21\uFF22.txt"),
                               QString::fromUtf8("caf\u00E9.txt"),
                               QString::fromUtf8("cafe\u0301.txt"),
                               QString::fromUtf8("stra\u00DFe.txt"),
                               QStringLiteral("strasse.txt"),
                               QString::fromUtf8("\u200C/inside.txt"),
                               QString::fromUtf8("\u00AD\x01")};
    for (const QString& name : names)
        Write(name, name.toUtf8());

    const auto catalogued = [&]
    {
        std::multiset<std::string> paths;
        CDbDatabase db;
        db.Open(m_strDatabase);
        CDbStatement st = db.Prepare(
            QStringLiteral("SELECT RelativePath.RelativePath, File.File FROM RelativePath RIGHT JOIN File ON "
                           "RelativePath.RelativePathId = File.RelativePathId WHERE File.Deleted=FALSE"));
        while (st.Step())
        {
            const QString folder = st.Value(0).ToString().replace('\\', '/');
            paths.insert((folder.isEmpty() ? st.Value(1).ToString() : folder + '/' + st.Value(1).ToString())
                             .toStdString());
        }
        return paths;
    };
    std::multiset<std::string> expected;
    for (const QString& name : names)
        expected.insert(name.toStdString());
    ASSERT_EQ(RunSynchronizer({QStringLiteral("-AddFiles")}), 0);
    EXPECT_EQ(catalogued(), expected);
    ASSERT_EQ(RunSynchronizer({QStringLiteral("-AddFiles")}), 0);
    EXPECT_EQ(catalogued(), expected) << "scanned again";
}
