// The engine layer on both engines: the same statements give the same rows, values and error
// numbers whether the catalogue is a file or lives on a PostgreSQL server (a throwaway server
// started for this program; skipped with the reason when PostgreSQL is not installed).

#include "DatabaseFixture.h"

#include "PostgresServer.h"
#include "common/DbException.h"
#include "database/DbErrorCodes.h"
#include "database/DbQueryDef.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "database/PgSql.h"

#include <functional>

namespace
{
// The rows of a query as text, as the file tests read them.
struct EngineRows : DatabaseFixture
{
    using DatabaseFixture::RowsOf;
};
} // namespace

class BothEngines : public ::testing::TestWithParam<EEngine>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QString error;
        if (GetParam() == EEngine::Server)
        {
            QUARRANE_NEW_SERVER_CATALOGUE(m_address);
        }
        else
        {
            m_address = m_dir.filePath(QStringLiteral("test.qrl"));
            ASSERT_TRUE(WriteTemplateDatabase(m_address, &error)) << error.toStdString();
        }
        m_db.Open(m_address);
        m_db.SetUserName(QStringLiteral("alice"));
    }

    QStringList Rows(const QString& jetSql) { return EngineRows::RowsOf(m_db, jetSql); }

    void AddGroups(const QStringList& names)
    {
        int id = 1;
        for (const QString& name : names)
            m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (?, ?)"),
                         {CDbValue(id++), CDbValue(name)});
    }

    QTemporaryDir m_dir;
    QString m_address;
    CDbDatabase m_db;
};

QUARRANE_ON_BOTH_ENGINES(BothEngines);

TEST_P(BothEngines, ValuesRoundTripThroughEveryColumnType)
{
    const QDateTime when(QDate(2023, 7, 14), QTime(21, 5, 9));
    m_db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue, UpdateTTH) VALUES (?, ?, ?)"),
                 {CDbValue(1), CDbValue(QStringLiteral("Fotos ÄÖÜ 日本 'q' \"d\"")), CDbValue(false)});
    m_db.Execute(
        QStringLiteral(
            "INSERT INTO [File] (CatalogueId, FileId, [File], FileSize, FileSizeHigh, FileSizeDouble, "
            "LastModified, TTH) VALUES (:cat, :id, :name, :size, :high, :dbl, :when, :tth)"),
        {{QStringLiteral(":cat"), 1},
         {QStringLiteral("id"), 7},
         {QStringLiteral("@name"), QStringLiteral("a.txt")},
         {QStringLiteral(":size"), -2},
         {QStringLiteral(":high"), 1},
         {QStringLiteral(":dbl"), 8589934590.0},
         {QStringLiteral(":when"), when},
         {QStringLiteral(":tth"), CDbValue()}});

    CDbStatement st =
        m_db.Prepare(QStringLiteral("SELECT Catalogue.*, File.* FROM Catalogue INNER JOIN File ON "
                                    "Catalogue.CatalogueId = File.CatalogueId"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(QStringLiteral("Catalogue")).ToString(), QStringLiteral("Fotos ÄÖÜ 日本 'q' \"d\""));
    EXPECT_EQ(st.Value(QStringLiteral("UpdateTTH")).GetType(), CDbValue::Type::Bool);
    EXPECT_FALSE(st.Value(QStringLiteral("UpdateTTH")).ToBool());
    EXPECT_EQ(st.Value(QStringLiteral("New")), CDbValue(true));
    EXPECT_EQ(st.Value(QStringLiteral("FileSize")), CDbValue(-2));
    EXPECT_EQ(st.Value(QStringLiteral("FileSizeDouble")), CDbValue(8589934590.0));
    EXPECT_EQ(st.Value(QStringLiteral("LastModified")), CDbValue(when));
    EXPECT_TRUE(st.Value(QStringLiteral("TTH")).IsNull());
    EXPECT_EQ(st.Value(QStringLiteral("CatalogueKeepPriority")), CDbValue(10000));
    EXPECT_EQ(st.ColumnIndex(QStringLiteral("Catalogue.CatalogueId")), 1);
    EXPECT_EQ(st.ColumnIndex(QStringLiteral("File.CatalogueId")),
              st.ColumnIndex(QStringLiteral("File.FileId")) - 2);
    EXPECT_FALSE(st.Step());
    EXPECT_EQ(ErrorOf([&] { st.Value(0); }), DbErrors::kNoCurrentRecord);
}

TEST_P(BothEngines, FailuresCarryTheSameJetNumbers)
{
    m_db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'c')"));
    const struct
    {
        const char* sql;
        long code;
    } cases[] = {
        {"INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'again')", DbErrors::kDuplicateKey},
        {"INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (2, '')", DbErrors::kZeroLengthString},
        {"INSERT INTO Catalogue (CatalogueId, Catalogue, CatalogueKeepPriority) VALUES (2, 'x', Null)",
         DbErrors::kRequiredField},
        {"INSERT INTO Catalogue (CatalogueId, Volume) VALUES (2, '123456789012345678901')",
         DbErrors::kFieldTooSmall},
        {"INSERT INTO Catalogue (CatalogueId, UpdateTTH) VALUES (2, 5)", DbErrors::kValidationRule},
        {"INSERT INTO [File] (CatalogueId, FileId, FileSize, FileSizeDouble) VALUES (99, 1, 0, 0)",
         DbErrors::kRelatedRecordRequired},
        {"SELECT * FROM NoSuchTable", DbErrors::kInputNotFound},
        {"SELECT FROM WHERE", DbErrors::kSyntaxError},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(ErrorOf([&] { m_db.Execute(QString::fromUtf8(c.sql)); }), c.code);
    }
    m_db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId) VALUES (5)"));
    m_db.Execute(QStringLiteral("INSERT INTO [File] (CatalogueId, FileId, FileInfoId, FileSize, "
                                "FileSizeDouble) VALUES (1, 1, 5, 0, 0)"));
    EXPECT_EQ(ErrorOf([&] { m_db.Execute(QStringLiteral("DELETE FROM FileInfo")); }),
              DbErrors::kRelatedRecords);
    EXPECT_EQ(Rows(QStringLiteral("SELECT CatalogueId, Catalogue FROM Catalogue")),
              QStringList{QStringLiteral("1|c")});
}

TEST_P(BothEngines, TextComparesAndSortsWithoutRegardToCase)
{
    AddGroups({QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("été"),
               QStringLiteral("ALPHA2"), QStringLiteral("Gamma")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId FROM [Group] WHERE [Group]='ALPHA'")),
              QStringList{QStringLiteral("2")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId FROM [Group] WHERE [Group]='ÉTÉ'")),
              QStringList{QStringLiteral("3")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT [Group] FROM [Group] WHERE GroupId <> 3 ORDER BY [Group]")),
              (QStringList{QStringLiteral("Alpha"), QStringLiteral("ALPHA2"), QStringLiteral("beta"),
                           QStringLiteral("Gamma")}));
    // StrComp with 0 compares exactly, the way a name that must match in case is found.
    EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId FROM [Group] WHERE StrComp([Group], 'alpha', 0) = 0")),
              QStringList());
    EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId FROM [Group] WHERE StrComp([Group], 'Alpha', 0) = 0")),
              QStringList{QStringLiteral("2")});
    // A key of text refuses a second value that differs only in case, on both engines.
    m_db.Execute(QStringLiteral("INSERT INTO [Parameter] ([Parameter], [Value]) VALUES ('Mine', '1')"));
    EXPECT_EQ(ErrorOf(
                  [&] {
                      m_db.Execute(QStringLiteral(
                          "INSERT INTO [Parameter] ([Parameter], [Value]) VALUES ('MINE', '2')"));
                  }),
              DbErrors::kDuplicateKey);
}

TEST_P(BothEngines, LikeMatchesJetWildcardsOnAwkwardNames)
{
    AddGroups({QStringLiteral("100%_done"), QStringLiteral("a*b"), QStringLiteral("[x]"),
               QStringLiteral("it's"), QStringLiteral("Ärger"), QStringLiteral("ärger2"),
               QStringLiteral("file.TXT"), QStringLiteral("a.b(c)+$"), QStringLiteral("back\\slash")});
    const auto matching = [&](const QString& pattern)
    {
        QStringList ids;
        CDbStatement st =
            m_db.Prepare(QStringLiteral("SELECT GroupId FROM [Group] WHERE [Group] LIKE ? ORDER BY GroupId"));
        st.Bind(1, pattern);
        while (st.Step())
            ids << st.Value(0).ToString();
        return ids.join(QLatin1Char(','));
    };
    EXPECT_EQ(matching(QStringLiteral("*%*")), QStringLiteral("1"));
    EXPECT_EQ(matching(QStringLiteral("*_*")), QStringLiteral("1"));
    EXPECT_EQ(matching(QStringLiteral("a[*]b")), QStringLiteral("2"));
    EXPECT_EQ(matching(QStringLiteral("[[]x]")), QStringLiteral("3"));
    EXPECT_EQ(matching(QStringLiteral("*'*")), QStringLiteral("4"));
    EXPECT_EQ(matching(QStringLiteral("ÄRGER")), QStringLiteral("5"));
    EXPECT_EQ(matching(QStringLiteral("?rger#")), QStringLiteral("6"));
    EXPECT_EQ(matching(QStringLiteral("*.txt")), QStringLiteral("7"));
    EXPECT_EQ(matching(QStringLiteral("a.b(c)+$")), QStringLiteral("8"));
    EXPECT_EQ(matching(QStringLiteral("*\\*")), QStringLiteral("9"));
    EXPECT_EQ(matching(QStringLiteral("[!a-f]*")), QStringLiteral("1,3,4,5,6"));
    EXPECT_EQ(matching(CJetSql::EscapeLike(QStringLiteral("a*b"))), QStringLiteral("2"));
    // The literal form and NOT LIKE go the same way.
    EXPECT_EQ(
        Rows(QStringLiteral(
            "SELECT GroupId FROM [Group] WHERE [Group] NOT LIKE '*r*' AND GroupId < 5 ORDER BY GroupId")),
        (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
}

TEST_P(BothEngines, AFailedStatementLeavesTheTransactionUsable)
{
    {
        CDbTransaction trans(m_db);
        AddGroups({QStringLiteral("one")});
        EXPECT_EQ(ErrorOf([&] { AddGroups({QStringLiteral("again")}); }), DbErrors::kDuplicateKey);
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (2, 'two')"));
        EXPECT_TRUE(m_db.InTransaction());
        trans.Commit();
    }
    EXPECT_FALSE(m_db.InTransaction());
    {
        CDbTransaction trans(m_db);
        m_db.Execute(QStringLiteral("DELETE FROM [Group]"));
        {
            CDbTransaction inner(m_db); // a savepoint, rolled back alone
            m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (3, 'three')"));
        }
        EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId FROM [Group]")), QStringList());
    }
    EXPECT_EQ(Rows(QStringLiteral("SELECT [Group] FROM [Group] ORDER BY GroupId")),
              (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(ErrorOf([&] { m_db.CommitTrans(); }), DbErrors::kNoTransaction);
}

TEST_P(BothEngines, AWriteBlockedByAnotherSessionRaisesTheLockingError)
{
    AddGroups({QStringLiteral("g")});
    CDbDatabase other;
    other.Open(m_address);
    other.SetBusyTimeout(0);
    CDbTransaction holding(m_db);
    m_db.Execute(QStringLiteral("UPDATE [Group] SET [Group]='mine' WHERE GroupId=1"));
    const long code = ErrorOf(
        [&] { other.Execute(QStringLiteral("UPDATE [Group] SET [Group]='theirs' WHERE GroupId=1")); });
    EXPECT_TRUE(DbErrors::IsLockingError(code)) << code;
    // Readers are not blocked by a writer, and see what was committed.
    EXPECT_EQ(EngineRows::RowsOf(other, QStringLiteral("SELECT [Group] FROM [Group]")),
              QStringList{QStringLiteral("g")});
    // The blocked session goes on once the holder lets go.
    holding.Commit();
    other.Execute(QStringLiteral("UPDATE [Group] SET [Group]='theirs' WHERE GroupId=1"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT [Group] FROM [Group]")), QStringList{QStringLiteral("theirs")});
}

TEST_P(BothEngines, ImmediateTransactionsHaveOneWriterAtATime)
{
    CDbDatabase other;
    other.Open(m_address);
    other.SetBusyTimeout(0);
    {
        CDbTransaction holding(m_db, true);
        // Another immediate writer waits and then raises the locking error; a reader goes on.
        EXPECT_TRUE(DbErrors::IsLockingError(ErrorOf([&] { other.BeginTrans(true); })));
        EXPECT_FALSE(other.InTransaction());
        EXPECT_EQ(EngineRows::RowsOf(
                      other, QStringLiteral("SELECT [Value] FROM [Parameter] WHERE [Parameter]='Version'")),
                  QStringList{QStringLiteral("1.004")});
    }
    // Let go by the rollback: the next writer gets in, and the counters go on from the stored value.
    other.BeginTrans(true);
    other.CommitTrans();
    CScriptedInteraction ui;
    CDbRetryPolicy policy(ui);
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("Action_ActionId"), policy), 15);
    EXPECT_EQ(GetNewRecSetId(other, QStringLiteral("Action_ActionId"), policy), 16);
}

TEST_P(BothEngines, GetUserNameIsTheSessionsUser)
{
    const QString sql =
        QStringLiteral("SELECT GetUserName() AS U FROM [Parameter] WHERE [Parameter]='Version'");
    EXPECT_EQ(Rows(sql), QStringList{QStringLiteral("alice")});
    m_db.SetUserName(QStringLiteral("bob"));
    EXPECT_EQ(Rows(sql), QStringList{QStringLiteral("bob")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT [Value] FROM [Parameter] WHERE [Parameter]='version'")),
              QStringList{QStringLiteral("1.004")});
}

// Two stored queries of the template name columns that no table has, on either engine.
TEST_P(BothEngines, EveryStoredQueryRuns)
{
    const QStringList unreadable = {QStringLiteral("CheckDuplicateFilesByChecksum"),
                                    QStringLiteral("UpdateRelativePathIdFromRelativePath")};
    const QStringList names = m_db.QueryDefNames();
    EXPECT_EQ(names.size(), 72);
    QStringList failed;
    for (const QString& name : names)
    {
        if (unreadable.contains(name))
            continue;
        CDbQueryDef query = m_db.OpenQueryDef(name);
        for (const QString& parameter : query.ParameterNames())
            query.SetParameter(parameter, CDbValue(0));
        try
        {
            CDbTransaction trans(m_db); // rolled back: the action queries change nothing
            if (query.ReturnsRows())
            {
                CDbStatement rows = query.OpenRecordset();
                while (rows.Step())
                {
                }
            }
            else
                query.Execute();
        }
        catch (const CDbException& e)
        {
            failed << name + QStringLiteral(": ") + e.m_strDescription;
        }
    }
    EXPECT_EQ(failed, QStringList());
}

// Jet reads a derived table without a name; the server is given one.
TEST_P(BothEngines, ADerivedTableNeedsNoName)
{
    AddGroups({QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("b")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT Count(*) FROM (SELECT DISTINCT GroupId Mod 2 FROM [Group])")),
              QStringList{QStringLiteral("2")});
}

// Names that quoting, wildcards, case folding and sorting get wrong, the same on both engines: the
// same statements over a file and a server catalogue give the same rows.
TEST(EnginesAgree, AwkwardNamesGiveTheSameRows)
{
    QTemporaryDir dir;
    QString address;
    QUARRANE_NEW_SERVER_CATALOGUE(address);
    const QString file = dir.filePath(QStringLiteral("t.qrl"));
    ASSERT_TRUE(WriteTemplateDatabase(file));
    const QStringList names = {
        QStringLiteral("it's"), QStringLiteral("say \"hi\""), QStringLiteral("100%"), QStringLiteral("a_b"),
        QStringLiteral("axb"), QStringLiteral("a*b"), QStringLiteral("[x]"), QStringLiteral("Ärger"),
        QStringLiteral("ärger"), QStringLiteral("ÄRGER2"), QStringLiteral("zebra"), QStringLiteral("Zebra"),
        QStringLiteral("Σίσυφος"), QStringLiteral("σίσυφος.txt"), QStringLiteral("back\\slash"),
        // bytes of a name that is not UTF-8, as the file lists keep them (0xE9 and 0xFF)
        QString(QChar(0xF7E9)) + QStringLiteral("t") + QChar(0xF7FF), QStringLiteral("_lead"),
        QStringLiteral("#1"), QStringLiteral("a.b"), QStringLiteral(" space")};
    CDbDatabase engines[2];
    engines[0].Open(file);
    engines[1].Open(address);
    for (CDbDatabase& db : engines)
    {
        db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'c')"));
        int id = 0;
        for (const QString& name : names)
            db.Execute(
                QStringLiteral("INSERT INTO [File] (CatalogueId, FileId, [File], FileSize, FileSizeDouble) "
                               "VALUES (1, ?, ?, ?, 0)"),
                {CDbValue(++id), CDbValue(name), CDbValue(id % 3)});
    }
    const QString rows = QStringLiteral("SELECT [File].FileId, [File].[File] FROM [File] WHERE ");
    const QStringList queries = {
        QStringLiteral("SELECT [File].[File], FileId FROM [File] ORDER BY [File].[File], [File].FileId"),
        QStringLiteral("SELECT [File].[File], FileId FROM [File] ORDER BY [File].[File] DESC, [File].FileId"),
        rows + QStringLiteral("[File].[File]='ärger' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File]='SAY \"HI\"' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] LIKE '*ÄR*' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] LIKE 'a[_]b' OR [File].[File] LIKE 'a?b' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] LIKE '*[%*]*' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] LIKE '[[]*' OR [File].[File] LIKE '*\\*' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] LIKE 'Σ*' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] LIKE '[#]#' OR [File].[File] LIKE '[!a-z]*' ORDER BY FileId"),
        rows + QStringLiteral("[File].[File] & '.' LIKE '*t") + QChar(0xF7FF) +
            QStringLiteral(".' ORDER BY FileId"),
        rows + QStringLiteral("StrComp([File].[File], 'zebra', 0) = 0"),
        QStringLiteral("SELECT [File].FileSize, Count(*) FROM [File] GROUP BY [File].FileSize"),
        QStringLiteral(
            "SELECT Len([File].[File]) & '|' & [File].[File] FROM [File] WHERE FileId < 4 ORDER BY FileId"),
    };
    for (const QString& sql : queries)
    {
        SCOPED_TRACE(sql.toStdString());
        const QStringList onFile = EngineRows::RowsOf(engines[0], sql);
        EXPECT_FALSE(onFile.isEmpty());
        EXPECT_EQ(EngineRows::RowsOf(engines[1], sql), onFile);
    }
    // What both agree on is what a person expects.
    EXPECT_EQ(EngineRows::RowsOf(engines[1], rows + QStringLiteral("[File].[File]='ärger' ORDER BY FileId")),
              (QStringList{QStringLiteral("8|Ärger"), QStringLiteral("9|ärger")}));
    CDbStatement counted = engines[1].Prepare(QStringLiteral("SELECT Count(*) FROM [File]"));
    EXPECT_EQ(counted.ColumnName(0), QStringLiteral("Count(*)"));
}

// Only for server catalogues.
class ServerCatalogue : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QUARRANE_NEED_SERVER();
        m_address = CTestPostgresServer::Instance().NewDatabase();
        ASSERT_FALSE(m_address.isEmpty());
    }
    QString m_address;
};

TEST_F(ServerCatalogue, CreatedWithTheTemplatesRowsAndRefusedASecondTime)
{
    QString error;
    ASSERT_TRUE(CreateServerCatalogue(m_address, &error)) << error.toStdString();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.qrl"));
    ASSERT_TRUE(WriteTemplateDatabase(file));
    CDbDatabase server;
    CDbDatabase local;
    server.Open(m_address);
    local.Open(file);
    EXPECT_TRUE(server.IsServer());
    EXPECT_FALSE(local.IsServer());
    EXPECT_EQ(server.QueryDefNames(), local.QueryDefNames());
    for (const char* sql :
         {"SELECT * FROM [Parameter] ORDER BY [Parameter]", "SELECT * FROM Field ORDER BY FieldId",
          "SELECT * FROM IndexId ORDER BY [Index]", "SELECT * FROM FileListFieldView ORDER BY 1, 2",
          "SELECT * FROM StoredQuery ORDER BY [Name]"})
    {
        SCOPED_TRACE(sql);
        EXPECT_EQ(EngineRows::RowsOf(server, QString::fromUtf8(sql)),
                  EngineRows::RowsOf(local, QString::fromUtf8(sql)));
    }
    server.Close();
    // A second creation leaves the first catalogue as it was.
    EXPECT_FALSE(CreateServerCatalogue(m_address, &error));
    EXPECT_TRUE(error.contains(QLatin1String("holds a catalogue already"))) << error.toStdString();
    server.Open(m_address);
    EXPECT_EQ(server.QueryDefNames().size(), 72);
}

// Statements prepared on the server are let go past a bound, least recently used first, never one
// that is still in use.
TEST_F(ServerCatalogue, PreparedStatementsStayBounded)
{
    ASSERT_TRUE(CreateServerCatalogue(m_address));
    CDbDatabase db;
    db.Open(m_address);
    db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'kept')"));
    CDbStatement held = db.Prepare(QStringLiteral("SELECT [Group] FROM [Group] WHERE GroupId=1"));
    for (int i = 0; i < 600; ++i)
    {
        CDbStatement st = db.Prepare(QStringLiteral("SELECT GroupId FROM [Group] WHERE GroupId=%1").arg(i));
        st.Step();
        EXPECT_LE(db.CachedStatementCount(), 256) << i;
    }
    ASSERT_TRUE(held.Step());
    EXPECT_EQ(held.Value(0).ToString(), QStringLiteral("kept"));
    // A text used again after it was let go is prepared anew.
    EXPECT_EQ(EngineRows::RowsOf(db, QStringLiteral("SELECT GroupId FROM [Group] WHERE GroupId=1")),
              QStringList{QStringLiteral("1")});
}

TEST_F(ServerCatalogue, AnEmptyOrMissingDatabaseIsRefusedWithItsReason)
{
    CDbDatabase db;
    EXPECT_EQ(ErrorOf([&] { db.Open(m_address); }), DbErrors::kUnrecognizedFormat);
    EXPECT_FALSE(db.IsOpen());
    const QString missing = CTestPostgresServer::Instance().AddressOf(QStringLiteral("no_such_database"));
    EXPECT_EQ(ErrorOf([&] { db.Open(missing); }), DbErrors::kFileNotFound);
    // The URL form reaches the same server.
    ASSERT_TRUE(CreateServerCatalogue(m_address));
    const QString url = QStringLiteral("postgresql://quarrane@/%1?host=%2")
                            .arg(m_address.section(QStringLiteral("dbname="), 1),
                                 CTestPostgresServer::Instance().SocketDir());
    db.Open(url);
    EXPECT_TRUE(db.IsServer());
}

TEST(ServerSql, ParametersBecomeNumberedAndLiteralsStayAsTheyAre)
{
    const CPgText text = PgSql::FromEngineSql(QStringLiteral(
        "SELECT '?', \"a?\", :name FROM t WHERE x = ? AND y = :name AND z = @other -- ?\n AND w = ?7"));
    EXPECT_EQ(text.sql, QStringLiteral("SELECT '?' AS \"'?'\", \"a?\", $1 AS \":name\" FROM t WHERE x = $2 "
                                       "AND y = $1 AND z = $3 -- ?\n AND w = $7"));
    EXPECT_EQ(text.parameterNames.mid(0, 3),
              (QStringList{QStringLiteral("name"), QString(), QStringLiteral("other")}));
    // Null & Null is Null, Null & 'a' is 'a'.
    EXPECT_EQ(PgSql::FromEngineSql(QStringLiteral("SELECT x::text AS y, jet_concat(a, b) AS z FROM t")).sql,
              QStringLiteral(
                  "SELECT x::text AS y, (CASE WHEN num_nonnulls(a, b) = 0 THEN NULL ELSE concat(a, b) END) "
                  "AS z FROM t"));
    EXPECT_EQ(
        PgSql::FromEngineSql(QStringLiteral("INSERT OR IGNORE INTO \"A\" SELECT * FROM temp.\"t\";")).sql,
        QStringLiteral("INSERT INTO \"A\" SELECT * FROM pg_temp.\"t\" ON CONFLICT DO NOTHING;"));
}

TEST(ServerSql, LikeBecomesJetsMatcherWhereItsOperandsAreSimple)
{
    EXPECT_EQ(
        PgSql::FromEngineSql(
            QStringLiteral("SELECT 1 FROM \"G\" WHERE \"G\".\"N\" LIKE ?1 OR \"N\" NOT LIKE 'a''b'"))
            .sql,
        QStringLiteral(
            "SELECT 1 AS \"1\" FROM \"G\" WHERE jet_like($1, \"G\".\"N\") OR NOT jet_like('a''b', \"N\")"));
    // Whole expressions on either side, calls and brackets included, up to what binds looser.
    EXPECT_EQ(
        PgSql::FromEngineSql(
            QStringLiteral("DELETE FROM \"G\" WHERE lower(\"G\".\"N\") || 'x' LIKE "
                           "jet_concat('*', ?) AND \"G\".\"I\" = 2 OR (-\"I\" + 1) LIKE '#'"))
            .sql,
        QStringLiteral("DELETE FROM \"G\" WHERE jet_like((CASE WHEN num_nonnulls('*', $1) = 0 THEN NULL ELSE "
                       "concat('*', $1) END), lower(\"G\".\"N\") || 'x') AND \"G\".\"I\" = 2 OR "
                       "jet_like('#', (-\"I\" + 1))"));
    // A "like" inside a literal or a name is text.
    EXPECT_EQ(PgSql::FromEngineSql(QStringLiteral("SELECT 'x LIKE y' AS \"LIKE\"")).sql,
              QStringLiteral("SELECT 'x LIKE y' AS \"LIKE\""));
}

TEST(ServerSql, OrdersSortAsOnSqlite)
{
    // Groups come back in order, columns sort as GENERAL does, Nulls first.
    EXPECT_EQ(
        PgSql::FromEngineSql(QStringLiteral("SELECT \"T\".\"A\", Count(*) FROM \"T\" GROUP BY \"T\".\"A\""))
            .sql,
        QStringLiteral(
            "SELECT \"T\".\"A\", Count(*) AS \"Count(*)\" FROM \"T\" GROUP BY \"T\".\"A\" ORDER BY "
            "jet_order(\"T\".\"A\") NULLS FIRST"));
    EXPECT_EQ(
        PgSql::FromEngineSql(
            QStringLiteral("SELECT \"T\".\"A\" FROM \"T\" ORDER BY \"T\".\"A\" DESC, 2 LIMIT 3"))
            .sql,
        QStringLiteral(
            "SELECT \"T\".\"A\" FROM \"T\" ORDER BY jet_order(\"T\".\"A\") DESC NULLS LAST, 2 NULLS FIRST "
            "LIMIT 3"));
    // Where an order may name only selected columns, and for what is no column.
    EXPECT_EQ(
        PgSql::FromEngineSql(QStringLiteral("SELECT DISTINCT \"T\".\"A\" FROM \"T\" ORDER BY \"T\".\"A\""))
            .sql,
        QStringLiteral("SELECT DISTINCT \"T\".\"A\" FROM \"T\" ORDER BY \"T\".\"A\" NULLS FIRST"));
    EXPECT_EQ(PgSql::FromEngineSql(QStringLiteral("SELECT c.relname FROM pg_class c ORDER BY c.relname")).sql,
              QStringLiteral("SELECT c.relname FROM pg_class c ORDER BY c.relname NULLS FIRST"));
    EXPECT_EQ(PgSql::FromEngineSql(QStringLiteral("SELECT * FROM \"T\" WHERE 1")).sql,
              QStringLiteral("SELECT * FROM \"T\" WHERE (1 <> 0)"));
}

TEST(ServerSql, ADerivedTableWithoutANameGetsOne)
{
    EXPECT_EQ(
        PgSql::FromEngineSql(QStringLiteral("SELECT Count(*) FROM (SELECT DISTINCT \"A\" FROM \"T\")")).sql,
        QStringLiteral(
            "SELECT Count(*) AS \"Count(*)\" FROM (SELECT DISTINCT \"A\" FROM \"T\") AS qrl_derived1"));
    // Named ones, and subqueries that are no table, stay as they are.
    for (const char* sql : {"SELECT x.a FROM (SELECT 1 AS a) AS x", "SELECT x.a FROM (SELECT 1 AS a) x",
                            "SELECT \"A\" FROM \"T\" WHERE \"A\" IN (SELECT 1) AND EXISTS (SELECT 2)"})
        EXPECT_EQ(PgSql::FromEngineSql(QString::fromUtf8(sql)).sql, QString::fromUtf8(sql));
    EXPECT_EQ(
        PgSql::FromEngineSql(QStringLiteral("SELECT \"A\" FROM \"T\" INNER JOIN (SELECT 1 AS b) ON 1=1 WHERE "
                                            "\"A\" IN (SELECT 1 FROM (SELECT 2))"))
            .sql,
        QStringLiteral(
            "SELECT \"A\" FROM \"T\" INNER JOIN (SELECT 1 AS b) AS qrl_derived1 ON 1=1 WHERE \"A\" IN "
            "(SELECT 1 FROM (SELECT 2) AS qrl_derived2)"));
}

TEST(ServerSql, SqliteStatementsOfTheProgramsReachTheServerInItsForms)
{
    // Names without quotes keep their case; SQL's words, functions and types stay as they are.
    EXPECT_EQ(
        PgSql::FromEngineSql(QStringLiteral("SELECT RelativePathId, count(*) FROM File INDEXED BY File_Key "
                                            "WHERE CatalogueId=? AND TTH IS NOT NULL AND x::text <> '' "
                                            "ORDER BY CatalogueId LIMIT 1"))
            .sql,
        QStringLiteral("SELECT \"RelativePathId\", count(*) AS \"count(*)\" FROM \"File\"  "
                       "WHERE \"CatalogueId\"=$1 AND \"TTH\" IS NOT NULL AND x::text <> '' "
                       "ORDER BY \"CatalogueId\" NULLS FIRST LIMIT 1"));
    EXPECT_EQ(PgSql::FromEngineSql(QStringLiteral("SELECT a FROM t NOT INDEXED WHERE Null IS NULL")).sql,
              QStringLiteral("SELECT a FROM t  WHERE Null IS NULL"));
}

TEST(ServerSql, ServerAddressesAreToldFromFilesAndShownWithoutPasswords)
{
    EXPECT_TRUE(PgSql::IsServerAddress(QStringLiteral("postgresql://team@db.example/catalogue")));
    EXPECT_TRUE(PgSql::IsServerAddress(QStringLiteral("host=/run/postgresql dbname=team")));
    EXPECT_TRUE(PgSql::IsServerAddress(QStringLiteral("dbname='my team' user=x")));
    EXPECT_FALSE(PgSql::IsServerAddress(QStringLiteral("/home/a/host=1.qrl")));
    EXPECT_FALSE(PgSql::IsServerAddress(QStringLiteral("my catalogue.qrl")));
    EXPECT_FALSE(PgSql::IsServerAddress(QStringLiteral("postgresql.qrl")));
    EXPECT_EQ(PgSql::DisplayAddress(QStringLiteral("postgresql://ann:s3cret@db/cat")),
              QStringLiteral("postgresql://ann@db/cat"));
    EXPECT_EQ(PgSql::DisplayAddress(QStringLiteral("host=db password='a b' dbname=cat")),
              QStringLiteral("host=db password=*** dbname=cat"));
    EXPECT_EQ(PgSql::DisplayAddress(QStringLiteral("postgresql://db/cat?password=x&sslmode=require")),
              QStringLiteral("postgresql://db/cat?password=***&sslmode=require"));
}
