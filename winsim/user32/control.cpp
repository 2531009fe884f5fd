// winsim: user32 default window procedure, the system control classes (with the common
// controls' progress bar), painting state, system metrics and parameters, cursors and icons.
#include "user_internal.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

using namespace winsim;
using namespace winsim::userimpl;

namespace {

SIZE Screen() {
    auto& st = CurrentMachine().store();
    return SIZE{static_cast<LONG>(st.GetInt("display", "desktop_cx", 1280)),
                static_cast<LONG>(st.GetInt("display", "desktop_cy", 800))};
}

constexpr int kTaskbar = 40;

std::shared_ptr<Window> Self(HWND h) { return Get(h); }

LRESULT Parent(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!w->parent) return 0;
    auto p = Get(w->parent);
    return p ? SendTo(p, msg, wp, lp) : 0;
}

LRESULT CommonControl(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
    *handled = true;
    switch (msg) {
    case WM_SETFONT:
        w->ctl.font = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(w->hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->ctl.font);
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcW(w->hwnd, msg, wp, lp);
        InvalidateRect(w->hwnd, nullptr, TRUE);
        return r;
    }
    default: *handled = false; return 0;
    }
}

LRESULT CALLBACK StaticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Self(h);
    if (!w) return 0;
    bool handled = false;
    LRESULT r = CommonControl(w, msg, wp, lp, &handled);
    if (handled) return r;
    switch (msg) {
    case STM_SETIMAGE:
    case STM_SETICON: {
        HANDLE old = w->ctl.image;
        w->ctl.image = msg == STM_SETICON ? reinterpret_cast<HANDLE>(wp) : reinterpret_cast<HANDLE>(lp);
        w->ctl.image_type = msg == STM_SETICON ? IMAGE_ICON : static_cast<UINT>(wp);
        InvalidateRect(h, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
    case STM_GETICON: return reinterpret_cast<LRESULT>(w->ctl.image);
    case WM_LBUTTONUP:
        if ((w->style & SS_NOTIFY) && !(w->style & WS_DISABLED))
            Parent(w, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), STN_CLICKED), reinterpret_cast<LPARAM>(h));
        return 0;
    default: return DefWindowProcW(h, msg, wp, lp);
    }
}

void ButtonClicked(const std::shared_ptr<Window>& w) {
    DWORD type = w->style & BS_TYPEMASK;
    switch (type) {
    case BS_AUTOCHECKBOX: w->ctl.check = w->ctl.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; break;
    case BS_AUTO3STATE: w->ctl.check = (w->ctl.check + 1) % 3; break;
    case BS_AUTORADIOBUTTON:
        if (auto p = Get(w->parent))
            for (HWND c : p->children)
                if (auto s = Get(c))
                    if (s != w && (s->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && IEquals(ClassNameOf(*s), L"BUTTON"))
                        s->ctl.check = BST_UNCHECKED;
        w->ctl.check = BST_CHECKED;
        break;
    default: break;
    }
    InvalidateRect(w->hwnd, nullptr, TRUE);
    Parent(w, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), BN_CLICKED), reinterpret_cast<LPARAM>(w->hwnd));
}

LRESULT CALLBACK ButtonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Self(h);
    if (!w) return 0;
    bool handled = false;
    LRESULT r = CommonControl(w, msg, wp, lp, &handled);
    if (handled) return r;
    switch (msg) {
    case BM_GETCHECK: return w->ctl.check;
    case BM_SETCHECK:
        w->ctl.check = static_cast<UINT>(wp) & 3;
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case BM_GETSTATE: return w->ctl.check | (w->pushed ? BST_PUSHED : 0);
    case BM_SETSTATE: w->pushed = wp != 0; return 0;
    case BM_SETSTYLE: w->style = (w->style & ~0xFFFFu) | (static_cast<DWORD>(wp) & 0xFFFFu); return 0;
    case BM_CLICK:
        SendTo(w, WM_LBUTTONDOWN, 0, 0);
        if (Alive(*w)) SendTo(w, WM_LBUTTONUP, 0, 0);
        return 0;
    case WM_LBUTTONDOWN: w->pushed = true; return 0;
    case WM_LBUTTONUP:
        if (w->pushed && !(w->style & WS_DISABLED)) {
            w->pushed = false;
            ButtonClicked(w);
        }
        w->pushed = false;
        return 0;
    default: return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK EditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Self(h);
    if (!w) return 0;
    bool handled = false;
    LRESULT r = CommonControl(w, msg, wp, lp, &handled);
    if (handled) return r;
    switch (msg) {
    case EM_LIMITTEXT: w->edit_limit = wp ? static_cast<UINT>(wp) : 0x7FFFFFFE; return 0;
    case EM_GETLIMITTEXT: return w->edit_limit;
    case EM_SETREADONLY:
        if (wp)
            w->style |= ES_READONLY;
        else
            w->style &= ~static_cast<DWORD>(ES_READONLY);
        return TRUE;
    case EM_GETSEL: return MAKELONG(static_cast<WORD>(w->text.size()), static_cast<WORD>(w->text.size()));
    case EM_SETSEL: return 0;
    case EM_GETLINECOUNT: return 1 + std::count(w->text.begin(), w->text.end(), L'\n');
    case WM_CHAR:
        if (w->style & ES_READONLY) return 0;
        if (wp == VK_BACK) {
            if (!w->text.empty()) w->text.pop_back();
        } else if (wp >= 0x20 && w->text.size() < w->edit_limit) {
            w->text.push_back(static_cast<WCHAR>(wp));
        }
        return 0;
    default: return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK ProgressProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Self(h);
    if (!w) return 0;
    auto& c = w->ctl;
    auto clamp = [&c](int p) { return std::max(c.range_low, std::min(c.range_high, p)); };
    LRESULT old;
    switch (msg) {
    case PBM_SETRANGE:
        old = MAKELONG(static_cast<WORD>(c.range_low), static_cast<WORD>(c.range_high));
        c.range_low = LOWORD(lp);
        c.range_high = HIWORD(lp);
        c.pos = clamp(c.pos);
        return old;
    case PBM_SETRANGE32:
        old = MAKELONG(static_cast<WORD>(c.range_low), static_cast<WORD>(c.range_high));
        c.range_low = static_cast<int>(wp);
        c.range_high = static_cast<int>(lp);
        c.pos = clamp(c.pos);
        return old;
    case PBM_GETRANGE:
        if (lp) {
            auto* r = reinterpret_cast<PBRANGE*>(lp);
            r->iLow = c.range_low;
            r->iHigh = c.range_high;
        }
        return wp ? c.range_low : c.range_high;
    case PBM_SETPOS:
        old = c.pos;
        c.pos = clamp(static_cast<int>(wp));
        return old;
    case PBM_DELTAPOS:
        old = c.pos;
        c.pos = clamp(c.pos + static_cast<int>(wp));
        return old;
    case PBM_GETPOS: return c.pos;
    case PBM_SETSTEP:
        old = c.step;
        c.step = static_cast<int>(wp);
        return old;
    case PBM_GETSTEP: return c.step;
    case PBM_STEPIT:
        old = c.pos;
        c.pos += c.step;
        // Past the end the bar starts over from the beginning.
        if (c.pos > c.range_high) c.pos = c.range_low + (c.pos - c.range_high);
        if (c.pos < c.range_low) c.pos = c.range_high - (c.range_low - c.pos);
        c.pos = clamp(c.pos);
        return old;
    case PBM_SETMARQUEE:
        if (!(w->style & PBS_MARQUEE)) return FALSE;
        c.marquee = wp != 0;
        c.marquee_ms = lp ? static_cast<UINT>(lp) : 30;
        return TRUE;
    case PBM_SETBARCOLOR: return static_cast<LRESULT>(CLR_DEFAULT);
    default: {
        bool handled = false;
        LRESULT r = CommonControl(w, msg, wp, lp, &handled);
        return handled ? r : DefWindowProcW(h, msg, wp, lp);
    }
    }
}

HCURSOR SystemCursor(WORD id) { return reinterpret_cast<HCURSOR>((static_cast<uintptr_t>(id) << 4) | 0x3); }
HICON SystemIcon(WORD id) { return reinterpret_cast<HICON>((static_cast<uintptr_t>(id) << 4) | 0x5); }

std::shared_ptr<WndClass> SystemClass(UserMachine& um, const wchar_t* name, WNDPROC proc, UINT style, WORD cursor) {
    auto c = std::make_shared<WndClass>();
    c->name = name;
    c->atom = um.next_atom++;
    c->style = style | CS_GLOBALCLASS;
    c->proc = proc;
    c->system = true;
    c->cursor = SystemCursor(cursor);
    return c;
}

}  // namespace

namespace winsim::userimpl {

void EnsureSystemClasses(UserMachine& um) {
    if (um.system_ready) return;
    um.system_ready = true;
    um.system_classes.push_back(SystemClass(um, L"STATIC", StaticProc, CS_DBLCLKS | CS_PARENTDC, 32512));
    um.system_classes.push_back(
        SystemClass(um, L"BUTTON", ButtonProc, CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW, 32512));
    um.system_classes.push_back(SystemClass(um, L"EDIT", EditProc, CS_DBLCLKS | CS_PARENTDC, 32513));
    um.system_classes.push_back(SystemClass(um, L"msctls_progress32", ProgressProc, CS_HREDRAW | CS_VREDRAW, 32512));
}

HDC DcOf(HWND h) { return reinterpret_cast<HDC>(reinterpret_cast<uintptr_t>(h) + 2); }

HWND WindowOfDc(HDC dc) {
    uintptr_t v = reinterpret_cast<uintptr_t>(dc);
    if ((v & 3) != 2) return nullptr;
    HWND h = reinterpret_cast<HWND>(v - 2);
    return Get(h) ? h : nullptr;
}

POINT CursorPos() {
    SIZE scr = Screen();
    return POINT{scr.cx / 2, scr.cy / 2};
}

}  // namespace winsim::userimpl

// ---------------------------------------------------------------------------------------
// Default window procedure

LRESULT WINAPI DefWindowProcW(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Get(h);
    if (!w) return 0;
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName) && *cs->lpszName != 0xFFFF) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_CLOSE:
        if (!w->desktop) DestroyWindow(h);
        return 0;
    case WM_GETTEXT: {
        if (wp == 0 || !lp) return 0;
        auto* buf = reinterpret_cast<WCHAR*>(lp);
        size_t k = std::min(w->text.size(), static_cast<size_t>(wp - 1));
        wmemcpy(buf, w->text.data(), k);
        buf[k] = 0;
        return static_cast<LRESULT>(k);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_SETTEXT:
        if (w->desktop) return FALSE;
        w->text = lp ? reinterpret_cast<LPCWSTR>(lp) : L"";
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_WINDOWPOSCHANGED: {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
        if (!pos) return 0;
        if (!(pos->flags & SWP_NOSIZE)) {
            RECT cr;
            GetClientRect(h, &cr);
            WPARAM kind = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                          : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                     : SIZE_RESTORED;
            SendTo(w, WM_SIZE, kind, MAKELPARAM(cr.right, cr.bottom));
        }
        if (!(pos->flags & SWP_NOMOVE) && Alive(*w)) {
            POINT o{0, 0};
            ClientToScreen(h, &o);
            if (w->parent) ScreenToClientPoint(w->parent, &o);
            SendTo(w, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
        }
        return 0;
    }
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_CLOSE: SendTo(w, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(h, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(h, SW_SHOWMAXIMIZED); break;
        case SC_RESTORE: ShowWindow(h, SW_RESTORE); break;
        default: break;
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && !(w->style & WS_MINIMIZE) && IsOnThisThread(*w)) SetFocus(h);
        return 0;
    case WM_QUERYENDSESSION:
    case WM_QUERYOPEN: return TRUE;
    case WM_MOUSEACTIVATE: return 1;  // MA_ACTIVATE
    default: return 0;
    }
}

// ---------------------------------------------------------------------------------------
// Painting

BOOL WINAPI InvalidateRect(HWND h, const RECT*, BOOL erase) {
    if (!h) return TRUE;
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    w->needs_paint = true;
    w->erase = w->erase || erase;
    if (!IsWindowVisible(h)) return TRUE;  // hidden windows get no WM_PAINT
    if (auto t = w->thread.lock())
        if (auto q = QueueOf(*t, false)) {
            q->changed |= QS_PAINT;
            WakeQueue(*q);
        }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND h, LPRECT r, BOOL) {
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (r) {
        if (w->needs_paint)
            GetClientRect(h, r);
        else
            *r = RECT{0, 0, 0, 0};
    }
    return w->needs_paint ? TRUE : FALSE;
}

HDC WINAPI BeginPaint(HWND h, LPPAINTSTRUCT ps) {
    auto w = GetOrFail(h);
    if (!w || !ps) return nullptr;
    std::memset(ps, 0, sizeof(*ps));
    bool erase = w->erase;
    w->needs_paint = false;
    w->erase = false;
    ps->hdc = DcOf(h);
    if (erase) ps->fErase = SendTo(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(ps->hdc), 0) ? FALSE : TRUE;
    GetClientRect(h, &ps->rcPaint);
    return ps->hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

BOOL WINAPI UpdateWindow(HWND h) {
    auto w = GetOrFail(h);
    if (!w) return FALSE;
    if (w->needs_paint && IsWindowVisible(h)) SendTo(w, WM_PAINT, 0, 0);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Cursors, icons, metrics, parameters

HCURSOR WINAPI LoadCursorW(HINSTANCE inst, LPCWSTR name) {
    if (!inst && IS_INTRESOURCE(name)) {
        WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
        if ((id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651)) return SystemCursor(id);
    }
    return Fail<HCURSOR>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
}

HICON WINAPI LoadIconW(HINSTANCE inst, LPCWSTR name) {
    if (!inst && IS_INTRESOURCE(name)) {
        WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
        if (id >= 32512 && id <= 32518) return SystemIcon(id);
    }
    if (HICON own = LoadImageIcon(inst, name)) return own;
    return Fail<HICON>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
}

int WINAPI GetSystemMetrics(int i) {
    SIZE scr = Screen();
    switch (i) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXFULLSCREEN: return scr.cx;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return scr.cy;
    case SM_CYFULLSCREEN: return scr.cy - kTaskbar - 23;
    case SM_CXMAXIMIZED: return scr.cx + 16;
    case SM_CYMAXIMIZED: return scr.cy - kTaskbar + 16;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CYSMCAPTION: return 17;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
    case SM_CXPADDEDBORDER: return 4;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 20;
    case SM_CXSIZE:
    case SM_CYSIZE: return 22;
    case SM_CXMIN: return 132;
    case SM_CYMIN: return 38;
    case SM_MOUSEPRESENT:
    case SM_CMONITORS:
    case SM_SAMEDISPLAYFORMAT:
    case SM_NETWORK: return 1;
    case SM_TABLETPC: return static_cast<int>(CurrentMachine().store().GetInt("display", "tabletpc", 0));
    default: return 0;
    }
}

BOOL WINAPI SystemParametersInfoW(UINT action, UINT, PVOID pv, UINT) {
    auto& um = UM();
    switch (action) {
    case SPI_GETFOREGROUNDLOCKTIMEOUT:
        if (!pv) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        *static_cast<DWORD*>(pv) = um.foreground_lock_timeout;
        return TRUE;
    case SPI_SETFOREGROUNDLOCKTIMEOUT:
        um.foreground_lock_timeout = static_cast<UINT>(reinterpret_cast<UINT_PTR>(pv));
        return TRUE;
    case SPI_GETWORKAREA: {
        if (!pv) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        SIZE scr = Screen();
        *static_cast<RECT*>(pv) = RECT{0, 0, scr.cx, scr.cy - kTaskbar};
        return TRUE;
    }
    default: return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
}
