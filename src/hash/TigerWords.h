#pragma once

// Byte order helpers of the hash library: Tiger reads and writes its words little-endian.

#include <bit>
#include <cstdint>
#include <cstring>

namespace TigerDetail
{

inline std::uint64_t LoadLittle64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

inline void StoreLittle64(std::uint8_t* p, std::uint64_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

} // namespace TigerDetail
