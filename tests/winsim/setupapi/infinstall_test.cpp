// The INF installer: AddReg types and no-clobber, DelReg of values and keys, and
// rundll32.exe handing its command to it.
#include <windows.h>

#include <setupapi.h>

#include "sim_fixture.h"
#include "winsim/driverstore.h"
#include "winsim/files.h"
#include "winsim/registry.h"

namespace {

class InfInstaller : public SimTest {};

TEST_F(InfInstaller, AddRegAndDelRegThroughRundll32) {
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\T", L"Old", L"o");
    r.SetString(L"HKLM\\SOFTWARE\\T", L"Kept", L"k");
    r.SetString(L"HKLM\\SOFTWARE\\T\\Gone", L"v", L"1");
    winsim::files::CreateFolders(machine(), L"C:\\Temp");
    winsim::files::WriteBytes(
        machine(), L"C:\\Temp\\a.inf",
        winsim::driverstore::InfBytes(L"[Version]\nsignature=\"$CHICAGO$\"\n[DefaultInstall]\nAddReg = A\nDelReg = D\n"
                                      L"[A]\nHKLM, \"SOFTWARE\\T\",\"Dw\",0x00010001,0x10\n"
                                      L"HKLM, \"SOFTWARE\\T\",\"Kept\",0x00000002,new\n"
                                      L"HKLM, \"SOFTWARE\\T\\S\",\"Text\",0,\"a, b\"\n"
                                      L"[D]\nHKLM, \"SOFTWARE\\T\",\"Old\"\nHKLM, \"SOFTWARE\\T\\Gone\"\n",
                                      true));
    WCHAR cmd[] = L"C:\\Windows\\System32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 128 C:\\Temp\\a.inf";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(NULL, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(0x10u, r.GetDword(L"HKLM\\SOFTWARE\\T", L"Dw").value_or(0));
    EXPECT_EQ(L"k", r.GetString(L"HKLM\\SOFTWARE\\T", L"Kept").value_or(L""));
    EXPECT_EQ(L"a, b", r.GetString(L"HKLM\\SOFTWARE\\T\\S", L"Text").value_or(L""));
    EXPECT_FALSE(r.GetValue(L"HKLM\\SOFTWARE\\T", L"Old"));
    EXPECT_FALSE(r.KeyExists(L"HKLM\\SOFTWARE\\T\\Gone"));
    // A section the INF does not have changes nothing.
    r.SetString(L"HKLM\\SOFTWARE\\T", L"Old", L"o");
    InstallHinfSectionW(NULL, NULL, L"Other 128 C:\\Temp\\a.inf", SW_SHOWNORMAL);
    EXPECT_EQ(L"o", r.GetString(L"HKLM\\SOFTWARE\\T", L"Old").value_or(L""));
}

}  // namespace
