// winsim tool: the machine's WMI values and the version resources of its files.
#include "tool.h"

#include "winsim/version.h"
#include "winsim/wmi.h"

#include <cstdio>

namespace winsim::tool {
namespace {

void PrintClass(Machine& m, const std::wstring& ns, const std::wstring& cls) {
    auto list = wmi::Instances(m, ns, cls);
    std::printf("%s:%s (%zu instance%s)\n", Utf8(ns).c_str(), Utf8(cls).c_str(), list.size(),
                list.size() == 1 ? "" : "s");
    for (size_t i = 0; i < list.size(); ++i) {
        std::printf("  [%zu]\n", i);
        for (const auto& [name, value] : list[i])
            std::printf("    %-24s %s\n", Utf8(name).c_str(), Utf8(wmi::Describe(value)).c_str());
    }
}

extern const Command kWmi;
int RunWmi(Context& ctx, const Args& a) {
    if (a.size() > 2) return BadArgs(kWmi, "expected at most a namespace and a class");
    Machine& m = ctx.machine();
    std::vector<std::wstring> spaces{wmi::kCimV2, wmi::kWmi};
    if (!a.empty()) {
        std::wstring ns = wmi::CanonicalNamespace(Wide(a[0]));
        if (ns.empty()) return Error("no namespace " + a[0]);
        spaces = {ns};
    }
    for (const std::wstring& ns : spaces) {
        if (a.size() == 2) {
            if (!wmi::ClassExists(m, ns, Wide(a[1]))) return Error("no class " + a[1] + " in " + Utf8(ns));
            for (const std::wstring& cls : wmi::Classes(m, ns))
                if (IEquals(cls, Wide(a[1]))) PrintClass(m, ns, cls);
            continue;
        }
        for (const std::wstring& cls : wmi::Classes(m, ns)) PrintClass(m, ns, cls);
    }
    return 0;
}
const Command kWmi{"wmi", "wmi [NAMESPACE [CLASS]]", "show the machine's WMI classes, instances and values", RunWmi};
Registrar r1(kWmi);

std::string VersionText(DWORD ms, DWORD ls) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    return buf;
}

extern const Command kVersion;
int RunVersion(Context& ctx, const Args& a) {
    if (a.size() != 1) return BadArgs(kVersion, "expected one path");
    auto info = version::Find(ctx.machine(), Wide(a[0]));
    if (!info) return Error("no version resource on " + a[0]);
    std::printf("FileVersion (fixed)     %s\n", VersionText(info->file_ms, info->file_ls).c_str());
    std::printf("ProductVersion (fixed)  %s\n", VersionText(info->product_ms, info->product_ls).c_str());
    std::printf("Translations           ");
    if (info->translations.empty()) std::printf(" (none)");
    for (const auto& t : info->translations) std::printf(" %04x%04x", t.language, t.codepage);
    std::printf("\n");
    for (const auto& table : info->tables) {
        std::printf("StringFileInfo\\%04x%04x\n", table.id.language, table.id.codepage);
        for (const auto& [name, value] : table.strings)
            std::printf("  %-22s %s\n", Utf8(name).c_str(), Utf8(value).c_str());
    }
    return 0;
}
const Command kVersion{"version", "version PATH", "show the version resource of a file of the machine", RunVersion};
Registrar r2(kVersion);

}  // namespace
}  // namespace winsim::tool
