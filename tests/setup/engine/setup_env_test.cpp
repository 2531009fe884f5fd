// The environment object: OS codes, paths and names, the arguments, the temporary INI, the
// OEM string with a forced region, the vendor, and the modem object's region letter.
#include "unit_fixture.h"

#include "winsim/osinfo.h"
#include "winsim/wmi.h"

namespace {

TEST(OsCode, PlatformsAndVersions) {
    struct Case {
        DWORD platform, major, minor, code;
    } cases[] = {
        {0, 3, 1, 0},  {1, 4, 0, 1},  {1, 4, 10, 2}, {1, 4, 90, 3}, {1, 4, 20, 12}, {2, 6, 3, 11},
        {2, 6, 2, 10}, {2, 6, 1, 9},  {2, 6, 0, 8},  {2, 5, 2, 6},  {2, 5, 1, 7},   {2, 5, 0, 5},
        {2, 4, 0, 4},  {2, 3, 51, 4}, {2, 5, 3, 12}, {2, 6, 4, 12}, {2, 10, 0, 12}, {3, 6, 1, 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.code, CSetupEnv::OSCodeOf(c.platform, c.major, c.minor))
            << c.platform << " " << c.major << "." << c.minor;
}

class SetupEnvTest : public EngineUnitTest {
protected:
    void SetOem(const std::wstring& oem) {
        winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystem",
                                  {{{L"OEMStringArray", winsim::wmi::Value::Texts({oem})}}});
    }
};

TEST_F(SetupEnvTest, PathsAndNames) {
    Create();
    CSetupEnv& e = *g_pSetupEnv;
    EXPECT_STREQ(L"C:\\Program Files\\Quarven\\Setup\\Setup.exe", e.GetProgramPath());
    EXPECT_STREQ(L"Setup.exe", e.GetProgramFileName());
    EXPECT_STREQ(L"Setup", e.GetProgramName());
    EXPECT_STREQ(L"C:\\Program Files\\Quarven\\Setup", e.GetProgramFolder());
    EXPECT_STREQ(L"C:\\PROGRA~1\\Quarven\\Setup", e.GetShortProgramFolder());
    EXPECT_STREQ(L"C:\\Program Files\\Quarven\\Setup\\Setup.ini", e.GetScriptPath());
    EXPECT_STREQ(L"C:\\Program Files\\Quarven\\Setup\\Setup.dat", e.GetEncryptedScriptPath());
    EXPECT_STREQ(L"C:\\Program Files\\Quarven\\Setup\\Setup.log", e.GetLogFilePath());
    EXPECT_STREQ(L"C:\\Program Files\\Quarven\\Setup\\Setup.reg", e.GetRegFilePath());
    EXPECT_STREQ(L"QIV_ORVASH_MUTEX_Setup", e.GetMutexName());
    EXPECT_STREQ(L"", e.GetTargetPath());
    // The temporary INI exists from the start, empty, in the user's temporary folder.
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring tmp = e.GetTempIniPath();
    EXPECT_EQ(0u, tmp.rfind(std::wstring(temp) + L"kvb", 0)) << winsim::Utf8(tmp);
    EXPECT_EQ(std::string(), winsim::files::ReadBytes(machine(), tmp).value_or("<none>"));
    EXPECT_EQ(static_cast<CSetupContext*>(&e), GetSetupContext());
}

TEST_F(SetupEnvTest, ArgumentsAsTypedAndLowered) {
    process().command_line = L"\"C:\\Program Files\\Quarven\\Setup\\Setup.exe\" /S -Reboot=Suppress ÄB";
    Create();
    EXPECT_STREQ(L"/S -Reboot=Suppress ÄB", g_pSetupEnv->GetArguments());
    // Only A to Z are lowered.
    EXPECT_STREQ(L"/s -reboot=suppress Äb", g_pSetupEnv->GetLowerArguments());
}

TEST_F(SetupEnvTest, MachineFacts) {
    winsim::os::SetUserUILanguage(machine(), 0x411);
    winsim::os::SetSystemLanguage(machine(), 0x804);
    winsim::os::SetUserGeoId(machine(), 0x7A);
    winsim::os::Version v;
    v.major = 6;
    v.minor = 1;
    winsim::os::SetVersion(machine(), v);
    Create();
    EXPECT_EQ(0x411, g_pSetupEnv->GetUILanguage());
    EXPECT_EQ(0x804, g_pSetupEnv->GetSystemLanguage());
    EXPECT_EQ(0x7Au, g_pSetupEnv->GetGeoID());
    EXPECT_EQ(static_cast<DWORD>(OSCODE_WIN7), g_pSetupEnv->GetOSCode());
}

TEST_F(SetupEnvTest, ForcedRegion) {
    struct Case {
        std::wstring oem, region, shown, raw, letter;
    } cases[] = {
        {L"QV201AJX", L"U", L"QV201UJX", L"QV201AJX", L"U"},
        {L"QV201", L"E", L"QV201E", L"QV201", L"E"},
        {L"QV20", L"E", L"QV20", L"QV20", L""},
        {L"QV201AJX", L"Long", L"QV201LJX", L"QV201AJX", L"L"},
    };
    for (const auto& c : cases) {
        SetOem(c.oem);
        Create();
        g_pSetupEnv->SetForcedRegion(c.region.c_str());
        EXPECT_EQ(c.shown, g_pSetupEnv->GetOEMString()) << winsim::Utf8(c.oem);
        EXPECT_EQ(c.raw, g_pSetupEnv->GetRawOEMString()) << winsim::Utf8(c.oem);
        EXPECT_EQ(c.letter, g_pModemCtrl->GetRegion()) << winsim::Utf8(c.oem);
        Destroy();
    }
}

TEST_F(SetupEnvTest, RegionLetterIsFixedAtItsFirstFind) {
    SetOem(L"QV201");
    Create();
    EXPECT_STREQ(L"", g_pModemCtrl->GetRegion());
    // A forced region later gives the string its sixth character; the next call finds it.
    g_pSetupEnv->SetForcedRegion(L"J");
    EXPECT_STREQ(L"J", g_pModemCtrl->GetRegion());
    g_pSetupEnv->SetForcedRegion(L"K");
    EXPECT_STREQ(L"K", std::wstring(g_pSetupEnv->GetOEMString()).substr(5).c_str());
    EXPECT_STREQ(L"J", g_pModemCtrl->GetRegion());
}

TEST_F(SetupEnvTest, VendorIsReadOnce) {
    Create();
    EXPECT_STREQ(L"System manufacturer", g_pSetupEnv->GetVendor());
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystemProduct",
                              {{{L"Vendor", winsim::wmi::Value::Text(L"QUARVEN")}}});
    EXPECT_STREQ(L"System manufacturer", g_pSetupEnv->GetVendor());
}

TEST_F(SetupEnvTest, OemStringReadAgainWhileEmpty) {
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystem",
                              {{{L"OEMStringArray", winsim::wmi::Value::Null(CIM_STRING | CIM_FLAG_ARRAY)}}});
    Create();
    EXPECT_STREQ(L"", g_pSetupEnv->GetOEMString());
    EXPECT_STREQ(L"", g_pSetupEnv->GetRawOEMString());
    SetOem(L"QV201AJX");
    EXPECT_STREQ(L"QV201AJX", g_pSetupEnv->GetOEMString());
    EXPECT_STREQ(L"QV201AJX", g_pSetupEnv->GetRawOEMString());
}

}  // namespace

namespace {

class SetupEnvVersionTest : public EngineUnitTest {};

// A failing version query leaves the OS code at 0, so no OS_SECTION key of a real Windows
// matches; the failure is logged once the debug log exists.
TEST_F(SetupEnvVersionTest, FailingVersionQueryLeavesTheCodeAtZero) {
    winsim::os::SetVersionFailure(machine(), ERROR_ACCESS_DENIED);
    Create();
    EXPECT_EQ(0u, g_pSetupEnv->GetOSCode());
    // The environment object is built before the debug log: its read logged nothing.
    for (const auto& l : Logs()) EXPECT_EQ(std::wstring::npos, l.find(L"ReadOSCode")) << winsim::Utf8(l);
}

}  // namespace
