#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class CDbDatabase;
class CVolumeTable;

// The volume identity a catalogue recorded, enough to find its medium again.
struct CCatalogueMedium
{
    qint32 lCatalogueId = 0;
    QString strCatalogue;
    QString strLocation;
    qint32 lVolumeSerial = 0;
    QString strVolume;
    QString strDriveType;
};

// Every catalogue's medium, in identifier order. Throws CDbException.
std::vector<CCatalogueMedium> ReadCatalogueMedia(CDbDatabase& db);
// Whether the catalogue's medium is mounted now, found as the file operations find it: by serial
// number (wherever it is mounted now), else at its location on a volume of its drive type.
// Network locations count as online.
bool IsCatalogueMediumOnline(const CVolumeTable& table, const CCatalogueMedium& medium);

// Which catalogues of the open database have their medium mounted, kept up to date by Refresh()
// (called when the volume table or the catalogues change). It tells of each change, and of a
// medium that appeared, so that its catalogue can be offered for synchronizing.
class CMediaPresence final : public QObject
{
    Q_OBJECT

public:
    explicit CMediaPresence(QObject* parent = nullptr);
    ~CMediaPresence() override;

    // The database whose catalogues are followed; nullptr forgets them. Reads them at once,
    // without telling of arrivals: what is mounted at opening did not just appear.
    void SetDatabase(CDbDatabase* db);
    CDbDatabase* Database() const { return m_pDatabase; }
    // The table asked; the process's own by default (not owned).
    void SetVolumeTable(const CVolumeTable* table) { m_pTable = table; }

    // Reads the catalogues and the volumes again.
    void Refresh();

    // Nothing for a catalogue that is not known (yet).
    std::optional<bool> IsOnline(qint32 catalogueId) const;

signals:
    void onlineChanged(qint32 catalogueId, bool online);
    // A catalogue's medium was not mounted and now is.
    void mediumArrived(qint32 catalogueId, const QString& catalogue);

private:
    void Read(bool tell);

    CDbDatabase* m_pDatabase = nullptr;
    const CVolumeTable* m_pTable = nullptr;
    QHash<qint32, bool> m_online;
};
