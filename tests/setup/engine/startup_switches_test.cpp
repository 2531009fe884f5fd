// The start of a run: "/encrypt", "/decrypt" and "/runtemp", the decrypted script, the
// single-instance mutex, kernel32, and the start-up keys of [INIT] and [PARAMS].
#include "engine_fixture.h"

#include "winsim/modules.h"
#include "winsim/wmi.h"

#include <algorithm>

namespace {

// A mark of the script (see SetupRun::Matches).
std::wstring Marker(const std::wstring& name) { return name; }

const std::wstring kScript = L"[INIT]\r\nCMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_RAN\r\n";

bool NoTempScriptLeft(const std::vector<std::wstring>& files) {
    for (const auto& f : files)
        if (f.rfind(L"kvb", 0) == 0) return false;
    return true;
}

struct FormCase {
    const char* name;
    std::wstring args;
    bool plain;  // a plain Setup.ini is beside the program
    bool dat;    // an encrypted Setup.dat is beside the program
    int code;
    std::wstring logged;
    std::wstring box;  // the text of the box shown ("" none)
};

const FormCase kFormCases[] = {
    {"Encrypt", L"/encrypt", true, false, 0, L"Encrypt mode completed.", L""},
    {"EncryptCapitalised", L"/Encrypt", true, false, 0, L"Encrypt mode completed.", L""},
    {"EncryptUpperCase", L"/ENCRYPT", true, false, 0, L"Encrypt mode completed.", L""},
    {"EncryptAfterOtherWords", L"/s x/encrypty", true, false, 0, L"Encrypt mode completed.", L""},
    {"EncryptMixedCaseDoesNotCount", L"/EnCrypt", true, false, 46, L"Decrypt ini file Error 1", L""},
    {"EncryptWithDashDoesNotCount", L"-encrypt", true, false, 46, L"Decrypt ini file Error 1", L""},
    {"EncryptWithoutScript", L"/encrypt", false, false, 1, L"Encrypt mode Error 1", L"Encrypt Failed."},
    {"EncryptWinsOverDecrypt", L"/decrypt /encrypt", true, true, 0, L"Encrypt mode completed.", L""},
    {"DecryptEndsWithOne", L"/decrypt", false, true, 1, L"Decrypt mode completed.", L""},
    {"DecryptUpperCase", L"/DECRYPT", false, true, 1, L"Decrypt mode completed.", L""},
    {"DecryptWithoutDat", L"/Decrypt", false, false, 1, L"Decrypt mode Error 1", L"Decrypt Failed."},
    {"NoDat", L"", false, false, 46, L"Decrypt ini file Error 1", L""},
    {"RuntempWithoutDat", L"/runtemp", false, false, 46, L"Decrypt ini file Error 1", L""},
    {"NormalRun", L"", false, true, 0, L"Return Code=0x0", L""},
};

class StartupForms : public EngineTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(StartupForms, ExitCodeLogAndBox) {
    const FormCase& c = GetParam();
    if (c.dat) WriteScript(kScript);
    if (c.plain) WritePlainScript(kScript);
    SetupRun run = Run(c.args);
    EXPECT_EQ(c.code, run.code);
    EXPECT_TRUE(run.Logged(c.logged)) << winsim::Utf8(c.logged);
    std::vector<winsim::msgbox::Record> boxes;
    for (const auto& r : winsim::msgbox::Shown(machine()))
        if (r.pid == run.pid) boxes.push_back(r);
    if (c.box.empty()) {
        EXPECT_TRUE(boxes.empty());
    } else {
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.box, boxes[0].text);
        EXPECT_EQ(L"ERROR", boxes[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes[0].type);
    }
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
    // Only a run that passes the decryption reaches the script.
    EXPECT_EQ(c.logged == L"Return Code=0x0", run.Logged(Marker(L"MARK_RAN")));
    // No restart copy is made before the script is decrypted.
    EXPECT_FALSE(FileExists(TempFolder() + L"zup1868.exe"));
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupForms, ::testing::ValuesIn(kFormCases),
                         [](const ::testing::TestParamInfo<FormCase>& i) { return std::string(i.param.name); });

class Startup : public EngineTest {};

TEST_F(Startup, EncryptThenRunTheNewScript) {
    WritePlainScript(
        L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=P\r\n[P]\r\nPARAM=1\r\nPARAM1=/go\r\n");
    ASSERT_EQ(0, Run(L"/encrypt").code);
    ASSERT_TRUE(FileExists(kDat));
    // The plain script is no longer needed: the run reads the decrypted copy.
    {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        ASSERT_TRUE(DeleteFileW(kIni));
    }
    EXPECT_EQ(0, Run(L"/go").code);
    EXPECT_EQ(77, Run(L"/s").code);
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
}

TEST_F(Startup, DecryptWritesThePlainScript) {
    WriteScript(kScript);
    ASSERT_EQ(1, Run(L"/decrypt").code);
    EXPECT_EQ(Utf16File(kScript), winsim::files::ReadBytes(machine(), kIni).value_or(""));
}

TEST_F(Startup, RestartCopiesProgramAndScriptToTheTemporaryFolder) {
    WriteScript(kScript);
    std::wstring temp = TempFolder();
    PutFile(temp + L"zup1868.exe", "an older copy");
    SetupRun run = Run(L"/runtemp");
    EXPECT_EQ(winsim::files::ReadBytes(machine(), kImage), winsim::files::ReadBytes(machine(), temp + L"zup1868.exe"));
    EXPECT_EQ(winsim::files::ReadBytes(machine(), kDat), winsim::files::ReadBytes(machine(), temp + L"zup1868.dat"));
    // The first run never reaches its own script.
    EXPECT_FALSE(run.Logged(Marker(L"MARK_RAN")));
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
}

TEST_F(Startup, RestartedCopyRunsTheScriptFromTheTemporaryFolder) {
    winsim::RegisterProgram(SetupProgram());
    WriteScript(L"[INIT]\r\nRETURN_CMD=1\r\nCMD1=CHECK_PARAM\r\nCMD1_SECTION=P\r\n[P]\r\nPARAM=0\r\n");
    std::wstring temp = TempFolder();
    std::wstring copy = temp + L"zup1868.exe";
    SetupRun run = Run(L"/runtemp /s");
    EXPECT_EQ(0, run.code);
    EXPECT_TRUE(run.Logged(L"CSetupCtrl::RunMyselfFromTempFolder() CreateProcess Success." + copy));
    std::shared_ptr<winsim::Process> child;
    for (const auto& p : machine().Processes())
        if (p->image_path == copy) child = p;
    ASSERT_TRUE(child);
    // The copy is named as the application and quoted; it runs without arguments, in the
    // temporary folder, and the first program does not wait for it.
    EXPECT_EQ(L"\"" + copy + L"\"", child->command_line);
    EXPECT_EQ(temp.substr(0, temp.size() - 1), child->current_dir.substr(0, temp.size() - 1));
    EXPECT_EQ(77u, WaitForProcess(child->pid));
    winsim::UnregisterProgram(L"Setup.exe");
    std::vector<std::wstring> logs = LogsOf(child->pid, L"zup1868:");
    EXPECT_NE(std::find(logs.begin(), logs.end(), L"CHECK_PARAM:Error did not match param!"), logs.end());
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
}

TEST_F(Startup, RestartFailsWhenTheCopyCannotStart) {
    WriteScript(kScript);
    // No program of the machine answers to the image the copy names.
    SetupRun run = Run(L"/runtemp");
    EXPECT_EQ(91, run.code);
    EXPECT_TRUE(run.LoggedPrefix(L"CSetupCtrl::RunMyselfFromTempFolder() CreateProcess Error "));
}

TEST_F(Startup, RestartFailsWhenTheCopyCannotBeWritten) {
    WriteScript(kScript);
    std::wstring copy = TempFolder() + L"zup1868.exe";
    PutFile(copy, "in use");
    winsim::files::InjectFailure(machine(), copy, winsim::files::kFailOpen, ERROR_SHARING_VIOLATION);
    SetupRun run = Run(L"/runtemp");
    EXPECT_EQ(91, run.code);
    EXPECT_TRUE(run.Logged(L"CSetupCtrl::RunMyselfFromTempFolder() CopyFile() ERROR : " + std::wstring(kImage) + L"->" +
                           copy + L" 32"));
    EXPECT_FALSE(FileExists(TempFolder() + L"zup1868.dat"));
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
}

struct MutexCase {
    const char* name;
    std::wstring held;      // the mutex another process holds
    std::wstring my_mutex;  // [INIT] MY_MUTEX
    int code;
};

const MutexCase kMutexCases[] = {
    {"DefaultNameFree", L"", L"", 0},
    {"SecondInstance", L"QIV_ORVASH_MUTEX_Setup", L"", 1},
    {"ScriptNamedMutexHeld", L"Shared", L"Shared", 1},
    {"ScriptNameReplacesTheDefault", L"QIV_ORVASH_MUTEX_Setup", L"Shared", 0},
};

class Instances : public EngineTest, public ::testing::WithParamInterface<MutexCase> {};

TEST_P(Instances, OneRunPerMutexName) {
    const MutexCase& c = GetParam();
    if (!c.held.empty()) HoldMutex(c.held);
    WriteScript(L"[INIT]\r\n" + (c.my_mutex.empty() ? L"" : L"MY_MUTEX=" + c.my_mutex + L"\r\n") +
                L"CMD1=CMD_SLEEP\r\nCMD1_SECTION=MARK_RAN\r\n");
    SetupRun run = Run();
    EXPECT_EQ(c.code, run.code);
    EXPECT_TRUE(run.Logged(L"MY_MUTEX : " + (c.my_mutex.empty() ? L"QIV_ORVASH_MUTEX_Setup" : c.my_mutex)));
    EXPECT_EQ(c.code == 1, run.Logged(L"Error to avoid execute doubly"));
    EXPECT_EQ(c.code == 0, run.Logged(Marker(L"MARK_RAN")));
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Instances, ::testing::ValuesIn(kMutexCases),
                         [](const ::testing::TestParamInfo<MutexCase>& i) { return std::string(i.param.name); });

TEST_F(Startup, MutexIsFreeAgainAfterTheRun) {
    WriteScript(kScript);
    EXPECT_EQ(0, Run().code);
    EXPECT_EQ(0, Run().code);
}

TEST_F(Startup, MissingKernel32EndsWithTwo) {
    WriteScript(kScript);
    winsim::Modules(machine()).SetLoadFailure(L"kernel32.dll", ERROR_MOD_NOT_FOUND);
    SetupRun run = Run();
    EXPECT_EQ(2, run.code);
    EXPECT_TRUE(run.Logged(L"Not found Kernel32.dll"));
    EXPECT_FALSE(run.Logged(Marker(L"MARK_RAN")));
    EXPECT_TRUE(NoTempScriptLeft(TempFiles()));
}

TEST_F(Startup, ForcedRegionAndProductName) {
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystem",
                              {{{L"OEMStringArray", winsim::wmi::Value::Texts({L"QV201AJX"})}}});
    WriteScript(L"[INIT]\r\nFORCE_REGION=U\r\n[PARAMS]\r\nPRODUCT_NAME=Krellvane Tools\r\n");
    SetupRun run = Run();
    EXPECT_EQ(0, run.code);
    EXPECT_TRUE(run.Logged(L"FORCE REGION MODE!! Version=QV201UJX Region=U"));
    EXPECT_TRUE(run.Logged(L"Get Parameter PRODUCT_NAME=Krellvane Tools "));
}

}  // namespace
