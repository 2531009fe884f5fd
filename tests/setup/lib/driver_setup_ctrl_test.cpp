// Driver packages through the library's stand-in: the library missing or short of an
// entry, relative INF paths, each option's result and log, and the library's own log lines
// during a call.
#include "DriverSetupCtrl.h"
#include "lib_fixture.h"
#include "winsim/devices.h"
#include "winsim/difx.h"
#include "winsim/driverstore.h"

#include <string>

namespace {

namespace ds = winsim::driverstore;

const wchar_t* const kNetInf =
    L"[Version]\r\nClass=Net\r\n[Manufacturer]\r\nA=M\r\n[M]\r\nW=I, PCI\\VEN_8086&DEV_4229\r\n";

class DriverSetupCtrlTest : public LibTest {
protected:
    DriverSetupCtrlTest() {
        winsim::files::CreateFolders(machine(), InFolder(L"drv"));
        PutFile(InFolder(L"drv\\net.inf"), ds::InfBytes(kNetInf, false));
    }
    void InstallLibrary() { winsim::difx::Install(machine(), InFolder(L"DIFxAPI.dll")); }
    void AddDevice() {
        winsim::DeviceSpec d;
        d.instance_id = L"PCI\\VEN_8086&DEV_4229\\3&1";
        d.class_guid = winsim::devclass::kNet;
        d.hardware_ids = std::vector<std::wstring>{L"PCI\\VEN_8086&DEV_4229"};
        winsim::DeviceTree(machine()).Add(d);
    }
};

TEST_F(DriverSetupCtrlTest, MissingLibraryOrEntryFailsEveryOptionSilently) {
    {
        CDriverSetupCtrl drv;
        ClearLogs();
        for (int option = 0; option <= 3; ++option) EXPECT_EQ(DRVSETUP_NO_LIBRARY, drv.Run(option, L"drv\\net.inf", 0));
        EXPECT_TRUE(Logs().empty());
    }
    InstallLibrary();
    winsim::difx::Entries e;
    e.uninstall = false;
    winsim::difx::Register(machine(), e);
    CDriverSetupCtrl drv;
    EXPECT_FALSE(drv.IsAvailable());
    EXPECT_EQ(DRVSETUP_NO_LIBRARY, drv.Run(0, L"drv\\net.inf", 0));
    EXPECT_TRUE(winsim::difx::Calls(machine()).empty());
}

TEST_F(DriverSetupCtrlTest, EachOptionGivesTheLibraryResultAndItsLog) {
    InstallLibrary();
    AddDevice();
    CDriverSetupCtrl drv;
    const std::wstring inf = L"C:\\PROGRA~1\\Quarven\\Setup\\drv\\net.inf";
    struct Case {
        int option;
        const wchar_t* path;
        DWORD result;
        std::wstring log;
    } cases[] = {
        {3, L"drv\\net.inf", 0xE0000302,
         L"CDriverSetupCtrl: DriverPackageGetPath failed with error code 0xE0000302 Error Can not find inf file "
         L"in drivers store.\n"},
        {0, L"drv\\net.inf", 0, L"CDriverSetupCtrl: preinstalled package.\n"},
        {0, L"drv\\net.inf", 183, L"CDriverSetupCtrl:: package was already in store.\n"},
        {3, L"drv\\net.inf", 0, L"CDriverSetupCtrl: INF path is C:\\Windows\\INF\\oem0.inf\n"},
        {1, L"drv\\net.inf", 0, L"CDriverSetupCtrl: installed package " + inf + L".\n"},
        {1, L"drv\\net.inf", 259,
         L"CDriverSetupCtrl: All devices found already have a better driver than what is contained in the "
         L"specified inf file. To force an install, use the ForceIfNotBetter flag.\n"},
        {2, L"drv\\net.inf", 0, L"CDriverSetupCtrl: uninstalled driver package " + inf + L".\n"},
        {2, L"drv\\net.inf", 0xE0000302,
         L"CDriverSetupCtrl: uninstall failed with error code 0xE0000302 Error Can not find inf file in drivers "
         L"store.\n"},
        {0, L"drv\\gone.inf", 2, L"CDriverSetupCtrl: failed with error code 0x2 Error File not found.\n"},
        {7, L"drv\\net.inf", 87, L"CDriverSetupCtrl: invalid command line option /\x07.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(winsim::Utf8(c.log));
        ClearLogs();
        EXPECT_EQ(c.result, drv.Run(c.option, c.path, 0));
        EXPECT_TRUE(Logged(c.log));
    }
}

TEST_F(DriverSetupCtrlTest, NoDeviceAndRestartAreLoggedAndUnknownCodesHaveNoText) {
    InstallLibrary();
    CDriverSetupCtrl drv;
    ClearLogs();
    EXPECT_EQ(0xE000020Bu, drv.Run(1, L"drv\\net.inf", 0));
    EXPECT_TRUE(Logged(L"CDriverSetupCtrl: There aren't any live devnodes with the DeviceId contained in the INF.\n"));
    EXPECT_TRUE(Logged(L"CDriverSetupCtrl: 1, ENTER: DriverPackageInstallW\n"));
    AddDevice();
    winsim::difx::SetRebootNeeded(machine(), true);
    ClearLogs();
    EXPECT_EQ(0u, drv.Run(1, L"drv\\net.inf", 0));
    EXPECT_TRUE(Logged(L"CDriverSetupCtrl: Machine will have to be rebooted to complete install."));
    winsim::difx::SetResult(machine(), winsim::difx::Op::Preinstall, 1);
    ClearLogs();
    EXPECT_EQ(1u, drv.Run(0, L"C:\\Elsewhere\\x.inf", 0));
    EXPECT_TRUE(Logged(L"CDriverSetupCtrl:Error: Can not find inf  C:\\Elsewhere\\x.inf"));
    EXPECT_TRUE(Logged(L"CDriverSetupCtrl: failed with error code 0x1 \n"));
}

}  // namespace
