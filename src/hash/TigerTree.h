#pragma once

#include "hash/TigerDigest.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Turns a file's leaves, in file order, into the THEX root of its Tiger tree while holding at most
// one digest per block of the file and one partial subtree per tree level.
class CTigerTree final
{
public:
    // blockSize: a power-of-two multiple of 1024 bytes, at least 1024.
    explicit CTigerTree(std::uint64_t blockSize);

    // Adds one leaf of at most 1024 bytes; only the last leaf of a file may be shorter, and an
    // empty file has one empty leaf.
    void AddLeaf(const std::uint8_t* data, std::size_t length);

    // Adds the root of a complete subtree that covers count file bytes (a power-of-two multiple
    // of 1024, at most the block size) starting at a multiple of count. Subtrees computed
    // elsewhere, for example by other threads, join the tree this way.
    void AddSubtree(const CTigerDigest& hash, std::uint64_t count);

    // Folds what is left into the root; an accumulator that saw no leaf gives the empty file's
    // root. Nothing may be added afterwards.
    CTigerDigest Root();

    std::uint64_t Bytes() const { return m_bytes; }
    std::uint64_t BlockSize() const { return m_blockSize; }
    std::size_t BlockCount() const { return m_blocks.size(); }

private:
    struct CNode
    {
        CTigerDigest hash;
        std::uint64_t count;
    };

    void Push(const CTigerDigest& hash, std::uint64_t count);
    CTigerDigest SubtreeHash(std::uint64_t offset, std::uint64_t length) const;

    std::vector<CNode> m_stack;
    std::vector<CTigerDigest> m_blocks;
    CTigerDigest m_root;
    std::uint64_t m_bytes;
    std::uint64_t m_blockSize;
    bool m_anyLeaf;
};
