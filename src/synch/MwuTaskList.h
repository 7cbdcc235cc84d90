#pragma once

#include "synch/MwuTask.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The document's task list: every row of every task manager since the program started, in display
// order. Workers add and change rows; the window reads them. Rows are shared so that a task manager
// keeps hold of its own rows however many are inserted elsewhere; every access goes through the
// list's lock.
class CMwuTaskList final
{
public:
    using Row = std::shared_ptr<CMwuTask>;

    // Appends a row at the end of the list.
    Row Append(const CMwuTask& task);
    // Inserts a row directly after another one (the previous row of the same task manager).
    Row InsertAfter(const Row& previous, const CMwuTask& task);

    // Changes a row under the lock.
    void Modify(const Row& row, const std::function<void(CMwuTask&)>& change);
    CMwuTask Read(const Row& row) const;

    // The row after this one, or null.
    Row Next(const Row& row) const;

    int Size() const;
    // A copy of the row at a display index, or nothing when the index is out of range.
    bool CopyAt(int index, CMwuTask& task) const;

private:
    mutable std::mutex m_mutex;
    std::vector<Row> m_rows;
};
