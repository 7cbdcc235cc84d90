#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbErrors.h"
#include "database/DbTransaction.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include <optional>

namespace
{
QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}
} // namespace

TEST(EngineOpen, BadFilesRaiseTheirErrorsAndCreateNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return dir.filePath(name);
    };
    QByteArray damaged("SQLite format 3", 16);
    damaged += QByteArray(4080, '\x5a');
    const struct
    {
        QString path;
        long code;
    } cases[] = {
        {write(QStringLiteral("text.qrl"), "this is a text file, not a catalogue\n"), DbErrors::kUnrecognizedFormat},
        {write(QStringLiteral("empty.qrl"), QByteArray()), DbErrors::kUnrecognizedFormat},
        {write(QStringLiteral("damaged.qrl"), damaged), DbErrors::kUnrecognizedFormat},
        {dir.filePath(QStringLiteral("missing.qrl")), DbErrors::kFileNotFound},
        {dir.filePath(QStringLiteral("text.qrl/below-a-file.qrl")), DbErrors::kFileNotFound},
    };
    const QStringList before = FilesIn(dir.path());
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path.toStdString());
        QFile original(c.path);
        const QByteArray bytes = original.open(QIODevice::ReadOnly) ? original.readAll() : QByteArray();
        original.close();
        CDbDatabase db;
        EXPECT_EQ(ErrorOf([&] { db.Open(c.path); }), c.code);
        EXPECT_FALSE(db.IsOpen());
        QFile after(c.path);
        if (after.open(QIODevice::ReadOnly))
        {
            EXPECT_EQ(after.readAll(), bytes);
        }
    }
    EXPECT_EQ(FilesIn(dir.path()), before);
}

TEST(EngineOpen, JournalModeFollowsTheFilesystem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString local = dir.filePath(QStringLiteral("local.qrl"));
    const QString network = dir.filePath(QStringLiteral("network.qrl"));
    ASSERT_TRUE(WriteTemplateDatabase(local));
    ASSERT_TRUE(WriteTemplateDatabase(network));
    CDbDatabase::SetNetworkFileSystemTest([&](const QString& path) { return path == network; });
    CDbDatabase a;
    CDbDatabase b;
    a.Open(local);
    b.Open(network);
    EXPECT_EQ(a.JournalMode(), QStringLiteral("wal"));
    EXPECT_EQ(b.JournalMode(), QStringLiteral("delete"));
    CDbDatabase::SetNetworkFileSystemTest(nullptr);
    // Foreign keys are on for every connection.
    CDbStatement fk = a.PrepareSqlite(QStringLiteral("PRAGMA foreign_keys"));
    ASSERT_TRUE(fk.Step());
    EXPECT_EQ(fk.Value(0).ToLong(), 1);
}

using EngineTest = BothEnginesFixture;
QUARRANE_ON_BOTH_ENGINES(EngineTest);
// What only a catalogue file has: SQLite's own settings, compacting.
using EngineFileTest = DatabaseFixture;

TEST_P(EngineTest, ValuesRoundTripThroughEveryColumnType)
{
    const QDateTime when(QDate(2023, 7, 14), QTime(21, 5, 9));
    m_db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue, UpdateTTH) VALUES (?, ?, ?)"),
                 {CDbValue(1), CDbValue(QStringLiteral("Fotos ÄÖÜ 日本")), CDbValue(false)});
    m_db.Execute(QStringLiteral("INSERT INTO [File] (CatalogueId, FileId, [File], FileSize, FileSizeHigh, FileSizeDouble, "
                                "LastModified, TTH) VALUES (:cat, :id, :name, :size, :high, :dbl, :when, :tth)"),
                 {{QStringLiteral(":cat"), 1}, {QStringLiteral("id"), 7}, {QStringLiteral("@name"), QStringLiteral("a.txt")},
                  {QStringLiteral(":size"), -2}, {QStringLiteral(":high"), 1}, {QStringLiteral(":dbl"), 8589934590.0},
                  {QStringLiteral(":when"), when}, {QStringLiteral(":tth"), CDbValue()}});

    CDbStatement st = m_db.Prepare(QStringLiteral("SELECT Catalogue.*, File.* FROM Catalogue INNER JOIN File ON "
                                                  "Catalogue.CatalogueId = File.CatalogueId"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(QStringLiteral("Catalogue")).ToString(), QStringLiteral("Fotos ÄÖÜ 日本"));
    EXPECT_EQ(st.Value(QStringLiteral("UpdateTTH")).GetType(), CDbValue::Type::Bool);
    EXPECT_FALSE(st.Value(QStringLiteral("UpdateTTH")).ToBool());
    EXPECT_EQ(st.Value(QStringLiteral("New")), CDbValue(true)); // the column default
    EXPECT_EQ(st.Value(QStringLiteral("FileSize")), CDbValue(-2));
    EXPECT_EQ(st.Value(QStringLiteral("FileSizeDouble")), CDbValue(8589934590.0));
    EXPECT_EQ(st.Value(QStringLiteral("LastModified")), CDbValue(when));
    EXPECT_TRUE(st.Value(QStringLiteral("TTH")).IsNull());
    EXPECT_TRUE(st.Value(QStringLiteral("FileInfoId")).IsNull()); // no default
    EXPECT_EQ(st.Value(QStringLiteral("CatalogueKeepPriority")), CDbValue(10000));
    // Both tables have CatalogueId: the qualified name picks the right one.
    EXPECT_EQ(st.ColumnIndex(QStringLiteral("Catalogue.CatalogueId")), 1);
    EXPECT_EQ(st.ColumnIndex(QStringLiteral("File.CatalogueId")), st.ColumnIndex(QStringLiteral("File.FileId")) - 2);
    EXPECT_EQ(ErrorOf([&] { st.Value(QStringLiteral("NoSuchField")); }), 3265);
    EXPECT_EQ(st.ColumnType(st.ColumnIndex(QStringLiteral("VolumeSerial"))), CDbValue::Type::Long);
    EXPECT_EQ(st.ColumnType(st.ColumnIndex(QStringLiteral("Deleted"))), CDbValue::Type::Bool);
    EXPECT_EQ(st.ColumnType(st.ColumnIndex(QStringLiteral("LastModified"))), CDbValue::Type::DateTime);
    EXPECT_EQ(st.ColumnType(st.ColumnIndex(QStringLiteral("AlternateFile"))), CDbValue::Type::Text);
    EXPECT_EQ(st.ColumnType(st.ColumnIndex(QStringLiteral("FileSizeDouble"))), CDbValue::Type::Double);
    EXPECT_FALSE(st.Step());
}

TEST_P(EngineTest, StatementsArePreparedOncePerText)
{
    const QString sql = QStringLiteral("SELECT Field.Field FROM Field WHERE Field.FieldId=?");
    const int before = m_db.CachedStatementCount();
    for (int id : {1, 8, 19})
    {
        CDbStatement st = m_db.Prepare(sql);
        st.Bind(1, id);
        ASSERT_TRUE(st.Step());
    }
    EXPECT_EQ(m_db.CachedStatementCount(), before + 1);
    {
        // Nested use of one text gets a second statement, never the one still running.
        CDbStatement outer = m_db.Prepare(sql);
        CDbStatement inner = m_db.Prepare(sql);
        outer.Bind(1, 1);
        inner.Bind(1, 8);
        ASSERT_TRUE(outer.Step());
        ASSERT_TRUE(inner.Step());
        EXPECT_EQ(outer.Value(0).ToString(), QStringLiteral("Catalogue"));
        EXPECT_EQ(inner.Value(0).ToString(), QStringLiteral("Size"));
    }
    // A statement left half-read and rebound starts afresh.
    CDbStatement again = m_db.Prepare(sql);
    again.Bind(1, 19);
    ASSERT_TRUE(again.Step());
    EXPECT_EQ(again.Value(0).ToString(), QStringLiteral("Last Modified"));
}

TEST_F(EngineFileTest, TemporaryStorageInMemoryHoldsFromOpenOn)
{
    const auto tempStore = [](CDbDatabase& db) {
        CDbStatement st = db.PrepareSqlite(QStringLiteral("PRAGMA temp_store"));
        return st.Step() ? st.Value(0).ToLong() : -1;
    };
    EXPECT_EQ(tempStore(m_db), 0) << "files by default";
    m_db.Close();
    m_db.SetTemporaryStorageInMemory(true);
    for (int open = 0; open < 2; ++open)
    {
        m_db.Open(m_path);
        EXPECT_EQ(tempStore(m_db), 2);
        // Statements prepared at open against the temporary database still run: changing the
        // setting after them would pull that database from under them.
        EXPECT_EQ(Rows(QStringLiteral("SELECT Field.Field FROM Field WHERE Field.FieldId=8")),
                  QStringList{QStringLiteral("Size")});
        CDbTransaction transaction(m_db);
        m_db.PrepareSqlite(QStringLiteral("UPDATE Field SET Field = Field || '' WHERE FieldId > 0")).Execute();
        transaction.Commit();
        m_db.Close();
    }
    m_db.Open(m_path);
}

TEST_P(EngineTest, TransactionsRollBackUnlessCommittedAndNest)
{
    const QString count = QStringLiteral("SELECT Group.GroupId FROM [Group]");
    {
        CDbTransaction outer(m_db);
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'kept')"));
        {
            CDbTransaction inner(m_db);
            m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (2, 'dropped')"));
        }
        {
            CDbTransaction inner(m_db);
            m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (3, 'kept too')"));
            inner.Commit();
        }
        outer.Commit();
    }
    EXPECT_EQ(Rows(count), (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
    try
    {
        CDbTransaction trans(m_db);
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (4, 'x')"));
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (4, 'duplicate')"));
        trans.Commit();
    }
    catch (const CDbException& e)
    {
        EXPECT_EQ(e.m_nErrorCode, DbErrors::kDuplicateKey);
    }
    EXPECT_EQ(Rows(count).size(), 2);
    EXPECT_FALSE(m_db.InTransaction());
}

TEST_P(EngineTest, EngineFailuresCarryTheirJetNumbers)
{
    m_db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'c')"));
    const struct
    {
        const char* sql;
        long code;
    } cases[] = {
        {"INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'again')", DbErrors::kDuplicateKey},
        {"INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (2, '')", DbErrors::kZeroLengthString},
        {"INSERT INTO Catalogue (CatalogueId, Catalogue, CatalogueKeepPriority) VALUES (2, 'x', Null)", DbErrors::kRequiredField},
        {"INSERT INTO Catalogue (CatalogueId, Volume) VALUES (2, '123456789012345678901')", DbErrors::kFieldTooSmall},
        {"INSERT INTO Catalogue (CatalogueId, UpdateTTH) VALUES (2, 5)", DbErrors::kValidationRule},
        {"INSERT INTO [File] (CatalogueId, FileId, FileSize, FileSizeDouble) VALUES (99, 1, 0, 0)", DbErrors::kRelatedRecordRequired},
        {"SELECT * FROM NoSuchTable", DbErrors::kInputNotFound},
        // A name that is no column is a parameter to Jet, and a plain statement has no values for it.
        {"SELECT NoSuchColumn FROM Catalogue", 3061},
        {"SELECT FROM WHERE", DbErrors::kSyntaxError},
        {"SELECT 'unclosed FROM Catalogue", DbErrors::kSyntaxError},
        {"SELECT * FROM Catalogue; DELETE FROM Catalogue", 3142},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(ErrorOf([&] { m_db.Execute(QString::fromUtf8(c.sql)); }), c.code);
    }
    EXPECT_EQ(Rows(QStringLiteral("SELECT CatalogueId, Catalogue FROM Catalogue")), QStringList{QStringLiteral("1|c")});
    // The description names the column whose rule refused the value.
    try
    {
        m_db.Execute(QStringLiteral("UPDATE Catalogue SET Catalogue=''"));
        ADD_FAILURE();
    }
    catch (const CDbException& e)
    {
        EXPECT_EQ(e.m_strDescription, QStringLiteral("Field 'Catalogue.Catalogue' cannot be a zero-length string."));
    }
}

// A file is locked as a whole: a second writer is refused even for another row (the server locks
// rows, which BothEngines.AWriteBlockedByAnotherSessionRaisesTheLockingError covers).
TEST_F(EngineFileTest, AWriteBlockedByAnotherConnectionRaisesTheLockingError)
{
    CDbDatabase other;
    other.Open(m_path);
    other.SetBusyTimeout(0);
    m_db.SetBusyTimeout(0);
    CDbTransaction holding(m_db);
    m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'g')"));
    const long code = ErrorOf([&] { other.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (2, 'h')")); });
    EXPECT_TRUE(DbErrors::IsLockingError(code)) << code;
    // Readers are not blocked by a writer.
    EXPECT_EQ(RowsOf(other, QStringLiteral("SELECT GroupId FROM [Group]")), QStringList());
}

TEST_F(EngineFileTest, CompactingWritesACheckedCopyAndLeavesTheSource)
{
    for (int id = 1; id <= 50; ++id)
        m_db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (?, ?)"), {CDbValue(id), CDbValue(QStringLiteral("g%1").arg(id))});
    m_db.Execute(QStringLiteral("DELETE FROM [Group] WHERE GroupId > 10"));
    const QString target = m_dir.filePath(QStringLiteral("test.qrl.compacted.alice"));
    // The compaction needs the file to itself: while another connection has it open it refuses.
    EXPECT_EQ(ErrorOf([&] { CDbDatabase::CompactDatabase(m_path, target); }), 3045);
    EXPECT_FALSE(QFile::exists(target));
    m_db.Close();
    CDbDatabase::CompactDatabase(m_path, target);
    m_db.Open(m_path);
    CDbDatabase copy;
    copy.Open(target);
    EXPECT_EQ(RowsOf(copy, QStringLiteral("SELECT Count(*) FROM [Group]")), QStringList{QStringLiteral("10")});
    EXPECT_EQ(RowsOf(copy, QStringLiteral("SELECT [Value] FROM Parameter WHERE Parameter='Version'")), QStringList{QStringLiteral("1.004")});
    EXPECT_EQ(Rows(QStringLiteral("SELECT Count(*) FROM [Group]")), QStringList{QStringLiteral("10")});
    // An existing target is never overwritten; a file that is not a database leaves no target.
    EXPECT_EQ(ErrorOf([&] { CDbDatabase::CompactDatabase(m_path, target); }), 3204);
    const QString text = m_dir.filePath(QStringLiteral("text.qrl"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a database");
    file.close();
    const QString nowhere = m_dir.filePath(QStringLiteral("text.qrl.compacted"));
    EXPECT_EQ(ErrorOf([&] { CDbDatabase::CompactDatabase(text, nowhere); }), DbErrors::kUnrecognizedFormat);
    EXPECT_FALSE(QFile::exists(nowhere));
}

// A catalogue the user may only read is refused at open with the reason, instead of failing at the
// first change; nothing is written beside it. Needs a second, unprivileged user.
TEST(EngineOpen, AFileThatCannotBeWrittenIsRefusedAtOpen)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root and setpriv to act as an unprivileged user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const QString path = dir.filePath(QStringLiteral("readonly.qrl"));
    ASSERT_TRUE(WriteTemplateDatabase(path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QProcess holder;
    holder.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                           QStringLiteral(QUARRANE_LOCK_HOLDER), path});
    ASSERT_TRUE(holder.waitForFinished(10000));
    const QString errors = QString::fromUtf8(holder.readAllStandardError());
    if (errors.contains(QLatin1String("Permission denied")) && !errors.contains(QLatin1String("db_lock_holder")))
        GTEST_SKIP() << "the unprivileged user cannot run the helper here: " << errors.toStdString();
    EXPECT_EQ(holder.exitCode(), 1);
    EXPECT_TRUE(errors.contains(QLatin1String("3051"))) << errors.toStdString();
    EXPECT_EQ(FilesIn(dir.path()), QStringList{QStringLiteral("readonly.qrl")});
}
