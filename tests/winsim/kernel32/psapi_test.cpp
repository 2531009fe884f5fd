// The process status functions as a program binds them from psapi.dll: the list of live
// processes, the image module's base name, and protected processes that deny reading.
#include <gtest/gtest.h>
#include <psapi.h>
#include <windows.h>

#include "winsim/machine.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(Psapi, NamesOfLiveProcessesAndProtectedOnes) {
    auto machine = winsim::Machine::CreateInMemory();
    winsim::ProcessOptions o;
    o.image = L"C:\\Windows\\System32\\other.exe";
    auto other = machine->CreateProcess(o);
    o.image = L"C:\\Windows\\System32\\guarded.exe";
    auto guarded = machine->CreateProcess(o);
    guarded->protected_process = true;
    winsim::ProcessScope scope(*machine);

    HMODULE psapi = LoadLibraryW(L"PSAPI.DLL");
    ASSERT_NE(nullptr, psapi);
    auto enumProcesses = reinterpret_cast<decltype(&EnumProcesses)>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(psapi, "EnumProcesses")));
    ASSERT_NE(nullptr, enumProcesses);
    DWORD ids[64], needed = 0;
    ASSERT_TRUE(enumProcesses(ids, sizeof(ids), &needed));
    std::vector<DWORD> live(ids, ids + needed / sizeof(DWORD));
    EXPECT_NE(live.end(), std::find(live.begin(), live.end(), other->pid));
    EXPECT_NE(live.end(), std::find(live.begin(), live.end(), GetCurrentProcessId()));
    // A table too small takes what fits.
    ASSERT_TRUE(enumProcesses(ids, sizeof(DWORD), &needed));
    EXPECT_EQ(sizeof(DWORD), needed);

    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, other->pid);
    ASSERT_NE(nullptr, h);
    HMODULE module = nullptr;
    ASSERT_TRUE(EnumProcessModules(h, &module, sizeof(module), &needed));
    EXPECT_EQ(sizeof(HMODULE), needed);
    WCHAR name[6];
    EXPECT_EQ(5u, GetModuleBaseNameW(h, module, name, 6));  // cut to the buffer
    EXPECT_EQ(std::wstring(L"other"), name);
    CloseHandle(h);
    h = OpenProcess(SYNCHRONIZE, FALSE, other->pid);
    EXPECT_FALSE(EnumProcessModules(h, &module, sizeof(module), &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(h);

    EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, guarded->pid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    h = OpenProcess(SYNCHRONIZE, FALSE, guarded->pid);
    EXPECT_NE(nullptr, h);
    CloseHandle(h);
    FreeLibrary(psapi);
}

}  // namespace
