#pragma once

#include "CliRun.h"
#include "ProcessEnvironment.h"
#include "ServerCatalogue.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// quarrane-cli run as a process in a folder and environment of the test's own, beside an empty
// database on the test program's server (skipped without one).
class CliServerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QUARRANE_NEED_SERVER();
        ASSERT_TRUE(m_dir.isValid());
        m_env = IsolatedProcessEnvironment(m_dir);
        m_address = CTestPostgresServer::Instance().NewDatabase();
        ASSERT_FALSE(m_address.isEmpty());
    }

    CliRun Cli(const QStringList& arguments) { return RunCli(m_env, arguments, ScaledTimeout(60000)); }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_address;
};
