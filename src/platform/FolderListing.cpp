#include "platform/FolderListing.h"

#include "platform/FileAttributes.h"
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

CFolderListing::CFolderListing(const QString& folder, bool fullStatus)
    : m_strFolder(folder), m_bFullStatus(fullStatus)
{
    if (DIR* dir = opendir(QFile::encodeName(folder).constData()))
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
        entry.name = QFile::decodeName(name);
        entry.kind = Kind::File;
        unsigned char type = item->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK)
        {
            // The filesystem does not say, or the name is a link: ask what it leads to.
            struct stat target = {};
            if (fstatat(dirfd(m_pDirectory->dir), name, &target, 0) == 0 && S_ISDIR(target.st_mode))
                entry.kind = type == DT_LNK ? Kind::FolderLink : Kind::Folder;
            else if (type == DT_UNKNOWN)
            {
                struct stat self = {};
                if (fstatat(dirfd(m_pDirectory->dir), name, &self, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(self.st_mode) && S_ISDIR(target.st_mode))
                    entry.kind = Kind::FolderLink;
            }
        }
        else if (type == DT_DIR)
            entry.kind = Kind::Folder;
        return true;
    }
}

int CFolderListing::Status(const Entry& entry, CFileStatus& status) const
{
    if (m_bFullStatus || !m_pDirectory)
        return QueryFileStatus(m_strFolder + QLatin1Char('/') + entry.name, status);
    status = CFileStatus();
    const QByteArray name = QFile::encodeName(entry.name);
    struct statx info = {};
    if (statx(dirfd(m_pDirectory->dir), name.constData(), 0, STATX_BASIC_STATS, &info) != 0)
        return SystemErrorFromErrno(errno);
    FillStatusFromStatx(info, entry.name.startsWith(QLatin1Char('.')), 0, status);
    return 0;
}
