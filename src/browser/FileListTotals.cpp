#include "browser/FileListTotals.h"

#include "common/FileFormat.h"

void CFileListTotals::Reset()
{
    *this = CFileListTotals();
    m_bUpdating = true;
}

void CFileListTotals::AddRow(bool bGhost, bool bChecked, std::uint32_t sizeLow, std::uint32_t sizeHigh)
{
    if (bGhost)
        return;
    const double size = double(sizeHigh) * 4294967296.0 + double(sizeLow);
    ++m_nTotalCount;
    m_dTotalSize += size;
    if (bChecked)
    {
        ++m_nCheckedCount;
        m_dCheckedSize += size;
    }
}

void CFileListTotals::Finish()
{
    m_bUpdating = false;
}

QString CFileListTotals::TotalText() const
{
    if (m_bUpdating)
        return QStringLiteral("Total:  updating...");
    return QStringLiteral("Total: %1 files, %2").arg(m_nTotalCount).arg(FormatFileSize(m_dTotalSize));
}

QString CFileListTotals::CheckedText() const
{
    if (m_bUpdating)
        return QStringLiteral("Checked:  updating...");
    return QStringLiteral("Checked: %1 files, %2").arg(m_nCheckedCount).arg(FormatFileSize(m_dCheckedSize));
}
