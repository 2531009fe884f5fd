// The driver package library's stand-in: its entries, the store operations' results and
// the log events it reports during a call.
#include <windows.h>

#include <setupapi.h>

#include "DriverPackageLib.h"
#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/difx.h"
#include "winsim/driverstore.h"
#include "winsim/files.h"

namespace {

namespace ds = winsim::driverstore;

std::vector<std::pair<int, std::wstring>>* g_events = nullptr;

void __cdecl Collect(DIFXAPI_LOG kind, DWORD, PCWSTR text, PVOID) {
    if (g_events) g_events->emplace_back(static_cast<int>(kind), text ? text : L"");
}

class DifxStandIn : public SimTest {
protected:
    template <class T>
    T Entry(HMODULE h, const char* name) {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(h, name)));
    }
};

TEST_F(DifxStandIn, LoadsWhereItsFileIsWithItsEntries) {
    EXPECT_EQ(nullptr, LoadLibraryW(L"C:\\Pkg\\DIFxAPI.dll"));
    winsim::difx::Entries e;
    e.getpath = false;
    winsim::difx::Register(machine(), e);
    winsim::difx::Install(machine(), L"C:\\Pkg\\DIFxAPI.dll");
    HMODULE h = LoadLibraryW(L"C:\\Pkg\\DIFxAPI.dll");
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(nullptr, GetProcAddress(h, DIFX_GETPATH_NAME));
    EXPECT_NE(nullptr, GetProcAddress(h, DIFX_SETLOGCALLBACK_NAME));
    FreeLibrary(h);
}

TEST_F(DifxStandIn, OperationsGiveTheStoreResultsAndLogDuringTheCall) {
    winsim::DeviceSpec d;
    d.instance_id = L"PCI\\VEN_8086&DEV_4229\\3&1";
    d.class_guid = winsim::devclass::kNet;
    d.hardware_ids = std::vector<std::wstring>{L"PCI\\VEN_8086&DEV_4229"};
    DWORD dev = winsim::DeviceTree(machine()).Add(d);
    winsim::files::CreateFolders(machine(), L"C:\\Pkg");
    winsim::files::WriteBytes(machine(), L"C:\\Pkg\\net.inf",
                              ds::InfBytes(L"[Version]\nClass=Net\n[Manufacturer]\nA=M\n[M]\nW=I, "
                                           L"PCI\\VEN_8086&DEV_4229\n",
                                           false));
    winsim::files::WriteBytes(
        machine(), L"C:\\Pkg\\other.inf",
        ds::InfBytes(L"[Version]\nClass=Net\n[Manufacturer]\nA=M\n[M]\nW=I, PCI\\VEN_1\n", false));
    winsim::difx::Install(machine(), L"C:\\Pkg\\DIFxAPI.dll");
    HMODULE h = LoadLibraryW(L"C:\\Pkg\\DIFxAPI.dll");
    ASSERT_NE(nullptr, h);
    auto pre = Entry<PFN_DriverPackagePreinstallW>(h, DIFX_PREINSTALL_NAME);
    auto inst = Entry<PFN_DriverPackageInstallW>(h, DIFX_INSTALL_NAME);
    auto uninst = Entry<PFN_DriverPackageUninstallW>(h, DIFX_UNINSTALL_NAME);
    auto path = Entry<PFN_DriverPackageGetPathW>(h, DIFX_GETPATH_NAME);
    auto setlog = Entry<PFN_DIFXAPISetLogCallbackW>(h, DIFX_SETLOGCALLBACK_NAME);
    std::vector<std::pair<int, std::wstring>> events;
    g_events = &events;
    setlog(Collect, NULL);
    BOOL reboot = TRUE;
    WCHAR out[MAX_PATH];
    DWORD size = 4;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), pre(L"Pkg\\net.inf", 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), pre(L"C:\\Pkg\\gone.inf", 0));
    EXPECT_EQ(DIFX_ERROR_DRIVER_PACKAGE_NOT_IN_STORE, path(L"C:\\Pkg\\net.inf", out, &size));
    EXPECT_EQ(0u, pre(L"C:\\Pkg\\net.inf", 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), pre(L"C:\\Pkg\\net.inf", 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), path(L"C:\\Pkg\\net.inf", out, &size));
    EXPECT_EQ(wcslen(L"C:\\Windows\\INF\\oem0.inf") + 1, size);
    EXPECT_EQ(0u, path(L"C:\\Pkg\\net.inf", out, &size));
    EXPECT_STREQ(L"C:\\Windows\\INF\\oem0.inf", out);
    EXPECT_EQ(0u, inst(L"C:\\Pkg\\net.inf", 0, NULL, &reboot));
    EXPECT_FALSE(reboot);
    EXPECT_EQ(L"oem0.inf", ds::BoundInf(machine(), dev));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), inst(L"C:\\Pkg\\net.inf", 0, NULL, &reboot));
    EXPECT_EQ(0u, inst(L"C:\\Pkg\\net.inf", DRIVER_PACKAGE_FORCE, NULL, &reboot));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_DEVINST), inst(L"C:\\Pkg\\other.inf", 0, NULL, &reboot));
    winsim::difx::SetRebootNeeded(machine(), true);
    EXPECT_EQ(0u, uninst(L"C:\\Pkg\\net.inf", 0, NULL, &reboot));
    EXPECT_TRUE(reboot);
    EXPECT_EQ(L"", ds::BoundInf(machine(), dev));
    winsim::difx::SetResult(machine(), winsim::difx::Op::Uninstall, 1603);
    EXPECT_EQ(1603u, uninst(L"C:\\Pkg\\other.inf", 0, NULL, &reboot));
    setlog(NULL, NULL);
    size_t seen = events.size();
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), pre(L"C:\\Pkg\\other.inf", 0));
    EXPECT_EQ(seen, events.size());
    g_events = nullptr;
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(DIFXAPI_INFO, events.front().first);
    EXPECT_EQ(DIFXAPI_ERROR, events.back().first);
    EXPECT_EQ(14u, winsim::difx::Calls(machine()).size());
    FreeLibrary(h);
}

}  // namespace
