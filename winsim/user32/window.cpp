// winsim: user32 window classes and windows: creation and destruction, the window tree,
// properties, text, geometry, activation and focus.
#include "user_internal.h"

#include <algorithm>
#include <cstring>

using namespace winsim;
using namespace winsim::userimpl;

namespace winsim::userimpl {

UserMachine& UM(Machine& m) { return m.Ext<UserMachine>("user"); }
UserMachine& UM() { return UM(CurrentMachine()); }

std::shared_ptr<MsgQueue> QueueOf(Thread& t, bool create) {
    auto it = t.ext.find("user.queue");
    if (it != t.ext.end()) return std::static_pointer_cast<MsgQueue>(it->second);
    if (!create) return nullptr;
    auto q = std::make_shared<MsgQueue>(&t);
    q->last_look = t.machine.NowMs();
    t.ext["user.queue"] = q;
    return q;
}

MsgQueue& MyQueue() { return *QueueOf(CurrentThread(), true); }

std::shared_ptr<Thread> FindThread(Machine& m, DWORD tid) {
    for (auto& p : m.Processes())
        for (auto& t : p->LiveThreads())
            if (t->tid == tid) return t;
    return nullptr;
}

bool Alive(const Window& w) {
    if (w.dead) return false;
    if (w.desktop) return true;
    auto t = w.thread.lock();
    return t && !t->ended;
}

namespace {

void RemoveFrom(std::vector<HWND>& v, HWND h) { v.erase(std::remove(v.begin(), v.end(), h), v.end()); }

// Removes a window and its children from every table, without any message.
void Finalize(UserMachine& um, const std::shared_ptr<Window>& w) {
    if (w->dead) return;
    auto kids = w->children;
    for (HWND c : kids) {
        auto it = um.windows.find(reinterpret_cast<uintptr_t>(c));
        if (it != um.windows.end()) Finalize(um, it->second);
    }
    w->dead = true;
    w->style &= ~WS_VISIBLE;
    if (w->parent) {
        auto it = um.windows.find(reinterpret_cast<uintptr_t>(w->parent));
        if (it != um.windows.end()) RemoveFrom(it->second->children, w->hwnd);
    } else if (w->message_only) {
        RemoveFrom(SessionOf(um, w->session).message_only, w->hwnd);
    } else {
        RemoveFrom(Desktop(um, w->session)->children, w->hwnd);
    }
    auto& s = SessionOf(um, w->session);
    if (s.foreground == w->hwnd) s.foreground = nullptr;
    if (w->cls) --w->cls->windows;
    DestroyFromQueue(*w);
    um.windows.erase(reinterpret_cast<uintptr_t>(w->hwnd));
}

}  // namespace

void DestroyFromQueue(Window& w) {
    auto t = w.thread.lock();
    if (!t) return;
    auto q = QueueOf(*t, false);
    if (!q) return;
    HWND h = w.hwnd;
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(), [h](const Timer& tm) { return tm.hwnd == h; }),
                    q->timers.end());
    q->posted.erase(std::remove_if(q->posted.begin(), q->posted.end(), [h](const MSG& m) { return m.hwnd == h; }),
                    q->posted.end());
    std::vector<std::shared_ptr<SentMsg>> orphans;
    for (auto it = q->sent.begin(); it != q->sent.end();) {
        if ((*it)->hwnd == h) {
            orphans.push_back(*it);
            it = q->sent.erase(it);
        } else {
            ++it;
        }
    }
    if (q->input->focus == h) q->input->focus = nullptr;
    if (q->input->active == h) q->input->active = nullptr;
    // A sender waiting on a window that is gone gets 0.
    for (auto& sm : orphans) {
        sm->done = true;
        sm->result = 0;
        if (auto s = sm->sender.lock()) WakeQueue(*s);
    }
}

void ReapDead(UserMachine& um) {
    std::vector<std::shared_ptr<Window>> dead;
    for (auto& [v, w] : um.windows)
        if (!w->desktop && !Alive(*w)) dead.push_back(w);
    for (auto& w : dead) Finalize(um, w);
}

std::shared_ptr<Window> Get(UserMachine& um, HWND h) {
    if (!h) return nullptr;
    auto it = um.windows.find(reinterpret_cast<uintptr_t>(h));
    if (it == um.windows.end()) return nullptr;
    auto w = it->second;
    if (!Alive(*w)) {
        Finalize(um, w);
        return nullptr;
    }
    return w;
}

std::shared_ptr<Window> Get(HWND h) { return Get(UM(), h); }

std::shared_ptr<Window> GetOrFail(HWND h) {
    auto w = Get(h);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

SessionState& SessionOf(UserMachine& um, DWORD session) { return um.sessions[session]; }

std::shared_ptr<Window> Desktop(UserMachine& um, DWORD session) {
    auto& s = SessionOf(um, session);
    if (s.desktop) return um.windows[reinterpret_cast<uintptr_t>(s.desktop)];
    EnsureSystemClasses(um);
    auto w = std::make_shared<Window>();
    w->hwnd = reinterpret_cast<HWND>(um.next_hwnd);
    um.next_hwnd += 4;
    w->seq = ++um.seq;
    w->desktop = true;
    w->session = session;
    w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    w->proc = DefWindowProcW;
    w->cls = std::make_shared<WndClass>();
    w->cls->name = L"#32769";
    w->cls->atom = 32769;
    w->cls->system = true;
    w->cls->proc = DefWindowProcW;
    um.windows[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
    s.desktop = w->hwnd;
    return w;
}

bool IsOnThisThread(const Window& w) { return !w.desktop && w.tid == CurrentThread().tid; }

std::wstring ClassNameOf(const Window& w) { return w.cls ? w.cls->name : std::wstring(); }

std::vector<std::shared_ptr<Window>> TopLevel(UserMachine& um, DWORD session) {
    ReapDead(um);
    std::vector<std::shared_ptr<Window>> v;
    for (HWND h : Desktop(um, session)->children)
        if (auto w = Get(um, h)) v.push_back(w);
    return v;
}

void AppendLog(Window& w, bool posted, UINT msg, WPARAM wp, LPARAM lp) {
    Thread& t = CurrentThread();
    w.log.push_back(user::MessageRecord{t.machine.NowMs(), posted, msg, wp, lp, t.process->pid, t.tid});
    while (w.log.size() > kLogLimit) w.log.pop_front();
}

}  // namespace winsim::userimpl

// ---------------------------------------------------------------------------------------
// Geometry helpers

namespace {

struct Insets {
    int l = 0, t = 0, r = 0, b = 0;
};

Insets NonClient(DWORD style, DWORD ex, bool menu) {
    Insets in;
    int b = 0;
    if (style & WS_THICKFRAME)
        b = 8;
    else if ((style & WS_DLGFRAME) || (ex & WS_EX_DLGMODALFRAME))
        b = 3;
    else if (style & WS_BORDER)
        b = 1;
    in.l = in.t = in.r = in.b = b;
    if ((style & WS_CAPTION) == WS_CAPTION) in.t += (ex & WS_EX_TOOLWINDOW) ? 17 : 23;
    if (menu) in.t += 20;
    int edge = ((ex & WS_EX_CLIENTEDGE) ? 2 : 0) + ((ex & WS_EX_STATICEDGE) ? 1 : 0);
    in.l += edge;
    in.t += edge;
    in.r += edge;
    in.b += edge;
    return in;
}

Insets NonClient(const Window& w) {
    if (w.desktop) return Insets{};
    return NonClient(w.style, w.ex_style, !(w.style & WS_CHILD) && w.menu != nullptr);
}

SIZE ScreenSize(Machine& m) {
    auto& st = m.store();
    return SIZE{static_cast<LONG>(st.GetInt("display", "desktop_cx", 1280)),
                static_cast<LONG>(st.GetInt("display", "desktop_cy", 800))};
}

POINT ClientOrigin(UserMachine& um, const Window& w);

}  // namespace

namespace winsim::userimpl {

RECT ScreenRect(UserMachine& um, const Window& w) {
    if (w.desktop) {
        SIZE s = ScreenSize(um.m);
        return RECT{0, 0, s.cx, s.cy};
    }
    RECT r = w.rect;
    if (w.parent) {
        auto p = Get(um, w.parent);
        if (p) {
            POINT o = ClientOrigin(um, *p);
            r.left += o.x;
            r.right += o.x;
            r.top += o.y;
            r.bottom += o.y;
        }
    }
    return r;
}

}  // namespace winsim::userimpl

namespace {

POINT ClientOrigin(UserMachine& um, const Window& w) {
    RECT r = ScreenRect(um, w);
    Insets in = NonClient(w);
    return POINT{r.left + in.l, r.top + in.t};
}

RECT ClientRectOf(const Window& w, UserMachine& um) {
    RECT r = w.desktop ? ScreenRect(um, w) : w.rect;
    Insets in = NonClient(w);
    LONG cw = std::max<LONG>(0, (r.right - r.left) - in.l - in.r);
    LONG ch = std::max<LONG>(0, (r.bottom - r.top) - in.t - in.b);
    return RECT{0, 0, cw, ch};
}

HINSTANCE NormalInstance(HINSTANCE inst) {
    return inst ? inst : reinterpret_cast<HINSTANCE>(GetModuleHandleW(nullptr));
}

ProcessClasses& Classes(Process& p) {
    auto& e = p.ext["user.classes"];
    if (!e) e = std::make_shared<ProcessClasses>();
    return *static_cast<ProcessClasses*>(e.get());
}

bool NameMatches(const WndClass& c, LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return c.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
    return IEquals(c.name, name);
}

// exact: the module must match (registration, unregistration, queries); otherwise a class
// of that name registered by any module of the process will do, then the system classes.
std::shared_ptr<WndClass> FindClass(LPCWSTR name, HINSTANCE inst, bool exact) {
    if (!name) return nullptr;
    auto& list = Classes(CurrentProcess()).list;
    for (auto& c : list)
        if (NameMatches(*c, name) && c->inst == inst) return c;
    if (!exact)
        for (auto& c : list)
            if (NameMatches(*c, name)) return c;
    return nullptr;
}

std::shared_ptr<WndClass> FindSystemClass(UserMachine& um, LPCWSTR name) {
    EnsureSystemClasses(um);
    if (!name) return nullptr;
    for (auto& c : um.system_classes)
        if (NameMatches(*c, name)) return c;
    return nullptr;
}

ATOM AddClass(const WNDCLASSEXW& wc) {
    if (!wc.lpszClassName ||
        (!IS_INTRESOURCE(wc.lpszClassName) && (!*wc.lpszClassName || wcslen(wc.lpszClassName) > 255)))
        return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
    if (IS_INTRESOURCE(wc.lpszClassName)) return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
    HINSTANCE inst = NormalInstance(wc.hInstance);
    if (FindClass(wc.lpszClassName, inst, true)) return Fail<ATOM>(ERROR_CLASS_ALREADY_EXISTS, 0);
    auto& um = UM();
    auto c = std::make_shared<WndClass>();
    c->name = wc.lpszClassName;
    c->atom = um.next_atom++;
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->cls_extra = std::max(0, wc.cbClsExtra);
    c->wnd_extra = std::max(0, wc.cbWndExtra);
    c->inst = inst;
    c->icon = wc.hIcon;
    c->cursor = wc.hCursor;
    c->brush = wc.hbrBackground;
    if (wc.lpszMenuName)
        c->menu_name = IS_INTRESOURCE(wc.lpszMenuName)
                           ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(wc.lpszMenuName))
                           : std::wstring(wc.lpszMenuName);
    Classes(CurrentProcess()).list.push_back(c);
    return c->atom;
}

void FillClassInfo(const WndClass& c, WNDCLASSEXW* wc) {
    wc->style = c.style;
    wc->lpfnWndProc = c.proc;
    wc->cbClsExtra = c.cls_extra;
    wc->cbWndExtra = c.wnd_extra;
    wc->hInstance = c.system ? nullptr : c.inst;
    wc->hIcon = c.icon;
    wc->hCursor = c.cursor;
    wc->hbrBackground = c.brush;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = c.name.c_str();
    wc->hIconSm = c.icon_sm;
}

// Deliveries of activation and focus messages: a direct call on the window's thread, a
// queued notification otherwise (activation never blocks the caller).
void Notify(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!w || !Alive(*w)) return;
    NotifyTo(w, msg, wp, lp);
}

std::shared_ptr<Window> RootOf(UserMachine& um, std::shared_ptr<Window> w) {
    while (w && w->parent) {
        auto p = Get(um, w->parent);
        if (!p) break;
        w = p;
    }
    return w;
}

std::shared_ptr<InputContext> InputOf(const Window& w) {
    auto t = w.thread.lock();
    if (!t) return nullptr;
    return QueueOf(*t, true)->input;
}

void Activate(UserMachine& um, const std::shared_ptr<Window>& w, bool foreground) {
    auto ctx = InputOf(*w);
    if (!ctx) return;
    if (foreground) SessionOf(um, w->session).foreground = w->hwnd;
    HWND old = ctx->active;
    if (old == w->hwnd) return;
    ctx->active = w->hwnd;
    if (auto o = Get(um, old)) Notify(o, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(w->hwnd));
    Notify(w, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(Get(um, old) ? old : nullptr));
}

void Deactivate(UserMachine& um, const std::shared_ptr<Window>& w) {
    auto ctx = InputOf(*w);
    if (ctx && ctx->active == w->hwnd) {
        ctx->active = nullptr;
        Notify(w, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    auto& s = SessionOf(um, w->session);
    if (s.foreground == w->hwnd) s.foreground = nullptr;
}

// The foreground may pass to a window whose process already has it, or when nobody has it.
bool MayTakeForeground(UserMachine& um, const Window& w) {
    auto fg = Get(um, SessionOf(um, w.session).foreground);
    return !fg || fg->pid == w.pid;
}

bool VisibleChain(UserMachine& um, std::shared_ptr<Window> w);

void MarkPaint(const std::shared_ptr<Window>& w, bool erase) {
    w->needs_paint = true;
    w->erase = w->erase || erase;
    if (!VisibleChain(UM(), w)) return;  // hidden windows get no WM_PAINT
    if (auto t = w->thread.lock())
        if (auto q = QueueOf(*t, false)) {
            q->changed |= QS_PAINT;
            WakeQueue(*q);
        }
}

bool VisibleChain(UserMachine& um, std::shared_ptr<Window> w) {
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) return true;
        w = Get(um, w->parent);
    }
    return false;
}

std::vector<HWND>* SiblingList(UserMachine& um, const Window& w) {
    if (w.desktop) return nullptr;
    if (w.parent) {
        auto p = Get(um, w.parent);
        return p ? &p->children : nullptr;
    }
    if (w.message_only) return &SessionOf(um, w.session).message_only;
    return &Desktop(um, w.session)->children;
}

// Puts a top-level window in its band: topmost windows first.
void PlaceInZOrder(UserMachine& um, Window& w, HWND after) {
    auto* list = SiblingList(um, w);
    if (!list) return;
    RemoveFrom(*list, w.hwnd);
    if (after == HWND_BOTTOM) {
        if (!w.parent) w.ex_style &= ~WS_EX_TOPMOST;
        list->push_back(w.hwnd);
        return;
    }
    auto is_topmost = [&](HWND h) {
        auto x = Get(um, h);
        return x && (x->ex_style & WS_EX_TOPMOST);
    };
    if (after == HWND_TOPMOST || after == HWND_NOTOPMOST || after == HWND_TOP) {
        if (!w.parent) {
            if (after == HWND_TOPMOST) w.ex_style |= WS_EX_TOPMOST;
            if (after == HWND_NOTOPMOST) w.ex_style &= ~WS_EX_TOPMOST;
        }
        auto pos = list->begin();
        if (!w.parent && !(w.ex_style & WS_EX_TOPMOST))
            while (pos != list->end() && is_topmost(*pos)) ++pos;
        list->insert(pos, w.hwnd);
        return;
    }
    auto it = std::find(list->begin(), list->end(), after);
    if (it == list->end()) {
        list->insert(list->begin(), w.hwnd);
        return;
    }
    if (!w.parent && !is_topmost(after)) w.ex_style &= ~WS_EX_TOPMOST;
    list->insert(it + 1, w.hwnd);
}

LONG_PTR ReadExtra(const Window& w, int idx, size_t n) {
    if (idx < 0 || static_cast<size_t>(idx) + n > w.extra.size()) return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
    if (n == sizeof(LONG)) {
        LONG v;
        std::memcpy(&v, w.extra.data() + idx, n);
        return v;
    }
    LONG_PTR v;
    std::memcpy(&v, w.extra.data() + idx, n);
    return v;
}

LONG_PTR SetLong(HWND h, int idx, LONG_PTR value, size_t extra_size) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return 0;
    if (w->desktop) return Fail<LONG_PTR>(ERROR_ACCESS_DENIED, 0);
    if (idx >= 0) {
        if (static_cast<size_t>(idx) + extra_size > w->extra.size()) return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
        LONG_PTR old = ReadExtra(*w, idx, extra_size);
        if (extra_size == sizeof(LONG)) {
            LONG v = static_cast<LONG>(value);
            std::memcpy(w->extra.data() + idx, &v, extra_size);
        } else {
            std::memcpy(w->extra.data() + idx, &value, extra_size);
        }
        return old;
    }
    LONG_PTR old = 0;
    switch (idx) {
    case GWLP_WNDPROC:
        if (w->pid != CurrentProcess().pid) return Fail<LONG_PTR>(ERROR_ACCESS_DENIED, 0);
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->inst);
        w->inst = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWLP_HWNDPARENT:
        if (w->parent) return reinterpret_cast<LONG_PTR>(w->parent);
        old = reinterpret_cast<LONG_PTR>(w->owner);
        if (auto o = Get(um, reinterpret_cast<HWND>(value)))
            w->owner = RootOf(um, o)->hwnd;
        else
            w->owner = nullptr;
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    case GWLP_USERDATA:
        old = w->user_data;
        w->user_data = value;
        return old;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
        DWORD& field = idx == GWL_STYLE ? w->style : w->ex_style;
        STYLESTRUCT ss{field, static_cast<DWORD>(value)};
        old = static_cast<LONG_PTR>(static_cast<LONG>(field));
        SendTo(w, WM_STYLECHANGING, static_cast<WPARAM>(idx), reinterpret_cast<LPARAM>(&ss));
        if (!Alive(*w)) return old;
        bool was_visible = (w->style & WS_VISIBLE) != 0;
        field = ss.styleNew;
        if (idx == GWL_STYLE && !was_visible && (w->style & WS_VISIBLE)) MarkPaint(w, true);
        SendTo(w, WM_STYLECHANGED, static_cast<WPARAM>(idx), reinterpret_cast<LPARAM>(&ss));
        return old;
    }
    default: return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
    }
}

LONG_PTR GetLong(HWND h, int idx, size_t extra_size) {
    auto w = GetOrFail(h);
    if (!w) return 0;
    if (idx >= 0) return ReadExtra(*w, idx, extra_size);
    switch (idx) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->inst);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID: return w->id;
    case GWLP_USERDATA: return w->user_data;
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->ex_style);
    default: return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
    }
}

// WM_DESTROY to the window and then to its children (each destroyed whole), WM_NCDESTROY
// last; owned windows go first.
void DestroyTree(UserMachine& um, const std::shared_ptr<Window>& w) {
    if (w->destroying || !Alive(*w)) return;
    w->destroying = true;
    std::vector<std::shared_ptr<Window>> owned;
    for (auto& [v, o] : um.windows)
        if (o->owner == w->hwnd && Alive(*o) && !o->destroying) owned.push_back(o);
    for (auto& o : owned) {
        if (o->tid == w->tid)
            DestroyTree(um, o);
        else
            o->owner = nullptr;
    }
    if (!Alive(*w)) return;
    if (!w->parent) Deactivate(um, w);
    w->style &= ~WS_VISIBLE;
    if (w->parent && !(w->ex_style & WS_EX_NOPARENTNOTIFY))
        if (auto p = Get(um, w->parent))
            SendTo(p, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, static_cast<WORD>(w->id)),
                   reinterpret_cast<LPARAM>(w->hwnd));
    if (Alive(*w)) SendTo(w, WM_DESTROY, 0, 0);
    auto kids = w->children;
    for (HWND c : kids)
        if (auto cw = Get(um, c)) DestroyTree(um, cw);
    if (Alive(*w)) SendTo(w, WM_NCDESTROY, 0, 0);
    Finalize(um, w);
}

bool MatchesFind(const Window& w, LPCWSTR cls, LPCWSTR title) {
    if (cls && !(w.cls && NameMatches(*w.cls, cls))) return false;
    if (title && !IEquals(w.text, title)) return false;
    return true;
}

}  // namespace

namespace winsim::userimpl {

HWND RootWindow(HWND h) {
    auto& um = UM();
    auto w = Get(um, h);
    if (!w || w->desktop) return nullptr;
    return RootOf(um, w)->hwnd;
}

bool IsDescendant(HWND parent, HWND h) {
    auto& um = UM();
    auto w = Get(um, h);
    while (w && w->parent) {
        if (w->parent == parent) return true;
        w = Get(um, w->parent);
    }
    return false;
}

bool SetEnabled(HWND h, bool enable) {
    auto w = GetOrFail(h);
    if (!w) return false;
    bool was_disabled = (w->style & WS_DISABLED) != 0;
    if (was_disabled == !enable) return was_disabled;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    SendTo(w, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return was_disabled;
}

bool ScreenToClientPoint(HWND h, POINT* p) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w || !p) return false;
    POINT o = ClientOrigin(um, *w);
    p->x -= o.x;
    p->y -= o.y;
    return true;
}

}  // namespace winsim::userimpl

// ---------------------------------------------------------------------------------------
// Classes

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW)) return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
    return AddClass(*wc);
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc) return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
    WNDCLASSEXW ex{sizeof(WNDCLASSEXW), wc->style,        wc->lpfnWndProc,   wc->cbClsExtra,
                   wc->cbWndExtra,      wc->hInstance,    wc->hIcon,         wc->hCursor,
                   wc->hbrBackground,   wc->lpszMenuName, wc->lpszClassName, nullptr};
    return AddClass(ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE inst) {
    auto c = FindClass(name, NormalInstance(inst), true);
    if (!c) return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    ReapDead(UM());
    if (c->windows > 0) return Fail(ERROR_CLASS_HAS_WINDOWS, FALSE);
    auto& list = Classes(CurrentProcess()).list;
    list.erase(std::remove(list.begin(), list.end(), c), list.end());
    return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE inst, LPCWSTR name, LPWNDCLASSEXW wc) {
    if (!wc || !name) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::shared_ptr<WndClass> c = inst ? FindClass(name, inst, true) : nullptr;
    if (!c && !inst) c = FindClass(name, NormalInstance(nullptr), true);
    if (!c && !inst) c = FindSystemClass(UM(), name);
    if (!c) return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    FillClassInfo(*c, wc);
    return c->atom;
}

int WINAPI GetClassNameW(HWND h, LPWSTR buf, int max) {
    auto w = GetOrFail(h);
    if (!w) return 0;
    if (!buf || max <= 0) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    std::wstring n = ClassNameOf(*w);
    size_t k = std::min(n.size(), static_cast<size_t>(max - 1));
    wmemcpy(buf, n.data(), k);
    buf[k] = 0;
    return static_cast<int>(k);
}

ULONG_PTR WINAPI GetClassLongPtrW(HWND h, int idx) {
    auto w = GetOrFail(h);
    if (!w || !w->cls) return 0;
    const WndClass& c = *w->cls;
    switch (idx) {
    case GCW_ATOM: return c.atom;
    case GCL_STYLE: return c.style;
    case GCLP_WNDPROC: return reinterpret_cast<ULONG_PTR>(c.proc);
    case GCL_CBCLSEXTRA: return static_cast<ULONG_PTR>(c.cls_extra);
    case GCL_CBWNDEXTRA: return static_cast<ULONG_PTR>(c.wnd_extra);
    case GCLP_HMODULE: return reinterpret_cast<ULONG_PTR>(c.system ? nullptr : c.inst);
    case GCLP_HICON: return reinterpret_cast<ULONG_PTR>(c.icon);
    case GCLP_HICONSM: return reinterpret_cast<ULONG_PTR>(c.icon_sm);
    case GCLP_HCURSOR: return reinterpret_cast<ULONG_PTR>(c.cursor);
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(c.brush);
    default: return Fail<ULONG_PTR>(ERROR_INVALID_INDEX, 0);
    }
}

// ---------------------------------------------------------------------------------------
// Creation and destruction

HWND WINAPI CreateWindowExW(DWORD ex, LPCWSTR cls_name, LPCWSTR title, DWORD style, int x, int y, int cx, int cy,
                            HWND parent, HMENU menu, HINSTANCE inst, LPVOID param) {
    Thread& me = CurrentThread();
    auto& um = UM();
    QueueOf(me, true);
    HINSTANCE ninst = NormalInstance(inst);
    auto cls = FindClass(cls_name, ninst, false);
    if (!cls) cls = FindSystemClass(um, cls_name);
    if (!cls) return Fail<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);

    bool message_only = parent == HWND_MESSAGE;
    std::shared_ptr<Window> pw;
    if (parent && !message_only) {
        pw = Get(um, parent);
        if (!pw) return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
        if (pw->desktop) pw = nullptr;
    }
    if ((style & WS_CHILD) && !pw && !message_only) return Fail<HWND>(ERROR_TLW_WITH_WSCHILD, nullptr);
    if (message_only) style &= ~WS_CHILD;

    auto w = std::make_shared<Window>();
    w->hwnd = reinterpret_cast<HWND>(um.next_hwnd);
    um.next_hwnd += 4;
    w->seq = ++um.seq;
    w->thread = std::static_pointer_cast<Thread>(me.shared_from_this());
    w->tid = me.tid;
    w->pid = me.process->pid;
    w->session = me.process->session;
    w->cls = cls;
    w->proc = cls->proc;
    w->inst = ninst;
    w->message_only = message_only;
    bool want_visible = (style & WS_VISIBLE) != 0;
    style &= ~WS_VISIBLE;
    if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    w->style = style;
    w->ex_style = ex;
    if (style & WS_CHILD) {
        w->parent = pw->hwnd;
        w->id = reinterpret_cast<LONG_PTR>(menu);
    } else {
        w->menu = menu ? menu : LoadClassMenu(*cls, ninst);
        if (pw) w->owner = RootOf(um, pw)->hwnd;
    }
    w->extra.assign(static_cast<size_t>(cls->wnd_extra), 0);

    // Position and size; CW_USEDEFAULT picks a cascade place for overlapped windows.
    bool overlapped = !(style & (WS_CHILD | WS_POPUP));
    SIZE scr = ScreenSize(um.m);
    if (x == CW_USEDEFAULT) {
        if (overlapped) {
            int k = SessionOf(um, w->session).cascade++ % 10;
            x = y = 26 * (k + 1);
        } else {
            x = y = 0;
        }
    }
    if (cx == CW_USEDEFAULT) {
        if (overlapped) {
            cx = scr.cx * 3 / 4;
            cy = scr.cy * 3 / 4;
        } else {
            cx = cy = 0;
        }
    }
    w->rect = RECT{x, y, x + std::max(0, cx), y + std::max(0, cy)};

    um.windows[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
    ++cls->windows;
    if (pw) {
        pw->children.push_back(w->hwnd);
    } else if (message_only) {
        SessionOf(um, w->session).message_only.push_back(w->hwnd);
    } else {
        Desktop(um, w->session);
        PlaceInZOrder(um, *w, HWND_TOP);
    }

    CREATESTRUCTW cs{param, inst, menu, parent, cy, cx, y, x, static_cast<LONG>(style), title, cls_name, ex};
    if (!SendTo(w, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        if (Alive(*w)) {
            SendTo(w, WM_NCDESTROY, 0, 0);
            Finalize(um, w);
        }
        return nullptr;
    }
    if (!Alive(*w)) return nullptr;
    if (SendTo(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        if (Alive(*w)) DestroyTree(um, w);
        return nullptr;
    }
    if (!Alive(*w)) return nullptr;
    RECT cr = ClientRectOf(*w, um);
    SendTo(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right, cr.bottom));
    if (!Alive(*w)) return nullptr;
    Insets in = NonClient(*w);
    SendTo(w, WM_MOVE, 0, MAKELPARAM(w->rect.left + in.l, w->rect.top + in.t));
    if (!Alive(*w)) return nullptr;
    if (pw && !(ex & WS_EX_NOPARENTNOTIFY))
        if (auto p = Get(um, pw->hwnd))
            SendTo(p, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, static_cast<WORD>(w->id)),
                   reinterpret_cast<LPARAM>(w->hwnd));
    if (!Alive(*w)) return nullptr;
    if (want_visible) {
        if (w->parent) {
            w->style |= WS_VISIBLE;
            MarkPaint(w, true);
        } else {
            ShowWindow(w->hwnd, SW_SHOW);
        }
    }
    return Alive(*w) ? w->hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND h) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (w->desktop || !IsOnThisThread(*w)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    DestroyTree(um, w);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// State

BOOL WINAPI IsWindow(HWND h) { return Get(h) ? TRUE : FALSE; }

BOOL WINAPI IsWindowVisible(HWND h) {
    auto& um = UM();
    auto w = Get(um, h);
    return w && VisibleChain(um, w) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND h) {
    auto w = Get(h);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND h, int cmd) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (w->desktop) return TRUE;
    bool was = (w->style & WS_VISIBLE) != 0;
    bool show = cmd != SW_HIDE;
    switch (cmd) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE: w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE; break;
    case SW_SHOWMAXIMIZED: w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE; break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT: w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE); break;
    default: break;
    }
    if (show != was) {
        SendTo(w, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        if (!Alive(*w)) return was ? TRUE : FALSE;
        if (show) {
            w->style |= WS_VISIBLE;
            MarkPaint(w, true);
        } else {
            w->style &= ~WS_VISIBLE;
        }
    }
    if (!w->parent && !w->message_only) {
        bool activates = cmd == SW_SHOWNORMAL || cmd == SW_SHOWMAXIMIZED || cmd == SW_SHOW || cmd == SW_RESTORE ||
                         cmd == SW_SHOWDEFAULT || cmd == SW_SHOWMINIMIZED;
        if (!show)
            Deactivate(um, w);
        else if (activates)
            Activate(um, w, MayTakeForeground(um, *w));
    }
    return was ? TRUE : FALSE;
}

HWND WINAPI GetParent(HWND h) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return nullptr;
    if (w->parent) return w->parent;
    if ((w->style & WS_POPUP) && Get(um, w->owner)) return w->owner;
    return nullptr;
}

// GA_ROOT: the top-level window a window belongs to; GA_PARENT: its parent, the desktop for
// a top-level window. GA_ROOTOWNER is not modelled (null).
HWND WINAPI GetAncestor(HWND h, UINT flags) {
    if (flags == GA_ROOT) return userimpl::RootWindow(h);
    auto& um = UM();
    auto w = Get(um, h);
    if (!w || w->desktop || flags != GA_PARENT) return nullptr;
    return w->parent ? w->parent : (w->message_only ? nullptr : Desktop(um, w->session)->hwnd);
}

HWND WINAPI GetWindow(HWND h, UINT cmd) {
    auto& um = UM();
    ReapDead(um);
    auto w = GetOrFail(h);
    if (!w) return nullptr;
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (cmd == GW_OWNER) return Get(um, w->owner) ? w->owner : nullptr;
    if (cmd == GW_ENABLEDPOPUP) return nullptr;
    auto* list = SiblingList(um, *w);
    if (!list || list->empty()) return nullptr;
    auto it = std::find(list->begin(), list->end(), w->hwnd);
    switch (cmd) {
    case GW_HWNDFIRST: return list->front();
    case GW_HWNDLAST: return list->back();
    case GW_HWNDNEXT: return (it == list->end() || it + 1 == list->end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == list->end() || it == list->begin()) ? nullptr : *(it - 1);
    default: return Fail<HWND>(ERROR_INVALID_PARAMETER, nullptr);
    }
}

HWND WINAPI GetTopWindow(HWND h) {
    auto& um = UM();
    if (!h) h = Desktop(um, CurrentProcess().session)->hwnd;
    return GetWindow(h, GW_CHILD);
}

HWND WINAPI GetDesktopWindow(void) { return Desktop(UM(), CurrentProcess().session)->hwnd; }

DWORD WINAPI GetWindowThreadProcessId(HWND h, LPDWORD pid) {
    auto w = GetOrFail(h);
    if (!w) return 0;
    if (pid) *pid = w->pid;
    return w->tid;
}

LONG WINAPI GetWindowLongW(HWND h, int idx) { return static_cast<LONG>(GetLong(h, idx, sizeof(LONG))); }
LONG WINAPI SetWindowLongW(HWND h, int idx, LONG v) { return static_cast<LONG>(SetLong(h, idx, v, sizeof(LONG))); }
LONG_PTR WINAPI GetWindowLongPtrW(HWND h, int idx) { return GetLong(h, idx, sizeof(LONG_PTR)); }
LONG_PTR WINAPI SetWindowLongPtrW(HWND h, int idx, LONG_PTR v) { return SetLong(h, idx, v, sizeof(LONG_PTR)); }

// ---------------------------------------------------------------------------------------
// Text

int WINAPI GetWindowTextW(HWND h, LPWSTR buf, int max) {
    if (!buf || max <= 0) return 0;
    buf[0] = 0;
    auto w = GetOrFail(h);
    if (!w) return 0;
    // Inside the process the window answers WM_GETTEXT; other processes read the stored title.
    if (w->pid == CurrentProcess().pid && !w->desktop)
        return static_cast<int>(SendTo(w, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buf)));
    size_t k = std::min(w->text.size(), static_cast<size_t>(max - 1));
    wmemcpy(buf, w->text.data(), k);
    buf[k] = 0;
    return static_cast<int>(k);
}

int WINAPI GetWindowTextLengthW(HWND h) {
    auto w = GetOrFail(h);
    if (!w) return 0;
    if (w->pid == CurrentProcess().pid && !w->desktop) return static_cast<int>(SendTo(w, WM_GETTEXTLENGTH, 0, 0));
    return static_cast<int>(w->text.size());
}

BOOL WINAPI SetWindowTextW(HWND h, LPCWSTR s) {
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    return SendTo(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s)) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------
// Finding and enumerating

HWND WINAPI FindWindowW(LPCWSTR cls, LPCWSTR title) { return FindWindowExW(nullptr, nullptr, cls, title); }

HWND WINAPI FindWindowExW(HWND parent, HWND after, LPCWSTR cls, LPCWSTR title) {
    auto& um = UM();
    ReapDead(um);
    DWORD session = CurrentProcess().session;
    std::vector<HWND> list;
    if (!parent) {
        list = Desktop(um, session)->children;
    } else if (parent == HWND_MESSAGE) {
        list = SessionOf(um, session).message_only;
    } else {
        auto p = GetOrFail(parent);
        if (!p) return nullptr;
        list = p->children;
    }
    auto it = list.begin();
    if (after) {
        it = std::find(list.begin(), list.end(), after);
        if (it == list.end()) return nullptr;
        ++it;
    }
    for (; it != list.end(); ++it)
        if (auto w = Get(um, *it))
            if (MatchesFind(*w, cls, title)) return w->hwnd;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Geometry

BOOL WINAPI GetClientRect(HWND h, LPRECT r) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (!r) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *r = ClientRectOf(*w, um);
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND h, LPRECT r) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (!r) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *r = ScreenRect(um, *w);
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (w->desktop) return TRUE;
    WINDOWPOS pos{h, after, x, y, cx, cy, flags};
    if (!(flags & SWP_NOMOVE) || !(flags & SWP_NOSIZE) || !(flags & SWP_NOZORDER)) {
        if (!(flags & SWP_NOSENDCHANGING)) SendTo(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        if (!Alive(*w)) return FALSE;
    }
    RECT old = w->rect;
    if (!(pos.flags & SWP_NOMOVE)) {
        LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
        w->rect = RECT{pos.x, pos.y, pos.x + width, pos.y + height};
    }
    if (!(pos.flags & SWP_NOSIZE)) {
        w->rect.right = w->rect.left + std::max(0, pos.cx);
        w->rect.bottom = w->rect.top + std::max(0, pos.cy);
    }
    if (!(pos.flags & SWP_NOZORDER)) PlaceInZOrder(um, *w, pos.hwndInsertAfter);
    if ((pos.flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE)) {
        w->style |= WS_VISIBLE;
        MarkPaint(w, true);
    }
    if (pos.flags & SWP_HIDEWINDOW) {
        w->style &= ~WS_VISIBLE;
        if (!w->parent) Deactivate(um, w);
    }
    if (!(pos.flags & SWP_NOACTIVATE) && !w->parent && !w->message_only && (w->style & WS_VISIBLE))
        Activate(um, w, MayTakeForeground(um, *w));
    bool moved = old.left != w->rect.left || old.top != w->rect.top;
    bool sized = (old.right - old.left) != (w->rect.right - w->rect.left) ||
                 (old.bottom - old.top) != (w->rect.bottom - w->rect.top);
    WINDOWPOS done{
        h,
        pos.hwndInsertAfter,
        w->rect.left,
        w->rect.top,
        w->rect.right - w->rect.left,
        w->rect.bottom - w->rect.top,
        pos.flags | (moved ? 0u : static_cast<UINT>(SWP_NOMOVE)) | (sized ? 0u : static_cast<UINT>(SWP_NOSIZE))};
    if (Alive(*w)) SendTo(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND h, int x, int y, int cx, int cy, BOOL repaint) {
    return SetWindowPos(h, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI AdjustWindowRectEx(LPRECT r, DWORD style, BOOL menu, DWORD ex) {
    if (!r) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    Insets in = NonClient(style, ex, menu != FALSE);
    r->left -= in.l;
    r->top -= in.t;
    r->right += in.r;
    r->bottom += in.b;
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND h, LPPOINT p) {
    auto& um = UM();
    auto w = GetOrFail(h);
    if (!w || !p) return FALSE;
    POINT o = ClientOrigin(um, *w);
    p->x += o.x;
    p->y += o.y;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Activation and focus

HWND WINAPI SetFocus(HWND h) {
    auto& um = UM();
    auto ctx = MyQueue().input;
    HWND old = Get(um, ctx->focus) ? ctx->focus : nullptr;
    if (!h) {
        ctx->focus = nullptr;
        if (auto o = Get(um, old)) Notify(o, WM_KILLFOCUS, 0, 0);
        return old;
    }
    auto w = GetOrFail(h);
    if (!w || w->desktop) return nullptr;
    if (InputOf(*w) != ctx) return nullptr;
    if (w->style & WS_DISABLED) return nullptr;
    if (old == h) return old;
    auto root = RootOf(um, w);
    if (ctx->active != root->hwnd && !root->message_only) Activate(um, root, MayTakeForeground(um, *root));
    old = Get(um, ctx->focus) ? ctx->focus : old;
    if (old == h) return old;
    ctx->focus = h;
    if (auto o = Get(um, old)) Notify(o, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
    Notify(w, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND WINAPI GetFocus(void) {
    auto ctx = MyQueue().input;
    return Get(ctx->focus) ? ctx->focus : nullptr;
}

HWND WINAPI GetActiveWindow(void) {
    auto ctx = MyQueue().input;
    return Get(ctx->active) ? ctx->active : nullptr;
}

HWND WINAPI SetActiveWindow(HWND h) {
    auto& um = UM();
    auto ctx = MyQueue().input;
    HWND old = Get(um, ctx->active) ? ctx->active : nullptr;
    auto w = GetOrFail(h);
    if (!w || w->desktop) return nullptr;
    w = RootOf(um, w);
    if (InputOf(*w) != ctx) return nullptr;
    auto fg = Get(um, SessionOf(um, w->session).foreground);
    bool foreground = !fg || InputOf(*fg) == ctx;
    Activate(um, w, foreground);
    return old;
}

HWND WINAPI GetForegroundWindow(void) {
    auto& um = UM();
    auto& s = SessionOf(um, CurrentProcess().session);
    return Get(um, s.foreground) ? s.foreground : nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND h) {
    auto& um = UM();
    Thread& me = CurrentThread();
    um.foreground_log.push_back(user::ForegroundRecord{me.machine.NowMs(), h, me.process->pid, me.tid});
    auto w = Get(um, h);
    if (!w || w->desktop) return FALSE;
    w = RootOf(um, w);
    Activate(um, w, true);
    return TRUE;
}

BOOL WINAPI AttachThreadInput(DWORD a, DWORD b, BOOL attach) {
    Machine& m = CurrentMachine();
    if (a == b) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto ta = FindThread(m, a), tb = FindThread(m, b);
    if (!ta || !tb || ta->ended || tb->ended) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (ta->process->session != tb->process->session) return Fail(ERROR_ACCESS_DENIED, FALSE);
    auto qa = QueueOf(*ta, false), qb = QueueOf(*tb, false);
    if (!qa || !qb) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (attach) {
        qa->input = qb->input;
        return TRUE;
    }
    if (qa->input != qb->input) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (qa->input == qa->own_input) {
        qb->own_input = std::make_shared<InputContext>();
        qb->input = qb->own_input;
    } else {
        qa->input = qa->own_input;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Dialog items (by control ID among the direct children)

int WINAPI GetDlgCtrlID(HWND h) {
    auto w = GetOrFail(h);
    return w ? static_cast<int>(w->id) : 0;
}

HWND WINAPI GetDlgItem(HWND dlg, int id) {
    auto& um = UM();
    auto p = GetOrFail(dlg);
    if (!p) return nullptr;
    for (HWND c : p->children)
        if (auto w = Get(um, c))
            if (static_cast<int>(w->id) == id) return c;
    return Fail<HWND>(ERROR_CONTROL_ID_NOT_FOUND, nullptr);
}

BOOL WINAPI SetDlgItemTextW(HWND dlg, int id, LPCWSTR s) {
    HWND h = GetDlgItem(dlg, id);
    return h ? SetWindowTextW(h, s) : FALSE;
}

UINT WINAPI GetDlgItemTextW(HWND dlg, int id, LPWSTR buf, int max) {
    if (buf && max > 0) buf[0] = 0;
    HWND h = GetDlgItem(dlg, id);
    return h ? static_cast<UINT>(GetWindowTextW(h, buf, max)) : 0;
}

BOOL WINAPI CheckDlgButton(HWND dlg, int id, UINT check) {
    HWND h = GetDlgItem(dlg, id);
    if (!h) return FALSE;
    SendMessageW(h, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dlg, int id) {
    HWND h = GetDlgItem(dlg, id);
    return h ? static_cast<UINT>(SendMessageW(h, BM_GETCHECK, 0, 0)) : 0;
}
