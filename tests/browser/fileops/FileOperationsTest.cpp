#include "FileOpsFixture.h"

#include "browser/RecordSetList.h"
#include "browser/fileops/FileOperations.h"

#include <QItemSelectionModel>
#include <QSignalSpy>

// The operations as the window starts them: jobs on their own connection, over a list whose
// selection they read and whose focus they set afterwards.
class FileOperationsTest : public FileOpsTest
{
protected:
    void SetUp() override
    {
        FileOpsTest::SetUp();
        for (int i = 0; i < 6; ++i)
            AddFile(101 + i, 1, 0, QStringLiteral("f%1.txt").arg(i),
                    QByteArray("content ") + QByteArray::number(i));
        m_list.SetUserName(QStringLiteral("ann"));
        m_list.DataCtrl_SetSQL(
            QStringLiteral("SELECT File.File FROM File WHERE File.Deleted=FALSE ORDER BY File.FileId"));
        CDataCtrlDescriptor field;
        field.m_strFieldName = QStringLiteral("File.File");
        m_list.DataCtrl_AddField(field);
        m_list.AddColumn(field);
        ASSERT_EQ(m_list.DataCtrl_Open(&Db()), 0);
        ASSERT_EQ(m_list.rowCount(), 6);
    }
    void TearDown() override
    {
        m_list.DataCtrl_Close();
        FileOpsTest::TearDown();
    }
    void Select(std::initializer_list<int> rows, int current)
    {
        m_selection.clearSelection();
        for (const int row : rows)
            m_selection.select(m_list.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_selection.setCurrentIndex(m_list.index(current, 0), QItemSelectionModel::NoUpdate);
    }
    std::optional<CFileOpResult> WaitForEnd(CFileOperations& ops)
    {
        QSignalSpy finished(&ops, &CFileOperations::finished);
        if (!finished.wait(20000))
            return std::nullopt;
        return finished[0][0].value<CFileOpResult>();
    }

    CRecordSetList m_list;
    QItemSelectionModel m_selection{&m_list};
};

TEST_F(FileOperationsTest, DeletingFocusesTheNextUnselectedRowAndGhostingLeavesTheSelection)
{
    CFileOperations ops(m_doc, m_problems);
    Select({1, 2}, 2);
    m_ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_TRUE(ops.DeleteOrGhostSelected(m_list, &m_selection, false));
    EXPECT_FALSE(m_doc.CanWrite()) << "the job writes";
    const std::optional<CFileOpResult> result = WaitForEnd(ops);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->doneFileIds, (std::vector<qint32>{102, 103}));
    EXPECT_EQ(m_list.rowCount(), 4) << "the list was read again";
    EXPECT_EQ(m_list.Key(m_selection.currentIndex().row()), 104);
    EXPECT_EQ(CFileOperations::SelectedFileIds(m_list, &m_selection), std::vector<qint32>{104});
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Confirm Delete Selected Files"));

    // No to the confirmation: nothing happens.
    Select({0}, 0);
    m_ui.QueueAnswer(MsgAnswer::No);
    ASSERT_TRUE(ops.DeleteOrGhostSelected(m_list, &m_selection, true));
    ASSERT_TRUE(WaitForEnd(ops));
    EXPECT_FALSE(Field(101, QStringLiteral("Ghost")).ToBool());
    EXPECT_TRUE(QFileInfo::exists(FilePathOf(1, 0, QStringLiteral("f0.txt"))));
}

TEST_F(FileOperationsTest, AMoveRunsAsAJobAndTheListFocusesTheFocusedFile)
{
    CFileOperations ops(m_doc, m_problems);
    Select({3, 4}, 4);
    CMoveFilesRequest request;
    request.lCatalogueId = 2;
    request.fileIds = CFileOperations::SelectedFileIds(m_list, &m_selection);
    request.lFocusedFileId = 106;
    ASSERT_EQ(request.fileIds, (std::vector<qint32>{104, 105}));
    ASSERT_TRUE(ops.MoveFilesTo(request, &m_list, &m_selection));
    const std::optional<CFileOpResult> result = WaitForEnd(ops);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->doneFileIds, (std::vector<qint32>{104, 105}));
    EXPECT_EQ(Read(FilePathOf(2, 0, QStringLiteral("f3.txt"))), QByteArray("content 3"));
    EXPECT_EQ(Field(105, QStringLiteral("CatalogueId")).ToLong(), 2);
    EXPECT_EQ(m_list.Key(m_selection.currentIndex().row()), 106);

    EXPECT_FALSE(ops.MoveFilesTo(CMoveFilesRequest{}, &m_list, &m_selection)) << "nothing to move";
}
