#pragma once

#include <cstddef>
#include <cstdint>

// A page-aligned block of memory that direct (unbuffered) reads may fill. Empty when the system
// had no memory to give.
class CAlignedBuffer final
{
public:
    explicit CAlignedBuffer(std::size_t size);
    ~CAlignedBuffer();
    CAlignedBuffer(const CAlignedBuffer&) = delete;
    CAlignedBuffer& operator=(const CAlignedBuffer&) = delete;

    std::uint8_t* Data() const { return m_pData; }
    std::size_t Size() const { return m_size; }
    bool IsEmpty() const { return m_pData == nullptr; }

private:
    std::uint8_t* m_pData;
    std::size_t m_size;
};
