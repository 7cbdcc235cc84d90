#include "synch/MwuTaskManagerMarkDeleted.h"

#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"

#include <QDir>
#include <QSet>

namespace
{
// The names in a folder, listed once for the whole group: one directory read instead of one
// lookup per catalogued file.
QSet<QString> ListFolder(const QString& folder)
{
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    return QSet<QString>(names.begin(), names.end());
}
} // namespace

CMwuTaskManagerMarkDeleted::CMwuTaskManagerMarkDeleted(CMwuRequest& request, CMwuContext& context)
    : CMwuTaskManager(TaskKindMarkDeleted, request, context)
{
}

std::vector<CMwuTaskManagerMarkDeleted::LiveFile> CMwuTaskManagerMarkDeleted::ReadGroup()
{
    const CMwuTask current = Current();
    CDbStatement files = m_database.Prepare(QStringLiteral(
        "SELECT File.FileId, File.File FROM File WHERE ((File.CatalogueId=?) AND (File.Deleted=FALSE) AND "
        "(File.Ghost=FALSE) AND (File.RelativePathId=?));"));
    files.Bind(1, current.m_lCatalogueId).Bind(2, current.m_lRelativePathId);
    std::vector<LiveFile> group;
    while (files.Step())
        group.push_back({files.Value(0).ToLong(), files.Value(1).ToString()});
    return group;
}

void CMwuTaskManagerMarkDeleted::SetProgressMaxTaskCurrent()
{
    std::vector<LiveFile> group;
    if (!RunWithRetry(QStringLiteral("CMwuTaskManagerMarkDeleted::SetProgressMaxTaskCurrent()"),
                      [&] { group = ReadGroup(); }))
        return;
    const auto count = static_cast<qint32>(group.size());
    ModifyCurrent([&](CMwuTask& t) { t.m_lProgressMax = count; });
    if (Top().m_position == TaskPositionTop)
        Tasks().Modify(m_pTop, [&](CMwuTask& t) { t.m_lProgressMax += count; });
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
    const QSet<QString> present = ListFolder(folder);

    for (const LiveFile& file : m_group)
    {
        if (!WaitForRun())
            break;
        m_nFileError = 0;
        m_strCurrentPath = CatalogueFilePath(current.m_strLocation, current.m_strRelativePath, file.name);
        // The listing answers for nearly every file; a name it does not hold is looked up on its
        // own (a case-insensitive medium, or a file that appeared since the listing).
        if (!present.contains(file.name) && FindAttributes(m_strCurrentPath) == 0)
            RunWithRetry(QStringLiteral("CMwuTaskManagerMarkDeleted::ProcessGroupTaskCurrent() - bDeleted"), [&] {
                m_database.Execute(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE FileId=?"),
                                   {CDbValue(file.fileId)});
            });
        ModifyCurrent([](CMwuTask& t) { ++t.m_lProgressCurrent; });
        if (!single)
            Tasks().Modify(m_pTop, [](CMwuTask& t) { ++t.m_lProgressCurrent; });
    }
    m_context.notifier.AskRefresh();
    m_context.notifier.AskRequestNotify(&m_request);
}

void CMwuTaskManagerMarkDeleted::ProcessGroupCleanup()
{
    m_group.clear();
}
