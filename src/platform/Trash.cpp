#include "platform/Trash.h"

#include "platform/FileSystem.h"
#include "platform/NativeName.h"
#include "platform/SystemErrorCodes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QByteArray Native(const QString& path)
{
    return NativeName::ToBytes(path);
}

bool DeviceOf(const QString& path, dev_t& device)
{
    struct stat info = {};
    if (lstat(Native(path).constData(), &info) != 0)
        return false;
    device = info.st_dev;
    return true;
}

// The device of the nearest existing folder at or above path.
bool DeviceOfNearest(QString path, dev_t& device)
{
    while (!path.isEmpty())
    {
        if (DeviceOf(path, device))
            return true;
        if (path == QLatin1String("/"))
            return false;
        path = QFileInfo(path).path();
    }
    return false;
}

// A folder of ours in a trash: it must be a real folder (no link somebody planted) we own.
bool EnsurePrivateFolder(const QString& path)
{
    const QByteArray native = Native(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info = {};
    return lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

bool EnsureTrash(const QString& trash)
{
    return EnsurePrivateFolder(trash) && EnsurePrivateFolder(trash + QStringLiteral("/files")) &&
           EnsurePrivateFolder(trash + QStringLiteral("/info"));
}

bool EnsureHomeTrash(const QString& trash)
{
    // The home trash's parents are ordinary folders of the user's.
    return QDir().mkpath(QFileInfo(trash).path()) && EnsureTrash(trash);
}

// The trash on the volume's own top folder, or empty when there is none and none can be made.
QString VolumeTrash(const QString& topDir)
{
    const QString uid = QString::number(::geteuid());
    const QString base = topDir == QLatin1String("/") ? QString() : topDir;
    const QString shared = base + QStringLiteral("/.Trash");
    struct stat info = {};
    if (lstat(Native(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX))
    {
        const QString mine = shared + QLatin1Char('/') + uid;
        if (EnsureTrash(mine))
            return mine;
    }
    const QString own = base + QStringLiteral("/.Trash-") + uid;
    if (EnsureTrash(own))
        return own;
    return {};
}

// The top folder of the volume holding path: the highest folder above it on the same device.
QString TopDirectory(const QString& path, dev_t device)
{
    QString top = QFileInfo(path).path();
    while (top != QLatin1String("/"))
    {
        const QString parent = QFileInfo(top).path();
        dev_t parentDevice = 0;
        if (!DeviceOf(parent, parentDevice) || parentDevice != device)
            break;
        top = parent;
    }
    return top;
}

QString CandidateName(const QString& fileName, int n)
{
    if (n == 1)
        return fileName;
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return fileName + QLatin1Char('.') + QString::number(n);
    return fileName.left(dot) + QLatin1Char('.') + QString::number(n) + fileName.mid(dot);
}
} // namespace

QString HomeTrashFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data) + QStringLiteral("/Trash");
}

int MoveToTrash(const QString& pathIn, QString* pTrashedPath)
{
    if (pathIn.isEmpty())
        return SystemError::FileNotFound;
    const QString path = QDir::cleanPath(QDir::isAbsolutePath(pathIn) ? pathIn : QDir::current().absoluteFilePath(pathIn));
    dev_t device = 0;
    if (!DeviceOf(path, device))
        return SystemErrorFromErrno(errno);
    dev_t parentDevice = 0;
    if (path == QLatin1String("/") || !DeviceOf(QFileInfo(path).path(), parentDevice) || parentDevice != device)
        return SystemError::AccessDenied;

    const QString home = HomeTrashFolder();
    dev_t homeDevice = 0;
    QString trash;
    QString recordedPath = path;
    if (!(DeviceOfNearest(home, homeDevice) && homeDevice == device))
    {
        const QString topDir = TopDirectory(path, device);
        trash = VolumeTrash(topDir);
        // A volume's own trash records paths relative to its top folder, so that they stay
        // right when the medium is mounted elsewhere.
        if (!trash.isEmpty())
            recordedPath = topDir == QLatin1String("/") ? path.mid(1) : path.mid(topDir.size() + 1);
    }
    if (trash.isEmpty())
    {
        trash = home;
        if (!EnsureHomeTrash(trash))
            return SystemError::AccessDenied;
    }

    const QString fileName = QFileInfo(path).fileName();
    for (int n = 1; n < 100000; ++n)
    {
        const QString name = CandidateName(fileName, n);
        const QString infoPath = trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
        const int fd = ::open(Native(infoPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
        {
            if (errno == EEXIST)
                continue;
            return SystemErrorFromErrno(errno);
        }
        const QString target = trash + QStringLiteral("/files/") + name;
        struct stat existing = {};
        if (lstat(Native(target).constData(), &existing) == 0)
        {
            // An entry without its record: leave both alone and take the next name.
            ::close(fd);
            ::unlink(Native(infoPath).constData());
            continue;
        }
        const QByteArray record = "[Trash Info]\nPath=" + Native(recordedPath).toPercentEncoding("/") +
                                  "\nDeletionDate=" +
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() + "\n";
        const bool written = ::write(fd, record.constData(), size_t(record.size())) == record.size();
        const int writeErrno = errno;
        ::close(fd);
        if (!written)
        {
            ::unlink(Native(infoPath).constData());
            return SystemErrorFromErrno(writeErrno ? writeErrno : ENOSPC);
        }
        if (const int rc = MoveEntry(path, target))
        {
            // A folder copied whole whose source could only partly be removed stays in the trash
            // with its record, so that it can be found and restored.
            struct stat copied = {};
            if (lstat(Native(target).constData(), &copied) != 0)
                ::unlink(Native(infoPath).constData());
            return rc;
        }
        if (pTrashedPath)
            *pTrashedPath = target;
        return 0;
    }
    return SystemError::AlreadyExists;
}
