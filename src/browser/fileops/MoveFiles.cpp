#include "browser/fileops/MoveFiles.h"

#include "browser/JobRunner.h"
#include "browser/fileops/FileProblems.h"
#include "browser/fileops/FileRecord.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "platform/VolumeTable.h"

namespace
{
struct CTarget
{
    qint32 lCatalogueId = 0;
    QString strLocation; // where the medium is now
    bool bCaseSensitive = true;
};

struct CPassTexts
{
    QString strStatus;
    QString strCheckHeader;
    QString strCheckQuestion;
    QString strDoHeader;
    QString strDoQuestion;
};

CPassTexts PassTexts(bool copy)
{
    if (copy)
        return {QStringLiteral("Copying files (Esc to Cancel)..."),
                QStringLiteral("There may be problems copying the following selected files:"),
                QStringLiteral("Attempt to copy all selected files anyway?"),
                QStringLiteral("There were problems copying the following selected files:"),
                QStringLiteral("Re-attempt to copy these selected files?")};
    return {QStringLiteral("Moving files (Esc to Cancel)..."),
            QStringLiteral("There may be problems moving the following selected files:"),
            QStringLiteral("Attempt to move all selected files anyway?"),
            QStringLiteral("There were problems moving the following selected files:"),
            QStringLiteral("Re-attempt to move these selected files?")};
}

// Reads the target catalogue and finds its medium; false (the person told) when it is missing.
bool PrepareTarget(CJobContext& job, const CMoveFilesRequest& request, CTarget& target)
{
    CDbDatabase& db = job.Database();
    QString volume;
    QString driveType;
    qint32 serial = 0;
    bool found = false;
    if (!job.RetryPolicy().Run(
            QStringLiteral("CMirrowelDoc::MoveFilesTo() - CatalogueDestinationRecSet.Open"),
            [&]
            {
                CDbStatement st =
                    db.Prepare(QStringLiteral("SELECT Catalogue.CatalogueId, Catalogue.Volume, "
                                              "Catalogue.VolumeSerial, Catalogue.Location, "
                                              "Catalogue.DriveType FROM Catalogue WHERE CatalogueId=?"));
                st.Bind(1, request.lCatalogueId);
                found = st.Step();
                if (!found)
                    return;
                volume = st.Value(1).ToString();
                serial = st.Value(2).ToLong();
                target.strLocation = st.Value(3).ToString();
                driveType = st.Value(4).ToString();
            }))
        return false;
    if (!found)
        return false;
    target.lCatalogueId = request.lCatalogueId;
    // A fixed or network location that was removed is made again; other media are not ours to
    // make folders on before they are found.
    if (driveType == QStringLiteral("Fixed") || driveType == QStringLiteral("Network"))
        CreateFolderPath(target.strLocation, nullptr, nullptr);
    QString problem;
    QString solution;
    if (LocateMedia(target.strLocation, serial, volume, 0, &problem, &solution, true) != 0)
    {
        job.Interaction().MessageBox(solution, problem, MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    const std::optional<CVolume> medium = ProcessVolumeTable().VolumeOf(target.strLocation);
    target.bCaseSensitive = !medium || medium->IsCaseSensitive();
    return true;
}

class CMoveRun final
{
public:
    CMoveRun(CJobContext& job, const CMoveFilesRequest& request, CFileProblemsPrompt& prompt,
             CFileOpResult& result)
        : m_job(job), m_db(job.Database()), m_request(request), m_prompt(prompt), m_result(result),
          m_texts(PassTexts(request.bCopy)), m_ids(request.fileIds)
    {
    }

    bool Run();

private:
    // One file of a pass; false when it became a problem row.
    bool HandleFile(qint32 fileId, bool doing, CFileProblems& problems);
    // The physical step of a doing pass; false with the texts when it failed.
    bool DoPhysical(const QString& source, const QString& destinationFolder, QString& problem,
                    QString& solution);
    // The rows after a successful physical step (or for a ghost); false when they could not be
    // written.
    bool UpdateRecords(const CFileRecord& file, qint32 destinationFolderId, const QString& destinationPath);
    // The physical step taken back after its rows could not be written.
    void UndoPhysical(const QString& source, const QString& destinationPath);

    CJobContext& m_job;
    CDbDatabase& m_db;
    const CMoveFilesRequest& m_request;
    CFileProblemsPrompt& m_prompt;
    CFileOpResult& m_result;
    CPassTexts m_texts;
    std::vector<qint32> m_ids; // -1 once done
    CTarget m_target;
};

bool CMoveRun::Run()
{
    if (!PrepareTarget(m_job, m_request, m_target))
        return false;
    CUserInteraction& ui = m_job.Interaction();
    ui.SetProgressRange(0, 2 * static_cast<int>(m_ids.size()));
    bool doing = false;
    for (;;)
    {
        CFileProblems problems;
        problems.strHeader = doing ? m_texts.strDoHeader : m_texts.strCheckHeader;
        problems.strQuestion = doing ? m_texts.strDoQuestion : m_texts.strCheckQuestion;
        ui.SetStatusText(m_texts.strStatus);
        if (doing)
            m_result.bDoingPassRan = true;
        for (qint32& id : m_ids)
        {
            if (!m_job.ShouldContinue())
                break;
            if (id == -1)
                continue;
            const qint32 fileId = id;
            if (HandleFile(fileId, doing, problems) && doing)
            {
                id = -1;
                m_result.doneFileIds.push_back(fileId);
            }
            else if (doing && m_result.lFailedFileId == 0)
                m_result.lFailedFileId = fileId;
            ui.StepProgress();
            ui.SetStatusText(m_texts.strStatus);
        }
        problems.nStyle = doing ? CFileProblems::kErrorIcon : CFileProblems::kWarningIcon;
        if (!m_job.ShouldContinue())
        {
            m_result.bStopped = true;
            break;
        }
        if (problems.RowCount() == 0)
        {
            if (doing)
                break;
            doing = true;
            continue;
        }
        if (m_prompt.Ask(problems) != CFileProblems::kGoOn)
        {
            m_result.bStopped = true;
            break;
        }
        doing = true;
    }
    ui.ClearProgress();
    ui.SetStatusText(QString());
    return true;
}

bool CMoveRun::HandleFile(qint32 fileId, bool doing, CFileProblems& problems)
{
    std::optional<CFileRecord> file;
    std::optional<QString> folderText;
    qint32 destinationFolderId = 0;
    try
    {
        file = ReadFileRecord(m_db, fileId);
        if (!file)
            return true; // gone meanwhile: nothing left to move
        const qint32 folderId = m_request.bKeepFolders ? file->lRelativePathId : m_request.lRelativePathId;
        folderText = RelativePathText(m_db, folderId);
        if (!folderText)
        {
            problems.AddRow(file->Path(), QStringLiteral("The destination folder is not in the catalogue"),
                            QString());
            return false;
        }
        destinationFolderId = folderId;
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CMirrowelDoc::MoveFilesTo() - FileRecSet.Seek(%1)").arg(fileId));
        problems.AddRow(QStringLiteral("FileId %1").arg(fileId), e.m_strDescription, QString());
        return false;
    }

    QString source = file->Path();
    const QString destinationFolder = CatalogueFilePath(m_target.strLocation, *folderText);
    const QString destinationPath = FilePath(destinationFolder).Appended(file->strFile).Text();
    if (!file->bGhost)
    {
        QString problem;
        QString solution;
        if (LocateMedia(source, file->lVolumeSerial, file->strVolume, 0, &problem, &solution, false) != 0)
        {
            problems.AddRow(source, problem, solution);
            return false;
        }
        if (!doing)
        {
            if (CheckMoveCopy(source, destinationFolder, &problem, &solution, m_request.bCopy) == 0)
            {
                problems.AddRow(source, problem, solution);
                return false;
            }
            return true;
        }
        if (!DoPhysical(source, destinationFolder, problem, solution))
        {
            problems.AddRow(source, problem, solution);
            return false;
        }
    }
    else if (!doing)
        return true;

    if (!UpdateRecords(*file, destinationFolderId, file->bGhost ? QString() : destinationPath))
    {
        if (!file->bGhost)
            UndoPhysical(source, destinationPath);
        problems.AddRow(source, QStringLiteral("The catalogue could not be updated"),
                        QStringLiteral("The file was left where it was"));
        return false;
    }
    return true;
}

bool CMoveRun::DoPhysical(const QString& source, const QString& destinationFolder, QString& problem,
                          QString& solution)
{
    if (m_request.bCopy)
        return CopyFileTo(source, destinationFolder, MOVE_DEST_FOLDER, &problem, &solution) == 0;
    if (MoveFileTo(source, destinationFolder, MOVE_DEST_FOLDER, &problem, &solution) == 0)
        return true;
    // A move that failed halfway must not leave the file at the destination while its row
    // still names the source.
    const QString landed = FilePath(destinationFolder).Appended(FilePath(source).FileName()).Text();
    if (FindAttributes(source) == 0 && FindAttributes(landed) != 0)
        MoveFileTo(landed, source, MOVE_DEST_FILE, nullptr, nullptr);
    return false;
}

void CMoveRun::UndoPhysical(const QString& source, const QString& destinationPath)
{
    if (m_request.bCopy)
        RemoveFile(destinationPath, nullptr, nullptr);
    else
        MoveFileTo(destinationPath, source, MOVE_DEST_FILE, nullptr, nullptr);
}

bool CMoveRun::UpdateRecords(const CFileRecord& file, qint32 destinationFolderId,
                             const QString& destinationPath)
{
    CDbRetryPolicy& policy = m_job.RetryPolicy();
    const QString name = file.strFile;
    qint32 similarityId = file.lSimilarityId;
    qint32 newFileId = 0;
    if (m_request.bCopy)
    {
        // The copy and its source are similar files: later edits of one are offered to the other.
        if (similarityId == 0)
        {
            similarityId = GetNewRecSetId(m_db, QStringLiteral("File_SimilarityId"), policy);
            if (similarityId <= 0)
                return false;
        }
        newFileId = GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy);
        if (newFileId <= 0)
            return false;
    }
    const unsigned attributes = destinationPath.isEmpty() ? 0 : FindAttributes(destinationPath);
    const QString letters = AttributeLetters(attributes);

    return policy.Run(
        QStringLiteral("CMirrowelDoc::MoveFilesTo() : Overwriting File(%1)").arg(name),
        [&]
        {
            CDbTransaction transaction(m_db);
            // The file that was at the destination has just been replaced. A ghost has no file to
            // replace anything with: the files there stay as they are.
            if (!file.bGhost)
            {
                CDbStatement overwritten = m_db.PrepareSqlite(
                    m_target.bCaseSensitive
                        ? QStringLiteral(
                              "UPDATE \"File\" SET Deleted = 1 WHERE CatalogueId = ? AND RelativePathId = ? "
                              "AND File = ? COLLATE BINARY AND FileId <> ?")
                        : QStringLiteral(
                              "UPDATE \"File\" SET Deleted = 1 WHERE CatalogueId = ? AND RelativePathId = ? "
                              "AND File = ? AND FileId <> ?"));
                overwritten.Bind(1, m_target.lCatalogueId)
                    .Bind(2, destinationFolderId)
                    .Bind(3, name)
                    .Bind(4, file.lFileId);
                overwritten.Execute();
            }
            if (!m_request.bCopy)
            {
                CDbStatement move = m_db.PrepareSqlite(QStringLiteral(
                    "UPDATE \"File\" SET CatalogueId = ?, RelativePathId = ? WHERE FileId = ?"));
                move.Bind(1, m_target.lCatalogueId).Bind(2, destinationFolderId).Bind(3, file.lFileId);
                move.Execute();
                transaction.Commit();
                return;
            }
            if (similarityId != file.lSimilarityId)
            {
                CDbStatement similar = m_db.PrepareSqlite(
                    QStringLiteral("UPDATE \"File\" SET SimilarityId = ? WHERE FileId = ?"));
                similar.Bind(1, similarityId).Bind(2, file.lFileId);
                similar.Execute();
            }
            const bool noInfo = file.fileInfoId.IsNull() || file.fileInfoId.ToLong() == 0;
            auto nullWhenEmpty = [](const CDbValue& v)
            { return v.IsNull() || v.ToString().isEmpty() ? CDbValue::Null() : v; };
            const QString extension = FilePath(name).Extension();
            CDbStatement add = m_db.PrepareSqlite(QStringLiteral(
                "INSERT INTO \"File\" (CatalogueId, RelativePathId, FileId, FileInfoId, SimilarityId, File, "
                "AlternateFile, FileSize, FileSizeHigh, FileSizeDouble, Attributes, New, Deleted, Ghost, "
                "TTH, "
                "Extension) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?)"));
            add.Bind(1, m_target.lCatalogueId)
                .Bind(2, destinationFolderId)
                .Bind(3, newFileId)
                .Bind(4, noInfo ? CDbValue::Null() : file.fileInfoId)
                .Bind(5, similarityId)
                .Bind(6, name)
                .Bind(7, nullWhenEmpty(file.alternateFile))
                .Bind(8, file.fileSize)
                .Bind(9, file.fileSizeHigh)
                .Bind(10, file.fileSizeDouble)
                .Bind(11, letters.isEmpty() ? CDbValue::Null() : CDbValue(letters))
                .Bind(12, file.bDeleted)
                .Bind(13, file.bGhost)
                .Bind(14, nullWhenEmpty(file.tth))
                .Bind(15, extension.isEmpty() ? CDbValue::Null() : CDbValue(extension));
            add.Execute();
            transaction.Commit();
        });
}
} // namespace

bool RunMoveFilesTo(CJobContext& job, const CMoveFilesRequest& request, CFileProblemsPrompt& prompt,
                    CFileOpResult& result)
{
    result = CFileOpResult{};
    CMoveRun run(job, request, prompt, result);
    return run.Run();
}
