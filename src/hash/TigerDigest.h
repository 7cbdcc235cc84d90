#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The 24 bytes of a Tiger/192 digest: the words a, b and c, each little-endian.
inline constexpr std::size_t TigerDigestSize = 24;
using CTigerDigest = std::array<std::uint8_t, TigerDigestSize>;
