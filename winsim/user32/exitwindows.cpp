// winsim: ExitWindowsEx, recorded by the machine and never acted on (winsim/shutdown.h).
#include <windows.h>

#include "shutdown_internal.h"
#include "winsim/kernel.h"

using namespace winsim;

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
    Process& self = CurrentProcess();
    shutdown::State& s = shutdown::StateOf(self.machine);
    DWORD error = 0;
    {
        std::lock_guard<std::mutex> g(s.mu);
        if (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) {
            auto it = s.enabled.find(self.pid);
            if (it == s.enabled.end() || !it->second.count(L"SeShutdownPrivilege")) error = ERROR_PRIVILEGE_NOT_HELD;
        }
        if (!error) error = s.exit_error;
    }
    if (error) return Fail(error, FALSE);
    shutdown::Record(self.machine, self, flags, reason, false);
    return TRUE;
}
