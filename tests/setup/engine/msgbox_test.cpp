// SHOW_MSGBOX and the box of a quitting check: title, text with line feeds and macros, the
// type, the answer as the command's result, silence and the empty message.
#include "engine_fixture.h"

#include "winsim/osinfo.h"
#include "winsim/wmi.h"

namespace {

struct BoxCase {
    const char* name;
    std::wstring arg;   // the lines of the box's section
    std::wstring args;  // the run's arguments
    std::vector<int> answers;
    int code;  // the exit code with RETURN_CMD=1
    bool shown;
    std::wstring text, caption;
    UINT type;
    std::wstring logged;
};

const BoxCase kBoxCases[] = {
    {"OkBox",
     L"MSGBOX_TITLE=Setup\r\nMSGBOX_MSG=Done",
     L"",
     {},
     IDOK,
     true,
     L"Done",
     L"Setup",
     0,
     L"SHOW_MSGBOX Return Code = 1"},
    {"YesNoAnsweredNo",
     L"MSGBOX_TITLE=Ask\r\nMSGBOX_MSG=Go on?\r\nMSGBOX_TYPE=24",
     L"",
     {IDNO},
     IDNO,
     true,
     L"Go on?",
     L"Ask",
     MB_YESNO | MB_ICONQUESTION,
     L"ShowMsgBox:24,Ask,24 "},
    {"YesNoAnsweredYes",
     L"MSGBOX_MSG=Go on?\r\nMSGBOX_TYPE=0x4",
     L"",
     {IDYES},
     IDYES,
     true,
     L"Go on?",
     L"",
     MB_YESNO,
     L"SHOW_MSGBOX Return Code = 6"},
    {"LineFeeds", L"MSGBOX_MSG=one\\ntwo\\n\\\\n", L"", {}, IDOK, true, L"one\ntwo\n\\\n", L"", 0, L""},
    {"Macros",
     L"MSGBOX_MSG=%ExecuteDir%\\a %VQ_NONE%!",
     L"",
     {},
     IDOK,
     true,
     L"C:\\PROGRA~1\\Quarven\\Setup\\a !",
     L"",
     0,
     L""},
    {"EmptyMessage", L"MSGBOX_TITLE=Setup", L"", {}, 0, false, L"", L"", 0, L"ShowMsgBox:NULL Message Return Success."},
    {"Silent", L"MSGBOX_MSG=Done", L"/S", {}, 0, false, L"", L"", 0, L"SHOW_MSGBOX was skipped due to silentmode"},
};

class Boxes : public EngineTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(Boxes, ShownAndAnswered) {
    const BoxCase& c = GetParam();
    for (int a : c.answers) winsim::msgbox::QueueAnswer(machine(), a);
    WriteScript(L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=SHOW_MSGBOX\r\nCMD1_SECTION=BOX\r\n[BOX]\r\n" + c.arg + L"\r\n");
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    std::vector<winsim::msgbox::Record> boxes;
    for (const auto& r : winsim::msgbox::Shown(machine()))
        if (r.pid == run.pid) boxes.push_back(r);
    ASSERT_EQ(c.shown ? 1u : 0u, boxes.size());
    if (c.shown) {
        EXPECT_EQ(c.text, boxes[0].text);
        if (!c.caption.empty()) {
            EXPECT_EQ(c.caption, boxes[0].caption);
        }
        EXPECT_EQ(c.type, boxes[0].type);
    }
    if (!c.logged.empty()) {
        EXPECT_TRUE(run.Logged(c.logged)) << winsim::Utf8(c.logged);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Boxes, ::testing::ValuesIn(kBoxCases),
                         [](const ::testing::TestParamInfo<BoxCase>& i) { return std::string(i.param.name); });

// SHOW_WMIDATA and SHOW_REGDATA show the value they read in the section's box, in a
// silent run too.
struct ValueBoxCase {
    const char* name;
    const wchar_t* keyword;
    const wchar_t* args;
    std::wstring value;  // in WMI and in the registry
    std::wstring text;   // the box's text
};

const ValueBoxCase kValueBoxes[] = {
    {"WmiSilent", L"SHOW_WMIDATA", L"/s", L"Quarven 1.0", L"Quarven 1.0"},
    {"RegSilent", L"SHOW_REGDATA", L"-S", L"Quarven 1.0", L"Quarven 1.0"},
    // The value is a message like any other: line feeds and macros.
    {"WmiLineFeedAndMacro", L"SHOW_WMIDATA", L"", L"a\\nb %ExecuteDir%", L"a\nb C:\\PROGRA~1\\Quarven\\Setup"},
    {"RegLineFeedAndMacro", L"SHOW_REGDATA", L"", L"a\\nb %ExecuteDir%", L"a\nb C:\\PROGRA~1\\Quarven\\Setup"},
};

class ValueBoxes : public EngineTest, public ::testing::WithParamInterface<ValueBoxCase> {};

TEST_P(ValueBoxes, Shown) {
    const ValueBoxCase& c = GetParam();
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Test_Box",
                              {{{L"Text", winsim::wmi::Value::Text(c.value)}}});
    winsim::Registry(machine()).SetString(L"HKLM\\SOFTWARE\\Vq", L"Text", c.value);
    WriteScript(std::wstring(L"[INIT]\r\nCMD1=") + c.keyword +
                L"\r\nCMD1_SECTION=V\r\n[V]\r\nMSGBOX_TITLE=T\r\nWMI_NAMESPACE=root\\CIMV2\r\n"
                L"WMI_CLASSNAME=Test_Box\r\nWMI_PROPERTYNAME=Text\r\nREG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\n"
                L"REG1_ENTRY=Text\r\n");
    SetupRun run = Run(c.args);
    EXPECT_EQ(0, run.code);
    std::vector<std::wstring> texts;
    for (const auto& r : winsim::msgbox::Shown(machine()))
        if (r.pid == run.pid) texts.push_back(r.text);
    EXPECT_EQ(std::vector<std::wstring>{c.text}, texts);
}

INSTANTIATE_TEST_SUITE_P(Cases, ValueBoxes, ::testing::ValuesIn(kValueBoxes),
                         [](const ::testing::TestParamInfo<ValueBoxCase>& i) { return std::string(i.param.name); });

// A failing check shows its section's box, once, before the section ends.
TEST_F(EngineTest, QuittingCheckShowsItsBox) {
    winsim::os::SetUserUILanguage(machine(), 0x409);
    WriteScript(
        L"[INIT]\r\nCMD1=CHECK_UILANG\r\nCMD1_SECTION=JP\r\nCMD2=SHOW_MSGBOX\r\nCMD2_SECTION=NEXT\r\n"
        L"[JP]\r\nLANG=1\r\nLANG1=0411\r\nMSGBOX_TITLE=Setup\r\nMSGBOX_MSG=Japanese Windows only.\r\nMSGBOX_TYPE=10\r\n"
        L"[NEXT]\r\nMSGBOX_MSG=never\r\n");
    SetupRun run = Run();
    EXPECT_EQ(0x1, run.code);
    std::vector<std::wstring> texts;
    for (const auto& r : winsim::msgbox::Shown(machine()))
        if (r.pid == run.pid) texts.push_back(r.text);
    EXPECT_EQ(std::vector<std::wstring>{L"Japanese Windows only."}, texts);
}

}  // namespace
