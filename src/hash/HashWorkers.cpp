#include "hash/HashWorkers.h"

#include <cassert>

namespace
{
constexpr int SpinRounds = 4000;

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

constexpr std::uint64_t Generation(std::uint64_t ticket) { return ticket >> 32; }
constexpr std::uint64_t Count(std::uint64_t ticket) { return (ticket >> 16) & 0xFFFF; }
constexpr std::uint64_t Next(std::uint64_t ticket) { return ticket & 0xFFFF; }
} // namespace

CHashWorkers::CHashWorkers(int helpers)
{
    for (int i = 0; i < helpers; ++i)
        m_threads.emplace_back([this] { HelperLoop(); });
}

CHashWorkers::~CHashWorkers()
{
    m_quit.store(true, std::memory_order_relaxed);
    m_ticket.store((Generation(m_ticket.load()) + 1) << 32, std::memory_order_release);
    m_ticket.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void CHashWorkers::Run(std::size_t count, const std::function<void(std::size_t)>& work)
{
    if (m_threads.empty() || count <= 1)
    {
        for (std::size_t i = 0; i < count; ++i)
            work(i);
        return;
    }
    assert(count <= MaxItems);
    const std::uint64_t generation = Generation(m_ticket.load(std::memory_order_relaxed)) + 1;
    m_pWork.store(&work, std::memory_order_relaxed);
    m_done.store(0, std::memory_order_relaxed);
    m_ticket.store((generation << 32) | (std::uint64_t(count) << 16), std::memory_order_release);
    m_ticket.notify_all();
    TakeItems(generation);
    for (int spin = 0; spin < SpinRounds; ++spin)
    {
        if (m_done.load(std::memory_order_acquire) == count)
            return;
        CpuRelax();
    }
    for (std::size_t done; (done = m_done.load(std::memory_order_acquire)) != count;)
        m_done.wait(done, std::memory_order_acquire);
}

void CHashWorkers::HelperLoop()
{
    std::uint64_t seen = 0;
    for (;;)
    {
        std::uint64_t ticket = m_ticket.load(std::memory_order_acquire);
        for (int spin = 0; spin < SpinRounds && Generation(ticket) == seen; ++spin)
        {
            CpuRelax();
            ticket = m_ticket.load(std::memory_order_acquire);
        }
        while (Generation(ticket) == seen)
        {
            m_ticket.wait(ticket, std::memory_order_acquire);
            ticket = m_ticket.load(std::memory_order_acquire);
        }
        if (m_quit.load(std::memory_order_relaxed))
            return;
        seen = Generation(ticket);
        TakeItems(seen);
    }
}

void CHashWorkers::TakeItems(std::uint64_t generation)
{
    std::uint64_t ticket = m_ticket.load(std::memory_order_acquire);
    for (;;)
    {
        if (Generation(ticket) != generation || Next(ticket) >= Count(ticket))
            return;
        if (!m_ticket.compare_exchange_weak(ticket, ticket + 1, std::memory_order_acq_rel,
                                            std::memory_order_acquire))
            continue;
        (*m_pWork.load(std::memory_order_relaxed))(static_cast<std::size_t>(Next(ticket)));
        const std::size_t count = static_cast<std::size_t>(Count(ticket));
        if (m_done.fetch_add(1, std::memory_order_acq_rel) + 1 == count)
            m_done.notify_one();
        ticket = m_ticket.load(std::memory_order_acquire);
    }
}
