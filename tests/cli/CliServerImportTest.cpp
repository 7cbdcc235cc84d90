// quarrane-cli import between a catalogue file and a catalogue on a throwaway PostgreSQL server,
// both ways, checked row by row by content (skipped with the reason without PostgreSQL).

#include "CliServerFixture.h"
#include "database/DbDatabase.h"

#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
// A sample that collides with the server's own rows in every identifier and in a catalogue name.
const char* const kSample = R"(
INSERT INTO "Group" ("GroupId", "Group", "ParentGroupId") VALUES (1, 'Media', 0);
INSERT INTO "Catalogue" ("GroupId", "CatalogueId", "Catalogue", "VolumeSerial") VALUES (1, 1, 'Films', 1),
  (0, 2, 'Music', 2);
INSERT INTO "RelativePath" ("RelativePathId", "RelativePath") VALUES (1, 'Films\Old'), (2, 'Jazz');
INSERT INTO "FileInfo" ("FileInfoId", "Description", "Keyword", "Category") VALUES
  (1, 'Great film', 'Classic;  ', 'Drama;  ');
INSERT INTO "File" ("CatalogueId", "RelativePathId", "FileId", "FileInfoId", "SimilarityId", "File", "FileSize",
  "FileSizeDouble", "Extension") VALUES (1, 1, 1, 1, 1, 'Casablanca.mkv', 700, 700, 'mkv'),
  (1, 0, 2, NULL, 1, 'copy.mkv', 700, 700, 'mkv'), (2, 2, 3, NULL, 0, 'Blue "it''s" 100%.flac', 30, 30, 'flac');
INSERT INTO "FileUserSelect" ("FileId", "User", "Mark") VALUES (1, 'ann', 1);
DELETE FROM "IndexId" WHERE "Index" IN ('Group_GroupId', 'Catalogue_CatalogueId', 'RelativePath_RelativePathId',
  'FileInfo_FileInfoId', 'File_FileId', 'File_SimilarityId');
INSERT INTO "IndexId" ("Index", "IndexId") VALUES ('Group_GroupId', 1), ('Catalogue_CatalogueId', 2),
  ('RelativePath_RelativePathId', 2), ('FileInfo_FileInfoId', 1), ('File_FileId', 3), ('File_SimilarityId', 1);
)";

// The server's own: a catalogue Films too, with the same identifiers for other things.
const char* const kServerOwn = R"(
INSERT INTO "Catalogue" ("GroupId", "CatalogueId", "Catalogue", "VolumeSerial") VALUES (0, 1, 'Films', 9);
INSERT INTO "RelativePath" ("RelativePathId", "RelativePath") VALUES (1, 'Series');
INSERT INTO "FileInfo" ("FileInfoId", "Description") VALUES (1, 'Server note');
INSERT INTO "File" ("CatalogueId", "RelativePathId", "FileId", "FileInfoId", "SimilarityId", "File", "FileSize",
  "FileSizeDouble") VALUES (1, 1, 1, 1, 1, 'Pilot.mkv', 5, 5), (1, 1, 2, NULL, 1, 'Pilot copy.mkv', 5, 5);
DELETE FROM "IndexId" WHERE "Index" IN ('Catalogue_CatalogueId', 'RelativePath_RelativePathId',
  'FileInfo_FileInfoId', 'File_FileId', 'File_SimilarityId');
INSERT INTO "IndexId" ("Index", "IndexId") VALUES ('Catalogue_CatalogueId', 1), ('RelativePath_RelativePathId', 1),
  ('FileInfo_FileInfoId', 1), ('File_FileId', 2), ('File_SimilarityId', 1);
)";

QHash<qint32, QString> Texts(CDbDatabase& db, const QString& sql)
{
    QHash<qint32, QString> texts;
    CDbStatement st = db.Prepare(sql);
    while (st.Step())
        texts.insert(st.Value(0).ToLong(),
                     st.Value(1).IsNull() ? QStringLiteral("<null>") : st.Value(1).ToString());
    return texts;
}

// Every File row by content: its catalogue (and the catalogue's group), folder, name, size, edits
// and the names of the files it is similar to.
QStringList Content(const QString& database)
{
    CDbDatabase db;
    db.Open(database, EDbOpenMode::ReadOnly);
    const QHash<qint32, QString> groups = Texts(db, QStringLiteral("SELECT GroupId, [Group] FROM [Group]"));
    const QHash<qint32, QString> catalogueGroups =
        Texts(db, QStringLiteral("SELECT CatalogueId, GroupId FROM Catalogue"));
    const QHash<qint32, QString> catalogues =
        Texts(db, QStringLiteral("SELECT CatalogueId, Catalogue FROM Catalogue"));
    const QHash<qint32, QString> folders =
        Texts(db, QStringLiteral("SELECT RelativePathId, RelativePath FROM RelativePath"));
    const QHash<qint32, QString> edits = Texts(
        db, QStringLiteral("SELECT FileInfoId, Description & '/' & Keyword & '/' & Category FROM FileInfo"));
    struct SFile
    {
        QString text;
        qint32 similarity;
        QString name;
    };
    std::vector<SFile> files;
    CDbStatement st = db.Prepare(QStringLiteral(
        "SELECT CatalogueId, RelativePathId, File, FileSizeDouble, FileInfoId, SimilarityId FROM File"));
    while (st.Step())
    {
        const qint32 catalogue = st.Value(0).ToLong();
        const qint32 info = st.Value(4).IsNull() ? 0 : st.Value(4).ToLong();
        files.push_back(
            {QStringLiteral("%1 in %2 | %3\\%4 %5 | %6")
                 .arg(catalogues.value(catalogue, QStringLiteral("<missing>")),
                      groups.value(catalogueGroups.value(catalogue).toInt(), QStringLiteral("top")),
                      folders.value(st.Value(1).ToLong(), QStringLiteral("<missing>")),
                      st.Value(2).ToString())
                 .arg(st.Value(3).ToDouble())
                 .arg(info == 0 ? QStringLiteral("unedited")
                                : edits.value(info, QStringLiteral("<missing>"))),
             st.Value(5).IsNull() ? 0 : st.Value(5).ToLong(), st.Value(2).ToString()});
    }
    QStringList rows;
    for (const SFile& file : files)
    {
        QStringList similar;
        for (const SFile& other : files)
            if (file.similarity != 0 && other.similarity == file.similarity && &other != &file)
                similar.append(other.name);
        similar.sort();
        rows.append(file.text + QStringLiteral(" | similar: ") + similar.join(QLatin1Char(',')));
    }
    rows.sort();
    return rows;
}

qint64 Scalar(const QString& database, const QString& sql)
{
    CDbDatabase db;
    db.Open(database, EDbOpenMode::ReadOnly);
    CDbStatement st = db.Prepare(sql);
    return st.Step() ? static_cast<qint64>(st.Value(0).ToDouble()) : -1;
}

class CliServerImportTest : public CliServerFixture
{
protected:
    // The exit code; what the command said is kept in m_err.
    int Cli(const QStringList& arguments)
    {
        const CliRun run = CliServerFixture::Cli(arguments);
        m_err = run.err;
        return run.exitCode;
    }

    void Fill(const QString& database, const char* script)
    {
        CDbDatabase db;
        db.Open(database);
        db.ExecuteSqliteScript(QString::fromUtf8(script));
    }

    QString m_err;
};
} // namespace

TEST_F(CliServerImportTest, AFileGoesToTheServerAndTheServerToAFileWithEveryRowIntact)
{
    const QString file = m_dir.filePath(QStringLiteral("Team.qrl"));
    ASSERT_EQ(Cli({QStringLiteral("new"), file}), 0) << m_err.toStdString();
    Fill(file, kSample);
    ASSERT_EQ(Cli({QStringLiteral("new"), m_address}), 0) << m_err.toStdString();
    Fill(m_address, kServerOwn);
    const QStringList fileRows = Content(file);
    const QStringList serverRows = Content(m_address);
    ASSERT_EQ(fileRows.size(), 3);
    ASSERT_EQ(serverRows.size(), 2);

    // File to server: the server's rows stay, the file's arrive, Films as "Films (Imported)".
    ASSERT_EQ(Cli({QStringLiteral("import"), m_address, file}), 0) << m_err.toStdString();
    QStringList expected = serverRows;
    for (QString row : fileRows)
        expected.append(row.startsWith(QLatin1String("Films in"))
                            ? row.replace(0, 5, QStringLiteral("Films (Imported)"))
                            : row);
    expected.sort();
    EXPECT_EQ(Content(m_address), expected);
    // Marks stay behind; counters end above every identifier.
    EXPECT_EQ(Scalar(m_address, QStringLiteral("SELECT Count(*) FROM FileUserSelect")), 0);
    for (const char* counter : {"File_FileId", "RelativePath_RelativePathId", "FileInfo_FileInfoId",
                                "Catalogue_CatalogueId", "File_SimilarityId"})
    {
        SCOPED_TRACE(counter);
        const QString name = QString::fromLatin1(counter);
        const QString table = name.section(QLatin1Char('_'), 0, 0);
        const QString column = name.section(QLatin1Char('_'), 1);
        EXPECT_GE(
            Scalar(m_address, QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='%1'").arg(name)),
            Scalar(m_address, QStringLiteral("SELECT Max(%1) FROM %2").arg(column, table)));
    }
    // The file was only read.
    EXPECT_EQ(Content(file), fileRows);

    // Server to a new file: the file holds what the server holds, row for row.
    const QString offline = m_dir.filePath(QStringLiteral("Offline.qrl"));
    ASSERT_EQ(Cli({QStringLiteral("new"), offline}), 0) << m_err.toStdString();
    ASSERT_EQ(Cli({QStringLiteral("import"), offline, m_address}), 0) << m_err.toStdString();
    EXPECT_EQ(Content(offline), Content(m_address));
    EXPECT_EQ(Scalar(offline, QStringLiteral("SELECT Count(*) FROM File")), 5);
    ASSERT_EQ(Cli({QStringLiteral("check"), offline}), 0) << m_err.toStdString();
}

TEST_F(CliServerImportTest, AMissingOrUnreachableOtherDatabaseChangesNothing)
{
    ASSERT_EQ(Cli({QStringLiteral("new"), m_address}), 0) << m_err.toStdString();
    Fill(m_address, kServerOwn);
    const QStringList before = Content(m_address);
    EXPECT_NE(Cli({QStringLiteral("import"), m_address, m_dir.filePath(QStringLiteral("missing.qrl"))}), 0);
    EXPECT_NE(Cli({QStringLiteral("import"), m_address,
                   CTestPostgresServer::Instance().AddressOf(QStringLiteral("nosuchdatabase"))}),
              0);
    EXPECT_FALSE(m_err.contains(QLatin1String("imported into")));
    EXPECT_EQ(Content(m_address), before);
}
