#include "hash/Base32.h"
#include "hash/Tiger.h"
#include "hash/TigerSBoxes.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
std::string Hex(const CTigerDigest& digest)
{
    return QByteArray(reinterpret_cast<const char*>(digest.data()), int(digest.size())).toHex().toUpper().toStdString();
}

TEST(TigerTest, SBoxesMatchThePublishedTables)
{
    // The digest of all 8192 table bytes (little-endian words, t1 to t4) as published with them.
    QByteArray bytes;
    for (const auto& table : g_tigerSBoxes)
        for (std::uint64_t word : table)
            for (int i = 0; i < 8; ++i)
                bytes.append(char((word >> (8 * i)) & 0xFF));
    EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString(),
              "364d73427379144b709fb0565ba1536c2c32ef9b02ab6201b1aefc30857372ea");
}

TEST(TigerTest, PublishedTestVectors)
{
    const struct
    {
        const char* message;
        const char* digest;
    } cases[] = {
        {"", "3293AC630C13F0245F92BBB1766E16167A4E58492DDE73F3"},
        {"abc", "2AAB1484E8C158F2BFB8C5FF41B57A525129131C957B5F93"},
        {"Tiger", "DD00230799F5009FEC6DEBC838BB6A27DF2B9D6F110C7937"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-",
         "F71C8583902AFB879EDFE610F82C0D4786A3A534504486B5"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ=abcdefghijklmnopqrstuvwxyz+0123456789",
         "48CEEB6308B87D46E95D656112CDF18D97915F9765658957"},
        {"Tiger - A Fast New Hash Function, by Ross Anderson and Eli Biham",
         "8A866829040A410C729AD23F5ADA711603B3CDD357E4C15E"},
        {"Tiger - A Fast New Hash Function, by Ross Anderson and Eli Biham, proceedings of Fast Software "
         "Encryption 3, Cambridge.",
         "CE55A6AFD591F5EBAC547FF84F89227F9331DAB0B611C889"},
        {"Tiger - A Fast New Hash Function, by Ross Anderson and Eli Biham, proceedings of Fast Software "
         "Encryption 3, Cambridge, 1996.",
         "631ABDD103EB9A3D245B6DFD4D77B257FC7439501D1568DD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(CTiger::Hash(c.message, std::strlen(c.message))), c.digest) << '"' << c.message << '"';
}

TEST(TigerTest, UpdatesInPiecesGiveTheDigestOfTheWhole)
{
    // Lengths around the 56-byte padding limit and the 64-byte block, fed in uneven pieces.
    std::mt19937 random(11);
    std::vector<std::uint8_t> data(1000);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(random());
    for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u})
    {
        const CTigerDigest whole = CTiger::Hash(data.data(), length);
        for (std::size_t piece : {1u, 7u, 63u, 64u, 100u})
        {
            CTiger tiger;
            for (std::size_t off = 0; off < length; off += piece)
                tiger.Update(data.data() + off, std::min(piece, length - off));
            EXPECT_EQ(tiger.Finish(), whole) << "length " << length << ", pieces of " << piece;
        }
    }
}

TEST(Base32Test, Rfc4648VectorsWithoutPadding)
{
    const struct
    {
        const char* input;
        const char* text;
    } cases[] = {{"", ""},          {"f", "MY"},           {"fo", "MZXQ"},          {"foo", "MZXW6"},
                 {"foob", "MZXW6YQ"}, {"fooba", "MZXW6YTB"}, {"foobar", "MZXW6YTBOI"}};
    for (const auto& c : cases)
        EXPECT_EQ(Base32Encode(reinterpret_cast<const std::uint8_t*>(c.input), std::strlen(c.input)), c.text);
}

TEST(Base32Test, LengthIsEightBitsPerByteInFiveBitGroups)
{
    const std::vector<std::uint8_t> bytes(40, 0xFF);
    for (std::size_t n = 0; n <= bytes.size(); ++n)
    {
        const std::string text = Base32Encode(bytes.data(), n);
        EXPECT_EQ(text.size(), (8 * n + 4) / 5) << n << " bytes";
        EXPECT_EQ(text.size(), Base32Length(n));
        EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"), std::string::npos);
    }
    EXPECT_EQ(Base32Length(24), 39u);
}
} // namespace
