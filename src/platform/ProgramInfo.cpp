#include "platform/ProgramInfo.h"

#include <QFileInfo>

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

QString ProgramFilePath()
{
    // /proc/self/exe rather than argv[0]: it is right whatever the working folder or PATH was.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString CurrentLoginName()
{
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_name)
        return QString::fromLocal8Bit(result->pw_name);
    return QString::number(uid);
}

QString ComputerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return QString();
    return QString::fromLocal8Bit(name);
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}
