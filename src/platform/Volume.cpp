#include "platform/Volume.h"

#include <QSet>

#include <iterator>

namespace
{
const char* const kDriveTypeNames[] = {"Unknown", "No Root Dir", "Removable", "Fixed",
                                       "Network", "CD-ROM", "RAM Disk"};
}

QString DriveTypeName(int driveType)
{
    if (driveType < 0 || driveType >= int(std::size(kDriveTypeNames)))
        return {};
    return QString::fromLatin1(kDriveTypeNames[driveType]);
}

int DriveTypeFromName(const QString& name)
{
    for (int i = 0; i < int(std::size(kDriveTypeNames)); ++i)
        if (name == QLatin1String(kDriveTypeNames[i]))
            return i;
    return -1;
}

bool FileSystemIsCaseSensitive(const QString& fileSystemType)
{
    static const QSet<QString> insensitive = {
        "vfat", "msdos", "fat", "exfat", "ntfs", "ntfs3", "fuseblk", "iso9660", "udf",
        "cifs", "smb3", "smbfs"};
    return !insensitive.contains(fileSystemType.toLower());
}

QString CVolume::SerialText() const
{
    return QString::number(quint32(m_nSerial), 16).toUpper();
}

qint32 SerialFromUuid(const QString& uuid)
{
    QString digits;
    for (const QChar c : uuid)
        if (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            digits += c;
    if (digits.isEmpty())
        return 0;
    const bool ntfsShape = digits.size() == 16 && digits.size() == uuid.size();
    const QString chosen = ntfsShape ? digits.right(8) : digits.left(8);
    return qint32(chosen.toUInt(nullptr, 16));
}

bool PathIsBelowMountPoint(const QString& path, const QString& mountPoint)
{
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    if (!path.startsWith(mountPoint))
        return false;
    return path.size() == mountPoint.size() || path.at(mountPoint.size()) == QLatin1Char('/');
}
