#pragma once

#include "synch/MwuTask.h"

#include <atomic>

class CMwuSynchState;
struct CMwuRequest;

// One task of a request against one catalogue of one database.
class CMwuTaskManager
{
public:
    CMwuTaskManager(TaskKind kind, CMwuRequest& request, CMwuSynchState& state);
    virtual ~CMwuTaskManager();
    CMwuTaskManager(const CMwuTaskManager&) = delete;
    CMwuTaskManager& operator=(const CMwuTaskManager&) = delete;

    // Runs the whole task; 0 on success, else the first non-zero result (2, 30, 4313).
    virtual int Manage() = 0;

    // Set when the database cannot be used: the request runs no further task.
    bool IsStopped() const { return m_bStop.load(); }
    // Closing cancels: the task finishes its current file and ends.
    void Cancel() { m_bCancel = true; }
    bool IsCancelled() const { return m_bCancel.load(); }

    TaskKind Kind() const { return m_kind; }

protected:
    TaskKind m_kind;
    CMwuRequest& m_request;
    CMwuSynchState& m_state;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bCancel{false};
};
