// Registry imports through the system's tools: the ADDREG and DELREG entries of a script
// section applied by the INF installer, and .reg files by the registry editor, each in the
// view of the running command, with nothing left in the temporary folder.
#include "RegCtrl.h"
#include "lib_fixture.h"
#include "winsim/program.h"

#include <string>

namespace {

// A context whose macros are those of a script: %Home% and %Empty% (which is empty).
class MacroContext : public TestContext {
public:
    void ExpandMacros(LPWSTR pszText, DWORD cchText) override {
        std::wstring s = pszText;
        for (auto [token, value] : {std::pair<const wchar_t*, const wchar_t*>{L"%Home%", L"C:\\Vq"}, {L"%Empty%", L""}})
            for (size_t i; (i = s.find(token)) != std::wstring::npos;) s.replace(i, wcslen(token), value);
        lstrcpynW(pszText, s.c_str(), static_cast<int>(cchText));
    }
    void ShowStatus(LPCWSTR pszCaption, LPCWSTR pszDetail) override {
        shown += std::wstring(pszCaption) + L"/" + pszDetail + L";";
    }
    std::wstring shown;
};

class RegImportTest : public LibTest {
protected:
    RegImportTest() {
        g_pSetupContext = &macros_;
        reg.SetString(L"HKLM\\SOFTWARE\\Vq\\Old", L"Gone", L"x");
        reg.SetString(L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"y");
        reg.SetString(L"HKLM\\SOFTWARE\\Vq\\Tree\\Sub", L"Deep", L"z");
        reg.SetString(L"HKCU\\Environment", L"Old", L"x");
    }

    void WriteIni(const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
        PutFile(InFolder(L"Reg.ini"), bytes);
    }

    // A value as text: "<none>", its string, "#N" for a number, items joined by '|'.
    std::wstring Shown(const std::wstring& key, const std::wstring& name) {
        auto v = reg.GetValue(key, name);
        if (!v) return L"<none>";
        if (v->type == REG_DWORD) return L"#" + std::to_wstring(*reg.GetDword(key, name));
        if (v->type == REG_MULTI_SZ) {
            std::wstring out;
            auto items = reg.GetMultiString(key, name).value_or(std::vector<std::wstring>());
            for (const auto& s : items) out += (out.empty() ? L"" : L"|") + s;
            return out;
        }
        return reg.GetString(key, name).value_or(L"<type>");
    }

    std::vector<std::wstring> LeftInTemp() {
        std::vector<std::wstring> names;
        WCHAR folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((std::wstring(folder) + L"*.inf").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do names.push_back(fd.cFileName);
        while (FindNextFileW(h, &fd));
        FindClose(h);
        return names;
    }

    winsim::Registry reg{machine()};
    MacroContext macros_;
};

struct AddDelCase {
    const char* name;
    const wchar_t* section;  // lines of [S] (and of other sections)
    const wchar_t* suffix;
    const wchar_t* subkey;
    const wchar_t* root;
    int wow;
    BOOL result;
    const wchar_t* key;  // a value to look at afterwards
    const wchar_t* entry;
    const wchar_t* want;
};

#define ADD1(sub, name, flags, value)            \
    L"ADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_" \
    L"SUBKEY=" sub L"\r\nADDREG1_ENTRYNAME=" name L"\r\nADDREG1_FLAGS=" flags L"\r\nADDREG1_VALUE=" value L"\r\n"

const AddDelCase kCases[] = {
    {"TextWithItsMacroExpanded", ADD1(L"SOFTWARE\\Vq\\New", L"Path", L"0", L"\"%Home%\\bin\""), nullptr, nullptr,
     nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"Path", L"C:\\Vq\\bin"},
    {"PercentAndQuoteStayLiteral", ADD1(L"SOFTWARE\\Vq\\New", L"Say \"hi\"", L"0", L"100% sure"), nullptr, nullptr,
     nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"Say \"hi\"", L"100% sure"},
    {"Number", ADD1(L"SOFTWARE\\Vq\\New", L"Mode", L"0x00010001", L"0x10"), nullptr, nullptr, nullptr, 0, TRUE,
     L"HKLM\\SOFTWARE\\Vq\\New", L"Mode", L"#16"},
    {"MultiString", ADD1(L"SOFTWARE\\Vq\\New", L"List", L"0x10000", L"a,b"), nullptr, nullptr, nullptr, 0, TRUE,
     L"HKLM\\SOFTWARE\\Vq\\New", L"List", L"a|b"},
    // A text reaches the registry whole, whatever it holds.
    {"TextWithCommaAndSemicolon", ADD1(L"SOFTWARE\\Vq\\New", L"Path", L"0", L"\"a,b;c\""), nullptr, nullptr, nullptr, 0,
     TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"Path", L"a,b;c"},
    {"TextWithQuotes", ADD1(L"SOFTWARE\\Vq\\New", L"Say", L"0x20000", L"say \"hi\", twice"), nullptr, nullptr, nullptr,
     0, TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"Say", L"say \"hi\", twice"},
    {"MultiStringItemsWhole", ADD1(L"SOFTWARE\\Vq\\New", L"List", L"0x10000", L"a;1, b \"2\""), nullptr, nullptr,
     nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"List", L"a;1|b \"2\""},
    {"DefaultValue", ADD1(L"SOFTWARE\\Vq\\New", L"", L"", L"\"dflt\""), nullptr, nullptr, nullptr, 0, TRUE,
     L"HKLM\\SOFTWARE\\Vq\\New", L"", L"dflt"},
    {"DeletesAValue",
     L"DELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=SOFTWARE\\Vq\\Old\r\nDELREG1_ENTRYNAME=Gone\r\n", nullptr,
     nullptr, nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"y"},
    {"DeletesAWholeKey", L"DELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=SOFTWARE\\Vq\\Tree\r\n", nullptr, nullptr,
     nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\Tree\\Sub", L"Deep", L"<none>"},
    {"SuffixSectionInAnyCase",
     ADD1(L"SOFTWARE\\Vq\\New", L"Lang", L"0", L"plain") L"[s_0411]\r\n" ADD1(L"SOFTWARE\\Vq\\New", L"Lang", L"0",
                                                                              L"japanese"),
     L"0411", nullptr, nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"Lang", L"japanese"},
    {"MissingSuffixSectionTakesThePlainOne", ADD1(L"SOFTWARE\\Vq\\New", L"Lang", L"0", L"plain"), L"0409", nullptr,
     nullptr, 0, TRUE, L"HKLM\\SOFTWARE\\Vq\\New", L"Lang", L"plain"},
    {"ReplacementKeyAndRoot", ADD1(L"SOFTWARE\\Elsewhere", L"Hit", L"0", L"1"), nullptr, L"Software\\Vq\\Found",
     L"HKCU", 0, TRUE, L"HKCU\\Software\\Vq\\Found", L"Hit", L"1"},
    {"WowFlagWritesThe32BitView", ADD1(L"SOFTWARE\\Vq\\New", L"Bits", L"0", L"32"), nullptr, nullptr, nullptr, 1, TRUE,
     L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\New", L"Bits", L"32"},
    {"FirstLevelKeyRefusedTheRestApplied",
     L"ADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Vq\\New\r\nADDREG1_ENTRYNAME=A\r\nADDREG1_VALUE=1\r\n"
     L"DELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=\\SOFTWARE\\\r\n",
     nullptr, nullptr, nullptr, 0, FALSE, L"HKLM\\SOFTWARE\\Vq\\New", L"A", L"1"},
    {"EmptyMacroRefused", L"DELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=SOFTWARE\\Vq\\%Empty%\r\n", nullptr,
     nullptr, nullptr, 0, FALSE, L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"y"},
    // Values below a first-level key go through; only a whole such key is never deleted.
    {"ValueBelowAFirstLevelKey", ADD1(L"Environment", L"VqHome", L"0", L"C:\\Vq"), nullptr, nullptr, L"HKCU", 0, TRUE,
     L"HKCU\\Environment", L"VqHome", L"C:\\Vq"},
    {"DeletesAValueOfAFirstLevelKey",
     L"DELREG=1\r\nDELREG1_ROOT=HKCU\r\nDELREG1_SUBKEY=Environment\r\nDELREG1_ENTRYNAME=Old\r\n", nullptr, nullptr,
     nullptr, 0, TRUE, L"HKCU\\Environment", L"Old", L"<none>"},
    {"WholeFirstLevelKeyRefused", L"DELREG=1\r\nDELREG1_ROOT=HKCU\r\nDELREG1_SUBKEY=Environment\r\n", nullptr, nullptr,
     nullptr, 0, FALSE, L"HKCU\\Environment", L"Old", L"x"},
    {"FlagsThatAreNoNumberRefused", ADD1(L"SOFTWARE\\Vq\\New", L"A", L"0,0", L"1"), nullptr, nullptr, nullptr, 0, FALSE,
     L"HKLM\\SOFTWARE\\Vq\\New", L"A", L"<none>"},
    {"NothingListed", L"ADDREG=0\r\nDELREG=0\r\n", nullptr, nullptr, nullptr, 0, FALSE, L"HKLM\\SOFTWARE\\Vq\\Old",
     L"Kept", L"y"},
};

class AddDelFromIni : public RegImportTest, public ::testing::WithParamInterface<AddDelCase> {};

TEST_P(AddDelFromIni, AppliesInTheCommandsView) {
    const AddDelCase& c = GetParam();
    macros_.wow = c.wow;
    WriteIni(std::wstring(L"[S]\r\n") + c.section);
    EXPECT_EQ(c.result, CRegCtrl::AddDelRegFromIni(InFolder(L"Reg.ini").c_str(), L"S", c.suffix, c.subkey, c.root));
    EXPECT_EQ(c.want, Shown(c.key, c.entry));
    EXPECT_TRUE(LeftInTemp().empty());
    // The installer of the command's view, its path quoted, without creation flags.
    for (const auto& s : winsim::ProcessStarts(machine())) {
        std::wstring program = c.wow ? L"C:\\Windows\\SysWOW64\\rundll32.exe" : L"C:\\Windows\\System32\\rundll32.exe";
        std::wstring want = L"\"" + program + L"\" setupapi,InstallHinfSection DefaultInstall 128 ";
        EXPECT_EQ(winsim::Lower(want), winsim::Lower(s.command_line.substr(0, want.size())));
        EXPECT_EQ(0u, s.flags);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AddDelFromIni, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<AddDelCase>& i) { return std::string(i.param.name); });

TEST_F(RegImportTest, DeletesComeBeforeAddsAndEachStepIsShown) {
    WriteIni(L"[S]\r\n" ADD1(L"SOFTWARE\\Vq\\Old", L"Fresh", L"0",
                             L"1") L"DELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=SOFTWARE\\Vq\\Old\r\n");
    EXPECT_TRUE(CRegCtrl::AddDelRegFromIni(InFolder(L"Reg.ini").c_str(), L"S", nullptr, nullptr));
    EXPECT_EQ(L"1", Shown(L"HKLM\\SOFTWARE\\Vq\\Old", L"Fresh"));
    EXPECT_EQ(L"<none>", Shown(L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept"));
    EXPECT_EQ(L"Adding Registry.../Fresh;Deleting Registry.../;", macros_.shown);
}

TEST_F(RegImportTest, MissingScriptOrSectionFails) {
    EXPECT_FALSE(CRegCtrl::AddDelRegFromIni(InFolder(L"None.ini").c_str(), L"S", nullptr, nullptr));
    WriteIni(L"[S]\r\n" ADD1(L"SOFTWARE\\Vq\\New", L"A", L"0", L"1"));
    EXPECT_FALSE(CRegCtrl::AddDelRegFromIni(InFolder(L"Reg.ini").c_str(), L"", nullptr, nullptr));
    EXPECT_TRUE(Logged(L"AddDelRegFromIni:Error Section name iregal"));
}

struct RegFileCase {
    const char* name;
    std::string bytes;
    int wow;
    const wchar_t* key;
    const wchar_t* want;
};

std::string Utf16(const std::wstring& text) {
    std::string b = "\xFF\xFE";
    for (wchar_t c : text) b += static_cast<char>(c & 0xFF), b += static_cast<char>(c >> 8);
    return b;
}

class RegFile : public RegImportTest, public ::testing::WithParamInterface<RegFileCase> {};

TEST_P(RegFile, ImportsInTheCommandsView) {
    const RegFileCase& c = GetParam();
    macros_.wow = c.wow;
    PutFile(InFolder(L"a.reg"), c.bytes);
    EXPECT_TRUE(CRegCtrl::AddRegFromRegFile(InFolder(L"a.reg").c_str()));
    EXPECT_EQ(c.want, Shown(c.key, L"V"));
    auto starts = winsim::ProcessStarts(machine());
    ASSERT_EQ(1u, starts.size());
    std::wstring program = c.wow ? L"C:\\Windows\\SysWOW64\\regedit.exe" : L"C:\\Windows\\regedit.exe";
    EXPECT_EQ(L"\"" + program + L"\" /s \"" + InFolder(L"a.reg") + L"\"", starts[0].command_line);
    EXPECT_EQ(std::wstring(kFolder), starts[0].current_dir);
}

const RegFileCase kRegFiles[] = {
    {"Regedit4", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vq\\R]\r\n\"V\"=\"four\"\r\n", 0,
     L"HKLM\\SOFTWARE\\Vq\\R", L"four"},
    {"Version5",
     Utf16(L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vq]\r\n\"V\"=dword:7\r\n"), 0,
     L"HKCU\\Software\\Vq", L"#7"},
    {"WowFlag", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vq\\R]\r\n\"V\"=\"32\"\r\n", 1,
     L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\R", L"32"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RegFile, ::testing::ValuesIn(kRegFiles),
                         [](const ::testing::TestParamInfo<RegFileCase>& i) { return std::string(i.param.name); });

// The registry editor by build and view: the x86 build always starts the Windows folder's.
TEST_F(RegImportTest, RegistryEditorOfEachBuild) {
    const struct {
        int b64, wow;
        const wchar_t* program;
    } cases[] = {{1, 0, L"C:\\Windows\\regedit.exe"},
                 {1, 1, L"C:\\Windows\\SysWOW64\\regedit.exe"},
                 {0, 0, L"C:\\Windows\\regedit.exe"},
                 {0, 1, L"C:\\Windows\\regedit.exe"}};
    for (const auto& c : cases) {
        macros_.wow = c.wow;
        WCHAR program[MAX_PATH] = L"";
        EXPECT_TRUE(CRegCtrl::SystemProgramPath(L"regedit.exe", 1, c.b64, program));
        EXPECT_EQ(winsim::Lower(c.program), winsim::Lower(program)) << c.b64 << c.wow;
    }
}

TEST_F(RegImportTest, MissingRegFileFails) {
    EXPECT_FALSE(CRegCtrl::AddRegFromRegFile(InFolder(L"none.reg").c_str()));
    EXPECT_TRUE(Logged(L"AddRegFromRegFile:Error could not find " + InFolder(L"none.reg") + L"."));
}

}  // namespace
