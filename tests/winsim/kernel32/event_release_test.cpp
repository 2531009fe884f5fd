// Setting a manual-reset event releases every thread waiting at that moment, even when the
// setter resets it at once.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"

namespace {

struct Waiter {
    HANDLE event;
    LONG* released;
};

DWORD WINAPI WaitOnce(void* arg) {
    auto* w = static_cast<Waiter*>(arg);
    if (WaitForSingleObject(w->event, 10000) == WAIT_OBJECT_0) InterlockedIncrement(w->released);
    return 0;
}

class EventRelease : public SimTest {};

TEST_F(EventRelease, SetThenResetReleasesEveryWaiter) {
    HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    LONG released = 0;
    Waiter w{ev, &released};
    HANDLE threads[3];
    for (auto& t : threads) t = CreateThread(nullptr, 0, WaitOnce, &w, 0, nullptr);
    Sleep(10);  // all three are waiting
    SetEvent(ev);
    ResetEvent(ev);
    WaitForMultipleObjects(3, threads, TRUE, INFINITE);
    EXPECT_EQ(3, released);
    for (auto& t : threads) CloseHandle(t);
    CloseHandle(ev);
}

}  // namespace
