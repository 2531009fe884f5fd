// The window manager's windows: creation, destruction, classes, properties, geometry,
// finding windows, system classes and the broadcast hook.
#include "user_fixture.h"

#include <commctrl.h>

using namespace usertest;
using winsim::user::Delivery;
using winsim::user::DeliveryStatus;

namespace {

std::vector<UINT> Messages(HWND h) {
    std::vector<UINT> v;
    for (auto& r : Log())
        if (r.hwnd == h) v.push_back(r.msg);
    return v;
}

// What WM_CREATE's handler sees.
struct CreateSeen {
    void* param = nullptr;
    std::wstring title_in_cs;
    std::wstring text;
    BOOL is_window = FALSE;
};
CreateSeen g_seen;

LRESULT CALLBACK CreateProbe(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        g_seen.param = cs->lpCreateParams;
        g_seen.title_in_cs = cs->lpszName;
        wchar_t buf[64];
        GetWindowTextW(h, buf, 64);
        g_seen.text = buf;
        g_seen.is_window = IsWindow(h);
    }
    return DefWindowProcW(h, m, wp, lp);
}

TEST_F(UserTest, CreateDeliversNcCreateAndCreateDuringTheCall) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = CreateProbe;
    wc.lpszClassName = L"Probe";
    ASSERT_NE(0, RegisterClassExW(&wc));
    int marker = 0;
    HWND h = CreateWindowExW(0, L"Probe", L"Hello", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, &marker);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(&marker, g_seen.param);
    EXPECT_EQ(L"Hello", g_seen.title_in_cs);
    EXPECT_EQ(L"Hello", g_seen.text);  // DefWindowProc's WM_NCCREATE already stored it
    EXPECT_TRUE(g_seen.is_window);
    HWND r = MakeWindow(L"rec");
    auto seq = Messages(r);
    ASSERT_GE(seq.size(), 2u);
    EXPECT_EQ(static_cast<UINT>(WM_NCCREATE), seq[0]);
    EXPECT_EQ(static_cast<UINT>(WM_CREATE), seq[1]);
    DestroyWindow(r);
    DestroyWindow(h);
}

TEST_F(UserTest, CreateFailsWhenWmCreateReturnsMinusOne) {
    HWND h = MakeWindow(L"bad", nullptr, 0, reinterpret_cast<void*>(-1));
    EXPECT_EQ(nullptr, h);
    ASSERT_FALSE(Log().empty());
    HWND seen = Log().front().hwnd;
    EXPECT_EQ((std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}), Messages(seen));
    EXPECT_FALSE(IsWindow(seen));
}

TEST_F(UserTest, CloseChainDestroysOwnedWindowsFirstThenParentBeforeChildren) {
    HWND top = MakeWindow(L"top");
    HWND child = MakeWindow(L"child", top, WS_CHILD);
    HWND grandchild = MakeWindow(L"grandchild", child, WS_CHILD);
    HWND owned = MakeWindow(L"owned", top, WS_POPUP);
    EXPECT_EQ(top, GetWindow(owned, GW_OWNER));
    EXPECT_EQ(top, GetParent(owned));  // a popup's parent is its owner
    EXPECT_EQ(top, GetParent(child));
    Log().clear();
    SendMessageW(top, WM_CLOSE, 0, 0);  // DefWindowProc destroys it
    std::vector<std::pair<HWND, UINT>> seq;
    for (auto& r : Log())
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY || r.msg == WM_CLOSE) seq.emplace_back(r.hwnd, r.msg);
    std::vector<std::pair<HWND, UINT>> expected = {
        {top, WM_CLOSE},     {owned, WM_DESTROY},      {owned, WM_NCDESTROY},      {top, WM_DESTROY},
        {child, WM_DESTROY}, {grandchild, WM_DESTROY}, {grandchild, WM_NCDESTROY}, {child, WM_NCDESTROY},
        {top, WM_NCDESTROY},
    };
    EXPECT_EQ(expected, seq);
    for (HWND h : {top, child, grandchild, owned}) EXPECT_FALSE(IsWindow(h));
    // WM_DESTROY of the top-level window posted the quit message.
    MSG m;
    EXPECT_EQ(0, GetMessageW(&m, nullptr, 0, 0));
}

TEST_F(UserTest, DestroyWindowOfAnotherThreadIsRefused) {
    WindowThread r;
    r.Start();
    EXPECT_FALSE(DestroyWindow(r.hwnd));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(IsWindow(r.hwnd));
    r.Stop();
}

TEST_F(UserTest, HandlesAreNeverReused) {
    HWND a = MakeWindow();
    DestroyWindow(a);
    HWND b = MakeWindow();
    EXPECT_NE(a, b);
    EXPECT_FALSE(IsWindow(a));
    // Unique across processes too.
    HWND c = nullptr;
    auto p = machine->CreateProcess(winsim::ProcessOptions{});
    auto t = winsim::SpawnThread(*machine, p, [&]() -> DWORD {
        RegisterRecordingClass();
        c = MakeWindow();
        return 0;
    });
    WaitForSingleObject(scope.process().AddHandle(t), INFINITE);
    EXPECT_NE(nullptr, c);
    EXPECT_NE(b, c);
    EXPECT_FALSE(IsWindow(c));  // its thread ended
    DestroyWindow(b);
}

TEST_F(UserTest, ClassRegistration) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = kClass;
    struct Case {
        const char* name;
        std::function<BOOL()> call;
        DWORD error;
    } cases[] = {
        {"again", [&] { return RegisterClassExW(&wc) != 0; }, ERROR_CLASS_ALREADY_EXISTS},
        {"again without regard to case",
         [&] {
             WNDCLASSW w{0, DefWindowProcW, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, L"usertestWINDOW"};
             return RegisterClassW(&w) != 0;
         },
         ERROR_CLASS_ALREADY_EXISTS},
        {"wrong size",
         [&] {
             WNDCLASSEXW bad = wc;
             bad.cbSize = 4;
             bad.lpszClassName = L"Other";
             return RegisterClassExW(&bad) != 0;
         },
         ERROR_INVALID_PARAMETER},
        {"window of an unknown class",
         [] {
             return CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr) !=
                    nullptr;
         },
         ERROR_CANNOT_FIND_WND_CLASS},
        {"child without a parent",
         [] {
             return CreateWindowExW(0, kClass, L"", WS_CHILD, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr) !=
                    nullptr;
         },
         ERROR_TLW_WITH_WSCHILD},
        {"unregister while a window exists",
         [] {
             HWND h = MakeWindow();
             BOOL r = UnregisterClassW(kClass, nullptr);
             DWORD e = GetLastError();
             DestroyWindow(h);
             SetLastError(e);
             return r;
         },
         ERROR_CLASS_HAS_WINDOWS},
        {"unregister unknown", [] { return UnregisterClassW(L"NoSuchClass", nullptr); }, ERROR_CLASS_DOES_NOT_EXIST},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(c.error, GetLastError());
    }
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    EXPECT_NE(0, GetClassInfoExW(nullptr, kClass, &info));
    EXPECT_EQ(RecordingProc, info.lpfnWndProc);
    EXPECT_NE(0, GetClassInfoExW(nullptr, L"button", &info));
    EXPECT_TRUE(UnregisterClassW(kClass, nullptr));
    EXPECT_FALSE(GetClassInfoExW(nullptr, kClass, &info));
}

LRESULT CALLBACK IgnoresText(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SETTEXT) return TRUE;  // claims success, keeps the old title
    return DefWindowProcW(h, m, wp, lp);
}

TEST_F(UserTest, WindowTextGoesThroughTheWindowInsideTheProcess) {
    HWND h = MakeWindow(L"first");
    EXPECT_TRUE(SetWindowTextW(h, L"second"));
    wchar_t buf[8];
    EXPECT_EQ(6, GetWindowTextW(h, buf, 8));
    EXPECT_STREQ(L"second", buf);
    EXPECT_EQ(3, GetWindowTextW(h, buf, 4));  // cut to the buffer, terminated
    EXPECT_STREQ(L"sec", buf);
    EXPECT_EQ(6, GetWindowTextLengthW(h));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = IgnoresText;
    wc.lpszClassName = L"Stubborn";
    RegisterClassExW(&wc);
    HWND s = CreateWindowExW(0, L"Stubborn", L"kept", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(SetWindowTextW(s, L"changed"));
    EXPECT_EQ(L"kept", winsim::user::Info(*machine, s)->text);
    DestroyWindow(s);
    DestroyWindow(h);
}

TEST_F(UserTest, AnotherProcessReadsTheStoredTitleWithoutAMessage) {
    // The window's thread sleeps: inside the process GetWindowText would wait for it.
    HWND h = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Local\\ready");
    auto p = machine->CreateProcess(winsim::ProcessOptions{});
    auto t = winsim::SpawnThread(*machine, p, [&]() -> DWORD {
        RegisterRecordingClass();
        h = MakeWindow(L"RVQXCTRL");
        HANDLE e = OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Local\\ready");
        SetEvent(e);
        Sleep(10000);
        return 0;
    });
    WaitForSingleObject(ready, INFINITE);
    DWORD t0 = GetTickCount();
    wchar_t buf[32];
    EXPECT_EQ(8, GetWindowTextW(h, buf, 32));
    EXPECT_STREQ(L"RVQXCTRL", buf);
    EXPECT_EQ(8, GetWindowTextLengthW(h));
    EXPECT_EQ(0u, GetTickCount() - t0);
    HANDLE th = scope.process().AddHandle(t);
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
    CloseHandle(ready);
}

TEST_F(UserTest, FindWindowSearchesTopLevelWindowsOfTheCallersSession) {
    HWND mine = MakeWindow(L"RVQXCTRL");
    HWND child = MakeWindow(L"inner", mine, WS_CHILD);
    HWND other = nullptr;
    winsim::ProcessOptions o;
    o.session = 0;
    auto p = machine->CreateProcess(o);
    HANDLE found_there = CreateEventW(nullptr, TRUE, FALSE, L"Global\\found");
    HWND seen_there = nullptr;
    auto t = winsim::SpawnThread(*machine, p, [&]() -> DWORD {
        RegisterRecordingClass();
        other = MakeWindow(L"RVQXCTRL");
        seen_there = FindWindowW(nullptr, L"RVQXCTRL");
        SetEvent(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Global\\found"));
        return static_cast<DWORD>(Pump());
    });
    WaitForSingleObject(found_there, INFINITE);
    struct Case {
        const char* name;
        LPCWSTR cls, title;
        HWND expected;
    } cases[] = {
        {"title", nullptr, L"RVQXCTRL", mine},
        {"title without regard to case", nullptr, L"rvqxctrl", mine},
        {"class and title", kClass, L"RVQXCTRL", mine},
        {"class only", kClass, nullptr, mine},
        {"wrong class", L"STATIC", L"RVQXCTRL", nullptr},
        {"child windows are not top-level", nullptr, L"inner", nullptr},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, FindWindowW(c.cls, c.title));
    }
    EXPECT_EQ(other, seen_there);
    EXPECT_NE(mine, other);
    EXPECT_EQ(child, FindWindowExW(mine, nullptr, nullptr, L"inner"));
    EXPECT_EQ(other, winsim::user::FindByTitle(*machine, L"RVQXCTRL", 0u));
    PostMessageW(other, WM_CLOSE, 0, 0);
    HANDLE th = scope.process().AddHandle(t);
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
    CloseHandle(found_there);
    DestroyWindow(mine);
}

TEST_F(UserTest, WindowLongs) {
    HWND h = MakeWindow(L"w", nullptr, 0);
    // An overlapped window always has a caption.
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_CLIPSIBLINGS), GetWindowLongW(h, GWL_STYLE));
    EXPECT_EQ(0, SetWindowLongPtrW(h, GWLP_USERDATA, 1234));
    EXPECT_EQ(1234, GetWindowLongPtrW(h, GWLP_USERDATA));
    EXPECT_EQ(0, SetWindowLongPtrW(h, 8, 77));  // extra bytes: 16
    EXPECT_EQ(77, GetWindowLongPtrW(h, 8));
    SetLastError(0);
    EXPECT_EQ(0, GetWindowLongPtrW(h, 12));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(RecordingProc), GetWindowLongPtrW(h, GWLP_WNDPROC));
    // Subclassing: the new procedure sees the message and hands it on.
    // The procedure cannot capture: its state is static and starts afresh on every run.
    static WNDPROC prev;
    static int sub_calls;
    sub_calls = 0;
    prev = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == kDouble) ++sub_calls;
            return CallWindowProcW(prev, w, m, wp, lp);
        })));
    EXPECT_EQ(RecordingProc, prev);
    EXPECT_EQ(10, SendMessageW(h, kDouble, 5, 0));
    EXPECT_EQ(1, sub_calls);
    HWND c = MakeWindow(L"c", h, WS_CHILD, nullptr);
    SetWindowLongPtrW(c, GWLP_ID, 1009);
    EXPECT_EQ(1009, GetDlgCtrlID(c));
    EXPECT_EQ(c, GetDlgItem(h, 1009));
    DestroyWindow(h);
    EXPECT_EQ(0, GetWindowLongPtrW(h, GWLP_USERDATA));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(UserTest, GeometryAndZOrder) {
    winsim::user::SetDesktopSize(*machine, 1024, 768);
    RECT r;
    ASSERT_TRUE(GetClientRect(GetDesktopWindow(), &r));
    EXPECT_EQ(1024, r.right);
    EXPECT_EQ(768, r.bottom);
    EXPECT_EQ(1024, GetSystemMetrics(SM_CXSCREEN));

    HWND a =
        CreateWindowExW(0, kClass, L"a", WS_OVERLAPPEDWINDOW, 100, 50, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND b = MakeWindow(L"b");
    EXPECT_EQ(b, GetTopWindow(nullptr));  // new windows go on top
    EXPECT_EQ(a, GetWindow(b, GW_HWNDNEXT));
    ASSERT_TRUE(GetClientRect(a, &r));
    RECT adj{0, 0, r.right, r.bottom};
    AdjustWindowRectEx(&adj, WS_OVERLAPPEDWINDOW, FALSE, 0);
    EXPECT_EQ(400, adj.right - adj.left);
    EXPECT_EQ(300, adj.bottom - adj.top);

    // The dialog placement: topmost, centred, hidden.
    ASSERT_TRUE(SetWindowPos(a, HWND_TOPMOST, 312, 234, 400, 300, SWP_HIDEWINDOW));
    auto info = winsim::user::Info(*machine, a);
    EXPECT_TRUE(info->topmost);
    EXPECT_FALSE(info->visible);
    EXPECT_EQ(312, info->rect.left);
    EXPECT_EQ(a, GetTopWindow(nullptr));
    HWND c = MakeWindow(L"c");  // a new window stays below the topmost one
    EXPECT_EQ(c, GetWindow(a, GW_HWNDNEXT));

    // A child's rectangle is kept in its parent's client coordinates.
    HWND child = CreateWindowExW(0, kClass, L"", WS_CHILD, 5, 6, 20, 10, a, nullptr, nullptr, nullptr);
    GetWindowRect(child, &r);
    POINT origin{0, 0};
    ClientToScreen(a, &origin);
    EXPECT_EQ(origin.x + 5, r.left);
    EXPECT_EQ(origin.y + 6, r.top);
    EXPECT_EQ(20, r.right - r.left);
    MoveWindow(child, 1, 2, 3, 4, TRUE);
    GetClientRect(child, &r);
    EXPECT_EQ(3, r.right);
    for (HWND h : {a, b, c}) DestroyWindow(h);
}

TEST_F(UserTest, TabletAndScreenMetricsComeFromTheMachineSettings) {
    EXPECT_EQ(0, GetSystemMetrics(SM_TABLETPC));
    machine->store().SetInt("display", "tabletpc", 1);
    EXPECT_EQ(1, GetSystemMetrics(SM_TABLETPC));
    EXPECT_EQ(1280, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(800, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_NE(nullptr, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(nullptr, LoadCursorW(nullptr, MAKEINTRESOURCEW(5)));
}

TEST_F(UserTest, ShowingActivatesAndFocuses) {
    HWND h = MakeWindow(L"shown");
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_FALSE(ShowWindow(h, SW_SHOW));  // was hidden
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(h, GetActiveWindow());
    EXPECT_EQ(h, GetForegroundWindow());
    EXPECT_EQ(h, GetFocus());  // DefWindowProc's WM_ACTIVATE
    HWND child = MakeWindow(L"", h, WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(h, SetFocus(child));
    EXPECT_EQ(child, GetFocus());
    EXPECT_TRUE(ShowWindow(h, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(child));  // a hidden parent hides its children
    DestroyWindow(h);
    EXPECT_EQ(nullptr, GetFocus());
    EXPECT_EQ(nullptr, GetActiveWindow());
}

TEST_F(UserTest, AttachThreadInputSharesTheActiveWindow) {
    WindowThread r;
    r.Start();
    HWND mine = MakeWindow(L"mine");
    EXPECT_EQ(nullptr, SetActiveWindow(r.hwnd));  // not this thread's input
    EXPECT_TRUE(AttachThreadInput(GetCurrentThreadId(), r.tid, TRUE));
    SetActiveWindow(r.hwnd);
    EXPECT_EQ(r.hwnd, GetActiveWindow());
    EXPECT_TRUE(AttachThreadInput(GetCurrentThreadId(), r.tid, FALSE));
    EXPECT_EQ(nullptr, GetActiveWindow());
    EXPECT_FALSE(AttachThreadInput(GetCurrentThreadId(), GetCurrentThreadId(), TRUE));
    EXPECT_TRUE(SetForegroundWindow(r.hwnd));
    EXPECT_EQ(r.hwnd, GetForegroundWindow());
    ASSERT_EQ(1u, winsim::user::ForegroundLog(*machine).size());
    r.Stop();
    DestroyWindow(mine);
}

TEST_F(UserTest, WindowsDieWithTheirThread) {
    HWND h = nullptr;
    HANDLE t = Spawn([&] {
        h = MakeWindow(L"short-lived");
        SetTimer(h, 3, 100, nullptr);
    });
    Join(t);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(winsim::user::Timers(*machine, h).empty());
    EXPECT_FALSE(PostMessageW(h, kNote, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, FindWindowW(nullptr, L"short-lived"));
}

TEST_F(UserTest, PaintMessagesForVisibleWindowsThatNeedPainting) {
    HWND shown = MakeWindow(L"shown", nullptr, WS_VISIBLE);
    HWND hidden = MakeWindow(L"hidden");
    auto paints = [] {
        int n = 0;
        MSG m;
        while (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
            ++n;
            DispatchMessageW(&m);  // DefWindowProc validates
            if (n > 5) break;
        }
        return n;
    };
    EXPECT_EQ(1, paints());  // its first showing
    EXPECT_EQ(0, paints());
    InvalidateRect(hidden, nullptr, TRUE);
    EXPECT_EQ(0, paints());
    InvalidateRect(shown, nullptr, TRUE);
    EXPECT_EQ(1, paints());
    ShowWindow(hidden, SW_SHOWNA);
    EXPECT_EQ(1, paints());
    InvalidateRect(shown, nullptr, FALSE);
    EXPECT_TRUE(GetUpdateRect(shown, nullptr, FALSE));
    UpdateWindow(shown);  // paints at once
    EXPECT_FALSE(GetUpdateRect(shown, nullptr, FALSE));
    DestroyWindow(shown);
    DestroyWindow(hidden);
}

TEST_F(UserTest, ProgressBarKeepsRangePositionAndStep) {
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", 0, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, bar);
    struct Step {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        LRESULT result;
        int pos_after;
    } steps[] = {
        {PBM_SETRANGE, 0, MAKELPARAM(0, 50), MAKELONG(0, 100), 0},
        {PBM_SETSTEP, 20, 0, 10, 0},
        {PBM_STEPIT, 0, 0, 0, 20},
        {PBM_STEPIT, 0, 0, 20, 40},
        {PBM_STEPIT, 0, 0, 40, 10},   // past the end: starts over
        {PBM_SETPOS, 70, 0, 10, 50},  // clamped to the range
        {PBM_DELTAPOS, static_cast<WPARAM>(-5), 0, 50, 45},
        {PBM_GETPOS, 0, 0, 45, 45},
        {PBM_SETMARQUEE, TRUE, 50, FALSE, 45},  // needs PBS_MARQUEE
    };
    for (auto& s : steps) {
        SCOPED_TRACE(s.msg);
        EXPECT_EQ(s.result, SendMessageW(bar, s.msg, s.wp, s.lp));
        EXPECT_EQ(s.pos_after, winsim::user::Info(*machine, bar)->control.pos);
    }
    SetWindowLongW(bar, GWL_STYLE, GetWindowLongW(bar, GWL_STYLE) | PBS_MARQUEE);
    EXPECT_TRUE(SendMessageW(bar, PBM_SETMARQUEE, TRUE, 50));
    EXPECT_TRUE(winsim::user::Info(*machine, bar)->control.marquee);
    DestroyWindow(bar);
}

TEST_F(UserTest, ButtonsAndStatics) {
    HWND dlg = MakeWindow(L"dialog");
    HWND box = CreateWindowExW(0, L"BUTTON", L"Don't show", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, dlg,
                               reinterpret_cast<HMENU>(1000), nullptr, nullptr);
    HWND pic = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_BITMAP | SS_NOTIFY, 0, 0, 10, 10, dlg,
                               reinterpret_cast<HMENU>(1011), nullptr, nullptr);
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dlg, 1000));
    Log().clear();
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dlg, 1000));
    auto cmd = Of(WM_COMMAND);
    ASSERT_EQ(1u, cmd.size());
    EXPECT_EQ(MAKEWPARAM(1000, BN_CLICKED), cmd[0].wp);
    CheckDlgButton(dlg, 1000, BST_UNCHECKED);
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dlg, 1000));
    HANDLE bmp1 = reinterpret_cast<HANDLE>(0x5001), bmp2 = reinterpret_cast<HANDLE>(0x5002);
    EXPECT_EQ(0, SendMessageW(pic, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp1)));
    EXPECT_EQ(reinterpret_cast<LRESULT>(bmp1),
              SendMessageW(pic, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp2)));
    EXPECT_EQ(bmp2, winsim::user::Info(*machine, pic)->control.image);
    SetDlgItemTextW(dlg, 1000, L"Never");
    wchar_t buf[16];
    GetDlgItemTextW(dlg, 1000, buf, 16);
    EXPECT_STREQ(L"Never", buf);
    DestroyWindow(dlg);
}

TEST_F(UserTest, BroadcastReachesEveryTopLevelWindowEachWithItsOwnTimeOut) {
    WindowThread busy, idle;
    busy.title = L"busy";
    idle.title = L"idle";
    busy.body = [](WindowThread&) { Sleep(3000); };
    busy.Start();
    idle.Start();
    HWND child = MakeWindow(L"", idle.hwnd, WS_CHILD);  // not top-level: left out
    Log().clear();
    DWORD t0 = GetTickCount();
    auto rec = winsim::user::BroadcastToTopLevel(*machine, 1u, kDouble, 5, 0, Delivery::Send, 1000);
    EXPECT_EQ(1000u, GetTickCount() - t0);  // only the busy window cost its time-out
    ASSERT_EQ(2u, rec.targets.size());
    // Front to back: idle was created last.
    EXPECT_EQ(idle.hwnd, rec.targets[0].hwnd);
    EXPECT_EQ(DeliveryStatus::Delivered, rec.targets[0].status);
    EXPECT_EQ(10, rec.targets[0].result);
    EXPECT_EQ(busy.hwnd, rec.targets[1].hwnd);
    EXPECT_EQ(DeliveryStatus::TimedOut, rec.targets[1].status);
    EXPECT_EQ(1u, winsim::user::Broadcasts(*machine).size());

    auto posted =
        winsim::user::BroadcastToTopLevel(*machine, std::nullopt, WM_DISPLAYCHANGE, 32, MAKELPARAM(800, 1280), true);
    ASSERT_EQ(2u, posted.targets.size());
    EXPECT_EQ(DeliveryStatus::Posted, posted.targets[1].status);
    auto plog = winsim::user::PostedLog(*machine, busy.hwnd);
    ASSERT_EQ(1u, plog.size());
    EXPECT_EQ(static_cast<UINT>(WM_DISPLAYCHANGE), plog[0].msg);
    EXPECT_EQ(GetCurrentThreadId(), plog[0].from_tid);
    // The child belongs to this thread: destroying its parent would send to it while this
    // thread sits in a plain wait.
    DestroyWindow(child);
    busy.Stop();
    idle.Stop();
}

TEST_F(UserTest, WindowThreadProcessIdNamesTheCreatingThread) {
    WindowThread worker;
    worker.Start();
    DWORD pid = 0;
    EXPECT_EQ(worker.tid, GetWindowThreadProcessId(worker.hwnd, &pid));
    EXPECT_EQ(GetCurrentProcessId(), pid);
    worker.Stop();
    pid = 7;
    EXPECT_EQ(0u, GetWindowThreadProcessId(worker.hwnd, &pid));
    EXPECT_EQ(7u, pid);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

}  // namespace
