// The simulated kernel: waits, named objects, threads and the virtual clock.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include "winsim/machine.h"

namespace {

class KernelTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(KernelTest, LongWaitEndsAtOnceOnTheVirtualClock) {
    HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, 20000));
    EXPECT_EQ(20000u, GetTickCount() - t0);
    CloseHandle(e);
}

unsigned __stdcall SetAfter(void* arg) {
    Sleep(1500);
    SetEvent(static_cast<HANDLE>(arg));
    return 7;
}

TEST_F(KernelTest, ThreadSignalsEventAfterSleep) {
    HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    unsigned tid = 0;
    HANDLE t = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SetAfter, e, 0, &tid));
    DWORD t0 = GetTickCount();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 5000));
    EXPECT_EQ(1500u, GetTickCount() - t0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, INFINITE));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(7u, code);
    CloseHandle(t);
    CloseHandle(e);
}

}  // namespace
