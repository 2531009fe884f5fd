// The service's control handler row by row, with SieWA mode and without: what reaches the
// HCI driver, the RF state, the worker events and SaveStatus.
#include <windows.h>

#include "HCIDevice.h"
#include "ModuleInfo.h"
#include "SvcGlobals.h"
#include "SvcMain.h"
#include "SvcThreads.h"
#include "sim_fixture.h"
#include "winsim/display.h"
#include "winsim/hci.h"
#include "winsim/registry.h"

#include <optional>
#include <string>
#include <vector>

namespace {

const std::wstring kProductKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";

// Worker events a row may set.
enum Ev : unsigned {
    kAtCheckNow = 1,
    kSuspend = 2,
    kResume = 4,
    kGobiConnect = 8,
    kEject = 16,
    kReAdd = 32,
};

constexpr int kSame = -1;  // RF or state left as it was

struct Row {
    const char* what;
    DWORD control;
    DWORD event_type;
    int state_before;
    int rf_after;                // kSame, 0, 1
    int state_after;             // kSame or the state
    std::optional<DWORD> saved;  // SaveStatus afterwards (none: not written)
    unsigned events;
    DWORD result;
};

class SvcControl : public SimTest {
protected:
    SvcControl() : SimTest("tablet", L"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe") {}
    void Start(bool siewa, bool disable_sar = false) {
        winsim::Display(machine()).set_tablet_pc(true);
        if (siewa) reg().SetDword(kProductKey, L"SieWAMode", 1);
        if (disable_sar) reg().SetDword(kProductKey, L"DisableSAR", 1);
        g_bNoPostureCtrl = FALSE;
        SvcCreateGlobalObjects();
        Event3G_Init();
        SvcCreateWorkerEvents();
    }
    ~SvcControl() override {
        SvcCloseWorkerEvents();
        if (g_hReadyEvent) CloseHandle(g_hReadyEvent), g_hReadyEvent = NULL;
        if (g_hComMutex) CloseHandle(g_hComMutex), g_hComMutex = NULL;
        SvcDeleteGlobalObjects();
        SvcResetState();
        g_bNoPostureCtrl = FALSE;
    }
    winsim::HciDriver hci() { return winsim::HciDriver(machine()); }
    winsim::Registry reg() { return winsim::Registry(machine()); }
    // Which worker events are set (consumes them).
    unsigned Events() {
        unsigned set = 0;
        const std::pair<HANDLE, Ev> evs[] = {{g_hAtCheckNowEvent, kAtCheckNow}, {g_hSuspendEvent, kSuspend},
                                             {g_hResumeEvent, kResume},         {g_hGobiConnectEvent, kGobiConnect},
                                             {g_hEjectEvent, kEject},           {g_hReAddEvent, kReAdd}};
        for (auto& [h, bit] : evs)
            if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0) set |= bit;
        return set;
    }
    void Check(const Row& r) {
        g_nRFState = r.state_before;
        g_bSuspendSeen = FALSE;
        reg().DeleteValue(kProductKey, L"SaveStatus");
        // RF starts opposite to what the row switches it to, so that a switch shows.
        bool rf_before = r.rf_after == 0;
        hci().set_rf(rf_before);
        hci().set_power(true);
        Events();
        EXPECT_EQ(r.result, SvcCtrlHandler(r.control, r.event_type, nullptr, nullptr)) << r.what;
        EXPECT_EQ(r.rf_after == kSame ? rf_before : r.rf_after == 1, hci().rf()) << r.what;
        EXPECT_EQ(r.state_after == kSame ? r.state_before : r.state_after, g_nRFState) << r.what;
        EXPECT_EQ(r.saved, reg().GetDword(kProductKey, L"SaveStatus")) << r.what;
        EXPECT_EQ(r.events, Events()) << r.what;
    }
};

constexpr DWORD P = SERVICE_CONTROL_POWEREVENT;
constexpr DWORD S = SERVICE_CONTROL_SESSIONCHANGE;
constexpr DWORD kBad = ERROR_INVALID_SERVICE_CONTROL;

const Row kPostureRows[] = {
    {"128 RF on", 128, 0, 0, 1, 1, 1u, kAtCheckNow, NO_ERROR},
    {"129 RF off", 129, 0, 1, 0, 0, 0u, 0, NO_ERROR},
    {"129 leaves a posture stop", 129, 0, 4, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"128 does not lift a posture stop", 128, 0, 4, kSame, kSame, std::nullopt, kAtCheckNow, NO_ERROR},
    {"130 is refused", 130, 0, 1, kSame, kSame, std::nullopt, 0, kBad},
    {"131 resume outside the stop posture: RF on", 131, 0, 0, 1, 1, 1u, 0, NO_ERROR},
    {"151 posture on (landscape is no stop posture)", 151, 0, 4, 1, 5, 5u, kAtCheckNow | kGobiConnect, NO_ERROR},
    {"151 after a user's RF-off: no switch, no events", 151, 0, 0, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"152 posture off", 152, 0, 1, 0, 4, 4u, 0, NO_ERROR},
    {"171 eject", 171, 0, 1, kSame, kSame, std::nullopt, kEject, NO_ERROR},
    {"181 re-add", 181, 0, 1, kSame, kSame, std::nullopt, kReAdd, NO_ERROR},
    {"suspend query", P, PBT_APMQUERYSUSPEND, 1, kSame, kSame, std::nullopt, kSuspend, NO_ERROR},
    {"standby", P, PBT_APMSTANDBY, 1, kSame, kSame, std::nullopt, kSuspend, NO_ERROR},
    {"resume without a suspend before", P, PBT_APMRESUMEAUTOMATIC, 1, kSame, kSame, std::nullopt, kResume | kAtCheckNow,
     NO_ERROR},
    {"a battery event is nothing", P, PBT_APMPOWERSTATUSCHANGE, 1, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"logoff switches RF off", S, WTS_SESSION_LOGOFF, 1, 0, 0, 0u, 0, NO_ERROR},
    {"logon is nothing", S, WTS_SESSION_LOGON, 1, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"hardware profile change", SERVICE_CONTROL_HARDWAREPROFILECHANGE, 0, 1, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"interrogate", SERVICE_CONTROL_INTERROGATE, 0, 1, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"an unknown user code", 200, 0, 1, kSame, kSame, std::nullopt, 0, NO_ERROR},
};

TEST_F(SvcControl, EveryRowWithPostureControl) {
    Start(false);
    ASSERT_TRUE(g_b3GDevice);
    ASSERT_FALSE(g_bSieWAMode);
    ASSERT_FALSE(g_bNoPostureCtrl);
    for (const auto& r : kPostureRows) Check(r);
}

const Row kSieWARows[] = {
    {"128 switches RF on directly", 128, 0, 2, 1, kSame, std::nullopt, kGobiConnect, NO_ERROR},
    {"129 switches RF off directly, SaveStatus untouched", 129, 0, 2, 0, kSame, std::nullopt, 0, NO_ERROR},
    {"151 switches RF on directly", 151, 0, 2, 1, kSame, std::nullopt, kGobiConnect, NO_ERROR},
    {"152 switches RF off directly", 152, 0, 2, 0, kSame, std::nullopt, 0, NO_ERROR},
    {"130 is refused", 130, 0, 2, kSame, kSame, std::nullopt, 0, kBad},
    {"131 is nothing", 131, 0, 2, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"suspend is nothing", P, PBT_APMSUSPEND, 2, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"resume is nothing", P, PBT_APMRESUMESUSPEND, 2, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"logoff is nothing", S, WTS_SESSION_LOGOFF, 2, kSame, kSame, std::nullopt, 0, NO_ERROR},
    {"171 still ejects", 171, 0, 2, kSame, kSame, std::nullopt, kEject, NO_ERROR},
};

TEST_F(SvcControl, EveryRowInSieWAMode) {
    Start(true);
    ASSERT_TRUE(g_bSieWAMode);
    ASSERT_TRUE(g_b3GDevice);
    for (const auto& r : kSieWARows) Check(r);
}

TEST_F(SvcControl, LogoffWithoutPostureControlLeavesRf) {
    Start(false, true);  // DisableSAR: the service itself keeps RF on
    ASSERT_TRUE(g_bNoPostureCtrl);
    // Start-up switched RF on as a user's request.
    EXPECT_EQ(1, g_nRFState);
    EXPECT_EQ(std::optional<DWORD>(1), reg().GetDword(kProductKey, L"SaveStatus"));
    const Row rows[] = {
        {"logoff leaves RF", S, WTS_SESSION_LOGOFF, 1, kSame, kSame, std::nullopt, 0, NO_ERROR},
        {"131 is nothing", 131, 0, 0, kSame, kSame, std::nullopt, 0, NO_ERROR},
    };
    for (const auto& r : rows) Check(r);
}

struct SuspendResume {
    int state_before;
    DWORD suspend_event;
    DWORD resume_event;
    int state_after;
};

TEST_F(SvcControl, SuspendThenResumeMarksRfUnknownWithoutSaving) {
    Start(false);
    const SuspendResume cases[] = {
        {1, PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, 3},
        {5, PBT_APMQUERYSUSPEND, PBT_APMRESUMESUSPEND, 3},
        {0, PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, 3},
        {4, PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, 4},  // a posture stop stays
        {1, PBT_APMSTANDBY, PBT_APMQUERYSTANDBYFAILED, 3},
    };
    for (const auto& c : cases) {
        g_nRFState = c.state_before;
        reg().DeleteValue(kProductKey, L"SaveStatus");
        hci().clear_log();
        Events();
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), SvcCtrlHandler(P, c.suspend_event, nullptr, nullptr));
        EXPECT_TRUE(g_bSuspendSeen);
        EXPECT_EQ(static_cast<unsigned>(kSuspend), Events());
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), SvcCtrlHandler(P, c.resume_event, nullptr, nullptr));
        EXPECT_EQ(c.state_after, g_nRFState) << c.state_before;
        EXPECT_FALSE(g_bSuspendSeen);
        EXPECT_EQ(static_cast<unsigned>(kResume | kAtCheckNow), Events());
        EXPECT_FALSE(reg().GetDword(kProductKey, L"SaveStatus").has_value());
        EXPECT_TRUE(hci().log().empty());
        // A second resume finds no suspend: the state is left alone.
        g_nRFState = c.state_before;
        SvcCtrlHandler(P, c.resume_event, nullptr, nullptr);
        EXPECT_EQ(c.state_before, g_nRFState);
    }
}

// Whatever the hardware did with RF over the sleep, the first request after the resume
// switches it: a user's RF-off after RF came back on, and RF-on after it stayed off.
TEST_F(SvcControl, FirstRequestAfterAResumeSwitchesTheHardware) {
    Start(false);
    const struct {
        int rf_after_resume;
        DWORD control;
        bool rf;
    } cases[] = {{1, 129, false}, {0, 128, true}, {1, 128, true}, {0, 129, false}};
    for (const auto& c : cases) {
        g_nRFState = 1;
        hci().set_rf(true);
        hci().set_rf_after_resume(c.rf_after_resume);
        SvcCtrlHandler(P, PBT_APMSUSPEND, nullptr, nullptr);
        hci().OnResume();
        SvcCtrlHandler(P, PBT_APMRESUMESUSPEND, nullptr, nullptr);
        hci().clear_log();
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), SvcCtrlHandler(c.control, 0, nullptr, nullptr));
        EXPECT_FALSE(hci().log().empty()) << c.control << " after resume " << c.rf_after_resume;
        EXPECT_EQ(c.rf, hci().rf()) << c.control << " after resume " << c.rf_after_resume;
        Events();
    }
}

TEST_F(SvcControl, ModulePowerOffReachesTheDriver) {
    Start(false);
    g_nRFState = 1;
    hci().clear_log();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), SvcCtrlHandler(161, 0, nullptr, nullptr));
    EXPECT_FALSE(hci().power());
    bool power_write = false;
    for (auto& r : hci().log())
        power_write = power_write || (r.in[0] == HCI_SET && r.in[3] == HCI_WWAN_POWER && r.in[2] == 0);
    EXPECT_TRUE(power_write);
    EXPECT_EQ(0, g_nRFState);
}

TEST_F(SvcControl, InitLeavesTheReadyEventUnsignalledAndTheMutexFree) {
    Start(false);
    ASSERT_NE(nullptr, g_hReadyEvent);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(g_hReadyEvent, 0));
    ASSERT_NE(nullptr, g_hComMutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_hComMutex, 0));
    ReleaseMutex(g_hComMutex);
    EXPECT_TRUE(g_bAtPortFound);
    EXPECT_EQ(std::wstring(L"USB\\VID_1A2B&PID_3C4D&MI_03"), g_szAtPortId);
    EXPECT_EQ(static_cast<DWORD>(HIGH_PRIORITY_CLASS), GetPriorityClass(GetCurrentProcess()));
    // With posture control the service does not switch RF at start.
    EXPECT_EQ(2, g_nRFState);
}

// An eject that waits for the busy COM port outlives the stop's wait: the objects it works
// on stay when the program ends, and the eject is carried out on them.
TEST_F(SvcControl, StopKeepsTheObjectsForAWorkerLeftRunning) {
    Start(false);
    ASSERT_TRUE(g_pModuleInfo->IsPresent());
    const wchar_t* module = L"USB\\VID_1A2B&PID_3C4D";
    g_hDisableEnableThread = SvcStartWorker(DisableEnableThread);
    ASSERT_NE(nullptr, g_hDisableEnableThread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_hComMutex, 0));
    SvcCtrlHandler(SERVICE_CONTROL_MODULE_EJECT, 0, nullptr, nullptr);
    Sleep(10);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), SvcCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr));
    EXPECT_TRUE(g_bSvcWorkerLeftRunning);
    EXPECT_EQ(nullptr, g_hDisableEnableThread);
    SvcDeleteGlobalObjects();  // as the program's end does
    ASSERT_NE(nullptr, g_pModuleInfo);
    EXPECT_TRUE(IsHwIdPresent(module));
    ReleaseMutex(g_hComMutex);
    Sleep(10);
    EXPECT_FALSE(IsHwIdPresent(module));
    // The thread has seen its stop after the eject and ended. The program started again
    // builds its objects in place of the kept ones.
    SvcCreateGlobalObjects();
    EXPECT_FALSE(g_bSvcWorkerLeftRunning);
    ASSERT_NE(nullptr, g_pModuleInfo);
}

TEST_F(SvcControl, NoModuleMeansNoPostureControlAndNoSwitching) {
    reg().DeleteValue(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID", L"3GID_SupportRL0");
    reg().SetDword(kProductKey, L"DisableSAR", 1);
    Start(false);
    EXPECT_FALSE(g_b3GDevice);
    EXPECT_FALSE(g_bNoPostureCtrl);
    hci().clear_log();
    SvcCtrlHandler(129, 0, nullptr, nullptr);
    SvcCtrlHandler(128, 0, nullptr, nullptr);
    EXPECT_TRUE(hci().log().empty());
}

}  // namespace
