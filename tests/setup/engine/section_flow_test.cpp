// How [INIT] and nested sections run: the end of the list, the result mask and its shared
// bits, quit, abort, RETURN_CMD and RETURN_MASK, and the previous result.
#include "engine_fixture.h"

namespace {

struct FlowCase {
    const char* name;
    std::wstring script;
    std::wstring args;
    int code;
    std::vector<std::wstring> logged;      // lines that must be there
    std::vector<std::wstring> not_logged;  // lines that must not
};

class SectionFlow : public EngineTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(SectionFlow, ExitCodeAndLog) {
    const FlowCase& c = GetParam();
    WriteScript(c.script);
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    for (const auto& l : c.logged) EXPECT_TRUE(run.Logged(l)) << winsim::Utf8(l);
    for (const auto& l : c.not_logged) EXPECT_FALSE(run.Logged(l)) << winsim::Utf8(l);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SectionFlow,
    ::testing::Values(
        FlowCase{"EmptyInit", L"[INIT]\r\n", L"", 0, {L"ExecuteSection: Section = INIT.", L"Return Code=0x0"}, {}},
        FlowCase{"MissingInit", L"[OTHER]\r\nCMD1=CMD_ABORT\r\n", L"", 0, {L"Return Code=0x0"}, {}},
        FlowCase{"GapEndsTheList",
                 L"[INIT]\r\nCMD1=CHECK_UILANG\r\nCMD3=CMD_ABORT\r\n", L"", 0x1,
                 {L"Return Code=0x1"}, {L"ExecuteSection: Detect Abort Command."}}),
    [](const ::testing::TestParamInfo<FlowCase>& i) { return std::string(i.param.name); });

}  // namespace
