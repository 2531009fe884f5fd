// Modules loaded at run time: search, files, exports, counts.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/modules.h"

namespace {

int __stdcall Answer(int x) { return x * 2; }

class ModulesTest : public ::testing::Test {
protected:
    ModulesTest() {
        winsim::ModuleSpec s;
        s.name = L"Vendor.dll";
        s.exports = {{"Answer", reinterpret_cast<void*>(&Answer)}};
        mods.Register(s);
    }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::Modules mods{*machine};
    winsim::ProcessScope scope{*machine, Opts()};
    static winsim::ProcessOptions Opts() {
        winsim::ProcessOptions o;
        o.image = L"C:\\Program Files\\App\\app.exe";
        return o;
    }
};

TEST_F(ModulesTest, LoadsOnlyWhereItsFileIs) {
    EXPECT_EQ(nullptr, LoadLibraryW(L"C:\\Program Files\\App\\Vendor.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    mods.InstallFile(L"C:\\Program Files\\App\\Vendor.dll", L"Vendor.dll");
    HMODULE h = LoadLibraryW(L"C:\\Program Files\\App\\Vendor.dll");
    ASSERT_NE(nullptr, h);
    using Fn = int(__stdcall*)(int);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(h, "Answer")));
    ASSERT_NE(nullptr, fn);
    EXPECT_EQ(42, fn(21));
    EXPECT_EQ(nullptr, GetProcAddress(h, "Missing"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    WCHAR path[MAX_PATH];
    EXPECT_EQ(31u, GetModuleFileNameW(h, path, MAX_PATH));
    EXPECT_STREQ(L"C:\\Program Files\\App\\Vendor.dll", path);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(FreeLibrary(h));
    EXPECT_EQ(1, mods.LoadCount(L"vendor.dll"));
    EXPECT_EQ(1, mods.FreeCount(L"Vendor.dll"));
    EXPECT_EQ(1, mods.CallLookups(L"Vendor.dll", "Answer"));
}

TEST_F(ModulesTest, BareNameSearchesTheProgramFolderAndAFileThatIsNoModuleFails) {
    mods.InstallFile(L"C:\\Program Files\\App\\Vendor.dll", L"Vendor.dll");
    HMODULE a = LoadLibraryW(L"vendor");  // ".dll" appended
    HMODULE b = LoadLibraryW(L"VENDOR.DLL");
    EXPECT_NE(nullptr, a);
    EXPECT_EQ(a, b);  // one module, two references
    EXPECT_EQ(a, GetModuleHandleW(L"Vendor.dll"));
    winsim::files::WriteBytes(*machine, L"C:\\Program Files\\App\\Other.dll", "MZ");
    EXPECT_EQ(nullptr, LoadLibraryW(L"Other.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
}

TEST_F(ModulesTest, Kernel32BindsTheWow64EntriesAndCanLoseThem) {
    HMODULE k = LoadLibraryW(L"Kernel32.dll");
    ASSERT_NE(nullptr, k);
    EXPECT_EQ(k, GetModuleHandleW(L"kernel32"));
    using IsWow = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto fn = reinterpret_cast<IsWow>(reinterpret_cast<void (*)(void)>(GetProcAddress(k, "IsWow64Process")));
    ASSERT_NE(nullptr, fn);
    BOOL wow = TRUE;
    EXPECT_TRUE(fn(GetCurrentProcess(), &wow));
    EXPECT_FALSE(wow);
    mods.SetExport(L"kernel32.dll", "Wow64EnableWow64FsRedirection", nullptr);
    EXPECT_EQ(nullptr, GetProcAddress(k, "Wow64EnableWow64FsRedirection"));
    mods.SetLoadFailure(L"kernel32.dll", ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(nullptr, LoadLibraryW(L"Kernel32.dll"));
}

TEST_F(ModulesTest, A32BitProcessIsUnderWow64) {
    winsim::ProcessOptions o;
    o.image64 = false;
    auto p = machine->CreateProcess(o);
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, p->pid);
    BOOL wow = FALSE;
    EXPECT_TRUE(IsWow64Process(h, &wow));
    EXPECT_TRUE(wow);
    CloseHandle(h);
}

}  // namespace
