#include "SynchTaskFixture.h"

#include "hash/TthHashService.h"
#include "synch/MwuTaskManagerAddFiles.h"
#include "synch/MwuTaskManagerChecksum.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

namespace
{
class ChecksumTest : public SynchTaskOnBothEngines
{
protected:
    void SetUp() override
    {
        SynchTaskOnBothEngines::SetUp();
        // Removed copies go to a trash inside the test's folder.
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("xdg")).toUtf8());
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_oldDataHome);
        SynchTaskOnBothEngines::TearDown();
    }

    int AddFiles() { return Run<CMwuTaskManagerAddFiles>(QStringLiteral("-AddFiles")); }
    int UpdateTTH(const QString& options = {})
    {
        return Run<CMwuTaskManagerChecksum>(QStringLiteral("-UpdateTTH ") + options, m_hash);
    }

    // The peer's answer: rhash --tth, upper-cased.
    static QString RhashTth(const QString& path)
    {
        QProcess rhash;
        rhash.start(QStringLiteral("rhash"), {QStringLiteral("-p"), QStringLiteral("%{tth}"), path});
        EXPECT_TRUE(rhash.waitForFinished(60000));
        return QString::fromLatin1(rhash.readAllStandardOutput()).trimmed().toUpper();
    }

    CDbStatement Record(const QString& name)
    {
        CDbStatement st = m_db.Prepare(QStringLiteral("SELECT FileId, TTH, LastModified, SimilarityId, "
                                                      "FileInfoId, AlternateFile, Deleted, Ghost FROM File "
                                                      "WHERE File=? AND StrComp(File, ?, 0)=0"));
        st.Bind(1, name).Bind(2, name);
        EXPECT_TRUE(st.Step()) << name.toStdString();
        return st;
    }
    QString TthOf(const QString& name) { return Record(name).Value(1).ToString(); }
    qint32 SimilarityOf(const QString& name) { return Record(name).Value(3).ToLong(); }
    QString AlternatesOf(const QString& name) { return Record(name).Value(5).ToString(); }

    bool InTrash(const QString& name)
    {
        QDirIterator it(m_dir.path(), {name}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (it.next().contains(QStringLiteral("Trash")))
                return true;
        return false;
    }

    CTthHashService m_hash{1};
    QByteArray m_oldDataHome;
};

const QString kFakeTth = QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
} // namespace

QUARRANE_ON_BOTH_ENGINES(ChecksumTest);

TEST_P(ChecksumTest, WhenAFileIsHashedAgain)
{
    WriteFile(QStringLiteral("a.bin"), "contents of a");
    ASSERT_EQ(AddFiles(), 0);
    const QString real = RhashTth(m_strMedia + "/a.bin");
    ASSERT_EQ(real.size(), 39);

    // Each case starts from a record holding a made-up TTH, with the stored time equal to the
    // file's or not, and tells whether the task replaces the TTH.
    struct Case
    {
        const char* options;
        bool timeChanged;
        bool hashed;
    };
    const Case cases[] = {
        {"", false, false},
        {"", true, true},
        {"-ForceUpdateTTH", false, true},
        {"-NoModifiedUpdateTTH", true, false},
        {"-NoModifiedUpdateTTH -ForceUpdateTTH", true, true},
    };
    const QString stored = Record(QStringLiteral("a.bin")).Value(2).ToString();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.options);
        m_db.Execute(QStringLiteral("UPDATE File SET TTH=?, LastModified=?"),
                     {CDbValue(kFakeTth), CDbValue(c.timeChanged ? QStringLiteral("2001-01-01 00:00:00") : stored)});
        EXPECT_EQ(UpdateTTH(QString::fromLatin1(c.options)), 0);
        EXPECT_EQ(TthOf(QStringLiteral("a.bin")), c.hashed ? real : kFakeTth);
        EXPECT_EQ(Record(QStringLiteral("a.bin")).Value(2).ToString(),
                  c.hashed ? stored : (c.timeChanged ? QStringLiteral("2001-01-01 00:00:00") : stored));
    }
    // Without a TTH a file is hashed whatever the options say.
    m_db.Execute(QStringLiteral("UPDATE File SET TTH=NULL"));
    EXPECT_EQ(UpdateTTH(QStringLiteral("-NoModifiedUpdateTTH")), 0);
    EXPECT_EQ(TthOf(QStringLiteral("a.bin")), real);
}

TEST_P(ChecksumTest, CopiesAreLinkedEmptyFilesNever)
{
    WriteFile(QStringLiteral("x/first.bin"), "same contents");
    WriteFile(QStringLiteral("y/second copy.bin"), "same contents");
    WriteFile(QStringLiteral("y/Third.bin"), "same contents");
    WriteFile(QStringLiteral("y/other.bin"), "other contents");
    WriteFile(QStringLiteral("x/empty1"));
    WriteFile(QStringLiteral("y/empty2"));
    ASSERT_EQ(AddFiles(), 0);
    ASSERT_EQ(UpdateTTH(), 0);

    const QString tth = RhashTth(m_strMedia + "/x/first.bin");
    for (const char* name : {"first.bin", "second copy.bin", "Third.bin"})
        EXPECT_EQ(TthOf(QString::fromUtf8(name)), tth) << name;
    const qint32 similarity = SimilarityOf(QStringLiteral("first.bin"));
    EXPECT_GT(similarity, 0);
    EXPECT_EQ(SimilarityOf(QStringLiteral("second copy.bin")), similarity);
    EXPECT_EQ(SimilarityOf(QStringLiteral("Third.bin")), similarity);
    EXPECT_EQ(SimilarityOf(QStringLiteral("other.bin")), 0);
    EXPECT_EQ(AlternatesOf(QStringLiteral("first.bin")), QStringLiteral("second copy.bin;  Third.bin;  "));
    EXPECT_EQ(AlternatesOf(QStringLiteral("second copy.bin")), QStringLiteral("first.bin;  Third.bin;  "));
    EXPECT_EQ(AlternatesOf(QStringLiteral("Third.bin")), QStringLiteral("first.bin;  second copy.bin;  "));
    EXPECT_TRUE(Record(QStringLiteral("other.bin")).Value(5).IsNull());

    // Empty files have the empty file's TTH and are nobody's copies.
    EXPECT_EQ(TthOf(QStringLiteral("empty1")), QStringLiteral("LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ"));
    EXPECT_EQ(TthOf(QStringLiteral("empty2")), TthOf(QStringLiteral("empty1")));
    EXPECT_EQ(SimilarityOf(QStringLiteral("empty1")), 0);
    EXPECT_TRUE(Record(QStringLiteral("empty2")).Value(5).IsNull());

    // Re-hashing everything adds no name twice and keeps the group.
    ASSERT_EQ(UpdateTTH(QStringLiteral("-ForceUpdateTTH")), 0);
    EXPECT_EQ(AlternatesOf(QStringLiteral("first.bin")), QStringLiteral("second copy.bin;  Third.bin;  "));
    EXPECT_EQ(SimilarityOf(QStringLiteral("Third.bin")), similarity);
}

TEST_P(ChecksumTest, AFileInfoTakenOverOnlyWithoutAnErrorNote)
{
    WriteFile(QStringLiteral("new1.bin"), "described contents");
    WriteFile(QStringLiteral("new2.bin"), "noted contents");
    ASSERT_EQ(AddFiles(), 0);
    // Catalogued elsewhere before: one copy with a description, one whose FileInfo carries an
    // error note.
    AddCatalogue(2, QStringLiteral("Old"), 0x0BADF00D, QStringLiteral("Fixed"));
    m_db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (70, 'described')"));
    m_db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Notes, ContainsError) VALUES (71, 'bad', TRUE)"));
    const QString tth1 = RhashTth(m_strMedia + "/new1.bin");
    const QString tth2 = RhashTth(m_strMedia + "/new2.bin");
    m_db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, FileInfoId, File, FileSize, "
                                "FileSizeDouble, TTH) VALUES (2, 0, 900, 70, 'old1.bin', 18, 18, ?), "
                                "(2, 0, 901, 71, 'old2.bin', 14, 14, ?)"),
                 {CDbValue(tth1), CDbValue(tth2)});
    ASSERT_EQ(UpdateTTH(), 0);
    EXPECT_EQ(Record(QStringLiteral("new1.bin")).Value(4).ToLong(), 70);
    EXPECT_TRUE(Record(QStringLiteral("new2.bin")).Value(4).IsNull()) << "an error note is not taken over";
    EXPECT_GT(SimilarityOf(QStringLiteral("new2.bin")), 0) << "but the copies are linked";
    EXPECT_EQ(SimilarityOf(QStringLiteral("old2.bin")), SimilarityOf(QStringLiteral("new2.bin")));
    EXPECT_EQ(AlternatesOf(QStringLiteral("old1.bin")), QStringLiteral("new1.bin;  "));
}

TEST_P(ChecksumTest, DuplicatesRemovedOnlyFromAFixedDiskAndOnlyWithALiveCopy)
{
    WriteFile(QStringLiteral("a/keep.bin"), "duplicate contents");
    WriteFile(QStringLiteral("b/copy.bin"), "duplicate contents");
    WriteFile(QStringLiteral("b/unique.bin"), "unique contents");
    ASSERT_EQ(AddFiles(), 0);

    // On a CD nothing is removed.
    m_db.Execute(QStringLiteral("UPDATE Catalogue SET DriveType='CD-ROM'"));
    ASSERT_EQ(UpdateTTH(QStringLiteral("-DeleteDuplicates")), 0);
    EXPECT_TRUE(QFile::exists(m_strMedia + "/b/copy.bin"));
    EXPECT_EQ(Count(QStringLiteral("Deleted=TRUE OR Ghost=TRUE")), 0);

    // On a fixed disk the second copy found goes to the trash and its record is marked deleted.
    m_db.Execute(QStringLiteral("UPDATE Catalogue SET DriveType='Fixed'"));
    m_db.Execute(QStringLiteral("UPDATE File SET TTH=NULL, SimilarityId=NULL, AlternateFile=NULL"));
    ASSERT_EQ(UpdateTTH(QStringLiteral("-DeleteDuplicates")), 0);
    EXPECT_TRUE(QFile::exists(m_strMedia + "/a/keep.bin"));
    EXPECT_TRUE(QFile::exists(m_strMedia + "/b/unique.bin"));
    EXPECT_FALSE(QFile::exists(m_strMedia + "/b/copy.bin"));
    EXPECT_TRUE(InTrash(QStringLiteral("copy.bin")));
    EXPECT_TRUE(Record(QStringLiteral("copy.bin")).Value(6).ToBool());
    EXPECT_FALSE(Record(QStringLiteral("keep.bin")).Value(6).ToBool());
    EXPECT_EQ(Count(QStringLiteral("Deleted=TRUE OR Ghost=TRUE")), 1);

    // Ghosting: the record stays live as a ghost.
    WriteFile(QStringLiteral("c/ghost me.bin"), "duplicate contents");
    ASSERT_EQ(AddFiles(), 0);
    ASSERT_EQ(UpdateTTH(QStringLiteral("-GhostDuplicates -DeleteDuplicates")), 0);
    EXPECT_FALSE(QFile::exists(m_strMedia + "/c/ghost me.bin"));
    EXPECT_TRUE(Record(QStringLiteral("ghost me.bin")).Value(7).ToBool());
    EXPECT_FALSE(Record(QStringLiteral("ghost me.bin")).Value(6).ToBool());

    // A copy whose only other record is deleted (its file gone) is the last one: it stays.
    m_db.Execute(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE File='keep.bin'"));
    ASSERT_TRUE(QFile::remove(m_strMedia + "/a/keep.bin"));
    WriteFile(QStringLiteral("d/last.bin"), "duplicate contents");
    ASSERT_EQ(AddFiles(), 0);
    ASSERT_EQ(UpdateTTH(QStringLiteral("-DeleteDuplicates")), 0);
    EXPECT_TRUE(QFile::exists(m_strMedia + "/d/last.bin"));
    EXPECT_GT(SimilarityOf(QStringLiteral("last.bin")), 0) << "still linked with the records of its copies";
}

TEST_P(ChecksumTest, ARecordWhoseFileIsNoLongerARegularFileKeepsItsValues)
{
    // A named pipe holds no contents: it is not catalogued, and a record an older version made for
    // it is not hashed (reading a pipe would wait for a writer, or fail).
    ASSERT_EQ(mkfifo(QFile::encodeName(m_strMedia + "/pipe").constData(), 0644), 0);
    WriteFile(QStringLiteral("fine.bin"), "fine");
    ASSERT_EQ(AddFiles(), 0);
    EXPECT_EQ(Count(QStringLiteral("File='pipe'")), 0);
    m_db.Execute(
        QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, TTH, LastModified) "
                       "VALUES (1, 0, 99, 'pipe', ?, '2001-01-01 00:00:00')"),
        {CDbValue(kFakeTth)});
    EXPECT_EQ(UpdateTTH(), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(UpdateTTH(QStringLiteral("-ForceUpdateTTH")), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(TthOf(QStringLiteral("pipe")), kFakeTth);
    EXPECT_EQ(Record(QStringLiteral("pipe")).Value(2).ToString(), QStringLiteral("2001-01-01 00:00:00"));
    EXPECT_EQ(Record(QStringLiteral("pipe")).Value(4).ToLong(), 0) << "no note: nothing was read";
    EXPECT_EQ(TthOf(QStringLiteral("fine.bin")), RhashTth(m_strMedia + "/fine.bin"));

    // A file gone since it was catalogued: result 2, the record untouched.
    ASSERT_TRUE(QFile::remove(m_strMedia + "/fine.bin"));
    m_db.Execute(QStringLiteral("UPDATE File SET TTH=NULL WHERE File='fine.bin'"));
    EXPECT_EQ(UpdateTTH(QStringLiteral("-ForceUpdateTTH")), CMwuTaskManager::ResultFileNotFound);
    EXPECT_TRUE(Record(QStringLiteral("fine.bin")).Value(1).IsNull());
}

TEST_P(ChecksumTest, ManyFilesHashedAheadOnTwoThreadsAreWrittenInTheirFoldersOrder)
{
    if (QStandardPaths::findExecutable(QStringLiteral("rhash")).isEmpty())
        GTEST_SKIP() << "rhash is not installed (scripts/install-deps installs it)";
    // More files than one batch holds, in three folders; copies of one contents in each folder,
    // a file gone since it was catalogued in the first folder and a pipe in the second, which the
    // walk leaves out.
    const int perFolder = CMwuTaskManagerChecksum::kBatchRows / 2 + 100;
    const QStringList folders = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    for (const QString& folder : folders)
        for (int i = 0; i < perFolder; ++i)
            WriteFile(QStringLiteral("%1/%1%2.bin").arg(folder).arg(i),
                      QByteArray::number(i) + folder.toLatin1() + QByteArray((i * 131) % 5000, 'z'));
    for (const QString& folder : folders)
        WriteFile(QStringLiteral("%1/copy-%1.bin").arg(folder), "the same contents in every folder");
    WriteFile(QStringLiteral("a/gone.bin"), "soon gone");
    ASSERT_EQ(mkfifo(QFile::encodeName(m_strMedia + "/b/pipe").constData(), 0644), 0);
    ASSERT_EQ(AddFiles(), 0);
    ASSERT_TRUE(QFile::remove(m_strMedia + "/a/gone.bin"));

    CTthHashService twoThreads(2);
    EXPECT_EQ((Run<CMwuTaskManagerChecksum>(QStringLiteral("-UpdateTTH"), twoThreads)),
              CMwuTaskManager::ResultFileNotFound)
        << "the first folder's missing file comes first";

    // Every readable file has the peer's TTH.
    // Regular files only: the peer would wait on the pipe for ever.
    QStringList regular{QStringLiteral("--tth")};
    QDirIterator it(m_strMedia, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        regular.append(it.next());
    QProcess rhash;
    rhash.start(QStringLiteral("rhash"), regular);
    ASSERT_TRUE(rhash.waitForFinished(60000));
    int compared = 0;
    for (const QString& line : QString::fromUtf8(rhash.readAllStandardOutput()).split(QLatin1Char('\n')))
    {
        if (line.size() < 41 || line.startsWith(QLatin1Char(';')))
            continue;
        const QString name = QFileInfo(line.mid(41)).fileName();
        EXPECT_EQ(TthOf(name), line.left(39).toUpper()) << name.toStdString();
        ++compared;
    }
    EXPECT_EQ(compared, 3 * perFolder + 3);
    EXPECT_EQ(Count(QStringLiteral("TTH IS NULL")), 1) << "the gone file";

    // The copies found each other although they were written in one transaction.
    const qint32 similarity = SimilarityOf(QStringLiteral("copy-a.bin"));
    EXPECT_GT(similarity, 0);
    EXPECT_EQ(SimilarityOf(QStringLiteral("copy-b.bin")), similarity);
    EXPECT_EQ(SimilarityOf(QStringLiteral("copy-c.bin")), similarity);
    EXPECT_EQ(AlternatesOf(QStringLiteral("copy-a.bin")), QStringLiteral("copy-b.bin;  copy-c.bin;  "));
    EXPECT_EQ(AlternatesOf(QStringLiteral("copy-c.bin")), QStringLiteral("copy-a.bin;  copy-b.bin;  "));
    EXPECT_EQ(Count(QStringLiteral("SimilarityId<>0")), 3) << [&]
    {
        std::string linked;
        CDbStatement st =
            m_db.Prepare(QStringLiteral("SELECT File, SimilarityId, TTH FROM File WHERE SimilarityId<>0"));
        while (st.Step())
            linked +=
                st.Value(0).ToString().toStdString() + " " + st.Value(2).ToString().toStdString() + "\n";
        return linked;
    }();

    // The progress counts every record once.
    const auto rows = Rows();
    qint32 current = 0;
    for (const CMwuTask& row : rows)
        if (row.m_kind == TaskKindUpdateTTH && row.m_position != TaskPositionTop)
            current += row.m_lProgressCurrent;
    EXPECT_EQ(current, 3 * perFolder + 4);
}

TEST_P(ChecksumTest, AFileChangedSinceItWasCataloguedIsStoredWithTheSizeAndTimeItWasHashedWith)
{
    WriteFile(QStringLiteral("grows.bin"), "short");
    WriteFile(QStringLiteral("twin.bin"), "short and then longer");
    ASSERT_EQ(AddFiles(), 0);
    {
        QFile grows(m_strMedia + "/grows.bin");
        ASSERT_TRUE(grows.open(QIODevice::Append));
        ASSERT_EQ(grows.write(" and then longer"), 16);
        grows.close();
        ASSERT_TRUE(grows.open(QIODevice::ReadWrite));
        ASSERT_TRUE(grows.setFileTime(QDateTime(QDate(2020, 2, 29), QTime(13, 14, 15)),
                                      QFileDevice::FileModificationTime));
    }
    ASSERT_EQ(UpdateTTH(), 0);

    CDbStatement sizes = m_db.Prepare(
        QStringLiteral("SELECT FileSize, FileSizeHigh, FileSizeDouble FROM File WHERE File='grows.bin'"));
    ASSERT_TRUE(sizes.Step());
    EXPECT_EQ(sizes.Value(0).ToLong(), 21);
    EXPECT_EQ(sizes.Value(1).ToLong(), 0);
    EXPECT_EQ(sizes.Value(2).ToDouble(), 21.0);
    EXPECT_EQ(Record(QStringLiteral("grows.bin")).Value(2).ToDateTime(),
              QDateTime(QDate(2020, 2, 29), QTime(13, 14, 15)));
    EXPECT_EQ(TthOf(QStringLiteral("grows.bin")), RhashTth(m_strMedia + "/grows.bin"));
    // With its new size it is the copy it now is.
    EXPECT_GT(SimilarityOf(QStringLiteral("grows.bin")), 0);
    EXPECT_EQ(SimilarityOf(QStringLiteral("twin.bin")), SimilarityOf(QStringLiteral("grows.bin")));
}
