// winsim: the operating system's facts as the machine keeps them: its version, the
// administrator rights of its users, and the registry values of languages, geo ID and
// telephony location (winsim/osinfo.h).
#include <windows.h>

#include "winsim/osinfo.h"
#include "winsim/registry.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace winsim::os {

namespace {

const char* const kNs = "os";

std::wstring UserSid(Machine& m, const std::wstring& sid) {
    if (!sid.empty()) return sid;
    const Session* s = m.FindSession(m.active_console_session);
    return s ? s->user_sid : std::wstring();
}

std::wstring HexLang(LANGID lang) {
    wchar_t buf[8];
    std::swprintf(buf, 8, L"%04X", static_cast<unsigned>(lang));
    return buf;
}

const wchar_t* const kNls = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
const wchar_t* const kTelephony = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations";

// The build number a program sees for a version it is told.
DWORD BuildOf(DWORD major, DWORD minor) {
    if (major == 6 && minor == 2) return 9200;
    if (major == 6 && minor == 3) return 9600;
    return 0;
}

}  // namespace

void SetVersion(Machine& m, const Version& v) {
    Store& s = m.store();
    s.SetInt(kNs, "platform", v.platform);
    s.SetInt(kNs, "major", v.major);
    s.SetInt(kNs, "minor", v.minor);
    s.SetInt(kNs, "build", v.build);
    s.SetText(kNs, "csd", Utf8(v.csd));
    s.SetInt(kNs, "sp_major", v.sp_major);
    s.SetInt(kNs, "sp_minor", v.sp_minor);
}

Version GetVersion(Machine& m) {
    Store& s = m.store();
    Version v;
    v.platform = static_cast<DWORD>(s.GetInt(kNs, "platform", v.platform));
    v.major = static_cast<DWORD>(s.GetInt(kNs, "major", v.major));
    v.minor = static_cast<DWORD>(s.GetInt(kNs, "minor", v.minor));
    v.build = static_cast<DWORD>(s.GetInt(kNs, "build", v.build));
    v.csd = Wide(s.GetText(kNs, "csd").value_or(""));
    v.sp_major = static_cast<WORD>(s.GetInt(kNs, "sp_major", 0));
    v.sp_minor = static_cast<WORD>(s.GetInt(kNs, "sp_minor", 0));
    return v;
}

void SetVersionFailure(Machine& m, DWORD error) {
    if (error)
        m.store().SetInt(kNs, "version_error", error);
    else
        m.store().DeleteSetting(kNs, "version_error");
}

DWORD VersionFailure(Machine& m) { return static_cast<DWORD>(m.store().GetInt(kNs, "version_error", 0)); }

Version ReportedVersion(const Version& real, DWORD max_supported) {
    if (real.platform != VER_PLATFORM_WIN32_NT) return real;
    DWORD have = real.major << 8 | real.minor;
    if (have <= 0x0602) return real;
    DWORD cap = std::max<DWORD>(max_supported, 0x0602);
    if (have <= cap) return real;
    Version v = real;
    v.major = cap >> 8;
    v.minor = cap & 0xFF;
    v.build = BuildOf(v.major, v.minor) ? BuildOf(v.major, v.minor) : real.build;
    return v;
}

DWORD MaxSupportedOs(const std::string& xml) {
    static const struct {
        const char* id;
        DWORD version;
    } kIds[] = {
        {"e2011457-1546-43c5-a5fe-008deee3d3f0", 0x0600},  // Vista
        {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", 0x0601},  // 7
        {"4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", 0x0602},  // 8
        {"1f676c76-80e1-4239-95bb-83d0f6d0da78", 0x0603},  // 8.1
        {"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", 0x0A00},  // 10 and 11
    };
    std::string lower = xml;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    DWORD best = 0;
    // Each <supportedOS Id="{...}"/> element.
    for (size_t pos = lower.find("<supportedos"); pos != std::string::npos; pos = lower.find("<supportedos", pos + 1)) {
        size_t end = lower.find('>', pos);
        std::string element = lower.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        for (auto& k : kIds)
            if (element.find(k.id) != std::string::npos) best = std::max(best, k.version);
    }
    return best;
}

void SetUserAdmin(Machine& m, const std::wstring& user, bool admin) {
    m.store().SetInt(kNs, "admin." + Utf8(Lower(user)), admin ? 1 : 0);
}

bool IsUserAdmin(Machine& m, const std::wstring& user) {
    return m.store().GetInt(kNs, "admin." + Utf8(Lower(user)), 1) != 0;
}

void SetUserUILanguage(Machine& m, LANGID lang, const std::wstring& user_sid) {
    Registry(m).SetString(L"HKU\\" + UserSid(m, user_sid) + L"\\Control Panel\\Desktop", L"MultiUILanguageId",
                          HexLang(lang));
}

void SetSystemLanguage(Machine& m, LANGID lang) { Registry(m).SetString(kNls, L"Default", HexLang(lang)); }

void SetSystemUILanguage(Machine& m, LANGID lang) { Registry(m).SetString(kNls, L"InstallLanguage", HexLang(lang)); }

void SetUserGeoId(Machine& m, std::optional<GEOID> geo, const std::wstring& user_sid) {
    Registry r(m);
    std::wstring key = L"HKU\\" + UserSid(m, user_sid) + L"\\Control Panel\\International\\Geo";
    if (geo)
        r.SetString(key, L"Nation", std::to_wstring(*geo));
    else
        r.DeleteValue(key, L"Nation");
}

void SetTelephonyLocation(Machine& m, std::optional<DWORD> current_id, std::optional<DWORD> country) {
    Registry r(m);
    const std::wstring below = std::wstring(kTelephony).substr(std::wcslen(L"SOFTWARE\\"));
    for (const std::wstring& base : {L"HKLM\\SOFTWARE\\" + below, L"HKLM\\SOFTWARE\\WOW6432Node\\" + below}) {
        if (current_id)
            r.SetDword(base, L"CurrentID", *current_id);
        else
            r.DeleteValue(base, L"CurrentID");
        std::wstring loc = base + L"\\Location" + std::to_wstring(current_id.value_or(1));
        if (country)
            r.SetDword(loc, L"Country", *country);
        else if (r.KeyExists(loc))
            r.DeleteValue(loc, L"Country");
    }
}

}  // namespace winsim::os
