#include "cli/CliCheck.h"
#include "cli/CliInteraction.h"
#include "cli/CliOptions.h"
#include "cli/CliTable.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace
{
QString Written(ECliFormat format, const QStringList& columns, const QList<QList<CDbValue>>& rows)
{
    QString text;
    QTextStream out(&text);
    {
        CCliTableWriter writer(out, format, columns);
        for (const QList<CDbValue>& row : rows)
            writer.Row(row);
    }
    return text;
}

// A catalogue database made from the template, as `new` makes it.
class CliDatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strPath = m_dir.filePath(QStringLiteral("c.qrl"));
        QFile file(m_strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(TemplateDatabaseBytes());
        file.close();
        m_db.Open(m_strPath);
    }

    QTemporaryDir m_dir;
    QString m_strPath;
    CDbDatabase m_db;
};
} // namespace

TEST(CliOptionsTest, ArgumentsAreReadOrRefusedWithAReason)
{
    struct Case
    {
        QStringList arguments;
        bool accepted;
        QString command;
        QStringList rest;
    };
    const Case cases[] = {
        {{"catalogues", "a.qrl"}, true, "catalogues", {}},
        {{"--format", "json", "queries", "a.qrl"}, true, "queries", {}},
        {{"run-query", "a.qrl", "--columns=all", "Find Me"}, true, "run-query", {"Find Me"}},
        {{"sql", "a.qrl", "--", "--not an option"}, true, "sql", {"--not an option"}},
        {{"catalogues"}, false, "", {}},
        {{"frobnicate", "a.qrl"}, false, "", {}},
        {{"catalogues", "a.qrl", "--format", "xml"}, false, "", {}},
        {{"catalogues", "a.qrl", "--columns", "some"}, false, "", {}},
        {{"catalogues", "a.qrl", "--quiet=yes"}, false, "", {}},
        {{"add-catalogue", "a.qrl", "--name"}, false, "", {}},
        {{"add-catalogue", "a.qrl", "--group", "-3"}, false, "", {}},
        {{"catalogues", "a.qrl", "--bogus"}, false, "", {}},
    };
    for (const Case& c : cases)
    {
        const CCliParse parse = ParseCliArguments(c.arguments);
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(parse.problem.isEmpty(), c.accepted) << parse.problem.toStdString();
        if (c.accepted)
        {
            EXPECT_EQ(parse.options.command, c.command);
            EXPECT_EQ(parse.options.database, QStringLiteral("a.qrl"));
            EXPECT_EQ(parse.options.arguments, c.rest);
        }
    }

    const CCliParse add = ParseCliArguments(
        {"add-catalogue", "db.qrl", "--name", "Films", "--location=/media/x", "--group", "4", "--update-tth",
         "--allow-same-name", "--quiet", "--format", "csv", "--user", "ann"});
    ASSERT_TRUE(add.problem.isEmpty()) << add.problem.toStdString();
    EXPECT_EQ(add.options.name, QStringLiteral("Films"));
    EXPECT_EQ(add.options.location, QStringLiteral("/media/x"));
    EXPECT_EQ(add.options.group, 4);
    EXPECT_TRUE(add.options.updateTTH && add.options.allowSameName && add.options.quiet);
    EXPECT_FALSE(add.options.createLocation || add.options.deleteDuplicates || add.options.noWait);
    EXPECT_EQ(add.options.format, ECliFormat::Csv);
    EXPECT_EQ(add.options.user, QStringLiteral("ann"));

    const CCliParse search =
        ParseCliArguments({"search", "db.qrl", "--tth=ABC", "--magnet", "magnet:?xt=urn:tree:tiger:X&dn=a"});
    ASSERT_TRUE(search.problem.isEmpty()) << search.problem.toStdString();
    EXPECT_EQ(search.options.tth, QStringLiteral("ABC"));
    EXPECT_EQ(search.options.magnet, QStringLiteral("magnet:?xt=urn:tree:tiger:X&dn=a"));
    EXPECT_FALSE(ParseCliArguments({"search", "db.qrl", "--magnet"}).problem.isEmpty());
    EXPECT_TRUE(IsReadOnlyCliCommand(QStringLiteral("search"))) << "a search only reads";

    EXPECT_TRUE(IsReadOnlyCliCommand(QStringLiteral("sql")));
    EXPECT_FALSE(IsReadOnlyCliCommand(QStringLiteral("run-query"))) << "a query script writes marks";
    EXPECT_FALSE(IsReadOnlyCliCommand(QStringLiteral("repair")));
}

TEST(CliTableTest, EachFormatKeepsAwkwardValuesIntact)
{
    const QStringList columns = {"Name", "Size", "Checked", "Note"};
    const QList<QList<CDbValue>> rows = {
        {CDbValue("a\tb\\c\nd"), CDbValue(5000000000.0), CDbValue(true), CDbValue()},
        {CDbValue("say \"hi\", then go"), CDbValue(qint32(-7)), CDbValue(false), CDbValue(0.5)},
    };
    EXPECT_EQ(Written(ECliFormat::Tsv, columns, rows),
              QStringLiteral("Name\tSize\tChecked\tNote\n"
                             "a\\tb\\\\c\\nd\t5000000000\ttrue\t\n"
                             "say \"hi\", then go\t-7\tfalse\t0.5\n"));
    EXPECT_EQ(Written(ECliFormat::Csv, columns, rows),
              QStringLiteral("Name,Size,Checked,Note\r\n"
                             "\"a\tb\\c\nd\",5000000000,true,\r\n"
                             "\"say \"\"hi\"\", then go\",-7,false,0.5\r\n"));
    EXPECT_EQ(
        Written(ECliFormat::Json, columns, rows),
        QStringLiteral(
            "[\n {\"Name\": \"a\\tb\\\\c\\nd\", \"Size\": 5000000000, \"Checked\": true, \"Note\": null},\n"
            " {\"Name\": \"say \\\"hi\\\", then go\", \"Size\": -7, \"Checked\": false, \"Note\": "
            "0.5}\n]\n"));
    EXPECT_EQ(Written(ECliFormat::Json, columns, {}), QStringLiteral("[]\n")) << "no rows is still an array";
    EXPECT_EQ(Written(ECliFormat::Tsv, columns, {}), QStringLiteral("Name\tSize\tChecked\tNote\n"));
    EXPECT_EQ(CliFolderText(QStringLiteral("c++\\12\\ext")), QStringLiteral("c++/12/ext"));
}

TEST_F(CliDatabaseTest, QueryColumnsForPeopleAndEveryColumnOnce)
{
    m_db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=OFF;"));
    m_db.Execute(
        QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (7, 'c++\\12\\ext')"));
    // 5 GiB + 3 bytes: the low half is stored as a signed 32-bit value.
    m_db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                "FileSizeHigh, FileSizeDouble, TTH) "
                                "VALUES (1, 7, 9, 'x.h', 1073741827, 1, 5368709123, 'ABC')"));
    struct Case
    {
        const char* sql;
        bool all;
        QStringList names;
        QList<CDbValue> row;
    };
    const Case cases[] = {
        {"SELECT File.*, RelativePath.* FROM File INNER JOIN RelativePath ON "
         "File.RelativePathId=RelativePath.RelativePathId",
         false,
         {"Folder", "File", "Size", "TTH"},
         {CDbValue("c++/12/ext"), CDbValue("x.h"), CDbValue(5368709123.0), CDbValue("ABC")}},
        {"SELECT File, FileSize, FileSizeHigh FROM File",
         false,
         {"File", "Size"},
         {CDbValue("x.h"), CDbValue(5368709123.0)}},
        {"SELECT RelativePath.RelativePathId, File.RelativePathId, RelativePath FROM File INNER JOIN "
         "RelativePath ON "
         "File.RelativePathId=RelativePath.RelativePathId",
         true,
         {"RelativePathId", "RelativePath"},
         {CDbValue(qint32(7)), CDbValue("c++/12/ext")}},
        {"SELECT FileId, Extension FROM File",
         false,
         {"FileId", "Extension"},
         {CDbValue(qint32(9)), CDbValue()}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.sql);
        CDbStatement st = m_db.Prepare(QString::fromLatin1(c.sql));
        const QList<CCliColumn> columns = ChooseCliColumns(st.ColumnNames(), c.all);
        QStringList names;
        for (const CCliColumn& column : columns)
            names.append(column.name);
        EXPECT_EQ(names, c.names);
        ASSERT_TRUE(st.Step());
        const QList<CDbValue> row = PickCliRow(st, columns);
        ASSERT_EQ(row.size(), c.row.size());
        for (qsizetype i = 0; i < row.size(); ++i)
            EXPECT_EQ(row[i].ToString(), c.row[i].ToString()) << names.value(i).toStdString();
    }
}

TEST_F(CliDatabaseTest, CheckFindsWhatBreaksTheCatalogue)
{
    auto problemsOf = [&]
    {
        QStringList all;
        for (const CCliCheckResult& result : CheckCatalogueDatabase(m_db))
            for (const QString& problem : result.problems)
                all.append(result.name + QStringLiteral(": ") + problem);
        return all;
    };
    ASSERT_EQ(problemsOf(), QStringList()) << "the template itself is sound";

    struct Case
    {
        const char* damage;
        const char* expected; // a word of the one problem it causes
        const char* repair;
    };
    const Case cases[] = {
        {"INSERT INTO Catalogue (CatalogueId, Catalogue, UserName, LocalMachine, CatalogueType) "
         "VALUES (40, 'x', 'u', 'm', 't');",
         "no Catalogue_CatalogueId counter", "DELETE FROM Catalogue WHERE CatalogueId=40;"},
        {"UPDATE IndexId SET IndexId=2 WHERE [Index]='FileListFieldView_FileListFieldViewId';",
         "FileListFieldView_FileListFieldViewId counter is 2",
         "UPDATE IndexId SET IndexId=6 WHERE [Index]='FileListFieldView_FileListFieldViewId';"},
        {"INSERT INTO FileInfo (FileInfoId) VALUES (12); INSERT INTO IndexId (\"Index\", IndexId) VALUES "
         "('FileInfo_FileInfoId', 12);",
         "1 FileInfo rows belong to no file (FileInfoId 12)", "DELETE FROM FileInfo;"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.damage);
        m_db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=OFF;"));
        m_db.ExecuteSqliteScript(QString::fromLatin1(c.damage));
        const QStringList problems = problemsOf();
        ASSERT_EQ(problems.size(), 1) << problems.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(problems[0].contains(QLatin1String(c.expected))) << problems[0].toStdString();
        m_db.ExecuteSqliteScript(QString::fromLatin1(c.repair));
        EXPECT_EQ(problemsOf(), QStringList());
    }

    // A file of a catalogue and folder that are gone: one problem for each, and a folder no file
    // uses is only a note.
    m_db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=OFF;"));
    m_db.Execute(
        QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (3, 'empty')"));
    m_db.Execute(
        QStringLiteral("UPDATE IndexId SET IndexId=100 WHERE [Index]='RelativePath_RelativePathId'"));
    m_db.ExecuteSqliteScript(
        QStringLiteral("INSERT INTO IndexId (\"IndexId\", \"Index\") VALUES (100, 'File_FileId');"
                       "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                       "FileSizeDouble) VALUES (55, 66, 5, 'a', 1, 1);"));
    const QStringList problems = problemsOf();
    EXPECT_EQ(problems.filter(QStringLiteral("belong to no catalogue (FileId 5)")).size(), 1)
        << problems.join('\n').toStdString();
    EXPECT_EQ(problems.filter(QStringLiteral("in no folder (FileId 5)")).size(), 1);
    QStringList notes;
    for (const CCliCheckResult& result : CheckCatalogueDatabase(m_db))
        notes += result.notes;
    EXPECT_EQ(notes.filter(QStringLiteral("RelativePathId 3")).size(), 1);
}

TEST(CliInteractionTest, MessagesSpeakOfTheCommandLine)
{
    const QString text = CCliInteraction::CommandLineText(
        QStringLiteral("Unrecognized database format 'x.qrl'.\r\n\r\nTry Repairing the database using the "
                       "File menus \"Repair "
                       "Database\" command."));
    EXPECT_EQ(text, QStringLiteral("Unrecognized database format 'x.qrl'.\n\nTry: quarrane-cli repair DB"));
    EXPECT_FALSE(text.contains(QLatin1String("menu")));
}
