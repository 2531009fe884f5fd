// winsim: kernel32 functions for errors and handles, events, mutexes, semaphores, waits and
// critical sections, over the machine's kernel (kernel.h).
#include "kernel32_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

using namespace winsim;
using namespace winsim::kernel32;

namespace {

bool ValidName(LPCWSTR name) {
    if (!name) return true;
    size_t n = wcslen(name);
    if (n > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // Past the (case-sensitive) "Global\" or "Local\" prefix a backslash separates
    // namespaces, and there are no others.
    const wchar_t* rest = name;
    for (const wchar_t* prefix : {L"Global\\", L"Local\\"}) {
        size_t len = wcslen(prefix);
        if (wcsncmp(name, prefix, len) == 0) rest = name + len;
    }
    if (wcschr(rest, L'\\')) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

// Creates or opens a named object of type T (make builds a new one).
template <class T, class Make>
HANDLE CreateNamed(LPSECURITY_ATTRIBUTES sa, LPCWSTR name, ACCESS_MASK access, Make make, bool* existed = nullptr) {
    if (existed) *existed = false;
    if (!ValidName(name)) return NULL;
    bool inherit = sa && sa->bInheritHandle;
    std::wstring key;
    if (name && *name) {
        key = Machine::NamespaceKey(name, Proc().session);
        if (auto existing = Mach().LookupName(key)) {
            auto typed = std::dynamic_pointer_cast<T>(existing);
            if (!typed) {
                SetLastError(ERROR_INVALID_HANDLE);
                return NULL;
            }
            HANDLE h = Proc().AddHandle(typed, access, inherit);
            if (existed) *existed = true;
            SetLastError(ERROR_ALREADY_EXISTS);
            return h;
        }
    }
    std::shared_ptr<T> obj = make();
    if (!key.empty()) Mach().BindName(key, obj);
    HANDLE h = Proc().AddHandle(obj, access, inherit);
    SetLastError(ERROR_SUCCESS);
    return h;
}

template <class T>
HANDLE OpenNamed(DWORD access, BOOL inherit, LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (!ValidName(name)) return NULL;
    auto existing = Mach().LookupName(Machine::NamespaceKey(name, Proc().session));
    if (!existing) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return NULL;
    }
    auto typed = std::dynamic_pointer_cast<T>(existing);
    if (!typed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    return Proc().AddHandle(typed, access, inherit != FALSE);
}

DWORD DoWait(DWORD n, const HANDLE* hs, BOOL all, DWORD ms) {
    if (n == 0 || n > MAXIMUM_WAIT_OBJECTS || !hs) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Waitable>> objs;
    for (DWORD i = 0; i < n; ++i) {
        auto w = Obj<Waitable>(hs[i]);
        if (!w) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (all && std::find(objs.begin(), objs.end(), w) != objs.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        objs.push_back(w);
    }
    return WaitOn(objs, all != FALSE, ms);
}

// Lock object behind a CRITICAL_SECTION, made by InitializeCriticalSection for the section
// at owner.
struct CsLock {
    explicit CsLock(const CRITICAL_SECTION* o) : owner(o) {}
    const CRITICAL_SECTION* owner;
    std::shared_ptr<Mutex> m = std::make_shared<Mutex>();
};

// The lock objects of the sections that are set up, so that a section used before
// InitializeCriticalSection or after DeleteCriticalSection (or a copy of one) is told apart
// from a live one whatever its memory holds.
std::mutex g_cs_mu;
std::unordered_set<const CsLock*> g_cs_live;

[[noreturn]] void CsMisuse(const char* fn, const CRITICAL_SECTION* cs) {
    std::fprintf(stderr,
                 "winsim: %s on CRITICAL_SECTION %p, which InitializeCriticalSection has not set up or "
                 "DeleteCriticalSection has ended\n",
                 fn, static_cast<const void*>(cs));
    std::abort();
}

CsLock* Cs(LPCRITICAL_SECTION cs, const char* fn) {
    auto* lock = cs ? static_cast<const CsLock*>(cs->DebugInfo) : nullptr;
    {
        std::lock_guard<std::mutex> g(g_cs_mu);
        if (lock && g_cs_live.count(lock) && lock->owner == cs) return const_cast<CsLock*>(lock);
    }
    CsMisuse(fn, cs);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Errors and handles

DWORD WINAPI GetLastError(void) { return CurrentThread().last_error; }
void WINAPI SetLastError(DWORD e) { CurrentThread().last_error = e; }

BOOL WINAPI CloseHandle(HANDLE h) {
    if (h == GetCurrentProcess() || h == GetCurrentThread()) return TRUE;
    if (!h || !Proc().CloseHandleValue(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DuplicateHandle(HANDLE src_proc, HANDLE src, HANDLE dst_proc, LPHANDLE out, DWORD access, BOOL inherit,
                            DWORD options) {
    auto sp = Obj<Process>(src_proc);
    auto dp = Obj<Process>(dst_proc);
    if (!sp || !dp) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ACCESS_MASK have = 0;
    std::shared_ptr<KObject> o = sp.get() == &Proc() ? Proc().Lookup(src, &have) : sp->Lookup(src, &have);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (out) *out = dp->AddHandle(o, (options & DUPLICATE_SAME_ACCESS) ? have : access, inherit != FALSE);
    if (options & DUPLICATE_CLOSE_SOURCE) sp->CloseHandleValue(src);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Events, mutexes, semaphores

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES sa, BOOL manual, BOOL initial, LPCWSTR name) {
    return CreateNamed<Event>(sa, name, EVENT_ALL_ACCESS,
                              [&] { return std::make_shared<Event>(manual != FALSE, initial != FALSE); });
}

HANDLE WINAPI OpenEventW(DWORD access, BOOL inherit, LPCWSTR name) { return OpenNamed<Event>(access, inherit, name); }

BOOL WINAPI SetEvent(HANDLE h) {
    auto e = Obj<Event>(h);
    if (!e) return Fail(ERROR_INVALID_HANDLE, FALSE);
    e->Set();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE h) {
    auto e = Obj<Event>(h);
    if (!e) return Fail(ERROR_INVALID_HANDLE, FALSE);
    e->Reset();
    return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES sa, BOOL owner, LPCWSTR name) {
    bool existed = false;
    HANDLE h = CreateNamed<Mutex>(
        sa, name, MUTEX_ALL_ACCESS, [] { return std::make_shared<Mutex>(); }, &existed);
    if (h && owner && !existed) {
        DWORD keep = GetLastError();
        Obj<Mutex>(h)->Acquire(&CurrentThread());
        SetLastError(keep);
    }
    return h;
}

HANDLE WINAPI OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name) { return OpenNamed<Mutex>(access, inherit, name); }

BOOL WINAPI ReleaseMutex(HANDLE h) {
    auto m = Obj<Mutex>(h);
    if (!m) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!m->Release(&CurrentThread())) return Fail(ERROR_NOT_OWNER, FALSE);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Waits

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) { return DoWait(1, &h, FALSE, ms); }
DWORD WINAPI WaitForMultipleObjects(DWORD n, const HANDLE* hs, BOOL all, DWORD ms) { return DoWait(n, hs, all, ms); }

void WINAPI Sleep(DWORD ms) { WaitOn({}, false, ms); }

// ---------------------------------------------------------------------------------------
// Critical sections

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    std::memset(cs, 0, sizeof(*cs));
    auto* lock = new CsLock(cs);
    {
        std::lock_guard<std::mutex> g(g_cs_mu);
        g_cs_live.insert(lock);
    }
    cs->DebugInfo = lock;
    cs->LockCount = -1;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    CsLock* lock = Cs(cs, "EnterCriticalSection");
    WaitOn({lock->m}, false, INFINITE);
    cs->RecursionCount = static_cast<LONG>(lock->m->recursion);
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(CurrentThread().tid));
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    CsLock* lock = Cs(cs, "LeaveCriticalSection");
    lock->m->Release(&CurrentThread());
    cs->RecursionCount = static_cast<LONG>(lock->m->recursion);
    if (cs->RecursionCount == 0) cs->OwningThread = NULL;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    CsLock* lock = Cs(cs, "DeleteCriticalSection");
    {
        std::lock_guard<std::mutex> g(g_cs_mu);
        g_cs_live.erase(lock);
    }
    delete lock;
    cs->DebugInfo = nullptr;
}
