#pragma once

#include <QString>

// A field of the SELECT list, or a column of the list (which shows one field).
struct CDataCtrlDescriptor
{
    enum Kind : int
    {
        KindText = 0,
        KindNumber = 1,
        KindFileSize = 6,
    };

    int m_nIndex = 0;
    QString m_strFieldName; // "File.File": as it goes into the SELECT list and ORDER BY
    QString m_strCaption;
    QString m_strFormat = QStringLiteral("%g"); // printf format for floating-point values
    int m_nWidth = 0;                           // 0: the caption's length times 16
    int m_nFieldIndex = 0;                      // for a column: the field it shows
    int m_nSortPriority = 0;                    // 0: no secondary sort key, else its rank
    int m_nKind = KindText;
    bool m_bBound = true;

    bool IsFileInfoField() const
    {
        return m_strFieldName.left(9).compare(QLatin1String("FileInfo."), Qt::CaseInsensitive) == 0;
    }
};
