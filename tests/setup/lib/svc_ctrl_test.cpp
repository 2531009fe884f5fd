// The service control class against the simulated Service Control Manager: the running
// wait on the virtual clock, the configuration changes and their registry effect, and
// net.exe's start and stop.
#include "SvcCtrl.h"

#include "lib_fixture.h"
#include "winsim/files.h"
#include "winsim/scm.h"

#include <mmsystem.h>

#include <optional>
#include <string>

namespace {

using winsim::scm::kNever;

std::wstring ServiceKey(const wchar_t* name) { return std::wstring(winsim::scm::kServicesKey) + L"\\" + name; }

class SvcTest : public LibTest {
protected:
    // A service without a program; runs_after: kNever never runs, 0 runs already, else it
    // is starting and runs that many ms from now.
    void AddService(const wchar_t* name, DWORD runs_after, DWORD stop_ms = 0) {
        winsim::Registry r(machine());
        std::wstring key = ServiceKey(name);
        r.SetDword(key, L"Type", SERVICE_WIN32_SHARE_PROCESS);
        r.SetDword(key, L"Start", SERVICE_AUTO_START);
        r.SetDword(key, L"ErrorControl", SERVICE_ERROR_NORMAL);
        r.SetExpandString(key, L"ImagePath", L"%SystemRoot%\\System32\\svchost.exe -k netsvcs");
        r.SetString(key, L"DisplayName", L"Old Name");
        DWORD state = runs_after == 0        ? SERVICE_RUNNING
                      : runs_after == kNever ? SERVICE_STOPPED
                                             : SERVICE_START_PENDING;
        winsim::scm::Simulate(machine(), name, {runs_after == kNever ? 0 : runs_after, stop_ms}, state);
    }
    DWORD State(const wchar_t* name) { return winsim::scm::Status(machine(), name).dwCurrentState; }
    CSvcCtrl svc_;
};

struct WaitCase {
    const char* name;
    bool exists;
    DWORD runs_after;
    DWORD interval, timeout;
    int result;
    uint64_t elapsed;
};

class SvcWaitTest : public SvcTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(SvcWaitTest, LooksUntilRunningOrTimeOut) {
    const WaitCase& c = GetParam();
    if (c.exists) AddService(L"Svc", c.runs_after);
    uint64_t start = machine().NowMs();
    EXPECT_EQ(c.result, svc_.WaitForRunning(L"Svc", c.interval, c.timeout));
    EXPECT_EQ(c.elapsed, machine().NowMs() - start);
    EXPECT_EQ(c.timeout == 0 && !c.result, Logged(L"IsStarted:FAIL but timeout = 0."));
    EXPECT_EQ(!c.exists, Logged(L"IsStarted:Service did not exist!"));
}

INSTANTIATE_TEST_SUITE_P(Wait, SvcWaitTest,
                         ::testing::Values(WaitCase{"runningOneLook", true, 0, 1000, 0, 1, 0},
                                           WaitCase{"startingOneLook", true, 2500, 1000, 0, 0, 0},
                                           // Looks at 0, 1000, 2000, 3000: running from 2500.
                                           WaitCase{"runsAfterAWhile", true, 2500, 1000, 10000, 1, 3000},
                                           // At 2000 more than 1500 ms have passed.
                                           WaitCase{"runsTooLate", true, 2500, 1000, 1500, 0, 2000},
                                           WaitCase{"neverRuns", true, kNever, 1000, 3500, 0, 4000},
                                           WaitCase{"zeroIntervalStillMovesTheClock", true, 25, 0, 1000, 1, 25},
                                           WaitCase{"intervalOverTimeout", true, kNever, 5000, 200, 0, 5000},
                                           WaitCase{"missingWaitsItsTimeOut", false, 0, 1000, 1500, 0, 2000}),
                         [](const ::testing::TestParamInfo<WaitCase>& i) { return std::string(i.param.name); });

TEST_F(SvcTest, CounterWrapRestartsTheCount) {
    AddService(L"Svc", kNever);
    // timeGetTime() reads 2^32 - 250 now: the count starts again at 0 after 250 ms and the
    // wait ends when it passes 1000.
    machine().SetTickStart(0x100000000ull - 250 - machine().NowMs());
    uint64_t start = machine().NowMs();
    EXPECT_EQ(0, svc_.IsStarted(L"Svc", SERVICE_RUNNING, 100, 1000));
    EXPECT_EQ(1300u, machine().NowMs() - start);
    EXPECT_TRUE(Logged(L"IsStarted:If detect over 49.7 days, it reset start time."));
}

TEST_F(SvcTest, ExistenceAndStatusCloseWhatTheyOpened) {
    AddService(L"Svc", 0);
    EXPECT_EQ(1, svc_.IsExist(L"svc"));
    EXPECT_EQ(0, svc_.IsExist(L"Nope"));
    EXPECT_EQ(0, svc_.IsExist(L""));
    DWORD state = 0;
    EXPECT_EQ(1, svc_.GetSvcStatus(L"Svc", &state));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), state);
    const std::vector<std::wstring> expected = {
        L"IsExist:Found service svc",
        L"IsExist:CloseServiceHandle-Service",
        L"IsExist:CloseServiceHandle-ServiceControlManger",
        L"IsExist:OpenService() Nope Error 1060",
        L"IsExist:CloseServiceHandle-ServiceControlManger",
        L"IsExist:OpenService()  Error 123",
        L"IsExist:CloseServiceHandle-ServiceControlManger",
        L"GetSvcStatus:CloseServiceHandle-Service\n",
        L"GetSvcStatus:CloseServiceHandle-ServiceControlManger\n",
    };
    EXPECT_EQ(expected, Logs());
}

// Each change and what it leaves in the service's key.
struct ChangeCase {
    const char* name;
    int (*change)(CSvcCtrl&, LPCWSTR);
    int result;
    const wchar_t* value;     // the value looked at
    const wchar_t* expected;  // its text or number afterwards; null: absent
};

class SvcChangeTest : public SvcTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(SvcChangeTest, ChangesOneSetting) {
    const ChangeCase& c = GetParam();
    AddService(L"Svc", kNever);
    winsim::Registry r(machine());
    std::wstring key = ServiceKey(L"Svc");
    r.SetDword(key, L"Start", SERVICE_DISABLED);
    r.SetString(key, L"Description", L"Old text");
    EXPECT_EQ(c.result, c.change(svc_, L"Svc"));
    std::optional<std::wstring> text = r.GetString(key, c.value);
    std::optional<DWORD> number = r.GetDword(key, c.value);
    std::wstring got = text ? *text : number ? std::to_wstring(*number) : L"<absent>";
    EXPECT_EQ(c.expected ? std::wstring(c.expected) : L"<absent>", got);
    // The rest stays.
    if (std::wstring(c.value) != L"Type") {
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_SHARE_PROCESS), r.GetDword(key, L"Type"));
    }
    EXPECT_EQ(0, c.change(svc_, L"Missing"));
    EXPECT_EQ(c.result == 1, Logged(L"OpenService failed (1060)\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Change, SvcChangeTest,
    ::testing::Values(
        ChangeCase{"enable", [](CSvcCtrl& s, LPCWSTR n) { return s.EnableSvc(n); }, 1, L"Start", L"3"},
        ChangeCase{"disable", [](CSvcCtrl& s, LPCWSTR n) { return s.DisableSvc(n); }, 1, L"Start", L"4"},
        ChangeCase{"displayName", [](CSvcCtrl& s, LPCWSTR n) { return s.ChangeDisplayName(n, L"New Name"); }, 1,
                   L"DisplayName", L"New Name"},
        ChangeCase{"emptyDisplayNameRefused", [](CSvcCtrl& s, LPCWSTR n) { return s.ChangeDisplayName(n, L""); }, 0,
                   L"DisplayName", L"Old Name"},
        ChangeCase{"description", [](CSvcCtrl& s, LPCWSTR n) { return s.ChangeDescription(n, L"New text"); }, 1,
                   L"Description", L"New text"},
        ChangeCase{"emptyDescriptionClears", [](CSvcCtrl& s, LPCWSTR n) { return s.ChangeDescription(n, L""); }, 1,
                   L"Description", nullptr},
        ChangeCase{"delete", [](CSvcCtrl& s, LPCWSTR n) { return s.DeleteSvc(n); }, 1, L"Type", nullptr}),
    [](const ::testing::TestParamInfo<ChangeCase>& i) { return std::string(i.param.name); });

// net.exe: RunNetCmd waits for it at most the given time and reports its exit code.
struct NetCase {
    const char* name;
    int op;
    DWORD runs_after, stop_ms;
    DWORD wait;
    const wchar_t* exit_log;
    uint64_t elapsed;
    DWORD after;  // the state once net.exe has ended
};

class SvcNetTest : public SvcTest, public ::testing::WithParamInterface<NetCase> {};

TEST_P(SvcNetTest, RunsNetAndWaits) {
    const NetCase& c = GetParam();
    AddService(L"Svc", c.runs_after, c.stop_ms);
    uint64_t start = machine().NowMs();
    EXPECT_EQ(1, svc_.RunNetCmd(c.op, L"Svc", c.wait));
    EXPECT_EQ(c.elapsed, machine().NowMs() - start);
    EXPECT_TRUE(Logged(c.exit_log));
    Sleep(40000);  // net.exe ends on its own
    EXPECT_EQ(c.after, State(L"Svc"));
}

INSTANTIATE_TEST_SUITE_P(
    Net, SvcNetTest,
    ::testing::Values(NetCase{"start", SVCCTRL_NET_START, kNever, 0, 60000,
                              L"CSvcCtrl::RunNetCmd() CreateProcess - ExitCode is 0", 0, SERVICE_RUNNING},
                      NetCase{"stopTakesItsTime", SVCCTRL_NET_STOP, 0, 1200, 60000,
                              L"CSvcCtrl::RunNetCmd() CreateProcess - ExitCode is 0", 1500, SERVICE_STOPPED},
                      NetCase{"stopNotRunning", SVCCTRL_NET_STOP, kNever, 0, 60000,
                              L"CSvcCtrl::RunNetCmd() CreateProcess - ExitCode is 2", 0, SERVICE_STOPPED},
                      NetCase{"noWait", SVCCTRL_NET_STOP, 0, 1200, 0,
                              L"CSvcCtrl::RunNetCmd() CreateProcess - ExitCode is 259", 0, SERVICE_STOPPED},
                      NetCase{"waitShorterThanNet", SVCCTRL_NET_STOP, 0, kNever, 10000,
                              L"CSvcCtrl::RunNetCmd() CreateProcess - ExitCode is 259", 10000, SERVICE_STOP_PENDING}),
    [](const ::testing::TestParamInfo<NetCase>& i) { return std::string(i.param.name); });

TEST_F(SvcTest, NetCmdWithoutNetExeFails) {
    AddService(L"Svc", kNever);
    ASSERT_TRUE(DeleteFileW(L"C:\\Windows\\System32\\net.exe"));
    EXPECT_EQ(0, svc_.RunNetCmd(SVCCTRL_NET_START, L"Svc", 60000));
    EXPECT_TRUE(Logged(L"CSvcCtrl::RunNetCmd() Error can not find net.exe = C:\\Windows\\System32\\net.exe"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), State(L"Svc"));
}

}  // namespace
