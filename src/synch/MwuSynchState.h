#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class CMwuTaskManager;

// What every request's worker shares with the user-interface thread: the closing and paused flags,
// the pause gate workers pass before each file, the database lock that lets one task manager at a
// time work, and the list of running task managers.
class CMwuSynchState final
{
public:
    bool IsClosing() const { return m_bClosing.load(); }
    bool IsPaused() const { return m_bPaused.load(); }

    // Pause closes the gate; resume and closing open it.
    void Pause();
    void Resume();
    // Blocks while paused; returns at once when running or closing.
    void WaitWhilePaused();

    std::mutex& DatabaseMutex() { return m_databaseMutex; }

    void AddRunning(CMwuTaskManager* manager);
    void RemoveRunning(CMwuTaskManager* manager);
    int RunningCount() const;

    // Closing: set the flag, open the gate so that paused workers wake, and cancel every running
    // task manager; the caller then waits for the workers.
    void Close(const std::function<void(CMwuTaskManager*)>& cancel);

private:
    std::atomic<bool> m_bClosing{false};
    std::atomic<bool> m_bPaused{false};
    std::mutex m_gateMutex;
    std::condition_variable m_gate;
    std::mutex m_databaseMutex;
    mutable std::mutex m_runningMutex;
    std::vector<CMwuTaskManager*> m_running;
};
