// winsim: the resources of a program's image - string table, icons, menus, dialog
// templates and the manifest - as the Windows build's resource compiler would put them
// into the executable. The program launcher builds the table from the program's resource
// header (the same header that the Windows resource script expands; see
// winsim/program_resources.h) and attaches it to the program's process, where
// LoadStringW, LoadIconW, LoadBitmapW, LoadMenuW, DialogBoxParamW and GetVersionExW (the
// manifest's compatibility list) find it through the image's instance handle (or NULL).
#pragma once

#include "machine.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim {

struct MenuItemSpec {
    std::wstring text;
    UINT id = 0;  // command ID (items)
    bool popup = false;
    std::vector<MenuItemSpec> items;  // a popup's items
};

struct MenuSpec {
    WORD id = 0;
    std::vector<MenuItemSpec> items;
};

struct DialogControlSpec {
    std::wstring class_name;  // "STATIC", "BUTTON" ...
    std::wstring text;
    WORD icon = 0;  // static icon controls: the icon resource
    int id = -1;
    DWORD style = 0;  // WS_CHILD | WS_VISIBLE are added
    DWORD ex_style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

struct DialogSpec {
    WORD id = 0;
    DWORD style = 0;
    std::wstring caption;
    std::wstring font;
    int font_size = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::vector<DialogControlSpec> controls;
};

// A bitmap resource: its size (the Windows build's resource compiler takes the file).
struct BitmapSpec {
    WORD id = 0;
    int cx = 0, cy = 0;
    int bits_pixel = 24;
};

struct ResourceTable {
    WORD language = 0x0409;
    std::map<UINT, std::wstring> strings;
    std::vector<WORD> icons;
    std::vector<BitmapSpec> bitmaps;
    std::vector<MenuSpec> menus;
    std::vector<DialogSpec> dialogs;
    std::string manifest;  // the RT_MANIFEST 1 text (UTF-8 XML), empty when none

    const MenuSpec* FindMenu(WORD id) const;
    const DialogSpec* FindDialog(WORD id) const;
    bool HasIcon(WORD id) const;
    const BitmapSpec* FindBitmap(WORD id) const;
};

namespace resources {

// Attaches the table to the process's image (replacing what it had).
void Attach(Process& p, std::shared_ptr<const ResourceTable> table);
// The image's table, or null.
std::shared_ptr<const ResourceTable> Of(const Process& p);

// Dialog units to pixels for the dialog font (the system font's base units, 8 x 16).
int DluToPixelsX(int x);
int DluToPixelsY(int y);

}  // namespace resources
}  // namespace winsim
