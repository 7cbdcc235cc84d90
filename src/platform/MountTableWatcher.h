#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

// Tells when the volume table may have changed: a medium was mounted or unmounted. The kernel
// marks /proc/self/mountinfo with POLLPRI when the mount table changes, so watching it costs
// nothing between changes; a fixture volume table file (tests, QUARRANE_VOLUME_TABLE) is watched
// through inotify instead. A burst of changes (a mount and its bind mounts) is told once.
class CMountTableWatcher final : public QObject
{
    Q_OBJECT

public:
    // How long a burst of changes is gathered before changed() is emitted.
    static constexpr int kSettleMs = 100;

    // Watches what the process's volume table reads: the fixture file named by the environment,
    // else this machine's mount table.
    explicit CMountTableWatcher(QObject* parent = nullptr);
    // Watches a mountinfo file (pollable, as /proc's is), or a fixture file when fixture is set.
    CMountTableWatcher(const QString& path, bool fixture, QObject* parent = nullptr);
    ~CMountTableWatcher() override;
    CMountTableWatcher(const CMountTableWatcher&) = delete;
    CMountTableWatcher& operator=(const CMountTableWatcher&) = delete;

    // False when the file could not be watched (the table is then only read on demand).
    bool IsWatching() const { return m_bWatching; }
    QString Path() const { return m_strPath; }

signals:
    void changed();

private:
    void WatchMountInfo();
    void WatchFixture();
    void OnFixtureFolderChanged();

    QString m_strPath;
    int m_nFd = -1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::unique_ptr<QFileSystemWatcher> m_pFileWatcher;
    QTimer m_settle;
    bool m_bWatching = false;
};
