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

std::vector<qint32> CFileListWalk::NextKeys(const CRecordSetList& list) const
{
    std::vector<qint32> keys;
    const int end = std::min(list.DataCtrl_GetRecordCount(), m_nNextRow + kChunkRows);
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

void CFileListWalk::Count(const std::vector<CRowFacts>& facts, std::vector<char>& checks)
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
        char& check = checks[row];
        if (m_bLoadChecks)
            check = f.bMark ? 1 : 0;
        m_totals.AddRow(f.bGhost, check != 0, f.nLow, f.nHigh);
    }
    if (static_cast<size_t>(m_nNextRow) >= checks.size())
        m_totals.Finish();
}

bool CFileListWalk::StepChunk(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                              std::vector<char>& checks)
{
    std::vector<CRowFacts> facts;
    if (!ReadFacts(db, userName, NextKeys(list), facts))
        return false;
    Count(facts, checks);
    return true;
}

bool CFileListWalk::Step(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                         std::vector<char>& checks, std::chrono::nanoseconds budget)
{
    if (IsDone())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    checks.resize(static_cast<size_t>(list.DataCtrl_GetRecordCount()), 0);
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
                        std::vector<char>& checks)
{
    while (!Step(db, userName, list, checks, std::chrono::hours(1)))
    {
    }
}
