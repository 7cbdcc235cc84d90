#include "DocumentFixture.h"

#include "browser/RecordSetList.h"
#include "browser/RecordSetPageCells.h"
#include "browser/RecordSetRowEditor.h"
#include "browser/RecordSetSelection.h"
#include "common/FileFormat.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <limits>

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

void AddFieldAndColumn(CRecordSetList& list, const CDataCtrlDescriptor& f)
{
    list.DataCtrl_AddField(f);
    CDataCtrlDescriptor column = f;
    column.m_nFieldIndex = static_cast<int>(list.Fields().size()) - 1;
    list.AddColumn(column);
}

std::vector<qint32> Sorted(std::vector<qint32> keys)
{
    std::sort(keys.begin(), keys.end());
    return keys;
}
} // namespace

class RecordSetListTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'C')"));
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
            Db().Execute(
                QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                               "FileSizeDouble, Deleted) VALUES (1, 0, ?, ?, ?, ?, ?)"),
                {CDbValue(f.id), CDbValue(QString::fromLatin1(f.name)), CDbValue(f.size),
                 CDbValue(double(f.size) * 1024), CDbValue(f.deleted)});
        m_list.SetUserName(QStringLiteral("ann"));
        m_list.DataCtrl_SetSQL(
            QStringLiteral("SELECT File.* FROM File WHERE (File.Deleted=False) ORDER BY File.File;"));
        for (const CDataCtrlDescriptor& f :
             {Field("File.File"), Field("File.FileSizeDouble", CDataCtrlDescriptor::KindFileSize),
              Field("File.FileId", CDataCtrlDescriptor::KindNumber, 1), Field("File.Ghost"),
              Field("File.TTH")})
            AddFieldAndColumn(m_list, f);
    }

    // What another program does to the database, through a connection of its own.
    void Elsewhere(const QString& sql)
    {
        CDbDatabase other;
        other.Open(m_strDatabase);
        other.Execute(sql);
    }

    // Starts something that ends in opened() and waits for it; the result, or -1 on time-out.
    int Await(const std::function<void()>& start)
    {
        QSignalSpy spy(&m_list, &CRecordSetList::opened);
        start();
        if (spy.isEmpty() && !spy.wait(10000))
            return -1;
        return spy.first().first().toInt();
    }

    // Asks for every row's cells as a view would, waits until their pages have arrived, and
    // returns the texts of a column.
    QStringList Column(int column) { return Column(m_list, column); }
    static QStringList Column(CRecordSetList& list, int column)
    {
        const auto loaded = [&]
        {
            bool all = true;
            for (int row = 0; row < list.rowCount(); ++row)
                if (list.data(list.index(row, 0), CRecordSetList::LoadingRole).toBool())
                {
                    list.data(list.index(row, 0));
                    all = false;
                }
            return all;
        };
        EXPECT_TRUE(QTest::qWaitFor(loaded, 10000)) << "cells never arrived";
        QStringList texts;
        for (int row = 0; row < list.rowCount(); ++row)
            texts.append(list.data(list.index(row, column)).toString());
        return texts;
    }

    qint32 FocusedKey(const QItemSelectionModel& selection) const
    {
        return m_list.Key(selection.currentIndex().isValid() ? selection.currentIndex().row() : -1);
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
    EXPECT_TRUE(m_list.LastSql().endsWith(QStringLiteral("ORDER BY File.FileId")))
        << m_list.LastSql().toStdString();
    EXPECT_EQ(Column(0), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));
    EXPECT_EQ(m_list.data(m_list.index(0, 1)).toString(),
              FormatFileSize(100.0 * 1024) + QStringLiteral("  "));
    EXPECT_EQ(m_list.data(m_list.index(0, 2)).toString(), QStringLiteral("1  "));
    EXPECT_EQ(m_list.data(m_list.index(0, 3)).toString(), QStringLiteral("<Not Implemented>"))
        << "a yes/no value";
    EXPECT_EQ(m_list.data(m_list.index(0, 4)).toString(), QString()) << "a Null value";
    EXPECT_EQ(m_list.data(m_list.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_EQ(m_list.data(m_list.index(0, 2), CRecordSetList::KeyRole).toInt(), 1);

    // Header clicks: ascending by the column, then descending on every ORDER BY item; the
    // header's arrow follows.
    EXPECT_EQ(m_list.headerData(1, Qt::Horizontal, Qt::InitialSortOrderRole).value<Qt::SortOrder>(),
              Qt::AscendingOrder);
    ASSERT_EQ(Await([&] { m_list.DataCtrl_OnHeaderClick(1); }), 0);
    EXPECT_TRUE(m_list.LastSql().endsWith(QStringLiteral("ORDER BY File.FileSizeDouble, File.FileId")))
        << m_list.LastSql().toStdString();
    EXPECT_EQ(Column(2), QStringList({"1  ", "3  ", "7  ", "2  ", "5  ", "4  "}));
    EXPECT_EQ(m_list.headerData(1, Qt::Horizontal, CRecordSetList::SortImageRole).toInt(), 1);
    EXPECT_EQ(m_list.headerData(0, Qt::Horizontal, CRecordSetList::SortImageRole).toInt(), 0);
    ASSERT_EQ(Await([&] { m_list.sort(1, Qt::DescendingOrder); }), 0);
    EXPECT_TRUE(
        m_list.LastSql().endsWith(QStringLiteral("ORDER BY File.FileSizeDouble DESC, File.FileId DESC")));
    EXPECT_EQ(Column(2), QStringList({"4  ", "5  ", "2  ", "7  ", "3  ", "1  "}));
    EXPECT_EQ(m_list.headerData(1, Qt::Horizontal, CRecordSetList::SortImageRole).toInt(), 2);

    // Requery and close keep the model consistent (the tester checks every step).
    EXPECT_EQ(Await([&] { m_list.DataCtrl_RequeryAsync(); }), 0);
    EXPECT_EQ(m_list.rowCount(), 6);
    m_list.DataCtrl_Close();
    EXPECT_EQ(m_list.rowCount(), 0);
    EXPECT_EQ(m_list.DataCtrl_GetFieldValue(0, 0).ToString(), QStringLiteral("<Connection Lost>"));
    EXPECT_EQ(m_list.DataCtrlGetRowColumnValue(0, 0), QStringLiteral("<Connection Lost>"));

    // Without an ORDER BY: none, and no trailing blank.
    CRecordSetList plain;
    plain.DataCtrl_SetSQL(QStringLiteral("SELECT * FROM File WHERE File.FileId > 3"));
    plain.DataCtrl_AddField(Field("File.File"));
    ASSERT_EQ(plain.DataCtrl_Open(&Db()), 0);
    EXPECT_TRUE(plain.LastSql().endsWith(QStringLiteral("WHERE File.FileId > 3")))
        << plain.LastSql().toStdString();
    EXPECT_EQ(plain.DataCtrl_GetRecordCount(), 4);

    // A statement the engine refuses: the error result, no rows.
    CRecordSetList broken;
    broken.DataCtrl_SetSQL(QStringLiteral("SELECT * FROM NoSuchTable"));
    broken.DataCtrl_AddField(Field("NoSuchTable.Name"));
    EXPECT_EQ(static_cast<unsigned>(broken.DataCtrl_Open(&Db())) & 0xFFFF0000u, 0x800A0000u);
    EXPECT_FALSE(broken.IsOpen());
    EXPECT_EQ(broken.rowCount(), 0);
}

TEST_F(RecordSetListTest, ARepaintOrAScrollKeepsThePendingEdit)
{
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    std::unique_ptr<CRecordSetRowEditor> editor = m_list.DataCtrl_Edit(3);
    ASSERT_TRUE(editor);
    editor->SetFieldValue(QStringLiteral("File.File"), CDbValue(QStringLiteral("edited.txt")));
    // The view paints every row, and again after a re-sort moved the row elsewhere.
    EXPECT_EQ(Column(0)[0], QStringLiteral("b.txt"));
    ASSERT_EQ(Await([&] { m_list.sort(2, Qt::DescendingOrder); }), 0);
    Column(0);
    ASSERT_TRUE(editor->PendingValue(QStringLiteral("File.File")).has_value());
    EXPECT_TRUE(editor->Update()) << "the repaint lost the edit";
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE FileId=4 AND File='edited.txt'")), 1);
    // The written value shows at once, in the row where the key now stands.
    EXPECT_EQ(m_list.data(m_list.index(m_list.RowOfKey(4), 0)).toString(), QStringLiteral("edited.txt"));

    // A cancelled edit writes nothing.
    editor = m_list.DataCtrl_Edit(0);
    ASSERT_TRUE(editor);
    editor->SetFieldValue(QStringLiteral("File.File"), CDbValue(QStringLiteral("never.txt")));
    editor->CancelUpdate();
    EXPECT_TRUE(editor->Update());
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE File='never.txt'")), 0);
}

TEST_F(RecordSetListTest, AsyncOpenFillsCellsAndDropsAnOutdatedPage)
{
    QAbstractItemModelTester tester(&m_list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy opened(&m_list, &CRecordSetList::opened);
    m_list.DataCtrl_OpenAsync(&Db());
    EXPECT_EQ(m_list.rowCount(), 0) << "the keys come later";
    ASSERT_TRUE(opened.wait(10000));
    EXPECT_EQ(opened.first().first().toInt(), 0);
    ASSERT_EQ(m_list.rowCount(), 6);
    // A cell not read yet is empty and says so; its page arrives with dataChanged.
    QSignalSpy changed(&m_list, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(m_list.data(m_list.index(0, 0), CRecordSetList::LoadingRole).toBool());
    EXPECT_EQ(m_list.data(m_list.index(0, 0)), QVariant());
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_EQ(m_list.data(m_list.index(0, 0)).toString(), QStringLiteral("b.txt"));

    // The first row goes elsewhere; a page of the old rows is asked for, then the list is
    // requeried before that page arrives: it must never show over the new rows.
    m_list.DataCtrl_Close();
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId=1"));
    m_list.HoldLoader(true);
    m_list.data(m_list.index(0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list.PagesLoading() > 0; }, 10000));
    QSignalSpy requeried(&m_list, &CRecordSetList::opened);
    m_list.DataCtrl_RequeryAsync();
    m_list.HoldLoader(false);
    ASSERT_TRUE(requeried.wait(10000));
    ASSERT_EQ(m_list.rowCount(), 5);
    changed.clear();
    for (int row = 0; row < m_list.rowCount(); ++row)
        m_list.data(m_list.index(row, 0));
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_EQ(m_list.data(m_list.index(0, 0)).toString(), QStringLiteral("a.txt")) << "an old page was shown";
    EXPECT_EQ(Column(0), QStringList({"a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));

    // An open replaced by a later one before its keys came never shows.
    m_list.DataCtrl_SetWhere(QStringLiteral("WHERE File.FileSize=300"));
    QSignalSpy later(&m_list, &CRecordSetList::opened);
    m_list.DataCtrl_OpenAsync(&Db());
    m_list.DataCtrl_SetWhere(QStringLiteral("WHERE File.FileSize=200"));
    m_list.DataCtrl_OpenAsync(&Db());
    ASSERT_TRUE(later.wait(10000));
    EXPECT_EQ(later.size(), 1);
    EXPECT_EQ(Column(0), QStringList({"a.txt", "d.txt"}));
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
    EXPECT_EQ(bands, QList<bool>({false, false, false, true, true, false}))
        << "the shade flips with each size";

    // Finds use the list's own column names and order.
    EXPECT_EQ(m_list.DataCtrl_FindFirst(QStringLiteral("FileSizeDouble=204800")), 3);
    EXPECT_EQ(m_list.DataCtrl_FindNext(QStringLiteral("FileSizeDouble=204800"), 3), 4);
    EXPECT_EQ(m_list.DataCtrl_FindNext(QStringLiteral("FileSizeDouble=204800"), 4), -1);
    EXPECT_EQ(m_list.DataCtrl_FindFirst(QStringLiteral("FileId=4")), 5);
    EXPECT_EQ(m_list.DataCtrl_GetFieldValue(5, QStringLiteral("File")).ToString(), QStringLiteral("e.txt"));
    EXPECT_EQ(m_list.DataCtrl_FindFirst(QStringLiteral("NoSuchColumn=1")), -1)
        << "a bad criterion finds nothing";

    // Editing a row through its editor.
    std::unique_ptr<CRecordSetRowEditor> editor = m_list.DataCtrl_Edit(5);
    ASSERT_TRUE(editor);
    editor->SetFieldValue(QStringLiteral("File.File"), CDbValue(QStringLiteral("renamed.txt")));
    EXPECT_TRUE(editor->Update());
    EXPECT_EQ(m_list.data(m_list.index(5, 0)).toString(), QStringLiteral("renamed.txt"));

    // Another program deletes rows: a requery counts them afresh.
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId=3"));
    EXPECT_EQ(m_list.DataCtrl_Requery(), 0);
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 5);
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId=7"));
    EXPECT_EQ(m_list.DataCtrl_Requery(), 0);
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 4);

    // A row deleted after the open shows empty cells and cannot be edited.
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId=1"));
    EXPECT_EQ(m_list.DataCtrl_GetRecordCount(), 4);
    EXPECT_EQ(Column(0)[0], QString());
    EXPECT_EQ(m_list.data(m_list.index(0, 2)).toString(), QString());
    EXPECT_TRUE(m_list.data(m_list.index(0, 0), CRecordSetList::RowDeletedRole).toBool());
    EXPECT_FALSE(m_list.data(m_list.index(1, 0), CRecordSetList::RowDeletedRole).toBool());
    EXPECT_EQ(m_list.DataCtrlGetRowColumnValue(0, 0), QString());
    EXPECT_FALSE(m_list.DataCtrl_IsRowValid(0));
    EXPECT_TRUE(m_list.DataCtrl_IsRowValid(1));
    EXPECT_FALSE(m_list.DataCtrl_Edit(0));
    EXPECT_FALSE(m_list.flags(m_list.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(m_list.setData(m_list.index(0, 0), QStringLiteral("back.txt")));
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE File='back.txt'")), 0);
}

TEST_F(RecordSetListTest, SetDataWritesOnlyTheRowsOwnTable)
{
    CRecordSetList list;
    list.SetRetryPolicy(&m_doc.RetryPolicy());
    list.DataCtrl_SetSQL(QStringLiteral("SELECT * FROM Catalogue INNER JOIN File ON Catalogue.CatalogueId = "
                                        "File.CatalogueId WHERE File.Deleted=False"));
    for (const CDataCtrlDescriptor& f :
         {Field("File.File"), Field("Catalogue.Catalogue"),
          Field("File.FileId", CDataCtrlDescriptor::KindNumber, 1), Field("File.FileSizeDouble")})
        AddFieldAndColumn(list, f);
    ASSERT_EQ(list.DataCtrl_Open(&Db()), 0);
    ASSERT_EQ(list.rowCount(), 6);

    // Which cells can be written: the row's own table, not its key, not a joined table.
    const struct
    {
        int column;
        QVariant value;
        bool written;
        const char* check;
    } cases[] = {
        {0, QStringLiteral("new.txt"), true, "SELECT Count(*) FROM File WHERE FileId=1 AND File='new.txt'"},
        {3, 2048.0, true, "SELECT Count(*) FROM File WHERE FileId=1 AND FileSizeDouble=2048"},
        {1, QStringLiteral("Other"), false, "SELECT Count(*) FROM Catalogue WHERE Catalogue='Other'"},
        {2, 99, false, "SELECT Count(*) FROM File WHERE FileId=99"},
    };
    for (const auto& c : cases)
    {
        const QModelIndex cell = list.index(0, c.column);
        EXPECT_EQ(bool(list.flags(cell) & Qt::ItemIsEditable), c.written) << c.column;
        EXPECT_EQ(list.setData(cell, c.value), c.written) << c.column;
        EXPECT_EQ(Long(QString::fromLatin1(c.check)), c.written ? 1 : 0) << c.check;
    }
    EXPECT_EQ(list.data(list.index(0, 0)).toString(), QStringLiteral("new.txt"));

    // An editor asked to write a joined table writes nothing at all.
    std::unique_ptr<CRecordSetRowEditor> editor = list.DataCtrl_Edit(1);
    ASSERT_TRUE(editor);
    editor->SetFieldValue(QStringLiteral("File.File"), CDbValue(QStringLiteral("half.txt")));
    editor->SetFieldValue(QStringLiteral("Catalogue.Catalogue"), CDbValue(QStringLiteral("Other")));
    EXPECT_FALSE(editor->Update());
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE File='half.txt'")), 0);
}

TEST_F(RecordSetListTest, SelectionRulesOverTheViewsSelectionModel)
{
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0); // rows: keys 1 2 3 4 5 7
    QItemSelectionModel selectionModel(&m_list);
    CRecordSetSelection selection(m_list, selectionModel);
    const auto rows = [&] { return selection.SelectedRows(); };

    selection.Click(1);
    EXPECT_EQ(rows(), std::vector<int>({1}));
    EXPECT_EQ(selection.FocusedRow(), 1);
    selection.Click(4, Qt::ControlModifier);
    EXPECT_EQ(rows(), std::vector<int>({1, 4}));
    selection.Click(1, Qt::ControlModifier);
    EXPECT_EQ(rows(), std::vector<int>({4})) << "Ctrl+click takes a selected row out";
    selection.Click(2);
    EXPECT_EQ(rows(), std::vector<int>({2})) << "a plain click selects the row alone";
    selection.Click(0, Qt::ControlModifier); // anchor now 0
    selection.Click(5, Qt::ShiftModifier);
    EXPECT_EQ(rows(), std::vector<int>({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(selection.FocusedRow(), 5);
    EXPECT_EQ(selection.Anchor(), 0);
    // A second Shift+click shrinks the range: the first range's rows outside it are cleared.
    selection.Click(2, Qt::ShiftModifier);
    EXPECT_EQ(rows(), std::vector<int>({0, 1, 2}));
    EXPECT_EQ(selection.SelectedCount(), 3);
    // Rows picked with Ctrl outside the range stay when the range changes.
    selection.Click(5);
    selection.Click(0, Qt::ControlModifier);
    selection.Click(2, Qt::ShiftModifier);
    EXPECT_EQ(rows(), std::vector<int>({0, 1, 2, 5}));
    selection.Click(1, Qt::ShiftModifier);
    EXPECT_EQ(rows(), std::vector<int>({0, 1, 5}));

    selection.SelectAll();
    EXPECT_EQ(selection.SelectedCount(), 6);
    // Select Checked: the selection becomes exactly the checked rows.
    selection.SelectKeys({7, 2, 99});
    EXPECT_EQ(Sorted(selection.SelectedKeys()), std::vector<qint32>({2, 7}));
    EXPECT_EQ(selection.SelectedCount(), 2);
    selection.SelectRows([&](int row) { return m_list.Key(row) % 2 == 1; });
    EXPECT_EQ(Sorted(selection.SelectedKeys()), std::vector<qint32>({1, 3, 5, 7}));
    EXPECT_TRUE(selection.IsSelected(0));
    EXPECT_FALSE(selection.IsSelected(1));
    selection.ClearSelection();
    EXPECT_EQ(selection.SelectedCount(), 0);
}

TEST_F(RecordSetListTest, FocusAndSelectionFollowTheirKeysAcrossASortAndARequery)
{
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0); // rows: keys 1 2 3 4 5 7
    QItemSelectionModel selectionModel(&m_list);
    CRecordSetSelection selection(m_list, selectionModel);
    selection.Click(m_list.RowOfKey(2));
    selection.Click(m_list.RowOfKey(5), Qt::ControlModifier);
    selection.Click(m_list.RowOfKey(4), Qt::ControlModifier);
    ASSERT_EQ(Sorted(selection.SelectedKeys()), std::vector<qint32>({2, 4, 5}));
    ASSERT_EQ(FocusedKey(selectionModel), 4);

    // By name, descending: every row moves.
    ASSERT_EQ(Await([&] { m_list.sort(0, Qt::AscendingOrder); }), 0);
    ASSERT_EQ(Await([&] { m_list.sort(0, Qt::DescendingOrder); }), 0);
    EXPECT_EQ(Column(0), QStringList({"f.txt", "e.txt", "d.txt", "c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(Sorted(selection.SelectedKeys()), std::vector<qint32>({2, 4, 5}));
    EXPECT_EQ(selection.SelectedCount(), 3);
    EXPECT_EQ(FocusedKey(selectionModel), 4);
    EXPECT_EQ(selection.Anchor(), m_list.RowOfKey(4));

    // The focused file goes elsewhere: the others stay selected, the focus stays in place.
    const int focusedRow = selection.FocusedRow();
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId IN (4, 7)"));
    ASSERT_EQ(Await([&] { m_list.DataCtrl_RequeryAsync(); }), 0);
    ASSERT_EQ(m_list.rowCount(), 4);
    EXPECT_EQ(Sorted(selection.SelectedKeys()), std::vector<qint32>({2, 5}));
    EXPECT_EQ(selection.FocusedRow(), std::min(focusedRow, 3));

    // A requery that leaves the focused row past the end focuses the last row.
    selection.SetFocusedRow(3);
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId IN (1, 2)"));
    ASSERT_EQ(m_list.DataCtrl_Requery(), 0);
    EXPECT_EQ(m_list.rowCount(), 2);
    EXPECT_EQ(selection.FocusedRow(), 1);
    EXPECT_EQ(Sorted(selection.SelectedKeys()), std::vector<qint32>({5}));
}

TEST_F(RecordSetListTest, ANewListShowsItsLeadingRowsWhileTheRestIsRead)
{
    const int total = CRecordSetList::kHeadRows * 2 + 37;
    Db().BeginTrans();
    for (int i = 0; i < total; ++i)
        Db().Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                    "Deleted) VALUES (1, 0, ?, ?, ?, False)"),
                     {CDbValue(100 + i),
                      CDbValue(QStringLiteral("g%1.txt").arg((i * 7919) % total, 5, 10, QLatin1Char('0'))),
                      CDbValue(400 + i / 3)});
    Db().CommitTrans();
    const int all = total + 6;
    m_list.DataCtrl_SetGrouping(QStringLiteral("ORDER BY File.FileSize, File.File"), 1);
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    std::vector<qint32> keys;
    std::vector<bool> bands;
    for (int row = 0; row < m_list.rowCount(); ++row)
    {
        keys.push_back(m_list.Key(row));
        bands.push_back(m_list.data(m_list.index(row, 0), CRecordSetList::BandRole).toBool());
    }
    ASSERT_EQ(static_cast<int>(keys.size()), all);
    m_list.DataCtrl_Close();

    QAbstractItemModelTester tester(&m_list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    struct SChange
    {
        bool reset;
        int rows;
        bool loading;
    };
    std::vector<SChange> changes;
    QObject::connect(&m_list, &QAbstractItemModel::modelReset, &m_list,
                     [&] {
                         changes.push_back({true, m_list.rowCount(), m_list.IsLoading()});
                     });
    QObject::connect(&m_list, &QAbstractItemModel::rowsInserted, &m_list,
                     [&] {
                         changes.push_back({false, m_list.rowCount(), m_list.IsLoading()});
                     });
    const auto shown = [&]
    {
        std::vector<qint32> now;
        for (int row = 0; row < m_list.rowCount(); ++row)
            now.push_back(m_list.Key(row));
        return now;
    };

    // A list not shown before: its leading rows first, still loading, then the rest after them.
    ASSERT_EQ(Await([&] { m_list.DataCtrl_OpenAsync(&Db()); }), 0);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].reset);
    EXPECT_EQ(changes[0].rows, CRecordSetList::kHeadRows);
    EXPECT_TRUE(changes[0].loading) << "the open goes on behind the leading rows";
    EXPECT_FALSE(changes[1].reset) << "the rest is added, not a new list";
    EXPECT_EQ(changes[1].rows, all);
    EXPECT_EQ(shown(), keys);
    for (int row = 0; row < all; ++row)
        ASSERT_EQ(m_list.data(m_list.index(row, 0), CRecordSetList::BandRole).toBool(), bands[row])
            << "band of row " << row;

    // Another order of the same rows waits for all of them (the focused file keeps its place).
    changes.clear();
    ASSERT_EQ(Await([&] { m_list.sort(0, Qt::DescendingOrder); }), 0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].rows, all);
    EXPECT_FALSE(changes[0].loading);

    // A list shorter than the leading rows comes whole, in one statement's answer.
    changes.clear();
    m_list.DataCtrl_SetWhere(QStringLiteral("WHERE File.FileSize=300"));
    ASSERT_EQ(Await([&] { m_list.DataCtrl_OpenAsync(&Db()); }), 0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].rows, 1);
    EXPECT_FALSE(changes[0].loading);
}

TEST_F(RecordSetListTest, AVeryLongListJoinsItsRestASliceATurnKeepingItsFocus)
{
    const int total = CRecordSetList::kInsertRows + CRecordSetList::kHeadRows + 500;
    // Names in another order than the keys: (i * 7919) runs through every remainder of total.
    const QString count = QString::number(total);
    Db().ExecuteSqliteScript(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ") + count +
        QStringLiteral(
            ") INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble, "
            "Deleted) SELECT 1, 0, 1000 + i, printf('n%07d.txt', (i * 7919) % ") +
        count + QStringLiteral("), 1, 1024, 0 FROM n;"));
    const int all = total + 6;
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    ASSERT_EQ(m_list.rowCount(), all) << "a blocking open shows every row at once";
    std::vector<qint32> keys;
    for (int row = 0; row < all; ++row)
        keys.push_back(m_list.Key(row));
    m_list.DataCtrl_Close();

    QItemSelectionModel selection(&m_list);
    struct SInsert
    {
        int rows;
        bool loading;
    };
    std::vector<SInsert> inserts;
    std::vector<int> opened;
    QObject::connect(&m_list, &QAbstractItemModel::rowsInserted, &m_list,
                     [&] {
                         inserts.push_back({m_list.rowCount(), m_list.IsLoading()});
                     });
    QObject::connect(&m_list, &CRecordSetList::opened, &m_list, [&] { opened.push_back(m_list.rowCount()); });
    // The leading rows shown: a row is focused and selected there.
    QObject::connect(&m_list, &QAbstractItemModel::modelReset, &m_list,
                     [&]
                     {
                         selection.setCurrentIndex(m_list.index(5, 0), QItemSelectionModel::ClearAndSelect |
                                                                           QItemSelectionModel::Rows);
                     });
    m_list.DataCtrl_OpenAsync(&Db());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list.IsLoading(); }, 30000));

    ASSERT_EQ(inserts.size(), 2u) << "one slice of the rest, then what is left on a later turn";
    EXPECT_EQ(inserts[0].rows, CRecordSetList::kHeadRows + CRecordSetList::kInsertRows);
    EXPECT_TRUE(inserts[0].loading) << "the open goes on until its last slice is in";
    EXPECT_EQ(inserts[1].rows, all);
    EXPECT_FALSE(inserts[1].loading);
    EXPECT_EQ(opened, std::vector<int>({all})) << "opened once, after the last slice";
    std::vector<qint32> shown;
    for (int row = 0; row < m_list.rowCount(); ++row)
        shown.push_back(m_list.Key(row));
    EXPECT_EQ(shown, keys);
    EXPECT_EQ(selection.currentIndex().row(), 5);
    EXPECT_TRUE(selection.isRowSelected(5, QModelIndex()));
    EXPECT_EQ(selection.selectedRows().size(), 1);

    // Keys found in one pass: those not shown are left out, the rest come in row order.
    EXPECT_EQ(m_list.RowsOfKeys({keys[all - 1], 999999, keys[3]}), std::vector<int>({3, all - 1}));
    EXPECT_EQ(m_list.RowOfKey(keys[all - 1]), all - 1);
    EXPECT_EQ(m_list.RowOfKey(999999), -1);
}

TEST_F(RecordSetListTest, IdleReadsRunAStepAtATimeUntilDoneOrTheListCloses)
{
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    // Work of three steps runs each of them, on a connection of the list's database.
    std::atomic<int> steps{0};
    std::atomic<bool> sawDatabase{true};
    ASSERT_TRUE(m_list.ReadWhenIdle(
        [&](CDbDatabase* db)
        {
            sawDatabase = sawDatabase && db != nullptr;
            return ++steps < 3;
        }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps.load() >= 3; }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(steps.load(), 3) << "a step after the work said it was done";
    EXPECT_TRUE(sawDatabase.load());

    // Work that never ends stops with the list.
    std::atomic<int> endless{0};
    ASSERT_TRUE(m_list.ReadWhenIdle([&](CDbDatabase*) { return ++endless > 0; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return endless.load() > 10; }, 10000));
    m_list.DataCtrl_Close();
    QTest::qWait(20);
    const int atClose = endless.load();
    QTest::qWait(100);
    EXPECT_LE(endless.load(), atClose + 1) << "steps after the list closed";
    EXPECT_FALSE(m_list.ReadWhenIdle([](CDbDatabase*) { return false; })) << "a closed list reads nothing";
}

TEST_F(RecordSetListTest, AListAtRestLetsGoOfItsConnectionAndReadsAgainWhenAsked)
{
    // A list at rest holds no connection, nor the memory a connection takes.
    ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
    EXPECT_TRUE(m_list.IsReaderConnected());
    EXPECT_EQ(Column(0), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list.IsReaderConnected(); }, 10000))
        << "still connected at rest";

    // Cells, a field read now, a walk's read: each opens the connection again, and lets go of it
    // once at rest.
    Elsewhere(QStringLiteral("UPDATE File SET File='renamed.txt' WHERE FileId=5"));
    ASSERT_EQ(Await([&] { m_list.DataCtrl_RequeryAsync(); }), 0);
    EXPECT_EQ(Column(0), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "renamed.txt", "f.txt"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list.IsReaderConnected(); }, 10000));
    EXPECT_EQ(m_list.DataCtrl_GetFieldValue(3, QStringLiteral("File.File")).ToString(),
              QStringLiteral("e.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list.IsReaderConnected(); }, 10000));
    std::atomic<qint32> count{-1};
    ASSERT_TRUE(m_list.ReadWhenIdle(
        [&](CDbDatabase* db)
        {
            CDbStatement st = db->Prepare(QStringLiteral("SELECT Count(*) FROM File"));
            count = st.Step() ? st.Value(0).ToLong() : -2;
            return false;
        }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return count.load() != -1; }, 10000));
    EXPECT_EQ(count.load(), 7);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_list.IsReaderConnected(); }, 10000));
}

TEST_F(RecordSetListTest, AListOfACatalogueOpenedReadOnlyLeavesTheFileAsItWas)
{
    // A catalogue in the rollback journal, as one on a network share is: a reader that opened it
    // for writing would turn it over to the write-ahead log on the way.
    ASSERT_TRUE(m_doc.CloseDatabase());
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.ExecuteSqliteScript(QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    const auto bytes = [&]
    {
        QFile file(m_strDatabase);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    {
        CDbDatabase readOnly;
        readOnly.Open(m_strDatabase, EDbOpenMode::ReadOnly);
        ASSERT_EQ(m_list.DataCtrl_Open(&readOnly), 0);
        EXPECT_EQ(Column(0), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));
        m_list.DataCtrl_Close();
    }
    EXPECT_TRUE(bytes() == before) << "the file is as it was";
    EXPECT_FALSE(QFile::exists(m_strDatabase + QStringLiteral("-wal")));
}

TEST(RecordSetPageCellsTest, EveryValueComesBackAsItWentIn)
{
    const QDateTime summer(QDate(2023, 7, 1), QTime(12, 30, 5));
    const QDateTime winter(QDate(1999, 12, 31), QTime(23, 59, 59));
    const std::vector<CDbValue> values = {
        CDbValue::Null(),
        CDbValue(qint32(0)),
        CDbValue(qint32(-1)),
        CDbValue(std::numeric_limits<qint32>::min()),
        CDbValue(std::numeric_limits<qint32>::max()),
        CDbValue(0.0),
        CDbValue(-0.5),
        CDbValue(4294967296.0 * 3 + 0.25),
        CDbValue(std::numeric_limits<double>::infinity()),
        CDbValue(true),
        CDbValue(false),
        CDbValue(QString()),
        CDbValue(QStringLiteral("a")),
        CDbValue(QStringLiteral("it's \"x\" \u00e9\u4e2d\U0001F600.txt")),
        CDbValue(QString(5000, QLatin1Char('w'))),
        CDbValue(summer),
        CDbValue(winter),
        CDbValue(QDateTime()),
    };
    const int fields = static_cast<int>(values.size());
    // Three rows, each the values shifted by its row, so a wrong row or field shows; written in
    // another order than their own, as a page's rows arrive.
    CRecordSetPageCells cells(4, fields);
    const auto expected = [&](size_t row, int field)
    { return values[(static_cast<size_t>(field) + row) % values.size()]; };
    for (size_t row : {2, 0, 1})
    {
        std::vector<CDbValue> record;
        for (int field = 0; field < fields; ++field)
            record.push_back(expected(row, field));
        cells.SetRow(row, record);
    }
    cells.Squeeze();
    // Packed: the long text a byte a character, every other cell a few bytes.
    EXPECT_LT(cells.Bytes(), 3 * 5000 + 3 * values.size() * 16);
    for (int field = 0; field < fields; ++field)
        EXPECT_TRUE(cells.Value(3, field).IsNull()) << "a row never written";
    for (size_t row = 0; row < 3; ++row)
        for (int field = 0; field < fields; ++field)
        {
            const CDbValue want = expected(row, field);
            const CDbValue got = cells.Value(row, field);
            EXPECT_EQ(got.GetType(), want.GetType()) << "row " << row << " field " << field;
            EXPECT_EQ(cells.TypeAt(row, field), want.GetType());
            EXPECT_TRUE(got == want) << "row " << row << " field " << field << ": "
                                     << got.ToString().toStdString() << " for "
                                     << want.ToString().toStdString();
        }
    EXPECT_EQ(cells.Value(0, 15).ToDateTime().toString(Qt::ISODate), summer.toString(Qt::ISODate));
    EXPECT_FALSE(cells.Value(0, 17).ToDateTime().isValid());

    // A text written over another, longer or shorter, leaves its neighbours as they were.
    cells.Set(1, 12, CDbValue(QStringLiteral("a much longer text than before")));
    cells.Set(1, 13, CDbValue(QStringLiteral("b")));
    cells.Set(1, 14, CDbValue(qint32(14)));
    EXPECT_EQ(cells.Value(1, 12).ToString(), QStringLiteral("a much longer text than before"));
    EXPECT_EQ(cells.Value(1, 13).ToString(), QStringLiteral("b"));
    EXPECT_EQ(cells.Value(1, 14).GetType(), CDbValue::Type::Long);
    EXPECT_TRUE(cells.Value(1, 11) == expected(1, 11));
    EXPECT_TRUE(cells.Value(2, 12) == expected(2, 12));

    // Outside the page: nothing written, Null read.
    cells.Set(4, 0, CDbValue(qint32(1)));
    cells.Set(0, fields, CDbValue(qint32(1)));
    cells.Set(0, -1, CDbValue(qint32(1)));
    EXPECT_TRUE(cells.Value(4, 0).IsNull());
    EXPECT_TRUE(cells.Value(0, fields).IsNull());
    EXPECT_TRUE(cells.Value(0, -1).IsNull());
    EXPECT_TRUE(CRecordSetPageCells(4, 0).Value(0, 0).IsNull());
    EXPECT_TRUE(CRecordSetPageCells().IsEmpty());
}

TEST_F(RecordSetListTest, PagesHoldOnlyTheShownFieldsAndAnswerEveryRoleAsWholePagesDo)
{
    Db().Execute(QStringLiteral("UPDATE File SET TTH='TTHOFB', Extension='txt', Ghost=True, "
                                "LastModified='2021-03-04 05:06:07' WHERE FileId=1"));
    Db().Execute(QStringLiteral("UPDATE File SET TTH='TTHOFA', Extension=Null, LastModified='2020-01-02 "
                                "03:04:05' WHERE FileId=2"));
    const auto make = [&](CRecordSetList& list)
    {
        list.SetUserName(QStringLiteral("ann"));
        list.DataCtrl_SetSQL(
            QStringLiteral("SELECT File.* FROM File WHERE (File.Deleted=False) ORDER BY File.File;"));
        for (const CDataCtrlDescriptor& f :
             {Field("File.File"), Field("File.FileSizeDouble", CDataCtrlDescriptor::KindFileSize),
              Field("File.FileId", CDataCtrlDescriptor::KindNumber, 1), Field("File.Ghost"),
              Field("File.LastModified")})
            AddFieldAndColumn(list, f);
        for (const char* name : {"File.Extension", "File.TTH", "File.CatalogueId"})
            list.DataCtrl_AddField(Field(QLatin1String(name)));
    };
    CRecordSetList whole;
    make(whole);
    CRecordSetList shown;
    make(shown);
    shown.CacheShownFields({QStringLiteral("File.Extension")});
    QAbstractItemModelTester tester(&shown, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(whole.DataCtrl_Open(&Db()), 0);
    ASSERT_EQ(shown.DataCtrl_Open(&Db()), 0);
    ASSERT_EQ(shown.rowCount(), 6);
    EXPECT_EQ(Column(shown, 0), Column(whole, 0));

    const int extension = shown.Sql().FieldIndex(QStringLiteral("File.Extension"));
    const int tth = shown.Sql().FieldIndex(QStringLiteral("File.TTH"));
    const int catalogue = shown.Sql().FieldIndex(QStringLiteral("File.CatalogueId"));
    for (int field = 0; field < static_cast<int>(shown.Fields().size()); ++field)
    {
        EXPECT_TRUE(whole.IsCachedField(field));
        EXPECT_EQ(shown.IsCachedField(field), field != tth && field != catalogue) << "field " << field;
    }
    const CRecordSetList::CRowStore wholeStore = whole.RowStoreBytes();
    const CRecordSetList::CRowStore shownStore = shown.RowStoreBytes();
    EXPECT_GT(shownStore.pages, 0u);
    EXPECT_LT(shownStore.pages, wholeStore.pages);

    // Every role of every cell, the flags, and what painting reads, as the whole pages answer.
    for (int row = 0; row < shown.rowCount(); ++row)
    {
        for (int column = 0; column < shown.columnCount(); ++column)
        {
            for (int role : {int(Qt::DisplayRole), int(Qt::EditRole), int(Qt::TextAlignmentRole),
                             int(CRecordSetList::BandRole), int(CRecordSetList::KeyRole),
                             int(CRecordSetList::LoadingRole), int(CRecordSetList::RowDeletedRole)})
                EXPECT_EQ(shown.data(shown.index(row, column), role),
                          whole.data(whole.index(row, column), role))
                    << "row " << row << " column " << column << " role " << role;
            EXPECT_EQ(shown.flags(shown.index(row, column)), whole.flags(whole.index(row, column)));
        }
        EXPECT_TRUE(shown.CachedFieldValue(row, extension) == whole.CachedFieldValue(row, extension));
        EXPECT_TRUE(shown.CachedFieldValue(row, tth).IsNull()) << "painting never waits for a field";
        // A field the pages leave out is read for its row when asked for.
        EXPECT_TRUE(shown.DataCtrl_GetFieldValue(row, tth) == whole.DataCtrl_GetFieldValue(row, tth));
        EXPECT_EQ(shown.DataCtrl_GetFieldValue(row, catalogue).ToLong(), 1);
        EXPECT_EQ(shown.DataCtrlGetRowColumnValue(row, tth), whole.DataCtrlGetRowColumnValue(row, tth));
    }
    EXPECT_EQ(shown.DataCtrl_GetFieldValue(0, QStringLiteral("File.TTH")).ToString(),
              QStringLiteral("TTHOFB"));
    EXPECT_EQ(shown.data(shown.index(0, 4), Qt::EditRole).toDateTime(),
              QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)));
    EXPECT_EQ(shown.data(shown.index(0, 3), Qt::EditRole), QVariant(true));

    // Edits of a field left out and of one held: both read back as written.
    std::unique_ptr<CRecordSetRowEditor> editor = shown.DataCtrl_Edit(1);
    ASSERT_TRUE(editor);
    editor->SetFieldValue(QStringLiteral("File.TTH"), CDbValue(QStringLiteral("NEWTTH")));
    editor->SetFieldValue(QStringLiteral("File.File"), CDbValue(QStringLiteral("b2.txt")));
    ASSERT_TRUE(editor->Update());
    EXPECT_EQ(shown.data(shown.index(1, 0)).toString(), QStringLiteral("b2.txt")) << "shown at once";
    EXPECT_EQ(shown.DataCtrl_GetFieldValue(1, tth).ToString(), QStringLiteral("NEWTTH"));

    // A row gone elsewhere reads as gone for a field left out too.
    Elsewhere(QStringLiteral("DELETE FROM File WHERE FileId=3"));
    const int gone = shown.RowOfKey(3);
    ASSERT_GE(gone, 0);
    EXPECT_TRUE(shown.DataCtrl_GetFieldValue(gone, tth).IsNull());
    EXPECT_EQ(shown.DataCtrlGetRowColumnValue(gone, tth), QString());
}

TEST_F(RecordSetListTest, FieldsShownAfterTheOpenAreReadWithThePagesFromThen)
{
    Db().Execute(QStringLiteral("UPDATE File SET TTH='T' & FileId"));
    CRecordSetList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.DataCtrl_SetSQL(
        QStringLiteral("SELECT File.* FROM File WHERE (File.Deleted=False) ORDER BY File.File;"));
    AddFieldAndColumn(list, Field("File.File"));
    list.DataCtrl_AddField(Field("File.TTH"));
    AddFieldAndColumn(list, Field("File.FileId", CDataCtrlDescriptor::KindNumber, 1));
    list.CacheShownFields({});
    const int tth = list.Sql().FieldIndex(QStringLiteral("File.TTH"));
    ASSERT_EQ(list.DataCtrl_Open(&Db()), 0);
    EXPECT_EQ(Column(list, 0), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));
    EXPECT_FALSE(list.IsCachedField(tth));

    // A page asked for with the old fields is still being read when the column comes.
    ASSERT_EQ(list.DataCtrl_Open(&Db()), 0);
    list.HoldLoader(true);
    list.data(list.index(0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.PagesLoading() > 0; }, 10000));
    CDataCtrlDescriptor column = Field("File.TTH");
    column.m_nFieldIndex = tth;
    list.AddColumn(column);
    EXPECT_TRUE(list.IsCachedField(tth));
    EXPECT_TRUE(list.data(list.index(0, 2), CRecordSetList::LoadingRole).toBool())
        << "no cell of the new column before its page";
    list.HoldLoader(false);
    EXPECT_EQ(Column(list, 2), QStringList({"T1", "T2", "T3", "T4", "T5", "T7"}))
        << "a page read without the field was taken";
    EXPECT_EQ(Column(list, 1), QStringList({"1  ", "2  ", "3  ", "4  ", "5  ", "7  "}));

    // The fields again, in another order, on the open list: every column shows its own field.
    list.ClearFieldsAndColumns();
    list.DataCtrl_AddField(Field("File.FileId", CDataCtrlDescriptor::KindNumber, 1));
    AddFieldAndColumn(list, Field("File.TTH"));
    AddFieldAndColumn(list, Field("File.File"));
    EXPECT_EQ(Column(list, 0), QStringList({"T1", "T2", "T3", "T4", "T5", "T7"}));
    EXPECT_EQ(Column(list, 1), QStringList({"b.txt", "a.txt", "c.txt", "e.txt", "d.txt", "f.txt"}));
    EXPECT_FALSE(list.IsCachedField(0)) << "FileId is no column any more";
    EXPECT_EQ(list.DataCtrl_GetFieldValue(3, QStringLiteral("File.FileId")).ToLong(), 4);
}
