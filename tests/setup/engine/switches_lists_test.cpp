// The switch sections and list checks against the machine (UI and system language, OS
// version, geo ID, telephony location, command line, present devices), their line
// parsing, and the three small checks.
#include "engine_fixture.h"

#include "winsim/osinfo.h"
#include "winsim/wmi.h"

#include <cstdio>
#include <functional>

namespace {

using Setup = std::function<void(winsim::Machine&)>;

// A mark of the script (see SetupRun::Matches).
std::wstring Marker(const std::wstring& name) { return name; }

void Nothing(winsim::Machine&) {}
void NoLocation(winsim::Machine& m) { winsim::os::SetTelephonyLocation(m, std::nullopt, std::nullopt); }
Setup UiLang(LANGID l) {
    return [l](winsim::Machine& m) { winsim::os::SetUserUILanguage(m, l); };
}
Setup SysLang(LANGID l) {
    return [l](winsim::Machine& m) { winsim::os::SetSystemLanguage(m, l); };
}
Setup Geo(GEOID g) {
    return [g](winsim::Machine& m) { winsim::os::SetUserGeoId(m, g); };
}
Setup Location(DWORD country) {
    return [country](winsim::Machine& m) { winsim::os::SetTelephonyLocation(m, 1, country); };
}
Setup Os(DWORD major, DWORD minor) {
    return [major, minor](winsim::Machine& m) {
        winsim::os::Version v;
        v.major = major;
        v.minor = minor;
        winsim::os::SetVersion(m, v);
    };
}
Setup Vendor(const std::wstring& vendor) {
    return [vendor](winsim::Machine& m) {
        winsim::wmi::SetInstances(m, winsim::wmi::kCimV2, L"Win32_ComputerSystemProduct",
                                  {{{L"Vendor", winsim::wmi::Value::Text(vendor)}}});
    };
}

struct SwitchCase {
    const char* name;
    Setup setup;
    std::wstring command;  // CMD1 of [INIT], its argument section [SW]
    std::wstring lines;    // the lines of [SW]
    std::wstring args;
    int code;                           // the result of CMD1
    std::vector<std::wstring> ran;      // markers of sections that ran, in this order
    std::vector<std::wstring> not_ran;  // markers of sections that did not
    std::vector<std::wstring> logged;
};

// Sections the switches run: [A] and [B] only log; [BAD] fails.
const std::wstring kTargets =
    L"[A]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_A\r\n[B]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_B\r\n"
    L"[BAD]\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=NONE\r\n";

// A switch section far longer than one read and a line far longer than a line buffer.
std::wstring LongSection() {
    std::wstring s;
    for (int i = 0; i < 400; ++i) s += L"0409" + std::to_wstring(i) + L"=NOPE\r\n";
    return s + L"0411=A " + std::wstring(600, L'x');
}

const SwitchCase kSwitchCases[] = {
    {"LongSectionAndLineAreReadWhole", UiLang(0x411), L"UILANG_SECTION", LongSection(), L"", 0, {L"MARK_A"}, {}, {}},
    {"UiLangWithBlanksAndQuotes",
     UiLang(0x411),
     L"UILANG_SECTION",
     L"0411 = \"A\"",
     L"",
     0,
     {L"MARK_A"},
     {},
     {L"UILANG_SECTION", L"UILANG_SECTION Get _tcstok success 0411=A. ", L"UILANG_SECTION Execute Section A"}},
    {"UiLangWithHexPrefix", UiLang(0x411), L"UILANG_SECTION", L"0x411=B", L"", 0, {L"MARK_B"}, {}, {}},
    {"UiLangOtherLanguage",
     UiLang(0x409),
     L"UILANG_SECTION",
     L"0411=A",
     L"",
     0,
     {},
     {L"MARK_A"},
     {L"UILANG_SECTION did not match UILANG 1041"}},
    {"UiLangJunkLinesAreSkipped",
     UiLang(0x411),
     L"UILANG_SECTION",
     L"junk\r\n=\r\n0411=\r\n0411=A",
     L"",
     0,
     {L"MARK_A"},
     {},
     {L"UILANG_SECTION Can not find \"=\" character in one line.", L"UILANG_SECTION Get Keyname Error _tcstok.",
      L"UILANG_SECTION Get Keyvalue Error _tcstok."}},
    {"UiLangKeyWithoutDigitsMatchesNothing", UiLang(0x411), L"UILANG_SECTION", L"zz=A", L"", 0, {}, {L"MARK_A"}, {}},
    {"UiLangTwoMatchingLinesRunBothInOrder",
     UiLang(0x411),
     L"UILANG_SECTION",
     L"0411=B\r\n411=A",
     L"",
     0,
     {L"MARK_B", L"MARK_A"},
     {},
     {}},
    {"UiLangFailingSection",
     UiLang(0x411),
     L"UILANG_SECTION",
     L"0411=BAD\r\n0411=A",
     L"",
     31,
     {L"MARK_A"},
     {},
     {L"UILANG_SECTION Execute Section return code 1"}},
    {"OsWindows7",
     Os(6, 1),
     L"OS_SECTION",
     L"9=A\r\nA=B",
     L"",
     0,
     {L"MARK_A"},
     {L"MARK_B"},
     {L"OS_SECTION did not match OS 10"}},
    {"OsWindows8", Os(6, 2), L"OS_SECTION", L"9=A\r\nA=B\r\n10=A", L"", 0, {L"MARK_B"}, {L"MARK_A"}, {}},
    {"OsWindows81", Os(6, 3), L"OS_SECTION", L"B=A", L"", 0, {L"MARK_A"}, {}, {}},
    {"OsWindows10ReportedAs81", Os(10, 0), L"OS_SECTION", L"B=A\r\nC=B", L"", 0, {L"MARK_A"}, {L"MARK_B"}, {}},
    {"OsWindowsXp", Os(5, 1), L"OS_SECTION", L"7=A\r\n6=B", L"", 0, {L"MARK_A"}, {L"MARK_B"}, {}},
    {"OsServer2003", Os(5, 2), L"OS_SECTION", L"7=A\r\n6=B", L"", 0, {L"MARK_B"}, {L"MARK_A"}, {}},
    {"NonUnicodeLanguage",
     SysLang(0x411),
     L"NONUNILANG_SECTION",
     L"0409=B\r\n0411=A",
     L"",
     0,
     {L"MARK_A"},
     {L"MARK_B"},
     {}},
    {"UserGeoId", Geo(0x7A), L"USERGEOID_SECTION", L"7A=A\r\n7B=B", L"", 0, {L"MARK_A"}, {L"MARK_B"}, {}},
    // Listed IDs are cut to 16 bits: a geo ID or location above 65535 never matches.
    {"UserGeoIdAboveSixteenBits",
     Geo(0x1007A),
     L"USERGEOID_SECTION",
     L"7A=A\r\n1007A=B",
     L"",
     0,
     {},
     {L"MARK_A", L"MARK_B"},
     {}},
    {"LocationIsDecimal",
     Location(81),
     L"LOCATIONID_SECTION",
     L"51=B\r\n81=A",
     L"",
     0,
     {L"MARK_A"},
     {L"MARK_B"},
     {L"CSetupCtrl::GetLocationID 51:End"}},
    {"LocationAboveSixteenBits",
     Location(65617),
     L"LOCATIONID_SECTION",
     L"81=A\r\n65617=B",
     L"",
     0,
     {},
     {L"MARK_A", L"MARK_B"},
     {}},
    // An unreadable location compares as 0, and so does a key without digits.
    {"UnreadableLocationIsZero",
     NoLocation,
     L"LOCATIONID_SECTION",
     L"0=A\r\nx=B",
     L"",
     0,
     {L"MARK_A", L"MARK_B"},
     {},
     {L"CSetupCtrl::GetLocationID:Can no get location current ID."}},
    {"PrecodeKeyWithoutDigitsIsZero", Nothing, L"PRECODE_SECTION", L"zz=A", L"", 0, {L"MARK_A"}, {}, {}},
    {"ParamOccursInTheArguments",
     Nothing,
     L"PARAM_SECTION",
     L"/MODE:FAST=A\r\n/other=B",
     L"/s /Mode:Fast",
     0,
     {L"MARK_A"},
     {L"MARK_B"},
     {L"PARAM_SECTION Precode=0x0"}},
    {"ParamLongerThanTheArgumentsIsNotCut",
     Nothing,
     L"PARAM_SECTION",
     L"/" + std::wstring(300, L'a') + L"=A",
     L"/" + std::wstring(258, L'a'),
     0,
     {},
     {L"MARK_A"},
     {}},
    {"ParamFailingSection", Nothing, L"PARAM_SECTION", L"/x=BAD", L"/s /x", 76, {}, {}, {}},
    {"HwidOfAPresentDevice",
     Nothing,
     L"HWID_SECTION",
     L"pci\\ven_1234&dev_1111=A\r\nPCI\\VEN_FFFF=B",
     L"",
     0,
     {L"MARK_A"},
     {L"MARK_B"},
     {}},
    {"CyclicSectionsStopAtTheNestingLimit",
     Nothing,
     L"PRECODE_SECTION",
     L"0=LOOP",
     L"",
     65,
     {},
     {},
     {L"PRECODE_SECTION Section LOOP nests deeper than 32 levels."}},
};

class Switches : public EngineTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(Switches, RunTheMatchingSections) {
    const SwitchCase& c = GetParam();
    c.setup(machine());
    WriteScript(L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=" + c.command + L"\r\nCMD1_SECTION=SW\r\n[SW]\r\n" + c.lines +
                L"\r\n[LOOP]\r\nCMD1=PRECODE_SECTION\r\nCMD1_SECTION=SW\r\n" + kTargets);
    SetupRun run = Run(c.args.empty() ? L"/s" : c.args);
    EXPECT_EQ(c.code, run.code);
    int last = -1;
    for (const auto& r : c.ran) {
        int at = run.IndexOf(Marker(r));
        EXPECT_GT(at, last) << winsim::Utf8(r);
        last = at;
    }
    for (const auto& r : c.not_ran) EXPECT_FALSE(run.Logged(Marker(r))) << winsim::Utf8(r);
    for (const auto& l : c.logged) EXPECT_TRUE(run.Logged(l)) << winsim::Utf8(l);
    if (::testing::Test::HasFailure())
        for (const auto& l : run.logs) std::printf("  log: %s\n", winsim::Utf8(l).c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, Switches, ::testing::ValuesIn(kSwitchCases),
                         [](const ::testing::TestParamInfo<SwitchCase>& i) { return std::string(i.param.name); });

struct CheckCase {
    const char* name;
    Setup setup;
    std::wstring command;
    std::wstring arg;  // the lines of [ARG]
    std::wstring args;
    bool image64;
    int code;
    std::vector<std::wstring> logged;
};

const CheckCase kCheckCases[] = {
    {"UiLangSecondItem",
     UiLang(0x411),
     L"CHECK_UILANG",
     L"LANG=2\r\nLANG1=0409\r\nLANG2=0x0411",
     L"",
     true,
     0,
     {L"CHECK_UILANG:0409", L"CHECK_UILANG:0x0411", L"Detect UI LANGUGAGE ID 411=411"}},
    {"UiLangNoItem", UiLang(0x411), L"CHECK_UILANG", L"", L"", true, 54, {L"Error did not find any non ui language!"}},
    {"UiLangItemWithoutDigits", UiLang(0x411), L"CHECK_UILANG", L"LANG=1\r\nLANG1=none", L"", true, 54, {}},
    {"NonUnicodeLanguage",
     SysLang(0x804),
     L"CHECK_NONUNILANG",
     L"LANG=1\r\nLANG1=804",
     L"",
     true,
     0,
     {L"Detect NON UNICODE LANGUGAGE ID 804=804"}},
    {"NonUnicodeLanguageMissing",
     SysLang(0x804),
     L"CHECK_NONUNILANG",
     L"LANG=1\r\nLANG1=411",
     L"",
     true,
     53,
     {L"Error did not find any non unicode language!"}},
    {"UserGeoId", Geo(0x7A), L"CHECK_USERGEOID", L"ID=1\r\nID1=7a", L"", true, 0, {L"Detect User Geo ID 7a=7a"}},
    {"UserGeoIdAboveSixteenBits", Geo(0x1007A), L"CHECK_USERGEOID", L"ID=1\r\nID1=7A", L"", true, 55, {}},
    {"Location",
     Location(81),
     L"CHECK_LOCATIONID",
     L"ID=2\r\nID1=1\r\nID2=81",
     L"",
     true,
     0,
     {L"Detect Location UD 81=81"}},
    // An unreadable location compares as 0; an empty or non-numeric item reads as 0.
    {"UnreadableLocationMatchesAnEmptyItem",
     NoLocation,
     L"CHECK_LOCATIONID",
     L"ID=2\r\nID1=5\r\nID2=",
     L"",
     true,
     0,
     {L"Detect Location UD 0=0"}},
    {"NonNumericItemMatchesLocationZero",
     Location(0),
     L"CHECK_LOCATIONID",
     L"ID=2\r\nID1=5\r\nID2=abc",
     L"",
     true,
     0,
     {L"CHECK_LOCATIONID:abc", L"Detect Location UD 0=0"}},
    {"LocationAboveSixteenBits", Location(65617), L"CHECK_LOCATIONID", L"ID=1\r\nID1=65617", L"", true, 56, {}},
    {"ParamInAnyCase",
     Nothing,
     L"CHECK_PARAM",
     L"PARAM=1\r\nPARAM1=/Quiet",
     L"/QUIET /s",
     true,
     0,
     {L"CHECK_PARAM:/Quiet", L"CHECK_PARAM:Detect Param /quiet /s=/quiet"}},
    // An empty text occurs in every command line.
    {"EmptyParamItemMatchesAnyCommandLine",
     Nothing,
     L"CHECK_PARAM",
     L"PARAM=1\r\nPARAM1=",
     L"/s",
     true,
     0,
     {L"CHECK_PARAM:Detect Param /s="}},
    {"MissingParamItemMatchesAnyCommandLine", Nothing, L"CHECK_PARAM", L"PARAM=1", L"/s", true, 0, {}},
    {"VendorOfAnotherMaker", Nothing, L"CHECK_VENDOR", L"", L"", true, 5, {L"Error check Vendor System manufacturer"}},
    {"VendorInMixedCase", Vendor(L"QuArVeN"), L"CHECK_VENDOR", L"", L"", true, 0, {}},
    {"Administrator", Nothing, L"CHECK_ADMINPRIVILEGE", L"", L"", true, 0, {}},
    {"NoAdministrator",
     [](winsim::Machine& m) { winsim::os::SetUserAdmin(m, m.FindSession(1)->user, false); },
     L"CHECK_ADMINPRIVILEGE",
     L"",
     L"",
     true,
     47,
     {}},
    {"Wow6432NativeProcess", Nothing, L"CHECK_WOW6432", L"", L"", true, 0, {}},
    {"Wow6432ProcessUnderWow64", Nothing, L"CHECK_WOW6432", L"", L"", false, 3, {L"WOW6432 process"}},
};

class Checks : public EngineTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(Checks, PassOrFailAndQuit) {
    const CheckCase& c = GetParam();
    c.setup(machine());
    WriteScript(L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=" + c.command +
                L"\r\nCMD1_SECTION=ARG\r\nCMD2=CMD_SLEEP\r\nCMD2_SECTION=MARK_NEXT\r\n[ARG]\r\n" + c.arg + L"\r\n");
    SetupRun run = Run(c.args.empty() ? L"/s" : c.args, c.image64);
    EXPECT_EQ(c.code, run.code);
    // A failing check ends its section.
    EXPECT_EQ(c.code == 0, run.Logged(Marker(L"MARK_NEXT")));
    for (const auto& l : c.logged) EXPECT_TRUE(run.Logged(l)) << winsim::Utf8(l);
    if (::testing::Test::HasFailure())
        for (const auto& l : run.logs) std::printf("  log: %s\n", winsim::Utf8(l).c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, Checks, ::testing::ValuesIn(kCheckCases),
                         [](const ::testing::TestParamInfo<CheckCase>& i) { return std::string(i.param.name); });

}  // namespace
