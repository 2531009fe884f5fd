// The registry imports through their table rows: .reg files beside the program (its own,
// a list, the UI language's), ADDREG/DELREG sections (and their UI language variant), and
// ".WOW32" on the x64 build sending an import to the 32-bit view.
#include "engine_fixture.h"
#include "unit_fixture.h"
#include "winsim/osinfo.h"

#include <string>

namespace {

// A .reg file that sets one text value of HKLM\SOFTWARE\Vq.
std::string RegFile(const std::string& name, const std::string& value) {
    return "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vq]\r\n\"" + name + "\"=\"" + value + "\"\r\n";
}

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
    return bytes;
}

struct ImportCase {
    const char* name;
    const wchar_t* keyword;
    const wchar_t* section;  // the argument section's name ("" for none)
    const wchar_t* lines;    // the script's sections
    const char* files;       // ".reg" files beside the program: "NAME=VALUE" each, ';' apart
    unsigned code;
    const wchar_t* values;  // HKLM\SOFTWARE\Vq afterwards: "NAME=VALUE;..." ("-" for missing)
};

const ImportCase kCases[] = {
    {"OwnFileMissing", L"REG_FILE", L"", L"", "", 12, L"Own=-"},
    {"OwnFile", L"REG_FILE", L"", L"", "Setup=Own", 0, L"Own=Setup"},
    {"ListGoesOnAfterAMissingFile", L"REG_FILE", L"S", L"[S]\r\nREG=3\r\nREG1=a.reg\r\nREG2=none.reg\r\nREG3=c.reg\r\n",
     "a=A;c=C", 12, L"A=a;C=c"},
    {"EmptyList", L"REG_FILE", L"S", L"[S]\r\nREG=0\r\n", "a=A", 0, L"A=-"},
    {"UnknownSection", L"REG_FILE", L"Nowhere", L"", "a=A", 0, L"A=-"},
    {"UILanguageFile", L"REG_FILE_UILANG", L"", L"", "0411=Lang", 0, L"Lang=0411"},
    {"UILanguageFileMissing", L"REG_FILE_UILANG", L"", L"", "0409=Lang", 23, L"Lang=-"},
    {"IniEntries", L"REG_INI", L"S",
     L"[S]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Vq\r\nADDREG1_ENTRYNAME=Add\r\n"
     L"ADDREG1_VALUE=%ExecuteDir%\r\nDELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=SOFTWARE\\Vq\r\n"
     L"DELREG1_ENTRYNAME=Old\r\n",
     "", 0, L"Add=C:\\PROGRA~1\\Quarven\\Setup;Old=-"},
    {"IniNothingListed", L"REG_INI", L"S", L"[S]\r\nADDREG=0\r\nDELREG=0\r\n", "", 13, L"Old=old"},
    {"IniUILanguageVariant", L"REG_INI_UILANG", L"S",
     L"[S]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Vq\r\nADDREG1_ENTRYNAME=L\r\n"
     L"ADDREG1_VALUE=plain\r\n[S_0411]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Vq\r\n"
     L"ADDREG1_ENTRYNAME=L\r\nADDREG1_VALUE=ja\r\n",
     "", 0, L"L=ja"},
};

class RegistryImports : public EngineUnitTest, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(RegistryImports, ResultAndRegistry) {
    const ImportCase& c = GetParam();
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Reg.ini";
    winsim::os::SetUserUILanguage(machine(), 0x0411);
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\Vq", L"Old", L"old");
    std::string files = c.files;
    for (size_t i = 0; i < files.size();) {
        size_t end = files.find(';', i);
        if (end == std::string::npos) end = files.size();
        std::string item = files.substr(i, end - i);
        size_t eq = item.find('=');
        std::string name = item.substr(0, eq), value = item.substr(eq + 1);
        winsim::files::WriteBytes(machine(), std::wstring(kFolder) + L"\\" + winsim::Wide(name) + L".reg",
                                  RegFile(value, name));
        i = end + 1;
    }
    winsim::files::WriteBytes(machine(), kScript, Utf16(std::wstring(L"[X]\r\n") + c.lines));
    Create();
    g_pSetupEnv->SetScriptPath(kScript);
    const SetupCommand* row = FindSetupCommand(c.keyword);
    ASSERT_NE(nullptr, row);
    int quit = 0;
    EXPECT_EQ(c.code, row->pfnHandler(L"", c.section, &quit, 0));
    EXPECT_EQ(0, quit);
    std::wstring values = c.values;
    for (size_t i = 0; i < values.size();) {
        size_t end = values.find(L';', i);
        if (end == std::wstring::npos) end = values.size();
        std::wstring item = values.substr(i, end - i);
        size_t eq = item.find(L'=');
        EXPECT_EQ(item.substr(eq + 1), r.GetString(L"HKLM\\SOFTWARE\\Vq", item.substr(0, eq)).value_or(L"-"))
            << winsim::Utf8(item);
        i = end + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryImports, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ImportCase>& i) { return std::string(i.param.name); });

// The whole program: the x64 build's ".WOW32" sends both imports to the 32-bit view for
// that command alone, and no INF is left behind.
class RegistryImportRun : public EngineTest {};

TEST_F(RegistryImportRun, Wow32SuffixImportsInto32BitView) {
    PutFile(std::wstring(kFolder) + L"\\a.reg", RegFile("File", "32"));
    PutFile(std::wstring(kFolder) + L"\\b.reg", RegFile("Own", "64"));
    WriteScript(
        L"[INIT]\r\nCMD1=REG_INI.WOW32\r\nCMD1_SECTION=I\r\nCMD2=REG_FILE.WOW32\r\nCMD2_SECTION=F\r\n"
        L"CMD3=REG_FILE\r\nCMD3_SECTION=G\r\n"
        L"[I]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Vq\r\nADDREG1_ENTRYNAME=Ini\r\n"
        L"ADDREG1_VALUE=32\r\n[F]\r\nREG=1\r\nREG1=a.reg\r\n[G]\r\nREG=1\r\nREG1=b.reg\r\n");
    SetupRun run = Run(L"/s");
    EXPECT_EQ(0, run.code);
    winsim::Registry r(machine());
    EXPECT_EQ(L"32", r.GetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Vq", L"Ini").value_or(L"-"));
    EXPECT_EQ(L"32", r.GetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Vq", L"File").value_or(L"-"));
    EXPECT_EQ(L"64", r.GetString(L"HKLM\\SOFTWARE\\Vq", L"Own").value_or(L"-"));
    EXPECT_FALSE(r.GetValue(L"HKLM\\SOFTWARE\\Vq", L"Ini"));
    for (const auto& name : TempFiles()) EXPECT_EQ(std::wstring::npos, name.find(L".inf")) << winsim::Utf8(name);
}

}  // namespace
