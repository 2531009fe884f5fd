// winsim: the C runtime's _beginthreadex and _endthreadex over the machine's scheduler.
#include <windows.h>
#include <process.h>

#include "winsim/machine.h"

using namespace winsim;

uintptr_t __cdecl _beginthreadex(void* security, unsigned, unsigned(__stdcall* start)(void*), void* arg, unsigned flags,
                                 unsigned* tid) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Process& p = CurrentProcess();
    auto self = std::static_pointer_cast<Process>(p.shared_from_this());
    auto t = SpawnThread(
        CurrentMachine(), self, [start, arg]() -> DWORD { return start(arg); }, (flags & CREATE_SUSPENDED) != 0);
    if (tid) *tid = t->tid;
    auto* sa = static_cast<SECURITY_ATTRIBUTES*>(security);
    return reinterpret_cast<uintptr_t>(p.AddHandle(t, THREAD_ALL_ACCESS, sa && sa->bInheritHandle));
}

void __cdecl _endthreadex(unsigned code) { throw ThreadExitUnwind{code}; }
