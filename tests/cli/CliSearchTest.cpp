#include "CliRun.h"
#include "ProcessEnvironment.h"
#include "database/DbDatabase.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
const char* const kTth = "LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ";
} // namespace

// quarrane-cli search as a process, on a database with a catalogue whose folder is real: one of
// its files is on disk, the other is not.
class CliSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = IsolatedProcessEnvironment(m_dir);
        m_strDatabase = m_dir.filePath(QStringLiteral("Search.qrl"));
        ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
        const QString media = m_dir.filePath(QStringLiteral("media"));
        ASSERT_TRUE(QDir().mkpath(media + QStringLiteral("/Music")));
        QFile here(media + QStringLiteral("/Music/it's here.mp3"));
        ASSERT_TRUE(here.open(QIODevice::WriteOnly));
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Location) VALUES (0, 1, "
                           "'Media', ?)"),
            {CDbValue(media)});
        db.Execute(
            QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (1, 'Music')"));
        db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                  "FileSizeHigh, FileSizeDouble, "
                                  "TTH) VALUES (1, 1, 1, 'it''s here.mp3', 2048, 0, 2048, ?), (1, 1, 2, "
                                  "'gone.mp3', 10, 0, 10, NULL)"),
                   {CDbValue(QString::fromLatin1(kTth))});
        db.Close();
    }

    CliRun Cli(const QStringList& arguments) { return RunCli(m_env, arguments, 120000); }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_strDatabase;
};

TEST_F(CliSearchTest, FindsByNameTthAndMagnetLink)
{
    const CliRun byName = Cli({"search", m_strDatabase, "--name", "it's"});
    ASSERT_EQ(byName.exitCode, 0) << byName.err.toStdString();
    EXPECT_EQ(
        byName.out,
        QStringLiteral("Catalogue\tFolder\tFile\tSize\tOnline\nMedia\tMusic\tit's here.mp3\t2048\ttrue\n"));

    const CliRun folder = Cli({"search", m_strDatabase, "--name", "music", "--format", "json"});
    ASSERT_EQ(folder.exitCode, 0) << folder.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(folder.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 2) << "the folder's name matches both";
    EXPECT_EQ(rows[0].toObject().value(QStringLiteral("File")).toString(), QStringLiteral("gone.mp3"));
    EXPECT_FALSE(rows[0].toObject().value(QStringLiteral("Online")).toBool()) << "not on disk";

    for (const QStringList& args :
         {QStringList{"--tth", QString::fromLatin1(kTth).toLower()},
          QStringList{"--magnet",
                      QStringLiteral("magnet:?dn=x&xt=urn:tree:tiger:%1").arg(QString::fromLatin1(kTth))}})
    {
        const CliRun run = Cli(QStringList{"search", m_strDatabase} + args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.endsWith(QStringLiteral("\tit's here.mp3\t2048\ttrue\n")))
            << run.out.toStdString();
        EXPECT_EQ(run.out.count(QLatin1Char('\n')), 2) << run.out.toStdString();
    }

    const CliRun none = Cli({"search", m_strDatabase, "--name", "' OR 1=1 --"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, QStringLiteral("Catalogue\tFolder\tFile\tSize\tOnline\n"));
    EXPECT_TRUE(none.err.contains(QStringLiteral("no file matches")));

    EXPECT_EQ(Cli({"search", m_strDatabase}).exitCode, 2);
    EXPECT_EQ(Cli({"search", m_strDatabase, "--name", "a", "--tth", kTth}).exitCode, 2);
    const CliRun notLink = Cli({"search", m_strDatabase, "--magnet", "magnet:?xt=urn:sha1:ABC"});
    EXPECT_EQ(notLink.exitCode, 2);
    EXPECT_TRUE(notLink.err.contains(QStringLiteral("not a magnet link"))) << notLink.err.toStdString();
}
