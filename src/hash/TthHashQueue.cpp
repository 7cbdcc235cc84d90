#include "hash/TthHashQueue.h"

#include "hash/TthHashService.h"
#include "platform/HashInputFile.h"

#include <algorithm>
#include <cassert>

CTthHashQueue::CTthHashQueue(const CTthHashService& service, int threads, const std::atomic<bool>* pCancel)
    : m_service(service), m_threads(std::max(1, std::min(threads, service.Threads()))), m_pCancel(pCancel)
{
    if (m_threads > 1)
        for (int i = 0; i < m_threads; ++i)
            m_workers.emplace_back([this] { WorkerLoop(); });
}

CTthHashQueue::~CTthHashQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void CTthHashQueue::Add(std::string nativePath)
{
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back({std::move(nativePath), {}, false});
    }
    ++m_pending;
    if (!m_workers.empty())
        m_workAvailable.notify_one();
}

CTthHashResult CTthHashQueue::Take()
{
    assert(m_pending != 0);
    --m_pending;
    std::unique_lock lock(m_mutex);
    if (m_workers.empty())
    {
        // One thread: the file is hashed here, now, with everything the service allows.
        Item item = std::move(m_items.front());
        m_items.pop_front();
        ++m_firstIndex;
        ++m_nextIndex;
        lock.unlock();
        return HashOne(item.path, true);
    }
    m_takerWaiting = true;
    m_resultReady.wait(lock, [this] { return m_items.front().done; });
    m_takerWaiting = false;
    CTthHashResult result = std::move(m_items.front().result);
    m_items.pop_front();
    ++m_firstIndex;
    return result;
}

CTthHashResult CTthHashQueue::HashOne(const std::string& path, bool alone)
{
    CHashInputFile file;
    if (const int error = file.Open(path); error != 0)
    {
        CTthHashResult result;
        result.error = error;
        return result;
    }
    return m_service.Hash(file, alone ? m_threads : 1, m_pCancel);
}

void CTthHashQueue::WorkerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        // A large file waiting for the threads to be free holds back the smaller ones behind it.
        m_workAvailable.wait(lock,
                             [this]
                             {
                                 return m_quit || (m_largeWaiting == 0 && !m_largeRunning &&
                                                   m_nextIndex < m_firstIndex + m_items.size());
                             });
        if (m_quit)
            return;
        const std::uint64_t index = m_nextIndex++;
        const std::string path = m_items[static_cast<std::size_t>(index - m_firstIndex)].path;
        ++m_smallRunning;
        lock.unlock();

        CTthHashResult result;
        bool large = false;
        CHashInputFile file;
        if (const int error = file.Open(path); error != 0)
        {
            result.error = error;
            lock.lock();
            --m_smallRunning;
        }
        else if (file.Size() < CTthHashService::ParallelFileMinimum)
        {
            result = m_service.Hash(file, 1, m_pCancel);
            lock.lock();
            --m_smallRunning;
        }
        else
        {
            // All threads on one large file: wait for the small files in flight to end.
            lock.lock();
            --m_smallRunning;
            ++m_largeWaiting;
            m_workAvailable.notify_all();
            m_workAvailable.wait(lock, [this] { return m_quit || (m_smallRunning == 0 && !m_largeRunning); });
            --m_largeWaiting;
            if (m_quit)
                return;
            m_largeRunning = true;
            large = true;
            lock.unlock();
            result = m_service.Hash(file, m_threads, m_pCancel);
            lock.lock();
            m_largeRunning = false;
        }
        // The items are taken in order only after they are done, so this one is still there.
        Item& finished = m_items[static_cast<std::size_t>(index - m_firstIndex)];
        finished.result = std::move(result);
        finished.done = true;
        // The threads held back by a large file may go on; a large file waiting may start.
        if (large || m_largeWaiting > 0)
            m_workAvailable.notify_all();
        if (m_takerWaiting && index == m_firstIndex)
            m_resultReady.notify_one();
    }
}
