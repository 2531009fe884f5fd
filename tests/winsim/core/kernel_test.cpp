// The simulated kernel's scheduler: waits on the virtual clock and one interleaving of
// threads for one program.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include "winsim/machine.h"

#include <vector>

namespace {

class KernelTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    HANDLE Spawn(unsigned(__stdcall* fn)(void*), void* arg) {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, fn, arg, 0, nullptr));
    }
};

TEST_F(KernelTest, LongWaitEndsAtOnceOnTheVirtualClock) {
    HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 20000));
    EXPECT_EQ(20000u, GetTickCount() - t0);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
    EXPECT_EQ(20000u, GetTickCount() - t0);
    CloseHandle(e);
}

TEST_F(KernelTest, SameProgramGivesTheSameInterleavingEveryRun) {
    struct Arg {
        std::vector<int>* order;
        int id;
    };
    auto body = [](void* p) -> unsigned {
        auto* a = static_cast<Arg*>(p);
        for (int i = 0; i < 3; ++i) {
            a->order->push_back(a->id);
            Sleep(static_cast<DWORD>(10 * a->id));
        }
        return 0;
    };
    std::vector<int> first;
    for (int run = 0; run < 2; ++run) {
        std::vector<int> order;
        Arg a1{&order, 1}, a2{&order, 2};
        HANDLE t[2] = {Spawn(body, &a1), Spawn(body, &a2)};
        WaitForMultipleObjects(2, t, TRUE, INFINITE);
        CloseHandle(t[0]);
        CloseHandle(t[1]);
        if (run == 0)
            first = order;
        else
            EXPECT_EQ(first, order);
    }
    EXPECT_EQ((std::vector<int>{1, 2, 1, 2, 1, 2}), first);
}

}  // namespace
