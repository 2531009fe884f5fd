// winsim: the C runtime's thread functions (_beginthreadex and kin) over the machine's
// scheduler.
#include <windows.h>
#include <process.h>

#include "winsim/machine.h"

using namespace winsim;

uintptr_t __cdecl _beginthreadex(void* security, unsigned, unsigned(__stdcall* start)(void*), void* arg,
                                 unsigned flags, unsigned* tid) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Process& p = CurrentProcess();
    auto self = std::static_pointer_cast<Process>(p.shared_from_this());
    auto t = SpawnThread(CurrentMachine(), self, [start, arg]() -> DWORD { return start(arg); },
                         (flags & CREATE_SUSPENDED) != 0);
    if (tid) *tid = t->tid;
    auto* sa = static_cast<SECURITY_ATTRIBUTES*>(security);
    return reinterpret_cast<uintptr_t>(p.AddHandle(t, THREAD_ALL_ACCESS, sa && sa->bInheritHandle));
}

void __cdecl _endthreadex(unsigned code) { throw ThreadExitUnwind{code}; }

uintptr_t __cdecl _beginthread(void(__cdecl* start)(void*), unsigned, void* arg) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<uintptr_t>(-1);
    }
    Process& p = CurrentProcess();
    auto self = std::static_pointer_cast<Process>(p.shared_from_this());
    auto t = SpawnThread(CurrentMachine(), self, [start, arg]() -> DWORD {
        start(arg);
        return 0;
    });
    // The handle of _beginthread is closed by the thread's end; keep none.
    return reinterpret_cast<uintptr_t>(p.AddHandle(t, THREAD_ALL_ACCESS));
}

void __cdecl _endthread(void) { throw ThreadExitUnwind{0}; }
