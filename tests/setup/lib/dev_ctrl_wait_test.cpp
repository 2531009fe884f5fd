// The device layer's start wait on the virtual clock (the millisecond counter's wrap
// included) and the battery report.
#include "dev_fixture.h"

#include <mmsystem.h>

#include <string>
#include <vector>

using namespace devlib;

namespace {

// ---------------------------------------------------------------------------------------
// IsStarted.

enum Setup { kStarted, kProblem, kAbsent, kProblemClears, kPluggedLater, kDisabled };

struct WaitCase {
    const char* name;
    Setup setup;
    DWORD change_at;  // ms: when the problem clears or the module is plugged in
    DWORD interval;
    DWORD timeout;
    int result;
    uint64_t elapsed;  // virtual ms
    size_t sleeps;     // "not started" lines
};

// Changes the device tree after a delay, on a simulated thread of its own.
struct LaterChange {
    DWORD delay;
    DWORD devinst;
    bool plug;
    static DWORD WINAPI Run(LPVOID p) {
        const LaterChange* c = static_cast<const LaterChange*>(p);
        Sleep(c->delay);
        winsim::DeviceTree t(winsim::CurrentMachine());
        if (c->plug)
            t.Plug(c->devinst);
        else
            t.SetProblem(c->devinst, 0);
        return 0;
    }
};

class IsStartedTest : public DevTest, public ::testing::WithParamInterface<WaitCase> {
protected:
    size_t CountPrefix(const std::wstring& prefix) {
        size_t n = 0;
        for (const auto& l : Logs())
            if (l.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

TEST_P(IsStartedTest, PollsUntilStartedOrTimedOut) {
    const WaitCase& c = GetParam();
    LaterChange change{c.change_at, port_, false};
    if (c.setup == kProblem || c.setup == kProblemClears) tree().SetProblem(port_, CM_PROB_FAILED_START);
    if (c.setup == kAbsent || c.setup == kPluggedLater) tree().Unplug(module_);
    if (c.setup == kDisabled) Disable(port_);
    HANDLE th = NULL;
    if (c.setup == kProblemClears || c.setup == kPluggedLater) {
        change.plug = c.setup == kPluggedLater;
        change.devinst = change.plug ? module_ : port_;
        th = CreateThread(NULL, 0, LaterChange::Run, &change, 0, NULL);
        ASSERT_NE(nullptr, th);
    }
    ClearLogs();
    ULONGLONG t0 = GetTickCount64();
    EXPECT_EQ(c.result, dev_->IsStarted(kPortShortId, c.interval, c.timeout));
    EXPECT_EQ(c.elapsed, GetTickCount64() - t0);
    EXPECT_EQ(c.sleeps, CountPrefix(L"IsStarted:Device is not started.ID " + std::wstring(kPortShortId) + L" sleep=" +
                                    std::to_wstring(c.interval) + L" status="));
    EXPECT_EQ(1u, CountLogs(L"CSetupCtrl::IsStarted:Start"));
    EXPECT_EQ(c.result == 1, Logged(L"IsStarted:Device is started."));
    EXPECT_EQ(c.result == 0 && c.timeout == 0, Logged(L"IsStarted:FAIL but timeout = 0."));
    EXPECT_EQ(c.result == 0 && c.timeout != 0, Logged(L"IsStarted:Detect timeout."));
    if (c.setup == kAbsent) {
        EXPECT_EQ(c.sleeps + 1, CountLogs(L"IsStarted:Device did not exist!"));
    }
    if (c.setup == kProblem) {
        EXPECT_EQ(c.sleeps + 1, CountPrefix(L"IsStarted:Device has problem. Status="));
    }
    if (th) {
        WaitForSingleObject(th, INFINITE);
        CloseHandle(th);
    }
}

INSTANTIATE_TEST_SUITE_P(Waits, IsStartedTest,
                         ::testing::Values(WaitCase{"startedAtOnce", kStarted, 0, 100, 1000, 1, 0, 0},
                                           WaitCase{"startedTimeout0", kStarted, 0, 100, 0, 1, 0, 0},
                                           WaitCase{"problemTimeout0ChecksOnce", kProblem, 0, 100, 0, 0, 0, 0},
                                           WaitCase{"absentTimeout0ChecksOnce", kAbsent, 0, 100, 0, 0, 0, 0},
                                           // Checks at 0, 100 ... 1000 (not yet over), then 1100 is over.
                                           WaitCase{"problemTimesOut", kProblem, 0, 100, 1000, 0, 1100, 11},
                                           WaitCase{"absentTimesOut", kAbsent, 0, 250, 1000, 0, 1250, 5},
                                           WaitCase{"disabledTimesOut", kDisabled, 0, 300, 600, 0, 900, 3},
                                           WaitCase{"problemClears", kProblemClears, 350, 100, 1000, 1, 400, 4},
                                           WaitCase{"pluggedLater", kPluggedLater, 250, 100, 1000, 1, 300, 3},
                                           // The check at 1100 still comes before the time-out test.
                                           WaitCase{"clearsBeforeTheLastCheck", kProblemClears, 1050, 100, 1000, 1,
                                                    1100, 11},
                                           WaitCase{"clearsTooLate", kProblemClears, 1150, 100, 1000, 0, 1100, 11},
                                           // An interval of 0 still lets the clock move.
                                           WaitCase{"zeroInterval", kProblem, 0, 0, 5, 0, 6, 6},
                                           WaitCase{"intervalOverTimeout", kProblem, 0, 500, 200, 0, 500, 1}),
                         [](const ::testing::TestParamInfo<WaitCase>& i) { return std::string(i.param.name); });

struct WrapCase {
    const char* name;
    DWORD before_wrap;  // ms left on the 32-bit counter at the start
    DWORD clears_at;    // 0: never
    int result;
    uint64_t elapsed;
};

class IsStartedWrapTest : public DevTest, public ::testing::WithParamInterface<WrapCase> {};

TEST_P(IsStartedWrapTest, CounterWrapRestartsTheCount) {
    const WrapCase& c = GetParam();
    // timeGetTime() reads 2^32 - before_wrap now.
    machine().SetTickStart(0x100000000ull - c.before_wrap - machine().NowMs());
    ASSERT_EQ(static_cast<DWORD>(0u - c.before_wrap), timeGetTime());
    tree().SetProblem(port_, CM_PROB_FAILED_START);
    LaterChange change{c.clears_at, port_, false};
    HANDLE th = NULL;
    if (c.clears_at) {
        th = CreateThread(NULL, 0, LaterChange::Run, &change, 0, NULL);
        ASSERT_NE(nullptr, th);
    }
    ULONGLONG t0 = GetTickCount64();
    EXPECT_EQ(c.result, dev_->IsStarted(kPortId, 100, 1000));
    EXPECT_EQ(c.elapsed, GetTickCount64() - t0);
    EXPECT_EQ(c.before_wrap < c.elapsed, Logged(L"IsStarted:If detect over 49.7 days, it reset start time."));
    if (th) {
        WaitForSingleObject(th, INFINITE);
        CloseHandle(th);
    }
}

INSTANTIATE_TEST_SUITE_P(Wrap, IsStartedWrapTest,
                         ::testing::Values(
                             // The counter wraps at 250 ms; from then on the count starts at 0 again: the wait
                             // ends when the counter passes 1000, 1300 ms after the start.
                             WrapCase{"wrapsThenTimesOut", 250, 0, 0, 1300},
                             WrapCase{"wrapsThenStarts", 250, 1150, 1, 1200},
                             // Far from the wrap: the plain count.
                             WrapCase{"noWrap", 5000, 0, 0, 1100},
                             // The first check after the wrap reads 0: below the start, so the count restarts.
                             WrapCase{"wrapOnTheDot", 100, 0, 0, 1200}),
                         [](const ::testing::TestParamInfo<WrapCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------------------
// GetBatteryStatus.

struct BatteryCase {
    const char* name;
    std::vector<winsim::BatteryState> batteries;
    int result;
    bool unplugged = false;  // the batteries are installed but not present
};

winsim::BatteryState EmptySlot() {
    winsim::BatteryState b = winsim::BatteryState::OnBattery();
    b.tag = 0;
    return b;
}

winsim::BatteryState NotSystem() {
    winsim::BatteryState b = winsim::BatteryState::OnBattery();
    b.capabilities = 0;
    return b;
}

class BatteryStatusTest : public DevTest, public ::testing::WithParamInterface<BatteryCase> {};

TEST_P(BatteryStatusTest, BitsFromEveryBattery) {
    const BatteryCase& c = GetParam();
    for (const auto& b : c.batteries) {
        winsim::DeviceSpec battery;
        battery.attached = !c.unplugged;
        tree().AddBattery(battery, b);
    }
    EXPECT_EQ(c.result, dev_->GetBatteryStatus());
}

using winsim::BatteryState;

INSTANTIATE_TEST_SUITE_P(
    Batteries, BatteryStatusTest,
    ::testing::Values(BatteryCase{"none", {}, 0}, BatteryCase{"onMains", {BatteryState::OnMains()}, 1},
                      BatteryCase{"onBattery", {BatteryState::OnBattery()}, 3},
                      // A short-term battery never counts as the system's battery.
                      BatteryCase{"upsOnLine", {BatteryState::Ups(true)}, 0},
                      BatteryCase{"upsOnBattery", {BatteryState::Ups(false)}, 0},
                      BatteryCase{"emptySlot", {EmptySlot()}, 0}, BatteryCase{"notSystem", {NotSystem()}, 0},
                      BatteryCase{"twoOnBattery", {BatteryState::OnBattery(), BatteryState::OnBattery()}, 3},
                      // Any battery that reports mains power clears the running-on-battery bit.
                      BatteryCase{"batteryAndUpsOnLine", {BatteryState::OnBattery(), BatteryState::Ups(true)}, 1},
                      BatteryCase{"batteryOnMainsAndUpsOff", {BatteryState::OnMains(), BatteryState::Ups(false)}, 1},
                      BatteryCase{"emptySlotThenBattery", {EmptySlot(), BatteryState::OnBattery()}, 3},
                      BatteryCase{"unplugged", {BatteryState::OnBattery()}, 0, true}),
    [](const ::testing::TestParamInfo<BatteryCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, BatteryStatusFollowsThePowerSource) {
    DWORD dn = tree().AddBattery(winsim::DeviceSpec{}, BatteryState::OnMains());
    EXPECT_EQ(1, dev_->GetBatteryStatus());
    tree().SetBattery(dn, BatteryState::OnBattery());
    EXPECT_EQ(3, dev_->GetBatteryStatus());
    tree().Unplug(dn);
    EXPECT_EQ(0, dev_->GetBatteryStatus());
}

}  // namespace
