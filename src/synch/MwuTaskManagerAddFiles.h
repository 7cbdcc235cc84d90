#pragma once

#include "synch/MwuLocalTimeText.h"
#include "synch/MwuTaskManager.h"

#include <QElapsedTimer>
#include <QSet>

#include <deque>
#include <future>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

// Walks the catalogue's location folder by folder and adds a File record for every file that the
// catalogue does not hold yet as a live record. Existing records are never changed: vanished files
// are the mark-deleted task's business, changed contents the update-TTH task's.
//
// Each folder is listed once per group and its live records read with one query; new records are
// written in batches, each in one transaction: at the end of a folder (unless the last commit was
// less than 100 ms ago, when the next folders join the batch) and at least every 2000 rows or
// second, so the browser sees the catalogue grow and a crash loses only the last batch, which the
// next run adds again. Memory holds one folder's names and one batch, never the tree.
class CMwuTaskManagerAddFiles final : public CMwuTaskManager
{
public:
    // A batch is committed when it holds this many rows or is this old, whichever comes first.
    static constexpr int kBatchRows = 2000;
    static constexpr int kBatchMilliseconds = 1000;
    // A finished folder is committed when the last commit is at least this old.
    static constexpr int kGroupCommitMilliseconds = 100;

    // On a server, the batches being written at once, each on a connection of its own.
    static constexpr size_t kServerWriters = 2;

    CMwuTaskManagerAddFiles(CMwuRequest& request, CMwuContext& context);
    ~CMwuTaskManagerAddFiles() override;

    // 0 commits every folder as it ends (tests that watch the catalogue grow folder by folder).
    void SetGroupCommitInterval(int milliseconds) { m_nGroupCommitMilliseconds = milliseconds; }

protected:
    CMwuTaskList::Row CreateTaskTop() override;
    void SetProgressMaxTaskCurrent() override;
    void ProcessGroupTaskSetup() override;
    void ProcessGroupTaskCurrent() override;
    void ProcessTaskCleanup() override;

private:
    struct FolderEntry
    {
        QString relativePath; // catalogue text ("a\b"), empty for the location itself
        qint32 fileCount = 0;
    };
    struct NewFile
    {
        qint32 relativePathId = 0; // a batch may hold the files of several folders
        QString name;
        quint64 size = 0;
        qint64 modifiedSecs = 0;
        unsigned attributes = 0;
        QString identity; // device and inode of a file with several names, else empty
    };

    // Depth-first pre-order, in the order the directory is read; names beginning with "." are
    // neither walked nor counted, nor are links, pipes, sockets and devices. A subfolder that
    // cannot be listed, or whose relative path the database cannot hold, is named in the log and
    // left out. False when the folder itself cannot be listed.
    bool WalkFolder(const QString& folder, const QString& nativeRelative, std::vector<FolderEntry>& entries);
    // The RelativePathIds of the walk's folders in its order (0 for the location itself), rows
    // added for the folders the catalogue does not hold yet.
    std::vector<qint32> RelativePathIds(const std::vector<FolderEntry>& entries);
    // The live names of the current folder, folded when the medium ignores case.
    QSet<QString> ReadCatalogued();
    // On a server: the live names of the current folder and of the folders that follow it, read
    // with one statement rather than one a folder, each statement costing a round trip.
    void ReadCataloguedAhead();
    QString NameKey(const QString& name) const;
    void AddToBatch(NewFile file);
    // Writes the batch in one transaction with a block of FileIds; empty afterwards. On a server the
    // batch is handed to a writer connection and written while the walk goes on.
    void FlushBatch();

    // A batch's values in the column order of an insert (or a server's COPY), and the identities
    // of its files with several names.
    struct Rows
    {
        std::vector<CDbValue> values;
        std::vector<std::pair<qint32, QString>> identities; // FileId, identity
    };
    Rows RowsOf(const std::vector<NewFile>& batch, qint32 firstId);
    static void WriteRows(CDbDatabase& db, const Rows& rows);
    static void WriteRowsInTransaction(CDbDatabase& db, const Rows& rows);
    void HandBatchToWriter();
    // A writer connection with no batch in flight, once the oldest batch has landed if all have
    // one; null when no writer can be opened (the task's own connection writes then).
    CDbDatabase* FreeWriter();
    // Waits for the oldest batch in flight. One its writer could not write is written again on the
    // task's own connection, where the retry rules and their questions apply.
    void SettleOldestBatch();
    void SettleBatches();

    qint32 m_lSeekCatalogueId = 0;
    qint32 m_lSeekRelativePathId = 0;
    bool m_bCaseSensitive = true;
    bool m_bFullStatus = false;
    // What the database's RelativePath column holds (older databases: 255 characters).
    int m_nRelativePathLimit = 255;
    std::unordered_map<const CMwuTask*, qint32> m_fileCounts;
    std::unordered_map<qint32, QSet<QString>> m_cataloguedAhead; // by RelativePathId
    std::vector<NewFile> m_batch;
    QElapsedTimer m_batchAge; // since the last commit
    int m_nGroupCommitMilliseconds = kGroupCommitMilliseconds;
    CMwuLocalTimeText m_localTime;
    // A server spends longer on a batch than the walk takes to gather the next, and most of that
    // in its own process: batches written on connections of their own overlap the walk and each
    // other. The writers outlive the batches in flight on them.
    struct PendingBatch
    {
        Rows rows;
        CDbDatabase* writer = nullptr;
        std::future<void> written;
    };
    std::vector<std::unique_ptr<CDbDatabase>> m_writers;
    bool m_bWritersRefused = false;
    std::deque<PendingBatch> m_pending;
};
