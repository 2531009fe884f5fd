// Programs as processes of the machine: CreateProcessW of registered programs and of host
// executables, process handles, exit codes and ends.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/power.h"
#include "winsim/program.h"

#include <sys/stat.h>

namespace {

struct Seen {
    std::vector<std::wstring> argv;
    std::wstring current_dir;
    std::wstring env_probe;
    DWORD session = 0;
};
Seen g_seen;
int g_exit_code = 0;
DWORD g_sleep_ms = 0;
bool g_exit_process = false;

int ChildMain(int argc, wchar_t** argv) {
    g_seen.argv.assign(argv, argv + argc);
    wchar_t buf[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, buf);
    g_seen.current_dir = buf;
    wchar_t env[64] = L"";
    GetEnvironmentVariableW(L"PROBE", env, 64);
    g_seen.env_probe = env;
    ProcessIdToSessionId(GetCurrentProcessId(), &g_seen.session);
    if (g_sleep_ms) Sleep(g_sleep_ms);
    if (g_exit_process) ExitProcess(static_cast<UINT>(g_exit_code + 1));
    return g_exit_code;
}

class ProcessTest : public SimTest {
protected:
    void SetUp() override {
        g_seen = Seen{};
        g_exit_code = 0;
        g_sleep_ms = 0;
        g_exit_process = false;
        winsim::ProgramInfo info;
        info.file_name = L"child.exe";
        info.wmain = ChildMain;
        winsim::RegisterProgram(info);
        winsim::InstallProgramImage(machine(), L"C:\\Program Files\\Test Dir\\child.exe", L"child.exe");
        winsim::files::CreateFolders(machine(), L"C:\\Work");
        SetEnvironmentVariableW(L"PROBE", L"inherited");
    }
    // Starts and waits for the child; returns its exit code (or ~0 when it did not start).
    DWORD Run(LPCWSTR app, std::wstring cmd, LPCWSTR cwd = nullptr, DWORD* error = nullptr) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        BOOL ok = CreateProcessW(app, cmd.empty() ? nullptr : &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, cwd, &si, &pi);
        if (error) *error = ok ? 0 : GetLastError();
        if (!ok) return ~0u;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
};

struct FindCase {
    const char* what;
    const wchar_t* app;
    const wchar_t* cmd;
    const wchar_t* cwd;
    DWORD error;                     // 0: runs
    std::vector<std::wstring> argv;  // as the child sees it
};

TEST_F(ProcessTest, TheImageComesFromTheApplicationNameOrTheCommandLine) {
    const FindCase cases[] = {
        {"quoted path on the command line",
         nullptr,
         L"\"C:\\Program Files\\Test Dir\\child.exe\" -a b",
         nullptr,
         0,
         {L"C:\\Program Files\\Test Dir\\child.exe", L"-a", L"b"}},
        {"unquoted path with blanks: the first prefix that names a file",
         nullptr,
         L"C:\\Program Files\\Test Dir\\child.exe /x",
         nullptr,
         0,
         {L"C:\\Program", L"Files\\Test", L"Dir\\child.exe", L"/x"}},
        {"no extension: .exe added",
         nullptr,
         L"\"C:\\Program Files\\Test Dir\\child\" 1",
         nullptr,
         0,
         {L"C:\\Program Files\\Test Dir\\child", L"1"}},
        {"application name with its own command line",
         L"C:\\Program Files\\Test Dir\\child.exe",
         L"name-only arg",
         nullptr,
         0,
         {L"name-only", L"arg"}},
        {"relative name found in the current folder",
         nullptr,
         L"child.exe z",
         L"C:\\Program Files\\Test Dir",
         0,
         {L"child.exe", L"z"}},
        {"missing file", nullptr, L"C:\\nothing.exe", nullptr, ERROR_FILE_NOT_FOUND, {}},
        {"application name without its extension",
         L"C:\\Program Files\\Test Dir\\child",
         L"x",
         nullptr,
         ERROR_FILE_NOT_FOUND,
         {}},
        {"current folder that does not exist",
         L"C:\\Program Files\\Test Dir\\child.exe",
         L"x",
         L"C:\\Missing",
         ERROR_DIRECTORY,
         {}},
    };
    for (const auto& c : cases) {
        g_seen = Seen{};
        DWORD err = 0;
        std::wstring cmd = c.cmd;
        if (c.cwd && !c.error) SetCurrentDirectoryW(c.cwd);
        DWORD code = Run(c.app, cmd, c.error ? c.cwd : nullptr, &err);
        SetCurrentDirectoryW(L"C:\\");
        EXPECT_EQ(c.error, err) << c.what;
        if (!c.error) {
            EXPECT_EQ(0u, code) << c.what;
            EXPECT_EQ(c.argv, g_seen.argv) << c.what;
        }
    }
}

TEST_F(ProcessTest, TheChildGetsTheCurrentFolderTheEnvironmentAndTheSession) {
    EXPECT_EQ(0u, Run(nullptr, L"\"C:\\Program Files\\Test Dir\\child.exe\"", L"C:\\Work"));
    EXPECT_EQ(L"C:\\Work", g_seen.current_dir);
    EXPECT_EQ(L"inherited", g_seen.env_probe);
    EXPECT_EQ(process().session, g_seen.session);
}

TEST_F(ProcessTest, ExitCodesStillActiveAndTerminate) {
    g_exit_code = 42;
    g_sleep_ms = 5000;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    wchar_t cmd[] = L"\"C:\\Program Files\\Test Dir\\child.exe\"";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_NE(0u, pi.dwProcessId);
    EXPECT_EQ(pi.dwProcessId, GetProcessId(pi.hProcess));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(pi.hProcess, 1000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(42u, code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    // A child ended from outside ends with the code it is given.
    ASSERT_TRUE(CreateProcessW(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    Sleep(100);
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 77));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 0));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(77u, code);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hThread, 0));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST_F(ProcessTest, ExitProcessEndsOnlyThatProcess) {
    g_exit_code = 5;
    g_exit_process = true;
    EXPECT_EQ(6u, Run(nullptr, L"\"C:\\Program Files\\Test Dir\\child.exe\""));
    EXPECT_FALSE(process().ended);
    HANDLE e = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
    CloseHandle(e);
}

TEST_F(ProcessTest, ASuspendedChildWaitsForResumeThread) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    wchar_t cmd[] = L"\"C:\\Program Files\\Test Dir\\child.exe\" late";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi));
    Sleep(1000);
    EXPECT_TRUE(g_seen.argv.empty());
    EXPECT_EQ(1u, ResumeThread(pi.hThread));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 5000));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Program Files\\Test Dir\\child.exe", L"late"}), g_seen.argv);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

struct HostCase {
    const char* what;
    const char* script;
    DWORD code;
};

TEST_F(ProcessTest, AHostExecutableRunsAsAChildProcess) {
    const HostCase cases[] = {
        {"exit code", "#!/bin/sh\nexit 7\n", 7},
        {"arguments reach it", "#!/bin/sh\n[ \"$1\" = \"two words\" ] && exit 3\nexit 1\n", 3},
        {"runs in the current folder", "#!/bin/sh\n[ -d Work ] && exit 4\nexit 1\n", 4},
    };
    for (const auto& c : cases) {
        std::wstring path = L"C:\\Tools\\host.exe";
        winsim::files::CreateFolders(machine(), L"C:\\Tools");
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), path, c.script));
        auto host = winsim::files::HostPath(machine(), path);
        ASSERT_TRUE(host);
        chmod(host->c_str(), 0755);
        EXPECT_EQ(c.code, Run(nullptr, L"C:\\Tools\\host.exe \"two words\"", L"C:\\")) << c.what;
    }
    // Without the execute bit the file is no program.
    chmod(winsim::files::HostPath(machine(), L"C:\\Tools\\host.exe")->c_str(), 0644);
    DWORD err = 0;
    Run(nullptr, L"C:\\Tools\\host.exe", nullptr, &err);
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), err);
}

TEST_F(ProcessTest, AnImageOfAnUnknownProgramIsNoProgram) {
    winsim::InstallProgramImage(machine(), L"C:\\Tools\\unknown.exe", L"neverregistered.exe");
    DWORD err = 0;
    Run(nullptr, L"C:\\Tools\\unknown.exe", nullptr, &err);
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), err);
    EXPECT_EQ(winsim::ImageKind::Program, winsim::ReadImageFile(machine(), L"C:\\Tools\\unknown.exe").kind);
    EXPECT_EQ(L"neverregistered.exe", winsim::ReadImageFile(machine(), L"C:\\Tools\\unknown.exe").program);
}

}  // namespace

namespace {

// What a process handle opened with some rights lets its holder do.
struct RightsCase {
    const char* what;
    DWORD access;
    bool query;      // GetExitCodeProcess
    bool terminate;  // TerminateProcess
};

const RightsCase kRights[] = {
    {"synchronize only", SYNCHRONIZE, false, false},
    {"query", PROCESS_QUERY_INFORMATION, true, false},
    {"limited query", PROCESS_QUERY_LIMITED_INFORMATION, true, false},
    {"terminate", PROCESS_TERMINATE, false, true},
    {"all", PROCESS_ALL_ACCESS, true, true},
};

TEST_F(ProcessTest, ProcessHandleRightsDecideQueryAndTerminate) {
    g_sleep_ms = 5000;
    for (const auto& c : kRights) {
        SCOPED_TRACE(c.what);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        wchar_t cmd[] = L"\"C:\\Program Files\\Test Dir\\child.exe\"";
        ASSERT_TRUE(CreateProcessW(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        HANDLE h = OpenProcess(c.access, FALSE, pi.dwProcessId);
        ASSERT_NE(nullptr, h);
        DWORD code = 0;
        SetLastError(0);
        EXPECT_EQ(c.query, GetExitCodeProcess(h, &code) != FALSE);
        EXPECT_EQ(c.query ? 0u : static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        SetLastError(0);
        EXPECT_EQ(c.terminate, TerminateProcess(h, 3) != FALSE);
        EXPECT_EQ(c.terminate ? 0u : static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        // Ended by the right kind of handle, or by itself.
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
        EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
        EXPECT_EQ(c.terminate ? 3u : 0u, code);
        CloseHandle(h);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

// The console session is the one the machine last connected to the console; none while
// the console is disconnected.
TEST_F(ProcessTest, ActiveConsoleSessionFollowsTheConsole) {
    EXPECT_EQ(1u, WTSGetActiveConsoleSessionId());
    winsim::power::Logon(machine(), 2);
    winsim::power::ConsoleConnect(machine(), 2);
    EXPECT_EQ(2u, WTSGetActiveConsoleSessionId());
    winsim::power::ConsoleDisconnect(machine(), 2);
    EXPECT_EQ(0xFFFFFFFFu, WTSGetActiveConsoleSessionId());
}

using EnvironmentTest = SimTest;

TEST_F(EnvironmentTest, TheMachineSetsSystemRoot) {
    WCHAR buf[64];
    EXPECT_EQ(10u, GetEnvironmentVariableW(L"SystemRoot", buf, 64));
    EXPECT_STREQ(L"C:\\Windows", buf);
    ExpandEnvironmentStringsW(L"%SystemRoot%\\x", buf, 64);
    EXPECT_STREQ(L"C:\\Windows\\x", buf);
}

}  // namespace
