#pragma once

#include "platform/VolumeTable.h"

#include <QStringList>

#include <map>
#include <mutex>

// This machine's volumes: /proc/self/mountinfo for the mounts, /dev/disk/by-label and
// /dev/disk/by-uuid for labels and serials (libblkid reads the superblock when those folders
// are missing or do not list the device), /sys/block for removable media.
class CLinuxVolumeTable final : public CVolumeTable
{
public:
    // The folders are parameters so that tests can feed a recorded mount table.
    explicit CLinuxVolumeTable(QString mountInfoPath = QStringLiteral("/proc/self/mountinfo"),
                               QString diskFolder = QStringLiteral("/dev/disk"),
                               QString sysFolder = QStringLiteral("/sys"));

    std::vector<CVolume> Volumes() const override;
    std::optional<CVolume> VolumeOf(const QString& path) const override;

    // One parsed mountinfo line, before the volume details are looked up.
    struct CMount
    {
        unsigned m_nMountId = 0; // unique to one mounting: a new disc in the same drive gets another
        QString m_strMountPoint;
        QString m_strFileSystem;
        QString m_strSource;
        unsigned m_nMajor = 0;
        unsigned m_nMinor = 0;
        bool m_bReadOnly = false;
    };
    // The mounts of a mountinfo text, in order, with mounts hidden by a later mount on the same
    // mount point left out.
    static std::vector<CMount> ParseMountInfo(const QByteArray& text);
    // True for kernel and desktop plumbing that holds no user's files.
    static bool IsPseudoMount(const CMount& mount);
    // Drive type by filesystem type and the removable flag of the device.
    static int DriveTypeOf(const QString& fileSystem, bool removable);

private:
    std::vector<CMount> Mounts() const;
    CVolume Describe(const CMount& mount) const;
    bool IsRemovable(const CMount& mount) const;

    // Label and UUID read from a device's superblock, by mount, so that a table asked for every
    // file of a walk opens the device once.
    mutable std::mutex m_probeMutex;
    mutable std::map<QString, std::pair<QString, QString>> m_probed;

    QString m_strMountInfoPath;
    QString m_strDiskFolder;
    QString m_strSysFolder;
};
