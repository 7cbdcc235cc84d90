#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbQueryDef.h"
#include "database/DbTransaction.h"

#include <algorithm>
#include <set>

namespace
{
QString Tth(char c)
{
    return QString(39, QLatin1Char(c));
}

QString Repeat(const QString& text, int count)
{
    QString out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

using Ids = std::vector<int>;
} // namespace

// A database with two users, alice (the current user) and bob, and files chosen so that every
// duplicate chain has something to find and something to leave out:
//
//   id cat    size TTH   note                 cat: 1 Alpha Fixed (alice checks), 2 Beta Fixed
//    1 1 root  100 A                               (alice's row unchecked), 3 Disc CD-ROM (checked),
//    2 1 docs  100 A     same content, 1 cat       4 Stick Removable (checked), 5 Gamma Fixed (only
//    3 2 docs  100 A                               bob has a row), 6 Excluded (alice excludes it
//    4 3 root  200 B     on CD-ROM                 from duplicate searches)
//    5 1 old   200 B
//    6 4 root  300 C     on Removable
//    7 2 root  300 C
//    8 1 root  400 Null  no TTH
//    9 5 root  400 Null  no TTH, catalogue without alice's row
//   10 1 root  500 G     ghost
//   11 2 root  500 G
//   12 1 root  600 H     QueryHide
//   13 2 root  600 H
//   14 1 root  700 D     deleted
//   15 2 root  700 D
//   16 1 root  800 S     edited (FileInfoId 1), SimilarityId 1
//   17 2 root  800 S     SimilarityId 1
//   18 1 root  900 N     DontMark
//   19 5 root  900 N
//   20 1 root  100 X     same size as A, other TTH
//   21 1 root 1000 U     unique; name of exactly 12 characters
//   22 1 root 1100 L     name of 104 characters
//   23 1 root 1200 Null  no TTH
//   24 6 root  100 A     excluded catalogue
//   25 5 root  400 Null  no TTH
//   26 2 root 1300 Null  ghost without TTH
class StoredQueryTest : public BothEnginesFixture
{
protected:
    void SetUp() override
    {
        BothEnginesFixture::SetUp();
        if (!Ready())
            return;
        CDbTransaction trans(m_db);
        m_db.Execute("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'Media')");
        const struct
        {
            int id;
            const char* name;
            const char* driveType;
        } catalogues[] = {{1, "Alpha", "Fixed"},     {2, "Beta", "Fixed"},  {3, "Disc", "CD-ROM"},
                          {4, "Stick", "Removable"}, {5, "Gamma", "Fixed"}, {6, "Excluded", "Fixed"}};
        for (const auto& c : catalogues)
            m_db.Execute("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, DriveType, Location) "
                         "VALUES (1, ?, ?, 'VOL', ?, '/media')",
                         {c.id, c.name, c.driveType});
        m_db.Execute("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (1, 'docs'), (2, 'docs\\old')");
        m_db.Execute("INSERT INTO FileInfo (FileInfoId, Description) VALUES (1, 'kept on purpose')");
        const struct
        {
            int id, catalogue, path, size;
            char tth; // 0: Null
            const char* name;
            const char* flags; // g ghost, h QueryHide, d deleted, e edited, s similar, m DontMark
        } files[] = {
            {1, 1, 0, 100, 'A', "a1.txt", ""},     {2, 1, 1, 100, 'A', "a2.txt", ""},
            {3, 2, 1, 100, 'A', "a3.txt", ""},     {4, 3, 0, 200, 'B', "b1.iso", ""},
            {5, 1, 2, 200, 'B', "b2.iso", ""},     {6, 4, 0, 300, 'C', "c1.jpg", ""},
            {7, 2, 0, 300, 'C', "c2.jpg", ""},     {8, 1, 0, 400, 0, "e1.dat", ""},
            {9, 5, 0, 400, 0, "e2.dat", ""},       {10, 1, 0, 500, 'G', "g1.bin", "g"},
            {11, 2, 0, 500, 'G', "g2.bin", ""},    {12, 1, 0, 600, 'H', "h1.bin", "h"},
            {13, 2, 0, 600, 'H', "h2.bin", ""},    {14, 1, 0, 700, 'D', "d1.doc", "d"},
            {15, 2, 0, 700, 'D', "d2.doc", ""},    {16, 1, 0, 800, 'S', "s1.txt", "es"},
            {17, 2, 0, 800, 'S', "s2.txt", "s"},   {18, 1, 0, 900, 'N', "n1.txt", "m"},
            {19, 5, 0, 900, 'N', "n2.txt", ""},    {20, 1, 0, 100, 'X', "x1.txt", ""},
            {21, 1, 0, 1000, 'U', "unique12.txt", ""}, {22, 1, 0, 1100, 'L', nullptr, ""},
            {23, 1, 0, 1200, 0, "nothash.txt", ""}, {24, 6, 0, 100, 'A', "a4.txt", ""},
            {25, 5, 0, 400, 0, "e3.dat", ""},      {26, 2, 0, 1300, 0, "ghost.txt", "g"},
        };
        for (const auto& f : files)
        {
            const QString flags = QString::fromLatin1(f.flags);
            const QString name = f.name ? QString::fromUtf8(f.name) : Repeat(QStringLiteral("L"), 100) + QStringLiteral(".txt");
            m_db.Execute("INSERT INTO [File] (CatalogueId, RelativePathId, FileId, FileInfoId, SimilarityId, [File], FileSize, "
                         "FileSizeHigh, FileSizeDouble, TTH, Ghost, QueryHide, Deleted, DontMark) "
                         "VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?)",
                         {f.catalogue, f.path, f.id, flags.contains('e') ? CDbValue(1) : CDbValue(),
                          flags.contains('s') ? 1 : 0, name, f.size, double(f.size),
                          f.tth ? CDbValue(Tth(f.tth)) : CDbValue(), flags.contains('g'), flags.contains('h'),
                          flags.contains('d'), flags.contains('m')});
        }
        m_db.Execute("INSERT INTO CatalogueUserSelect (CatalogueId, [User], CatalogueSelect, ExcludeFromDuplicate) VALUES "
                     "(1, 'alice', True, False), (2, 'alice', False, False), (3, 'alice', True, False), "
                     "(4, 'alice', True, False), (6, 'alice', False, True), "
                     "(1, 'bob', False, False), (2, 'bob', True, False), (5, 'bob', True, False)");
        m_db.Execute("INSERT INTO FileUserSelect (FileId, [User], Mark, QueryMark) VALUES "
                     "(2, 'alice', True, False), (21, 'alice', False, True), "
                     "(1, 'bob', True, True), (3, 'bob', False, False), (5, 'bob', True, True), "
                     "(7, 'bob', True, True), (21, 'bob', True, True)");
        trans.Commit();
        m_bobBefore = BobRows();
    }

    // A query's steps as the query runner takes them: every stored action query (type 2) in
    // order, with "GetUserName()" replaced by the quoted user and ParamUserName set.
    void RunSteps(int queryId, const QString& user)
    {
        m_db.SetUserName(user);
        QStringList steps;
        CDbStatement entries = m_db.Prepare("SELECT EntryType, Query FROM QueryEntry WHERE QueryId=? ORDER BY QueryEntry");
        entries.Bind(1, queryId);
        while (entries.Step())
            if (entries.Value(0).ToLong() == 2)
                steps << entries.Value(1).ToString();
        for (const QString& step : steps)
        {
            QString sql = m_db.OpenQueryDef(step).Sql();
            sql.replace(QStringLiteral("GetUserName()"), CJetSql::QuoteText(user));
            CDbQueryDef query = m_db.CreateQueryDef(sql);
            for (const QString& parameter : query.ParameterNames())
                if (parameter.toLower() == QLatin1String("paramusername"))
                    query.SetParameter(QStringLiteral("ParamUserName"), user);
            SCOPED_TRACE(step.toStdString());
            ASSERT_NO_THROW(query.Execute());
        }
    }

    // The FileIds of a list query's rows, in their order, as the current user sees them.
    Ids OutputRows(const QString& queryName)
    {
        CDbQueryDef query = m_db.OpenQueryDef(queryName);
        CDbStatement rows = query.OpenRecordset();
        Ids ids;
        while (rows.Step())
            ids.push_back(rows.Value(QStringLiteral("File.FileId")).ToLong());
        return ids;
    }

    Ids Marked(const char* column, const QString& user = QStringLiteral("alice"))
    {
        Ids ids;
        CDbStatement st = m_db.Prepare(QStringLiteral("SELECT FileId FROM FileUserSelect WHERE StrComp([User], ?, 0)=0 AND %1=True "
                                                      "ORDER BY FileId").arg(QString::fromLatin1(column)));
        st.Bind(1, user);
        while (st.Step())
            ids.push_back(st.Value(0).ToLong());
        return ids;
    }

    QStringList BobRows()
    {
        return Rows("SELECT 'F', FileId, Mark, QueryMark, [Query] FROM FileUserSelect WHERE [User]='bob' ORDER BY FileId") +
               Rows("SELECT 'C', CatalogueId, CatalogueSelect, ExcludeFromDuplicate FROM CatalogueUserSelect "
                    "WHERE [User]='bob' ORDER BY CatalogueId");
    }

    QStringList m_bobBefore;
};

QUARRANE_ON_BOTH_ENGINES(StoredQueryTest);

namespace
{
// What alice sees after each query of the query list runs on the fixture as it starts.
struct QueryCase
{
    int queryId;
    Ids queryMarks;
    Ids marks;
    Ids output; // rows of the query's output query, in order; empty when it has none
};

const Ids kInitialQueryMarks{21};
const Ids kInitialMarks{2};
const Ids kAllFilesInChecked{1, 8, 10, 12, 22, 18, 23, 16, 21, 20, 2, 5, 4, 6};
const Ids kDuplicatesAll{1, 2, 3, 5, 4, 7, 6, 10, 11, 16, 17, 18, 19};
const Ids kDuplicateMarksAll{1, 2, 3, 4, 5, 6, 7, 10, 11, 16, 17, 18, 19};
const Ids kCheckedDuplicatesAll{1, 2, 3, 5, 7, 11, 16, 17, 19};

const QueryCase kQueryCases[] = {
    {1, kInitialQueryMarks, kInitialMarks, kAllFilesInChecked},
    {2, kInitialQueryMarks, kInitialMarks, {}},
    {3, {4, 5, 8, 12, 20, 21, 22, 23}, {5, 12, 20, 21, 22}, kAllFilesInChecked},
    {4, kInitialQueryMarks, kInitialMarks, {}},
    {5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 25}, kInitialMarks,
     {1, 20, 2, 3, 5, 4, 7, 6, 8, 9, 25, 10, 11, 16, 17, 18, 19}},
    {6, kDuplicateMarksAll, kCheckedDuplicatesAll, {1, 2, 3, 5, 4, 7, 6, 10, 11, 18, 19, 16, 17}},
    {7, {1, 2, 3, 4, 5, 6, 7, 10, 11, 18, 19}, {1, 2, 3, 5, 7, 11, 19}, {1, 2, 3, 5, 4, 7, 6, 10, 11, 18, 19}},
    {8, kInitialQueryMarks, kInitialMarks, {21}},
    {9, kInitialQueryMarks, {}, {}},
    {10, kInitialQueryMarks, kInitialMarks, {}},
    {11, kInitialQueryMarks, kInitialMarks, {}},
    {12, kInitialQueryMarks, kInitialMarks, {22}},
    {13, kInitialQueryMarks, kInitialMarks, {22}},
    {14, kInitialQueryMarks, kInitialMarks, {22}},
    {15, kInitialQueryMarks, kInitialMarks, {22}},
    {16, kInitialQueryMarks, kInitialMarks, {}},
    {17, kInitialQueryMarks, kInitialMarks, {}},
    {18, kInitialQueryMarks, kInitialMarks, {}},
    {19, kInitialQueryMarks, {1, 2, 4, 5, 6, 8, 10, 12, 16, 18, 20, 21, 22, 23}, kAllFilesInChecked},
    {20, kInitialQueryMarks, kInitialMarks, {}},
    {21, {1, 2, 4, 5}, {1, 2, 5}, {1, 2, 5, 4}},
    {22, kDuplicateMarksAll, kCheckedDuplicatesAll, kDuplicatesAll},
    {23, kDuplicateMarksAll, kCheckedDuplicatesAll, kDuplicatesAll},
    {24, kInitialQueryMarks, kInitialMarks, {8, 23, 9, 25}},
    {25, kInitialQueryMarks, kInitialMarks, {8, 23, 26, 9, 25}},
    {26, {16}, {16}, {16}},
};
} // namespace

TEST_P(StoredQueryTest, EveryQueryOfTheListMarksAndListsForItsUserOnly)
{
    for (const QueryCase& c : kQueryCases)
    {
        SCOPED_TRACE(c.queryId);
        // Each query starts from the fixture as it was built.
        ASSERT_NO_THROW(m_db.BeginTrans());
        RunSteps(c.queryId, QStringLiteral("alice"));
        EXPECT_EQ(Marked("QueryMark"), c.queryMarks);
        EXPECT_EQ(Marked("Mark"), c.marks);
        const QStringList output = Rows(QStringLiteral("SELECT OutputQuery FROM Query WHERE QueryId=%1").arg(c.queryId));
        ASSERT_EQ(output.size(), 1);
        if (output.front() != QLatin1String("<null>"))
            EXPECT_EQ(OutputRows(output.front()), c.output) << output.front().toStdString();
        else
            EXPECT_TRUE(c.output.empty());
        EXPECT_EQ(BobRows(), m_bobBefore);
        m_db.Rollback();
    }
}

// The edge cases of the duplicate search, spelt out on "Check Duplicates For Deletion in All
// Catalogues".
TEST_P(StoredQueryTest, DuplicateSearchEdgeCases)
{
    RunSteps(22, QStringLiteral("alice"));
    const Ids queryMarks = Marked("QueryMark");
    const Ids marks = Marked("Mark");
    const auto has = [](const Ids& ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    // Equal TTH and size within one catalogue: both query-marked and both checked.
    EXPECT_TRUE(has(queryMarks, 1) && has(queryMarks, 2));
    EXPECT_TRUE(has(marks, 1) && has(marks, 2));
    // Query-marked but not checked: CD-ROM, Removable, ghost, DontMark.
    for (int id : {4, 6, 10, 18})
    {
        EXPECT_TRUE(has(queryMarks, id)) << id;
        EXPECT_FALSE(has(marks, id)) << id;
    }
    // No TTH is no TTH duplicate, even with the same size in a catalogue without alice's row.
    for (int id : {8, 9, 25})
        EXPECT_FALSE(has(queryMarks, id)) << id;
    // Hidden, deleted and excluded-catalogue files take no part.
    for (int id : {12, 13, 14, 15, 24})
        EXPECT_FALSE(has(queryMarks, id)) << id;
    // Files that had no row of alice's (3 has one of bob's, 17 none at all) got their own.
    EXPECT_EQ(Rows("SELECT Mark, QueryMark FROM FileUserSelect WHERE FileId=3 AND [User]='alice'"), QStringList{"1|1"});
    EXPECT_EQ(Rows("SELECT Mark, QueryMark FROM FileUserSelect WHERE FileId=17 AND [User]='alice'"), QStringList{"1|1"});
    EXPECT_EQ(BobRows(), m_bobBefore);

    // bob runs the same search: his own rows change, alice's stay as they are.
    const QStringList aliceRows = Rows("SELECT FileId, Mark, QueryMark FROM FileUserSelect WHERE [User]='alice' ORDER BY FileId");
    RunSteps(22, QStringLiteral("bob"));
    EXPECT_EQ(Rows("SELECT FileId, Mark, QueryMark FROM FileUserSelect WHERE [User]='alice' ORDER BY FileId"), aliceRows);
    // bob checks nothing in catalogue 6 by exclusion, so a4.txt counts for him (no row: not excluded).
    const Ids bobMarks = Marked("QueryMark", QStringLiteral("bob"));
    EXPECT_TRUE(has(bobMarks, 24));
    EXPECT_FALSE(has(bobMarks, 21));
}

TEST_P(StoredQueryTest, CatalogueChecksArePerUser)
{
    RunSteps(2, QStringLiteral("alice"));
    EXPECT_EQ(Rows("SELECT CatalogueId, CatalogueSelect FROM CatalogueUserSelect WHERE [User]='alice' ORDER BY CatalogueId"),
              QStringList({"1|1", "2|1", "3|1", "4|1", "5|1", "6|1"}));
    EXPECT_EQ(BobRows(), m_bobBefore);
    RunSteps(10, QStringLiteral("alice"));
    EXPECT_EQ(Rows("SELECT count(*) FROM CatalogueUserSelect WHERE [User]='alice' AND CatalogueSelect=True"), QStringList{"0"});
    EXPECT_EQ(BobRows(), m_bobBefore);
}

// All 26 queries one after another on one database, as a person would run them: every step
// runs and bob's marks never move.
TEST_P(StoredQueryTest, AllQueriesInOrderLeaveTheOtherUserAlone)
{
    for (int id = 1; id <= 26; ++id)
    {
        SCOPED_TRACE(id);
        RunSteps(id, QStringLiteral("alice"));
        const QStringList output = Rows(QStringLiteral("SELECT OutputQuery FROM Query WHERE QueryId=%1").arg(id));
        if (output.value(0) != QLatin1String("<null>"))
        {
            EXPECT_NO_THROW(OutputRows(output.front()));
        }
    }
    EXPECT_EQ(BobRows(), m_bobBefore);
    // Query 10 unchecked every catalogue, so the searches after it found nothing to check.
    EXPECT_EQ(Rows("SELECT count(*) FROM CatalogueUserSelect WHERE [User]='alice' AND CatalogueSelect=True"), QStringList{"0"});
    EXPECT_EQ(Marked("Mark"), Ids{});
}

// Every stored query is there and every one that the schema can run prepares (list queries open,
// action queries run) with GetUserName() and [ParamUserName] as the current user.
TEST_P(StoredQueryTest, EveryStoredQueryRuns)
{
    const QStringList names = m_db.QueryDefNames();
    EXPECT_EQ(names.size(), 72);
    for (const QString& name : names)
    {
        SCOPED_TRACE(name.toStdString());
        // These two name columns that the schema no longer has; no step runs them.
        const bool obsolete = name == QLatin1String("CheckDuplicateFilesByChecksum") ||
                              name == QLatin1String("UpdateRelativePathIdFromRelativePath");
        ASSERT_NO_THROW(m_db.BeginTrans());
        try
        {
            CDbQueryDef query = m_db.OpenQueryDef(name);
            for (const QString& p : query.ParameterNames())
                if (p.toLower() != QLatin1String("paramusername"))
                    query.SetParameter(p, p == QLatin1String("CatalogueId") ? CDbValue(1) : CDbValue("a"));
            if (query.ReturnsRows())
            {
                CDbStatement rows = query.OpenRecordset();
                while (rows.Step())
                {
                }
            }
            else
                query.Execute();
            EXPECT_FALSE(obsolete);
        }
        catch (const CDbException& e)
        {
            EXPECT_TRUE(obsolete) << e.m_strDescription.toStdString();
        }
        m_db.Rollback();
    }
}

TEST_P(StoredQueryTest, ParametersAndQueryDefinitions)
{
    // Declared parameters, and a declared parameter that shares its name with a column.
    CDbQueryDef find = m_db.OpenQueryDef(QStringLiteral("findfile"));
    EXPECT_EQ(find.Name(), QStringLiteral("FindFile"));
    EXPECT_EQ(find.ParameterNames(), QStringList{"FileName"});
    EXPECT_EQ(find.ParameterType("filename"), QStringLiteral("Text ( 255 )"));
    EXPECT_THROW(find.OpenRecordset(), CDbException);
    find.SetParameter(QStringLiteral("FILENAME"), "1.");
    Ids found;
    for (CDbStatement rows = find.OpenRecordset(); rows.Step();)
        found.push_back(rows.Value(QStringLiteral("File.FileId")).ToLong());
    EXPECT_EQ(found, (Ids{1, 4, 6, 8, 10, 12, 18, 16, 20}));
    m_db.Execute("INSERT INTO FileInfo (FileInfoId, Keyword) VALUES (2, 'Holiday;  ')");
    m_db.Execute("UPDATE [File] SET FileInfoId=2 WHERE FileId=21");
    CDbQueryDef keyword = m_db.OpenQueryDef(QStringLiteral("FindKeyword"));
    keyword.SetParameter(QStringLiteral("Keyword"), "holi");
    EXPECT_EQ(keyword.OpenRecordset().Step(), true);
    keyword.SetParameter(QStringLiteral("Keyword"), "work");
    EXPECT_EQ(keyword.OpenRecordset().Step(), false);
    EXPECT_THROW(keyword.SetParameter(QStringLiteral("NoSuch"), 1), CDbException);

    // A parameter that is only referenced; ParamUserName starts as the user.
    CDbQueryDef temporary = m_db.CreateQueryDef(
        "SELECT FileId FROM FileUserSelect WHERE [User]=[ParamUserName] AND FileId>[Above] ORDER BY FileId");
    EXPECT_TRUE(temporary.Name().isEmpty());
    EXPECT_EQ(temporary.ParameterNames(), QStringList({"ParamUserName", "Above"}));
    EXPECT_EQ(temporary.Parameter(QStringLiteral("paramusername")).ToString(), QStringLiteral("alice"));
    temporary.SetParameter(QStringLiteral("Above"), "3"); // undeclared: taken as it is
    CDbStatement rows = temporary.OpenRecordset();
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Value(0).ToLong(), 21);
    // A plain statement has no way to give parameters.
    EXPECT_THROW(m_db.Prepare("SELECT FileId FROM FileUserSelect WHERE [User]=[ParamUserName]"), CDbException);
    EXPECT_THROW(m_db.OpenQueryDef(QStringLiteral("NoSuchQuery")), CDbException);
    try
    {
        m_db.OpenQueryDef(QStringLiteral("CheckedFiles")).Execute();
        ADD_FAILURE() << "a select ran as an action query";
    }
    catch (const CDbException& e)
    {
        EXPECT_EQ(e.m_nErrorCode, 3065);
    }
}

TEST_P(StoredQueryTest, StoredQueriesAsTablesNestAndRefuseCycles)
{
    // A query of a query of stored queries, aliases included.
    m_db.StoreQueryDef(QStringLiteral("PairsAll"),
                       "SELECT Q.FileId FROM QueryMarkDuplicatesByTTHFileSizeAllCatalogues2 AS Q ORDER BY Q.FileId");
    m_db.StoreQueryDef(QStringLiteral("PairCount"), "SELECT Count(*) AS N FROM PairsAll");
    EXPECT_TRUE(m_db.HasQueryDef(QStringLiteral("pairsall")));
    // 1, 2, 3 pair up six ways, B, C, G, S, N two ways each.
    const auto rows = [&](const QString& sql) {
        QStringList out;
        for (CDbStatement st = m_db.CreateQueryDef(sql).OpenRecordset(); st.Step();)
            out << st.Value(0).ToString();
        return out;
    };
    EXPECT_EQ(rows("SELECT N FROM PairCount"), QStringList{"16"});
    EXPECT_EQ(rows("SELECT DISTINCT P.FileId FROM PairsAll AS P WHERE P.FileId < 4"), QStringList({"1", "2", "3"}));
    // Its parameter (ParamUserName, deep inside) makes it a query definition's job.
    EXPECT_THROW(m_db.Prepare("SELECT N FROM PairCount"), CDbException);

    m_db.StoreQueryDef(QStringLiteral("LoopA"), "SELECT FileId FROM LoopB");
    m_db.StoreQueryDef(QStringLiteral("LoopB"), "SELECT FileId FROM LoopA");
    EXPECT_THROW(m_db.Prepare("SELECT * FROM LoopA"), CDbException);
    EXPECT_THROW(m_db.StoreQueryDef(QStringLiteral("Broken"), "SELECT 'unclosed FROM File"), CDbException);
    EXPECT_FALSE(m_db.HasQueryDef(QStringLiteral("Broken")));
}

TEST_P(StoredQueryTest, ActionQueriesOverJoins)
{
    // Inner join: only matching rows change, and all of them in one transaction.
    EXPECT_EQ(m_db.Execute("UPDATE [File] INNER JOIN FileUserSelect ON [File].FileId=FileUserSelect.FileId "
                           "SET FileUserSelect.[Query] = [File].[File] WHERE FileUserSelect.[User]='bob' AND [File].FileSize=100"),
              2);
    EXPECT_EQ(Rows("SELECT FileId, [Query] FROM FileUserSelect WHERE [Query] Is Not Null ORDER BY FileId"),
              QStringList({"1|a1.txt", "3|a3.txt"}));
    // Outer side of an outer join: the missing row is inserted, with the join's key filled in
    // from the ON clause where SET leaves it out.
    EXPECT_EQ(m_db.Execute("UPDATE [File] LEFT JOIN FileUserSelect ON ([File].FileId=FileUserSelect.FileId AND "
                           "FileUserSelect.[User]='carol') SET FileUserSelect.[User]='carol', FileUserSelect.Mark=True "
                           "WHERE [File].FileSize=200"),
              2);
    EXPECT_EQ(Rows("SELECT FileId, Mark, QueryMark FROM FileUserSelect WHERE [User]='carol' ORDER BY FileId"),
              QStringList({"4|1|0", "5|1|0"}));
    // Run again, it finds the rows the first run inserted and updates them.
    EXPECT_EQ(m_db.Execute("UPDATE [File] LEFT JOIN FileUserSelect ON ([File].FileId=FileUserSelect.FileId AND "
                           "FileUserSelect.[User]='carol') SET FileUserSelect.[User]='carol', FileUserSelect.Mark=False "
                           "WHERE [File].FileSize=200"),
              2);
    EXPECT_EQ(Rows("SELECT count(*) FROM FileUserSelect WHERE [User]='carol' AND Mark=False"), QStringList{"2"});
    // A statement that fails half-way (file 1's row breaks the relation to File, after file 17's
    // row was inserted) changes nothing.
    const QStringList before = Rows("SELECT FileId, [User], Mark FROM FileUserSelect ORDER BY FileId, [User]");
    EXPECT_THROW(m_db.Execute("UPDATE [File] LEFT JOIN FileUserSelect ON [File].FileId=FileUserSelect.FileId "
                              "SET FileUserSelect.FileId=99, FileUserSelect.[User]='x' WHERE [File].FileId IN (1, 17)"),
                 CDbException);
    EXPECT_EQ(Rows("SELECT FileId, [User], Mark FROM FileUserSelect ORDER BY FileId, [User]"), before);
    EXPECT_THROW(m_db.Execute("UPDATE [File] INNER JOIN FileUserSelect ON [File].FileId=FileUserSelect.FileId "
                              "SET FileUserSelect.Mark=True, [File].Ghost=True"),
                 CDbException);

    // The append query and the delete query.
    m_db.Execute("DELETE FROM CatalogueRelativePaths");
    m_db.Execute("INSERT INTO CatalogueRelativePaths (CatalogueId, RelativePathId) VALUES (1, 0)");
    EXPECT_EQ(m_db.OpenQueryDef(QStringLiteral("CatalogueRelativePathsAppend")).Execute(), 8);
    EXPECT_EQ(Rows("SELECT CatalogueId, RelativePathId FROM CatalogueRelativePaths ORDER BY CatalogueId, RelativePathId"),
              QStringList({"1|0", "1|1", "1|2", "2|0", "2|1", "3|0", "4|0", "5|0", "6|0"}));
    EXPECT_EQ(m_db.OpenQueryDef(QStringLiteral("DeleteDeleted")).Execute(), 1);
    EXPECT_EQ(Rows("SELECT count(*) FROM [File] WHERE Deleted=True"), QStringList{"0"});
}

// Right joins reach SQLite as left joins: run as written, a right join whose other side is a
// parenthesised join scans that whole join once per row (per folder, per edited file), which no
// large catalogue survives.
TEST_P(StoredQueryTest, ListQueriesRunWithoutRightJoins)
{
    int checked = 0;
    for (const QString& name : m_db.QueryDefNames())
    {
        const QString sql = m_db.OpenQueryDef(name).Sql();
        if (!sql.contains(QLatin1String("RIGHT JOIN")) || !m_db.OpenQueryDef(name).ReturnsRows())
            continue;
        SCOPED_TRACE(name.toStdString());
        const std::shared_ptr<const CJetTranslation> translation = m_db.TranslateJet(sql);
        ASSERT_EQ(translation->statements.size(), 1);
        ++checked;
        if (OnServer()) // the server plans right joins itself
            continue;
        CDbStatement plan = m_db.PrepareSqlite(QStringLiteral("EXPLAIN QUERY PLAN ") + translation->statements.front());
        while (plan.Step())
            EXPECT_FALSE(plan.Value(3).ToString().contains(QLatin1String("RIGHT-JOIN")))
                << plan.Value(3).ToString().toStdString();
    }
    EXPECT_GT(checked, 20);

    // Under a bare "*" the tables keep their order, and so do the columns.
    CDbStatement star = m_db.Prepare("SELECT * FROM RelativePath RIGHT JOIN [File] ON RelativePath.RelativePathId=[File].RelativePathId "
                                     "WHERE [File].FileId=5");
    ASSERT_TRUE(star.Step());
    EXPECT_EQ(star.ColumnName(0), QStringLiteral("RelativePathId"));
    EXPECT_EQ(star.Value(1).ToString(), QStringLiteral("docs\\old"));
}

// Texts a query definition refuses, each with the engine number a caller decides by.
TEST_P(StoredQueryTest, BadQueryTextsAreRefusedWithTheirNumbers)
{
    m_db.StoreQueryDef(QStringLiteral("SelfLoop"), "SELECT FileId FROM SelfLoop");
    const struct
    {
        const char* sql;
        long code;
    } cases[] = {
        {"PARAMETERS [Name] Text ( 255 ) SELECT FileId FROM [File]", 3075}, // no ";" after the declarations
        {"PARAMETERS ; SELECT 1", 3075},
        {"SELECT FileId FROM SelfLoop", 3078},
        {"UPDATE [File] INNER JOIN FileUserSelect ON [File].FileId=FileUserSelect.FileId SET Mark=True", 3073},
        {"UPDATE [File] INNER JOIN NoSuchTable ON [File].FileId=NoSuchTable.FileId SET NoSuchTable.Mark=True", 3078},
        {"UPDATE [File] INNER JOIN FileUserSelect ON [File].FileId=FileUserSelect.FileId", 3075},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.sql);
        long code = 0;
        try
        {
            CDbQueryDef query = m_db.CreateQueryDef(QString::fromUtf8(c.sql));
            query.Execute();
        }
        catch (const CDbException& e)
        {
            code = e.m_nErrorCode;
        }
        EXPECT_EQ(code, c.code);
    }
    // Nothing of it reached the data.
    EXPECT_EQ(BobRows(), m_bobBefore);
    EXPECT_EQ(Marked("Mark"), kInitialMarks);
}
