// winsim: the machine's power and session events, as tests and the winsim tool trigger them.
//
// Each operation delivers its events, in order, to every running service that accepts
// them (SERVICE_CONTROL_POWEREVENT with a PBT_ code, SERVICE_CONTROL_SESSIONCHANGE with a
// WTS_ code and a WTSSESSION_NOTIFICATION), waiting for each handler, then records the
// event and passes it to the listeners (which the window manager's side uses for
// WM_POWERBROADCAST and WM_WTSSESSION_CHANGE). Called off the simulation, an operation
// runs as a short-lived system process of session 0.
#pragma once

#include "machine.h"

#include <functional>
#include <string>
#include <vector>

namespace winsim::power {

enum class Kind { Power, Session };

struct Event {
    uint64_t time_ms;
    Kind kind;
    DWORD code;     // PBT_... or WTS_...
    DWORD session;  // session events: the session; power events: 0
    DWORD flags;    // power events: the windows' lParam (PBTF_APMRESUMEFROMFAILURE on a failed resume)
};

std::vector<Event> Events(Machine& m);
void ClearEvents(Machine& m);
// Called for every event after the services had it.
void AddListener(Machine& m, std::function<void(const Event&)> fn);

// Suspend: PBT_APMQUERYSUSPEND, then PBT_APMSUSPEND. When a service answers the query
// with an error code (BROADCAST_QUERY_DENY or any other), PBT_APMQUERYSUSPENDFAILED
// follows instead and the machine stays on (false).
bool Suspend(Machine& m);
// The query and its failure (PBT_APMQUERYSUSPEND, PBT_APMQUERYSUSPENDFAILED) without
// asking anyone.
void FailSuspendQuery(Machine& m);

struct ResumeOptions {
    bool user_present = true;   // PBT_APMRESUMESUSPEND after PBT_APMRESUMEAUTOMATIC
    bool critical = false;      // PBT_APMRESUMECRITICAL first (the suspend was not announced)
    bool from_failure = false;  // the resume events tell windows PBTF_APMRESUMEFROMFAILURE in lParam
};
// Resume: the HCI driver's resume setting applies (hci.h: rf_after_resume), then the events.
void Resume(Machine& m, const ResumeOptions& opt = {});
bool Suspended(Machine& m);

// Session changes. Logon adds the session when the machine does not know it yet.
void Logon(Machine& m, DWORD session, const std::wstring& user = L"");
void Logoff(Machine& m, DWORD session);
void Lock(Machine& m, DWORD session);
void Unlock(Machine& m, DWORD session);
// Console connect makes the session the active console session; disconnect leaves none
// (WTSGetActiveConsoleSessionId: 0xFFFFFFFF).
void ConsoleConnect(Machine& m, DWORD session);
void ConsoleDisconnect(Machine& m, DWORD session);
// Any WTS_ code.
void SessionChange(Machine& m, DWORD wts_code, DWORD session);

}  // namespace winsim::power
