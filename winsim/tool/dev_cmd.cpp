// winsim tool: "dev" - the device tree: list, show, eject and re-add, plug, disable and
// enable, the failure injections, phantoms and batteries.
//
// A device is named by its instance ID, its DEVINST number or one of its hardware IDs.
#include "tool.h"

#include <batclass.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include "winsim/devices.h"
#include "winsim/registry.h"

#include <cstdio>
#include <functional>

namespace winsim::tool {
namespace {

const char* kHelp =
    "dev list [--present] | dev show DEV | dev eject DEV | dev readd DEV | dev plug|unplug DEV |\n"
    "  dev disable|enable DEV [global|config] | dev veto DEV TYPE [NAME] | dev veto DEV clear |\n"
    "  dev restart-needed DEV restart|reboot|none | dev problem DEV N | dev installer-error DEV N |\n"
    "  dev restart | dev changes [--clear] | dev phantoms | dev batteries |\n"
    "  dev battery DEV mains|battery|ups|ups-battery|empty|tag N   (DEV: instance ID, DEVINST or hardware ID)";

extern const Command kDev;

DWORD Resolve(DeviceTree& t, const std::string& arg) {
    uint64_t n = 0;
    if (ParseNumber(arg, &n) && t.Get(static_cast<DWORD>(n))) return static_cast<DWORD>(n);
    std::wstring w = Wide(arg);
    if (DWORD dn = t.Find(w)) return dn;
    auto by_hw = t.FindByHardwareId(w);
    return by_hw.empty() ? 0 : by_hw.front();
}

std::string StatusText(DeviceTree& t, const DeviceNode& n) {
    std::string s;
    if (!n.present) {
        s = n.held ? "held (removed)" : !n.attached ? "unplugged, phantom" : "not present";
    } else {
        DWORD st = 0, pr = 0;
        t.Status(n.devinst, &st, &pr);
        char buf[64];
        if (pr == CM_PROB_DISABLED) {
            s = "disabled";
        } else if (pr) {
            std::snprintf(buf, sizeof buf, "problem %u", pr);
            s = buf;
        } else {
            s = "started";
        }
    }
    if (n.change_pending) s += ", change waits for restart";
    if (n.veto_type) s += ", vetoes removal";
    return s;
}

void ListTree(DeviceTree& t, Registry& r, DWORD dn, int depth, bool present_only) {
    auto n = t.Get(dn);
    if (!n || (present_only && !n->present)) return;
    std::wstring key = t.EnumKey(dn);
    auto name = r.GetString(key, L"FriendlyName");
    if (!name) name = r.GetString(key, L"DeviceDesc");
    auto cls = r.GetString(key, L"Class");
    std::printf("%*s%-4u %s", depth * 2, "", n->devinst, Utf8(n->instance_id).c_str());
    if (cls) std::printf("  [%s]", Utf8(*cls).c_str());
    if (name) std::printf("  \"%s\"", Utf8(*name).c_str());
    std::wstring port = t.PortName(dn);
    if (!port.empty()) std::printf("  %s", Utf8(port).c_str());
    std::printf("  (%s)\n", StatusText(t, *n).c_str());
    for (DWORD c : t.Children(dn, false)) ListTree(t, r, c, depth + 1, present_only);
}

std::string PowerText(DWORD p) {
    std::string s;
    if (p & BATTERY_POWER_ON_LINE) s += "on line ";
    if (p & BATTERY_DISCHARGING) s += "discharging ";
    if (p & BATTERY_CHARGING) s += "charging ";
    if (p & BATTERY_CRITICAL) s += "critical ";
    if (!s.empty()) s.pop_back();
    return s.empty() ? "-" : s;
}

void PrintBattery(DeviceTree& t, DWORD dn) {
    auto b = t.Battery(dn);
    auto n = t.Get(dn);
    if (!b || !n) return;
    std::string kind = !(b->capabilities & BATTERY_SYSTEM_BATTERY) ? "not a system battery"
                       : (b->capabilities & BATTERY_IS_SHORT_TERM) ? "short-term (UPS)"
                                                                   : "system battery";
    std::printf("%-4u %s  (%s)\n", dn, Utf8(n->instance_id).c_str(), n->present ? "present" : "not present");
    if (b->tag == BATTERY_TAG_INVALID) {
        std::printf("     slot empty\n");
        return;
    }
    std::printf("     tag %u, %s, %s, %u of %u mWh, rate %d mW, %s\n", b->tag, kind.c_str(), b->chemistry.c_str(),
                b->capacity, b->full_charged_capacity, static_cast<int>(b->rate), PowerText(b->power_state).c_str());
}

const char* VetoName(DWORD v) {
    static const char* names[] = {"unknown",         "legacy device", "pending close", "windows app",    "service",
                                  "open handle",     "device",        "driver",        "illegal",        "power",
                                  "not disableable", "legacy driver", "rights",        "already removed"};
    return v < sizeof names / sizeof *names ? names[v] : "?";
}

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kDev, "missing subcommand");
    if (a[0] == "help") {
        std::printf("usage: winsim %s\n", kHelp);
        return 0;
    }
    Machine& m = ctx.machine();
    DeviceTree t(m);
    Registry r(m);
    const std::string& sub = a[0];
    if (sub == "list") {
        if (a.size() > 2 || (a.size() == 2 && a[1] != "--present")) return BadArgs(kDev, "dev list [--present]");
        ListTree(t, r, DeviceTree::kRoot, 0, a.size() == 2);
        return 0;
    }
    if (sub == "restart" && a.size() == 1) {
        t.Restart();
        std::printf("restarted: pending changes applied, holds released\n");
        return 0;
    }
    if (sub == "changes") {
        if (a.size() == 2 && a[1] == "--clear") {
            t.ClearChanges();
            return 0;
        }
        if (a.size() != 1) return BadArgs(kDev, "dev changes [--clear]");
        for (auto& c : t.Changes())
            std::printf("%10llu ms  %-8s %-4u %s%s%s\n", static_cast<unsigned long long>(c.time_ms),
                        c.kind == DeviceChangeKind::Arrival ? "arrival" : "removal", c.devinst,
                        Utf8(c.instance_id).c_str(), c.port_name.empty() ? "" : "  ", Utf8(c.port_name).c_str());
        return 0;
    }
    if (sub == "phantoms" && a.size() == 1) {
        for (auto& n : t.List())
            if (!n.present && n.devinst != DeviceTree::kRoot)
                std::printf("%-4u %s  (%s)\n", n.devinst, Utf8(n.instance_id).c_str(), StatusText(t, n).c_str());
        return 0;
    }
    if (sub == "batteries" && a.size() == 1) {
        auto list = t.Batteries();
        if (list.empty()) std::printf("no batteries\n");
        for (DWORD dn : list) PrintBattery(t, dn);
        return 0;
    }
    if (a.size() < 2) return BadArgs(kDev, "missing device");
    DWORD dn = Resolve(t, a[1]);
    if (!dn) return Error("no device '" + a[1] + "'");
    auto node = t.Get(dn);
    if (sub == "show" && a.size() == 2) {
        std::printf("devinst     %u\nparent      %u\ninstance    %s\nstatus      %s\n", dn, node->parent,
                    Utf8(node->instance_id).c_str(), StatusText(t, *node).c_str());
        DWORD st = 0, pr = 0;
        if (t.Status(dn, &st, &pr)) std::printf("DN_*        0x%08X  problem %u\n", st, pr);
        std::printf("key         %s\n", Utf8(t.EnumKey(dn)).c_str());
        for (auto& v : r.ListValues(t.EnumKey(dn))) {
            std::printf("  %-20s ", Utf8(v.name).c_str());
            if (v.type == REG_MULTI_SZ) {
                auto items = r.GetMultiString(t.EnumKey(dn), v.name);
                for (size_t i = 0; items && i < items->size(); ++i)
                    std::printf("%s%s", i ? " | " : "", Utf8((*items)[i]).c_str());
            } else if (v.type == REG_DWORD) {
                std::printf("0x%X", r.GetDword(t.EnumKey(dn), v.name).value_or(0));
            } else {
                std::printf("%s", Utf8(r.GetString(t.EnumKey(dn), v.name).value_or(L"")).c_str());
            }
            std::printf("\n");
        }
        for (auto& v : r.ListValues(t.ParametersKey(dn)))
            std::printf("  Device Parameters\\%s = %s\n", Utf8(v.name).c_str(),
                        Utf8(r.GetString(t.ParametersKey(dn), v.name).value_or(L"")).c_str());
        std::wstring dk = t.DriverKey(dn);
        if (!dk.empty())
            for (auto& v : r.ListValues(dk))
                std::printf("  driver key\\%s = %s\n", Utf8(v.name).c_str(),
                            Utf8(r.GetString(dk, v.name).value_or(L"")).c_str());
        for (auto& i : t.Interfaces(L""))
            if (i.devinst == dn)
                std::printf("interface   %s%s\n", Utf8(i.path).c_str(), i.active ? "" : "  (not active)");
        if (t.Battery(dn)) PrintBattery(t, dn);
        return 0;
    }
    if (sub == "battery" && (a.size() == 3 || a.size() == 4)) {
        auto cur = t.Battery(dn);
        if (!cur) return Error("'" + a[1] + "' is no battery");
        BatteryState b;
        if (a[2] == "mains" && a.size() == 3) {
            b = BatteryState::OnMains();
        } else if (a[2] == "battery" && a.size() == 3) {
            b = BatteryState::OnBattery();
        } else if ((a[2] == "ups" || a[2] == "ups-battery") && a.size() == 3) {
            b = BatteryState::Ups(a[2] == "ups");
        } else if (a[2] == "empty" && a.size() == 3) {
            b = *cur;
            b.tag = BATTERY_TAG_INVALID;
        } else if (a[2] == "tag" && a.size() == 4) {
            uint64_t v = 0;
            if (!ParseNumber(a[3], &v) || v > 0xFFFFFFFFull) return BadArgs(kDev, "expected a tag number");
            b = *cur;
            b.tag = static_cast<DWORD>(v);
        } else {
            return BadArgs(kDev, "dev battery DEV mains|battery|ups|ups-battery|empty|tag N");
        }
        if (a[2] != "tag" && a[2] != "empty") {
            b.device_name = cur->device_name;
            b.manufacturer = cur->manufacturer;
            b.serial_number = cur->serial_number;
            if (cur->tag != BATTERY_TAG_INVALID) b.tag = cur->tag;
        }
        t.SetBattery(dn, b);
        PrintBattery(t, dn);
        return 0;
    }
    if (sub == "eject" && a.size() == 2) {
        DWORD type = 0;
        std::wstring name;
        DWORD cr = t.RemoveSubtree(dn, &type, &name);
        if (cr == CR_REMOVE_VETOED) {
            std::printf("vetoed: %s (%u) by %s\n", VetoName(type), type, Utf8(name).c_str());
            return 1;
        }
        if (cr != CR_SUCCESS) return Error("removal failed: CONFIGRET " + std::to_string(cr));
        std::printf("removed and held\n");
        return 0;
    }
    if (sub == "readd" && a.size() == 2) {
        t.ResetHold(dn);
        DWORD cr = node->parent ? t.Reenumerate(node->parent) : CR_SUCCESS;
        if (cr != CR_SUCCESS) return Error("re-enumeration failed: CONFIGRET " + std::to_string(cr));
        std::printf("%s\n", t.IsPresent(dn) ? "present again" : "still not present");
        return 0;
    }
    if ((sub == "plug" || sub == "unplug") && a.size() == 2) {
        if (sub == "plug")
            t.Plug(dn);
        else
            t.Unplug(dn);
        std::printf("%s\n", StatusText(t, *t.Get(dn)).c_str());
        return 0;
    }
    if ((sub == "disable" || sub == "enable") && (a.size() == 2 || a.size() == 3)) {
        DWORD scope = DICS_FLAG_GLOBAL;
        if (a.size() == 3) {
            if (a[2] == "config")
                scope = DICS_FLAG_CONFIGSPECIFIC;
            else if (a[2] != "global")
                return BadArgs(kDev, "scope is global or config");
        }
        DWORD flags = 0;
        DWORD err = t.ChangeState(dn, sub == "disable" ? DICS_DISABLE : DICS_ENABLE, scope, &flags);
        if (err) return Error("property change failed: error " + std::to_string(err));
        std::printf("%s%s\n", StatusText(t, *t.Get(dn)).c_str(), flags ? " (restart needed)" : "");
        return 0;
    }
    if (sub == "veto" && (a.size() == 3 || a.size() == 4)) {
        uint64_t type = 0;
        if (a[2] == "clear") {
            t.SetVeto(dn, 0, L"");
        } else if (ParseNumber(a[2], &type) && type > 0 && type <= PNP_VetoAlreadyRemoved) {
            t.SetVeto(dn, static_cast<DWORD>(type), a.size() == 4 ? Wide(a[3]) : L"");
        } else {
            return BadArgs(kDev, "veto type 1-13 or clear");
        }
        return 0;
    }
    if (sub == "restart-needed" && a.size() == 3) {
        DWORD flags = a[2] == "restart" ? DI_NEEDRESTART : a[2] == "reboot" ? DI_NEEDREBOOT : 0;
        if (!flags && a[2] != "none") return BadArgs(kDev, "restart, reboot or none");
        t.SetRestartNeeded(dn, flags);
        return 0;
    }
    if ((sub == "problem" || sub == "installer-error") && a.size() == 3) {
        uint64_t v = 0;
        if (!ParseNumber(a[2], &v) || v > 0xFFFFFFFFull) return BadArgs(kDev, "expected a number");
        if (sub == "problem")
            t.SetProblem(dn, static_cast<DWORD>(v));
        else
            t.SetInstallerError(dn, static_cast<DWORD>(v));
        return 0;
    }
    return BadArgs(kDev, "bad arguments");
}

const Command kDev{"dev", "dev list|show|eject|readd|... (dev help)",
                   "the device tree: list, eject, re-add, disable, inject", Run};
Registrar reg(kDev);

}  // namespace
}  // namespace winsim::tool
