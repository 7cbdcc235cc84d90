#include "SynchTaskFixture.h"

#include "synch/MwuAlternateFile.h"
#include "synch/MwuTaskManagerAddFiles.h"
#include "synch/MwuTaskManagerMarkDeleted.h"

#include <sys/stat.h>

namespace
{
class MarkDeletedTest : public SynchTaskOnBothEngines
{
protected:
    int AddFiles() { return Run<CMwuTaskManagerAddFiles>(QStringLiteral("-AddFiles")); }
    int MarkDeleted() { return Run<CMwuTaskManagerMarkDeleted>(QStringLiteral("-MarkDeleted")); }
};
} // namespace

QUARRANE_ON_BOTH_ENGINES(MarkDeletedTest);

TEST_P(MarkDeletedTest, AFolderThatCannotBeListedMarksNothing)
{
    WriteFile(QStringLiteral("Docs/a.txt"));
    WriteFile(QStringLiteral("Docs/b.txt"));
    WriteFile(QStringLiteral("Other/c.txt"));
    ASSERT_EQ(AddFiles(), 0);
    // Docs becomes a plain file: the folder is there in name but cannot be listed.
    ASSERT_TRUE(QDir(m_strMedia + "/Docs").removeRecursively());
    WriteFile(QStringLiteral("Docs"));
    QFile::remove(m_strMedia + "/Other/c.txt");
    EXPECT_EQ(MarkDeleted(), CMwuTaskManager::ResultSkipped);
    EXPECT_EQ(Count(QStringLiteral("Deleted=TRUE")), 1);
    EXPECT_EQ(Count(QStringLiteral("Deleted=TRUE AND File='c.txt'")), 1);
}

// Records an older version made for what is not a regular file, or a name that is no longer one:
// the name holds no file of the catalogue any more.
TEST_P(MarkDeletedTest, ANameThatNoLongerHoldsARegularFileIsMarkedDeleted)
{
    WriteFile(QStringLiteral("target.txt"), "t");
    ASSERT_TRUE(QFile::link(m_strMedia + "/target.txt", m_strMedia + "/link.txt"));
    ASSERT_TRUE(QFile::link(m_strMedia + "/nowhere", m_strMedia + "/dangling"));
    ASSERT_TRUE(QDir().mkpath(m_strMedia + "/now a folder"));
    ASSERT_EQ(mkfifo(QFile::encodeName(m_strMedia + "/pipe").constData(), 0644), 0);
    const struct
    {
        const char* name;
        bool deleted;
    } cases[] = {{"target.txt", false},
                 {"link.txt", true},
                 {"dangling", true},
                 {"now a folder", true},
                 {"pipe", true}};
    qint32 id = 0;
    for (const auto& c : cases)
        m_db.Execute(QStringLiteral(
                         "INSERT INTO File (CatalogueId, RelativePathId, FileId, File) VALUES (1, 0, ?, ?)"),
                     {CDbValue(++id), CDbValue(QString::fromLatin1(c.name))});
    EXPECT_EQ(MarkDeleted(), 0);
    for (const auto& c : cases)
        EXPECT_EQ(Count(QStringLiteral("Deleted=TRUE AND File='%1'").arg(QString::fromLatin1(c.name))),
                  c.deleted ? 1 : 0)
            << c.name;
    // And add-files brings back none of them but the regular file, which is still catalogued.
    EXPECT_EQ(AddFiles(), 0);
    EXPECT_EQ(Count(QStringLiteral("Deleted=FALSE")), 1);
}

TEST_P(MarkDeletedTest, AMediumThatGoesAwayDuringTheRunMarksNothingMore)
{
    for (const char* file : {"A/1.txt", "B/2.txt", "C/3.txt"})
        WriteFile(QString::fromLatin1(file));
    ASSERT_EQ(AddFiles(), 0);
    // After the first folder the medium is unplugged: its mount point stays, empty.
    m_notifier.groupsEnded = 0;
    m_notifier.onGroupEnded = [&] {
        if (m_notifier.groupsEnded != 1)
            return;
        m_volumes.SetEntries({});
        ASSERT_TRUE(QDir().rename(m_strMedia, m_strMedia + "-away"));
        ASSERT_TRUE(QDir().mkpath(m_strMedia));
    };
    // Stopped half-way: not a success.
    EXPECT_EQ(MarkDeleted(), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(Count(QStringLiteral("Deleted=TRUE")), 0);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 9u); // add files: top and four folders; mark deleted: top and three
    EXPECT_EQ(rows[5].m_status, TaskStatusCancelled);
    EXPECT_EQ(rows[6].m_status, TaskStatusCompleted);
    EXPECT_EQ(rows[7].m_status, TaskStatusCancelled);
    EXPECT_EQ(rows[8].m_status, TaskStatusCancelled);
}

TEST(AlternateFileTest, InsertionRule)
{
    struct Case
    {
        const char* list;
        const char* own;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"", "a.txt", "b.txt", "b.txt;  "},
        {"b.txt;  ", "x", "A.txt", "A.txt;  b.txt;  "},
        {"A.txt;  b.txt;  ", "x", "c.txt", "A.txt;  b.txt;  c.txt;  "},
        {"A.txt;  c.txt;  ", "x", "B.TXT", "A.txt;  B.TXT;  c.txt;  "},
        {"b.txt;  ", "x", "B.TXT", "b.txt;  "},          // already an entry, in another case
        {"", "Own.txt", "own.TXT", ""},                  // the record's own name
        {"abc.txt;  ", "x", "ab", "ab;  abc.txt;  "},    // a prefix of an entry is a name of its own
        {"ab;  ", "x", "abc.txt", "ab;  abc.txt;  "},
        {"it's;  x\"y;  ", "z", "a;b %*", "a;b %*;  it's;  x\"y;  "},
    };
    for (const Case& c : cases)
    {
        QString list = QString::fromUtf8(c.list);
        const bool changed = MwuAlternateFile::Insert(list, QString::fromUtf8(c.own), QString::fromUtf8(c.name));
        EXPECT_EQ(list, QString::fromUtf8(c.expected)) << c.list << " + " << c.name;
        EXPECT_EQ(changed, QString::fromUtf8(c.list) != list);
    }

    // Never 65531 characters or more.
    QString full;
    for (int i = 0; full.size() < MwuAlternateFile::kLimit - 40; ++i)
        MwuAlternateFile::Insert(full, QStringLiteral("own"), QStringLiteral("file%1.bin").arg(i, 6, 10, QLatin1Char('0')));
    for (int i = 0; i < 100; ++i)
        MwuAlternateFile::Insert(full, QStringLiteral("own"), QStringLiteral("zz%1").arg(i));
    EXPECT_LT(full.size(), MwuAlternateFile::kLimit);
    EXPECT_GE(full.size(), MwuAlternateFile::kLimit - 15) << "filled up to the limit";
}
