// winsim: kernel32 thread functions: creation and end, identity, priority, suspension and
// thread-local storage, over the machine's scheduler (kernel.h).
#include "kernel32_internal.h"

#include <vector>

using namespace winsim;
using namespace winsim::kernel32;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID arg, DWORD flags,
                           LPDWORD tid) {
    if (!start) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, NULL);
    Process& p = Proc();
    auto self = std::static_pointer_cast<Process>(p.shared_from_this());
    auto t = SpawnThread(Mach(), self, [start, arg]() -> DWORD { return start(arg); }, (flags & CREATE_SUSPENDED) != 0);
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

DWORD WINAPI GetThreadId(HANDLE h) {
    auto t = Obj<Thread>(h);
    return t ? t->tid : Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
}

BOOL WINAPI SetThreadPriority(HANDLE h, int prio) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
    bool valid = (prio >= THREAD_PRIORITY_LOWEST && prio <= THREAD_PRIORITY_HIGHEST) ||
                 prio == THREAD_PRIORITY_IDLE || prio == THREAD_PRIORITY_TIME_CRITICAL;
    if (!valid) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    t->priority = prio;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE h) {
    auto t = Obj<Thread>(h);
    return t ? t->priority : Fail<int>(ERROR_INVALID_HANDLE, THREAD_PRIORITY_ERROR_RETURN);
}

DWORD WINAPI ResumeThread(HANDLE h) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail<DWORD>(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
    DWORD prev = t->suspend_count;
    if (t->suspend_count > 0 && --t->suspend_count == 0) Mach().scheduler().Start(t.get());
    return prev;
}

DWORD WINAPI SuspendThread(HANDLE h) {
    auto t = Obj<Thread>(h);
    if (!t) return Fail<DWORD>(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
    // Only threads that have not started yet can be held back in this simulation.
    if (t->state != ThreadState::Created) return Fail<DWORD>(ERROR_NOT_SUPPORTED, static_cast<DWORD>(-1));
    return t->suspend_count++;
}

namespace {
struct TlsSlots {
    std::vector<bool> used;
};
TlsSlots& Slots() {
    auto& e = Proc().ext["tls"];
    if (!e) e = std::make_shared<TlsSlots>();
    return *static_cast<TlsSlots*>(e.get());
}
}  // namespace

DWORD WINAPI TlsAlloc(void) {
    auto& s = Slots();
    for (size_t i = 0; i < s.used.size(); ++i)
        if (!s.used[i]) {
            s.used[i] = true;
            return static_cast<DWORD>(i);
        }
    if (s.used.size() >= 1088) return Fail<DWORD>(ERROR_NO_MORE_ITEMS, TLS_OUT_OF_INDEXES);
    s.used.push_back(true);
    return static_cast<DWORD>(s.used.size() - 1);
}

BOOL WINAPI TlsFree(DWORD i) {
    auto& s = Slots();
    if (i >= s.used.size() || !s.used[i]) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    s.used[i] = false;
    for (auto& t : Proc().LiveThreads()) t->tls.erase(i);
    return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD i) {
    auto& s = Slots();
    if (i >= s.used.size() || !s.used[i]) return Fail<LPVOID>(ERROR_INVALID_PARAMETER, nullptr);
    SetLastError(ERROR_SUCCESS);
    auto& tls = CurrentThread().tls;
    auto it = tls.find(i);
    return it == tls.end() ? nullptr : it->second;
}

BOOL WINAPI TlsSetValue(DWORD i, LPVOID v) {
    auto& s = Slots();
    if (i >= s.used.size() || !s.used[i]) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    CurrentThread().tls[i] = v;
    return TRUE;
}
