// winsim tool: "os" - the operating system's version, languages, the user's nation, the
// telephony location and administrator rights, as programs of the machine see them.
#include "tool.h"

#include "winsim/osinfo.h"
#include "winsim/registry.h"

#include <cstdio>
#include <cstdlib>

namespace winsim::tool {
namespace {

const char* kHelp =
    "os show | os version MAJOR.MINOR[.BUILD] [--sp N[.M]] [--csd TEXT] | os version-error ERROR |\n"
    "  os uilang LANGID | os syslang LANGID | os installlang LANGID | os geo ID|none |\n"
    "  os location CURRENTID COUNTRY | os location none | os admin [USER] yes|no\n"
    "LANGID is hexadecimal (0411 or 0x411); ID, CURRENTID and COUNTRY are numbers (decimal or\n"
    "0x-hex). Languages and the nation are the console user's unless --user SID is given.\n"
    "A program sees a version above 6.2 only as far as its manifest declares (show lists what\n"
    "a program without a manifest and one declaring 8.1 at most see).";

extern const Command kOs;

const wchar_t* const kNls = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
const wchar_t* const kTel = L"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations";

std::wstring ConsoleUser(Machine& m) {
    const Session* s = m.FindSession(m.active_console_session);
    return s ? s->user : std::wstring();
}

std::wstring ConsoleSid(Machine& m) {
    const Session* s = m.FindSession(m.active_console_session);
    return s ? s->user_sid : std::wstring();
}

bool ParseLang(const std::string& s, LANGID* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(s.c_str(), &end, 16);
    if (*end || v > 0xFFFF) return false;
    *out = static_cast<LANGID>(v);
    return true;
}

std::string Text(const std::optional<std::wstring>& v) { return v ? Utf8(*v) : "(missing)"; }
std::string Number(const std::optional<DWORD>& v) { return v ? std::to_string(*v) : "(missing)"; }

void PrintVersion(const char* label, const os::Version& v) {
    std::printf("%-26s %u.%u.%u platform %u", label, v.major, v.minor, v.build, v.platform);
    if (!v.csd.empty()) std::printf(" \"%s\"", Utf8(v.csd).c_str());
    if (v.sp_major || v.sp_minor) std::printf(" SP %u.%u", v.sp_major, v.sp_minor);
    std::printf("\n");
}

void Show(Machine& m) {
    os::Version v = os::GetVersion(m);
    PrintVersion("version", v);
    PrintVersion("  seen without manifest", os::ReportedVersion(v, 0));
    PrintVersion("  seen declaring 8.1", os::ReportedVersion(v, 0x0603));
    if (DWORD e = os::VersionFailure(m)) std::printf("GetVersionExW fails with %u\n", e);
    Registry r(m);
    std::wstring sid = ConsoleSid(m);
    std::wstring hku = L"HKU\\" + sid;
    std::printf("console user               %s (%s), administrator: %s\n", Utf8(ConsoleUser(m)).c_str(),
                Utf8(sid).c_str(), os::IsUserAdmin(m, ConsoleUser(m)) ? "yes" : "no");
    std::printf("UI language (user)         %s\n",
                Text(r.GetString(hku + L"\\Control Panel\\Desktop", L"MultiUILanguageId")).c_str());
    std::printf("system language            %s\n", Text(r.GetString(kNls, L"Default")).c_str());
    std::printf("installed UI language      %s\n", Text(r.GetString(kNls, L"InstallLanguage")).c_str());
    std::printf("nation (geo ID)            %s\n",
                Text(r.GetString(hku + L"\\Control Panel\\International\\Geo", L"Nation")).c_str());
    const struct {
        const char* name;
        const wchar_t* root;
    } views[] = {{"(64-bit view)", L"HKLM\\SOFTWARE\\"}, {"(32-bit view)", L"HKLM\\SOFTWARE\\WOW6432Node\\"}};
    for (const auto& view : views) {
        std::wstring base = std::wstring(view.root) + kTel;
        auto id = r.GetDword(base, L"CurrentID");
        auto country = id ? r.GetDword(base + L"\\Location" + std::to_wstring(*id), L"Country") : std::nullopt;
        std::printf("telephony %-16s CurrentID %s, Country %s\n", view.name, Number(id).c_str(),
                    Number(country).c_str());
    }
    for (auto& [k, val] : m.store().ListSettings("os"))
        if (k.rfind("admin.", 0) == 0)
            std::printf("administrator %-12s %s\n", k.substr(6).c_str(), val == "0" ? "no" : "yes");
}

int Run(Context& ctx, const Args& in) {
    if (in.empty()) return BadArgs(kOs, "missing subcommand");
    if (in[0] == "help") {
        std::printf("usage: winsim %s\n", kHelp);
        return 0;
    }
    // --user SID may stand anywhere.
    Args a;
    std::wstring user_sid;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == "--user" && i + 1 < in.size())
            user_sid = Wide(in[++i]);
        else
            a.push_back(in[i]);
    }
    Machine& m = ctx.machine();
    const std::string& sub = a[0];
    if (sub == "show" && a.size() == 1) {
        Show(m);
        return 0;
    }
    if (sub == "version" && a.size() >= 2) {
        os::Version v = os::GetVersion(m);
        unsigned major = 0, minor = 0, build = 0;
        int n = std::sscanf(a[1].c_str(), "%u.%u.%u", &major, &minor, &build);
        if (n < 2) return BadArgs(kOs, "version as MAJOR.MINOR[.BUILD]");
        v.major = major;
        v.minor = minor;
        v.build = n == 3 ? build : 0;
        v.csd.clear();
        v.sp_major = v.sp_minor = 0;
        for (size_t i = 2; i < a.size(); ++i) {
            if (a[i] == "--csd" && i + 1 < a.size()) {
                v.csd = Wide(a[++i]);
            } else if (a[i] == "--sp" && i + 1 < a.size()) {
                unsigned sa = 0, sb = 0;
                if (std::sscanf(a[++i].c_str(), "%u.%u", &sa, &sb) < 1) return BadArgs(kOs, "--sp N[.M]");
                v.sp_major = static_cast<WORD>(sa);
                v.sp_minor = static_cast<WORD>(sb);
            } else {
                return BadArgs(kOs, "unexpected argument '" + a[i] + "'");
            }
        }
        os::SetVersion(m, v);
        Show(m);
        return 0;
    }
    if (sub == "version-error" && a.size() == 2) {
        uint64_t e = 0;
        if (!ParseNumber(a[1], &e) || e > 0xFFFFFFFFull) return BadArgs(kOs, "expected an error number");
        os::SetVersionFailure(m, static_cast<DWORD>(e));
        return 0;
    }
    if ((sub == "uilang" || sub == "syslang" || sub == "installlang") && a.size() == 2) {
        LANGID lang = 0;
        if (!ParseLang(a[1], &lang)) return BadArgs(kOs, "LANGID is hexadecimal, e.g. 0411");
        if (sub == "uilang")
            os::SetUserUILanguage(m, lang, user_sid);
        else if (sub == "syslang")
            os::SetSystemLanguage(m, lang);
        else
            os::SetSystemUILanguage(m, lang);
        return 0;
    }
    if (sub == "geo" && a.size() == 2) {
        if (a[1] == "none") {
            os::SetUserGeoId(m, std::nullopt, user_sid);
            return 0;
        }
        uint64_t g = 0;
        if (!ParseNumber(a[1], &g) || g > 0x7FFFFFFFull) return BadArgs(kOs, "expected a geo ID or none");
        os::SetUserGeoId(m, static_cast<GEOID>(g), user_sid);
        return 0;
    }
    if (sub == "location" && a.size() == 2 && a[1] == "none") {
        os::SetTelephonyLocation(m, std::nullopt, std::nullopt);
        return 0;
    }
    if (sub == "location" && a.size() == 3) {
        uint64_t id = 0, country = 0;
        if (!ParseNumber(a[1], &id) || !ParseNumber(a[2], &country) || id > 0xFFFFFFFFull || country > 0xFFFFFFFFull)
            return BadArgs(kOs, "expected CURRENTID COUNTRY");
        os::SetTelephonyLocation(m, static_cast<DWORD>(id), static_cast<DWORD>(country));
        return 0;
    }
    if (sub == "admin" && (a.size() == 2 || a.size() == 3)) {
        const std::string& yn = a.back();
        if (yn != "yes" && yn != "no") return BadArgs(kOs, "yes or no");
        std::wstring user = a.size() == 3 ? Wide(a[1]) : ConsoleUser(m);
        os::SetUserAdmin(m, user, yn == "yes");
        return 0;
    }
    return BadArgs(kOs, "unknown subcommand or arguments");
}

const Command kOs{"os", "os show|version|version-error|uilang|syslang|installlang|geo|location|admin ...",
                  "the OS version, languages, nation, telephony location, administrators (os help)", Run};
const Registrar kReg{kOs};

}  // namespace
}  // namespace winsim::tool
