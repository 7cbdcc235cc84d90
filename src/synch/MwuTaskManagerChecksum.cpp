#include "synch/MwuTaskManagerChecksum.h"

#include "common/DbException.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "database/DbErrorCodes.h"
#include "database/DbTransaction.h"
#include "hash/TthHashService.h"
#include "platform/FileSystem.h"
#include "synch/MwuAlternateFile.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"

namespace
{
const QString kReadError = QStringLiteral("Error reading from file");
const QString kContext = QStringLiteral("CMwuTaskManagerChecksum::ProcessGroupTaskCurrent()");

// A record with the same contents: same TTH (found through its index), same size halves.
struct Duplicate
{
    qint32 fileId;
    QString name;
    qint32 fileInfoId;
    qint32 similarityId;
    bool live;
};
} // namespace

CMwuTaskManagerChecksum::CMwuTaskManagerChecksum(CMwuRequest& request, CMwuContext& context,
                                                 const CTthHashService& hashService)
    : CMwuTaskManager(TaskKindUpdateTTH, request, context), m_hashService(hashService)
{
}

std::vector<CMwuTaskManagerChecksum::GroupFile> CMwuTaskManagerChecksum::ReadGroup()
{
    // By folder row: folder texts compare without regard to case, and on a case-sensitive medium
    // "Films" and "films" are two folders. In FileId order, the order the files were catalogued.
    const CMwuTask current = Current();
    CDbStatement files = SelectLiveFiles(QStringLiteral("FileId, File, TTH, LastModified"), current.m_lCatalogueId,
                                         current.m_lRelativePathId, QStringLiteral("FileId"));
    std::vector<GroupFile> group;
    while (files.Step())
        group.push_back({files.Value(0).ToLong(), files.Value(1).ToString(), files.Value(2).ToString(),
                         files.Value(3).IsNull() ? QString() : files.Value(3).ToString()});
    return group;
}

void CMwuTaskManagerChecksum::SetProgressMaxTaskCurrent()
{
    SetProgressMaxFromLiveFiles(QStringLiteral("CMwuTaskManagerChecksum::SetProgressMaxTaskCurrent()"));
}

void CMwuTaskManagerChecksum::ProcessGroupTaskCurrentSetup()
{
    ProcessGroupCleanup();
    RunWithRetry(QStringLiteral("CMwuTaskManager::ProcessGroupTaskCurrentSetup()"), [&] { m_group = ReadGroup(); });
}

void CMwuTaskManagerChecksum::ProcessGroupCleanup()
{
    m_group.clear();
}

void CMwuTaskManagerChecksum::ProcessGroupTaskCurrent()
{
    const CMwuTask current = Current();
    const bool single = current.m_position == TaskPositionSingle;
    const SynchCommandLine& options = m_request.m_line;
    const bool removeDuplicates = options.ghostDuplicates || options.deleteDuplicates;
    // Nothing can be removed from a CD or DVD.
    const bool mayRemove = removeDuplicates && current.m_strDriveType != QStringLiteral("CD-ROM");

    for (const GroupFile& file : m_group)
    {
        if (!WaitForRun() || m_nRetryAnswer != IDRETRY)
            break;
        m_nFileError = 0;
        m_strCurrentPath = CatalogueFilePath(current.m_strLocation, current.m_strRelativePath, file.name);

        CFileStatus status;
        if (QueryFileStatus(m_strCurrentPath, status) != 0 || !status.m_bRegular)
            SetResult(ResultFileNotFound);
        else
        {
            const QString modified = m_localTime.Text(status.m_nModifiedSecs);
            bool hash = options.forceUpdateTTH || file.tth.isEmpty();
            if (!options.noModifiedUpdateTTH && modified != file.lastModified)
                hash = true;
            if (hash)
            {
                QString tth;
                const int length = m_hashService.HashFile(m_strCurrentPath, tth, CTthHashService::TthLength, &m_bCancel);
                if (m_bCancel || m_hashService.IsStopped())
                    break; // stopped by closing: not a read error
                if (length != CTthHashService::TthLength)
                    NoteReadError(file);
                else
                {
                    const Links links =
                        UpdateRecordAndDuplicates(file, tth, status.m_nSize, modified, mayRemove);
                    if (links.liveCopyElsewhere && mayRemove && m_nRetryAnswer == IDRETRY)
                        DeleteFileRecSetFile(file.fileId, options.ghostDuplicates);
                }
            }
        }
        ModifyCurrent([](CMwuTask& t) { ++t.m_lProgressCurrent; });
        if (!single)
            Tasks().Modify(m_pTop, [](CMwuTask& t) { ++t.m_lProgressCurrent; });
    }
    m_context.notifier.AskRefresh();
    m_context.notifier.AskRequestNotify(&m_request);
}

void CMwuTaskManagerChecksum::NoteReadError(const GroupFile& file)
{
    // The record keeps its TTH and time; the note tells the person why it was not hashed.
    SetResult(ResultReadError);
    NoteSkipped(kReadError, m_strCurrentPath);
    m_nFileError = ResultReadError;
    m_fileErrorEntry = {m_strCurrentPath, kReadError};
    ModifyCurrent([&](CMwuTask& t) { t.m_errors.push_back(m_fileErrorEntry); });
    SetFileRecSetError(file.fileId, kReadError);
}

CMwuTaskManagerChecksum::Links CMwuTaskManagerChecksum::UpdateRecordAndDuplicates(
    const GroupFile& file, const QString& tth, quint64 hashedSize, const QString& modified, bool findLiveCopy)
{
    Links links;
    RunWithRetry(kContext, [&] {
        links = Links();
        // The record and every record it is linked with change together or not at all.
        CDbTransaction transaction(m_database);
        CDbStatement record =
            m_database.Prepare(QStringLiteral("SELECT AlternateFile, FileInfoId FROM File WHERE FileId=?"));
        record.Bind(1, file.fileId);
        if (!record.Step())
            return; // removed by someone else meanwhile
        QString alternates = record.Value(0).ToString();
        const CDbValue ownFileInfoId = record.Value(1);
        record.Reset();
        // The size that was hashed goes with the TTH: a file that grew since it was catalogued
        // would otherwise pair its new TTH with its old size and match no copy of itself.
        const auto low = static_cast<quint32>(hashedSize & 0xFFFFFFFFu);
        const auto high = static_cast<quint32>(hashedSize >> 32);
        const auto size = static_cast<qint32>(low);
        const auto sizeHigh = static_cast<qint32>(high);

        std::vector<Duplicate> duplicates;
        // An empty file is never anybody's duplicate.
        if (size != 0 || sizeHigh != 0)
        {
            CDbStatement same = m_database.Prepare(QStringLiteral(
                "SELECT FileId, File, FileInfoId, SimilarityId, Deleted, Ghost FROM File WHERE TTH=? AND "
                "FileSizeHigh=? AND FileSize=? AND FileId<>? ORDER BY FileId"));
            same.Bind(1, tth).Bind(2, sizeHigh).Bind(3, size).Bind(4, file.fileId);
            while (same.Step())
                duplicates.push_back({same.Value(0).ToLong(), same.Value(1).ToString(), same.Value(2).ToLong(),
                                      same.Value(3).ToLong(), !same.Value(4).ToBool() && !same.Value(5).ToBool()});
        }
        links.duplicateFound = !duplicates.empty();
        for (const Duplicate& duplicate : duplicates)
        {
            if (links.fileInfoId == 0 && duplicate.fileInfoId != 0)
            {
                // An error note belongs to the copy that had the error, not to this one.
                CDbStatement info =
                    m_database.Prepare(QStringLiteral("SELECT ContainsError FROM FileInfo WHERE FileInfoId=?"));
                info.Bind(1, duplicate.fileInfoId);
                if (info.Step() && !info.Value(0).ToBool())
                    links.fileInfoId = duplicate.fileInfoId;
            }
            if (links.similarityId == 0)
                links.similarityId = duplicate.similarityId;
            // Removing this copy is safe only while another live record holds the contents in a
            // file of its own: a deleted record's file is gone, and a folder catalogued twice
            // shows one file under two records.
            if (findLiveCopy && duplicate.live && !links.liveCopyElsewhere &&
                !IsSamePhysicalFile(duplicate.fileId, m_strCurrentPath))
                links.liveCopyElsewhere = true;
        }
        if (links.similarityId == 0 && links.duplicateFound)
        {
            links.similarityId = GetNewRecSetId(QStringLiteral("File_SimilarityId"));
            if (links.similarityId < 0)
                throw CDbException(DbErrors::kNoCurrentRecord,
                                   QStringLiteral("No new SimilarityId could be had."));
        }
        for (const Duplicate& duplicate : duplicates)
            MwuAlternateFile::Insert(alternates, file.name, duplicate.name);

        // A FileInfo taken over from a copy replaces the record's own; otherwise it keeps its own.
        m_database.Execute(
            QStringLiteral(
                "UPDATE File SET TTH=?, LastModified=?, SimilarityId=?, AlternateFile=?, FileInfoId=?, "
                "FileSize=?, FileSizeHigh=?, FileSizeDouble=? WHERE FileId=?"),
            {CDbValue(tth), CDbValue(modified),
             links.similarityId != 0 ? CDbValue(links.similarityId) : CDbValue::Null(),
             alternates.isEmpty() ? CDbValue::Null() : CDbValue(alternates),
             links.fileInfoId != 0 ? CDbValue(links.fileInfoId) : ownFileInfoId, CDbValue(size),
             CDbValue(sizeHigh), CDbValue(double(high) * 4294967296.0 + double(low)), CDbValue(file.fileId)});

        if (links.duplicateFound)
        {
            QStringList names{file.name};
            for (const Duplicate& duplicate : duplicates)
                names.append(duplicate.name);
            CDbStatement read = m_database.Prepare(
                QStringLiteral("SELECT AlternateFile, FileInfoId FROM File WHERE FileId=?"));
            for (const Duplicate& duplicate : duplicates)
            {
                read.Bind(1, duplicate.fileId);
                if (!read.Step())
                {
                    read.Reset();
                    continue;
                }
                QString list = read.Value(0).ToString();
                const CDbValue infoId = read.Value(1);
                read.Reset();
                for (const QString& name : names)
                    MwuAlternateFile::Insert(list, duplicate.name, name);
                // A copy that has no FileInfo of its own takes the one found.
                const bool takeInfo = links.fileInfoId != 0 && infoId.ToLong() == 0;
                m_database.Execute(
                    QStringLiteral("UPDATE File SET SimilarityId=?, FileInfoId=?, AlternateFile=? WHERE FileId=?"),
                    {CDbValue(links.similarityId), takeInfo ? CDbValue(links.fileInfoId) : infoId,
                     list.isEmpty() ? CDbValue::Null() : CDbValue(list), CDbValue(duplicate.fileId)});
            }
        }
        transaction.Commit();
    }, [this] { ReopenDatabase(); });
    return links;
}

bool CMwuTaskManagerChecksum::IsSamePhysicalFile(qint32 fileId, const QString& path)
{
    CDbStatement where = m_database.Prepare(QStringLiteral(
        "SELECT Catalogue.Location, Catalogue.VolumeSerial, Catalogue.Volume, RelativePath.RelativePath, File.File "
        "FROM (File INNER JOIN Catalogue ON File.CatalogueId = Catalogue.CatalogueId) LEFT JOIN RelativePath ON "
        "File.RelativePathId = RelativePath.RelativePathId WHERE File.FileId=?"));
    where.Bind(1, fileId);
    if (!where.Step())
        return false;
    QString location = where.Value(0).ToString();
    if (LocateMedia(location, where.Value(1).ToLong(), where.Value(2).ToString(), 0, nullptr, nullptr, false) != 0)
        return false; // its medium is elsewhere: another file
    return IsSameFile(CatalogueFilePath(location, where.Value(3).ToString(), where.Value(4).ToString()), path);
}

bool CMwuTaskManagerChecksum::DeleteFileRecSetFile(qint32 fileId, bool ghost)
{
    QString location;
    QString path;
    qint32 serial = 0;
    QString label;
    bool found = false;
    RunWithRetry(QStringLiteral("CMwuTaskManager::DeleteFileRecSetFile()"), [&] {
        CDbStatement where = m_database.Prepare(QStringLiteral(
            "SELECT Catalogue.Location, Catalogue.VolumeSerial, Catalogue.Volume, RelativePath.RelativePath, "
            "File.File FROM (File INNER JOIN Catalogue ON File.CatalogueId = Catalogue.CatalogueId) LEFT JOIN "
            "RelativePath ON File.RelativePathId = RelativePath.RelativePathId WHERE File.FileId=?"));
        where.Bind(1, fileId);
        found = where.Step();
        if (!found)
            return;
        location = where.Value(0).ToString();
        serial = where.Value(1).ToLong();
        label = where.Value(2).ToString();
        path = CatalogueFilePath(location, where.Value(3).ToString(), where.Value(4).ToString());
    });
    if (!found)
        return false;
    if (LocateMedia(path, serial, label, 0, nullptr, nullptr, false) != 0)
        return false;

    QString problem;
    if (RemoveFile(path, &problem, nullptr, false) != 0)
    {
        SetFileRecSetError(fileId, (ghost ? QStringLiteral("Unable to delete duplicate Ghost file: ")
                                          : QStringLiteral("Unable to delete duplicate file: ")) +
                                       problem);
        return false;
    }
    return RunWithRetry(QStringLiteral("CMwuTaskManager::DeleteFileRecSetFile() - Ghost/Delete file"), [&] {
        m_database.Execute(ghost ? QStringLiteral("UPDATE File SET Ghost=TRUE WHERE FileId=?")
                                 : QStringLiteral("UPDATE File SET Deleted=TRUE WHERE FileId=?"),
                           {CDbValue(fileId)});
    });
}
