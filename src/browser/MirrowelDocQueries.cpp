// Running stored query scripts and keeping one copy of each duplicate.
#include "browser/MirrowelDoc.h"

#include "browser/QueryOutput.h"
#include "browser/SqlText.h"
#include "common/DbException.h"
#include "common/UserInteraction.h"
#include "database/DbQueryDef.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"

#include <QCoreApplication>
#include <QTimer>

#include <vector>

namespace
{
// Unchecks are written in transactions of this many rows: one commit per row would make a
// million-file duplicate search wait on the disk.
constexpr size_t kUncheckBatch = 2000;

struct Member
{
    qint32 fileId;
    bool keep; // on a CD-ROM or a ghost: cannot or need not be deleted
    bool checked;
};
} // namespace

void CMirrowelDoc::UnmarkAtLeastOneDuplicate()
{
    if (!IsOpen())
        return;
    CDbDatabase& db = *m_pDatabase;
    std::vector<qint32> uncheck;

    // A group ends: if every copy is checked, spare the ones that cannot or need not go, or else
    // the one with the highest keep priority (the first).
    auto closeGroup = [&](const std::vector<Member>& group) {
        if (group.empty() || std::any_of(group.begin(), group.end(), [](const Member& m) { return !m.checked; }))
            return;
        const size_t before = uncheck.size();
        for (const Member& m : group)
            if (m.keep)
                uncheck.push_back(m.fileId);
        if (uncheck.size() == before)
            uncheck.push_back(group.front().fileId);
    };

    try
    {
        // The same rows and order as the stored duplicate search shows them; an empty TTH and a
        // Null one are the same key, so they sort as one.
        CDbStatement rows = db.PrepareSqlite(QStringLiteral(
            "SELECT f.FileSizeHigh, f.FileSize, coalesce(f.TTH, ''), f.FileId, f.Ghost, c.DriveType, s.Mark "
            "FROM \"File\" f JOIN \"Catalogue\" c ON c.CatalogueId = f.CatalogueId "
            "JOIN \"FileUserSelect\" s ON s.FileId = f.FileId "
            "LEFT JOIN \"RelativePath\" r ON r.RelativePathId = f.RelativePathId "
            "WHERE s.\"User\" = ? AND s.QueryMark <> 0 "
            "ORDER BY f.FileSizeHigh, f.FileSize, coalesce(f.TTH, ''), "
            "c.CatalogueKeepPriority + r.KeepPriority DESC, c.Catalogue, r.RelativePath, f.File"));
        rows.Bind(1, m_strUserName);
        std::vector<Member> group;
        qint32 high = 0;
        qint32 size = 0;
        QString tth;
        while (rows.Step())
        {
            const qint32 rowHigh = rows.Value(0).ToLong();
            const qint32 rowSize = rows.Value(1).ToLong();
            const QString rowTth = rows.Value(2).ToString();
            if (!group.empty() && (rowHigh != high || rowSize != size || rowTth != tth))
            {
                closeGroup(group);
                group.clear();
            }
            high = rowHigh;
            size = rowSize;
            tth = rowTth;
            const bool cdrom = rows.Value(5).ToString() == QStringLiteral("CD-ROM");
            group.push_back({rows.Value(3).ToLong(), cdrom || rows.Value(4).ToBool(), rows.Value(6).ToBool()});
        }
        closeGroup(group);
    }
    catch (const CDbException& e)
    {
        // What was decided so far is still written.
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelDoc::UnmarkAtLeastOneDuplicate() - rstFile.Open"));
    }

    for (size_t start = 0; start < uncheck.size(); start += kUncheckBatch)
    {
        const size_t end = std::min(uncheck.size(), start + kUncheckBatch);
        m_pPolicy->Run(
            [&] { return QStringLiteral("CMirrowelDoc::UnmarkAtLeastOneDuplicate() : Unmarking FileId(%1)").arg(uncheck[start]); },
            [&] {
                CDbTransaction transaction(db);
                CDbStatement update = db.PrepareSqlite(
                    QStringLiteral("UPDATE \"FileUserSelect\" SET Mark = 0 WHERE FileId = ? AND \"User\" = ?"));
                for (size_t i = start; i < end; ++i)
                {
                    update.Bind(1, uncheck[i]).Bind(2, m_strUserName);
                    update.Execute();
                    update.Reset();
                }
                transaction.Commit();
            });
    }
}

qint32 CMirrowelDoc::QueryIdFromName(const QString& queryName)
{
    if (!IsOpen())
        return 0;
    try
    {
        CDbStatement st = m_pDatabase->Prepare(QStringLiteral("SELECT QueryId FROM Query WHERE QueryName=?"));
        st.Bind(1, queryName);
        return st.Step() ? st.Value(0).ToLong() : 0;
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelDoc::QueryIdFromName()"));
        return 0;
    }
}

bool CMirrowelDoc::RunIntermediateQuery(const QString& storedQuery)
{
    CDbDatabase& db = *m_pDatabase;
    m_pPolicy->SetResourcesExceededAsDiskFull(true);
    const bool done = m_pPolicy->Run(QStringLiteral("CMirrowelDoc::ExecuteQuery() - IntermediateQryDef.Open"), [&] {
        const QString sql = SubstituteUserName(db.OpenQueryDef(storedQuery).Sql(), m_strUserName);
        CDbQueryDef step = db.CreateQueryDef(sql);
        for (const QString& parameter : step.ParameterNames())
            if (parameter.toLower() == QStringLiteral("paramusername"))
                step.SetParameter(QStringLiteral("ParamUserName"), CDbValue(m_strUserName));
        step.Execute();
    });
    m_pPolicy->SetResourcesExceededAsDiskFull(false);
    return done;
}

bool CMirrowelDoc::ExecuteQuery(qint32 queryId)
{
    if (!IsOpen())
        return false;
    CDbDatabase& db = *m_pDatabase;
    CWaitCursorScope wait(m_ui);
    m_ui.SetOperationRunning(true);

    QString queryName;
    QString outputQuery;
    int groupingDepth = 0;
    bool found = false;
    bool abandoned = !m_pPolicy->Run(QStringLiteral("CMirrowelDoc::ExecuteQuery() - QueryRecset.Open"), [&] {
        CDbStatement query = db.Prepare(
            QStringLiteral("SELECT QueryName, OutputQuery, GroupingDepth FROM Query WHERE ((QueryId=?));"));
        query.Bind(1, queryId);
        found = query.Step();
        if (!found)
            return;
        queryName = query.Value(0).ToString();
        outputQuery = query.Value(1).ToString();
        groupingDepth = query.Value(2).ToLong();
    });
    if (!abandoned && !found)
    {
        // A missing row is no passing lock: it is said once rather than retried.
        m_ui.MessageBox(QStringLiteral("No current record."), QStringLiteral("Quarrane"), MsgIcon::Warning,
                        MsgButtons::Ok);
        abandoned = true;
    }

    bool cancelled = false;
    if (!abandoned)
    {
        const QString status = QStringLiteral("Executing query - %1 (Esc to Cancel)...").arg(queryName);
        m_ui.SetStatusText(status);
        struct Entry
        {
            int type;
            QString query;
        };
        std::vector<Entry> entries;
        abandoned = !m_pPolicy->Run(
            QStringLiteral("CMirrowelDoc::ExecuteQuery(\"%1\") - QueryEntryRecset.Open").arg(queryName), [&] {
                entries.clear();
                CDbStatement rows = db.Prepare(QStringLiteral(
                    "SELECT QueryEntry, EntryType, Query FROM QueryEntry WHERE ((QueryId=?)) ORDER BY QueryEntry;"));
                rows.Bind(1, queryId);
                while (rows.Step())
                    entries.push_back({rows.Value(1).ToLong(), rows.Value(2).ToString()});
            });
        if (!entries.empty())
            m_ui.SetProgressRange(0, static_cast<int>(entries.size()));

        for (const Entry& entry : entries)
        {
            if (abandoned)
                break;
            // Esc and painting get their turn between two steps.
            QCoreApplication::processEvents();
            if (!m_ui.IsOperationRunning())
            {
                cancelled = true;
                break;
            }
            if (entry.type == 2)
                abandoned = !RunIntermediateQuery(entry.query);
            else if (entry.type == 3)
            {
                const QString routine = entry.query.section(QLatin1Char('('), 0, 0).trimmed();
                if (routine == QStringLiteral("UncheckOneDuplicateFile"))
                    UnmarkAtLeastOneDuplicate();
                // "DeleteCheckedFiles" is a known routine that does nothing yet; others are skipped.
            }
            m_ui.SetStatusText(status);
            m_ui.StepProgress();
        }
        if (!m_ui.IsOperationRunning())
            cancelled = true;

        if (!cancelled && !abandoned && !outputQuery.isEmpty())
        {
            QString sql;
            abandoned = !m_pPolicy->Run(QStringLiteral("CMirrowelDoc::ExecuteQuery() - IntermediateQryDef.Open"),
                                        [&] { sql = db.OpenQueryDef(outputQuery).Sql(); });
            if (!abandoned && m_pQueryOutput)
                m_pQueryOutput->Show(queryId, queryName, sql,
                                     groupingDepth != 0 ? OrderByClause(sql, m_strUserName) : QString(), groupingDepth);
        }
    }

    m_ui.SetStatusText(QString());
    m_ui.ClearProgress();
    if (!cancelled && !abandoned)
    {
        emit queryFinished(queryId);
        // The other views refresh a moment later, once this one shows its rows.
        QTimer::singleShot(1000, this, [this, queryId] {
            emit statusText(QStringLiteral("Refreshing..."));
            emit updateHint(HINT_QUERY_RUN, queryId);
            emit statusText(QString());
        });
    }
    m_ui.SetOperationRunning(false);
    return !cancelled && !abandoned;
}
