#include "platform/FolderListing.h"

#include "platform/FileAttributes.h"
#include "platform/NativeName.h"
#include "platform/StatxStatus.h"
#include "platform/SystemErrorCodes.h"

#include <QFile>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

struct CFolderListing::CDirectory
{
    explicit CDirectory(DIR* d) : dir(d) {}
    ~CDirectory()
    {
        if (dir)
            closedir(dir);
    }
    CDirectory(const CDirectory&) = delete;
    CDirectory& operator=(const CDirectory&) = delete;
    DIR* dir;
};

namespace
{
CFolderListing::Kind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return CFolderListing::Kind::File;
    if (S_ISDIR(mode))
        return CFolderListing::Kind::Folder;
    if (S_ISLNK(mode))
        return CFolderListing::Kind::Link;
    return CFolderListing::Kind::Special;
}

// What the entry is, from the directory's own word when it gives one, else from the entry itself.
CFolderListing::Kind KindOf(int folder, const char* name, unsigned char type)
{
    CFolderListing::Kind kind = CFolderListing::Kind::File;
    switch (type)
    {
    case DT_REG:
        return CFolderListing::Kind::File;
    case DT_DIR:
        return CFolderListing::Kind::Folder;
    case DT_LNK:
        kind = CFolderListing::Kind::Link;
        break;
    case DT_UNKNOWN:
    {
        struct stat self = {};
        // Gone since the read: a file, whose status will then fail and say so.
        if (fstatat(folder, name, &self, AT_SYMLINK_NOFOLLOW) != 0)
            return CFolderListing::Kind::File;
        kind = KindOfMode(self.st_mode);
        break;
    }
    default:
        return CFolderListing::Kind::Special;
    }
    if (kind != CFolderListing::Kind::Link)
        return kind;
    struct stat target = {};
    return fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode)
               ? CFolderListing::Kind::FolderLink
               : CFolderListing::Kind::Link;
}
} // namespace

CFolderListing::CFolderListing(const QString& folder, bool fullStatus)
    : m_strFolder(folder), m_bFullStatus(fullStatus)
{
    if (DIR* dir = opendir(NativeName::ToBytes(folder).constData()))
        m_pDirectory = std::make_unique<CDirectory>(dir);
}

CFolderListing::~CFolderListing() = default;

bool CFolderListing::IsOpen() const
{
    return m_pDirectory != nullptr;
}

bool CFolderListing::Next(Entry& entry)
{
    if (!m_pDirectory)
        return false;
    for (;;)
    {
        errno = 0;
        const dirent* item = readdir(m_pDirectory->dir);
        if (!item)
            return false;
        const char* name = item->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        entry.name = NativeName::FromBytes(name);
        entry.kind = KindOf(dirfd(m_pDirectory->dir), name, item->d_type);
        return true;
    }
}

int CFolderListing::Status(const Entry& entry, CFileStatus& status) const
{
    if (m_bFullStatus || !m_pDirectory)
        return QueryFileStatus(m_strFolder + QLatin1Char('/') + entry.name, status);
    status = CFileStatus();
    const QByteArray name = NativeName::ToBytes(entry.name);
    struct statx info = {};
    if (statx(dirfd(m_pDirectory->dir), name.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) != 0)
        return SystemErrorFromErrno(errno);
    FillStatusFromStatx(info, entry.name.startsWith(QLatin1Char('.')), 0, status);
    return 0;
}
