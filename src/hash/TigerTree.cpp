#include "hash/TigerTree.h"

#include "hash/TigerTreeHashing.h"

#include <bit>
#include <cassert>

CTigerTree::CTigerTree(std::uint64_t blockSize)
    : m_root{}, m_bytes(0), m_blockSize(blockSize), m_anyLeaf(false)
{
    assert(blockSize >= TigerLeafSize && std::has_single_bit(blockSize));
}

void CTigerTree::AddLeaf(const std::uint8_t* data, std::size_t length)
{
    assert(length <= TigerLeafSize);
    // A short last leaf still counts 1024: the byte total alone shapes the tree's right edge.
    Push(TigerLeafHash(data, length), TigerLeafSize);
    m_bytes += length;
}

void CTigerTree::AddSubtree(const CTigerDigest& hash, std::uint64_t count)
{
    assert(count >= TigerLeafSize && count <= m_blockSize && std::has_single_bit(count));
    assert(m_stack.empty() || m_stack.back().count >= count);
    Push(hash, count);
    m_bytes += count;
}

void CTigerTree::Push(const CTigerDigest& hash, std::uint64_t count)
{
    m_anyLeaf = true;
    if (count == m_blockSize)
    {
        m_blocks.push_back(hash);
        return;
    }
    m_stack.push_back({hash, count});
    while (m_stack.size() >= 2 && m_stack[m_stack.size() - 2].count == m_stack.back().count)
    {
        CNode& left = m_stack[m_stack.size() - 2];
        const CTigerDigest combined = TigerNodeHash(left.hash, m_stack.back().hash);
        const std::uint64_t combinedCount = left.count * 2;
        m_stack.pop_back();
        if (combinedCount == m_blockSize)
        {
            m_stack.pop_back();
            m_blocks.push_back(combined);
        }
        else
        {
            m_stack.back() = {combined, combinedCount};
        }
    }
}

CTigerDigest CTigerTree::Root()
{
    if (!m_anyLeaf)
        AddLeaf(nullptr, 0);
    // The partial subtrees at the end of the file are folded from the right: a node without a
    // partner is carried up unchanged, as THEX does.
    while (m_stack.size() >= 2)
    {
        CNode& left = m_stack[m_stack.size() - 2];
        left.hash = TigerNodeHash(left.hash, m_stack.back().hash);
        m_stack.pop_back();
    }
    if (!m_stack.empty())
    {
        m_blocks.push_back(m_stack.back().hash);
        m_stack.clear();
    }
    m_root = m_bytes <= m_blockSize ? m_blocks.front() : SubtreeHash(0, m_bytes);
    return m_root;
}

CTigerDigest CTigerTree::SubtreeHash(std::uint64_t offset, std::uint64_t length) const
{
    if (length <= m_blockSize)
        return m_blocks[offset / m_blockSize];
    std::uint64_t left = m_blockSize;
    while (left * 2 < length)
        left *= 2;
    return TigerNodeHash(SubtreeHash(offset, left), SubtreeHash(offset + left, length - left));
}
