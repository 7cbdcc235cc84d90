#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/JetSql.h"
#include "database/JetText.h"
#include "platform/ProgramInfo.h"

#include <algorithm>

TEST(JetLike, MatchesJetWildcardsWithoutRegardToCase)
{
    const struct
    {
        const char* value;
        const char* pattern;
        bool match;
    } cases[] = {
        {"Holiday.JPG", "*.jpg", true},
        {"holiday.jpeg", "*.jpg", false},
        {"a", "*", true},
        {"", "*", true},
        {"", "?", false},
        {"cat", "c?t", true},
        {"ct", "c?t", false},
        {"file7.txt", "file#.txt", true},
        {"fileX.txt", "file#.txt", false},
        {"apple", "[a]*", true},
        {"Apple", "[a]*", true},
        {"banana", "[a]*", false},
        {"banana", "[!a]*", true},
        {"apple", "[!a]*", false},
        {"m", "[a-z]", true},
        {"M", "[a-z]", true},
        {"5", "[a-z]", false},
        {"'quoted", "'*", true},
        {"100%", "100%", true},
        {"100x", "100%", false},
        {"a_b", "a_b", true},
        {"axb", "a_b", false},
        {"star*name", "star[*]name", true},
        {"starXname", "star[*]name", false},
        {"[x", "[x", true},
        {"ÉCOLE.txt", "école*", true},
        {"straße", "STRASSE", false},
        {"ΣΟΦΙΑ", "σοφια", true},
        {"aaa", "*a*a*a*", true},
        {"aa", "*a*a*a*", false},
        {"abcabd", "*abd", true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.value) + " LIKE " + c.pattern);
        EXPECT_EQ(JetText::LikeMatch(QString::fromUtf8(c.value), QString::fromUtf8(c.pattern)), c.match);
    }
}

TEST(JetLike, EscapedTextMatchesOnlyItself)
{
    for (const QString& name : {QStringLiteral("it's \"x\".txt"), QStringLiteral("[draft]*#1?.doc"),
                               QStringLiteral("100% [!a-z]")})
    {
        EXPECT_TRUE(JetText::LikeMatch(name, CJetSql::EscapeLike(name))) << name.toStdString();
        EXPECT_FALSE(JetText::LikeMatch(name + QLatin1Char('x'), CJetSql::EscapeLike(name)));
        EXPECT_FALSE(JetText::LikeMatch(QStringLiteral("Z") + name.mid(1), CJetSql::EscapeLike(name)));
    }
}

TEST(JetText, GeneralOrderIgnoresCaseForAllOfUnicode)
{
    EXPECT_EQ(JetText::CompareGeneral(QStringLiteral("ÄPFEL"), QStringLiteral("äpfel")), 0);
    EXPECT_EQ(JetText::CompareGeneral(QStringLiteral("ΑΒΓ"), QStringLiteral("αβγ")), 0);
    EXPECT_LT(JetText::CompareGeneral(QStringLiteral("apple"), QStringLiteral("Banana")), 0);
    EXPECT_GT(JetText::CompareGeneral(QStringLiteral("b"), QStringLiteral("A")), 0);
    EXPECT_LT(JetText::CompareGeneral(QStringLiteral("ab"), QStringLiteral("ABC")), 0);
    // The UTF-8 fast path and the Unicode path agree.
    const QStringList words = {QStringLiteral("Zebra"), QStringLiteral("apple"), QStringLiteral("Äpfel"),
                               QStringLiteral("APPLE"), QStringLiteral("zebra2"), QStringLiteral("école"),
                               QStringLiteral("Ecole"), QStringLiteral("_x"), QStringLiteral("1"),
                               // ASCII stretches that end in a letter beyond ASCII, in either case
                               QStringLiteral("Films\\Ärger"), QStringLiteral("films\\ärger"),
                               QStringLiteral("FILMS\\B"), QStringLiteral("Films"), QStringLiteral("films\\Ä")};
    for (const QString& a : words)
        for (const QString& b : words)
        {
            const QByteArray ua = a.toUtf8();
            const QByteArray ub = b.toUtf8();
            const int fast = JetText::CompareGeneralUtf8(ua.constData(), int(ua.size()), ub.constData(), int(ub.size()));
            EXPECT_EQ(fast, JetText::CompareGeneral(a, b)) << a.toStdString() << " " << b.toStdString();
        }
}

// The dialect on real tables: each construct is run and its rows compared.
class JetSqlTest : public BothEnginesFixture
{
protected:
    void SetUp() override
    {
        BothEnginesFixture::SetUp();
        if (!Ready())
            return;
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Media', 0)"));
        m_db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (1, 1, \"Disk One\")"));
        m_db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 2, 'disk two')"));
        m_db.Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (1, 'Photos')"));
        m_db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (1, 'edited')"));
        const struct
        {
            int cat, rel, id;
            const char* name;
            int size;
            const char* when;
            bool deleted;
            int info;
        } files[] = {
            {1, 0, 1, "apple.txt", 10, "#01/02/2020 10:00:00#", false, 0},
            {1, 1, 2, "Banana.JPG", 2000, "#12/31/2021 23:59:59#", false, 1},
            {1, 1, 3, "'quoted.txt", 30, "#06/15/2019 08:30:00#", false, 0},
            {2, 0, 4, "cherry.txt", 40, "#03/04/2022 00:00:00#", true, 0},
            {2, 1, 5, "Äpfel.txt", 50, "#03/04/2022 12:00:00#", false, 0},
        };
        for (const auto& f : files)
            m_db.Execute(QStringLiteral("INSERT INTO [File] (CatalogueId, RelativePathId, FileId, [File], FileSize, "
                                        "FileSizeDouble, LastModified, Deleted, FileInfoId) VALUES (%1, %2, %3, ?, %4, %4, %5, %6, %7)")
                             .arg(f.cat).arg(f.rel).arg(f.id).arg(f.size)
                             .arg(QString::fromUtf8(f.when), f.deleted ? QStringLiteral("TRUE") : QStringLiteral("false"))
                             .arg(f.info ? QString::number(f.info) : QStringLiteral("Null")),
                         {CDbValue(QString::fromUtf8(f.name))});
    }

    QStringList Ids(const QString& where, const QString& order = QStringLiteral("File.FileId"))
    {
        return Rows(QStringLiteral("SELECT File.FileId FROM [File] WHERE ") + where + QStringLiteral(" ORDER BY ") + order);
    }
};

QUARRANE_ON_BOTH_ENGINES(JetSqlTest);

TEST_P(JetSqlTest, ConditionsSelectTheRightRows)
{
    const struct
    {
        const char* where;
        QStringList ids;
    } cases[] = {
        {"File.File LIKE '[a]*'", {"1"}}, // Ä is not a
        {"File.File LIKE '''*'", {"3"}},
        {"File.File LIKE \"*.jpg\"", {"2"}},
        {"File.File NOT LIKE '*.txt'", {"2"}},
        {"File.File LIKE 'cherr?.txt'", {"4"}},
        {"[File].[File]='APPLE.TXT'", {"1"}},
        {"File!File = \"äpfel.txt\"", {"5"}},
        {"(File.Deleted)=True", {"4"}},
        {"File.Deleted=FALSE AND File.CatalogueId=2", {"5"}},
        {"File.FileInfoId Is Null", {"1", "3", "4", "5"}},
        {"File.FileInfoId Is Not Null", {"2"}},
        {"File.LastModified > #12/31/2021 23:59:58#", {"2", "4", "5"}},
        {"File.LastModified = #3/4/2022#", {"4"}},
        {"Len([File].[File])>9", {"2", "3", "4"}},
        {"File.File = 'apple' & \".txt\"", {"1"}},
        {"File.File LIKE \"*\" & 'an' & \"*\"", {"2"}},
        {"(File.FileId=2 OR File.FileId=4) AND NOT File.Deleted=True", {"2"}},
        {"File.FileId=3", {"3"}},
        {"FileId=5", {"5"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.where);
        EXPECT_EQ(Ids(QString::fromUtf8(c.where)), c.ids);
    }
}

TEST_P(JetSqlTest, ConcatenationTreatsNullAsEmptyText)
{
    EXPECT_EQ(Rows(QStringLiteral("SELECT RelativePath.RelativePath & '\\' & File.File FROM RelativePath RIGHT JOIN File "
                                  "ON RelativePath.RelativePathId = File.RelativePathId WHERE File.FileId <= 2 ORDER BY File.FileId")),
              (QStringList{QStringLiteral("\\apple.txt"), QStringLiteral("Photos\\Banana.JPG")}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT Null & Null, 1 + 2 & 'x', (1 & 2) & 3")),
              QStringList{QStringLiteral("<null>|3x|123")});
}

TEST_P(JetSqlTest, OrderingIgnoresCaseAndDescReverses)
{
    EXPECT_EQ(Rows(QStringLiteral("SELECT File.File FROM [File] WHERE File.Deleted=False ORDER BY File.File")),
              (QStringList{QStringLiteral("'quoted.txt"), QStringLiteral("apple.txt"), QStringLiteral("Banana.JPG"),
                           QStringLiteral("Äpfel.txt")}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT [Catalogue].[Catalogue] FROM Catalogue ORDER BY Catalogue.Catalogue DESC")),
              (QStringList{QStringLiteral("disk two"), QStringLiteral("Disk One")}));
}

TEST_P(JetSqlTest, NestedJoinsGroupingAndUnbracketedReservedNames)
{
    // The statements the programs use, as written.
    EXPECT_EQ(Rows(QStringLiteral("SELECT RelativePath.RelativePath FROM RelativePath RIGHT JOIN File ON "
                                  "RelativePath.RelativePathId = File.RelativePathId WHERE ((File.CatalogueId=1)) "
                                  "GROUP BY RelativePath.RelativePath;")),
              (QStringList{QStringLiteral("<null>"), QStringLiteral("Photos")}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT Catalogue.Catalogue, [RelativePath].[RelativePath], File.File, FileInfo.Description "
                                  "FROM FileInfo RIGHT JOIN ((Catalogue INNER JOIN (RelativePath RIGHT JOIN File ON "
                                  "[RelativePath].[RelativePathId]=[File].[RelativePathId]) ON "
                                  "[Catalogue].[CatalogueId]=[File].[CatalogueId]) LEFT JOIN FileUserSelect ON "
                                  "[File].[FileId]=[FileUserSelect].[FileId]) ON [FileInfo].[FileInfoId]=[File].[FileInfoId] "
                                  "WHERE (((File.Deleted)=False) AND ((FileUserSelect.User)=GetUserName() Or "
                                  "(FileUserSelect.User) Is Null)) ORDER BY [Catalogue].[Catalogue], "
                                  "[RelativePath].[RelativePath], [File].[File];")),
              (QStringList{QStringLiteral("Disk One|<null>|apple.txt|<null>"),
                           QStringLiteral("Disk One|Photos|'quoted.txt|<null>"),
                           QStringLiteral("Disk One|Photos|Banana.JPG|edited"),
                           QStringLiteral("disk two|Photos|Äpfel.txt|<null>")}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId, Group, ParentGroupId FROM [Group]")),
              QStringList{QStringLiteral("1|Media|0")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT IndexId.IndexId, IndexId.Index FROM IndexId WHERE "
                                  "((IndexId.Index=\"FileListFieldView_FileListFieldViewId\"));")),
              QStringList{QStringLiteral("6|FileListFieldView_FileListFieldViewId")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT Catalogue.CatalogueId FROM [Catalogue] WHERE (Catalogue.Catalogue=\"DISK ONE\")")),
              QStringList{QStringLiteral("1")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileListFieldViewField.Order FROM FileListFieldViewField WHERE "
                                  "FileListFieldViewId=4 ORDER BY [Order] DESC")).first(),
              QStringLiteral("6"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT File.CatalogueId, Count(*) FROM File GROUP BY File.CatalogueId ORDER BY File.CatalogueId")),
              (QStringList{QStringLiteral("1|3"), QStringLiteral("2|2")}));
}

TEST_P(JetSqlTest, CheckedCatalogueListThroughFourNestedJoins)
{
    m_db.Execute(QStringLiteral("INSERT INTO CatalogueUserSelect (CatalogueId, [User], CatalogueSelect) VALUES (2, GetUserName(), True)"));
    m_db.Execute(QStringLiteral("INSERT INTO CatalogueUserSelect (CatalogueId, [User], CatalogueSelect) VALUES (1, 'bob', True)"));
    m_db.Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (5, 'bob', True)"));
    const QString sql = QStringLiteral(
        "SELECT Catalogue.Catalogue, [RelativePath].[RelativePath], File.File, FileUserSelect.Mark FROM RelativePath RIGHT JOIN "
        "(FileInfo RIGHT JOIN (((Catalogue INNER JOIN CatalogueUserSelect ON [Catalogue].[CatalogueId]=[CatalogueUserSelect].[CatalogueId]) "
        "INNER JOIN File ON [Catalogue].[CatalogueId]=[File].[CatalogueId]) LEFT JOIN FileUserSelect ON "
        "[File].[FileId]=[FileUserSelect].[FileId]) ON [FileInfo].[FileInfoId]=[File].[FileInfoId]) ON "
        "[RelativePath].[RelativePathId]=[File].[RelativePathId] WHERE (((File.Deleted)=False) AND "
        "((FileUserSelect.User)=GetUserName() Or (FileUserSelect.User) Is Null) AND "
        "((CatalogueUserSelect.CatalogueSelect)=True) AND ((CatalogueUserSelect.User)=GetUserName())) "
        "ORDER BY [Catalogue].[Catalogue], [RelativePath].[RelativePath], [File].[File];");
    // alice checked disk two; bob's mark on its file is not hers.
    EXPECT_EQ(Rows(sql), QStringList());
    m_db.SetUserName(QStringLiteral("bob"));
    EXPECT_EQ(Rows(sql), (QStringList{QStringLiteral("Disk One|<null>|apple.txt|<null>"),
                                      QStringLiteral("Disk One|Photos|'quoted.txt|<null>"),
                                      QStringLiteral("Disk One|Photos|Banana.JPG|<null>")}));
    m_db.SetUserName(QStringLiteral("ALICE"));
    m_db.Execute(QStringLiteral("DELETE FROM FileUserSelect"));
    EXPECT_EQ(Rows(sql), QStringList{QStringLiteral("disk two|Photos|Äpfel.txt|<null>")});
}

TEST_P(JetSqlTest, StrCompFindsTextInItsExactCase)
{
    m_db.Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (2, 'PHOTOS')"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT RelativePathId FROM RelativePath WHERE RelativePath='photos' ORDER BY RelativePathId")),
              (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT RelativePathId FROM RelativePath WHERE RelativePath=\"PHOTOS\" AND "
                                  "StrComp(RelativePath, \"PHOTOS\", 0)=0")),
              QStringList{QStringLiteral("2")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT StrComp('a', 'B'), StrComp('a', 'B', 0), StrComp('x', 'X'), StrComp(Null, 'x')")),
              QStringList{QStringLiteral("-1|1|0|<null>")});
}

TEST_P(JetSqlTest, UpdateAndDeleteStatements)
{
    EXPECT_EQ(m_db.Execute(QStringLiteral("UPDATE [File] SET File.Deleted = True, [File].TTH = \"T\" & File.FileId WHERE File.FileSize >= 40 AND File.FileSize < 1000")), 2);
    EXPECT_EQ(Ids(QStringLiteral("File.Deleted=TRUE AND File.TTH LIKE 'T#'")), (QStringList{QStringLiteral("4"), QStringLiteral("5")}));
    EXPECT_EQ(m_db.Execute(QStringLiteral("DELETE * FROM [File] WHERE File.Deleted=True")), 2);
    EXPECT_EQ(m_db.Execute(QStringLiteral("DELETE File.* FROM File WHERE FileId=1")), 1);
    EXPECT_EQ(m_db.Execute(QStringLiteral("DELETE FROM File WHERE FileId=2;")), 1);
    EXPECT_EQ(Ids(QStringLiteral("TRUE")), QStringList{QStringLiteral("3")});
}

TEST(JetUser, GetUserNameIsTheLoginNameUnlessOverridden)
{
    const QByteArray saved = qgetenv("QUARRANE_USER");
    qunsetenv("QUARRANE_USER");
    EXPECT_EQ(CDbDatabase::DefaultUserName(), CurrentLoginName());
    qputenv("QUARRANE_USER", "scripted-user");
    EXPECT_EQ(CDbDatabase::DefaultUserName(), QStringLiteral("scripted-user"));
    CDbDatabase db;
    EXPECT_EQ(db.UserName(), QStringLiteral("scripted-user"));
    if (saved.isNull())
        qunsetenv("QUARRANE_USER");
    else
        qputenv("QUARRANE_USER", saved);
}

TEST_P(JetSqlTest, GetUserNameIsTheConnectionsUser)
{
    m_db.Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (1, GetUserName(), True)"));
    m_db.SetUserName(QStringLiteral("bob"));
    m_db.Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (2, GetUserName(), True)"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileId FROM FileUserSelect WHERE FileUserSelect.User=getusername()")),
              QStringList{QStringLiteral("2")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileId FROM FileUserSelect WHERE FileUserSelect.User='ALICE'")),
              QStringList{QStringLiteral("1")});
}

TEST_P(JetSqlTest, UnreadableTextIsASyntaxError)
{
    for (const char* sql : {"SELECT [File FROM File", "SELECT * FROM File WHERE LastModified=#13/45/2020#",
                            "SELECT * FROM File WHERE File = \"open", "SELECT 'a' & FROM File",
                            "SELECT * FROM File WHERE LastModified > #1/1/2020"})
    {
        try
        {
            m_db.Prepare(QString::fromUtf8(sql));
            ADD_FAILURE() << sql;
        }
        catch (const CDbException& e)
        {
            EXPECT_EQ(e.m_nErrorCode, 3075) << sql;
        }
    }
}

// Names made of quote marks, brackets and wildcards reach the engine only through the quoting
// helpers or as bound values, and every statement kind still does exactly what it should.
TEST_P(JetSqlTest, HostileNamesNeverChangeAStatement)
{
    const QStringList names = {QStringLiteral("it's \"x\".txt"), QStringLiteral("O'Brien"), QStringLiteral("*"),
                               QStringLiteral("[a]"), QStringLiteral("100%"), QStringLiteral("#1 \"best\""),
                               QStringLiteral("x' OR '1'='1"), QStringLiteral("a]; DROP TABLE [File]; --")};
    int id = 100;
    for (const QString& name : names)
    {
        SCOPED_TRACE(name.toStdString());
        ++id;
        // INSERT with the name quoted by the helper, in both quote styles.
        m_db.Execute(QStringLiteral("INSERT INTO [File] (CatalogueId, FileId, [File], FileSize, FileSizeDouble) VALUES (2, %1, %2, 0, 0)")
                         .arg(id)
                         .arg(CJetSql::QuoteText(name, id % 2 ? QLatin1Char('"') : QLatin1Char('\''))));
        // SELECT by equality, by LIKE, and bound.
        EXPECT_EQ(Ids(QStringLiteral("File.File=") + CJetSql::QuoteText(name)), QStringList{QString::number(id)});
        EXPECT_EQ(Ids(QStringLiteral("File.File LIKE ") + CJetSql::QuoteText(CJetSql::EscapeLike(name))),
                  QStringList{QString::number(id)});
        CDbStatement bound = m_db.Prepare(QStringLiteral("SELECT FileId FROM [File] WHERE [File]=:name"));
        bound.Bind(QStringLiteral("name"), name);
        ASSERT_TRUE(bound.Step());
        EXPECT_EQ(bound.Value(0).ToLong(), id);
        // UPDATE and DELETE touch that row alone.
        EXPECT_EQ(m_db.Execute(QStringLiteral("UPDATE [File] SET TTH='x' WHERE [File]=") + CJetSql::QuoteText(name, QLatin1Char('"'))), 1);
        EXPECT_EQ(m_db.Execute(QStringLiteral("DELETE FROM [File] WHERE [File]=") + CJetSql::QuoteText(name) +
                               QStringLiteral(" AND TTH='x'")), 1);
    }
    EXPECT_EQ(Ids(QStringLiteral("TRUE")).size(), 5);
    // A table name in brackets from the helper.
    m_db.ExecuteSqliteScript(QStringLiteral("CREATE TABLE \"odd]name\" (x INTEGER)"));
    m_db.Execute(QStringLiteral("INSERT INTO ") + CJetSql::QuoteName(QStringLiteral("odd]name")) + QStringLiteral(" (x) VALUES (1)"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM ") + CJetSql::QuoteName(QStringLiteral("odd]name"))), QStringList{QStringLiteral("1")});
}
