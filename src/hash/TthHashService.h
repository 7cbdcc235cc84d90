#pragma once

#include "hash/TthHashResult.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CHashInputFile;

// Which ways of reading a file the service may use.
enum class ETthReadMode
{
    // Direct reads where the volume allows them (ranges already cached are read from the cache),
    // the page cache otherwise or when a direct read fails.
    Auto,
    // The page cache only.
    BufferedOnly,
    // Direct reads for files of every size where the volume allows them (comparisons of the two
    // paths); Auto keeps them for files of at least DirectFileMinimum bytes.
    Direct,
};

// Computes the TTH of files on disk. One object serves the whole program; calls may come from
// any thread and share nothing but the stop flag.
//
// Most catalogued files are small: a file below ParallelFileMinimum is read through the page cache
// in 256 KiB chunks into a buffer that its thread keeps from file to file, and hashed on the
// calling thread, so that a file costs little more than open, read and close. Threads pay for
// themselves on large files: one of at least ParallelFileMinimum bytes is read into two 256 KiB
// halves, the next chunk while the current one is hashed, and the hashing of each chunk is spread
// over the given number of threads. Large files are read directly (O_DIRECT) where the volume
// allows it, so that hashing a large medium does not push everything else out of the cache.
class CTthHashService final
{
public:
    static constexpr std::size_t LeafSize = 1024;
    static constexpr std::size_t ChunkSize = 262144;
    static constexpr std::uint64_t MaxBlocks = 512;
    static constexpr std::uint64_t MinBlockSize = 65536;
    static constexpr int TthLength = 39;
    // From this size on a file's chunks are shared among the threads and read directly.
    static constexpr std::uint64_t ParallelFileMinimum = 8 * 1024 * 1024;
    static constexpr std::uint64_t DirectFileMinimum = ParallelFileMinimum;

    explicit CTthHashService(int threads = 1, ETthReadMode mode = ETthReadMode::Auto);
    CTthHashService(const CTthHashService&) = delete;
    CTthHashService& operator=(const CTthHashService&) = delete;

    // Makes every running and later hash end unsuccessfully at its next chunk (program exit).
    void Stop();
    bool IsStopped() const { return m_stop.load(std::memory_order_relaxed); }

    int Threads() const { return m_threads; }

    // Hashes the file at nativePath (bytes used unchanged for every file-system call). Reads at
    // most the size the file had when it was opened, and stops early at end of file. pCancel,
    // when given, ends this call unsuccessfully like the stop flag.
    CTthHashResult Hash(const std::string& nativePath, const std::atomic<bool>* pCancel = nullptr) const;
    // The same for a file already open, with at most the given number of threads (a caller that
    // hashes several files at once gives each small file one thread).
    CTthHashResult Hash(CHashInputFile& file, int threads, const std::atomic<bool>* pCancel = nullptr) const;

    // The synchronizer's form: text receives the TTH and the TTH's length (39) is returned; when
    // capacity is smaller than that, text is empty and 39 is still returned; on failure text is
    // empty and 0 is returned.
    int HashFile(const QString& path, QString& text, int capacity,
                 const std::atomic<bool>* pCancel = nullptr) const;

    // The tree's block size for a file of fileSize bytes: at most 512 blocks, at least 64 KiB.
    static std::uint64_t BlockSizeFor(std::uint64_t fileSize);

    // Whether a filesystem whose direct reads need this alignment can take the 256 KiB chunks.
    static bool ChunkFitsAlignment(std::size_t alignment);

    // Called on the reading thread after every chunk is read, with the offset just past it: tests
    // change a file at a chosen point of its reading this way. Set before hashing starts.
    void SetReadObserver(std::function<void(std::uint64_t)> observer)
    {
        m_readObserver = std::move(observer);
    }

private:
    int m_threads;
    ETthReadMode m_mode;
    std::atomic<bool> m_stop;
    std::function<void(std::uint64_t)> m_readObserver;
};
