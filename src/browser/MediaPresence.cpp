#include "browser/MediaPresence.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/MediaLocation.h"
#include "database/DbDatabase.h"
#include "database/DbStatement.h"
#include "platform/SystemErrorCodes.h"
#include "platform/Volume.h"
#include "platform/VolumeTable.h"

std::vector<CCatalogueMedium> ReadCatalogueMedia(CDbDatabase& db)
{
    std::vector<CCatalogueMedium> media;
    CDbStatement st = db.Prepare(QStringLiteral(
        "SELECT CatalogueId, Catalogue, Location, VolumeSerial, Volume, DriveType FROM Catalogue "
        "ORDER BY CatalogueId"));
    while (st.Step())
        media.push_back({st.Value(0).ToLong(), st.Value(1).ToString(), st.Value(2).ToString(),
                         st.Value(3).ToLong(), st.Value(4).ToString(), st.Value(5).ToString()});
    return media;
}

bool IsCatalogueMediumOnline(const CVolumeTable& table, const CCatalogueMedium& medium)
{
    if (medium.strLocation.isEmpty())
        return false;
    // "Unknown" and names of no drive type leave every local type to be tried.
    const int driveType = qMax(0, DriveTypeFromName(medium.strDriveType));
    QString path = medium.strLocation;
    // A medium that is there but lacks the catalogued folder is still there: only "Disk not
    // found" means offline.
    return LocateMedia(table, path, medium.lVolumeSerial, medium.strVolume, driveType, nullptr, nullptr,
                       false) != SystemError::WrongDisk;
}

CMediaPresence::CMediaPresence(QObject* parent) : QObject(parent) {}

CMediaPresence::~CMediaPresence() = default;

void CMediaPresence::SetDatabase(CDbDatabase* db)
{
    m_pDatabase = db;
    m_online.clear();
    Read(false);
}

void CMediaPresence::Refresh()
{
    Read(true);
}

std::optional<bool> CMediaPresence::IsOnline(qint32 catalogueId) const
{
    const auto it = m_online.constFind(catalogueId);
    if (it == m_online.constEnd())
        return std::nullopt;
    return *it;
}

void CMediaPresence::Read(bool tell)
{
    if (!m_pDatabase)
        return;
    std::vector<CCatalogueMedium> media;
    try
    {
        media = ReadCatalogueMedia(*m_pDatabase);
    }
    catch (const CDbException& e)
    {
        // The synchronizer may hold the database for a moment; the next change reads again.
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMediaPresence::Read() - cataloguerecset.Open"));
        return;
    }
    const CVolumeTable& table = m_pTable ? *m_pTable : ProcessVolumeTable();
    QHash<qint32, bool> online;
    for (const CCatalogueMedium& medium : media)
        online.insert(medium.lCatalogueId, IsCatalogueMediumOnline(table, medium));
    const QHash<qint32, bool> before = std::exchange(m_online, online);
    for (const CCatalogueMedium& medium : media)
    {
        const bool now = online.value(medium.lCatalogueId);
        const auto was = before.constFind(medium.lCatalogueId);
        if (was != before.constEnd() && *was == now)
            continue;
        emit onlineChanged(medium.lCatalogueId, now);
        // A catalogue made just now is not an arrival, nor is anything at the first reading.
        if (tell && now && was != before.constEnd())
            emit mediumArrived(medium.lCatalogueId, medium.strCatalogue);
    }
}
