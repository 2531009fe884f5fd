// winsim: a program's resource table from its resource header - the header that the
// Windows build's resource script expands (see vq_add_program RESOURCES in
// cmake/Platform.cmake). Include <windows.h> and the program's resource header first; then
// WINSIM_RESOURCE_TABLE(manifest) is an expression giving the table.
//
// The header defines VQ_RES_LANGUAGE and any of these lists (texts are UTF-8):
//   VQ_RES_STRINGS(S)  S(id, text)
//   VQ_RES_ICONS(I)    I(id, file)            (the file is used by the Windows build only)
//   VQ_RES_BITMAPS(B)  B(id, file, cx, cy)    (the file's size: the Linux build has no file)
//   VQ_RES_MENUS(M)    M(id, items)           items(POPUP, ITEM, SEPARATOR, END):
//                                             POPUP(text) ... END, ITEM(text, command)
//   VQ_RES_DIALOGS(D)  D(id, x, y, cx, cy, style, caption, font size, font, controls)
//                                             controls(ICON, CONTROL):
//                                             ICON(icon, id, x, y, cx, cy),
//                                             CONTROL(text, id, class, style, x, y, cx, cy
//                                             [, extended style])
#pragma once

#include "resources.h"

#include <memory>
#include <string>
#include <vector>

namespace winsim::progres {

enum class MenuOp { Popup, Item, Separator, End };

struct MenuStep {
    MenuOp op;
    const char* text;
    UINT id;
};

// Builds the item tree of a menu from its steps (a popup's items end at its End).
inline std::vector<MenuItemSpec> BuildMenu(const std::vector<MenuStep>& steps) {
    std::vector<MenuItemSpec> top;
    std::vector<std::vector<MenuItemSpec>*> open{&top};
    for (const auto& s : steps) {
        auto& into = *open.back();
        switch (s.op) {
        case MenuOp::Popup: {
            MenuItemSpec p;
            p.text = Wide(s.text);
            p.popup = true;
            into.push_back(std::move(p));
            open.push_back(&into.back().items);
            break;
        }
        case MenuOp::Item: {
            MenuItemSpec it;
            it.text = Wide(s.text);
            it.id = s.id;
            into.push_back(std::move(it));
            break;
        }
        case MenuOp::Separator: into.push_back(MenuItemSpec{}); break;
        case MenuOp::End:
            if (open.size() > 1) open.pop_back();
            break;
        }
    }
    return top;
}

inline DialogControlSpec IconControl(WORD icon, int id, int x, int y, int cx, int cy) {
    DialogControlSpec c;
    c.class_name = L"STATIC";
    c.icon = icon;
    c.id = id;
    c.style = 0x3L;  // SS_ICON
    c.x = x, c.y = y, c.cx = cx, c.cy = cy;
    return c;
}

inline DialogControlSpec Control(const char* text, int id, const char* cls, DWORD style, int x, int y, int cx, int cy,
                                 DWORD ex_style = 0) {
    DialogControlSpec c;
    c.ex_style = ex_style;
    c.class_name = Wide(cls);
    c.text = Wide(text);
    c.id = id;
    c.style = style;
    c.x = x, c.y = y, c.cx = cx, c.cy = cy;
    return c;
}

inline DialogSpec Dialog(WORD id, int x, int y, int cx, int cy, DWORD style, const char* caption, int font_size,
                         const char* font, std::vector<DialogControlSpec> controls) {
    DialogSpec d;
    d.id = id;
    d.x = x, d.y = y, d.cx = cx, d.cy = cy;
    d.style = style | (font && *font ? 0x40L : 0);  // DS_SETFONT
    d.caption = Wide(caption);
    d.font_size = font_size;
    d.font = Wide(font);
    d.controls = std::move(controls);
    return d;
}

}  // namespace winsim::progres

#define WINSIM_RES_STRING_(id_, text_) t->strings[id_] = ::winsim::Wide(text_);
#define WINSIM_RES_ICON_(id_, file_) t->icons.push_back(static_cast<WORD>(id_));
#define WINSIM_RES_BITMAP_(id_, file_, cx_, cy_) t->bitmaps.push_back({static_cast<WORD>(id_), cx_, cy_, 24});
#define WINSIM_RES_POPUP_(text_) {::winsim::progres::MenuOp::Popup, text_, 0},
#define WINSIM_RES_ITEM_(text_, id_) {::winsim::progres::MenuOp::Item, text_, static_cast<UINT>(id_)},
#define WINSIM_RES_SEPARATOR_ {::winsim::progres::MenuOp::Separator, "", 0},
#define WINSIM_RES_END_ {::winsim::progres::MenuOp::End, "", 0},
#define WINSIM_RES_MENU_(id_, items_)                                                               \
    {                                                                                               \
        ::winsim::MenuSpec menu_;                                                                   \
        menu_.id = static_cast<WORD>(id_);                                                          \
        menu_.items = ::winsim::progres::BuildMenu(                                                 \
            {items_(WINSIM_RES_POPUP_, WINSIM_RES_ITEM_, WINSIM_RES_SEPARATOR_, WINSIM_RES_END_)}); \
        t->menus.push_back(std::move(menu_));                                                       \
    }
#define WINSIM_RES_ICONCTL_(icon_, id_, x_, y_, cx_, cy_) \
    ::winsim::progres::IconControl(static_cast<WORD>(icon_), id_, x_, y_, cx_, cy_),
#define WINSIM_RES_CONTROL_(text_, id_, cls_, style_, x_, y_, cx_, cy_, ...) \
    ::winsim::progres::Control(text_, id_, cls_, static_cast<DWORD>(style_), x_, y_, cx_, cy_, ##__VA_ARGS__),
#define WINSIM_RES_DIALOG_(id_, x_, y_, cx_, cy_, style_, caption_, font_size_, font_, controls_)           \
    t->dialogs.push_back(::winsim::progres::Dialog(static_cast<WORD>(id_), x_, y_, cx_, cy_,                \
                                                   static_cast<DWORD>(style_), caption_, font_size_, font_, \
                                                   {controls_(WINSIM_RES_ICONCTL_, WINSIM_RES_CONTROL_)}));

#ifndef VQ_RES_STRINGS
#define VQ_RES_STRINGS(S)
#endif
#ifndef VQ_RES_ICONS
#define VQ_RES_ICONS(I)
#endif
#ifndef VQ_RES_BITMAPS
#define VQ_RES_BITMAPS(B)
#endif
#ifndef VQ_RES_MENUS
#define VQ_RES_MENUS(M)
#endif
#ifndef VQ_RES_DIALOGS
#define VQ_RES_DIALOGS(D)
#endif
#ifndef VQ_RES_LANGUAGE
#define VQ_RES_LANGUAGE 0x0409
#endif

#define WINSIM_RESOURCE_TABLE(manifest_text)                                 \
    ([](const char* manifest_) {                                             \
        auto t = std::make_shared<::winsim::ResourceTable>();                \
        t->language = VQ_RES_LANGUAGE;                                       \
        VQ_RES_STRINGS(WINSIM_RES_STRING_)                                   \
        VQ_RES_ICONS(WINSIM_RES_ICON_)                                       \
        VQ_RES_BITMAPS(WINSIM_RES_BITMAP_)                                   \
        VQ_RES_MENUS(WINSIM_RES_MENU_)                                       \
        VQ_RES_DIALOGS(WINSIM_RES_DIALOG_)                                   \
        t->manifest = manifest_ ? manifest_ : "";                            \
        return std::shared_ptr<const ::winsim::ResourceTable>(std::move(t)); \
    }(manifest_text))
