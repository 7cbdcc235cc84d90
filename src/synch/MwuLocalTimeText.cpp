#include "synch/MwuLocalTimeText.h"

#include "database/DbValue.h"

#include <QDateTime>

namespace
{
constexpr qint64 kQuarterHour = 900;
constexpr qint64 kSecondsPerDay = 86400;

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(qint64 days, int& year, int& month, int& day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

qint64 FloorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
} // namespace

QString CMwuLocalTimeText::Text(qint64 secondsSinceEpoch)
{
    const qint64 quarter = FloorDiv(secondsSinceEpoch, kQuarterHour);
    auto found = m_offsets.find(quarter);
    if (found == m_offsets.end())
        found = m_offsets.emplace(quarter, QDateTime::fromSecsSinceEpoch(quarter * kQuarterHour).offsetFromUtc()).first;
    const qint64 local = secondsSinceEpoch + found->second;
    const qint64 days = FloorDiv(local, kSecondsPerDay);
    const qint64 secondOfDay = local - days * kSecondsPerDay;
    int year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days, year, month, day);
    if (year < 1000 || year > 9999)
        return CDbValue::DateTimeToText(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch));
    // "yyyy-MM-dd HH:mm:ss", digit by digit: formatting through printf costs more than the rest.
    char16_t text[19];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, year, 4);
    text[4] = u'-';
    put(5, month, 2);
    text[7] = u'-';
    put(8, day, 2);
    text[10] = u' ';
    put(11, int(secondOfDay / 3600), 2);
    text[13] = u':';
    put(14, int(secondOfDay / 60 % 60), 2);
    text[16] = u':';
    put(17, int(secondOfDay % 60), 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}
