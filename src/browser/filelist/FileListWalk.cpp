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

struct SRowFacts
{
    bool ghost = false;
    bool mark = false;
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};
} // namespace

void CFileListWalk::Reset(bool loadChecks)
{
    m_totals.Reset();
    m_bLoadChecks = loadChecks;
    m_nNextRow = 0;
}

bool CFileListWalk::StepChunk(CDbDatabase& db, const QString& userName, const CRecordSetList& list,
                              std::vector<char>& checks)
{
    const int rowCount = list.DataCtrl_GetRecordCount();
    const int first = m_nNextRow;
    const int end = std::min(rowCount, first + kChunkRows);
    std::unordered_map<qint32, SRowFacts> facts;
    try
    {
        static const QString statement = ChunkStatement();
        CDbStatement rows = db.Prepare(statement);
        rows.Bind(1, userName);
        for (int i = 0; i < kChunkRows; ++i)
            rows.Bind(i + 2, first + i < end ? list.Key(first + i) : 0);
        while (rows.Step())
        {
            SRowFacts& f = facts[rows.Value(0).ToLong()];
            f.ghost = rows.Value(1).ToBool();
            f.low = static_cast<std::uint32_t>(rows.Value(2).ToLong());
            f.high = static_cast<std::uint32_t>(rows.Value(3).ToLong());
            f.mark = f.mark || rows.Value(4).ToBool();
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::OnIdle() - totals"));
        return false;
    }
    for (int row = first; row < end; ++row)
    {
        const auto it = facts.find(list.Key(row));
        if (it == facts.end())
            continue; // deleted since the list was read
        char& check = checks[static_cast<size_t>(row)];
        if (m_bLoadChecks)
            check = it->second.mark ? 1 : 0;
        m_totals.AddRow(it->second.ghost, check != 0, it->second.low, it->second.high);
    }
    m_nNextRow = end;
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
