#include "browser/fileops/DeleteOrGhost.h"

#include "browser/JobRunner.h"
#include "browser/fileops/FileProblems.h"
#include "browser/fileops/FileRecord.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"
#include "platform/SystemErrorCodes.h"

#include <QSet>

#include <algorithm>

namespace
{
struct CModeTexts
{
    QString strStatus;
    QString strCheckHeader;
    QString strCheckQuestion;
    QString strDoHeader;
};

CModeTexts ModeTexts(bool ghost)
{
    if (ghost)
        return {QStringLiteral("Ghosting files (Esc to Cancel)..."),
                QStringLiteral("There may be problems ghosting the following selected files:"),
                QStringLiteral("Attempt to ghost all selected files anyway?"),
                QStringLiteral("There were problems ghosting the following selected files:")};
    return {QStringLiteral("Deleting Files (Esc to Cancel)..."),
            QStringLiteral("There may be problems deleting the following selected files:"),
            QStringLiteral("Attempt to delete all selected files anyway?"),
            QStringLiteral("There were problems deleting the following selected files:")};
}

class CDeleteRun final
{
public:
    CDeleteRun(CJobContext& job, bool ghost, const QString& userName, CFileProblemsPrompt& prompt,
               CFileOpResult& result)
        : m_job(job), m_db(job.Database()), m_bGhost(ghost), m_strUserName(userName), m_prompt(prompt),
          m_result(result), m_texts(ModeTexts(ghost))
    {
    }

    void Run(const std::vector<qint32>& fileIds);

private:
    // One file of a pass; false when it became a problem row.
    bool HandleFile(qint32 fileId, bool doing, CFileProblems& problems);
    // Renames the file to its trial name and back; false with the texts when it cannot be.
    static bool TrialRename(const QString& path, QString& problem, QString& solution);
    // The row's change: true when written. *pMark receives the mark it had (ghosting).
    bool ChangeRecord(const CFileRecord& file, bool* pMark);
    void UndoRecord(const CFileRecord& file, bool mark);
    QString Context(qint32 fileId) const
    {
        return QStringLiteral("CMirrowelView::DeleteOrGhostSelected() Deleting FileId(%1)").arg(fileId);
    }

    CJobContext& m_job;
    CDbDatabase& m_db;
    bool m_bGhost;
    QString m_strUserName;
    CFileProblemsPrompt& m_prompt;
    CFileOpResult& m_result;
    CModeTexts m_texts;
};

void CDeleteRun::Run(const std::vector<qint32>& fileIds)
{
    CUserInteraction& ui = m_job.Interaction();
    ui.SetProgressRange(0, 2 * static_cast<int>(fileIds.size()));
    for (const bool doing : {false, true})
    {
        CFileProblems problems;
        problems.strHeader = doing ? m_texts.strDoHeader : m_texts.strCheckHeader;
        problems.strQuestion = doing ? QString() : m_texts.strCheckQuestion;
        problems.nStyle =
            doing ? CFileProblems::kErrorIcon | CFileProblems::kOkOnly : CFileProblems::kInformationIcon;
        ui.SetStatusText(m_texts.strStatus);
        if (doing)
            m_result.bDoingPassRan = true;
        for (const qint32 fileId : fileIds)
        {
            if (!m_job.ShouldContinue())
                break;
            if (HandleFile(fileId, doing, problems))
            {
                if (doing)
                    m_result.doneFileIds.push_back(fileId);
            }
            else if (doing && m_result.lFailedFileId == 0)
                m_result.lFailedFileId = fileId;
            ui.StepProgress();
            ui.SetStatusText(m_texts.strStatus);
        }
        if (!m_job.ShouldContinue())
        {
            m_result.bStopped = true;
            break;
        }
        if (problems.RowCount() == 0)
            continue;
        // A doing pass only reports; there is no re-attempt.
        if (m_prompt.Ask(problems) != CFileProblems::kGoOn)
        {
            m_result.bStopped = !doing;
            break;
        }
    }
    ui.ClearProgress();
    ui.SetStatusText(QString());
}

bool CDeleteRun::HandleFile(qint32 fileId, bool doing, CFileProblems& problems)
{
    std::optional<CFileRecord> file;
    try
    {
        file = ReadFileRecord(m_db, fileId);
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::DeleteOrGhostSelected() - RecSets Open"));
        problems.AddRow(QStringLiteral("FileId %1").arg(fileId), e.m_strDescription, QString());
        return false;
    }
    if (!file)
        return true; // gone meanwhile: nothing left to remove
    QString path = file->Path();
    // A ghost or a deleted file has no physical file: only its row changes.
    const bool physical = !file->bGhost && !file->bDeleted;
    if (physical)
    {
        QString problem;
        QString solution;
        if (LocateMedia(path, file->lVolumeSerial, file->strVolume, 0, &problem, &solution, false) != 0)
        {
            problems.AddRow(path, problem, solution);
            return false;
        }
        if (!TrialRename(path, problem, solution))
        {
            problems.AddRow(path, problem, solution);
            return false;
        }
    }
    if (!doing)
        return true;

    bool mark = false;
    if (!ChangeRecord(*file, &mark))
    {
        problems.AddRow(path, QStringLiteral("The catalogue could not be updated"),
                        QStringLiteral("The file was left where it was"));
        return false;
    }
    if (!physical)
        return true;
    QString problem;
    QString solution;
    if (RemoveFile(path, &problem, &solution, false) != 0)
    {
        problems.AddRow(path, problem, solution);
        UndoRecord(*file, mark);
        return false;
    }
    return true;
}

bool CDeleteRun::TrialRename(const QString& path, QString& problem, QString& solution)
{
    if (FindAttributes(path) == 0)
    {
        problem = SystemErrorText(SystemError::FileNotFound, true);
        solution.clear();
        return false;
    }
    const QString trial = TrialRenamePath(path);
    if (MoveFileTo(path, trial, MOVE_DEST_FILE, &problem, &solution) != 0)
        return false;
    if (MoveFileTo(trial, path, MOVE_DEST_FILE, &problem, &solution) != 0)
    {
        // The file stays under its trial name, where the person is told to look for it.
        problem = QStringLiteral("%1 (the file is now %2)").arg(problem, trial);
        return false;
    }
    return true;
}

bool CDeleteRun::ChangeRecord(const CFileRecord& file, bool* pMark)
{
    CDbRetryPolicy& policy = m_job.RetryPolicy();
    if (!m_bGhost)
        return policy.Run(Context(file.lFileId),
                          [&] {
                              m_db.Execute(QStringLiteral("UPDATE [File] SET Deleted=TRUE WHERE FileId=?"),
                                           {file.lFileId});
                          });
    return policy.Run(
        QStringLiteral("CMirrowelView::DeleteOrGhostSelected() Unmarking FileId(%1)").arg(file.lFileId),
        [&]
        {
            CDbTransaction transaction(m_db);
            m_db.Execute(QStringLiteral("UPDATE [File] SET Ghost=TRUE, Deleted=FALSE WHERE FileId=?"),
                         {file.lFileId});
            *pMark = FileMark(m_db, file.lFileId, m_strUserName);
            if (*pMark)
                SetFileMark(m_db, file.lFileId, m_strUserName, false);
            transaction.Commit();
        });
}

void CDeleteRun::UndoRecord(const CFileRecord& file, bool mark)
{
    m_job.RetryPolicy().Run(
        Context(file.lFileId),
        [&]
        {
            CDbTransaction transaction(m_db);
            if (!m_bGhost)
                m_db.Execute(QStringLiteral("UPDATE [File] SET Deleted=FALSE WHERE FileId=?"),
                             {file.lFileId});
            else
            {
                m_db.Execute(QStringLiteral("UPDATE [File] SET Ghost=FALSE WHERE FileId=?"), {file.lFileId});
                if (mark)
                    SetFileMark(m_db, file.lFileId, m_strUserName, true);
            }
            transaction.Commit();
        });
}
} // namespace

bool RunDeleteOrGhost(CJobContext& job, const std::vector<qint32>& fileIds, bool ghost,
                      const QString& userName, CFileProblemsPrompt& prompt, CFileOpResult& result)
{
    result = CFileOpResult{};
    CDeleteRun run(job, ghost, userName, prompt, result);
    run.Run(fileIds);
    return true;
}

QString TrialRenamePath(const QString& path)
{
    const FilePath file(path);
    const QString stem = FilePath(file.Parent()).Appended(file.Title()).Text();
    QString trial = stem + QStringLiteral("._qr");
    for (int n = 1; FindAttributes(trial) != 0; ++n)
        trial = QStringLiteral("%1~%2._qr").arg(stem).arg(n);
    return trial;
}

CEveryCopyCheck FindFilesLosingEveryCopy(CDbDatabase& db, const std::vector<qint32>& fileIds)
{
    CEveryCopyCheck check;
    const QSet<qint32> removing(fileIds.begin(), fileIds.end());
    struct CKey
    {
        qint32 high;
        qint32 low;
        QString tth;
        bool operator==(const CKey& o) const { return high == o.high && low == o.low && tth == o.tth; }
    };
    std::vector<CKey> keys;
    CDbStatement file = db.PrepareSqlite(QStringLiteral(
        "SELECT FileSizeHigh, FileSize, TTH FROM \"File\" WHERE FileId = ? AND Deleted = 0 AND Ghost = 0 "
        "AND coalesce(TTH, '') <> ''"));
    for (const qint32 id : fileIds)
    {
        file.Bind(1, id);
        if (file.Step())
        {
            CKey key{file.Value(0).ToLong(), file.Value(1).ToLong(), file.Value(2).ToString()};
            if (std::find(keys.begin(), keys.end(), key) == keys.end())
                keys.push_back(key);
        }
        file.Reset();
    }
    // The keep order of the duplicate search: what cannot be deleted first, then the highest
    // keep priority.
    CDbStatement copies = db.PrepareSqlite(QStringLiteral(
        "SELECT f.FileId FROM \"File\" f JOIN \"Catalogue\" c ON c.CatalogueId = f.CatalogueId "
        "LEFT JOIN \"RelativePath\" r ON r.RelativePathId = f.RelativePathId "
        "WHERE f.TTH = ? AND f.FileSize = ? AND f.FileSizeHigh = ? AND f.Deleted = 0 AND f.Ghost = 0 "
        "ORDER BY c.DriveType = 'CD-ROM' DESC, c.CatalogueKeepPriority + coalesce(r.KeepPriority, 0) DESC, "
        "c.Catalogue, r.RelativePath, f.File, f.FileId"));
    for (const CKey& key : keys)
    {
        copies.Bind(1, key.tth).Bind(2, key.low).Bind(3, key.high);
        std::vector<qint32> group;
        bool allRemoved = true;
        while (copies.Step())
        {
            const qint32 id = copies.Value(0).ToLong();
            group.push_back(id);
            allRemoved = allRemoved && removing.contains(id);
        }
        copies.Reset();
        if (group.size() >= 2 && allRemoved)
        {
            ++check.nContents;
            check.keepFileIds.push_back(group.front());
        }
    }
    return check;
}

QString DeleteConfirmationText(bool ghost)
{
    return ghost ? QStringLiteral("Are you sure that you wish to ghost the selected files?\n\nNote that this "
                                  "cannot be undone.")
                 : QStringLiteral("Are you sure that you wish to delete the selected files?\n\nNote that "
                                  "this cannot be undone.");
}

QString DeleteConfirmationCaption(bool ghost)
{
    return ghost ? QStringLiteral("Confirm Ghost Selected Files")
                 : QStringLiteral("Confirm Delete Selected Files");
}

EDeleteConfirmation ConfirmDeleteOrGhost(CUserInteraction& ui, bool ghost, const CEveryCopyCheck& check)
{
    if (check.nContents == 0)
        return ui.MessageBox(DeleteConfirmationText(ghost), DeleteConfirmationCaption(ghost),
                             MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes
                   ? EDeleteConfirmation::All
                   : EDeleteConfirmation::Cancel;
    const QString verb = ghost ? QStringLiteral("ghost") : QStringLiteral("delete");
    const QString text = DeleteConfirmationText(ghost) +
                         QStringLiteral("\n\n%1 files would lose every copy.\n\n"
                                        "Yes: keep one copy of each of them.\nNo: %2 all selected files.\n"
                                        "Cancel: %2 nothing.")
                             .arg(check.nContents)
                             .arg(verb);
    switch (ui.MessageBox(text, DeleteConfirmationCaption(ghost), MsgIcon::Question, MsgButtons::YesNoCancel))
    {
    case MsgAnswer::Yes:
        return EDeleteConfirmation::KeepOneCopy;
    case MsgAnswer::No:
        return EDeleteConfirmation::All;
    default:
        return EDeleteConfirmation::Cancel;
    }
}

std::vector<qint32> WithoutKeptCopies(const std::vector<qint32>& fileIds, const std::vector<qint32>& keep)
{
    const QSet<qint32> kept(keep.begin(), keep.end());
    std::vector<qint32> result;
    for (const qint32 id : fileIds)
        if (!kept.contains(id))
            result.push_back(id);
    return result;
}

int RowToFocusAfterDeleteOrGhost(const std::vector<int>& selectedRows, int rowCount, int focusedRow,
                                 bool ghost)
{
    if (selectedRows.empty())
        return focusedRow;
    const int first = *std::min_element(selectedRows.begin(), selectedRows.end());
    if (!ghost)
    {
        const QSet<int> selected(selectedRows.begin(), selectedRows.end());
        for (int row = first + 1; row < rowCount; ++row)
            if (!selected.contains(row))
                return row;
    }
    return first > 0 ? first - 1 : 0;
}
