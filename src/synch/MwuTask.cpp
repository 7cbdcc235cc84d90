#include "synch/MwuTask.h"

QString TaskKindText(int kind)
{
    switch (kind)
    {
    case TaskKindUnknown:
        return QStringLiteral("Unknown");
    case TaskKindAddFiles:
        return QStringLiteral("Adding New Files");
    case TaskKindMarkDeleted:
        return QStringLiteral("Marking Deleted");
    case TaskKindUpdateTTH:
        return QStringLiteral("Update TTH");
    default:
        return QString();
    }
}

QString TaskStatusText(int status, bool bPaused)
{
    switch (status)
    {
    case TaskStatusQueued:
        return QStringLiteral("Queued");
    case TaskStatusProcessing:
        return bPaused ? QStringLiteral("Paused") : QStringLiteral("Processing");
    case TaskStatusCompleted:
        return QStringLiteral("Completed");
    case TaskStatusCancelled:
        return QStringLiteral("Cancelled");
    case TaskStatusMediaNotFound:
        return QStringLiteral(
            "Please insert or connect to Catalogue media (The Catalogue was not found on this machine)");
    default:
        return QString();
    }
}

QString TaskProgressText(const CMwuTask& task)
{
    if (task.m_lProgressMax == 0)
        return QString();
    return QStringLiteral("%1/%2").arg(task.m_lProgressCurrent).arg(task.m_lProgressMax);
}
