// winsim: the window manager's outside API: broadcasts for other models, desktop settings
// and the readers tests use.
#include "user_internal.h"

#include <algorithm>

using namespace winsim::userimpl;

namespace winsim::user {

namespace {

std::vector<DWORD> SessionsOf(UserMachine& um, std::optional<DWORD> session) {
    if (session) return {*session};
    std::vector<DWORD> v;
    for (auto& [id, s] : um.sessions) v.push_back(id);
    for (auto& [h, w] : um.windows)
        if (std::find(v.begin(), v.end(), w->session) == v.end()) v.push_back(w->session);
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::shared_ptr<Window>> LiveSorted(UserMachine& um) {
    ReapDead(um);
    std::vector<std::shared_ptr<Window>> v;
    for (auto& [h, w] : um.windows)
        if (!w->desktop && Alive(*w)) v.push_back(w);
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a->seq < b->seq; });
    return v;
}

std::vector<TimerInfo> TimersWhere(UserMachine& um, const std::function<bool(const Timer&, DWORD tid)>& pick) {
    std::vector<TimerInfo> out;
    std::vector<DWORD> seen;
    for (auto& p : um.m.Processes())
        for (auto& t : p->LiveThreads()) {
            auto q = QueueOf(*t, false);
            if (!q || t->ended) continue;
            std::vector<Timer> list = q->timers;
            std::sort(list.begin(), list.end(), [](const Timer& a, const Timer& b) { return a.seq < b.seq; });
            for (auto& tm : list)
                if (pick(tm, t->tid))
                    out.push_back(TimerInfo{tm.hwnd, tm.id, tm.period, tm.due, tm.proc != nullptr, t->tid});
        }
    return out;
}

}  // namespace

BroadcastRecord BroadcastToTopLevel(Machine& m, std::optional<DWORD> session, UINT msg, WPARAM wp, LPARAM lp,
                                    Delivery delivery, DWORD timeout_ms) {
    auto& um = UM(m);
    BroadcastRecord rec{m.NowMs(), session, msg, wp, lp, delivery, {}};
    std::vector<std::shared_ptr<Window>> targets;
    for (DWORD s : SessionsOf(um, session))
        for (auto& w : TopLevel(um, s)) targets.push_back(w);
    for (auto& w : targets) {
        BroadcastTarget t{w->hwnd, w->pid, w->session, DeliveryStatus::Gone, 0};
        if (!Alive(*w)) {
            rec.targets.push_back(t);
            continue;
        }
        switch (delivery) {
        case Delivery::Post:
            if (PostTo(w, msg, wp, lp)) t.status = DeliveryStatus::Posted;
            break;
        case Delivery::SendNotify:
            AppendLog(*w, false, msg, wp, lp);
            if (IsOnThisThread(*w)) {
                t.result = SendTo(w, msg, wp, lp);
                t.status = DeliveryStatus::Delivered;
            } else {
                NotifyTo(w, msg, wp, lp);
                t.status = DeliveryStatus::Queued;
            }
            break;
        case Delivery::Send: {
            AppendLog(*w, false, msg, wp, lp);
            bool ok = false, timed_out = false;
            LRESULT r = SendTo(w, msg, wp, lp, SMTO_ABORTIFHUNG, timeout_ms, &ok, &timed_out);
            if (ok) {
                t.status = DeliveryStatus::Delivered;
                t.result = r;
            } else if (timed_out) {
                t.status = DeliveryStatus::TimedOut;
            }
            break;
        }
        }
        rec.targets.push_back(t);
    }
    um.broadcasts.push_back(rec);
    return rec;
}

BroadcastRecord BroadcastToTopLevel(Machine& m, std::optional<DWORD> session, UINT msg, WPARAM wp, LPARAM lp,
                                    bool post) {
    return BroadcastToTopLevel(m, session, msg, wp, lp, post ? Delivery::Post : Delivery::Send);
}

std::vector<BroadcastRecord> Broadcasts(Machine& m) { return UM(m).broadcasts; }
void ClearBroadcasts(Machine& m) { UM(m).broadcasts.clear(); }

void SetDesktopSize(Machine& m, int cx, int cy) {
    m.store().SetInt("display", "desktop_cx", cx);
    m.store().SetInt("display", "desktop_cy", cy);
}

SIZE DesktopSize(Machine& m) {
    return SIZE{static_cast<LONG>(m.store().GetInt("display", "desktop_cx", 1280)),
                static_cast<LONG>(m.store().GetInt("display", "desktop_cy", 800))};
}

void RegisterSystemClass(Machine& m, const std::wstring& name, WNDPROC proc, UINT style, int wnd_extra) {
    auto& um = UM(m);
    EnsureSystemClasses(um);
    for (auto& c : um.system_classes)
        if (IEquals(c->name, name)) {
            c->proc = proc;
            c->style = style | CS_GLOBALCLASS;
            c->wnd_extra = wnd_extra;
            return;
        }
    auto c = std::make_shared<WndClass>();
    c->name = name;
    c->atom = um.next_atom++;
    c->style = style | CS_GLOBALCLASS;
    c->proc = proc;
    c->wnd_extra = wnd_extra;
    c->system = true;
    um.system_classes.push_back(c);
}

std::optional<WindowInfo> Info(Machine& m, HWND hwnd) {
    auto& um = UM(m);
    auto w = Get(um, hwnd);
    if (!w) return std::nullopt;
    WindowInfo i;
    i.hwnd = w->hwnd;
    i.pid = w->pid;
    i.tid = w->tid;
    i.session = w->session;
    i.class_name = ClassNameOf(*w);
    i.text = w->text;
    i.style = w->style;
    i.ex_style = w->ex_style;
    i.rect = ScreenRect(um, *w);
    GetClientRect(hwnd, &i.client);
    i.visible = IsWindowVisible(hwnd) != FALSE;
    i.enabled = !(w->style & WS_DISABLED);
    i.topmost = (w->ex_style & WS_EX_TOPMOST) != 0;
    i.message_only = w->message_only;
    i.parent = w->parent;
    i.owner = Get(um, w->owner) ? w->owner : nullptr;
    i.id = w->id;
    i.user_data = w->user_data;
    i.needs_paint = w->needs_paint;
    i.control = w->ctl;
    return i;
}

std::vector<HWND> ProcessWindows(Machine& m, DWORD pid) {
    std::vector<HWND> v;
    for (auto& w : LiveSorted(UM(m)))
        if (w->pid == pid) v.push_back(w->hwnd);
    return v;
}

std::vector<HWND> SessionWindows(Machine& m, DWORD session, bool top_level_only) {
    std::vector<HWND> v;
    for (auto& w : LiveSorted(UM(m)))
        if (w->session == session && (!top_level_only || (!w->parent && !w->message_only))) v.push_back(w->hwnd);
    return v;
}

std::vector<HWND> ThreadWindows(Machine& m, DWORD tid) {
    std::vector<HWND> v;
    for (auto& w : LiveSorted(UM(m)))
        if (w->tid == tid) v.push_back(w->hwnd);
    return v;
}

HWND FindByTitle(Machine& m, const std::wstring& title, std::optional<DWORD> session) {
    for (auto& w : LiveSorted(UM(m)))
        if (w->text == title && (!session || w->session == *session)) return w->hwnd;
    return nullptr;
}

std::vector<TimerInfo> Timers(Machine& m, HWND hwnd) {
    auto& um = UM(m);
    if (!hwnd || !Get(um, hwnd)) return {};
    return TimersWhere(um, [hwnd](const Timer& t, DWORD) { return t.hwnd == hwnd; });
}

std::vector<TimerInfo> ThreadTimers(Machine& m, DWORD tid) {
    auto& um = UM(m);
    ReapDead(um);
    return TimersWhere(um, [tid](const Timer&, DWORD owner) { return owner == tid; });
}

std::vector<MessageRecord> MessageLog(Machine& m, HWND hwnd) {
    auto w = Get(UM(m), hwnd);
    if (!w) return {};
    return std::vector<MessageRecord>(w->log.begin(), w->log.end());
}

std::vector<MessageRecord> PostedLog(Machine& m, HWND hwnd) {
    std::vector<MessageRecord> v;
    for (auto& r : MessageLog(m, hwnd))
        if (r.posted) v.push_back(r);
    return v;
}

void ClearMessageLog(Machine& m, HWND hwnd) {
    if (auto w = Get(UM(m), hwnd)) w->log.clear();
}

namespace {
std::shared_ptr<MsgQueue> QueueOfTid(Machine& m, DWORD tid) {
    auto t = FindThread(m, tid);
    return t ? QueueOf(*t, false) : nullptr;
}
}  // namespace

size_t PendingPosted(Machine& m, DWORD tid) {
    auto q = QueueOfTid(m, tid);
    return q ? q->posted.size() : 0;
}

size_t PendingSent(Machine& m, DWORD tid) {
    auto q = QueueOfTid(m, tid);
    return q ? q->sent.size() : 0;
}

bool HasQueue(Machine& m, DWORD tid) { return QueueOfTid(m, tid) != nullptr; }

std::vector<ForegroundRecord> ForegroundLog(Machine& m) { return UM(m).foreground_log; }

}  // namespace winsim::user
