#include "platform/HashInputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

CHashInputFile::~CHashInputFile()
{
    if (m_pMap != nullptr)
        munmap(m_pMap, m_mapSize);
    if (m_directFd >= 0)
        close(m_directFd);
    if (m_fd >= 0)
        close(m_fd);
}

int CHashInputFile::Open(const std::string& nativePath)
{
    m_fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return errno;
    struct stat st{};
    if (fstat(m_fd, &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    // A pipe or a device has no size to bound the reading; only regular files are hashed.
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_modifiedSecs = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    // A larger read-ahead pays only for files that take more than one read; for the many small
    // files of a photo or source folder the call would cost more than it saves.
    if (m_size > kSequentialAdviceMinimum)
        posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return 0;
}

int CHashInputFile::Restat()
{
    struct stat st{};
    if (m_fd < 0 || fstat(m_fd, &st) != 0)
        return m_fd < 0 ? EBADF : errno;
    m_size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

std::size_t CHashInputFile::DirectAlignment() const
{
    struct statfs fs{};
    if (m_fd < 0 || fstatfs(m_fd, &fs) != 0 || fs.f_bsize <= 0)
        return 0;
    return static_cast<std::size_t>(fs.f_bsize);
}

bool CHashInputFile::OpenDirect()
{
    if (m_fd < 0)
        return false;
    // Reopening through /proc/self/fd reaches the same file even if its name changed meanwhile.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    m_directFd = open(self.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    return m_directFd >= 0;
}

bool CHashInputFile::IsCached(std::uint64_t offset, std::size_t length)
{
    if (!m_mapTried)
    {
        m_mapTried = true;
        if (m_size > 0)
        {
            void* p = mmap(nullptr, m_size, PROT_READ, MAP_SHARED, m_fd, 0);
            if (p != MAP_FAILED)
            {
                m_pMap = p;
                m_mapSize = m_size;
            }
        }
    }
    if (m_pMap == nullptr || offset >= m_mapSize)
        return false;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t first = offset / page * page;
    const std::uint64_t end = std::min<std::uint64_t>(offset + length, m_mapSize);
    const std::size_t pages = static_cast<std::size_t>((end - first + page - 1) / page);
    std::vector<unsigned char> resident(pages);
    if (mincore(static_cast<char*>(m_pMap) + first, end - first, resident.data()) != 0)
        return false;
    for (unsigned char r : resident)
        if ((r & 1) == 0)
            return false;
    return true;
}

std::int64_t CHashInputFile::Read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length, bool direct)
{
    const int fd = direct ? m_directFd : m_fd;
    if (fd < 0)
        return -EBADF;
    std::size_t done = 0;
    while (done < length)
    {
        const ssize_t n = pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
        // The device returns a direct read short only at end of file; going on from an unaligned
        // offset would just fail.
        if (direct && done % 512 != 0)
            break;
    }
    return static_cast<std::int64_t>(done);
}
