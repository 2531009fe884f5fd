// winsim: the process status functions (psapi.dll forwards them to kernel32, as here).
#include <psapi.h>

#include "kernel32_internal.h"

#include <string.h>

using namespace winsim;
using namespace winsim::kernel32;

namespace {

// The image module of every process: where a program's image is mapped.
HMODULE const kImageModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
const ACCESS_MASK kReadRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

std::shared_ptr<Process> Readable(HANDLE h) {
    ACCESS_MASK access = 0;
    auto p = Obj<Process>(h, &access);
    if (!p) return Fail<std::shared_ptr<Process>>(ERROR_INVALID_HANDLE, nullptr);
    if ((access & kReadRights) != kReadRights) return Fail<std::shared_ptr<Process>>(ERROR_ACCESS_DENIED, nullptr);
    if (p->ended) return Fail<std::shared_ptr<Process>>(ERROR_PARTIAL_COPY, nullptr);
    return p;
}

}  // namespace

BOOL WINAPI EnumProcesses(DWORD* ids, DWORD cb, LPDWORD needed) {
    if (!ids || !needed) return Fail(ERROR_NOACCESS, FALSE);
    DWORD n = 0;
    for (const auto& p : Mach().Processes()) {
        if (p->ended) continue;
        if ((n + 1) * sizeof(DWORD) > cb) break;
        ids[n++] = p->pid;
    }
    *needed = n * sizeof(DWORD);
    return TRUE;
}

BOOL WINAPI EnumProcessModules(HANDLE h, HMODULE* modules, DWORD cb, LPDWORD needed) {
    if (!Readable(h)) return FALSE;
    if (!needed) return Fail(ERROR_NOACCESS, FALSE);
    *needed = sizeof(HMODULE);
    if (cb >= sizeof(HMODULE)) {
        if (!modules) return Fail(ERROR_NOACCESS, FALSE);
        modules[0] = kImageModule;
    }
    return TRUE;
}

DWORD WINAPI GetModuleBaseNameW(HANDLE h, HMODULE module, LPWSTR name, DWORD size) {
    auto p = Readable(h);
    if (!p) return 0;
    if (module && module != kImageModule) return Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
    if (!name || size == 0) return Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    std::wstring base = p->image_path.substr(p->image_path.find_last_of(L'\\') + 1);
    DWORD n = static_cast<DWORD>(base.size() < size ? base.size() : size - 1);
    memcpy(name, base.data(), n * sizeof(WCHAR));
    name[n] = 0;
    return n;
}
