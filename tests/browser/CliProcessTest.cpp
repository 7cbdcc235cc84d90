#include "database/DbDatabase.h"
#include "platform/FixtureVolumeTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{
struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// quarrane-cli and the synchronizer it starts, as real processes kept apart from any other
// synchronizer by a runtime folder of their own.
class CliProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QUARRANE_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        m_env.insert(QStringLiteral("QUARRANE_VOLUME_TABLE"), m_dir.filePath(QStringLiteral("volumes")));
        m_env.remove(QStringLiteral("DISPLAY"));
        m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(
            m_dir.filePath(QStringLiteral("volumes")),
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x2468ACE0, QStringLiteral("DATA"))}));
        m_strDatabase = m_dir.filePath(QStringLiteral("Example.qrl"));
    }

    QProcess* Start(const QStringList& arguments)
    {
        auto* p = new QProcess;
        m_processes.emplace_back(p);
        p->setProcessEnvironment(m_env);
        p->start(QStringLiteral(QUARRANE_CLI_PATH), arguments);
        return p;
    }
    static CliRun Finish(QProcess* p)
    {
        CliRun run;
        if (!p->waitForFinished(120000))
            return run;
        run.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -2;
        run.out = QString::fromUtf8(p->readAllStandardOutput());
        run.err = QString::fromUtf8(p->readAllStandardError());
        return run;
    }
    CliRun Cli(const QStringList& arguments) { return Finish(Start(arguments)); }

    void Write(const QString& relative, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Random(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(static_cast<quint32>(size));
        generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
        return bytes;
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_strDatabase;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
} // namespace

TEST_F(CliProcessTest, UsageAndRefusals)
{
    EXPECT_EQ(Cli({}).exitCode, 2);
    EXPECT_EQ(Cli({"frobnicate", m_strDatabase}).exitCode, 2);
    EXPECT_EQ(Cli({"catalogues", m_strDatabase}).exitCode, 1) << "no such database";
    ASSERT_EQ(Cli({"new", m_strDatabase}).exitCode, 0);
    EXPECT_EQ(Cli({"new", m_strDatabase}).exitCode, 1) << "an existing file is never replaced";
    EXPECT_EQ(Cli({"add-catalogue", m_strDatabase, "--name", "X"}).exitCode, 2);
    EXPECT_EQ(Cli({"synchronize", m_strDatabase, "7"}).exitCode, 1) << "no catalogue 7";
    EXPECT_EQ(Cli({"check-catalogues", m_strDatabase, "--all", "3"}).exitCode, 2);
    const CliRun version = Cli({"--version"});
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("Quarrane  Version: 1.06"));

    // A database of another version is refused with the message and left as it was.
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.Execute(QStringLiteral("UPDATE Parameter SET [Value]='1.005' WHERE Parameter='Version'"));
    }
    QFile file(m_strDatabase);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const CliRun refused = Cli({"catalogues", m_strDatabase});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("Database Created by a Newer Version of Quarrane")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}
