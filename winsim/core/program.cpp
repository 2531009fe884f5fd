// winsim: running the system's programs in the machine.
#include "winsim/program.h"
#include "winsim/files.h"
#include "winsim/version.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include <sys/wait.h>
#include <unistd.h>

namespace winsim {

std::vector<std::wstring> SplitCommandLine(const std::wstring& s) {
    std::vector<std::wstring> out;
    size_t i = 0, n = s.size();
    // The program name: up to the next blank, or a quoted string; no escapes.
    while (i < n && (s[i] == L' ' || s[i] == L'\t')) ++i;
    if (i >= n) return out;
    std::wstring arg;
    if (s[i] == L'"') {
        ++i;
        while (i < n && s[i] != L'"') arg += s[i++];
        if (i < n) ++i;
    } else {
        while (i < n && s[i] != L' ' && s[i] != L'\t') arg += s[i++];
    }
    out.push_back(arg);
    // The arguments: the runtime's rules for quotes and backslashes.
    for (;;) {
        while (i < n && (s[i] == L' ' || s[i] == L'\t')) ++i;
        if (i >= n) break;
        arg.clear();
        bool quoted = false;
        while (i < n) {
            if (!quoted && (s[i] == L' ' || s[i] == L'\t')) break;
            if (s[i] == L'\\') {
                size_t bs = 0;
                while (i < n && s[i] == L'\\') ++bs, ++i;
                if (i < n && s[i] == L'"') {
                    arg.append(bs / 2, L'\\');
                    if (bs % 2) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(bs, L'\\');
                }
                continue;
            }
            if (s[i] == L'"') {
                if (quoted && i + 1 < n && s[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += s[i++];
        }
        out.push_back(arg);
    }
    return out;
}

std::wstring QuoteArgument(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) return a;
    std::wstring r = L"\"";
    size_t bs = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++bs;
            continue;
        }
        if (c == L'"') {
            r.append(bs * 2 + 1, L'\\');
        } else {
            r.append(bs, L'\\');
        }
        bs = 0;
        r += c;
    }
    r.append(bs * 2, L'\\');
    r += L'"';
    return r;
}

std::wstring ArgumentsOf(const std::wstring& s) {
    size_t i = 0, n = s.size();
    while (i < n && (s[i] == L' ' || s[i] == L'\t')) ++i;
    if (i < n && s[i] == L'"') {
        ++i;
        while (i < n && s[i] != L'"') ++i;
        if (i < n) ++i;
    } else {
        while (i < n && s[i] != L' ' && s[i] != L'\t') ++i;
    }
    while (i < n && (s[i] == L' ' || s[i] == L'\t')) ++i;
    return s.substr(i);
}

namespace {

// Calls the program's entry with the process's command line, on the calling thread.
int CallEntry(Process& p, const ProgramInfo& info) {
    int code = 0;
    try {
        if (info.wmain) {
            std::vector<std::wstring> args = SplitCommandLine(p.command_line);
            std::vector<wchar_t*> argv;
            for (auto& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            code = info.wmain(static_cast<int>(args.size()), argv.data());
        } else if (info.wwinmain) {
            std::wstring cmd = ArgumentsOf(p.command_line);
            code = info.wwinmain(GetModuleHandleW(nullptr), nullptr, &cmd[0], SW_SHOWDEFAULT);
        } else if (info.run) {
            code = info.run();
        }
    } catch (const ThreadExitUnwind& e) {
        code = static_cast<int>(e.code);
    }
    return code;
}

std::mutex& ProgramsLock() {
    static std::mutex mu;
    return mu;
}
std::map<std::wstring, ProgramInfo>& Programs() {
    static std::map<std::wstring, ProgramInfo> programs;
    return programs;
}

// Runs a host executable to its end outside the simulation; returns its exit code.
DWORD RunHostChild(const std::string& path, const std::vector<std::wstring>& args, const std::string& cwd) {
    std::vector<std::string> argv_s{path};
    for (size_t i = 1; i < args.size(); ++i) argv_s.push_back(Utf8(args[i]));
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) return 1067;  // ERROR_PROCESS_ABORTED
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    return 1067;
}

}  // namespace

int RunProgram(Machine& m, std::shared_ptr<Process> p, const ProgramInfo& info) {
    if (info.resources) resources::Attach(*p, info.resources);
    ProcessScope scope(m, p);
    scope.thread().description = L"main";
    int code = CallEntry(*p, info);
    // Returning from the entry ends the process, as the runtime's exit does on Windows.
    m.TerminateProcess(*p, static_cast<DWORD>(code));
    return static_cast<int>(p->exit_code);
}

void RegisterDescribedProgram(const DescribedProgram& desc) {
    ProgramInfo info;
    info.file_name = desc.file_name;
    info.run = [desc]() -> int {
        if (desc.effect) desc.effect();
        if (desc.never_ends) {
            // Ends only when ended: an event nobody sets.
            HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            WaitForSingleObject(never, INFINITE);
            CloseHandle(never);
        } else if (desc.run_ms) {
            Sleep(desc.run_ms);
        }
        return static_cast<int>(desc.exit_code);
    };
    RegisterProgram(info);
}

namespace {

struct StartLog {
    explicit StartLog(Machine&) {}
    std::mutex mu;
    std::vector<ProcessStart> starts;
};

}  // namespace

std::vector<ProcessStart> ProcessStarts(Machine& m) {
    StartLog& log = m.Ext<StartLog>("program.starts");
    std::lock_guard<std::mutex> g(log.mu);
    return log.starts;
}

void RecordProcessStart(Machine& m, const ProcessStart& start) {
    StartLog& log = m.Ext<StartLog>("program.starts");
    std::lock_guard<std::mutex> g(log.mu);
    log.starts.push_back(start);
}

void RegisterProgram(const ProgramInfo& info) {
    std::lock_guard<std::mutex> g(ProgramsLock());
    Programs()[Lower(info.file_name)] = info;
}

void UnregisterProgram(const std::wstring& file_name) {
    std::lock_guard<std::mutex> g(ProgramsLock());
    Programs().erase(Lower(file_name));
}

std::optional<ProgramInfo> FindProgram(const std::wstring& file_name) {
    std::lock_guard<std::mutex> g(ProgramsLock());
    auto it = Programs().find(Lower(file_name));
    if (it == Programs().end()) return std::nullopt;
    return it->second;
}

ImageFile ReadImageFile(Machine& m, const std::wstring& full_path) {
    ImageFile f;
    if (!files::Exists(m, full_path) || files::IsDirectory(m, full_path)) return f;
    auto bytes = files::ReadBytes(m, full_path);
    if (!bytes) return f;
    static const std::string kTag = "WINSIM-IMAGE:";
    if (bytes->compare(0, kTag.size(), kTag) == 0) {
        std::string name = bytes->substr(kTag.size());
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.pop_back();
        f.kind = ImageKind::Program;
        f.program = Wide(name);
        return f;
    }
    auto host = files::HostPath(m, full_path);
    bool elf = bytes->size() >= 4 && bytes->compare(0, 4,
                                                    "\x7f"
                                                    "ELF") == 0;
    bool script = bytes->size() >= 2 && bytes->compare(0, 2, "#!") == 0;
    if (host && (elf || script) && access(host->c_str(), X_OK) == 0) {
        f.kind = ImageKind::HostExecutable;
        f.host_path = *host;
        return f;
    }
    f.kind = ImageKind::Invalid;
    return f;
}

std::shared_ptr<Process> StartImage(Machine& m, const ProcessOptions& opt, DWORD* error, bool suspended,
                                    std::shared_ptr<Thread>* main_thread) {
    ImageFile img = ReadImageFile(m, opt.image);
    std::function<DWORD()> body;
    std::optional<ProgramInfo> info;
    if (img.kind == ImageKind::Missing) {
        if (error) *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (img.kind == ImageKind::Program) info = FindProgram(img.program);
    if (img.kind == ImageKind::Invalid || (img.kind == ImageKind::Program && !info)) {
        if (error) *error = ERROR_BAD_EXE_FORMAT;
        return nullptr;
    }
    auto p = m.CreateProcess(opt);
    Process* raw = p.get();
    if (info && info->resources) resources::Attach(*p, info->resources);
    if (info) {
        ProgramInfo pi = *info;
        body = [raw, pi, &m]() -> DWORD {
            int code = CallEntry(*raw, pi);
            // Returning from the entry ends the process with every other thread of it.
            m.TerminateProcess(*raw, static_cast<DWORD>(code));
            return static_cast<DWORD>(code);
        };
    } else {
        std::string host = img.host_path;
        auto cwd = files::HostPath(m, p->current_dir);
        std::string dir = cwd ? *cwd : std::string();
        std::vector<std::wstring> args = SplitCommandLine(p->command_line);
        body = [host, args, dir, &m]() -> DWORD {
            Thread& t = CurrentThread();
            m.scheduler().Leave(&t);
            DWORD code = RunHostChild(host, args, dir);
            m.scheduler().Return(&t);
            return code;
        };
    }
    auto t = SpawnThread(m, p, std::move(body), suspended, L"main");
    if (main_thread) *main_thread = t;
    if (error) *error = ERROR_SUCCESS;
    return p;
}

void InstallProgramImage(Machine& m, const std::wstring& path, const std::wstring& program) {
    if (files::Exists(m, path)) return;
    auto pos = path.find_last_of(L'\\');
    if (pos != std::wstring::npos && pos > 2) files::CreateFolders(m, path.substr(0, pos));
    files::WriteBytes(m, path, "WINSIM-IMAGE:" + Utf8(program) + "\n");
}

int StandaloneMain(int argc, char** argv, const ProgramInfo& info) {
    try {
        auto m = Machine::Open(Machine::DefaultFolder());
        const char* clock = std::getenv("WINSIM_CLOCK");
        if (!clock || std::strcmp(clock, "virtual") != 0) {
            const char* speed = std::getenv("WINSIM_SPEED");
            m->SetClockMode(ClockMode::RealTime, speed ? std::atof(speed) : 1.0);
        }
        if (const char* d = std::getenv("WINSIM_DEBUG_OUTPUT"); d && std::strcmp(d, "1") == 0)
            m->debug_sink = [](const DebugLine& l) {
                std::fprintf(stderr, "[debug %u] %s", l.pid, Utf8(l.text).c_str());
            };
        ProcessOptions opt;
        const char* img = std::getenv("WINSIM_IMAGE");
        opt.image = img && *img ? Wide(img) : info.default_folder + L"\\" + info.file_name;
        if (const char* s = std::getenv("WINSIM_SESSION")) opt.session = static_cast<DWORD>(std::atoi(s));
        if (const char* b = std::getenv("WINSIM_IMAGE32")) opt.image64 = std::strcmp(b, "1") != 0;
        std::wstring cmd = QuoteArgument(opt.image);
        for (int i = 1; i < argc; ++i) cmd += L" " + QuoteArgument(Wide(argv[i]));
        opt.command_line = cmd;
        InstallProgramImage(*m, opt.image, info.file_name);
        if (!info.version_strings.empty())
            version::Attach(*m, opt.image,
                            version::VersionInfo::WithStrings({info.version_language, info.version_codepage},
                                                              info.version_strings));
        // The program can start further instances of itself through the machine.
        RegisterProgram(info);
        auto p = m->CreateProcess(opt);
        int code = RunProgram(*m, p, info);
        std::fflush(stdout);
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "winsim: %s\n", e.what());
        return 255;
    }
}

}  // namespace winsim
