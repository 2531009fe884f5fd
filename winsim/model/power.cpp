// winsim: power and session events of the machine, delivered to the services and recorded.
#include <windows.h>

#include "winsim/hci.h"
#include "winsim/power.h"
#include "winsim/scm.h"

#include <optional>

using namespace winsim;

namespace {

struct PowerState {
    explicit PowerState(Machine&) {}
    std::vector<power::Event> events;
    std::vector<std::function<void(const power::Event&)>> listeners;
    bool suspended = false;
};

PowerState& State(Machine& m) { return m.Ext<PowerState>("power"); }

// Runs fn on a simulated thread: the caller's, or a system process's made for it.
template <class F>
auto OnThread(Machine& m, F fn) {
    if (CurrentThreadOrNull()) return fn();
    ProcessOptions o;
    o.image = L"C:\\Windows\\System32\\winlogon.exe";
    o.session = 0;
    o.user = L"SYSTEM";
    ProcessScope scope(m, o);
    return fn();
}

void Record(Machine& m, power::Kind kind, DWORD code, DWORD session, DWORD flags = 0) {
    power::Event e{m.NowMs(), kind, code, session, flags};
    auto& s = State(m);
    s.events.push_back(e);
    auto listeners = s.listeners;
    for (auto& l : listeners) l(e);
}

// Returns true when some service denied it. A service's handler grants a request with
// NO_ERROR and denies it with any error code (BROADCAST_QUERY_DENY among them); a service
// that ended or did not answer in time says nothing.
bool PowerEvent(Machine& m, DWORD code, DWORD flags = 0) {
    auto results = scm::Broadcast(m, SERVICE_CONTROL_POWEREVENT, SERVICE_ACCEPT_POWEREVENT, code, nullptr, 0);
    Record(m, power::Kind::Power, code, 0, flags);
    for (auto& r : results)
        if (r.result != NO_ERROR && r.result != ERROR_SERVICE_NOT_ACTIVE && r.result != ERROR_SERVICE_REQUEST_TIMEOUT)
            return true;
    return false;
}

void SessionEvent(Machine& m, DWORD code, DWORD session) {
    WTSSESSION_NOTIFICATION n{sizeof(WTSSESSION_NOTIFICATION), session};
    scm::Broadcast(m, SERVICE_CONTROL_SESSIONCHANGE, SERVICE_ACCEPT_SESSIONCHANGE, code, &n, sizeof n);
    Record(m, power::Kind::Session, code, session);
}

}  // namespace

namespace winsim::power {

std::vector<Event> Events(Machine& m) { return State(m).events; }
void ClearEvents(Machine& m) { State(m).events.clear(); }
void AddListener(Machine& m, std::function<void(const Event&)> fn) { State(m).listeners.push_back(std::move(fn)); }
bool Suspended(Machine& m) { return State(m).suspended; }

bool Suspend(Machine& m) {
    return OnThread(m, [&] {
        if (PowerEvent(m, PBT_APMQUERYSUSPEND)) {
            PowerEvent(m, PBT_APMQUERYSUSPENDFAILED);
            return false;
        }
        PowerEvent(m, PBT_APMSUSPEND);
        State(m).suspended = true;
        return true;
    });
}

void FailSuspendQuery(Machine& m) {
    OnThread(m, [&] {
        PowerEvent(m, PBT_APMQUERYSUSPEND);
        PowerEvent(m, PBT_APMQUERYSUSPENDFAILED);
        return 0;
    });
}

void Resume(Machine& m, const ResumeOptions& opt) {
    OnThread(m, [&] {
        State(m).suspended = false;
        HciDriver(m).OnResume();
        DWORD flags = opt.from_failure ? PBTF_APMRESUMEFROMFAILURE : 0;
        if (opt.critical) PowerEvent(m, PBT_APMRESUMECRITICAL, flags);
        PowerEvent(m, PBT_APMRESUMEAUTOMATIC, flags);
        if (opt.user_present) PowerEvent(m, PBT_APMRESUMESUSPEND, flags);
        return 0;
    });
}

void SessionChange(Machine& m, DWORD wts_code, DWORD session) {
    OnThread(m, [&] {
        SessionEvent(m, wts_code, session);
        return 0;
    });
}

void Logon(Machine& m, DWORD session, const std::wstring& user) {
    if (!m.FindSession(session)) {
        std::wstring name = user.empty() ? L"User" + std::to_wstring(session) : user;
        m.AddSession(
            Session{session, name, L"S-1-5-21-3623811015-3361044348-30300820-" + std::to_wstring(1000 + session)});
    }
    SessionChange(m, WTS_SESSION_LOGON, session);
}

void Logoff(Machine& m, DWORD session) { SessionChange(m, WTS_SESSION_LOGOFF, session); }
void Lock(Machine& m, DWORD session) { SessionChange(m, WTS_SESSION_LOCK, session); }
void Unlock(Machine& m, DWORD session) { SessionChange(m, WTS_SESSION_UNLOCK, session); }

void ConsoleConnect(Machine& m, DWORD session) {
    m.active_console_session = session;
    SessionChange(m, WTS_CONSOLE_CONNECT, session);
}

void ConsoleDisconnect(Machine& m, DWORD session) {
    if (m.active_console_session == session) m.active_console_session = 0xFFFFFFFF;
    SessionChange(m, WTS_CONSOLE_DISCONNECT, session);
}

}  // namespace winsim::power
