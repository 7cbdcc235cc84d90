#include "synch/MwuTaskList.h"

#include <algorithm>

CMwuTaskList::Row CMwuTaskList::Append(const CMwuTask& task)
{
    auto row = std::make_shared<CMwuTask>(task);
    std::lock_guard lock(m_mutex);
    m_rows.push_back(row);
    return row;
}

CMwuTaskList::Row CMwuTaskList::InsertAfter(const Row& previous, const CMwuTask& task)
{
    auto row = std::make_shared<CMwuTask>(task);
    std::lock_guard lock(m_mutex);
    auto it = std::find(m_rows.begin(), m_rows.end(), previous);
    m_rows.insert(it == m_rows.end() ? it : it + 1, row);
    return row;
}

void CMwuTaskList::Modify(const Row& row, const std::function<void(CMwuTask&)>& change)
{
    std::lock_guard lock(m_mutex);
    change(*row);
}

CMwuTask CMwuTaskList::Read(const Row& row) const
{
    std::lock_guard lock(m_mutex);
    return *row;
}

CMwuTaskList::Row CMwuTaskList::Next(const Row& row) const
{
    std::lock_guard lock(m_mutex);
    auto it = std::find(m_rows.begin(), m_rows.end(), row);
    if (it == m_rows.end() || ++it == m_rows.end())
        return nullptr;
    return *it;
}

int CMwuTaskList::Size() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

bool CMwuTaskList::CopyAt(int index, CMwuTask& task) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        return false;
    task = *m_rows[static_cast<size_t>(index)];
    return true;
}
