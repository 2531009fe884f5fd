// The window manager's timers on the machine clock.
#include "user_fixture.h"

using namespace usertest;

namespace {

// Pumps messages until the clock reaches t0 + ms; returns the WM_TIMER ticks seen
// (relative to t0) as (id, time).
std::vector<std::pair<UINT_PTR, DWORD>> PumpFor(DWORD ms, DWORD t0) {
    std::vector<std::pair<UINT_PTR, DWORD>> ticks;
    HWND stopper = CreateWindowExW(0, L"STATIC", L"stopper", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetTimer(stopper, 0xBEEF, ms - (GetTickCount() - t0), nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_TIMER && m.hwnd == stopper) break;
        if (m.message == WM_TIMER) ticks.emplace_back(m.wParam, GetTickCount() - t0);
        DispatchMessageW(&m);
    }
    DestroyWindow(stopper);
    return ticks;
}

using Ticks = std::vector<std::pair<UINT_PTR, DWORD>>;

TEST_F(UserTest, TimerTicksOnItsPeriod) {
    HWND h = MakeWindow();
    DWORD t0 = GetTickCount();
    EXPECT_EQ(5u, SetTimer(h, 5, 1000, nullptr));
    EXPECT_EQ((Ticks{{5, 1000}, {5, 2000}, {5, 3000}}), PumpFor(3500, t0));
    DestroyWindow(h);
}

TEST_F(UserTest, SettingATimerAgainReplacesPeriodAndDueTime) {
    HWND h = MakeWindow();
    DWORD t0 = GetTickCount();
    SetTimer(h, 5, 1000, nullptr);
    Sleep(500);
    SetTimer(h, 5, 300, nullptr);
    EXPECT_EQ((Ticks{{5, 800}, {5, 1100}, {5, 1400}}), PumpFor(1500, t0));
    auto timers = winsim::user::Timers(*machine, h);
    ASSERT_EQ(1u, timers.size());
    EXPECT_EQ(300u, timers[0].period_ms);
    DestroyWindow(h);
}

TEST_F(UserTest, TimerIdZeroAndTheMinimumPeriod) {
    HWND h = MakeWindow();
    DWORD t0 = GetTickCount();
    EXPECT_NE(0u, SetTimer(h, 0, 0, nullptr));  // period 0 becomes 10 ms
    SetTimer(h, 7, 250, nullptr);
    auto timers = winsim::user::Timers(*machine, h);
    ASSERT_EQ(2u, timers.size());
    EXPECT_EQ(0u, timers[0].id);
    EXPECT_EQ(static_cast<UINT>(USER_TIMER_MINIMUM), timers[0].period_ms);
    auto ticks = PumpFor(25, t0);
    EXPECT_EQ((Ticks{{0, 10}, {0, 20}}), ticks);
    EXPECT_TRUE(KillTimer(h, 0));
    EXPECT_FALSE(KillTimer(h, 0));
    EXPECT_EQ((Ticks{{7, 250}}), PumpFor(300, t0));
    DestroyWindow(h);
}

TEST_F(UserTest, ExpiriesWhileTheThreadIsBusyGiveOneTimerMessage) {
    HWND h = MakeWindow();
    DWORD t0 = GetTickCount();
    SetTimer(h, 1, 100, nullptr);
    Sleep(1050);  // ten expiries pass unseen
    int count = 0;
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) ++count;
    EXPECT_EQ(1, count);
    // The next one stays on the period's grid.
    EXPECT_EQ((Ticks{{1, 1100}, {1, 1200}}), PumpFor(1250, t0));
    DestroyWindow(h);
}

TEST_F(UserTest, KilledTimersAndTimersOfDestroyedWindowsAreSilent) {
    HWND a = MakeWindow(L"a"), b = MakeWindow(L"b");
    DWORD t0 = GetTickCount();
    SetTimer(a, 1, 100, nullptr);
    SetTimer(b, 2, 100, nullptr);
    UINT_PTR thread_timer = SetTimer(nullptr, 0, 100, nullptr);
    EXPECT_TRUE(KillTimer(a, 1));
    DestroyWindow(b);
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // from b's WM_DESTROY
    EXPECT_TRUE(winsim::user::Timers(*machine, a).empty());
    EXPECT_FALSE(KillTimer(b, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    // Only the thread timer is left.
    EXPECT_EQ((Ticks{{thread_timer, 100}}), PumpFor(150, t0));
    KillTimer(nullptr, thread_timer);
    DestroyWindow(a);
}

TEST_F(UserTest, TimerSetFromAnotherThreadWakesTheWindowsThread) {
    WindowThread r;  // waits in GetMessage without a time-out
    r.Start();
    Sleep(200);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(9u, SetTimer(r.hwnd, 9, 500, nullptr));
    Sleep(1200);
    auto ticks = Of(WM_TIMER);
    ASSERT_EQ(2u, ticks.size());
    EXPECT_EQ(r.tid, ticks[0].tid);
    EXPECT_EQ(500u, ticks[0].tick - t0);
    EXPECT_EQ(1000u, ticks[1].tick - t0);
    auto timers = winsim::user::ThreadTimers(*machine, r.tid);
    ASSERT_EQ(1u, timers.size());
    EXPECT_EQ(r.hwnd, timers[0].hwnd);
    EXPECT_TRUE(KillTimer(r.hwnd, 9));
    Sleep(2000);
    EXPECT_EQ(2u, Of(WM_TIMER).size());
    r.Stop();
}

TEST_F(UserTest, TimerSetFromAnotherThreadWakesAMessageWaitOnlyWhenDue) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD result = 0, at = 0;
    WindowThread r;
    r.body = [&](WindowThread&) {
        result = MsgWaitForMultipleObjects(1, &never, FALSE, INFINITE, QS_TIMER);
        at = GetTickCount();
    };
    r.Start();
    DWORD t0 = GetTickCount();
    Sleep(100);
    SetTimer(r.hwnd, 1, 300, nullptr);
    Sleep(1000);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, result);
    EXPECT_EQ(400u, at - t0);
    KillTimer(r.hwnd, 1);
    r.Stop();
    CloseHandle(never);
}

TEST_F(UserTest, TimersOfAnotherProcessesWindowAreRefused) {
    HWND h = nullptr;
    auto p = machine->CreateProcess(winsim::ProcessOptions{});
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Local\\tready");
    auto t = winsim::SpawnThread(*machine, p, [&]() -> DWORD {
        RegisterRecordingClass();
        h = MakeWindow();
        SetEvent(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Local\\tready"));
        return static_cast<DWORD>(Pump());
    });
    WaitForSingleObject(ready, INFINITE);
    EXPECT_EQ(0u, SetTimer(h, 1, 100, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    PostMessageW(h, WM_CLOSE, 0, 0);
    HANDLE th = scope.process().AddHandle(t);
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
    CloseHandle(ready);
}

UINT_PTR g_proc_ids[4];
int g_proc_calls = 0;
VOID CALLBACK OnTimer(HWND h, UINT msg, UINT_PTR id, DWORD) {
    EXPECT_EQ(nullptr, h);
    EXPECT_EQ(static_cast<UINT>(WM_TIMER), msg);
    g_proc_ids[g_proc_calls++ % 4] = id;
}

TEST_F(UserTest, ThreadTimersGetNewIdsAndCallTheirProcedure) {
    g_proc_calls = 0;
    UINT_PTR a = SetTimer(nullptr, 0, 100, OnTimer);
    UINT_PTR b = SetTimer(nullptr, 12345, 1000, nullptr);  // an unknown ID is not used
    EXPECT_NE(0u, a);
    EXPECT_NE(0u, b);
    EXPECT_NE(a, b);
    EXPECT_NE(12345u, b);
    EXPECT_EQ(a, SetTimer(nullptr, a, 150, OnTimer));  // an existing one is replaced
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_TIMER), m.message);
    EXPECT_EQ(nullptr, m.hwnd);
    EXPECT_EQ(a, m.wParam);
    DispatchMessageW(&m);
    EXPECT_EQ(1, g_proc_calls);
    EXPECT_EQ(a, g_proc_ids[0]);
    KillTimer(nullptr, a);
    KillTimer(nullptr, b);
}

}  // namespace
