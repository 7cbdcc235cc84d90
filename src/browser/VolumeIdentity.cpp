#include "browser/VolumeIdentity.h"

#include "platform/VolumeTable.h"

#include <QDir>
#include <QFileInfo>

CVolumeIdentity ReadVolumeIdentity(const QString& location)
{
    CVolumeIdentity identity;
    if (location.isEmpty() || !QFileInfo::exists(location))
        return identity;
    const QString absolute = QDir::cleanPath(QFileInfo(location).absoluteFilePath());
    const std::optional<CVolume> volume = ProcessVolumeTable().VolumeOf(absolute);
    if (!volume)
        return identity;
    identity.bReadable = true;
    identity.strLabel = volume->m_strLabel;
    identity.lSerial = volume->m_nSerial;
    identity.strDriveType = volume->DriveTypeName();
    identity.bIsVolumeRoot = absolute == volume->m_strMountPoint;
    return identity;
}

QString SerialText(qint32 serial)
{
    return QString::number(static_cast<quint32>(serial), 16).toUpper();
}
