// Modem and wireless-device commands run through their table rows: the presence checks,
// the region sections, the homologation stamp's access by build and view, wake on ring and
// ASPM around the device's disable and enable.
#include "device_fixture.h"
#include "winsim/wmi.h"

namespace {

using namespace winsim::wireless;

// The presence checks: any modem for CHECK_MODEM, only listed ones for the wireless two.
struct PresenceCase {
    const char* name;
    bool soft_modem, wwan, wlan;
    unsigned modem, wmodem, wifi;
};

const PresenceCase kPresences[] = {
    {"Nothing", false, false, false, 8, 9, 10},
    {"SoftModemOnly", true, false, false, 0, 9, 10},
    {"Wireless", false, true, true, 0, 0, 0},
};

using PresenceCheck = DeviceCommandCase<PresenceCase>;

TEST_P(PresenceCheck, FindsTheDevices) {
    const PresenceCase& c = GetParam();
    if (c.soft_modem) AddSoftModem(machine(), SoftModemSpec());
    if (c.wwan) AddWwanModem(machine(), WwanModemSpec());
    if (c.wlan) AddWlanAdapter(machine(), WlanSpec());
    Start(L"");
    int q1 = 0, q2 = 0, q3 = 0;
    EXPECT_EQ(c.modem, Run(L"CHECK_MODEM", &q1));
    EXPECT_EQ(c.wmodem, Run(L"CHECK_WMODEM", &q2));
    EXPECT_EQ(c.wifi, Run(L"CHECK_WIFI", &q3));
    EXPECT_EQ(c.modem ? 1 : 0, q1);
    EXPECT_EQ(c.wmodem ? 1 : 0, q2);
    EXPECT_EQ(c.wifi ? 1 : 0, q3);
}

INSTANTIATE_TEST_SUITE_P(Cases, PresenceCheck, ::testing::ValuesIn(kPresences), CaseName<PresenceCase>);

// MODEM_HOMOL's access by build and suffix; the x86 build reaches the 64-bit view only
// under WOW64.
struct HomolCase {
    const char* name;
    bool build64;
    const wchar_t* suffix;
    REGSAM sam;
    const wchar_t* log;
};

const HomolCase kHomolNative[] = {
    {"X64Plain", true, L"", 0x2001F, L"Initialize homol time stamp 64 bit build"},
    {"X64Wow32", true, L".wow32", 0x2021F, L"Initialize homol time stamp 64 bit build wow32"},
    {"X64Wow6432", true, L".WOW6432", 0x2001F, L"Initialize homol time stamp 64 bit build"},
    {"X86On32BitWindows", false, L".WOW6432", 0x2001F, L"Initialize homol time stamp"},
};
const HomolCase kHomolWow64[] = {
    {"X86Wow6432", false, L".WOW6432", 0x2011F, L"Initialize homol time stamp wow6432"},
    {"X86Wow64", false, L".Wow64", 0x2011F, L"Initialize homol time stamp wow64"},
    {"X86Plain", false, L"", 0x2001F, L"Initialize homol time stamp"},
};

void CheckHomol(const HomolCase& c) {
    LPCWSTR log = nullptr;
    EXPECT_EQ(c.sam, CSetupCtrl::HomolAccess(c.suffix, c.build64, &log)) << c.name;
    EXPECT_STREQ(c.log, log) << c.name;
}

TEST_F(DeviceCommandTest, HomolAccessNative) {
    Start(L"");
    for (const auto& c : kHomolNative) CheckHomol(c);
}

class Wow64DeviceCommandTest : public EngineUnitTest {
protected:
    Wow64DeviceCommandTest() : EngineUnitTest("bare", L"C:\\Program Files (x86)\\Quarven\\Setup\\Setup.exe") {}
};

TEST_F(Wow64DeviceCommandTest, HomolAccessUnderWow64) {
    process().image64 = false;
    Create();
    for (const auto& c : kHomolWow64) CheckHomol(c);
}

// Run twice, the stamp's first byte comes back; ".WOW32" reaches the 32-bit driver's key.
TEST_F(DeviceCommandTest, ModemHomolToggles) {
    SoftModemSpec s;
    s.stamp = std::vector<uint8_t>{0, 7, 0, 0};
    AddSoftModem(machine(), s);
    SoftModemSpec s32;
    s32.wow32 = true;
    s32.hardware_id = L"PCI\\VEN_11D4&DEV_1041";
    s32.stamp = std::vector<uint8_t>{3, 0, 0, 0};
    AddSoftModem(machine(), s32);
    Start(L"");
    EXPECT_EQ(0u, Run(L"MODEM_HOMOL"));
    EXPECT_EQ((std::vector<uint8_t>{1, 7, 0, 0}), reg().GetValue(kSoftModemKey, L"HomolTimeStamp")->data);
    EXPECT_EQ(0u, Run(L"MODEM_HOMOL"));
    EXPECT_EQ((std::vector<uint8_t>{0, 7, 0, 0}), reg().GetValue(kSoftModemKey, L"HomolTimeStamp")->data);
    EXPECT_EQ(0u, Run(L"MODEM_HOMOL", nullptr, L".WOW32"));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), reg().GetValue(kSoftModemKey32, L"HomolTimeStamp")->data);
    reg().DeleteKey(kSoftModemKey);
    EXPECT_EQ(15u, Run(L"MODEM_HOMOL"));
}

// Wake on ring and ASPM: the device goes down around the write outside silent mode only
// (the wireless modem's composite device with it), a device the user disabled stays so,
// and a write that finds nothing fails.
struct WriteCase {
    const char* name;
    const wchar_t* args;
    bool user_disabled;
    bool aspm_value;
    unsigned wor, aspm;
    size_t disables;  // "Disalbe device." lines of both commands
};

const WriteCase kWrites[] = {
    {"Cycled", L"", false, true, 0, 0, 2},
    {"Silent", L"/S", false, true, 0, 0, 0},
    {"UserDisabledStaysDisabled", L"", true, true, 0, 0, 1},
    {"NoAspmValue", L"", false, false, 0, 18, 2},
};

using WirelessWrite = DeviceCommandCase<WriteCase>;

TEST_P(WirelessWrite, AroundTheDevice) {
    {
        const WriteCase& c = GetParam();
        WwanModemSpec ws;
        ws.instances = 2;
        Devices modem = AddWwanModem(machine(), ws);
        WlanSpec ls;
        if (!c.aspm_value) ls.settings = {{L"PowerSettings", std::nullopt}};
        Devices wlan = AddWlanAdapter(machine(), ls);
        DWORD composite = tree().Get(modem.device)->parent;
        if (c.user_disabled) {
            Disable(modem.device);
            Disable(wlan.device);
        }
        Start(L"", c.args);
        EXPECT_EQ(c.wor, Run(L"ENABLE_WOR_WMODEM")) << c.name;
        EXPECT_EQ(c.aspm, Run(L"DISABLE_IWLAN_ASPM")) << c.name;
        EXPECT_EQ(c.disables, Count(L"Detect:Device is enabled->Disalbe device.")) << c.name;
        for (DWORD dn : modem.instances)
            EXPECT_EQ(std::optional<DWORD>(1), reg().GetDword(tree().ParametersKey(dn), L"WakeOnRing")) << c.name;
        std::string want = c.user_disabled ? "disabled" : "running";
        EXPECT_EQ("running", NodeState(composite)) << c.name;
        EXPECT_EQ(want, NodeState(modem.device)) << c.name;
        EXPECT_EQ(want, NodeState(wlan.device)) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WirelessWrite, ::testing::ValuesIn(kWrites), CaseName<WriteCase>);

TEST_F(DeviceCommandTest, WirelessWritesWithoutTheDevice) {
    Start(L"");
    EXPECT_EQ(17u, Run(L"ENABLE_WOR_WMODEM"));
    EXPECT_EQ(18u, Run(L"DISABLE_IWLAN_ASPM"));
    EXPECT_TRUE(Logged(L"Could not open wireless modem device"));
    EXPECT_TRUE(Logged(L"Could not open wireless LAN device"));
}

}  // namespace

namespace {

// The region sections: "<section>_<letter>" when the script has it, else the section; the
// letter is the OEM string's sixth character, a forced region's first one winning.
#define REGION_ADD(value)                                                           \
    L"ADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Quarven\\Modem\r\n" \
    L"ADDREG1_ENTRYNAME=Region\r\nADDREG1_FLAGS=0\r\nADDREG1_VALUE=" value L"\r\n"

struct RegionCase {
    const char* name;
    const wchar_t* oem;
    const wchar_t* forced;
    const wchar_t* lines;
    unsigned modem, telephony;
    const wchar_t* value;  // Region afterwards ("" none)
};

const RegionCase kRegions[] = {
    {"RegionSection", L"QV201J", L"", REGION_ADD(L"plain") L"[S_J]\r\n" REGION_ADD(L"japan"), 0, 0, L"japan"},
    {"NoRegionSection", L"QV201J", L"", REGION_ADD(L"plain") L"[S_E]\r\n" REGION_ADD(L"europe"), 0, 0, L"plain"},
    {"ForcedRegionWins", L"QV201J", L"E", REGION_ADD(L"plain") L"[S_E]\r\n" REGION_ADD(L"europe"), 0, 0, L"europe"},
    {"ShortOemStringPlain", L"QV20", L"", REGION_ADD(L"plain") L"[S_J]\r\n" REGION_ADD(L"japan"), 0, 0, L"plain"},
    {"NothingListed", L"QV201J", L"", L"ADDREG=0\r\n", 14, 16, L""},
};

using RegionCommand = DeviceCommandCase<RegionCase>;

TEST_P(RegionCommand, AppliesTheRegionsSection) {
    const RegionCase& c = GetParam();
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystem",
                              {{{L"OEMStringArray", winsim::wmi::Value::Texts({c.oem})}}});
    Start(c.lines);
    if (c.forced[0]) g_pSetupEnv->SetForcedRegion(c.forced);
    for (const wchar_t* keyword : {L"MODEM_REGION", L"TELEPHONY_REGION"}) {
        reg().DeleteKey(L"HKLM\\SOFTWARE\\Quarven\\Modem");
        int quit = 0;
        unsigned want = keyword[0] == L'M' ? c.modem : c.telephony;
        EXPECT_EQ(want, Run(keyword, &quit)) << winsim::Utf8(keyword);
        EXPECT_EQ(0, quit);
        EXPECT_EQ(std::wstring(c.value), reg().GetString(L"HKLM\\SOFTWARE\\Quarven\\Modem", L"Region").value_or(L""))
            << winsim::Utf8(keyword);
    }
    EXPECT_TRUE(LoggedSince(L"Initialize modem region"));
    EXPECT_TRUE(LoggedSince(L"Initialize telephony region"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RegionCommand, ::testing::ValuesIn(kRegions), CaseName<RegionCase>);

}  // namespace
