// winsim: gdi32's fonts and bitmaps: a machine-wide table of objects, each owned by the
// process that made it.
#include <windows.h>

#include "gdi_internal.h"
#include "winsim/gdi.h"
#include "winsim/kernel.h"

#include <cstring>
#include <map>

using namespace winsim;

namespace {

enum class Kind { Font, Bitmap };

struct Object {
    Kind kind;
    DWORD pid = 0;
    LOGFONTW font{};
    BITMAP bitmap{};
};

struct GdiObjects {
    explicit GdiObjects(Machine&) {}
    std::map<uintptr_t, Object> live;
    uintptr_t next = 0x0C000010;
};

GdiObjects& ObjectsOf(Machine& m) { return m.Ext<GdiObjects>("gdi.objects"); }

HGDIOBJ Add(Object o) {
    auto& t = ObjectsOf(CurrentMachine());
    o.pid = CurrentProcess().pid;
    uintptr_t h = t.next;
    t.next += 4;
    t.live.emplace(h, o);
    return reinterpret_cast<HGDIOBJ>(h);
}

Object* Find(HGDIOBJ h) {
    auto& t = ObjectsOf(CurrentMachine());
    auto it = t.live.find(reinterpret_cast<uintptr_t>(h));
    return it == t.live.end() ? nullptr : &it->second;
}

}  // namespace

namespace winsim::gdiimpl {

HFONT NewFont(const LOGFONTW& lf) {
    Object o{Kind::Font};
    o.font = lf;
    o.font.lfFaceName[LF_FACESIZE - 1] = 0;
    return static_cast<HFONT>(Add(o));
}

HBITMAP NewBitmap(int cx, int cy, int bits_pixel) {
    Object o{Kind::Bitmap};
    o.bitmap.bmWidth = cx;
    o.bitmap.bmHeight = cy;
    o.bitmap.bmPlanes = 1;
    o.bitmap.bmBitsPixel = static_cast<WORD>(bits_pixel);
    // Rows of a device-dependent bitmap are padded to a WORD.
    o.bitmap.bmWidthBytes = ((cx * bits_pixel + 15) / 16) * 2;
    return static_cast<HBITMAP>(Add(o));
}

void Delete(HGDIOBJ h) { ObjectsOf(CurrentMachine()).live.erase(reinterpret_cast<uintptr_t>(h)); }

}  // namespace winsim::gdiimpl

namespace winsim::gdi {

size_t LiveObjects(Machine& m, DWORD pid) {
    size_t n = 0;
    for (const auto& [h, o] : ObjectsOf(m).live)
        if (o.pid == pid) ++n;
    return n;
}

}  // namespace winsim::gdi

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lf) {
    if (!lf) return Fail<HFONT>(ERROR_INVALID_PARAMETER, nullptr);
    return gdiimpl::NewFont(*lf);
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
    Object* o = Find(h);
    if (!o) return Fail(ERROR_INVALID_HANDLE, 0);
    const void* data = o->kind == Kind::Font ? static_cast<const void*>(&o->font) : &o->bitmap;
    int size = o->kind == Kind::Font ? static_cast<int>(sizeof(LOGFONTW)) : static_cast<int>(sizeof(BITMAP));
    if (!pv) return size;
    if (c <= 0) return 0;
    int n = c < size ? c : size;
    std::memcpy(pv, data, static_cast<size_t>(n));
    return n;
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
    if (!Find(h)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    gdiimpl::Delete(h);
    return TRUE;
}
