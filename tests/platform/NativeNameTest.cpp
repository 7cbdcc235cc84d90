#include "platform/NativeName.h"

#include <gtest/gtest.h>

namespace
{
QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int v : values)
        bytes.append(static_cast<char>(v));
    return bytes;
}

QString Escaped(int byte)
{
    return QString(QChar(char16_t(NativeName::EscapeBase + byte)));
}
} // namespace

// Every byte that can stand in a Linux name, alone and between letters, comes back exactly.
TEST(NativeNameTest, EverySingleByteRoundTrips)
{
    for (int byte = 1; byte <= 0xFF; ++byte)
    {
        if (byte == '/')
            continue;
        SCOPED_TRACE(byte);
        for (const QByteArray& name :
             {Bytes({byte}), QByteArray("a") + char(byte) + "z", Bytes({byte, byte})})
        {
            const QString text = NativeName::FromBytes(name);
            EXPECT_EQ(NativeName::ToBytes(text), name);
            // The text survives the database: it is valid UTF-16, so UTF-8 and back keep it.
            EXPECT_EQ(QString::fromUtf8(text.toUtf8()), text);
        }
    }
}

// What each awkward name becomes, and that it comes back.
TEST(NativeNameTest, AwkwardNamesMapAsDocumented)
{
    const QString pua = QString::fromUtf8("\xEF\x9D\x9C");  // U+F75C, the escape of a backslash itself
    const QString high = QString::fromUtf8("\xEF\x9F\xA9"); // U+F7E9, the escape of 0xE9
    const struct
    {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"plain.txt", QStringLiteral("plain.txt")},
        {"caf\xE9.txt", QStringLiteral("caf") + Escaped(0xE9) + QStringLiteral(".txt")},
        {"x\\y", QStringLiteral("x") + Escaped('\\') + QStringLiteral("y")},
        {QString::fromUtf8("naïve – файл 😀").toUtf8(), QString::fromUtf8("naïve – файл 😀")},
        // A name that already holds characters of the escape block is escaped byte by byte, so it
        // cannot be read back as the backslash or the 0xE9 it looks like.
        {pua.toUtf8(), Escaped(0xEF) + Escaped(0x9D) + Escaped(0x9C)},
        {high.toUtf8() + "\xE9", Escaped(0xEF) + Escaped(0x9F) + Escaped(0xA9) + Escaped(0xE9)},
        // Not UTF-8 though it looks close: overlong, surrogate, beyond U+10FFFF, cut short.
        {Bytes({0xC0, 0xAF}), Escaped(0xC0) + Escaped(0xAF)},
        {Bytes({0xED, 0xA0, 0x80}), Escaped(0xED) + Escaped(0xA0) + Escaped(0x80)},
        {Bytes({0xF4, 0x90, 0x80, 0x80}), Escaped(0xF4) + Escaped(0x90) + Escaped(0x80) + Escaped(0x80)},
        {Bytes({'a', 0xE2, 0x82}), QStringLiteral("a") + Escaped(0xE2) + Escaped(0x82)},
        // The last valid characters around the escape block stay themselves.
        {QString(QChar(char16_t(0xF6FF))).toUtf8(), QString(QChar(char16_t(0xF6FF)))},
        {QString(QChar(char16_t(0xF800))).toUtf8(), QString(QChar(char16_t(0xF800)))},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        EXPECT_EQ(NativeName::FromBytes(c.bytes), c.text);
        EXPECT_EQ(NativeName::ToBytes(c.text), c.bytes);
    }
    EXPECT_EQ(NativeName::FromBytes(pua.toUtf8()).contains(pua), false);
}

// A whole path of awkward components, the way the program joins them, reaches the same bytes.
TEST(NativeNameTest, PathsKeepTheirSeparatorsAndTypedBackslashes)
{
    QByteArray all;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        all.append(static_cast<char>(byte));
    const QByteArray path = "/media/" + all + "/x\\y/caf\xE9";
    const QString text = NativeName::FromBytes(path);
    EXPECT_EQ(text.count(QLatin1Char('/')), 4);
    EXPECT_FALSE(text.contains(QLatin1Char('\\'))) << "a relative-path text can use it as its separator";
    EXPECT_EQ(NativeName::ToBytes(text), path);
    // A backslash a person typed is a backslash.
    EXPECT_EQ(NativeName::ToBytes(QStringLiteral("C\\D")), QByteArray("C\\D"));
}
