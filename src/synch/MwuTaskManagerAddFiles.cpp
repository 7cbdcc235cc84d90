#include "synch/MwuTaskManagerAddFiles.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/FilePath.h"
#include "database/DbErrorCodes.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "database/FileIdentity.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"
#include "platform/SystemErrorCodes.h"
#include "platform/VolumeTable.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>
#include <bit>
#include <optional>

namespace
{
const QString kFileIdName = QStringLiteral("File_FileId");
const QString kWriteContext = QStringLiteral("CMwuTaskManagerAddFiles::ProcessGroupTaskCurrent()");
constexpr qint32 kProgressStep = 64;
constexpr size_t kRowsPerInsert = 100;
constexpr size_t kInsertParameters = 10;
constexpr size_t kCopyColumns = kInsertParameters + 3;
constexpr size_t kPathsPerLookup = 128;
constexpr size_t kFoldersReadAhead = 32;

// The insert of a batch's rows, as many at a time as ROWS: the columns and their order are those
// the binding in FlushBatch follows.
QString InsertText(size_t rows)
{
    QString text = QStringLiteral(
        "INSERT INTO \"File\" (\"CatalogueId\", \"FileId\", \"File\", \"RelativePathId\", \"FileSize\", "
        "\"FileSizeHigh\", \"FileSizeDouble\", \"LastModified\", \"Attributes\", \"Extension\", "
        "\"New\", \"Deleted\", \"Ghost\") VALUES ");
    for (size_t row = 0; row < rows; ++row)
        text += row == 0 ? QStringLiteral("(?,?,?,?,?,?,?,?,?,?,1,0,0)") : QStringLiteral(",(?,?,?,?,?,?,?,?,?,?,1,0,0)");
    return text;
}

// The RelativePath rows of as many folder texts, exact or not: the caller picks the exact ones.
QString PathLookupText(size_t paths)
{
    QString text = QStringLiteral(
        "SELECT RelativePath.RelativePathId, RelativePath.RelativePath FROM RelativePath WHERE "
        "RelativePath.RelativePath IN (");
    for (size_t i = 0; i < paths; ++i)
        text += i == 0 ? QStringLiteral("?") : QStringLiteral(",?");
    return text + QStringLiteral(")");
}

// The same columns for a COPY to a server, New, Deleted and Ghost given as values.
QStringList CopyColumns()
{
    return {QStringLiteral("CatalogueId"),    QStringLiteral("FileId"),       QStringLiteral("File"),
            QStringLiteral("RelativePathId"), QStringLiteral("FileSize"),     QStringLiteral("FileSizeHigh"),
            QStringLiteral("FileSizeDouble"), QStringLiteral("LastModified"), QStringLiteral("Attributes"),
            QStringLiteral("Extension"),      QStringLiteral("New"),          QStringLiteral("Deleted"),
            QStringLiteral("Ghost")};
}

bool IsSkippedName(const QString& name)
{
    return name.isEmpty() || name.startsWith(QLatin1Char('.'));
}

// The text after the last "." of the name, trailing blanks removed; Null without a "." (and for a
// name ending in "." whose extension is empty: the column takes no empty text).
CDbValue ExtensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return CDbValue::Null();
    QString extension = name.mid(dot + 1);
    while (!extension.isEmpty() && extension.back().isSpace())
        extension.chop(1);
    return extension.isEmpty() ? CDbValue::Null() : CDbValue(extension);
}
} // namespace

CMwuTaskManagerAddFiles::CMwuTaskManagerAddFiles(CMwuRequest& request, CMwuContext& context)
    : CMwuTaskManager(TaskKindAddFiles, request, context)
{
}

CMwuTaskManagerAddFiles::~CMwuTaskManagerAddFiles()
{
    // A task that ended by an exception did not settle its batches in flight: their writers must
    // not go before the writes on them. What they could not write the next run adds.
    for (PendingBatch& pending : m_pending)
        if (pending.written.valid())
            pending.written.wait();
}

CMwuTaskList::Row CMwuTaskManagerAddFiles::CreateTaskTop()
{
    bool bMediaMissing = false;
    CMwuTaskList::Row top = CreateTaskTopBase(bMediaMissing);
    if (bMediaMissing)
    {
        SetResult(ResultFileNotFound);
        m_bCancel = true;
    }
    if (!top || m_bCancel)
    {
        if (top)
            Tasks().Modify(top, [](CMwuTask& t) { t.m_status = TaskStatusMediaNotFound; });
        return top;
    }

    const CMwuTask head = Tasks().Read(top);
    const QString location = FilePath(head.m_strLocation).StripTrailingSeparators().Text();
    if (const auto volume = ProcessVolumeTable().VolumeOf(location))
    {
        m_bCaseSensitive = volume->IsCaseSensitive();
        // FAT keeps attribute bits of its own that only the full status reads.
        m_bFullStatus = volume->m_strFileSystem == QStringLiteral("vfat") ||
                        volume->m_strFileSystem == QStringLiteral("msdos");
    }

    RunWithRetry(QStringLiteral("CMwuTaskManagerAddFiles::CreateTaskTop() - RelativePath limit"),
                 [&]
                 {
                     m_nRelativePathLimit = FileIdentity::ColumnLengthLimit(
                         m_database, QStringLiteral("RelativePath"), QStringLiteral("RelativePath"), 255);
                 });

    std::vector<FolderEntry> entries;
    if (location.isEmpty() || !WalkFolder(location, QString(), entries))
    {
        // The location itself cannot be listed: the medium is not really there.
        SetResult(ResultFileNotFound);
        m_nFileError = ResultFileNotFound;
        m_bCancel = true;
        Tasks().Modify(top, [](CMwuTask& t) { t.m_status = TaskStatusMediaNotFound; });
        return top;
    }

    if (entries.size() == 1)
    {
        const qint32 id = GetRelativePathRecSetId(entries.front().relativePath);
        Tasks().Modify(top, [&](CMwuTask& t) {
            t.m_position = TaskPositionSingle;
            t.m_strRelativePath = entries.front().relativePath;
            t.m_lRelativePathId = id;
        });
        m_fileCounts[top.get()] = entries.front().fileCount;
    }
    else
    {
        const std::vector<qint32> ids = RelativePathIds(entries);
        CMwuTaskList::Row previous = top;
        for (size_t i = 0; i < ids.size() && !m_bCancel; ++i)
        {
            CMwuTask group = head;
            group.m_strRelativePath = entries[i].relativePath;
            group.m_lRelativePathId = ids[i];
            group.m_position = i + 1 == ids.size() ? TaskPositionLastGroup : TaskPositionGroup;
            previous = Tasks().InsertAfter(previous, group);
            m_fileCounts[previous.get()] = entries[i].fileCount;
        }
        m_context.notifier.AskRefresh();
    }
    if (m_bCancel)
        Tasks().Modify(top, [](CMwuTask& t) { t.m_status = TaskStatusMediaNotFound; });
    return top;
}

std::vector<qint32> CMwuTaskManagerAddFiles::RelativePathIds(const std::vector<FolderEntry>& entries)
{
    // The folder rows of the whole walk in one transaction rather than one commit each. The rows
    // there are already are looked up many names a statement, and the identifiers of the new ones
    // taken from the counter in one step: a server answers every statement with a round trip, and
    // advancing the counter once per folder would leave a version of its row per folder in the
    // one transaction, which it would then walk through on every later read of the row.
    std::vector<qint32> ids;
    const bool done = RunWithRetry(
        QStringLiteral("CMwuTaskManagerAddFiles::CreateTaskTop() - RelativePath"),
        [&]
        {
            ids.clear();
            CDbTransaction transaction(m_database);
            const size_t count = m_bCancel ? 0 : entries.size();
            // Every row whose text is exactly the folder's: GENERAL's equality also gives the
            // names that differ in case only. Should a text be there twice, its lowest identifier counts.
            QHash<QString, qint32> found;
            for (size_t first = 0; first < count;)
            {
                const size_t left = count - first;
                const size_t chunk = left >= kPathsPerLookup ? kPathsPerLookup : std::bit_floor(left);
                CDbStatement select = m_database.Prepare(PathLookupText(chunk));
                for (size_t i = 0; i < chunk; ++i)
                    select.Bind(static_cast<int>(i) + 1, entries[first + i].relativePath);
                while (select.Step())
                {
                    const qint32 id = select.Value(0).ToLong();
                    const QString path = select.Value(1).ToString();
                    const auto known = found.find(path);
                    if (known == found.end())
                        found.insert(path, id);
                    else if (id < *known)
                        *known = id;
                }
                first += chunk;
            }
            std::vector<size_t> missing;
            for (size_t i = 0; i < count; ++i)
            {
                const QString& path = entries[i].relativePath;
                const auto known = path.isEmpty() ? found.cend() : found.constFind(path);
                ids.push_back(known == found.cend() ? 0 : *known);
                if (!path.isEmpty() && known == found.cend())
                    missing.push_back(i);
            }
            if (!missing.empty())
            {
                qint32 id = ReserveRecSetIds(m_database, QStringLiteral("RelativePath_RelativePathId"),
                                             static_cast<qint32>(missing.size()));
                for (const size_t i : missing)
                    ids[i] = id++;
                if (m_database.IsServer())
                {
                    std::vector<CDbValue> values;
                    values.reserve(missing.size() * 2);
                    for (const size_t i : missing)
                        values.insert(values.end(), {CDbValue(ids[i]), CDbValue(entries[i].relativePath)});
                    m_database.CopyServerRows(
                        QStringLiteral("RelativePath"),
                        {QStringLiteral("RelativePathId"), QStringLiteral("RelativePath")}, values);
                }
                else
                {
                    CDbStatement insert = m_database.Prepare(QStringLiteral(
                        "INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (?, ?)"));
                    for (const size_t i : missing)
                    {
                        insert.Bind(1, ids[i]).Bind(2, entries[i].relativePath);
                        insert.Execute();
                    }
                }
            }
            transaction.Commit();
        },
        [this] { ReopenDatabase(); });
    // Identifiers of an attempt that was rolled back name no rows.
    if (!done)
        ids.clear();
    return ids;
}

bool CMwuTaskManagerAddFiles::WalkFolder(const QString& folder, const QString& nativeRelative,
                                         std::vector<FolderEntry>& entries)
{
    CFolderListing listing(folder);
    if (!listing.IsOpen())
        return false;
    const size_t self = entries.size();
    entries.push_back({RelativePathText(nativeRelative), 0});
    CFolderListing::Entry entry;
    while (!m_bCancel && listing.Next(entry))
    {
        const QString& name = entry.name;
        if (IsSkippedName(name))
            continue;
        if (entry.kind == CFolderListing::Kind::Folder)
        {
            const QString child = nativeRelative.isEmpty() ? name : nativeRelative + QLatin1Char('/') + name;
            const QString childPath = folder + QLatin1Char('/') + name;
            // One folder the database cannot hold, or may not read, is left out and named, rather
            // than leaving the whole medium uncatalogued.
            if (RelativePathText(child).size() > m_nRelativePathLimit)
                NoteSkipped(QStringLiteral("Folder path too long for the catalogue"), childPath);
            else if (!WalkFolder(childPath, child, entries))
                NoteSkipped(QStringLiteral("Unable to read folder"), childPath);
        }
        // Only regular files are catalogued: a link is not a copy of what it points to (and a link
        // to a folder could lead back up the tree, or off the medium), and a pipe, a socket or a
        // device holds no contents of its own.
        else if (entry.kind == CFolderListing::Kind::File)
            ++entries[self].fileCount;
    }
    return true;
}

void CMwuTaskManagerAddFiles::SetProgressMaxTaskCurrent()
{
    // Counted by the walk: listing every folder once more only to count it would double the reads.
    const auto found = m_fileCounts.find(m_pCurrent.get());
    const qint32 count = found == m_fileCounts.end() ? 0 : found->second;
    ModifyCurrent([&](CMwuTask& t) { t.m_lProgressMax = count; });
    if (Top().m_position == TaskPositionTop)
        Tasks().Modify(m_pTop, [&](CMwuTask& t) { t.m_lProgressMax += count; });
}

void CMwuTaskManagerAddFiles::ProcessGroupTaskSetup()
{
    m_lSeekCatalogueId = Top().m_lCatalogueId;
    m_cataloguedAhead.clear();
    ProcessTaskCleanup();
    m_batchAge.start();
    // A scan commits many times a second; checkpointing the log after every few commits would copy
    // the same index pages back into the database again and again. A larger page cache keeps the
    // File indexes in memory across the whole scan.
    // A server keeps its own log and cache.
    if (!m_database.IsServer())
        RunWithRetry(QStringLiteral("CMwuTaskManagerAddFiles::ProcessGroupTaskSetup()"),
                     [&]
                     {
                         m_database.ExecuteSqliteScript(
                             QStringLiteral("PRAGMA wal_autocheckpoint=16384; PRAGMA cache_size=-32768;"));
                     });
}

QString CMwuTaskManagerAddFiles::NameKey(const QString& name) const
{
    return m_bCaseSensitive ? name : name.toCaseFolded();
}

QSet<QString> CMwuTaskManagerAddFiles::ReadCatalogued()
{
    if (m_database.IsServer())
    {
        if (!m_cataloguedAhead.contains(m_lSeekRelativePathId))
            ReadCataloguedAhead();
        if (auto ahead = m_cataloguedAhead.find(m_lSeekRelativePathId); ahead != m_cataloguedAhead.end())
        {
            QSet<QString> names = std::move(ahead->second);
            m_cataloguedAhead.erase(ahead);
            return names;
        }
    }
    QSet<QString> names;
    RunWithRetry(QStringLiteral("CMwuTaskManagerAddFiles::ProcessGroupTaskCurrent() - Seek"), [&] {
        names.clear();
        // The seek on (CatalogueId, RelativePathId, File), once for the whole folder.
        CDbStatement files = SelectLiveFiles(QStringLiteral("File"), m_lSeekCatalogueId, m_lSeekRelativePathId);
        while (files.Step())
            names.insert(NameKey(files.Value(0).ToString()));
    }, [this] { ReopenDatabase(); });
    return names;
}

void CMwuTaskManagerAddFiles::ReadCataloguedAhead()
{
    // The groups of this run in the order they are worked through, from the current one on. Only
    // this run adds records to its folders, so names read a few folders early are still the live
    // ones when their turn comes (as they are when read at the folder's start, another program
    // adding the same files at the same moment is not guarded against).
    std::vector<qint32> ids{m_lSeekRelativePathId};
    for (CMwuTaskList::Row row = m_pCurrent; row && ids.size() < kFoldersReadAhead;)
    {
        const TaskPosition position = Tasks().Read(row).m_position;
        if (position == TaskPositionSingle || position == TaskPositionLastGroup)
            break;
        row = Tasks().Next(row);
        if (row)
            ids.push_back(Tasks().Read(row).m_lRelativePathId);
    }
    const bool read = RunWithRetry(
        QStringLiteral("CMwuTaskManagerAddFiles::ProcessGroupTaskCurrent() - Seek"),
        [&]
        {
            m_cataloguedAhead.clear();
            // One select a folder, as a single folder's read, joined: each part takes the index its
            // own folder's read takes, whatever the server knows of the table as it grows.
            QStringList parts;
            for (const qint32 id : ids)
            {
                m_cataloguedAhead[id];
                parts << QStringLiteral("SELECT RelativePathId, File FROM File WHERE CatalogueId=? AND "
                                        "RelativePathId=? AND Deleted=0 AND Ghost=0");
            }
            CDbStatement files = m_database.PrepareSqlite(parts.join(QLatin1String(" UNION ALL ")));
            for (size_t i = 0; i < ids.size(); ++i)
                files.Bind(static_cast<int>(2 * i) + 1, m_lSeekCatalogueId)
                    .Bind(static_cast<int>(2 * i) + 2, ids[i]);
            while (files.Step())
                m_cataloguedAhead[files.Value(0).ToLong()].insert(NameKey(files.Value(1).ToString()));
        },
        [this]
        {
            m_cataloguedAhead.clear();
            ReopenDatabase();
        });
    // Folders of a read that did not finish would look empty: they are read one by one instead.
    if (!read)
        m_cataloguedAhead.clear();
}

void CMwuTaskManagerAddFiles::ProcessGroupTaskCurrent()
{
    const CMwuTask current = Current();
    const bool single = current.m_position == TaskPositionSingle;
    m_lSeekRelativePathId = current.m_lRelativePathId;
    const QString folder = CatalogueFilePath(current.m_strLocation, current.m_strRelativePath);

    CFolderListing listing(folder, m_bFullStatus);
    if (listing.IsOpen())
    {
        const QSet<QString> catalogued = ReadCatalogued();
        qint32 unreported = 0;
        const auto reportProgress = [&] {
            if (unreported == 0)
                return;
            ModifyCurrent([&](CMwuTask& t) { t.m_lProgressCurrent += unreported; });
            if (!single)
                Tasks().Modify(m_pTop, [&](CMwuTask& t) { t.m_lProgressCurrent += unreported; });
            unreported = 0;
        };
        CFolderListing::Entry entry;
        while (!m_bCancel && m_nRetryAnswer == IDRETRY && listing.Next(entry))
        {
            if (!WaitForRun())
                break;
            const QString& name = entry.name;
            if (IsSkippedName(name) || entry.kind != CFolderListing::Kind::File)
                continue;
            m_nFileError = 0;
            if (!catalogued.contains(NameKey(name)))
            {
                m_strCurrentPath = folder + QLatin1Char('/') + name;
                CFileStatus status;
                const int rc = listing.Status(entry, status);
                // A file gone between the listing and now is simply not added; one that is there
                // but cannot be looked at is named.
                if (rc == 0 && status.m_bRegular)
                    AddToBatch({m_lSeekRelativePathId, name, status.m_nSize, status.m_nModifiedSecs,
                                status.m_nAttributes,
                                status.m_nLinkCount > 1
                                    ? FileIdentity::Text(status.m_nDevice, status.m_nInode)
                                    : QString()});
                else if (rc != 0 && rc != SystemError::FileNotFound)
                    NoteSkipped(QStringLiteral("Unable to read file status"), m_strCurrentPath);
            }
            // Handed to the shared rows in steps: locking them for every file of a large folder
            // costs more than anyone watching the count could see.
            if (++unreported == kProgressStep)
                reportProgress();
        }
        reportProgress();
        // A finished folder is committed unless the last commit was only a moment ago: a medium of
        // many small folders would otherwise spend most of its time writing the same index pages
        // to the log, commit after commit, for a difference nobody watching could see.
        if (m_batchAge.elapsed() >= m_nGroupCommitMilliseconds)
            FlushBatch();
        if (m_nGroupCommitMilliseconds == 0)
            SettleBatches();
    }
    else
        NoteSkipped(QStringLiteral("Unable to read folder"), folder);
    m_context.notifier.AskRefresh();
    m_context.notifier.AskRequestNotify(&m_request);
}

void CMwuTaskManagerAddFiles::AddToBatch(NewFile file)
{
    m_batch.push_back(std::move(file));
    if (static_cast<int>(m_batch.size()) >= kBatchRows || m_batchAge.elapsed() >= kBatchMilliseconds)
        FlushBatch();
}

void CMwuTaskManagerAddFiles::FlushBatch()
{
    if (!m_batch.empty())
    {
        if (m_database.IsServer())
            HandBatchToWriter();
        else
            RunWithRetry(
                kWriteContext,
                [&]
                {
                    // The rows and the FileIds they use land together: the identifier counter is
                    // advanced in the same transaction, so the browser, which hands out FileIds by the
                    // same counter, never reuses one of them. A failure rolls everything back and the
                    // retry writes the whole batch again.
                    CDbTransaction transaction(m_database);
                    WriteRows(m_database,
                              RowsOf(m_batch, ReserveRecSetIds(m_database, kFileIdName,
                                                               static_cast<qint32>(m_batch.size()))));
                    transaction.Commit();
                },
                [this] { ReopenDatabase(); });
        m_batch.clear();
    }
    m_batchAge.restart();
}

CMwuTaskManagerAddFiles::Rows CMwuTaskManagerAddFiles::RowsOf(const std::vector<NewFile>& batch,
                                                              qint32 firstId)
{
    const bool server = m_database.IsServer();
    Rows rows;
    rows.values.reserve(batch.size() * (server ? kCopyColumns : kInsertParameters));
    qint32 fileId = firstId;
    for (const NewFile& file : batch)
    {
        const auto low = static_cast<quint32>(file.size & 0xFFFFFFFFu);
        const auto high = static_cast<quint32>(file.size >> 32);
        const QString letters = AttributeLetters(file.attributes);
        rows.values.insert(rows.values.end(),
                           {CDbValue(m_lSeekCatalogueId), CDbValue(fileId), CDbValue(file.name),
                            CDbValue(file.relativePathId),
                            // The columns are signed 32 bits: the halves are kept bit for bit.
                            CDbValue(static_cast<qint32>(low)), CDbValue(static_cast<qint32>(high)),
                            CDbValue(double(high) * 4294967296.0 + double(low)),
                            CDbValue(m_localTime.Text(file.modifiedSecs)),
                            letters.isEmpty() ? CDbValue::Null() : CDbValue(letters),
                            ExtensionOf(file.name)});
        if (server)
            rows.values.insert(rows.values.end(), {CDbValue(true), CDbValue(false), CDbValue(false)});
        // The names of one inode, so that they are never taken for each other's spare copy.
        if (!file.identity.isEmpty())
            rows.identities.emplace_back(fileId, file.identity);
        ++fileId;
    }
    return rows;
}

void CMwuTaskManagerAddFiles::WriteRows(CDbDatabase& db, const Rows& rows)
{
    if (db.IsServer())
    {
        // A server takes the batch as one COPY in well under the time of the same rows as
        // INSERTs, each of which costs it a plan and an executor of its own.
        db.CopyServerRows(QStringLiteral("File"), CopyColumns(), rows.values);
    }
    else
    {
        // Many rows per statement: one execution keeps the cursors on the table and its eleven
        // indexes open from row to row, so that the indexes that only ever grow at their end are
        // appended to rather than searched from the root for every row. A scan of many small files
        // spends about a third less time in the database so.
        const size_t count = rows.values.size() / kInsertParameters;
        size_t done = 0;
        while (done < count)
        {
            // The rest of a batch goes in power-of-two steps, so that few statement texts are
            // prepared.
            const size_t left = count - done;
            const size_t step = left >= kRowsPerInsert ? kRowsPerInsert : std::bit_floor(left);
            CDbStatement insert = db.PrepareSqlite(InsertText(step));
            for (size_t i = 0; i < step * kInsertParameters; ++i)
                insert.Bind(static_cast<int>(i) + 1, rows.values[done * kInsertParameters + i]);
            insert.Execute();
            done += step;
        }
    }
    if (rows.identities.empty())
        return;
    FileIdentity::EnsureTable(db);
    CDbStatement identity = db.PrepareSqlite(
        QStringLiteral("INSERT INTO \"FileIdentity\" (\"FileId\", \"Identity\") VALUES (?, ?)"));
    for (const auto& [fileId, text] : rows.identities)
    {
        identity.Bind(1, fileId).Bind(2, text);
        identity.Execute();
    }
}

void CMwuTaskManagerAddFiles::HandBatchToWriter()
{
    // The batch's FileIds come from the counter first, in a transaction of their own: the rows'
    // transactions then hold no lock that another writer or the browser waits for, and an
    // identifier handed out is never handed out again, whether its row lands or not. A batch's
    // rows still land together, in one transaction.
    // Only the counter's row is locked, not the catalogue's one-writer lock: that would queue every
    // batch behind other people's long action queries (a duplicate search holds it for its whole
    // run) and them behind the scan.
    qint32 firstId = 0;
    const bool identities = std::any_of(m_batch.cbegin(), m_batch.cend(),
                                        [](const NewFile& file) { return !file.identity.isEmpty(); });
    const bool reserved = RunWithRetry(
        kWriteContext,
        [&]
        {
            CDbTransaction transaction(m_database, false);
            firstId = ReserveRecSetIds(m_database, kFileIdName, static_cast<qint32>(m_batch.size()));
            // Made here, once, rather than by two writers at once.
            if (identities)
                FileIdentity::EnsureTable(m_database);
            transaction.Commit();
        },
        [this] { ReopenDatabase(); });
    if (!reserved)
        return;
    Rows rows = RowsOf(m_batch, firstId);
    CDbDatabase* writer = FreeWriter();
    if (!writer)
    {
        RunWithRetry(
            kWriteContext, [&] { WriteRowsInTransaction(m_database, rows); }, [this] { ReopenDatabase(); });
        return;
    }
    PendingBatch& pending = m_pending.emplace_back();
    pending.rows = std::move(rows);
    pending.writer = writer;
    pending.written = std::async(std::launch::async,
                                 [writer, &rows = pending.rows] { WriteRowsInTransaction(*writer, rows); });
}

void CMwuTaskManagerAddFiles::WriteRowsInTransaction(CDbDatabase& db, const Rows& rows)
{
    CDbTransaction transaction(db, false);
    WriteRows(db, rows);
    transaction.Commit();
}

CDbDatabase* CMwuTaskManagerAddFiles::FreeWriter()
{
    if (m_pending.size() >= kServerWriters)
        SettleOldestBatch();
    if (m_bWritersRefused)
        return nullptr;
    for (const std::unique_ptr<CDbDatabase>& writer : m_writers)
        if (std::none_of(m_pending.cbegin(), m_pending.cend(),
                         [&](const PendingBatch& pending) { return pending.writer == writer.get(); }))
            return writer.get();
    try
    {
        auto writer = std::make_unique<CDbDatabase>();
        writer->Open(m_request.m_line.database);
        return m_writers.emplace_back(std::move(writer)).get();
    }
    catch (const CDbException& e)
    {
        // The task's own connection writes the batches then, one after the other.
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMwuTaskManagerAddFiles::FreeWriter()"));
        m_bWritersRefused = true;
        return nullptr;
    }
}

void CMwuTaskManagerAddFiles::SettleOldestBatch()
{
    PendingBatch& oldest = m_pending.front();
    try
    {
        oldest.written.get();
    }
    catch (const CDbException& e)
    {
        // Its transaction was rolled back whole, and the batch is written again on the task's own
        // connection, with the retry rules and whatever they ask. A lock met is only a moment's
        // bad luck; after anything else (a connection lost) the writers are not used again.
        if (!DbErrors::IsLockingError(e.m_nErrorCode))
            m_bWritersRefused = true;
        RunWithRetry(
            kWriteContext, [&] { WriteRowsInTransaction(m_database, oldest.rows); },
            [this] { ReopenDatabase(); });
    }
    m_pending.pop_front();
    if (m_bWritersRefused && m_pending.empty())
        m_writers.clear();
}

void CMwuTaskManagerAddFiles::SettleBatches()
{
    while (!m_pending.empty())
        SettleOldestBatch();
}

void CMwuTaskManagerAddFiles::ProcessTaskCleanup()
{
    // Rows examined before a cancel are real files: keep them.
    FlushBatch();
    SettleBatches();
}
