// winsim: a stand-in for the driver package library "DIFxAPI.dll" (DriverPackageLib.h)
// over the driver store (winsim/driverstore.h).
//
// The module loads where its file is (winsim/modules.h); each of its five entries can be
// left out. What the entries do:
//   - a package path must be full (ERROR_INVALID_NAME) and exist (ERROR_FILE_NOT_FOUND);
//   - pre-install copies the INF into the store (ERROR_ALREADY_EXISTS when the same text
//     is there);
//   - install pre-installs and binds the present devices that carry one of its model IDs:
//     none carries one, ERROR_NO_SUCH_DEVINST (the package stays in the store); every one
//     already uses it, ERROR_NO_MORE_ITEMS unless DRIVER_PACKAGE_FORCE;
//   - uninstall unbinds its devices and removes it from the store; get-path gives the
//     store copy's full path; both fail with ERROR_DRIVER_PACKAGE_NOT_IN_STORE when the
//     package is not there, get-path with ERROR_INSUFFICIENT_BUFFER (and the size) when
//     the buffer is short;
//   - each call reports its steps to the log callback set last (on the calling thread):
//     an info event per step and a success or error event at the end.
// A result set with SetResult replaces the model's for that operation until cleared.
#pragma once

#include "machine.h"

#include <string>
#include <vector>

namespace winsim::difx {

inline constexpr const wchar_t* kModuleName = L"DIFxAPI.dll";

enum class Op { Preinstall, Install, Uninstall, GetPath };

struct Entries {
    bool preinstall = true, install = true, uninstall = true, getpath = true, setlogcallback = true;
};
// Registers the module with the chosen entries (every machine starts with all five).
void Register(Machine& m, Entries entries = Entries());
// Writes the module's file at path.
void Install(Machine& m, const std::wstring& path);

// The result an operation gives from now on (0 clears: the model decides).
void SetResult(Machine& m, Op op, DWORD result);
// Whether install and uninstall report that a restart is needed.
void SetRebootNeeded(Machine& m, bool needed);

struct Call {
    Op op = Op::Preinstall;
    std::wstring inf_path;
    DWORD flags = 0;
    DWORD result = 0;
};
std::vector<Call> Calls(Machine& m);

}  // namespace winsim::difx
