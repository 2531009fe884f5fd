// winsim: restarting and shutting the machine down, and the privileges it takes.
//
// Nothing is ever acted on: ExitWindowsEx and a restart agreed at SetupPromptReboot are
// recorded, and the machine (and the host) go on running.
//
// - A process's token starts with every privilege of the machine's user disabled;
//   AdjustTokenPrivileges enables a privilege the user holds (all by default) and reports
//   ERROR_NOT_ALL_ASSIGNED for one that SetPrivilegeHeld took away.
// - ExitWindowsEx with EWX_SHUTDOWN, EWX_REBOOT or EWX_POWEROFF fails with
//   ERROR_PRIVILEGE_NOT_HELD unless the calling process enabled SeShutdownPrivilege; a
//   failure set with SetExitFailure is given after that check.
// - SetupPromptReboot answers as the machine's user was told to (default: declines):
//   Restart records a restart and returns SPFILEQ_REBOOT_RECOMMENDED |
//   SPFILEQ_REBOOT_IN_PROGRESS, Decline returns SPFILEQ_REBOOT_RECOMMENDED, Fail returns
//   -1 with the error given.
#pragma once

#include "machine.h"

#include <string>
#include <vector>

namespace winsim::shutdown {

struct Request {
    uint64_t time_ms = 0;
    DWORD pid = 0;
    std::wstring image;
    UINT flags = 0;         // EWX_*
    DWORD reason = 0;       // the reason code of the call
    bool prompted = false;  // agreed at SetupPromptReboot rather than ExitWindowsEx
};

// Every restart, shutdown and logoff asked for, oldest first.
std::vector<Request> Requests(Machine& m);

enum class PromptAnswer { Decline, Restart, Fail };
void SetPromptAnswer(Machine& m, PromptAnswer answer, DWORD error = 0);
// How many times SetupPromptReboot asked the user.
int PromptCount(Machine& m);

// Whether the machine's user holds the privilege (all are held by default).
void SetPrivilegeHeld(Machine& m, const std::wstring& name, bool held);
// Whether the process has the privilege enabled now.
bool PrivilegeEnabled(Machine& m, DWORD pid, const std::wstring& name);
// ExitWindowsEx fails with this error (0: succeeds).
void SetExitFailure(Machine& m, DWORD error);

}  // namespace winsim::shutdown
