#pragma once

#include "browser/DataCtrlDescriptor.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class CDbDatabase;
class CDbValue;
class CRecordSetList;
class QIODevice;

// "Export List...": the rows of a file list with the columns it shows, in its order, as CSV
// (RFC 4180, UTF-8, CRLF line ends, a header line of captions) or as tab-separated text (tabs and
// line breaks inside values become blanks). Numbers are written as numbers, sizes in bytes and
// dates as "yyyy-MM-dd HH:mm:ss", so that a spreadsheet reads them as values.
class CFileListExport final
{
public:
    enum class EFormat
    {
        Csv,
        Tsv,
    };

    // The statement and columns of a list as it is shown now.
    static CFileListExport FromList(const CRecordSetList& list);
    // "csv" or "tsv" (also "txt" and "tab" for tab-separated), or a file name ending so.
    static std::optional<EFormat> FormatFromName(const QString& nameOrPath);

    // Writes the header and every row; progress is told the rows written so far (every few
    // hundred rows) and stops the export by returning false. The number of rows written, or -1
    // with error when the database or the device failed or the export was stopped.
    qint64 Write(CDbDatabase& db, QIODevice& out, EFormat format, const std::function<bool(qint64)>& progress,
                 QString* error) const;

    // One value as the file holds it.
    static QString FieldText(const CDbValue& value, const CDataCtrlDescriptor& field);
    // A line of fields, with its line end.
    static QString Line(const QStringList& fields, EFormat format);

private:
    QString m_strSql;
    std::vector<CDataCtrlDescriptor> m_fields;
    std::vector<CDataCtrlDescriptor> m_columns;
};
