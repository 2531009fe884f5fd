// Path macros: the program's own names, shell folders and environment variables, the
// pass rule and its bound, and results cut to the caller's buffer.
#include "unit_fixture.h"

#include <shlobj.h>
#include <stdlib.h>

namespace {

class Macros : public EngineUnitTest {
protected:
    Macros() {
        Create();
        SetEnvironmentVariableW(L"VQ_LOOP", L"%VQ_LOOP%x");
        SetEnvironmentVariableW(L"VQ_NEXT", L"%windir%");
        SetEnvironmentVariableW(L"VQ_EMPTY", L"");
        SetEnvironmentVariableW(L"VQ_LONG", std::wstring(300, L'z').c_str());
    }

    std::wstring Expand(const std::wstring& in, DWORD cch = SETUP_TEXT_CCH) {
        std::vector<WCHAR> buf(cch + 8, L'#');
        lstrcpynW(buf.data(), in.c_str(), static_cast<int>(cch));
        g_pSetupCtrl->ExpandMacros(buf.data(), cch);
        EXPECT_EQ(L'#', buf[cch]) << "written beyond the buffer";
        return buf.data();
    }

    std::wstring Short() { return g_pSetupEnv->GetShortProgramFolder(); }
    std::wstring Windir() {
        const wchar_t* w = _wgetenv(L"windir");
        return w ? w : L"";
    }
};

TEST_F(Macros, Expansions) {
    struct Case {
        std::wstring in, out;
    } cases[] = {
        {L"%ExecuteDir%\\Driver.inf", Short() + L"\\Driver.inf"},
        {L"%executedir%\\a", Short() + L"\\a"},
        {L"%ExecuteDir%;%ExecuteDir%", Short() + L";" + Short()},
        {L"%windir%\\System32", Windir() + L"\\System32"},
        {L"%ExecuteDir%%windir%", Short() + Windir()},
        {L"%windir%-%ExecuteDir%", Windir() + L"-" + Short()},
        {L"100% sure", L"100% sure"},
        {L"no macro", L"no macro"},
        {L"50% off, 20% more", L"50 more"},
        {L"%VQ_UNDEFINED%rest", L"rest"},
        {L"%VQ_EMPTY%x", L"x"},
        {L"%VQ_NEXT%", Windir()},
        {L"%NetInstanceGUID%|%DevInstanceID%|", L"||"},
        {L"%%", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, Expand(c.in)) << winsim::Utf8(c.in);
}

TEST_F(Macros, ShellFolders) {
    WCHAR programs[MAX_PATH], start[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs));
    ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_COMMON_STARTMENU, nullptr, SHGFP_TYPE_CURRENT, start));
    EXPECT_EQ(std::wstring(programs) + L"\\Tool.lnk", Expand(L"%CSIDL_COMMON_PROGRAMS%\\Tool.lnk"));
    EXPECT_EQ(std::wstring(start), Expand(L"%csidl_common_startmenu%"));
}

TEST_F(Macros, ValueThatBringsItsMacroBackStopsAfterBoundedPasses) {
    std::wstring out = Expand(L"%VQ_LOOP%");
    // Every pass puts the macro back with one more x; the passes are counted.
    EXPECT_EQ(L"%VQ_LOOP%" + std::wstring(SETUP_MACRO_MAX_PASSES, L'x'), out);
}

TEST_F(Macros, ResultIsCutToTheBuffer) {
    EXPECT_EQ(std::wstring(SETUP_TEXT_CCH - 1, L'z'), Expand(L"%VQ_LONG%"));
    EXPECT_EQ(L"ab" + std::wstring(13, L'z'), Expand(L"ab%VQ_LONG%cd", 16));
}

TEST_F(Macros, DeviceInstanceOfTheLastMatch) {
    ASSERT_TRUE(g_pSetupCtrl->IsExist(L"PCI\\VEN_1234&DEV_1111"));
    EXPECT_EQ(L"PCI\\VEN_1234&DEV_1111&SUBSYS_00000000&REV_02\\3&267A616A&0&10\\x", Expand(L"%DevInstanceID%\\x"));
    // A search that finds nothing keeps the last match.
    EXPECT_FALSE(g_pSetupCtrl->IsExist(L"PCI\\VEN_FFFF"));
    EXPECT_FALSE(g_pSetupCtrl->IsExist(L""));
    EXPECT_EQ(L"PCI\\VEN_1234&DEV_1111&SUBSYS_00000000&REV_02\\3&267A616A&0&10", Expand(L"%DevInstanceID%"));
}

TEST(MacroName, FirstPairOfMarks) {
    struct Case {
        const wchar_t* text;
        int found;
        const wchar_t* name;
    } cases[] = {
        {L"a%b%c", 1, L"b"}, {L"%%", 1, L""}, {L"%a", 0, L""}, {L"", 0, L""}, {L"x%a b\\c%y%z%", 1, L"a b\\c"},
    };
    for (const auto& c : cases) {
        WCHAR name[SETUP_TEXT_CCH] = L"";
        EXPECT_EQ(c.found, CSetupCtrl::FindMacroName(c.text, L"%", name));
        if (c.found) {
            EXPECT_EQ(std::wstring(c.name), name);
        }
    }
    std::wstring longName = L"%" + std::wstring(400, L'n') + L"%";
    WCHAR name[SETUP_TEXT_CCH];
    EXPECT_EQ(1, CSetupCtrl::FindMacroName(longName.c_str(), L"%", name));
    EXPECT_EQ(static_cast<size_t>(SETUP_TEXT_CCH - 1), wcslen(name));
}

TEST(MacroReplace, EveryOccurrenceOnceAndCaseSensitive) {
    struct Case {
        const wchar_t* text;
        const wchar_t* token;
        const wchar_t* value;
        int replaced;
        const wchar_t* out;
    } cases[] = {
        {L"%A%-%A%", L"%A%", L"1", 1, L"1-1"},
        {L"%a%", L"%A%", L"1", 0, L"%a%"},
        {L"%A%", L"%A%", L"%A%%A%", 1, L"%A%%A%"},
        {L"x", L"%A%", L"1", 0, L"x"},
        {L"%A%", L"", L"1", 0, L"%A%"},
    };
    for (const auto& c : cases) {
        WCHAR buf[64];
        lstrcpynW(buf, c.text, 64);
        EXPECT_EQ(c.replaced, CSetupCtrl::ReplaceAll(buf, 64, c.token, c.value));
        EXPECT_EQ(std::wstring(c.out), buf);
    }
}

}  // namespace
