#include "ModelFixture.h"

#include "browser/RecordSetList.h"
#include "browser/models/FieldViewModel.h"
#include "database/DbServices.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace
{
using ColumnList = CFieldViewColumns::ListKind;

QStringList Captions(const CFieldViewColumns& view)
{
    QStringList captions;
    for (const CFieldViewColumn& c : view.Columns())
        captions.append(c.strCaption);
    return captions;
}
} // namespace

class FieldViewModelTest : public ModelFixture
{
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        // alice's own view of three fields, one of them a number; bob's own view.
        Sql("INSERT INTO Field (FieldId, Field, Type, TableField, Displayable, DefaultWidth) VALUES "
            "(20, 'Similar', 1, 'File.SimilarityId', 1, 0)");
        Sql("INSERT INTO FileListFieldView (FileListFieldViewId, FileListFieldView, \"User\") VALUES "
            "(7, 'Mine', 'alice'), (8, 'Bobs', 'bob')");
        Sql("INSERT INTO FileListFieldViewField (FileListFieldViewId, FieldId, \"Order\") VALUES "
            "(7, 20, 3), (7, 15, 1), (7, 8, 2), (8, 15, 1)");
    }
};

TEST_F(FieldViewModelTest, ColumnsOfAViewWithTheUsersWidths)
{
    CFieldViewColumns view;
    ASSERT_TRUE(view.Load(m_db, "alice", "folder (default)")) << "names are found without regard to case";
    EXPECT_EQ(view.ViewName(), QStringLiteral("Folder (Default)"));
    EXPECT_TRUE(view.IsGlobal());
    EXPECT_EQ(Captions(view), QStringList({"File", "Size", "Keywords", "Categories", "Description", "Notes",
                                           "Alternate File Name", "TTH", "Extension", "Last Modified"}));

    ASSERT_TRUE(view.Load(m_db, "alice", "Mine"));
    EXPECT_FALSE(view.IsGlobal());
    EXPECT_EQ(view.Owner(), QStringLiteral("alice"));
    struct Expected
    {
        const char* caption;
        const char* field;
        int kind;
        int sortPriority;
        int width;
    };
    const Expected expected[] = {
        {"File", "File.File", CDataCtrlDescriptor::KindText, 3, 300},
        {"Size", "File.FileSizeDouble", CDataCtrlDescriptor::KindFileSize, 0, 0},
        {"Similar", "File.SimilarityId", CDataCtrlDescriptor::KindNumber, 0, 0},
    };
    ASSERT_EQ(view.Columns().size(), 3u);
    for (size_t i = 0; i < 3; ++i)
    {
        const CFieldViewColumn& c = view.Columns()[i];
        EXPECT_EQ(c.strCaption, QString::fromUtf8(expected[i].caption));
        EXPECT_EQ(c.strTableField, QString::fromUtf8(expected[i].field));
        EXPECT_EQ(c.Kind(), expected[i].kind) << expected[i].caption;
        EXPECT_EQ(c.SortPriority(), expected[i].sortPriority) << expected[i].caption;
        EXPECT_EQ(c.nWidth, expected[i].width) << expected[i].caption;
    }

    // A width is remembered per user: edited when there is a row, added otherwise.
    ASSERT_TRUE(CFieldViewColumns::SaveColumnWidth(m_db, m_policy, "alice", 1, 15, 123));
    ASSERT_TRUE(CFieldViewColumns::SaveColumnWidth(m_db, m_policy, "alice", 1, 15, 150));
    ASSERT_TRUE(CFieldViewColumns::SaveColumnWidth(m_db, m_policy, "bob", 1, 8, 77));
    EXPECT_EQ(Long("SELECT COUNT(*) FROM FileListFieldViewFieldUserValues WHERE [User]='alice'"), 1);
    ASSERT_TRUE(view.Load(m_db, "alice", "Folder (Default)"));
    EXPECT_EQ(view.Columns()[0].nWidth, 150);
    EXPECT_TRUE(view.Columns()[0].bUserWidth);
    EXPECT_EQ(view.Columns()[1].nWidth, 0) << "bob's width is his";
    ASSERT_TRUE(view.Load(m_db, "bob", "Folder (Default)"));
    EXPECT_EQ(view.Columns()[0].nWidth, 300);
    EXPECT_EQ(view.Columns()[1].nWidth, 77);

    EXPECT_FALSE(view.Load(m_db, "alice", "No Such View"));
    EXPECT_TRUE(view.Columns().empty());
}

TEST_F(FieldViewModelTest, ChosenViewsAndTheViewsOnOffer)
{
    // Without a choice, the default view becomes the user's choice.
    EXPECT_EQ(CFieldViewColumns::CurrentViewName(m_db, "alice", ColumnList::Folder),
              QStringLiteral("Folder (Default)"));
    EXPECT_EQ(GetDatabaseParameter(&m_db, "FolderFileListFieldView_alice"),
              QStringLiteral("Folder (Default)"));
    EXPECT_EQ(CFieldViewColumns::CurrentViewName(m_db, "alice", ColumnList::Query),
              QStringLiteral("Query (Default)"));
    EXPECT_EQ(GetDatabaseParameter(&m_db, "QueryFileListFieldView_bob"), QString());

    // A choice naming a deleted view gives no columns.
    ASSERT_TRUE(CFieldViewColumns::SetCurrentViewName(m_db, "bob", ColumnList::Query, "Vanished"));
    CFieldViewModel model(m_policy);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_FALSE(model.LoadCurrent(&m_db, "bob", ColumnList::Query));
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_TRUE(model.LoadCurrent(&m_db, "alice", ColumnList::Query));
    EXPECT_EQ(Texts(model),
              QStringList({"File", "Catalogue", "Folder", "Size", "Keywords", "Categories", "Description",
                           "Notes", "Alternate File Name", "TTH", "Extension", "Last Modified"}));
    EXPECT_EQ(model.index(2).data(CFieldViewModel::SortPriorityRole).toInt(), 2);
    EXPECT_EQ(model.index(3).data(CFieldViewModel::KindRole).toInt(), int(CDataCtrlDescriptor::KindFileSize));

    // Setting a width through the model stores it for this user.
    ASSERT_TRUE(model.setData(model.index(0), 222, CFieldViewModel::WidthRole));
    EXPECT_EQ(model.index(0).data(CFieldViewModel::WidthRole).toInt(), 222);
    EXPECT_EQ(Long("SELECT Width FROM FileListFieldViewFieldUserValues WHERE [User]='alice' AND "
                   "FileListFieldViewId=2 "
                   "AND FieldId=15"),
              222);
    EXPECT_FALSE(model.setData(model.index(0), "wide", CFieldViewModel::WidthRole));

    // The global views by name, then the user's own; never another user's.
    EXPECT_EQ(CFieldViewColumns::ViewNames(m_db, "alice"),
              QStringList({"Categories", "Folder (Default)", "Folder (Minimal)", "Keywords",
                           "Query (Default)", "Query (Minimal)", "Mine"}));
}

TEST_F(FieldViewModelTest, ConfiguresAFileList)
{
    CFieldViewColumns view;
    ASSERT_TRUE(view.Load(m_db, "alice", "Mine"));
    CRecordSetList list;
    view.ApplyTo(list);

    // Every file list's fields, then the fields that only the view's columns need.
    const auto standard = CFieldViewColumns::StandardFields();
    ASSERT_EQ(list.Fields().size(), standard.size()) << "File.SimilarityId is among the standard fields";
    EXPECT_EQ(list.Fields()[0].m_strFieldName, QStringLiteral("Catalogue.Catalogue"));
    EXPECT_EQ(list.Fields()[0].m_nSortPriority, 1);
    const auto size =
        std::find_if(list.Fields().begin(), list.Fields().end(),
                     [](const CDataCtrlDescriptor& f) { return f.m_strFieldName == "File.FileSizeDouble"; });
    ASSERT_NE(size, list.Fields().end());
    EXPECT_EQ(size->m_nKind, int(CDataCtrlDescriptor::KindFileSize));
    EXPECT_EQ(size->m_strFormat, QStringLiteral("%.0f")) << "the Field row's format";

    ASSERT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), QStringLiteral("File"));
    EXPECT_EQ(list.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Similar"));

    // A view with a field that no file list has adds it.
    Sql("INSERT INTO FileListFieldViewField (FileListFieldViewId, FieldId, \"Order\") VALUES (7, 9, 4)");
    ASSERT_TRUE(view.Load(m_db, "alice", "Mine"));
    CRecordSetList wider;
    view.ApplyTo(wider);
    ASSERT_EQ(wider.Fields().size(), standard.size() + 1);
    EXPECT_EQ(wider.Fields().back().m_strFieldName, QStringLiteral("File.Attributes"));
    EXPECT_EQ(wider.columnCount(), 4);

    // The columns show their fields' values.
    wider.DataCtrl_SetSQL(
        "SELECT * FROM ((((File INNER JOIN Catalogue ON File.CatalogueId = Catalogue.CatalogueId) "
        "LEFT JOIN RelativePath ON File.RelativePathId = RelativePath.RelativePathId) "
        "LEFT JOIN FileInfo ON File.FileInfoId = FileInfo.FileInfoId) "
        "LEFT JOIN FileUserSelect ON File.FileId = FileUserSelect.FileId) "
        "WHERE File.FileId = 5");
    ASSERT_EQ(wider.DataCtrl_Open(&m_db), 0) << wider.LastError().toStdString();
    ASSERT_EQ(wider.rowCount(), 1);
    // Cells arrive from the list's loader once the view has asked for them.
    wider.data(wider.index(0, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !wider.data(wider.index(0, 0)).toString().isEmpty(); }, 10000));
    EXPECT_EQ(wider.data(wider.index(0, 0)).toString(), QStringLiteral("f5.bin"));
}
