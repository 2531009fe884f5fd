// winsim tool: "vundg" - the maker's method and event driver \\.\VUNDG.
//
// "fire" records the event in the driver's log; requests pending in a program that runs in
// another host process are not reached from here.
#include "tool.h"

#include "winsim/vundg.h"

#include <cstdio>
#include <cstring>

namespace winsim::tool {
namespace {

const char* kHelp =
    "vundg show | vundg log [--clear | --limit N] | vundg set present on|off | vundg set plst N |\n"
    "  vundg set method NAME N | vundg set open-error|method-error|reply-status|reply-size|event-error N |\n"
    "  vundg fire EVENT VALUE";

extern const Command kVundg;

void Show(VundgDriver& d) {
    std::printf("device        %s\n", d.present() ? "present" : "absent");
    if (d.open_error()) std::printf("open error    %u\n", d.open_error());
    auto plst = d.method("PLST");
    if (plst)
        std::printf("PLST          0x%X (posture bits %u)\n", *plst, *plst & 3);
    else
        std::printf("PLST          (no such method)\n");
    if (d.method_error()) std::printf("method error  %u\n", d.method_error());
    std::printf("reply         status 0x%X, %u bytes\n", d.reply_status(), d.reply_size());
    if (d.event_error()) std::printf("event error   %u\n", d.event_error());
}

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kVundg, "missing subcommand");
    if (a[0] == "help") {
        std::printf("usage: winsim %s\n", kHelp);
        return 0;
    }
    VundgDriver d(ctx.machine());
    auto number = [](const std::string& s, DWORD* v) {
        uint64_t n = 0;
        if (!ParseNumber(s, &n) || n > 0xFFFFFFFFull) return false;
        *v = static_cast<DWORD>(n);
        return true;
    };
    if (a[0] == "show" && a.size() == 1) {
        Show(d);
        return 0;
    }
    if (a[0] == "log") {
        if (int rc = LogOptions(ctx, kVundg, a, "vundg_log"); rc >= 0) return rc;
        for (auto& r : d.log()) {
            std::printf("%10llu ms  pid %-5u ", static_cast<unsigned long long>(r.time_ms), r.pid);
            if (r.code == 0) {
                DWORD id = 0, value = 0;
                if (r.in.size() >= 8) std::memcpy(&id, r.in.data(), 4), std::memcpy(&value, r.in.data() + 4, 4);
                std::printf("fired event %u value %u\n", id, value);
                continue;
            }
            std::printf("0x%06X in", r.code);
            for (uint8_t b : r.in) std::printf(" %02X", b);
            std::printf("  -> %s %u\n", r.result == 997 ? "pending" : "result", r.result);
        }
        PrintDropped(ctx, "vundg_log");
        return 0;
    }
    DWORD v = 0;
    if (a[0] == "set" && a.size() == 3) {
        const std::string& k = a[1];
        if (k == "present") {
            if (a[2] != "on" && a[2] != "off") return BadArgs(kVundg, "expected on or off");
            d.set_present(a[2] == "on");
        } else if (!number(a[2], &v)) {
            return BadArgs(kVundg, "expected a number, got '" + a[2] + "'");
        } else if (k == "plst") {
            d.set_plst(v);
        } else if (k == "open-error") {
            d.set_open_error(v);
        } else if (k == "method-error") {
            d.set_method_error(v);
        } else if (k == "reply-status") {
            d.set_reply_status(v);
        } else if (k == "reply-size") {
            d.set_reply_size(v);
        } else if (k == "event-error") {
            d.set_event_error(v);
        } else {
            return BadArgs(kVundg, "unknown setting '" + k + "'");
        }
        Show(d);
        return 0;
    }
    if (a[0] == "set" && a.size() == 4 && a[1] == "method") {
        if (a[2].size() != 4 || !number(a[3], &v)) return BadArgs(kVundg, "vundg set method NAME(4 letters) N");
        d.set_method(a[2], v);
        return 0;
    }
    if (a[0] == "fire" && a.size() == 3) {
        DWORD id = 0;
        if (!number(a[1], &id) || !number(a[2], &v)) return BadArgs(kVundg, "vundg fire EVENT VALUE");
        size_t n = d.Fire(id, v);
        std::printf("event %u fired with value %u; %zu pending request(s) completed here\n", id, v, n);
        return 0;
    }
    return BadArgs(kVundg, "bad arguments");
}

const Command kVundg{"vundg", "vundg show|log|set|fire ... (vundg help)",
                     "the method and event driver (\\\\.\\VUNDG): PLST, failures, events", Run};
Registrar reg(kVundg);

}  // namespace
}  // namespace winsim::tool
