#include "platform/FixtureVolumeTable.h"

#include "platform/PathResolution.h"
#include "platform/SystemErrorCodes.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace
{
QString DefaultFileSystem(int driveType)
{
    switch (driveType)
    {
    case DRIVE_REMOVABLE: return QStringLiteral("vfat");
    case DRIVE_FIXED: return QStringLiteral("ext4");
    case DRIVE_REMOTE: return QStringLiteral("nfs");
    case DRIVE_CDROM: return QStringLiteral("iso9660");
    case DRIVE_RAMDISK: return QStringLiteral("tmpfs");
    default: return {};
    }
}

QString NormalMountPoint(const QString& mountPoint)
{
    return ResolvePathThroughLinks(mountPoint);
}
} // namespace

CFixtureVolumeTable::CFixtureVolumeTable(std::vector<CEntry> entries) : m_entries(std::move(entries))
{
    for (CEntry& entry : m_entries)
        entry.m_volume.m_strMountPoint = NormalMountPoint(entry.m_volume.m_strMountPoint);
}

std::unique_ptr<CFixtureVolumeTable> CFixtureVolumeTable::FromFile(const QString& fixturePath)
{
    auto table = std::make_unique<CFixtureVolumeTable>();
    table->m_strFixturePath = fixturePath;
    return table;
}

CFixtureVolumeTable::CEntry CFixtureVolumeTable::MakeEntry(const QString& mountPoint, int driveType,
                                                           quint32 serial, const QString& label,
                                                           const QString& fileSystem,
                                                           std::optional<quint64> freeBytes)
{
    CEntry entry;
    entry.m_volume.m_strMountPoint = NormalMountPoint(mountPoint);
    entry.m_volume.m_strDevice = QStringLiteral("fixture");
    entry.m_volume.m_nDriveType = driveType;
    entry.m_volume.m_nSerial = qint32(serial);
    entry.m_volume.m_strLabel = label;
    entry.m_volume.m_strFileSystem = fileSystem.isEmpty() ? DefaultFileSystem(driveType) : fileSystem;
    entry.m_volume.m_bReadOnly = driveType == DRIVE_CDROM;
    entry.m_nFreeBytes = freeBytes;
    return entry;
}

std::vector<CFixtureVolumeTable::CEntry> CFixtureVolumeTable::Parse(const QString& text, QStringList* pErrors)
{
    std::vector<CEntry> entries;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n)
    {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        bool ok = fields.size() >= 4 && fields.size() <= 6 && fields[0].startsWith(QLatin1Char('/'));
        int driveType = -1;
        quint32 serial = 0;
        std::optional<quint64> freeBytes;
        if (ok)
        {
            driveType = DriveTypeFromName(fields[1]);
            if (driveType < 0)
            {
                bool isNumber = false;
                driveType = fields[1].toInt(&isNumber);
                ok = isNumber && driveType >= 0 && driveType <= DRIVE_RAMDISK;
            }
            bool serialOk = false;
            serial = fields[2].toUInt(&serialOk, 16);
            ok = ok && serialOk;
        }
        if (ok && fields.size() == 6)
            freeBytes = fields[5].toULongLong(&ok);
        if (!ok)
        {
            if (pErrors)
                pErrors->append(QStringLiteral("line %1: %2").arg(n + 1).arg(line));
            continue;
        }
        entries.push_back(MakeEntry(fields[0], driveType, serial, fields[3],
                                    fields.size() >= 5 ? fields[4] : QString(), freeBytes));
    }
    return entries;
}

QString CFixtureVolumeTable::Format(const std::vector<CEntry>& entries)
{
    QString text = QStringLiteral("# mount point\tdrive type\tserial\tlabel\tfilesystem\tfree bytes\n");
    for (const CEntry& entry : entries)
    {
        const CVolume& v = entry.m_volume;
        text += QStringList{v.m_strMountPoint, v.DriveTypeName(), v.SerialText(), v.m_strLabel, v.m_strFileSystem}.join(QLatin1Char('\t'));
        if (entry.m_nFreeBytes)
            text += QLatin1Char('\t') + QString::number(*entry.m_nFreeBytes);
        text += QLatin1Char('\n');
    }
    return text;
}

bool CFixtureVolumeTable::WriteFile(const QString& fixturePath, const std::vector<CEntry>& entries)
{
    QSaveFile file(fixturePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(Format(entries).toUtf8());
    return file.commit();
}

void CFixtureVolumeTable::SetEntries(std::vector<CEntry> entries)
{
    for (CEntry& entry : entries)
        entry.m_volume.m_strMountPoint = NormalMountPoint(entry.m_volume.m_strMountPoint);
    std::lock_guard lock(m_mutex);
    m_entries = std::move(entries);
}

std::vector<CFixtureVolumeTable::CEntry> CFixtureVolumeTable::Entries() const
{
    if (!m_strFixturePath.isEmpty())
    {
        QFile file(m_strFixturePath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return Parse(QString::fromUtf8(file.readAll()));
    }
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::vector<CVolume> CFixtureVolumeTable::Volumes() const
{
    std::vector<CVolume> volumes;
    for (const CEntry& entry : Entries())
        volumes.push_back(entry.m_volume);
    return volumes;
}

std::optional<CVolume> CFixtureVolumeTable::VolumeOf(const QString& path) const
{
    return FindVolumeOfPath(Volumes(), ResolvePathThroughLinks(path));
}

int CFixtureVolumeTable::FreeSpace(const QString& path, quint64& freeBytes) const
{
    const QString resolved = ResolvePathThroughLinks(path);
    const CEntry* best = nullptr;
    const std::vector<CEntry> entries = Entries();
    for (const CEntry& entry : entries)
        if (PathIsBelowMountPoint(resolved, entry.m_volume.m_strMountPoint) &&
            (!best || entry.m_volume.m_strMountPoint.size() >= best->m_volume.m_strMountPoint.size()))
            best = &entry;
    if (best && best->m_nFreeBytes)
    {
        if (!QFileInfo::exists(path))
            return SystemError::PathNotFound;
        freeBytes = *best->m_nFreeBytes;
        return 0;
    }
    return CVolumeTable::FreeSpace(path, freeBytes);
}
