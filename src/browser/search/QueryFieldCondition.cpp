#include "browser/search/QueryFieldCondition.h"

#include "database/JetSql.h"

#include <cmath>

namespace
{
const QString kFolderColumn = QStringLiteral("RelativePath.RelativePath");
const QString kAlternateColumn = QStringLiteral("File.AlternateFile");

struct STextOperator
{
    const char* name;
    const char* sqlOperator;
    const char* before;
    const char* after;
    const char* emptyTest;
    const char* joiner;
    const char* nullTest;
    bool negated;
};

constexpr STextOperator kTextOperators[] = {
    {"Contains", "LIKE", "*", "*", "= ''", "OR", "Is Null", false},
    {"Does not contain", "NOT LIKE", "*", "*", "<> ''", "AND", "Is Not Null", true},
    {"Begins", "LIKE", "", "*", "= ''", "OR", "Is Null", false},
    {"Ends", "LIKE", "*", "", "= ''", "OR", "Is Null", false},
    {"=", "=", "", "", "= ''", "OR", "Is Null", false},
    {"<>", "<>", "", "", "<> ''", "AND", "Is Not Null", true},
};

const STextOperator* TextOperator(const QString& name)
{
    for (const STextOperator& op : kTextOperators)
        if (name == QLatin1String(op.name))
            return &op;
    return nullptr;
}

bool IsTextType(int type)
{
    return type == kFieldText || type == kFieldList || type == kFieldMemo;
}

// A number as typed, checked to be one: it goes into the statement as it stands.
bool IsNumber(const QString& text, double* value = nullptr)
{
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    for (const QChar c : text)
        if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('-') && c != QLatin1Char('+') &&
            c != QLatin1Char('e') && c != QLatin1Char('E'))
            return false;
    if (value)
        *value = number;
    return true;
}

QString NotANumber(const SQueryFieldParam& param)
{
    return QStringLiteral("%1: \"%2\" is not a number.").arg(param.field.strField, param.strValue.trimmed());
}

// LIKE keeps "*" and "?" as the person's wildcards; "#" and "[" match themselves, so that names
// such as "C# notes" or "Song [live]" are found as written.
QString LikeTerm(const QString& line)
{
    QString escaped;
    escaped.reserve(line.size());
    for (const QChar c : line)
    {
        if (c == QLatin1Char('#') || c == QLatin1Char('['))
            escaped += QLatin1Char('[') + QString(c) + QLatin1Char(']');
        else
            escaped += c;
    }
    return escaped;
}

QStringList Lines(const QString& value)
{
    QStringList lines;
    for (QString line : value.split(QLatin1Char('\n')))
    {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

QString EmptyTest(const STextOperator& op, const QString& column)
{
    return QStringLiteral("(%1 %2) %3 (%1 %4)")
        .arg(column, QLatin1String(op.emptyTest), QLatin1String(op.joiner), QLatin1String(op.nullTest));
}

QString Terms(const STextOperator& op, const QString& column, const QStringList& lines)
{
    const bool like = QLatin1String(op.sqlOperator).endsWith(QLatin1String("LIKE"));
    QStringList terms;
    for (const QString& line : lines)
        terms.append(QStringLiteral("(%1 %2 %3)")
                         .arg(column, QLatin1String(op.sqlOperator),
                              CJetSql::QuoteText(QLatin1String(op.before) + (like ? LikeTerm(line) : line) +
                                                 QLatin1String(op.after))));
    return terms.join(QStringLiteral(" AND "));
}

SConditionFragment TextCondition(const SQueryFieldParam& param, const QString& value)
{
    const STextOperator* op = TextOperator(param.strOperator);
    if (!op)
        return {};
    const QStringList lines = Lines(value);
    const bool widened = param.field.strField == kFileNameFolderAlternateFile;
    auto on = [&](const QString& column)
    { return lines.isEmpty() ? EmptyTest(*op, column) : Terms(*op, column, lines); };
    const QString name = QStringLiteral("( %1 )").arg(on(param.field.strTableField));
    if (!widened)
        return {name, {}};
    if (lines.isEmpty() || !op->negated)
        return {
            QStringLiteral(" ( %1 OR ( %2 ) OR ( %3 ) ) ").arg(name, on(kFolderColumn), on(kAlternateColumn)),
            {}};
    // "Does not contain" and "<>" must hold for all three places, not for any one of them: a
    // file in a folder whose name holds the word is not a file whose names lack it. A root
    // folder or a missing alternate name holds nothing, so it cannot hold the word either.
    return {QStringLiteral(" ( %1 AND ( (%2 Is Null) OR %3 ) AND ( (%4 Is Null) OR %5 ) ) ")
                .arg(name, kFolderColumn, on(kFolderColumn), kAlternateColumn, on(kAlternateColumn)),
            {}};
}

SConditionFragment SizeCondition(const SQueryFieldParam& param, const QString& value)
{
    double number = 0;
    if (!IsNumber(value, &number))
        return {{}, NotANumber(param)};
    const QString& column = param.field.strTableField;
    double factor = 0;
    if (param.strUnit == QLatin1String("KB"))
        factor = 1024.0;
    else if (param.strUnit == QLatin1String("MB"))
        factor = 1048576.0;
    else if (param.strUnit == QLatin1String("GB"))
        factor = 1073741824.0;
    const double bytes = factor != 0 ? number * factor : number;
    const QString text = factor != 0 ? QString::asprintf("%f", bytes) : value;
    QString fragment = QStringLiteral("(%1%2%3)").arg(column, param.strOperator, text);
    // The whole size has no index of its own; its two halves have one. An exact size says which
    // halves it is, so that the engine finds the files through that index.
    if (param.strOperator == QLatin1String("=") && column == QLatin1String("File.FileSizeDouble") &&
        bytes >= 0 && bytes < 18446744073709551616.0 && std::floor(bytes) == bytes)
    {
        const auto whole = static_cast<quint64>(bytes);
        fragment = QStringLiteral("(%1 AND (File.FileSizeHigh=%2) AND (File.FileSize=%3))")
                       .arg(fragment)
                       .arg(static_cast<qint32>(static_cast<quint32>(whole >> 32)))
                       .arg(static_cast<qint32>(static_cast<quint32>(whole & 0xFFFFFFFFu)));
    }
    return {fragment, {}};
}

SConditionFragment DateCondition(const SQueryFieldParam& param, const QString& value, const QDateTime& now)
{
    const QString& column = param.field.strTableField;
    const QString& op = param.strOperator;
    const bool between = op == QLatin1String("Between");
    if (!IsRelativeDateOperator(op) && (!param.dtFrom.isValid() || (between && !param.dtTo.isValid())))
        return {{}, QStringLiteral("%1: the date is not valid.").arg(param.field.strField)};
    if (op == QLatin1String("After"))
        return {QStringLiteral("(%1 > %2)").arg(column, JetDateLiteral(param.dtFrom)), {}};
    if (op == QLatin1String("Before"))
        return {QStringLiteral("(%1 < %2)").arg(column, JetDateLiteral(param.dtFrom)), {}};
    if (between)
        return {QStringLiteral("(%1 >= %2 AND %1 <= %3)")
                    .arg(column, JetDateLiteral(param.dtFrom), JetDateLiteral(param.dtTo)),
                {}};
    if (!IsRelativeDateOperator(op))
        return {};
    if (value.isEmpty())
        return {};
    bool ok = false;
    const int count = value.toInt(&ok);
    if (!ok || count < 0)
        return {{}, NotANumber(param)};
    const QDateTime start =
        RelativeDateStart(now, count, param.strUnit, op == QLatin1String("Beginning of the Last"));
    return {QStringLiteral("(%1 >= %2 AND %1 <= %3)").arg(column, JetDateLiteral(start), JetDateLiteral(now)),
            {}};
}
} // namespace

QStringList QueryFieldOperators(int type)
{
    switch (type)
    {
    case kFieldInteger:
    case kFieldSize:
        return {"=", "<>", "<", "<=", ">", ">="};
    case kFieldText:
    case kFieldList:
    case kFieldMemo:
        return {"Begins", "Contains", "Does not contain", "Ends", "=", "<>"};
    case kFieldYesNo:
        return {"="};
    case kFieldDate:
        return {"After", "Before", "Beginning of the Last", "Between", "In the Last"};
    default:
        return {};
    }
}

QString DefaultQueryFieldOperator(int type)
{
    switch (type)
    {
    case kFieldInteger:
    case kFieldYesNo:
        return QStringLiteral("=");
    case kFieldText:
    case kFieldList:
    case kFieldMemo:
        return QStringLiteral("Contains");
    case kFieldSize:
        return QStringLiteral(">=");
    case kFieldDate:
        return QStringLiteral("Between");
    default:
        return {};
    }
}

QStringList SizeUnits()
{
    return {"Bytes", "KB", "MB", "GB"};
}

QString DefaultSizeUnit()
{
    return QStringLiteral("KB");
}

QStringList TimeUnits()
{
    return {"Minutes", "Hours", "Days", "Weeks", "Months", "Years"};
}

QString DefaultTimeUnit()
{
    return QStringLiteral("Days");
}

bool IsRelativeDateOperator(const QString& op)
{
    return op == QLatin1String("In the Last") || op == QLatin1String("Beginning of the Last");
}

QString JetDateLiteral(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    return QString::asprintf("#%02d/%02d/%04d %02d:%02d:%02d#", d.month(), d.day(), d.year(), t.hour(),
                             t.minute(), t.second());
}

QDateTime RelativeDateStart(const QDateTime& now, int count, const QString& unit, bool beginning)
{
    QDateTime start;
    if (unit == QLatin1String("Months"))
    {
        // Back over the whole calendar months before the current one, each with its own days.
        qint64 days = 0;
        QDate month(now.date().year(), now.date().month(), 1);
        for (int i = 0; i < count; ++i)
        {
            month = month.addMonths(-1);
            days += month.daysInMonth();
        }
        start = now.addDays(-days);
    }
    else
    {
        qint64 seconds = 86400;
        if (unit == QLatin1String("Minutes"))
            seconds = 60;
        else if (unit == QLatin1String("Hours"))
            seconds = 3600;
        else if (unit == QLatin1String("Weeks"))
            seconds = 604800;
        else if (unit == QLatin1String("Years"))
            seconds = 31557600;
        start = now.addSecs(-seconds * count);
    }
    if (!beginning)
        return start;
    const QDate date = start.date();
    const QTime time = start.time();
    if (unit == QLatin1String("Minutes"))
        return QDateTime(date, QTime(time.hour(), time.minute()));
    if (unit == QLatin1String("Hours"))
        return QDateTime(date, QTime(time.hour(), 0));
    if (unit == QLatin1String("Weeks"))
        return QDateTime(date.addDays(-(date.dayOfWeek() % 7)), QTime(0, 0));
    if (unit == QLatin1String("Months"))
        return QDateTime(QDate(date.year(), date.month(), 1), QTime(0, 0));
    if (unit == QLatin1String("Years"))
        return QDateTime(QDate(date.year(), 1, 1), QTime(0, 0));
    return QDateTime(date, QTime(0, 0));
}

SConditionFragment QueryFieldCondition(const SQueryFieldParam& param, const QDateTime& now)
{
    const QString value = param.strValue.trimmed();
    const int type = param.field.nType;
    // An operator the type does not offer would go into the statement as it stands.
    if (param.field.strTableField.isEmpty() || !QueryFieldOperators(type).contains(param.strOperator))
        return {};
    if (type == kFieldInteger)
    {
        if (value.isEmpty())
            return {};
        if (!IsNumber(value))
            return {{}, NotANumber(param)};
        return {QStringLiteral("(%1%2%3)").arg(param.field.strTableField, param.strOperator, value), {}};
    }
    if (type == kFieldSize)
        return value.isEmpty() ? SConditionFragment{} : SizeCondition(param, value);
    if (IsTextType(type))
        return TextCondition(param, value);
    if (type == kFieldDate)
        return DateCondition(param, value, now);
    return {};
}

SConditionFragment CombinedCondition(const std::vector<SQueryFieldParam>& params, const QDateTime& now)
{
    QStringList fragments;
    for (const SQueryFieldParam& param : params)
    {
        const SConditionFragment fragment = QueryFieldCondition(param, now);
        if (!fragment.IsValid())
            return fragment;
        if (!fragment.strFragment.isEmpty())
            fragments.append(fragment.strFragment);
    }
    return {fragments.join(QStringLiteral(" AND ")), {}};
}
