#include "browser/RecordSetLoader.h"

#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/JetSql.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <unordered_map>
#include <utility>

namespace
{
// The statement limited to its first rows, in the engine's own dialect: Jet has no LIMIT.
CDbStatement PrepareHead(CDbDatabase& db, const QString& jetSql, int rows)
{
    const std::shared_ptr<const CJetTranslation> translation = db.TranslateJet(jetSql);
    if (!translation->isSelect || translation->statements.size() != 1 || !translation->parameters.isEmpty())
        return db.Prepare(jetSql); // raises what Prepare raises
    QString sql = translation->statements.front().trimmed();
    while (sql.endsWith(QLatin1Char(';')))
        sql.chop(1);
    return db.PrepareSqlite(sql + QStringLiteral(" LIMIT %1").arg(rows));
}

// How long the loader waits with nothing to do before it gives memory back.
constexpr std::chrono::milliseconds kReleaseAfter{300};

void RaiseTo(std::atomic<quint64>& value, quint64 at_least)
{
    quint64 current = value.load();
    while (current < at_least && !value.compare_exchange_weak(current, at_least))
    {
    }
}
} // namespace

CRecordSetLoader::CRecordSetLoader(KeysDone keysDone, PageDone pageDone)
    : m_keysDone(std::move(keysDone)), m_pageDone(std::move(pageDone))
{
    m_thread = std::thread([this] { Loop(); });
}

CRecordSetLoader::~CRecordSetLoader()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    // A key load in progress stops between two rows.
    m_nLatestKeys = ~quint64(0);
    m_wake.notify_all();
    m_thread.join();
}

void CRecordSetLoader::PostKeys(CRecordSetKeyJob job)
{
    RaiseTo(m_nLatestKeys, job.nGeneration);
    {
        std::lock_guard lock(m_mutex);
        m_keyJob = std::move(job);
    }
    m_wake.notify_all();
}

std::vector<int> CRecordSetLoader::QueuePages(std::vector<CRecordSetPageJob> jobs, int centrePage,
                                              size_t maxQueued)
{
    std::vector<int> dropped;
    {
        std::lock_guard lock(m_mutex);
        for (CRecordSetPageJob& job : jobs)
        {
            const bool queued = std::any_of(m_pages.begin(), m_pages.end(),
                                            [&](const CRecordSetPageJob& q) {
                                                return q.nPage == job.nPage &&
                                                       q.nGeneration == job.nGeneration &&
                                                       q.nLayout == job.nLayout;
                                            });
            if (!queued)
                m_pages.push_back(std::move(job));
        }
        // Pages of an older list, or read for fields the list no longer holds, are of no use;
        // the rest go nearest first.
        const auto age = [](const CRecordSetPageJob& job) { return std::pair(job.nGeneration, job.nLayout); };
        const std::pair<quint64, quint64> newest =
            m_pages.empty() ? std::pair<quint64, quint64>()
                            : age(*std::max_element(m_pages.begin(), m_pages.end(),
                                                    [&](auto& a, auto& b) { return age(a) < age(b); }));
        std::stable_sort(m_pages.begin(), m_pages.end(),
                         [&](const CRecordSetPageJob& a, const CRecordSetPageJob& b)
                         {
                             if ((age(a) == newest) != (age(b) == newest))
                                 return age(a) == newest;
                             return std::abs(a.nPage - centrePage) < std::abs(b.nPage - centrePage);
                         });
        while (m_pages.size() > maxQueued || (!m_pages.empty() && age(m_pages.back()) != newest))
        {
            if (age(m_pages.back()) == newest)
                dropped.push_back(m_pages.back().nPage);
            m_pages.pop_back();
        }
    }
    m_wake.notify_all();
    return dropped;
}

void CRecordSetLoader::Forget(quint64 generation)
{
    RaiseTo(m_nLatestKeys, generation);
    std::lock_guard lock(m_mutex);
    m_pages.clear();
    if (m_keyJob && m_keyJob->nGeneration < generation)
        m_keyJob.reset();
}

void CRecordSetLoader::CloseConnection()
{
    std::promise<void> done;
    std::future<void> closed = done.get_future();
    {
        std::lock_guard lock(m_mutex);
        m_idle.clear(); // reads of the closed list, which would open the file again
        ++m_nIdleEpoch;
        m_now.push_back(
            [&]
            {
                DropConnection();
                done.set_value();
            });
    }
    m_wake.notify_all();
    closed.get();
}

void CRecordSetLoader::Hold(bool hold)
{
    {
        std::lock_guard lock(m_mutex);
        m_bHeld = hold;
    }
    m_wake.notify_all();
}

void CRecordSetLoader::PostIdle(const CRecordSetConnection& connection, IdleWork work)
{
    {
        std::lock_guard lock(m_mutex);
        m_idle.emplace_back(connection, std::move(work));
    }
    m_wake.notify_all();
}

CRecordSetKeys CRecordSetLoader::LoadKeysNow(const CRecordSetKeyJob& job)
{
    RaiseTo(m_nLatestKeys, job.nGeneration);
    CRecordSetKeys result;
    RunNow(job.connection, [&](CDbDatabase*, long, const QString&) { result = LoadKeys(job); });
    return result;
}

CRecordSetPage CRecordSetLoader::LoadPageNow(const CRecordSetPageJob& job)
{
    CRecordSetPage result;
    RunNow(job.connection, [&](CDbDatabase*, long, const QString&) { result = LoadPage(job); });
    return result;
}

void CRecordSetLoader::RunNow(const CRecordSetConnection& connection,
                              const std::function<void(CDbDatabase*, long, const QString&)>& work)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    {
        std::lock_guard lock(m_mutex);
        m_now.push_back(
            [&]
            {
                CDbDatabase* db = nullptr;
                long code = 0;
                QString error;
                try
                {
                    db = &Connection(connection);
                }
                catch (const CDbException& e)
                {
                    code = e.m_nErrorCode;
                    error = e.m_strDescription;
                }
                try
                {
                    work(db, code, error);
                    done.set_value();
                }
                catch (...)
                {
                    done.set_exception(std::current_exception());
                }
            });
    }
    m_wake.notify_all();
    finished.get();
}

CDbDatabase& CRecordSetLoader::Connection(const CRecordSetConnection& connection)
{
    if (m_pDatabase && m_pDatabase->IsOpen() && m_connection == connection)
        return *m_pDatabase;
    DropConnection();
    auto db = std::make_unique<CDbDatabase>();
    db->Open(connection.strPath, connection.bReadOnly ? EDbOpenMode::ReadOnly : EDbOpenMode::ReadWrite);
    db->SetUserName(connection.strUserName);
    m_pDatabase = std::move(db);
    m_connection = connection;
    m_bConnected = true;
    return *m_pDatabase;
}

void CRecordSetLoader::Loop()
{
    for (;;)
    {
        std::function<void()> now;
        std::optional<CRecordSetKeyJob> keyJob;
        std::optional<CRecordSetPageJob> pageJob;
        std::optional<std::pair<CRecordSetConnection, IdleWork>> idle;
        quint64 idleEpoch = 0;
        {
            std::unique_lock lock(m_mutex);
            const auto hasWork = [&] {
                return m_bStop || !m_now.empty() ||
                       (!m_bHeld && (m_keyJob || !m_pages.empty() || !m_idle.empty()));
            };
            // Only once nothing has come for a while: a walk hands its next slice over in
            // between, and the heap's trim would hold the window's allocations meanwhile.
            if (m_bReleaseWhenIdle && !m_wake.wait_for(lock, kReleaseAfter, hasWork))
            {
                lock.unlock();
                ReleaseMemory();
                lock.lock();
            }
            m_wake.wait(lock, hasWork);
            if (!m_now.empty())
            {
                now = std::move(m_now.front());
                m_now.pop_front();
            }
            else if (m_bStop)
                break;
            else if (m_keyJob)
            {
                keyJob = std::move(m_keyJob);
                m_keyJob.reset();
            }
            else if (!m_pages.empty())
            {
                pageJob = std::move(m_pages.front());
                m_pages.pop_front();
            }
            else
            {
                idle = std::move(m_idle.front());
                m_idle.pop_front();
                idleEpoch = m_nIdleEpoch;
            }
        }
        if (now)
        {
            now();
            m_bReleaseWhenIdle = true;
        }
        else if (keyJob)
        {
            if (keyJob->nHeadRows > 0)
            {
                CRecordSetKeys head = LoadKeys(*keyJob, keyJob->nHeadRows);
                if (head.bCancelled)
                    continue;
                // Fewer rows than asked for, or an error: that is the whole answer already.
                const bool whole =
                    head.nErrorCode != 0 || head.keys.size() < static_cast<size_t>(keyJob->nHeadRows);
                head.bHead = !whole;
                if (whole)
                {
                    m_keysDone(std::move(head));
                    continue;
                }
                // The whole list keeps this thread busy for a while: the cells of the leading
                // rows are read first, so that their screen is painted meanwhile.
                std::vector<qint32> headKeys = head.keys;
                m_keysDone(std::move(head));
                PostHeadPages(*keyJob, headKeys);
            }
            CRecordSetKeys keys = LoadKeys(*keyJob);
            // The engine's sort of a large list leaves megabytes free in this thread's heap.
            malloc_trim(0);
            m_bReleaseWhenIdle = true;
            if (!keys.bCancelled)
                m_keysDone(std::move(keys));
        }
        else if (pageJob)
        {
            m_pageDone(LoadPage(*pageJob));
            m_bReleaseWhenIdle = true;
        }
        else if (idle)
        {
            CDbDatabase* db = nullptr;
            try
            {
                db = &Connection(idle->first);
            }
            catch (const CDbException&)
            {
            }
            m_bReleaseWhenIdle = true;
            if (idle->second(db))
            {
                // Its next step comes after whatever was asked for meanwhile; none when the
                // queue was dropped while it ran.
                std::lock_guard lock(m_mutex);
                if (idleEpoch == m_nIdleEpoch && !m_bStop)
                    m_idle.push_front(std::move(*idle));
            }
        }
    }
    DropConnection();
}

void CRecordSetLoader::DropConnection()
{
    m_pDatabase.reset();
    m_bConnected = false;
}

void CRecordSetLoader::ReleaseMemory()
{
    m_bReleaseWhenIdle = false;
    // A connection to a file goes altogether: its schema, its statements, its page cache and the
    // names it read cost more than a list's cached cells, and opening it again when the list next
    // reads takes a few milliseconds. A connection to a server stays: it takes a round trip or
    // more to open.
    if (m_pDatabase && !m_pDatabase->IsServer())
        DropConnection();
    malloc_trim(0);
}

CRecordSetKeys CRecordSetLoader::LoadKeys(const CRecordSetKeyJob& job, int headRows)
{
    CRecordSetKeys result;
    result.nGeneration = job.nGeneration;
    try
    {
        CDbDatabase& db = Connection(job.connection);
        CDbStatement rows = headRows > 0 ? PrepareHead(db, job.strSql, headRows) : db.Prepare(job.strSql);
        const int groupValues = std::min(job.nGroupValues, rows.ColumnCount() - 1);
        std::vector<CDbValue> previous(static_cast<size_t>(std::max(groupValues, 0)));
        bool band = false;
        while (rows.Step())
        {
            // A newer load (another folder, another sort) makes this one pointless.
            if ((result.keys.size() & 1023) == 0 && m_nLatestKeys.load() > job.nGeneration)
            {
                result.bCancelled = true;
                result.keys.clear();
                result.bands.clear();
                return result;
            }
            result.keys.push_back(rows.Value(0).ToLong());
            // The band flips where any grouping value changes from the row before.
            bool changed = false;
            for (int g = 0; g < groupValues; ++g)
            {
                CDbValue value = rows.Value(g + 1);
                if (!(value == previous[static_cast<size_t>(g)]))
                {
                    changed = true;
                    previous[static_cast<size_t>(g)] = std::move(value);
                }
            }
            if (changed && result.keys.size() > 1)
                band = !band;
            if (groupValues > 0)
                result.bands.push_back(band);
        }
        result.keys.shrink_to_fit();
        result.bands.shrink_to_fit();
    }
    catch (const CDbException& e)
    {
        result.keys.clear();
        result.bands.clear();
        result.nErrorCode = e.m_nErrorCode;
        result.strError = e.m_strDescription;
    }
    return result;
}

void CRecordSetLoader::PostHeadPages(const CRecordSetKeyJob& job, const std::vector<qint32>& keys)
{
    if (job.nPageRows <= 0 || job.strPageSql.isEmpty())
        return;
    for (size_t first = 0; first < keys.size(); first += static_cast<size_t>(job.nPageRows))
    {
        if (m_nLatestKeys.load() > job.nGeneration)
            return;
        CRecordSetPageJob page;
        page.nGeneration = job.nGeneration;
        page.nPage = static_cast<int>(first / static_cast<size_t>(job.nPageRows));
        page.connection = job.connection;
        page.strSql = job.strPageSql;
        page.nStatementRows = job.nPageRows;
        page.nLayout = job.nPageLayout;
        const size_t last = std::min(keys.size(), first + static_cast<size_t>(job.nPageRows));
        page.keys.assign(keys.begin() + static_cast<std::ptrdiff_t>(first),
                         keys.begin() + static_cast<std::ptrdiff_t>(last));
        m_pageDone(LoadPage(page));
    }
}

CRecordSetPage CRecordSetLoader::LoadPage(const CRecordSetPageJob& job)
{
    CRecordSetPage page;
    page.nGeneration = job.nGeneration;
    page.nPage = job.nPage;
    page.nLayout = job.nLayout;
    const size_t count = std::min(job.keys.size(), static_cast<size_t>(job.nStatementRows));
    page.found.assign(count, 0);
    try
    {
        CDbStatement rows = Connection(job.connection).Prepare(job.strSql);
        std::unordered_map<qint32, size_t> position;
        position.reserve(count);
        for (int i = 0; i < job.nStatementRows; ++i)
        {
            if (static_cast<size_t>(i) < count)
            {
                position.emplace(job.keys[static_cast<size_t>(i)], static_cast<size_t>(i));
                rows.Bind(i + 1, job.keys[static_cast<size_t>(i)]);
            }
            else
                rows.Bind(i + 1, CDbValue::Null());
        }
        const int fieldCount = rows.ColumnCount() - 1;
        page.cells = CRecordSetPageCells(count, fieldCount);
        std::vector<CDbValue> values(static_cast<size_t>(std::max(fieldCount, 0)));
        while (rows.Step())
        {
            const auto it = position.find(rows.Value(0).ToLong());
            if (it == position.end() || page.found[it->second])
                continue;
            page.found[it->second] = 1;
            for (int c = 0; c < fieldCount; ++c)
                values[static_cast<size_t>(c)] = rows.Value(c + 1);
            page.cells.SetRow(it->second, values);
        }
        page.cells.Squeeze();
    }
    catch (const CDbException& e)
    {
        page.nErrorCode = e.m_nErrorCode;
        page.strError = e.m_strDescription;
        page.cells = CRecordSetPageCells();
        page.found.assign(count, 0);
    }
    return page;
}
