#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A regular file opened for hashing, with the two ways of reading it: through the page cache, or
// directly (O_DIRECT) so that hashing a large medium does not push everything else out of the
// cache. Direct reads need offsets, lengths and memory aligned to the volume's block size.
class CHashInputFile final
{
public:
    // Files above this size are read in several chunks, and the kernel is told to read ahead more.
    static constexpr std::uint64_t kSequentialAdviceMinimum = 262144;

    CHashInputFile() = default;
    ~CHashInputFile();
    CHashInputFile(const CHashInputFile&) = delete;
    CHashInputFile& operator=(const CHashInputFile&) = delete;

    // Opens the file (the path's bytes are used unchanged) and reads its size. Returns 0 or an
    // errno value; a folder or any other non-regular file is refused with EISDIR or EINVAL.
    int Open(const std::string& nativePath);

    std::uint64_t Size() const { return m_size; }
    // The last-write time when the file was opened, seconds since 1970 UTC.
    std::int64_t ModifiedSecs() const { return m_modifiedSecs; }
    // Reads the size again (the file changed while it was read). Returns 0 or an errno value.
    int Restat();

    // The alignment that direct reads of this file need: the block size of its filesystem, or 0
    // when the filesystem cannot be asked.
    std::size_t DirectAlignment() const;

    // Opens the second, direct descriptor. False when the filesystem refuses O_DIRECT.
    bool OpenDirect();
    bool IsDirectOpen() const { return m_directFd >= 0; }

    // True when every page of the range is in the page cache: such a range is read through the
    // cache, which is faster than the device and evicts nothing.
    bool IsCached(std::uint64_t offset, std::size_t length);

    // Reads up to length bytes at offset, looping over short reads, and returns the count (less
    // than length only at end of file) or -errno. Direct reads need an aligned offset, buffer and
    // length.
    std::int64_t Read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length, bool direct);

private:
    int m_fd = -1;
    int m_directFd = -1;
    std::uint64_t m_size = 0;
    std::int64_t m_modifiedSecs = 0;
    void* m_pMap = nullptr;
    std::size_t m_mapSize = 0;
    bool m_mapTried = false;
};
