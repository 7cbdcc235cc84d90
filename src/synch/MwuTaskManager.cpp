#include "synch/MwuTaskManager.h"

#include "synch/MwuSynchState.h"

CMwuTaskManager::CMwuTaskManager(TaskKind kind, CMwuRequest& request, CMwuSynchState& state)
    : m_kind(kind), m_request(request), m_state(state)
{
    m_state.AddRunning(this);
}

CMwuTaskManager::~CMwuTaskManager()
{
    m_state.RemoveRunning(this);
}
