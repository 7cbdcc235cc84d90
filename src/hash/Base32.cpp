#include "hash/Base32.h"

std::string Base32Encode(const std::uint8_t* data, std::size_t length)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string text;
    text.reserve(Base32Length(length));
    unsigned buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        buffer = (buffer << 8) | data[i];
        bits += 8;
        while (bits >= 5)
        {
            bits -= 5;
            text.push_back(Alphabet[(buffer >> bits) & 0x1F]);
        }
    }
    if (bits > 0)
        text.push_back(Alphabet[(buffer << (5 - bits)) & 0x1F]);
    return text;
}
