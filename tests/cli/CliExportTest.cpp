#include "ProcessEnvironment.h"
#include "database/DbDatabase.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
const char* const kTth = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";

// quarrane-cli export as a process, on a database whose files are written straight into it.
class CliExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = IsolatedProcessEnvironment(m_dir);
        m_strDatabase = m_dir.filePath(QStringLiteral("Example.qrl"));
        ASSERT_EQ(Cli({"new", m_strDatabase}).first, 0);
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'Media'), "
                           "(0, 2, 'Spare')"));
        db.Execute(QStringLiteral(
            "INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (5, 'photos\\2024')"));
        const struct
        {
            qint32 id, catalogue, folder;
            const char* name;
            qint32 size;
            bool deleted;
        } files[] = {{1, 1, 0, "b.txt", 100, false},
                     {2, 1, 0, "a \"quoted\", name.txt", 200, false},
                     {3, 1, 0, "gone.txt", 1, true},
                     {4, 1, 5, "beach.jpg", 3000, false},
                     {5, 2, 0, "beach copy.jpg", 3000, false}};
        for (const auto& f : files)
            db.Execute(
                QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                               "FileSizeDouble, Deleted, TTH) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                {CDbValue(f.catalogue), CDbValue(f.folder), CDbValue(f.id),
                 CDbValue(QString::fromUtf8(f.name)), CDbValue(f.size), CDbValue(double(f.size)),
                 CDbValue(f.deleted), f.size == 3000 ? CDbValue(kTth) : CDbValue::Null()});
    }

    std::pair<int, QString> Cli(const QStringList& arguments)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(QStringLiteral(QUARRANE_CLI_PATH), arguments);
        if (!p.waitForFinished(120000))
            return {-1, QString()};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString Read(const QString& name)
    {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
    }
    QString Out(const QString& name) { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_strDatabase;
};
} // namespace

TEST_F(CliExportTest, AFolderAsTheFolderViewListsIt)
{
    const auto root = Cli({"export", m_strDatabase, "--catalogue", "media", Out("root.csv")});
    ASSERT_EQ(root.first, 0) << root.second.toStdString();
    EXPECT_EQ(root.second, QStringLiteral("2 files exported to %1\n").arg(Out("root.csv")));
    const QString csv = Read(QStringLiteral("root.csv"));
    EXPECT_TRUE(
        csv.startsWith(QStringLiteral("File,Size,Keywords,Categories,Description,Notes,Alternate File Name,"
                                      "TTH,Extension,Last Modified\r\n")))
        << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral("\r\n\"a \"\"quoted\"\", name.txt\",200,")));
    EXPECT_TRUE(csv.contains(QStringLiteral("\r\nb.txt,100,")));
    EXPECT_FALSE(csv.contains(QStringLiteral("gone.txt"))) << "deleted files are not listed";

    const auto folder = Cli({"export", m_strDatabase, "--catalogue", "Media", "--folder", "photos/2024/",
                             "--quiet", Out("f.txt"), "--format", "tsv"});
    ASSERT_EQ(folder.first, 0) << folder.second.toStdString();
    EXPECT_EQ(folder.second, QString());
    EXPECT_EQ(
        Read(QStringLiteral("f.txt")).split(QLatin1Char('\n')).value(1).section(QLatin1Char('\t'), 0, 1),
        QStringLiteral("beach.jpg\t3000"));
}

TEST_F(CliExportTest, AQueryRunForTheUser)
{
    const auto run = Cli({"export", m_strDatabase, "--query",
                          "Check Duplicates For Deletion in All Catalogues", Out("d.tsv"), "--user", "ann"});
    ASSERT_EQ(run.first, 0) << run.second.toStdString();
    const QStringList lines = Read(QStringLiteral("d.tsv")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << Read(QStringLiteral("d.tsv")).toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("File\tCatalogue\tFolder\tSize")));
    QStringList names{lines[1].section(QLatin1Char('\t'), 0, 0), lines[2].section(QLatin1Char('\t'), 0, 0)};
    names.sort();
    EXPECT_EQ(names, (QStringList{"beach copy.jpg", "beach.jpg"}));
    // The run marked the files for that user, as the window's run does.
    CDbDatabase db;
    db.Open(m_strDatabase);
    CDbStatement st =
        db.Prepare(QStringLiteral("SELECT Count(*) FROM FileUserSelect WHERE [User]='ann' AND QueryMark<>0"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(0).ToLong(), 2);
}

TEST_F(CliExportTest, RefusalsWriteNothing)
{
    const struct
    {
        QStringList arguments;
        int exitCode;
    } cases[] = {
        {{"export", m_strDatabase, Out("x.csv")}, 2},
        {{"export", m_strDatabase, "--query", "Q", "--catalogue", "Media", Out("x.csv")}, 2},
        {{"export", m_strDatabase, "--query", "Q", "--folder", "a", Out("x.csv")}, 2},
        {{"export", m_strDatabase, "--catalogue", "Media", Out("x.json")}, 2},
        {{"export", m_strDatabase, "--catalogue", "Media", "--format", "json", Out("x.csv")}, 2},
        {{"export", m_strDatabase, "--catalogue", "Nowhere", Out("x.csv")}, 1},
        {{"export", m_strDatabase, "--catalogue", "Media", "--folder", "missing", Out("x.csv")}, 1},
        {{"export", m_strDatabase, "--query", "No Such Query", Out("x.csv")}, 1},
    };
    for (const auto& c : cases)
    {
        const auto run = Cli(c.arguments);
        EXPECT_EQ(run.first, c.exitCode) << c.arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                         << run.second.toStdString();
        EXPECT_FALSE(QFile::exists(Out("x.csv")));
    }
}
