// The machine's restarts: privileges a token enables, ExitWindowsEx recorded only with the
// shutdown privilege, and the restart prompt's answers.
#include <windows.h>

#include <setupapi.h>

#include "sim_fixture.h"
#include "winsim/shutdown.h"

namespace {

class Shutdown : public SimTest {
protected:
    // Enables (or disables) the privilege in the process's token; the last error after.
    DWORD Adjust(const wchar_t* name, bool enable, BOOL* ok = nullptr) {
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
        EXPECT_TRUE(LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid));
        BOOL r = AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
        DWORD error = GetLastError();
        if (ok) *ok = r;
        CloseHandle(token);
        return error;
    }
};

TEST_F(Shutdown, RestartNeedsTheEnabledPrivilege) {
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD), GetLastError());
    EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0));  // a logoff needs none
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Adjust(SE_SHUTDOWN_NAME, true));
    EXPECT_TRUE(winsim::shutdown::PrivilegeEnabled(machine(), GetCurrentProcessId(), SE_SHUTDOWN_NAME));
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 7));
    auto r = winsim::shutdown::Requests(machine());
    ASSERT_EQ(2u, r.size());
    EXPECT_EQ(UINT(EWX_LOGOFF), r[0].flags);
    EXPECT_EQ(UINT(EWX_REBOOT | EWX_FORCE), r[1].flags);
    EXPECT_EQ(7u, r[1].reason);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Adjust(SE_SHUTDOWN_NAME, false));
    EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN, 0));
}

TEST_F(Shutdown, WithheldPrivilegeIsNotAssigned) {
    winsim::shutdown::SetPrivilegeHeld(machine(), SE_SHUTDOWN_NAME, false);
    BOOL ok = FALSE;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), Adjust(SE_SHUTDOWN_NAME, true, &ok));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    LUID luid;
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, L"SeNoSuchPrivilege", &luid));
}

TEST_F(Shutdown, PromptAnswers) {
    EXPECT_EQ(SPFILEQ_REBOOT_RECOMMENDED, SetupPromptReboot(nullptr, nullptr, FALSE));
    winsim::shutdown::SetPromptAnswer(machine(), winsim::shutdown::PromptAnswer::Restart);
    EXPECT_EQ(SPFILEQ_REBOOT_RECOMMENDED | SPFILEQ_REBOOT_IN_PROGRESS, SetupPromptReboot(nullptr, nullptr, FALSE));
    winsim::shutdown::SetPromptAnswer(machine(), winsim::shutdown::PromptAnswer::Fail, ERROR_GEN_FAILURE);
    EXPECT_EQ(-1, SetupPromptReboot(nullptr, nullptr, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    EXPECT_EQ(3, winsim::shutdown::PromptCount(machine()));
    auto r = winsim::shutdown::Requests(machine());
    ASSERT_EQ(1u, r.size());
    EXPECT_TRUE(r[0].prompted);
}

}  // namespace
