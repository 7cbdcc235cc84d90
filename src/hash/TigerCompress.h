#pragma once

// Tiger's compression function, shared by the streaming hash and the leaf batches. Internal to
// the hash library: it is a header only so that the compiler can inline and interleave it.

#include "hash/TigerSBoxes.h"

#include <cstddef>
#include <cstdint>

namespace TigerDetail
{

inline constexpr std::uint64_t InitialA = 0x0123456789ABCDEFULL;
inline constexpr std::uint64_t InitialB = 0xFEDCBA9876543210ULL;
inline constexpr std::uint64_t InitialC = 0xF096A5B4C3B2E187ULL;

struct CLaneState
{
    std::uint64_t a;
    std::uint64_t b;
    std::uint64_t c;
};

#define QUARRANE_TIGER_ALWAYS_INLINE inline __attribute__((always_inline))

QUARRANE_TIGER_ALWAYS_INLINE void TigerRound(std::uint64_t& a, std::uint64_t& b, std::uint64_t& c,
                                             std::uint64_t x, std::uint64_t mul)
{
    const auto& t = g_tigerSBoxes;
    c ^= x;
    a -= t[0][c & 0xFF] ^ t[1][(c >> 16) & 0xFF] ^ t[2][(c >> 32) & 0xFF] ^ t[3][(c >> 48) & 0xFF];
    b += t[3][(c >> 8) & 0xFF] ^ t[2][(c >> 24) & 0xFF] ^ t[1][(c >> 40) & 0xFF] ^ t[0][c >> 56];
    b *= mul;
}

QUARRANE_TIGER_ALWAYS_INLINE void KeySchedule(std::uint64_t* x)
{
    x[0] -= x[7] ^ 0xA5A5A5A5A5A5A5A5ULL;
    x[1] ^= x[0];
    x[2] += x[1];
    x[3] -= x[2] ^ ((~x[1]) << 19);
    x[4] ^= x[3];
    x[5] += x[4];
    x[6] -= x[5] ^ ((~x[4]) >> 23);
    x[7] ^= x[6];
    x[0] += x[7];
    x[1] -= x[0] ^ ((~x[7]) << 19);
    x[2] ^= x[1];
    x[3] += x[2];
    x[4] -= x[3] ^ ((~x[2]) >> 23);
    x[5] ^= x[4];
    x[6] += x[5];
    x[7] -= x[6] ^ 0x0123456789ABCDEFULL;
}

// One pass of eight rounds over Lanes independent states. The lanes advance in lockstep so that
// the S-box loads of one lane fill the latency of the others: a single Tiger state is a chain of
// dependent loads and leaves most of the core idle.
template <std::size_t Lanes>
QUARRANE_TIGER_ALWAYS_INLINE void Pass(std::uint64_t (&a)[Lanes], std::uint64_t (&b)[Lanes],
                                       std::uint64_t (&c)[Lanes], std::uint64_t (&x)[Lanes][8],
                                       std::uint64_t mul)
{
#define QUARRANE_TIGER_LANES(A, B, C, I)                                                           \
    for (std::size_t l = 0; l < Lanes; ++l)                                                        \
        TigerRound(A[l], B[l], C[l], x[l][I], mul);
    QUARRANE_TIGER_LANES(a, b, c, 0)
    QUARRANE_TIGER_LANES(b, c, a, 1)
    QUARRANE_TIGER_LANES(c, a, b, 2)
    QUARRANE_TIGER_LANES(a, b, c, 3)
    QUARRANE_TIGER_LANES(b, c, a, 4)
    QUARRANE_TIGER_LANES(c, a, b, 5)
    QUARRANE_TIGER_LANES(a, b, c, 6)
    QUARRANE_TIGER_LANES(b, c, a, 7)
#undef QUARRANE_TIGER_LANES
}

// Compresses one 64-byte block (eight words, already in host order) into each lane's state.
template <std::size_t Lanes>
QUARRANE_TIGER_ALWAYS_INLINE void Compress(CLaneState (&state)[Lanes], const std::uint64_t (&block)[Lanes][8])
{
    std::uint64_t a[Lanes], b[Lanes], c[Lanes], x[Lanes][8];
    for (std::size_t l = 0; l < Lanes; ++l)
    {
        a[l] = state[l].a;
        b[l] = state[l].b;
        c[l] = state[l].c;
        for (int i = 0; i < 8; ++i)
            x[l][i] = block[l][i];
    }
    Pass<Lanes>(a, b, c, x, 5);
    for (std::size_t l = 0; l < Lanes; ++l)
        KeySchedule(x[l]);
    Pass<Lanes>(c, a, b, x, 7);
    for (std::size_t l = 0; l < Lanes; ++l)
        KeySchedule(x[l]);
    Pass<Lanes>(b, c, a, x, 9);
    for (std::size_t l = 0; l < Lanes; ++l)
    {
        state[l].a ^= a[l];
        state[l].b = b[l] - state[l].b;
        state[l].c += c[l];
    }
}

#undef QUARRANE_TIGER_ALWAYS_INLINE

} // namespace TigerDetail
