// winsim: LoadLibraryW, GetProcAddress, FreeLibrary and module handles.
#include <psapi.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/modules.h"

#include <cstring>
#include <map>
#include <mutex>

#include "internal.h"

namespace winsim {

namespace {

constexpr const char* kModuleTag = "WINSIM-MODULE:";

struct ModuleEntry {
    ModuleSpec desc;
    DWORD load_error = 0;
    int loads = 0;
    int frees = 0;
    std::map<std::string, int> lookups;
};

// The modules this host provides, per machine.
struct ModuleTable {
    explicit ModuleTable(Machine&) {}
    std::recursive_mutex mu;
    std::map<std::wstring, ModuleEntry> modules;  // by lower-case name
    uintptr_t next_base = 0x10000000;
    std::map<std::wstring, uintptr_t> bases;  // module name -> its base address (stable)
};

struct Loaded {
    std::wstring name;  // lower-case module name
    std::wstring path;
    int refs = 0;
};

// Per process: base address -> module.
struct ProcessModules {
    std::map<uintptr_t, Loaded> loaded;
};

ModuleTable& Table(Machine& m) { return m.Ext<ModuleTable>("modules"); }

ProcessModules& Mods(Process& p) {
    auto& e = p.ext["modules"];
    if (!e) e = std::make_shared<ProcessModules>();
    return *static_cast<ProcessModules*>(e.get());
}

std::wstring BaseName(const std::wstring& path) {
    auto pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

std::wstring WithDll(const std::wstring& n) {
    std::wstring b = BaseName(n);
    if (b.find(L'.') == std::wstring::npos) return n + L".dll";
    return n;
}

uintptr_t BaseOf(ModuleTable& t, const std::wstring& key) {
    auto it = t.bases.find(key);
    if (it != t.bases.end()) return it->second;
    uintptr_t b = t.next_base;
    t.next_base += 0x100000;
    t.bases[key] = b;
    return b;
}

HMODULE ImageBase(const Process& p) {
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(p.image64 ? 0x140000000ULL : 0x400000ULL));
}

// The module a file names, or "" when the file is no module.
std::wstring ModuleOfFile(Machine& m, const std::wstring& full) {
    auto bytes = files::ReadBytes(m, full);
    if (!bytes || bytes->compare(0, std::strlen(kModuleTag), kModuleTag) != 0) return L"";
    std::string rest = bytes->substr(std::strlen(kModuleTag));
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    return Lower(Wide(rest));
}

std::wstring Folder(const std::wstring& path) {
    auto pos = path.find_last_of(L'\\');
    return pos == std::wstring::npos ? L"" : path.substr(0, pos);
}

// Finds the file for a bare or relative name along the DLL search order.
std::wstring SearchFile(Process& p, const std::wstring& name) {
    std::vector<std::wstring> dirs = {Folder(p.image_path), L"C:\\Windows\\System32", L"C:\\Windows", p.current_dir};
    std::wstring path = p.GetEnv(L"Path");
    for (size_t s = 0; s <= path.size();) {
        size_t e = path.find(L';', s);
        if (e == std::wstring::npos) e = path.size();
        if (e > s) dirs.push_back(path.substr(s, e - s));
        s = e + 1;
    }
    for (auto& d : dirs) {
        if (d.empty()) continue;
        std::wstring full = files::FullPath(d + L"\\" + name);
        if (files::Exists(p.machine, full)) return full;
    }
    return L"";
}

}  // namespace

void Modules::Register(const ModuleSpec& desc) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto& e = t.modules[Lower(desc.name)];
    e.desc = desc;
}

void Modules::Unregister(const std::wstring& name) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    t.modules.erase(Lower(name));
}

void Modules::SetExport(const std::wstring& module, const std::string& name, void* proc) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto& ex = t.modules[Lower(module)].desc.exports;
    if (proc)
        ex[name] = proc;
    else
        ex.erase(name);
}

void Modules::InstallFile(const std::wstring& path, const std::wstring& module) {
    std::wstring folder = Folder(path);
    if (!folder.empty()) files::CreateFolders(m_, folder);
    files::WriteBytes(m_, path, kModuleTag + Utf8(module) + "\n");
}

void Modules::SetLoadFailure(const std::wstring& module, DWORD error) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    t.modules[Lower(module)].load_error = error;
}

int Modules::LoadCount(const std::wstring& module) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto it = t.modules.find(Lower(module));
    return it == t.modules.end() ? 0 : it->second.loads;
}

int Modules::FreeCount(const std::wstring& module) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto it = t.modules.find(Lower(module));
    return it == t.modules.end() ? 0 : it->second.frees;
}

int Modules::CallLookups(const std::wstring& module, const std::string& name) {
    auto& t = Table(m_);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto it = t.modules.find(Lower(module));
    if (it == t.modules.end()) return 0;
    auto l = it->second.lookups.find(name);
    return l == it->second.lookups.end() ? 0 : l->second;
}

bool Modules::IsLoaded(const Process& p, const std::wstring& module) {
    auto it = p.ext.find("modules");
    if (it == p.ext.end() || !it->second) return false;
    auto* pm = static_cast<ProcessModules*>(it->second.get());
    for (auto& [b, l] : pm->loaded)
        if (l.name == Lower(module) && l.refs > 0) return true;
    return false;
}

}  // namespace winsim

using namespace winsim;

HMODULE WINAPI LoadLibraryW(LPCWSTR name) {
    if (!name || !*name) return Fail<HMODULE>(ERROR_INVALID_PARAMETER, NULL);
    Process& p = CurrentProcess();
    Machine& m = p.machine;
    auto& t = Table(m);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    std::wstring n = WithDll(name);
    bool has_path = n.find_first_of(L"\\/") != std::wstring::npos || (n.size() > 1 && n[1] == L':');
    std::wstring key, path;
    // A system module answers to its bare name.
    auto sys = t.modules.find(Lower(BaseName(n)));
    if (sys != t.modules.end() && sys->second.desc.system) {
        key = sys->first;
        path = L"C:\\Windows\\System32\\" + sys->second.desc.name;
    } else {
        path = has_path ? files::FullPath(n) : SearchFile(p, n);
        if (path.empty() || !files::Exists(m, path)) return Fail<HMODULE>(ERROR_MOD_NOT_FOUND, NULL);
        key = ModuleOfFile(m, path);
        if (key.empty() || !t.modules.count(key)) return Fail<HMODULE>(ERROR_BAD_EXE_FORMAT, NULL);
    }
    ModuleEntry& e = t.modules[key];
    if (e.load_error) return Fail<HMODULE>(e.load_error, NULL);
    uintptr_t base = BaseOf(t, key);
    Loaded& l = Mods(p).loaded[base];
    l.name = key;
    if (l.refs == 0) l.path = path;
    ++l.refs;
    ++e.loads;
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HMODULE>(base);
}

BOOL WINAPI FreeLibrary(HMODULE h) {
    Process& p = CurrentProcess();
    auto& t = Table(p.machine);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto& loaded = Mods(p).loaded;
    auto it = loaded.find(reinterpret_cast<uintptr_t>(h));
    if (it == loaded.end() || it->second.refs == 0) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
    ++t.modules[it->second.name].frees;
    if (--it->second.refs == 0) loaded.erase(it);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE h, LPCSTR name) {
    Process& p = CurrentProcess();
    auto& t = Table(p.machine);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    auto& loaded = Mods(p).loaded;
    auto it = loaded.find(reinterpret_cast<uintptr_t>(h));
    std::wstring key;
    if (it != loaded.end()) {
        key = it->second.name;
    } else {
        // kernel32 and the other system modules are mapped in every process.
        for (auto& [k, e] : t.modules)
            if (e.desc.system && BaseOf(t, k) == reinterpret_cast<uintptr_t>(h)) key = k;
        if (key.empty()) return Fail<FARPROC>(ERROR_MOD_NOT_FOUND, NULL);
    }
    if (!name || reinterpret_cast<uintptr_t>(name) < 0x10000) return Fail<FARPROC>(ERROR_PROC_NOT_FOUND, NULL);
    ModuleEntry& e = t.modules[key];
    auto ex = e.desc.exports.find(name);
    if (ex == e.desc.exports.end() || !ex->second) return Fail<FARPROC>(ERROR_PROC_NOT_FOUND, NULL);
    ++e.lookups[name];
    return reinterpret_cast<FARPROC>(ex->second);
}

DWORD WINAPI GetModuleFileNameW(HMODULE mod, LPWSTR buf, DWORD size) {
    Process& p = CurrentProcess();
    std::wstring path;
    if (!mod || mod == ImageBase(p)) {
        path = p.image_path;
    } else {
        auto& loaded = Mods(p).loaded;
        auto it = loaded.find(reinterpret_cast<uintptr_t>(mod));
        if (it == loaded.end()) return Fail<DWORD>(ERROR_MOD_NOT_FOUND, 0);
        path = it->second.path;
    }
    if (!buf || size == 0) return Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    if (path.size() < size) {
        wmemcpy(buf, path.data(), path.size());
        buf[path.size()] = 0;
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    // Cut to the buffer, terminated, as Windows Vista and later do.
    wmemcpy(buf, path.data(), size - 1);
    buf[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    Process& p = CurrentProcess();
    if (!name) return ImageBase(p);
    std::wstring n = name, img = p.image_path;
    std::wstring base = BaseName(img);
    if (IEquals(n, img) || IEquals(n, base) || IEquals(n + L".exe", base)) return ImageBase(p);
    auto& t = Table(p.machine);
    std::lock_guard<std::recursive_mutex> g(t.mu);
    std::wstring key = Lower(BaseName(WithDll(n)));
    for (auto& [b, l] : Mods(p).loaded)
        if (l.name == key || IEquals(l.path, n)) return reinterpret_cast<HMODULE>(b);
    auto sys = t.modules.find(key);
    if (sys != t.modules.end() && sys->second.desc.system && key == L"kernel32.dll")
        return reinterpret_cast<HMODULE>(BaseOf(t, key));
    return Fail<HMODULE>(ERROR_MOD_NOT_FOUND, NULL);
}

BOOL WINAPI IsWow64Process(HANDLE h, PBOOL wow64) {
    auto obj = CurrentProcess().LookupAs<Process>(h);
    if (!obj) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!wow64) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *wow64 = obj->image64 ? FALSE : TRUE;
    return TRUE;
}

namespace winsim::internal {

// kernel32 as programs bind it by name at run time (the exports later issues look up join
// through Modules::SetExport).
void InitModules(Machine& m) {
    ModuleSpec k32;
    k32.name = L"kernel32.dll";
    k32.system = true;
    k32.exports = {
        {"IsWow64Process", reinterpret_cast<void*>(&IsWow64Process)},
        {"Wow64DisableWow64FsRedirection", reinterpret_cast<void*>(&Wow64DisableWow64FsRedirection)},
        {"Wow64RevertWow64FsRedirection", reinterpret_cast<void*>(&Wow64RevertWow64FsRedirection)},
        {"Wow64EnableWow64FsRedirection", reinterpret_cast<void*>(&Wow64EnableWow64FsRedirection)},
        {"GetTickCount64", reinterpret_cast<void*>(&GetTickCount64)},
        {"GetSystemFirmwareTable", reinterpret_cast<void*>(&GetSystemFirmwareTable)},
    };
    Modules(m).Register(k32);
    ModuleSpec psapi;
    psapi.name = L"psapi.dll";
    psapi.system = true;
    psapi.exports = {
        {"EnumProcesses", reinterpret_cast<void*>(&EnumProcesses)},
        {"EnumProcessModules", reinterpret_cast<void*>(&EnumProcessModules)},
        {"GetModuleBaseNameW", reinterpret_cast<void*>(&GetModuleBaseNameW)},
    };
    Modules(m).Register(psapi);

    // advapi32's functions that Windows XP lacks, which programs for XP bind at run time.
    ModuleSpec advapi;
    advapi.name = L"advapi32.dll";
    advapi.system = true;
    advapi.exports = {
        {"RegDeleteKeyExW", reinterpret_cast<void*>(&RegDeleteKeyExW)},
    };
    Modules(m).Register(advapi);
}

}  // namespace winsim::internal
