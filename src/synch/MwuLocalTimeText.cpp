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
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", year, month, day, int(secondOfDay / 3600),
                             int(secondOfDay / 60 % 60), int(secondOfDay % 60));
}
