// The service program's command line: which switch runs, and install, reinstall and
// uninstall as the Service Control Manager and its registry see them.
#include <windows.h>

#include "SvcGlobals.h"
#include "SvcMain.h"
#include "sim_fixture.h"
#include "winsim/registry.h"
#include "winsim/scm.h"

#include <string>
#include <vector>

namespace {

const wchar_t* kProgram = L"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe";
const wchar_t* kKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\RVQXSVC";

struct SwitchCase {
    std::vector<std::wstring> args;  // after the program name
    SvcSwitch expected;
};

const SwitchCase kSwitchCases[] = {
    {{}, SVC_SWITCH_NONE},
    {{L"-InstallService"}, SVC_SWITCH_INSTALL_SERVICE},
    {{L"/installservice"}, SVC_SWITCH_INSTALL_SERVICE},
    {{L"INSTALLSERVICE"}, SVC_SWITCH_NONE},  // the bare word is no switch
    {{L"install"}, SVC_SWITCH_NONE},
    {{L"-Install"}, SVC_SWITCH_NONE},  // the whole name, not a prefix
    {{L"-InstallServiceX"}, SVC_SWITCH_NONE},
    {{L"--InstallService"}, SVC_SWITCH_NONE},
    {{L"/UninstallService"}, SVC_SWITCH_UNINSTALL_SERVICE},
    {{L"-service"}, SVC_SWITCH_SERVICE},
    {{L"/InstallEnabler"}, SVC_SWITCH_INSTALL_ENABLER},
    {{L"-ENABLER"}, SVC_SWITCH_ENABLER},
    // The list's order decides, not the arguments'.
    {{L"-Enabler", L"-InstallService"}, SVC_SWITCH_INSTALL_SERVICE},
    {{L"-Enabler", L"-Service"}, SVC_SWITCH_SERVICE},
    {{L"extra", L"/UninstallService", L"-InstallEnabler"}, SVC_SWITCH_UNINSTALL_SERVICE},
};

TEST(SvcSwitches, FirstSwitchOfTheListThatIsPresent) {
    for (const auto& c : kSwitchCases) {
        std::vector<std::wstring> args{kProgram};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::vector<wchar_t*> argv;
        std::wstring shown;
        for (auto& a : args) argv.push_back(&a[0]), shown += a + L" ";
        EXPECT_EQ(c.expected, SvcFindSwitch(static_cast<int>(argv.size()), argv.data())) << winsim::Utf8(shown);
    }
}

// The program's entry run on the test thread, as the process of the installed program.
class SvcCmdLine : public SimTest {
protected:
    SvcCmdLine() : SimTest("tablet", kProgram) { g_bNoPostureCtrl = FALSE; }
    ~SvcCmdLine() override {
        SvcResetState();
        g_bNoPostureCtrl = FALSE;
    }
    int Run(std::vector<std::wstring> args) {
        args.insert(args.begin(), kProgram);
        std::vector<wchar_t*> argv;
        for (auto& a : args) argv.push_back(&a[0]);
        return RvqxSvcMain(static_cast<int>(argv.size()), argv.data());
    }
    winsim::Registry reg() { return winsim::Registry(machine()); }
};

TEST_F(SvcCmdLine, InstallServiceWritesTheFullForm) {
    EXPECT_EQ(0, Run({L"/installservice"}));
    auto c = winsim::scm::Config(machine(), L"RVQXSVC");
    ASSERT_TRUE(c);
    EXPECT_EQ(L"RVQXSVC", c->name);
    EXPECT_EQ(L"\"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe\" /Service", c->image_path);
    EXPECT_EQ(L"Veltrane Utility", c->display_name);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), c->type);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), c->start);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), c->error_control);
    EXPECT_EQ(L"NetworkProvider", c->group);
    EXPECT_EQ(L"This service controls Wireless WAN RF Power", c->description);
    EXPECT_TRUE(c->delayed_autostart);
    EXPECT_EQ(L"LocalSystem", c->account);
    // Installing starts nothing.
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), winsim::scm::Status(machine(), L"RVQXSVC").dwCurrentState);
}

TEST_F(SvcCmdLine, InstallEnablerWritesThePlainFormWithTheProgramPathQuoted) {
    EXPECT_EQ(0, Run({L"-InstallEnabler"}));
    auto c = winsim::scm::Config(machine(), L"RVQXSVC");
    ASSERT_TRUE(c);
    EXPECT_EQ(L"\"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe\" /Enabler", c->image_path);
    EXPECT_EQ(L"Veltrane Utility", c->display_name);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), c->start);
    EXPECT_EQ(L"", c->group);
    EXPECT_EQ(L"", c->description);
    EXPECT_FALSE(c->delayed_autostart);
}

TEST_F(SvcCmdLine, EnablerBeforeInstallServiceOnlyInstalls) {
    EXPECT_EQ(0, Run({L"-Enabler", L"-InstallService"}));
    auto c = winsim::scm::Config(machine(), L"RVQXSVC");
    ASSERT_TRUE(c);
    EXPECT_NE(std::wstring::npos, c->image_path.find(L"/Service"));
    // The dispatcher did not run: "Enabler" would have set the flag.
    EXPECT_FALSE(g_bNoPostureCtrl);
}

TEST_F(SvcCmdLine, ABareWordOrNoSwitchDoesNothing) {
    for (auto args : {std::vector<std::wstring>{}, std::vector<std::wstring>{L"InstallService"}}) {
        EXPECT_EQ(0, Run(args));
        EXPECT_FALSE(winsim::scm::Config(machine(), L"RVQXSVC"));
    }
}

TEST_F(SvcCmdLine, ReinstallFailsAndChangesNothing) {
    Run({L"-InstallService"});
    auto before = reg().ExportReg(kKey);
    EXPECT_EQ(0, Run({L"-InstallService"}));
    EXPECT_EQ(0, Run({L"-InstallEnabler"}));
    EXPECT_EQ(before, reg().ExportReg(kKey));
}

TEST_F(SvcCmdLine, UninstallRemovesTheServiceAndItsKey) {
    Run({L"-InstallService"});
    ASSERT_TRUE(reg().KeyExists(kKey));
    EXPECT_EQ(0, Run({L"-UninstallService"}));
    EXPECT_FALSE(reg().KeyExists(kKey));
    EXPECT_FALSE(winsim::scm::Config(machine(), L"RVQXSVC"));
    // A second uninstall finds nothing and still returns 0; a new install works again.
    EXPECT_EQ(0, Run({L"-UninstallService"}));
    EXPECT_EQ(0, Run({L"-InstallEnabler"}));
    EXPECT_TRUE(reg().KeyExists(kKey));
}

TEST_F(SvcCmdLine, ServiceOutsideTheManagerReturnsAtOnce) {
    for (const wchar_t* sw : {L"-Service", L"-Enabler"}) {
        DWORD t0 = GetTickCount();
        EXPECT_EQ(0, Run({sw}));
        EXPECT_EQ(t0, GetTickCount());
    }
    // The global objects were deleted again.
    EXPECT_EQ(nullptr, g_pDisplayList);
    EXPECT_EQ(nullptr, g_pModuleInfo);
    EXPECT_EQ(nullptr, g_pMBApiCtrl);
}

}  // namespace
