#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "platform/FileAttributes.h"
#include "platform/SystemErrorCodes.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(FileFormat, FileSizes)
{
    const struct
    {
        double size;
        const char* text;
    } cases[] = {
        {0, "0 KB"},
        {-5, "0 KB"},
        {1, "1 KB"},
        {1.5, "1 KB"},
        {1023, "1 KB"},
        {1024, "2 KB"},
        {103809024, "101377 KB"},
        {103809025, "99 MB"},
        {2147483647, "2047 MB"},
        {2147483648.0, "2.00 GB"},
        {5368709120.0, "5.00 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFileSize(c.size), QString::fromLatin1(c.text)) << c.size;
    // Integers of every width convert to double and give the same texts.
    EXPECT_EQ(FormatFileSize(qint64(5368709120)), QStringLiteral("5.00 GB"));
    EXPECT_EQ(FormatFileSize(quint64(1024)), QStringLiteral("2 KB"));
    EXPECT_EQ(FormatFileSize(0), QStringLiteral("0 KB"));
    EXPECT_EQ(FormatFileSize(103809025u), QStringLiteral("99 MB"));
}

TEST(FileFormat, AttributeLettersInTheirFixedOrder)
{
    using namespace FileAttribute;
    const struct
    {
        unsigned bits;
        const char* letters;
    } cases[] = {
        {0, ""},
        {ReadOnly | Hidden, "RH"},
        {Hidden | System | Archive, "ASHS"},
        {Directory, "D"},
        {Normal, "N"},
        {ReadOnly | Hidden | System | Directory | Archive | Normal | Temporary | Sparse | Compressed | Offline | Encrypted,
         "RASHSDENTPCO"},
        {0x40, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AttributeLetters(c.bits), QString::fromLatin1(c.letters)) << c.bits;
}

TEST(FileFormat, SystemErrorTexts)
{
    EXPECT_EQ(SystemErrorText(2), QStringLiteral("The system cannot find the file specified."));
    EXPECT_EQ(SystemErrorText(5), QStringLiteral("Access is denied."));
    EXPECT_EQ(SystemErrorText(112), QStringLiteral("There is not enough space on the disk."));
    EXPECT_EQ(SystemErrorText(183), QStringLiteral("Cannot create a file when that file already exists."));
    // Every code the operations return reads as a sentence of its own.
    for (const int code : {0, 2, 3, 4, 5, 8, 17, 21, 32, 34, 53, 64, 80, 87, 112, 123, 145, 161, 183, 206, 223, 1117, 1223, 1921,
                           SystemErrorFromErrno(EPROTO)})
    {
        const QString text = SystemErrorText(code, true);
        EXPECT_FALSE(text.isEmpty()) << code;
        EXPECT_FALSE(text.startsWith(QStringLiteral("Unknown"))) << code;
        EXPECT_FALSE(text.contains(QLatin1Char('\n'))) << code;
    }
    EXPECT_EQ(SystemErrorText(99999), QStringLiteral("Unknown error (99999)."));
}

TEST(FileFormat, PathValidation)
{
    const QString forbidden = QStringLiteral("A file path cannot contain any of the following characters: *?\"<>|");
    const struct
    {
        QString path;
        int code;
        QString problem;
    } cases[] = {
        {QString(), 123, QStringLiteral("Zero length file paths are not valid")},
        {QString(260, QLatin1Char('a')), 0, QStringLiteral("unchanged")},
        {QString(261, QLatin1Char('a')), 206, QStringLiteral("unchanged")},
        {QStringLiteral("/tmp/a\tb"), 123, QStringLiteral("A file path cannot contain characters in the range of 0 to 31")},
        {QStringLiteral("/tmp/a*b"), 123, forbidden},
        {QStringLiteral("/tmp/a?b"), 123, forbidden},
        {QStringLiteral("/tmp/a\"b"), 123, forbidden},
        {QStringLiteral("a<b"), 123, forbidden},
        {QStringLiteral("a>b"), 123, forbidden},
        {QStringLiteral("a|b"), 123, forbidden},
        {QStringLiteral("/tmp/x/NUL.txt"), 123, QStringLiteral("NUL is a reserved name")},
        {QStringLiteral("com3"), 123, QStringLiteral("com3 is a reserved name")},
        {QStringLiteral("LPT"), 123, QStringLiteral("LPT is a reserved name")},
        {QStringLiteral("/x/LPT12.doc"), 123, QStringLiteral("LPT12 is a reserved name")},
        {QStringLiteral("CLOCK$"), 123, QStringLiteral("CLOCK$ is a reserved name")},
        {QStringLiteral("/src/aux.c"), 123, QStringLiteral("aux is a reserved name")},
        {QStringLiteral("CONSOLE"), 0, QStringLiteral("unchanged")},
        {QStringLiteral("COMX"), 0, QStringLiteral("unchanged")},
        {QStringLiteral("/a/con.d/x"), 0, QStringLiteral("unchanged")},
        {QStringLiteral("/tmp/dir/file.txt"), 0, QStringLiteral("unchanged")},
        {QStringLiteral("C:\\dir\\file.txt"), 0, QStringLiteral("unchanged")},
    };
    for (const auto& c : cases)
    {
        QString problem = QStringLiteral("unchanged");
        EXPECT_EQ(ValidatePathName(c.path, &problem), c.code) << c.path.toStdString();
        EXPECT_EQ(problem, c.problem) << c.path.toStdString();
        EXPECT_EQ(ValidatePathName(c.path, nullptr), c.code);
    }
}
