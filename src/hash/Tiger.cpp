#include "hash/Tiger.h"

#include "hash/TigerCompress.h"
#include "hash/TigerWords.h"

#include <cstring>

using namespace TigerDetail;

namespace
{
void CompressBytes(std::uint64_t& a, std::uint64_t& b, std::uint64_t& c, const std::uint8_t* bytes)
{
    CLaneState state[1] = {{a, b, c}};
    std::uint64_t words[1][8];
    for (int i = 0; i < 8; ++i)
        words[0][i] = LoadLittle64(bytes + 8 * i);
    Compress<1>(state, words);
    a = state[0].a;
    b = state[0].b;
    c = state[0].c;
}
} // namespace

CTiger::CTiger()
    : m_a(InitialA), m_b(InitialB), m_c(InitialC), m_block{}, m_count(0)
{
}

void CTiger::Update(const void* data, std::size_t length)
{
    if (length == 0)
        return;
    auto p = static_cast<const std::uint8_t*>(data);
    std::size_t used = m_count % 64;
    m_count += length;
    if (used != 0)
    {
        const std::size_t take = length < 64 - used ? length : 64 - used;
        std::memcpy(m_block + used, p, take);
        p += take;
        length -= take;
        if (used + take < 64)
            return;
        CompressBytes(m_a, m_b, m_c, m_block);
    }
    for (; length >= 64; p += 64, length -= 64)
        CompressBytes(m_a, m_b, m_c, p);
    if (length != 0)
        std::memcpy(m_block, p, length);
}

CTigerDigest CTiger::Finish()
{
    const std::uint64_t bits = m_count * 8;
    std::size_t used = m_count % 64;
    m_block[used++] = 0x01;
    if (used > 56)
    {
        std::memset(m_block + used, 0, 64 - used);
        CompressBytes(m_a, m_b, m_c, m_block);
        used = 0;
    }
    std::memset(m_block + used, 0, 56 - used);
    StoreLittle64(m_block + 56, bits);
    CompressBytes(m_a, m_b, m_c, m_block);

    CTigerDigest digest;
    StoreLittle64(digest.data(), m_a);
    StoreLittle64(digest.data() + 8, m_b);
    StoreLittle64(digest.data() + 16, m_c);
    *this = CTiger();
    return digest;
}

CTigerDigest CTiger::Hash(const void* data, std::size_t length)
{
    CTiger tiger;
    tiger.Update(data, length);
    return tiger.Finish();
}
