#pragma once

#include "synch/MwuTaskManager.h"

#include <vector>

// Marks Deleted every live file record of the catalogue whose file is no longer on the medium.
// Records are never removed; ghosts are never looked at; a missing medium marks nothing.
class CMwuTaskManagerMarkDeleted final : public CMwuTaskManager
{
public:
    CMwuTaskManagerMarkDeleted(CMwuRequest& request, CMwuContext& context);

protected:
    CMwuTaskList::Row CreateTaskTop() override { return AddTaskGroupFromFileRecords(); }
    void SetProgressMaxTaskCurrent() override;
    void ProcessGroupTaskCurrentSetup() override;
    void ProcessGroupTaskCurrent() override;
    void ProcessGroupCleanup() override;

private:
    struct LiveFile
    {
        qint32 fileId;
        QString name;
    };
    // The live files of the current row's folder.
    std::vector<LiveFile> ReadGroup();
    // Marks the records Deleted in one transaction and empties the list.
    void MarkDeleted(std::vector<qint32>& fileIds);

    std::vector<LiveFile> m_group;
};
