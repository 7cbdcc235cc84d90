#include "FileOpsFixture.h"

#include "browser/RecordSetSql.h"
#include "browser/fileops/CheckToSize.h"

namespace
{
constexpr qint64 MB = 1048576;
} // namespace

class CheckToSizeTest : public FileOpsTest
{
protected:
    void AddSized(qint32 id, const char* name, qint64 size, bool mark = false, bool dontMark = false,
                  bool ghost = false)
    {
        Db().Execute(
            QStringLiteral(
                "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeHigh, "
                "FileSizeDouble, DontMark, Ghost) VALUES (1, 0, ?, ?, ?, ?, ?, ?, ?)"),
            {CDbValue(id), CDbValue(name), CDbValue(qint32(quint32(size & 0xffffffff))),
             CDbValue(qint32(size >> 32)), CDbValue(double(size)), CDbValue(dontMark), CDbValue(ghost)});
        Db().Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (?, 'ann', ?)"),
                     {CDbValue(id), CDbValue(mark)});
    }
    std::vector<qint32> Check(ECheckToSizeOrder order, qint64 capacity)
    {
        CRecordSetSql list;
        list.SetUserName(QStringLiteral("ann"));
        list.SetSQL(QStringLiteral("SELECT File.File FROM File WHERE File.CatalogueId=1 AND "
                                   "File.Deleted=FALSE ORDER BY File.FileId"));
        CCheckToSizeResult result;
        EXPECT_TRUE(CheckFilesToSize(Db(), list, order, capacity, QStringLiteral("ann"), m_doc.RetryPolicy(),
                                     result));
        m_total = result.nTotal;
        return result.checkedFileIds;
    }
    std::vector<qint32> Checked()
    {
        std::vector<qint32> ids;
        CDbStatement st = Db().Prepare(QStringLiteral(
            "SELECT FileId FROM FileUserSelect WHERE [User]='ann' AND Mark=TRUE ORDER BY FileId"));
        while (st.Step())
            ids.push_back(st.Value(0).ToLong());
        return ids;
    }
    qint64 m_total = 0;
};

TEST_F(CheckToSizeTest, ACdFillsLargestFirstBySizeAndFirstFitByName)
{
    AddSized(101, "c-400", 400 * MB);
    AddSized(102, "a-350", 350 * MB);
    AddSized(103, "b-250", 250 * MB);
    const qint64 cd = CapacityPresets()[1].bytes;

    EXPECT_EQ(Check(ECheckToSizeOrder::BySize, cd), (std::vector<qint32>{101, 103}));
    EXPECT_EQ(m_total, 650 * MB);
    EXPECT_EQ(Checked(), (std::vector<qint32>{101, 103}));

    Db().Execute(QStringLiteral("UPDATE FileUserSelect SET Mark=FALSE"));
    EXPECT_EQ(Check(ECheckToSizeOrder::ByName, cd), (std::vector<qint32>{102, 103}));
    EXPECT_EQ(Checked(), (std::vector<qint32>{102, 103}));
}

TEST_F(CheckToSizeTest, CheckedFilesCountFirstAndDontMarkAndGhostsAreNeverChecked)
{
    AddSized(101, "big", 5 * MB, true);
    AddSized(102, "small", 1 * MB);
    AddSized(103, "never", 1 * MB, false, true);
    AddSized(104, "ghost", 1 * MB, false, false, true);
    AddSized(105, "huge", qint64(5) << 32); // over 4 GiB: FileSizeHigh counts

    EXPECT_EQ(Check(ECheckToSizeOrder::ByName, 5 * MB), std::vector<qint32>{})
        << "the checked file fills it alone";
    EXPECT_EQ(Check(ECheckToSizeOrder::ByName, 9 * MB), std::vector<qint32>{102});
    EXPECT_EQ(m_total, 6 * MB);
    EXPECT_EQ(Check(ECheckToSizeOrder::BySize, qint64(6) << 32), std::vector<qint32>{105});
    EXPECT_EQ(Checked(), (std::vector<qint32>{101, 102, 105}));
    EXPECT_EQ(Check(ECheckToSizeOrder::BySize, 0), std::vector<qint32>{}) << "a capacity of 0 checks nothing";
}

TEST(CheckToSizeCapacity, PresetsAndCustomSizes)
{
    ASSERT_EQ(CapacityPresets().size(), 4u);
    EXPECT_EQ(CapacityPresets()[0].bytes, 678428672);
    EXPECT_EQ(CapacityPresets()[3].bytes, 4687851677);
    EXPECT_EQ(CapacityUnits()[kDefaultCapacityUnit].first, QStringLiteral("MB"));

    struct Case
    {
        const char* number;
        int unit;
        std::optional<qint64> bytes;
    } cases[] = {
        {"1.5", 3, 1610612736},
        {"700", 2, 734003200},
        {"0.1", 1, 102}, // truncated
        {"123", 0, 123},
        {".5", 1, 512},
        {"2.", 1, 2048},
        {"0", 2, 0},
        {"", 2, std::nullopt},
        {".", 2, std::nullopt},
        {"1.2.3", 2, std::nullopt},
        {"-1", 2, std::nullopt},
        {"1e3", 2, std::nullopt},
        {"99999999999999999999", 3, std::nullopt},
        {"5", 7, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CustomCapacity(QString::fromLatin1(c.number), c.unit), c.bytes)
            << c.number << " unit " << c.unit;
}
