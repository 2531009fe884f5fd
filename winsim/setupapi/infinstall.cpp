// winsim: InstallHinfSectionW (the AddReg and DelReg directives of an install section) and
// the rundll32.exe that runs it, as "rundll32.exe setupapi,InstallHinfSection SECTION MODE
// PATH". Other directives of the section are ignored.
#include <windows.h>

#include <setupapi.h>

#include "internal.h"
#include "winsim/driverstore.h"
#include "winsim/files.h"
#include "winsim/program.h"
#include "winsim/registry.h"

using namespace winsim;

namespace {

namespace ds = winsim::driverstore;

constexpr DWORD kFlagBinary = 0x00000001;
constexpr DWORD kFlagNoClobber = 0x00000002;
constexpr DWORD kFlagMultiSz = 0x00010000;
constexpr DWORD kFlagExpandSz = 0x00020000;
constexpr DWORD kFlagDword = 0x00010001;

std::wstring RootPath(const std::wstring& root) {
    std::wstring r = Upper(root);
    if (r == L"HKLM" || r == L"HKEY_LOCAL_MACHINE") return L"HKLM";
    if (r == L"HKCU" || r == L"HKEY_CURRENT_USER") return L"HKCU";
    if (r == L"HKCR" || r == L"HKEY_CLASSES_ROOT") return L"HKLM\\SOFTWARE\\Classes";
    if (r == L"HKU" || r == L"HKEY_USERS") return L"HKU";
    return L"";
}

void AddReg(Registry& reg, const std::vector<std::wstring>& f) {
    std::wstring root = RootPath(f[0]);
    if (root.empty() || f.size() < 2) return;
    std::wstring key = f[1].empty() ? root : root + L"\\" + f[1];
    reg.CreateKey(key);
    if (f.size() < 3) return;
    DWORD flags = f.size() > 3 && !f[3].empty() ? static_cast<DWORD>(wcstoul(f[3].c_str(), nullptr, 0)) : 0;
    std::wstring value = f.size() > 4 ? f[4] : L"";
    if ((flags & kFlagNoClobber) && reg.GetValue(key, f[2])) return;
    if ((flags & kFlagDword) == kFlagDword) {
        reg.SetDword(key, f[2], static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 0)));
    } else if (flags & kFlagBinary) {
        std::vector<uint8_t> bytes;
        for (size_t i = 4; i < f.size(); ++i) bytes.push_back(static_cast<uint8_t>(wcstoul(f[i].c_str(), nullptr, 16)));
        reg.SetValue(key, f[2], REG_BINARY, bytes);
    } else if (flags & kFlagMultiSz) {
        reg.SetMultiString(key, f[2], std::vector<std::wstring>(f.begin() + 4, f.end()));
    } else if (flags & kFlagExpandSz) {
        reg.SetExpandString(key, f[2], value);
    } else {
        reg.SetString(key, f[2], value);
    }
}

void DelReg(Registry& reg, const std::vector<std::wstring>& f) {
    std::wstring root = RootPath(f[0]);
    if (root.empty() || f.size() < 2) return;
    std::wstring key = f[1].empty() ? root : root + L"\\" + f[1];
    if (f.size() < 3) {
        if (!f[1].empty()) reg.DeleteKey(key);  // a whole key, never a root
        return;
    }
    reg.DeleteValue(key, f[2]);
}

// SECTION MODE PATH: the path is the rest, quotes removed.
bool SplitCommand(const std::wstring& cmd, std::wstring* section, std::wstring* path) {
    size_t a = cmd.find(L' ');
    if (a == std::wstring::npos) return false;
    *section = cmd.substr(0, a);
    size_t b = cmd.find(L' ', a + 1);
    if (b == std::wstring::npos) return false;
    std::wstring p = cmd.substr(b + 1);
    while (!p.empty() && p.front() == L' ') p.erase(0, 1);
    if (p.size() >= 2 && p.front() == L'"' && p.back() == L'"') p = p.substr(1, p.size() - 2);
    *path = p;
    return !section->empty() && !path->empty();
}

int Rundll32Main(int, wchar_t**) {
    std::wstring args = ArgumentsOf(GetCommandLineW());
    size_t sp = args.find(L' ');
    std::wstring entry = args.substr(0, sp);
    if (!IEquals(entry, L"setupapi,InstallHinfSection") && !IEquals(entry, L"setupapi.dll,InstallHinfSection"))
        return 1;
    InstallHinfSectionW(NULL, NULL, sp == std::wstring::npos ? L"" : args.c_str() + sp + 1, SW_SHOWNORMAL);
    return 0;
}

}  // namespace

void WINAPI InstallHinfSectionW(HWND Window, HINSTANCE ModuleHandle, PCWSTR CommandLine, INT ShowCommand) {
    (void)Window;
    (void)ModuleHandle;
    (void)ShowCommand;
    std::wstring section, path;
    if (!CommandLine || !SplitCommand(CommandLine, &section, &path)) return;
    Machine& m = CurrentMachine();
    auto bytes = files::ReadBytes(m, files::FullPath(path));
    if (!bytes) return;
    auto secs = ds::InfSections(*bytes);
    auto it = secs.find(Lower(section));
    if (it == secs.end()) return;
    Registry reg(m);
    for (const auto& line : it->second) {
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        std::wstring directive = ds::InfFields(line.substr(0, eq))[0];
        bool add = IEquals(directive, L"AddReg"), del = IEquals(directive, L"DelReg");
        if (!add && !del) continue;
        for (const auto& name : ds::InfFields(line.substr(eq + 1))) {
            auto sec = secs.find(Lower(name));
            if (sec == secs.end()) continue;
            for (const auto& entry : sec->second) {
                auto f = ds::InfFields(entry);
                if (add)
                    AddReg(reg, f);
                else
                    DelReg(reg, f);
            }
        }
    }
}

namespace winsim::internal {

void InitInfInstaller(Machine& m) {
    ProgramInfo info;
    info.file_name = L"rundll32.exe";
    info.default_folder = L"C:\\Windows\\System32";
    info.wmain = &Rundll32Main;
    RegisterProgram(info);
    const wchar_t* image = L"C:\\Windows\\System32\\rundll32.exe";
    if (!files::Exists(m, image)) InstallProgramImage(m, image, info.file_name);
}

}  // namespace winsim::internal
