// Worker threads and window threads.
#include <windows.h>

#include "ThreadCtl.h"
#include "sim_fixture.h"
#include "winsim/user.h"

#include <memory>
#include <vector>

namespace {

class ThreadCtlTest : public SimTest {};

// A worker that runs until its stop event is set and counts its runs.
class CCountingWorker : public CThreadCtl {
public:
    DWORD Run() override {
        ++runs;
        WaitForSingleObject(m_hStopEvent, INFINITE);
        return 5;
    }
    HANDLE DupThread() {
        HANDLE h = NULL;
        DuplicateHandle(GetCurrentProcess(), m_hThread, GetCurrentProcess(), &h, 0, FALSE, DUPLICATE_SAME_ACCESS);
        return h;
    }
    DWORD ThreadId() const { return m_dwThreadId; }
    HANDLE ThreadHandle() const { return m_hThread; }
    int runs = 0;
};

// A worker that never looks at its stop event.
class CStuckWorker : public CThreadCtl {
public:
    DWORD Run() override {
        Sleep(INFINITE);
        return 0;
    }
};

TEST_F(ThreadCtlTest, StartTwiceLeavesTheRunningThreadAlone) {
    CCountingWorker w;
    ASSERT_EQ(1, w.Start());
    DWORD tid = w.ThreadId();
    HANDLE h = w.ThreadHandle();
    EXPECT_EQ(0, w.Start());
    EXPECT_EQ(tid, w.ThreadId());
    EXPECT_EQ(h, w.ThreadHandle());
    HANDLE dup = w.DupThread();
    w.Stop();
    EXPECT_EQ(1, w.runs);
    EXPECT_EQ(nullptr, w.ThreadHandle());
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(dup, &code));
    EXPECT_EQ(5u, code);  // the thread ends with Run's result
    CloseHandle(dup);
}

TEST_F(ThreadCtlTest, WaitWithoutAThreadReturnsOneAtOnce) {
    struct Case {
        const char* name;
        bool start_and_stop;
    } cases[] = {{"never started", false}, {"already stopped", true}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        CCountingWorker w;
        if (c.start_and_stop) {
            w.Start();
            w.Stop();
        }
        DWORD t0 = GetTickCount();
        EXPECT_EQ(1, w.Wait(60000));
        EXPECT_EQ(0u, GetTickCount() - t0);
    }
}

TEST_F(ThreadCtlTest, WaitTerminatesAThreadThatDoesNotEndInTime) {
    CStuckWorker w;
    ASSERT_EQ(1, w.Start());
    DWORD t0 = GetTickCount();
    EXPECT_EQ(0, w.Wait(500));
    EXPECT_EQ(500u, GetTickCount() - t0);
    EXPECT_EQ(1, w.Wait(500));  // the handle is gone
}

TEST_F(ThreadCtlTest, AWorkerRestartsAfterAStop) {
    CCountingWorker w;
    ASSERT_EQ(1, w.Start());
    w.Stop();
    ASSERT_EQ(1, w.Start());  // the stop event is reset: the new run waits again
    HANDLE dup = w.DupThread();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(dup, 1000));
    w.Stop();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(dup, 0));
    EXPECT_EQ(2, w.runs);
    CloseHandle(dup);
}

// ---------------------------------------------------------------------------------------
// Window threads

struct Seen {
    const void* obj;
    DWORD tid;
    UINT msg;
};
std::vector<Seen> g_seen;

constexpr UINT kAsk = WM_USER + 1;     // answers wParam + 100
constexpr UINT kVanish = WM_USER + 2;  // destroys the window without ending the loop

// A window thread that records what reaches its override.
class CProbeWnd : public CWndCtl {
public:
    ~CProbeWnd() override { Close(); }
    LRESULT WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_CREATE || uMsg == WM_DESTROY || uMsg == kAsk || uMsg == WM_NCCREATE)
            g_seen.push_back(Seen{this, GetCurrentThreadId(), uMsg});
        switch (uMsg) {
        case WM_CREATE:
            if (create_delay) Sleep(create_delay);
            return fail_create ? -1 : 0;
        case kAsk: return static_cast<LRESULT>(wParam + 100);
        case kVanish:
            swallow_destroy = true;
            DestroyWindow(hWnd);
            return 0;
        case WM_DESTROY:
            if (swallow_destroy) return 0;  // no quit message: the loop runs on without a window
            break;
        default: break;
        }
        return CWndCtl::WndProc(hWnd, uMsg, wParam, lParam);
    }
    DWORD ThreadId() const { return m_dwThreadId; }
    bool Running() const { return m_hThread != NULL; }
    void SetShow(int n) { SetShowCommand(n); }

    bool fail_create = false;
    bool swallow_destroy = false;
    DWORD create_delay = 0;
};

class WndCtlTest : public SimTest {
protected:
    WndCtlTest() { g_seen.clear(); }
    ~WndCtlTest() override { g_seen.clear(); }
    std::vector<Seen> SeenBy(const void* obj, UINT msg) {
        std::vector<Seen> v;
        for (auto& s : g_seen)
            if (s.obj == obj && s.msg == msg) v.push_back(s);
        return v;
    }
};

TEST_F(WndCtlTest, CreateWaitsForTheWindowAndMessagesReachTheOverride) {
    CProbeWnd w;
    DWORD t0 = GetTickCount();
    ASSERT_EQ(1, w.Create(NULL));
    EXPECT_EQ(0u, GetTickCount() - t0);
    HWND h = w.GetHwnd();
    ASSERT_TRUE(IsWindow(h));
    // WM_CREATE reached the object on the window's thread: the binding precedes creation.
    auto created = SeenBy(&w, WM_CREATE);
    ASSERT_EQ(1u, created.size());
    EXPECT_EQ(w.ThreadId(), created[0].tid);
    EXPECT_NE(GetCurrentThreadId(), created[0].tid);
    EXPECT_EQ(1u, SeenBy(&w, WM_NCCREATE).size());
    // A message sent from this thread runs in the override on the window's thread.
    EXPECT_EQ(107, SendMessageW(h, kAsk, 7, 0));
    auto asked = SeenBy(&w, kAsk);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(w.ThreadId(), asked[0].tid);
    EXPECT_EQ(h, FindWindowW(WNDCTL_DEFAULT_CLASS, WNDCTL_DEFAULT_TITLE));
    w.Close();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(1u, SeenBy(&w, WM_DESTROY).size());
}

TEST_F(WndCtlTest, ShowCommandChoosesTheWindowAndClassStyle) {
    struct Case {
        const char* name;
        int show;
        bool visible;
        DWORD style_bits;
        UINT class_style;
        bool cursor;
    } cases[] = {
        {"hidden", 0, false, 0, 0, false},
        {"shown", SW_SHOW, true, WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, CS_HREDRAW | CS_VREDRAW,
         true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        CProbeWnd w;
        w.SetShow(c.show);
        w.SetClassName(c.show ? L"ShownClass" : L"HiddenClass");
        ASSERT_EQ(1, w.Create(NULL));
        HWND h = w.GetHwnd();
        EXPECT_EQ(c.visible, IsWindowVisible(h) != FALSE);
        // (Every overlapped window has a caption; the frame and its boxes come from the style.)
        DWORD frame = WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        EXPECT_EQ(c.style_bits, static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & frame);
        EXPECT_EQ(c.class_style,
                  static_cast<UINT>(GetClassLongPtrW(h, GCL_STYLE)) & ~static_cast<UINT>(CS_GLOBALCLASS));
        HCURSOR cur = reinterpret_cast<HCURSOR>(GetClassLongPtrW(h, GCLP_HCURSOR));
        EXPECT_EQ(c.cursor ? LoadCursorW(NULL, IDC_ARROW) : NULL, cur);
        EXPECT_EQ(c.cursor ? COLOR_WINDOW + 1 : 0, static_cast<int>(GetClassLongPtrW(h, GCLP_HBRBACKGROUND)));
        wchar_t title[64];
        GetWindowTextW(h, title, 64);
        EXPECT_STREQ(WNDCTL_DEFAULT_TITLE, title);
    }
}

TEST_F(WndCtlTest, TwoObjectsOfTheDefaultClassBothGetWorkingWindows) {
    CProbeWnd a, b;
    ASSERT_EQ(1, a.Create(NULL));
    ASSERT_EQ(1, b.Create(NULL));  // the class is registered already: harmless
    EXPECT_NE(a.GetHwnd(), b.GetHwnd());
    EXPECT_NE(a.ThreadId(), b.ThreadId());
    EXPECT_EQ(101, SendMessageW(a.GetHwnd(), kAsk, 1, 0));
    EXPECT_EQ(102, SendMessageW(b.GetHwnd(), kAsk, 2, 0));
    EXPECT_EQ(1u, SeenBy(&a, kAsk).size());
    EXPECT_EQ(1u, SeenBy(&b, kAsk).size());
}

TEST_F(WndCtlTest, DestroyingAnObjectWithoutAWindowDoesNotWait) {
    DWORD t0 = GetTickCount();
    {
        CProbeWnd w;
        w.Close();
    }
    {
        auto* w = new CWndCtl();
        delete w;
    }
    EXPECT_EQ(0u, GetTickCount() - t0);
}

TEST_F(WndCtlTest, AWindowThatCannotBeCreatedFailsAfterTheReadyWait) {
    CProbeWnd w;
    w.fail_create = true;
    DWORD t0 = GetTickCount();
    EXPECT_EQ(0, w.Create(NULL));
    EXPECT_EQ(static_cast<DWORD>(WNDCTL_READY_TIMEOUT), GetTickCount() - t0);
    EXPECT_EQ(nullptr, w.GetHwnd());
    EXPECT_FALSE(w.Running());
    // The same object comes up once its window can be made.
    w.fail_create = false;
    ASSERT_EQ(1, w.Create(NULL));
    EXPECT_TRUE(IsWindow(w.GetHwnd()));
}

TEST_F(WndCtlTest, RestartAfterClose) {
    CProbeWnd w;
    ASSERT_EQ(1, w.Create(NULL));
    HWND first = w.GetHwnd();
    DWORD first_tid = w.ThreadId();
    w.Close();
    ASSERT_EQ(1, w.Create(NULL));
    EXPECT_NE(first, w.GetHwnd());
    EXPECT_NE(first_tid, w.ThreadId());
    EXPECT_EQ(105, SendMessageW(w.GetHwnd(), kAsk, 5, 0));
}

TEST_F(WndCtlTest, CloseEndsAThreadWhoseWindowIsGone) {
    CProbeWnd w;
    ASSERT_EQ(1, w.Create(NULL));
    HWND h = w.GetHwnd();
    SendMessageW(h, kVanish, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(w.Running());  // its loop runs on: WM_DESTROY posted no quit message
    DWORD t0 = GetTickCount();
    w.Close();  // posts WM_QUIT to the thread instead of WM_CLOSE to a window
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(0u, GetTickCount() - t0);
}

TEST_F(WndCtlTest, CloseEndsAThreadWhoseWindowIsNotThereYet) {
    // WM_CREATE takes longer than the ready wait: Create gives up and closes while the
    // window does not exist yet; the quit message waits in the thread's queue.
    CProbeWnd w;
    w.create_delay = 30000;
    DWORD t0 = GetTickCount();
    EXPECT_EQ(0, w.Create(NULL));
    EXPECT_EQ(30000u, GetTickCount() - t0);
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(nullptr, FindWindowW(WNDCTL_DEFAULT_CLASS, NULL));  // it went with its thread
}

// A subclass with a member its window procedure uses: its destructor closes first.
class CMemberWnd : public CWndCtl {
public:
    CMemberWnd() : m_pLog(new std::vector<UINT>()) {}
    ~CMemberWnd() override {
        Close();
        delete m_pLog;
        m_pLog = NULL;
    }
    LRESULT WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_DESTROY) {
            destroyed_with_member = m_pLog != NULL;
            if (m_pLog) m_pLog->push_back(uMsg);
        }
        return CWndCtl::WndProc(hWnd, uMsg, wParam, lParam);
    }
    std::vector<UINT>* m_pLog;
    static bool destroyed_with_member;
};
bool CMemberWnd::destroyed_with_member = false;

TEST_F(WndCtlTest, DestructionClosesTheWindowWhileTheSubclassIsWhole) {
    CMemberWnd::destroyed_with_member = false;
    auto* w = new CMemberWnd();
    ASSERT_EQ(1, w->Create(NULL));
    HWND h = w->GetHwnd();
    delete w;
    EXPECT_TRUE(CMemberWnd::destroyed_with_member);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WndCtlTest, NamesAreBoundedCopies) {
    std::wstring long_name(300, L'x');
    CProbeWnd w;
    w.SetClassName(long_name.c_str());
    w.SetWindowTitle(long_name.c_str());
    ASSERT_EQ(1, w.Create(NULL));
    wchar_t buf[400];
    EXPECT_EQ(255, GetWindowTextW(w.GetHwnd(), buf, 400));
    EXPECT_EQ(255, GetClassNameW(w.GetHwnd(), buf, 400));
}

}  // namespace
