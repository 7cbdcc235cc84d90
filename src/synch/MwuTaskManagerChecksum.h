#pragma once

#include "synch/MwuLocalTimeText.h"
#include "synch/MwuTaskManager.h"

#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <vector>

class CTthHashQueue;
class CTthHashService;

// Computes the TTH of every live file of the catalogue that needs it (no TTH yet, a changed
// last-write time, or ForceUpdateTTH) and links it with every record of equal TTH and size: a
// shared SimilarityId, the other copy's FileInfo (unless that one carries an error note), and the
// other names in each record's AlternateFile. With GhostDuplicates or DeleteDuplicates a newly
// found copy is sent to the trash and its record ghosted or marked deleted.
//
// Most files of a catalogue are small, so the time per file counts more than the time per byte.
// The files of a folder are hashed ahead on every core (a bounded number of them) while the task's
// own thread checks the next files and writes the results; the results are still applied in the
// order of the folder's records. They are written in batches, each in one transaction: at least
// every kBatchRows files or kBatchMilliseconds, at the end of a folder unless the last commit was
// less than kGroupCommitMilliseconds ago, before a read error is noted, and at the end of the task.
// When duplicates are to be removed every file is committed before its copy is removed. A commit
// writes every index page the batch touched, and new TTHs fall on pages all over their index, so
// that few large batches write far less than many small ones.
class CMwuTaskManagerChecksum final : public CMwuTaskManager
{
public:
    static constexpr int kBatchRows = 4000;
    static constexpr int kBatchMilliseconds = 1000;
    static constexpr int kGroupCommitMilliseconds = 100;
    // Files hashed ahead of the one being written, per hashing thread.
    static constexpr std::size_t kFilesAheadPerThread = 32;

    CMwuTaskManagerChecksum(CMwuRequest& request, CMwuContext& context, const CTthHashService& hashService);
    ~CMwuTaskManagerChecksum() override;

    // Sends the file of a record to the trash and marks the record Ghost (ghost) or Deleted. Nothing
    // happens when its medium is not here; a file that cannot be removed gets an error note. True
    // when the file was removed and the record marked.
    bool DeleteFileRecSetFile(qint32 fileId, bool ghost);

protected:
    CMwuTaskList::Row CreateTaskTop() override { return AddTaskGroupFromFileRecords(); }
    void SetProgressMaxTaskCurrent() override;
    void ProcessGroupTaskSetup() override;
    void ProcessGroupTaskCurrentSetup() override;
    void ProcessGroupTaskCurrent() override;
    void ProcessGroupCleanup() override;
    void ProcessTaskCleanup() override;

private:
    struct GroupFile
    {
        qint32 fileId = 0;
        QString name;
        QString tth;
        QString lastModified; // as stored; empty when Null
    };
    struct Links
    {
        bool duplicateFound = false;
        bool liveCopyElsewhere = false; // a live record of another physical file holds the contents
        qint32 fileInfoId = 0;
        qint32 similarityId = 0;
    };

    // A file of the group in the order its result is applied: not found, not to be hashed, or
    // waiting for its hash.
    struct Step
    {
        const GroupFile* file = nullptr;
        QString path;
        bool found = false;
        bool hashed = false;
    };
    // A hashed file whose record is still to be written.
    struct Hashed
    {
        GroupFile file;
        QString path;
        QString tth;
        quint64 size = 0;
        QString modified;
    };

    std::vector<GroupFile> ReadGroup();
    // Applies the oldest step: its result, its record (into the batch) and its progress. False
    // when the task was stopped meanwhile.
    bool ApplyStep(std::deque<Step>& steps, bool mayRemove);
    // Writes the batch's records in one transaction, then removes the copies that are to go.
    void FlushBatch(bool mayRemove);
    // Stores the new TTH, the size hashed and the time and links the record with its duplicates,
    // inside the caller's transaction. findLiveCopy: also tell whether another file holds the same
    // contents (before a removal).
    Links UpdateRecordAndDuplicates(const GroupFile& file, const QString& tth, quint64 hashedSize,
                                    const QString& modified, bool findLiveCopy);
    // Whether a record's file is the very file at path (a folder catalogued twice), not a copy.
    bool IsSamePhysicalFile(qint32 fileId, const QString& path);
    void NoteReadError(const GroupFile& file);

    const CTthHashService& m_hashService;
    std::unique_ptr<CTthHashQueue> m_pHashQueue;
    std::vector<GroupFile> m_group;
    std::vector<Hashed> m_batch;
    QElapsedTimer m_batchAge; // since the last commit
    bool m_bSingleGroup = false;
    CMwuLocalTimeText m_localTime;
};
