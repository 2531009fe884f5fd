// winsim's costs as the system meets them, printed in one run (scripts/bench.sh runs it in an
// optimised build without sanitizers):
//  - Setup's real time per command for generated scripts of 10 to 3000 cheap commands
//    spread over sections;
//  - the registry's set, query and enumeration cost per value in one key of 1k to 100k
//    values, on a machine kept in a folder (machine.db on disk);
//  - the RF control path: the host's CPU time per control code (service control, HCI write,
//    the host's report), early in a run and late in a long one;
//  - `winsim create`.
//
// Usage: winsim_bench WINSIM_TOOL RVQXSVC [--quick] [setup|registry|host]...
//   --quick: smaller sizes; naming parts runs only those.
#include <windows.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CryptCtrl.h"
#include "SetupGlobals.h"
#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/program.h"
#include "winsim/registry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

std::shared_ptr<const winsim::ResourceTable> SetupBenchResources();

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double, std::micro>(Clock::now() - t0).count(); }

double ChildrenCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// ---- Setup ---------------------------------------------------------------------------------

const wchar_t kSetupFolder[] = L"C:\\Program Files\\Quarven\\Setup";
const wchar_t kSetupImage[] = L"C:\\Program Files\\Quarven\\Setup\\Setup.exe";
const wchar_t kSetupIni[] = L"C:\\Program Files\\Quarven\\Setup\\Setup.ini";
const wchar_t kSetupDat[] = L"C:\\Program Files\\Quarven\\Setup\\Setup.dat";
constexpr int kPerSection = 50;

// INIT runs one section per 50 commands (PRECODE_SECTION through a one-line switch); each
// holds up to 50 CHECK_ADMINPRIVILEGE.
std::wstring SetupScript(int commands) {
    std::wstring init = L"[INIT]\r\n", rest;
    int sections = (commands + kPerSection - 1) / kPerSection;
    for (int s = 1; s <= sections; ++s) {
        std::wstring n = std::to_wstring(s);
        init += L"CMD" + n + L"=PRECODE_SECTION\r\nCMD" + n + L"_SECTION=P" + n + L"\r\n";
        rest += L"[P" + n + L"]\r\n0=S" + n + L"\r\n[S" + n + L"]\r\n";
        int in_section = std::min(kPerSection, commands - (s - 1) * kPerSection);
        for (int c = 1; c <= in_section; ++c) {
            std::wstring k = std::to_wstring(c);
            rest += L"CMD" + k + L"=CHECK_ADMINPRIVILEGE\r\nCMD" + k + L"_SECTION=ADMIN\r\n";
        }
    }
    return init + L"[ADMIN]\r\nID=1\r\n" + rest;
}

// Real microseconds per command of one Setup run; checks every command ran.
double SetupPerCommand(int commands) {
    auto m = winsim::Machine::CreateInMemory("bare");
    winsim::files::CreateFolders(*m, kSetupFolder);
    winsim::InstallProgramImage(*m, kSetupImage, L"Setup.exe");
    winsim::Registry(*m).SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
    winsim::Registry(*m).SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugLevel", 1);
    winsim::files::WriteBytes(*m, kSetupIni, Utf16File(SetupScript(commands)));
    {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\benchmark.exe";
        winsim::ProcessScope scope(*m, tool);
        CCryptCtrl crypt;
        if (crypt.EncryptFile(kSetupIni, kSetupDat, CRYPT_PASS_PHRASE, 1) != 0) {
            std::fprintf(stderr, "cannot encrypt the script\n");
            std::exit(1);
        }
        DeleteFileW(kSetupIni);
    }
    winsim::ProgramInfo info;
    info.file_name = L"Setup.exe";
    info.default_folder = kSetupFolder;
    info.wwinmain = &SetupWinMain;
    info.resources = SetupBenchResources();
    winsim::ProcessOptions o;
    o.image = kSetupImage;
    o.command_line = winsim::QuoteArgument(kSetupImage) + L" /s";
    auto p = m->CreateProcess(o);
    auto t0 = Clock::now();
    int code = winsim::RunProgram(*m, p, info);
    double us = Since(t0);
    int ran = 0;
    for (const auto& l : m->DebugOutput())
        if (l.pid == p->pid && l.text.find(L"CHECK_ADMINPRIVILEGE") != std::wstring::npos) ++ran;
    if (code != 0 || ran != commands) {
        std::fprintf(stderr, "Setup ended with %d after %d of %d commands\n", code, ran, commands);
        std::exit(1);
    }
    return us / commands;
}

void BenchSetup(bool quick) {
    std::printf("Setup, generated script of CHECK_ADMINPRIVILEGE in sections of %d (real time)\n", kPerSection);
    std::vector<int> sizes = quick ? std::vector<int>{10, 100, 300} : std::vector<int>{10, 100, 1000, 3000};
    std::vector<double> per;
    for (int n : sizes) {
        per.push_back(SetupPerCommand(n));
        std::printf("  %5d commands: %9.1f us per command, %8.1f ms in all\n", n, per.back(), per.back() * n / 1000);
        std::fflush(stdout);
    }
    for (size_t i = 2; i < sizes.size(); ++i)
        std::printf("  ratio per command %d / %d: %.2f\n", sizes[i], sizes[1], per[i] / per[1]);
}

// ---- Registry ------------------------------------------------------------------------------

constexpr double kEnumBudgetUs = 20e6;

void BenchRegistry(const std::string& folder, bool quick) {
    std::printf("Registry, one key of N REG_DWORD values, machine.db on disk (real time per value)\n");
    std::vector<int> sizes = quick ? std::vector<int>{1000, 10000} : std::vector<int>{1000, 10000, 100000};
    std::vector<double> enum_per;
    auto m = winsim::Machine::Open(folder, "bare");
    winsim::ProcessOptions self;
    self.image = L"C:\\Windows\\System32\\benchmark.exe";
    winsim::ProcessScope scope(*m, self);
    for (int n : sizes) {
        std::wstring path = L"Software\\Bench\\N" + std::to_wstring(n);
        HKEY k = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)) {
            std::fprintf(stderr, "cannot create %ls\n", path.c_str());
            std::exit(1);
        }
        auto name = [](int i) {
            wchar_t b[16];
            std::swprintf(b, 16, L"v%06d", i);
            return std::wstring(b);
        };
        auto t0 = Clock::now();
        for (int i = 0; i < n; ++i) {
            DWORD v = static_cast<DWORD>(i);
            RegSetValueExW(k, name(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
        }
        double set_us = Since(t0) / n;
        t0 = Clock::now();
        long bad = 0;
        for (int i = 0; i < n; ++i) {
            DWORD v = 0, size = sizeof v, type = 0;
            if (RegQueryValueExW(k, name(i).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) ||
                v != static_cast<DWORD>(i))
                ++bad;
        }
        double query_us = Since(t0) / n;
        t0 = Clock::now();
        int walked = 0;
        for (; walked < n; ++walked) {
            wchar_t vn[32];
            DWORD cch = 32, v = 0, size = sizeof v, type = 0;
            if (RegEnumValueW(k, walked, vn, &cch, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size)) break;
            if (walked % 256 == 0 && Since(t0) > kEnumBudgetUs) {
                ++walked;
                break;
            }
        }
        double enum_us = Since(t0) / walked;
        enum_per.push_back(enum_us);
        RegCloseKey(k);
        std::printf("  %6d values: set %8.1f us, query %7.1f us, enumerate %8.1f us", n, set_us, query_us, enum_us);
        if (walked < n) std::printf(" (walk stopped after %.0f s at value %d)", kEnumBudgetUs / 1e6, walked);
        if (bad) std::printf(" (%ld wrong reads)", bad);
        std::printf("\n");
        std::fflush(stdout);
    }
    for (size_t i = 1; i < sizes.size(); ++i)
        std::printf("  ratio enumerate per value %d / %d: %.2f\n", sizes[i], sizes[0], enum_per[i] / enum_per[0]);
}

// ---- The tool: create and the RF control path ---------------------------------------------

int Shell(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// CPU ms of a host that starts the service and sends `controls` control codes 129/128.
double HostCpuMs(const std::string& tool, const std::string& machine, int controls) {
    std::string script = machine + "/bench-host.txt";
    FILE* f = std::fopen(script.c_str(), "w");
    std::fprintf(f, "service start RVQXSVC\n");
    for (int i = 0; i < controls; ++i) std::fprintf(f, "service control RVQXSVC %d\n", i % 2 ? 128 : 129);
    std::fclose(f);
    double c0 = ChildrenCpuMs();
    int rc = Shell("WINSIM_MACHINE=" + Quote(machine) + " " + Quote(tool) + " host --virtual < " + Quote(script) +
                   " > /dev/null");
    double cpu = ChildrenCpuMs() - c0;
    if (rc != 0) {
        std::fprintf(stderr, "winsim host failed (%d)\n", rc);
        std::exit(1);
    }
    return cpu;
}

void BenchTool(const std::string& tool, const std::string& svc, const std::string& base, bool quick) {
    std::string machine = base + "/tablet";
    std::string env = "WINSIM_MACHINE=" + Quote(machine) + " ";
    auto t0 = Clock::now();
    double c0 = ChildrenCpuMs();
    if (Shell(env + Quote(tool) + " create --profile tablet --force > /dev/null")) std::exit(1);
    std::printf("winsim create --profile tablet: %.1f ms real, %.1f ms CPU\n", Since(t0) / 1000, ChildrenCpuMs() - c0);
    if (Shell(env + "WINSIM_CLOCK=virtual " + Quote(svc) + " -InstallService > /dev/null 2>&1")) std::exit(1);

    int early = quick ? 100 : 200, late = quick ? 1000 : 4000;
    std::printf("RF control path: host CPU per control code 129/128 (service control, HCI write, report)\n");
    double base_cpu = HostCpuMs(tool, machine, 0);
    double early_cpu = HostCpuMs(tool, machine, early);
    double late_cpu = HostCpuMs(tool, machine, late);
    double per_early = (early_cpu - base_cpu) / early;
    double per_late = (late_cpu - early_cpu) / (late - early);
    std::printf("  start-up and service start: %8.1f ms\n", base_cpu);
    std::printf("  codes 1-%d:     %8.3f ms per code\n", early, per_early);
    std::printf("  codes %d-%d: %8.3f ms per code\n", early + 1, late, per_late);
    std::printf("  ratio late / early: %.2f\n", per_late / per_early);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: winsim_bench WINSIM_TOOL RVQXSVC [--quick] [setup|registry|host]...\n");
        return 2;
    }
    bool quick = false;
    std::vector<std::string> parts;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick")
            quick = true;
        else if (a == "setup" || a == "registry" || a == "host")
            parts.push_back(a);
        else {
            std::fprintf(stderr, "winsim_bench: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    auto wanted = [&](const char* part) {
        return parts.empty() || std::find(parts.begin(), parts.end(), part) != parts.end();
    };
    std::string base = std::filesystem::temp_directory_path() / ("winsim-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(base);
    if (wanted("setup")) BenchSetup(quick);
    if (wanted("registry")) BenchRegistry(base + "/registry", quick);
    if (wanted("host")) BenchTool(std::filesystem::absolute(argv[1]), std::filesystem::absolute(argv[2]), base, quick);
    std::filesystem::remove_all(base);
    return 0;
}
