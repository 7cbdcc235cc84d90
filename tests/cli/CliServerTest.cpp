// quarrane-cli on a catalogue on a PostgreSQL server (a throwaway server started for this
// program; skipped with the reason when PostgreSQL is not installed).

#include "PostgresServer.h"
#include "ProcessEnvironment.h"
#include "database/DbDatabase.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
struct CliServerRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CliServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CDbDatabase::ServerSupportAvailable())
            GTEST_SKIP() << "skipped: PostgreSQL is not installed (built without libpq)";
        if (!CTestPostgresServer::Instance().Available())
            GTEST_SKIP() << "skipped: " << CTestPostgresServer::Instance().Reason().toStdString();
        ASSERT_TRUE(m_dir.isValid());
        m_env = IsolatedProcessEnvironment(m_dir);
        m_address = CTestPostgresServer::Instance().NewDatabase();
        ASSERT_FALSE(m_address.isEmpty());
    }

    CliServerRun Cli(const QStringList& arguments)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(QStringLiteral(QUARRANE_CLI_PATH), arguments);
        CliServerRun run;
        if (!p.waitForFinished(ScaledTimeout(60000)))
            return run;
        run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        run.out = QString::fromUtf8(p.readAllStandardOutput());
        run.err = QString::fromUtf8(p.readAllStandardError());
        return run;
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_address;
};
} // namespace

TEST_F(CliServerTest, NewMakesAServerCatalogueThatReadsAsAFileDoes)
{
    const CliServerRun empty = Cli({QStringLiteral("catalogues"), m_address});
    EXPECT_EQ(empty.exitCode, 1) << "an empty server database is no catalogue";

    const CliServerRun made = Cli({QStringLiteral("new"), m_address});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const CliServerRun again = Cli({QStringLiteral("new"), m_address});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QLatin1String("holds a catalogue already"))) << again.err.toStdString();

    const QString file = m_dir.filePath(QStringLiteral("Example.qrl"));
    ASSERT_EQ(Cli({QStringLiteral("new"), file}).exitCode, 0);
    for (const char* command : {"queries", "catalogues"})
    {
        SCOPED_TRACE(command);
        const CliServerRun onServer = Cli({QString::fromLatin1(command), m_address});
        const CliServerRun onFile = Cli({QString::fromLatin1(command), file});
        EXPECT_EQ(onServer.exitCode, 0) << onServer.err.toStdString();
        EXPECT_EQ(onServer.out, onFile.out);
        EXPECT_FALSE(onServer.out.isEmpty());
    }
}
