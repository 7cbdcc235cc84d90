#include "platform/AlignedBuffer.h"

#include <sys/mman.h>

CAlignedBuffer::CAlignedBuffer(std::size_t size)
    : m_pData(nullptr), m_size(0)
{
    // Anonymous pages are page aligned and go back to the system at once when released.
    void* p = size == 0 ? MAP_FAILED
                        : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != MAP_FAILED)
    {
        m_pData = static_cast<std::uint8_t*>(p);
        m_size = size;
    }
}

CAlignedBuffer::~CAlignedBuffer()
{
    if (m_pData != nullptr)
        munmap(m_pData, m_size);
}
