// Shared pieces of the window-manager tests: a recording window class and window threads.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/user.h"

#include <functional>
#include <memory>
#include <vector>

namespace usertest {

constexpr UINT kDouble = WM_USER + 1;    // returns wParam * 2
constexpr UINT kNote = WM_USER + 2;      // returns 0
constexpr UINT kCallBack = WM_USER + 3;  // sends kDouble to the window in lParam, returns its result + 1
constexpr UINT kReply = WM_USER + 4;     // replies 42 early, then sleeps 1000 ms

struct Rec {
    DWORD tid;
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    DWORD tick;
};

// Every message the recording procedure sees that a test cares about, in order.
inline std::vector<Rec>& Log() {
    static std::vector<Rec> log;
    return log;
}

inline bool Interesting(UINT m) {
    return m == WM_NCCREATE || m == WM_CREATE || m == WM_DESTROY || m == WM_NCDESTROY || m == WM_CLOSE ||
           m == WM_TIMER || m == WM_COMMAND || m == WM_SETTEXT || (m >= WM_USER && m < WM_USER + 0x100);
}

inline LRESULT CALLBACK RecordingProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (Interesting(m)) Log().push_back(Rec{GetCurrentThreadId(), h, m, wp, GetTickCount()});
    switch (m) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        if (cs->lpCreateParams == reinterpret_cast<void*>(-1)) return -1;
        return 0;
    }
    case WM_DESTROY:
        if (!GetParent(h)) PostQuitMessage(0);
        return 0;
    case kDouble: return static_cast<LRESULT>(wp * 2);
    case kCallBack: return SendMessageW(reinterpret_cast<HWND>(lp), kDouble, wp, 0) + 1;
    case kReply:
        ReplyMessage(42);
        Sleep(1000);
        return 7;
    default: return DefWindowProcW(h, m, wp, lp);
    }
}

inline const wchar_t* kClass = L"UserTestWindow";

inline void RegisterRecordingClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = 16;
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
}

inline HWND MakeWindow(const wchar_t* title = L"test", HWND parent = nullptr, DWORD style = 0, void* param = nullptr) {
    return CreateWindowExW(0, kClass, title, style, 10, 20, 300, 200, parent, nullptr, nullptr, param);
}

inline int Pump() {
    MSG m;
    BOOL r;
    while ((r = GetMessageW(&m, nullptr, 0, 0)) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return r < 0 ? -1 : static_cast<int>(m.wParam);
}

// A thread that creates a recording window, runs body, then pumps messages until WM_QUIT.
struct WindowThread {
    std::function<void(WindowThread&)> body;
    std::wstring title = L"worker";
    HWND hwnd = nullptr;
    DWORD tid = 0;
    HANDLE thread = nullptr;
    HANDLE ready = nullptr;
    DWORD result = 0;

    static DWORD WINAPI Main(LPVOID p) {
        auto* self = static_cast<WindowThread*>(p);
        self->hwnd = MakeWindow(self->title.c_str());
        SetEvent(self->ready);
        if (self->body) self->body(*self);
        return static_cast<DWORD>(Pump());
    }

    void Start() {
        ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, Main, this, 0, &tid);
        WaitForSingleObject(ready, INFINITE);
    }

    void Stop() {
        if (IsWindow(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
        Join();
    }

    void Join() {
        if (!thread) return;
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        CloseHandle(ready);
        thread = ready = nullptr;
    }

    ~WindowThread() {
        if (thread) Stop();
    }
};

// Runs fn on a new thread of the calling process and returns its handle.
inline HANDLE Spawn(std::function<void()> fn) {
    auto* f = new std::function<void()>(std::move(fn));
    return CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            std::unique_ptr<std::function<void()>> own(static_cast<std::function<void()>*>(p));
            (*own)();
            return 0;
        },
        f, 0, nullptr);
}

inline void Join(HANDLE t) {
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
}

class UserTest : public ::testing::Test {
protected:
    UserTest() {
        Log().clear();
        RegisterRecordingClass();
    }
    ~UserTest() override { Log().clear(); }

    // The messages of one kind in the log.
    static std::vector<Rec> Of(UINT msg) {
        std::vector<Rec> v;
        for (auto& r : Log())
            if (r.msg == msg) v.push_back(r);
        return v;
    }

    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

}  // namespace usertest
