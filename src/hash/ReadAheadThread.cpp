#include "hash/ReadAheadThread.h"

CReadAheadThread::CReadAheadThread()
    : m_thread([this] { Loop(); })
{
}

CReadAheadThread::~CReadAheadThread()
{
    Wait();
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CReadAheadThread::Start(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_job = std::move(job);
        m_busy = true;
    }
    m_changed.notify_all();
}

void CReadAheadThread::Wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
}

void CReadAheadThread::Loop()
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        m_changed.wait(lock, [this] { return m_quit || m_busy; });
        if (m_busy)
        {
            std::function<void()> job = std::move(m_job);
            lock.unlock();
            job();
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
            continue;
        }
        return;
    }
}
