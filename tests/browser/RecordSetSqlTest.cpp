#include "browser/RecordSetSql.h"

#include <gtest/gtest.h>

namespace
{
CDataCtrlDescriptor SqlField(const QString& name, int priority = 0)
{
    CDataCtrlDescriptor d;
    d.m_strFieldName = name;
    d.m_strCaption = name.section(QLatin1Char('.'), 1);
    d.m_nSortPriority = priority;
    return d;
}

// A list of File.File, File.FileSizeDouble and File.FileId with a column for each.
CRecordSetSql List(const QString& sql, bool fileIdIsSecondary)
{
    CRecordSetSql list;
    list.SetUserName(QStringLiteral("O'Brien"));
    list.SetSQL(sql);
    for (const CDataCtrlDescriptor& f : {SqlField("File.File"), SqlField("File.FileSizeDouble"),
                                         SqlField("File.FileId", fileIdIsSecondary ? 1 : 0)})
    {
        list.AddField(f);
        CDataCtrlDescriptor column = f;
        column.m_nFieldIndex = static_cast<int>(list.Fields().size()) - 1;
        list.AddColumn(column);
    }
    return list;
}
} // namespace

TEST(RecordSetSqlTest, StatementsAndTheirOrder)
{
    const struct
    {
        const char* sql;
        bool secondary;
        std::vector<int> clicks;
        const char* expected;
    } cases[] = {
        // No ORDER BY anywhere: none, and nothing trailing.
        {"SELECT * FROM File WHERE File.FileId > 3;  \r\n",
         false,
         {},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File WHERE File.FileId > 3"},
        {"SELECT * FROM File", false, {}, "SELECT File.File, File.FileSizeDouble, File.FileId FROM File"},
        // The statement's own ORDER BY when nothing is sorted.
        {"SELECT * FROM File ORDER BY File.File;",
         false,
         {},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.File"},
        // A secondary sort key replaces it.
        {"SELECT * FROM File ORDER BY File.File;",
         true,
         {},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.FileId"},
        // A header click sorts by the column, then the secondary keys.
        {"SELECT * FROM File",
         true,
         {1},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.FileSizeDouble, "
         "File.FileId"},
        // Twice: DESC on every item.
        {"SELECT * FROM File",
         true,
         {1, 1},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.FileSizeDouble DESC, "
         "File.FileId DESC"},
        // Three times without grouping: ascending again.
        {"SELECT * FROM File",
         true,
         {1, 1, 1},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.FileSizeDouble, "
         "File.FileId"},
        // The sorted column is not repeated as a secondary key.
        {"SELECT * FROM File",
         true,
         {2, 2},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.FileId DESC"},
        // Another column starts ascending.
        {"SELECT * FROM File",
         false,
         {1, 1, 0},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File ORDER BY File.File"},
        // The user's name, quoted.
        {"SELECT * FROM File WHERE Owner=GetUserName()",
         false,
         {},
         "SELECT File.File, File.FileSizeDouble, File.FileId FROM File WHERE Owner='O''Brien'"},
    };
    for (const auto& c : cases)
    {
        CRecordSetSql list = List(QString::fromLatin1(c.sql), c.secondary);
        for (int column : c.clicks)
            EXPECT_TRUE(list.HeaderClick(column));
        EXPECT_EQ(list.BuildSelect().toStdString(), std::string(c.expected)) << c.sql;
    }
}

TEST(RecordSetSqlTest, GroupingAndTheHeaderRule)
{
    CRecordSetSql list = List(QStringLiteral("SELECT * FROM File ORDER BY File.File"), false);
    EXPECT_EQ(CRecordSetSql::ParseGroupingItems(
                  QStringLiteral("ORDER BY File.FileSize,\tFile.TTH, [File].File;\r\n")),
              std::make_pair(QStringList({"FileSize", "TTH", "File"}),
                             QStringList({"File.FileSize", "File.TTH", "[File].File"})));
    EXPECT_TRUE(CRecordSetSql::ParseGroupingItems(QStringLiteral("File.FileSize")).first.isEmpty())
        << "no grouping without ORDER BY";

    list.SetGrouping(QStringLiteral("ORDER BY File.FileSize DESC, File.TTH, File.File"), 2);
    EXPECT_TRUE(list.IsGroupedOrder());
    EXPECT_EQ(list.DecideOrderBy(), QStringLiteral("ORDER BY File.FileSize DESC, File.TTH, File.File"));
    EXPECT_EQ(list.KeyStatement(),
              QStringLiteral("SELECT File.FileId, File.FileSize, File.TTH FROM File ORDER BY "
                             "File.FileSize DESC, File.TTH, File.File"));
    EXPECT_EQ(list.KeyStatementGroupValues(), 2);
    EXPECT_EQ(list.SortImage(0), 0);

    // Header clicks: ascending, descending, back to the grouped order (the column stays).
    const struct
    {
        int column;
        int sortColumn;
        bool grouped;
        int image;
    } clicks[] = {{0, 1, false, 1}, {0, -1, false, 2}, {0, -1, true, 0}, {0, 1, false, 1}, {1, 2, false, 1}};
    for (const auto& c : clicks)
    {
        EXPECT_TRUE(list.HeaderClick(c.column));
        EXPECT_EQ(list.SortColumn(), c.sortColumn);
        EXPECT_EQ(list.IsGroupedOrder(), c.grouped);
        EXPECT_EQ(list.SortImage(c.column), c.image);
    }
    EXPECT_EQ(list.KeyStatement(),
              QStringLiteral("SELECT File.FileId FROM File ORDER BY File.FileSizeDouble"));

    // The view's sort requests follow the same rule; repeating the current order does nothing.
    EXPECT_FALSE(list.Sort(1, Qt::AscendingOrder));
    EXPECT_TRUE(list.Sort(1, Qt::DescendingOrder));
    EXPECT_EQ(list.SortColumn(), -2);
    EXPECT_TRUE(list.Sort(1, Qt::AscendingOrder)) << "descending and grouped: back to the groups";
    EXPECT_TRUE(list.IsGroupedOrder());
    EXPECT_TRUE(list.Sort(2, Qt::DescendingOrder)) << "a new column sorts ascending";
    EXPECT_EQ(list.SortColumn(), 3);
    EXPECT_TRUE(list.Sort(-1, Qt::AscendingOrder));
    EXPECT_TRUE(list.IsGroupedOrder());
    EXPECT_FALSE(list.HeaderClick(7)) << "no such column";
    list.SetSortingAllowed(false);
    EXPECT_FALSE(list.HeaderClick(0));
}

TEST(RecordSetSqlTest, WherePartsPagesAndFinds)
{
    const struct
    {
        const char* where;
        const char* condition;
        const char* expected;
    } wheres[] = {
        {"", "File.Deleted=True", "WHERE File.Deleted=True"},
        {"", "WHERE   File.Deleted=True", "WHERE File.Deleted=True"},
        {"WHERE File.Ghost=False", "File.Deleted=True", "WHERE File.Deleted=True AND File.Ghost=False"},
    };
    for (const auto& w : wheres)
    {
        CRecordSetSql list;
        list.SetWhere(QString::fromLatin1(w.where));
        list.AddWhere(QString::fromLatin1(w.condition));
        EXPECT_EQ(list.Where().toStdString(), std::string(w.expected)) << w.where << " + " << w.condition;
    }

    CRecordSetSql list =
        List(QStringLiteral("SELECT * FROM File WHERE (File.Deleted=False) ORDER BY File.File"), true);
    EXPECT_EQ(list.PageStatement(3).toStdString(),
              std::string("SELECT File.FileId, File.File, File.FileSizeDouble, File.FileId FROM "
                          "File WHERE (File.FileId IN (?1, ?2, ?3)) AND ((File.Deleted=False))"));
    EXPECT_EQ(
        list.FindStatement(QStringLiteral("File LIKE 'a*'")).toStdString(),
        std::string(
            "SELECT DataCtrlKey FROM (SELECT File.FileId AS DataCtrlKey, File.File, File.FileSizeDouble, "
            "File.FileId FROM File WHERE (File.Deleted=False)) WHERE File LIKE 'a*'"));
    // Columns named by their tables are found where the tables are; names in literals do not count.
    EXPECT_EQ(list.FindStatement(QStringLiteral("(File.File LIKE 'a*')")).toStdString(),
              std::string("SELECT File.FileId AS DataCtrlKey FROM File WHERE ((File.File LIKE 'a*')) AND "
                          "(File.Deleted=False)"));
    EXPECT_EQ(
        list.FindStatement(QStringLiteral("File LIKE 'a.b'")).toStdString(),
        std::string(
            "SELECT DataCtrlKey FROM (SELECT File.FileId AS DataCtrlKey, File.File, File.FileSizeDouble, "
            "File.FileId FROM File WHERE (File.Deleted=False)) WHERE File LIKE 'a.b'"));
    EXPECT_EQ(list.ResolveUser(QStringLiteral("User=[ParamUserName] OR User=GetUserName()")),
              QStringLiteral("User='O''Brien' OR User='O''Brien'"));
    EXPECT_EQ(list.FieldIndex(QStringLiteral("FileSizeDouble")), 1);
    EXPECT_EQ(list.FieldIndex(QStringLiteral("file.fileid")), 2);
    EXPECT_EQ(list.FieldIndex(QStringLiteral("Nothing")), -1);
    EXPECT_FALSE(list.AddField(SqlField("FILE.FILE"))) << "a field of the same name is not added twice";
}
