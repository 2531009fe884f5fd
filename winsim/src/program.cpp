// winsim: running the system's programs in the machine.
#include "winsim/program.h"
#include "winsim/version.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int RunProgram(Machine& m, std::shared_ptr<Process> p, const ProgramInfo& info) {
    if (info.resources) resources::Attach(*p, info.resources);
    ProcessScope scope(m, p);
    scope.thread().description = L"main";
    int code = 0;
    try {
        if (info.wmain) {
            std::vector<std::wstring> args = SplitCommandLine(p->command_line);
            std::vector<wchar_t*> argv;
            for (auto& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            code = info.wmain(static_cast<int>(args.size()), argv.data());
        } else if (info.wwinmain) {
            std::wstring cmd = ArgumentsOf(p->command_line);
            code = info.wwinmain(GetModuleHandleW(nullptr), nullptr, &cmd[0], SW_SHOWDEFAULT);
        }
    } catch (const ThreadExitUnwind& e) {
        code = static_cast<int>(e.code);
    }
    // Returning from the entry ends the process, as the runtime's exit does on Windows.
    m.TerminateProcess(*p, static_cast<DWORD>(code));
    return static_cast<int>(p->exit_code);
}

void InstallProgramImage(Machine& m, const std::wstring& path, const std::wstring& program) {
    ProcessOptions tool;
    tool.image = L"C:\\Windows\\System32\\winsim.exe";
    ProcessScope scope(m, tool);
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    // Create the folders on the way.
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string stub = "WINSIM-IMAGE:" + Utf8(program) + "\n";
    DWORD put = 0;
    WriteFile(h, stub.data(), static_cast<DWORD>(stub.size()), &put, nullptr);
    CloseHandle(h);
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
            m->debug_sink = [](const DebugLine& l) { std::fprintf(stderr, "[debug %u] %s", l.pid, Utf8(l.text).c_str()); };
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
