#pragma once

#include "database/DbValue.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <vector>

// The cells of one page of the file list, packed: each row one record in a byte buffer shared by
// the page, a cell a tag byte followed by only what its value needs (nothing for Null and
// yes/no, 4 bytes for a number, 8 for a double, its length and characters for a text, one byte
// a character when the text allows). Dates lie beside the buffer. A page of CDbValue costs 32
// bytes a cell before its texts, each text a heap block of its own; a cache of pages over a list
// of a million files is paid for by every open list, at rest too.
//
// A value comes back as it went in: same type, same text, same date.
class CRecordSetPageCells final
{
public:
    CRecordSetPageCells() = default;
    CRecordSetPageCells(size_t rows, int fieldCount);

    size_t Rows() const { return m_rowStart.size(); }
    int FieldCount() const { return m_nFieldCount; }
    bool IsEmpty() const { return m_rowStart.empty(); }

    // A row's fields, in order; fields beyond values are Null.
    void SetRow(size_t row, const std::vector<CDbValue>& values);
    // One cell of a row: the row is written again at the end of the buffer, its old record stays
    // until the page is read again.
    void Set(size_t row, int field, const CDbValue& value);
    CDbValue Value(size_t row, int field) const;
    CDbValue::Type TypeAt(size_t row, int field) const;

    // Gives back what filling the page reserved beyond its records.
    void Squeeze();
    // The bytes the page holds (capacities).
    size_t Bytes() const;

private:
    static constexpr std::uint32_t kNoRow = 0xFFFFFFFFu;

    void Append(const CDbValue& value);
    // Where a cell's tag lies in m_bytes; kNoRow for a row never written.
    size_t CellAt(size_t row, int field) const;
    CDbValue Decode(size_t at) const;

    int m_nFieldCount = 0;
    std::vector<std::uint32_t> m_rowStart; // each row's record in m_bytes, or kNoRow
    std::vector<std::uint8_t> m_bytes;
    std::vector<QDateTime> m_dates;
};
