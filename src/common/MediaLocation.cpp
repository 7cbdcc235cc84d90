#include "common/MediaLocation.h"

#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/OutText.h"
#include "common/UserInteraction.h"
#include "platform/FileAttributes.h"
#include "platform/PathResolution.h"
#include "platform/SystemErrorCodes.h"
#include "platform/VolumeTable.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

namespace
{
QString JoinComponents(const QStringList& components, qsizetype from, qsizetype to)
{
    QString path;
    for (qsizetype i = from; i < to; ++i)
        path += QLatin1Char('/') + components[i];
    return path;
}

QString PlaceBelow(const QString& mountPoint, const QStringList& components, qsizetype from)
{
    const QString tail = JoinComponents(components, from, components.size());
    if (mountPoint == QStringView(u"/"))
        return tail.isEmpty() ? mountPoint : tail;
    return mountPoint + tail;
}

bool IsFolder(const QString& path)
{
    return (FindAttributes(path) & FileAttribute::Directory) != 0;
}

bool LiesOn(const QString& path, const CVolume& volume, const std::vector<CVolume>& volumes)
{
    const std::optional<CVolume> holder = FindVolumeOfPath(volumes, ResolvePathThroughLinks(path));
    return holder && holder->m_strMountPoint == volume.m_strMountPoint;
}

bool FoundOn(const QString& path, const CVolume& volume, const std::vector<CVolume>& volumes)
{
    return FindAttributes(path) != 0 && LiesOn(path, volume, volumes);
}

// How many leading components of the path made up the mount point the catalogue was made
// under, judged by what is left of it here: a medium's mount folder is usually removed when it
// is unplugged (so it is the first missing component), or stays behind as an empty folder; a
// folder named after the medium's label or serial is its mount folder either way.
qsizetype OldMountPointDepth(const QStringList& components, const QString& label, qint32 serial)
{
    const qsizetype n = components.size();
    qsizetype existing = 0;
    while (existing < n && IsFolder(JoinComponents(components, 0, existing + 1)))
        ++existing;
    if (existing == n)
        return n;
    const QString next = components[existing];
    const bool namedAfterMedium = (!label.isEmpty() && next == label) ||
                                  (serial != 0 && SerialFromUuid(next) == serial);
    if (!namedAfterMedium && existing > 0 && FolderIsEmpty(JoinComponents(components, 0, existing)))
        return existing;
    return existing + 1;
}
} // namespace

int LocateMedia(QString& path, qint32 volumeSerial, QString volumeLabel, int driveType,
                QString* pProblem, QString* pSolution, bool multiLine)
{
    return LocateMedia(ProcessVolumeTable(), path, volumeSerial, std::move(volumeLabel), driveType,
                       pProblem, pSolution, multiLine);
}

int LocateMedia(const CVolumeTable& table, QString& path, qint32 volumeSerial, QString volumeLabel,
                int driveType, QString* pProblem, QString* pSolution, bool multiLine)
{
    while (!volumeLabel.isEmpty() && volumeLabel.back() == QLatin1Char(' '))
        volumeLabel.chop(1);

    // Server paths (//server/share, or written the other way round with backslashes) are never
    // searched.
    if (FilePath(path).IsUncPath() || FilePath(path, FilePath::RelativeSeparator).IsUncPath())
        return 0;
    const bool absolute = path.startsWith(QLatin1Char('/'));
    const QStringList components = absolute ? QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts) : QStringList();
    qsizetype oldDepth = -1;
    auto oldMountDepth = [&]() {
        if (oldDepth < 0)
            oldDepth = OldMountPointDepth(components, volumeLabel, volumeSerial);
        return oldDepth;
    };

    if (absolute)
    {
        if (const std::optional<CVolume> holder = table.VolumeOf(path); holder && holder->m_nDriveType == DRIVE_REMOTE)
            return 0;

        const std::vector<CVolume> volumes = table.Volumes();
        const std::vector<int> types = driveType != 0
            ? std::vector<int>{driveType}
            : std::vector<int>{DRIVE_FIXED, DRIVE_REMOVABLE, DRIVE_CDROM, DRIVE_RAMDISK};
        const std::optional<CVolume> holder = FindVolumeOfPath(volumes, ResolvePathThroughLinks(path));
        const bool holderTried = holder && std::find(types.begin(), types.end(), holder->m_nDriveType) != types.end();

        if (volumeSerial == 0)
        {
            // Nothing tells one medium from another: the path counts only where it was
            // catalogued, on a volume of a type that is tried.
            for (const int type : types)
                for (const CVolume& volume : volumes)
                    if (volume.m_nDriveType == type && FoundOn(path, volume, volumes))
                        return 0;
        }
        else
        {
            // The medium where the catalogue says it is answers first, also before another mount
            // of the same filesystem that happens to come earlier in the table.
            std::optional<CVolume> answering;
            if (holderTried && holder->m_nSerial == volumeSerial)
                answering = holder;
            for (auto type = types.begin(); !answering && type != types.end(); ++type)
                for (const CVolume& volume : volumes)
                    if (volume.m_nDriveType == *type && volume.m_nSerial == volumeSerial)
                    {
                        answering = volume;
                        break;
                    }
            if (answering)
            {
                const CVolume& volume = *answering;
                if (!PathIsBelowMountPoint(ResolvePathThroughLinks(path), volume.m_strMountPoint))
                {
                    QString rewritten = PlaceBelow(volume.m_strMountPoint, components, oldMountDepth());
                    for (qsizetype k = 0; k < components.size() && !FoundOn(rewritten, volume, volumes); ++k)
                    {
                        const QString candidate = PlaceBelow(volume.m_strMountPoint, components, k);
                        if (FoundOn(candidate, volume, volumes))
                            rewritten = candidate;
                    }
                    path = rewritten;
                }
                if (FoundOn(path, volume, volumes))
                    return 0;
                const QString label = volumeLabel.isEmpty() ? QStringLiteral("<No Label>") : volumeLabel;
                SetText(pProblem, QStringLiteral("File not found"));
                SetText(pSolution, QString(multiLine ? "The file was not found on volume/label:  %1.\r\n(%2)"
                                                     : "The file was not found on volume/label:  %1.  (%2)")
                                       .arg(label, path));
                return SystemError::FileNotFound;
            }
        }
    }

    SetText(pProblem, QStringLiteral("Disk not found"));
    if (!volumeLabel.isEmpty())
    {
        SetText(pSolution, QStringLiteral("Please insert disk :  %1").arg(volumeLabel));
    }
    else
    {
        QString root = FilePath(path).Root();
        if (absolute)
        {
            root = JoinComponents(components, 0, oldMountDepth());
            if (root.isEmpty())
                root = QStringLiteral("/");
        }
        SetText(pSolution,
                QString(multiLine ? "The required disk has no volume/label name.\r\nPlease insert the required disk.\r\n(This disk was %1 when the catalogue was created.)"
                                  : "The required disk has no volume/label name.  Please insert the required disk.  (This disk was %1 when the catalogue was created.)")
                    .arg(root));
    }
    return SystemError::WrongDisk;
}

int LocateMediaWithPrompt(CUserInteraction& ui, QString& path, qint32 volumeSerial,
                          const QString& volumeLabel, int driveType)
{
    while (true)
    {
        QString located = path;
        QString problem;
        QString solution;
        const int rc = LocateMedia(located, volumeSerial, volumeLabel, driveType, &problem, &solution, true);
        if (rc == 0)
        {
            path = located;
            return 0;
        }
        if (ui.MessageBox(solution, problem, MsgIcon::Warning, MsgButtons::RetryCancel) != MsgAnswer::Retry)
            return rc;
    }
}
