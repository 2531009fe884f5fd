// Kernel objects and waits as Windows has them: wait results, named objects, mutex
// ownership and abandonment, critical sections.
#include "conformance.h"

#include <process.h>

#include <algorithm>
#include <string>

namespace {

using SyncConformance = ConformanceTest;

HANDLE Spawn(unsigned(__stdcall* fn)(void*), void* arg) {
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, fn, arg, 0, nullptr));
}

// An object name of this run's own.
std::wstring Name(const wchar_t* prefix, const wchar_t* name) {
    return prefix + std::wstring(L"vqconf-") + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
}

TEST_F(SyncConformance, WaitAnyGivesTheLowestSignalledIndexAndWaitAllNeedsAll) {
    HANDLE e[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, TRUE, nullptr),
                   CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, e, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(3, e, TRUE, 100));
    SetEvent(e[0]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, e, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, e, TRUE, 0));
    HANDLE dup[2] = {e[0], e[0]};
    DWORD r = WaitForMultipleObjects(2, dup, TRUE, 0);
    EXPECT_EQ(WINE_DIFFERS(WAIT_FAILED, WAIT_OBJECT_0,
                           "WaitForMultipleObjects: lpHandles may not contain multiple copies of the same handle; "
                           "Wine waits on them"),
              r);
    if (r == WAIT_FAILED) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    for (HANDLE h : e) CloseHandle(h);
}

TEST_F(SyncConformance, NullOrClosedHandleFailsTheWait) {
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(e);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(e, 0));
    EXPECT_FALSE(CloseHandle(e));
}

TEST_F(SyncConformance, NamedObjectsOpenExistingAndClashByType) {
    const std::wstring name = Name(L"Global\\", L"Ready");
    HANDLE a = CreateEventW(nullptr, TRUE, TRUE, name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    HANDLE b = CreateEventW(nullptr, FALSE, FALSE, name.c_str());  // opens; initial state ignored
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(b, 0));
    EXPECT_EQ(nullptr, CreateMutexW(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    // Names are case-sensitive, the prefix too: past another prefix a backslash names a
    // namespace that does not exist.
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, Name(L"Global\\", L"ready").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    std::wstring lower = name;
    lower[0] = L'g';
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, lower.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, CreateEventW(nullptr, TRUE, TRUE, Name(L"Nowhere\\", L"Ready").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    CloseHandle(a);
    CloseHandle(b);
    // The name goes with the last handle.
    EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()));
}

unsigned __stdcall TakeAndEnd(void* p) {
    WaitForSingleObject(static_cast<HANDLE>(p), INFINITE);
    return 0;  // ends while owning the mutex
}

TEST_F(SyncConformance, MutexRecursionOwnershipAndAbandonment) {
    const std::wstring name = Name(L"", L"Guard");
    HANDLE m = CreateMutexW(nullptr, TRUE, name.c_str());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));  // recursive
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());

    HANDLE t = Spawn(TakeAndEnd, m);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    HANDLE sync_only = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_EQ(WAIT_ABANDONED_0, WaitForSingleObject(sync_only, 0));
    EXPECT_TRUE(ReleaseMutex(sync_only));  // the owner may release through a SYNCHRONIZE handle
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
    ReleaseMutex(m);
    CloseHandle(sync_only);
    CloseHandle(m);
}

TEST_F(SyncConformance, CriticalSectionSerialisesThreads) {
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
