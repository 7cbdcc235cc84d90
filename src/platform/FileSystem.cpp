#include "platform/FileSystem.h"

#include "platform/FileAttributes.h"
#include "platform/FolderListing.h"
#include "platform/NativeName.h"
#include "platform/StatxStatus.h"
#include "platform/SystemErrorCodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/time.h>
#include <unistd.h>

namespace
{
constexpr long kMsdosSuperMagic = 0x4d44;

int LastError()
{
    return SystemErrorFromErrno(errno);
}

QByteArray Native(const QString& path)
{
    return NativeName::ToBytes(path);
}

// A file descriptor closed when it goes out of scope.
class CFileDescriptor final
{
public:
    explicit CFileDescriptor(int fd = -1) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now, reporting the error a late write-back may surface.
    int Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : LastError();
    }

private:
    int m_fd;
};

// FAT keeps the read-only, hidden, system and archive bits on the medium; the kernel hands
// them out through an ioctl on an open file.
unsigned FatAttributes(const QByteArray& path)
{
    struct statfs fs = {};
    if (statfs(path.constData(), &fs) != 0 || fs.f_type != kMsdosSuperMagic)
        return 0;
    CFileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    __u32 attributes = 0;
    if (fd.Get() < 0 || ioctl(fd.Get(), FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0)
        return 0;
    return attributes & (FileAttribute::ReadOnly | FileAttribute::Hidden | FileAttribute::System |
                         FileAttribute::Archive);
}

int WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0)
    {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return LastError();
        }
        data += n;
        size -= size_t(n);
    }
    return 0;
}

int CopyTree(const QString& source, const QString& destination);
int RemoveTree(const QString& path);
} // namespace

int QueryFileStatus(const QString& path, CFileStatus& status)
{
    status = CFileStatus();
    const QByteArray native = Native(path);
    struct statx info = {};
    if (statx(AT_FDCWD, native.constData(), 0, STATX_BASIC_STATS, &info) != 0)
    {
        const int error = errno;
        // A link whose target is gone is still an entry that can be moved or removed.
        if ((error == ENOENT || error == ELOOP) &&
            statx(AT_FDCWD, native.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) == 0 &&
            S_ISLNK(info.stx_mode))
        {
            status.m_bSymbolicLink = true;
            status.m_nAttributes = FileAttribute::Normal;
            status.m_nDevice = makedev(info.stx_dev_major, info.stx_dev_minor);
            status.m_nInode = info.stx_ino;
            status.m_nModifiedSecs = info.stx_mtime.tv_sec;
            return 0;
        }
        return SystemErrorFromErrno(error);
    }
    struct stat linkInfo = {};
    status.m_bSymbolicLink = lstat(native.constData(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode);
    FillStatusFromStatx(info, QFileInfo(path).fileName().startsWith(QLatin1Char('.')), FatAttributes(native), status);
    return 0;
}

int QueryFileTimes(const QString& path, CFileStatus& status)
{
    status = CFileStatus();
    struct statx info = {};
    if (statx(AT_FDCWD, Native(path).constData(), 0, STATX_TYPE | STATX_SIZE | STATX_INO | STATX_MTIME,
              &info) != 0)
        return QueryFileStatus(path, status);
    status.m_bDirectory = S_ISDIR(info.stx_mode);
    status.m_bRegular = S_ISREG(info.stx_mode);
    status.m_nSize = info.stx_size;
    status.m_nDevice = makedev(info.stx_dev_major, info.stx_dev_minor);
    status.m_nInode = info.stx_ino;
    status.m_nModifiedSecs = info.stx_mtime.tv_sec;
    return 0;
}

bool IsWalDatabaseOpenElsewhere(const QString& databasePath)
{
    const int fd = ::open(Native(databasePath + QStringLiteral("-shm")).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // SQLite's Unix shared-memory layout: eight lock bytes from offset 120, then the dead-man byte.
    constexpr off_t kDeadManByte = 120 + 8;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kDeadManByte;
    lock.l_len = 1;
    const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

bool IsSameFile(const QString& path1, const QString& path2)
{
    CFileStatus a;
    CFileStatus b;
    return QueryFileStatus(path1, a) == 0 && QueryFileStatus(path2, b) == 0 &&
           a.m_nDevice == b.m_nDevice && a.m_nInode == b.m_nInode;
}

int MakeFolder(const QString& path)
{
    return ::mkdir(Native(path).constData(), 0777) == 0 ? 0 : LastError();
}

int DeleteEntry(const QString& path)
{
    const QByteArray native = Native(path);
    struct stat info = {};
    if (lstat(native.constData(), &info) != 0)
        return LastError();
    const int rc = S_ISDIR(info.st_mode) ? ::rmdir(native.constData()) : ::unlink(native.constData());
    if (rc == 0)
        return 0;
    // rmdir says EEXIST or ENOTEMPTY for a folder with entries, by filesystem.
    return errno == EEXIST ? SystemError::DirNotEmpty : LastError();
}

int RenameEntry(const QString& source, const QString& destination)
{
    return ::rename(Native(source).constData(), Native(destination).constData()) == 0 ? 0 : LastError();
}

int CopyFileToNew(const QString& source, const QString& destination)
{
    const QByteArray nativeSource = Native(source);
    const QByteArray nativeDestination = Native(destination);
    // Non-blocking, so that a named pipe in place of a file cannot hang the copy.
    CFileDescriptor in(::open(nativeSource.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.Get() < 0)
        return LastError();
    struct stat info = {};
    if (fstat(in.Get(), &info) != 0)
        return LastError();
    if (!S_ISREG(info.st_mode))
        return SystemError::AccessDenied;
    CFileDescriptor out(::open(nativeDestination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                               info.st_mode & 07777));
    if (out.Get() < 0)
        return LastError();

    int rc = 0;
    std::vector<char> buffer(1 << 20);
    quint64 copied = 0;
    while (rc == 0)
    {
        const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            rc = LastError();
            break;
        }
        if (n == 0)
            break;
        rc = WriteAll(out.Get(), buffer.data(), size_t(n));
        copied += quint64(n);
    }
    if (rc == 0)
    {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(out.Get(), times);
        ::fchmod(out.Get(), info.st_mode & 07777);
        if (::fsync(out.Get()) != 0)
            rc = LastError();
    }
    struct stat written = {};
    if (rc == 0 && (fstat(out.Get(), &written) != 0 || quint64(written.st_size) != quint64(info.st_size) ||
                    copied != quint64(info.st_size)))
        rc = SystemError::IoDevice;
    const int closeRc = out.Close();
    if (rc == 0)
        rc = closeRc;
    if (rc != 0)
        ::unlink(nativeDestination.constData());
    return rc;
}

namespace
{
int CopyTree(const QString& source, const QString& destination)
{
    struct stat info = {};
    if (lstat(Native(source).constData(), &info) != 0)
        return LastError();
    if (S_ISLNK(info.st_mode))
    {
        QByteArray buffer(4096, '\0');
        const ssize_t n = ::readlink(Native(source).constData(), buffer.data(), size_t(buffer.size() - 1));
        if (n < 0)
            return LastError();
        buffer.truncate(int(n));
        return ::symlink(buffer.constData(), Native(destination).constData()) == 0 ? 0 : LastError();
    }
    if (!S_ISDIR(info.st_mode))
        return CopyFileToNew(source, destination);
    if (::mkdir(Native(destination).constData(), info.st_mode & 07777) != 0)
        return LastError();
    CFolderListing listing(source);
    if (!listing.IsOpen())
        return SystemError::AccessDenied;
    CFolderListing::Entry entry;
    while (listing.Next(entry))
        if (const int rc =
                CopyTree(source + QLatin1Char('/') + entry.name, destination + QLatin1Char('/') + entry.name))
            return rc;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(AT_FDCWD, Native(destination).constData(), times, 0);
    return 0;
}

int RemoveTree(const QString& path)
{
    struct stat info = {};
    if (lstat(Native(path).constData(), &info) != 0)
        return LastError();
    if (S_ISDIR(info.st_mode))
    {
        // Names first, removals after: a folder is not changed while it is being read.
        QStringList names;
        CFolderListing listing(path);
        CFolderListing::Entry entry;
        while (listing.Next(entry))
            names.append(entry.name);
        for (const QString& name : names)
            if (const int rc = RemoveTree(path + QLatin1Char('/') + name))
                return rc;
    }
    return DeleteEntry(path);
}
} // namespace

int MoveEntry(const QString& source, const QString& destination)
{
    const int rc = RenameEntry(source, destination);
    if (rc != SystemError::NotSameDevice)
        return rc;
    struct stat info = {};
    if (lstat(Native(source).constData(), &info) != 0)
        return LastError();
    if (S_ISDIR(info.st_mode))
    {
        if (const int copyRc = CopyTree(source, destination))
        {
            RemoveTree(destination);
            return copyRc;
        }
        // From here on the copy is complete: a removal that stops half-way keeps both, so that
        // nothing is lost.
        return RemoveTree(source);
    }
    // Written under a temporary name and renamed into place, so that an existing destination is
    // replaced only by a complete copy, as rename would have done.
    const QFileInfo target(destination);
    const QString partial = target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".quarrane-part");
    DeleteEntry(partial);
    const int copyRc = S_ISLNK(info.st_mode) ? CopyTree(source, partial) : CopyFileToNew(source, partial);
    if (copyRc != 0)
        return copyRc;
    if (const int renameRc = RenameEntry(partial, destination))
    {
        DeleteEntry(partial);
        return renameRc;
    }
    if (const int removeRc = DeleteEntry(source))
    {
        DeleteEntry(destination);
        return removeRc;
    }
    return 0;
}

void FillStatusFromStatx(const struct statx& info, bool hiddenName, unsigned extraBits, CFileStatus& status)
{
    status.m_bDirectory = S_ISDIR(info.stx_mode);
    status.m_bRegular = S_ISREG(info.stx_mode);
    status.m_nLinkCount = info.stx_nlink;
    status.m_nSize = info.stx_size;
    status.m_nDevice = makedev(info.stx_dev_major, info.stx_dev_minor);
    status.m_nInode = info.stx_ino;
    status.m_nModifiedSecs = info.stx_mtime.tv_sec;
    unsigned bits = extraBits;
    if ((info.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        bits |= FileAttribute::ReadOnly;
    if (hiddenName)
        bits |= FileAttribute::Hidden;
    if (status.m_bDirectory)
        bits |= FileAttribute::Directory;
    if ((info.stx_attributes_mask & STATX_ATTR_COMPRESSED) && (info.stx_attributes & STATX_ATTR_COMPRESSED))
        bits |= FileAttribute::Compressed;
    if ((info.stx_attributes_mask & STATX_ATTR_ENCRYPTED) && (info.stx_attributes & STATX_ATTR_ENCRYPTED))
        bits |= FileAttribute::Encrypted;
    if (S_ISREG(info.stx_mode) && info.stx_blocks * 512 < info.stx_size)
        bits |= FileAttribute::Sparse;
    status.m_nAttributes = bits == 0 ? FileAttribute::Normal : bits;
}
