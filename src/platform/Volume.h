#pragma once

#include <QString>

// Drive type numbers, as catalogues record them by name in Catalogue.DriveType.
enum DriveTypeNumber : int
{
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};

// "Unknown", "No Root Dir", "Removable", "Fixed", "Network", "CD-ROM", "RAM Disk"; an empty text
// for any other number.
QString DriveTypeName(int driveType);
// The number of a drive type name (exact text), -1 when the name is none of the seven.
int DriveTypeFromName(const QString& name);

// Whether names on a filesystem of this type are told apart by letter case. The media that
// catalogues are made portable for (FAT, exFAT, NTFS, CDs and DVDs, Windows shares) compare
// names without regard to case; Linux filesystems compare them exactly.
bool FileSystemIsCaseSensitive(const QString& fileSystemType);

// One mounted volume: what a catalogue records to find its medium again.
class CVolume final
{
public:
    QString m_strMountPoint;   // absolute, without a trailing "/" except for "/" itself
    QString m_strDevice;       // mount source as the mount table gives it ("/dev/sdb1", "server:/x")
    QString m_strFileSystem;   // "ext4", "vfat", "iso9660" ...
    QString m_strLabel;        // empty when the filesystem has none or it cannot be read
    qint32 m_nSerial = 0;      // the filesystem's serial as signed 32 bits; 0 when none is known
    int m_nDriveType = DRIVE_UNKNOWN;
    bool m_bReadOnly = false;  // mounted read-only

    QString DriveTypeName() const { return ::DriveTypeName(m_nDriveType); }
    bool IsCaseSensitive() const { return FileSystemIsCaseSensitive(m_strFileSystem); }
    // The serial as catalogues show it: upper-case hexadecimal without leading zeros ("%X").
    QString SerialText() const;

    bool operator==(const CVolume&) const = default;
};

// The serial of a filesystem from its UUID text as blkid gives it: FAT and exFAT "XXXX-XXXX"
// give their 8 hex digits, NTFS's 16 hex digits their low 32 bits, any other UUID its first 8
// hex digits. 0 when the text holds no hex digit.
qint32 SerialFromUuid(const QString& uuid);

// True when path lies at or below mountPoint, component by component ("/mnt/a" holds
// "/mnt/a/b" but not "/mnt/ab").
bool PathIsBelowMountPoint(const QString& path, const QString& mountPoint);
