// winsim: facts of the machine's operating system that tests and the winsim tool set: the
// version that GetVersionExW reports (see winsim/api_sysinfo.h for the manifest rule),
// the administrator right of each user (IsUserAnAdmin), and helpers that write the
// language, geo and telephony values where Windows keeps them in the registry.
//
// The version and the administrator settings are machine settings (the store's
// "os" namespace); a machine without them is Windows 10 (10.0.19045, NT platform) with
// every user an administrator.
#pragma once

#include "machine.h"

#include <optional>
#include <string>

namespace winsim::os {

struct Version {
    DWORD platform = 2;  // VER_PLATFORM_WIN32_NT
    DWORD major = 10;
    DWORD minor = 0;
    DWORD build = 19045;
    std::wstring csd;  // service pack text ("Service Pack 1")
    WORD sp_major = 0, sp_minor = 0;
};

void SetVersion(Machine& m, const Version& v);
Version GetVersion(Machine& m);
// Makes GetVersionExW fail with error (0: it works again).
void SetVersionFailure(Machine& m, DWORD error);
DWORD VersionFailure(Machine& m);

// The version a program whose manifest declares compatibility up to max_supported
// (major << 8 | minor, e.g. 0x0603; 0 when it declares none) sees on the machine.
Version ReportedVersion(const Version& real, DWORD max_supported);
// The highest version named by the supportedOS Ids of a manifest (0 when none).
DWORD MaxSupportedOs(const std::string& manifest_xml);

// Administrator rights of a user's processes (IsUserAnAdmin); user names compare without
// regard to case.
void SetUserAdmin(Machine& m, const std::wstring& user, bool admin);
bool IsUserAdmin(Machine& m, const std::wstring& user);

// Registry helpers (the values winnls.h describes). hive_sid "" is the console user.
// The user's UI language (HKCU\Control Panel\Desktop "MultiUILanguageId").
void SetUserUILanguage(Machine& m, LANGID lang, const std::wstring& user_sid = L"");
// The system locale (HKLM ...\Nls\Language "Default") and the installed UI language
// ("InstallLanguage").
void SetSystemLanguage(Machine& m, LANGID lang);
void SetSystemUILanguage(Machine& m, LANGID lang);
// The user's nation (HKCU\Control Panel\International\Geo "Nation"); nullopt removes it.
void SetUserGeoId(Machine& m, std::optional<GEOID> geo, const std::wstring& user_sid = L"");
// The telephony locations (HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Telephony
// \Locations, in both registry views, as the key is shared on Windows): "CurrentID" and the
// "Country" of "Location<CurrentID>". nullopt removes the value.
void SetTelephonyLocation(Machine& m, std::optional<DWORD> current_id, std::optional<DWORD> country);

}  // namespace winsim::os
