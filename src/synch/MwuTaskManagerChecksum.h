#pragma once

#include "synch/MwuLocalTimeText.h"
#include "synch/MwuTaskManager.h"

#include <vector>

class CTthHashService;

// Computes the TTH of every live file of the catalogue that needs it (no TTH yet, a changed
// last-write time, or ForceUpdateTTH) and links it with every record of equal TTH and size: a
// shared SimilarityId, the other copy's FileInfo (unless that one carries an error note), and the
// other names in each record's AlternateFile. With GhostDuplicates or DeleteDuplicates a newly
// found copy is sent to the trash and its record ghosted or marked deleted.
class CMwuTaskManagerChecksum final : public CMwuTaskManager
{
public:
    CMwuTaskManagerChecksum(CMwuRequest& request, CMwuContext& context, const CTthHashService& hashService);

    // Sends the file of a record to the trash and marks the record Ghost (ghost) or Deleted. Nothing
    // happens when its medium is not here; a file that cannot be removed gets an error note. True
    // when the file was removed and the record marked.
    bool DeleteFileRecSetFile(qint32 fileId, bool ghost);

protected:
    CMwuTaskList::Row CreateTaskTop() override { return AddTaskGroupFromFileRecords(); }
    void SetProgressMaxTaskCurrent() override;
    void ProcessGroupTaskCurrentSetup() override;
    void ProcessGroupTaskCurrent() override;
    void ProcessGroupCleanup() override;

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

    std::vector<GroupFile> ReadGroup();
    // Stores the new TTH, the size hashed and the time and links the record with its duplicates,
    // in one transaction. findLiveCopy: also tell whether another file holds the same contents
    // (before a removal).
    Links UpdateRecordAndDuplicates(const GroupFile& file, const QString& tth, quint64 hashedSize,
                                    const QString& modified, bool findLiveCopy);
    // Whether a record's file is the very file at path (a folder catalogued twice), not a copy.
    bool IsSamePhysicalFile(qint32 fileId, const QString& path);
    void NoteReadError(const GroupFile& file);

    const CTthHashService& m_hashService;
    std::vector<GroupFile> m_group;
    CMwuLocalTimeText m_localTime;
};
