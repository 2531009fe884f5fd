// winsim tool: "mbn" - the Mobile Broadband service's interfaces (winsim/mbn.h).
#include "tool.h"

#include "winsim/mbn.h"

#include <cstdio>

namespace winsim::tool {
namespace {

const char* kHelp =
    "mbn show | mbn add ID | mbn remove ID |\n"
    "  mbn set ID ready off|initialized|sim-not-inserted|bad-sim|failure|not-activated|device-locked|\n"
    "                   device-blocked|N\n"
    "  mbn set ID firmware|subscriber|iccid|manufacturer|model|device-id TEXT   (\"-\": none)\n"
    "  mbn set ID hw-radio|sw-radio on|off | mbn set ID subscriber-info available|pending";

const char* const kReadyNames[] = {"off",           "initialized",   "sim-not-inserted", "bad-sim",        "failure",
                                   "not-activated", "device-locked", "device-blocked",   "no-esim-profile"};

extern const Command kMbn;

std::string Opt(const std::optional<std::wstring>& v) { return v ? "\"" + Utf8(*v) + "\"" : "(none)"; }

void Show(mbn::Service& s) {
    auto all = s.Interfaces();
    if (all.empty()) std::printf("no Mobile Broadband interface\n");
    for (auto& i : all) {
        unsigned r = static_cast<unsigned>(i.ready);
        std::printf("%s\n", Utf8(i.id).c_str());
        std::printf("  ready          %s (%u)\n", r < 9 ? kReadyNames[r] : "?", r);
        std::printf("  firmware       %s\n", Opt(i.firmware_info).c_str());
        std::printf("  manufacturer   %s  model %s  device ID %s\n", Opt(i.manufacturer).c_str(), Opt(i.model).c_str(),
                    Opt(i.device_id).c_str());
        std::printf("  subscriber     %s%s  ICCID %s\n", Opt(i.subscriber_id).c_str(),
                    i.subscriber_available ? "" : " (pending)", Opt(i.sim_iccid).c_str());
        std::printf("  radio          hardware %s, software %s\n", i.hardware_radio == MBN_RADIO_ON ? "on" : "off",
                    i.software_radio == MBN_RADIO_ON ? "on" : "off");
    }
}

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kMbn, "missing subcommand");
    if (a[0] == "help") {
        std::printf("usage: winsim %s\n", kHelp);
        return 0;
    }
    mbn::Service s(ctx.machine());
    if (a[0] == "show" && a.size() == 1) {
        Show(s);
        return 0;
    }
    if (a[0] == "add" && a.size() == 2) {
        if (s.Interface(Wide(a[1]))) return Error("interface " + a[1] + " exists");
        mbn::InterfaceSpec desc;
        desc.id = Wide(a[1]);
        s.SetInterface(desc);
        Show(s);
        return 0;
    }
    if (a[0] == "remove" && a.size() == 2) {
        if (!s.RemoveInterface(Wide(a[1]))) return Error("no interface " + a[1]);
        return 0;
    }
    if (a[0] == "set" && a.size() == 4) {
        std::wstring id = Wide(a[1]);
        auto desc = s.Interface(id);
        if (!desc) return Error("no interface " + a[1]);
        const std::string& k = a[2];
        const std::string& v = a[3];
        std::optional<std::wstring> text;
        if (v != "-") text = Wide(v);
        auto onoff = [&](MBN_RADIO* r) {
            if (v != "on" && v != "off") return false;
            *r = v == "on" ? MBN_RADIO_ON : MBN_RADIO_OFF;
            return true;
        };
        if (k == "ready") {
            int n = -1;
            for (int i = 0; i < 9; ++i)
                if (v == kReadyNames[i]) n = i;
            uint64_t num = 0;
            if (n < 0 && ParseNumber(v, &num) && num < 9) n = static_cast<int>(num);
            if (n < 0) return BadArgs(kMbn, "unknown ready state '" + v + "'");
            s.SetReadyState(id, static_cast<MBN_READY_STATE>(n));
        } else if (k == "hw-radio" || k == "sw-radio") {
            MBN_RADIO hw = desc->hardware_radio, sw = desc->software_radio;
            if (!onoff(k == "hw-radio" ? &hw : &sw)) return BadArgs(kMbn, "expected on or off");
            s.SetRadio(id, hw, sw);
        } else if (k == "subscriber-info") {
            if (v != "available" && v != "pending") return BadArgs(kMbn, "expected available or pending");
            desc->subscriber_available = v == "available";
            s.SetInterface(*desc);
        } else {
            if (k == "firmware")
                desc->firmware_info = text;
            else if (k == "subscriber")
                desc->subscriber_id = text;
            else if (k == "iccid")
                desc->sim_iccid = text;
            else if (k == "manufacturer")
                desc->manufacturer = text;
            else if (k == "model")
                desc->model = text;
            else if (k == "device-id")
                desc->device_id = text;
            else
                return BadArgs(kMbn, "unknown setting '" + k + "'");
            s.SetInterface(*desc);
        }
        Show(s);
        return 0;
    }
    return BadArgs(kMbn, "bad arguments");
}

const Command kMbn{"mbn", "mbn show|add|remove|set ... (mbn help)",
                   "the Mobile Broadband interfaces: ready state, firmware, SIM, radio", Run};
Registrar reg(kMbn);

}  // namespace
}  // namespace winsim::tool
