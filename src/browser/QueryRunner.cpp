// Running stored query scripts and keeping one copy of each duplicate.
#include "browser/QueryRunner.h"

#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/QueryOutput.h"
#include "browser/SqlText.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"
#include "database/FileIdentity.h"

#include <QSet>
#include <QTimer>

#include <algorithm>
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
    QString identity; // the physical file of a name with hard links, else empty
};
} // namespace

CQueryRunner::CQueryRunner(CMirrowelDoc& doc, QObject* parent) : QObject(parent), m_doc(doc) {}

void CQueryRunner::UnmarkAtLeastOneDuplicate()
{
    if (m_doc.IsOpen())
        UnmarkAtLeastOneDuplicate(*m_doc.Database(), m_doc.UserName(), m_doc.RetryPolicy());
}

void CQueryRunner::UnmarkAtLeastOneDuplicate(CDbDatabase& db, const QString& userName, CDbRetryPolicy& policy)
{
    std::vector<qint32> uncheck;

    // A group ends: if every copy is checked, spare the ones that cannot or need not go, or else
    // the one with the highest keep priority (the first).
    auto closeGroup = [&](const std::vector<Member>& group)
    {
        if (group.empty() ||
            std::any_of(group.begin(), group.end(), [](const Member& m) { return !m.checked; }))
            return;
        const size_t before = uncheck.size();
        for (const Member& m : group)
            if (m.keep)
                uncheck.push_back(m.fileId);
        if (uncheck.size() == before)
            uncheck.push_back(group.front().fileId);
        // Another name of a file that stays is no spare copy: deleting it frees nothing and
        // takes a name the person made on purpose.
        QSet<QString> kept;
        for (const Member& m : group)
            if (!m.identity.isEmpty() &&
                std::find(uncheck.begin() + before, uncheck.end(), m.fileId) != uncheck.end())
                kept.insert(m.identity);
        for (const Member& m : group)
            if (!m.identity.isEmpty() && kept.contains(m.identity) &&
                std::find(uncheck.begin() + before, uncheck.end(), m.fileId) == uncheck.end())
                uncheck.push_back(m.fileId);
    };

    try
    {
        // The same rows and order as the stored duplicate search shows them; an empty TTH and a
        // Null one are the same key, so they sort as one.
        // Databases made before hard links were recorded have no identities: their files are
        // all distinct, as they always were.
        const bool identities = FileIdentity::HasTable(db);
        CDbStatement rows = db.PrepareSqlite(
            QStringLiteral(
                "SELECT f.FileSizeHigh, f.FileSize, coalesce(f.TTH, ''), f.FileId, f.Ghost, c.DriveType, "
                "s.Mark, %1 "
                "FROM \"File\" f JOIN \"Catalogue\" c ON c.CatalogueId = f.CatalogueId "
                "JOIN \"FileUserSelect\" s ON s.FileId = f.FileId "
                "LEFT JOIN \"RelativePath\" r ON r.RelativePathId = f.RelativePathId %2"
                "WHERE s.\"User\" = ? AND s.QueryMark <> 0 "
                "ORDER BY f.FileSizeHigh, f.FileSize, coalesce(f.TTH, ''), "
                "c.CatalogueKeepPriority + r.KeepPriority DESC, c.Catalogue, r.RelativePath, f.File")
                .arg(identities ? QStringLiteral("i.Identity") : QStringLiteral("NULL"),
                     identities ? QStringLiteral("LEFT JOIN \"FileIdentity\" i ON i.FileId = f.FileId ")
                                : QString()));
        rows.Bind(1, userName);
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
            group.push_back({rows.Value(3).ToLong(), cdrom || rows.Value(4).ToBool(), rows.Value(6).ToBool(),
                             rows.Value(7).IsNull() ? QString() : rows.Value(7).ToString()});
        }
        closeGroup(group);
    }
    catch (const CDbException& e)
    {
        // What was decided so far is still written.
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CMirrowelDoc::UnmarkAtLeastOneDuplicate() - rstFile.Open"));
    }

    for (size_t start = 0; start < uncheck.size(); start += kUncheckBatch)
    {
        const size_t end = std::min(uncheck.size(), start + kUncheckBatch);
        policy.Run(
            [&]
            {
                return QStringLiteral("CMirrowelDoc::UnmarkAtLeastOneDuplicate() : Unmarking FileId(%1)")
                    .arg(uncheck[start]);
            },
            [&]
            {
                CDbTransaction transaction(db);
                CDbStatement update = db.PrepareSqlite(QStringLiteral(
                    "UPDATE \"FileUserSelect\" SET Mark = 0 WHERE FileId = ? AND \"User\" = ?"));
                for (size_t i = start; i < end; ++i)
                {
                    update.Bind(1, uncheck[i]).Bind(2, userName);
                    update.Execute();
                    update.Reset();
                }
                transaction.Commit();
            });
    }
}

qint32 CQueryRunner::QueryIdFromName(const QString& queryName)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT QueryId FROM Query WHERE QueryName=?"), queryName,
                QStringLiteral("CMirrowelDoc::QueryIdFromName()"))
        .ToLong();
}

qint32 CQueryRunner::GetParentQueryGroupFromQueryGroup(qint32 groupId)
{
    return m_doc
        .Lookup(
            QStringLiteral("SELECT QueryGroup.ParentGroupId FROM [QueryGroup] WHERE (QueryGroup.GroupId=?)"),
            groupId, QStringLiteral("CMirrowelDoc::GetParentQueryGroupFromQueryGroup()"))
        .ToLong();
}

namespace
{
bool RunIntermediateQuery(CDbDatabase& db, CDbRetryPolicy& policy, const QString& userName,
                          const QString& storedQuery)
{
    policy.SetResourcesExceededAsDiskFull(true);
    const bool done =
        policy.Run(QStringLiteral("CMirrowelDoc::ExecuteQuery() - IntermediateQryDef.Open"),
                   [&]
                   {
                       const QString sql = SubstituteUserName(db.OpenQueryDef(storedQuery).Sql(), userName);
                       CDbQueryDef step = db.CreateQueryDef(sql);
                       for (const QString& parameter : step.ParameterNames())
                           if (parameter.toLower() == QStringLiteral("paramusername"))
                               step.SetParameter(QStringLiteral("ParamUserName"), CDbValue(userName));
                       step.Execute();
                   });
    policy.SetResourcesExceededAsDiskFull(false);
    return done;
}
} // namespace

bool CQueryRunner::RunScript(CJobContext& job, qint32 queryId, const QString& userName,
                             CQueryRunResult& result)
{
    CDbDatabase& db = job.Database();
    CDbRetryPolicy& policy = job.RetryPolicy();
    CUserInteraction& ui = job.Interaction();
    result = CQueryRunResult{};
    result.lQueryId = queryId;

    QString outputQuery;
    bool found = false;
    if (!policy.Run(QStringLiteral("CMirrowelDoc::ExecuteQuery() - QueryRecset.Open"),
                    [&]
                    {
                        CDbStatement query = db.Prepare(QStringLiteral(
                            "SELECT QueryName, OutputQuery, GroupingDepth FROM Query WHERE ((QueryId=?));"));
                        query.Bind(1, queryId);
                        found = query.Step();
                        if (!found)
                            return;
                        result.strQueryName = query.Value(0).ToString();
                        outputQuery = query.Value(1).ToString();
                        result.nGroupingDepth = query.Value(2).ToLong();
                    }))
        return false;
    if (!found)
    {
        // A missing row is no passing lock: it is said once rather than retried.
        ui.MessageBox(QStringLiteral("No current record."), QStringLiteral("Quarrane"), MsgIcon::Warning,
                      MsgButtons::Ok);
        return false;
    }

    const QString status = QStringLiteral("Executing query - %1 (Esc to Cancel)...").arg(result.strQueryName);
    ui.SetStatusText(status);
    struct Entry
    {
        int type;
        QString query;
    };
    std::vector<Entry> entries;
    if (!policy.Run(QStringLiteral("CMirrowelDoc::ExecuteQuery(\"%1\") - QueryEntryRecset.Open")
                        .arg(result.strQueryName),
                    [&]
                    {
                        entries.clear();
                        CDbStatement rows =
                            db.Prepare(QStringLiteral("SELECT QueryEntry, EntryType, Query FROM QueryEntry "
                                                      "WHERE ((QueryId=?)) ORDER BY QueryEntry;"));
                        rows.Bind(1, queryId);
                        while (rows.Step())
                            entries.push_back({rows.Value(1).ToLong(), rows.Value(2).ToString()});
                    }))
        return false;
    if (!entries.empty())
        ui.SetProgressRange(0, static_cast<int>(entries.size()));

    for (const Entry& entry : entries)
    {
        if (!job.ShouldContinue())
            return false;
        if (entry.type == 2)
        {
            if (!RunIntermediateQuery(db, policy, userName, entry.query))
                return false;
        }
        else if (entry.type == 3)
        {
            const QString routine = entry.query.section(QLatin1Char('('), 0, 0).trimmed();
            if (routine == QStringLiteral("UncheckOneDuplicateFile"))
                UnmarkAtLeastOneDuplicate(db, userName, policy);
            // "DeleteCheckedFiles" is a known routine that does nothing yet; others are skipped.
        }
        ui.SetStatusText(status);
        ui.StepProgress();
    }
    if (!job.ShouldContinue())
        return false;

    if (!outputQuery.isEmpty() &&
        !policy.Run(QStringLiteral("CMirrowelDoc::ExecuteQuery() - IntermediateQryDef.Open"),
                    [&] { result.strOutputSql = db.OpenQueryDef(outputQuery).Sql(); }))
        return false;
    if (result.nGroupingDepth != 0)
        result.strGroupingOrderBy = OrderByClause(result.strOutputSql, userName);
    return true;
}

bool CQueryRunner::StartQuery(qint32 queryId)
{
    if (!m_doc.IsOpen())
        return false;
    auto result = std::make_shared<CQueryRunResult>();
    const QString userName = m_doc.UserName();
    m_doc.Interaction().BeginWaitCursor();
    const bool started = m_doc.Jobs().Start(
        {QStringLiteral("CMirrowelDoc::ExecuteQuery()"), m_doc.Path(), userName, true},
        [queryId, userName, result](CJobContext& job) { return RunScript(job, queryId, userName, *result); },
        [this, result](bool completed)
        {
            m_doc.Interaction().EndWaitCursor();
            Finish(completed, *result);
        });
    if (!started)
        m_doc.Interaction().EndWaitCursor();
    return started;
}

bool CQueryRunner::ExecuteQuery(qint32 queryId)
{
    if (!m_doc.IsOpen() || m_doc.Jobs().IsRunning())
        return false;
    CUserInteraction& ui = m_doc.Interaction();
    CWaitCursorScope wait(ui);
    ui.SetOperationRunning(true);
    CJobContext job(ui, m_doc.Database(), &m_doc.RetryPolicy());
    CQueryRunResult result;
    const bool completed = RunScript(job, queryId, m_doc.UserName(), result);
    ui.SetOperationRunning(false);
    Finish(completed, result);
    return completed;
}

void CQueryRunner::Finish(bool completed, const CQueryRunResult& result)
{
    CUserInteraction& ui = m_doc.Interaction();
    ui.SetStatusText(QString());
    ui.ClearProgress();
    if (!completed)
        return;
    if (!result.strOutputSql.isEmpty() && m_pQueryOutput)
        m_pQueryOutput->Show(result.lQueryId, result.strQueryName, result.strOutputSql,
                             result.strGroupingOrderBy, result.nGroupingDepth);
    const qint32 queryId = result.lQueryId;
    emit queryFinished(queryId);
    // The other views refresh a moment later, once this one shows its rows.
    QTimer::singleShot(1000, this,
                       [this, queryId]
                       {
                           m_doc.ShowStatus(QStringLiteral("Refreshing..."));
                           emit queryRefresh(queryId);
                           m_doc.ShowStatus(QString());
                       });
}
