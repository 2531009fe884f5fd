// The debug-log object: settings, the debugger and log-file lines, and the status text.
#include <windows.h>

#include "DbgMac.h"
#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <string>

namespace {

const wchar_t* kKey = L"HKLM\\SOFTWARE\\Quarven\\OrvashTool";
const wchar_t* kLog = L"C:\\Program Files\\Quarven\\Setup\\Setup.log";

class TestHost : public CDebugLogHost {
public:
    LPCWSTR GetProgramName() override { return L"Setup"; }
    LPCWSTR GetProgramVersion() override { return L"2.1.0.3"; }
    LPCWSTR GetLogFilePath() override { return kLog; }
};

class DebugCtrlTest : public SimTest {
protected:
    DebugCtrlTest() {
        winsim::files::CreateFolders(machine(), L"C:\\Program Files\\Quarven\\Setup");
        g_pDebugLogHost = &host_;
    }
    ~DebugCtrlTest() override { g_pDebugLogHost = nullptr; }

    void Settings(int mode, int level, int test = -1) {
        winsim::Registry r(machine());
        if (mode >= 0) r.SetDword(kKey, L"DebugMode", static_cast<DWORD>(mode));
        if (level >= 0) r.SetDword(kKey, L"DebugLevel", static_cast<DWORD>(level));
        if (test >= 0) r.SetDword(kKey, L"TestMode", static_cast<DWORD>(test));
    }

    // The log file decoded from UTF-16LE (after checking its byte-order mark), or "" if none.
    std::wstring LogText(bool* has_bom = nullptr) {
        auto bytes = winsim::files::ReadBytes(machine(), kLog);
        if (!bytes) return L"";
        bool bom = bytes->size() >= 2 && (*bytes)[0] == '\xFF' && (*bytes)[1] == '\xFE';
        if (has_bom) *has_bom = bom;
        return winsim::FromUtf16(reinterpret_cast<const uint8_t*>(bytes->data()) + 2, bytes->size() - 2);
    }

    TestHost host_;
};

struct LevelCase {
    const char* name;
    int mode, level, test;
    size_t debugger_lines;  // OutputDebugString calls for one message
    bool file;
};

class DebugLevels : public DebugCtrlTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(DebugLevels, OneMessageGoesWhereTheSettingsSay) {
    const LevelCase& c = GetParam();
    Settings(c.mode, c.level, c.test);
    CDebugCtrl dbg;
    dbg.Print(L"Start");
    size_t test_lines = (c.test == 1 && c.debugger_lines) ? 1 : 0;
    EXPECT_EQ(c.debugger_lines + test_lines, DebugLines().size());
    EXPECT_EQ(c.file, winsim::files::Exists(machine(), kLog));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DebugLevels,
    ::testing::Values(LevelCase{"NoDebugMode", -1, 3, -1, 0, false}, LevelCase{"DebugModeZero", 0, 3, -1, 0, false},
                      LevelCase{"OnlyOneEnables", 2, 3, -1, 0, false}, LevelCase{"NoLevelIsZero", 1, -1, -1, 0, false},
                      LevelCase{"NowhereToGo", 1, 0, -1, 0, false},
                      LevelCase{"DebuggerHeaderPairAndLine", 1, 1, -1, 3, false},
                      LevelCase{"FileOnly", 1, 2, -1, 0, true}, LevelCase{"Both", 1, 3, -1, 3, true},
                      LevelCase{"TestModeLineToo", 1, 1, 1, 3, false},
                      LevelCase{"TestModeWithDebugModeZero", 0, 3, 1, 0, false}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(DebugCtrlTest, LogLineUnderAControlledClock) {
    machine().SetBootLocalTime(2026, 12, 9, 12, 5, 3, 40);
    Settings(1, 2);
    CDebugCtrl dbg;
    dbg.Print(L"Start");
    bool bom = false;
    std::wstring text = LogText(&bom);
    EXPECT_TRUE(bom);
    EXPECT_EQ(
        L"[12:5:3:40] Setup:Version 2.1.0.3 Debug mode is enabled.\r\n"
        L"[12:5:3:40] Setup:Debug level = 2.\r\n"
        L"[12:5:3:40] Setup:Start\r\n",
        text);
}

TEST_F(DebugCtrlTest, FileHeaderOncePerRunAndNoSecondByteOrderMark) {
    Settings(1, 2);
    {
        CDebugCtrl dbg;
        dbg.Print(L"one %d", 1);
        machine().RunFor(1234);
        dbg.Print(L"two %s", L"x");
    }
    {
        CDebugCtrl second_run;
        second_run.Print(L"three");
    }
    auto bytes = *winsim::files::ReadBytes(machine(), kLog);
    EXPECT_EQ(std::string("\xFF\xFE", 2), bytes.substr(0, 2));
    EXPECT_EQ(std::string::npos, bytes.find(std::string("\xFF\xFE", 2), 2));
    std::wstring text = LogText();
    EXPECT_NE(std::wstring::npos, text.find(L"] Setup:one 1\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"[12:0:1:234] Setup:two x\r\n"));
    size_t headers = 0;
    for (size_t p = 0; (p = text.find(L"Debug mode is enabled.", p)) != std::wstring::npos; ++p) ++headers;
    EXPECT_EQ(2u, headers);  // one per run
}

TEST_F(DebugCtrlTest, DebuggerGetsItsOwnHeaderPairOnce) {
    Settings(1, 1);
    CDebugCtrl dbg;
    dbg.Print(L"a\n");
    dbg.Print(L"b\n");
    std::vector<std::wstring> expected = {L"Setup:Version 2.1.0.3 Debug mode is enabled.\n",
                                          L"Setup:Debug level = 1.\n", L"Setup:a\n\n", L"Setup:b\n\n"};
    EXPECT_EQ(expected, DebugLines());
}

TEST_F(DebugCtrlTest, TestModeLineGoesThroughPrint) {
    Settings(1, 1, 1);
    CDebugCtrl dbg;
    auto lines = DebugLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"Setup:Test mode is enabled.\n\n", lines[2]);
}

TEST_F(DebugCtrlTest, LongTextIsCutNeverOverrun) {
    Settings(1, 3);
    CDebugCtrl dbg;
    std::wstring big(3000, L'x');
    dbg.Print(L"%s%s", big.c_str(), big.c_str());
    auto lines = DebugLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"Setup:" + std::wstring(DEBUG_TEXT_CCH - 1, L'x') + L"\n", lines[2]);
    EXPECT_NE(std::wstring::npos, LogText().find(std::wstring(DEBUG_TEXT_CCH - 1, L'x') + L"\r\n"));
}

TEST_F(DebugCtrlTest, UnopenableLogDropsTheMessageAndHeaderComesWithTheFirstThatLands) {
    Settings(1, 2);
    winsim::files::InjectFailure(machine(), kLog, winsim::files::kFailOpen, ERROR_SHARING_VIOLATION);
    CDebugCtrl dbg;
    dbg.Print(L"lost");
    EXPECT_FALSE(winsim::files::Exists(machine(), kLog));
    winsim::files::ClearFailures(machine());
    dbg.Print(L"kept");
    std::wstring text = LogText();
    EXPECT_EQ(std::wstring::npos, text.find(L"lost"));
    EXPECT_NE(std::wstring::npos, text.find(L"Debug level = 2."));
    EXPECT_NE(std::wstring::npos, text.find(L"Setup:kept\r\n"));
}

TEST_F(DebugCtrlTest, SettingsReaderServesAnyProgramsKey) {
    winsim::Registry(machine()).SetDword(L"HKLM\\SOFTWARE\\Quarven\\WirelessAPL\\Sorbelt", L"DebugMode", 1);
    DWORD v = 0;
    EXPECT_EQ(1, CDebugCtrl::ReadDebugSetting(DEBUG_SETTINGS_KEY_SERVICE, L"DebugMode", &v));
    EXPECT_EQ(1u, v);
    EXPECT_EQ(0, CDebugCtrl::ReadDebugSetting(DEBUG_SETTINGS_KEY_SERVICE, L"TestMode", &v));
    EXPECT_EQ(0, CDebugCtrl::ReadDebugSetting(DEBUG_SETTINGS_KEY_SETUP, L"DebugMode", &v));
}

// Before the progress dialog is shown its bar handle is null: the caption and detail
// controls keep their texts. (The engine's dialog tests step a shown dialog.)
TEST_F(DebugCtrlTest, StatusTextWithoutProgressBarDoesNothing) {
    Settings(1, 1);
    CDebugCtrl dbg;
    SetupDlgDesc desc = {};
    desc.hCaption = CreateWindowExW(0, L"STATIC", L"caption", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    desc.hDetail = CreateWindowExW(0, L"STATIC", L"detail", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, desc.hCaption);
    ASSERT_NE(nullptr, desc.hDetail);
    dbg.SetStatusText(&desc, L"Unattendant... ", L"Windows or Dialog");
    dbg.SetStatusText(nullptr, L"x", L"y");
    WCHAR text[32];
    GetWindowTextW(desc.hCaption, text, 32);
    EXPECT_EQ(std::wstring(L"caption"), text);
    GetWindowTextW(desc.hDetail, text, 32);
    EXPECT_EQ(std::wstring(L"detail"), text);
    DestroyWindow(desc.hCaption);
    DestroyWindow(desc.hDetail);
}

}  // namespace
