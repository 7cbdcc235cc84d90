#include "DocumentFixture.h"

#include "browser/QueryOutput.h"
#include "browser/QueryViews.h"
#include "browser/RecordSetList.h"
#include "browser/SqlText.h"

#include "database/DbTransaction.h"
#include "database/FileIdentity.h"

#include <QSignalSpy>
#include <QTimer>

#include <optional>

namespace
{
struct Copy
{
    qint32 fileId;
    qint32 catalogueId;
    qint32 folderId;
    qint32 size;
    const char* tth; // nullptr for Null
    bool ghost;
    bool checked;
};
} // namespace

class DuplicateTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        // Catalogues: 1 "Alpha" fixed (priority 0), 2 "Beta" fixed (0), 3 "Disc" CD-ROM (0).
        Db().Execute(QStringLiteral(
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType, CatalogueKeepPriority) VALUES "
            "(0, 1, 'Alpha', 'Fixed', 0), (0, 2, 'Beta', 'Fixed', 0), (0, 3, 'Disc', 'CD-ROM', 0)"));
        Db().Execute(QStringLiteral("UPDATE RelativePath SET KeepPriority=0 WHERE RelativePathId=0"));
        Db().Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath, KeepPriority) VALUES "
                                    "(10, 'p0', 0), (11, 'p5', 5), (12, 'p2', 2)"));
    }
    void Add(const Copy& c)
    {
        Db().Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                    "FileSizeHigh, FileSizeDouble, TTH, Ghost) VALUES (?, ?, ?, ?, ?, 0, ?, ?, ?)"),
                     {CDbValue(c.catalogueId), CDbValue(c.folderId), CDbValue(c.fileId),
                      CDbValue(QStringLiteral("f%1").arg(c.fileId)), CDbValue(c.size), CDbValue(double(c.size)),
                      c.tth ? CDbValue(QString::fromLatin1(c.tth)) : CDbValue::Null(), CDbValue(c.ghost)});
        for (const char* user : {"ann", "bob"})
            Db().Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark, QueryMark) VALUES (?, ?, ?, TRUE)"),
                         {CDbValue(c.fileId), CDbValue(QString::fromLatin1(user)), CDbValue(c.checked)});
    }
    QList<qint32> Unchecked(const char* user)
    {
        QList<qint32> ids;
        CDbStatement st = Db().Prepare(QStringLiteral(
            "SELECT FileId FROM FileUserSelect WHERE [User]=? AND Mark=FALSE AND QueryMark=TRUE ORDER BY FileId"));
        st.Bind(1, QString::fromLatin1(user));
        while (st.Step())
            ids.append(st.Value(0).ToLong());
        return ids;
    }
};

TEST_F(DuplicateTest, OneCopyOfEveryFullyCheckedGroupSurvives)
{
    const Copy copies[] = {
        // CD-ROM beside a fixed disk: the CD-ROM copy is spared.
        {1, 1, 10, 100, "AAA", false, true}, {2, 3, 10, 100, "AAA", false, true},
        // A ghost beside a real file: the ghost is spared.
        {3, 1, 10, 200, "BBB", true, true}, {4, 2, 10, 200, "BBB", false, true},
        // Keep priorities 0, 5, 2 (folder priorities on fixed disks): the 5 is spared.
        {5, 1, 10, 300, "CCC", false, true}, {6, 1, 11, 300, "CCC", false, true}, {7, 1, 12, 300, "CCC", false, true},
        // Equal priorities: the copy whose catalogue sorts first (Alpha) is spared.
        {8, 2, 10, 400, "DDD", false, true}, {9, 1, 10, 400, "DDD", false, true},
        // One copy already unchecked: left alone.
        {10, 1, 10, 500, "EEE", false, true}, {11, 2, 10, 500, "EEE", false, false},
        // Both on CD-ROM: both spared.
        {12, 3, 10, 600, "FFF", false, true}, {13, 3, 11, 600, "FFF", false, true},
        // Same size, different TTH: two groups of one, each spared.
        {14, 1, 10, 700, "GGG", false, true}, {15, 2, 10, 700, "HHH", false, true},
        // No TTH: one group by size; the last group of the set.
        {16, 2, 10, 900, nullptr, false, true}, {17, 1, 10, 900, nullptr, false, true}, {18, 2, 11, 900, nullptr, false, true},
    };
    for (const Copy& c : copies)
        Add(c);
    const QList<qint32> bobBefore = Unchecked("bob");

    m_doc.Queries().UnmarkAtLeastOneDuplicate();
    EXPECT_EQ(Unchecked("ann"), QList<qint32>({2, 3, 6, 9, 11, 12, 13, 14, 15, 18}));
    EXPECT_EQ(Unchecked("bob"), bobBefore) << "another user's marks are untouched";
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM FileUserSelect WHERE QueryMark=FALSE")), 0);
}

// Names of one inode are one physical file: never each other's spare copy. Databases without the
// identity table (made before it existed) keep the old behaviour; the first test covers them.
TEST_F(DuplicateTest, HardLinksAreNeverEachOthersSpareCopy)
{
    const Copy copies[] = {
        // Two names of one file and nothing else: neither is a spare.
        {1, 1, 10, 100, "AAA", false, true},
        {2, 1, 11, 100, "AAA", false, true},
        // Two names of one file and a real copy: the kept file keeps both its names.
        {3, 1, 10, 200, "BBB", false, true},
        {4, 1, 11, 200, "BBB", false, true},
        {5, 2, 10, 200, "BBB", false, true},
        // The kept copy stands alone; the other file's two names may both go.
        {6, 1, 11, 300, "CCC", false, true},
        {7, 1, 10, 300, "CCC", false, true},
        {8, 2, 10, 300, "CCC", false, true},
        // A copy on a CD-ROM is kept: the fixed disk's file, with both its names, may go.
        {9, 1, 10, 400, "DDD", false, true},
        {10, 1, 12, 400, "DDD", false, true},
        {11, 3, 10, 400, "DDD", false, true},
    };
    for (const Copy& c : copies)
        Add(c);
    FileIdentity::EnsureTable(Db());
    for (const auto& [fileId, identity] : std::initializer_list<std::pair<qint32, const char*>>{
             {1, "8:1"}, {2, "8:1"}, {3, "8:2"}, {4, "8:2"}, {7, "8:3"}, {8, "8:3"}, {9, "8:4"}, {10, "8:4"}})
    {
        CDbStatement insert =
            Db().PrepareSqlite(QStringLiteral("INSERT INTO FileIdentity (FileId, Identity) VALUES (?, ?)"));
        insert.Bind(1, fileId).Bind(2, QString::fromLatin1(identity));
        insert.Execute();
    }

    m_doc.Queries().UnmarkAtLeastOneDuplicate();
    // 6 comes first in its group (folder p5 has the highest keep priority) and has no other name.
    EXPECT_EQ(Unchecked("ann"), QList<qint32>({1, 2, 3, 4, 6, 11}));
}

TEST(SqlText, SplitAndAddWhereAndOrderBy)
{
    const SqlParts parts = SplitSql(QStringLiteral("SELECT File.* FROM File INNER JOIN FileUserSelect ON x WHERE "
                                                   "(FileUserSelect.User=GetUserName()) ORDER BY File.File;"),
                                    QStringLiteral("O'Brien"));
    EXPECT_EQ(parts.from, QStringLiteral("FROM File INNER JOIN FileUserSelect ON x "));
    EXPECT_EQ(parts.where, QStringLiteral("WHERE (FileUserSelect.User='O''Brien') "));
    EXPECT_EQ(parts.orderBy, QStringLiteral("ORDER BY File.File;"));

    const SqlParts bare = SplitSql(QStringLiteral("SELECT * FROM File"), QStringLiteral("ann"));
    EXPECT_EQ(bare.from, QStringLiteral("FROM File"));
    EXPECT_TRUE(bare.where.isEmpty());
    EXPECT_TRUE(bare.orderBy.isEmpty());

    EXPECT_EQ(AddWhere(QString(), QStringLiteral("File.Deleted=False")), QStringLiteral("WHERE File.Deleted=False"));
    EXPECT_EQ(AddWhere(QStringLiteral("WHERE (A=1)"), QStringLiteral("WHERE  B=2")), QStringLiteral("WHERE B=2 AND (A=1)"));
    EXPECT_EQ(OrderByClause(QStringLiteral("select x from y order by File.File, File.FileSize"), QString()),
              QStringLiteral("order by File.File, File.FileSize"));
    EXPECT_EQ(StripTrailingSemicolon(QStringLiteral("SELECT 1;  ")), QStringLiteral("SELECT 1"));
    bool had = false;
    EXPECT_EQ(StripOrderBy(QStringLiteral("SELECT a FROM b Order By a"), &had), QStringLiteral("SELECT a FROM b"));
    EXPECT_TRUE(had);
    EXPECT_EQ(ReplaceOrderBy(QStringLiteral("SELECT a FROM b ORDER BY a; "), QStringLiteral("ORDER BY b DESC")),
              QStringLiteral("SELECT a FROM b ORDER BY b DESC"));
}

namespace
{
class CRecordingOutput final : public CQueryOutput
{
public:
    void Show(qint32 queryId, const QString& name, const QString& sql, const QString& grouping, int depth) override
    {
        shown.append({queryId, name, sql, grouping, depth});
    }
    struct Shown
    {
        qint32 queryId;
        QString name;
        QString sql;
        QString grouping;
        int depth;
    };
    QList<Shown> shown;
};
} // namespace

TEST_F(DuplicateTest, QueryScriptsRunTheirStepsAndShowTheirOutput)
{
    CRecordingOutput output;
    m_doc.Queries().SetQueryOutput(&output);
    // Two copies on fixed disks, one on a CD-ROM, a lone file, and bob's marks beside ann's.
    for (const Copy& c : {Copy{1, 1, 10, 100, "AAA", false, false}, Copy{2, 2, 10, 100, "AAA", false, false},
                          Copy{3, 3, 10, 100, "AAA", false, false}, Copy{4, 1, 10, 50, "ZZZ", false, false}})
        Add(c);
    Db().Execute(QStringLiteral("UPDATE FileUserSelect SET QueryMark=FALSE"));
    Db().Execute(QStringLiteral("UPDATE FileUserSelect SET Mark=TRUE WHERE [User]='bob'"));

    const qint32 all =
        m_doc.Queries().QueryIdFromName(QStringLiteral("check duplicates for deletion IN ALL catalogues"));
    ASSERT_EQ(all, 22);
    EXPECT_TRUE(m_doc.Queries().ExecuteQuery(all));
    auto checked = [&](const char* user) {
        QList<qint32> ids;
        CDbStatement st = Db().Prepare(QStringLiteral("SELECT FileId FROM FileUserSelect WHERE [User]=? AND Mark=TRUE ORDER BY FileId"));
        st.Bind(1, QString::fromLatin1(user));
        while (st.Step())
            ids.append(st.Value(0).ToLong());
        return ids;
    };
    // All but one copy: the CD-ROM copy is spared, Alpha and Beta are checked; bob is untouched.
    EXPECT_EQ(checked("ann"), QList<qint32>({1, 2}));
    EXPECT_EQ(checked("bob"), QList<qint32>({1, 2, 3, 4}));
    ASSERT_EQ(output.shown.size(), 1);
    EXPECT_EQ(output.shown[0].name, QStringLiteral("Check Duplicates For Deletion in All Catalogues"));
    EXPECT_TRUE(output.shown[0].sql.contains(QStringLiteral("SELECT")));
    EXPECT_EQ(m_ui.ProgressUpper(), 0) << "progress is cleared at the end";
    EXPECT_FALSE(m_ui.IsOperationRunning());

    // bob runs it too and gets his own marks; ann's stay.
    m_doc.SetUserName(QStringLiteral("bob"));
    EXPECT_TRUE(m_doc.Queries().ExecuteQuery(all));
    EXPECT_EQ(checked("bob"), QList<qint32>({1, 2}));
    EXPECT_EQ(checked("ann"), QList<qint32>({1, 2}));
    m_doc.SetUserName(QStringLiteral("ann"));

    // A script without entries still shows its output; one without output shows nothing; the
    // routine is found by its name before "(".
    Db().Execute(QStringLiteral("INSERT INTO Query (GroupId, QueryId, QueryName, OutputQuery, GroupingDepth) VALUES "
                                "(0, 900, 'Only Output', 'CheckedFiles', 0), (0, 901, 'No Output', NULL, 0)"));
    Db().Execute(QStringLiteral("INSERT INTO QueryEntry (QueryId, QueryEntry, EntryType, Query) VALUES "
                                "(901, 1, 2, 'CheckQueryMarkedFiles'), (901, 2, 3, 'UncheckOneDuplicateFile(All)'), "
                                "(901, 3, 1, 'ignored condition')"));
    ASSERT_EQ(output.shown.size(), 2) << "ann's run and bob's";
    EXPECT_TRUE(m_doc.Queries().ExecuteQuery(900));
    ASSERT_EQ(output.shown.size(), 3);
    EXPECT_EQ(output.shown[2].name, QStringLiteral("Only Output"));
    Db().Execute(QStringLiteral("UPDATE FileUserSelect SET Mark=TRUE WHERE [User]='ann'"));
    EXPECT_TRUE(m_doc.Queries().ExecuteQuery(901));
    EXPECT_EQ(output.shown.size(), 3);
    EXPECT_EQ(checked("ann"), QList<qint32>({1, 2, 4})) << "the CD-ROM copy spared again; the lone file is no duplicate";

    // As a job, off this thread: Esc while the first step waits for another program's lock ends
    // the run once that step is done. Nothing later runs, nothing is shown, status and progress
    // are reset.
    Db().Execute(QStringLiteral("UPDATE FileUserSelect SET Mark=FALSE WHERE [User]='ann'"));
    std::atomic<bool> escPressed{false};
    m_doc.Jobs().SetRetryWait(
        [&](std::chrono::milliseconds)
        {
            m_ui.SetOperationRunning(false);
            escPressed = true;
        });
    {
        CDbDatabase other;
        other.Open(m_strDatabase);
        std::optional<CDbTransaction> lock;
        lock.emplace(other);
        other.Execute(QStringLiteral("UPDATE [Group] SET [Group]=[Group]"));
        other.Execute(QStringLiteral("UPDATE FileUserSelect SET Mark=Mark"));
        QSignalSpy finished(&m_doc.Jobs(), &CJobRunner::jobFinished);
        ASSERT_TRUE(m_doc.Queries().StartQuery(all));
        EXPECT_FALSE(m_doc.Queries().StartQuery(all)) << "one job at a time";
        EXPECT_FALSE(m_doc.CanWrite());
        ASSERT_TRUE(QTest::qWaitFor([&] { return escPressed.load(); }, 10000));
        lock.reset();
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_FALSE(finished[0][1].toBool());
    }
    EXPECT_TRUE(m_doc.CanWrite());
    EXPECT_EQ(output.shown.size(), 3);
    EXPECT_EQ(checked("ann"), QList<qint32>());
    EXPECT_EQ(m_ui.StatusTexts().last(), QString());
    EXPECT_EQ(m_ui.ProgressUpper(), 0);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);

    // Run to its end as a job, it shows its output and checks as in place.
    m_doc.Jobs().SetRetryWait([](std::chrono::milliseconds) {});
    QSignalSpy finishedQuery(&m_doc.Queries(), &CQueryRunner::queryFinished);
    ASSERT_TRUE(m_doc.Queries().StartQuery(all));
    ASSERT_TRUE(finishedQuery.wait(10000));
    EXPECT_EQ(output.shown.size(), 4);
    EXPECT_EQ(checked("ann"), QList<qint32>({1, 2}));
    m_doc.Queries().SetQueryOutput(nullptr);
}

TEST_F(DuplicateTest, RunningAQueryAgainReusesItsView)
{
    Add({1, 1, 10, 100, "AAA", false, false});
    Add({2, 2, 10, 100, "AAA", false, false});
    CQueryViews views(Db(), QStringLiteral("ann"), [](CRecordSetList& list) {
        CDataCtrlDescriptor file;
        file.m_strFieldName = QStringLiteral("File.File");
        file.m_strCaption = QStringLiteral("File");
        list.DataCtrl_AddField(file);
        list.AddColumn(file);
    });
    m_doc.Queries().SetQueryOutput(&views);
    ASSERT_TRUE(m_doc.Queries().ExecuteQuery(22));
    ASSERT_EQ(views.Count(), 1);
    CQueryViews::View* first = views.Current();
    EXPECT_EQ(first->strName, QStringLiteral("Check Duplicates For Deletion in All Catalogues"));
    EXPECT_EQ(first->lQueryId, 22);
    EXPECT_EQ(first->pList->rowCount(), 2) << first->pList->LastError().toStdString();
    EXPECT_EQ(first->pList->GroupingColumns().isEmpty(), false) << "the query's grouping reaches its view";

    // The same query, or its name in another case, lands in the same view.
    ASSERT_TRUE(m_doc.Queries().ExecuteQuery(22));
    EXPECT_EQ(views.Count(), 1);
    EXPECT_EQ(views.Current(), first);
    EXPECT_EQ(views.Find(QStringLiteral("CHECK DUPLICATES FOR DELETION IN ALL CATALOGUES")), first);

    // The window's views take their rows in the background and show them once they are in.
    views.SetOpenInBackground(true);
    Add({3, 3, 10, 100, "AAA", false, false});
    QSignalSpy opened(first->pList.get(), &CRecordSetList::opened);
    ASSERT_TRUE(m_doc.Queries().ExecuteQuery(22));
    ASSERT_TRUE(opened.count() == 1 || opened.wait(10000));
    EXPECT_EQ(opened[0][0].toInt(), 0);
    EXPECT_EQ(first->pList->rowCount(), 3);
    m_doc.Queries().SetQueryOutput(nullptr);
}
