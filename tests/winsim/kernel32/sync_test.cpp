// The simulated kernel: waits, named objects, mutexes, threads and the virtual clock.
#include <gtest/gtest.h>
#include <mmsystem.h>
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

TEST_F(KernelTest, TickCountWrapsAt32Bits) {
    machine->SetTickStart(0xFFFFFFFFull - 500);
    DWORD t0 = GetTickCount();
    Sleep(1000);
    DWORD t1 = GetTickCount();
    EXPECT_LT(t1, t0);
    EXPECT_EQ(1000u, t1 - t0);  // unsigned difference survives the wrap
    EXPECT_EQ(t1, timeGetTime());
    EXPECT_EQ(0xFFFFFFFFull - 500 + machine->NowMs(), GetTickCount64());
}

unsigned __stdcall SetAfter(void* arg) {
    Sleep(1500);
    SetEvent(static_cast<HANDLE>(arg));
    return 7;
}

TEST_F(KernelTest, ThreadSignalsEventAfterSleep) {
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
class EventRelease : public KernelTest, public ::testing::WithParamInterface<ResetCase> {};

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

TEST_F(KernelTest, WaitAnyGivesTheLowestSignalledIndexAndWaitAllNeedsAll) {
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

TEST_F(KernelTest, NullOrClosedHandleFailsTheWait) {
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(e);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(e, 0));
    EXPECT_FALSE(CloseHandle(e));
}

TEST_F(KernelTest, NamedObjectsOpenExistingAndClashByType) {
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

TEST_F(KernelTest, SessionNamespacesAreApartButSessionZeroIsGlobal) {
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

TEST_F(KernelTest, MutexRecursionOwnershipAndAbandonment) {
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

unsigned __stdcall SleepForever(void*) {
    Sleep(INFINITE);
    return 1;
}

TEST_F(KernelTest, TerminatedThreadIsSignalledWithItsCode) {
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

TEST_F(KernelTest, SuspendedThreadRunsAfterResume) {
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

TEST_F(KernelTest, CriticalSectionSerialisesThreads) {
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

TEST_F(KernelTest, LocalTimeFollowsTheMachineClock) {
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

TEST_F(KernelTest, EnvironmentAndExpansion) {
    WCHAR buf[64];
    EXPECT_EQ(10u, GetEnvironmentVariableW(L"systemroot", buf, 64));
    EXPECT_STREQ(L"C:\\Windows", buf);
    EXPECT_EQ(11u, GetEnvironmentVariableW(L"SystemRoot", buf, 5));  // size needed with the terminator
    EXPECT_EQ(0u, GetEnvironmentVariableW(L"NoSuchVar", buf, 64));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
    DWORD n = ExpandEnvironmentStringsW(L"%SystemRoot%\\x %Nope% 100%", buf, 64);
    EXPECT_STREQ(L"C:\\Windows\\x %Nope% 100%", buf);
    EXPECT_EQ(wcslen(buf) + 1, n);
}

}  // namespace
