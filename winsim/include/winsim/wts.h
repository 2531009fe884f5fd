// winsim: the session notifications of windows (wtsapi32) seen from the tests.
#pragma once

#include "machine.h"

#include <cstdint>
#include <vector>

namespace winsim::wts {

struct Registration {
    HWND hwnd;
    DWORD pid;
    DWORD session;  // the window's session
    DWORD flags;    // NOTIFY_FOR_THIS_SESSION or NOTIFY_FOR_ALL_SESSIONS
};

// Live registrations, in the order they were made.
std::vector<Registration> Registrations(Machine& m);
// WTSRegisterSessionNotification fails with RPC_S_INVALID_BINDING until machine time
// ms (the terminal services are not started yet); 0: it never fails.
void FailRegistrationUntil(Machine& m, uint64_t ms);

}  // namespace winsim::wts
