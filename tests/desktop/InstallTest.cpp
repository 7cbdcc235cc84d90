#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

struct RunResult
{
    bool started = false;
    int status = -1;
    QString output;
};

RunResult RunProgram(const QString& program, const QStringList& arguments,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    RunResult result;
    result.started = process.waitForStarted(30000);
    if (!result.started)
        return result;
    process.waitForFinished(120000);
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

// Every test installs into a prefix of its own with the project's script, never into $HOME.
class DesktopInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_prefix = m_dir.filePath(QStringLiteral("prefix"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUARRANE_BUILD_DIR"), QStringLiteral(QUARRANE_BINARY_DIR));
        // The script names $HOME only as its default; make sure nothing lands there anyway.
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        const RunResult install =
            RunProgram(QStringLiteral(QUARRANE_SOURCE_DIR "/scripts/install-desktop"),
                       {QStringLiteral("--prefix"), m_prefix, QStringLiteral("--no-build")}, env);
        ASSERT_TRUE(install.started);
        ASSERT_EQ(install.status, 0) << install.output.toStdString();
        EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("home"))));
    }

    QString Installed(const QString& relative) const { return m_prefix + u'/' + relative; }

    QTemporaryDir m_dir;
    QString m_prefix;
};

} // namespace

TEST_F(DesktopInstallTest, InstallsTheProgramsAndTheyRunFromThere)
{
    for (const char* program : {"bin/quarrane", "bin/quarranesynch", "bin/quarrane-cli", "bin/quarrane-tth"})
    {
        const QFileInfo info(Installed(QString::fromLatin1(program)));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    EXPECT_TRUE(QFileInfo(Installed(QStringLiteral("lib/libsorvel.so.0"))).exists());

    // The installed browser finds its libsorvel in the installed library folder, not in build/.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const RunResult version =
        RunProgram(Installed(QStringLiteral("bin/quarrane")), {QStringLiteral("--version")}, env);
    ASSERT_TRUE(version.started);
    EXPECT_EQ(version.status, 0) << version.output.toStdString();
    EXPECT_TRUE(version.output.startsWith(QStringLiteral("Quarrane  Version: ")))
        << version.output.toStdString();
    const RunResult ldd = RunProgram(QStringLiteral("ldd"), {Installed(QStringLiteral("bin/quarrane"))}, env);
    if (ldd.started)
    {
        const QRegularExpressionMatch found =
            QRegularExpression(QStringLiteral("libsorvel\\.so\\.0 => (\\S+)")).match(ldd.output);
        ASSERT_TRUE(found.hasMatch()) << ldd.output.toStdString();
        EXPECT_EQ(QFileInfo(found.captured(1)).canonicalFilePath(),
                  QFileInfo(Installed(QStringLiteral("lib/libsorvel.so.0"))).canonicalFilePath());
    }
}

// bash finds a command's completion under its name in bash-completion/completions, loading it the
// first time the command is completed.
TEST_F(DesktopInstallTest, InstallsTheCommandLinesCompletionAndTheSqliteExtension)
{
    QFile completion(Installed(QStringLiteral("share/bash-completion/completions/quarrane-cli")));
    ASSERT_TRUE(completion.open(QIODevice::ReadOnly));
    QFile source(QStringLiteral(QUARRANE_SOURCE_DIR "/src/cli/quarrane-cli.bash-completion"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(completion.readAll(), source.readAll());
    EXPECT_TRUE(QFileInfo(Installed(QStringLiteral("lib/quarrane/libquarrane_sqlite.so"))).isFile());
}

TEST_F(DesktopInstallTest, LauncherEntryOpensCataloguesWithTheBrowser)
{
    const QString entry = Installed(QStringLiteral("share/applications/org.brevold.Quarrane.desktop"));
    ASSERT_TRUE(QFileInfo::exists(entry));
    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(desktop.value(QStringLiteral("Exec")).toString(), QStringLiteral("quarrane %f"));
    EXPECT_EQ(desktop.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
    EXPECT_TRUE(desktop.value(QStringLiteral("MimeType"))
                    .toString()
                    .contains(QStringLiteral("application/x-quarrane-catalogue")));
    const QString icon = desktop.value(QStringLiteral("Icon")).toString();
    EXPECT_TRUE(QFileInfo::exists(
        Installed(QStringLiteral("share/icons/hicolor/scalable/apps/") + icon + QStringLiteral(".svg"))))
        << icon.toStdString();
    EXPECT_TRUE(QFileInfo::exists(Installed(
        QStringLiteral("share/icons/hicolor/scalable/mimetypes/application-x-quarrane-catalogue.svg"))));

    if (QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    const RunResult valid = RunProgram(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(valid.status, 0) << valid.output.toStdString();
    EXPECT_TRUE(valid.output.trimmed().isEmpty()) << valid.output.toStdString();
    // The launcher cache the script refreshed knows the file type.
    QFile cache(Installed(QStringLiteral("share/applications/mimeinfo.cache")));
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cache.readAll().contains("application/x-quarrane-catalogue=org.brevold.Quarrane.desktop"));
}

TEST_F(DesktopInstallTest, AppStreamDescriptionIsValid)
{
    const QString metainfo = Installed(QStringLiteral("share/metainfo/org.brevold.Quarrane.metainfo.xml"));
    ASSERT_TRUE(QFileInfo::exists(metainfo));
    if (QStandardPaths::findExecutable(QStringLiteral("appstreamcli")).isEmpty())
        GTEST_SKIP() << "appstreamcli is not installed (appstream)";
    const RunResult valid =
        RunProgram(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                    QStringLiteral("--strict"), metainfo});
    EXPECT_EQ(valid.status, 0) << valid.output.toStdString();
}

TEST_F(DesktopInstallTest, CatalogueFilesAreKnownByName)
{
    ASSERT_TRUE(QFileInfo::exists(Installed(QStringLiteral("share/mime/packages/org.brevold.Quarrane.xml"))));
    if (QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
        GTEST_SKIP() << "update-mime-database is not installed (shared-mime-info)";
    ASSERT_TRUE(QFileInfo::exists(Installed(QStringLiteral("share/mime/mime.cache"))));

    // The desktop's MIME database as Qt (and every file manager) reads it: ours first, then the
    // system's, which knows the SQLite type ours derives from.
    qputenv("XDG_DATA_DIRS", (Installed(QStringLiteral("share")) + QStringLiteral(":/usr/share")).toUtf8());
    const QString folder = m_dir.filePath(QStringLiteral("files"));
    const QByteArray sqliteHeader("SQLite format 3\0", 16);
    WriteText(folder + QStringLiteral("/Films.qrl"), sqliteHeader + QByteArray(84, '\0'));
    WriteText(folder + QStringLiteral("/other.sqlite"), sqliteHeader + QByteArray(84, '\0'));
    WriteText(folder + QStringLiteral("/Films.qrl.txt"), "notes");
    QMimeDatabase db;
    const QMimeType catalogue = db.mimeTypeForFile(folder + QStringLiteral("/Films.qrl"));
    EXPECT_EQ(catalogue.name(), QStringLiteral("application/x-quarrane-catalogue"));
    EXPECT_TRUE(catalogue.inherits(QStringLiteral("application/vnd.sqlite3")));
    EXPECT_EQ(catalogue.comment(), QStringLiteral("Quarrane catalogue database"));
    EXPECT_EQ(db.mimeTypeForFile(folder + QStringLiteral("/other.sqlite")).name(),
              QStringLiteral("application/vnd.sqlite3"));
    EXPECT_EQ(db.mimeTypeForFile(folder + QStringLiteral("/Films.qrl.txt")).name(),
              QStringLiteral("text/plain"));
}
