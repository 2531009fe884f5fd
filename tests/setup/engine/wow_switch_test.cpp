// The WOW switch around each command: the x64 build's and the x86 build's rules, on a
// 64-bit and on a 32-bit process of the machine, and a kernel32 without the entries.
#include "unit_fixture.h"

#include "winsim/modules.h"

namespace {

struct WowCase {
    const char* name;
    bool x86_rules;
    const wchar_t* suffix;
    int runs;        // SwitchWowMode's answer before the command
    int flag;        // g_bWowFlag while the command runs
    int flag_after;  // g_bWowFlag after the after-step
};

// On a 32-bit process under WOW64 (64-bit Windows): the x86 build's rules.
const WowCase kUnderWow64[] = {
    {"X86Wow6432", true, L".WOW6432", 1, 1, 1}, {"X86Wow64", true, L".Wow64", 1, 1, 1},
    {"X86X64Runs", true, L".X64", 1, 0, 0},     {"X86X32Skipped", true, L".X32", 0, 0, 0},
    {"X86Plain", true, L"", 1, 0, 0},
};

// On a 64-bit process (the calls that need WOW64 fail, IsWow64Process says no). The x64
// build's ".WOW32" holds the flag for the command alone.
const WowCase kNative[] = {
    {"X64Wow32", false, L".WOW32", 1, 1, 0},
    {"X64Wow32LowerCase", false, L".wow32", 1, 1, 0},
    {"X64Unknown", false, L".X32", 1, 0, 0},
    {"X64Plain", false, L"", 1, 0, 0},
    {"X86Wow6432RunsNormally", true, L".WOW6432", 1, 0, 0},
    {"X86Wow64Skipped", true, L".WOW64", 0, 0, 0},
    {"X86X64Skipped", true, L".x64", 0, 0, 0},
    {"X86X32Runs", true, L".X32", 1, 0, 0},
};

int Switch(bool x86, const wchar_t* suffix, int before) {
    return x86 ? SwitchWowModeX86(suffix, before) : SwitchWowModeX64(suffix, before);
}

class Wow32Process : public EngineUnitTest, public ::testing::WithParamInterface<WowCase> {
protected:
    Wow32Process() : EngineUnitTest("bare", L"C:\\Program Files (x86)\\Quarven\\Setup\\Setup.exe") {}
    void SetUp() override {
        process().image64 = false;
        Create();
    }
};

TEST_P(Wow32Process, FlagAndSkip) {
    const WowCase& c = GetParam();
    EXPECT_EQ(c.runs, Switch(c.x86_rules, c.suffix, 1));
    EXPECT_EQ(c.flag, g_bWowFlag);
    EXPECT_EQ(1, Switch(c.x86_rules, c.suffix, 0));
    EXPECT_EQ(c.flag_after, g_bWowFlag);
    EXPECT_TRUE(Logged(L"IS_WOW64 1"));
    // The next command's before-step sets the flag from its own suffix.
    EXPECT_EQ(1, Switch(c.x86_rules, L"", 1));
    EXPECT_EQ(0, g_bWowFlag);
}

INSTANTIATE_TEST_SUITE_P(Cases, Wow32Process, ::testing::ValuesIn(kUnderWow64),
                         [](const ::testing::TestParamInfo<WowCase>& i) { return std::string(i.param.name); });

class NativeProcess : public EngineUnitTest, public ::testing::WithParamInterface<WowCase> {
protected:
    void SetUp() override { Create(); }
};

TEST_P(NativeProcess, FlagAndSkip) {
    const WowCase& c = GetParam();
    EXPECT_EQ(c.runs, Switch(c.x86_rules, c.suffix, 1));
    EXPECT_EQ(c.flag, g_bWowFlag);
    EXPECT_EQ(1, Switch(c.x86_rules, c.suffix, 0));
    EXPECT_EQ(c.flag_after, g_bWowFlag);
    EXPECT_TRUE(Logged(L"IS_WOW64 0"));
}

INSTANTIATE_TEST_SUITE_P(Cases, NativeProcess, ::testing::ValuesIn(kNative),
                         [](const ::testing::TestParamInfo<WowCase>& i) { return std::string(i.param.name); });

class Wow64Logs : public EngineUnitTest {
protected:
    Wow64Logs() : EngineUnitTest("bare", L"C:\\Program Files (x86)\\Quarven\\Setup\\Setup.exe") {}
    void SetUp() override { process().image64 = false; }
};

TEST_F(Wow64Logs, Wow6432IsLoggedInTheX86Rules) {
    Create();
    SwitchWowModeX86(L".WOW6432", 1);
    EXPECT_TRUE(Logged(L"Detect WOW6432 1"));
    EXPECT_TRUE(Logged(L"WOW6432 Disabled 1"));
    SwitchWowModeX86(L".WOW6432", 0);
}

TEST_F(Wow64Logs, MissingEntriesCountAsNotUnderWow64) {
    winsim::Modules mods(machine());
    for (const char* name : {"IsWow64Process", "Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection",
                             "Wow64EnableWow64FsRedirection"})
        mods.SetExport(L"kernel32.dll", name, nullptr);
    Create();
    EXPECT_EQ(nullptr, g_pfnIsWow64Process);
    EXPECT_EQ(FALSE, SetupIsWow64());
    EXPECT_EQ(0, SwitchWowModeX86(L".WOW64", 1));
    EXPECT_EQ(0, g_bWowFlag);
    // The registry view needs none of them.
    EXPECT_EQ(1, SwitchWowModeX64(L".WOW32", 1));
    EXPECT_EQ(1, g_bWowFlag);
    SwitchWowModeX64(L".WOW32", 0);
    EXPECT_TRUE(Logged(L"IS_WOW64 0"));
}

// A command that names no row runs nothing and logs nothing; REVERSE still inverts the quit
// flag of a keyword holding "CHECK_", whose result stays 0. Only the last extension is the
// suffix.
TEST_F(Wow64Logs, DispatchOfACommandThatDidNotRun) {
    Create();
    WCHAR ini[MAX_PATH];
    lstrcpynW(ini, g_pSetupEnv->GetTempIniPath(), MAX_PATH);
    ASSERT_TRUE(WritePrivateProfileStringW(L"ARG", L"REVERSE", L"1", ini));
    ASSERT_TRUE(WritePrivateProfileStringW(L"ARG", L"PARAM", L"0", ini));
    g_pSetupEnv->SetScriptPath(ini);
    int quit = 0;
    int ran = 1;
    EXPECT_EQ(0u, DispatchCommand(L"CHECK_PARAM.WOW32.X", L"ARG", &quit, 0, &ran));
    EXPECT_EQ(1, quit);
    EXPECT_EQ(0, ran);
    EXPECT_FALSE(Logged(L"CHECK_PARAM:Error did not match param!"));
    // The same check with a known suffix runs, and REVERSE turns its failure into a pass.
    quit = 1;
    EXPECT_EQ(0u, DispatchCommand(L"CHECK_PARAM.wow32", L"ARG", &quit, 0));
    EXPECT_EQ(0, quit);
    EXPECT_TRUE(Logged(L"CHECK_PARAM:Error did not match param!"));
}

}  // namespace
