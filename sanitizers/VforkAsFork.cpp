// Linked into every program of a ThreadSanitizer build, and only there.
//
// QProcess starts a program with clone(CLONE_VM | CLONE_VFORK): until it calls exec, the child runs
// inside the parent's memory with the parent's thread-local storage, so the libc calls it makes on
// the way (close, sigaction, ...) land in ThreadSanitizer's bookkeeping of the parent's thread.
// Afterwards the parent's mutexes and condition variables no longer order its threads in that
// bookkeeping and every later access looks like a race. Starting the child as a plain copy of the
// parent (no shared memory, no waiting for exec) keeps the parent's bookkeeping its own; the child
// reports whether exec worked through a pipe, not through shared memory, so QProcess behaves the
// same.

#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <sys/types.h>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...)
{
    // glibc's clone reads these three only for the flags that ask for them; passing them on
    // unread is what its callers rely on.
    va_list rest;
    va_start(rest, arg);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);

    using CloneFunction = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto real = reinterpret_cast<CloneFunction>(dlsym(RTLD_NEXT, "clone"));
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK) && !(flags & CLONE_THREAD))
        flags &= ~(CLONE_VM | CLONE_VFORK);
    return real(fn, stack, flags, arg, parentTid, tls, childTid);
}
