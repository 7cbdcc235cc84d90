#pragma once

#include <QString>

#include <cstdint>

// The two totals panes of the status bar: how many files the file list shows and how large they
// are, and the same for the checked ones. A reset zeroes them and marks them as updating; the
// list's walk adds its rows and finishes. Ghosts (files whose physical copy is gone) count in
// neither total.
class CFileListTotals final
{
public:
    void Reset();
    void AddRow(bool bGhost, bool bChecked, std::uint32_t sizeLow, std::uint32_t sizeHigh);
    void Finish();

    bool IsUpdating() const { return m_bUpdating; }
    std::uint32_t TotalCount() const { return m_nTotalCount; }
    std::uint32_t CheckedCount() const { return m_nCheckedCount; }
    double TotalSize() const { return m_dTotalSize; }
    double CheckedSize() const { return m_dCheckedSize; }

    // "Total: 12 files, 3 MB", or "Total:  updating..." while the walk runs.
    QString TotalText() const;
    QString CheckedText() const;

private:
    bool m_bUpdating = false;
    std::uint32_t m_nTotalCount = 0;
    std::uint32_t m_nCheckedCount = 0;
    double m_dTotalSize = 0;
    double m_dCheckedSize = 0;
};
