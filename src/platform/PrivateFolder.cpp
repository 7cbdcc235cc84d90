#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace
{
QString UserText(uid_t uid)
{
    if (const passwd* entry = getpwuid(uid); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(uid);
}

void SetError(QString* pError, const QString& text)
{
    if (pError)
        *pError = text;
}
} // namespace

uint CurrentUserId()
{
    return geteuid();
}

bool EnsurePrivateFolder(const QString& path, QString* pError)
{
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    const QString parent = QFileInfo(QDir::cleanPath(path)).path();
    if (!QDir().mkpath(parent))
    {
        SetError(pError, QStringLiteral("The folder %1 could not be created.").arg(parent));
        return false;
    }
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
    {
        SetError(pError, QStringLiteral("The folder %1 could not be created: %2.")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    // Whatever is there now is judged as it is, without following a link.
    struct stat status = {};
    if (lstat(native.constData(), &status) != 0)
    {
        SetError(pError, QStringLiteral("The folder %1 cannot be examined: %2.")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    if (!S_ISDIR(status.st_mode))
    {
        SetError(pError, QStringLiteral("%1 is not a folder (it may be a link); it is not used for private "
                                        "sockets. Remove it or set XDG_RUNTIME_DIR.")
                             .arg(path));
        return false;
    }
    if (status.st_uid != geteuid())
    {
        SetError(pError, QStringLiteral("The folder %1 belongs to the user %2, not to %3; it is not used for "
                                        "private sockets. Remove it or set XDG_RUNTIME_DIR.")
                             .arg(path, UserText(status.st_uid), UserText(geteuid())));
        return false;
    }
    if ((status.st_mode & 077) != 0)
    {
        SetError(pError,
                 QStringLiteral("The folder %1 can be reached by other users (mode %2); it is not used for "
                                "private sockets. Make it private (chmod 700) or remove it.")
                     .arg(path)
                     .arg(status.st_mode & 0777, 3, 8, QLatin1Char('0')));
        return false;
    }
    return true;
}

std::optional<uint> LocalSocketPeerUserId(qintptr descriptor)
{
    ucred credentials = {};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 ||
        getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}
