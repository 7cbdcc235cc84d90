#include "synch/MwuSynchState.h"

#include <algorithm>

void CMwuSynchState::Pause()
{
    std::lock_guard lock(m_gateMutex);
    m_bPaused = true;
}

void CMwuSynchState::Resume()
{
    {
        std::lock_guard lock(m_gateMutex);
        m_bPaused = false;
    }
    m_gate.notify_all();
}

void CMwuSynchState::WaitWhilePaused()
{
    std::unique_lock lock(m_gateMutex);
    m_gate.wait(lock, [this] { return !m_bPaused || m_bClosing; });
}

void CMwuSynchState::AddRunning(CMwuTaskManager* manager)
{
    std::lock_guard lock(m_runningMutex);
    m_running.push_back(manager);
}

void CMwuSynchState::RemoveRunning(CMwuTaskManager* manager)
{
    std::lock_guard lock(m_runningMutex);
    std::erase(m_running, manager);
}

int CMwuSynchState::RunningCount() const
{
    std::lock_guard lock(m_runningMutex);
    return static_cast<int>(m_running.size());
}

void CMwuSynchState::Close(const std::function<void(CMwuTaskManager*)>& cancel)
{
    {
        std::lock_guard lock(m_gateMutex);
        m_bClosing = true;
    }
    m_gate.notify_all();
    std::lock_guard lock(m_runningMutex);
    for (CMwuTaskManager* manager : m_running)
        cancel(manager);
}
