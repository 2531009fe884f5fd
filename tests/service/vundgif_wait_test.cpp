// Waiting for a driver event: the registration request as the driver sees it, the value of
// a fired event, and a wait that ends without one leaving no request pending.
#include <windows.h>

#include "VUNDGIF.h"
#include "sim_fixture.h"
#include "winsim/vundg.h"

#include <ostream>

#include <ostream>
#include <string>

namespace {

class WaitEventTest : public SimTest {
protected:
    WaitEventTest() : SimTest("tablet") {}
    winsim::VundgDriver vundg() { return winsim::VundgDriver(machine()); }
};

struct FireArgs {
    winsim::Machine* m;
    DWORD delay;
};

DWORD WINAPI FireLater(void* p) {
    auto* a = static_cast<FireArgs*>(p);
    Sleep(a->delay);
    winsim::VundgDriver(*a->m).Fire(VUNDG_EVENT_POSTURE, 3);
    return 0;
}

struct WaitCase {
    const char* name;
    DWORD fire_after;  // ms; 0: never
    DWORD timeout;
    bool abort;  // the abort event is set at 100 ms
    BOOL result;
    DWORD value;
};
// Test names show the case name only.
void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.name; }

class WaitEvent : public WaitEventTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitEvent, EndsWithTheValueOrNothingPending) {
    const auto& c = GetParam();
    VUNDGIF dev;
    ASSERT_TRUE(dev.Open(TRUE));
    HANDLE abort = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    dev.SetAbortEvent(abort);
    FireArgs args{&machine(), c.fire_after};
    HANDLE firer = c.fire_after ? CreateThread(nullptr, 0, FireLater, &args, 0, nullptr) : nullptr;
    HANDLE aborter = nullptr;
    if (c.abort)
        aborter = CreateThread(
            nullptr, 0,
            [](void* h) -> DWORD {
                Sleep(100);
                SetEvent(static_cast<HANDLE>(h));
                return 0;
            },
            abort, 0, nullptr);
    DWORD start = GetTickCount();
    DWORD value = 0xDEAD;
    EXPECT_EQ(c.result, dev.WaitEvent(VUNDG_EVENT_POSTURE, &value, c.timeout));
    EXPECT_EQ(c.value, value);
    EXPECT_EQ(0u, vundg().Pending(VUNDG_EVENT_POSTURE));
    if (c.abort) {
        EXPECT_GT(700u, GetTickCount() - start);  // the pauses end with the abort too
    }
    // The request as the driver saw it: event 134, pending.
    auto log = vundg().log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(static_cast<DWORD>(IOCTL_VUNDG_WAIT_EVENT), log.front().code);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0, 134, 0, 0, 0}), log.front().in);
    for (HANDLE h : {firer, aborter})
        if (h) WaitForSingleObject(h, INFINITE), CloseHandle(h);
    CloseHandle(abort);
    dev.Close();
}

INSTANTIATE_TEST_SUITE_P(Table, WaitEvent,
                         ::testing::Values(WaitCase{"Fired", 300, INFINITE, false, TRUE, 3},
                                           WaitCase{"TimedOut", 0, 1000, false, FALSE, 0xDEAD},
                                           WaitCase{"Aborted", 0, INFINITE, true, FALSE, 0xDEAD}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
