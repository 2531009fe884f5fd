// System checks and timing: the string and version comparison of CHECK_PARTNO and
// CHECK_WMIDATA, the battery states, the management-engine flag, the module power switch
// against the simulated HCI driver, the start-time wait and the pause, on the virtual clock.
#include "unit_fixture.h"

#include "winsim/devices.h"
#include "winsim/hci.h"
#include "winsim/modules.h"
#include "winsim/smbios.h"
#include "winsim/wmi.h"

#include <optional>
#include <string>
#include <vector>

namespace {

using winsim::wmi::Value;

class SystemTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Checks.ini";

    // Writes the script ([S] holds the lines), builds the engine and reads keys from it.
    void Start(const std::wstring& lines) {
        std::wstring text = L"[S]\r\n" + lines;
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, bytes));
        Create();
        g_pSetupEnv->SetScriptPath(kScript);
    }
    // Runs the keyword's table row on [S]; the time it took in *pElapsed.
    unsigned Run(const wchar_t* keyword, int* pQuit = nullptr, uint64_t* pElapsed = nullptr) {
        const SetupCommand* row = FindSetupCommand(keyword);
        EXPECT_NE(nullptr, row);
        if (!row) return 0xFFFFFFFF;
        int quit = 0;
        uint64_t start = machine().NowMs();
        unsigned r = row->pfnHandler(L"", L"S", &quit, 0);
        if (pQuit) *pQuit = quit;
        if (pElapsed) *pElapsed = machine().NowMs() - start;
        return r;
    }
};

// CompareVersion: fields at '.', ',' and ' ', six at most, leading digits only.
struct VersionCase {
    const wchar_t *a, *b;
    int expected;
};

TEST(CompareVersion, FieldByField) {
    const VersionCase cases[] = {
        {L"1.2", L"1.2.0.0", 0},
        {L"3, 14, 64, 7", L"3.14.64.7", 0},
        {L"1.10", L"1.9", 1},
        {L"1.99", L"2.0", -1},
        {L"2.1", L"2.0", 1},
        {L"V2", L"0", 0},
        {L"1..2", L"1.2", 0},
        {L"1.2.3.4.5.6.7", L"1.2.3.4.5.6.9", 0},
        {L"1.2a", L"1.2", 0},
        {L"4294967296", L"4294967295", 0},  // fields saturate
        // Each text is taken to its first 24 characters.
        {L"1.1.1.1.1.000000000000001", L"1.1.1.1.1.0", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CSetupCtrl::CompareVersion(c.a, c.b)) << winsim::Utf8(c.a) << " vs " << winsim::Utf8(c.b);
        EXPECT_EQ(-c.expected, CSetupCtrl::CompareVersion(c.b, c.a))
            << winsim::Utf8(c.b) << " vs " << winsim::Utf8(c.a);
    }
}

// Each case runs as CHECK_PARTNO (the value is the OEM string) and as CHECK_WMIDATA (the
// value is a WMI property).
struct StringCase {
    const char* name;
    std::optional<std::wstring> value;  // nullopt: null in WMI
    std::wstring lines;                 // STR, STRn, CMPCODE
    bool holds;
    std::wstring logged;  // empty: not checked
};

class StringChecks : public SystemTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringChecks, PartNoAndWmiData) {
    const StringCase& c = GetParam();
    Value oem = c.value ? Value::Texts({*c.value}) : Value::Null(CIM_STRING | CIM_FLAG_ARRAY);
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystem", {{{L"OEMStringArray", oem}}});
    Value prop = c.value ? Value::Text(*c.value) : Value::Null();
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Test_Part", {{{L"Number", prop}}});
    Start(c.lines + L"\r\nWMI_NAMESPACE=root\\CIMV2\r\nWMI_CLASSNAME=Test_Part\r\nWMI_PROPERTYNAME=Number\r\n");
    int quit = 0;
    EXPECT_EQ(c.holds ? 0u : 83u, Run(L"CHECK_PARTNO", &quit));
    EXPECT_EQ(c.holds ? 0 : 1, quit);
    if (!c.logged.empty()) {
        EXPECT_TRUE(Logged(L"CSetupCtrl::CheckStringFromIni " + c.logged));
    }
    EXPECT_EQ(c.holds ? 0u : 85u, Run(L"CHECK_WMIDATA", &quit));
    EXPECT_EQ(c.holds ? 0 : 1, quit);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StringChecks,
    ::testing::Values(
        StringCase{"exact", L"QVT10J-0100", L"STR=1\r\nSTR1=QVT10J-0100\r\nCMPCODE=0", true,
                   L"Complete matching QVT10J-0100 vs QVT10J-0100"},
        StringCase{"exactCaseMatters", L"QVT10J-0100", L"STR=1\r\nSTR1=qvt10j-0100\r\nCMPCODE=0", false,
                   L"Complete miss-matching qvt10j-0100 vs QVT10J-0100"},
        StringCase{"entryContainsValue", L"QVT10J", L"STR=1\r\nSTR1=xQVT10Jx\r\nCMPCODE=1", true,
                   L"Include matching xQVT10Jx vs QVT10J"},
        StringCase{"valueLongerThanEntry", L"QVT10J-0100", L"STR=1\r\nSTR1=QVT\r\nCMPCODE=1", false,
                   L"Include miss-matching QVT vs QVT10J-0100"},
        StringCase{"prefixAnyCase", L"PSK10J", L"STR=2\r\nSTR1=ABC\r\nSTR2=psk\r\nCMPCODE=2", true,
                   L"Include matching psk vs PSK10J"},
        StringCase{"equalVersions", L"1.2", L"STR=1\r\nSTR1=1.2.0.0\r\nCMPCODE===", true, L"TRUE 1.2.0.0 == 1.2"},
        StringCase{"notEqualHolds", L"1.3", L"STR=1\r\nSTR1=1.2\r\nCMPCODE=!=", true, L"TRUE 1.3 !=  1.2"},
        StringCase{"lessHolds", L"1.9", L"STR=1\r\nSTR1=2.0\r\nCMPCODE=<", true, L"TRUE 1.9 <  2.0"},
        StringCase{"lessFails", L"2.0", L"STR=1\r\nSTR1=2.0\r\nCMPCODE=<", false, L"FALSE 2.0 < 2.0"},
        StringCase{"atMostHolds", L"2.0", L"STR=1\r\nSTR1=2.0\r\nCMPCODE=<=", true, L"TRUE 2.0 =<  2.0"},
        StringCase{"atLeastLater", L"2.1", L"STR=1\r\nSTR1=2.0\r\nCMPCODE=>=", true, L""},
        StringCase{"atLeastFails", L"1.99", L"STR=1\r\nSTR1=2.0\r\nCMPCODE=>=", false, L"FALSE 1.99 => 2.0"},
        StringCase{"greaterHolds", L"2.0.1", L"STR=1\r\nSTR1=2.0\r\nCMPCODE=>", true, L"TRUE 2.0.1 > 2.0"},
        StringCase{"unknownCode", L"2.0", L"STR=2\r\nSTR1=2.0\r\nSTR2=2.0\r\nCMPCODE==>", false,
                   L"unknown compare code. =>"},
        StringCase{"noCode", L"2.0", L"STR=1\r\nSTR1=2.0", false, L"unknown compare code. "},
        // An entry left empty satisfies nothing (a prefix test would otherwise pass).
        StringCase{"emptyEntry", L"QVT10J", L"STR=2\r\nSTR2=Z\r\nCMPCODE=2", false, L"Error empty STR1"},
        // A value that could not be read passes no test, not even "contains".
        StringCase{"nullValue", std::nullopt, L"STR=1\r\nSTR1=QVT\r\nCMPCODE=1", false, L""}),
    [](const ::testing::TestParamInfo<StringCase>& i) { return std::string(i.param.name); });

TEST_F(SystemTest, WmiDataNeedsItsThreeNamesAndAValue) {
    Start(L"STR=1\r\nSTR1=1\r\nCMPCODE=0\r\nWMI_NAMESPACE=root\\CIMV2\r\nWMI_PROPERTYNAME=Number\r\n");
    int quit = 0;
    EXPECT_EQ(85u, Run(L"CHECK_WMIDATA", &quit));
    EXPECT_EQ(1, quit);
    EXPECT_TRUE(Logged(L"CSetupCtrl::CheckWmidataFromIni Error Can not get WMI_CLASSNAME"));
    Destroy();
    Start(
        L"STR=1\r\nSTR1=1\r\nCMPCODE=0\r\nWMI_NAMESPACE=root\\CIMV2\r\nWMI_CLASSNAME=No_Class\r\n"
        L"WMI_PROPERTYNAME=Number\r\n");
    EXPECT_EQ(85u, Run(L"CHECK_WMIDATA", &quit));
    EXPECT_TRUE(Logged(L"CheckWmidataFromIni Eror GetValue."));
}

struct BatteryCase {
    const char* name;
    std::vector<winsim::BatteryState> batteries;
    int chkcode;
    bool holds;
};

class BatteryChecks : public SystemTest, public ::testing::WithParamInterface<BatteryCase> {};

TEST_P(BatteryChecks, PresentOrRunningOnIt) {
    const BatteryCase& c = GetParam();
    for (const auto& b : c.batteries) winsim::DeviceTree(machine()).AddBattery(winsim::DeviceSpec{}, b);
    Start(L"CHKCODE=" + std::to_wstring(c.chkcode));
    int quit = 0;
    EXPECT_EQ(c.holds ? 0u : 84u, Run(L"CHECK_BATTERY", &quit));
    EXPECT_EQ(c.holds ? 0 : 1, quit);
}

using winsim::BatteryState;

INSTANTIATE_TEST_SUITE_P(States, BatteryChecks,
                         ::testing::Values(BatteryCase{"noBattery", {}, 0, false},
                                           BatteryCase{"mainsRunning", {BatteryState::OnMains()}, 1, false},
                                           BatteryCase{"batteryPresent", {BatteryState::OnBattery()}, 0, true},
                                           BatteryCase{"batteryRunning", {BatteryState::OnBattery()}, 1, true},
                                           BatteryCase{"otherCode", {BatteryState::OnBattery()}, 2, false},
                                           BatteryCase{"upsOnly", {BatteryState::Ups(false)}, 1, false}),
                         [](const ::testing::TestParamInfo<BatteryCase>& i) { return std::string(i.param.name); });

struct AmtCase {
    const char* name;
    std::optional<std::vector<uint8_t>> table;  // nullopt: no SMBIOS table at all
    bool holds;
    std::wstring logged;
};

class AmtChecks : public SystemTest, public ::testing::WithParamInterface<AmtCase> {};

TEST_P(AmtChecks, SignatureAndFlag) {
    const AmtCase& c = GetParam();
    if (c.table) {
        winsim::smbios::Table t;
        t.data = *c.table;
        winsim::smbios::SetTable(machine(), t);
    } else {
        winsim::smbios::RemoveTable(machine());
    }
    Start(L"");
    int quit = 0;
    EXPECT_EQ(c.holds ? 0u : 94u, Run(L"CHECK_AMT", &quit));
    EXPECT_EQ(c.holds ? 0 : 1, quit);
    if (!c.logged.empty()) {
        EXPECT_TRUE(Logged(c.logged));
        EXPECT_TRUE(Logged(L"CSetupCtrl::CheckAMT:End"));
    } else {
        EXPECT_FALSE(Logged(L"CSetupCtrl::CheckAMT:End"));
    }
}

std::vector<uint8_t> Amt(std::vector<uint8_t> fields) {
    auto s = winsim::smbios::Structure(130, 0x82, fields, {"AMT"});
    auto end = winsim::smbios::Structure(127, 0xFF, {});
    s.insert(s.end(), end.begin(), end.end());
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, AmtChecks,
    ::testing::Values(
        AmtCase{"noTable", std::nullopt, false, L""},
        AmtCase{"noType130", winsim::smbios::Structure(127, 1, {}), false,
                L"CSetupCtrl::CheckAMT::Can not find Type 130."},
        AmtCase{"wrongSignature", Amt({'$', 'A', 'M', 'X', 1}), false, L"CSetupCtrl::CheckAMT::Fail AMT signature."},
        // Without a flag byte the first string byte stands at offset 8 ('A', bit 0 set);
        // a structure cut off by the table's end has none.
        AmtCase{"flagAtTheFirstStringByte", Amt({'$', 'A', 'M', 'T'}), true,
                L"CSetupCtrl::CheckAMT::Success AMT Support."},
        AmtCase{"noFlagByte", std::vector<uint8_t>{130, 8, 0x82, 0, '$', 'A', 'M', 'T'}, false,
                L"CSetupCtrl::CheckAMT::Error Type 130 0x8 ."},
        AmtCase{"flagClear", Amt({'$', 'A', 'M', 'T', 0xFE}), false, L"CSetupCtrl::CheckAMT::Fail AMT support."},
        AmtCase{"flagSet", Amt({'$', 'A', 'M', 'T', 1}), true, L"CSetupCtrl::CheckAMT::Success AMT Support."}),
    [](const ::testing::TestParamInfo<AmtCase>& i) { return std::string(i.param.name); });

struct ZolviCase {
    const char* name;
    std::wstring lines;
    bool power_before;
    DWORD error;  // the driver's reply to the module power request (0: works)
    unsigned code;
    bool power_after;
    std::wstring logged;
};

class ZolviCommands : public SystemTest, public ::testing::WithParamInterface<ZolviCase> {};

TEST_P(ZolviCommands, ModulePowerThroughTheDriver) {
    const ZolviCase& c = GetParam();
    winsim::HciDriver hci(machine());
    hci.set_present(true);
    hci.set_power(c.power_before);
    hci.set_error(0x4000, c.error);
    Start(c.lines);
    EXPECT_EQ(c.code, Run(L"CMD_ZOLVI"));
    EXPECT_EQ(c.power_after, hci.power());
    EXPECT_TRUE(Logged(L"CSetupCtrl::CmdZolvi:" + c.logged));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ZolviCommands,
    ::testing::Values(ZolviCase{"off", L"KEY=mbnpower\r\nVALUE=0", true, 0, 0, false, L"MBNPower Success"},
                      ZolviCase{"on", L"KEY=MBNPower\r\nVALUE=5", false, 0, 0, true, L"MBNPower Success"},
                      ZolviCase{"driverError", L"KEY=MBNPOWER\r\nVALUE=0", true, 0x100, 95, true, L"MBNPower Error"},
                      ZolviCase{"noKey", L"VALUE=0", true, 0, 95, true, L"Unknown Command"},
                      ZolviCase{"otherKey", L"KEY=RFPOWER\r\nVALUE=0", true, 0, 95, true, L"Unknown Command"}),
    [](const ::testing::TestParamInfo<ZolviCase>& i) { return std::string(i.param.name); });

struct StartCase {
    const char* name;
    bool tick64;      // kernel32 exports GetTickCount64
    uint64_t uptime;  // ms since the system started, when the command begins
    std::wstring lines;
    unsigned code;
    uint64_t elapsed;
    bool wrapped;  // the 32-bit counter's wrap was logged
};

class StartTimeWaits : public SystemTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTimeWaits, InStepsOfThreeSeconds) {
    const StartCase& c = GetParam();
    if (!c.tick64) winsim::Modules(machine()).SetExport(L"kernel32.dll", "GetTickCount64", nullptr);
    Start(c.lines);
    machine().SetTickStart(c.uptime - machine().NowMs());
    uint64_t elapsed = 0;
    EXPECT_EQ(c.code, Run(L"WAIT_OSSTARTTIME", nullptr, &elapsed));
    EXPECT_EQ(c.elapsed, elapsed);
    EXPECT_EQ(c.wrapped, Logged(L"CSetupCtrl::WaitForStarttime:detect over 49.7 days set starttime = 0"));
}

const uint64_t kWrap = 0x100000000ull;

INSTANTIATE_TEST_SUITE_P(
    Uptimes, StartTimeWaits,
    ::testing::Values(StartCase{"alreadyUp", true, 600000, L"WAIT=60000\r\nTIMEOUT=0", 0, 0, false},
                      StartCase{"timesOut", true, 60000, L"WAIT=600000\r\nTIMEOUT=30000", 42, 33000, false},
                      StartCase{"timeoutZero", true, 60000, L"WAIT=600000", 42, 3000, false},
                      StartCase{"reachedAfterTwoPauses", true, 60000, L"WAIT=65000\r\nTIMEOUT=60000", 0, 6000, false},
                      StartCase{"reachedOn32Bits", false, 60000, L"WAIT=65000\r\nTIMEOUT=60000", 0, 6000, false},
                      // Up for 49.7 days: the 64-bit count goes on, the 32-bit one wraps.
                      StartCase{"pastTheWrap", true, kWrap - 4000, L"WAIT=4294967000\r\nTIMEOUT=10000", 0, 6000, false},
                      StartCase{"wrapOn32Bits", false, kWrap - 4000, L"WAIT=4294967000\r\nTIMEOUT=10000", 42, 15000,
                                true}),
    [](const ::testing::TestParamInfo<StartCase>& i) { return std::string(i.param.name); });

struct SleepCase {
    const char* name;
    std::wstring lines;
    uint64_t elapsed;
};

TEST_F(SystemTest, SleepNeverFailsAndANegativeTimeIsNone) {
    const SleepCase cases[] = {{"default", L"", 1000},
                               {"set", L"SLEEP=250", 250},
                               {"zero", L"SLEEP=0", 0},
                               {"negative", L"SLEEP=-5", 0},
                               {"minusOne", L"SLEEP=-1", 0}};
    for (const auto& c : cases) {
        Start(c.lines);
        uint64_t elapsed = 1;
        EXPECT_EQ(0u, Run(L"CMD_SLEEP", nullptr, &elapsed)) << c.name;
        EXPECT_EQ(c.elapsed, elapsed) << c.name;
        Destroy();
    }
}

}  // namespace
