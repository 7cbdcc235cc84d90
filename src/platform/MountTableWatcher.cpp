#include "platform/MountTableWatcher.h"

#include "platform/VolumeTable.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace
{
QString ProcessTablePath(bool& fixture)
{
    const QString fixturePath = qEnvironmentVariable(kVolumeTableEnvironmentVariable);
    fixture = !fixturePath.isEmpty();
    return fixture ? fixturePath : QStringLiteral("/proc/self/mountinfo");
}
} // namespace

CMountTableWatcher::CMountTableWatcher(QObject* parent) : QObject(parent)
{
    bool fixture = false;
    m_strPath = ProcessTablePath(fixture);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CMountTableWatcher::changed);
    fixture ? WatchFixture() : WatchMountInfo();
}

CMountTableWatcher::CMountTableWatcher(const QString& path, bool fixture, QObject* parent)
    : QObject(parent), m_strPath(path)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CMountTableWatcher::changed);
    fixture ? WatchFixture() : WatchMountInfo();
}

CMountTableWatcher::~CMountTableWatcher()
{
    m_pNotifier.reset();
    if (m_nFd >= 0)
        ::close(m_nFd);
}

void CMountTableWatcher::WatchMountInfo()
{
    m_nFd = ::open(QFile::encodeName(m_strPath).constData(), O_RDONLY | O_CLOEXEC);
    if (m_nFd < 0)
        return;
    // The kernel reports a change of the mount namespace as an exceptional condition on the
    // open file; polling it again clears it, so nothing needs to be read.
    m_pNotifier = std::make_unique<QSocketNotifier>(m_nFd, QSocketNotifier::Exception);
    connect(m_pNotifier.get(), &QSocketNotifier::activated, this, [this] { m_settle.start(); });
    m_bWatching = true;
}

void CMountTableWatcher::WatchFixture()
{
    // A fixture is rewritten by replacing the file, which ends a watch on the file itself: the
    // folder is watched too, and the file watched again whenever it reappears.
    m_pFileWatcher = std::make_unique<QFileSystemWatcher>();
    const QString folder = QFileInfo(m_strPath).absolutePath();
    m_bWatching = m_pFileWatcher->addPath(folder);
    if (QFileInfo::exists(m_strPath))
        m_pFileWatcher->addPath(m_strPath);
    connect(m_pFileWatcher.get(), &QFileSystemWatcher::fileChanged, this, [this] { m_settle.start(); });
    connect(m_pFileWatcher.get(), &QFileSystemWatcher::directoryChanged, this,
            &CMountTableWatcher::OnFixtureFolderChanged);
}

void CMountTableWatcher::OnFixtureFolderChanged()
{
    if (QFileInfo::exists(m_strPath) && !m_pFileWatcher->files().contains(m_strPath))
        m_pFileWatcher->addPath(m_strPath);
    m_settle.start();
}
