// winsim: user32's access to a program's resources (winsim/resources.h): LoadStringW,
// icons, menus and modal dialog boxes (see winsim/api_user_res.h).
#include <windows.h>

#include "msgbox_internal.h"
#include "gdi_internal.h"
#include "user_internal.h"
#include "winsim/kernel.h"
#include "winsim/resources.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <memory>

using namespace winsim;
using namespace winsim::userimpl;

namespace {

// The resource table of an instance handle: the image's (null or its handle) or none.
std::shared_ptr<const ResourceTable> TableOf(HINSTANCE inst) {
    Process& p = CurrentProcess();
    if (inst && inst != GetModuleHandleW(nullptr)) return nullptr;
    return resources::Of(p);
}

// A resource name: MAKEINTRESOURCE(id) or "#id".
bool IdOf(LPCWSTR name, WORD* id) {
    if (!name) return false;
    if (IS_INTRESOURCE(name)) {
        *id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
        return true;
    }
    if (name[0] != L'#' || !name[1]) return false;
    unsigned long v = 0;
    for (const wchar_t* c = name + 1; *c; ++c) {
        if (*c < L'0' || *c > L'9') return false;
        v = v * 10 + static_cast<unsigned long>(*c - L'0');
        if (v > 0xFFFF) return false;
    }
    *id = static_cast<WORD>(v);
    return true;
}

// ---------------------------------------------------------------------------------------
// Menus: machine-wide objects, as user32's are.

struct MenuItem {
    std::wstring text;
    UINT id = 0;
    HMENU popup = nullptr;
    bool separator = false;
};

struct Menu {
    DWORD pid = 0;
    std::vector<MenuItem> items;
};

struct Menus {
    explicit Menus(Machine&) {}
    std::map<uintptr_t, std::shared_ptr<Menu>> live;
    uintptr_t next = 0x100100;
};

Menus& MenusOf() { return CurrentMachine().Ext<Menus>("user.menus"); }

std::shared_ptr<Menu> FindMenu(HMENU h) {
    auto& ms = MenusOf();
    auto it = ms.live.find(reinterpret_cast<uintptr_t>(h));
    return it == ms.live.end() ? nullptr : it->second;
}

HMENU Build(const std::vector<MenuItemSpec>& items) {
    auto& ms = MenusOf();
    auto menu = std::make_shared<Menu>();
    menu->pid = CurrentProcess().pid;
    for (const auto& entry : items) {
        MenuItem it;
        it.text = entry.text;
        it.id = entry.id;
        if (entry.popup) {
            it.popup = Build(entry.items);
            it.id = 0;
        } else if (entry.text.empty() && entry.id == 0) {
            it.separator = true;
        }
        menu->items.push_back(std::move(it));
    }
    uintptr_t h = ms.next;
    ms.next += 4;
    ms.live[h] = menu;
    return reinterpret_cast<HMENU>(h);
}

HMENU LoadMenuOf(const ResourceTable& t, WORD id) {
    const MenuSpec* entry = t.FindMenu(id);
    if (!entry) return nullptr;
    return Build(entry->items);
}

void Destroy(HMENU h) {
    auto menu = FindMenu(h);
    if (!menu) return;
    MenusOf().live.erase(reinterpret_cast<uintptr_t>(h));
    for (auto& it : menu->items)
        if (it.popup) Destroy(it.popup);
}

// The item of a menu by position, or by command ID searching the popups too.
const MenuItem* Item(HMENU h, UINT item, UINT flags) {
    auto menu = FindMenu(h);
    if (!menu) return nullptr;
    if (flags & MF_BYPOSITION) return item < menu->items.size() ? &menu->items[item] : nullptr;
    for (auto& it : menu->items) {
        if (!it.popup && !it.separator && it.id == item) return &it;
        if (it.popup)
            if (const MenuItem* found = Item(it.popup, item, flags)) return found;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Dialog boxes

const wchar_t* const kDialogClass = L"#32770";
constexpr int kDialogExtra = 3 * static_cast<int>(sizeof(LONG_PTR));

struct DialogState {
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    WORD template_id = 0;
    DWORD pid = 0;
    bool visible_style = false;  // the template's WS_VISIBLE
    HFONT font = nullptr;        // WM_SETFONT
    HFONT own_font = nullptr;    // the template's font, deleted with the dialog
};

struct Dialogs {
    explicit Dialogs(Machine&) {}
    std::map<uintptr_t, std::shared_ptr<DialogState>> live;
    bool class_ready = false;
};

Dialogs& DialogsOf() { return CurrentMachine().Ext<Dialogs>("user.dialogs"); }

std::shared_ptr<DialogState> StateOf(HWND h) {
    auto& d = DialogsOf();
    auto it = d.live.find(reinterpret_cast<uintptr_t>(h));
    return it == d.live.end() ? nullptr : it->second;
}

// Messages whose result a dialog procedure returns directly (not through DWLP_MSGRESULT).
bool DirectResult(UINT msg) {
    return msg == WM_INITDIALOG || msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN || msg == WM_CTLCOLOREDIT ||
           msg == WM_CTLCOLORDLG || msg == WM_CTLCOLORLISTBOX || msg == WM_CTLCOLORSCROLLBAR || msg == WM_QUERYDRAGICON;
}

// The dialog class's window procedure: the dialog procedure first, then the defaults.
LRESULT CALLBACK DialogWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto st = StateOf(h);
    if (st && st->proc) {
        INT_PTR r = st->proc(h, msg, wp, lp);
        if (r) return DirectResult(msg) ? static_cast<LRESULT>(r) : GetWindowLongPtrW(h, DWLP_MSGRESULT);
    }
    switch (msg) {
    case WM_SETFONT:
        if (st) st->font = reinterpret_cast<HFONT>(wp);
        return 0;
    case WM_GETFONT: return st ? reinterpret_cast<LRESULT>(st->font) : 0;
    case WM_CLOSE:
        // The system menu's Close and Alt+F4 act as the Cancel button.
        SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
        return 0;
    case WM_NCDESTROY:
        if (st && st->own_font) gdiimpl::Delete(st->own_font);
        DialogsOf().live.erase(reinterpret_cast<uintptr_t>(h));
        return DefWindowProcW(h, msg, wp, lp);
    default: return DefWindowProcW(h, msg, wp, lp);
    }
}

void EnsureDialogClass() {
    auto& d = DialogsOf();
    if (d.class_ready) return;
    d.class_ready = true;
    user::RegisterSystemClass(CurrentMachine(), kDialogClass, DialogWindowProc, CS_DBLCLKS | CS_SAVEBITS, kDialogExtra);
}

}  // namespace

namespace winsim::userimpl {

HMENU LoadClassMenu(const WndClass& cls, HINSTANCE inst) {
    WORD id = 0;
    if (cls.menu_name.empty() || !IdOf(cls.menu_name.c_str(), &id)) return nullptr;
    auto t = TableOf(inst ? inst : cls.inst);
    return t ? LoadMenuOf(*t, id) : nullptr;
}

HICON LoadImageIcon(HINSTANCE inst, LPCWSTR name) {
    WORD id = 0;
    auto t = TableOf(inst);
    if (!t || !IdOf(name, &id) || !t->HasIcon(id)) return nullptr;
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x10000000u) | (static_cast<uintptr_t>(id) << 4) | 0x9u);
}

}  // namespace winsim::userimpl

// ---------------------------------------------------------------------------------------
// Strings

int WINAPI LoadStringW(HINSTANCE inst, UINT id, LPWSTR buf, int max) {
    if (!buf || max < 0) return Fail(ERROR_INVALID_PARAMETER, 0);
    auto t = TableOf(inst);
    if (!t) {
        if (max > 0) buf[0] = 0;
        return Fail(ERROR_RESOURCE_DATA_NOT_FOUND, 0);
    }
    auto it = t->strings.find(id);
    if (it == t->strings.end() || it->second.empty()) {
        if (max > 0) buf[0] = 0;
        return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
    }
    const std::wstring& s = it->second;
    SetLastError(ERROR_SUCCESS);
    if (max == 0) {
        // The read-only form: a pointer to the string itself.
        *reinterpret_cast<LPCWSTR*>(buf) = s.c_str();
        return static_cast<int>(s.size());
    }
    size_t n = std::min(s.size(), static_cast<size_t>(max - 1));
    wmemcpy(buf, s.data(), n);
    buf[n] = 0;
    return static_cast<int>(n);
}

// ---------------------------------------------------------------------------------------
// Bitmaps

HBITMAP WINAPI LoadBitmapW(HINSTANCE inst, LPCWSTR name) {
    WORD id = 0;
    auto t = TableOf(inst);
    if (!t) return Fail<HBITMAP>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
    const BitmapSpec* b = IdOf(name, &id) ? t->FindBitmap(id) : nullptr;
    if (!b) return Fail<HBITMAP>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
    return gdiimpl::NewBitmap(b->cx, b->cy, b->bits_pixel);
}

// ---------------------------------------------------------------------------------------
// Menus

HMENU WINAPI LoadMenuW(HINSTANCE inst, LPCWSTR name) {
    WORD id = 0;
    auto t = TableOf(inst);
    if (!t) return Fail<HMENU>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
    if (!IdOf(name, &id)) return Fail<HMENU>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
    HMENU h = LoadMenuOf(*t, id);
    if (!h) return Fail<HMENU>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
    return h;
}

BOOL WINAPI DestroyMenu(HMENU h) {
    if (!FindMenu(h)) return Fail(ERROR_INVALID_MENU_HANDLE, FALSE);
    Destroy(h);
    return TRUE;
}

BOOL WINAPI IsMenu(HMENU h) { return FindMenu(h) ? TRUE : FALSE; }

HMENU WINAPI GetMenu(HWND hwnd) {
    auto w = GetOrFail(hwnd);
    if (!w || (w->style & WS_CHILD)) return nullptr;
    return FindMenu(w->menu) ? w->menu : nullptr;
}

int WINAPI GetMenuItemCount(HMENU h) {
    auto menu = FindMenu(h);
    if (!menu) return Fail(ERROR_INVALID_MENU_HANDLE, -1);
    return static_cast<int>(menu->items.size());
}

HMENU WINAPI GetSubMenu(HMENU h, int pos) {
    auto menu = FindMenu(h);
    if (!menu || pos < 0 || static_cast<size_t>(pos) >= menu->items.size()) return nullptr;
    return menu->items[static_cast<size_t>(pos)].popup;
}

UINT WINAPI GetMenuItemID(HMENU h, int pos) {
    auto menu = FindMenu(h);
    if (!menu || pos < 0 || static_cast<size_t>(pos) >= menu->items.size()) return static_cast<UINT>(-1);
    const MenuItem& it = menu->items[static_cast<size_t>(pos)];
    return it.popup ? static_cast<UINT>(-1) : it.id;
}

int WINAPI GetMenuStringW(HMENU h, UINT item, LPWSTR buf, int max, UINT flags) {
    if (!FindMenu(h)) return Fail(ERROR_INVALID_MENU_HANDLE, 0);
    const MenuItem* it = Item(h, item, flags);
    if (!it) {
        if (buf && max > 0) buf[0] = 0;
        return 0;
    }
    const std::wstring& s = it->text;
    if (!buf || max <= 0) return static_cast<int>(s.size());
    size_t n = std::min(s.size(), static_cast<size_t>(max - 1));
    wmemcpy(buf, s.data(), n);
    buf[n] = 0;
    return static_cast<int>(n);
}

// ---------------------------------------------------------------------------------------
// Dialog boxes

namespace {

// Creates a dialog from its template, hidden, with its controls, and sends WM_INITDIALOG.
// Null on failure (with the error set); *owner is the owner the dialog got.
HWND CreateFromTemplate(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param, WORD* id,
                        HWND* owner_out, std::shared_ptr<DialogState>* state) {
    auto t = TableOf(inst);
    if (!t) return Fail<HWND>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
    const DialogSpec* d = IdOf(name, id) ? t->FindDialog(*id) : nullptr;
    if (!d) return Fail<HWND>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
    if (parent && !IsWindow(parent)) return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
    EnsureDialogClass();

    // The owner is the parent's top-level window; the template's position is relative to it.
    HWND owner = parent ? userimpl::RootWindow(parent) : nullptr;
    *owner_out = owner;
    int x = resources::DluToPixelsX(d->x), y = resources::DluToPixelsY(d->y);
    if (owner) {
        RECT r{};
        GetWindowRect(owner, &r);
        x += r.left;
        y += r.top;
    }
    DWORD style = d->style & ~WS_VISIBLE;
    if (!(style & WS_CHILD)) style |= WS_POPUP;
    HWND dlg = CreateWindowExW(0, kDialogClass, d->caption.c_str(), style, x, y, resources::DluToPixelsX(d->cx),
                               resources::DluToPixelsY(d->cy), owner, nullptr, inst, nullptr);
    if (!dlg) return nullptr;
    auto st = std::make_shared<DialogState>();
    st->proc = proc;
    st->template_id = *id;
    st->pid = GetCurrentProcessId();
    st->visible_style = (d->style & WS_VISIBLE) != 0;
    DialogsOf().live[reinterpret_cast<uintptr_t>(dlg)] = st;
    *state = st;
    SetWindowLongPtrW(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    if (d->style & DS_SETFONT) {
        // The template's font, in points at 96 dots per inch; the dialog and each control
        // get it, and it goes with the dialog.
        LOGFONTW lf{};
        lf.lfHeight = -((d->font_size * 96 + 36) / 72);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        wcsncpy(lf.lfFaceName, d->font.c_str(), LF_FACESIZE - 1);
        st->own_font = gdiimpl::NewFont(lf);
        SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(st->own_font), FALSE);
    }

    HWND first_tab = nullptr;
    for (const auto& c : d->controls) {
        DWORD cs = c.style | WS_CHILD | WS_VISIBLE;
        bool icon = c.icon != 0;
        HWND ctl = CreateWindowExW(c.ex_style, c.class_name.c_str(), icon ? L"" : c.text.c_str(), cs,
                                   resources::DluToPixelsX(c.x), resources::DluToPixelsY(c.y),
                                   resources::DluToPixelsX(c.cx), resources::DluToPixelsY(c.cy), dlg,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), inst, nullptr);
        if (!ctl) {
            DestroyWindow(dlg);
            state->reset();
            return nullptr;
        }
        if (st->own_font) SendMessageW(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(st->own_font), FALSE);
        if (icon)
            if (HICON hi = LoadIconW(inst, MAKEINTRESOURCEW(c.icon)))
                SendMessageW(ctl, STM_SETICON, reinterpret_cast<WPARAM>(hi), 0);
        if (!first_tab && (c.style & WS_TABSTOP)) first_tab = ctl;
    }

    if (SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first_tab), param) && first_tab &&
        IsWindow(first_tab))
        SetFocus(first_tab);
    return IsWindow(dlg) ? dlg : nullptr;
}

}  // namespace

HWND WINAPI CreateDialogParamW(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    WORD id = 0;
    HWND owner = nullptr;
    std::shared_ptr<DialogState> st;
    HWND dlg = CreateFromTemplate(inst, name, parent, proc, param, &id, &owner, &st);
    if (!dlg) return nullptr;
    // A modeless dialog shows itself only when its template says WS_VISIBLE.
    if (st->visible_style) ShowWindow(dlg, SW_SHOWNORMAL);
    SetLastError(ERROR_SUCCESS);
    return dlg;
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    WORD id = 0;
    HWND owner = nullptr;
    std::shared_ptr<DialogState> st;
    HWND dlg = CreateFromTemplate(inst, name, parent, proc, param, &id, &owner, &st);
    if (!dlg) {
        if (!st) return -1;
        // Ended from WM_INITDIALOG.
        const auto* d = TableOf(inst)->FindDialog(id);
        msgboximpl::RecordDialog(CurrentMachine(), id, d ? d->caption : std::wstring(), 0);
        SetLastError(ERROR_SUCCESS);
        return st->result;
    }
    const DialogSpec* d = TableOf(inst)->FindDialog(id);

    int clicked = 0;
    if (!st->ended && IsWindow(dlg)) {
        // Shown whatever its style, the owner disabled while it runs.
        ShowWindow(dlg, SW_SHOWNORMAL);
        if (owner) userimpl::SetEnabled(owner, false);
        if (auto click = msgboximpl::TakeDialogClick(CurrentMachine())) {
            clicked = *click;
            HWND ctl = GetDlgItem(dlg, clicked);
            if (ctl)
                PostMessageW(ctl, BM_CLICK, 0, 0);
            else
                PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(clicked), BN_CLICKED), 0);
        }
    }
    msgboximpl::RecordDialog(CurrentMachine(), id, d->caption, clicked);

    while (!st->ended && IsWindow(dlg)) {
        MSG msg;
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == -1) break;
        if (r == 0) {
            // WM_QUIT ends the dialog; the quit is left for the program's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            st->result = 0;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner && IsWindow(owner)) userimpl::SetEnabled(owner, true);
    INT_PTR result = st->result;
    if (IsWindow(dlg)) DestroyWindow(dlg);
    SetLastError(ERROR_SUCCESS);
    return result;
}

BOOL WINAPI IsDialogMessageW(HWND dlg, LPMSG msg) {
    if (!msg || !StateOf(dlg) || !IsWindow(dlg)) return FALSE;
    if (msg->hwnd != dlg && !userimpl::IsDescendant(dlg, msg->hwnd)) return FALSE;
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
        int id = msg->wParam == VK_ESCAPE ? IDCANCEL : IDOK;
        HWND ctl = GetDlgItem(dlg, id);
        if (id == IDOK && (!ctl || !IsWindowEnabled(ctl))) return TRUE;
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(ctl));
        return TRUE;
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

namespace winsim::user {

std::vector<HWND> DialogsByTemplate(Machine& m, DWORD pid, WORD template_id) {
    std::vector<std::pair<uint64_t, HWND>> found;
    for (auto& [h, st] : m.Ext<Dialogs>("user.dialogs").live) {
        HWND hwnd = reinterpret_cast<HWND>(h);
        if (st->pid != pid || st->template_id != template_id) continue;
        auto info = Info(m, hwnd);
        if (info) found.emplace_back(static_cast<uint64_t>(h), hwnd);
    }
    std::sort(found.begin(), found.end());
    std::vector<HWND> v;
    for (auto& f : found) v.push_back(f.second);
    return v;
}

}  // namespace winsim::user

BOOL WINAPI EndDialog(HWND h, INT_PTR result) {
    auto st = StateOf(h);
    if (!st) return Fail(IsWindow(h) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE, FALSE);
    st->ended = true;
    st->result = result;
    ShowWindow(h, SW_HIDE);
    // Wakes the modal loop (which checks the flag after each message).
    PostMessageW(h, WM_NULL, 0, 0);
    return TRUE;
}
