// Programs that tests describe (exit code, run time in the machine's time or never ending,
// an effect at the start) and the machine's record of every CreateProcessW start.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/program.h"
#include "winsim/registry.h"

#include <string>

namespace {

struct ProgramCase {
    const char* name;
    DWORD run_ms;
    bool never_ends;
    DWORD wait_ms;      // how long the test waits for it
    DWORD wait_result;  // WAIT_OBJECT_0 or WAIT_TIMEOUT
    DWORD waited_ms;    // the machine's time the wait took
    DWORD exit_code;    // afterwards (the program's, or 9 when the test ended it)
};

const ProgramCase kPrograms[] = {
    {"EndsAfterItsRunTime", 5000, false, 6000, WAIT_OBJECT_0, 5000, 3},
    {"StillRunsBeforeIt", 5000, false, 4999, WAIT_TIMEOUT, 4999, 9},
    {"NeverEnds", 0, true, 86400000, WAIT_TIMEOUT, 86400000, 9},
};

class DescribedPrograms : public SimTest, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(DescribedPrograms, RunForTheirTimeAndRecordTheirStart) {
    const ProgramCase& c = GetParam();
    winsim::DescribedProgram desc;
    desc.file_name = L"described.exe";
    desc.exit_code = 3;
    desc.run_ms = c.run_ms;
    desc.never_ends = c.never_ends;
    desc.effect = [] {
        HKEY k = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vq", 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
        RegCloseKey(k);
    };
    winsim::RegisterDescribedProgram(desc);
    winsim::InstallProgramImage(machine(), L"C:\\Tools\\described.exe", L"described.exe");
    std::wstring cmd = L"\"C:\\Tools\\described.exe\" /x";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, L"C:\\Tools", &si, &pi));
    uint64_t start = machine().NowMs();
    EXPECT_EQ(c.wait_result, WaitForSingleObject(pi.hProcess, c.wait_ms));
    EXPECT_EQ(c.waited_ms, machine().NowMs() - start);
    if (c.wait_result == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(c.exit_code, code);
    EXPECT_TRUE(winsim::Registry(machine()).KeyExists(L"HKLM\\SOFTWARE\\Vq"));
    auto starts = winsim::ProcessStarts(machine());
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(pi.dwProcessId, starts[0].pid);
    EXPECT_EQ(GetCurrentProcessId(), starts[0].parent_pid);
    EXPECT_EQ(L"C:\\Tools\\described.exe", starts[0].image);
    EXPECT_EQ(cmd, starts[0].command_line);
    EXPECT_EQ(L"C:\\Tools", starts[0].current_dir);
    EXPECT_EQ(static_cast<DWORD>(CREATE_NO_WINDOW), starts[0].flags);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

INSTANTIATE_TEST_SUITE_P(Cases, DescribedPrograms, ::testing::ValuesIn(kPrograms),
                         [](const ::testing::TestParamInfo<ProgramCase>& i) { return std::string(i.param.name); });

}  // namespace
