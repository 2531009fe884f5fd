// winsim tool: "display" - the display's mode, rotation and the tablet setting.
#include "tool.h"

#include "winsim/display.h"
#include "winsim/registry.h"

#include <cstdio>

namespace winsim::tool {
namespace {

const char* kHelp =
    "display show | display rotate 0|90|180|270 | display set tabletpc|orientation-field on|off |\n"
    "  display set enum-error N";

extern const Command kDisplay;

void Show(Display& d, Registry& r) {
    std::printf("mode         %u x %u, %u bits per pixel, %u Hz\n", d.width(), d.height(), d.bits_per_pel(),
                d.frequency());
    std::printf("orientation  %u (%u degrees)\n", d.orientation(), d.orientation() * 90);
    std::printf("tablet pc    %s\n", d.tablet_pc() ? "yes" : "no");
    if (!d.orientation_field()) std::printf("DM_DISPLAYORIENTATION left out of dmFields\n");
    if (d.enum_error()) std::printf("EnumDisplaySettingsW fails with %u\n", d.enum_error());
    for (auto& k : d.SettingsKeys()) {
        std::printf("key          %s\n", Utf8(k).c_str());
        for (const wchar_t* v : {L"DefaultSettings.Orientation", L"DefaultSettings.BitsPerPel",
                                 L"DefaultSettings.XResolution", L"DefaultSettings.YResolution"}) {
            auto x = r.GetDword(k, v);
            std::printf("  %-28s %s\n", Utf8(v).c_str(), x ? std::to_string(*x).c_str() : "(missing)");
        }
    }
}

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kDisplay, "missing subcommand");
    if (a[0] == "help") {
        std::printf("usage: winsim %s\n", kHelp);
        return 0;
    }
    Display d(ctx.machine());
    Registry r(ctx.machine());
    if (a[0] == "show" && a.size() == 1) {
        Show(d, r);
        return 0;
    }
    if (a[0] == "rotate" && a.size() == 2) {
        uint64_t deg = 0;
        if (!ParseNumber(a[1], &deg) || deg % 90 || deg > 270) return BadArgs(kDisplay, "0, 90, 180 or 270");
        d.Rotate(static_cast<DWORD>(deg / 90));
        Show(d, r);
        return 0;
    }
    if (a[0] == "set" && a.size() == 3) {
        bool on = a[2] == "on" || a[2] == "1";
        bool off = a[2] == "off" || a[2] == "0";
        if (a[1] == "enum-error") {
            uint64_t e = 0;
            if (!ParseNumber(a[2], &e) || e > 0xFFFFFFFFull) return BadArgs(kDisplay, "expected a number");
            d.set_enum_error(static_cast<DWORD>(e));
        } else if (!on && !off) {
            return BadArgs(kDisplay, "expected on or off");
        } else if (a[1] == "tabletpc") {
            d.set_tablet_pc(on);
        } else if (a[1] == "orientation-field") {
            d.set_orientation_field(on);
        } else {
            return BadArgs(kDisplay, "unknown setting '" + a[1] + "'");
        }
        Show(d, r);
        return 0;
    }
    return BadArgs(kDisplay, "bad arguments");
}

const Command kDisplay{"display", "display show|rotate|set ... (display help)",
                       "the display: mode, rotation (posture event), SM_TABLETPC", Run};
Registrar reg(kDisplay);

}  // namespace
}  // namespace winsim::tool
