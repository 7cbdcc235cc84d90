#pragma once

#include "ServerCatalogueCopy.h"

#include <QString>

#include <string>

#include <gtest/gtest.h>

// Test suites that run on both engines: a catalogue file, and a catalogue on the test program's
// PostgreSQL server.

enum class EEngine
{
    Sqlite,
    Server,
};

// Skips the test when there is no server to be had.
#define QUARRANE_NEED_SERVER()                                                                               \
    do                                                                                                       \
    {                                                                                                        \
        if (const QString reason_ = ServerSkipReason(); !reason_.isEmpty())                                  \
            GTEST_SKIP() << "skipped: " << reason_.toStdString();                                            \
    } while (false)

// A server catalogue for a test: skips the test without a server, fails it when the catalogue
// cannot be made.
#define QUARRANE_NEW_SERVER_CATALOGUE(address)                                                               \
    do                                                                                                       \
    {                                                                                                        \
        QString skipReason_;                                                                                 \
        QString error_;                                                                                      \
        address = NewServerCatalogue(&skipReason_, &error_);                                                 \
        if (!skipReason_.isEmpty())                                                                          \
            GTEST_SKIP() << "skipped: " << skipReason_.toStdString();                                        \
        ASSERT_FALSE(address.isEmpty()) << error_.toStdString();                                             \
    } while (false)

inline std::string EngineName(const ::testing::TestParamInfo<EEngine>& info)
{
    return info.param == EEngine::Sqlite ? "Sqlite" : "Server";
}

#define QUARRANE_ON_BOTH_ENGINES(suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(EEngine::Sqlite, EEngine::Server), EngineName)
