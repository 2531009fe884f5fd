// kernel32's synchronisation: events, waits, named objects and their namespaces, mutexes and
// critical sections.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include "winsim/machine.h"

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

INSTANTIATE_TEST_SUITE_P(Table, EventRelease, ::testing::Values(ResetCase{TRUE, 3}, ResetCase{FALSE, 1}));

TEST_F(SyncTest, WaitAnyGivesTheLowestSignalledIndexAndWaitAllNeedsAll) {
    HANDLE e[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, TRUE, nullptr),
                   CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, e, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(3, e, TRUE, 100));
    SetEvent(e[0]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, e, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, e, TRUE, 0));
    HANDLE dup[2] = {e[0], e[0]};
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, dup, TRUE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    for (HANDLE h : e) CloseHandle(h);
}

TEST_F(SyncTest, NullOrClosedHandleFailsTheWait) {
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(e);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(e, 0));
    EXPECT_FALSE(CloseHandle(e));
}

TEST_F(SyncTest, NamedObjectsOpenExistingAndClashByType) {
    HANDLE a = CreateEventW(nullptr, TRUE, TRUE, L"Global\\Ready");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    HANDLE b = CreateEventW(nullptr, FALSE, FALSE, L"Global\\Ready");  // opens; initial state ignored
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(b, 0));
    EXPECT_EQ(nullptr, CreateMutexW(nullptr, FALSE, L"Global\\Ready"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\Ready"));
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, L"global\\Ready"));  // names are case-sensitive
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    CloseHandle(a);
    CloseHandle(b);
    // The name goes with the last handle.
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, L"Global\\Ready"));
}

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

unsigned __stdcall TakeAndEnd(void* p) {
    WaitForSingleObject(static_cast<HANDLE>(p), INFINITE);
    return 0;  // ends while owning the mutex
}

TEST_F(SyncTest, MutexRecursionOwnershipAndAbandonment) {
    HANDLE m = CreateMutexW(nullptr, TRUE, L"Guard");
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));  // recursive
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());

    HANDLE t = Spawn(TakeAndEnd, m);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    HANDLE sync_only = OpenMutexW(SYNCHRONIZE, FALSE, L"Guard");
    EXPECT_EQ(WAIT_ABANDONED_0, WaitForSingleObject(sync_only, 0));
    EXPECT_TRUE(ReleaseMutex(sync_only));  // the owner may release through a SYNCHRONIZE handle
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
    ReleaseMutex(m);
    CloseHandle(sync_only);
    CloseHandle(m);
}

TEST_F(SyncTest, CriticalSectionSerialisesThreads) {
    static CRITICAL_SECTION cs;
    static int inside, max_inside;
    InitializeCriticalSection(&cs);
    inside = max_inside = 0;
    auto body = [](void*) -> unsigned {
        for (int i = 0; i < 3; ++i) {
            EnterCriticalSection(&cs);
            max_inside = std::max(max_inside, ++inside);
            Sleep(5);
            --inside;
            LeaveCriticalSection(&cs);
        }
        return 0;
    };
    HANDLE t[2] = {Spawn(body, nullptr), Spawn(body, nullptr)};
    WaitForMultipleObjects(2, t, TRUE, INFINITE);
    EXPECT_EQ(1, max_inside);
    CloseHandle(t[0]);
    CloseHandle(t[1]);
    DeleteCriticalSection(&cs);
}

}  // namespace
