// winsim: the Service Control Manager (advapi32's service functions) over the registry's
// service database and the machine's processes.
#include <windows.h>

#include "winsim/files.h"
#include "winsim/osinfo.h"
#include "winsim/program.h"
#include "winsim/registry.h"
#include "winsim/scm.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <optional>

using namespace winsim;

namespace {

struct ControlRequest {
    DWORD control = 0;
    DWORD event_type = 0;
    std::vector<uint8_t> data;
    DWORD result = ERROR_SERVICE_NOT_ACTIVE;
    std::shared_ptr<Event> done = std::make_shared<Event>(true, false);
};

// One start of a service: its process and the connection of its dispatcher.
struct Instance {
    DWORD id = 0;
    std::wstring name;  // as in the database
    std::shared_ptr<Process> process;
    std::vector<std::wstring> args;  // service main's arguments, the name first
    bool connected = false;
    bool finished = false;  // SERVICE_STOPPED reported
    LPHANDLER_FUNCTION_EX handler_ex = nullptr;
    LPVOID context = nullptr;
    std::deque<std::shared_ptr<ControlRequest>> queue;
    std::shared_ptr<Event> wake = std::make_shared<Event>(false, false);
    std::shared_ptr<Event> connected_event = std::make_shared<Event>(true, false);
};

struct Runtime {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    std::shared_ptr<Instance> inst;
    int open_handles = 0;
    // A service without a program whose states follow the clock (scm::Simulate).
    std::optional<scm::Simulation> sim;
    // Its next change: the state it takes at due_ms.
    DWORD next_state = 0;
    uint64_t due_ms = 0;
};

// Puts a simulated service into state; a pending state moves on to its end state after
// the simulation's time for it (never, for kNever).
void SimEnter(Machine& m, Runtime& r, DWORD state) {
    r.status.dwCurrentState = state;
    r.status.dwCheckPoint = 0;
    r.status.dwWaitHint = 0;
    r.status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    r.next_state = 0;
    DWORD after = scm::kNever;
    if (state == SERVICE_START_PENDING) after = r.sim->start_ms, r.next_state = SERVICE_RUNNING;
    if (state == SERVICE_STOP_PENDING) after = r.sim->stop_ms, r.next_state = SERVICE_STOPPED;
    if (after == scm::kNever) r.next_state = 0;
    r.due_ms = m.NowMs() + (after == scm::kNever ? 0 : after);
    if (r.next_state) r.status.dwWaitHint = after;
}

// Applies a simulated service's change that has come due.
void SimCatchUp(Machine& m, Runtime& r) {
    if (!r.sim || !r.next_state || m.NowMs() < r.due_ms) return;
    SimEnter(m, r, r.next_state);
}

struct Scm {
    explicit Scm(Machine& m) : m(m) {}
    Machine& m;
    std::map<std::wstring, Runtime> rt;  // by lower-case name
    std::map<DWORD, std::shared_ptr<Instance>> instances;
    DWORD next_instance = 1;
    std::vector<scm::ControlRecord> log;
    std::map<std::wstring, std::vector<scm::StatusReport>> reports;  // by lower-case name
};

Scm& State(Machine& m) { return m.Ext<Scm>("scm"); }

std::wstring KeyOf(const std::wstring& name) { return std::wstring(scm::kServicesKey) + L"\\" + name; }

bool Exists(Machine& m, const std::wstring& name) {
    if (name.empty() || name.find(L'\\') != std::wstring::npos) return false;
    return Registry(m).GetDword(KeyOf(name), L"Type").has_value();
}

// The name as the database spells it.
std::wstring StoredName(Machine& m, const std::wstring& name) {
    for (auto& k : Registry(m).ListKeys(scm::kServicesKey))
        if (IEquals(k, name)) return k;
    return name;
}

bool IsAdmin(Machine& m, const Process& p) { return IEquals(p.user, L"SYSTEM") || os::IsUserAdmin(m, p.user); }

class ManagerObject : public KObject {
public:
    const char* TypeName() const override { return "SCManager"; }
};

class ServiceObject : public KObject {
public:
    ServiceObject(Machine& m, std::wstring n) : m_(m), name(std::move(n)) {}
    const char* TypeName() const override { return "Service"; }
    void OnHandleClosed(Process&) override;
    Machine& m_;
    std::wstring name;  // lower case
};

void DeleteIfDone(Scm& s, const std::wstring& key) {
    auto it = s.rt.find(key);
    Runtime* r = it == s.rt.end() ? nullptr : &it->second;
    if (r && (r->open_handles > 0 || r->status.dwCurrentState != SERVICE_STOPPED)) return;
    Registry reg(s.m);
    std::wstring path = KeyOf(StoredName(s.m, key));
    if (reg.GetDword(path, L"DeleteFlag").value_or(0) != 1) return;
    reg.DeleteKey(path);
    if (r) s.rt.erase(it);
}

void ServiceObject::OnHandleClosed(Process&) {
    Scm& s = State(m_);
    auto& r = s.rt[name];
    if (r.open_handles > 0) --r.open_handles;
    DeleteIfDone(s, name);
}

// Fails the requests still queued for an instance whose dispatcher is gone.
void DropQueue(Instance& inst) {
    for (auto& q : inst.queue) {
        q->result = ERROR_SERVICE_NOT_ACTIVE;
        q->done->Set();
    }
    inst.queue.clear();
}

// Brings the status up to date with the service's process.
void Refresh(Scm& s, const std::wstring& key) {
    auto it = s.rt.find(key);
    if (it == s.rt.end()) return;
    Runtime& r = it->second;
    SimCatchUp(s.m, r);
    if (r.inst && r.inst->process->ended) {
        if (r.status.dwCurrentState != SERVICE_STOPPED) {
            r.status.dwCurrentState = SERVICE_STOPPED;
            r.status.dwControlsAccepted = 0;
            r.status.dwCheckPoint = 0;
            r.status.dwWaitHint = 0;
            if (r.status.dwWin32ExitCode == 0) r.status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
        }
        r.inst->finished = true;
        DropQueue(*r.inst);
        s.instances.erase(r.inst->id);
        r.inst.reset();
    }
    DeleteIfDone(s, key);
}

template <class T>
std::shared_ptr<T> Handle(SC_HANDLE h, ACCESS_MASK* access) {
    if (!h) return nullptr;
    return std::dynamic_pointer_cast<T>(CurrentProcess().Lookup(reinterpret_cast<HANDLE>(h), access));
}

// The service object behind h when the handle carries every right in need.
std::shared_ptr<ServiceObject> ServiceFor(SC_HANDLE h, ACCESS_MASK need) {
    ACCESS_MASK access = 0;
    auto svc = Handle<ServiceObject>(h, &access);
    if (!svc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((access & need) != need) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return svc;
}

ACCESS_MASK MapService(ACCESS_MASK a) {
    if (a & GENERIC_READ)
        a |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
             SERVICE_ENUMERATE_DEPENDENTS;
    if (a & GENERIC_WRITE) a |= STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG;
    if (a & GENERIC_EXECUTE)
        a |= STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
             SERVICE_USER_DEFINED_CONTROL;
    if (a & GENERIC_ALL) a |= SERVICE_ALL_ACCESS;
    return a & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

ACCESS_MASK MapManager(ACCESS_MASK a) {
    if (a & GENERIC_READ) a |= STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (a & GENERIC_WRITE) a |= STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (a & GENERIC_EXECUTE) a |= STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    if (a & GENERIC_ALL) a |= SC_MANAGER_ALL_ACCESS;
    return a & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

// What users who are not administrators may do (the default security of services).
constexpr ACCESS_MASK kUserService = READ_CONTROL | SYNCHRONIZE | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                     SERVICE_ENUMERATE_DEPENDENTS | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL;
constexpr ACCESS_MASK kUserManager =
    READ_CONTROL | SYNCHRONIZE | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;

bool ValidType(DWORD t) {
    DWORD base = t & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    if (base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS) return true;
    return t == SERVICE_KERNEL_DRIVER || t == SERVICE_FILE_SYSTEM_DRIVER;
}

void ReportStatus(Runtime& r, LPSERVICE_STATUS out) {
    if (out) *out = r.status;
}

// Sends one control to a connected instance and waits for its handler's result.
DWORD Deliver(Scm& s, const std::shared_ptr<Instance>& inst, DWORD control, DWORD event_type, const void* data,
              size_t size) {
    auto req = std::make_shared<ControlRequest>();
    req->control = control;
    req->event_type = event_type;
    if (data && size) req->data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    inst->queue.push_back(req);
    inst->wake->Set();
    DWORD w = WaitOn({req->done, inst->process}, false, scm::kControlTimeoutMs);
    if (w == WAIT_OBJECT_0) return req->result;
    // Timed out or the process ended first: the request is abandoned.
    auto& q = inst->queue;
    q.erase(std::remove(q.begin(), q.end(), req), q.end());
    (void)s;
    return w == WAIT_TIMEOUT ? ERROR_SERVICE_REQUEST_TIMEOUT : ERROR_SERVICE_NOT_ACTIVE;
}

std::wstring ExpandSystemRoot(const std::wstring& s) {
    std::wstring out = s;
    for (const wchar_t* var : {L"%SystemRoot%", L"%windir%"}) {
        size_t n = wcslen(var);
        for (size_t pos = 0; (pos = Lower(out).find(Lower(var), pos)) != std::wstring::npos;) {
            out.replace(pos, n, L"C:\\Windows");
            pos += 10;
        }
    }
    if (out.compare(0, 12, L"\\SystemRoot\\") == 0) out = L"C:\\Windows\\" + out.substr(12);
    return out;
}

// The program file a name of an image path stands for: a full path from System32, with
// ".exe" added when the name has no extension and names no file as it is.
std::wstring ImageOfPath(Machine& m, const std::wstring& name) {
    std::wstring image = files::FullPath(name, L"C:\\Windows\\System32");
    size_t dot = image.find_last_of(L'.');
    size_t slash = image.find_last_of(L'\\');
    bool is_file = files::Exists(m, image) && !files::IsDirectory(m, image);
    if (!is_file && (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))) image += L".exe";
    return image;
}

// The instance of the calling process that is being started or runs the named service.
std::shared_ptr<Instance> InstanceOfCaller(Scm& s, const std::wstring* name) {
    Process& self = CurrentProcess();
    std::shared_ptr<Instance> only;
    for (auto& [id, inst] : s.instances) {
        if (inst->process.get() != &self || inst->finished) continue;
        if (name && IEquals(inst->name, *name)) return inst;
        only = inst;
    }
    return only;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The manager and the database

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD access) {
    Machine& m = CurrentMachine();
    Process& p = CurrentProcess();
    if (database && *database && !IEquals(database, SERVICES_ACTIVE_DATABASEW))
        return Fail<SC_HANDLE>(
            IEquals(database, SERVICES_FAILED_DATABASEW) ? ERROR_DATABASE_DOES_NOT_EXIST : ERROR_INVALID_NAME, nullptr);
    (void)machine;  // every name reaches this machine's manager
    access = MapManager(access) | SC_MANAGER_CONNECT;
    if (!IsAdmin(m, p) && (access & ~kUserManager)) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    HANDLE h = p.AddHandle(std::make_shared<ManagerObject>(), access);
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<SC_HANDLE>(h);
}

SC_HANDLE WINAPI CreateServiceW(SC_HANDLE mgr, LPCWSTR name, LPCWSTR display, DWORD access, DWORD type, DWORD start,
                                DWORD error_control, LPCWSTR binary, LPCWSTR group, LPDWORD tag, LPCWSTR deps,
                                LPCWSTR account, LPCWSTR) {
    Machine& m = CurrentMachine();
    Process& p = CurrentProcess();
    ACCESS_MASK granted = 0;
    if (!Handle<ManagerObject>(mgr, &granted)) return Fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!(granted & SC_MANAGER_CREATE_SERVICE)) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    if (!name || !*name || wcslen(name) > 256 || wcschr(name, L'\\') || wcschr(name, L'/'))
        return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    if (!binary || !*binary || !ValidType(type) || start > SERVICE_DISABLED || error_control > SERVICE_ERROR_CRITICAL ||
        (start <= SERVICE_SYSTEM_START && (type & SERVICE_WIN32)) || (tag && !(group && *group)))
        return Fail<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    Registry reg(m);
    Scm& s = State(m);
    std::wstring key = Lower(name);
    if (Exists(m, name)) {
        std::wstring path = KeyOf(StoredName(m, name));
        return Fail<SC_HANDLE>(
            reg.GetDword(path, L"DeleteFlag").value_or(0) == 1 ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS,
            nullptr);
    }
    std::wstring disp = display && *display ? display : name;
    for (auto& other : scm::Names(m)) {
        auto cfg = scm::Config(m, other);
        if (cfg && (IEquals(cfg->display_name, disp) || IEquals(other, disp)))
            return Fail<SC_HANDLE>(ERROR_DUPLICATE_SERVICE_NAME, nullptr);
    }
    std::wstring path = KeyOf(name);
    reg.SetDword(path, L"Type", type);
    reg.SetDword(path, L"Start", start);
    reg.SetDword(path, L"ErrorControl", error_control);
    reg.SetExpandString(path, L"ImagePath", binary);
    reg.SetString(path, L"DisplayName", disp);
    if (group && *group) reg.SetString(path, L"Group", group);
    if (type & SERVICE_WIN32) reg.SetString(path, L"ObjectName", account && *account ? account : L"LocalSystem");
    if (deps && *deps) {
        std::vector<std::wstring> items;
        for (const wchar_t* d = deps; *d; d += wcslen(d) + 1) items.push_back(d);
        reg.SetMultiString(path, L"DependOnService", items);
    }
    if (tag) *tag = 0;
    Runtime& r = s.rt[key];
    r = Runtime{};
    r.status.dwServiceType = type;
    ++r.open_handles;
    HANDLE h = p.AddHandle(std::make_shared<ServiceObject>(m, key), MapService(access));
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<SC_HANDLE>(h);
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE mgr, LPCWSTR name, DWORD access) {
    Machine& m = CurrentMachine();
    Process& p = CurrentProcess();
    if (!Handle<ManagerObject>(mgr, nullptr)) return Fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!name || !*name || wcslen(name) > 256) return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    if (!Exists(m, name)) return Fail<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
    access = MapService(access);
    if (!IsAdmin(m, p) && (access & ~kUserService)) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    std::wstring key = Lower(name);
    Scm& s = State(m);
    Runtime& r = s.rt[key];
    if (r.status.dwServiceType == 0)
        r.status.dwServiceType = Registry(m).GetDword(KeyOf(StoredName(m, name)), L"Type").value_or(0);
    ++r.open_handles;
    HANDLE h = p.AddHandle(std::make_shared<ServiceObject>(m, key), access);
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<SC_HANDLE>(h);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE h) {
    if (!Handle<ManagerObject>(h, nullptr) && !Handle<ServiceObject>(h, nullptr))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    CurrentProcess().CloseHandleValue(reinterpret_cast<HANDLE>(h));
    return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE h) {
    auto svc = ServiceFor(h, DELETE);
    if (!svc) return FALSE;
    Machine& m = CurrentMachine();
    Registry reg(m);
    std::wstring path = KeyOf(StoredName(m, svc->name));
    if (!Exists(m, svc->name)) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    if (reg.GetDword(path, L"DeleteFlag").value_or(0) == 1) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    reg.SetDword(path, L"DeleteFlag", 1);
    Refresh(State(m), svc->name);
    return TRUE;
}

BOOL WINAPI ChangeServiceConfigW(SC_HANDLE h, DWORD type, DWORD start, DWORD error_control, LPCWSTR binary,
                                 LPCWSTR group, LPDWORD tag, LPCWSTR deps, LPCWSTR account, LPCWSTR, LPCWSTR display) {
    auto svc = ServiceFor(h, SERVICE_CHANGE_CONFIG);
    if (!svc) return FALSE;
    Machine& m = CurrentMachine();
    Registry reg(m);
    std::wstring path = KeyOf(StoredName(m, svc->name));
    if (!Exists(m, svc->name)) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    if (reg.GetDword(path, L"DeleteFlag").value_or(0) == 1) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    DWORD cur_type = reg.GetDword(path, L"Type").value_or(0);
    DWORD new_type = type == SERVICE_NO_CHANGE ? cur_type : type;
    if ((type != SERVICE_NO_CHANGE && !ValidType(type)) || (start != SERVICE_NO_CHANGE && start > SERVICE_DISABLED) ||
        (start != SERVICE_NO_CHANGE && start <= SERVICE_SYSTEM_START && (new_type & SERVICE_WIN32)) ||
        (error_control != SERVICE_NO_CHANGE && error_control > SERVICE_ERROR_CRITICAL))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (display && *display)
        for (auto& other : scm::Names(m)) {
            if (IEquals(other, svc->name)) continue;
            auto cfg = scm::Config(m, other);
            if (cfg && (IEquals(cfg->display_name, display) || IEquals(other, display)))
                return Fail(ERROR_DUPLICATE_SERVICE_NAME, FALSE);
        }
    if (type != SERVICE_NO_CHANGE) reg.SetDword(path, L"Type", type);
    if (start != SERVICE_NO_CHANGE) reg.SetDword(path, L"Start", start);
    if (error_control != SERVICE_NO_CHANGE) reg.SetDword(path, L"ErrorControl", error_control);
    if (binary) reg.SetExpandString(path, L"ImagePath", binary);
    if (group) {
        if (*group)
            reg.SetString(path, L"Group", group);
        else
            reg.DeleteValue(path, L"Group");
    }
    if (tag) *tag = 0;
    if (deps) {
        std::vector<std::wstring> items;
        for (const wchar_t* d = deps; *d; d += wcslen(d) + 1) items.push_back(d);
        if (items.empty())
            reg.DeleteValue(path, L"DependOnService");
        else
            reg.SetMultiString(path, L"DependOnService", items);
    }
    if (account) reg.SetString(path, L"ObjectName", account);
    if (display) reg.SetString(path, L"DisplayName", display);
    return TRUE;
}

BOOL WINAPI ChangeServiceConfig2W(SC_HANDLE h, DWORD level, LPVOID info) {
    auto svc = ServiceFor(h, SERVICE_CHANGE_CONFIG);
    if (!svc) return FALSE;
    Machine& m = CurrentMachine();
    Registry reg(m);
    std::wstring path = KeyOf(StoredName(m, svc->name));
    if (!Exists(m, svc->name)) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    if (reg.GetDword(path, L"DeleteFlag").value_or(0) == 1) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    switch (level) {
    case SERVICE_CONFIG_DESCRIPTION: {
        if (!info) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        auto* d = static_cast<SERVICE_DESCRIPTIONW*>(info);
        if (!d->lpDescription) return TRUE;  // no change
        if (*d->lpDescription)
            reg.SetString(path, L"Description", d->lpDescription);
        else
            reg.DeleteValue(path, L"Description");
        return TRUE;
    }
    case SERVICE_CONFIG_DELAYED_AUTO_START_INFO: {
        if (!info) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        auto* d = static_cast<SERVICE_DELAYED_AUTO_START_INFO*>(info);
        if (!(reg.GetDword(path, L"Type").value_or(0) & SERVICE_WIN32)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        reg.SetDword(path, L"DelayedAutostart", d->fDelayedAutostart ? 1 : 0);
        return TRUE;
    }
    default: return Fail(ERROR_INVALID_LEVEL, FALSE);
    }
}

BOOL WINAPI QueryServiceConfigW(SC_HANDLE h, LPQUERY_SERVICE_CONFIGW cfg, DWORD size, LPDWORD needed) {
    auto svc = ServiceFor(h, SERVICE_QUERY_CONFIG);
    if (!svc) return FALSE;
    if (!needed) return Fail(ERROR_INVALID_ADDRESS, FALSE);
    Machine& m = CurrentMachine();
    auto c = scm::Config(m, svc->name);
    if (!c) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    auto deps = Registry(m).GetMultiString(KeyOf(c->name), L"DependOnService").value_or(std::vector<std::wstring>{});
    std::wstring dep_block;
    for (auto& d : deps) dep_block += d + L'\0';
    dep_block += L'\0';
    const std::wstring* strs[] = {&c->image_path, &c->group, &dep_block, &c->account, &c->display_name};
    size_t chars = 0;
    for (int i = 0; i < 5; ++i) chars += strs[i]->size() + (i == 2 ? 0 : 1);
    DWORD total = static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGW) + chars * sizeof(wchar_t));
    *needed = total;
    if (!cfg || size < total) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    auto* out = reinterpret_cast<wchar_t*>(cfg + 1);
    LPWSTR* fields[] = {&cfg->lpBinaryPathName, &cfg->lpLoadOrderGroup, &cfg->lpDependencies, &cfg->lpServiceStartName,
                        &cfg->lpDisplayName};
    for (int i = 0; i < 5; ++i) {
        *fields[i] = out;
        std::memcpy(out, strs[i]->data(), strs[i]->size() * sizeof(wchar_t));
        out += strs[i]->size();
        if (i != 2) *out++ = L'\0';
    }
    cfg->dwServiceType = c->type;
    cfg->dwStartType = c->start;
    cfg->dwErrorControl = c->error_control;
    cfg->dwTagId = 0;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Status, start and controls

BOOL WINAPI QueryServiceStatus(SC_HANDLE h, LPSERVICE_STATUS st) {
    auto svc = ServiceFor(h, SERVICE_QUERY_STATUS);
    if (!svc) return FALSE;
    if (!st) return Fail(ERROR_INVALID_ADDRESS, FALSE);
    Scm& s = State(CurrentMachine());
    Refresh(s, svc->name);
    ReportStatus(s.rt[svc->name], st);
    return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE h, int level, LPBYTE buf, DWORD size, LPDWORD needed) {
    auto svc = ServiceFor(h, SERVICE_QUERY_STATUS);
    if (!svc) return FALSE;
    if (level != SC_STATUS_PROCESS_INFO) return Fail(ERROR_INVALID_LEVEL, FALSE);
    if (!needed) return Fail(ERROR_INVALID_ADDRESS, FALSE);
    *needed = sizeof(SERVICE_STATUS_PROCESS);
    if (!buf || size < sizeof(SERVICE_STATUS_PROCESS)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    Scm& s = State(CurrentMachine());
    Refresh(s, svc->name);
    Runtime& r = s.rt[svc->name];
    SERVICE_STATUS_PROCESS sp{};
    std::memcpy(&sp, &r.status, sizeof(SERVICE_STATUS));
    sp.dwProcessId = r.inst && r.status.dwCurrentState != SERVICE_STOPPED ? r.inst->process->pid : 0;
    std::memcpy(buf, &sp, sizeof sp);
    return TRUE;
}

BOOL WINAPI StartServiceW(SC_HANDLE h, DWORD argc, LPCWSTR* argv) {
    auto svc = ServiceFor(h, SERVICE_START);
    if (!svc) return FALSE;
    Machine& m = CurrentMachine();
    Scm& s = State(m);
    auto cfg = scm::Config(m, svc->name);
    if (!cfg) return Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    Refresh(s, svc->name);
    Runtime& r = s.rt[svc->name];
    if (r.status.dwCurrentState != SERVICE_STOPPED) return Fail(ERROR_SERVICE_ALREADY_RUNNING, FALSE);
    if (scm::MarkedForDelete(m, cfg->name)) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    if (cfg->start == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED, FALSE);
    if (!(cfg->type & SERVICE_WIN32)) return Fail(ERROR_NOT_SUPPORTED, FALSE);
    if (r.sim) {
        SimEnter(m, r, SERVICE_START_PENDING);
        SimCatchUp(m, r);
        return TRUE;
    }

    std::wstring cmd = ExpandSystemRoot(cfg->image_path);
    auto parts = SplitCommandLine(cmd);
    if (parts.empty()) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    std::wstring image = ImageOfPath(m, parts[0]);
    if (!files::Exists(m, image)) {
        // An unquoted path is read as a command line is: the shortest prefix ending at a
        // blank that names a program wins, so "C:\Program Files\x.exe" may run C:\Program.exe.
        size_t i = cmd.find_first_not_of(L" \t");
        if (i != std::wstring::npos && cmd[i] != L'"') {
            for (size_t e = cmd.find_first_of(L" \t", i); e != std::wstring::npos;
                 e = cmd.find_first_of(L" \t", e + 1)) {
                std::wstring candidate = ImageOfPath(m, cmd.substr(i, e - i));
                if (files::Exists(m, candidate) && !files::IsDirectory(m, candidate)) {
                    image = candidate;
                    break;
                }
            }
            std::wstring whole = ImageOfPath(m, cmd.substr(i));
            if (!files::Exists(m, image) && files::Exists(m, whole) && !files::IsDirectory(m, whole)) image = whole;
        }
    }

    auto inst = std::make_shared<Instance>();
    inst->id = s.next_instance++;
    inst->name = cfg->name;
    inst->args.push_back(cfg->name);
    for (DWORD i = 0; i < argc && argv; ++i) inst->args.push_back(argv[i] ? argv[i] : L"");

    ProcessOptions opt;
    opt.image = image;
    opt.command_line = cmd;
    opt.session = 0;
    opt.user = L"SYSTEM";
    opt.current_dir = L"C:\\Windows\\System32";
    DWORD err = 0;
    r.status = SERVICE_STATUS{cfg->type, SERVICE_START_PENDING, 0, 0, 0, 0, 2000};
    // The new process runs only once this thread waits, so the instance is in place
    // before its dispatcher looks for it.
    auto p = StartImage(m, opt, &err);
    if (!p) {
        r.status.dwCurrentState = SERVICE_STOPPED;
        r.status.dwWaitHint = 0;
        return Fail(err, FALSE);
    }
    inst->process = p;
    r.inst = inst;
    s.instances[inst->id] = inst;

    DWORD w = WaitOn({inst->connected_event, p}, false, scm::kControlTimeoutMs);
    if (w == WAIT_OBJECT_0) return TRUE;
    Refresh(s, svc->name);
    if (r.inst == inst && !inst->connected) {
        // The program never connected: the manager gives up on this start.
        r.status = SERVICE_STATUS{cfg->type, SERVICE_STOPPED, 0, ERROR_SERVICE_REQUEST_TIMEOUT, 0, 0, 0};
        inst->finished = true;
        s.instances.erase(inst->id);
        r.inst.reset();
    }
    return Fail(ERROR_SERVICE_REQUEST_TIMEOUT, FALSE);
}

BOOL WINAPI ControlService(SC_HANDLE h, DWORD control, LPSERVICE_STATUS st) {
    ACCESS_MASK need = 0;
    DWORD accept = 0;
    switch (control) {
    case SERVICE_CONTROL_STOP: need = SERVICE_STOP, accept = SERVICE_ACCEPT_STOP; break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: need = SERVICE_PAUSE_CONTINUE, accept = SERVICE_ACCEPT_PAUSE_CONTINUE; break;
    case SERVICE_CONTROL_PARAMCHANGE: need = SERVICE_PAUSE_CONTINUE, accept = SERVICE_ACCEPT_PARAMCHANGE; break;
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE: need = SERVICE_PAUSE_CONTINUE, accept = SERVICE_ACCEPT_NETBINDCHANGE; break;
    case SERVICE_CONTROL_INTERROGATE: need = SERVICE_INTERROGATE; break;
    default:
        if (control < 128 || control > 255) {
            if (!Handle<ServiceObject>(h, nullptr)) return Fail(ERROR_INVALID_HANDLE, FALSE);
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        }
        need = SERVICE_USER_DEFINED_CONTROL;
    }
    auto svc = ServiceFor(h, need);
    if (!svc) return FALSE;
    Machine& m = CurrentMachine();
    Scm& s = State(m);
    Refresh(s, svc->name);
    Runtime& r = s.rt[svc->name];
    DWORD state = r.status.dwCurrentState;
    if (state == SERVICE_STOPPED) {
        ReportStatus(r, st);
        return Fail(ERROR_SERVICE_NOT_ACTIVE, FALSE);
    }
    if (r.sim && state == SERVICE_RUNNING && control == SERVICE_CONTROL_STOP) {
        SimEnter(m, r, SERVICE_STOP_PENDING);
        SimCatchUp(m, r);
        ReportStatus(r, st);
        return TRUE;
    }
    if (r.sim && state != SERVICE_START_PENDING && state != SERVICE_STOP_PENDING &&
        control == SERVICE_CONTROL_INTERROGATE) {
        ReportStatus(r, st);
        return TRUE;
    }
    auto inst = r.inst;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || !inst || !inst->connected ||
        !inst->handler_ex) {
        ReportStatus(r, st);
        return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, FALSE);
    }
    if (accept && !(r.status.dwControlsAccepted & accept)) {
        ReportStatus(r, st);
        return Fail(ERROR_INVALID_SERVICE_CONTROL, FALSE);
    }
    DWORD result = Deliver(s, inst, control, 0, nullptr, 0);
    Refresh(s, svc->name);
    Runtime& after = s.rt[svc->name];
    ReportStatus(after, st);
    if (result != NO_ERROR) return Fail(result, FALSE);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// The service's side

BOOL WINAPI StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
    if (!table || !table[0].lpServiceName || !table[0].lpServiceProc) return Fail(ERROR_INVALID_DATA, FALSE);
    Machine& m = CurrentMachine();
    Scm& s = State(m);
    auto inst = InstanceOfCaller(s, nullptr);
    if (!inst) return Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, FALSE);
    if (inst->connected) return Fail(ERROR_SERVICE_ALREADY_RUNNING, FALSE);
    // A program of its own process runs the first entry whatever its name; a shared one
    // runs the entry of the service's name.
    const SERVICE_TABLE_ENTRYW* entry = nullptr;
    if (s.rt[Lower(inst->name)].status.dwServiceType & SERVICE_WIN32_OWN_PROCESS) {
        entry = table;
    } else {
        for (auto* e = table; e->lpServiceName && e->lpServiceProc; ++e)
            if (IEquals(e->lpServiceName, inst->name)) {
                entry = e;
                break;
            }
    }
    if (!entry) return Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, FALSE);

    inst->connected = true;
    inst->connected_event->Set();
    LPSERVICE_MAIN_FUNCTIONW main = entry->lpServiceProc;
    auto self = std::static_pointer_cast<Process>(CurrentProcess().shared_from_this());
    std::weak_ptr<Instance> weak = inst;
    SpawnThread(
        m, self,
        [weak, main]() -> DWORD {
            std::vector<std::wstring> args;
            if (auto i = weak.lock()) args = i->args;
            std::vector<LPWSTR> argv;
            for (auto& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            main(static_cast<DWORD>(args.size()), argv.data());
            return 0;
        },
        false, L"service main");

    // The control loop: one control at a time, on this thread, until the service stops.
    for (;;) {
        if (!inst->queue.empty()) {
            auto req = inst->queue.front();
            inst->queue.pop_front();
            DWORD result = NO_ERROR;
            if (inst->handler_ex)
                result = inst->handler_ex(req->control, req->event_type, req->data.empty() ? nullptr : req->data.data(),
                                          inst->context);
            req->result = result;
            s.log.push_back({m.NowMs(), inst->name, req->control, req->event_type, result});
            req->done->Set();
            continue;
        }
        if (inst->finished) break;
        WaitOn({inst->wake}, false, INFINITE);
    }
    DropQueue(*inst);
    return TRUE;
}

// Connects the control handler to the caller's running service.
SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerExW(LPCWSTR name, LPHANDLER_FUNCTION_EX fn, LPVOID ctx) {
    if (!fn) return Fail<SERVICE_STATUS_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    if (!name) return Fail<SERVICE_STATUS_HANDLE>(ERROR_INVALID_NAME, nullptr);
    Scm& s = State(CurrentMachine());
    std::wstring n = name;
    auto inst = InstanceOfCaller(s, &n);
    if (!inst || !inst->connected ||
        (!IEquals(inst->name, n) && !(s.rt[Lower(inst->name)].status.dwServiceType & SERVICE_WIN32_OWN_PROCESS)))
        return Fail<SERVICE_STATUS_HANDLE>(ERROR_SERVICE_NOT_IN_EXE, nullptr);
    inst->handler_ex = fn;
    inst->context = ctx;
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<uintptr_t>(inst->id));
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE h, LPSERVICE_STATUS st) {
    Scm& s = State(CurrentMachine());
    auto it = s.instances.find(static_cast<DWORD>(reinterpret_cast<uintptr_t>(h)));
    if (!h || it == s.instances.end() || it->second->process.get() != &CurrentProcess())
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!st || st->dwCurrentState < SERVICE_STOPPED || st->dwCurrentState > SERVICE_PAUSED)
        return Fail(ERROR_INVALID_DATA, FALSE);
    auto inst = it->second;
    Runtime& r = s.rt[Lower(inst->name)];
    if (r.inst != inst) return Fail(ERROR_INVALID_HANDLE, FALSE);
    r.status = *st;
    s.reports[Lower(inst->name)].push_back({CurrentMachine().NowMs(), *st});
    if (st->dwCurrentState == SERVICE_STOPPED) {
        r.status.dwControlsAccepted = 0;
        inst->finished = true;
        inst->wake->Set();
        s.instances.erase(inst->id);
        r.inst.reset();
        DeleteIfDone(s, Lower(inst->name));
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// The test API

namespace winsim::scm {

std::optional<ServiceConfig> Config(Machine& m, const std::wstring& name) {
    if (!Exists(m, name)) return std::nullopt;
    Registry reg(m);
    ServiceConfig c;
    c.name = StoredName(m, name);
    std::wstring path = KeyOf(c.name);
    c.type = reg.GetDword(path, L"Type").value_or(0);
    c.start = reg.GetDword(path, L"Start").value_or(SERVICE_DEMAND_START);
    c.error_control = reg.GetDword(path, L"ErrorControl").value_or(SERVICE_ERROR_NORMAL);
    c.image_path = reg.GetString(path, L"ImagePath").value_or(L"");
    c.display_name = reg.GetString(path, L"DisplayName").value_or(c.name);
    c.group = reg.GetString(path, L"Group").value_or(L"");
    c.description = reg.GetString(path, L"Description").value_or(L"");
    c.account = reg.GetString(path, L"ObjectName").value_or(L"");
    c.delayed_autostart = reg.GetDword(path, L"DelayedAutostart").value_or(0) == 1;
    return c;
}

std::vector<std::wstring> Names(Machine& m) {
    std::vector<std::wstring> out;
    Registry reg(m);
    if (!reg.KeyExists(kServicesKey)) return out;
    for (auto& k : reg.ListKeys(kServicesKey))
        if (reg.GetDword(KeyOf(k), L"Type")) out.push_back(k);
    return out;
}

SERVICE_STATUS Status(Machine& m, const std::wstring& name) {
    Scm& s = State(m);
    auto it = s.rt.find(Lower(name));
    if (it == s.rt.end()) return SERVICE_STATUS{0, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    Runtime& r = it->second;
    SimCatchUp(m, r);
    if (r.inst && r.inst->process->ended) {
        SERVICE_STATUS st = r.status;
        if (st.dwCurrentState != SERVICE_STOPPED) {
            st.dwCurrentState = SERVICE_STOPPED;
            if (!st.dwWin32ExitCode) st.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
        }
        return st;
    }
    return r.status;
}

DWORD ProcessId(Machine& m, const std::wstring& name) {
    Scm& s = State(m);
    auto it = s.rt.find(Lower(name));
    if (it == s.rt.end() || !it->second.inst || it->second.inst->process->ended) return 0;
    return it->second.inst->process->pid;
}

bool MarkedForDelete(Machine& m, const std::wstring& name) {
    if (!Exists(m, name)) return false;
    return Registry(m).GetDword(KeyOf(StoredName(m, name)), L"DeleteFlag").value_or(0) == 1;
}

std::vector<ControlRecord> Controls(Machine& m) { return State(m).log; }
std::vector<ControlRecord> ControlsFrom(Machine& m, size_t first) {
    const auto& log = State(m).log;
    return std::vector<ControlRecord>(log.begin() + static_cast<std::ptrdiff_t>(std::min(first, log.size())), log.end());
}
void ClearControls(Machine& m) { State(m).log.clear(); }

std::vector<StatusReport> Reports(Machine& m, const std::wstring& name) {
    auto& r = State(m).reports;
    auto it = r.find(Lower(name));
    return it == r.end() ? std::vector<StatusReport>{} : it->second;
}

std::vector<Delivery> Broadcast(Machine& m, DWORD control, DWORD accept_mask, DWORD event_type, const void* data,
                                size_t size) {
    Scm& s = State(m);
    std::vector<std::pair<std::wstring, std::shared_ptr<Instance>>> targets;
    for (auto& key : std::vector<std::wstring>([&] {
             std::vector<std::wstring> v;
             for (auto& [k, r] : s.rt) v.push_back(k);
             return v;
         }())) {
        Refresh(s, key);
        auto it = s.rt.find(key);
        if (it == s.rt.end()) continue;
        Runtime& r = it->second;
        DWORD st = r.status.dwCurrentState;
        if (!r.inst || !r.inst->handler_ex || (st != SERVICE_RUNNING && st != SERVICE_PAUSED)) continue;
        if (!(r.status.dwControlsAccepted & accept_mask)) continue;
        targets.emplace_back(r.inst->name, r.inst);
    }
    std::vector<Delivery> out;
    for (auto& [name, inst] : targets) out.push_back({name, Deliver(s, inst, control, event_type, data, size)});
    return out;
}

void Simulate(Machine& m, const std::wstring& name, Simulation sim, DWORD state) {
    Scm& s = State(m);
    Runtime& r = s.rt[Lower(name)];
    if (r.status.dwServiceType == 0)
        r.status.dwServiceType = Registry(m).GetDword(KeyOf(StoredName(m, name)), L"Type").value_or(0);
    r.sim = sim;
    r.status.dwWin32ExitCode = 0;
    SimEnter(m, r, state);
}

bool WaitForState(Machine& m, const std::wstring& name, DWORD state, DWORD timeout_ms) {
    uint64_t end = m.NowMs() + timeout_ms;
    for (;;) {
        Refresh(State(m), Lower(name));
        if (Status(m, name).dwCurrentState == state) return true;
        uint64_t now = m.NowMs();
        if (now >= end) return false;
        WaitOn({}, false, static_cast<DWORD>(std::min<uint64_t>(10, end - now)));
    }
}

}  // namespace winsim::scm
