#pragma once

#include <QtGlobal>

// Processes this program started detached, known by their process id.

// Whether the process still runs (a process that has ended but not been reaped counts as ended).
bool IsProcessRunning(qint64 pid);
// Asks the process to end (SIGTERM); false when there is no such process.
bool TerminateProcess(qint64 pid);
