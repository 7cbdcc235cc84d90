#include "synch/MwuTaskManagerChecksum.h"

#include "common/DbException.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "common/NameList.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"
#include "database/DbTransaction.h"
#include "hash/TthHashQueue.h"
#include "hash/TthHashService.h"
#include "platform/FileSystem.h"
#include "platform/NativeName.h"
#include "synch/MwuAlternateFile.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"

#include <QSet>

namespace
{
const QString kReadError = QStringLiteral("Error reading from file");
const QString kContext = QStringLiteral("CMwuTaskManagerChecksum::ProcessGroupTaskCurrent()");

// Adds names to a record's AlternateFile by the list's rule. A name the list already holds as it
// is, or the record's own name, would change nothing: they are left out before the list is
// searched, which in a large group of copies would otherwise be searched once for every copy's
// name, for every copy, for every new copy.
void InsertNames(QString& list, const QString& ownName, const QStringList& names)
{
    const QStringList present = NameList::Names(list);
    const QSet<QString> held(present.begin(), present.end());
    for (const QString& name : names)
        if (name != ownName && !held.contains(name))
            MwuAlternateFile::Insert(list, ownName, name);
}

// An UPDATE of one File record that writes only the columns given to it. Its text depends only on
// which columns they are, so the connection's statement cache keeps one statement per choice.
class CRecordUpdate final
{
public:
    explicit CRecordUpdate(qint32 fileId) : m_fileId(fileId) {}

    void Set(const QString& column, const CDbValue& value)
    {
        m_columns.append(column + QStringLiteral("=?"));
        m_values.push_back(value);
    }

    void Run(CDbDatabase& database) const
    {
        CDbStatement update =
            database.PrepareSqlite(QStringLiteral("UPDATE File SET ") + m_columns.join(QStringLiteral(", ")) +
                                   QStringLiteral(" WHERE FileId=?"));
        int position = 1;
        for (const CDbValue& value : m_values)
            update.Bind(position++, value);
        update.Bind(position, m_fileId);
        update.Execute();
    }

private:
    qint32 m_fileId;
    QStringList m_columns;
    std::vector<CDbValue> m_values;
};

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

CMwuTaskManagerChecksum::~CMwuTaskManagerChecksum() = default;

std::vector<CMwuTaskManagerChecksum::GroupFile> CMwuTaskManagerChecksum::ReadGroup()
{
    // By folder row: folder texts compare without regard to case, and on a case-sensitive medium
    // "Films" and "films" are two folders. In FileId order, the order the files were catalogued.
    // The time is read as the text it is stored as (an expression, not the date column): it is
    // only compared with the text of the file's time, and turning every record's time into a
    // date and back costs more than the rest of the record.
    const CMwuTask current = Current();
    CDbStatement files =
        SelectLiveFiles(QStringLiteral("FileId, File, TTH, LastModified || ''"), current.m_lCatalogueId,
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

void CMwuTaskManagerChecksum::ProcessGroupTaskSetup()
{
    m_batch.clear();
    m_batchAge.start();
    // As in the add-files task: many commits a second would otherwise checkpoint the same index
    // pages again and again.
    if (!m_database.IsServer())
        RunWithRetry(QStringLiteral("CMwuTaskManagerChecksum::ProcessGroupTaskSetup()"),
                     [&]
                     {
                         m_database.ExecuteSqliteScript(
                             QStringLiteral("PRAGMA wal_autocheckpoint=16384; PRAGMA cache_size=-32768;"));
                     });
}

void CMwuTaskManagerChecksum::ProcessGroupTaskCurrentSetup()
{
    ProcessGroupCleanup();
    // A group started again after an error starts with nothing in flight.
    if (m_pHashQueue && m_pHashQueue->Pending() != 0)
        m_pHashQueue.reset();
    if (!m_pHashQueue)
        m_pHashQueue = std::make_unique<CTthHashQueue>(m_hashService, m_hashService.Threads(), &m_bCancel);
    RunWithRetry(QStringLiteral("CMwuTaskManager::ProcessGroupTaskCurrentSetup()"), [&] { m_group = ReadGroup(); });
}

void CMwuTaskManagerChecksum::ProcessGroupCleanup()
{
    m_group.clear();
}

void CMwuTaskManagerChecksum::ProcessTaskCleanup()
{
    // Files hashed before a cancel have their right TTH: keep them.
    const CMwuTask top = Top();
    const SynchCommandLine& options = m_request.m_line;
    FlushBatch((options.ghostDuplicates || options.deleteDuplicates) &&
               top.m_strDriveType != QStringLiteral("CD-ROM"));
    m_pHashQueue.reset();
}

void CMwuTaskManagerChecksum::ProcessGroupTaskCurrent()
{
    const CMwuTask current = Current();
    const SynchCommandLine& options = m_request.m_line;
    const bool removeDuplicates = options.ghostDuplicates || options.deleteDuplicates;
    // Nothing can be removed from a CD or DVD.
    const bool mayRemove = removeDuplicates && current.m_strDriveType != QStringLiteral("CD-ROM");
    m_bSingleGroup = current.m_position == TaskPositionSingle;
    const std::size_t ahead =
        kFilesAheadPerThread * static_cast<std::size_t>(std::max(1, m_hashService.Threads()));

    std::deque<Step> steps;
    bool stopped = false;
    for (const GroupFile& file : m_group)
    {
        if (!WaitForRun() || m_nRetryAnswer != IDRETRY)
        {
            stopped = true;
            break;
        }
        Step step;
        step.file = &file;
        step.path = CatalogueFilePath(current.m_strLocation, current.m_strRelativePath, file.name);
        CFileStatus status;
        if (options.forceUpdateTTH || file.tth.isEmpty())
        {
            // Hashed whatever its time: the hashing thread opens it and reads its time and size
            // there, and this thread looks at the file only when it cannot be opened.
            step.found = true;
            step.hashed = true;
            m_pHashQueue->Add(NativeName::ToBytes(step.path).toStdString());
        }
        else if (QueryFileTimes(step.path, status) == 0 && status.m_bRegular)
        {
            step.found = true;
            if (!options.noModifiedUpdateTTH && m_localTime.Text(status.m_nModifiedSecs) != file.lastModified)
            {
                step.hashed = true;
                m_pHashQueue->Add(NativeName::ToBytes(step.path).toStdString());
            }
        }
        steps.push_back(std::move(step));
        // Steps without a hash never wait; a hashed one is waited for once enough are ahead of it.
        while (!steps.empty() && (!steps.front().hashed || m_pHashQueue->Pending() >= ahead))
            if (!ApplyStep(steps, mayRemove))
            {
                stopped = true;
                break;
            }
        if (stopped)
            break;
    }
    while (!stopped && !steps.empty())
        stopped = !ApplyStep(steps, mayRemove);
    if (stopped)
        // Hashes still in flight end at once with the cancel; their files stay as they were.
        m_pHashQueue.reset();
    else if (m_batchAge.elapsed() >= kGroupCommitMilliseconds)
        FlushBatch(mayRemove);
    m_context.notifier.AskRefresh();
    m_context.notifier.AskRequestNotify(&m_request);
}

bool CMwuTaskManagerChecksum::ApplyStep(std::deque<Step>& steps, bool mayRemove)
{
    const Step step = std::move(steps.front());
    steps.pop_front();
    m_nFileError = 0;
    m_strCurrentPath = step.path;
    if (!step.found)
        SetResult(ResultFileNotFound);
    else if (step.hashed)
    {
        const CTthHashResult result = m_pHashQueue->Take();
        if (m_bCancel || m_hashService.IsStopped() || m_nRetryAnswer != IDRETRY)
            return false; // stopped by closing: not a read error
        CFileStatus status;
        if (!result.opened && (QueryFileTimes(step.path, status) != 0 || !status.m_bRegular))
            SetResult(ResultFileNotFound); // the record keeps its values
        else if (!result.Succeeded() || result.tth.size() != std::size_t(CTthHashService::TthLength))
        {
            // The batch goes first: the records are written in the order of the folder.
            FlushBatch(mayRemove);
            m_strCurrentPath = step.path;
            NoteReadError(*step.file);
        }
        else
        {
            // The size and time of the file as it was hashed.
            m_batch.push_back({*step.file, step.path,
                               QString::fromLatin1(result.tth.data(), qsizetype(result.tth.size())),
                               result.bytesHashed, m_localTime.Text(result.modifiedSecs)});
            if (mayRemove || static_cast<int>(m_batch.size()) >= kBatchRows ||
                m_batchAge.elapsed() >= kBatchMilliseconds)
                FlushBatch(mayRemove);
        }
    }
    ModifyCurrent([](CMwuTask& t) { ++t.m_lProgressCurrent; });
    if (!m_bSingleGroup)
        Tasks().Modify(m_pTop, [](CMwuTask& t) { ++t.m_lProgressCurrent; });
    return true;
}

void CMwuTaskManagerChecksum::FlushBatch(bool mayRemove)
{
    if (m_batch.empty())
    {
        m_batchAge.restart();
        return;
    }
    std::vector<Links> links;
    const bool written = RunWithRetry(
        kContext,
        [&]
        {
            links.clear();
            // A failure rolls the whole batch back and the retry writes it again.
            CDbTransaction transaction(m_database);
            for (const Hashed& hashed : m_batch)
            {
                m_strCurrentPath = hashed.path;
                links.push_back(UpdateRecordAndDuplicates(hashed.file, hashed.tth, hashed.size,
                                                          hashed.modified, mayRemove));
            }
            transaction.Commit();
        },
        [this] { ReopenDatabase(); });
    if (written && mayRemove)
        for (std::size_t i = 0; i < m_batch.size(); ++i)
            if (links[i].liveCopyElsewhere && m_nRetryAnswer == IDRETRY)
            {
                m_strCurrentPath = m_batch[i].path;
                DeleteFileRecSetFile(m_batch[i].file.fileId, m_request.m_line.ghostDuplicates);
            }
    m_batch.clear();
    m_batchAge.restart();
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
    {
        // The caller's transaction holds the record and every record it is linked with: they
        // change together or not at all.
        CDbStatement record = m_database.PrepareSqlite(
            QStringLiteral("SELECT AlternateFile, FileInfoId, SimilarityId, TTH, FileSize, FileSizeHigh, "
                           "FileSizeDouble FROM File WHERE FileId=?"));
        record.Bind(1, file.fileId);
        if (!record.Step())
            return links; // removed by someone else meanwhile
        const QString storedAlternates = record.Value(0).ToString();
        QString alternates = storedAlternates;
        const CDbValue ownFileInfoId = record.Value(1);
        const CDbValue storedSimilarityId = record.Value(2);
        const QString storedTth = record.Value(3).ToString();
        const CDbValue storedSize = record.Value(4);
        const CDbValue storedSizeHigh = record.Value(5);
        const CDbValue storedSizeDouble = record.Value(6);
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
            // Along the TTH index: the engine, left to itself, takes the size index, and a medium
            // holds many files of one size (none of them hashed yet when it is catalogued anew),
            // each of which it would then read.
            CDbStatement same = m_database.PrepareSqlite(
                QStringLiteral(
                    "SELECT FileId, File, FileInfoId, SimilarityId, Deleted, Ghost FROM %1 WHERE TTH=? AND "
                    "FileSizeHigh=? AND FileSize=? AND FileId<>? ORDER BY FileId")
                    .arg(FileIndexedBy(QStringLiteral("File_TTH"))));
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
        // The name list, each name once: adding a name that is already there changes nothing,
        // and many copies of a file often share one name (a page in every language's folder), so
        // that the list of a large group would otherwise be searched for the same name again and
        // again. The first occurrence keeps its place, as the length limit may depend on the order.
        QStringList names{file.name};
        {
            QSet<QString> seen{file.name};
            for (const Duplicate& duplicate : duplicates)
                if (!seen.contains(duplicate.name))
                {
                    seen.insert(duplicate.name);
                    names.append(duplicate.name);
                }
        }
        InsertNames(alternates, file.name, names);

        // Only the columns whose values change are written: each indexed column written costs an
        // index entry removed and inserted, and a file catalogued just now changes only its TTH
        // and time. A FileInfo taken over from a copy replaces the record's own.
        const double sizeDouble = double(high) * 4294967296.0 + double(low);
        CRecordUpdate update(file.fileId);
        update.Set(QStringLiteral("LastModified"), CDbValue(modified));
        if (storedTth != tth)
            update.Set(QStringLiteral("TTH"), CDbValue(tth));
        const CDbValue similarityId =
            links.similarityId != 0 ? CDbValue(links.similarityId) : CDbValue::Null();
        if (!(storedSimilarityId == similarityId))
            update.Set(QStringLiteral("SimilarityId"), similarityId);
        if (alternates != storedAlternates)
            update.Set(QStringLiteral("AlternateFile"),
                       alternates.isEmpty() ? CDbValue::Null() : CDbValue(alternates));
        if (links.fileInfoId != 0 && !(ownFileInfoId == CDbValue(links.fileInfoId)))
            update.Set(QStringLiteral("FileInfoId"), CDbValue(links.fileInfoId));
        if (!(storedSize == CDbValue(size)) || !(storedSizeHigh == CDbValue(sizeHigh)) ||
            storedSizeDouble.ToDouble() != sizeDouble)
        {
            update.Set(QStringLiteral("FileSize"), CDbValue(size));
            update.Set(QStringLiteral("FileSizeHigh"), CDbValue(sizeHigh));
            update.Set(QStringLiteral("FileSizeDouble"), CDbValue(sizeDouble));
        }
        update.Run(m_database);

        if (links.duplicateFound)
        {
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
                const QString before = list;
                InsertNames(list, duplicate.name, names);
                // A copy that has no FileInfo of its own takes the one found.
                const bool takeInfo = links.fileInfoId != 0 && infoId.ToLong() == 0;
                // Many copies of one file under one name (a header in every folder of a tree)
                // change nothing in each other once linked: rewriting the row and its indexes
                // for every later copy would cost time that grows with the square of the copies.
                if (!takeInfo && duplicate.similarityId == links.similarityId && list == before)
                    continue;
                // Already linked, the copy only learns a new name: its identifier indexes stay.
                if (!takeInfo && duplicate.similarityId == links.similarityId)
                {
                    m_database.Execute(
                        QStringLiteral("UPDATE File SET AlternateFile=? WHERE FileId=?"),
                        {list.isEmpty() ? CDbValue::Null() : CDbValue(list), CDbValue(duplicate.fileId)});
                    continue;
                }
                m_database.Execute(
                    QStringLiteral("UPDATE File SET SimilarityId=?, FileInfoId=?, AlternateFile=? WHERE FileId=?"),
                    {CDbValue(links.similarityId), takeInfo ? CDbValue(links.fileInfoId) : infoId,
                     list.isEmpty() ? CDbValue::Null() : CDbValue(list), CDbValue(duplicate.fileId)});
            }
        }
    }
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
