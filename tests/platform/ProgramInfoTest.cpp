#include "platform/ProgramInfo.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

TEST(ProgramInfo, NamesTheRunningProgramAndItsUser)
{
    EXPECT_EQ(ProgramFilePath(), QCoreApplication::applicationFilePath());
    EXPECT_FALSE(ComputerName().isEmpty());

    // `id -un` is the independent answer for the effective user's login name.
    QProcess id;
    id.start(QStringLiteral("id"), {QStringLiteral("-un")});
    if (!id.waitForFinished(5000) || id.exitCode() != 0)
        GTEST_SKIP() << "id(1) is not available to compare with";
    EXPECT_EQ(CurrentLoginName(), QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed());
}
