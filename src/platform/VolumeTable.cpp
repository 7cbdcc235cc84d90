#include "platform/VolumeTable.h"

#include "platform/FixtureVolumeTable.h"
#include "platform/LinuxVolumeTable.h"
#include "platform/NativeName.h"
#include "platform/PathResolution.h"
#include "platform/SystemErrorCodes.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace
{
std::atomic<const CVolumeTable*> g_pInstalledTable{nullptr};
}

CVolumeTable::~CVolumeTable() = default;

std::optional<CVolume> FindVolumeOfPath(const std::vector<CVolume>& volumes, const QString& path)
{
    const CVolume* best = nullptr;
    for (const CVolume& volume : volumes)
        if (PathIsBelowMountPoint(path, volume.m_strMountPoint) &&
            (!best || volume.m_strMountPoint.size() >= best->m_strMountPoint.size()))
            best = &volume;
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<CVolume> CVolumeTable::VolumeOf(const QString& path) const
{
    return FindVolumeOfPath(Volumes(), ResolvePathThroughLinks(path));
}

int CVolumeTable::FreeSpace(const QString& path, quint64& freeBytes) const
{
    struct statvfs info = {};
    if (statvfs(NativeName::ToBytes(path).constData(), &info) != 0)
        return SystemErrorFromErrno(errno);
    // f_bavail is what an unprivileged caller may still use; the reserve is the administrator's.
    freeBytes = quint64(info.f_bavail) * quint64(info.f_frsize);
    return SystemError::Success;
}

int CVolumeTable::IoBlockSize(const QString& path) const
{
    struct stat info = {};
    if (stat(NativeName::ToBytes(path).constData(), &info) != 0 || info.st_blksize <= 0)
        return 4096;
    return int(info.st_blksize);
}

const CVolumeTable& ProcessVolumeTable()
{
    if (const CVolumeTable* installed = g_pInstalledTable.load())
        return *installed;
    static const std::unique_ptr<CVolumeTable> table = []() -> std::unique_ptr<CVolumeTable> {
        const QString fixture = qEnvironmentVariable(kVolumeTableEnvironmentVariable);
        if (!fixture.isEmpty())
            return CFixtureVolumeTable::FromFile(fixture);
        return std::make_unique<CLinuxVolumeTable>();
    }();
    return *table;
}

CVolumeTableScope::CVolumeTableScope(const CVolumeTable& table)
    : m_pPrevious(g_pInstalledTable.exchange(&table))
{
}

CVolumeTableScope::~CVolumeTableScope()
{
    g_pInstalledTable.store(m_pPrevious);
}
