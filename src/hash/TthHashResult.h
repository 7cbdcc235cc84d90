#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How a file's bytes reached the hash: directly from the device (with the ranges already in the
// page cache read from there), or through the page cache alone.
enum class ETthReadPath
{
    None,
    Unbuffered,
    Buffered,
};

// The outcome of hashing one file.
struct CTthHashResult
{
    std::string tth;                 // the 39-character Base32 root; empty when hashing failed
    int error = 0;                   // errno value of the failure: ECANCELED when stopped, EISDIR
                                     // for a folder, EINVAL for any other file that is not regular
    ETthReadPath path = ETthReadPath::None;
    std::uint64_t blockSize = 0;     // bytes covered by one block digest of the tree
    std::size_t blockCount = 0;      // block digests the tree held at the end
    std::uint64_t bytesHashed = 0;
    std::uint64_t directBytes = 0;   // bytes read with O_DIRECT
    bool opened = false;             // the file was there, a regular file, and could be opened
    std::int64_t modifiedSecs = 0;   // its last-write time when it was opened (seconds, UTC)

    bool Succeeded() const { return !tth.empty(); }
};
