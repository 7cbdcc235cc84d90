#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class CMirrowelDoc;
class CSynchLauncher;
class QTimer;

// The document's link to the synchronizer: hands it command lines, listens to its notices, and
// refreshes a catalogue a while after the synchronizer worked on it (8000 ms after starting it,
// 5000 ms after a notice). Pending refreshes end with the database.
class CSynchLink final : public QObject
{
    Q_OBJECT

public:
    explicit CSynchLink(CMirrowelDoc& doc, QObject* parent = nullptr);
    ~CSynchLink() override;

    // Who receives command lines (by default, quarranesynch beside us, started in the background).
    void SetSynchLauncher(CSynchLauncher* launcher);
    CSynchLauncher* SynchLauncher();

    // Hands a command line to the synchronizer; the catalogue is refreshed 8000 ms after it was
    // sent. The window is not held while the synchronizer starts.
    void Send(const QString& topic, const QString& commandLine, qint32 catalogueId);

    void ScheduleCatalogueRefresh(qint32 catalogueId, int delayMs);
    int PendingRefreshCount() const { return static_cast<int>(m_refreshTimers.size()); }
    void CancelRefreshes();

signals:
    // A catalogue's item and files are to be refreshed after the synchronizer worked on it.
    void catalogueChanged(qint32 catalogueId);

private:
    void OnAdvise(const QString& item);

    CMirrowelDoc& m_doc;
    CSynchLauncher* m_pLauncher = nullptr;
    std::unique_ptr<CSynchLauncher> m_pOwnLauncher;
    std::vector<QTimer*> m_refreshTimers;
};
