// Time on the machine's clock: tick counts and the local time.
#include <gtest/gtest.h>
#include <mmsystem.h>
#include <windows.h>

#include "winsim/machine.h"

namespace {

class TimeTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(TimeTest, TickCountWrapsAt32Bits) {
    machine->SetTickStart(0xFFFFFFFFull - 500);
    DWORD t0 = GetTickCount();
    Sleep(1000);
    DWORD t1 = GetTickCount();
    EXPECT_LT(t1, t0);
    EXPECT_EQ(1000u, t1 - t0);  // unsigned difference survives the wrap
    EXPECT_EQ(t1, timeGetTime());
    EXPECT_EQ(0xFFFFFFFFull - 500 + machine->NowMs(), GetTickCount64());
}

TEST_F(TimeTest, LocalTimeFollowsTheMachineClock) {
    machine->SetBootLocalTime(2026, 12, 31, 23, 59, 59, 900);
    SYSTEMTIME st;
    GetLocalTime(&st);
    EXPECT_EQ(2026, st.wYear);
    EXPECT_EQ(900, st.wMilliseconds);
    Sleep(150);
    GetLocalTime(&st);
    EXPECT_EQ(2027, st.wYear);
    EXPECT_EQ(1, st.wMonth);
    EXPECT_EQ(1, st.wDay);
    EXPECT_EQ(0, st.wHour);
    EXPECT_EQ(50, st.wMilliseconds);
    EXPECT_EQ(5, st.wDayOfWeek);  // 2027-01-01 is a Friday
}

}  // namespace
