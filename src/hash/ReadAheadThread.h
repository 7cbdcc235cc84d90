#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// One thread that runs one job at a time in the background: the next chunk of a file is read
// while the current one is hashed.
class CReadAheadThread final
{
public:
    CReadAheadThread();
    ~CReadAheadThread();
    CReadAheadThread(const CReadAheadThread&) = delete;
    CReadAheadThread& operator=(const CReadAheadThread&) = delete;

    // Starts job in the background; the previous job must have been waited for.
    void Start(std::function<void()> job);
    // Returns once the started job has finished; at once when none is running.
    void Wait();

private:
    void Loop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_job;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};
