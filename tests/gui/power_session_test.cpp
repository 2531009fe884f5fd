// Power, sessions and timers under the virtual clock: the Tarsk state, the panel's
// brightness, the start-up polling, the three ways a sleep goes (and the modem port that
// keeps the module in), resume and automatic resume, console connect and disconnect,
// another session's logoff, and the session registration retried every 3000 ms until the
// terminal services take it.
#include "gui_fixture.h"

#include "winsim/devices.h"
#include "winsim/serial.h"
#include "winsim/wts.h"

#include <ntddvdeo.h>
#include <wtsapi32.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace {

const wchar_t* kTarsk = L"HKCU\\Software\\Quarven\\Tarsk";

class Power : public GuiTest {
protected:
    void SetTarsk(std::optional<DWORD> state, std::optional<DWORD> no_wake) {
        winsim::Registry r(machine());
        r.CreateKey(kTarsk);
        if (state) r.SetDword(kTarsk, L"TarskState", *state);
        if (no_wake) r.SetDword(kTarsk, L"NoWake", *no_wake);
    }
    // Sends a message to the frame; returns the machine time it took.
    DWORD Send(UINT msg, WPARAM w, LPARAM l = 0) {
        DWORD t = GetTickCount();
        SendMessageW(frame_->m_hWnd, msg, w, l);
        return GetTickCount() - t;
    }
    // The control codes sent while the frame ran for ms.
    std::vector<DWORD> Run(DWORD ms) {
        frame_->codes.clear();
        Pump(ms);
        return frame_->codes;
    }
};

struct TarskCase {
    const char* name;
    std::optional<DWORD> state, no_wake;
    int expected;
};
void PrintTo(const TarskCase& c, std::ostream* os) { *os << c.name; }
class Tarsk : public Power, public ::testing::WithParamInterface<TarskCase> {};

TEST_P(Tarsk, StateFromTheTwoValues) {
    const auto& c = GetParam();
    if (c.state || c.no_wake) SetTarsk(c.state, c.no_wake);
    EXPECT_EQ(c.expected, GetTarskState());
}

INSTANTIATE_TEST_SUITE_P(Table, Tarsk,
                         ::testing::Values(TarskCase{"NoKey", std::nullopt, std::nullopt, 0},
                                           TarskCase{"NoState", std::nullopt, 0u, 0},
                                           TarskCase{"OneWithoutNoWake", 1u, std::nullopt, 1},
                                           TarskCase{"One", 1u, 0u, 2}, TarskCase{"TwoWakes", 2u, 0u, 3},
                                           TarskCase{"TwoNoWake", 2u, 1u, 4}, TarskCase{"TwoOddNoWake", 2u, 7u, 1},
                                           TarskCase{"Other", 3u, 0u, 1}),
                         [](const auto& i) { return std::string(i.param.name); });

struct LcdCase {
    const char* name;
    std::vector<BYTE> levels;
    BYTE ac, dc;
    DWORD failing_code;
    bool present;
    bool lowest;
};
void PrintTo(const LcdCase& c, std::ostream* os) { *os << c.name; }
class Lcd : public Power, public ::testing::WithParamInterface<LcdCase> {};

TEST_P(Lcd, LowestAcBrightness) {
    const auto& c = GetParam();
    display().set_lcd_present(c.present);
    display().set_brightness_levels(c.levels);
    display().set_brightness(c.ac, c.dc);
    if (c.failing_code) display().set_brightness_error(c.failing_code, ERROR_GEN_FAILURE);
    EXPECT_EQ(c.lowest, IsLcdAtLowestBrightness() != FALSE);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Lcd,
    ::testing::Values(LcdCase{"AtLowest", {0, 50, 100}, 0, 100, 0, true, true},
                      LcdCase{"Above", {0, 50, 100}, 50, 0, 0, true, false},
                      LcdCase{"LowestNotFirst", {100, 30, 60}, 30, 100, 0, true, true},
                      LcdCase{"DcDoesNotCount", {10, 50}, 50, 10, 0, true, false},
                      LcdCase{"NoLevelsMeansHundred", {}, 100, 100, 0, true, true},
                      LcdCase{"LevelsFail", {0, 50}, 0, 0, IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS, true, false},
                      LcdCase{"BrightnessFails", {0, 50}, 0, 0, IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS, true, false},
                      LcdCase{"NoPanel", {0, 50}, 0, 0, 0, false, false}),
    [](const auto& i) { return std::string(i.param.name); });

struct PollCase {
    const char* name;
    DWORD start, interval, max;
    std::vector<int> ticks;  // the start-up polling's controls in each second
};
void PrintTo(const PollCase& c, std::ostream* os) { *os << c.name; }
class StartupPolling : public Power, public ::testing::WithParamInterface<PollCase> {};

TEST_P(StartupPolling, TicksUntilTheSumReachesTheMaximum) {
    const auto& c = GetParam();
    SetProduct(L"StartTime", c.start);
    SetProduct(L"PollingInterval", c.interval);
    SetProduct(L"PollingMaxTime", c.max);
    HANDLE ready = CreateEventW(nullptr, TRUE, TRUE, READY_EVENT_NAME);
    auto& f = Open();
    std::vector<int> ticks;
    for (size_t i = 0; i < c.ticks.size(); ++i) ticks.push_back(static_cast<int>(Run(1000).size()));
    EXPECT_EQ(c.ticks, ticks);
    EXPECT_EQ(0u, f.GetTimer(TIMER_POLLSTART));
    CloseHandle(ready);
}

INSTANTIATE_TEST_SUITE_P(Table, StartupPolling,
                         ::testing::Values(PollCase{"TenTicks", 1000, 500, 5000, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
                                           PollCase{"EveryTwoSeconds", 2000, 1000, 3000, {0, 1, 0, 1, 0, 1, 0, 0}},
                                           PollCase{"StepZeroTicksOnce", 1000, 0, 5000, {1, 0, 0}},
                                           PollCase{"PeriodZeroNeverStarts", 0, 500, 5000, {0, 0, 0}}),
                         [](const auto& i) { return std::string(i.param.name); });

struct SuspendCase {
    const char* name;
    std::optional<DWORD> tarsk, no_wake;
    bool on_eject_list;
    DWORD since_resume;  // ms between set-up and the sleep
    DWORD block, allow;  // BlockTimeShortTimeSuspend, AllowEjectFromResume
    std::vector<DWORD> codes;
    DWORD min_ms, max_ms;  // how long the sleep's handling blocked the frame
};
void PrintTo(const SuspendCase& c, std::ostream* os) { *os << c.name; }
class Suspend : public Power, public ::testing::WithParamInterface<SuspendCase> {};

TEST_P(Suspend, ControlsAndEject) {
    const auto& c = GetParam();
    if (c.tarsk || c.no_wake) SetTarsk(c.tarsk, c.no_wake);
    if (!c.on_eject_list) winsim::Registry(machine()).DeleteValue(L"HKLM\\SOFTWARE\\Quarven\\Veltrane", L"EjectId0");
    SetProduct(L"BlockTimeShortTimeSuspend", c.block);
    SetProduct(L"AllowEjectFromResume", c.allow);
    SetProduct(L"WaitTimeRemoveComplete", 2000);  // no service: nothing is removed
    auto& f = Open();
    Pump(c.since_resume);
    f.codes.clear();
    DWORD took = Send(WM_POWERBROADCAST, PBT_APMSUSPEND);
    EXPECT_EQ(c.codes, f.codes);
    EXPECT_LE(c.min_ms, took);
    EXPECT_GE(c.max_ms, took);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Suspend,
    ::testing::Values(
        SuspendCase{"TarskOneKeepsRfOn", 1u, 0u, true, 2000, 0, 0, {128}, 0, 100},
        SuspendCase{"TarskTwoKeepsRfOn", 2u, 0u, true, 2000, 0, 0, {128}, 0, 100},
        SuspendCase{"TarskNoWakeKeepsRfOn", 2u, 1u, true, 2000, 0, 0, {128}, 0, 100},
        SuspendCase{"NoWakeMissingEjects", 1u, std::nullopt, true, 2000, 0, 1000, {129, 171}, 2000, 2400},
        SuspendCase{"NotOnTheEjectList", std::nullopt, std::nullopt, false, 2000, 0, 0, {129}, 0, 100},
        SuspendCase{"TooSoonAfterResume", std::nullopt, std::nullopt, true, 2000, 0, 60000, {129}, 0, 100},
        SuspendCase{"ShortGapWaitsThenEjects", std::nullopt, std::nullopt, true, 1000, 5000, 0, {129, 171}, 5800, 6600},
        SuspendCase{"ShortGapWaitsAtMostFifteenSeconds",
                    std::nullopt,
                    std::nullopt,
                    true,
                    1000,
                    60000,
                    0,
                    {129, 171},
                    17000,
                    17400}),
    [](const auto& i) { return std::string(i.param.name); });

// The eject before a sleep needs the modem's port free: held by another process or failing
// to open, it keeps the module in; a port whose device is not found does not count.
struct PortCase {
    const char* name;
    int state;  // 0 free, 1 held by another process, 2 failing to open, 3 its device gone
    std::vector<DWORD> codes;
};
void PrintTo(const PortCase& c, std::ostream* os) { *os << c.name; }
class SuspendPort : public Power, public ::testing::WithParamInterface<PortCase> {};

TEST_P(SuspendPort, CheckedPortInUseKeepsTheModule) {
    const auto& c = GetParam();
    SetProduct(L"WaitTimeRemoveComplete", 1000);
    winsim::SerialPorts ports(machine());
    std::unique_ptr<winsim::SerialPorts::Hold> hold;
    if (c.state == 1) hold = ports.HoldAsOtherProcess(L"COM5");
    if (c.state == 2) ports.set_open_error(L"COM5", ERROR_GEN_FAILURE);
    if (c.state == 3) {
        winsim::DeviceTree tree(machine());
        tree.Unplug(tree.FindByHardwareId(L"USB\\VID_1A2B&PID_3C4D&MI_03").front());
    }
    auto& f = Open();
    Pump(2000);
    f.codes.clear();
    Send(WM_POWERBROADCAST, PBT_APMSUSPEND);
    EXPECT_EQ(c.codes, f.codes);
}

INSTANTIATE_TEST_SUITE_P(Table, SuspendPort,
                         ::testing::Values(PortCase{"Free", 0, {129, 171}}, PortCase{"HeldElsewhere", 1, {129}},
                                           PortCase{"FailingToOpen", 2, {129}}, PortCase{"DeviceGone", 3, {129, 171}}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Power, ResumePollsThePostureAndReAddsTheModule) {
    hci().set_posture_flags(0x2000);  // DMDO_90 stops RF
    display().Rotate(DMDO_90);
    SetProduct(L"ResumePollingInterval", 1000);
    SetProduct(L"ResumePollingMaxTime", 3000);
    SetProduct(L"ResumeRecoveryWaitTime", 1500);
    auto& f = Open();
    // A resume from failure is a resume too.
    for (LPARAM from_failure : {0, 1}) {
        Send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, from_failure);
        EXPECT_NE(0u, f.GetTimer(TIMER_POLLRESUME));
        EXPECT_EQ((std::vector<DWORD>{129, 181, 129, 129}), Run(3500)) << from_failure;
        EXPECT_EQ(0u, f.GetTimer(TIMER_POLLRESUME));
        EXPECT_EQ(0u, f.GetTimer(TIMER_RECOVERY));
        EXPECT_TRUE(Run(3000).empty());
    }
}

TEST_F(Power, AutomaticResumeKeepsRfOnWhileThePanelIsDark) {
    hci().set_posture_flags(0x2000);
    display().Rotate(DMDO_90);
    SetTarsk(1u, 0u);
    display().set_brightness(0, 0);
    SetProduct(L"ResumePollingInterval", 1000);
    SetProduct(L"ResumePollingMaxTime", 3000);
    SetProduct(L"ResumeRecoveryWaitTime", 1500);
    auto& f = Open();
    Send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    EXPECT_EQ((std::vector<DWORD>{128, 181, 128, 128}), Run(3500));
    EXPECT_EQ(0u, f.GetTimer(TIMER_AUTORESUME));
    // The panel lit: the first tick hands over to the resume polling.
    Send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    display().set_brightness(60, 60);
    EXPECT_EQ(std::vector<DWORD>{}, Run(1100));
    EXPECT_EQ(0u, f.GetTimer(TIMER_AUTORESUME));
    EXPECT_NE(0u, f.GetTimer(TIMER_POLLRESUME));
    EXPECT_EQ((std::vector<DWORD>{129, 181, 129, 129}), Run(3500));
}

TEST_F(Power, ConsoleDisconnectStopsTheTimersAndConnectRestartsThePolling) {
    SetProduct(L"ResumePollingInterval", 1000);
    SetProduct(L"ResumePollingMaxTime", 2000);
    SetProduct(L"ResumeRecoveryWaitTime", 1500);
    auto& f = Open();
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    Send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    Send(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, own);
    for (UINT id : {TIMER_POLLRESUME, TIMER_RECOVERY}) EXPECT_EQ(0u, f.GetTimer(id)) << id;
    EXPECT_TRUE(Run(3000).empty());
    // Another session's connect is not this instance's business.
    Send(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, own + 1);
    EXPECT_TRUE(Run(3000).empty());
    Send(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, own);
    EXPECT_EQ((std::vector<DWORD>{128, 181, 128}), Run(2500));
}

TEST_F(Power, AnotherSessionsLogoffMakesTheConsoleDecideAgain) {
    hci().set_posture_flags(0x2000);
    display().Rotate(DMDO_90);
    auto& f = Open();
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    f.codes.clear();
    Send(WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, own + 1);
    EXPECT_EQ(std::vector<DWORD>{129}, f.codes);
    // Outside the console the logoff changes nothing.
    machine().active_console_session = own + 1;
    f.codes.clear();
    Send(WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, own + 2);
    EXPECT_TRUE(f.codes.empty());
}

TEST_F(Power, ALogoffLeavesAnInstanceOutsideTheConsoleIdle) {
    hci().set_posture_flags(0x2000);
    auto& f = Open();
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    // The instance of the session that took the console signals.
    machine().active_console_session = own + 1;
    HANDLE sync = OpenEventW(EVENT_ALL_ACCESS, FALSE, ACTIVE_SYNC_EVENT_NAME);
    ASSERT_NE(nullptr, sync);
    SetEvent(sync);
    CloseHandle(sync);
    Pump(100);
    ASSERT_FALSE(f.IsActive());
    Send(WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, own + 2);
    EXPECT_FALSE(f.IsActive());
    f.codes.clear();
    for (DWORD o : {DMDO_90, DMDO_DEFAULT}) {
        display().Rotate(o);
        Pump(1000);
    }
    EXPECT_TRUE(f.codes.empty());
}

struct RetryCase {
    const char* name;
    DWORD fail_ms;        // the registration fails until this long after the start
    DWORD registered_ms;  // the attempt that takes it
};
void PrintTo(const RetryCase& c, std::ostream* os) { *os << c.name; }
class SessionRetry : public Power, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(SessionRetry, RegistersAtTheFirstAttemptAfterTheServicesCameUp) {
    const RetryCase& c = GetParam();
    uint64_t start = machine().NowMs();
    if (c.fail_ms) winsim::wts::FailRegistrationUntil(machine(), start + c.fail_ms);
    auto& f = Open();
    auto registered = [&] {
        for (const auto& r : winsim::wts::Registrations(machine()))
            if (r.hwnd == f.m_hWnd && r.flags == NOTIFY_FOR_ALL_SESSIONS) return true;
        return false;
    };
    Pump(static_cast<DWORD>(start + c.registered_ms - 50 - machine().NowMs()));
    EXPECT_FALSE(registered());
    Pump(100);
    EXPECT_TRUE(registered());
    Pump(10000);
    EXPECT_EQ(1u, winsim::wts::Registrations(machine()).size());  // and no more attempts
}

INSTANTIATE_TEST_SUITE_P(Table, SessionRetry,
                         ::testing::Values(RetryCase{"AtOnce", 0, 3000}, RetryCase{"SecondAttempt", 4000, 6000},
                                           RetryCase{"FourthAttempt", 9500, 12000}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
