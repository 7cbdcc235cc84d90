#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

// Threads that share the items of one job with the calling thread, for as long as one hash runs.
// Run() returns when every item is done, so the callers' data need only live across the call.
// A job is a quarter of a millisecond of work, so the threads spin briefly before they sleep:
// waking a sleeping thread costs a noticeable part of that.
class CHashWorkers final
{
public:
    static constexpr std::size_t MaxItems = 0xFFFF;

    // helpers: threads besides the caller; 0 runs every job on the caller alone.
    explicit CHashWorkers(int helpers);
    ~CHashWorkers();
    CHashWorkers(const CHashWorkers&) = delete;
    CHashWorkers& operator=(const CHashWorkers&) = delete;

    // Calls work(i) once for every i in [0, count), spread over the helpers and the caller;
    // count is at most MaxItems.
    void Run(std::size_t count, const std::function<void(std::size_t)>& work);

private:
    void HelperLoop();
    void TakeItems(std::uint64_t generation);

    // One word says which job is current and which of its items is next, so that a thread still
    // busy with an old job can never claim an item of the new one: generation in the high 32
    // bits, item count in the next 16, next item in the low 16.
    std::atomic<std::uint64_t> m_ticket{0};
    std::atomic<const std::function<void(std::size_t)>*> m_pWork{nullptr};
    std::atomic<std::size_t> m_done{0};
    std::atomic<bool> m_quit{false};
    std::vector<std::thread> m_threads;
};
