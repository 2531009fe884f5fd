// winsim tool: the HCI driver's state and request log.
#include "tool.h"

#include "winsim/hci.h"

#include <cstdio>

namespace winsim::tool {
namespace {

void Show(HciDriver& d) {
    std::printf("device      %s\n", d.present() ? "present" : "absent");
    if (d.open_error()) std::printf("open error  %u\n", d.open_error());
    std::printf("rf          %s\n", d.rf() ? "on" : "off");
    std::printf("power       %s\n", d.power() ? "on" : "off");
    std::printf("status      0x%04X (switch %s)\n", d.status(), (d.status() & 1) ? "on" : "off");
    std::printf("posture     0x%04X\n", d.posture_flags());
    int r = d.rf_after_resume();
    std::printf("rf resume   %s\n", r < 0 ? "unchanged" : r ? "on" : "off");
    for (DWORD sel : {0x2000u, 0x4000u, 1u, 3u}) {
        if (DWORD e = d.error_for(sel)) std::printf("error       selector 0x%X answers 0x%04X\n", sel, e);
        if (d.refused(sel)) std::printf("refused     selector 0x%X\n", sel);
    }
}

const char* kUsage = "hci show|log|set|error ... (hci help)";
const char* kHelp =
    "hci show                                  the driver's state\n"
    "hci log [--clear | --limit N]             the requests it received (it keeps the last N, 10000)\n"
    "hci set present|rf|power|switch on|off    device presence, RF, module power, wireless switch\n"
    "hci set status|posture N                  status word (selector 1), RF-stop posture flags (selector 3)\n"
    "hci set resume on|off|unchanged           RF after a resume from sleep\n"
    "hci set open-error N                      CreateFileW fails with this error (0: opens)\n"
    "hci error SELECTOR STATUS|refuse|clear    make a selector answer STATUS in word 0, or refuse it\n";

extern const Command kHci;

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kHci, "missing subcommand");
    if (a[0] == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    HciDriver d(ctx.machine());
    auto onoff = [](const std::string& s, bool* v) {
        if (s == "on" || s == "1") return *v = true, true;
        if (s == "off" || s == "0") return *v = false, true;
        return false;
    };
    if (a[0] == "show" && a.size() == 1) {
        Show(d);
        return 0;
    }
    if (a[0] == "log") {
        if (int rc = LogOptions(ctx, kHci, a, "hci_log"); rc >= 0) return rc;
        for (auto& r : d.log()) {
            std::printf("%10llu ms  pid %-5u  in %04X %04X %04X %04X %X %X  ->  ",
                        static_cast<unsigned long long>(r.time_ms), r.pid, r.in[0], r.in[1], r.in[2], r.in[3], r.in[4],
                        r.in[5]);
            if (r.completed)
                std::printf("out %04X %04X %04X %04X\n", r.out[0], r.out[1], r.out[2], r.out[3]);
            else
                std::printf("refused\n");
        }
        PrintDropped(ctx, "hci_log");
        return 0;
    }
    if (a[0] == "set" && a.size() == 3) {
        const std::string& k = a[1];
        bool b = false;
        uint64_t n = 0;
        if (k == "present" || k == "rf" || k == "power" || k == "switch") {
            if (!onoff(a[2], &b)) return BadArgs(kHci, "expected on or off, got '" + a[2] + "'");
            if (k == "present") d.set_present(b);
            if (k == "rf") d.set_rf(b);
            if (k == "power") d.set_power(b);
            if (k == "switch") d.set_switch(b);
        } else if (k == "status" || k == "posture" || k == "open-error") {
            if (!ParseNumber(a[2], &n) || n > 0xFFFFFFFFull)
                return BadArgs(kHci, "expected a number, got '" + a[2] + "'");
            if (k == "status") d.set_status(static_cast<DWORD>(n));
            if (k == "posture") d.set_posture_flags(static_cast<DWORD>(n));
            if (k == "open-error") d.set_open_error(static_cast<DWORD>(n));
        } else if (k == "resume") {
            if (a[2] == "unchanged") {
                d.set_rf_after_resume(-1);
            } else if (onoff(a[2], &b)) {
                d.set_rf_after_resume(b ? 1 : 0);
            } else {
                return BadArgs(kHci, "expected on, off or unchanged, got '" + a[2] + "'");
            }
        } else {
            return BadArgs(kHci, "unknown setting '" + k + "'");
        }
        Show(d);
        return 0;
    }
    if (a[0] == "error" && a.size() == 3) {
        uint64_t sel = 0, st = 0;
        if (!ParseNumber(a[1], &sel) || sel > 0xFFFFFFFFull) return BadArgs(kHci, "bad selector '" + a[1] + "'");
        if (a[2] == "refuse") {
            d.set_refused(static_cast<DWORD>(sel), true);
        } else if (a[2] == "clear") {
            d.set_refused(static_cast<DWORD>(sel), false);
            d.set_error(static_cast<DWORD>(sel), 0);
        } else if (ParseNumber(a[2], &st) && st <= 0xFFFFFFFFull) {
            d.set_error(static_cast<DWORD>(sel), static_cast<DWORD>(st));
        } else {
            return BadArgs(kHci, "bad status '" + a[2] + "'");
        }
        Show(d);
        return 0;
    }
    return BadArgs(kHci, "bad arguments");
}

const Command kHci{"hci", kUsage, "show and set the HCI driver (\\\\.\\VUNDD) and its request log", Run};
Registrar reg(kHci);

}  // namespace
}  // namespace winsim::tool
