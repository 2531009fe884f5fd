// Registry checks and copies through their table rows, and the x64 build's ".WOW32"
// suffix end to end: the check reads the 32-bit view for that command alone.
#include "engine_fixture.h"
#include "unit_fixture.h"

#include <string>

namespace {

class RegistryCommandTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Reg.ini";

    void Start(const std::wstring& lines) {
        std::wstring text = L"[S]\r\n" + lines;
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, bytes));
        if (!g_pSetupCtrl) Create();
        g_pSetupEnv->SetScriptPath(kScript);
    }
    unsigned Run(const wchar_t* keyword, int* pQuit = nullptr) {
        const SetupCommand* row = FindSetupCommand(keyword);
        EXPECT_NE(nullptr, row);
        if (!row) return 0xFFFFFFFF;
        int quit = 0;
        unsigned r = row->pfnHandler(L"", L"S", &quit, 0);
        if (pQuit) *pQuit = quit;
        return r;
    }
};

struct CheckCase {
    const char* name;
    const wchar_t* keyword;
    const wchar_t* lines;
    unsigned code;
    const wchar_t* target;  // the target path afterwards
};

const CheckCase kChecks[] = {
    {"TextIgnoresCase", L"CHECK_REGISTRY",
     L"REG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Name\r\nREG1_VALUE=tablet one\r\n", 0, L""},
    {"TextDiffers", L"CHECK_REGISTRY",
     L"REG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Name\r\nREG1_VALUE=tablet two\r\n", 43, L""},
    {"NumberIsNumeric", L"CHECK_REGISTRY",
     L"REG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Mode\r\nREG1_TYPE=1\r\nREG1_VALUE=0x10\r\n", 0, L""},
    {"UnknownRootKeepsThePrevious", L"CHECK_REGISTRY",
     L"REG=2\r\nREG1_ROOT=1\r\nREG1_KEY=Software\\Vq\r\nREG1_ENTRY=User\r\nREG1_VALUE=me\r\n"
     L"REG2_ROOT=7\r\nREG2_KEY=Software\\Vq\r\nREG2_ENTRY=User\r\nREG2_VALUE=me\r\n",
     0, L""},
    {"DestarStoresAfterAFailure", L"CHECK_REGISTRY",
     L"DESTAR=1\r\nREG=3\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Missing\r\nREG2_KEY=SOFTWARE\\Vq\r\n"
     L"REG2_ENTRY=Path\r\nREG3_KEY=SOFTWARE\\Vq\r\nREG3_ENTRY=Name\r\n",
     43, L"C:\\Tools\\a.ini"},
    {"ShowAlwaysPasses", L"SHOW_REGDATA", L"REG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Missing\r\n", 0, L""},
    {"AnyKey", L"CHECK_REGKEY", L"CMPCODE=|\r\nREG=2\r\nREG1_KEY=SOFTWARE\\None\r\nREG2_KEY=SOFTWARE\\Vq\r\n", 0, L""},
    {"AllKeys", L"CHECK_REGKEY", L"REG=2\r\nREG1_KEY=SOFTWARE\\None\r\nREG2_KEY=SOFTWARE\\Vq\r\n", 69, L""},
    {"NoEntries", L"CHECK_REGKEY", L"REG=0\r\n", 0, L""},
};

class RegistryChecks : public RegistryCommandTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(RegistryChecks, ResultQuitAndTarget) {
    const CheckCase& c = GetParam();
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\Vq", L"Name", L"TABLET ONE");
    r.SetString(L"HKLM\\SOFTWARE\\Vq", L"Path", L"C:\\Tools\\a.ini");
    r.SetDword(L"HKLM\\SOFTWARE\\Vq", L"Mode", 16);
    r.SetString(L"HKCU\\Software\\Vq", L"User", L"me");
    Start(c.lines);
    int quit = 0;
    EXPECT_EQ(c.code, Run(c.keyword, &quit));
    EXPECT_EQ(c.code != 0, quit != 0);
    EXPECT_EQ(std::wstring(c.target), g_pSetupEnv->GetTargetPath());
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryChecks, ::testing::ValuesIn(kChecks),
                         [](const ::testing::TestParamInfo<CheckCase>& i) { return std::string(i.param.name); });

// The search: sub keys before the key's own values, REG_SZ only, exact text; the edits of
// REG%d_SECTION land on the key found, under the root searched.
struct FindCase {
    const char* name;
    const wchar_t* lines;
    unsigned code;
    const wchar_t* edited;  // the key that got Done=yes (nullptr: none did)
};

#define FIND1(root, key, value) \
    L"REG=1\r\nREG1_"           \
    L"ROOT=" root L"\r\nREG1_KEY=" key L"\r\nREG1_NAME=Id\r\nREG1_VALUE=" value L"\r\nREG1_SECTION=E\r\n"

const FindCase kFinds[] = {
    {"DeepestMatchFirst", FIND1(L"2", L"SOFTWARE\\Vq\\Net", L"wanted"), 0, L"HKLM\\SOFTWARE\\Vq\\Net\\B\\C"},
    {"TextIsExact", FIND1(L"2", L"SOFTWARE\\Vq\\Net", L"WANTED"), 92, nullptr},
    {"ExpandTextIsNotText", FIND1(L"2", L"SOFTWARE\\Vq\\Net", L"expand"), 92, nullptr},
    {"UserRoot", FIND1(L"1", L"Software\\Vq", L"wanted"), 0, L"HKCU\\Software\\Vq\\Mine"},
    {"CurrentConfigRoot", FIND1(L"4", L"Software\\Vq", L"wanted"), 0,
     L"HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Vq\\Cfg"},
    {"AnyOfTwo",
     L"CMPCODE=|\r\nREG=2\r\nREG1_KEY=SOFTWARE\\None\r\nREG1_NAME=Id\r\nREG1_VALUE=wanted\r\n"
     L"REG2_KEY=SOFTWARE\\Vq\\Net\\A\r\nREG2_NAME=Id\r\nREG2_VALUE=other\r\nREG2_SECTION=E\r\n",
     0, L"HKLM\\SOFTWARE\\Vq\\Net\\A"},
};

class FindRegistry : public RegistryCommandTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindRegistry, EditsTheKeyFound) {
    const FindCase& c = GetParam();
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\Vq\\Net", L"Id", L"wanted");
    r.SetString(L"HKLM\\SOFTWARE\\Vq\\Net\\A", L"Id", L"other");
    r.SetExpandString(L"HKLM\\SOFTWARE\\Vq\\Net\\A", L"Id2", L"expand");
    r.SetExpandString(L"HKLM\\SOFTWARE\\Vq\\Net\\B", L"Id", L"expand");
    r.SetString(L"HKLM\\SOFTWARE\\Vq\\Net\\B\\C", L"Id", L"wanted");
    r.SetString(L"HKCU\\Software\\Vq\\Mine", L"Id", L"wanted");
    r.SetString(L"HKCC\\Software\\Vq\\Cfg", L"Id", L"wanted");
    // The edit names another root and key: the key found and its root win.
    Start(std::wstring(c.lines) +
          L"[E]\r\nADDREG=1\r\nADDREG1_ROOT=HKCR\r\nADDREG1_SUBKEY=Other\\Key\r\nADDREG1_ENTRYNAME=Done\r\n"
          L"ADDREG1_VALUE=yes\r\n");
    int quit = 0;
    EXPECT_EQ(c.code, Run(L"CHECK_FINDREG", &quit));
    EXPECT_EQ(c.code != 0, quit != 0);
    if (c.edited) {
        EXPECT_EQ(L"yes", r.GetString(c.edited, L"Done").value_or(L"-"));
    }
    EXPECT_FALSE(r.KeyExists(L"HKCR\\Other"));
    EXPECT_EQ(c.edited ? 1u : 0u, [&] {
        unsigned n = 0;
        for (const wchar_t* k :
             {L"HKLM\\SOFTWARE\\Vq\\Net", L"HKLM\\SOFTWARE\\Vq\\Net\\A", L"HKLM\\SOFTWARE\\Vq\\Net\\B",
              L"HKLM\\SOFTWARE\\Vq\\Net\\B\\C", L"HKCU\\Software\\Vq\\Mine", L"HKCC\\Software\\Vq\\Cfg"})
            n += r.GetValue(k, L"Done") ? 1 : 0;
        return n;
    }());
}

INSTANTIATE_TEST_SUITE_P(Cases, FindRegistry, ::testing::ValuesIn(kFinds),
                         [](const ::testing::TestParamInfo<FindCase>& i) { return std::string(i.param.name); });

TEST_F(RegistryCommandTest, CopyTakesWholeTreesAcrossHives) {
    winsim::Registry r(machine());
    for (int i = 0; i < 300; ++i) r.SetDword(L"HKLM\\SOFTWARE\\Src", L"V" + std::to_wstring(i), i);
    r.SetString(L"HKLM\\SOFTWARE\\Src", L"Big", std::wstring(5000, L'b'));
    // Deeper than a 260-character path.
    std::wstring deep = L"SOFTWARE\\Src";
    for (int i = 0; i < 30; ++i) deep += L"\\Level" + std::to_wstring(i);
    r.SetString(L"HKLM\\" + deep, L"Leaf", L"end");
    Start(L"REG=1\r\nREG1_SRC=SOFTWARE\\Src\r\nREG1_DEST=Software\\Copy\r\nREG1_ROOTDEST=hkcu\r\n");
    EXPECT_EQ(0u, Run(L"COPY_REGISTRIES"));
    EXPECT_EQ(299u, r.GetDword(L"HKCU\\Software\\Copy", L"V299").value_or(0));
    EXPECT_EQ(5000u, r.GetString(L"HKCU\\Software\\Copy", L"Big").value_or(L"").size());
    std::wstring copied = L"HKCU\\Software\\Copy" + deep.substr(12);
    EXPECT_EQ(L"end", r.GetString(copied, L"Leaf").value_or(L""));

    // Into its own tree, from nowhere, or from an empty path: failures.
    for (const wchar_t* lines : {L"REG=1\r\nREG1_SRC=SOFTWARE\\Src\r\nREG1_DEST=software\\src\\Inner\r\n",
                                 L"REG=1\r\nREG1_SRC=SOFTWARE\\None\r\nREG1_DEST=SOFTWARE\\X\r\n",
                                 L"REG=1\r\nREG1_SRC=\r\nREG1_DEST=SOFTWARE\\X\r\n"}) {
        Start(lines);
        int quit = 0;
        EXPECT_EQ(38u, Run(L"COPY_REGISTRIES", &quit)) << winsim::Utf8(lines);
        EXPECT_EQ(0, quit);
    }
    EXPECT_FALSE(r.KeyExists(L"HKLM\\SOFTWARE\\Src\\Inner"));
    EXPECT_FALSE(r.KeyExists(L"HKLM\\SOFTWARE\\X"));
}

// The whole program: a value present in both views with different data.
class Wow32EndToEnd : public EngineTest {};

TEST_F(Wow32EndToEnd, SuffixReadsThe32BitViewForThatCommand) {
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\Vq", L"Bits", L"64");
    r.SetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Vq", L"Bits", L"32");
    r.SetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Only32", L"X", L"1");
    WriteScript(
        L"[INIT]\r\nCMD1=CHECK_REGISTRY.WOW32\r\nCMD1_SECTION=R32\r\nCMD2=CHECK_REGISTRY\r\nCMD2_SECTION=R64\r\n"
        L"CMD3=CHECK_REGKEY.WOW32\r\nCMD3_SECTION=K32\r\nCMD4=CHECK_REGISTRY\r\nCMD4_SECTION=R32\r\n"
        L"[R32]\r\nREG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Bits\r\nREG1_VALUE=32\r\n"
        L"[R64]\r\nREG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_ENTRY=Bits\r\nREG1_VALUE=64\r\n"
        L"[K32]\r\nREG=1\r\nREG1_KEY=SOFTWARE\\Only32\r\n");
    SetupRun run = Run(L"/s");
    EXPECT_TRUE(
        run.Logged(L"CSetupCtrl::CheckRegistryFromIni Matching reg1 Key=SOFTWARE\\Vq Entry=Bits Value=32 "
                   L"RegValue=32 "));
    EXPECT_TRUE(
        run.Logged(L"CSetupCtrl::CheckRegistryFromIni Matching reg1 Key=SOFTWARE\\Vq Entry=Bits Value=64 "
                   L"RegValue=64 "));
    EXPECT_TRUE(run.Logged(L"CSetupCtrl::CheckRegistryKeyFromIni Found reg1 key=SOFTWARE\\Only32"));
    // Without the suffix the fourth reads the 64-bit view and fails.
    EXPECT_TRUE(
        run.Logged(L"CSetupCtrl::CheckRegistryFromIni Unmatch reg1 Key=SOFTWARE\\Vq Entry=Bits Value=32 "
                   L"RegValue=64 "));
    EXPECT_EQ(0x8, run.code);
}

TEST_F(Wow32EndToEnd, FindRegSearchesAndEditsThe32BitView) {
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\Vq\\Dev", L"Id", L"64");
    r.SetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\Dev", L"Id", L"32");
    WriteScript(
        L"[INIT]\r\nCMD1=CHECK_FINDREG.WOW32\r\nCMD1_SECTION=F\r\n"
        L"[F]\r\nREG=1\r\nREG1_KEY=SOFTWARE\\Vq\r\nREG1_NAME=Id\r\nREG1_VALUE=32\r\nREG1_SECTION=E\r\n"
        L"[E]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_ENTRYNAME=Done\r\nADDREG1_VALUE=yes\r\n");
    EXPECT_EQ(0, Run(L"/s").code);
    EXPECT_EQ(L"yes", r.GetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\Dev", L"Done").value_or(L"-"));
    EXPECT_FALSE(r.GetValue(L"HKLM\\SOFTWARE\\Vq\\Dev", L"Done"));
}

}  // namespace
