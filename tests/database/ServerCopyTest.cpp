// Rows copied into a server catalogue in one go (CDbDatabase::CopyServerRows) against the same rows
// inserted one statement at a time: the same values whatever their text, the same error numbers,
// and a failure that takes all of the copied rows and nothing else.

#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbErrorCodes.h"
#include "database/DbTransaction.h"

namespace
{
const QStringList kFileColumns = {
    QStringLiteral("CatalogueId"),  QStringLiteral("FileId"),         QStringLiteral("File"),
    QStringLiteral("FileSize"),     QStringLiteral("FileSizeHigh"),   QStringLiteral("FileSizeDouble"),
    QStringLiteral("LastModified"), QStringLiteral("Attributes"),     QStringLiteral("Extension"),
    QStringLiteral("New"),          QStringLiteral("RelativePathId"),
};

// One File row in the order of kFileColumns.
std::vector<CDbValue> FileRow(qint32 catalogueId, qint32 fileId, const CDbValue& name)
{
    return {CDbValue(catalogueId),
            CDbValue(fileId),
            name,
            CDbValue(-2),
            CDbValue(1),
            CDbValue(8589934590.0),
            CDbValue(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58))),
            CDbValue::Null(),
            CDbValue(QStringLiteral("t\\x")),
            CDbValue(true),
            CDbValue(7)};
}

// The same row by an INSERT with bound values, as the program writes single rows.
void InsertRow(CDbDatabase& db, const std::vector<CDbValue>& row)
{
    CDbStatement insert = db.Prepare(QStringLiteral(
        "INSERT INTO [File] (CatalogueId, FileId, [File], FileSize, FileSizeHigh, FileSizeDouble, "
        "LastModified, Attributes, Extension, [New], RelativePathId) VALUES (?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?)"));
    for (size_t i = 0; i < row.size(); ++i)
        insert.Bind(static_cast<int>(i) + 1, row[i]);
    insert.Execute();
}

class ServerCopy : public DatabaseFixture
{
protected:
    EEngine Engine() const override { return EEngine::Server; }

    void SetUp() override
    {
        DatabaseFixture::SetUp();
        if (!Ready())
            return;
        m_db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'c')"));
    }

    void Copy(const std::vector<std::vector<CDbValue>>& rows)
    {
        std::vector<CDbValue> values;
        for (const std::vector<CDbValue>& row : rows)
            values.insert(values.end(), row.begin(), row.end());
        m_db.CopyServerRows(QStringLiteral("File"), kFileColumns, values);
    }
};

// A row with one value replaced.
std::vector<CDbValue> With(std::vector<CDbValue> row, size_t column, const CDbValue& value)
{
    row[column] = value;
    return row;
}
} // namespace

TEST_F(ServerCopy, CopiedRowsHoldWhatInsertedRowsHoldWhateverTheirText)
{
    // COPY's own characters (tab, line ends, backslash, its Null marker) among the awkward names.
    const QStringList names = {
        QStringLiteral("tab\there.txt"),  QStringLiteral("line\nbreak"),   QStringLiteral("cr\rlf\r\n"),
        QStringLiteral("back\\slash\\"),  QStringLiteral("\\N"),           QStringLiteral("\\."),
        QStringLiteral("it's \"q\".txt"), QStringLiteral("100% _x_ *?#"),  QStringLiteral("[a-z]!"),
        QStringLiteral(" spaced "),       QStringLiteral("Ärger ärger ß"), QStringLiteral("日本語.txt"),
        QStringLiteral("\\t\\n literal"), QStringLiteral("e\u0301"),       QStringLiteral("|pipe|"),
    };
    std::vector<std::vector<CDbValue>> copied;
    for (int i = 0; i < names.size(); ++i)
    {
        copied.push_back(FileRow(1, 100 + i, names[i]));
        InsertRow(m_db, FileRow(1, 200 + i, names[i]));
    }
    {
        CDbTransaction transaction(m_db);
        Copy(copied);
        transaction.Commit();
    }
    const QString columns = QStringLiteral(
        "SELECT [File], FileSize, FileSizeHigh, FileSizeDouble, LastModified, Attributes, Extension, [New], "
        "RelativePathId FROM [File] WHERE FileId BETWEEN %1 AND %2 ORDER BY FileId");
    const QStringList copiedRows = Rows(columns.arg(100).arg(199));
    ASSERT_EQ(copiedRows.size(), names.size());
    EXPECT_EQ(copiedRows, Rows(columns.arg(200).arg(299)));
    // Read back exactly, not only alike.
    CDbStatement st =
        m_db.Prepare(QStringLiteral("SELECT [File] FROM [File] WHERE FileId >= 100 AND FileId < 200 "
                                    "ORDER BY FileId"));
    for (const QString& name : names)
    {
        ASSERT_TRUE(st.Step());
        EXPECT_EQ(st.Value(0).ToString(), name);
    }
}

TEST_F(ServerCopy, ARowThatBreaksARuleFailsTheWholeCopyWithTheNumberItsInsertRaises)
{
    InsertRow(m_db, FileRow(1, 5, QStringLiteral("there.txt")));
    const struct
    {
        const char* what;
        std::vector<CDbValue> row;
        long code;
    } cases[] = {
        {"a FileId taken", FileRow(1, 5, QStringLiteral("again.txt")), DbErrors::kDuplicateKey},
        {"no such catalogue", FileRow(99, 12, QStringLiteral("x.txt")), DbErrors::kRelatedRecordRequired},
        {"an empty name", FileRow(1, 12, QString()), DbErrors::kZeroLengthString},
        {"a name too long", FileRow(1, 12, QString(256, QLatin1Char('n'))), DbErrors::kFieldTooSmall},
        {"no FileSizeDouble", With(FileRow(1, 12, QStringLiteral("y.txt")), 5, CDbValue::Null()),
         DbErrors::kRequiredField},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const long inserted = ErrorOf([&] { InsertRow(m_db, c.row); });
        EXPECT_EQ(inserted, c.code);
        CDbTransaction transaction(m_db);
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'before')"));
        // The bad row between good ones: none of the three stays, the transaction goes on.
        EXPECT_EQ(
            ErrorOf(
                [&] {
                    Copy({FileRow(1, 10, QStringLiteral("a")), c.row, FileRow(1, 11, QStringLiteral("b"))});
                }),
            inserted);
        EXPECT_TRUE(m_db.InTransaction());
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (2, 'after')"));
        transaction.Commit();
        EXPECT_EQ(Rows(QStringLiteral("SELECT FileId FROM [File] ORDER BY FileId")),
                  QStringList{QStringLiteral("5")});
        EXPECT_EQ(Rows(QStringLiteral("SELECT [Group] FROM [Group] ORDER BY GroupId")),
                  (QStringList{QStringLiteral("before"), QStringLiteral("after")}));
        m_db.Execute(QStringLiteral("DELETE FROM [Group]"));
    }
}

TEST_F(ServerCopy, OutsideATransactionAFailedCopyKeepsNothingAndShortRowsAreRefused)
{
    EXPECT_EQ(ErrorOf(
                  [&] {
                      Copy({FileRow(1, 1, QStringLiteral("a")), FileRow(1, 1, QStringLiteral("b"))});
                  }),
              DbErrors::kDuplicateKey);
    EXPECT_FALSE(m_db.InTransaction());
    std::vector<CDbValue> shortRows = FileRow(1, 2, QStringLiteral("c"));
    shortRows.pop_back();
    EXPECT_NE(ErrorOf([&] { m_db.CopyServerRows(QStringLiteral("File"), kFileColumns, shortRows); }), 0);
    EXPECT_EQ(Rows(QStringLiteral("SELECT Count(*) FROM [File]")), QStringList{QStringLiteral("0")});
    // The connection is fine afterwards.
    Copy({FileRow(1, 3, QStringLiteral("d"))});
    EXPECT_EQ(Rows(QStringLiteral("SELECT [File] FROM [File]")), QStringList{QStringLiteral("d")});
}

namespace
{
class FileCopy : public DatabaseFixture
{
};
} // namespace

TEST_F(FileCopy, ACatalogueFileRefusesACopyOfRows)
{
    const QStringList before = Rows(QStringLiteral("SELECT Count(*) FROM [Group]"));
    EXPECT_EQ(ErrorOf(
                  [&]
                  {
                      m_db.CopyServerRows(QStringLiteral("Group"),
                                          {QStringLiteral("GroupId"), QStringLiteral("Group")},
                                          {CDbValue(77), CDbValue(QStringLiteral("g"))});
                  }),
              DbErrors::kInvalidArgument);
    EXPECT_EQ(Rows(QStringLiteral("SELECT Count(*) FROM [Group]")), before);
}
