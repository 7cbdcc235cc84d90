// Throughput of the Tiger kernels on data already in the cache: the streaming hash that one leaf
// at a time would use, the interleaved leaf batches, and whole 256 KiB subtrees.

#include "hash/Tiger.h"
#include "hash/TigerTreeHashing.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace
{
constexpr std::size_t Bytes = 256 * 1024;

const std::vector<std::uint8_t>& Data()
{
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> bytes(Bytes);
        std::mt19937 random(7);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    }();
    return data;
}

void BM_LeafOneAtATime(benchmark::State& state)
{
    const auto& data = Data();
    for (auto _ : state)
        for (std::size_t off = 0; off < Bytes; off += TigerLeafSize)
            benchmark::DoNotOptimize(TigerLeafHash(data.data() + off, TigerLeafSize));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes));
}
BENCHMARK(BM_LeafOneAtATime);

void BM_LeafBatches(benchmark::State& state)
{
    const auto& data = Data();
    std::vector<CTigerDigest> out(Bytes / TigerLeafSize);
    for (auto _ : state)
    {
        TigerFullLeafHashes(data.data(), out.size(), out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes));
}
BENCHMARK(BM_LeafBatches);

void BM_Subtree256KiB(benchmark::State& state)
{
    const auto& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(TigerFullSubtreeHash(data.data(), Bytes / TigerLeafSize));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes));
}
BENCHMARK(BM_Subtree256KiB);
} // namespace
