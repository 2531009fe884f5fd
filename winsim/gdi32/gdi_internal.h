// winsim: gdi32's object table, for the other DLLs that make GDI objects (user32's
// dialog fonts and bitmaps from resources).
#pragma once

#include <windows.h>

namespace winsim::gdiimpl {

// A new font or bitmap of the calling process.
HFONT NewFont(const LOGFONTW& lf);
HBITMAP NewBitmap(int cx, int cy, int bits_pixel);
// Deletes an object made above (no error when it is gone already).
void Delete(HGDIOBJ h);

}  // namespace winsim::gdiimpl
