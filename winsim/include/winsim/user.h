// winsim: the window manager seen from outside the programs: broadcasts for other models
// (display, device tree, power, sessions), machine settings of the desktop, and the test
// API that reads windows, timers and message logs.
//
// Every function here runs on a simulated thread (it touches state guarded by the run
// token), like the Windows API itself. Window handles are those the programs see.
//
// Behaviour of the model that tests may rely on (see also winuser.h):
// - Window handles are multiples of 4 from 0x10010 up, unique on the machine, never reused.
// - A window dies with its thread: its handle becomes invalid, its timers go, no message
//   is sent to it any more, and a sender waiting on it gets 0.
// - DestroyWindow: owned windows are destroyed first; then WM_DESTROY goes to the window
//   and then to its children (each child destroyed whole, WM_NCDESTROY included); the
//   window's own WM_NCDESTROY comes last.
// - Queue order: messages sent from other threads, posted messages (FIFO), WM_QUIT (from
//   PostQuitMessage), WM_PAINT (visible windows marked by InvalidateRect or their first
//   showing), WM_TIMER. A timer that expired several times gives one WM_TIMER; its next due
//   time stays on its period's grid.
// - MsgWaitForMultipleObjects(Ex) and WaitMessage wake on input that is new since the
//   thread last looked at its queue (MWMO_INPUTAVAILABLE: on any input). When the wake mask
//   holds QS_SENDMESSAGE they also handle the pending sent messages.
// - SMTO_ABORTIFHUNG treats a thread as hung when it is not waiting for messages and has
//   not looked at its queue for 5000 ms.
// - GetSystemMetrics(SM_TABLETPC) reads setting ("display", "tabletpc") of the machine's
//   store (default 0); SM_CXSCREEN/SM_CYSCREEN read ("display", "desktop_cx") and
//   ("display", "desktop_cy") (default 1280 x 800), which SetDesktopSize writes.
// - Device contexts of windows (GetDC, BeginPaint) are the window handle + 2;
//   WindowFromDC maps them back.
#pragma once

#include "machine.h"

#include "../winuser.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim::user {

// ---------------------------------------------------------------------------------------
// Broadcasts

enum class Delivery {
    Post,        // PostMessage to each window
    Send,        // SendMessageTimeout-style (SMTO_ABORTIFHUNG): the caller waits for each
                 // window in turn, each with its own time-out, so a blocked window thread
                 // does not stop the others; a hung thread is passed over at once
    SendNotify,  // SendNotifyMessage-style: queued as sent messages; the caller does not wait
};

enum class DeliveryStatus {
    Posted,     // Post: in the window's queue
    Queued,     // SendNotify: in the window thread's sent-message queue
    Delivered,  // Send: handled; result holds the window procedure's result
    TimedOut,   // Send: not handled within the time-out (or the thread was hung)
    Gone,       // the window or its thread ended before the message was handled
};

struct BroadcastTarget {
    HWND hwnd;
    DWORD pid;
    DWORD session;
    DeliveryStatus status;
    LRESULT result;
};

struct BroadcastRecord {
    uint64_t time_ms;  // machine time when the broadcast began
    std::optional<DWORD> session;
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    Delivery delivery;
    std::vector<BroadcastTarget> targets;  // in delivery order
};

// Delivers msg to every top-level window (not message-only windows) of the session, or of
// every session (ascending) when none is given, front to back in each. Callable from any
// simulated thread; a window of the calling thread gets a direct call. Returns the record,
// which is also appended to the machine's broadcast log.
BroadcastRecord BroadcastToTopLevel(Machine& m, std::optional<DWORD> session, UINT msg, WPARAM wp, LPARAM lp,
                                    Delivery delivery, DWORD timeout_ms = 5000);
// The same with post = true for Delivery::Post, else Delivery::Send.
BroadcastRecord BroadcastToTopLevel(Machine& m, std::optional<DWORD> session, UINT msg, WPARAM wp, LPARAM lp,
                                    bool post);
std::vector<BroadcastRecord> Broadcasts(Machine& m);
void ClearBroadcasts(Machine& m);

// ---------------------------------------------------------------------------------------
// Machine settings

// The desktop size behind SM_CXSCREEN/SM_CYSCREEN and the desktop window's rectangle.
void SetDesktopSize(Machine& m, int cx, int cy);
SIZE DesktopSize(Machine& m);

// A machine-wide window class that every process can use, like the system classes.
void RegisterSystemClass(Machine& m, const std::wstring& name, WNDPROC proc, UINT style = 0, int wnd_extra = 0);

// ---------------------------------------------------------------------------------------
// Reading windows

struct ControlState {
    int range_low = 0, range_high = 100, pos = 0, step = 10;  // progress bar
    bool marquee = false;
    UINT marquee_ms = 0;
    UINT check = 0;          // buttons: BST_*
    HANDLE image = nullptr;  // statics: STM_SETIMAGE
    UINT image_type = 0;
    HFONT font = nullptr;  // WM_SETFONT of the system classes
};

struct WindowInfo {
    HWND hwnd = nullptr;
    DWORD pid = 0, tid = 0, session = 0;
    std::wstring class_name;
    std::wstring text;  // the stored title (as another process sees it)
    DWORD style = 0, ex_style = 0;
    RECT rect{};           // screen coordinates
    RECT client{};         // client rectangle (0, 0, width, height)
    bool visible = false;  // IsWindowVisible: it and all its ancestors have WS_VISIBLE
    bool enabled = true;
    bool topmost = false;
    bool message_only = false;
    HWND parent = nullptr;   // child windows
    HWND owner = nullptr;    // owned top-level windows
    LONG_PTR id = 0;         // GWLP_ID
    LONG_PTR user_data = 0;  // GWLP_USERDATA
    bool needs_paint = false;
    ControlState control;
};

std::optional<WindowInfo> Info(Machine& m, HWND hwnd);
// The live dialogs of a process made from dialog template id, in creation order (their
// controls: GetDlgItem, then Info; click one with BM_CLICK, press Esc with WM_KEYDOWN
// VK_ESCAPE to a control of a dialog whose program loop calls IsDialogMessageW, choose
// Close from the system menu with WM_SYSCOMMAND SC_CLOSE).
std::vector<HWND> DialogsByTemplate(Machine& m, DWORD pid, WORD template_id);
// Live windows, in creation order.
std::vector<HWND> ProcessWindows(Machine& m, DWORD pid);
std::vector<HWND> SessionWindows(Machine& m, DWORD session, bool top_level_only = false);
std::vector<HWND> ThreadWindows(Machine& m, DWORD tid);
// The first live window (in creation order) whose stored title is title, any class.
HWND FindByTitle(Machine& m, const std::wstring& title, std::optional<DWORD> session = std::nullopt);

struct TimerInfo {
    HWND hwnd;  // null for a thread timer
    UINT_PTR id;
    UINT period_ms;   // after clamping
    uint64_t due_ms;  // machine time of the next expiry
    bool has_proc;
    DWORD tid;  // the thread whose queue generates its WM_TIMER
};

std::vector<TimerInfo> Timers(Machine& m, HWND hwnd);
std::vector<TimerInfo> ThreadTimers(Machine& m, DWORD tid);

// Messages posted or sent to a window, as they were queued or sent (not WM_TIMER and
// WM_PAINT, which the queue generates). Kept per window, at most 10000 (the oldest go).
struct MessageRecord {
    uint64_t time_ms;
    bool posted;  // PostMessage; false: sent (SendMessage, SendMessageTimeout, SendNotifyMessage)
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    DWORD from_pid;
    DWORD from_tid;
};

std::vector<MessageRecord> MessageLog(Machine& m, HWND hwnd);
std::vector<MessageRecord> PostedLog(Machine& m, HWND hwnd);  // the posted ones only
void ClearMessageLog(Machine& m, HWND hwnd);

// Messages waiting in a thread's queue (posted, and sent but not yet handled).
size_t PendingPosted(Machine& m, DWORD tid);
size_t PendingSent(Machine& m, DWORD tid);
// True once the thread has a message queue.
bool HasQueue(Machine& m, DWORD tid);

// SetForegroundWindow calls, in order.
struct ForegroundRecord {
    uint64_t time_ms;
    HWND hwnd;
    DWORD from_pid;
    DWORD from_tid;
};
std::vector<ForegroundRecord> ForegroundLog(Machine& m);

}  // namespace winsim::user
