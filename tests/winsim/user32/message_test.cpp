// The window manager's messages: cross-thread sends, queue order, thread queues, waits and
// timers on the machine clock.
#include "user_fixture.h"

using namespace usertest;

namespace {

// Where the receiving thread sits when a message is sent to it, and when the sender
// therefore gets its answer.
struct ReceiverCase {
    const char* name;
    std::function<void(WindowThread&)> first;  // runs on the receiver before its message loop
    DWORD delivered_after;                     // ms after the send
};

class CrossThreadSend : public UserTest, public ::testing::WithParamInterface<int> {};

HANDLE g_never = nullptr;

std::vector<ReceiverCase> ReceiverCases() {
    return {
        {"GetMessage", nullptr, 0},
        {"Sleep", [](WindowThread&) { Sleep(1000); }, 1000},
        {"WaitForSingleObject", [](WindowThread&) { WaitForSingleObject(g_never, 1000); }, 1000},
        {"MsgWaitAllInput",
         [](WindowThread&) {
             DWORD r = MsgWaitForMultipleObjects(1, &g_never, FALSE, 5000, QS_ALLINPUT);
             Log().push_back(Rec{GetCurrentThreadId(), nullptr, WM_APP, r, GetTickCount()});
         },
         0},
        {"MsgWaitPostedOnly", [](WindowThread&) { MsgWaitForMultipleObjects(1, &g_never, FALSE, 700, QS_POSTMESSAGE); },
         700},
        {"WaitMessage", [](WindowThread&) { WaitMessage(); }, 0},
        {"PeekAfterSleep",
         [](WindowThread&) {
             Sleep(300);
             MSG m;
             PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
             Sleep(5000);
         },
         300},
    };
}

TEST_P(CrossThreadSend, IsHandledOnlyInsideMessageRetrieval) {
    ReceiverCase c = ReceiverCases()[GetParam()];
    SCOPED_TRACE(c.name);
    g_never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WindowThread r;
    r.body = c.first;
    r.Start();
    DWORD t0 = GetTickCount();
    EXPECT_EQ(42, SendMessageW(r.hwnd, kDouble, 21, 0));
    EXPECT_EQ(c.delivered_after, GetTickCount() - t0);
    auto handled = Of(kDouble);
    ASSERT_EQ(1u, handled.size());
    EXPECT_EQ(r.tid, handled[0].tid);  // on the window's thread, not the sender's
    if (std::string(c.name) == "MsgWaitAllInput") {
        auto w = Of(WM_APP);
        ASSERT_EQ(1u, w.size());
        EXPECT_EQ(WAIT_OBJECT_0 + 1, w[0].wp);  // input: index nCount
    }
    r.Stop();
    CloseHandle(g_never);
}

INSTANTIATE_TEST_SUITE_P(Receivers, CrossThreadSend, ::testing::Range(0, 7),
                         [](const auto& i) { return std::string(ReceiverCases()[i.param].name); });

TEST_F(UserTest, SenderHandlesMessagesSentToItWhileItWaits) {
    // The worker's handler sends back to a window of the waiting sender.
    HWND mine = MakeWindow(L"main");
    WindowThread r;
    r.Start();
    EXPECT_EQ(2 * 5 + 1, SendMessageW(r.hwnd, kCallBack, 5, reinterpret_cast<LPARAM>(mine)));
    auto back = Of(kDouble);
    ASSERT_EQ(1u, back.size());
    EXPECT_EQ(GetCurrentThreadId(), back[0].tid);
    r.Stop();
    DestroyWindow(mine);
}

TEST_F(UserTest, TwoThreadsSendingToEachOtherAtOnceBothGetAnswers) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WindowThread a, b;
    LRESULT ra = 0, rb = 0;
    a.body = [&](WindowThread&) {
        WaitForSingleObject(go, INFINITE);
        ra = SendMessageW(b.hwnd, kDouble, 3, 0);
    };
    b.body = [&](WindowThread&) {
        WaitForSingleObject(go, INFINITE);
        rb = SendMessageW(a.hwnd, kDouble, 4, 0);
    };
    a.Start();
    b.Start();
    SetEvent(go);
    Sleep(10);
    EXPECT_EQ(6, ra);
    EXPECT_EQ(8, rb);
    a.Stop();
    b.Stop();
    CloseHandle(go);
}

TEST_F(UserTest, SentMessagesComeBeforePostedOnes) {
    WindowThread r;
    r.body = [](WindowThread&) { Sleep(1000); };
    r.Start();
    PostMessageW(r.hwnd, kNote, 1, 0);
    PostMessageW(r.hwnd, kNote, 2, 0);
    HANDLE sender = Spawn([&] { SendMessageW(r.hwnd, kNote, 3, 0); });
    Join(sender);
    auto notes = Of(kNote);
    ASSERT_EQ(3u, notes.size());
    EXPECT_EQ(3u, notes[0].wp);
    EXPECT_EQ(1u, notes[1].wp);
    EXPECT_EQ(2u, notes[2].wp);
    r.Stop();
}

TEST_F(UserTest, QueueOrderIsPostedThenQuitThenTimer) {
    HWND h = MakeWindow();
    SetTimer(h, 1, 10, nullptr);
    Sleep(50);
    PostQuitMessage(3);
    PostMessageW(h, kNote, 0, 0);
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(kNote, m.message);
    EXPECT_FALSE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), m.message);
    EXPECT_EQ(3u, m.wParam);
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_TIMER), m.message);
    DestroyWindow(h);
}

struct GoneCase {
    const char* name;
    std::function<void(WindowThread&)> first;
};

TEST_F(UserTest, SenderGetsZeroWhenTheWindowGoesFirst) {
    std::vector<GoneCase> cases = {
        {"window destroyed",
         [](WindowThread& self) {
             Sleep(1000);
             DestroyWindow(self.hwnd);
         }},
        {"thread ended",
         [](WindowThread&) {
             Sleep(1000);
             ExitThread(5);
         }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Log().clear();
        WindowThread r;
        r.body = c.first;
        r.Start();
        DWORD t0 = GetTickCount();
        EXPECT_EQ(0, SendMessageW(r.hwnd, kDouble, 21, 0));
        EXPECT_EQ(1000u, GetTickCount() - t0);
        EXPECT_TRUE(Of(kDouble).empty());
        EXPECT_FALSE(IsWindow(r.hwnd));
        r.Join();
    }
}

TEST_F(UserTest, SendMessageTimeoutGivesUpAndTheMessageIsNotHandledLater) {
    struct Case {
        const char* name;
        UINT flags;
        DWORD sleep_before_send;
        DWORD returns_after;
    } cases[] = {
        {"plain time-out", SMTO_NORMAL, 0, 1000},
        {"abort if hung: not hung yet", SMTO_ABORTIFHUNG, 3000, 1000},
        {"abort if hung: hung", SMTO_ABORTIFHUNG, 6000, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Log().clear();
        WindowThread r;
        r.body = [](WindowThread&) { Sleep(20000); };
        r.Start();
        Sleep(c.sleep_before_send);
        DWORD t0 = GetTickCount();
        DWORD_PTR result = 99;
        SetLastError(0);
        EXPECT_EQ(0, SendMessageTimeoutW(r.hwnd, kDouble, 1, 0, c.flags, 1000, &result));
        EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), GetLastError());
        EXPECT_EQ(c.returns_after, GetTickCount() - t0);
        EXPECT_EQ(99u, result);
        r.Stop();
        EXPECT_TRUE(Of(kDouble).empty());
    }
}

TEST_F(UserTest, SendMessageTimeoutReturnsTheResult) {
    WindowThread r;
    r.Start();
    DWORD_PTR result = 0;
    EXPECT_NE(0, SendMessageTimeoutW(r.hwnd, kDouble, 8, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 1000, &result));
    EXPECT_EQ(16u, result);
    r.Stop();
}

TEST_F(UserTest, ReplyMessageReleasesTheSenderEarly) {
    WindowThread r;
    r.Start();
    DWORD t0 = GetTickCount();
    EXPECT_EQ(42, SendMessageW(r.hwnd, kReply, 0, 0));
    EXPECT_EQ(0u, GetTickCount() - t0);
    r.Stop();
}

TEST_F(UserTest, InSendMessageTellsCrossThreadFromDirectCalls) {
    static BOOL seen[2];
    // Each starts as the opposite of what its message should see, whatever an earlier run left.
    seen[0] = TRUE;
    seen[1] = FALSE;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpszClassName = L"InSend";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_USER) seen[wp] = InSendMessage();
        if (m == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(h, m, wp, lp);
    };
    ASSERT_NE(0, RegisterClassExW(&wc));
    HWND h = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE t = Spawn([&] {
        h = CreateWindowExW(0, L"InSend", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        SendMessageW(h, WM_USER, 0, 0);
        SetEvent(ready);
        Pump();
    });
    WaitForSingleObject(ready, INFINITE);
    SendMessageW(h, WM_USER, 1, 0);
    EXPECT_FALSE(seen[0]);
    EXPECT_TRUE(seen[1]);
    PostMessageW(h, WM_CLOSE, 0, 0);
    Join(t);
    CloseHandle(ready);
}

TEST_F(UserTest, ThreadWithoutWindowRunsAMessageLoop) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<UINT> got;
    std::pair<HANDLE, std::vector<UINT>*> args(ready, &got);
    DWORD tid = 0;
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* args = static_cast<std::pair<HANDLE, std::vector<UINT>*>*>(p);
            MSG m;
            PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
            SetEvent(args->first);
            while (GetMessageW(&m, nullptr, 0, 0) > 0) {
                EXPECT_EQ(nullptr, m.hwnd);
                args->second->push_back(m.message);
            }
            return static_cast<DWORD>(m.wParam);
        },
        &args, 0, &tid);
    // Before the thread has a queue, posting to it fails.
    EXPECT_FALSE(winsim::user::HasQueue(*machine, tid));
    EXPECT_FALSE(PostThreadMessageW(tid, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());
    WaitForSingleObject(ready, INFINITE);
    EXPECT_TRUE(PostThreadMessageW(tid, WM_USER + 7, 0, 0));
    EXPECT_TRUE(PostThreadMessageW(tid, WM_USER + 8, 0, 0));
    EXPECT_TRUE(PostThreadMessageW(tid, WM_QUIT, 9, 0));
    WaitForSingleObject(t, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(9u, code);
    EXPECT_EQ((std::vector<UINT>{WM_USER + 7, WM_USER + 8}), got);
    CloseHandle(t);
    CloseHandle(ready);
}

TEST_F(UserTest, PostThreadMessageToAnUnknownThreadFails) {
    EXPECT_FALSE(PostThreadMessageW(0x7FFFFFF0, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());
}

TEST_F(UserTest, GetMessageWithAnInvalidWindowFilterFails) {
    MSG m;
    HWND other = nullptr;
    WindowThread r;
    r.Start();
    other = r.hwnd;
    struct Case {
        const char* name;
        HWND filter;
    } cases[] = {{"no such window", reinterpret_cast<HWND>(0x7777770)}, {"another thread's window", other}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(-1, GetMessageW(&m, c.filter, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    }
    r.Stop();
}

TEST_F(UserTest, PeekMessageRemovesOnlyWithPmRemove) {
    HWND h = MakeWindow();
    PostMessageW(h, kNote, 1, 0);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(kNote, m.message);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    // A range filter leaves other messages in place.
    PostMessageW(h, kNote, 2, 0);
    PostMessageW(h, kDouble, 3, 0);
    EXPECT_TRUE(PeekMessageW(&m, nullptr, kDouble, kDouble, PM_REMOVE));
    EXPECT_EQ(3u, m.wParam);
    EXPECT_TRUE(PeekMessageW(&m, h, 0, 0, PM_REMOVE));
    EXPECT_EQ(2u, m.wParam);
    DestroyWindow(h);
}

TEST_F(UserTest, MsgWaitForMultipleObjectsResults) {
    HWND h = MakeWindow();
    HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Case {
        const char* name;
        std::function<void()> before;
        DWORD timeout, mask, flags;
        DWORD expected;
        DWORD after_ms;
    } cases[] = {
        {"nothing: time-out", [] {}, 400, QS_ALLINPUT, 0, WAIT_TIMEOUT, 400},
        {"object signalled", [&] { SetEvent(ev); }, 400, QS_ALLINPUT, 0, WAIT_OBJECT_0, 0},
        {"object and input: the object's index",
         [&] {
             SetEvent(ev);
             PostMessageW(h, kNote, 0, 0);
         },
         400, QS_ALLINPUT, 0, WAIT_OBJECT_0, 0},
        {"posted from another thread later",
         [&] {
             CloseHandle(Spawn([&] {
                 Sleep(250);
                 PostMessageW(h, kNote, 0, 0);
             }));
         },
         1000, QS_ALLINPUT, 0, WAIT_OBJECT_0 + 1, 250},
        {"input already seen is not new",
         [&] {
             PostMessageW(h, kNote, 0, 0);
             MSG m;
             PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
         },
         300, QS_ALLINPUT, 0, WAIT_TIMEOUT, 300},
        {"input already seen with MWMO_INPUTAVAILABLE",
         [&] {
             PostMessageW(h, kNote, 0, 0);
             MSG m;
             PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
         },
         300, QS_ALLINPUT, MWMO_INPUTAVAILABLE, WAIT_OBJECT_0 + 1, 0},
        {"a timer that comes due", [&] { SetTimer(h, 4, 120, nullptr); }, 1000, QS_TIMER, 0, WAIT_OBJECT_0 + 1, 120},
        {"a timer outside the mask", [&] { SetTimer(h, 4, 120, nullptr); }, 500, QS_POSTMESSAGE, 0, WAIT_TIMEOUT, 500},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEvent(ev);
        c.before();
        DWORD t0 = GetTickCount();
        EXPECT_EQ(c.expected, MsgWaitForMultipleObjectsEx(1, &ev, c.timeout, c.mask, c.flags));
        EXPECT_EQ(c.after_ms, GetTickCount() - t0);
        KillTimer(h, 4);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {}
    }
    CloseHandle(ev);
    DestroyWindow(h);
}

TEST_F(UserTest, PostingStopsAtTheQueueQuota) {
    HWND h = MakeWindow();
    int ok = 0;
    for (int i = 0; i < 10001; ++i) ok += PostMessageW(h, kNote, 0, 0) ? 1 : 0;
    EXPECT_EQ(10000, ok);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA), GetLastError());
    DestroyWindow(h);
    EXPECT_EQ(0u, winsim::user::PendingPosted(*machine, GetCurrentThreadId()));  // went with the window
}

TEST_F(UserTest, TranslateMessageTurnsKeysIntoCharacters) {
    HWND h = CreateWindowExW(0, L"EDIT", L"", WS_VISIBLE, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    for (WPARAM vk : {WPARAM('H'), WPARAM('I'), WPARAM('7')}) PostMessageW(h, WM_KEYDOWN, vk, 0);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    wchar_t buf[16];
    GetWindowTextW(h, buf, 16);
    EXPECT_STREQ(L"hi7", buf);
    DestroyWindow(h);
}

// ---------------------------------------------------------------------------------------
// Timers on the machine clock

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
