// The service's worker threads on the machine's clock: the AT watchdog against the modem
// behind the module's AT port, the disable-enable thread against the module's USB node and
// the Mobile Broadband service, and the Gobi connect thread.
#include <windows.h>

#include <string>
#include <vector>

#include <setupapi.h>

#include "MBApiCtrl.h"
#include "ModuleInfo.h"
#include "SvcGlobals.h"
#include "SvcThreads.h"
#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/files.h"
#include "winsim/hci.h"
#include "winsim/mbn.h"
#include "winsim/registry.h"
#include "winsim/serial.h"

namespace {

const std::wstring kProductKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";
const wchar_t* const kAtPortId = L"USB\\VID_1A2B&PID_3C4D&MI_03";
const wchar_t* const kModuleId = L"USB\\VID_1A2B&PID_3C4D";
const std::wstring kModuleNode = L"USB\\VID_1A2B&PID_3C4D\\6&1F2E3D4C&0&4";
const std::wstring kPortNode = L"USB\\VID_1A2B&PID_3C4D&MI_03\\7&2B3C4D5E&0&0003";
const std::wstring kPort = L"COM5";
constexpr DWORD kPoll = 100000;
// CComCtrl::Open lets the port settle this long before its first exchange.
constexpr uint64_t kOpenMs = 1000;

class WorkerTest : public SimTest {
protected:
    WorkerTest() : SimTest("tablet") {
        SvcResetState();
        g_b3GDevice = TRUE;
        g_bAtPortFound = TRUE;
        lstrcpynW(g_szAtPortId, kAtPortId, SVC_AT_PORT_ID_CCH);
        SvcCreateWorkerEvents();
        g_hComMutex = CreateMutexW(NULL, FALSE, SVC_COM_MUTEX_NAME);
        Set(L"SvcAtcmdPollingTime", kPoll);
        Set(L"SvcAtReadWaitTime", 100);
        Set(L"SvcAtCmdCount", 3);
        Set(L"SvcATCmdResumeWait", 500);
        hci().set_switch(true);
    }
    ~WorkerTest() override {
        StopAll();
        SvcCloseWorkerEvents();
        CloseHandle(g_hComMutex);
        g_hComMutex = NULL;
        delete g_pModuleInfo;
        g_pModuleInfo = NULL;
        delete g_pMBApiCtrl;
        g_pMBApiCtrl = NULL;
        SvcResetState();
    }
    void Set(const wchar_t* name, DWORD v) { winsim::Registry(machine()).SetDword(kProductKey, name, v); }
    winsim::HciDriver hci() { return winsim::HciDriver(machine()); }
    winsim::SerialPorts ports() { return winsim::SerialPorts(machine()); }
    winsim::DeviceTree tree() { return winsim::DeviceTree(machine()); }
    uint64_t Now() { return machine().NowMs(); }

    void StartWatchdog() {
        ports().clear_log();
        start_ = Now();
        at_ = SvcStartWorker(AtWatchdogThread);
        ASSERT_NE(nullptr, at_);
    }
    void StartDisableEnable() {
        g_pModuleInfo = new CModuleInfo();
        g_pMBApiCtrl = new CMBApiCtrl();
        tree().ClearChanges();
        start_ = Now();
        de_ = SvcStartWorker(DisableEnableThread);
        ASSERT_NE(nullptr, de_);
    }
    void StopAll() {
        SvcStopWorker(g_hAtStopEvent, &at_, INFINITE);
        SvcStopWorker(g_hDisableEnableStopEvent, &de_, INFINITE);
        SvcStopWorker(g_hGobiStopEvent, &gobi_, INFINITE);
    }
    // Lets the machine's clock run until ms after the thread started.
    void RunUntil(uint64_t ms) {
        uint64_t now = Now() - start_;
        if (ms > now) Sleep(DWORD(ms - now));
    }
    // Times (from the start) of the lines sent to the modem after its start-up command.
    std::vector<uint64_t> Times(const std::string& line) {
        std::vector<uint64_t> v;
        auto log = ports().log();
        for (size_t i = 0; i < log.size(); i++)
            if (log[i].line == line && !(i == 0 && line == "AT+CFUN=1")) v.push_back(log[i].time_ms - start_);
        return v;
    }
    std::vector<int> Polls(const std::string& line) {
        std::vector<int> v;
        for (uint64_t t : Times(line)) v.push_back(int(t / kPoll));
        return v;
    }
    bool Ended(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }
    bool Disabled() {
        auto n = tree().Get(tree().Find(kModuleNode));
        return n && (n->disabled_global || n->disabled_config);
    }
    // The module's functions go away while it is disabled and come back when enabled.
    std::vector<std::pair<winsim::DeviceChangeKind, uint64_t>> ModuleChanges() {
        std::vector<std::pair<winsim::DeviceChangeKind, uint64_t>> v;
        for (auto& c : tree().Changes())
            if (c.instance_id == kPortNode) v.push_back({c.kind, c.time_ms - start_});
        return v;
    }

    HANDLE at_ = NULL;
    HANDLE de_ = NULL;
    HANDLE gobi_ = NULL;
    uint64_t start_ = 0;
};

// ----------------------------------------------------------------------------------------
// AT watchdog. Polls come every kPoll ms; a check (open, one or two exchanges) takes less
// than 2 s, so the number of the poll period a line falls into tells the poll.

TEST_F(WorkerTest, WatchdogRestoresTheRadioFunction) {
    StartWatchdog();
    RunUntil(kPoll / 2);
    // The start-up command has switched the radio function on.
    EXPECT_EQ(1, ports().cfun(kPort));
    ports().set_cfun(kPort, 0);
    SetEvent(g_hAtCheckNowEvent);
    RunUntil(kPoll + kPoll / 2);
    EXPECT_EQ(std::vector<int>{1}, Polls("AT+CFUN?"));
    EXPECT_EQ(std::vector<int>{1}, Polls("AT+CFUN=1"));
    EXPECT_EQ(1, ports().cfun(kPort));
}

struct PollCase {
    const char* name;
    DWORD count;  // SvcAtCmdCount
    bool switch_on;
    int signal_poll;          // the check-now signal comes before this poll (-1 none)
    std::vector<int> checks;  // polls that query AT+CFUN? among the first eight
};
class WatchdogPolls : public WorkerTest, public ::testing::WithParamInterface<PollCase> {};

TEST_P(WatchdogPolls, ChecksPerSignalAndSwitchEdge) {
    Set(L"SvcAtCmdCount", GetParam().count);
    hci().set_switch(GetParam().switch_on);
    StartWatchdog();
    if (GetParam().signal_poll >= 0) {
        RunUntil(uint64_t(GetParam().signal_poll) * kPoll - kPoll / 2);
        SetEvent(g_hAtCheckNowEvent);
    }
    RunUntil(8 * kPoll + kPoll / 2);
    EXPECT_EQ(GetParam().checks, Polls("AT+CFUN?"));
    EXPECT_TRUE(Polls("AT+CFUN=1").empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, WatchdogPolls,
                         ::testing::Values(PollCase{"SwitchOnEdgeOnly", 3, true, -1, {1}},
                                           PollCase{"SignalAfterTheEdge", 3, true, 3, {1, 3, 4, 5}},
                                           PollCase{"SignalWithTheEdge", 3, true, 1, {1, 2, 3}},
                                           PollCase{"CountOne", 1, true, 3, {1, 3}},
                                           PollCase{"CountZero", 0, true, 3, {1}},
                                           PollCase{"SwitchOffNeverChecks", 3, false, 3, {}}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(WorkerTest, SwitchTurnedOnBetweenPollsChecksOnce) {
    hci().set_switch(false);
    StartWatchdog();
    RunUntil(2 * kPoll + kPoll / 2);
    EXPECT_TRUE(Polls("AT+CFUN?").empty());
    hci().set_switch(true);
    RunUntil(6 * kPoll + kPoll / 2);
    EXPECT_EQ(std::vector<int>{3}, Polls("AT+CFUN?"));
}

TEST_F(WorkerTest, BusyComMutexSkipsThePollWithoutCountingIt) {
    Set(L"SvcAtCmdCount", 2);
    hci().set_switch(false);
    StartWatchdog();
    RunUntil(kPoll / 2);
    hci().set_switch(true);
    SetEvent(g_hAtCheckNowEvent);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_hComMutex, 0));
    RunUntil(kPoll + kPoll / 2);
    EXPECT_TRUE(Polls("AT+CFUN?").empty());
    ReleaseMutex(g_hComMutex);
    RunUntil(6 * kPoll + kPoll / 2);
    EXPECT_EQ((std::vector<int>{2, 3}), Polls("AT+CFUN?"));
}

TEST_F(WorkerTest, FailureRetriesOncePerPollUntilItWorks) {
    StartWatchdog();
    RunUntil(kPoll / 2);
    ports().set_mode(kPort, winsim::ModemMode::Silent);
    RunUntil(3 * kPoll + kPoll / 2);
    // The edge check and then one retry per poll, each query followed by the switch-on.
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Polls("AT+CFUN?"));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Polls("AT+CFUN=1"));
    ports().set_mode(kPort, winsim::ModemMode::Normal);
    RunUntil(9 * kPoll + kPoll / 2);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), Polls("AT+CFUN?"));
    // Since the failure a signal gives one check instead of SvcAtCmdCount.
    SetEvent(g_hAtCheckNowEvent);
    RunUntil(15 * kPoll + kPoll / 2);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 10}), Polls("AT+CFUN?"));
}

TEST_F(WorkerTest, PortThatCannotBeOpenedIsRetriedEachPoll) {
    auto hold = ports().HoldAsOtherProcess(kPort);
    StartWatchdog();
    RunUntil(3 * kPoll + kPoll / 2);
    EXPECT_TRUE(ports().log().empty());
    hold.reset();
    RunUntil(6 * kPoll + kPoll / 2);
    EXPECT_EQ(std::vector<int>{4}, Polls("AT+CFUN?"));
}

TEST_F(WorkerTest, SuspendThenResume) {
    StartWatchdog();
    RunUntil(kPoll + kPoll / 2);
    ASSERT_EQ(std::vector<int>{1}, Polls("AT+CFUN?"));
    SetEvent(g_hSuspendEvent);
    RunUntil(10 * kPoll);
    EXPECT_EQ(std::vector<int>{1}, Polls("AT+CFUN?"));
    SetEvent(g_hResumeEvent);
    SetEvent(g_hAtCheckNowEvent);
    RunUntil(10 * kPoll + 400);
    EXPECT_EQ(std::vector<int>{1}, Polls("AT+CFUN?"));
    RunUntil(13 * kPoll + kPoll / 2);
    // After the resume pause it checks at once, then at the next polls, SvcAtCmdCount
    // times in all.
    EXPECT_EQ((std::vector<int>{1, 10, 11, 12}), Polls("AT+CFUN?"));
    EXPECT_EQ(10 * kPoll + 500 + kOpenMs, Times("AT+CFUN?")[1]);
}

TEST_F(WorkerTest, ResumeBeforeTheWatchdogWokeIsNotLost) {
    StartWatchdog();
    RunUntil(kPoll + kPoll / 2);
    SetEvent(g_hSuspendEvent);
    SetEvent(g_hResumeEvent);
    SetEvent(g_hAtCheckNowEvent);
    RunUntil(kPoll + kPoll / 2 + 2000);
    EXPECT_EQ((std::vector<uint64_t>{Times("AT+CFUN?")[0], kPoll + kPoll / 2 + 500 + kOpenMs}), Times("AT+CFUN?"));
}

TEST_F(WorkerTest, StaleResumeDoesNotEndTheNextSuspend) {
    StartWatchdog();
    RunUntil(kPoll + kPoll / 2);
    SetEvent(g_hResumeEvent);  // a resume with no suspend before it
    RunUntil(2 * kPoll + kPoll / 2);
    SetEvent(g_hSuspendEvent);
    SetEvent(g_hAtCheckNowEvent);
    RunUntil(8 * kPoll);
    EXPECT_EQ(std::vector<int>{1}, Polls("AT+CFUN?"));
}

TEST_F(WorkerTest, StopWhileSuspendedEndsTheWatchdog) {
    StartWatchdog();
    RunUntil(kPoll + kPoll / 2);
    SetEvent(g_hSuspendEvent);
    RunUntil(2 * kPoll);
    SetEvent(g_hAtStopEvent);
    RunUntil(2 * kPoll + 10);
    EXPECT_TRUE(Ended(at_));
}

TEST_F(WorkerTest, StopDuringTheResumePauseEndsTheWatchdog) {
    Set(L"SvcATCmdResumeWait", 60000);
    StartWatchdog();
    RunUntil(kPoll + kPoll / 2);
    SetEvent(g_hSuspendEvent);
    SetEvent(g_hResumeEvent);
    RunUntil(kPoll + kPoll / 2 + 1000);
    SetEvent(g_hAtStopEvent);
    RunUntil(kPoll + kPoll / 2 + 1010);
    EXPECT_TRUE(Ended(at_));
}

struct MissingCase {
    const char* name;
    const wchar_t* value;  // setting left out ("" none: no AT port instead)
};
class WatchdogOff : public WorkerTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(WatchdogOff, EndsAtOnceWithoutTouchingThePort) {
    if (GetParam().value[0])
        winsim::Registry(machine()).DeleteValue(kProductKey, GetParam().value);
    else
        g_bAtPortFound = FALSE;
    StartWatchdog();
    RunUntil(10);
    EXPECT_TRUE(Ended(at_));
    EXPECT_TRUE(ports().log().empty());
}

INSTANTIATE_TEST_SUITE_P(Settings, WatchdogOff,
                         ::testing::Values(MissingCase{"NoPollingTime", L"SvcAtcmdPollingTime"},
                                           MissingCase{"NoReadWaitTime", L"SvcAtReadWaitTime"},
                                           MissingCase{"NoCommandCount", L"SvcAtCmdCount"},
                                           MissingCase{"NoResumeWait", L"SvcATCmdResumeWait"},
                                           MissingCase{"NoAtPort", L""}),
                         [](const auto& i) { return std::string(i.param.name); });

// ----------------------------------------------------------------------------------------
// Eject and re-add.

TEST_F(WorkerTest, EjectWaitsForTheComMutexThenReAddBringsTheModuleBack) {
    StartDisableEnable();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_hComMutex, 0));
    SetEvent(g_hEjectEvent);
    RunUntil(1000);
    EXPECT_TRUE(IsHwIdPresent(kModuleId));
    ReleaseMutex(g_hComMutex);
    RunUntil(1010);
    EXPECT_FALSE(IsHwIdPresent(kModuleId));
    SetEvent(g_hReAddEvent);
    RunUntil(1020);
    EXPECT_TRUE(IsHwIdPresent(kModuleId));
}

TEST_F(WorkerTest, ModuleEventsNeedAModule) {
    g_b3GDevice = FALSE;
    StartDisableEnable();
    SetEvent(g_hEjectEvent);
    RunUntil(100);
    EXPECT_TRUE(IsHwIdPresent(kModuleId));
}

// ----------------------------------------------------------------------------------------
// The disable-enable thread's start-up action.

TEST_F(WorkerTest, FlagOneRestartsTheModuleAfterBothWaits) {
    Set(L"DisableEnableFlag", 1);
    Set(L"DE1S", 1000);
    Set(L"DE2S", 2000);
    Set(L"DEINT", 500);
    StartDisableEnable();
    RunUntil(5000);
    using K = winsim::DeviceChangeKind;
    EXPECT_EQ((std::vector<std::pair<K, uint64_t>>{{K::Removal, 3000}, {K::Arrival, 3500}}), ModuleChanges());
    EXPECT_FALSE(Disabled());
}

TEST_F(WorkerTest, FlagOneStopDuringTheFirstWaitLeavesTheModule) {
    Set(L"DisableEnableFlag", 1);
    Set(L"DE1S", 60000);
    StartDisableEnable();
    RunUntil(30000);
    SetEvent(g_hDisableEnableStopEvent);
    RunUntil(30010);
    EXPECT_TRUE(Ended(de_));
    EXPECT_TRUE(ModuleChanges().empty());
}

TEST_F(WorkerTest, FlagOneStopDuringThePauseEnablesFirst) {
    Set(L"DisableEnableFlag", 1);
    Set(L"DE1S", 100);
    Set(L"DE2S", 100);
    Set(L"DEINT", 60000);
    StartDisableEnable();
    RunUntil(1000);
    EXPECT_TRUE(Disabled());
    SetEvent(g_hDisableEnableStopEvent);
    RunUntil(1010);
    EXPECT_TRUE(Ended(de_));
    EXPECT_FALSE(Disabled());
}

TEST_F(WorkerTest, FlagOneTakesBackADisableThatWaitsForARestart) {
    Set(L"DisableEnableFlag", 1);
    Set(L"DE1S", 100);
    Set(L"DE2S", 100);
    Set(L"DEINT", 100);
    tree().SetRestartNeeded(tree().Find(kModuleNode), DI_NEEDRESTART);
    StartDisableEnable();
    RunUntil(1000);
    auto n = tree().Get(tree().Find(kModuleNode));
    ASSERT_TRUE(n.has_value());
    EXPECT_FALSE(n->disabled_global);
    EXPECT_FALSE(n->disabled_config);
    // The restart finds the module enabled.
    tree().Restart();
    EXPECT_TRUE(IsHwIdPresent(kAtPortId));
}

struct WaitRequestCase {
    const char* name;
    int at;      // ms after the start the request comes
    bool readd;  // re-add (after an eject made before the start) instead of eject
};
class FlagOneRequest : public WorkerTest, public ::testing::WithParamInterface<WaitRequestCase> {};

TEST_P(FlagOneRequest, RequestEndingAWaitEndsTheRestartUndone) {
    Set(L"DisableEnableFlag", 1);
    Set(L"DE1S", 1000);
    Set(L"DE2S", 1000);
    Set(L"DEINT", 100);
    StartDisableEnable();
    if (GetParam().readd) {
        ASSERT_EQ(0, g_pModuleInfo->Eject(kModuleId));
    }
    HANDLE request = GetParam().readd ? g_hReAddEvent : g_hEjectEvent;
    RunUntil(GetParam().at);
    SetEvent(request);
    RunUntil(5000);
    // The restart is given up and the request is not carried out.
    EXPECT_EQ(!GetParam().readd, IsHwIdPresent(kModuleId));
    EXPECT_FALSE(Disabled());
    // The thread serves the next one.
    EXPECT_FALSE(Ended(de_));
    SetEvent(request);
    RunUntil(5010);
    EXPECT_EQ(GetParam().readd, IsHwIdPresent(kModuleId));
}

INSTANTIATE_TEST_SUITE_P(Waits, FlagOneRequest,
                         ::testing::Values(WaitRequestCase{"EjectInFirstWait", 500, false},
                                           WaitRequestCase{"EjectInSecondWait", 1500, false},
                                           WaitRequestCase{"ReAddInFirstWait", 500, true}),
                         [](const auto& i) { return std::string(i.param.name); });

struct FirmwareCase {
    const char* name;
    const wchar_t* firmware;  // firmware the module reports (NULL: the interface is gone)
    bool restarted;
};
class FlagOneFirmware : public WorkerTest, public ::testing::WithParamInterface<FirmwareCase> {};

TEST_P(FlagOneFirmware, RestartsOnlyAModuleWithTheExpectedFirmware) {
    winsim::mbn::Service mbn(machine());
    if (GetParam().firmware) {
        auto iface = mbn.Interface(winsim::mbn::kTabletInterfaceId);
        ASSERT_TRUE(iface.has_value());
        iface->firmware_info = std::wstring(GetParam().firmware);
        mbn.SetInterface(*iface);
    } else {
        mbn.RemoveInterface(winsim::mbn::kTabletInterfaceId);
    }
    Set(L"DisableEnableFlag", 1);
    Set(L"DE1S", 100);
    Set(L"DE2S", 100);
    Set(L"DEINT", 100);
    StartDisableEnable();
    RunUntil(1000);
    EXPECT_EQ(GetParam().restarted ? 2u : 0u, ModuleChanges().size());
    EXPECT_FALSE(Disabled());
}

INSTANTIATE_TEST_SUITE_P(Firmware, FlagOneFirmware,
                         ::testing::Values(FirmwareCase{"Expected", L"SWI9X15C_01.11", true},
                                           FirmwareCase{"OtherCarrier", L"SWI9X15C_01.12", false},
                                           FirmwareCase{"OtherCase", L"swi9x15c_01.11", false},
                                           FirmwareCase{"NoInterface", NULL, false}),
                         [](const auto& i) { return std::string(i.param.name); });

struct FlagCase {
    const char* name;
    DWORD flag;
    bool start_disabled;
    bool disabled_after;
};
class StartFlag : public WorkerTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(StartFlag, ActsOnceAtTheStart) {
    if (GetParam().start_disabled) {
        CModuleInfo m;
        ASSERT_TRUE(m.DisableDevice(kModuleId));
    }
    Set(L"DisableEnableFlag", GetParam().flag);
    StartDisableEnable();
    RunUntil(100);
    EXPECT_EQ(GetParam().disabled_after, Disabled());
}

INSTANTIATE_TEST_SUITE_P(Flags, StartFlag,
                         ::testing::Values(FlagCase{"TwoDisables", 2, false, true},
                                           FlagCase{"ThreeEnables", 3, true, false},
                                           FlagCase{"ThreeOnRunningModule", 3, false, false},
                                           FlagCase{"OtherDoesNothing", 4, true, true},
                                           FlagCase{"OneWithoutWaitsRestarts", 1, false, false}),
                         [](const auto& i) { return std::string(i.param.name); });

// ----------------------------------------------------------------------------------------
// Gobi connect thread.

TEST_F(WorkerTest, GobiThreadNeedsItsSetting) {
    gobi_ = SvcStartWorker(GobiConnectThread);
    ASSERT_NE(nullptr, gobi_);
    Sleep(10);
    EXPECT_TRUE(Ended(gobi_));
}

TEST_F(WorkerTest, GobiThreadConnectsThenDisconnectsPerRequest) {
    Set(L"GobiConnectON", 0);
    // The library search starts in the program's folder, which needs a short form.
    winsim::files::CreateFolders(machine(), L"C:\\Program Files\\Quarven\\Setup");
    gobi_ = SvcStartWorker(GobiConnectThread);
    ASSERT_NE(nullptr, gobi_);
    SetEvent(g_hGobiConnectEvent);
    Sleep(10);
    SetEvent(g_hGobiConnectEvent);
    Sleep(10);
    std::vector<std::string> entries;
    for (auto& c : winsim::gobi::Calls(machine())) entries.push_back(c.entry);
    EXPECT_EQ((std::vector<std::string>{"QCWWANConnect", "QCWWANDisconnect", "QCWWANConnect", "QCWWANDisconnect"}),
              entries);
    EXPECT_FALSE(Ended(gobi_));
    SetEvent(g_hGobiStopEvent);
    Sleep(10);
    EXPECT_TRUE(Ended(gobi_));
}

}  // namespace
