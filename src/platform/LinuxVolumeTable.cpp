#include "platform/LinuxVolumeTable.h"

#include "platform/PathResolution.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <blkid.h>

#include <map>
#include <memory>

namespace
{
// Mount tables escape blanks, tabs, newlines and backslashes in paths as octal (\040).
QString UnescapeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i)
    {
        if (field[i] == '\\' && i + 3 < field.size())
        {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char c : digits)
                ok = ok && c >= '0' && c <= '7';
            if (ok)
            {
                out += char(digits.toInt(nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

// udev names the links in /dev/disk/by-label with \xHH for unsafe characters.
QString UnescapeUdevName(const QString& name)
{
    QByteArray raw = QFile::encodeName(name);
    QByteArray out;
    for (int i = 0; i < raw.size(); ++i)
    {
        if (raw[i] == '\\' && i + 3 < raw.size() && raw[i + 1] == 'x')
        {
            bool ok = false;
            const int value = raw.mid(i + 2, 2).toInt(&ok, 16);
            if (ok)
            {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += raw[i];
    }
    return QString::fromUtf8(out);
}

struct CBlkidProbeDeleter
{
    void operator()(blkid_struct_probe* p) const { blkid_free_probe(p); }
};
using CBlkidProbe = std::unique_ptr<blkid_struct_probe, CBlkidProbeDeleter>;

// Reads label and UUID from the superblock itself; needs read access to the device.
void ProbeDevice(const QString& device, QString& label, QString& uuid)
{
    CBlkidProbe probe(blkid_new_probe_from_filename(QFile::encodeName(device).constData()));
    if (!probe)
        return;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return;
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe.get(), "LABEL", &value, nullptr) == 0 && value)
        label = QString::fromUtf8(value);
    if (blkid_probe_lookup_value(probe.get(), "UUID", &value, nullptr) == 0 && value)
        uuid = QString::fromUtf8(value);
}

// The links of one /dev/disk folder, by the device they point at.
std::map<QString, QString> ReadDiskLinks(const QString& folder)
{
    std::map<QString, QString> byDevice;
    QDir dir(folder);
    if (!dir.exists())
        return byDevice;
    const QFileInfoList links = dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links)
    {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            byDevice[target] = UnescapeUdevName(link.fileName());
    }
    return byDevice;
}

const QSet<QString>& NetworkFileSystems()
{
    static const QSet<QString> types = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "glusterfs", "9p",
        "fuse.sshfs", "sshfs", "fuse.rclone", "davfs", "fuse.davfs2", "fuse.glusterfs",
        "fuse.s3fs", "fuse.smbnetfs", "lustre", "gpfs", "ocfs2", "gfs2"};
    return types;
}
} // namespace

CLinuxVolumeTable::CLinuxVolumeTable(QString mountInfoPath, QString diskFolder, QString sysFolder)
    : m_strMountInfoPath(std::move(mountInfoPath)), m_strDiskFolder(std::move(diskFolder)),
      m_strSysFolder(std::move(sysFolder))
{
}

std::vector<CLinuxVolumeTable::CMount> CLinuxVolumeTable::ParseMountInfo(const QByteArray& text)
{
    std::vector<CMount> mounts;
    for (const QByteArray& line : text.split('\n'))
    {
        // id parent major:minor root mount-point options [optional fields] - type source super-options
        const QList<QByteArray> fields = line.split(' ');
        const int dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 2 >= fields.size())
            continue;
        CMount mount;
        mount.m_nMountId = fields[0].toUInt();
        const QList<QByteArray> numbers = fields[2].split(':');
        if (numbers.size() == 2)
        {
            mount.m_nMajor = numbers[0].toUInt();
            mount.m_nMinor = numbers[1].toUInt();
        }
        mount.m_strMountPoint = UnescapeMountField(fields[4]);
        mount.m_bReadOnly = fields[5].split(',').contains("ro");
        mount.m_strFileSystem = UnescapeMountField(fields[dash + 1]);
        mount.m_strSource = UnescapeMountField(fields[dash + 2]);
        if (!mount.m_strMountPoint.startsWith(QLatin1Char('/')))
            continue;
        // A later mount on the same mount point hides the earlier one: only the later is seen.
        std::erase_if(mounts, [&](const CMount& m) { return m.m_strMountPoint == mount.m_strMountPoint; });
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

bool CLinuxVolumeTable::IsPseudoMount(const CMount& mount)
{
    static const QSet<QString> pseudo = {
        "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue", "debugfs",
        "tracefs", "securityfs", "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs", "nfsd", "sockfs",
        "pipefs", "anon_inodefs", "cpuset", "xenfs", "zonefs", "binder", "rootfs",
        "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "fuse.doc"};
    if (pseudo.contains(mount.m_strFileSystem))
        return true;
    // Packaged software images are the system's, not media of the user's.
    if (mount.m_strFileSystem == QLatin1String("squashfs") &&
        (PathIsBelowMountPoint(mount.m_strMountPoint, QStringLiteral("/snap")) ||
         PathIsBelowMountPoint(mount.m_strMountPoint, QStringLiteral("/var/lib/snapd"))))
        return true;
    // Memory filesystems under /proc and /sys are kernel scaffolding, not places for files.
    if (mount.m_strFileSystem == QLatin1String("tmpfs"))
        return PathIsBelowMountPoint(mount.m_strMountPoint, QStringLiteral("/sys")) ||
               PathIsBelowMountPoint(mount.m_strMountPoint, QStringLiteral("/proc"));
    return false;
}

int CLinuxVolumeTable::DriveTypeOf(const QString& fileSystem, bool removable)
{
    if (NetworkFileSystems().contains(fileSystem))
        return DRIVE_REMOTE;
    if (fileSystem == QLatin1String("iso9660") || fileSystem == QLatin1String("udf"))
        return DRIVE_CDROM;
    if (fileSystem == QLatin1String("tmpfs") || fileSystem == QLatin1String("ramfs"))
        return DRIVE_RAMDISK;
    return removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

std::vector<CLinuxVolumeTable::CMount> CLinuxVolumeTable::Mounts() const
{
    QFile file(m_strMountInfoPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Files under /proc report size 0: read until the end.
    return ParseMountInfo(file.readAll());
}

bool CLinuxVolumeTable::IsRemovable(const CMount& mount) const
{
    // /sys/dev/block/MAJ:MIN is the device; a partition's removable flag is its disk's.
    const QString devLink = QStringLiteral("%1/dev/block/%2:%3").arg(m_strSysFolder).arg(mount.m_nMajor).arg(mount.m_nMinor);
    QString device = QFileInfo(devLink).canonicalFilePath();
    if (device.isEmpty())
        return false;
    if (QFileInfo::exists(device + QStringLiteral("/partition")))
        device = QFileInfo(device).path();
    QFile flag(device + QStringLiteral("/removable"));
    if (!flag.open(QIODevice::ReadOnly))
        return false;
    return flag.readAll().trimmed() == "1";
}

CVolume CLinuxVolumeTable::Describe(const CMount& mount) const
{
    CVolume volume;
    volume.m_strMountPoint = mount.m_strMountPoint;
    volume.m_strDevice = mount.m_strSource;
    volume.m_strFileSystem = mount.m_strFileSystem;
    volume.m_bReadOnly = mount.m_bReadOnly;
    if (IsPseudoMount(mount))
    {
        volume.m_nDriveType = mount.m_strFileSystem == QLatin1String("tmpfs") ? DRIVE_RAMDISK : DRIVE_UNKNOWN;
        return volume;
    }
    // A device node path; "//server/share" and names such as "tmpfs" are not.
    const bool blockDevice = mount.m_strSource.startsWith(QLatin1Char('/')) && !mount.m_strSource.startsWith(QLatin1String("//"));
    volume.m_nDriveType = DriveTypeOf(mount.m_strFileSystem, blockDevice && mount.m_nMajor != 0 && IsRemovable(mount));
    if (!blockDevice)
        return volume;

    const QString device = QFileInfo(mount.m_strSource).canonicalFilePath();
    QString label;
    QString uuid;
    const QString byUuidFolder = m_strDiskFolder + QStringLiteral("/by-uuid");
    const auto uuids = ReadDiskLinks(byUuidFolder);
    const auto labels = ReadDiskLinks(m_strDiskFolder + QStringLiteral("/by-label"));
    if (auto it = uuids.find(device); it != uuids.end())
    {
        uuid = it->second;
        if (auto l = labels.find(device); l != labels.end())
            label = l->second;
    }
    else if (!device.isEmpty())
    {
        const QString key = QString::number(mount.m_nMountId) + QLatin1Char(' ') + device;
        std::lock_guard lock(m_probeMutex);
        auto probed = m_probed.find(key);
        if (probed == m_probed.end())
        {
            ProbeDevice(device, label, uuid);
            probed = m_probed.emplace(key, std::make_pair(label, uuid)).first;
        }
        label = probed->second.first;
        uuid = probed->second.second;
    }
    volume.m_strLabel = label;
    volume.m_nSerial = SerialFromUuid(uuid);
    return volume;
}

std::vector<CVolume> CLinuxVolumeTable::Volumes() const
{
    std::vector<CVolume> volumes;
    for (const CMount& mount : Mounts())
        if (!IsPseudoMount(mount))
            volumes.push_back(Describe(mount));
    return volumes;
}

std::optional<CVolume> CLinuxVolumeTable::VolumeOf(const QString& path) const
{
    const QString resolved = ResolvePathThroughLinks(path);
    const CMount* best = nullptr;
    const std::vector<CMount> mounts = Mounts();
    for (const CMount& mount : mounts)
        if (PathIsBelowMountPoint(resolved, mount.m_strMountPoint) &&
            (!best || mount.m_strMountPoint.size() >= best->m_strMountPoint.size()))
            best = &mount;
    if (!best)
        return std::nullopt;
    return Describe(*best);
}
