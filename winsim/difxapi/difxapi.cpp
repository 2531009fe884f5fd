// winsim: the stand-in for the driver package library (winsim/difx.h).
#include <windows.h>

#include <setupapi.h>
#include <shlwapi.h>

#include "DriverPackageLib.h"
#include "internal.h"
#include "winsim/devices.h"
#include "winsim/difx.h"
#include "winsim/driverstore.h"
#include "winsim/files.h"
#include "winsim/modules.h"
#include "winsim/registry.h"

#include <map>
#include <mutex>

namespace winsim::difx {

namespace {

struct State {
    explicit State(Machine&) {}
    std::mutex mu;
    std::map<Op, DWORD> forced;
    bool reboot = false;
    DIFXAPILOGCALLBACK_W callback = nullptr;
    PVOID context = nullptr;
    std::vector<Call> calls;
};

State& St(Machine& m) { return m.Ext<State>("difx"); }

void Log(DIFXAPI_LOG kind, DWORD error, const std::wstring& text) {
    State& s = St(CurrentMachine());
    DIFXAPILOGCALLBACK_W cb;
    PVOID ctx;
    {
        std::lock_guard<std::mutex> g(s.mu);
        cb = s.callback;
        ctx = s.context;
    }
    if (cb) cb(kind, error, text.c_str(), ctx);
}

// The result set for the operation (0 none): the model then does nothing.
DWORD Forced(Op op) {
    State& s = St(CurrentMachine());
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.forced.find(op);
    return it == s.forced.end() ? 0 : it->second;
}

DWORD Finish(Op op, PCWSTR path, DWORD flags, DWORD result) {
    Machine& m = CurrentMachine();
    State& s = St(m);
    {
        std::lock_guard<std::mutex> g(s.mu);
        s.calls.push_back(Call{op, path ? path : L"", flags, result});
    }
    if (result == 0)
        Log(DIFXAPI_SUCCESS, 0, L"Success");
    else
        Log(DIFXAPI_ERROR, result, L"Failed with error " + std::to_wstring(result));
    return result;
}

DWORD CheckPath(PCWSTR path, std::wstring* full) {
    if (!path || !*path) return ERROR_INVALID_PARAMETER;
    if (PathIsRelativeW(path)) return ERROR_INVALID_NAME;
    *full = files::FullPath(path);
    if (!files::Exists(CurrentMachine(), *full) || files::IsDirectory(CurrentMachine(), *full))
        return ERROR_FILE_NOT_FOUND;
    return 0;
}

// Present devices carrying a model ID of the INF, and how many of them use the copy.
void Carriers(Machine& m, const std::wstring& full, const std::wstring& copy, int* carrying, int* using_copy) {
    *carrying = *using_copy = 0;
    auto bytes = files::ReadBytes(m, full);
    auto info = bytes ? driverstore::ParseInf(*bytes) : std::nullopt;
    if (!info) return;
    DeviceTree t(m);
    Registry reg(m);
    for (const auto& n : t.List()) {
        if (!n.present || t.DriverKey(n.devinst).empty()) continue;
        bool hit = false;
        for (const wchar_t* v : {L"HardwareID", L"CompatibleIDs"})
            for (const auto& x : reg.GetMultiString(t.EnumKey(n.devinst), v).value_or(std::vector<std::wstring>()))
                for (const auto& model : info->models)
                    for (const auto& id : model.ids)
                        if (IEquals(id, x)) hit = true;
        if (!hit) continue;
        ++*carrying;
        if (!copy.empty() && IEquals(driverstore::BoundInf(m, n.devinst), copy)) ++*using_copy;
    }
}

DWORD Preinstall(PCWSTR path, DWORD flags, bool* existed) {
    std::wstring full;
    if (DWORD e = CheckPath(path, &full)) return e;
    (void)flags;
    std::wstring name;
    DWORD e = driverstore::CopyIn(CurrentMachine(), full, &name, existed);
    if (e) return e;
    Log(DIFXAPI_INFO, 0, L"Driver package '" + full + L"' is in the store as '" + name + L"'.");
    return 0;
}

DWORD WINAPI StandInPreinstall(PCWSTR path, DWORD flags) {
    Log(DIFXAPI_INFO, 0, L"ENTER: DriverPackagePreinstallW");
    if (DWORD f = Forced(Op::Preinstall)) return Finish(Op::Preinstall, path, flags, f);
    bool existed = false;
    DWORD e = Preinstall(path, flags, &existed);
    return Finish(Op::Preinstall, path, flags, e ? e : existed ? ERROR_ALREADY_EXISTS : 0);
}

DWORD InstallModel(PCWSTR path, DWORD flags) {
    Machine& m = CurrentMachine();
    std::wstring full;
    if (DWORD e = CheckPath(path, &full)) return e;
    int carrying = 0, using_copy = 0;
    Carriers(m, full, driverstore::FindCopy(m, full), &carrying, &using_copy);
    bool existed = false;
    if (DWORD e = Preinstall(path, flags, &existed)) return e;
    if (carrying == 0) return ERROR_NO_SUCH_DEVINST;
    if (carrying == using_copy && !(flags & DRIVER_PACKAGE_FORCE)) return ERROR_NO_MORE_ITEMS;
    std::wstring name = driverstore::FindCopy(m, full);
    for (DWORD dn : driverstore::InstallOn(m, name, L""))
        Log(DIFXAPI_INFO, 0, L"Installed '" + name + L"' on device " + DeviceTree(m).Get(dn)->instance_id + L".");
    return 0;
}

DWORD WINAPI StandInInstall(PCWSTR path, DWORD flags, PCINSTALLERINFO_W, BOOL* reboot) {
    Log(DIFXAPI_INFO, 0, L"ENTER: DriverPackageInstallW");
    if (reboot) *reboot = FALSE;
    DWORD e = Finish(Op::Install, path, flags, Forced(Op::Install) ? Forced(Op::Install) : InstallModel(path, flags));
    State& s = St(CurrentMachine());
    if (e == 0 && reboot) *reboot = s.reboot ? TRUE : FALSE;
    return e;
}

DWORD UninstallModel(PCWSTR path) {
    Machine& m = CurrentMachine();
    std::wstring full;
    if (DWORD e = CheckPath(path, &full)) return e;
    std::wstring name = driverstore::FindCopy(m, full);
    if (name.empty()) return DIFX_ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
    DeviceTree t(m);
    for (DWORD dn : driverstore::DevicesUsing(m, name)) Registry(m).DeleteValue(t.DriverKey(dn), L"InfPath");
    if (DWORD e = driverstore::Remove(m, name, true)) return e;
    Log(DIFXAPI_INFO, 0, L"Removed '" + name + L"' from the store.");
    return 0;
}

DWORD WINAPI StandInUninstall(PCWSTR path, DWORD flags, PCINSTALLERINFO_W, BOOL* reboot) {
    Log(DIFXAPI_INFO, 0, L"ENTER: DriverPackageUninstallW");
    if (reboot) *reboot = FALSE;
    DWORD e = Finish(Op::Uninstall, path, flags, Forced(Op::Uninstall) ? Forced(Op::Uninstall) : UninstallModel(path));
    State& s = St(CurrentMachine());
    if (e == 0 && reboot) *reboot = s.reboot ? TRUE : FALSE;
    return e;
}

DWORD GetPathModel(PCWSTR path, PWSTR out, DWORD* chars) {
    if (!chars) return ERROR_INVALID_PARAMETER;
    std::wstring full;
    if (DWORD e = CheckPath(path, &full)) return e;
    std::wstring name = driverstore::FindCopy(CurrentMachine(), full);
    if (name.empty()) return DIFX_ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
    std::wstring store = std::wstring(driverstore::kInfFolder) + L"\\" + name;
    DWORD need = static_cast<DWORD>(store.size() + 1);
    if (!out || *chars < need) {
        *chars = need;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    wmemcpy(out, store.c_str(), need);
    *chars = need;
    return 0;
}

DWORD WINAPI StandInGetPath(PCWSTR path, PWSTR out, DWORD* chars) {
    Log(DIFXAPI_INFO, 0, L"ENTER: DriverPackageGetPathW");
    return Finish(Op::GetPath, path, 0, Forced(Op::GetPath) ? Forced(Op::GetPath) : GetPathModel(path, out, chars));
}

void WINAPI StandInSetLogCallback(DIFXAPILOGCALLBACK_W cb, PVOID ctx) {
    State& s = St(CurrentMachine());
    std::lock_guard<std::mutex> g(s.mu);
    s.callback = cb;
    s.context = ctx;
}

// The entries keep the library's prototypes.
const PFN_DriverPackagePreinstallW kPreinstall = &StandInPreinstall;
const PFN_DriverPackageInstallW kInstall = &StandInInstall;
const PFN_DriverPackageUninstallW kUninstall = &StandInUninstall;
const PFN_DriverPackageGetPathW kGetPath = &StandInGetPath;
const PFN_DIFXAPISetLogCallbackW kSetLog = &StandInSetLogCallback;

}  // namespace

void Register(Machine& m, Entries entries) {
    ModuleSpec desc;
    desc.name = kModuleName;
    if (entries.preinstall) desc.exports[DIFX_PREINSTALL_NAME] = reinterpret_cast<void*>(kPreinstall);
    if (entries.install) desc.exports[DIFX_INSTALL_NAME] = reinterpret_cast<void*>(kInstall);
    if (entries.uninstall) desc.exports[DIFX_UNINSTALL_NAME] = reinterpret_cast<void*>(kUninstall);
    if (entries.getpath) desc.exports[DIFX_GETPATH_NAME] = reinterpret_cast<void*>(kGetPath);
    if (entries.setlogcallback) desc.exports[DIFX_SETLOGCALLBACK_NAME] = reinterpret_cast<void*>(kSetLog);
    Modules(m).Register(desc);
}

void Install(Machine& m, const std::wstring& path) { Modules(m).InstallFile(path, kModuleName); }

void SetResult(Machine& m, Op op, DWORD result) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    if (result)
        s.forced[op] = result;
    else
        s.forced.erase(op);
}

void SetRebootNeeded(Machine& m, bool needed) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.reboot = needed;
}

std::vector<Call> Calls(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.calls;
}

}  // namespace winsim::difx

namespace winsim::internal {

void InitDifx(Machine& m) { difx::Register(m); }

}  // namespace winsim::internal
