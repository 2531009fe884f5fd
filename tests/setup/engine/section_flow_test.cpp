// How [INIT] and nested sections run: the end of the list, the result mask and its shared
// bits, quit, abort, RETURN_CMD and RETURN_MASK, and the previous result.
#include "engine_fixture.h"

namespace {

// Argument sections shared by the scripts: [FAIL] fails (77) without ending the section,
// [QUIT] fails and ends it, with a message box; a mark CMD_SLEEP with the argument section
// MARK_x only logs (and sleeps a second).
const std::wstring kCommon =
    L"[FAIL]\r\nPARAM=0\r\nIGNORE_EXIT=1\r\n"
    L"[QUIT]\r\nPARAM=0\r\nMSGBOX_TITLE=T\r\nMSGBOX_MSG=Stopped\r\n";

// A mark of the script (see SetupRun::Matches).
std::wstring Marker(const std::wstring& name) { return name; }

struct FlowCase {
    const char* name;
    std::wstring script;
    std::wstring args;
    int code;
    std::vector<std::wstring> logged;      // lines that must be there
    std::vector<std::wstring> not_logged;  // lines that must not
};

std::wstring ThirtyThree() {
    std::wstring s = L"[INIT]\r\n";
    for (int n = 1; n <= 32; ++n) {
        std::wstring cmd = L"CMD" + std::to_wstring(n);
        s += cmd + L"=CMD_SLEEP\r\n" + cmd + L"_SECTION=MARK_" + std::to_wstring(n) + L"\r\n";
    }
    return s + L"CMD33=CHECK_PARAM\r\nCMD33_SECTION=FAIL\r\n";
}

// Three levels deep: [INIT] -> [L2] -> [L3], each reached through a PRECODE_SECTION that
// matches the previous result 0.
const std::wstring kDepth3 =
    L"[INIT]\r\nRETURN_MASK=0xFFFFFFFF\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=P1\r\nCMD2=CMD_SLEEP\r\n"
    L"CMD2_SECTION=MARK_AFTER\r\n"
    L"[P1]\r\n0=L2\r\n[L2]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=P2\r\n[P2]\r\n0=L3\r\n"
    L"[L3]\r\nCMD1=CMD_ABORT\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_L3\r\n";

// A section that switches into itself twice per run: without a bound on section runs, the
// depth cap alone lets it run 2^32 times.
const std::wstring kSelfTwice = L"[INIT]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=INIT\r\n0=INIT\r\n0=INIT\r\n";

// The same without a cycle: [INIT] -> [L1] -> ... -> [L32], each level reaching the next
// through two lines.
std::wstring Diamond() {
    std::wstring s = L"[INIT]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=INIT\r\n0=L1\r\n0=L1\r\n";
    for (int n = 1; n <= 32; ++n) {
        std::wstring name = L"L" + std::to_wstring(n), next = L"L" + std::to_wstring(n + 1);
        s += L"[" + name + L"]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=" + name + L"\r\n0=" + next + L"\r\n0=" + next +
             L"\r\n";
    }
    return s + L"[L33]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_BOTTOM\r\n";
}

const std::wstring kInnerQuit =
    L"[INIT]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=P1\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_OUTER\r\n"
    L"[P1]\r\n0=IN\r\n"
    L"[IN]\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=QUIT\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_INNER\r\n";

const FlowCase kFlowCases[] = {
    {"EmptyInit", L"[INIT]\r\n", L"", 0, {L"ExecuteSection: Section = INIT.", L"Return Code=0x0"}, {}},
    {"MissingInit", L"[OTHER]\r\nCMD1=CMD_ABORT\r\n", L"", 0, {L"Return Code=0x0"}, {}},
    {"GapEndsTheList",
     L"[INIT]\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\nCMD3=CMD_SLEEP\r\nCMD3_SECTION=MARK_3\r\n",
     L"",
     0x1,
     {L"ExecuteSection: Error = 0x0000004d.", L"Return Code=0x1"},
     {Marker(L"MARK_3")}},
    {"EmptyCommandEndsTheList",
     L"[INIT]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_1\r\nCMD2=\r\nCMD3=CMD_SLEEP\r\nCMD3_SECTION=MARK_3\r\n",
     L"",
     0,
     {Marker(L"MARK_1")},
     {Marker(L"MARK_3")}},
    {"AbortAtDepthThree",
     kDepth3,
     L"",
     75,
     {L"ExecuteSection: Detect Abort Command."},
     {Marker(L"MARK_L3"), Marker(L"MARK_AFTER"), L"Return Code=0x0"}},
    {"QuitEndsOnlyTheInnerSection",
     kInnerQuit,
     L"",
     0x1,
     {L"ExecuteSection: Detect Quit.", Marker(L"MARK_OUTER"), L"ShowMsgBox:,T,0 ", L"Return Code=0x1"},
     {Marker(L"MARK_INNER")}},
    {"QuitInSilentRunShowsNoBox",
     kInnerQuit,
     L"/s",
     0x1,
     {L"ExecuteSection: Detect Quit.", Marker(L"MARK_OUTER")},
     {Marker(L"MARK_INNER"), L"ShowMsgBox:,T,0 "}},
    {"SilentByAnyWordHoldingDashS", kInnerQuit, L"--silent", 0x1, {Marker(L"MARK_OUTER")}, {L"ShowMsgBox:,T,0 "}},
    {"ThirtyThreeCommandsShareBitZero", ThirtyThree(), L"", 0x1, {Marker(L"MARK_32"), L"Return Code=0x1"}, {}},
    {"ReturnCmdThirtyThree", L"[INIT]\r\nRETURN_CMD=33\r\n" + ThirtyThree().substr(8), L"", 77, {}, {}},
    {"ReturnCmdWithMask",
     L"[INIT]\r\nRETURN_CMD=1\r\nRETURN_MASK=0x1\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\n",
     L"",
     0x4c,
     {},
     {}},
    {"ReturnMaskClearsBits",
     L"[INIT]\r\nRETURN_MASK=3\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\nCMD2=CHECK_PARAM\r\nCMD2_SECTION=FAIL\r\n"
     L"CMD3=CHECK_PARAM\r\nCMD3_SECTION=FAIL\r\n",
     L"",
     0x4,
     {},
     {}},
    {"ReturnCmdBeyondTheListGivesTheMask",
     L"[INIT]\r\nRETURN_CMD=5\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_2\r\n",
     L"",
     0x1,
     {},
     {}},
    {"ReturnCmdAboveSixtyFourGivesTheMask",
     L"[INIT]\r\nRETURN_CMD=65\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\n",
     L"",
     0x1,
     {},
     {}},
    {"NegativeReturnCmdGivesTheMask",
     L"[INIT]\r\nRETURN_CMD=-1\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\n",
     L"",
     0x1,
     {},
     {}},
    {"ReturnCmdOnAnUnknownKeywordGivesTheMask",
     L"[INIT]\r\nRETURN_CMD=2\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\nCMD2=UNKNOWN_2\r\nCMD3=CMD_SLEEP\r\n"
     L"CMD3_SECTION=MARK_3\r\n",
     L"",
     0x1,
     {Marker(L"MARK_3")},
     {}},
    {"ReturnCmdAfterQuitGivesTheMask",
     L"[INIT]\r\nRETURN_CMD=2\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=QUIT\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_2\r\n",
     L"/s",
     0x1,
     {},
     {Marker(L"MARK_2")}},
    {"PrecodeSeesThePreviousResult",
     L"[INIT]\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\nCMD2=PRECODE_SECTION\r\nCMD2_SECTION=PC\r\n"
     L"[PC]\r\n0=MISS\r\n4D=HIT\r\n[MISS]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_MISS\r\n"
     L"[HIT]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_HIT\r\n",
     L"",
     0x1,
     {L"PRECODE_SECTION Precode=0x4d", L"PRECODE_SECTION did not match PRECODE 4d EACHID 0", Marker(L"MARK_HIT")},
     {Marker(L"MARK_MISS")}},
    {"PrecodeAsFirstCommandComparesWithZero",
     L"[INIT]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=PC\r\n[PC]\r\n0=HIT\r\n[HIT]\r\nCMD1=CMD_SLEEP\r\n"
     L"CMD1_SECTION=MARK_HIT\r\n",
     L"",
     0,
     {Marker(L"MARK_HIT")},
     {}},
    {"FailingInnerSectionFailsTheSwitchOnly",
     L"[INIT]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=PC\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_NEXT\r\n"
     L"[PC]\r\n0=BAD\r\n"
     L"[BAD]\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=FAIL\r\n",
     L"",
     0x1,
     {L"PRECODE_SECTION Execute Section return code 1", Marker(L"MARK_NEXT")},
     {}},
    {"SelfSwitchStopsAtTheSectionBound",
     kSelfTwice,
     L"",
     0x1,
     {L"PRECODE_SECTION Section INIT not run: this run has run 512 sections.", L"Return Code=0x1"},
     {}},
    {"DiamondStopsAtTheSectionBound",
     Diamond(),
     L"",
     0x1,
     {L"PRECODE_SECTION Section L12 not run: this run has run 512 sections.", L"Return Code=0x1"},
     {Marker(L"MARK_BOTTOM")}},
};

class SectionFlow : public EngineTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(SectionFlow, ExitCodeAndLog) {
    const FlowCase& c = GetParam();
    WriteScript(c.script + kCommon);
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    for (const auto& l : c.logged) EXPECT_TRUE(run.Logged(l)) << winsim::Utf8(l);
    for (const auto& l : c.not_logged) EXPECT_FALSE(run.Logged(l)) << winsim::Utf8(l);
    // Every end of a run removes the decrypted script.
    for (const auto& f : TempFiles()) EXPECT_NE(0u, f.rfind(L"kvb", 0)) << winsim::Utf8(f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SectionFlow, ::testing::ValuesIn(kFlowCases),
                         [](const ::testing::TestParamInfo<FlowCase>& i) { return std::string(i.param.name); });

}  // namespace
