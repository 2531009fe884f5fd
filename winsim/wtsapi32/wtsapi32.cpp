// winsim: wtsapi32: windows registered for session change notifications, and the delivery
// of the machine's session changes to them as WM_WTSSESSION_CHANGE.
#include <windows.h>

#include <wtsapi32.h>

#include "internal.h"
#include "winsim/power.h"
#include "winsim/user.h"
#include "winsim/wts.h"

#include <algorithm>

using namespace winsim;

namespace {

constexpr UINT kDeliveryTimeoutMs = 5000;

struct WtsState {
    explicit WtsState(Machine&) {}
    std::vector<wts::Registration> regs;
    uint64_t fail_until_ms = 0;
};

WtsState& State(Machine& m) { return m.Ext<WtsState>("wtsapi32"); }

// Drops the registrations of windows that are gone.
void Prune(Machine& m, WtsState& s) {
    s.regs.erase(std::remove_if(s.regs.begin(), s.regs.end(),
                                [&m](const wts::Registration& r) { return !user::Info(m, r.hwnd); }),
                 s.regs.end());
}

void Deliver(Machine& m, const power::Event& e) {
    if (e.kind != power::Kind::Session || !CurrentThreadOrNull()) return;
    auto& s = State(m);
    Prune(m, s);
    auto regs = s.regs;
    for (const auto& r : regs) {
        if (r.flags != NOTIFY_FOR_ALL_SESSIONS && r.session != e.session) continue;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(r.hwnd, WM_WTSSESSION_CHANGE, e.code, e.session, SMTO_ABORTIFHUNG, kDeliveryTimeoutMs,
                            &result);
    }
}

}  // namespace

namespace winsim::internal {

void InitSessionNotifications(Machine& m) {
    power::AddListener(m, [&m](const power::Event& e) { Deliver(m, e); });
}

}  // namespace winsim::internal

namespace winsim::wts {

std::vector<Registration> Registrations(Machine& m) {
    auto& s = State(m);
    Prune(m, s);
    return s.regs;
}

void FailRegistrationUntil(Machine& m, uint64_t ms) { State(m).fail_until_ms = ms; }

}  // namespace winsim::wts

BOOL WINAPI WTSRegisterSessionNotification(HWND hwnd, DWORD flags) {
    Machine& m = CurrentMachine();
    auto& s = State(m);
    if (m.NowMs() < s.fail_until_ms) {
        SetLastError(RPC_S_INVALID_BINDING);
        return FALSE;
    }
    if (flags != NOTIFY_FOR_THIS_SESSION && flags != NOTIFY_FOR_ALL_SESSIONS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto info = user::Info(m, hwnd);
    if (!info) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Prune(m, s);
    for (auto& r : s.regs)
        if (r.hwnd == hwnd) {
            r.flags = flags;
            return TRUE;
        }
    s.regs.push_back(wts::Registration{hwnd, info->pid, info->session, flags});
    return TRUE;
}

BOOL WINAPI WTSUnRegisterSessionNotification(HWND hwnd) {
    auto& s = State(CurrentMachine());
    auto it = std::find_if(s.regs.begin(), s.regs.end(), [hwnd](const wts::Registration& r) { return r.hwnd == hwnd; });
    if (it == s.regs.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s.regs.erase(it);
    return TRUE;
}
