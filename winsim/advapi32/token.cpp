// winsim: advapi32 access tokens, as far as a process's privileges go (winsim/shutdown.h).
#include <windows.h>

#include "shutdown_internal.h"
#include "winsim/kernel.h"

#include <cstring>

using namespace winsim;

namespace {

// The privileges the machine knows, with their fixed local identifiers.
struct PrivilegeName {
    const wchar_t* name;
    DWORD luid;
};
const PrivilegeName kPrivileges[] = {
    {L"SeTcbPrivilege", 7},           {L"SeSecurityPrivilege", 8},        {L"SeTakeOwnershipPrivilege", 9},
    {L"SeLoadDriverPrivilege", 10},   {L"SeSystemtimePrivilege", 12},     {L"SeBackupPrivilege", 17},
    {L"SeRestorePrivilege", 18},      {L"SeShutdownPrivilege", 19},       {L"SeDebugPrivilege", 20},
    {L"SeChangeNotifyPrivilege", 23}, {L"SeRemoteShutdownPrivilege", 24}, {L"SeUndockPrivilege", 25},
};

const wchar_t* NameOf(const LUID& luid) {
    if (luid.HighPart != 0) return nullptr;
    for (const auto& p : kPrivileges)
        if (p.luid == luid.LowPart) return p.name;
    return nullptr;
}

class TokenObject : public KObject {
public:
    explicit TokenObject(DWORD owner) : pid(owner) {}
    const char* TypeName() const override { return "Token"; }
    const DWORD pid;
};

}  // namespace

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (!token) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    Process& self = CurrentProcess();
    DWORD pid = self.pid;
    if (process != GetCurrentProcess()) {
        auto p = self.LookupAs<Process>(process);
        if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
        pid = p->pid;
    }
    *token = self.AddHandle(std::make_shared<TokenObject>(pid), access);
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, PLUID luid) {
    if (!name || !luid) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (system && system[0]) return Fail(ERROR_INVALID_PARAMETER, FALSE);  // the local machine only
    for (const auto& p : kPrivileges) {
        if (lstrcmpiW(p.name, name) == 0) {
            luid->LowPart = p.luid;
            luid->HighPart = 0;
            return TRUE;
        }
    }
    return Fail(ERROR_NO_SUCH_PRIVILEGE, FALSE);
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES state, DWORD buffer_length,
                                  PTOKEN_PRIVILEGES previous, PDWORD return_length) {
    Process& self = CurrentProcess();
    ACCESS_MASK access = 0;
    auto t = std::dynamic_pointer_cast<TokenObject>(self.Lookup(token, &access));
    if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(access & TOKEN_ADJUST_PRIVILEGES)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!disable_all && !state) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (previous) {
        DWORD count = disable_all ? 0 : state->PrivilegeCount;
        DWORD need = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges)) +
                     (count ? count : 1) * static_cast<DWORD>(sizeof(LUID_AND_ATTRIBUTES));
        if (return_length) *return_length = need;
        if (buffer_length < need) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    shutdown::State& s = shutdown::StateOf(self.machine);
    std::lock_guard<std::mutex> g(s.mu);
    std::set<std::wstring>& enabled = s.enabled[t->pid];
    if (disable_all) {
        if (previous) previous->PrivilegeCount = 0;
        enabled.clear();
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    for (DWORD i = 0; i < state->PrivilegeCount; ++i)
        if (!NameOf(state->Privileges[i].Luid)) return Fail(ERROR_NO_SUCH_PRIVILEGE, FALSE);
    bool all = true;
    if (previous) previous->PrivilegeCount = 0;
    for (DWORD i = 0; i < state->PrivilegeCount; ++i) {
        std::wstring name = NameOf(state->Privileges[i].Luid);
        if (s.withheld.count(name)) {
            all = false;
            continue;
        }
        if (previous) {
            LUID_AND_ATTRIBUTES& old = previous->Privileges[previous->PrivilegeCount++];
            old.Luid = state->Privileges[i].Luid;
            old.Attributes = enabled.count(name) ? SE_PRIVILEGE_ENABLED : 0;
        }
        if (state->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED)
            enabled.insert(name);
        else
            enabled.erase(name);
    }
    SetLastError(all ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}
