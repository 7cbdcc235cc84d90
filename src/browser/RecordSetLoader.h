#pragma once

#include "browser/RecordSetPageCells.h"
#include "database/DbValue.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CDbDatabase;

// Which database a load reads, and for which user. The loader keeps one connection of its own
// and opens it again when this changes.
struct CRecordSetConnection
{
    QString strPath;
    QString strUserName;
    // As the document's own: a catalogue opened read-only is never written, not even by a reader
    // that would choose its journal mode or fold its log into it on the way out.
    bool bReadOnly = false;
    bool operator==(const CRecordSetConnection&) const = default;
};

// The keys of a list in display order, and the grouping values that make its bands.
struct CRecordSetKeyJob
{
    quint64 nGeneration = 0;
    CRecordSetConnection connection;
    QString strSql;
    int nGroupValues = 0;
    // When above 0, a background load first posts that many leading rows on their own (a short
    // read: the engine keeps only the top rows of its sort), so that a list of a million files
    // shows its first screen long before the whole key list is in.
    int nHeadRows = 0;
    // The cells of the leading rows are read with them, page by page, before the whole list
    // keeps the loader busy.
    QString strPageSql;
    int nPageRows = 0;
    quint64 nPageLayout = 0;
};

struct CRecordSetKeys
{
    quint64 nGeneration = 0;
    std::vector<qint32> keys;
    std::vector<bool> bands; // the band bit of each row; empty without grouping
    long nErrorCode = 0;     // the engine's error, 0 when the keys were read
    QString strError;
    bool bCancelled = false; // a newer load took its place
    bool bHead = false;      // only the leading rows; the whole list follows
};

// One page of rows read by key.
struct CRecordSetPageJob
{
    quint64 nGeneration = 0;
    int nPage = 0;
    quint64 nLayout = 0; // which fields it reads, a number its list raises with every change
    CRecordSetConnection connection;
    QString strSql;           // the page statement, keys bound as ?1..?N
    int nStatementRows = 0;   // N
    std::vector<qint32> keys; // at most N
};

struct CRecordSetPage
{
    quint64 nGeneration = 0;
    int nPage = 0;
    quint64 nLayout = 0;
    CRecordSetPageCells cells; // the statement's fields after the key, row by row
    std::vector<char> found;   // 0 where the row is gone
    long nErrorCode = 0;
    QString strError;
};

// The file list's reader: a thread with its own database connection that loads key lists and
// pages of cells, so that the window never waits for the engine. Key loads replace each other
// (a newer one stops an older one between rows); page requests replace the queue of pages not
// yet started, nearest first, so that a fast scroll reads only where the view stops. Results go
// to the callbacks on the loader's thread; blocking calls run on it too and wait for the answer,
// so a connection is only ever used by its own thread.
class CRecordSetLoader final
{
public:
    using KeysDone = std::function<void(CRecordSetKeys)>;
    using PageDone = std::function<void(CRecordSetPage)>;

    CRecordSetLoader(KeysDone keysDone, PageDone pageDone);
    ~CRecordSetLoader();
    CRecordSetLoader(const CRecordSetLoader&) = delete;
    CRecordSetLoader& operator=(const CRecordSetLoader&) = delete;

    // Loads keys in the background; an older key load still queued or running is dropped.
    void PostKeys(CRecordSetKeyJob job);
    // More pages to read: queued with those not yet started, nearest to centrePage first, at
    // most maxQueued of them; returns the pages that no longer wait (too far from the centre).
    std::vector<int> QueuePages(std::vector<CRecordSetPageJob> jobs, int centrePage, size_t maxQueued);
    // Drops every queued page and any key load older than generation.
    void Forget(quint64 generation);
    // Closes the loader's connection (the list was closed; the file may go) and returns once it is
    // closed: the document's own connection may then be the file's last, which leaves it whole.
    void CloseConnection();
    // While held, only blocking calls run; queued loads wait (to line up requests in tests and
    // benchmarks).
    void Hold(bool hold);
    // Whether the loader holds a connection now (it lets go of one to a file at rest).
    bool IsConnected() const { return m_bConnected; }

    // Work of the lowest priority (a walk over every row): run on the loader's thread when no key
    // list, page or blocking call waits, through the connection for that database (nullptr when it
    // cannot be opened). Work that answers true has more to do: it runs again, a short step at a
    // time, whenever nothing else waits. Dropped when the loader goes or closes its connection.
    using IdleWork = std::function<bool(CDbDatabase* db)>;
    void PostIdle(const CRecordSetConnection& connection, IdleWork work);

    // Run on the loader's thread, waiting for the answer.
    CRecordSetKeys LoadKeysNow(const CRecordSetKeyJob& job);
    CRecordSetPage LoadPageNow(const CRecordSetPageJob& job);
    // Any read through the loader's connection for that database; the function gets nullptr and
    // the error when the connection cannot be opened.
    void RunNow(const CRecordSetConnection& connection,
                const std::function<void(CDbDatabase* db, long errorCode, const QString& error)>& work);

private:
    void Loop();
    // The connection for this database, opened when needed; throws CDbException.
    CDbDatabase& Connection(const CRecordSetConnection& connection);
    // headRows above 0: only that many leading rows.
    CRecordSetKeys LoadKeys(const CRecordSetKeyJob& job, int headRows = 0);
    CRecordSetPage LoadPage(const CRecordSetPageJob& job);
    // The pages of a list's leading rows, read and posted at once.
    void PostHeadPages(const CRecordSetKeyJob& job, const std::vector<qint32>& keys);
    void DropConnection();
    void ReleaseMemory();

    KeysDone m_keysDone;
    PageDone m_pageDone;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStop = false;
    std::optional<CRecordSetKeyJob> m_keyJob;
    std::deque<CRecordSetPageJob> m_pages;
    std::deque<std::function<void()>> m_now; // blocking calls, before anything else
    std::deque<std::pair<CRecordSetConnection, IdleWork>> m_idle;
    quint64 m_nIdleEpoch = 0; // bumped when queued idle work is dropped
    bool m_bHeld = false;
    std::atomic<quint64> m_nLatestKeys{0};
    std::atomic<bool> m_bConnected{false};

    // Used on the loader's thread only.
    // The connection to a file and the heap the reads left free are given back once nothing has
    // been asked for a while: an open list at rest holds little besides its keys.
    bool m_bReleaseWhenIdle = false;
    std::unique_ptr<CDbDatabase> m_pDatabase;
    CRecordSetConnection m_connection;

    std::thread m_thread;
};
