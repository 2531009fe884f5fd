// Driver installation commands on a Windows 7 machine: INSTALL_DRIVER's destination checks,
// device updates, staging and rescan; SCAN_DEVICE; UNINSTALL_OEMINF's last-ID result; and
// INSTALL_DRVPACK's any-success rule, each on the virtual clock.
#include <windows.h>

#include <setupapi.h>

#include "unit_fixture.h"
#include "winsim/devices.h"
#include "winsim/difx.h"
#include "winsim/driverstore.h"
#include "winsim/osinfo.h"

#include <string>
#include <vector>

namespace {

namespace ds = winsim::driverstore;

const wchar_t* const kWlanInf =
    L"[Version]\r\nClass=Net\r\nProvider=Acme\r\n[Manufacturer]\r\nAcme=M, NTamd64\r\n"
    L"[M.NTamd64]\r\n%W% = I, PCI\\VEN_8086&DEV_4229\r\n";
const wchar_t* const kModemInf =
    L"[Version]\r\nClass=Modem\r\nProvider=Acme\r\n[Manufacturer]\r\nAcme=M\r\n[M]\r\n%W% = I, "
    L"USB\\VID_1199&PID_9011\r\n";

class DriverCommandTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Drivers.ini";
    static constexpr const wchar_t* kDest = L"C:\\Program Files\\Quarven\\NetworkDriver";

    DriverCommandTest() {
        winsim::os::Version v;
        v.major = 6;
        v.minor = 1;
        winsim::os::SetVersion(machine(), v);
        winsim::files::CreateFolders(machine(), std::wstring(kFolder) + L"\\wlan");
        winsim::files::WriteBytes(machine(), std::wstring(kFolder) + L"\\wlan\\net.inf", ds::InfBytes(kWlanInf, true));
    }
    void Start(const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, bytes));
        Create();
        g_pSetupEnv->SetScriptPath(kScript);
    }
    unsigned Run(const wchar_t* keyword, uint64_t* pElapsed = nullptr) {
        const SetupCommand* row = FindSetupCommand(keyword);
        EXPECT_NE(nullptr, row);
        if (!row) return 0xFFFFFFFF;
        int quit = 0;
        uint64_t start = machine().NowMs();
        unsigned r = row->pfnHandler(L"", L"S", &quit, 0);
        EXPECT_EQ(0, quit);
        if (pElapsed) *pElapsed = machine().NowMs() - start;
        return r;
    }
    DWORD AddDevice(const std::wstring& instance, const std::wstring& id) {
        winsim::DeviceSpec d;
        d.instance_id = instance;
        d.class_guid = winsim::devclass::kNet;
        d.hardware_ids = std::vector<std::wstring>{id};
        return winsim::DeviceTree(machine()).Add(d);
    }
    winsim::DeviceSpec Later(const std::wstring& instance, const std::wstring& id) {
        winsim::DeviceSpec d;
        d.instance_id = instance;
        d.class_guid = winsim::devclass::kNet;
        d.hardware_ids = std::vector<std::wstring>{id};
        return d;
    }
};

TEST_F(DriverCommandTest, InstallDriverRefusesDestinationsOutsideItsOwnPlace) {
    const wchar_t* dirs[] = {L"", L"C:\\Drivers", L"..\\Windows", L"Quarven", L"Quarven\\Setup\\Drivers"};
    for (const wchar_t* dir : dirs) {
        SCOPED_TRACE(winsim::Utf8(dir));
        Destroy();
        Start(L"[S_WIN7]\r\nDESTDIR=" + std::wstring(dir) + L"\r\nREFRESH=0\r\n");
        EXPECT_EQ(11u, Run(L"INSTALL_DRIVER"));
        EXPECT_TRUE(winsim::files::Exists(machine(), std::wstring(kFolder) + L"\\wlan\\net.inf"));
    }
    Destroy();
    Start(L"[S]\r\nDEV=0\r\n");  // no section for this OS
    EXPECT_EQ(11u, Run(L"INSTALL_DRIVER"));
    EXPECT_TRUE(Logged(L"Install Driver Section=S_WIN7"));
    EXPECT_FALSE(winsim::files::Exists(machine(), kDest));
}

TEST_F(DriverCommandTest, InstallDriverUpdatesThePresentDeviceAndSkipsStaging) {
    DWORD dev = AddDevice(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229");
    Start(
        L"[S_WIN7]\r\nDEV=2\r\nDEV1=USB\\VID_0000\r\nDEVINF1=none.inf\r\nDEV2=PCI\\VEN_8086&DEV_4229\r\n"
        L"DEVINF2=wlan\\net.inf\r\nINFCOPY=1\r\nINF1=wlan\\net.inf\r\nREFRESH=1\r\n");
    uint64_t elapsed = 0;
    EXPECT_EQ(0u, Run(L"INSTALL_DRIVER", &elapsed));
    EXPECT_EQ(L"oem0.inf", ds::BoundInf(machine(), dev));
    EXPECT_EQ(1u, ds::OemInfs(machine()).size());
    ASSERT_EQ(1u, ds::Updates(machine()).size());
    EXPECT_EQ(std::wstring(kDest) + L"\\wlan\\net.inf", ds::Updates(machine())[0].inf_path);
    EXPECT_EQ(7000u, elapsed);  // the pending install, then the fixed pause
}

TEST_F(DriverCommandTest, InstallDriverStagesAndRescansWhenNoListedDeviceIsThere) {
    ds::QueueDetection(machine(), Later(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229"));
    Start(
        L"[S_WIN7]\r\nDEV=1\r\nDEV1=PCI\\VEN_8086&DEV_4229\r\nDEVINF1=wlan\\net.inf\r\nINFCOPY=1\r\n"
        L"INF1=wlan\\net.inf\r\nREFRESH=1\r\nDETECTCOUNT=1\r\nDETECTDEV1=PCI\\VEN_8086&DEV_4229\r\n");
    EXPECT_EQ(0u, Run(L"INSTALL_DRIVER"));
    EXPECT_EQ((std::vector<std::wstring>{L"oem0.inf"}), ds::OemInfs(machine()));
    EXPECT_NE(0u, winsim::DeviceTree(machine()).Find(L"PCI\\VEN_8086&DEV_4229\\3&1"));
    EXPECT_TRUE(Logged(L"CSetupCtrl::Refresh() END"));
}

TEST_F(DriverCommandTest, ScanDeviceRescansEvenWhenTheListIsPresent) {
    AddDevice(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229");
    ds::QueueDetection(machine(), Later(L"USB\\VID_1199&PID_9011\\5&2", L"USB\\VID_1199&PID_9011"));
    Start(L"[S]\r\nDETECTCOUNT=1\r\nDETECTDEV1=PCI\\VEN_8086\r\nAFTERWAIT=1500\r\n");
    uint64_t elapsed = 0;
    EXPECT_EQ(0u, Run(L"SCAN_DEVICE", &elapsed));
    EXPECT_NE(0u, winsim::DeviceTree(machine()).Find(L"USB\\VID_1199&PID_9011\\5&2"));
    EXPECT_EQ(1500u, elapsed);
}

TEST_F(DriverCommandTest, UninstallOemInfTheLastIdDecidesAndNeedsAFilter) {
    struct Case {
        std::wstring section;
        unsigned result;
        size_t left;
    } cases[] = {
        {L"DEV=2\r\nDEV1=PCI\\VEN_8086\r\nDEV2=PCI\\VEN_1111\r\nCLASS=Net\r\n", 70, 1},
        {L"DEV=2\r\nDEV1=PCI\\VEN_1111\r\nDEV2=PCI\\VEN_8086\r\nCLASS=net\r\n", 0, 1},
        {L"DEV=1\r\nDEV1=USB\\VID_1199\r\nCLASS=Net\r\n", 70, 2},
        {L"DEV=1\r\nDEV1=\r\nPROVIDER=Acme\r\n", 0, 0},
        {L"DEV=1\r\nDEV1=\r\n", 70, 2},  // no filter at all: nothing goes
        {L"DEV=0\r\nCLASS=Net\r\n", 70, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(winsim::Utf8(c.section));
        Destroy();
        for (const auto& n : ds::OemInfs(machine())) SetupUninstallOEMInfW(n.c_str(), SUOI_FORCEDELETE, NULL);
        ds::AddOemInf(machine(), kWlanInf);
        ds::AddOemInf(machine(), kModemInf);
        Start(L"[S_WIN7]\r\n" + c.section);
        EXPECT_EQ(c.result, Run(L"UNINSTALL_OEMINF"));
        EXPECT_EQ(c.left, ds::OemInfs(machine()).size());
    }
}

TEST_F(DriverCommandTest, InstallDrvpackSucceedsWhenAnyPackageDoes) {
    AddDevice(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229");
    struct Case {
        std::wstring section;
        bool library;
        unsigned result;
    } cases[] = {
        {L"INF=2\r\nOPTION=0\r\nINF1=wlan\\gone.inf\r\nINF2=wlan\\net.inf\r\n", true, 0},
        {L"INF=1\r\nOPTION=0\r\nINF1=wlan\\net.inf\r\n", true, 71},  // already in the store
        {L"INF=1\r\nOPTION=1\r\nINF1=wlan\\net.inf\r\n", true, 0},
        {L"INF=0\r\nOPTION=0\r\n", true, 71},
        {L"INF=1\r\nOPTION=9\r\nINF1=wlan\\net.inf\r\n", true, 71},
        {L"INF=1\r\nOPTION=3\r\nINF1=wlan\\net.inf\r\n", false, 71},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(winsim::Utf8(c.section));
        Destroy();
        std::wstring lib = std::wstring(kFolder) + L"\\DIFxAPI.dll";
        if (c.library)
            winsim::difx::Install(machine(), lib);
        else
            DeleteFileW(lib.c_str());
        Start(L"[S]\r\n" + c.section);
        EXPECT_EQ(c.result, Run(L"INSTALL_DRVPACK"));
    }
}

}  // namespace

namespace {

constexpr const wchar_t* kClassKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\";

class DriverRegTest : public DriverCommandTest {
protected:
    DriverRegTest() {
        winsim::DeviceSpec hub;
        hub.instance_id = L"PCI\\VEN_8086&DEV_1E31\\3&0";
        hub.class_guid = winsim::devclass::kUsb;
        hub.hardware_ids = std::vector<std::wstring>{L"PCI\\VEN_8086&DEV_1E31"};
        hub_ = winsim::DeviceTree(machine()).Add(hub);
        winsim::DeviceSpec wlan;
        wlan.instance_id = L"USB\\VID_1199&PID_9011\\5&2";
        wlan.parent = hub_;
        wlan.class_guid = winsim::devclass::kNet;
        wlan.hardware_ids = std::vector<std::wstring>{L"USB\\VID_1199&PID_9011"};
        wlan.driver_values = {{L"ASPM", L"1"}, {L"Keep", L"x"}};
        wlan_ = winsim::DeviceTree(machine()).Add(wlan);
    }
    std::wstring DriverKey(DWORD dn) { return winsim::DeviceTree(machine()).DriverKey(dn); }
    bool Disabled(DWORD dn) {
        auto n = winsim::DeviceTree(machine()).Get(dn);
        return n->disabled_global || n->disabled_config;
    }

    DWORD hub_ = 0, wlan_ = 0;
};

const wchar_t* const kEdits =
    L"[S_USB\\VID_1199&PID_9011]\r\nADDREG=2\r\nADDREG1_ENTRYNAME=WakeOnRing\r\nADDREG1_FLAGS=0x00010001\r\n"
    L"ADDREG1_VALUE=1\r\nADDREG2_ENTRYNAME=Mode\r\nADDREG2_FLAGS=0\r\nADDREG2_VALUE=50%fast, then;slow\r\nADDREG2_SUBKEY=Params\r\n"
    L"DELREG=2\r\nDELREG1_ENTRYNAME=ASPM\r\nDELREG2_ENTRYNAME=\r\n";

TEST_F(DriverRegTest, EditsTheDriverKeyAndNeverDeletesItWhole) {
    Start(L"[S]\r\nDEV=2\r\nDEV1=USB\\VID_1199&PID_9011\r\nDEV2=USB\\VID_1199&PID_9011\r\n" + std::wstring(kEdits));
    EXPECT_EQ(0u, Run(L"DRIVER_REG"));
    winsim::Registry r(machine());
    std::wstring key = DriverKey(wlan_);
    EXPECT_EQ(1u, r.GetDword(key, L"WakeOnRing").value_or(0));
    EXPECT_EQ(L"50%fast, then;slow", r.GetString(key + L"\\Params", L"Mode").value_or(L""));  // whole, no string key
    EXPECT_FALSE(r.GetValue(key, L"ASPM"));
    EXPECT_EQ(L"x", r.GetString(key, L"Keep").value_or(L""));  // the nameless DELREG is skipped
    int runs = 0;
    for (const auto& l : Logs()) runs += l == L"DriverAddDelRegFromInf->chRegCmdLine";
    EXPECT_EQ(2, runs);  // each listed ID
}

TEST_F(DriverRegTest, ShiftsEditTheNodeReachedAndAnIncompleteShiftFails) {
    struct Case {
        const wchar_t* shift;
        unsigned result;
        bool parent_edited;
    } cases[] = {{L"1", 0, true}, {L"9", 19, false}, {L"-1", 19, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(winsim::Utf8(c.shift));
        Destroy();
        winsim::Registry(machine()).DeleteValue(DriverKey(hub_), L"WakeOnRing");
        Start(L"[S]\r\nDEV=1\r\nDEV1=USB\\VID_1199&PID_9011\r\nDEVSHIFT=" + std::wstring(c.shift) + L"\r\n" + kEdits);
        EXPECT_EQ(c.result, Run(L"DRIVER_REG"));
        EXPECT_EQ(c.parent_edited, winsim::Registry(machine()).GetDword(DriverKey(hub_), L"WakeOnRing").has_value());
    }
}

TEST_F(DriverRegTest, RoundTripReenablesOnlyWhatItDisabled) {
    struct Case {
        bool user_disabled;
        const wchar_t* flags;
        bool disabled_after;
        uint64_t elapsed;
    } cases[] = {
        {false, L"PREDISABLE=1\r\nAFTERENABLE=1\r\n", false, 800},
        {true, L"PREDISABLE=1\r\nAFTERENABLE=1\r\n", true, 800},
        {true, L"PREDISABLE=0\r\nAFTERENABLE=1\r\n", true, 800},
        {false, L"PREDISABLE=1\r\nAFTERENABLE=0\r\n", true, 800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(winsim::Utf8(c.flags));
        Destroy();
        winsim::DeviceTree t(machine());
        DWORD flags = 0;
        t.ChangeState(wlan_, c.user_disabled ? DICS_DISABLE : DICS_ENABLE, DICS_FLAG_GLOBAL, &flags);
        Start(L"[S]\r\nDEV=1\r\nDEV1=USB\\VID_1199&PID_9011\r\nPRESLEEP=300\r\nAFTERSLEEP=500\r\n" +
              std::wstring(c.flags) + kEdits);
        uint64_t elapsed = 0;
        EXPECT_EQ(0u, Run(L"DRIVER_REG", &elapsed));
        EXPECT_EQ(c.disabled_after, Disabled(wlan_));
        EXPECT_EQ(c.elapsed, elapsed);
    }
}

}  // namespace
