#include "browser/filelist/FileListExport.h"

#include "browser/RecordSetList.h"
#include "common/DbException.h"
#include "database/DbDatabase.h"

#include <QFileInfo>
#include <QIODevice>

#include <cmath>

CFileListExport CFileListExport::FromList(const CRecordSetList& list)
{
    CFileListExport result;
    result.m_strSql = list.Sql().ResolveUser(list.Sql().BuildSelect());
    result.m_fields = list.Fields();
    result.m_columns = list.Sql().Columns();
    return result;
}

std::optional<CFileListExport::EFormat> CFileListExport::FormatFromName(const QString& nameOrPath)
{
    QString name = nameOrPath.toLower();
    if (name.contains(QLatin1Char('.')) || name.contains(QLatin1Char('/')))
        name = QFileInfo(name).suffix();
    if (name == QLatin1String("csv"))
        return EFormat::Csv;
    if (name == QLatin1String("tsv") || name == QLatin1String("txt") || name == QLatin1String("tab"))
        return EFormat::Tsv;
    return std::nullopt;
}

QString CFileListExport::FieldText(const CDbValue& value, const CDataCtrlDescriptor& field)
{
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        return QString();
    case CDbValue::Type::Long:
        return QString::number(value.ToLong());
    case CDbValue::Type::Double:
    {
        const double d = value.ToDouble();
        if (field.m_nKind == CDataCtrlDescriptor::KindFileSize || d == std::floor(d))
            return QString::number(d, 'f', 0);
        return QString::number(d, 'g', 15);
    }
    case CDbValue::Type::Bool:
        return value.ToBool() ? QStringLiteral("True") : QStringLiteral("False");
    case CDbValue::Type::DateTime:
        return value.ToDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return value.ToString();
    }
}

QString CFileListExport::Line(const QStringList& fields, EFormat format)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i)
    {
        QString field = fields[i];
        if (format == EFormat::Csv)
        {
            if (i > 0)
                line += QLatin1Char(',');
            if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
                field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n')))
            {
                field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
                field = QLatin1Char('"') + field + QLatin1Char('"');
            }
        }
        else
        {
            if (i > 0)
                line += QLatin1Char('\t');
            for (QChar& c : field)
                if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                    c = QLatin1Char(' ');
        }
        line += field;
    }
    return line + (format == EFormat::Csv ? QStringLiteral("\r\n") : QStringLiteral("\n"));
}

qint64 CFileListExport::Write(CDbDatabase& db, QIODevice& out, EFormat format,
                              const std::function<bool(qint64)>& progress, QString* error) const
{
    auto fail = [&](const QString& why)
    {
        if (error)
            *error = why;
        return qint64(-1);
    };
    QStringList captions;
    for (const CDataCtrlDescriptor& column : m_columns)
        captions.append(column.m_strCaption);
    if (out.write(Line(captions, format).toUtf8()) < 0)
        return fail(out.errorString());
    qint64 rows = 0;
    try
    {
        CDbStatement st = db.Prepare(m_strSql);
        QStringList fields;
        while (st.Step())
        {
            fields.clear();
            for (const CDataCtrlDescriptor& column : m_columns)
            {
                const int index = column.m_nFieldIndex;
                if (!column.m_bBound || index < 0 || index >= static_cast<int>(m_fields.size()) ||
                    index >= st.ColumnCount())
                    fields.append(QString());
                else
                    fields.append(FieldText(st.Value(index), m_fields[static_cast<size_t>(index)]));
            }
            if (out.write(Line(fields, format).toUtf8()) < 0)
                return fail(out.errorString());
            if (++rows % 256 == 0 && progress && !progress(rows))
                return fail(QStringLiteral("The export was cancelled"));
        }
    }
    catch (const CDbException& e)
    {
        return fail(e.m_strDescription);
    }
    if (progress)
        progress(rows);
    return rows;
}
