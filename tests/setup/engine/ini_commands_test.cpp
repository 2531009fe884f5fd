// CHECK_INIFILE and WRITE_INIFILE on other INI files: comparisons, substitution, the
// target path handed from one to the other, increments and missing files.
#include "unit_fixture.h"

namespace {

const wchar_t kScript[] = L"C:\\Program Files\\Quarven\\Setup\\script.ini";
const wchar_t kData[] = L"C:\\Data\\app.ini";

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

class IniCommands : public EngineUnitTest {
protected:
    void SetUp() override {
        winsim::files::CreateFolders(machine(), L"C:\\Data");
        Put(kData, L"[App]\r\nName=Veltrane\r\nCount=41\r\nWord=abc\r\nLink=%Who%\r\n[Strings]\r\nWho=Quarven\r\n");
        Create();
    }
    void Put(const std::wstring& path, const std::wstring& text) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), path, Utf16(text)));
    }
    void Script(const std::wstring& section) { Put(kScript, L"[S]\r\n" + section); }
    std::wstring Read(const wchar_t* key) {
        WCHAR sz[64] = {0};
        GetPrivateProfileStringW(L"App", key, L"<none>", sz, 64, kData);
        return sz;
    }
};

struct CheckCase {
    const char* name;
    std::wstring section;
    int result;
};

const CheckCase kChecks[] = {
    {"Equal", L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=Veltrane", 1},
    {"CaseMatters", L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=veltrane",
     0},
    {"SecondEntryDiffers",
     L"INI=2\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=Veltrane\r\n"
     L"INI2_FILE=C:\\Data\\app.ini\r\nINI2_SECTION=App\r\nINI2_KEY=Count\r\nINI2_VALUE=40",
     0},
    {"MissingKey", L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=None\r\nINI1_VALUE=", 0},
    {"MissingFile",
     L"INI=1\r\nINI1_FILE=C:\\Data\\none.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=Veltrane", 0},
    {"Substituted",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Link\r\nINI1_VALUE=Quarven\r\nINI1_FLAG=1",
     1},
    {"NotSubstituted",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Link\r\nINI1_VALUE=Quarven", 0},
    {"NoEntries", L"INI=0", 1},
};

class IniChecks : public IniCommands, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(IniChecks, Result) {
    Script(GetParam().section);
    EXPECT_EQ(GetParam().result, g_pSetupCtrl->CheckInifileFromIni(kScript, L"S"));
}

INSTANTIATE_TEST_SUITE_P(Cases, IniChecks, ::testing::ValuesIn(kChecks),
                         [](const ::testing::TestParamInfo<CheckCase>& i) { return std::string(i.param.name); });

struct WriteCase {
    const char* name;
    std::wstring section;
    int result;
    const wchar_t* key;
    std::wstring stored;
};

const WriteCase kWrites[] = {
    {"Override", L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=New", 1,
     L"Name", L"New"},
    {"Increment",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Count\r\nINI1_VALUE=1\r\nINI1_FLAG=1", 1,
     L"Count", L"42"},
    {"IncrementByNegative",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Count\r\nINI1_VALUE=-50\r\nINI1_FLAG=1", 1,
     L"Count", L"-9"},
    {"Decrement",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Count\r\nINI1_VALUE=2\r\nINI1_FLAG=2", 1,
     L"Count", L"39"},
    {"IncrementText",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Word\r\nINI1_VALUE=5\r\nINI1_FLAG=1", 1,
     L"Word", L"5"},
    {"IncrementMissing",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=None\r\nINI1_VALUE=5\r\nINI1_FLAG=1", 0,
     L"None", L"<none>"},
    {"MissingFile", L"INI=1\r\nINI1_FILE=C:\\Data\\none.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=New", 0,
     L"Name", L"Veltrane"},
    {"UnknownFlag",
     L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=New\r\nINI1_FLAG=7", 1,
     L"Name", L"Veltrane"},
};

class IniWrites : public IniCommands, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWrites, Stored) {
    const WriteCase& c = GetParam();
    Script(c.section);
    EXPECT_EQ(c.result, g_pSetupCtrl->WriteInifileFromIni(kScript, L"S"));
    EXPECT_EQ(c.stored, Read(c.key));
}

INSTANTIATE_TEST_SUITE_P(Cases, IniWrites, ::testing::ValuesIn(kWrites),
                         [](const ::testing::TestParamInfo<WriteCase>& i) { return std::string(i.param.name); });

// A value fetched into the target path names the folder that the next write goes to.
TEST_F(IniCommands, TargetPathCarriesFromCheckToWrite) {
    Put(L"C:\\Data\\where.ini", L"[Dir]\r\nHome=C:\\Data\r\n");
    Put(kScript,
        L"[C]\r\nINI=2\r\nDESTAR=1\r\nINI1_FILE=C:\\Data\\where.ini\r\nINI1_SECTION=Dir\r\nINI1_KEY=Home\r\n"
        L"INI2_FILE=C:\\Data\\none.ini\r\n"
        L"[W]\r\nINI=1\r\nDESTAR=1\r\nINI1_FILE=app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=Moved\r\n");
    ASSERT_EQ(1, g_pSetupCtrl->CheckInifileFromIni(kScript, L"C"));
    EXPECT_STREQ(L"C:\\Data", g_pSetupEnv->GetTargetPath());
    EXPECT_EQ(1, g_pSetupCtrl->WriteInifileFromIni(kScript, L"W"));
    EXPECT_EQ(L"Moved", Read(L"Name"));
}

// An entry without a section or a key fails and leaves the file as it was.
TEST_F(IniCommands, MissingSectionOrKeyFailsWritingNothing) {
    std::string before = winsim::files::ReadBytes(machine(), kData).value_or("");
    for (const wchar_t* entry : {L"INI1_KEY=Name\r\nINI1_VALUE=New", L"INI1_SECTION=App\r\nINI1_VALUE=New",
                                 L"INI1_SECTION=App\r\nINI1_VALUE=1\r\nINI1_FLAG=1"}) {
        Script(std::wstring(L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\n") + entry);
        EXPECT_EQ(0, g_pSetupCtrl->WriteInifileFromIni(kScript, L"S")) << winsim::Utf8(entry);
        EXPECT_EQ(before, winsim::files::ReadBytes(machine(), kData).value_or("")) << winsim::Utf8(entry);
    }
}

// A read-only file is not written, and the command says so.
TEST_F(IniCommands, FailedWriteFails) {
    SetFileAttributesW(kData, FILE_ATTRIBUTE_READONLY);
    Script(L"INI=1\r\nINI1_FILE=C:\\Data\\app.ini\r\nINI1_SECTION=App\r\nINI1_KEY=Name\r\nINI1_VALUE=New");
    EXPECT_EQ(0, g_pSetupCtrl->WriteInifileFromIni(kScript, L"S"));
    EXPECT_TRUE(Logged(L"CSetupCtrl::WriteInifileFromIni:End FALSE"));
    EXPECT_EQ(L"Veltrane", Read(L"Name"));
}

}  // namespace
