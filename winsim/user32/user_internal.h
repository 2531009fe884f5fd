// winsim: the window manager's state: classes, windows, message queues and timers.
//
// All of it is guarded by the run token (only the running simulated thread touches it).
// Machine-wide state lives in UserMachine (Machine::Ext "user"), classes in the process
// (Process::ext "user.classes"), queues in the thread (Thread::ext "user.queue").
#pragma once

#include <windows.h>

#include "winsim/machine.h"
#include "winsim/user.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim::userimpl {

constexpr uintptr_t kFirstHwnd = 0x10010;
constexpr size_t kPostQuota = 10000;
constexpr size_t kLogLimit = 10000;
constexpr uint64_t kHungMs = 5000;

struct WndClass {
    std::wstring name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int cls_extra = 0;
    int wnd_extra = 0;
    HINSTANCE inst = nullptr;
    HICON icon = nullptr;
    HICON icon_sm = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH brush = nullptr;
    std::wstring menu_name;
    bool system = false;
    int windows = 0;  // live windows of the class
};

struct Window {
    HWND hwnd = nullptr;
    uint64_t seq = 0;  // creation order
    std::weak_ptr<Thread> thread;
    DWORD tid = 0, pid = 0, session = 0;
    std::shared_ptr<WndClass> cls;
    WNDPROC proc = nullptr;
    std::wstring text;
    DWORD style = 0, ex_style = 0;
    HINSTANCE inst = nullptr;
    HMENU menu = nullptr;  // top-level windows: the menu; children: their ID (in id)
    LONG_PTR id = 0;
    LONG_PTR user_data = 0;
    HWND parent = nullptr;       // child windows only
    HWND owner = nullptr;        // top-level windows only
    std::vector<HWND> children;  // z-order, front first
    RECT rect{};                 // relative to the parent's client area (screen for top-level windows)
    bool desktop = false;
    bool message_only = false;
    bool destroying = false;
    bool dead = false;
    bool needs_paint = false;
    bool erase = false;
    bool pushed = false;         // buttons: between mouse down and up
    std::vector<uint8_t> extra;  // cbWndExtra bytes
    user::ControlState ctl;
    UINT edit_limit = 30000;
    std::deque<user::MessageRecord> log;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    uint64_t due = 0;
    TIMERPROC proc = nullptr;
    bool noted = false;  // its expiry was already counted as new input
    uint64_t seq = 0;
};

class MsgQueue;

struct SentMsg {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wp = 0;
    LPARAM lp = 0;
    std::weak_ptr<MsgQueue> sender;  // empty for notifications
    DWORD from_tid = 0, from_pid = 0;
    bool notify = false;
    bool taken = false;      // the receiver started handling it
    bool done = false;       // the result is in
    bool abandoned = false;  // the sender stopped waiting
    LRESULT result = 0;
};

struct InputContext {
    HWND focus = nullptr;
    HWND active = nullptr;
};

class MsgQueue : public Waitable {
public:
    explicit MsgQueue(Thread* t) : owner(t), tid(t->tid) {
        own_input = std::make_shared<InputContext>();
        input = own_input;
    }
    const char* TypeName() const override { return "MessageQueue"; }
    // Only its owner waits on a queue; the condition is the one the waiting call set.
    bool IsSignaled(const Thread* t) const override {
        return t == owner && ((rescan && accept_rescan) || (wake && wake()));
    }
    bool Acquire(Thread*) override { return false; }

    Thread* owner;
    DWORD tid;
    std::deque<std::shared_ptr<SentMsg>> sent;
    std::deque<MSG> posted;
    bool quit = false;
    int quit_code = 0;
    std::vector<Timer> timers;
    DWORD changed = 0;           // QS_* bits of input that arrived since the thread last looked
    bool rescan = false;         // timers changed from another thread: the waiter recomputes its time-out
    bool accept_rescan = false;  // the current wait wakes for rescan
    std::function<bool()> wake;
    std::vector<std::shared_ptr<SentMsg>> receiving;  // sent messages being handled (null: a direct call)
    bool in_msg_wait = false;
    uint64_t last_look = 0;
    std::shared_ptr<InputContext> own_input;
    std::shared_ptr<InputContext> input;
};

struct SessionState {
    HWND desktop = nullptr;
    std::vector<HWND> message_only;
    HWND foreground = nullptr;
    int cascade = 0;
};

struct UserMachine {
    explicit UserMachine(Machine& machine) : m(machine) {}
    Machine& m;
    std::map<uintptr_t, std::shared_ptr<Window>> windows;
    uintptr_t next_hwnd = kFirstHwnd;
    uint64_t seq = 0;
    std::map<DWORD, SessionState> sessions;
    std::vector<std::shared_ptr<WndClass>> system_classes;
    ATOM next_atom = 0xC000;
    UINT_PTR next_thread_timer = 0x7FF0;
    uint64_t timer_seq = 0;
    std::vector<user::BroadcastRecord> broadcasts;
    std::vector<user::ForegroundRecord> foreground_log;
    UINT foreground_lock_timeout = 200000;
    bool system_ready = false;
};

struct ProcessClasses {
    std::vector<std::shared_ptr<WndClass>> list;
};

// ---------------------------------------------------------------------------------------
// Shared helpers (user_core.cpp)

UserMachine& UM(Machine& m);
UserMachine& UM();
// The thread's queue; created on first use when create is set.
std::shared_ptr<MsgQueue> QueueOf(Thread& t, bool create);
MsgQueue& MyQueue();
std::shared_ptr<Thread> FindThread(Machine& m, DWORD tid);
// A live window or null (a window whose thread ended is removed on the way).
std::shared_ptr<Window> Get(HWND h);
std::shared_ptr<Window> Get(UserMachine& um, HWND h);
// Get, setting ERROR_INVALID_WINDOW_HANDLE when there is none.
std::shared_ptr<Window> GetOrFail(HWND h);
bool Alive(const Window& w);
void ReapDead(UserMachine& um);
SessionState& SessionOf(UserMachine& um, DWORD session);
std::shared_ptr<Window> Desktop(UserMachine& um, DWORD session);
bool IsOnThisThread(const Window& w);
std::wstring ClassNameOf(const Window& w);
// Top-level windows of a session, front to back.
std::vector<std::shared_ptr<Window>> TopLevel(UserMachine& um, DWORD session);
RECT ScreenRect(UserMachine& um, const Window& w);
// The top-level window at the root of h's parent chain (null for none or the desktop).
HWND RootWindow(HWND h);
// Whether h lies below parent in the window tree (IsChild).
bool IsDescendant(HWND parent, HWND h);
// Enables or disables a window, sending WM_ENABLE when that changes; true when it was
// disabled before.
bool SetEnabled(HWND h, bool enable);
// Screen coordinates to h's client coordinates; false for no window.
bool ScreenToClientPoint(HWND h, POINT* p);
void AppendLog(Window& w, bool posted, UINT msg, WPARAM wp, LPARAM lp);
void DestroyFromQueue(Window& w);  // timers, posted messages and pending sends of a dying window

// ---------------------------------------------------------------------------------------
// Messages (user_msg.cpp)

// The window procedure on the calling thread.
LRESULT CallProc(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp);
// SendMessage semantics (direct call on the window's thread, else a cross-thread send).
// ok is false when the message was not handled (time-out, window or thread gone).
LRESULT SendTo(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp, UINT flags = SMTO_NORMAL,
               DWORD timeout = INFINITE, bool* ok = nullptr, bool* timed_out = nullptr);
// Queues a sent message without waiting (SendNotifyMessage); direct call on the window's thread.
void NotifyTo(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp);
bool PostTo(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp);
void WakeQueue(MsgQueue& q);

// ---------------------------------------------------------------------------------------
// Controls and defaults (user_ctl.cpp)

void EnsureSystemClasses(UserMachine& um);

// Resources (user_res.cpp): the class's menu for a new top-level window (null when none),
// an icon of a program's image (null when none).
HMENU LoadClassMenu(const WndClass& cls, HINSTANCE inst);
HICON LoadImageIcon(HINSTANCE inst, LPCWSTR name);
HDC DcOf(HWND h);
// The live window of a device context made by DcOf, or null.
HWND WindowOfDc(HDC dc);
// Where the cursor is, for the messages' pt: it rests at the centre of the screen.
POINT CursorPos();

}  // namespace winsim::userimpl
