// winsim: user32 message queues: posting, sending across threads, retrieval, waits and
// timers.
//
// Waits. A thread that waits for messages waits on its own queue (a Waitable) through
// winsim::WaitOn, so the scheduler and the virtual clock see it like any wait. The queue is
// signalled for its owner when the condition the waiting call set holds (MsgQueue::wake);
// that condition never looks at the clock. Timers are handled by waiting with a time-out
// up to the next due timer of the thread.
#include "user_internal.h"

#include <algorithm>

using namespace winsim;
using namespace winsim::userimpl;

namespace {

uint64_t Now() { return CurrentMachine().NowMs(); }

DWORD Tick() { return GetTickCount(); }

constexpr uint64_t kNever = UINT64_MAX;

DWORD TimeoutUntil(uint64_t deadline, uint64_t now) {
    if (deadline == kNever) return INFINITE;
    if (deadline <= now) return 0;
    return static_cast<DWORD>(std::min<uint64_t>(deadline - now, 0xFFFFFFFEull));
}

struct Filter {
    HWND hwnd = nullptr;
    bool thread_only = false;  // hwnd (HWND)-1: only messages without a window
    UINT min = 0, max = 0;
};

bool InRange(const Filter& f, UINT msg) {
    if (f.min == 0 && f.max == 0) return true;
    if (f.min <= f.max) return msg >= f.min && msg <= f.max;
    return msg >= f.min || msg <= f.max;
}

// Runs without touching the clock or tables other than reading (it may be evaluated while
// another thread wakes this one).
bool IsWithin(UserMachine& um, HWND h, HWND ancestor) {
    for (int guard = 0; h && guard < 10000; ++guard) {
        if (h == ancestor) return true;
        auto it = um.windows.find(reinterpret_cast<uintptr_t>(h));
        if (it == um.windows.end()) return false;
        h = it->second->parent;
    }
    return false;
}

bool MatchesWindow(UserMachine& um, const Filter& f, HWND h) {
    if (f.thread_only) return h == nullptr;
    if (!f.hwnd) return true;
    return IsWithin(um, h, f.hwnd);
}

bool VisibleRaw(UserMachine& um, const Window& w) {
    const Window* p = &w;
    for (int guard = 0; p && guard < 10000; ++guard) {
        if (p->dead || !(p->style & WS_VISIBLE)) return false;
        if (!p->parent) return true;
        auto it = um.windows.find(reinterpret_cast<uintptr_t>(p->parent));
        p = it == um.windows.end() ? nullptr : it->second.get();
    }
    return false;
}

std::shared_ptr<Window> PaintCandidate(UserMachine& um, const MsgQueue& q, const Filter& f) {
    if (!InRange(f, WM_PAINT) || f.thread_only) return nullptr;
    for (auto& [v, w] : um.windows)
        if (!w->dead && !w->desktop && w->tid == q.tid && w->needs_paint && VisibleRaw(um, *w) &&
            MatchesWindow(um, f, w->hwnd))
            return w;
    return nullptr;
}

bool PostedMatch(UserMachine& um, const MsgQueue& q, const Filter& f) {
    for (auto& m : q.posted)
        if (MatchesWindow(um, f, m.hwnd) && InRange(f, m.message)) return true;
    return q.quit;
}

// QS_* bits of what is in the queue now; timers only when now is known.
DWORD StatusBits(UserMachine& um, const MsgQueue& q, const uint64_t* now) {
    DWORD bits = 0;
    if (!q.sent.empty()) bits |= QS_SENDMESSAGE;
    if (!q.posted.empty() || q.quit) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    if (PaintCandidate(um, q, Filter{})) bits |= QS_PAINT;
    for (auto& t : q.timers)
        if (t.noted || (now && t.due <= *now)) bits |= QS_TIMER;
    return bits;
}

// Counts timers that became due as new input (once per expiry).
void NoteDueTimers(MsgQueue& q, uint64_t now) {
    for (auto& t : q.timers)
        if (!t.noted && t.due <= now) {
            t.noted = true;
            q.changed |= QS_TIMER;
        }
}

uint64_t NextUnnotedDue(const MsgQueue& q) {
    uint64_t next = kNever;
    for (auto& t : q.timers)
        if (!t.noted) next = std::min(next, t.due);
    return next;
}

uint64_t NextDue(UserMachine& um, const MsgQueue& q, const Filter& f) {
    if (!InRange(f, WM_TIMER)) return kNever;
    uint64_t next = kNever;
    for (auto& t : q.timers)
        if (MatchesWindow(um, f, t.hwnd)) next = std::min(next, t.due);
    return next;
}

void Complete(const std::shared_ptr<SentMsg>& sm, LRESULT r) {
    if (sm->done) return;
    sm->done = true;
    sm->result = r;
    if (auto s = sm->sender.lock()) WakeQueue(*s);
}

// Calls the window procedure with sm as the message being handled (null: a direct call).
LRESULT CallAs(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp, std::shared_ptr<SentMsg> sm) {
    WNDPROC p = w->proc;
    if (!p) return 0;
    MsgQueue& q = MyQueue();
    q.receiving.push_back(std::move(sm));
    struct Pop {
        MsgQueue& q;
        ~Pop() { q.receiving.pop_back(); }
    } pop{q};
    return p(w->hwnd, msg, wp, lp);
}

// Handles every message sent to the thread from other threads, oldest first.
bool HandleSent(MsgQueue& q) {
    bool any = false;
    while (!q.sent.empty()) {
        auto sm = q.sent.front();
        q.sent.pop_front();
        any = true;
        sm->taken = true;
        auto w = Get(sm->hwnd);
        LRESULT r = 0;
        if (w && IsOnThisThread(*w)) r = CallAs(w, sm->msg, sm->wp, sm->lp, sm);
        Complete(sm, r);
    }
    return any;
}

bool Hung(MsgQueue& q) { return !q.in_msg_wait && Now() - q.last_look > kHungMs; }

// Takes the next message for the filter in queue order: posted (FIFO), WM_QUIT, WM_PAINT,
// WM_TIMER. qs limits the kinds (PM_QS_*).
bool Take(UserMachine& um, MsgQueue& q, const Filter& f, bool remove, MSG* out, uint64_t now, UINT qs) {
    POINT pt = CursorPos();
    if (qs & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) {
        for (auto it = q.posted.begin(); it != q.posted.end(); ++it)
            if (MatchesWindow(um, f, it->hwnd) && InRange(f, it->message)) {
                *out = *it;
                if (remove) q.posted.erase(it);
                return true;
            }
        if (q.quit) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quit_code), 0, Tick(), pt};
            if (remove) q.quit = false;
            return true;
        }
    }
    if (qs & QS_PAINT)
        if (auto w = PaintCandidate(um, q, f)) {
            *out = MSG{w->hwnd, WM_PAINT, 0, 0, Tick(), pt};
            return true;
        }
    if ((qs & QS_TIMER) && InRange(f, WM_TIMER)) {
        Timer* best = nullptr;
        for (auto& t : q.timers)
            if (t.due <= now && MatchesWindow(um, f, t.hwnd) &&
                (!best || t.due < best->due || (t.due == best->due && t.seq < best->seq)))
                best = &t;
        if (best) {
            *out = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), Tick(), pt};
            if (remove) {
                uint64_t k = (now - best->due) / best->period + 1;
                best->due += k * best->period;
                best->noted = false;
            }
            return true;
        }
    }
    return false;
}

bool MakeFilter(HWND h, UINT min, UINT max, Filter* f) {
    f->min = min;
    f->max = max;
    if (h == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
        f->thread_only = true;
        return true;
    }
    if (h) {
        auto w = Get(h);
        if (!w || !IsOnThisThread(*w)) return false;
        f->hwnd = h;
    }
    return true;
}

// The queue's state for the length of one wait.
struct WaitFlags {
    MsgQueue& q;
    bool saved;
    WaitFlags(MsgQueue& queue, bool in_msg_wait, bool accept_rescan = true) : q(queue), saved(queue.in_msg_wait) {
        q.in_msg_wait = in_msg_wait;
        q.accept_rescan = accept_rescan;
        q.rescan = false;
    }
    ~WaitFlags() {
        q.in_msg_wait = saved;
        q.wake = nullptr;
        q.accept_rescan = false;
        q.rescan = false;
        q.last_look = CurrentMachine().NowMs();
    }
};

std::shared_ptr<Waitable> AsWaitable(const std::shared_ptr<MsgQueue>& q) { return q; }

std::vector<std::shared_ptr<Window>> Broadcast(DWORD session) { return TopLevel(UM(), session); }

}  // namespace

namespace winsim::userimpl {

void WakeQueue(MsgQueue& q) { WakeWaiters(q); }

LRESULT CallProc(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp) {
    return CallAs(w, msg, wp, lp, nullptr);
}

LRESULT SendTo(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp, UINT flags, DWORD timeout, bool* ok,
               bool* timed_out) {
    if (ok) *ok = false;
    if (timed_out) *timed_out = false;
    if (!w || !Alive(*w)) return 0;
    if (w->desktop) {
        if (ok) *ok = true;
        return DefWindowProcW(w->hwnd, msg, wp, lp);
    }
    if (IsOnThisThread(*w)) {
        if (ok) *ok = true;
        return CallAs(w, msg, wp, lp, nullptr);
    }
    auto rt = w->thread.lock();
    if (!rt || rt->ended) return 0;
    Thread& me = CurrentThread();
    auto rq = QueueOf(*rt, true);
    auto mqp = QueueOf(me, true);
    MsgQueue& mq = *mqp;
    if ((flags & SMTO_ABORTIFHUNG) && Hung(*rq)) {
        if (timed_out) *timed_out = true;
        return 0;
    }
    auto sm = std::make_shared<SentMsg>();
    sm->hwnd = w->hwnd;
    sm->msg = msg;
    sm->wp = wp;
    sm->lp = lp;
    sm->sender = mqp;
    sm->from_tid = me.tid;
    sm->from_pid = me.process->pid;
    rq->sent.push_back(sm);
    rq->changed |= QS_SENDMESSAGE;
    WakeQueue(*rq);

    bool block = (flags & SMTO_BLOCK) != 0;
    uint64_t deadline = timeout == INFINITE ? kNever : Now() + timeout;
    std::vector<std::shared_ptr<Waitable>> objs{AsWaitable(mqp), rt};
    for (;;) {
        if (sm->done) break;
        // Messages sent to this thread meanwhile are handled while it waits (two threads
        // sending to each other do not dead-lock).
        if (!block) HandleSent(mq);
        if (sm->done || rt->ended) break;
        uint64_t now = Now();
        if (now >= deadline) break;
        WaitFlags wf(mq, !block);
        mq.wake = [&mq, &sm, block] { return sm->done || (!block && !mq.sent.empty()); };
        WaitOn(objs, false, TimeoutUntil(deadline, now));
    }
    if (sm->done) {
        if (ok) *ok = true;
        return sm->result;
    }
    sm->abandoned = true;
    auto it = std::find(rq->sent.begin(), rq->sent.end(), sm);
    if (it != rq->sent.end()) rq->sent.erase(it);
    if (timed_out) *timed_out = !rt->ended && Alive(*w);
    return 0;
}

void NotifyTo(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!w || !Alive(*w)) return;
    if (w->desktop || IsOnThisThread(*w)) {
        SendTo(w, msg, wp, lp);
        return;
    }
    auto rt = w->thread.lock();
    if (!rt || rt->ended) return;
    Thread& me = CurrentThread();
    auto rq = QueueOf(*rt, true);
    auto sm = std::make_shared<SentMsg>();
    sm->hwnd = w->hwnd;
    sm->msg = msg;
    sm->wp = wp;
    sm->lp = lp;
    sm->notify = true;
    sm->from_tid = me.tid;
    sm->from_pid = me.process->pid;
    rq->sent.push_back(sm);
    rq->changed |= QS_SENDMESSAGE;
    WakeQueue(*rq);
}

bool PostTo(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!w || !Alive(*w)) return Fail(ERROR_INVALID_WINDOW_HANDLE, false);
    if (w->desktop) return true;
    auto rt = w->thread.lock();
    if (!rt || rt->ended) return Fail(ERROR_INVALID_WINDOW_HANDLE, false);
    auto rq = QueueOf(*rt, true);
    if (rq->posted.size() >= kPostQuota) return Fail(ERROR_NOT_ENOUGH_QUOTA, false);
    AppendLog(*w, true, msg, wp, lp);
    POINT pt = CursorPos();
    rq->posted.push_back(MSG{w->hwnd, msg, wp, lp, Tick(), pt});
    rq->changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    WakeQueue(*rq);
    return true;
}

}  // namespace winsim::userimpl

// ---------------------------------------------------------------------------------------
// Window procedures

LRESULT WINAPI CallWindowProcW(WNDPROC prev, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!prev) return 0;
    return prev(h, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------
// Retrieval

BOOL WINAPI GetMessageW(LPMSG msg, HWND h, UINT min, UINT max) {
    auto& um = UM();
    auto qp = QueueOf(CurrentThread(), true);
    MsgQueue& q = *qp;
    Filter f;
    if (!msg) return Fail(ERROR_INVALID_PARAMETER, -1);
    if (!MakeFilter(h, min, max, &f)) return Fail(ERROR_INVALID_WINDOW_HANDLE, -1);
    std::vector<std::shared_ptr<Waitable>> objs{AsWaitable(qp)};
    for (;;) {
        q.last_look = Now();
        HandleSent(q);
        uint64_t now = Now();
        if (Take(um, q, f, true, msg, now, QS_ALLINPUT)) {
            q.changed = 0;
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        q.changed = 0;
        uint64_t next = NextDue(um, q, f);
        WaitFlags wf(q, true);
        q.wake = [&um, &q, f] { return !q.sent.empty() || PostedMatch(um, q, f) || PaintCandidate(um, q, f); };
        WaitOn(objs, false, TimeoutUntil(next, now));
    }
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND h, UINT min, UINT max, UINT flags) {
    auto& um = UM();
    Thread& me = CurrentThread();
    MsgQueue& q = *QueueOf(me, true);
    Filter f;
    if (!msg) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!MakeFilter(h, min, max, &f)) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    UINT qs = (flags >> 16) ? (flags >> 16) : QS_ALLINPUT;
    q.last_look = Now();
    if (qs & QS_SENDMESSAGE) HandleSent(q);
    bool got = Take(um, q, f, (flags & PM_REMOVE) != 0, msg, Now(), qs);
    q.changed = 0;
    if (got) return TRUE;
    if (!(flags & PM_NOYIELD)) me.machine.scheduler().Yield(&me);
    return FALSE;
}

BOOL WINAPI WaitMessage(void) {
    auto qp = QueueOf(CurrentThread(), true);
    MsgQueue& q = *qp;
    std::vector<std::shared_ptr<Waitable>> objs{AsWaitable(qp)};
    for (;;) {
        q.last_look = Now();
        if (HandleSent(q)) {
            q.changed = 0;
            return TRUE;
        }
        uint64_t now = Now();
        NoteDueTimers(q, now);
        if (q.changed & QS_ALLINPUT) {
            q.changed = 0;
            return TRUE;
        }
        WaitFlags wf(q, true);
        q.wake = [&q] { return !q.sent.empty() || (q.changed & QS_ALLINPUT) != 0; };
        WaitOn(objs, false, TimeoutUntil(NextUnnotedDue(q), now));
    }
}

DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD n, const HANDLE* hs, DWORD ms, DWORD mask, DWORD flags) {
    auto& um = UM();
    Thread& me = CurrentThread();
    auto qp = QueueOf(me, true);
    MsgQueue& q = *qp;
    if (n >= MAXIMUM_WAIT_OBJECTS || (n && !hs)) return Fail<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    std::vector<std::shared_ptr<Waitable>> objs;
    for (DWORD i = 0; i < n; ++i) {
        auto w = hs[i] ? std::dynamic_pointer_cast<Waitable>(me.process->Lookup(hs[i])) : nullptr;
        if (!w) return Fail<DWORD>(ERROR_INVALID_HANDLE, WAIT_FAILED);
        objs.push_back(w);
    }
    objs.push_back(qp);
    bool all = (flags & MWMO_WAITALL) != 0;
    bool available = (flags & MWMO_INPUTAVAILABLE) != 0;
    uint64_t deadline = ms == INFINITE ? kNever : Now() + ms;
    for (;;) {
        uint64_t now = Now();
        q.last_look = now;
        NoteDueTimers(q, now);
        auto has_input = [&um, &q, mask, available] {
            DWORD bits = available ? (StatusBits(um, q, nullptr) | q.changed) : q.changed;
            if (!q.sent.empty()) bits |= QS_SENDMESSAGE;
            return (bits & mask) != 0;
        };
        DWORD r;
        {
            // A wait for all objects cannot be woken for a timer change only: it would have
            // taken the objects.
            WaitFlags wf(q, (mask & QS_SENDMESSAGE) != 0, !all);
            q.wake = has_input;
            r = WaitOn(objs, all, TimeoutUntil(std::min(deadline, NextUnnotedDue(q)), now));
        }
        if (r == WAIT_TIMEOUT) {
            if (Now() >= deadline) return WAIT_TIMEOUT;
            continue;
        }
        bool input = all ? r == WAIT_OBJECT_0 : r == WAIT_OBJECT_0 + n;
        if (input && !all && !has_input()) continue;  // woken to recompute the timers' time-out
        if (input) {
            if (mask & QS_SENDMESSAGE) HandleSent(q);
            q.changed &= ~mask;
            q.last_look = Now();
            return all ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + n;
        }
        return r;
    }
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD n, const HANDLE* hs, BOOL all, DWORD ms, DWORD mask) {
    return MsgWaitForMultipleObjectsEx(n, hs, ms, mask, all ? MWMO_WAITALL : 0);
}

BOOL WINAPI TranslateMessage(const MSG* m) {
    if (!m || (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN)) return FALSE;
    WPARAM vk = m->wParam;
    WCHAR ch = 0;
    if (vk >= 'A' && vk <= 'Z')
        ch = static_cast<WCHAR>(vk - 'A' + 'a');
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK ||
             vk == VK_TAB)
        ch = static_cast<WCHAR>(vk);
    if (!ch) return TRUE;
    auto w = Get(m->hwnd);
    if (!w || !IsOnThisThread(*w)) return TRUE;
    MsgQueue& q = MyQueue();
    q.posted.push_front(MSG{m->hwnd,
                            m->message == WM_KEYDOWN ? static_cast<UINT>(WM_CHAR) : static_cast<UINT>(WM_SYSCHAR),
                            static_cast<WPARAM>(ch), m->lParam, Tick(), m->pt});
    q.changed |= QS_POSTMESSAGE;
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* m) {
    if (!m) return Fail<LRESULT>(ERROR_INVALID_PARAMETER, 0);
    if (m->message == WM_TIMER && m->lParam) {
        reinterpret_cast<TIMERPROC>(m->lParam)(m->hwnd, WM_TIMER, m->wParam, Tick());
        return 0;
    }
    if (!m->hwnd) return 0;
    auto w = GetOrFail(m->hwnd);
    if (!w) return 0;
    if (!IsOnThisThread(*w)) return Fail<LRESULT>(ERROR_WINDOW_OF_OTHER_THREAD, 0);
    return CallProc(w, m->message, m->wParam, m->lParam);
}

// ---------------------------------------------------------------------------------------
// Posting and sending

BOOL WINAPI PostMessageW(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!h) return PostThreadMessageW(CurrentThread().tid, msg, wp, lp);
    if (h == HWND_BROADCAST) {
        for (auto& w : Broadcast(CurrentProcess().session)) PostTo(w, msg, wp, lp);
        return TRUE;
    }
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    return PostTo(w, msg, wp, lp) ? TRUE : FALSE;
}

BOOL WINAPI PostThreadMessageW(DWORD tid, UINT msg, WPARAM wp, LPARAM lp) {
    Thread& me = CurrentThread();
    std::shared_ptr<Thread> t =
        tid == me.tid ? std::static_pointer_cast<Thread>(me.shared_from_this()) : FindThread(me.machine, tid);
    if (!t || t->ended) return Fail(ERROR_INVALID_THREAD_ID, FALSE);
    auto q = QueueOf(*t, t.get() == &me);
    if (!q) return Fail(ERROR_INVALID_THREAD_ID, FALSE);
    if (q->posted.size() >= kPostQuota) return Fail(ERROR_NOT_ENOUGH_QUOTA, FALSE);
    POINT pt = CursorPos();
    q->posted.push_back(MSG{nullptr, msg, wp, lp, Tick(), pt});
    q->changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    WakeQueue(*q);
    return TRUE;
}

void WINAPI PostQuitMessage(int code) {
    MsgQueue& q = MyQueue();
    q.quit = true;
    q.quit_code = code;
    q.changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
}

LRESULT WINAPI SendMessageW(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (h == HWND_BROADCAST) {
        for (auto& w : Broadcast(CurrentProcess().session)) {
            AppendLog(*w, false, msg, wp, lp);
            SendTo(w, msg, wp, lp);
        }
        return 0;
    }
    auto w = GetOrFail(h);
    if (!w) return 0;
    AppendLog(*w, false, msg, wp, lp);
    return SendTo(w, msg, wp, lp);
}

LRESULT WINAPI SendMessageTimeoutW(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT flags, UINT timeout,
                                   PDWORD_PTR result) {
    if (h == HWND_BROADCAST) {
        for (auto& w : Broadcast(CurrentProcess().session)) {
            AppendLog(*w, false, msg, wp, lp);
            SendTo(w, msg, wp, lp, flags, timeout);
        }
        return TRUE;
    }
    auto w = GetOrFail(h);
    if (!w) return 0;
    AppendLog(*w, false, msg, wp, lp);
    bool ok = false, timed_out = false;
    LRESULT r = SendTo(w, msg, wp, lp, flags, timeout, &ok, &timed_out);
    if (!ok) return Fail<LRESULT>(timed_out ? ERROR_TIMEOUT : ERROR_INVALID_WINDOW_HANDLE, 0);
    if (result) *result = static_cast<DWORD_PTR>(r);
    return TRUE;
}

BOOL WINAPI InSendMessage(void) {
    MsgQueue& q = MyQueue();
    return !q.receiving.empty() && q.receiving.back() && !q.receiving.back()->notify ? TRUE : FALSE;
}

BOOL WINAPI ReplyMessage(LRESULT result) {
    MsgQueue& q = MyQueue();
    if (q.receiving.empty() || !q.receiving.back()) return FALSE;
    auto sm = q.receiving.back();
    if (sm->notify || sm->done) return FALSE;
    Complete(sm, result);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Timers

UINT_PTR WINAPI SetTimer(HWND h, UINT_PTR id, UINT ms, TIMERPROC proc) {
    auto& um = UM();
    Thread& me = CurrentThread();
    UINT period = ms < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : (ms > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : ms);
    uint64_t due = Now() + period;
    if (h) {
        auto w = GetOrFail(h);
        if (!w) return 0;
        if (w->desktop || w->pid != me.process->pid) return Fail<UINT_PTR>(ERROR_ACCESS_DENIED, 0);
        auto t = w->thread.lock();
        if (!t) return Fail<UINT_PTR>(ERROR_INVALID_WINDOW_HANDLE, 0);
        auto q = QueueOf(*t, true);
        auto it = std::find_if(q->timers.begin(), q->timers.end(),
                               [&](const Timer& tm) { return tm.hwnd == h && tm.id == id; });
        if (it != q->timers.end()) {
            it->period = period;
            it->due = due;
            it->proc = proc;
            it->noted = false;
        } else {
            q->timers.push_back(Timer{h, id, period, due, proc, false, ++um.timer_seq});
        }
        if (q.get() != &MyQueue()) {
            q->rescan = true;
            WakeQueue(*q);
        }
        return id ? id : 1;
    }
    MsgQueue& q = MyQueue();
    if (id) {
        auto it =
            std::find_if(q.timers.begin(), q.timers.end(), [&](const Timer& tm) { return !tm.hwnd && tm.id == id; });
        if (it != q.timers.end()) {
            it->period = period;
            it->due = due;
            it->proc = proc;
            it->noted = false;
            return id;
        }
    }
    UINT_PTR nid = ++um.next_thread_timer;
    q.timers.push_back(Timer{nullptr, nid, period, due, proc, false, ++um.timer_seq});
    return nid;
}

BOOL WINAPI KillTimer(HWND h, UINT_PTR id) {
    Thread& me = CurrentThread();
    std::shared_ptr<MsgQueue> q;
    if (h) {
        auto w = GetOrFail(h);
        if (!w) return FALSE;
        if (w->desktop || w->pid != me.process->pid) return Fail(ERROR_ACCESS_DENIED, FALSE);
        auto t = w->thread.lock();
        if (!t) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
        q = QueueOf(*t, true);
    } else {
        q = QueueOf(me, true);
    }
    auto it =
        std::find_if(q->timers.begin(), q->timers.end(), [&](const Timer& tm) { return tm.hwnd == h && tm.id == id; });
    if (it == q->timers.end()) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    q->timers.erase(it);
    if (q.get() != &MyQueue()) {
        q->rescan = true;
        WakeQueue(*q);
    }
    return TRUE;
}
