// winsim: kernel32 thread functions: creation and end, identity, priority and resumption,
// over the machine's scheduler (kernel.h).
#include "kernel32_internal.h"

using namespace winsim;
using namespace winsim::kernel32;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID arg, DWORD flags,
                           LPDWORD tid) {
    if (!start) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, NULL);
    Process& p = Proc();
    auto self = std::static_pointer_cast<Process>(p.shared_from_this());
    auto t = SpawnThread(
        Mach(), self, [start, arg]() -> DWORD { return start(arg); }, (flags & CREATE_SUSPENDED) != 0);
    if (tid) *tid = t->tid;
    return p.AddHandle(t, THREAD_ALL_ACCESS, sa && sa->bInheritHandle);
}

void WINAPI ExitThread(DWORD code) { throw ThreadExitUnwind{code}; }

BOOL WINAPI TerminateThread(HANDLE h, DWORD code) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (t->ended) return TRUE;
    if (t.get() == &CurrentThread()) throw ThreadExitUnwind{code};
    Mach().scheduler().Park(t.get());
    t->MarkEnded(code);
    return TRUE;
}

BOOL WINAPI GetExitCodeThread(HANDLE h, LPDWORD code) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (code) *code = t->ended ? t->exit_code : STILL_ACTIVE;
    return TRUE;
}

HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }
DWORD WINAPI GetCurrentThreadId(void) { return CurrentThread().tid; }

BOOL WINAPI SetThreadPriority(HANDLE h, int prio) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
    bool valid = (prio >= THREAD_PRIORITY_LOWEST && prio <= THREAD_PRIORITY_HIGHEST) || prio == THREAD_PRIORITY_IDLE ||
                 prio == THREAD_PRIORITY_TIME_CRITICAL;
    if (!valid) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    t->priority = prio;
    return TRUE;
}

DWORD WINAPI ResumeThread(HANDLE h) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail<DWORD>(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
    DWORD prev = t->suspend_count;
    if (t->suspend_count > 0 && --t->suspend_count == 0) Mach().scheduler().Start(t.get());
    return prev;
}
