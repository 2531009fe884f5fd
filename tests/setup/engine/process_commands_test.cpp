// Programs started by the script, run as processes of the machine: the path passed whole
// whatever blanks it holds, the setup program's arguments handed on, exit codes (75 ends
// the run), working folders, language variants of a section, and uninstall commands from
// either key and either registry view.
#include "engine_fixture.h"
#include "unit_fixture.h"
#include "winsim/osinfo.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

struct Start {
    std::wstring program;
    std::vector<std::wstring> args;
    std::wstring folder;
};

std::mutex g_mutex;
std::vector<Start> g_starts;

// A program that records how it was started and exits with the number after "exit=".
int Record(const wchar_t* program, int argc, wchar_t** argv) {
    Start s;
    s.program = program;
    for (int i = 1; i < argc; ++i) s.args.push_back(argv[i]);
    WCHAR folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    s.folder = folder;
    int code = 0;
    for (const auto& a : s.args)
        if (a.rfind(L"exit=", 0) == 0) code = std::stoi(a.substr(5));
    std::lock_guard<std::mutex> g(g_mutex);
    g_starts.push_back(s);
    return code;
}
int ToolMain(int argc, wchar_t** argv) { return Record(L"tool", argc, argv); }
int DecoyMain(int argc, wchar_t** argv) { return Record(L"decoy", argc, argv); }
int UninstMain(int argc, wchar_t** argv) { return Record(L"uninst", argc, argv); }

class ProcessCommandTest : public EngineTest {
protected:
    static constexpr const wchar_t* kTool = L"C:\\Program Files\\Quarven\\Setup\\bin\\my tool.exe";
    static constexpr const wchar_t* kUninst = L"C:\\Program Files\\Vendor App\\uninst.exe";

    ProcessCommandTest() {
        for (auto p : {std::make_pair(L"vqtool.exe", &ToolMain), std::make_pair(L"vqdecoy.exe", &DecoyMain),
                       std::make_pair(L"vquninst.exe", &UninstMain)}) {
            winsim::ProgramInfo info;
            info.file_name = p.first;
            info.wmain = p.second;
            winsim::RegisterProgram(info);
        }
        winsim::files::CreateFolders(machine(), L"C:\\Program Files\\Quarven\\Setup\\bin");
        winsim::files::CreateFolders(machine(), L"C:\\Program Files\\Vendor App");
        winsim::files::CreateFolders(machine(), L"C:\\Work");
        winsim::InstallProgramImage(machine(), kTool, L"vqtool.exe");
        winsim::InstallProgramImage(machine(), kUninst, L"vquninst.exe");
        std::lock_guard<std::mutex> g(g_mutex);
        g_starts.clear();
    }
    ~ProcessCommandTest() override {
        for (const wchar_t* n : {L"vqtool.exe", L"vqdecoy.exe", L"vquninst.exe"}) winsim::UnregisterProgram(n);
    }
    // Lets programs started without a wait run to their end.
    void Settle() {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        Sleep(1000);
    }
    std::vector<Start> Starts() {
        std::lock_guard<std::mutex> g(g_mutex);
        return g_starts;
    }
};

struct CpCase {
    const char* name;
    const wchar_t* section;  // the lines of [P]
    const wchar_t* args;     // Setup's own arguments
    int code;                // Setup's exit code
    std::vector<std::wstring> tool_args;
    const wchar_t* folder;
};

const CpCase kCpCases[] = {
    // A missing program is passed over: no wait, no failure.
    {"MissingFirstStillRunsTheSecond",
     L"CMD=2\r\nCMD1=bin\\none.exe\r\nCMD2=bin\\my tool.exe\r\nCMD_LONGFLAG=1\r\n",
     L"/s",
     0,
     {L"/s"},
     L"C:\\Program Files\\Quarven\\Setup"},
    {"ExitCodeIsTheResult",
     L"CMD=1\r\nCMD1=bin\\my tool.exe\r\nCMD_LONGFLAG=1\r\nCMD_RETURNCODE=1\r\n",
     L"exit=3",
     0x1,
     {L"exit=3"},
     L"C:\\Program Files\\Quarven\\Setup"},
    {"ExitCode75EndsTheRun",
     L"CMD=1\r\nCMD1=bin\\my tool.exe\r\nCMD_LONGFLAG=1\r\nCMD_RETURNCODE=1\r\n",
     L"exit=75",
     75,
     {L"exit=75"},
     L"C:\\Program Files\\Quarven\\Setup"},
    {"AsyncGivesNoExitCode",
     L"CMD=1\r\nCMD1=bin\\my tool.exe\r\nCMD_LONGFLAG=1\r\nCMD_RETURNCODE=1\r\nCMD_ASYNCFLAG=1\r\nCMD_SLEEP=-5\r\n",
     L"exit=3",
     0,
     {L"exit=3"},
     L"C:\\Program Files\\Quarven\\Setup"},
    {"WithoutArgsButPlusArg",
     L"CMD=1\r\nCMD1=bin\\my tool.exe\r\nCMD_LONGFLAG=1\r\nCMD_WITHOUTARGS=1\r\nCMD_PLUSARG=-q\r\nCMD_CDFLAG=1\r\n",
     L"/s",
     0,
     {L"-q"},
     L"C:\\Program Files\\Quarven\\Setup\\bin"},
    {"PlusArgOnlyWithItsKey",
     L"CMD=1\r\nCMD1=bin\\my tool.exe\r\nCMD_LONGFLAG=1\r\nCMD_PLUSARGKEY=/S\r\nCMD_PLUSARG=-q\r\n"
     L"CMD_CDFLAG=2\r\nCMD_CDPATH=C:\\Work\r\n",
     L"/s",
     0,
     {L"/s"},
     L"C:\\Work"},
    {"ShortFolderJoin", L"CMD=1\r\nCMD1=bin\\my tool.exe\r\n", L"", 0, {}, L"C:\\Program Files\\Quarven\\Setup"},
};

class CmdCp : public ProcessCommandTest, public ::testing::WithParamInterface<CpCase> {
protected:
    CmdCp() {
        // What the path would start were it passed unquoted.
        winsim::InstallProgramImage(machine(), L"C:\\Program Files\\Quarven\\Setup\\bin\\my.exe", L"vqdecoy.exe");
        winsim::InstallProgramImage(machine(), L"C:\\Program.exe", L"vqdecoy.exe");
    }
};

TEST_P(CmdCp, RunsTheWholePath) {
    const CpCase& c = GetParam();
    WriteScript(
        std::wstring(L"[INIT]\r\nCMD1=CMD_CP\r\nCMD1_SECTION=P\r\nCMD2=CMD_CP\r\nCMD2_SECTION=AFTER\r\n[P]\r\n") +
        c.section + L"[AFTER]\r\nCMD=0\r\n");
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    Settle();
    auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"tool", starts[0].program);
    EXPECT_EQ(c.tool_args, starts[0].args);
    EXPECT_EQ(std::wstring(c.folder), starts[0].folder);
}

INSTANTIATE_TEST_SUITE_P(Cases, CmdCp, ::testing::ValuesIn(kCpCases),
                         [](const ::testing::TestParamInfo<CpCase>& i) { return std::string(i.param.name); });

TEST_F(ProcessCommandTest, LanguageVariantOfTheSection) {
    WriteScript(
        L"[INIT]\r\nCMD1=CMD_UILANG\r\nCMD1_SECTION=P\r\n[P]\r\nCMD=0\r\n"
        L"[P_0409]\r\nCMD=1\r\nCMD1=bin\\my tool.exe\r\nCMD_WITHOUTARGS=1\r\nCMD_PLUSARG=us\r\n");
    EXPECT_EQ(0, Run(L"").code);
    auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(std::vector<std::wstring>{L"us"}, starts[0].args);
}

struct UninstCase {
    const char* name;
    const wchar_t* key;  // under HKLM
    const wchar_t* command;
    const wchar_t* keyword;
    int code;
    std::vector<std::wstring> args;  // of the uninstaller; empty: it did not run
};

const UninstCase kUninstCases[] = {
    {"UnquotedWithBlanks",
     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App",
     L"C:\\Program Files\\Vendor App\\uninst.exe -runfromtemp -x",
     L"UNINST_APPS",
     0,
     // The C runtime splits the unquoted path as it does on Windows.
     {L"Files\\Vendor", L"App\\uninst.exe", L"-x", L"-silent"}},
    {"InstallShieldKey",
     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InstallShield_App",
     L"\"C:\\Program Files\\Vendor App\\uninst.exe\"",
     L"UNINST_APPS",
     0,
     {L"-silent"}},
    {"ThirtyTwoBitViewWithSuffix",
     L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App",
     L"\"C:\\Program Files\\Vendor App\\uninst.exe\"",
     L"UNINST_APPS.WOW32",
     0,
     {L"-silent"}},
    {"ThirtyTwoBitViewNotReadWithout",
     L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App",
     L"\"C:\\Program Files\\Vendor App\\uninst.exe\"",
     L"UNINST_APPS",
     0,
     {}},
    {"FoundButNotStartable",
     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App",
     L"C:\\Missing\\gone.exe",
     L"UNINST_APPS",
     0x1,
     {}},
};

class UninstApps : public ProcessCommandTest, public ::testing::WithParamInterface<UninstCase> {};

TEST_P(UninstApps, CommandFromTheRegistry) {
    const UninstCase& c = GetParam();
    winsim::Registry(machine()).SetString(std::wstring(L"HKLM\\") + c.key, L"UninstallString", c.command);
    WriteScript(std::wstring(L"[INIT]\r\nCMD1=") + c.keyword +
                L"\r\nCMD1_SECTION=U\r\n[U]\r\nAPP=2\r\nAPP1=Nowhere\r\nAPP2=App\r\nAPP2_OPTION=-silent\r\n");
    EXPECT_EQ(c.code, Run(L"").code);
    auto starts = Starts();
    if (c.args.empty()) {
        EXPECT_TRUE(starts.empty());
        return;
    }
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"uninst", starts[0].program);
    EXPECT_EQ(c.args, starts[0].args);
    EXPECT_EQ(L"C:\\Program Files\\Quarven\\Setup", starts[0].folder);
}

INSTANTIATE_TEST_SUITE_P(Cases, UninstApps, ::testing::ValuesIn(kUninstCases),
                         [](const ::testing::TestParamInfo<UninstCase>& i) { return std::string(i.param.name); });

struct TprocessCase {
    const char* name;
    const wchar_t* section;
    int code;
    bool helpers_end;  // both processes named helper.exe end
};

// The last name decides; a name that runs nowhere (603) fails like any other.
const TprocessCase kTprocessCases[] = {
    {"EveryProcessOfTheName", L"TPROCESS=2\r\nPROCESS1=absent.exe\r\nPROCESS2=HELPER.exe\r\n", 0, true},
    {"NotRunningFails", L"TPROCESS=2\r\nPROCESS1=HELPER.exe\r\nPROCESS2=absent.exe\r\n", 0x1, true},
    {"UnreadableNamesAreNeverTaken", L"TPROCESS=1\r\nPROCESS1=Unknown\r\n", 0x1, false},
    {"EmptyNameBeforeAnEndedOne", L"TPROCESS=2\r\nPROCESS1=\r\nPROCESS2=helper.exe\r\n", 0, true},
    {"NothingToDo", L"TPROCESS=0\r\n", 0, false},
};

class Tprocess : public ProcessCommandTest, public ::testing::WithParamInterface<TprocessCase> {};

TEST_P(Tprocess, EndsByName) {
    const TprocessCase& c = GetParam();
    winsim::ProcessOptions o;
    o.image = L"C:\\Tools\\helper.exe";
    auto first = machine().CreateProcess(o);
    o.image = L"C:\\Other\\Helper.EXE";
    auto second = machine().CreateProcess(o);
    // A protected process of the same name: its name cannot be read.
    auto guarded = machine().CreateProcess(o);
    guarded->protected_process = true;
    WriteScript(std::wstring(L"[INIT]\r\nCMD1=TPROCESS\r\nCMD1_SECTION=T\r\n[T]\r\n") + c.section);
    EXPECT_EQ(c.code, Run(L"").code);
    EXPECT_EQ(c.helpers_end, first->ended);
    EXPECT_EQ(c.helpers_end, second->ended);
    EXPECT_FALSE(guarded->ended);
}

INSTANTIATE_TEST_SUITE_P(Cases, Tprocess, ::testing::ValuesIn(kTprocessCases),
                         [](const ::testing::TestParamInfo<TprocessCase>& i) { return std::string(i.param.name); });

// The platform check before the process list: a version that cannot be read, or a
// platform that is neither NT nor 9x, has its own code.
class TerminateByName : public EngineUnitTest {};

TEST_F(TerminateByName, CodesOfThePlatformCheck) {
    struct {
        DWORD failure, platform;
        unsigned code;
    } const cases[] = {{ERROR_ACCESS_DENIED, 2, 606}, {0, 0, 607}, {0, 1, 603}, {0, 2, 603}};
    Create();
    for (const auto& c : cases) {
        winsim::os::Version v;
        v.platform = c.platform;
        winsim::os::SetVersion(machine(), v);
        winsim::os::SetVersionFailure(machine(), c.failure);
        EXPECT_EQ(c.code, g_pSetupCtrl->TerminateProcessByName(L"absent.exe")) << c.failure << " " << c.platform;
    }
}

// CMD_SH opens through the shell: a program directly, a document by its association; what
// cannot be opened is logged and passed over.
TEST_F(ProcessCommandTest, ShellOpensProgramsAndDocuments) {
    winsim::files::CreateFolders(machine(), L"C:\\Docs");
    PutFile(L"C:\\Docs\\notes.vqn", "n");
    winsim::Registry r(machine());
    r.SetString(L"HKLM\\SOFTWARE\\Classes\\.vqn", L"", L"vqnfile");
    r.SetString(L"HKLM\\SOFTWARE\\Classes\\vqnfile\\shell\\open\\command", L"",
                std::wstring(L"\"") + kTool + L"\" \"%1\"");
    WriteScript(
        L"[INIT]\r\nCMD1=CMD_SH\r\nCMD1_SECTION=H\r\n[H]\r\nSHL=3\r\nSHL1=C:\\Docs\\notes.vqn\r\n"
        L"SHL2=C:\\Docs\\missing.vqn\r\nSHL3=%ExecuteDir%\\bin\\my tool.exe\r\n");
    EXPECT_EQ(0, Run(L"/s").code);
    Settle();
    auto starts = Starts();
    ASSERT_EQ(2u, starts.size());
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\Docs\\notes.vqn"}, starts[0].args);
    EXPECT_TRUE(starts[1].args.empty());
}

}  // namespace
