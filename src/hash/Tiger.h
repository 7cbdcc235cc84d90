#pragma once

#include "hash/TigerDigest.h"

#include <cstddef>
#include <cstdint>

// Tiger/192 over a stream of bytes, with Tiger's own padding (0x01, not MD4's 0x80).
class CTiger final
{
public:
    CTiger();

    void Update(const void* data, std::size_t length);
    // Pads, returns the digest and leaves the object ready for a new message.
    CTigerDigest Finish();

    static CTigerDigest Hash(const void* data, std::size_t length);

private:
    std::uint64_t m_a;
    std::uint64_t m_b;
    std::uint64_t m_c;
    std::uint8_t m_block[64];
    std::uint64_t m_count;
};
