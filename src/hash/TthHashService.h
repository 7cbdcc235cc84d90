#pragma once

#include "hash/TthHashResult.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Which ways of reading a file the service may use.
enum class ETthReadMode
{
    // Direct reads where the volume allows them (ranges already cached are read from the cache),
    // the page cache otherwise or when a direct read fails.
    Auto,
    // The page cache only.
    BufferedOnly,
};

// Computes the TTH of files on disk. One object serves the whole program; calls may come from
// any thread and share nothing but the stop flag. A call reads the file in 256 KiB chunks into a
// 512 KiB buffer, reading the next chunk while the current one is hashed, and spreads the hashing
// of each chunk over the given number of threads.
class CTthHashService final
{
public:
    static constexpr std::size_t LeafSize = 1024;
    static constexpr std::size_t ChunkSize = 262144;
    static constexpr std::uint64_t MaxBlocks = 512;
    static constexpr std::uint64_t MinBlockSize = 65536;
    static constexpr int TthLength = 39;

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

    // The synchronizer's form: text receives the TTH and the TTH's length (39) is returned; when
    // capacity is smaller than that, text is empty and 39 is still returned; on failure text is
    // empty and 0 is returned.
    int HashFile(const QString& path, QString& text, int capacity,
                 const std::atomic<bool>* pCancel = nullptr) const;

    // The tree's block size for a file of fileSize bytes: at most 512 blocks, at least 64 KiB.
    static std::uint64_t BlockSizeFor(std::uint64_t fileSize);

    // Whether a filesystem whose direct reads need this alignment can take the 256 KiB chunks.
    static bool ChunkFitsAlignment(std::size_t alignment);

private:
    int m_threads;
    ETthReadMode m_mode;
    std::atomic<bool> m_stop;
};
