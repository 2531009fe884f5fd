// kernel32's synchronisation on the simulated kernel: waiters released by events, the
// sessions' namespaces and critical sections used outside their life (sync_conformance_test.cpp states the rest as Windows has it).
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include "winsim/machine.h"

#include <string>
#include <vector>

namespace {

class SyncTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    HANDLE Spawn(unsigned(__stdcall* fn)(void*), void* arg) {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, fn, arg, 0, nullptr));
    }
};

struct WaiterArg {
    HANDLE event;
    int* woken;
};

unsigned __stdcall CountWake(void* p) {
    auto* a = static_cast<WaiterArg*>(p);
    if (WaitForSingleObject(a->event, 10000) == WAIT_OBJECT_0) ++*a->woken;
    return 0;
}

struct ResetCase {
    const char* name;
    BOOL manual;
    int expected_woken;
};
class EventRelease : public SyncTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(EventRelease, SetReleasesEveryWaiterOfAManualEventEvenWhenResetAtOnce) {
    HANDLE e = CreateEventW(nullptr, GetParam().manual, FALSE, nullptr);
    int woken = 0;
    WaiterArg arg{e, &woken};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 3; ++i) threads.push_back(Spawn(CountWake, &arg));
    machine->RunUntilIdle();  // all three are waiting now
    SetEvent(e);
    ResetEvent(e);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, threads.data(), TRUE, INFINITE));
    EXPECT_EQ(GetParam().expected_woken, woken);
    for (HANDLE t : threads) CloseHandle(t);
    CloseHandle(e);
}

INSTANTIATE_TEST_SUITE_P(Table, EventRelease,
                         ::testing::Values(ResetCase{"ManualReset", TRUE, 3}, ResetCase{"AutoReset", FALSE, 1}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(SyncTest, SessionNamespacesAreApartButSessionZeroIsGlobal) {
    HANDLE mine = CreateEventW(nullptr, TRUE, FALSE, L"DeviceChangeComplete");
    auto other_session = [&](const wchar_t* name, DWORD session) {
        winsim::ProcessOptions o;
        o.session = session;
        auto p = machine->CreateProcess(o);
        std::wstring key = winsim::Machine::NamespaceKey(name, p->session);
        return machine->LookupName(key) != nullptr;
    };
    machine->AddSession({2, L"Other", L"S-1-5-21-1-2-3-1002"});
    EXPECT_TRUE(other_session(L"DeviceChangeComplete", 1));
    EXPECT_TRUE(other_session(L"Local\\DeviceChangeComplete", 1));
    EXPECT_FALSE(other_session(L"DeviceChangeComplete", 2));
    EXPECT_FALSE(other_session(L"Global\\DeviceChangeComplete", 1));
    HANDLE g = CreateMutexW(nullptr, FALSE, L"Global\\ComGuard");
    EXPECT_TRUE(other_session(L"ComGuard", 0));  // session 0's local names are the global ones
    EXPECT_FALSE(other_session(L"ComGuard", 2));
    CloseHandle(g);
    CloseHandle(mine);
}

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
