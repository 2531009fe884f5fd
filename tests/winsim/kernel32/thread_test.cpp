// Threads of the simulated kernel: exit codes, termination and suspension.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include "winsim/machine.h"

namespace {

class ThreadTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    HANDLE Spawn(unsigned(__stdcall* fn)(void*), void* arg) {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, fn, arg, 0, nullptr));
    }
};

unsigned __stdcall SetAfter(void* arg) {
    Sleep(1500);
    SetEvent(static_cast<HANDLE>(arg));
    return 7;
}

TEST_F(ThreadTest, ThreadSignalsEventAfterSleep) {
    HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE t = Spawn(SetAfter, e);
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

unsigned __stdcall SleepForever(void*) {
    Sleep(INFINITE);
    return 1;
}

TEST_F(ThreadTest, TerminatedThreadIsSignalledWithItsCode) {
    HANDLE t = Spawn(SleepForever, nullptr);
    machine->RunUntilIdle();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(t, 500));
    EXPECT_TRUE(TerminateThread(t, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 0));
    DWORD code = 1;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(t);
}

TEST_F(ThreadTest, SuspendedThreadRunsAfterResume) {
    HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    unsigned tid = 0;
    HANDLE t = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SetAfter, e, CREATE_SUSPENDED, &tid));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 5000));
    EXPECT_EQ(1u, ResumeThread(t));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 5000));
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    CloseHandle(e);
}

}  // namespace
