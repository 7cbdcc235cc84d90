#include "synch/MwuTaskManagerMarkDeleted.h"

#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "database/DbTransaction.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"

#include <QElapsedTimer>
#include <QSet>

namespace
{
constexpr int kBatchRows = 2000;
constexpr int kBatchMilliseconds = 1000;
} // namespace

CMwuTaskManagerMarkDeleted::CMwuTaskManagerMarkDeleted(CMwuRequest& request, CMwuContext& context)
    : CMwuTaskManager(TaskKindMarkDeleted, request, context)
{
}

std::vector<CMwuTaskManagerMarkDeleted::LiveFile> CMwuTaskManagerMarkDeleted::ReadGroup()
{
    const CMwuTask current = Current();
    CDbStatement files =
        SelectLiveFiles(QStringLiteral("FileId, File"), current.m_lCatalogueId, current.m_lRelativePathId);
    std::vector<LiveFile> group;
    while (files.Step())
        group.push_back({files.Value(0).ToLong(), files.Value(1).ToString()});
    return group;
}

void CMwuTaskManagerMarkDeleted::SetProgressMaxTaskCurrent()
{
    SetProgressMaxFromLiveFiles(QStringLiteral("CMwuTaskManagerMarkDeleted::SetProgressMaxTaskCurrent()"));
}

void CMwuTaskManagerMarkDeleted::ProcessGroupTaskCurrentSetup()
{
    ProcessGroupCleanup();
    RunWithRetry(QStringLiteral("CMwuTaskManagerMarkDeleted::ProcessGroupTaskCurrentSetup()"),
                 [&] { m_group = ReadGroup(); });
}

void CMwuTaskManagerMarkDeleted::ProcessGroupTaskCurrent()
{
    const CMwuTask current = Current();
    const bool single = current.m_position == TaskPositionSingle;
    const QString folder = CatalogueFilePath(current.m_strLocation, current.m_strRelativePath);

    // The names in the folder, listed once for the whole group: one directory read instead of one
    // lookup per catalogued file.
    CFolderListing listing(folder);
    if (!listing.IsOpen())
    {
        if (FindAttributes(folder) != 0)
        {
            // There but unreadable: its files cannot be told gone, so none is marked.
            NoteSkipped(QStringLiteral("Unable to read folder"), folder);
            return;
        }
        QString location = current.m_strLocation;
        if (LocateMedia(location, current.m_lVolumeSerial, current.m_strVolume, 0, nullptr, nullptr, false) != 0)
        {
            // The medium went away during the run: its files are not gone, it is.
            SetResult(ResultFileNotFound);
            m_bCancel = true;
            return;
        }
    }
    QSet<QString> present;
    CFolderListing::Entry entry;
    // Only regular files are catalogued files: a record whose name is now a link, a pipe or a
    // folder (or was one, catalogued by an older version) is no longer a file of the catalogue.
    while (listing.Next(entry))
        if (entry.kind == CFolderListing::Kind::File)
            present.insert(entry.name);

    std::vector<qint32> gone;
    QElapsedTimer batchAge;
    batchAge.start();
    for (const LiveFile& file : m_group)
    {
        if (!WaitForRun())
            break;
        m_nFileError = 0;
        // The listing answers for nearly every file; a name it does not hold is looked up on its
        // own (a case-insensitive medium, or a file that appeared since the listing).
        if (!present.contains(file.name))
        {
            m_strCurrentPath = CatalogueFilePath(current.m_strLocation, current.m_strRelativePath, file.name);
            CFileStatus status;
            if (QueryFileStatus(m_strCurrentPath, status) != 0 || !status.m_bRegular ||
                status.m_bSymbolicLink)
                gone.push_back(file.fileId);
        }
        if (static_cast<int>(gone.size()) >= kBatchRows || (!gone.empty() && batchAge.elapsed() >= kBatchMilliseconds))
        {
            MarkDeleted(gone);
            batchAge.restart();
        }
        ModifyCurrent([](CMwuTask& t) { ++t.m_lProgressCurrent; });
        if (!single)
            Tasks().Modify(m_pTop, [](CMwuTask& t) { ++t.m_lProgressCurrent; });
    }
    MarkDeleted(gone);
    m_context.notifier.AskRefresh();
    m_context.notifier.AskRequestNotify(&m_request);
}

void CMwuTaskManagerMarkDeleted::MarkDeleted(std::vector<qint32>& fileIds)
{
    if (fileIds.empty())
        return;
    // One transaction per batch: a folder that vanished with thousands of files is one commit.
    RunWithRetry(QStringLiteral("CMwuTaskManagerMarkDeleted::ProcessGroupTaskCurrent() - bDeleted"), [&] {
        CDbTransaction transaction(m_database);
        CDbStatement mark = m_database.Prepare(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE FileId=?"));
        for (const qint32 id : fileIds)
        {
            mark.Bind(1, id);
            mark.Execute();
        }
        transaction.Commit();
    }, [this] { ReopenDatabase(); });
    fileIds.clear();
}

void CMwuTaskManagerMarkDeleted::ProcessGroupCleanup()
{
    m_group.clear();
}
