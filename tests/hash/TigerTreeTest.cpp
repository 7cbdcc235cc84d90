#include "hash/Base32.h"
#include "hash/Tiger.h"
#include "hash/TigerTree.h"
#include "hash/TigerTreeHashing.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{
std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

std::string Text(const CTigerDigest& digest)
{
    return Base32Encode(digest.data(), digest.size());
}

// THEX as its definition reads: all leaf hashes, then level by level pairs from the left, a
// node without a partner carried up unchanged.
CTigerDigest ThexRoot(const std::vector<std::uint8_t>& data)
{
    std::vector<CTigerDigest> level;
    for (std::size_t off = 0; off < data.size() || level.empty(); off += TigerLeafSize)
        level.push_back(TigerLeafHash(data.data() + off, std::min(TigerLeafSize, data.size() - off)));
    while (level.size() > 1)
    {
        std::vector<CTigerDigest> up;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2)
            up.push_back(TigerNodeHash(level[i], level[i + 1]));
        if (level.size() % 2 != 0)
            up.push_back(level.back());
        level.swap(up);
    }
    return level[0];
}

CTigerDigest LeafByLeaf(const std::vector<std::uint8_t>& data, std::uint64_t blockSize)
{
    CTigerTree tree(blockSize);
    for (std::size_t off = 0; off < data.size(); off += TigerLeafSize)
        tree.AddLeaf(data.data() + off, std::min(TigerLeafSize, data.size() - off));
    return tree.Root();
}

TEST(TigerTreeTest, KnownRoots)
{
    EXPECT_EQ(Text(LeafByLeaf({}, 65536)), "LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ");
    EXPECT_EQ(Text(LeafByLeaf(std::vector<std::uint8_t>(1024, 0), 65536)), "CMKDYROZKSC6VTM4I7LSMMHPAE4UG3FXPXZGGKY");
    const std::uint8_t zero = 0;
    EXPECT_EQ(Text(CTiger::Hash(&zero, 1)), "LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ");
}

TEST(TigerTreeTest, SmallTreesHaveTheirShape)
{
    const auto data = RandomBytes(5 * 1024 + 1, 3);
    const std::uint8_t* p = data.data();
    auto leaf = [&](int i, std::size_t length = 1024) { return TigerLeafHash(p + i * 1024, length); };
    auto prefix = [&](std::size_t n) { return std::vector<std::uint8_t>(data.begin(), data.begin() + n); };

    EXPECT_EQ(LeafByLeaf(prefix(1024), 65536), leaf(0));
    EXPECT_EQ(LeafByLeaf(prefix(1025), 65536), TigerNodeHash(leaf(0), leaf(1, 1)));
    EXPECT_EQ(LeafByLeaf(prefix(3 * 1024), 65536), TigerNodeHash(TigerNodeHash(leaf(0), leaf(1)), leaf(2)));
    const CTigerDigest four = TigerNodeHash(TigerNodeHash(leaf(0), leaf(1)), TigerNodeHash(leaf(2), leaf(3)));
    EXPECT_EQ(LeafByLeaf(prefix(5 * 1024), 65536), TigerNodeHash(four, leaf(4)));
    EXPECT_EQ(LeafByLeaf(prefix(5 * 1024 + 1), 65536),
              TigerNodeHash(four, TigerNodeHash(leaf(4), leaf(5, 1))));
}

TEST(TigerTreeTest, RootIsThexWhateverTheBlockSizeAndTheWayLeavesArrive)
{
    const std::size_t sizes[] = {1,     1023,      1024,          1025,           2048,
                                 3072,  65535,     65536,         65537,          3 * 65536 + 5000,
                                 524288, 1048576 + 1, 2 * 1048576 - 1024};
    const auto data = RandomBytes(2 * 1048576, 5);
    for (std::size_t size : sizes)
    {
        const std::vector<std::uint8_t> bytes(data.begin(), data.begin() + size);
        const CTigerDigest expected = ThexRoot(bytes);
        for (std::uint64_t blockSize : {1024u, 65536u, 131072u, 1048576u})
        {
            EXPECT_EQ(LeafByLeaf(bytes, blockSize), expected) << size << " bytes, block " << blockSize;

            // Whole aligned subtrees of 16 KiB where they fit, then the leaves of the rest.
            const std::size_t piece = std::min<std::size_t>(16384, blockSize);
            CTigerTree tree(blockSize);
            std::size_t off = 0;
            for (; off + piece <= size; off += piece)
                tree.AddSubtree(TigerFullSubtreeHash(bytes.data() + off, piece / TigerLeafSize), piece);
            for (; off < size; off += TigerLeafSize)
                tree.AddLeaf(bytes.data() + off, std::min(TigerLeafSize, size - off));
            EXPECT_EQ(tree.Root(), expected) << size << " bytes in subtrees, block " << blockSize;
            EXPECT_EQ(tree.Bytes(), size);
        }
    }
}

TEST(TigerTreeTest, BlockDigestsStayBounded)
{
    const auto data = RandomBytes(512 * 1024 + 1, 9);
    CTigerTree tree(2048);
    for (std::size_t off = 0; off < data.size(); off += TigerLeafSize)
        tree.AddLeaf(data.data() + off, std::min(TigerLeafSize, data.size() - off));
    tree.Root();
    // 256 full blocks of 2 KiB and one for the last byte.
    EXPECT_EQ(tree.BlockCount(), 257u);
}

TEST(TigerTreeTest, LeafBatchesEqualSingleLeaves)
{
    const auto data = RandomBytes(9 * 1024, 13);
    for (std::size_t count = 1; count <= 9; ++count)
    {
        std::vector<CTigerDigest> batch(count);
        TigerFullLeafHashes(data.data(), count, batch.data());
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(batch[i], TigerLeafHash(data.data() + i * 1024, 1024)) << "leaf " << i << " of " << count;
    }
}
} // namespace
