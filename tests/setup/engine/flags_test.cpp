// The keys every argument section may carry: REVERSE and IGNORE_EXIT on keywords holding
// "CHECK_" (a check without a row included, no other command), BEFORE_SLEEP and AFTER_SLEEP
// on the machine's virtual clock.
#include "engine_fixture.h"

namespace {

// A mark of the script (see SetupRun::Matches).
std::wstring Marker(const std::wstring& name) { return name; }

struct FlagCase {
    const char* name;
    std::wstring command;  // CMD1, with its argument section [ARG]
    std::wstring arg;      // the lines of [ARG]
    std::wstring args;     // the run's arguments
    int code;              // exit code with RETURN_CMD=1
    bool next_runs;        // CMD2 ran (no quit)
    bool box;              // the quit box was shown
};

const FlagCase kFlagCases[] = {
    {"FailingCheck", L"CHECK_PARAM", L"PARAM=1\r\nPARAM1=/go", L"", 77, false, true},
    {"PassingCheck", L"CHECK_PARAM", L"PARAM=1\r\nPARAM1=/go", L"/GO", 0, true, false},
    {"ReverseOnPassingCheckGivesTheTableCode", L"CHECK_PARAM", L"PARAM=1\r\nPARAM1=/go\r\nREVERSE=1", L"/go", 76, false,
     true},
    {"ReverseOnFailingCheckPasses", L"CHECK_PARAM", L"PARAM=1\r\nPARAM1=/go\r\nREVERSE=1", L"", 0, true, false},
    {"ReverseWithIgnoreExitGoesOn", L"CHECK_PARAM", L"PARAM=1\r\nPARAM1=/go\r\nREVERSE=1\r\nIGNORE_EXIT=1", L"/go", 76,
     true, false},
    {"IgnoreExitKeepsTheFailure", L"CHECK_PARAM", L"PARAM=0\r\nIGNORE_EXIT=1", L"", 77, true, false},
    {"LowerCaseKeywordRunsWithoutReverse", L"check_param", L"PARAM=0\r\nREVERSE=1", L"", 77, false, true},
    {"LowerCaseKeywordIgnoresIgnoreExit", L"check_param", L"PARAM=0\r\nIGNORE_EXIT=1", L"", 77, false, true},
    {"ReverseDoesNotApplyToASwitch", L"PRECODE_SECTION", L"1=NONE\r\nREVERSE=1", L"", 0, true, false},
    // A check keyword without a row runs nothing, but REVERSE inverts its quit flag as usual
    // (its result stays 0: no row, no code).
    {"ReverseOnAnUnknownCheckQuits", L"CHECK_NOTHING", L"REVERSE=1", L"", 0, false, true},
    {"UnknownCheckWithoutReverseIsNeutral", L"CHECK_NOTHING", L"", L"", 0, true, false},
    {"ReverseOnAnUnknownCheckWithIgnoreExitGoesOn", L"CHECK_NOTHING", L"REVERSE=1\r\nIGNORE_EXIT=1", L"", 0, true,
     false},
    {"SwitchWithReverseAndFailingSection", L"PRECODE_SECTION", L"0=BAD\r\nREVERSE=1", L"", 65, true, false},
};

class Flags : public EngineTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(Flags, ResultQuitAndBox) {
    const FlagCase& c = GetParam();
    WriteScript(L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=" + c.command +
                L"\r\nCMD1_SECTION=ARG\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_NEXT\r\n[ARG]\r\n" + c.arg +
                L"\r\nMSGBOX_TITLE=Check\r\nMSGBOX_MSG=Failed\r\n[BAD]\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=X\r\n");
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    EXPECT_EQ(c.next_runs, run.Logged(Marker(L"MARK_NEXT")));
    int boxes = 0;
    for (const auto& r : winsim::msgbox::Shown(machine()))
        if (r.pid == run.pid && r.text == L"Failed" && r.caption == L"Check") ++boxes;
    EXPECT_EQ(c.box ? 1 : 0, boxes);
}

INSTANTIATE_TEST_SUITE_P(Cases, Flags, ::testing::ValuesIn(kFlagCases),
                         [](const ::testing::TestParamInfo<FlagCase>& i) { return std::string(i.param.name); });

struct SleepCase {
    const char* name;
    std::wstring command;
    std::wstring arg;
    uint64_t elapsed_ms;  // the run's time on the machine's clock
};

const SleepCase kSleepCases[] = {
    {"NoSleep", L"UNKNOWN_X", L"", 0},
    {"UnknownKeywordSleepsOnlyAfter", L"UNKNOWN_X", L"BEFORE_SLEEP=500\r\nAFTER_SLEEP=300", 300},
    {"KnownCommandSleepsBeforeAndAfter", L"PRECODE_SECTION", L"BEFORE_SLEEP=500\r\nAFTER_SLEEP=300", 800},
    {"NegativeSleepsAreSkipped", L"PRECODE_SECTION", L"BEFORE_SLEEP=-5\r\nAFTER_SLEEP=-1", 0},
    {"CheckThatQuitsStillSleepsAfter", L"CHECK_PARAM", L"PARAM=0\r\nBEFORE_SLEEP=40\r\nAFTER_SLEEP=2000", 2040},
};

class Sleeps : public EngineTest, public ::testing::WithParamInterface<SleepCase> {};

TEST_P(Sleeps, OnTheVirtualClock) {
    const SleepCase& c = GetParam();
    WriteScript(L"[INIT]\r\nCMD1=" + c.command + L"\r\nCMD1_SECTION=ARG\r\n[ARG]\r\n" + c.arg + L"\r\n");
    SetupRun run = Run(L"/s");
    EXPECT_EQ(c.elapsed_ms, run.end_ms - run.start_ms);
}

INSTANTIATE_TEST_SUITE_P(Cases, Sleeps, ::testing::ValuesIn(kSleepCases),
                         [](const ::testing::TestParamInfo<SleepCase>& i) { return std::string(i.param.name); });

}  // namespace
