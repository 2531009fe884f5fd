// CREATE_SHUTDOWNSCRIPT and DELETE_SHUTDOWNSCRIPT: both trees kept in step, duplicates,
// a full list, trees out of step, and the registry view of the WOW suffix.
#include "unit_fixture.h"

namespace {

const wchar_t kScript[] = L"C:\\Program Files\\Quarven\\Setup\\script.ini";
const std::wstring kState =
    L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\State\\Machine\\Scripts";
const std::wstring kPolicy = L"HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\System\\Scripts";

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

class ShutdownScripts : public EngineUnitTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(winsim::files::WriteBytes(
            machine(), kScript,
            Utf16(L"[One]\r\nCMD=1\r\nCMD1=C:\\Tools\\off.cmd\r\nCMD1_PARAM=/q\r\n"
                  L"[Two]\r\nCMD=2\r\nCMD1=C:\\Tools\\off.cmd\r\nCMD1_PARAM=/q\r\nCMD2=C:\\Tools\\b.cmd\r\n"
                  L"[Empty]\r\nCMD=3\r\nCMD1=\r\nCMD2=C:\\Tools\\b.cmd\r\n")));
        Create();
    }
    winsim::Registry Reg() { return winsim::Registry(machine()); }
    static std::wstring Slot(const std::wstring& tree, int n) { return tree + L"\\Shutdown\\0\\" + std::to_wstring(n); }
    void Fill(const std::wstring& tree, int n, const std::wstring& cmd) {
        Reg().SetString(Slot(tree, n), L"Script", cmd);
        Reg().SetString(Slot(tree, n), L"Parameters", L"");
    }
    unsigned Run(const wchar_t* section, int create) {
        return g_pSetupCtrl->RegistShutdownScriptFromIni(kScript, section, create);
    }
};

TEST_F(ShutdownScripts, CreateWritesBothTreesOnce) {
    EXPECT_EQ(0u, Run(L"One", 1));
    for (const auto& tree : {kState, kPolicy}) {
        EXPECT_EQ(L"C:\\Tools\\off.cmd", Reg().GetString(Slot(tree, 0), L"Script").value_or(L""));
        EXPECT_EQ(L"/q", Reg().GetString(Slot(tree, 0), L"Parameters").value_or(L""));
        EXPECT_EQ(16u, Reg().GetValue(Slot(tree, 0), L"ExecTime")->data.size());
        EXPECT_TRUE(Reg().KeyExists(tree + L"\\Startup"));
        EXPECT_EQ(L"C:\\Windows\\system32\\GroupPolicy\\Machine",
                  Reg().GetString(tree + L"\\Shutdown\\0", L"FileSysPath").value_or(L""));
    }
    // The same command again is already there: nothing written, a failure.
    EXPECT_EQ(78u, Run(L"One", 1));
    EXPECT_FALSE(Reg().KeyExists(Slot(kState, 1)));
}

TEST_F(ShutdownScripts, DeleteOfTheLastRemovesThePolicyObjects) {
    ASSERT_EQ(0u, Run(L"Two", 1));
    ASSERT_EQ(0u, Run(L"One", 0));
    EXPECT_FALSE(Reg().KeyExists(Slot(kState, 0)));
    EXPECT_FALSE(Reg().KeyExists(Slot(kPolicy, 0)));
    EXPECT_TRUE(Reg().KeyExists(Slot(kPolicy, 1)));
    EXPECT_EQ(79u, Run(L"Two", 0));  // off.cmd is gone already: one failure
    for (const auto& tree : {kState, kPolicy}) {
        EXPECT_FALSE(Reg().KeyExists(tree + L"\\Shutdown\\0"));
        EXPECT_TRUE(Reg().KeyExists(tree + L"\\Shutdown"));
        EXPECT_TRUE(Reg().KeyExists(tree + L"\\Startup"));
    }
}

// A slot taken in only one tree is passed over: the two lists keep their numbers.
TEST_F(ShutdownScripts, TreesOutOfStepTakeTheFirstCommonFreeNumber) {
    Fill(kState, 0, L"x.cmd");
    Fill(kPolicy, 1, L"y.cmd");
    EXPECT_EQ(0u, Run(L"One", 1));
    EXPECT_EQ(L"C:\\Tools\\off.cmd", Reg().GetString(Slot(kState, 2), L"Script").value_or(L""));
    EXPECT_EQ(L"C:\\Tools\\off.cmd", Reg().GetString(Slot(kPolicy, 2), L"Script").value_or(L""));
    EXPECT_FALSE(Reg().KeyExists(Slot(kState, 1)));
    EXPECT_EQ(L"y.cmd", Reg().GetString(Slot(kPolicy, 1), L"Script").value_or(L""));
}

// A full list, or a command without a script, fails and writes no slot (the policy tree
// still gets its keys).
TEST_F(ShutdownScripts, FullListOrEmptyCommandFailsWritingNoSlot) {
    for (int i = 0; i < 25; ++i) Fill(kState, i, L"s" + std::to_wstring(i));
    EXPECT_EQ(78u, Run(L"One", 1));
    EXPECT_TRUE(Reg().KeyExists(kPolicy + L"\\Shutdown\\0"));
    EXPECT_FALSE(Reg().KeyExists(Slot(kPolicy, 0)));
    EXPECT_TRUE(Logged(L"CSetupCtrl::CreateShutdownScript Error"));
    for (int i = 0; i < 25; ++i) Reg().DeleteKey(Slot(kState, i));
    EXPECT_EQ(78u, Run(L"Empty", 1));
    for (const auto& tree : {kState, kPolicy}) {
        EXPECT_EQ(L"C:\\Tools\\b.cmd", Reg().GetString(Slot(tree, 0), L"Script").value_or(L""));
        EXPECT_FALSE(Reg().KeyExists(Slot(tree, 1)));
    }
}

TEST_F(ShutdownScripts, DeleteOfAMissingScriptFails) { EXPECT_EQ(79u, Run(L"One", 0)); }

// Under the WOW suffix the scripts go to the other registry view; the registry class deletes
// in the program's own view whatever the flag says, so the delete does not reach them.
TEST_F(ShutdownScripts, WowViewRoundTrip) {
    const std::wstring k32 =
        L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Group "
        L"Policy\\State\\Machine\\Scripts\\Shutdown\\0\\0";
    g_bWowFlag = 1;
    EXPECT_EQ(0u, Run(L"One", 1));
    EXPECT_FALSE(Reg().KeyExists(Slot(kState, 0)));
    EXPECT_TRUE(Reg().KeyExists(k32));
    EXPECT_EQ(79u, Run(L"One", 0));
    g_bWowFlag = 0;
    EXPECT_TRUE(Reg().KeyExists(k32));
}

}  // namespace
