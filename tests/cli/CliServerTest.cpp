// quarrane-cli on a catalogue on a PostgreSQL server (a throwaway server started for this
// program; skipped with the reason when PostgreSQL is not installed).

#include "CliServerFixture.h"
#include "database/DbDatabase.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
using CliServerTest = CliServerFixture;
} // namespace

TEST_F(CliServerTest, NewMakesAServerCatalogueThatReadsAsAFileDoes)
{
    const CliRun empty = Cli({QStringLiteral("catalogues"), m_address});
    EXPECT_EQ(empty.exitCode, 1) << "an empty server database is no catalogue";

    const CliRun made = Cli({QStringLiteral("new"), m_address});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const CliRun again = Cli({QStringLiteral("new"), m_address});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QLatin1String("holds a catalogue already"))) << again.err.toStdString();

    const QString file = m_dir.filePath(QStringLiteral("Example.qrl"));
    ASSERT_EQ(Cli({QStringLiteral("new"), file}).exitCode, 0);
    for (const char* command : {"queries", "catalogues"})
    {
        SCOPED_TRACE(command);
        const CliRun onServer = Cli({QString::fromLatin1(command), m_address});
        const CliRun onFile = Cli({QString::fromLatin1(command), file});
        EXPECT_EQ(onServer.exitCode, 0) << onServer.err.toStdString();
        EXPECT_EQ(onServer.out, onFile.out);
        EXPECT_FALSE(onServer.out.isEmpty());
    }
}

TEST_F(CliServerTest, RepairOnAServerCatalogueCompactsNothingAndLeavesItsRowsAsTheyWere)
{
    ASSERT_EQ(Cli({QStringLiteral("new"), m_address}).exitCode, 0);
    {
        CDbDatabase db;
        db.Open(m_address);
        db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial) "
                                  "VALUES (0, 7, 'Films', 1)"));
    }
    const CliRun before = Cli({QStringLiteral("catalogues"), m_address});
    ASSERT_EQ(before.exitCode, 0) << before.err.toStdString();
    ASSERT_TRUE(before.out.contains(QLatin1String("Films")));

    const CliRun repair = Cli({QStringLiteral("repair"), m_address});
    EXPECT_EQ(repair.exitCode, 0) << repair.err.toStdString();
    EXPECT_TRUE(repair.err.contains(QLatin1String("the server keeps its own storage compact")))
        << repair.err.toStdString();
    EXPECT_FALSE(repair.err.contains(QLatin1String("trash"))) << repair.err.toStdString();

    const CliRun after = Cli({QStringLiteral("catalogues"), m_address});
    EXPECT_EQ(after.out, before.out);
}
