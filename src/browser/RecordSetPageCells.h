#pragma once

#include "database/DbValue.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <vector>

// The cells of one page of the file list, packed: a type byte and an 8-byte value a cell, the
// texts of all cells one after another in one UTF-16 buffer, and dates beside them. A page of
// CDbValue costs 32 bytes a cell before its texts, each text a heap block of its own; a cache of
// pages over a list of a million files is paid for by every open list, at rest too.
//
// A value comes back as it went in: same type, same text, same date.
class CRecordSetPageCells final
{
public:
    CRecordSetPageCells() = default;
    CRecordSetPageCells(size_t rows, int fieldCount);

    size_t Rows() const { return m_nRows; }
    int FieldCount() const { return m_nFieldCount; }
    bool IsEmpty() const { return m_types.empty(); }

    // A text written over a text leaves the old one in the buffer until the page is read again.
    void Set(size_t row, int field, const CDbValue& value);
    CDbValue Value(size_t row, int field) const;
    CDbValue::Type TypeAt(size_t row, int field) const;

    // Gives back what filling the page reserved beyond its cells.
    void Squeeze();
    // The bytes the page holds (capacities).
    size_t Bytes() const;

private:
    size_t At(size_t row, int field) const
    {
        return row * static_cast<size_t>(m_nFieldCount) + static_cast<size_t>(field);
    }

    size_t m_nRows = 0;
    int m_nFieldCount = 0;
    std::vector<std::uint8_t> m_types; // CDbValue::Type of each cell
    // Long, Bool: the number; Double: its bits; Text: offset in m_text (high 32 bits) and length;
    // DateTime: its place in m_dates.
    std::vector<std::uint64_t> m_cells;
    std::vector<char16_t> m_text;
    std::vector<QDateTime> m_dates;
};
