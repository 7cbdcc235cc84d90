// The import between a catalogue file and a catalogue on the test program's PostgreSQL server,
// with tables larger than a page of reading and a statement of writing, checked by content
// (skipped with the reason without PostgreSQL).

#include "ServerCatalogue.h"
#include "browser/import/MwEngineImport.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
// A catalogue of count files into db: identifiers of files, folders and edits start at firstId
// and go up by step, so that two databases filled with different steps share some of them.
// Every fifth file is edited; files come in threes of the same content.
void FillCatalogue(CDbDatabase& db, qint32 catalogueId, const QString& name, int count, qint32 firstId,
                   qint32 step)
{
    CDbTransaction trans(db);
    db.Execute(
        QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, DriveType) "
                       "VALUES (0, ?, ?, ?, 'Fixed')"),
        {CDbValue(catalogueId), CDbValue(name), CDbValue(catalogueId)});
    CDbStatement folder = db.Prepare(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) "
                                                    "VALUES (?, ?)"));
    CDbStatement info =
        db.Prepare(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (?, ?)"));
    CDbStatement file =
        db.Prepare(QStringLiteral("INSERT INTO [File] (CatalogueId, RelativePathId, FileId, FileInfoId, "
                                  "SimilarityId, [File], FileSize, "
                                  "FileSizeDouble, Extension) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'dat')"));
    const int folders = std::max(1, count / 10);
    for (int i = 0; i < folders; ++i)
    {
        folder.Reset();
        folder.Bind(1, CDbValue(firstId + i * step));
        folder.Bind(2, CDbValue(QStringLiteral("%1\\dir%2").arg(name).arg(i)));
        folder.Execute();
    }
    for (int i = 0; i < count; ++i)
    {
        const qint32 id = firstId + i * step;
        const bool edited = i % 5 == 0;
        if (edited)
        {
            info.Reset();
            info.Bind(1, CDbValue(id));
            info.Bind(2, CDbValue(QStringLiteral("note on %1 %2").arg(name).arg(i)));
            info.Execute();
        }
        file.Reset();
        file.Bind(1, CDbValue(catalogueId));
        file.Bind(2, CDbValue(firstId + (i % folders) * step));
        file.Bind(3, CDbValue(id));
        file.Bind(4, edited ? CDbValue(id) : CDbValue::Null());
        file.Bind(5, CDbValue(firstId + (i / 3) * step));
        file.Bind(6, CDbValue(QStringLiteral("f%1.dat").arg(i)));
        file.Bind(7, CDbValue(i));
        file.Bind(8, CDbValue(static_cast<double>(i)));
        file.Execute();
    }
    for (const char* counter : {"RelativePath_RelativePathId", "FileInfo_FileInfoId", "File_FileId",
                                "File_SimilarityId", "Catalogue_CatalogueId"})
    {
        const qint32 top = QLatin1String(counter) == QLatin1String("Catalogue_CatalogueId")
                               ? catalogueId
                               : firstId + (count - 1) * step;
        db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=? WHERE [Index]=? AND IndexId < ?"),
                   {CDbValue(top), CDbValue(QString::fromLatin1(counter)), CDbValue(top)});
    }
    trans.Commit();
}

QHash<qint32, QString> Texts(CDbDatabase& db, const QString& sql)
{
    QHash<qint32, QString> texts;
    CDbStatement st = db.Prepare(sql);
    while (st.Step())
        texts.insert(st.Value(0).ToLong(),
                     st.Value(1).IsNull() ? QStringLiteral("<null>") : st.Value(1).ToString());
    return texts;
}

// Every file by content: catalogue, folder, name, size, edit and the first name of its group of
// the same content; sorted.
QStringList Content(CDbDatabase& db)
{
    const QHash<qint32, QString> catalogues =
        Texts(db, QStringLiteral("SELECT CatalogueId, Catalogue FROM Catalogue"));
    const QHash<qint32, QString> folders =
        Texts(db, QStringLiteral("SELECT RelativePathId, RelativePath FROM RelativePath"));
    const QHash<qint32, QString> edits =
        Texts(db, QStringLiteral("SELECT FileInfoId, Description FROM FileInfo"));
    struct SFile
    {
        QString text;
        qint32 similarity;
    };
    std::vector<SFile> files;
    QHash<qint32, QString> firstOfGroup;
    CDbStatement st = db.Prepare(QStringLiteral(
        "SELECT CatalogueId, RelativePathId, File, FileSizeDouble, FileInfoId, SimilarityId FROM File"));
    while (st.Step())
    {
        const QString catalogue = catalogues.value(st.Value(0).ToLong(), QStringLiteral("<missing>"));
        const QString name = catalogue + QLatin1Char('/') + st.Value(2).ToString();
        const qint32 similarity = st.Value(5).ToLong();
        if (!firstOfGroup.contains(similarity) || name < firstOfGroup.value(similarity))
            firstOfGroup.insert(similarity, name);
        files.push_back(
            {QStringLiteral("%1 | %2\\%3 %4 | %5")
                 .arg(catalogue, folders.value(st.Value(1).ToLong(), QStringLiteral("<missing>")),
                      st.Value(2).ToString())
                 .arg(st.Value(3).ToDouble())
                 .arg(st.Value(4).IsNull() ? QStringLiteral("unedited")
                                           : edits.value(st.Value(4).ToLong(), QStringLiteral("<missing>"))),
             similarity});
    }
    QStringList rows;
    for (const SFile& file : files)
        rows.append(file.text + QStringLiteral(" | like ") + firstOfGroup.value(file.similarity));
    rows.sort();
    return rows;
}

qint64 Scalar(CDbDatabase& db, const QString& sql)
{
    CDbStatement st = db.Prepare(sql);
    return st.Step() ? static_cast<qint64>(st.Value(0).ToDouble()) : -1;
}

// The rows of other as the import brings them: names that are taken get " (Imported)".
QStringList Imported(QStringList rows, const QStringList& takenNames)
{
    for (QString& row : rows)
        for (const QString& name : takenNames)
        {
            const QString prefix = name + QStringLiteral(" | ");
            if (row.startsWith(prefix))
                row.replace(0, name.size(), name + QStringLiteral(" (Imported)"));
            row.replace(QStringLiteral("| like %1/").arg(name),
                        QStringLiteral("| like %1 (Imported)/").arg(name));
        }
    return rows;
}

class EngineImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QUARRANE_NEW_SERVER_CATALOGUE(m_address);
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("Team.qrl"));
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(TemplateDatabaseBytes());
    }

    // Identifiers unique and counters at or above every identifier.
    void ExpectKeysSound(CDbDatabase& db)
    {
        EXPECT_EQ(
            Scalar(db, QStringLiteral("SELECT Count(*) FROM (SELECT DISTINCT FileId FROM File) AS ids")),
            Scalar(db, QStringLiteral("SELECT Count(*) FROM File")));
        for (const char* counter :
             {"File_FileId", "RelativePath_RelativePathId", "FileInfo_FileInfoId", "File_SimilarityId"})
        {
            SCOPED_TRACE(counter);
            const QString name = QString::fromLatin1(counter);
            EXPECT_GE(Scalar(db, QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='%1'").arg(name)),
                      Scalar(db, QStringLiteral("SELECT Max(%1) FROM %2")
                                     .arg(name.section(QLatin1Char('_'), 1),
                                          name.section(QLatin1Char('_'), 0, 0))));
        }
    }

    QTemporaryDir m_dir;
    QString m_address;
    QString m_file;
    CScriptedInteraction m_ui;
};
} // namespace

TEST_F(EngineImportTest, AServerReadInManyPagesArrivesWholeInAFileWithEveryCollisionRenumbered)
{
    CDbDatabase server;
    server.Open(m_address);
    FillCatalogue(server, 1, QStringLiteral("Films"), 61, 1, 1);
    FillCatalogue(server, 2, QStringLiteral("Music"), 23, 100, 3);
    CDbDatabase file;
    file.Open(m_file);
    FillCatalogue(file, 1, QStringLiteral("Films"), 30, 2, 2);
    const QStringList serverRows = Content(server);
    const QStringList fileRows = Content(file);
    ASSERT_EQ(serverRows.size(), 84);
    ASSERT_EQ(fileRows.size(), 30);

    // Pages of 7 rows: every table of the server takes several, and one ends exactly on a page.
    CMwEngineImport import(file, m_ui);
    import.SetPageRows(7);
    const SMwImportResult result = import.Import(m_address);
    ASSERT_TRUE(result.Succeeded()) << result.nCode << " " << result.strText.toStdString();

    QStringList expected = fileRows + Imported(serverRows, {QStringLiteral("Films")});
    expected.sort();
    EXPECT_EQ(Content(file), expected);
    ExpectKeysSound(file);
    // The server was only read.
    EXPECT_EQ(Content(server), serverRows);
}

TEST_F(EngineImportTest, AFileGoesToTheServerManyRowsAStatementAndACancelHalfwayLeavesTheServerAsItWas)
{
    CDbDatabase file;
    file.Open(m_file);
    // More files than several statements' worth of rows on the server, and a part statement.
    FillCatalogue(file, 1, QStringLiteral("Films"), 2500, 1, 1);
    CDbDatabase server;
    server.Open(m_address);
    FillCatalogue(server, 1, QStringLiteral("Films"), 40, 1, 1);
    const QStringList fileRows = Content(file);
    const QStringList serverRows = Content(server);

    // Cancelled once the server's transaction holds a thousand of the file's files.
    {
        CMwEngineImport import(
            server, m_ui,
            [&server] { return Scalar(server, QStringLiteral("SELECT Count(*) FROM File")) < 1040; });
        const SMwImportResult result = import.Import(m_file);
        EXPECT_EQ(result.nCode, 1223);
    }
    EXPECT_EQ(Content(server), serverRows);
    EXPECT_FALSE(server.InTransaction());

    const SMwImportResult result = CMwEngineImport(server, m_ui).Import(m_file);
    ASSERT_TRUE(result.Succeeded()) << result.nCode << " " << result.strText.toStdString();
    QStringList expected = serverRows + Imported(fileRows, {QStringLiteral("Films")});
    expected.sort();
    EXPECT_EQ(Content(server), expected);
    ExpectKeysSound(server);
    EXPECT_EQ(Content(file), fileRows);
}

TEST_F(EngineImportTest, AFileWithoutRoomForTheServersRowsIsLeftAsItWas)
{
    CDbDatabase server;
    server.Open(m_address);
    FillCatalogue(server, 1, QStringLiteral("Films"), 200, 1, 1);
    CDbDatabase file;
    file.Open(m_file);
    FillCatalogue(file, 1, QStringLiteral("Films"), 3, 1, 1);
    const QStringList fileRows = Content(file);

    CFixtureVolumeTable volumes;
    CVolumeTableScope scope(volumes);
    // Room for a few rows, not for two hundred files with their folders and edits.
    volumes.SetEntries(
        {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"), {}, 20000)});
    SMwImportResult result = CMwEngineImport(file, m_ui).Import(m_address);
    EXPECT_EQ(result.nCode, 112);
    EXPECT_TRUE(result.strText.startsWith(QStringLiteral("There is not enough disk space")))
        << result.strText.toStdString();
    EXPECT_EQ(Content(file), fileRows);

    volumes.SetEntries({CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
    result = CMwEngineImport(file, m_ui).Import(m_address);
    ASSERT_TRUE(result.Succeeded()) << result.nCode << " " << result.strText.toStdString();
    EXPECT_EQ(Content(file).size(), 203);
}

TEST_F(EngineImportTest, AnOlderFileWithoutExtensionsGivesTheServerThemFromTheNames)
{
    {
        CDbDatabase file;
        file.Open(m_file);
        file.ExecuteSqliteScript(QStringLiteral(
            "ALTER TABLE File DROP COLUMN Extension;"
            "UPDATE Parameter SET Value = '1.003' WHERE Parameter = 'Version';"
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial) VALUES (0, 1, 'Old disk', "
            "9);"
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) VALUES "
            "(1, 0, 1, 'notes.txt', 1, 1), (1, 0, 2, 'README', 1, 1), (1, 0, 3, 'backup.tar.gz  ', 1, 1), "
            "(1, 0, 4, 'ends with.', 1, 1), (1, 0, 5, 'Ünïcode.JPÉG', 1, 1);"
            "WITH RECURSIVE n(i) AS (SELECT 6 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) "
            "SELECT 1, 0, i, 'f' || i || '.dat', i, i FROM n;"
            "INSERT OR REPLACE INTO IndexId (\"Index\", IndexId) VALUES ('File_FileId', 1000), "
            "('Catalogue_CatalogueId', 1);"));
    }
    CDbDatabase server;
    server.Open(m_address);
    const SMwImportResult result = CMwEngineImport(server, m_ui).Import(m_file);
    ASSERT_TRUE(result.Succeeded()) << result.nCode << " " << result.strText.toStdString();

    QStringList extensions;
    CDbStatement st =
        server.Prepare(QStringLiteral("SELECT File, Extension FROM File WHERE FileId <= 5 OR FileId = 1000"));
    while (st.Step())
        extensions.append(st.Value(0).ToString() + QLatin1Char('=') +
                          (st.Value(1).IsNull() ? QStringLiteral("<null>") : st.Value(1).ToString()));
    extensions.sort();
    EXPECT_EQ(extensions, QStringList({"README=<null>", "backup.tar.gz  =gz", "ends with.=<null>",
                                       "f1000.dat=dat", "notes.txt=txt", "Ünïcode.JPÉG=JPÉG"}));
    EXPECT_EQ(Scalar(server, QStringLiteral("SELECT Count(*) FROM File WHERE Extension = 'dat'")), 995);
}

TEST_F(EngineImportTest, RowsWrittenToTheServerWhileItIsReadAreLeftForTheNextImport)
{
    CDbDatabase server;
    server.Open(m_address);
    FillCatalogue(server, 1, QStringLiteral("Films"), 40, 1, 1);
    const QStringList serverRows = Content(server);
    CDbDatabase file;
    file.Open(m_file);

    // Once the import has written the folders, and before it reads the files, another user adds a
    // catalogue with a folder and a file.
    CDbDatabase other;
    other.Open(m_address);
    bool added = false;
    CMwEngineImport import(file, m_ui,
                           [&]
                           {
                               if (!added &&
                                   Scalar(file, QStringLiteral("SELECT Count(*) FROM RelativePath")) > 1)
                               {
                                   added = true;
                                   FillCatalogue(other, 50, QStringLiteral("Late"), 1, 5000, 1);
                               }
                               return true;
                           });
    import.SetPageRows(7);
    const SMwImportResult result = import.Import(m_address);
    ASSERT_TRUE(added);
    ASSERT_TRUE(result.Succeeded()) << result.nCode << " " << result.strText.toStdString();
    EXPECT_EQ(Content(file), serverRows);
    EXPECT_EQ(Content(server).size(), serverRows.size() + 1);
}
