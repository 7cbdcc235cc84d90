#include "platform/NativeName.h"

namespace
{
constexpr char kBackslash = '\\';

// The length of the valid UTF-8 sequence at text[i] and its code point; 0 when the bytes there do
// not start one (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut short).
int DecodeOne(QByteArrayView text, qsizetype i, char32_t& codePoint)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80)
    {
        codePoint = lead;
        return 1;
    }
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    }
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (int k = 1; k < length; ++k)
    {
        const unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

bool IsEscapeRange(char32_t codePoint)
{
    return codePoint >= NativeName::EscapeBase && codePoint <= NativeName::EscapeBase + 0xFF;
}
} // namespace

QString NativeName::FromBytes(QByteArrayView bytes)
{
    // Nearly every name is plain UTF-8 without a backslash: convert it in one go.
    bool plain = true;
    for (qsizetype i = 0; i < bytes.size() && plain;)
    {
        char32_t codePoint = 0;
        const int length = DecodeOne(bytes, i, codePoint);
        plain = length != 0 && codePoint != char32_t(kBackslash) && !IsEscapeRange(codePoint);
        i += length;
    }
    if (plain)
        return QString::fromUtf8(bytes);

    QString text;
    text.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size())
    {
        char32_t codePoint = 0;
        const int length = DecodeOne(bytes, i, codePoint);
        if (length == 0 || codePoint == char32_t(kBackslash) || IsEscapeRange(codePoint))
        {
            // Byte by byte: each one alone, whatever it was part of.
            const int count = length == 0 ? 1 : length;
            for (int k = 0; k < count; ++k)
                text.append(QChar(char16_t(EscapeBase + static_cast<unsigned char>(bytes[i + k]))));
            i += count;
            continue;
        }
        if (codePoint < 0x10000)
            text.append(QChar(char16_t(codePoint)));
        else
        {
            const char32_t rest = codePoint - 0x10000;
            text.append(QChar(char16_t(0xD800 + (rest >> 10))));
            text.append(QChar(char16_t(0xDC00 + (rest & 0x3FF))));
        }
        i += length;
    }
    return text;
}

QByteArray NativeName::ToBytes(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype start = 0; // the run of plain characters not yet converted
    const auto flush = [&](qsizetype end)
    {
        if (end > start)
            bytes.append(text.mid(start, end - start).toUtf8());
    };
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        const char16_t c = text[i].unicode();
        const bool escapedByte = c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF;
        const bool escapedBackslash = c == EscapeBase + char16_t(kBackslash);
        if (!escapedByte && !escapedBackslash)
            continue;
        flush(i);
        bytes.append(static_cast<char>(c - EscapeBase));
        start = i + 1;
    }
    flush(text.size());
    return bytes;
}
