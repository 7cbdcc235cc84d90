#pragma once

#include <QString>

#include <unordered_map>

// The stored text of a file's last-write time in local time, as the engine stores a date and time
// value ("yyyy-MM-dd HH:mm:ss"). A scan converts one time per file; asking the C library for each
// one re-reads the time zone file every time, so the offset from UTC is kept per quarter hour (the
// finest step at which any zone changes its offset) and the text formed directly.
class CMwuLocalTimeText final
{
public:
    QString Text(qint64 secondsSinceEpoch);

private:
    std::unordered_map<qint64, int> m_offsets; // quarter hour since the epoch -> offset in seconds
};
