#pragma once

#include <QString>

// What a catalogue records about the volume that holds its location.
struct CVolumeIdentity
{
    bool bReadable = false; // false: the location does not exist, so nothing could be read
    QString strLabel;
    qint32 lSerial = 0;
    QString strDriveType = QStringLiteral("Unknown");
    bool bIsVolumeRoot = false; // the location is the volume's mount point
};

// Reads the identity of the volume holding an existing location. A location that does not exist
// is unreadable: the volume that holds its nearest existing parent is usually not its medium (an
// unplugged stick's mount point lies on the system disk).
CVolumeIdentity ReadVolumeIdentity(const QString& location);

// "%X" of the serial as an unsigned 32-bit value, as catalogues show it.
QString SerialText(qint32 serial);
