#include "DocumentFixture.h"

#include "browser/RecordSetList.h"
#include "common/FileFormat.h"

#include <QAbstractItemModelTester>

namespace
{
CDataCtrlDescriptor Field(const QString& name, int kind = CDataCtrlDescriptor::KindText, int priority = 0)
{
    CDataCtrlDescriptor d;
    d.m_strFieldName = name;
    d.m_strCaption = name.section(QLatin1Char('.'), 1);
    d.m_nKind = kind;
    d.m_nSortPriority = priority;
    return d;
}
} // namespace

class RecordSetListTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        Db().Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'C')"));
        // Sizes 100 (three files, one deleted), 200 (two), 300 (one).
        const struct
        {
            qint32 id;
            const char* name;
            qint32 size;
            bool deleted;
        } files[] = {{1, "b.txt", 100, false}, {2, "a.txt", 200, false}, {3, "c.txt", 100, false},
                     {4, "e.txt", 300, false}, {5, "d.txt", 200, false}, {6, "x.txt", 100, true},
                     {7, "f.txt", 100, false}};
        for (const auto& f : files)
            Db().Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                        "FileSizeDouble, Deleted) VALUES (1, 0, ?, ?, ?, ?, ?)"),
                         {CDbValue(f.id), CDbValue(QString::fromLatin1(f.name)), CDbValue(f.size),
                          CDbValue(double(f.size) * 1024), CDbValue(f.deleted)});
        m_list.SetUserName(QStringLiteral("ann"));
        m_list.DataCtrl_SetSQL(QStringLiteral("SELECT File.* FROM File WHERE (File.Deleted=False) ORDER BY File.File;"));
        for (const CDataCtrlDescriptor& f :
             {Field("File.File"), Field("File.FileSizeDouble", CDataCtrlDescriptor::KindFileSize),
              Field("File.FileId", CDataCtrlDescriptor::KindNumber, 1), Field("File.Ghost"), Field("File.TTH")})
        {
            m_list.DataCtrl_AddField(f);
            CDataCtrlDescriptor column = f;
            column.m_nFieldIndex = static_cast<int>(m_list.Fields().size()) - 1;
            m_list.AddColumn(column);
        }
    }
    QStringList Column(int column)
    {
        QStringList texts;
        for (int row = 0; row < m_list.rowCount(); ++row)
            texts.append(m_list.data(m_list.index(row, column)).toString());
        return texts;
    }

    CRecordSetList m_list;
};

TEST_F(RecordSetListTest, OpensSortsAndShowsCellsInTheListsWords)
{
    QAbstractItemModelTester tester(&m_list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(m_list.DataCtrl_Open(nullptr), 21) << "never opened on a database";
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0) << m_list.LastError().toStdString();
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 6);
    // A field that is a secondary sort key makes the order when no column is sorted.
    EXPECT_TRUE(m_list.LastSql().endsWith(QStringLiteral("ORDER BY File.FileId"))) << m_list.LastSql().toStdString();
    EXPECT_EQ(Column(0), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));
    EXPECT_EQ(m_list.data(m_list.index(0, 1)).toString(), FormatFileSize(100.0 * 1024) + QStringLiteral("  "));
    EXPECT_EQ(m_list.data(m_list.index(0, 2)).toString(), QStringLiteral("1  "));
    EXPECT_EQ(m_list.data(m_list.index(0, 3)).toString(), QStringLiteral("<Not Implemented>")) << "a yes/no value";
    EXPECT_EQ(m_list.data(m_list.index(0, 4)).toString(), QString()) << "a Null value";
    EXPECT_EQ(m_list.data(m_list.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);

    // Header clicks: ascending by the column, then descending on every ORDER BY item.
    m_list.DataCtrl_OnHeaderClick(1);
    EXPECT_TRUE(m_list.LastSql().endsWith(QStringLiteral("ORDER BY File.FileSizeDouble, File.FileId")))
        << m_list.LastSql().toStdString();
    EXPECT_EQ(Column(2), QStringList({"1  ", "3  ", "7  ", "2  ", "5  ", "4  "}));
    m_list.DataCtrl_OnHeaderClick(1);
    EXPECT_TRUE(m_list.LastSql().endsWith(QStringLiteral("ORDER BY File.FileSizeDouble DESC, File.FileId DESC")));
    EXPECT_EQ(Column(2), QStringList({"4  ", "5  ", "2  ", "7  ", "3  ", "1  "}));

    // Without an ORDER BY: none, and no trailing blank.
    m_list.DataCtrl_SetSQL(QStringLiteral("SELECT * FROM File"));
    m_list.DataCtrl_AddWhere(QStringLiteral("File.Deleted=True"));
    EXPECT_EQ(m_list.Where(), QStringLiteral("WHERE File.Deleted=True"));
    CRecordSetList plain;
    plain.DataCtrl_SetSQL(QStringLiteral("SELECT * FROM File WHERE File.FileId > 3"));
    plain.DataCtrl_AddField(Field("File.File"));
    ASSERT_EQ(plain.DataCtrl_Open(&Db()), 0);
    EXPECT_TRUE(plain.LastSql().endsWith(QStringLiteral("WHERE File.FileId > 3"))) << plain.LastSql().toStdString();
    EXPECT_EQ(plain.DataCtrl_GetRecordCount(), 4);
}

TEST_F(RecordSetListTest, RowsGoneElsewhereFindsEditsAndBands)
{
    m_list.DataCtrl_SetGrouping(QStringLiteral("ORDER BY File.FileSize, File.File"), 1);
    EXPECT_EQ(m_list.GroupingColumns(), QStringList({"FileSize", "File"}));
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    EXPECT_EQ(Column(0), QStringList({"b.txt", "c.txt", "f.txt", "a.txt", "d.txt", "e.txt"}));
    QList<bool> bands;
    for (int row = 0; row < 6; ++row)
        bands.append(m_list.data(m_list.index(row, 0), CRecordSetList::BandRole).toBool());
    EXPECT_EQ(bands, QList<bool>({false, false, false, true, true, false})) << "the shade flips with each size";

    // Finds use the list's own column names and order.
    EXPECT_TRUE(m_list.DataCtrl_FindFirst(QStringLiteral("FileSizeDouble=204800")));
    EXPECT_EQ(m_list.DataCtrl_GetCurrentRow(), 3);
    EXPECT_TRUE(m_list.DataCtrl_FindNext(QStringLiteral("FileSizeDouble=204800")));
    EXPECT_EQ(m_list.DataCtrl_GetCurrentRow(), 4);
    EXPECT_FALSE(m_list.DataCtrl_FindNext(QStringLiteral("FileSizeDouble=204800")));
    EXPECT_EQ(m_list.DataCtrl_GetCurrentRow(), 0);
    EXPECT_TRUE(m_list.DataCtrl_FindFirst(QStringLiteral("FileId=4")));
    EXPECT_EQ(m_list.DataCtrl_GetFieldValue(QStringLiteral("File")).ToString(), QStringLiteral("e.txt"));

    // Editing the current row.
    ASSERT_TRUE(m_list.DataCtrl_Edit());
    m_list.DataCtrl_SetFieldValue(QStringLiteral("File.File"), CDbValue(QStringLiteral("renamed.txt")));
    EXPECT_TRUE(m_list.DataCtrl_Update());
    EXPECT_EQ(m_list.data(m_list.index(5, 0)).toString(), QStringLiteral("renamed.txt"));

    // Another program deletes a row: its cells are empty and it cannot be edited.
    {
        CDbDatabase other;
        other.Open(m_strDatabase);
        other.Execute(QStringLiteral("DELETE FROM File WHERE FileId=3"));
    }
    m_list.DataCtrl_Requery();
    m_list.DataCtrl_Close();
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 5);
    {
        CDbDatabase other;
        other.Open(m_strDatabase);
        other.Execute(QStringLiteral("DELETE FROM File WHERE FileId=7"));
    }
    m_list.DataCtrl_Requery(); // the count changes: rows are read afresh
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 4);
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    {
        CDbDatabase other;
        other.Open(m_strDatabase);
        other.Execute(QStringLiteral("DELETE FROM File WHERE FileId=1"));
    }
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 4);
    EXPECT_EQ(m_list.data(m_list.index(0, 0)).toString(), QString());
    EXPECT_EQ(m_list.data(m_list.index(0, 2)).toString(), QString());
    EXPECT_TRUE(m_list.DataCtrl_MoveToRow(0));
    EXPECT_FALSE(m_list.DataCtrl_IsRowValid());
    EXPECT_FALSE(m_list.DataCtrl_Edit());

    // Selection bytes and the cached count.
    m_list.SetSelected(1, true);
    m_list.SetSelected(3, true);
    EXPECT_EQ(m_list.SelectedCount(), 2);
    m_list.SetSelected(1, false);
    EXPECT_EQ(m_list.SelectedCount(), 1);
    m_list.DataCtrl_Close();
    EXPECT_EQ(m_list.DataCtrl_GetFieldValue(0).ToString(), QStringLiteral("<Connection Lost>"));
}
