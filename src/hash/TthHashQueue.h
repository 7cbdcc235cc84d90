#pragma once

#include "hash/TthHashResult.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CTthHashService;

// Hashes a sequence of files ahead of the one who asks for the results, on several threads, and
// hands the results out in the order the files were added.
//
// The choice follows the file size so that every size keeps every core busy: files below the
// service's parallel size are hashed each on one thread, several at once; a larger file waits until
// the threads are free of smaller ones and is then hashed alone with all of them, its chunks split
// into aligned subtrees. With one thread nothing runs in the background: each file is hashed when
// its result is taken, on the taker's thread.
class CTthHashQueue final
{
public:
    // pCancel, when given, ends the hash in progress and every later one unsuccessfully.
    CTthHashQueue(const CTthHashService& service, int threads, const std::atomic<bool>* pCancel = nullptr);
    ~CTthHashQueue();
    CTthHashQueue(const CTthHashQueue&) = delete;
    CTthHashQueue& operator=(const CTthHashQueue&) = delete;

    // Add, Pending and Take belong to one thread, the one that owns the queue.
    //
    // Adds a file (path bytes used unchanged); it is hashed as soon as a thread is free. The
    // caller bounds how far ahead it adds by Pending().
    void Add(std::string nativePath);
    // Files added whose results have not been taken yet. Only Add and Take change it, so the
    // owner reads it without the lock that the hashing threads contend for.
    std::size_t Pending() const { return m_pending; }
    // The result of the oldest file not taken yet, waiting until it is hashed. Only while
    // Pending() is not 0.
    CTthHashResult Take();

private:
    struct Item
    {
        std::string path;
        CTthHashResult result;
        bool done = false;
    };

    void WorkerLoop();
    CTthHashResult HashOne(const std::string& path, bool alone);

    const CTthHashService& m_service;
    const int m_threads;
    const std::atomic<bool>* m_pCancel;

    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable; // workers: a file was added, or a large file may start
    std::condition_variable m_resultReady;   // the taker: the file it waits for is done
    std::deque<Item> m_items;                // from the oldest not taken on
    std::uint64_t m_firstIndex = 0;          // index of m_items.front() among all files added
    std::uint64_t m_nextIndex = 0;           // the next file a worker starts
    int m_smallRunning = 0;
    int m_largeWaiting = 0;
    bool m_largeRunning = false;
    bool m_takerWaiting = false;
    bool m_quit = false;
    std::size_t m_pending = 0; // the owner's own count of m_items
    std::vector<std::thread> m_workers;
};
