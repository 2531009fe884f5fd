// The net.exe stand-in over services whose states follow the clock: exit codes and how
// long it runs in the machine's time.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/registry.h"
#include "winsim/scm.h"

#include <string>

namespace {

using winsim::scm::kNever;

class NetExeTest : public SimTest {
protected:
    void AddService(const wchar_t* name, winsim::scm::Simulation sim, DWORD state) {
        winsim::Registry r(machine());
        std::wstring key = std::wstring(winsim::scm::kServicesKey) + L"\\" + name;
        r.SetDword(key, L"Type", SERVICE_WIN32_SHARE_PROCESS);
        r.SetDword(key, L"Start", SERVICE_DEMAND_START);
        r.SetExpandString(key, L"ImagePath", L"%SystemRoot%\\System32\\svchost.exe -k netsvcs");
        winsim::scm::Simulate(machine(), name, sim, state);
    }
    // Runs net.exe with the arguments; its exit code, and its run time in *elapsed.
    DWORD Net(const std::wstring& args, uint64_t* elapsed) {
        std::wstring cmd = L"C:\\Windows\\System32\\net.exe " + args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        uint64_t start = machine().NowMs();
        EXPECT_TRUE(
            CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, INFINITE);
        *elapsed = machine().NowMs() - start;
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
};

struct NetCase {
    const char* name;
    const wchar_t* args;
    DWORD start_ms, stop_ms, state;  // the service "Svc" before the run
    DWORD code;
    uint64_t elapsed;
    DWORD after;  // its state after the run
};

class NetExeCases : public NetExeTest, public ::testing::WithParamInterface<NetCase> {};

TEST_P(NetExeCases, ExitCodeAndRunTime) {
    const NetCase& c = GetParam();
    AddService(L"Svc", {c.start_ms, c.stop_ms}, c.state);
    uint64_t elapsed = 0;
    EXPECT_EQ(c.code, Net(c.args, &elapsed));
    EXPECT_EQ(c.elapsed, elapsed);
    EXPECT_EQ(c.after, winsim::scm::Status(machine(), L"Svc").dwCurrentState);
}

INSTANTIATE_TEST_SUITE_P(
    Net, NetExeCases,
    ::testing::Values(
        // Looks every 500 ms: a start of 1200 ms is seen at 1500.
        NetCase{"startWaitsForRunning", L"start svc", 1200, 0, SERVICE_STOPPED, 0, 1500, SERVICE_RUNNING},
        NetCase{"startAtOnce", L"START Svc", 0, 0, SERVICE_STOPPED, 0, 0, SERVICE_RUNNING},
        NetCase{"startNeverRunningGivesUp", L"start Svc", kNever, 0, SERVICE_STOPPED, 2, 30000, SERVICE_START_PENDING},
        NetCase{"startWhenRunning", L"start Svc", 0, 0, SERVICE_RUNNING, 2, 0, SERVICE_RUNNING},
        NetCase{"stopWaitsForStopped", L"stop Svc", 0, 700, SERVICE_RUNNING, 0, 1000, SERVICE_STOPPED},
        NetCase{"stopWhenStopped", L"stop Svc", 0, 0, SERVICE_STOPPED, 2, 0, SERVICE_STOPPED},
        NetCase{"missingService", L"start Other", 0, 0, SERVICE_STOPPED, 2, 0, SERVICE_STOPPED},
        NetCase{"otherCommand", L"pause Svc", 0, 0, SERVICE_RUNNING, 1, 0, SERVICE_RUNNING},
        NetCase{"noName", L"start", 0, 0, SERVICE_STOPPED, 1, 0, SERVICE_STOPPED}),
    [](const ::testing::TestParamInfo<NetCase>& i) { return std::string(i.param.name); });

TEST_F(NetExeTest, PendingStatesEndOnTheirTime) {
    AddService(L"Svc", {2500, kNever}, SERVICE_START_PENDING);
    SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = OpenServiceW(mgr, L"Svc", SERVICE_QUERY_STATUS | SERVICE_STOP);
    ASSERT_NE(nullptr, svc);
    SERVICE_STATUS st{};
    Sleep(2499);
    ASSERT_TRUE(QueryServiceStatus(svc, &st));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), st.dwCurrentState);
    EXPECT_FALSE(ControlService(svc, SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), GetLastError());
    Sleep(1);
    ASSERT_TRUE(QueryServiceStatus(svc, &st));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), st.dwCurrentState);
    // A stop that never ends stays pending.
    EXPECT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &st));
    Sleep(100000);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), winsim::scm::Status(machine(), L"Svc").dwCurrentState);
    CloseServiceHandle(svc);
    CloseServiceHandle(mgr);
}

}  // namespace
