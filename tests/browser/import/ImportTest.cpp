#include "../DocumentFixture.h"
#include "browser/import/MwImport.h"
#include "browser/import/MwImportCommand.h"
#include "cli/CliCheck.h"
#include "database/DbTransaction.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <sys/types.h>

namespace
{
// A small catalogue database of its own: a group, two catalogues, folders, an edited file with
// an unedited copy, keywords and categories with ann's usage, ann's marks and selections.
void FillSample(CDbDatabase& db)
{
    db.ExecuteSqliteScript(QStringLiteral(R"(
INSERT INTO "Group" ("GroupId", "Group", "ParentGroupId") VALUES (1, 'Media', 0), (2, 'Old', 1);
INSERT INTO "Catalogue" ("GroupId", "CatalogueId", "Catalogue", "VolumeSerial", "LocalMachine", "UserName",
  "CatalogueType") VALUES (2, 1, 'Films', 1, 'pc', 'ann', 'Disk'), (0, 2, 'Music', 2, 'pc', 'ann', 'Disk');
INSERT INTO "RelativePath" ("RelativePathId", "RelativePath") VALUES (1, 'Films\Old'), (2, 'Jazz');
INSERT INTO "FileInfo" ("FileInfoId", "Description", "Keyword", "Category") VALUES
  (1, 'Great film', 'Classic;  ', 'Drama;  ');
INSERT INTO "File" ("CatalogueId", "RelativePathId", "FileId", "FileInfoId", "SimilarityId", "File", "FileSize",
  "FileSizeDouble", "Extension") VALUES
  (1, 1, 1, 1, 1, 'Casablanca.mkv', 700, 700, 'mkv'),
  (1, 0, 2, NULL, 1, 'copy.mkv', 700, 700, 'mkv'),
  (2, 2, 3, NULL, 0, 'Blue.flac', 30, 30, 'flac');
INSERT INTO "Keyword" ("KeywordId", "Keyword") VALUES (1, 'Classic');
INSERT INTO "Category" ("CategoryId", "Category") VALUES (1, 'Drama');
INSERT INTO "KeywordUsage" ("KeywordId", "User", "LastUsed") VALUES (1, 'ann', '2024-01-01 10:00:00');
INSERT INTO "CategoryUsage" ("CategoryId", "User", "LastUsed") VALUES (1, 'ann', '2024-01-01 10:00:00');
INSERT INTO "FileUserSelect" ("FileId", "User", "Mark") VALUES (1, 'ann', 1);
INSERT INTO "CatalogueUserSelect" ("CatalogueId", "User", "CatalogueSelect") VALUES (1, 'ann', 1);
INSERT OR REPLACE INTO "Parameter" ("Parameter", "Value") VALUES ('FolderFileListFieldView_ann', 'Keywords'),
  ('CompactOnExit', '1'), ('NavigatorWndWidth_ann', '250');
INSERT OR REPLACE INTO "IndexId" ("Index", "IndexId") VALUES ('Group_GroupId', 2), ('Catalogue_CatalogueId', 2),
  ('RelativePath_RelativePathId', 2), ('FileInfo_FileInfoId', 1), ('File_FileId', 3), ('File_SimilarityId', 1),
  ('Keyword_KeywordId', 1), ('Category_CategoryId', 1);
)"));
}

// Every row of every table, in key order: equal fingerprints, equal databases.
QByteArray Fingerprint(CDbDatabase& db)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QStringList tables;
    {
        CDbStatement st = db.PrepareSqlite(
            QStringLiteral("SELECT name FROM main.sqlite_master WHERE type = 'table' ORDER BY name"));
        while (st.Step())
            tables.append(st.Value(0).ToString());
    }
    for (const QString& table : tables)
    {
        CDbStatement st =
            db.PrepareSqlite(QStringLiteral("SELECT * FROM main.\"%1\" ORDER BY rowid").arg(table));
        hash.addData(table.toUtf8());
        while (st.Step())
            for (int i = 0; i < st.ColumnCount(); ++i)
                hash.addData(
                    (st.Value(i).IsNull() ? QStringLiteral("<null>") : st.Value(i).ToString()).toUtf8() +
                    '|');
    }
    return hash.result();
}

QStringList Column(CDbDatabase& db, const QString& sql)
{
    QStringList values;
    CDbStatement st = db.PrepareSqlite(sql);
    while (st.Step())
        values.append(st.Value(0).IsNull() ? QStringLiteral("<null>") : st.Value(0).ToString());
    return values;
}

class ImportTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        FillSample(Db());
        m_strOther = Path(QStringLiteral("other/Other.qrl"));
        QDir().mkpath(QFileInfo(m_strOther).absolutePath());
    }

    // The open database copied, as a file to import.
    void CopyOpenDatabase()
    {
        CDbStatement copy = Db().PrepareSqlite(QStringLiteral("VACUUM INTO ?"));
        copy.Bind(1, m_strOther);
        copy.Execute();
    }

    // An empty database from the template, open for writing.
    std::unique_ptr<CDbDatabase> NewOther()
    {
        QFile file(m_strOther);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(TemplateDatabaseBytes());
        file.close();
        auto db = std::make_unique<CDbDatabase>();
        db->Open(m_strOther);
        return db;
    }

    // An import on a connection of its own, as the job has.
    SMwImportResult Import(std::function<bool()> shouldContinue = {},
                           const std::function<void(CDbDatabase&)>& prepare = {})
    {
        CDbDatabase job;
        job.Open(m_strDatabase);
        if (prepare)
            prepare(job);
        CMwImport import(job, m_ui, std::move(shouldContinue));
        return import.Import(m_strOther);
    }

    // The first value of a statement in SQLite's own dialect.
    qint64 Sql(const QString& sql)
    {
        CDbStatement st = Db().PrepareSqlite(sql);
        return st.Step() ? static_cast<qint64>(st.Value(0).ToDouble()) : -1;
    }

    void ExpectConsistent()
    {
        for (const CCliCheckResult& check : CheckCatalogueDatabase(Db()))
            EXPECT_TRUE(check.problems.isEmpty()) << check.name.toStdString() << ": "
                                                  << check.problems.join(QStringLiteral("; ")).toStdString();
    }

    QString m_strOther;
};

TEST(ImportNameTest, ImportedNamesCountUpAndFitTheColumn)
{
    EXPECT_EQ(CMwImport::ImportedName(QStringLiteral("Films"), 1, 50), QStringLiteral("Films (Imported)"));
    EXPECT_EQ(CMwImport::ImportedName(QStringLiteral("Films"), 2, 50), QStringLiteral("Films (Imported 2)"));
    EXPECT_EQ(CMwImport::ImportedName(QStringLiteral("Films"), 12, 0), QStringLiteral("Films (Imported 12)"));
    // A name that fills its column gives way to the suffix, so candidates never repeat the name.
    const QString full(50, QLatin1Char('x'));
    EXPECT_EQ(CMwImport::ImportedName(full, 1, 50),
              QString(39, QLatin1Char('x')) + QStringLiteral(" (Imported)"));
    EXPECT_EQ(CMwImport::ImportedName(full, 3, 50).size(), 50);
    EXPECT_NE(CMwImport::ImportedName(full, 2, 50), CMwImport::ImportedName(full, 3, 50));
}

TEST_F(ImportTest, ACopyOfItselfDoublesEveryCatalogueAboveTheOldIdentifiers)
{
    CopyOpenDatabase();
    const SMwImportResult result = Import();
    ASSERT_TRUE(result.Succeeded()) << result.strText.toStdString();

    EXPECT_EQ(Column(Db(), QStringLiteral("SELECT Catalogue FROM Catalogue ORDER BY CatalogueId")),
              QStringList({"Films", "Music", "Films (Imported)", "Music (Imported)"}));
    EXPECT_EQ(Column(Db(), QStringLiteral("SELECT \"Group\" FROM \"Group\" ORDER BY GroupId")),
              QStringList({"Media", "Old", "Media (Imported)", "Old (Imported)"}));
    // The new rows lie above the old ones, and the counters above both.
    for (const auto& [table, column, oldMax] : {std::tuple{"Catalogue", "CatalogueId", 2},
                                                {"File", "FileId", 3},
                                                {"Group", "GroupId", 2},
                                                {"RelativePath", "RelativePathId", 2},
                                                {"FileInfo", "FileInfoId", 1}})
    {
        EXPECT_EQ(
            Sql(QStringLiteral("SELECT count(*) FROM \"%1\" WHERE %2 > %3").arg(table, column).arg(oldMax)),
            Sql(QStringLiteral("SELECT count(*) FROM \"%1\" WHERE %2 BETWEEN 1 AND %3")
                    .arg(table, column)
                    .arg(oldMax)))
            << table;
        EXPECT_GE(
            Sql(QStringLiteral("SELECT IndexId FROM IndexId WHERE \"Index\"='%1_%2'").arg(table, column)),
            Sql(QStringLiteral("SELECT max(%2) FROM \"%1\"").arg(table, column)));
    }

    // Every imported file sits in the imported catalogue, folder and edit, by content.
    EXPECT_EQ(
        Column(Db(), QStringLiteral(
                         "SELECT c.Catalogue || '/' || coalesce(r.RelativePath, '') || '/' || f.File || '/' "
                         "|| coalesce(i.Description, '') FROM File f JOIN Catalogue c ON c.CatalogueId = "
                         "f.CatalogueId JOIN RelativePath r ON r.RelativePathId = f.RelativePathId LEFT JOIN "
                         "FileInfo i ON i.FileInfoId = f.FileInfoId WHERE f.FileId > 3 ORDER BY f.FileId")),
        QStringList({"Films (Imported)/Films\\Old/Casablanca.mkv/Great film", "Films (Imported)//copy.mkv/",
                     "Music (Imported)/Jazz/Blue.flac/"}));
    EXPECT_EQ(Column(Db(), QStringLiteral(
                               "SELECT g.\"Group\" || '>' || p.\"Group\" FROM Catalogue c JOIN \"Group\" g "
                               "ON g.GroupId = c.GroupId JOIN \"Group\" p ON p.GroupId = g.ParentGroupId "
                               "WHERE c.Catalogue = 'Films (Imported)'")),
              QStringList({"Old (Imported)>Media (Imported)"}));
    // The imported copies stay similar to each other and to nothing of the open database.
    EXPECT_EQ(Sql(QStringLiteral(
                  "SELECT count(DISTINCT SimilarityId) FROM File WHERE FileId > 3 AND SimilarityId <> 0")),
              1);
    EXPECT_EQ(
        Sql(QStringLiteral("SELECT count(*) FROM File a JOIN File b ON a.SimilarityId = b.SimilarityId WHERE "
                           "a.FileId <= 3 AND b.FileId > 3 AND a.SimilarityId <> 0")),
        0);

    // Usage lists and marks stay behind; catalogue selections come along with their catalogue.
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM KeywordUsage")), 1);
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM CategoryUsage")), 1);
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM FileUserSelect")), 1);
    EXPECT_EQ(
        Column(Db(), QStringLiteral("SELECT c.Catalogue FROM CatalogueUserSelect s JOIN Catalogue c ON "
                                    "c.CatalogueId = s.CatalogueId WHERE s.CatalogueSelect <> 0 ORDER BY 1")),
        QStringList({"Films", "Films (Imported)"}));
    EXPECT_EQ(Column(Db(), QStringLiteral("SELECT Keyword FROM Keyword ORDER BY KeywordId")),
              QStringList({"Classic", "Classic (Imported)"}));
    // The parameters named for import come along; others do not.
    EXPECT_EQ(Sql(QStringLiteral(
                  "SELECT count(*) FROM Parameter WHERE substr(Parameter, 1, 17) = 'NavigatorWndWidth'")),
              1);
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("FolderFileListFieldView_ann")),
              QStringLiteral("Keywords"));
    ExpectConsistent();
    // The copy is gone; the imported file is as it was.
    EXPECT_FALSE(QFileInfo::exists(CMwImport::TemporaryPath(m_strDatabase)));
}

TEST_F(ImportTest, ImportingTwiceCountsTheNamesOnAndOverwritesParameters)
{
    {
        std::unique_ptr<CDbDatabase> other = NewOther();
        other->ExecuteSqliteScript(QStringLiteral(
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, LocalMachine, UserName, "
            "CatalogueType) VALUES (0, 1, 'Films', 9, 'pc', 'bob', 'Disk'), (0, 2, 'films', 9, 'pc', 'bob', "
            "'Disk');"
            "INSERT OR REPLACE INTO Parameter (Parameter, Value) VALUES ('QueryFileListFieldView_bob', "
            "'Query (Minimal)'), ('CompactOnExit', '0');"
            "INSERT OR REPLACE INTO IndexId (\"Index\", IndexId) VALUES ('Catalogue_CatalogueId', 2);"));
    }
    ASSERT_TRUE(Import().Succeeded());
    ASSERT_TRUE(Import().Succeeded());
    // Names are the same whatever their case, as the catalogue browser compares them.
    EXPECT_EQ(Column(Db(), QStringLiteral("SELECT Catalogue FROM Catalogue ORDER BY CatalogueId")),
              QStringList({"Films", "Music", "Films (Imported)", "films (Imported 2)", "Films (Imported 3)",
                           "films (Imported 4)"}));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("CompactOnExit")), QStringLiteral("0"));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("QueryFileListFieldView_bob")),
              QStringLiteral("Query (Minimal)"));
    // The template's six views arrive twice under new names, with their columns.
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM FileListFieldView")), 18);
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM FileListFieldViewField f JOIN FileListFieldView v ON "
                                 "v.FileListFieldViewId = f.FileListFieldViewId WHERE v.FileListFieldView = "
                                 "'Keywords (Imported 2)'")),
              7);
    ExpectConsistent();
}

TEST_F(ImportTest, AnOlderDatabaseWithoutExtensionsGetsThemFromTheNames)
{
    {
        std::unique_ptr<CDbDatabase> other = NewOther();
        other->ExecuteSqliteScript(QStringLiteral(
            "ALTER TABLE File DROP COLUMN Extension;"
            "UPDATE Parameter SET Value = '1.003' WHERE Parameter = 'Version';"
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, LocalMachine, UserName, "
            "CatalogueType) VALUES (0, 1, 'Old disk', 9, 'pc', 'bob', 'Disk');"
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) VALUES "
            "(1, 0, 1, 'notes.txt', 1, 1), (1, 0, 2, 'README', 1, 1), (1, 0, 3, 'backup.tar.gz  ', 1, 1), "
            "(1, 0, 4, 'ends with.', 1, 1), (1, 0, 5, 'Ünïcode.JPÉG', 1, 1);"
            "INSERT OR REPLACE INTO IndexId (\"Index\", IndexId) VALUES ('File_FileId', 5), "
            "('Catalogue_CatalogueId', 1);"));
    }
    const SMwImportResult result = Import();
    ASSERT_TRUE(result.Succeeded()) << result.strText.toStdString();
    QStringList extensions =
        Column(Db(), QStringLiteral("SELECT f.File || '=' || coalesce(f.Extension, '<null>') "
                                    "FROM File f JOIN Catalogue c ON c.CatalogueId = "
                                    "f.CatalogueId WHERE c.Catalogue = 'Old disk'"));
    extensions.sort();
    EXPECT_EQ(extensions, QStringList({"README=<null>", "backup.tar.gz  =gz", "ends with.=<null>",
                                       "notes.txt=txt", "Ünïcode.JPÉG=JPÉG"}));
    ExpectConsistent();
}

TEST_F(ImportTest, ANameThatFillsItsColumnStillFindsAFreeName)
{
    const QString full(50, QLatin1Char('n'));
    Db().Execute(QStringLiteral("UPDATE Catalogue SET Catalogue = ? WHERE CatalogueId = 2"),
                 {CDbValue(full)});
    CopyOpenDatabase();
    ASSERT_TRUE(Import().Succeeded());
    ASSERT_TRUE(Import().Succeeded());
    EXPECT_EQ(
        Column(Db(), QStringLiteral(
                         "SELECT Catalogue FROM Catalogue WHERE substr(Catalogue, 1, 3) = 'nnn' ORDER BY "
                         "CatalogueId")),
        QStringList({full, QString(39, QLatin1Char('n')) + " (Imported)",
                     QString(37, QLatin1Char('n')) + " (Imported 2)"}));
}

TEST_F(ImportTest, AFailedOrCancelledImportLeavesTheOpenDatabaseAsItWas)
{
    const QByteArray before = Fingerprint(Db());

    // No such file.
    SMwImportResult result = Import();
    EXPECT_EQ(result.nCode, 2);
    EXPECT_EQ(result.strText, QStringLiteral("Could not locate the import database!"));
    EXPECT_EQ(result.strCaption, QStringLiteral("Import Database"));

    CopyOpenDatabase();
    // Not a database at all: the engine's description.
    {
        QFile junk(Path(QStringLiteral("junk.qrl")));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'j'));
    }
    {
        CDbDatabase job;
        job.Open(m_strDatabase);
        result = CMwImport(job, m_ui).Import(Path(QStringLiteral("junk.qrl")));
    }
    EXPECT_EQ(result.nCode, 3343);
    EXPECT_EQ(result.strCaption, QStringLiteral("Database Error"));

    // Too little room for the copy beside the open database.
    m_volumes.SetEntries(
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"), {}, 1000)});
    result = Import();
    EXPECT_EQ(result.nCode, 112);
    EXPECT_TRUE(result.strText.startsWith(QStringLiteral("There is not enough disk space")))
        << result.strText.toStdString();
    m_volumes.SetEntries(
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});

    // A larger database to import, so that the rows need pages the open database does not have.
    {
        std::unique_ptr<CDbDatabase> other = NewOther();
        other->ExecuteSqliteScript(QStringLiteral(
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, LocalMachine, UserName, "
            "CatalogueType) VALUES (0, 1, 'Big', 9, 'pc', 'bob', 'Disk');"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) "
            "SELECT 1, 0, i, 'file' || i || '.dat', i, i FROM n;"));
    }

    // The disk fills up while the rows are being copied.
    result = Import({},
                    [](CDbDatabase& job)
                    {
                        CDbStatement pages = job.PrepareSqlite(QStringLiteral("PRAGMA page_count"));
                        pages.Step();
                        job.ExecuteSqliteScript(
                            QStringLiteral("PRAGMA max_page_count=%1").arg(pages.Value(0).ToLong() + 1));
                    });
    EXPECT_EQ(result.nCode, 3026);
    EXPECT_EQ(result.strCaption, QStringLiteral("Quarrane Import"));

    // Esc at each of the steps in turn.
    for (int allowed = 0; allowed < 12; ++allowed)
    {
        int asked = 0;
        result = Import([&] { return asked++ < allowed; });
        EXPECT_EQ(result.nCode, 1223) << allowed;
        EXPECT_TRUE(result.strText.isEmpty());
    }

    EXPECT_EQ(Fingerprint(Db()), before);
    EXPECT_FALSE(QFileInfo::exists(CMwImport::TemporaryPath(m_strDatabase)));
    // A copy left by an import that was killed is cleared away by the next one.
    QFile::copy(m_strOther, CMwImport::TemporaryPath(m_strDatabase));
    EXPECT_TRUE(Import().Succeeded());
    EXPECT_NE(Fingerprint(Db()), before);
}

TEST_F(ImportTest, TheCommandRefusesNewerDatabasesAndRunsAsAJob)
{
    // From a later version: refused with the advice to upgrade, nothing started.
    {
        std::unique_ptr<CDbDatabase> other = NewOther();
        other->ExecuteSqliteScript(
            QStringLiteral("UPDATE Parameter SET Value = '1.005' WHERE Parameter = 'Version'"));
    }
    EXPECT_FALSE(OnMwFileImport(m_doc, m_strOther));
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Database Created from Newer Version of Quarrane"));
    EXPECT_TRUE(
        m_ui.Messages()[0].text.startsWith(QStringLiteral("Please download the latest version of Quarrane "
                                                          "from\r\n\r\n    ")));
    EXPECT_FALSE(OnMwFileImport(m_doc, std::nullopt));

    QFile::remove(m_strOther);
    CopyOpenDatabase();
    std::optional<SMwImportResult> ended;
    ASSERT_TRUE(OnMwFileImport(m_doc, m_strOther, [&](const SMwImportResult& r) { ended = r; }));
    // While it writes, the document refuses other writes.
    EXPECT_FALSE(m_doc.CanWrite());
    ASSERT_TRUE(m_doc.Jobs().Wait(60000));
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->Succeeded());
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM Catalogue")), 4);
    EXPECT_EQ(m_ui.WaitCursorDepth(), 0);
    EXPECT_EQ(m_ui.Messages().size(), 1u);

    // The open database itself may be imported too: the copy is taken through the engine.
    ASSERT_TRUE(OnMwFileImport(m_doc, m_strDatabase));
    ASSERT_TRUE(m_doc.Jobs().Wait(60000));
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM Catalogue")), 8);

    // A failure in the job is shown with its caption and a stop icon.
    m_volumes.SetEntries(
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"), {}, 10)});
    ASSERT_TRUE(OnMwFileImport(m_doc, m_strOther));
    ASSERT_TRUE(m_doc.Jobs().Wait(60000));
    ASSERT_EQ(m_ui.Messages().size(), 2u);
    EXPECT_EQ(m_ui.Messages()[1].caption, QStringLiteral("Import Database"));
    EXPECT_EQ(m_ui.Messages()[1].icon, MsgIcon::Error);
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM Catalogue")), 8);
}
} // namespace

namespace
{
// quarrane-cli import as a real process, killed while it writes.
TEST_F(ImportTest, AnImportKilledWhileWritingLeavesTheOpenDatabaseAsItWas)
{
    {
        std::unique_ptr<CDbDatabase> other = NewOther();
        other->ExecuteSqliteScript(QStringLiteral(
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, LocalMachine, UserName, "
            "CatalogueType) VALUES (0, 1, 'Big', 9, 'pc', 'bob', 'Disk');"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400000) "
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble, TTH) "
            "SELECT 1, 0, i, 'file' || i || '.dat', i, i, printf('%039d', i) FROM n;"));
    }
    const QByteArray before = Fingerprint(Db());
    const QString wal = m_strDatabase + QStringLiteral("-wal");
    const qint64 walBefore = QFileInfo(wal).size();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUARRANE_LOG_DIR"), m_dir.path());
    env.insert(QStringLiteral("QUARRANE_VOLUME_TABLE"), Path(QStringLiteral("volumes")));
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
        Path(QStringLiteral("volumes")),
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))}));
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QUARRANE_CLI_PATH), {QStringLiteral("import"), m_strDatabase, m_strOther});
    ASSERT_TRUE(cli.waitForStarted());
    // Killed once the rows are pouring into the open database's journal, uncommitted.
    const QDeadlineTimer deadline(120000);
    while (cli.state() == QProcess::Running && QFileInfo(wal).size() < walBefore + 4 * 1024 * 1024 &&
           !deadline.hasExpired())
        QThread::msleep(2);
    ASSERT_EQ(cli.state(), QProcess::Running) << "the import ended before it could be killed";
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    cli.waitForFinished();

    // A fresh connection reads what a restarted program would find.
    m_doc.CloseDatabase();
    ASSERT_TRUE(m_doc.OpenDatabase(m_strDatabase));
    EXPECT_EQ(Fingerprint(Db()), before);
    ExpectConsistent();
    // The next import clears the copy the killed one left and goes through.
    EXPECT_TRUE(Import().Succeeded());
    EXPECT_EQ(Sql(QStringLiteral("SELECT count(*) FROM File")), 400003);
}
} // namespace
