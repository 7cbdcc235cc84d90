#include "browser/filelist/FileListWalk.h"

#include "browser/RecordSetList.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"

#include <QElapsedTimer>

#include <algorithm>
#include <unordered_map>

namespace
{
QString ChunkStatement()
{
    QString sql = QStringLiteral(
        "SELECT File.FileId, File.Ghost, File.FileSize, File.FileSizeHigh, FileUserSelect.Mark FROM File "
        "LEFT "
        "JOIN FileUserSelect ON (File.FileId = FileUserSelect.FileId AND FileUserSelect.[User]=?) WHERE "
        "File.FileId IN (");
    for (int i = 0; i < CFileListWalk::kChunkRows; ++i)
        sql += i == 0 ? QStringLiteral("?") : QStringLiteral(",?");
    return sql + QLatin1Char(')');
}

} // namespace

void CFileListWalk::Reset(bool loadChecks)
{
    m_totals.Reset();
    m_bLoadChecks = loadChecks;
    m_nNextRow = 0;
}

std::vector<qint32> CFileListWalk::NextKeys(const CRecordSetList& list, int rows) const
{
    std::vector<qint32> keys;
    const int end = std::min(list.DataCtrl_GetRecordCount(), m_nNextRow + std::max(rows, 0));
    keys.reserve(static_cast<size_t>(std::max(end - m_nNextRow, 0)));
    for (int row = m_nNextRow; row < end; ++row)
        keys.push_back(list.Key(row));
    return keys;
}

bool CFileListWalk::ReadFacts(CDbDatabase& db, const QString& userName, const std::vector<qint32>& keys,
                              std::vector<CRowFacts>& facts)
{
    std::unordered_map<qint32, CRowFacts> byKey;
    try
    {
        static const QString statement = ChunkStatement();
        CDbStatement rows = db.Prepare(statement);
        rows.Bind(1, userName);
        for (int i = 0; i < kChunkRows; ++i)
            rows.Bind(i + 2, static_cast<size_t>(i) < keys.size() ? keys[static_cast<size_t>(i)] : 0);
        while (rows.Step())
        {
            CRowFacts& f = byKey[rows.Value(0).ToLong()];
            f.bFound = true;
            f.bGhost = rows.Value(1).ToBool();
            f.nLow = static_cast<std::uint32_t>(rows.Value(2).ToLong());
            f.nHigh = static_cast<std::uint32_t>(rows.Value(3).ToLong());
            f.bMark = f.bMark || rows.Value(4).ToBool();
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::OnIdle() - totals"));
        facts.clear();
        return false;
    }
    facts.clear();
    facts.reserve(keys.size());
    for (qint32 key : keys)
    {
        const auto it = byKey.find(key);
        facts.push_back(it == byKey.end() ? CRowFacts() : it->second);
    }
    return true;
}

void CFileListWalk::Count(const std::vector<CRowFacts>& facts, std::vector<bool>& checks)
{
    if (IsDone())
        return;
    if (facts.empty())
    {
        m_totals.Finish();
        return;
    }
    for (const CRowFacts& f : facts)
    {
        const size_t row = static_cast<size_t>(m_nNextRow++);
        if (row >= checks.size() || !f.bFound)
            continue; // deleted since the list was read
        if (m_bLoadChecks)
            checks[row] = f.bMark;
        m_totals.AddRow(f.bGhost, checks[row], f.nLow, f.nHigh);
    }
    if (static_cast<size_t>(m_nNextRow) >= checks.size())
        m_totals.Finish();
}

void CFileListWalk::Take(const CBatch& batch, std::vector<bool>& checks)
{
    if (!batch.facts.empty())
        Count(batch.facts, checks);
    if (batch.bFailed)
        Count(std::vector<CRowFacts>(), checks);
}

CFileListWalk::CSliceReader::CSliceReader(std::vector<qint32> keys, QString userName,
                                          std::chrono::milliseconds interval, Deliver deliver)
    : m_keys(std::move(keys)), m_strUserName(std::move(userName)), m_interval(interval),
      m_deliver(std::move(deliver)), m_lastHanded(std::chrono::steady_clock::now())
{
}

bool CFileListWalk::CSliceReader::Step(CDbDatabase* db)
{
    const size_t end = std::min(m_keys.size(), m_nNext + static_cast<size_t>(kChunkRows));
    const std::vector<qint32> keys(m_keys.begin() + static_cast<std::ptrdiff_t>(m_nNext),
                                   m_keys.begin() + static_cast<std::ptrdiff_t>(end));
    std::vector<CRowFacts> facts;
    if (!db || (!keys.empty() && !ReadFacts(*db, m_strUserName, keys, facts)))
    {
        Hand(true, true);
        return false;
    }
    m_batch.facts.insert(m_batch.facts.end(), facts.begin(), facts.end());
    m_nNext = end;
    const bool done = m_nNext >= m_keys.size();
    if (done || std::chrono::steady_clock::now() - m_lastHanded >= m_interval)
        Hand(done, false);
    return !done;
}

void CFileListWalk::CSliceReader::Hand(bool sliceDone, bool failed)
{
    m_batch.bSliceDone = sliceDone;
    m_batch.bFailed = failed;
    m_deliver(std::move(m_batch));
    m_batch = CBatch();
    m_lastHanded = std::chrono::steady_clock::now();
}

bool CFileListWalk::StepChunk(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                              std::vector<bool>& checks)
{
    std::vector<CRowFacts> facts;
    if (!ReadFacts(db, userName, NextKeys(list), facts))
        return false;
    Count(facts, checks);
    return true;
}

bool CFileListWalk::Step(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                         std::vector<bool>& checks, std::chrono::nanoseconds budget)
{
    if (IsDone())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    checks.resize(static_cast<size_t>(list.DataCtrl_GetRecordCount()), false);
    do
    {
        if (m_nNextRow >= list.DataCtrl_GetRecordCount() || !StepChunk(db, userName, list, checks))
        {
            m_totals.Finish();
            return true;
        }
    } while (elapsed.nsecsElapsed() < budget.count());
    if (m_nNextRow >= list.DataCtrl_GetRecordCount())
        m_totals.Finish();
    return IsDone();
}

void CFileListWalk::Run(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                        std::vector<bool>& checks)
{
    while (!Step(db, userName, list, checks, std::chrono::hours(1)))
    {
    }
}
