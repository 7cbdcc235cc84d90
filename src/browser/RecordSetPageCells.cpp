#include "browser/RecordSetPageCells.h"

#include <cstring>
#include <limits>

namespace
{
// A tag: the value's CDbValue::Type in the low bits, and what else the tag itself can carry.
constexpr std::uint8_t kTypeMask = 0x07;
constexpr std::uint8_t kTrue = 0x08;   // a yes/no value that is yes
constexpr std::uint8_t kLatin1 = 0x08; // a text of one byte a character

std::uint8_t Tag(CDbValue::Type type, std::uint8_t flags = 0)
{
    return static_cast<std::uint8_t>(static_cast<std::uint8_t>(type) | flags);
}

void AppendBytes(std::vector<std::uint8_t>& bytes, const void* data, size_t size)
{
    const auto* from = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), from, from + size);
}

// Lengths of texts: 7 bits a byte, the high bit set on every byte but the last.
void AppendLength(std::vector<std::uint8_t>& bytes, std::uint32_t length)
{
    while (length >= 0x80)
    {
        bytes.push_back(static_cast<std::uint8_t>(length | 0x80));
        length >>= 7;
    }
    bytes.push_back(static_cast<std::uint8_t>(length));
}

std::uint32_t ReadLength(const std::uint8_t* bytes, size_t& at)
{
    std::uint32_t length = 0;
    for (int shift = 0;; shift += 7)
    {
        const std::uint8_t byte = bytes[at++];
        length |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return length;
    }
}

template <typename T> T ReadRaw(const std::uint8_t* bytes, size_t at)
{
    T value;
    std::memcpy(&value, bytes + at, sizeof(T));
    return value;
}
} // namespace

CRecordSetPageCells::CRecordSetPageCells(size_t rows, int fieldCount)
    : m_nFieldCount(fieldCount > 0 ? fieldCount : 0), m_rowStart(rows, kNoRow)
{
}

void CRecordSetPageCells::SetRow(size_t row, const std::vector<CDbValue>& values)
{
    if (row >= Rows())
        return;
    // Past what a record start can say the row is left unwritten (all Null); SQLite's own limit
    // on a text keeps a page far below it.
    if (m_bytes.size() >= kNoRow)
        return;
    m_rowStart[row] = static_cast<std::uint32_t>(m_bytes.size());
    for (int field = 0; field < m_nFieldCount; ++field)
        Append(static_cast<size_t>(field) < values.size() ? values[static_cast<size_t>(field)]
                                                          : CDbValue::Null());
}

void CRecordSetPageCells::Set(size_t row, int field, const CDbValue& value)
{
    if (row >= Rows() || field < 0 || field >= m_nFieldCount)
        return;
    std::vector<CDbValue> values;
    values.reserve(static_cast<size_t>(m_nFieldCount));
    for (int f = 0; f < m_nFieldCount; ++f)
        values.push_back(f == field ? value : Value(row, f));
    SetRow(row, values);
}

void CRecordSetPageCells::Append(const CDbValue& value)
{
    const CDbValue::Type type = value.GetType();
    switch (type)
    {
    case CDbValue::Type::Null:
        m_bytes.push_back(Tag(type));
        break;
    case CDbValue::Type::Bool:
        m_bytes.push_back(Tag(type, value.ToBool() ? kTrue : 0));
        break;
    case CDbValue::Type::Long:
    {
        const qint32 number = value.ToLong();
        m_bytes.push_back(Tag(type));
        AppendBytes(m_bytes, &number, sizeof(number));
        break;
    }
    case CDbValue::Type::Double:
    {
        const double number = value.ToDouble();
        m_bytes.push_back(Tag(type));
        AppendBytes(m_bytes, &number, sizeof(number));
        break;
    }
    case CDbValue::Type::Text:
    {
        const QString text = value.ToString();
        bool latin1 = true;
        for (const QChar c : text)
            if (c.unicode() > 0xFF)
            {
                latin1 = false;
                break;
            }
        m_bytes.push_back(Tag(type, latin1 ? kLatin1 : 0));
        AppendLength(m_bytes, static_cast<std::uint32_t>(text.size()));
        if (latin1)
            for (const QChar c : text)
                m_bytes.push_back(static_cast<std::uint8_t>(c.unicode()));
        else
            AppendBytes(m_bytes, text.utf16(), static_cast<size_t>(text.size()) * sizeof(char16_t));
        break;
    }
    case CDbValue::Type::DateTime:
    {
        const auto index = static_cast<std::uint32_t>(m_dates.size());
        m_dates.push_back(value.ToDateTime());
        m_bytes.push_back(Tag(type));
        AppendBytes(m_bytes, &index, sizeof(index));
        break;
    }
    }
}

size_t CRecordSetPageCells::CellAt(size_t row, int field) const
{
    if (row >= Rows() || field < 0 || field >= m_nFieldCount || m_rowStart[row] == kNoRow)
        return kNoRow;
    const std::uint8_t* bytes = m_bytes.data();
    size_t at = m_rowStart[row];
    for (int f = 0; f < field; ++f)
    {
        const std::uint8_t tag = bytes[at++];
        switch (static_cast<CDbValue::Type>(tag & kTypeMask))
        {
        case CDbValue::Type::Null:
        case CDbValue::Type::Bool:
            break;
        case CDbValue::Type::Long:
        case CDbValue::Type::DateTime:
            at += 4;
            break;
        case CDbValue::Type::Double:
            at += 8;
            break;
        case CDbValue::Type::Text:
        {
            const std::uint32_t length = ReadLength(bytes, at);
            at += (tag & kLatin1) ? length : size_t(length) * sizeof(char16_t);
            break;
        }
        }
    }
    return at;
}

CDbValue CRecordSetPageCells::Decode(size_t at) const
{
    const std::uint8_t* bytes = m_bytes.data();
    const std::uint8_t tag = bytes[at++];
    switch (static_cast<CDbValue::Type>(tag & kTypeMask))
    {
    case CDbValue::Type::Null:
        return CDbValue::Null();
    case CDbValue::Type::Bool:
        return CDbValue((tag & kTrue) != 0);
    case CDbValue::Type::Long:
        return CDbValue(ReadRaw<qint32>(bytes, at));
    case CDbValue::Type::Double:
        return CDbValue(ReadRaw<double>(bytes, at));
    case CDbValue::Type::DateTime:
        return CDbValue(m_dates[ReadRaw<std::uint32_t>(bytes, at)]);
    case CDbValue::Type::Text:
    {
        const auto length = static_cast<qsizetype>(ReadLength(bytes, at));
        if (length == 0)
            return CDbValue(QString(QLatin1String("")));
        if (tag & kLatin1)
            return CDbValue(QString::fromLatin1(reinterpret_cast<const char*>(bytes + at), length));
        // The characters may lie at an odd address: copied as bytes.
        QString text(length, Qt::Uninitialized);
        std::memcpy(text.data(), bytes + at, static_cast<size_t>(length) * sizeof(char16_t));
        return CDbValue(text);
    }
    }
    return CDbValue::Null();
}

CDbValue::Type CRecordSetPageCells::TypeAt(size_t row, int field) const
{
    const size_t at = CellAt(row, field);
    return at == kNoRow ? CDbValue::Type::Null : static_cast<CDbValue::Type>(m_bytes[at] & kTypeMask);
}

CDbValue CRecordSetPageCells::Value(size_t row, int field) const
{
    const size_t at = CellAt(row, field);
    return at == kNoRow ? CDbValue::Null() : Decode(at);
}

void CRecordSetPageCells::Squeeze()
{
    m_bytes.shrink_to_fit();
    m_dates.shrink_to_fit();
}

size_t CRecordSetPageCells::Bytes() const
{
    return m_rowStart.capacity() * sizeof(std::uint32_t) + m_bytes.capacity() +
           m_dates.capacity() * sizeof(QDateTime);
}
