// Session change notifications reach the windows registered for them, by the registration's
// scope; registration fails while the terminal services are not started.
#include <gtest/gtest.h>
#include <windows.h>

#include <wtsapi32.h>

#include "winsim/machine.h"
#include "winsim/power.h"
#include "winsim/wts.h"

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<WPARAM, LPARAM>>* g_changes;

LRESULT CALLBACK Record(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_WTSSESSION_CHANGE && g_changes) g_changes->emplace_back(wp, lp);
    return DefWindowProcW(h, msg, wp, lp);
}

class WtsTest : public ::testing::Test {
protected:
    WtsTest() {
        g_changes = &changes;
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Record;
        wc.lpszClassName = L"WtsTestWindow";
        RegisterClassExW(&wc);
        hwnd = CreateWindowExW(0, L"WtsTestWindow", L"t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    ~WtsTest() override {
        DestroyWindow(hwnd);
        g_changes = nullptr;
    }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessScope scope{*machine};  // session 1
    std::vector<std::pair<WPARAM, LPARAM>> changes;
    HWND hwnd = nullptr;
};

struct ScopeCase {
    DWORD flags;
    DWORD session;  // of the change
    bool seen;
};

// Test names show the case only.
void PrintTo(const ScopeCase& c, std::ostream* os) { *os << c.flags << "/" << c.session; }

class WtsScope : public WtsTest, public ::testing::WithParamInterface<ScopeCase> {};

TEST_P(WtsScope, ChangeReachesTheWindowByItsScope) {
    const auto& c = GetParam();
    ASSERT_TRUE(WTSRegisterSessionNotification(hwnd, c.flags));
    winsim::power::ConsoleConnect(*machine, c.session);
    std::vector<std::pair<WPARAM, LPARAM>> want;
    if (c.seen) want.emplace_back(WTS_CONSOLE_CONNECT, c.session);
    EXPECT_EQ(want, changes);
}

INSTANTIATE_TEST_SUITE_P(Scopes, WtsScope,
                         ::testing::Values(ScopeCase{NOTIFY_FOR_THIS_SESSION, 1, true},
                                           ScopeCase{NOTIFY_FOR_THIS_SESSION, 2, false},
                                           ScopeCase{NOTIFY_FOR_ALL_SESSIONS, 2, true}),
                         [](const auto& i) {
                             return std::string(i.param.flags ? "All" : "This") + "Session" +
                                    std::to_string(i.param.session);
                         });

TEST_F(WtsTest, UnregisteredOrDestroyedWindowHearsNothing) {
    ASSERT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_ALL_SESSIONS));
    ASSERT_TRUE(WTSUnRegisterSessionNotification(hwnd));
    EXPECT_FALSE(WTSUnRegisterSessionNotification(hwnd));
    winsim::power::Logoff(*machine, 1);
    EXPECT_TRUE(changes.empty());
    ASSERT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_ALL_SESSIONS));
    DestroyWindow(hwnd);
    EXPECT_TRUE(winsim::wts::Registrations(*machine).empty());
}

TEST_F(WtsTest, RegistrationFailsUntilTheServicesStart) {
    winsim::wts::FailRegistrationUntil(*machine, machine->NowMs() + 3000);
    EXPECT_FALSE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_ALL_SESSIONS));
    EXPECT_EQ(static_cast<DWORD>(RPC_S_INVALID_BINDING), GetLastError());
    Sleep(3000);
    EXPECT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_ALL_SESSIONS));
    ASSERT_EQ(1u, winsim::wts::Registrations(*machine).size());
}

}  // namespace
