#pragma once

#include <QObject>
#include <QString>

class CDbDatabase;
class CDbRetryPolicy;
class CJobContext;
class CMirrowelDoc;
class CQueryOutput;

// What a query script hands to the file list once it has run.
struct CQueryRunResult
{
    qint32 lQueryId = 0;
    QString strQueryName;
    QString strOutputSql;       // empty: the script has no output query
    QString strGroupingOrderBy; // empty: the output is not grouped
    int nGroupingDepth = 0;
};

// Runs the scripts of the Query table for the current user: their steps in order (stored action
// queries, the duplicate routine) with progress, Esc between steps and the retry rules, then
// hands the output query to the query output.
class CQueryRunner final : public QObject
{
    Q_OBJECT

public:
    explicit CQueryRunner(CMirrowelDoc& doc, QObject* parent = nullptr);

    void SetQueryOutput(CQueryOutput* output) { m_pQueryOutput = output; }

    // Runs the script as a job, off the window's thread; the output shows once it has ended.
    // False when it could not start (no database, or another job runs).
    bool StartQuery(qint32 queryId);
    // Runs the script here and now on the document's connection (scripts and tests). False when
    // the run was cancelled or given up.
    bool ExecuteQuery(qint32 queryId);

    // The QueryId of a query name (without regard to case), 0 when there is none.
    qint32 QueryIdFromName(const QString& queryName);
    qint32 GetParentQueryGroupFromQueryGroup(qint32 groupId);

    // The script itself, on the connection of job (any thread). False when the run was
    // cancelled or given up; result is filled for the output.
    static bool RunScript(CJobContext& job, qint32 queryId, const QString& userName, CQueryRunResult& result);

    // In every group of identical files (size and TTH) among the user's query-marked files whose
    // copies are all checked, unchecks those on CD-ROMs and ghosts, or else the copy with the
    // highest keep priority, so that one copy of each file survives a delete.
    static void UnmarkAtLeastOneDuplicate(CDbDatabase& db, const QString& userName, CDbRetryPolicy& policy);
    void UnmarkAtLeastOneDuplicate();

signals:
    // A query run ended without being cancelled (the main window flashes).
    void queryFinished(qint32 queryId);
    // A moment after a run, for the views other than the one showing its rows.
    void queryRefresh(qint32 queryId);

private:
    void Finish(bool completed, const CQueryRunResult& result);

    CMirrowelDoc& m_doc;
    CQueryOutput* m_pQueryOutput = nullptr;
};
