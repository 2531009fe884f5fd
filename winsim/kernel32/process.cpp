// winsim: kernel32 process functions: CreateProcessW over the machine's program images
// (winsim/program.h), the current process, its exit and priority, its command line,
// environment and current folder.
#include "kernel32_internal.h"

#include "files_internal.h"
#include "winsim/files.h"
#include "winsim/program.h"

#include <optional>

using namespace winsim;
using namespace winsim::kernel32;

namespace {

bool HasExtension(const std::wstring& name) {
    size_t slash = name.find_last_of(L"\\/");
    size_t dot = name.find_last_of(L'.');
    return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

// A full path as the caller sees it: a 32-bit caller's System32 is SysWOW64 while its
// thread's redirection is on.
std::wstring Redirected(Process& caller, const std::wstring& full) {
    return caller.image64 ? full : files::detail::Wow64Redirect(full, files::detail::RedirectionActive());
}

bool IsFile(Machine& m, const std::wstring& full) { return files::Exists(m, full) && !files::IsDirectory(m, full); }

bool Under(const std::wstring& low, const std::wstring& folder) {
    return low.size() > folder.size() && low.compare(0, folder.size(), folder) == 0 && low[folder.size()] == L'\\';
}

// The bitness of an image: the system's programs are 64-bit in the Windows folder and
// System32 and 32-bit in SysWOW64; any other runs as its caller does.
bool ImageIs64(const std::wstring& image, bool caller64) {
    std::wstring low = Lower(image);
    if (Under(low, L"c:\\windows\\syswow64")) return false;
    if (Under(low, L"c:\\windows\\system32")) return true;
    if (Under(low, L"c:\\windows") && low.find(L'\\', 11) == std::wstring::npos) return true;
    return caller64;
}

// The program file a command line's name stands for, by the documented search order:
// the folder of the caller's image, the current folder, System32, the Windows folder and
// the folders of PATH. ".exe" is added to a name without an extension.
std::optional<std::wstring> SearchImage(Machine& m, Process& caller, std::wstring name) {
    if (!HasExtension(name)) name += L".exe";
    if (name.find_first_of(L"\\/:") != std::wstring::npos) {
        std::wstring full = Redirected(caller, files::FullPath(name, caller.current_dir));
        if (IsFile(m, full)) return full;
        return std::nullopt;
    }
    std::vector<std::wstring> dirs;
    auto pos = caller.image_path.find_last_of(L'\\');
    if (pos != std::wstring::npos) dirs.push_back(caller.image_path.substr(0, pos));
    dirs.push_back(caller.current_dir);
    dirs.push_back(L"C:\\Windows\\System32");
    dirs.push_back(L"C:\\Windows");
    std::wstring path = caller.GetEnv(L"PATH");
    for (size_t b = 0; b <= path.size();) {
        size_t e = path.find(L';', b);
        if (e == std::wstring::npos) e = path.size();
        if (e > b) dirs.push_back(path.substr(b, e - b));
        b = e + 1;
    }
    for (auto& d : dirs) {
        std::wstring full = Redirected(caller, files::FullPath(d + L"\\" + name, caller.current_dir));
        if (IsFile(m, full)) return full;
    }
    return std::nullopt;
}

// The image that a command line without an application name starts: a quoted first
// token, else the shortest blank-separated prefix that names a file.
std::optional<std::wstring> ImageOfCommandLine(Machine& m, Process& caller, const std::wstring& cmd) {
    size_t i = 0;
    while (i < cmd.size() && (cmd[i] == L' ' || cmd[i] == L'\t')) ++i;
    if (i < cmd.size() && cmd[i] == L'"') {
        size_t e = cmd.find(L'"', i + 1);
        return SearchImage(m, caller, cmd.substr(i + 1, e == std::wstring::npos ? std::wstring::npos : e - i - 1));
    }
    for (size_t e = i; e <= cmd.size(); ++e) {
        if (e < cmd.size() && cmd[e] != L' ' && cmd[e] != L'\t') continue;
        if (e > i)
            if (auto found = SearchImage(m, caller, cmd.substr(i, e - i))) return found;
        if (e == cmd.size()) break;
    }
    return std::nullopt;
}

// Copies s into a caller buffer with the GetEnvironmentVariable/GetCurrentDirectory rule:
// the length without the terminator when it fits, else the size needed with it.
DWORD CopyOutOrNeed(const std::wstring& s, LPWSTR buf, DWORD size) {
    if (buf && size > s.size()) {
        wmemcpy(buf, s.data(), s.size());
        buf[s.size()] = 0;
        return static_cast<DWORD>(s.size());
    }
    return static_cast<DWORD>(s.size() + 1);
}

}  // namespace

BOOL WINAPI CreateProcessW(LPCWSTR app, LPWSTR cmdline, LPSECURITY_ATTRIBUTES psa, LPSECURITY_ATTRIBUTES tsa, BOOL,
                           DWORD flags, LPVOID env, LPCWSTR cwd, LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi) {
    Machine& m = CurrentMachine();
    Process& caller = CurrentProcess();
    if (!si || !pi || ((!app || !*app) && (!cmdline || !*cmdline))) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::optional<std::wstring> image;
    if (app && *app) {
        std::wstring full = Redirected(caller, files::FullPath(app, caller.current_dir));
        if (IsFile(m, full)) image = full;
    } else {
        image = ImageOfCommandLine(m, caller, cmdline);
    }
    if (!image) return Fail(ERROR_FILE_NOT_FOUND, FALSE);

    ProcessOptions opt;
    opt.image = *image;
    opt.command_line = cmdline && *cmdline ? std::wstring(cmdline) : QuoteArgument(*image);
    opt.session = caller.session;
    opt.user = caller.user;
    opt.image64 = ImageIs64(*image, caller.image64);
    opt.parent_pid = caller.pid;
    if (cwd && *cwd) {
        std::wstring dir = files::FullPath(cwd, caller.current_dir);
        if (!files::IsDirectory(m, dir)) return Fail(ERROR_DIRECTORY, FALSE);
        opt.current_dir = dir;
    } else {
        opt.current_dir = caller.current_dir;
    }
    if (env && (flags & CREATE_UNICODE_ENVIRONMENT)) {
        // "name=value\0name=value\0\0"
        for (const wchar_t* e = static_cast<const wchar_t*>(env); *e; e += wcslen(e) + 1) {
            std::wstring kv = e;
            size_t eq = kv.find(L'=', 1);
            if (eq != std::wstring::npos) opt.env.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        }
    } else {
        opt.env = caller.Env();
    }
    DWORD err = 0;
    std::shared_ptr<Thread> main;
    auto p = StartImage(m, opt, &err, (flags & CREATE_SUSPENDED) != 0, &main);
    if (!p) return Fail(err, FALSE);
    if (env && (flags & CREATE_UNICODE_ENVIRONMENT)) {
        // Only the block given: drop the machine's base environment.
        for (auto kv : std::vector<std::pair<std::wstring, std::wstring>>(p->Env())) {
            bool keep = false;
            for (auto& [k, v] : opt.env) keep = keep || IEquals(k, kv.first);
            if (!keep) p->UnsetEnv(kv.first);
        }
    }
    RecordProcessStart(
        m, ProcessStart{p->pid, caller.pid, p->image_path, p->command_line, p->current_dir, flags, p->image64});
    pi->hProcess = caller.AddHandle(p, PROCESS_ALL_ACCESS, psa && psa->bInheritHandle);
    pi->hThread = caller.AddHandle(main, THREAD_ALL_ACCESS, tsa && tsa->bInheritHandle);
    pi->dwProcessId = p->pid;
    pi->dwThreadId = main->tid;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Processes

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
DWORD WINAPI GetCurrentProcessId(void) { return Proc().pid; }

DWORD WINAPI GetProcessId(HANDLE h) {
    auto p = Obj<Process>(h);
    return p ? p->pid : Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD pid) {
    auto p = Mach().FindProcess(pid);
    if (!p || p->ended) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, NULL);
    if (p->protected_process && p.get() != &Proc() &&
        (access & ~static_cast<DWORD>(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION)))
        return Fail<HANDLE>(ERROR_ACCESS_DENIED, NULL);
    return Proc().AddHandle(p, access, inherit != FALSE);
}

BOOL WINAPI ProcessIdToSessionId(DWORD pid, DWORD* session) {
    auto p = Mach().FindProcess(pid);
    if (!p || !session) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *session = p->session;
    return TRUE;
}

DWORD WINAPI WTSGetActiveConsoleSessionId(void) { return Mach().active_console_session; }

void WINAPI ExitProcess(UINT code) {
    Mach().TerminateProcess(Proc(), code);
    throw ThreadExitUnwind{code};
}

BOOL WINAPI TerminateProcess(HANDLE h, UINT code) {
    ACCESS_MASK access = 0;
    auto p = Obj<Process>(h, &access);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(access & PROCESS_TERMINATE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (p.get() == &Proc()) ExitProcess(code);
    if (p->ended) return Fail(ERROR_ACCESS_DENIED, FALSE);
    Mach().TerminateProcess(*p, code);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
    ACCESS_MASK access = 0;
    auto p = Obj<Process>(h, &access);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (code) *code = p->ended ? p->exit_code : STILL_ACTIVE;
    return TRUE;
}

BOOL WINAPI SetPriorityClass(HANDLE h, DWORD cls) {
    auto p = Obj<Process>(h);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    switch (cls) {
    case NORMAL_PRIORITY_CLASS:
    case IDLE_PRIORITY_CLASS:
    case HIGH_PRIORITY_CLASS:
    case REALTIME_PRIORITY_CLASS:
    case BELOW_NORMAL_PRIORITY_CLASS:
    case ABOVE_NORMAL_PRIORITY_CLASS: p->priority_class = cls; return TRUE;
    default: return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
}

DWORD WINAPI GetPriorityClass(HANDLE h) {
    auto p = Obj<Process>(h);
    return p ? p->priority_class : Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
}

LPWSTR WINAPI GetCommandLineW(void) { return &Proc().command_line[0]; }

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buf, DWORD size) {
    if (!name) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    bool found = false;
    std::wstring v = Proc().GetEnv(name, &found);
    if (!found) return Fail<DWORD>(ERROR_ENVVAR_NOT_FOUND, 0);
    return CopyOutOrNeed(v, buf, size);
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
    if (!name || !*name || wcschr(name + 1, L'=')) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (value)
        Proc().SetEnv(name, value);
    else
        Proc().UnsetEnv(name);
    return TRUE;
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR src, LPWSTR dst, DWORD size) {
    if (!src) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    std::wstring out, s = src;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == L'%') {
            size_t j = s.find(L'%', i + 1);
            if (j != std::wstring::npos && j > i + 1) {
                bool found = false;
                std::wstring v = Proc().GetEnv(s.substr(i + 1, j - i - 1), &found);
                if (found) {
                    out += v;
                    i = j + 1;
                    continue;
                }
                // An unknown name stays as it is; its closing '%' may open the next one.
                out.append(s, i, j - i);
                i = j;
                continue;
            }
        }
        out += s[i++];
    }
    DWORD need = static_cast<DWORD>(out.size() + 1);
    if (dst && size >= need) {
        wmemcpy(dst, out.c_str(), need);
    } else if (dst && size > 0) {
        wmemcpy(dst, out.c_str(), size - 1);
        dst[size - 1] = 0;
    }
    return need;
}

DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buf) { return CopyOutOrNeed(Proc().current_dir, buf, size); }
