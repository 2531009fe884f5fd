// Power events reach every top-level window, each with its own time-out: a window whose
// thread is blocked does not hold up the others.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/power.h"
#include "winsim/user.h"

#include <memory>
#include <vector>

namespace {

std::vector<WPARAM>* g_power;
std::vector<LPARAM>* g_flags;

LRESULT CALLBACK Record(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_POWERBROADCAST && g_power) g_power->push_back(wp);
    if (msg == WM_POWERBROADCAST && g_flags) g_flags->push_back(lp);
    return DefWindowProcW(h, msg, wp, lp);
}

DWORD WINAPI BlockedWindowThread(void* arg) {
    CreateWindowExW(0, L"PowerTestWindow", L"blocked", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetEvent(static_cast<HANDLE>(arg));
    Sleep(60000);  // never looks at its queue
    return 0;
}

TEST(PowerBroadcast, SuspendAndResumeReachWindowsPastABlockedOne) {
    auto machine = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessScope scope(*machine);
    std::vector<WPARAM> seen;
    g_power = &seen;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Record;
    wc.lpszClassName = L"PowerTestWindow";
    RegisterClassExW(&wc);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE blocked = CreateThread(nullptr, 0, BlockedWindowThread, ready, 0, nullptr);
    WaitForSingleObject(ready, INFINITE);
    HWND hwnd = CreateWindowExW(0, L"PowerTestWindow", L"t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

    ASSERT_TRUE(winsim::power::Suspend(*machine));
    winsim::power::Resume(*machine);
    // Windows are not asked whether the machine may sleep.
    EXPECT_EQ((std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}), seen);
    auto log = winsim::user::Broadcasts(*machine);
    ASSERT_FALSE(log.empty());
    for (auto& t : log.back().targets)
        EXPECT_EQ(t.hwnd == hwnd ? winsim::user::DeliveryStatus::Delivered : winsim::user::DeliveryStatus::TimedOut,
                  t.status);
    DestroyWindow(hwnd);
    TerminateThread(blocked, 0);
    CloseHandle(blocked);
    CloseHandle(ready);
    g_power = nullptr;
}

// A resume that followed a failure says so in lParam of every resume event.
TEST(PowerBroadcast, AResumeFromFailureFlagsEachResumeEvent) {
    auto machine = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessScope scope(*machine);
    std::vector<WPARAM> seen;
    std::vector<LPARAM> flags;
    g_power = &seen;
    g_flags = &flags;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Record;
    wc.lpszClassName = L"PowerFlagsWindow";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, L"PowerFlagsWindow", L"t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(winsim::power::Suspend(*machine));
    winsim::power::ResumeOptions o;
    o.critical = true;
    o.from_failure = true;
    winsim::power::Resume(*machine, o);
    EXPECT_EQ(
        (std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMECRITICAL, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}),
        seen);
    EXPECT_EQ((std::vector<LPARAM>{0, PBTF_APMRESUMEFROMFAILURE, PBTF_APMRESUMEFROMFAILURE, PBTF_APMRESUMEFROMFAILURE}),
              flags);
    DestroyWindow(hwnd);
    g_power = nullptr;
    g_flags = nullptr;
}

}  // namespace
