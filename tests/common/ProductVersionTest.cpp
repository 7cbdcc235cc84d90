#include "common/ProductVersion.h"

#include <gtest/gtest.h>

TEST(ProductVersion, ParsesMajorMinorBuildAndIgnoresTheFourthNumber)
{
    struct Case
    {
        const char* text;
        double expected;
    } cases[] = {
        {"0, 1, 6, 0", 1.06},
        {"0, 2, 15, 3", 2.15},
        {"1, 0, 0, 0", 256.0},
        {"0, 1, 6, 99", 1.06},
        {"0, 3, 50, 0", 3.50},
        // Not the four numbers of a version text.
        {"", 0.0},
        {"0.1.6.0", 0.0},
        {"0, 1, 6", 0.0},
        {"0, x, 6, 0", 0.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ParseProductVersion(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(ProductVersion, TheProgramsVersionLines)
{
    EXPECT_EQ(ProductVersionText(), QStringLiteral("0, 1, 6, 0"));
    EXPECT_DOUBLE_EQ(GetProductVersion(), 1.06);
    EXPECT_EQ(ProductVersionLine(QStringLiteral("Quarrane")), QStringLiteral("Quarrane  Version: 1.06"));
    EXPECT_EQ(ProductVersionLine(QStringLiteral("Quarrane Synchronizer")),
              QStringLiteral("Quarrane Synchronizer  Version: 1.06"));
}
