#include "database/DbValue.h"

#include <QLocale>

#include <cmath>

namespace
{
const QString kDateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QString CDbValue::DateTimeToText(const QDateTime& value)
{
    return value.toLocalTime().toString(kDateTimeFormat);
}

QDateTime CDbValue::DateTimeFromText(const QString& text)
{
    QDateTime value = QDateTime::fromString(text.trimmed(), kDateTimeFormat);
    if (!value.isValid())
        value = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    return value;
}

qint32 CDbValue::ToLong() const
{
    switch (GetType())
    {
    case Type::Null:
        return 0;
    case Type::Long:
        return std::get<qint32>(m_value);
    case Type::Double:
        return static_cast<qint32>(std::llround(std::get<double>(m_value)));
    case Type::Text:
        return static_cast<qint32>(std::llround(ToDouble()));
    case Type::Bool:
        return std::get<bool>(m_value) ? 1 : 0;
    case Type::DateTime:
        return 0;
    }
    return 0;
}

double CDbValue::ToDouble() const
{
    switch (GetType())
    {
    case Type::Long:
        return std::get<qint32>(m_value);
    case Type::Double:
        return std::get<double>(m_value);
    case Type::Text:
        return std::get<QString>(m_value).trimmed().toDouble();
    case Type::Bool:
        return std::get<bool>(m_value) ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

bool CDbValue::ToBool() const
{
    switch (GetType())
    {
    case Type::Bool:
        return std::get<bool>(m_value);
    case Type::Long:
        return std::get<qint32>(m_value) != 0;
    case Type::Double:
        return std::get<double>(m_value) != 0.0;
    case Type::Text:
        return ToDouble() != 0.0;
    default:
        return false;
    }
}

QString CDbValue::ToString() const
{
    switch (GetType())
    {
    case Type::Null:
        return QString();
    case Type::Long:
        return QString::number(std::get<qint32>(m_value));
    case Type::Double:
        return QString::number(std::get<double>(m_value), 'g', QLocale::FloatingPointShortest);
    case Type::Text:
        return std::get<QString>(m_value);
    case Type::Bool:
        return std::get<bool>(m_value) ? QStringLiteral("1") : QStringLiteral("0");
    case Type::DateTime:
        return DateTimeToText(std::get<QDateTime>(m_value));
    }
    return QString();
}

QDateTime CDbValue::ToDateTime() const
{
    switch (GetType())
    {
    case Type::DateTime:
        return std::get<QDateTime>(m_value);
    case Type::Text:
        return DateTimeFromText(std::get<QString>(m_value));
    default:
        return QDateTime();
    }
}
