// SHOW_REBOOTDIALOG and CMD_REBOOT: the user's answer, the silent restart with its
// privilege, failures, and "/reboot=suppress".
#include "engine_fixture.h"

#include "winsim/shutdown.h"

namespace {

using winsim::shutdown::PromptAnswer;

struct RebootCase {
    const char* name;
    const wchar_t* command;
    std::wstring args;
    PromptAnswer answer;
    bool withhold;     // the user lacks the shutdown privilege
    DWORD exit_error;  // ExitWindowsEx fails with it
    int code;          // the command's result
    int prompts;
    int restarts;  // restarts recorded
    bool forced;   // the restart is ExitWindowsEx(EWX_REBOOT | EWX_FORCE)
};

const RebootCase kCases[] = {
    {"PromptAgreed", L"SHOW_REBOOTDIALOG", L"", PromptAnswer::Restart, false, 0, 0, 1, 1, false},
    {"PromptDeclined", L"SHOW_REBOOTDIALOG", L"", PromptAnswer::Decline, false, 0, 0, 1, 0, false},
    {"PromptFails", L"SHOW_REBOOTDIALOG", L"", PromptAnswer::Fail, false, 0, 61, 1, 0, false},
    // The prompt runs in a silent run too.
    {"PromptSilent", L"SHOW_REBOOTDIALOG", L"/s", PromptAnswer::Restart, false, 0, 0, 1, 1, false},
    {"PromptSuppressed", L"SHOW_REBOOTDIALOG", L"/REBOOT=Suppress", PromptAnswer::Restart, false, 0, 0, 0, 0, false},
    {"RebootAsks", L"CMD_REBOOT", L"", PromptAnswer::Restart, false, 0, 0, 1, 1, false},
    {"RebootPromptFails", L"CMD_REBOOT", L"", PromptAnswer::Fail, false, 0, 61, 1, 0, false},
    {"SilentRestarts", L"CMD_REBOOT", L"-S", PromptAnswer::Decline, false, 0, 0, 0, 1, true},
    {"SilentWithoutPrivilege", L"CMD_REBOOT", L"/S", PromptAnswer::Decline, true, 0, 67, 0, 0, false},
    {"SilentRestartFails", L"CMD_REBOOT", L"/S", PromptAnswer::Decline, false, ERROR_ACCESS_DENIED, 67, 0, 0, false},
    {"SilentSuppressed", L"CMD_REBOOT", L"/s /reboot=suppress", PromptAnswer::Restart, false, 0, 0, 0, 0, false},
    // The dash form counts only as typed.
    {"DashSuppressed", L"CMD_REBOOT", L"-reboot=suppress", PromptAnswer::Restart, false, 0, 0, 0, 0, false},
    {"DashUpperNotSuppressed", L"CMD_REBOOT", L"-REBOOT=SUPPRESS", PromptAnswer::Decline, false, 0, 0, 1, 0, false},
};

class Reboots : public EngineTest, public ::testing::WithParamInterface<RebootCase> {};

TEST_P(Reboots, Outcome) {
    const RebootCase& c = GetParam();
    winsim::shutdown::SetPromptAnswer(machine(), c.answer, ERROR_GEN_FAILURE);
    if (c.withhold) winsim::shutdown::SetPrivilegeHeld(machine(), L"SeShutdownPrivilege", false);
    winsim::shutdown::SetExitFailure(machine(), c.exit_error);
    WriteScript(std::wstring(L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=") + c.command + L"\r\n");
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    EXPECT_EQ(c.prompts, winsim::shutdown::PromptCount(machine()));
    auto requests = winsim::shutdown::Requests(machine());
    ASSERT_EQ(static_cast<size_t>(c.restarts), requests.size());
    if (c.restarts) {
        EXPECT_EQ(run.pid, requests[0].pid);
        EXPECT_EQ(!c.forced, requests[0].prompted);
        EXPECT_EQ(c.forced ? UINT(EWX_REBOOT | EWX_FORCE) : UINT(EWX_REBOOT), requests[0].flags);
    }
    if (std::wstring(c.command) == L"CMD_REBOOT") {
        EXPECT_TRUE(run.Logged(L"CMD_REBOOT FINISH"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Reboots, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RebootCase>& i) { return std::string(i.param.name); });

}  // namespace
