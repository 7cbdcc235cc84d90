#include "../models/ModelFixture.h"
#include "SearchParam.h"

#include "browser/RecordSetList.h"
#include "browser/models/FieldViewColumns.h"
#include "browser/search/FindSession.h"
#include "browser/search/MagnetLink.h"

#include <algorithm>

namespace
{
const QString kTth = QStringLiteral("LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ");
} // namespace

// Searches run on a real catalogue: each fragment is valid SQL that finds what it says.
class FindSessionTest : public ModelFixture
{
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        // Files 101 to 106 in catalogue Disk; the folder "Old\Trash" holds the word "trash".
        Sql(QStringLiteral(
            "INSERT INTO \"File\" (CatalogueId, RelativePathId, FileId, \"File\", AlternateFile, FileSize, "
            "FileSizeHigh, FileSizeDouble, LastModified, TTH, Deleted) VALUES "
            "(1, 0, 101, 'd''e.txt', NULL, 5, 1, 4294967301, '2026-03-04 00:00:00', NULL, 0), "
            "(1, 0, 102, 'C# notes [draft].txt', NULL, 1048576, 0, 1048576, '2026-03-04 23:59:59', "
            "'LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ', 0), "
            "(1, 5, 103, 'kept.bin', NULL, 10, 0, 10, '2026-03-05 00:00:00', NULL, 0), "
            "(1, 1, 104, 'song.mp3', 'TRASHY~1.MP3;  ', 10, 0, 10, '2026-03-03 23:59:59', NULL, 0), "
            "(1, 1, 105, 'plain.txt', NULL, 10, 0, 10, '2026-01-01 00:00:00', NULL, 0), "
            "(1, 1, 106, 'trash d''e.txt', NULL, 10, 0, 10, '2026-01-01 00:00:00', NULL, 1)"));
        m_fields = LoadSearchableFields(m_db);
    }

    // The FileIds a search of Search All finds, with condition made from params.
    std::vector<qint32> SearchAll(const std::vector<SQueryFieldParam>& params)
    {
        const SConditionFragment condition = CombinedCondition(params, QDateTime::currentDateTime());
        EXPECT_TRUE(condition.IsValid()) << condition.strError.toStdString();
        const QString sql = SearchStatement(DefaultSearchSql(m_db, false), condition.strFragment,
                                            QStringLiteral("File.FileId"), QStringLiteral("alice"));
        std::vector<qint32> ids;
        CDbStatement rows = m_db.Prepare(sql);
        while (rows.Step())
            ids.push_back(rows.Value(0).ToLong());
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    const SSearchField& Field(const char* caption)
    {
        const SSearchField* field = FindSearchField(m_fields, QString::fromUtf8(caption));
        EXPECT_TRUE(field) << caption;
        static const SSearchField none;
        return field ? *field : none;
    }

    std::vector<SSearchField> m_fields;
};

TEST_F(FindSessionTest, FragmentsFindWhatTheySay)
{
    QStringList captions;
    for (const SSearchField& field : m_fields)
        captions.append(field.strField);
    EXPECT_EQ(captions, QStringList({"Catalogue", "Volume", "Location", "DriveType",
                                     "FileName/Folder/AlternateFile", "Size", "TTH", "Description",
                                     "Keywords", "Categories", "Notes", "Extension", "Last Modified"}));

    const SSearchField& name = Field("FileName/Folder/AlternateFile");
    using Ids = std::vector<qint32>;
    EXPECT_EQ(SearchAll({Param(name, "Contains", "d'e")}), Ids({101}));
    EXPECT_EQ(SearchAll({Param(name, "Contains", "C# notes [draft]")}), Ids({102}));
    EXPECT_EQ(SearchAll({Param(name, "Contains", "trash")}), Ids({103, 104})) << "folder and alternate name";
    EXPECT_EQ(SearchAll({Param(name, "Does not contain", "trash"), Param(name, "Ends", ".txt")}),
              Ids({101, 102, 105}));
    EXPECT_EQ(SearchAll({Param(Field("TTH"), "=", kTth)}), Ids({102}));
    EXPECT_EQ(SearchAll({Param(Field("Size"), "=", "4294967301", "Bytes")}), Ids({101}));
    EXPECT_EQ(SearchAll({Param(Field("Size"), ">=", "1", "MB"), Param(Field("Catalogue"), "=", "disk")}),
              Ids({101, 102}));

    SQueryFieldParam day = Param(Field("Last Modified"), "Between", "");
    day.dtFrom = QDateTime(QDate(2026, 3, 4), QTime(0, 0, 0));
    day.dtTo = QDateTime(QDate(2026, 3, 4), QTime(23, 59, 59));
    EXPECT_EQ(SearchAll({day}), Ids({101, 102})) << "both ends of the day";

    // The statement keeps its order and its own conditions (deleted files stay out).
    const QString sql = SearchStatement(DefaultSearchSql(m_db, true), QStringLiteral("(File.FileId>0)"),
                                        QStringLiteral("File.FileId"), QStringLiteral("o'hara"));
    EXPECT_TRUE(sql.contains(QStringLiteral("'o''hara'"))) << sql.toStdString();
    EXPECT_TRUE(sql.endsWith(QStringLiteral("[File].[File]"))) << sql.toStdString();
}

TEST_F(FindSessionTest, ModesFindSearchAndRemember)
{
    std::vector<std::pair<EFindMode, QString>> finds;
    bool findResult = true;
    QString shownTitle, shownSql, shownCondition;
    CFindSession session(
        m_ui,
        [&](EFindMode mode, const QString& criterion)
        {
            finds.emplace_back(mode, criterion);
            return findResult;
        },
        [&](const QString& title, const QString& sql, const QString& condition)
        {
            shownTitle = title;
            shownSql = sql;
            shownCondition = condition;
        });
    const SSearchField& size = Field("Size");
    int listA = 0, listB = 0;

    EXPECT_FALSE(
        session.Execute({EFindMode::FindFirst, "empty", {Param(size, ">=", "", "KB")}}, &m_db, &listA))
        << "no condition, no find";
    EXPECT_TRUE(finds.empty());
    EXPECT_FALSE(session.HasCriterion(&listA));

    ASSERT_TRUE(
        session.Execute({EFindMode::FindFirst, "Big", {Param(size, ">=", "1", "MB")}}, &m_db, &listA));
    ASSERT_EQ(finds.size(), 1u);
    EXPECT_EQ(finds[0].first, EFindMode::FindFirst);
    EXPECT_EQ(finds[0].second, QStringLiteral("(File.FileSizeDouble>=1048576.000000)"));
    EXPECT_TRUE(m_ui.StatusTexts().contains(QStringLiteral("Finding First - Big...")));
    EXPECT_TRUE(session.HasCriterion(&listA));
    EXPECT_FALSE(session.HasCriterion(&listB)) << "each list remembers its own find";

    findResult = false;
    EXPECT_FALSE(session.FindNext(&listA));
    EXPECT_EQ(finds.back(), std::make_pair(EFindMode::FindNext, finds[0].second));
    EXPECT_EQ(m_ui.StatusTexts().last(), QStringLiteral("Item not found"));
    EXPECT_FALSE(session.FindNext(&listB));
    EXPECT_EQ(finds.size(), 2u);

    // A value that is no number is said and nothing runs.
    m_ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_FALSE(session.Execute({EFindMode::SearchAll, "Bad", {Param(size, ">=", "1 or 1=1", "Bytes")}},
                                 &m_db, &listA));
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_TRUE(shownTitle.isEmpty());

    const SFindRequest search{EFindMode::SearchChecked, "Old songs", {Param(Field("Extension"), "=", "mp3")}};
    ASSERT_TRUE(session.Execute(search, &m_db, &listA));
    EXPECT_EQ(shownTitle, QStringLiteral("Old songs"));
    EXPECT_TRUE(shownSql.contains(QStringLiteral("CatalogueUserSelect"))) << "the checked catalogues' query";
    EXPECT_EQ(shownCondition, QStringLiteral("( (File.Extension = 'mp3') )"));
    EXPECT_TRUE(m_ui.StatusTexts().contains(QStringLiteral("Searching for - Old songs...")));
    EXPECT_EQ(m_ui.WaitCursorDepth(), 0);
    EXPECT_EQ(session.SearchRequest(QStringLiteral("OLD SONGS")).conditions, search.conditions)
        << "for Edit Find";
    EXPECT_EQ(session.LastSearchTitle(), QStringLiteral("Old songs"));

    // A missing default search is logged and the view opens without SQL of its own.
    Sql(QStringLiteral("DELETE FROM StoredQuery WHERE Name='DefaultSearchAllCataloguesQuery'"));
    CDbDatabase reopened;
    reopened.Open(m_path);
    ASSERT_TRUE(session.Execute({EFindMode::SearchAll, "All", search.conditions}, &reopened, &listA));
    EXPECT_EQ(shownTitle, QStringLiteral("All"));
    EXPECT_TRUE(shownSql.isEmpty());
}

TEST_F(FindSessionTest, MagnetLinksOfFilesWithTth)
{
    EXPECT_EQ(MagnetLinksOfFiles(m_db, {101, 102, 999, 102}),
              QStringLiteral("magnet:?xt=urn:tree:tiger:%1&xl=1048576&dn=C%23%20notes%20%5Bdraft%5D.txt\n"
                             "magnet:?xt=urn:tree:tiger:%1&xl=1048576&dn=C%23%20notes%20%5Bdraft%5D.txt")
                  .arg(kTth));
    EXPECT_TRUE(MagnetLinksOfFiles(m_db, {101, 103}).isEmpty());
}

// The conditions name columns by their tables; a file list finds its rows by them.
TEST_F(FindSessionTest, FileListsFindRowsByTheConditions)
{
    CRecordSetList list;
    list.SetUserName(QStringLiteral("alice"));
    CFieldViewColumns columns;
    ASSERT_TRUE(columns.Load(m_db, QStringLiteral("alice"), QStringLiteral("Query (Default)")));
    columns.ApplyTo(list);
    list.DataCtrl_SetSQL(DefaultSearchSql(m_db, false));
    list.DataCtrl_AddWhere(QStringLiteral("(File.FileId>100)"));
    ASSERT_EQ(list.DataCtrl_Open(&m_db), 0);
    ASSERT_EQ(list.DataCtrl_GetRecordCount(), 5);
    const SConditionFragment txt =
        QueryFieldCondition(Param(Field("FileName/Folder/AlternateFile"), "Ends", ".txt"), {});
    const int first = list.DataCtrl_FindFirst(txt.strFragment);
    ASSERT_GE(first, 0);
    const int next = list.DataCtrl_FindNext(txt.strFragment, first);
    ASSERT_GT(next, first);
    QStringList found;
    for (const int row : {first, next, list.DataCtrl_FindNext(txt.strFragment, next)})
        found.append(row < 0 ? QStringLiteral("none")
                             : list.DataCtrl_GetFieldValue(row, "File.File").ToString());
    found.sort();
    EXPECT_EQ(found, QStringList({"C# notes [draft].txt", "d'e.txt", "plain.txt"}));
    EXPECT_EQ(list.DataCtrl_FindFirst(QueryFieldCondition(Param(Field("TTH"), "=", kTth), {}).strFragment),
              list.RowOfKey(102));
}
