#include "cli/CliTable.h"

#include "database/DbStatement.h"

#include <QTextStream>

#include <cmath>

namespace
{
// 2^53: every whole number below it is exact in a double.
constexpr double kExactWholeLimit = 9007199254740992.0;

QString NumberText(double value)
{
    if (std::isfinite(value) && std::floor(value) == value && std::fabs(value) < kExactWholeLimit)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 17);
}

// The value as text, or nothing for Null.
std::optional<QString> PlainText(const CDbValue& value)
{
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        return std::nullopt;
    case CDbValue::Type::Bool:
        return value.ToBool() ? QStringLiteral("true") : QStringLiteral("false");
    case CDbValue::Type::Double:
        return NumberText(value.ToDouble());
    case CDbValue::Type::DateTime:
        return value.ToDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    default:
        return value.ToString();
    }
}

QString TsvField(const QString& text)
{
    QString field;
    field.reserve(text.size());
    for (const QChar c : text)
    {
        if (c == QLatin1Char('\\'))
            field += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            field += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            field += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            field += QLatin1String("\\r");
        else
            field += c;
    }
    return field;
}

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString JsonString(const QString& text)
{
    QString s = QStringLiteral("\"");
    for (const QChar c : text)
    {
        switch (c.unicode())
        {
        case '"':
            s += QLatin1String("\\\"");
            break;
        case '\\':
            s += QLatin1String("\\\\");
            break;
        case '\n':
            s += QLatin1String("\\n");
            break;
        case '\r':
            s += QLatin1String("\\r");
            break;
        case '\t':
            s += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                s += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                s += c;
        }
    }
    return s + QLatin1Char('"');
}

QString JsonValue(const CDbValue& value)
{
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        return QStringLiteral("null");
    case CDbValue::Type::Bool:
        return value.ToBool() ? QStringLiteral("true") : QStringLiteral("false");
    case CDbValue::Type::Long:
        return QString::number(value.ToLong());
    case CDbValue::Type::Double:
        return std::isfinite(value.ToDouble()) ? NumberText(value.ToDouble()) : QStringLiteral("null");
    default:
        return JsonString(PlainText(value).value_or(QString()));
    }
}
} // namespace

CCliTableWriter::CCliTableWriter(QTextStream& out, ECliFormat format, QStringList columns)
    : m_out(out), m_format(format), m_columns(std::move(columns))
{
    if (m_format == ECliFormat::Json)
    {
        m_out << '[';
        return;
    }
    QStringList header;
    for (const QString& name : m_columns)
        header.append(m_format == ECliFormat::Csv ? CsvField(name) : TsvField(name));
    m_out << header.join(m_format == ECliFormat::Csv ? QLatin1Char(',') : QLatin1Char('\t'));
    m_out << (m_format == ECliFormat::Csv ? "\r\n" : "\n");
}

CCliTableWriter::~CCliTableWriter()
{
    Finish();
}

void CCliTableWriter::Row(const QList<CDbValue>& values)
{
    if (m_format == ECliFormat::Json)
    {
        m_out << (m_nRows ? ",\n " : "\n ") << '{';
        for (qsizetype c = 0; c < m_columns.size(); ++c)
            m_out << (c ? ", " : "") << JsonString(m_columns[c]) << ": "
                  << JsonValue(c < values.size() ? values[c] : CDbValue());
        m_out << '}';
    }
    else
    {
        const bool csv = m_format == ECliFormat::Csv;
        for (qsizetype c = 0; c < m_columns.size(); ++c)
        {
            const QString text = c < values.size() ? PlainText(values[c]).value_or(QString()) : QString();
            m_out << (c ? (csv ? "," : "\t") : "") << (csv ? CsvField(text) : TsvField(text));
        }
        m_out << (csv ? "\r\n" : "\n");
    }
    ++m_nRows;
}

void CCliTableWriter::Finish()
{
    if (m_bFinished)
        return;
    m_bFinished = true;
    if (m_format == ECliFormat::Json)
        m_out << (m_nRows ? "\n]\n" : "]\n");
    m_out.flush();
}

QString CliFolderText(const QString& stored)
{
    QString folder = stored;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return folder;
}

QList<CCliColumn> ChooseCliColumns(const QStringList& resultColumns, bool all)
{
    auto find = [&](const char* name) -> int
    {
        for (qsizetype i = 0; i < resultColumns.size(); ++i)
            if (resultColumns[i].compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        return -1;
    };
    QList<CCliColumn> columns;
    if (!all)
    {
        const std::pair<const char*, const char*> wanted[] = {{"Catalogue", "Catalogue"},
                                                              {"Folder", "RelativePath"},
                                                              {"File", "File"},
                                                              {"TTH", "TTH"},
                                                              {"Checked", "Mark"}};
        for (const auto& [shown, source] : wanted)
        {
            const int at = find(source);
            if (at >= 0)
                columns.append({QString::fromLatin1(shown),
                                QLatin1String(source) == QLatin1String("RelativePath")
                                    ? CCliColumn::EKind::Folder
                                    : CCliColumn::EKind::Plain,
                                at});
            // Size goes after the file name, before the hash.
            if (QLatin1String(shown) == QLatin1String("File"))
            {
                if (const int whole = find("FileSizeDouble"); whole >= 0)
                    columns.append({QStringLiteral("Size"), CCliColumn::EKind::Size, whole});
                else if (const int low = find("FileSize"); low >= 0)
                    columns.append(
                        {QStringLiteral("Size"), CCliColumn::EKind::Size, low, find("FileSizeHigh")});
            }
        }
        if (!columns.isEmpty())
            return columns;
    }
    QStringList seen;
    for (qsizetype i = 0; i < resultColumns.size(); ++i)
    {
        const QString& name = resultColumns[i];
        if (seen.contains(name, Qt::CaseInsensitive))
            continue;
        seen.append(name);
        columns.append({name,
                        name.compare(QLatin1String("RelativePath"), Qt::CaseInsensitive) == 0
                            ? CCliColumn::EKind::Folder
                            : CCliColumn::EKind::Plain,
                        static_cast<int>(i)});
    }
    return columns;
}

QList<CDbValue> PickCliRow(const CDbStatement& row, const QList<CCliColumn>& columns)
{
    QList<CDbValue> values;
    values.reserve(columns.size());
    for (const CCliColumn& column : columns)
    {
        const CDbValue value = row.Value(column.source);
        switch (column.kind)
        {
        case CCliColumn::EKind::Plain:
            values.append(value);
            break;
        case CCliColumn::EKind::Folder:
            values.append(value.IsNull() ? value : CDbValue(CliFolderText(value.ToString())));
            break;
        case CCliColumn::EKind::Size:
            if (value.IsNull())
                values.append(value);
            else if (column.sourceHigh < 0)
                values.append(CDbValue(value.ToDouble()));
            else
            {
                // The low half is stored as a signed 32-bit value.
                const double low = static_cast<double>(static_cast<quint32>(value.ToLong()));
                const double high = static_cast<double>(row.Value(column.sourceHigh).ToLong());
                values.append(CDbValue(high * 4294967296.0 + low));
            }
            break;
        }
    }
    return values;
}

int PrintCliRows(QTextStream& out, ECliFormat format, CDbStatement& rows, bool allColumns)
{
    const QList<CCliColumn> columns = ChooseCliColumns(rows.ColumnNames(), allColumns);
    QStringList names;
    for (const CCliColumn& column : columns)
        names.append(column.name);
    CCliTableWriter writer(out, format, names);
    while (rows.Step())
        writer.Row(PickCliRow(rows, columns));
    writer.Finish();
    return writer.RowCount();
}
