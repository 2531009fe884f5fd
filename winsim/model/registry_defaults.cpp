// winsim: the registry's schema, the keys and values a machine starts with, and reset.
#include "internal.h"
#include "registry_model.h"
#include "winsim/registry.h"

namespace winsim::internal {

namespace {

constexpr const wchar_t* kSoftware = L"HKLM\\SOFTWARE";
constexpr const wchar_t* kWow = L"HKLM\\SOFTWARE\\WOW6432Node";
constexpr const wchar_t* kControlSet = L"HKLM\\SYSTEM\\CurrentControlSet";

// Microsoft\Windows\CurrentVersion in one view: the folders a program of that bitness sees.
void WindowsCurrentVersion(Registry& r, const std::wstring& software, bool view64) {
    const std::wstring k = software + L"\\Microsoft\\Windows\\CurrentVersion";
    const std::wstring pf = view64 ? L"C:\\Program Files" : L"C:\\Program Files (x86)";
    r.SetString(k, L"ProgramFilesDir", pf);
    r.SetString(k, L"CommonFilesDir", pf + L"\\Common Files");
    r.SetString(k, L"ProgramFilesDir (x86)", L"C:\\Program Files (x86)");
    r.SetString(k, L"CommonFilesDir (x86)", L"C:\\Program Files (x86)\\Common Files");
    r.SetString(k, L"ProgramW6432Dir", L"C:\\Program Files");
    r.SetString(k, L"CommonW6432Dir", L"C:\\Program Files\\Common Files");
    r.SetExpandString(k, L"ProgramFilesPath", L"%ProgramFiles%");
    r.SetExpandString(k, L"DevicePath", L"%SystemRoot%\\inf");
    r.SetString(k, L"MediaPathUnexpanded", L"%SystemRoot%\\Media");
    r.SetString(k, L"SM_GamesName", L"Games");
    for (const wchar_t* sub : {L"App Paths", L"Explorer", L"Policies", L"Run", L"RunOnce", L"Setup", L"Uninstall"})
        r.CreateKey(k + L"\\" + sub);
}

void WindowsNtCurrentVersion(Registry& r, const std::wstring& software) {
    const std::wstring k = software + L"\\Microsoft\\Windows NT\\CurrentVersion";
    r.SetString(k, L"ProductName", L"Windows 10 Pro");
    r.SetString(k, L"EditionID", L"Professional");
    r.SetString(k, L"InstallationType", L"Client");
    r.SetString(k, L"CurrentVersion", L"6.3");
    r.SetDword(k, L"CurrentMajorVersionNumber", 10);
    r.SetDword(k, L"CurrentMinorVersionNumber", 0);
    r.SetString(k, L"CurrentBuild", L"19045");
    r.SetString(k, L"CurrentBuildNumber", L"19045");
    r.SetDword(k, L"UBR", 3803);
    r.SetString(k, L"ReleaseId", L"2009");
    r.SetString(k, L"DisplayVersion", L"22H2");
    r.SetString(k, L"CurrentType", L"Multiprocessor Free");
    r.SetString(k, L"BuildLab", L"19041.vb_release.191206-1406");
    r.SetString(k, L"SystemRoot", L"C:\\Windows");
    r.SetString(k, L"PathName", L"C:\\Windows");
    r.SetString(k, L"RegisteredOwner", L"User");
    r.SetString(k, L"RegisteredOrganization", L"");
    r.SetString(k, L"SoftwareType", L"System");
}

void Software(Registry& r) {
    for (const wchar_t* sw_root : {kSoftware, kWow}) {
        const std::wstring sw = sw_root;
        r.CreateKey(sw + L"\\Classes");
        r.CreateKey(sw + L"\\Policies\\Microsoft\\Windows");
        WindowsNtCurrentVersion(r, sw);
        r.CreateKey(sw + L"\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    }
    WindowsCurrentVersion(r, kSoftware, true);
    WindowsCurrentVersion(r, kWow, false);
}

void System(Registry& r) {
    const std::wstring cs = kControlSet;
    r.CreateKey(cs + L"\\Control\\Class");
    r.CreateKey(cs + L"\\Control\\DeviceClasses");
    r.SetString(cs + L"\\Control\\ComputerName\\ComputerName", L"ComputerName", L"QTABLET");
    r.SetString(cs + L"\\Control\\ComputerName\\ActiveComputerName", L"ComputerName", L"QTABLET");
    const std::wstring sm = cs + L"\\Control\\Session Manager";
    r.CreateKey(sm);
    const std::wstring env = sm + L"\\Environment";
    r.SetExpandString(env, L"ComSpec", L"%SystemRoot%\\system32\\cmd.exe");
    r.SetString(env, L"NUMBER_OF_PROCESSORS", L"4");
    r.SetString(env, L"OS", L"Windows_NT");
    r.SetExpandString(env, L"Path", L"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem");
    r.SetString(env, L"PATHEXT", L".COM;.EXE;.BAT;.CMD;.VBS;.JS;.WSF;.MSC");
    r.SetString(env, L"PROCESSOR_ARCHITECTURE", L"AMD64");
    r.SetExpandString(env, L"TEMP", L"%SystemRoot%\\TEMP");
    r.SetExpandString(env, L"TMP", L"%SystemRoot%\\TEMP");
    r.SetString(env, L"windir", L"%SystemRoot%");
    r.CreateKey(cs + L"\\Enum\\Root");
    r.CreateKey(cs + L"\\Enum\\USB");
    r.CreateKey(cs + L"\\Enum\\PCI");
    r.CreateKey(cs + L"\\Services");
    r.CreateKey(cs + L"\\Hardware Profiles\\Current\\Software");
    r.CreateKey(cs + L"\\Hardware Profiles\\Current\\System");
}

void UserHive(Registry& r, const std::wstring& sid, const std::wstring& profile_dir) {
    const std::wstring u = L"HKU\\" + sid;
    r.CreateKey(u + L"\\Software\\Classes");
    r.CreateKey(u + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    r.CreateKey(u + L"\\Software\\Policies");
    r.CreateKey(u + L"\\Control Panel\\International");
    r.SetExpandString(u + L"\\Environment", L"TEMP", L"%USERPROFILE%\\AppData\\Local\\Temp");
    r.SetExpandString(u + L"\\Environment", L"TMP", L"%USERPROFILE%\\AppData\\Local\\Temp");
    r.SetString(u + L"\\Volatile Environment", L"USERPROFILE", profile_dir);
}

// The languages, the users' nation and the telephony location: English (United States) on
// a bare machine, Japanese (Japan) on the tablet.
void Locale(Registry& r, const std::vector<std::wstring>& user_sids, bool japanese) {
    const std::wstring lang = japanese ? L"0411" : L"0409";
    const std::wstring nls = std::wstring(kControlSet) + L"\\Control\\Nls\\Language";
    r.SetString(nls, L"Default", lang);
    r.SetString(nls, L"InstallLanguage", lang);
    for (const auto& sid : user_sids) {
        const std::wstring intl = L"HKU\\" + sid + L"\\Control Panel\\International";
        r.SetString(intl, L"Locale", L"0000" + lang);
        r.SetString(intl + L"\\Geo", L"Nation", japanese ? L"122" : L"244");
    }
    // The telephony locations key is shared by both registry views.
    for (const wchar_t* sw : {kSoftware, kWow}) {
        const std::wstring loc = std::wstring(sw) + L"\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations";
        r.SetDword(loc, L"CurrentID", 1);
        r.SetDword(loc, L"NextID", 2);
        r.SetDword(loc, L"NumEntries", 1);
        r.SetString(loc + L"\\Location1", L"Name", japanese ? L"\u6240\u5728\u5730" : L"My Location");
        r.SetDword(loc + L"\\Location1", L"Country", japanese ? 81 : 1);
        r.SetDword(loc + L"\\Location1", L"ID", 1);
    }
}

}  // namespace

void InitRegistry(Machine& m) {
    reg::Model model(m);
    model.CreateSchema();
    model.EnsureRoots();
}

void ProfileRegistry(Machine& m, const std::string& profile) {
    reg::Model model(m);
    model.EnsureRoots();
    Registry r(m);
    model.store().Transaction([&] {
        Software(r);
        System(r);
        UserHive(r, L".DEFAULT", L"C:\\Windows\\system32\\config\\systemprofile");
        std::vector<std::wstring> sids = {L".DEFAULT"};
        for (DWORD id = 0; id < 64; ++id) {
            const Session* s = m.FindSession(id);
            if (!s || s->user_sid.empty()) continue;
            std::wstring dir = id == 0 ? L"C:\\Windows\\system32\\config\\systemprofile" : L"C:\\Users\\" + s->user;
            UserHive(r, s->user_sid, dir);
            sids.push_back(s->user_sid);
        }
        if (!m.FindSession(0) || m.FindSession(0)->user_sid != L"S-1-5-18") {
            UserHive(r, L"S-1-5-18", L"C:\\Windows\\system32\\config\\systemprofile");
            sids.push_back(L"S-1-5-18");
        }
        // "tablet" adds the product's values in later steps; its skeleton is the same but
        // for the languages.
        Locale(r, sids, profile == "tablet");
    });
}

void ResetRegistry(Machine& m) {
    reg::Model model(m);
    model.EraseAll();
    model.EnsureRoots();
}

}  // namespace winsim::internal
