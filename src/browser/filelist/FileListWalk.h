#pragma once

#include "browser/FileListTotals.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
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
    // are finished then). checks holds one bit a row of list.
    bool Step(CDbDatabase& db, const QString& userName, const CRecordSetList& list, std::vector<bool>& checks,
              std::chrono::nanoseconds budget);
    // The whole walk at once (scripts and tests).
    void Run(CDbDatabase& db, const QString& userName, const CRecordSetList& list, std::vector<bool>& checks);

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
    // At most rows keys, from the first row not counted yet.
    std::vector<qint32> NextKeys(const CRecordSetList& list, int rows = kChunkRows) const;
    // One fact a key, in the keys' order; false when the database could not be read.
    static bool ReadFacts(CDbDatabase& db, const QString& userName, const std::vector<qint32>& keys,
                          std::vector<CRowFacts>& facts);
    // Counts the facts of the rows NextKeys gave; a read that failed (facts empty) ends the walk.
    void Count(const std::vector<CRowFacts>& facts, std::vector<bool>& checks);

    // The walk read on another thread a slice of rows at a time: the reader takes a statement's
    // worth of the slice's keys a step and hands what it read over in batches, at most one an
    // interval and one at the end of the slice, so that the window counts a few batches a second
    // whatever the number of rows.
    static constexpr int kSliceRows = 64 * kChunkRows;
    struct CBatch
    {
        std::vector<CRowFacts> facts; // of the rows after those of the batch before
        bool bSliceDone = false;      // the last batch of its slice
        bool bFailed = false;         // the database could not be read: the walk ends
    };
    class CSliceReader final
    {
    public:
        using Deliver = std::function<void(CBatch batch)>;
        CSliceReader(std::vector<qint32> keys, QString userName, std::chrono::milliseconds interval,
                     Deliver deliver);
        // Reads the next statement's worth (db nullptr: the database cannot be opened); false once
        // the slice is through or has failed, its last batch handed over.
        bool Step(CDbDatabase* db);

    private:
        void Hand(bool sliceDone, bool failed);

        std::vector<qint32> m_keys;
        QString m_strUserName;
        std::chrono::milliseconds m_interval;
        Deliver m_deliver;
        size_t m_nNext = 0;
        CBatch m_batch;
        std::chrono::steady_clock::time_point m_lastHanded;
    };
    // Counts a batch; one that failed ends the walk after its facts are counted.
    void Take(const CBatch& batch, std::vector<bool>& checks);

    bool IsDone() const { return !m_totals.IsUpdating(); }
    bool LoadsChecks() const { return m_bLoadChecks; }
    const CFileListTotals& Totals() const { return m_totals; }

private:
    // One statement's worth of rows; false when the database could not be read (the walk ends).
    bool StepChunk(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                   std::vector<bool>& checks);

    CFileListTotals m_totals;
    bool m_bLoadChecks = false;
    int m_nNextRow = 0;
};
