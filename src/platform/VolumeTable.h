#pragma once

#include "platform/Volume.h"

#include <optional>
#include <vector>

// The mounted volumes as the programs see them. The process has one table (ProcessVolumeTable):
// the machine's own, or a fixture table that tests inject, in process with CVolumeTableScope or
// for a child process through the environment variable QUARRANE_VOLUME_TABLE (see
// CFixtureVolumeTable for the file it names).
class CVolumeTable
{
public:
    CVolumeTable() = default;
    CVolumeTable(const CVolumeTable&) = delete;
    CVolumeTable& operator=(const CVolumeTable&) = delete;
    virtual ~CVolumeTable();

    // The volumes in mount-table order; pseudo filesystems (proc, sysfs, cgroup ...) are left out.
    virtual std::vector<CVolume> Volumes() const = 0;

    // The volume that holds an absolute path: the one with the longest mount point that is a
    // prefix of it, component by component. Nothing when no volume holds it.
    virtual std::optional<CVolume> VolumeOf(const QString& path) const;

    // Free bytes available to this process (not to the administrator) on the volume holding
    // path, which must exist. Returns a result code (SystemErrorCodes.h), 0 on success.
    virtual int FreeSpace(const QString& path, quint64& freeBytes) const;

    // The preferred I/O block size for files under path, 4096 when the system will not say.
    virtual int IoBlockSize(const QString& path) const;
};

// The table the programs use: the one installed by CVolumeTableScope, else the fixture named by
// QUARRANE_VOLUME_TABLE, else this machine's.
const CVolumeTable& ProcessVolumeTable();

// The environment variable that points a process at a fixture volume table file.
inline constexpr const char* kVolumeTableEnvironmentVariable = "QUARRANE_VOLUME_TABLE";

// Installs a table as the process's for as long as the scope lives (tests). Scopes nest.
class CVolumeTableScope final
{
public:
    explicit CVolumeTableScope(const CVolumeTable& table);
    ~CVolumeTableScope();
    CVolumeTableScope(const CVolumeTableScope&) = delete;
    CVolumeTableScope& operator=(const CVolumeTableScope&) = delete;

private:
    const CVolumeTable* m_pPrevious;
};

// The volume of a list that holds path (longest mount-point prefix), nothing when none does.
std::optional<CVolume> FindVolumeOfPath(const std::vector<CVolume>& volumes, const QString& path);
