// winsim: user32's EnumDisplaySettingsW over the machine's display (winsim/display.h).
#include <windows.h>

#include "winsim/api_display.h"
#include "winsim/display.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

using namespace winsim;

namespace {

struct ModeSize {
    DWORD w, h;
};

// The modes of the display in its current orientation: the native size first, then the
// usual smaller ones, each at 32 and 16 bits per pixel.
std::vector<std::pair<ModeSize, DWORD>> Modes(Display& d) {
    std::vector<ModeSize> sizes = {{d.native_width(), d.native_height()}, {1280, 720}, {1024, 768}, {800, 600}};
    std::vector<std::pair<ModeSize, DWORD>> v;
    for (DWORD bpp : {32u, 16u}) {
        for (auto s : sizes) {
            if (s.w > d.native_width() || s.h > d.native_height()) continue;
            if (d.orientation() & 1) std::swap(s.w, s.h);
            bool dup = false;
            for (auto& [m, b] : v) dup = dup || (b == bpp && m.w == s.w && m.h == s.h);
            if (!dup) v.push_back({s, bpp});
        }
    }
    return v;
}

bool IsDisplay1(LPCWSTR name) { return !name || !*name || IEquals(name, L"\\\\.\\DISPLAY1"); }

}  // namespace

BOOL WINAPI EnumDisplaySettingsW(LPCWSTR lpszDeviceName, DWORD iModeNum, DEVMODEW* lpDevMode) {
    Display d(CurrentMachine());
    if (DWORD e = d.enum_error()) return Fail(e, FALSE);
    if (!lpDevMode) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (lpDevMode->dmSize < offsetof(DEVMODEW, dmICMMethod)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!IsDisplay1(lpszDeviceName)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD w, h, bpp = d.bits_per_pel();
    if (iModeNum == ENUM_CURRENT_SETTINGS || iModeNum == ENUM_REGISTRY_SETTINGS) {
        w = d.width();
        h = d.height();
    } else {
        auto modes = Modes(d);
        if (iModeNum >= modes.size()) return FALSE;
        w = modes[iModeNum].first.w;
        h = modes[iModeNum].first.h;
        bpp = modes[iModeNum].second;
    }
    DEVMODEW dm;
    std::memset(&dm, 0, sizeof dm);
    const wchar_t* kName = L"Display Adapter";
    wcsncpy(dm.dmDeviceName, kName, CCHDEVICENAME - 1);
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmDriverVersion = 0x0001;
    dm.dmSize = lpDevMode->dmSize;
    dm.dmDriverExtra = 0;
    dm.dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS | DM_DISPLAYFREQUENCY;
    if (d.orientation_field()) {
        dm.dmFields |= DM_DISPLAYORIENTATION;
        dm.dmDisplayOrientation = d.orientation();
    }
    dm.dmBitsPerPel = bpp;
    dm.dmPelsWidth = w;
    dm.dmPelsHeight = h;
    dm.dmDisplayFrequency = d.frequency();
    size_t n = lpDevMode->dmSize < sizeof dm ? lpDevMode->dmSize : sizeof dm;
    WORD extra = lpDevMode->dmDriverExtra;
    std::memcpy(lpDevMode, &dm, n);
    lpDevMode->dmDriverExtra = extra;
    return TRUE;
}
