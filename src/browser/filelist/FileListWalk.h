#pragma once

#include "browser/FileListTotals.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <vector>

class CDbDatabase;
class CRecordSetList;

// The walk over a file list's rows that adds up its totals and, after the rows changed, reads
// each row's check mark. It works in short steps (the window runs one whenever it is idle), a
// few hundred rows a statement, so that a list of a million files never holds the window.
class CFileListWalk final
{
public:
    static constexpr int kChunkRows = 256;

    // Starts over from the first row: totals zeroed and updating. With loadChecks the check
    // bytes are read from the database, else the ones held are counted.
    void Reset(bool loadChecks);
    // Works through rows until the time is up; true once the last row is counted (the totals
    // are finished then). checks holds one byte a row of list.
    bool Step(CDbDatabase& db, const QString& userName, const CRecordSetList& list, std::vector<char>& checks,
              std::chrono::nanoseconds budget);
    // The whole walk at once (scripts and tests).
    void Run(CDbDatabase& db, const QString& userName, const CRecordSetList& list, std::vector<char>& checks);

    // The walk in three parts, so that the reading runs on another thread: the keys of the next
    // rows (none when the walk is through), what the database says of them, and their count.
    struct CRowFacts
    {
        bool bFound = false; // false: deleted since the list was read
        bool bGhost = false;
        bool bMark = false;
        std::uint32_t nLow = 0;
        std::uint32_t nHigh = 0;
    };
    std::vector<qint32> NextKeys(const CRecordSetList& list) const;
    // One fact a key, in the keys' order; false when the database could not be read.
    static bool ReadFacts(CDbDatabase& db, const QString& userName, const std::vector<qint32>& keys,
                          std::vector<CRowFacts>& facts);
    // Counts the facts of the rows NextKeys gave; a read that failed (facts empty) ends the walk.
    void Count(const std::vector<CRowFacts>& facts, std::vector<char>& checks);

    bool IsDone() const { return !m_totals.IsUpdating(); }
    bool LoadsChecks() const { return m_bLoadChecks; }
    const CFileListTotals& Totals() const { return m_totals; }

private:
    // One statement's worth of rows; false when the database could not be read (the walk ends).
    bool StepChunk(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                   std::vector<char>& checks);

    CFileListTotals m_totals;
    bool m_bLoadChecks = false;
    int m_nNextRow = 0;
};
