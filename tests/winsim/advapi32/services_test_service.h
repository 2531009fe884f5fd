// A small service program for the manager's tests: it reports what it is told to and
// records every control its handler gets.
#pragma once

#include <windows.h>

#include "winsim/program.h"

#include <vector>

namespace scmtest {

struct Seen {
    DWORD control;
    DWORD event_type;
};

// How the test service behaves; reset by Install.
struct Behaviour {
    DWORD start_delay_ms = 0;  // START_PENDING this long before RUNNING
    DWORD stop_delay_ms = 0;   // STOP_PENDING this long before STOPPED
    DWORD accepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE;
    bool deny_suspend = false;  // answers PBT_APMQUERYSUSPEND with deny_code
    DWORD deny_code = BROADCAST_QUERY_DENY;
    bool connect = true;  // calls StartServiceCtrlDispatcherW at all
    int table = 0;        // 0 its own entry; 1 another name first; 2 an entry without a main
    std::vector<Seen> seen;
    std::vector<std::wstring> main_args;
    std::vector<std::wstring> argv;
    BOOL dispatcher_result = -1;
    DWORD dispatcher_error = 0;
};

Behaviour& Svc();
// Registers the program "testsvc.exe", writes its image at path and resets the behaviour.
void Install(winsim::Machine& m, const std::wstring& path);

}  // namespace scmtest
