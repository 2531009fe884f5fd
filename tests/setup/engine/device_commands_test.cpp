// Device commands run through their table rows: presence by prefix, enable and disable
// with shifts, removal of present and phantom devices, the start wait on the virtual clock,
// and the type and capability filters of the wireless-device check.
#include "device_fixture.h"

namespace {

using namespace winsim::wireless;

// CHECK_HWID stops at the first present ID (by prefix, any case) and names its device.
TEST_F(DeviceCommandTest, CheckHwidStopsAtTheFirstPresentId) {
    Add(L"PCI\\VEN_1111&DEV_2222\\1", {L"PCI\\VEN_1111&DEV_2222&REV_01"});
    Start(L"HWID=3\r\nHWID1=PCI\\VEN_9999\r\nHWID2=pci\\ven_1111\r\nHWID3=PCI\\VEN_1111&DEV_2222\r\n");
    int quit = 0;
    EXPECT_EQ(0u, Run(L"CHECK_HWID", &quit));
    EXPECT_EQ(0, quit);
    EXPECT_EQ(2u, Count(L"CHECK_HWID:PCI\\VEN_9999") + Count(L"CHECK_HWID:pci\\ven_1111"));
    EXPECT_EQ(0u, Count(L"CHECK_HWID:PCI\\VEN_1111&DEV_2222"));
    EXPECT_TRUE(Logged(L"Detect HWID HWID2=pci\\ven_1111"));
    EXPECT_STREQ(L"PCI\\VEN_1111&DEV_2222\\1", g_pSetupCtrl->GetDevInstanceID());
}

// ROWINI: a file that exists holds the list (in its section of the same name); a missing
// one leaves the list of the script.
TEST_F(DeviceCommandTest, CheckHwidListFromRowIni) {
    Add(L"PCI\\VEN_1111&DEV_2222\\1", {L"PCI\\VEN_1111&DEV_2222"});
    const std::wstring row = L"C:\\Program Files\\Quarven\\Setup\\Rows.ini";
    struct Case {
        const char* name;
        const wchar_t* rowini;
        const wchar_t* file_list;
        unsigned result;
    } cases[] = {
        {"MissingFileUsesTheScript", L"%ExecuteDir%\\None.ini", nullptr, 0},
        {"FileListWins", L"%ExecuteDir%\\Rows.ini", L"HWID=1\r\nHWID1=USB\\VID_0000\r\n", 20},
        {"FileListFinds", L"%ExecuteDir%\\Rows.ini", L"HWID=1\r\nHWID1=PCI\\VEN_1111\r\n", 0},
    };
    for (const auto& c : cases) {
        Destroy();
        if (c.file_list) {
            ASSERT_TRUE(winsim::files::WriteBytes(machine(), row, Utf16(L"[S]\r\n" + std::wstring(c.file_list))));
        }
        Start(std::wstring(L"ROWINI=") + c.rowini + L"\r\nHWID=1\r\nHWID1=PCI\\VEN_1111\r\n");
        int quit = 0;
        EXPECT_EQ(c.result, Run(L"CHECK_HWID", &quit)) << c.name;
        EXPECT_EQ(c.result ? 1 : 0, quit) << c.name;
        EXPECT_EQ(c.result != 0, LoggedSince(L"Error did not find any HWID!")) << c.name;
    }
}

// ENABLE_DRIVER: presence by prefix, the change by the whole ID, on the node the shift
// reaches.
struct EnableCase {
    const char* name;
    const wchar_t* lines;
    unsigned result;
    const char* device;  // the device's state afterwards
    const char* parent;  // its parent's
};

const EnableCase kEnables[] = {
    {"Disable", L"HWID=1\r\nHWID1=PCI\\VEN_1111&DEV_2222\r\nHWID1_FLAG=0\r\n", 0, "disabled", "running"},
    {"DisableParentByShift", L"HWID=1\r\nHWID1=PCI\\VEN_1111&DEV_2222\r\nHWID1_FLAG=0\r\nHWID1_SHIFT=1\r\n", 0,
     "absent", "disabled"},
    {"AbsentThenPresent", L"HWID=2\r\nHWID1=USB\\VID_0000\r\nHWID2=PCI\\VEN_1111&DEV_2222\r\nHWID2_FLAG=0\r\n", 0,
     "disabled", "running"},
    {"PrefixOnlyChangesNothing", L"HWID=1\r\nHWID1=PCI\\VEN_1111\r\nHWID1_FLAG=0\r\n", 68, "running", "running"},
    {"NonePresent", L"HWID=1\r\nHWID1=USB\\VID_0000\r\n", 68, "running", "running"},
    // Below the leaf the walk stops at the leaf, which is then changed.
    {"ShiftBeyondTheLeavesStopsAtTheLeaf",
     L"HWID=1\r\nHWID1=PCI\\VEN_1111&DEV_2222\r\nHWID1_FLAG=0\r\nHWID1_SHIFT=-1\r\n", 0, "disabled", "running"},
};

using EnableDriver = DeviceCommandCase<EnableCase>;

TEST_P(EnableDriver, ChangesTheNodeTheShiftReaches) {
    {
        const EnableCase& c = GetParam();
        DWORD parent = Add(L"PCI\\VEN_3333&DEV_4444\\1", {L"PCI\\VEN_3333&DEV_4444"});
        DWORD dn = Add(L"PCI\\VEN_1111&DEV_2222\\1", {L"PCI\\VEN_1111&DEV_2222"}, true, parent);
        Start(c.lines);
        int quit = 0;
        EXPECT_EQ(c.result, Run(L"ENABLE_DRIVER", &quit)) << c.name;
        EXPECT_EQ(0, quit) << c.name;
        EXPECT_EQ(c.device, NodeState(dn)) << c.name;
        EXPECT_EQ(c.parent, NodeState(parent)) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EnableDriver, ::testing::ValuesIn(kEnables), CaseName<EnableCase>);

TEST_F(DeviceCommandTest, EnableDriverBringsADisabledDeviceBack) {
    DWORD dn = Add(L"PCI\\VEN_1111&DEV_2222\\1", {L"PCI\\VEN_1111&DEV_2222"});
    Disable(dn);
    Start(L"HWID=1\r\nHWID1=PCI\\VEN_1111&DEV_2222\r\nHWID1_FLAG=1\r\n");
    EXPECT_EQ(0u, Run(L"ENABLE_DRIVER"));
    EXPECT_EQ("running", NodeState(dn));
}

// REMOVE_DRIVER and REMOVE_DEVICE: EXISTONLY skips phantoms; a found device that cannot be
// removed fails the command.
struct RemoveCase {
    const char* name;
    const wchar_t* keyword;
    const wchar_t* lines;
    bool installer_error;
    unsigned result;
    bool present_left, phantom_left;
};

const RemoveCase kRemoves[] = {
    {"DriverAll", L"REMOVE_DRIVER", L"DEV=2\r\nDEV1=PCI\\VEN_1111\r\nDEV2=PCI\\VEN_5555\r\n", false, 0, false, false},
    {"DriverExistOnly", L"REMOVE_DRIVER", L"DEV=2\r\nDEV1=PCI\\VEN_1111\r\nDEV2=PCI\\VEN_5555\r\nEXISTONLY=1\r\n",
     false, 0, false, true},
    {"DeviceAll", L"REMOVE_DEVICE", L"DEV=2\r\nDEV1=PCI\\VEN_1111\r\nDEV2=PCI\\VEN_5555\r\n", false, 0, false, false},
    {"DeviceOtherClass", L"REMOVE_DEVICE", L"DEV=1\r\nDEV1=PCI\\VEN_1111\r\nCLASS=modem\r\n", false, 0, true, true},
    {"NothingToRemove", L"REMOVE_DRIVER", L"DEV=1\r\nDEV1=USB\\VID_0000\r\n", false, 0, true, true},
    {"DriverRefused", L"REMOVE_DRIVER", L"DEV=1\r\nDEV1=PCI\\VEN_1111\r\nCLASS=NETWORK\r\n", true, 24, true, true},
};

using RemoveCommand = DeviceCommandCase<RemoveCase>;

TEST_P(RemoveCommand, RemovesWhatItFinds) {
    {
        const RemoveCase& c = GetParam();
        DWORD present = Add(L"PCI\\VEN_1111&DEV_2222\\1", {L"PCI\\VEN_1111&DEV_2222"});
        DWORD phantom = Add(L"PCI\\VEN_5555&DEV_6666\\1", {L"PCI\\VEN_5555&DEV_6666"}, false);
        if (c.installer_error) tree().SetInstallerError(present, ERROR_ACCESS_DENIED);
        Start(c.lines);
        EXPECT_EQ(c.result, Run(c.keyword)) << c.name;
        EXPECT_EQ(c.present_left, tree().Find(L"PCI\\VEN_1111&DEV_2222\\1") != 0) << c.name;
        EXPECT_EQ(c.phantom_left, tree().Find(L"PCI\\VEN_5555&DEV_6666\\1") != 0) << c.name;
        (void)phantom;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoveCommand, ::testing::ValuesIn(kRemoves), CaseName<RemoveCase>);

// CHECK_DEVSTART waits for every present listed device; one that does not start within
// TIMEOUT fails the command even when a later one starts.
TEST_F(DeviceCommandTest, CheckDevstart) {
    DWORD failing = Add(L"PCI\\VEN_1111&DEV_2222\\1", {L"PCI\\VEN_1111&DEV_2222"});
    Add(L"PCI\\VEN_3333&DEV_4444\\1", {L"PCI\\VEN_3333&DEV_4444"});
    tree().SetProblem(failing, CM_PROB_FAILED_START);
    struct Case {
        const char* name;
        const wchar_t* lines;
        unsigned result;
        uint64_t waited;
    } cases[] = {
        {"FirstFailsLastStarts",
         L"DEV=2\r\nDEV1=PCI\\VEN_1111\r\nDEV2=PCI\\VEN_3333\r\nTIMEOUT=3000\r\nINTERVAL=1000\r\n", 40, 4000},
        {"Started", L"DEV=1\r\nDEV1=PCI\\VEN_3333\r\nTIMEOUT=3000\r\nINTERVAL=1000\r\n", 0, 0},
        {"NonePresent", L"DEV=1\r\nDEV1=USB\\VID_0000\r\nTIMEOUT=3000\r\nINTERVAL=1000\r\n", 0, 0},
    };
    for (const auto& c : cases) {
        Destroy();
        Start(c.lines);
        int quit = 0;
        uint64_t start = machine().NowMs();
        EXPECT_EQ(c.result, Run(L"CHECK_DEVSTART", &quit)) << c.name;
        EXPECT_EQ(c.result ? 1 : 0, quit) << c.name;
        EXPECT_EQ(c.waited, machine().NowMs() - start) << c.name;
    }
}

// CHECK_QIVDEV: the type word (letter case significant), the list, the filter and, for
// wireless LAN with a capability filter, the capability of the matched entry.
struct QivCase {
    const char* name;
    const wchar_t* lines;
    unsigned result;
    const wchar_t* line;  // logged
};

const QivCase kQivs[] = {
    {"LowerCaseType", L"DEVTYPE=wlan\r\n", 49, L"CHECK_QIVDEV:Error does not set DEVTYPE"},
    {"WlanFound", L"DEVTYPE=WLAN\r\n", 0,
     L"CHECK_QIVDEV:Found Quarven Device PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01 vs "},
    {"FilterMatches", L"DEVTYPE=xWLANx\r\nDEVFILTER=DEV_0E5A\r\n", 0,
     L"CHECK_QIVDEV:Found Quarven Device PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01 vs DEV_0E5A"},
    {"FilterCaseMatters", L"DEVTYPE=WLAN\r\nDEVFILTER=dev_0e5a\r\n", 49,
     L"CHECK_QIVDEV:Error missmatch devfilter PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01 vs dev_0e5a"},
    {"CapabilityMatches", L"DEVTYPE=WLAN\r\nDEVFILTERCAP=6\r\n", 0,
     L"CHECK_QIVDEV:Matching devfiltercap bit 0x24 vs 0x6"},
    {"CapabilityMisses", L"DEVTYPE=WLAN\r\nDEVFILTERCAP=8\r\n", 49,
     L"CHECK_QIVDEV:Error missmatch devfiltercap 0x24 vs 0x8"},
    {"CapabilityIgnoredForWwan", L"DEVTYPE=WWAN\r\nDEVFILTERCAP=8\r\n", 0,
     L"CHECK_QIVDEV:Found Quarven Device USB\\VID_2C7C&PID_0125 vs "},
    {"NoUwbDevice", L"DEVTYPE=UWB\r\n", 49,
     L"CHECK_QIVDEV:Error could not find QUARVEN device. header=UWBID_SupportRL"},
};

TEST_F(DeviceCommandTest, CheckQivdev) {
    WlanSpec w;
    w.capability = 0x24;
    AddWlanAdapter(machine(), w);
    AddWwanModem(machine(), WwanModemSpec());
    for (const auto& c : kQivs) {
        Destroy();
        Start(c.lines);
        int quit = 0;
        EXPECT_EQ(c.result, Run(L"CHECK_QIVDEV", &quit)) << c.name;
        EXPECT_EQ(c.result ? 1 : 0, quit) << c.name;
        EXPECT_TRUE(LoggedSince(c.line)) << c.name;
    }
}

TEST_F(DeviceCommandTest, CheckQivdevReadsNoCapabilityWithoutAFilter) {
    AddWlanAdapter(machine(), WlanSpec());
    Start(L"DEVTYPE=WLAN\r\nDEVFILTERCAP=0\r\n");
    EXPECT_EQ(0u, Run(L"CHECK_QIVDEV"));
    for (const auto& l : Logs()) EXPECT_EQ(std::wstring::npos, l.find(L"GetWlDevCapByReg")) << winsim::Utf8(l);
}

}  // namespace
