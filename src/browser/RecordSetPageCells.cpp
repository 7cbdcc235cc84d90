#include "browser/RecordSetPageCells.h"

#include <bit>
#include <limits>

CRecordSetPageCells::CRecordSetPageCells(size_t rows, int fieldCount)
    : m_nRows(rows), m_nFieldCount(fieldCount > 0 ? fieldCount : 0),
      m_types(rows * static_cast<size_t>(m_nFieldCount), static_cast<std::uint8_t>(CDbValue::Type::Null)),
      m_cells(rows * static_cast<size_t>(m_nFieldCount), 0)
{
}

void CRecordSetPageCells::Set(size_t row, int field, const CDbValue& value)
{
    if (row >= m_nRows || field < 0 || field >= m_nFieldCount)
        return;
    const size_t at = At(row, field);
    std::uint64_t cell = 0;
    CDbValue::Type type = value.GetType();
    switch (type)
    {
    case CDbValue::Type::Null:
        break;
    case CDbValue::Type::Long:
        cell = static_cast<std::uint32_t>(value.ToLong());
        break;
    case CDbValue::Type::Bool:
        cell = value.ToBool() ? 1 : 0;
        break;
    case CDbValue::Type::Double:
        cell = std::bit_cast<std::uint64_t>(value.ToDouble());
        break;
    case CDbValue::Type::Text:
    {
        const QString text = value.ToString();
        const size_t offset = m_text.size();
        // SQLite's own limit on a text keeps a page far below this; the guard keeps the packing
        // honest should a page ever hold more.
        if (offset + static_cast<size_t>(text.size()) > std::numeric_limits<std::uint32_t>::max())
        {
            type = CDbValue::Type::Null;
            break;
        }
        const auto* chars = reinterpret_cast<const char16_t*>(text.utf16());
        m_text.insert(m_text.end(), chars, chars + text.size());
        cell = (static_cast<std::uint64_t>(offset) << 32) | static_cast<std::uint32_t>(text.size());
        break;
    }
    case CDbValue::Type::DateTime:
        cell = m_dates.size();
        m_dates.push_back(value.ToDateTime());
        break;
    }
    m_types[at] = static_cast<std::uint8_t>(type);
    m_cells[at] = cell;
}

CDbValue::Type CRecordSetPageCells::TypeAt(size_t row, int field) const
{
    if (row >= m_nRows || field < 0 || field >= m_nFieldCount)
        return CDbValue::Type::Null;
    return static_cast<CDbValue::Type>(m_types[At(row, field)]);
}

CDbValue CRecordSetPageCells::Value(size_t row, int field) const
{
    if (row >= m_nRows || field < 0 || field >= m_nFieldCount)
        return CDbValue::Null();
    const size_t at = At(row, field);
    const std::uint64_t cell = m_cells[at];
    switch (static_cast<CDbValue::Type>(m_types[at]))
    {
    case CDbValue::Type::Null:
        return CDbValue::Null();
    case CDbValue::Type::Long:
        return CDbValue(static_cast<qint32>(static_cast<std::uint32_t>(cell)));
    case CDbValue::Type::Bool:
        return CDbValue(cell != 0);
    case CDbValue::Type::Double:
        return CDbValue(std::bit_cast<double>(cell));
    case CDbValue::Type::Text:
    {
        const size_t offset = static_cast<size_t>(cell >> 32);
        const auto length = static_cast<qsizetype>(cell & 0xFFFFFFFFu);
        if (length == 0)
            return CDbValue(QString(QLatin1String("")));
        return CDbValue(QString(reinterpret_cast<const QChar*>(m_text.data() + offset), length));
    }
    case CDbValue::Type::DateTime:
        return CDbValue(m_dates[static_cast<size_t>(cell)]);
    }
    return CDbValue::Null();
}

void CRecordSetPageCells::Squeeze()
{
    m_text.shrink_to_fit();
    m_dates.shrink_to_fit();
}

size_t CRecordSetPageCells::Bytes() const
{
    return m_types.capacity() + m_cells.capacity() * sizeof(std::uint64_t) +
           m_text.capacity() * sizeof(char16_t) + m_dates.capacity() * sizeof(QDateTime);
}
