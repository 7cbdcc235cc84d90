#pragma once

#include <QDateTime>
#include <QString>

#include <variant>

// One field value as the engine hands it over or takes it: Null, a 32-bit integer (Long
// Integer), a double, text, a boolean (Yes/No) or a date and time (local time, whole seconds).
class CDbValue final
{
public:
    enum class Type
    {
        Null,
        Long,
        Double,
        Text,
        Bool,
        DateTime,
    };

    CDbValue() = default;
    CDbValue(qint32 value) : m_value(value) {}
    CDbValue(double value) : m_value(value) {}
    CDbValue(bool value) : m_value(value) {}
    CDbValue(const QString& value) : m_value(value) {}
    CDbValue(const char* value) : m_value(QString::fromUtf8(value)) {}
    CDbValue(const QDateTime& value) : m_value(value) {}

    static CDbValue Null() { return CDbValue(); }

    Type GetType() const { return static_cast<Type>(m_value.index()); }
    bool IsNull() const { return GetType() == Type::Null; }

    // Conversions in the manner of a variant: Null gives 0, "", false or an invalid date; text is
    // read as a number where a number is asked for; any non-zero number is true.
    qint32 ToLong() const;
    double ToDouble() const;
    bool ToBool() const;
    QString ToString() const;
    QDateTime ToDateTime() const;

    // How dates are stored: text in local time that sorts as it reads.
    static QString DateTimeToText(const QDateTime& value);
    static QDateTime DateTimeFromText(const QString& text);

    bool operator==(const CDbValue& other) const = default;

private:
    std::variant<std::monostate, qint32, double, QString, bool, QDateTime> m_value;
};
