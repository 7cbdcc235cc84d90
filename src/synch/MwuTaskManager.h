#pragma once

#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "synch/MwuTaskList.h"

#include <atomic>
#include <functional>

class CDbException;
struct CMwuContext;
struct CMwuRequest;

// One task of a request against one catalogue of one database. Manage() opens and version-checks
// the database, finds the catalogue and its medium, lets the subclass split the work into folder
// groups (task rows), counts it for the progress display and runs it group by group. The base also
// holds the database services the tasks share and the engine retry rules they all run under.
class CMwuTaskManager
{
public:
    // Results, and the answers the retry rules keep.
    enum : int
    {
        ResultFileNotFound = 2,
        // Some files or folders were left out (each named in the log); everything else was done.
        ResultSkipped = 3,
        ResultReadError = 30,
        // The disk filled and the person gave up.
        ResultDiskFull = 112,
        // The person cancelled, or the program closed, before the task was done.
        ResultCancelled = 1223,
        // The database could not be used: another version, not a catalogue, damaged, or a
        // step that failed for good.
        ResultDatabaseFailure = 4313,
        ResultVersionMismatch = ResultDatabaseFailure,
        IDCANCEL = 2,
        IDRETRY = 4,
    };

    CMwuTaskManager(TaskKind kind, CMwuRequest& request, CMwuContext& context);
    virtual ~CMwuTaskManager();
    CMwuTaskManager(const CMwuTaskManager&) = delete;
    CMwuTaskManager& operator=(const CMwuTaskManager&) = delete;

    // Runs the whole task; 0 on success, else the first non-zero result (2, 30, 112, 1223, 4313),
    // or 3 when nothing worse happened but some entries were skipped. A task that did not run to
    // its end never reports 0.
    virtual int Manage();

    // Set when the database cannot be used: the request runs no further task.
    bool IsStopped() const { return m_bStop.load(); }
    // Closing cancels: the task finishes its current file and ends.
    void Cancel() { m_bCancel = true; }
    bool IsCancelled() const { return m_bCancel.load(); }
    TaskKind Kind() const { return m_kind; }

    // Database services; the database must be open (they run inside Manage).
    // The Value of a Parameter row, "" when there is none.
    QString GetDatabaseParameter(const QString& name);
    // A new identifier for an identifier name ("File_FileId" ...): 1 the first time, then one more
    // than the last one handed out; -1 when it could not be had.
    qint32 GetNewRecSetId(const QString& name);
    // "File INDEXED BY index" on a file, where the engine must be told the index to take; "File" on
    // a server, whose planner chooses by its statistics and has no such clause.
    QString FileIndexedBy(const QString& index) const;
    // The identifier of a folder text (0 for the location itself), its row made when missing.
    // Folder texts are matched exactly: on a case-sensitive medium "Films" and "films" differ.
    qint32 GetRelativePathRecSetId(const QString& relativePath);
    // Attaches an error note to a file's FileInfo (made for it alone when it has none or shares
    // one with other files).
    void SetFileRecSetError(qint32 fileId, const QString& message);

    CDbDatabase& Database() { return m_database; }

protected:
    // The first row of this task in the task list (single or top), with its group rows after it;
    // null when there is nothing to do.
    virtual CMwuTaskList::Row CreateTaskTop() = 0;
    // Sets the current row's progress maximum (adding it to a top row's).
    virtual void SetProgressMaxTaskCurrent() = 0;
    virtual void ProcessGroupTaskSetup() {}
    virtual void ProcessGroupTaskCurrentSetup() {}
    virtual void ProcessGroupTaskCurrent() = 0;
    virtual void ProcessGroupCleanup() {}
    virtual void ProcessTaskCleanup() {}

    // The catalogue's row in the task list and its medium: the top row, appended, or null when the
    // catalogue does not exist. bMediaMissing tells whether the medium could not be found.
    CMwuTaskList::Row CreateTaskTopBase(bool& bMediaMissing);
    // The CreateTaskTop of the tasks that work on files already catalogued: one group per folder
    // that holds files of the catalogue.
    CMwuTaskList::Row AddTaskGroupFromFileRecords();

    void SetProgressMax(const CMwuTaskList::Row& first);
    // The live records (neither deleted nor ghosts) of one folder of a catalogue, bound and ready
    // to step: SELECT columns ... orderBy.
    CDbStatement SelectLiveFiles(const QString& columns, qint32 catalogueId, qint32 relativePathId,
                                 const QString& orderBy = QString());
    // The SetProgressMaxTaskCurrent of the tasks that work on catalogued files: the current row's
    // maximum is the number of live files of its folder (added to a top row's).
    void SetProgressMaxFromLiveFiles(const QString& context);
    void ProcessGroupTask(const CMwuTaskList::Row& first);

    // Runs op under the synchronizer's retry rules. reopen handles the errors that need the
    // database opened again (3011, 3043, 3078); without it they pass on to the enclosing level.
    // False when the person cancelled (the retry answer or the cancel flag says which), or when an
    // earlier cancel already stands.
    bool RunWithRetry(const QString& context, const std::function<void()>& op,
                      const std::function<void()>& reopen = {});
    // Closes and reopens the database after the retry wait; true when it is open again.
    bool ReopenDatabase();

    // Before each file: waits while the program is paused; false when the task is cancelled.
    bool WaitForRun();
    // The catalogue's rows as this task manager sees them.
    CMwuTaskList& Tasks();
    void ModifyCurrent(const std::function<void(CMwuTask&)>& change);
    CMwuTask Current() const;
    CMwuTask Top() const;
    // Sets the result unless an earlier one is already set; a skipped entry gives way to any
    // other result, which says more about the run.
    void SetResult(int result);
    // An entry of the medium left out of the run: "<message>: <path>" goes to the log (and to
    // stderr when nobody watches) and the result says that something was skipped, unless it
    // already says worse.
    void NoteSkipped(const QString& message, const QString& path);

    TaskKind m_kind;
    CMwuRequest& m_request;
    CMwuContext& m_context;
    CDbDatabase m_database;
    CMwuTaskList::Row m_pTop;
    CMwuTaskList::Row m_pCurrent;
    QString m_strCurrentPath;
    int m_nResult = 0;
    int m_nFileError = 0;
    CMwuTaskError m_fileErrorEntry;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bCancel{false};
    int m_nRetryAnswer = IDRETRY;
    bool m_bAnswered = false;
    // The person gave up on a full disk.
    bool m_bDiskFullCancelled = false;

private:
    // The rules every database operation of the task runs under; its answers land in
    // m_nRetryAnswer, m_bAnswered and m_bCancel.
    static CDbRetryPolicy::SRules RetryRules(CMwuTaskManager& manager);

    CDbRetryPolicy m_retryPolicy;

    bool OpenDatabase();
    // The result of a run that stopped early without a result of its own.
    void SetResultOfEarlyEnd();
};
