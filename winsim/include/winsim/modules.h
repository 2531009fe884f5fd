// winsim: modules (DLLs) that programs load at run time.
//
// A module is a set of named exports (host functions). System modules ("kernel32.dll",
// "psapi.dll" ...) are found by name like the DLLs of the Windows folder and kernel32 is
// loaded in every process. Any other module loads from a file of the machine whose content
// names it ("WINSIM-MODULE:<name>"), so it loads only where its file is; the usual search
// order applies to a bare name (the program's folder, System32, the Windows folder, the
// current folder, PATH).
#pragma once

#include "machine.h"

#include <map>
#include <string>

namespace winsim {

struct ModuleSpec {
    std::wstring name;                     // "GobiApi.dll"
    std::map<std::string, void*> exports;  // export name -> host function
    bool system = false;                   // found by name without a file
};

class Modules {
public:
    explicit Modules(Machine& m) : m_(m) {}

    // Registers (or replaces) a module of this host.
    void Register(const ModuleSpec& desc);
    void Unregister(const std::wstring& name);
    // Adds or replaces one export of a registered module; nullptr removes it.
    void SetExport(const std::wstring& module, const std::string& name, void* proc);
    // Writes the module file at path (folders are created).
    void InstallFile(const std::wstring& path, const std::wstring& module);
    // LoadLibrary of the module fails with error (0 clears).
    void SetLoadFailure(const std::wstring& module, DWORD error);

    // Counters since the machine was created.
    int LoadCount(const std::wstring& module);                             // successful LoadLibrary calls
    int FreeCount(const std::wstring& module);                             // FreeLibrary calls
    int CallLookups(const std::wstring& module, const std::string& name);  // GetProcAddress hits
    // Whether a process has the module loaded now.
    bool IsLoaded(const Process& p, const std::wstring& module);

private:
    Machine& m_;
};

}  // namespace winsim
