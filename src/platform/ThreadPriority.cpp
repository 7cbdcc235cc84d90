#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void LowerCurrentThreadPriority()
{
    // On Linux a nice value belongs to a thread when given its thread id. A failure only means
    // the worker runs at normal priority.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, tid);
    setpriority(PRIO_PROCESS, tid, current + 2);
}
