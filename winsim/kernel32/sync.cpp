// winsim: kernel32 functions for handles, synchronisation, threads, processes, time and
// debug output, over the machine's kernel (kernel.h).
#include <windows.h>

#include "winsim/device.h"
#include "winsim/machine.h"

#include <algorithm>
#include <cstring>

using namespace winsim;

namespace {

Process& Proc() { return CurrentProcess(); }
Machine& Mach() { return CurrentMachine(); }

template <class T> std::shared_ptr<T> Obj(HANDLE h, ACCESS_MASK* access = nullptr) {
    if (!h) return nullptr;
    return std::dynamic_pointer_cast<T>(Proc().Lookup(h, access));
}

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

template <class T> HANDLE OpenNamed(DWORD access, BOOL inherit, LPCWSTR name) {
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

// Lock object behind a CRITICAL_SECTION.
struct CsLock {
    std::shared_ptr<Mutex> m = std::make_shared<Mutex>();
};

CsLock* Cs(LPCRITICAL_SECTION cs) {
    if (!cs->DebugInfo) cs->DebugInfo = new CsLock();
    return static_cast<CsLock*>(cs->DebugInfo);
}

constexpr int64_t kMsPerDay = 86400000LL;

void MsToSystemTime(int64_t ms1601, SYSTEMTIME* st) {
    int64_t days = ms1601 / kMsPerDay;
    int64_t rem = ms1601 % kMsPerDay;
    // 1601-01-01 was a Monday.
    st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    // Civil date from days since 1970-01-01.
    int64_t z = days - 134774 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    unsigned d = doy - (153 * mp + 2) / 5 + 1;
    unsigned m = mp < 10 ? mp + 3 : mp - 9;
    st->wYear = static_cast<WORD>(y + (m <= 2));
    st->wMonth = static_cast<WORD>(m);
    st->wDay = static_cast<WORD>(d);
    st->wHour = static_cast<WORD>(rem / 3600000);
    st->wMinute = static_cast<WORD>(rem / 60000 % 60);
    st->wSecond = static_cast<WORD>(rem / 1000 % 60);
    st->wMilliseconds = static_cast<WORD>(rem % 1000);
}

bool SystemTimeToMs(const SYSTEMTIME* st, int64_t* out) {
    if (st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 || st->wDay > 31 || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59 || st->wMilliseconds > 999 || st->wYear < 1601 || st->wYear > 30827)
        return false;
    int y = st->wYear;
    unsigned m = st->wMonth, d = st->wDay;
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days1970 = era * 146097 + static_cast<int64_t>(doe) - 719468;
    *out = (days1970 + 134774) * kMsPerDay + st->wHour * 3600000LL + st->wMinute * 60000LL + st->wSecond * 1000LL +
           st->wMilliseconds;
    return true;
}

int64_t LocalMs() { return Mach().boot_local_ms() + static_cast<int64_t>(Mach().NowMs()); }

void MsToFileTime(int64_t ms, FILETIME* ft) {
    uint64_t v = static_cast<uint64_t>(ms) * 10000ULL;
    ft->dwLowDateTime = static_cast<DWORD>(v);
    ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

int64_t FileTimeToMs(const FILETIME* ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft->dwHighDateTime) << 32 | ft->dwLowDateTime) / 10000ULL);
}

// Copies s into a caller buffer with the GetEnvironmentVariable/GetCurrentDirectory rule:
// the length without the terminator when it fits, else the size needed with it.
DWORD CopyOutOrNeed(const std::wstring& s, LPWSTR buf, DWORD size) {
    if (buf && size > s.size()) {
        wmemcpy(buf, s.data(), s.size());
        buf[s.size()] = 0;
        return static_cast<DWORD>(s.size());
    }
    return static_cast<DWORD>(s.size() + 1);
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
    std::shared_ptr<KObject> o =
        sp.get() == &Proc() ? Proc().Lookup(src, &have) : sp->Lookup(src, &have);
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

HANDLE WINAPI CreateEventExW(LPSECURITY_ATTRIBUTES sa, LPCWSTR name, DWORD flags, DWORD access) {
    return CreateNamed<Event>(sa, name, access, [&] {
        return std::make_shared<Event>((flags & CREATE_EVENT_MANUAL_RESET) != 0, (flags & CREATE_EVENT_INITIAL_SET) != 0);
    });
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

BOOL WINAPI PulseEvent(HANDLE h) {
    auto e = Obj<Event>(h);
    if (!e) return Fail(ERROR_INVALID_HANDLE, FALSE);
    e->Set();
    e->Reset();
    return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES sa, BOOL owner, LPCWSTR name) {
    bool existed = false;
    HANDLE h = CreateNamed<Mutex>(sa, name, MUTEX_ALL_ACCESS, [] { return std::make_shared<Mutex>(); }, &existed);
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

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES sa, LONG initial, LONG maximum, LPCWSTR name) {
    if (maximum <= 0 || initial < 0 || initial > maximum) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, NULL);
    return CreateNamed<Semaphore>(sa, name, SEMAPHORE_ALL_ACCESS,
                                  [&] { return std::make_shared<Semaphore>(initial, maximum); });
}

HANDLE WINAPI OpenSemaphoreW(DWORD access, BOOL inherit, LPCWSTR name) {
    return OpenNamed<Semaphore>(access, inherit, name);
}

BOOL WINAPI ReleaseSemaphore(HANDLE h, LONG n, LPLONG prev) {
    auto s = Obj<Semaphore>(h);
    if (!s) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (n <= 0 || s->count + n > s->max) return Fail(ERROR_TOO_MANY_POSTS, FALSE);
    if (prev) *prev = s->count;
    s->count += n;
    s->Signal();
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Waits

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) { return DoWait(1, &h, FALSE, ms); }
DWORD WINAPI WaitForSingleObjectEx(HANDLE h, DWORD ms, BOOL) { return DoWait(1, &h, FALSE, ms); }
DWORD WINAPI WaitForMultipleObjects(DWORD n, const HANDLE* hs, BOOL all, DWORD ms) { return DoWait(n, hs, all, ms); }
DWORD WINAPI WaitForMultipleObjectsEx(DWORD n, const HANDLE* hs, BOOL all, DWORD ms, BOOL) {
    return DoWait(n, hs, all, ms);
}

void WINAPI Sleep(DWORD ms) { WaitOn({}, false, ms); }
DWORD WINAPI SleepEx(DWORD ms, BOOL) {
    WaitOn({}, false, ms);
    return 0;
}

BOOL WINAPI SwitchToThread(void) {
    Thread& t = CurrentThread();
    bool others = t.machine.scheduler().HasReady();
    t.machine.scheduler().Yield(&t);
    return others ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------
// Critical sections

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    std::memset(cs, 0, sizeof(*cs));
    cs->DebugInfo = new CsLock();
    cs->LockCount = -1;
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin) {
    InitializeCriticalSection(cs);
    cs->SpinCount = spin;
    return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    WaitOn({Cs(cs)->m}, false, INFINITE);
    cs->RecursionCount = static_cast<LONG>(Cs(cs)->m->recursion);
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(CurrentThread().tid));
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (WaitOn({Cs(cs)->m}, false, 0) == WAIT_TIMEOUT) return FALSE;
    cs->RecursionCount = static_cast<LONG>(Cs(cs)->m->recursion);
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(CurrentThread().tid));
    return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    Cs(cs)->m->Release(&CurrentThread());
    cs->RecursionCount = static_cast<LONG>(Cs(cs)->m->recursion);
    if (cs->RecursionCount == 0) cs->OwningThread = NULL;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<CsLock*>(cs->DebugInfo);
    cs->DebugInfo = nullptr;
}

// ---------------------------------------------------------------------------------------
// Security descriptors

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR psd, DWORD revision) {
    if (!psd) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (revision != SECURITY_DESCRIPTOR_REVISION) return Fail(1305 /* ERROR_UNKNOWN_REVISION */, FALSE);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(psd);
    std::memset(sd, 0, sizeof(*sd));
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR psd, BOOL present, PACL dacl, BOOL defaulted) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(psd);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(1305, FALSE);
    sd->Control = static_cast<WORD>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (present) {
        sd->Control |= SE_DACL_PRESENT;
        if (defaulted) sd->Control |= SE_DACL_DEFAULTED;
        sd->Dacl = dacl;
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}

BOOL WINAPI IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR psd) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(psd);
    return sd && sd->Revision == SECURITY_DESCRIPTOR_REVISION;
}

// ---------------------------------------------------------------------------------------
// Threads

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

// ---------------------------------------------------------------------------------------
// Processes

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
DWORD WINAPI GetCurrentProcessId(void) { return Proc().pid; }

DWORD WINAPI GetProcessId(HANDLE h) {
    auto p = Obj<Process>(h);
    return p ? p->pid : Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD pid) {
    auto p = Mach().FindProcess(pid);
    if (!p || p->ended) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, NULL);
    return Proc().AddHandle(p, access, inherit != FALSE);
}

BOOL WINAPI ProcessIdToSessionId(DWORD pid, DWORD* session) {
    auto p = Mach().FindProcess(pid);
    if (!p || !session) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *session = p->session;
    return TRUE;
}

DWORD WINAPI WTSGetActiveConsoleSessionId(void) { return Mach().active_console_session; }

void WINAPI ExitProcess(UINT code) {
    Mach().TerminateProcess(Proc(), code);
    throw ThreadExitUnwind{code};
}

BOOL WINAPI TerminateProcess(HANDLE h, UINT code) {
    ACCESS_MASK access = 0;
    auto p = Obj<Process>(h, &access);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(access & PROCESS_TERMINATE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (p.get() == &Proc()) ExitProcess(code);
    if (p->ended) return Fail(ERROR_ACCESS_DENIED, FALSE);
    Mach().TerminateProcess(*p, code);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
    ACCESS_MASK access = 0;
    auto p = Obj<Process>(h, &access);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (code) *code = p->ended ? p->exit_code : STILL_ACTIVE;
    return TRUE;
}

BOOL WINAPI SetPriorityClass(HANDLE h, DWORD cls) {
    auto p = Obj<Process>(h);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    switch (cls) {
    case NORMAL_PRIORITY_CLASS:
    case IDLE_PRIORITY_CLASS:
    case HIGH_PRIORITY_CLASS:
    case REALTIME_PRIORITY_CLASS:
    case BELOW_NORMAL_PRIORITY_CLASS:
    case ABOVE_NORMAL_PRIORITY_CLASS:
        p->priority_class = cls;
        return TRUE;
    default:
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
}

DWORD WINAPI GetPriorityClass(HANDLE h) {
    auto p = Obj<Process>(h);
    return p ? p->priority_class : Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
}

LPWSTR WINAPI GetCommandLineW(void) { return &Proc().command_line[0]; }

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buf, DWORD size) {
    if (!name) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    bool found = false;
    std::wstring v = Proc().GetEnv(name, &found);
    if (!found) return Fail<DWORD>(ERROR_ENVVAR_NOT_FOUND, 0);
    return CopyOutOrNeed(v, buf, size);
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
    if (!name || !*name || wcschr(name + 1, L'=')) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (value)
        Proc().SetEnv(name, value);
    else
        Proc().UnsetEnv(name);
    return TRUE;
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR src, LPWSTR dst, DWORD size) {
    if (!src) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    std::wstring out, s = src;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == L'%') {
            size_t j = s.find(L'%', i + 1);
            if (j != std::wstring::npos && j > i + 1) {
                bool found = false;
                std::wstring v = Proc().GetEnv(s.substr(i + 1, j - i - 1), &found);
                if (found) {
                    out += v;
                    i = j + 1;
                    continue;
                }
                // An unknown name stays as it is; its closing '%' may open the next one.
                out.append(s, i, j - i);
                i = j;
                continue;
            }
        }
        out += s[i++];
    }
    DWORD need = static_cast<DWORD>(out.size() + 1);
    if (dst && size >= need) {
        wmemcpy(dst, out.c_str(), need);
    } else if (dst && size > 0) {
        wmemcpy(dst, out.c_str(), size - 1);
        dst[size - 1] = 0;
    }
    return need;
}

DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buf) { return CopyOutOrNeed(Proc().current_dir, buf, size); }

// ---------------------------------------------------------------------------------------
// Time

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(Mach().tick_start_ms() + Mach().NowMs()); }
ULONGLONG WINAPI GetTickCount64(void) { return Mach().tick_start_ms() + Mach().NowMs(); }

void WINAPI GetLocalTime(LPSYSTEMTIME st) { MsToSystemTime(LocalMs(), st); }
void WINAPI GetSystemTime(LPSYSTEMTIME st) { MsToSystemTime(LocalMs() + Mach().tz_bias_minutes * 60000LL, st); }
void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) { MsToFileTime(LocalMs() + Mach().tz_bias_minutes * 60000LL, ft); }

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
    int64_t ms;
    if (!st || !ft || !SystemTimeToMs(st, &ms)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToFileTime(ms, ft);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
    if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToSystemTime(FileTimeToMs(ft), st);
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME out) {
    if (!ft || !out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToFileTime(FileTimeToMs(ft) - Mach().tz_bias_minutes * 60000LL, out);
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* ft, LPFILETIME out) {
    if (!ft || !out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToFileTime(FileTimeToMs(ft) + Mach().tz_bias_minutes * 60000LL, out);
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* c) {
    c->QuadPart = static_cast<LONGLONG>(Mach().NowMs()) * 10000;
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* f) {
    f->QuadPart = 10000000;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Debug output

void WINAPI OutputDebugStringW(LPCWSTR s) {
    Thread& t = CurrentThread();
    t.machine.AddDebugLine(DebugLine{t.machine.NowMs(), t.process->pid, t.tid, s ? s : L""});
}

void WINAPI OutputDebugStringA(LPCSTR s) {
    if (!s) s = "";
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    OutputDebugStringW(w.c_str());
}

BOOL WINAPI IsDebuggerPresent(void) { return FALSE; }

// ---------------------------------------------------------------------------------------
// Device I/O

BOOL WINAPI DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                            LPDWORD returned, LPOVERLAPPED ov) {
    auto dh = Obj<DeviceHandle>(h);
    if (!dh) return Fail(ERROR_INVALID_HANDLE, FALSE);
    bool overlapped = (dh->flags & FILE_FLAG_OVERLAPPED) != 0;
    if (overlapped && !ov) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!ov && !returned) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    IoctlRequest r;
    r.code = code;
    if (in && in_size) r.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + in_size);
    r.out_size = out ? out_size : 0;
    DWORD err = dh->model->Ioctl(*dh, r);
    if (err == ERROR_IO_PENDING) {
        auto p = std::make_shared<PendingRequest>();
        static std::atomic<uint64_t> next_id{1};
        p->id = next_id++;
        p->handle = dh;
        p->pid = Proc().pid;
        p->tid = CurrentThread().tid;
        p->code = code;
        p->tag = r.tag;
        p->in = std::move(r.in);
        p->out = out;
        p->out_size = r.out_size;
        p->done = std::make_shared<Event>(true, false);
        if (returned) *returned = 0;
        if (overlapped) {
            p->ov = ov;
            ov->Internal = STATUS_PENDING;
            ov->InternalHigh = 0;
            if (ov->hEvent) {
                p->event = Obj<Event>(ov->hEvent);
                if (p->event) p->event->Reset();
            }
            dh->signaled = false;
            dh->model->AddPending(p);
            return Fail(ERROR_IO_PENDING, FALSE);
        }
        // A handle without FILE_FLAG_OVERLAPPED: the call waits for the request, as the
        // I/O manager makes a synchronous caller wait on Windows.
        dh->model->AddPending(p);
        while (!p->finished) WaitOn({p->done}, false, INFINITE);
        if (returned) *returned = p->bytes;
        if (ov) {
            ov->Internal = NtStatusFromWin32(p->error);
            ov->InternalHigh = p->bytes;
        }
        if (p->error) return Fail(p->error, FALSE);
        return TRUE;
    }
    DWORD n = static_cast<DWORD>(std::min<size_t>(r.out.size(), r.out_size));
    if (n && out) std::memcpy(out, r.out.data(), n);
    if (returned) *returned = n;
    if (ov) {
        ov->Internal = NtStatusFromWin32(err);
        ov->InternalHigh = n;
        if (ov->hEvent) SetEvent(ov->hEvent);
    }
    if (err) return Fail(err, FALSE);
    return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE h, LPOVERLAPPED ov, LPDWORD n, BOOL wait) {
    if (!ov) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (ov->Internal == STATUS_PENDING) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE, FALSE);
        HANDLE w = ov->hEvent ? ov->hEvent : h;
        while (ov->Internal == STATUS_PENDING)
            if (WaitForSingleObject(w, INFINITE) == WAIT_FAILED) return FALSE;
    }
    if (n) *n = static_cast<DWORD>(ov->InternalHigh);
    DWORD status = static_cast<DWORD>(ov->Internal);
    if (status != 0) return Fail(Win32FromNtStatus(status), FALSE);
    return TRUE;
}

BOOL WINAPI CancelIo(HANDLE h) {
    auto dh = Obj<DeviceHandle>(h);
    if (!dh) return Fail(ERROR_INVALID_HANDLE, FALSE);
    dh->model->CancelPending(dh.get(), CurrentThread().tid, nullptr);
    return TRUE;
}

BOOL WINAPI CancelIoEx(HANDLE h, LPOVERLAPPED ov) {
    auto dh = Obj<DeviceHandle>(h);
    if (!dh) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (dh->model->CancelPending(dh.get(), 0, ov) == 0) return Fail(ERROR_NOT_FOUND, FALSE);
    return TRUE;
}

void DeviceHandle::OnHandleClosed(Process&) {
    if (open_handles > 0 && --open_handles == 0) {
        // Closing the last handle cancels what is still pending on it.
        model->CancelPending(this, 0, nullptr);
        model->Close(*this);
    }
}
