// winsim: the machine's display, as tests and the tool see it.
//
// One display device, "\\.\DISPLAY1", driven by the display adapters of the device tree
// (class Display, enumerator PCI). Its mode lives in the store: the native (landscape) size,
// bits per pixel, refresh rate and the orientation DMDO_DEFAULT 0, DMDO_90 1, DMDO_180 2,
// DMDO_270 3; for 90 and 270 the current width and height are the native ones swapped.
// EnumDisplaySettingsW (winsim/api_display.h) reports it.
//
// Each adapter keeps its settings key as Windows does: Enum\<instance ID>\Device Parameters
// holds VideoID, and the key is
//   HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current\System\CurrentControlSet
//     \Control\VIDEO\<VideoID>\0000          (the VIDEO route), or
//     \Services\<service>\Device0              (the service route)
// with DefaultSettings.Orientation, .BitsPerPel, .XResolution and .YResolution (DWORDs).
//
// Rotate(o) is one machine operation: it writes DefaultSettings.Orientation (and the
// resolution, swapped as the mode is) into the settings key of every present adapter that
// has one, changes the current mode, fires the maker's posture event (VUNDG event 134,
// value o: winsim/vundg.h) and then calls the display-change listeners with the new bits
// per pixel, width and height, which the window manager turns into WM_DISPLAYCHANGE
// (wParam bpp, lParam MAKELPARAM(cx, cy)) for the top-level windows. Listeners run on the
// calling thread (a simulated thread, or the winsim tool's host thread).
//
// GetSystemMetrics(SM_TABLETPC) answers the store setting ("display", "tabletpc").
//
// The panel "\\.\LCD" (present unless a test removes it) answers the brightness queries of
// the video port, METHOD_BUFFERED: IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS writes the
// supported levels, one byte each (the byte count is their number; an output buffer too
// small for them fails with ERROR_INSUFFICIENT_BUFFER), IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS
// the 3-byte DISPLAY_BRIGHTNESS (policy DISPLAYPOLICY_BOTH, AC, DC; a shorter buffer fails
// the same way). Other codes fail with ERROR_INVALID_FUNCTION; either query can be made to
// fail with an injected error. Every profile's panel has the levels 0, 10, ... 100, at 60.
#pragma once

#include "machine.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

struct DisplayAdapterSpec {
    std::wstring instance_id;                // "PCI\VEN_...&DEV_...&SUBSYS_...&REV_..\3&...&0&10"
    DWORD parent = 0;                        // device tree node (0: the root)
    std::vector<std::wstring> hardware_ids;  // the first is the instance ID's device part
    std::wstring description;
    std::optional<std::wstring> friendly_name;
    std::wstring service;     // the display driver's service
    std::wstring video_id;    // "{...}"
    bool video_route = true;  // settings under Control\VIDEO\<VideoID>\0000, else Services\<service>\Device0
    bool settings = true;     // write the settings key at all
    DWORD orientation = 0;
    DWORD bits_per_pel = 32;
    DWORD x_resolution = 1024;
    DWORD y_resolution = 768;
};

class Display {
public:
    static constexpr const wchar_t* kHwProfile =
        L"HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\";
    using ChangeListener = std::function<void(DWORD bpp, DWORD cx, DWORD cy)>;

    explicit Display(Machine& m) : m_(m) {}

    // The mode.
    DWORD native_width();
    DWORD native_height();
    DWORD bits_per_pel();
    DWORD frequency();
    DWORD orientation();
    DWORD width();  // current, after rotation
    DWORD height();
    void SetNativeMode(DWORD width, DWORD height, DWORD bpp, DWORD frequency);
    // Sets the orientation without the rest of Rotate (no registry, event or listeners).
    void SetOrientation(DWORD o);

    // EnumDisplaySettingsW reports DM_DISPLAYORIENTATION (default) or leaves it out.
    bool orientation_field();
    void set_orientation_field(bool on);
    // EnumDisplaySettingsW fails with this error (0: it works).
    DWORD enum_error();
    void set_enum_error(DWORD err);

    bool tablet_pc();
    void set_tablet_pc(bool on);

    // The panel's brightness.
    bool lcd_present();
    void set_lcd_present(bool on);
    std::vector<BYTE> brightness_levels();
    void set_brightness_levels(const std::vector<BYTE>& levels);
    BYTE ac_brightness();
    BYTE dc_brightness();
    void set_brightness(BYTE ac, BYTE dc);
    // The query with this control code fails with err (0: it works).
    void set_brightness_error(DWORD code, DWORD err);

    // Installs a display adapter in the device tree with its VideoID and settings key.
    DWORD AddAdapter(const DisplayAdapterSpec& desc);
    // The settings keys (full paths) of the present PCI display adapters that have one.
    std::vector<std::wstring> SettingsKeys();

    // Turns the display (o 0-3; std::invalid_argument otherwise).
    void Rotate(DWORD o);
    void AddChangeListener(ChangeListener l);

private:
    Machine& m_;
};

}  // namespace winsim
