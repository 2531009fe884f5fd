// kernel32 critical sections used outside their life end the program with a message.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"

namespace {

class SyncDeathTest : public ::testing::Test {
protected:
    SyncDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(SyncDeathTest, CriticalSectionOutsideItsLifeAborts) {
    CRITICAL_SECTION never{};
    EXPECT_DEATH(EnterCriticalSection(&never), "EnterCriticalSection on CRITICAL_SECTION .* has not set up");

    CRITICAL_SECTION ended;
    InitializeCriticalSection(&ended);
    CRITICAL_SECTION copy = ended;
    EXPECT_DEATH(EnterCriticalSection(&copy), "EnterCriticalSection on CRITICAL_SECTION");
    EnterCriticalSection(&ended);
    LeaveCriticalSection(&ended);
    DeleteCriticalSection(&ended);
    EXPECT_DEATH(LeaveCriticalSection(&ended), "LeaveCriticalSection on .* DeleteCriticalSection has ended");
    EXPECT_DEATH(DeleteCriticalSection(&ended), "DeleteCriticalSection on CRITICAL_SECTION");
}

}  // namespace
