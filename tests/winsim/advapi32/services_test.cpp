// The Service Control Manager: the database in the registry, access rights, start, controls
// and the service's dispatcher.
#include <gtest/gtest.h>
#include <windows.h>

#include "advapi32/services_test_service.h"
#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/osinfo.h"
#include "winsim/registry.h"
#include "winsim/scm.h"

namespace {

const wchar_t* kImage = L"C:\\Program Files\\Test\\testsvc.exe";
const wchar_t* kKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\TestSvc";

class ScmTest : public SimTest {
protected:
    void SetUp() override {
        scmtest::Install(machine(), kImage);
        mgr_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, mgr_);
    }
    void TearDown() override {
        // Stop what still runs, so no service thread outlives the test's machine.
        if (winsim::scm::Status(machine(), L"TestSvc").dwCurrentState == SERVICE_RUNNING) {
            SC_HANDLE s = OpenServiceW(mgr_, L"TestSvc", SERVICE_STOP);
            SERVICE_STATUS st;
            ControlService(s, SERVICE_CONTROL_STOP, &st);
            CloseServiceHandle(s);
        }
        if (DWORD pid = winsim::scm::ProcessId(machine(), L"TestSvc")) {
            HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
            WaitForSingleObject(p, 60000);
            CloseHandle(p);
        }
        CloseServiceHandle(mgr_);
    }
    SC_HANDLE Create(const std::wstring& cmd = L"\"C:\\Program Files\\Test\\testsvc.exe\" /run",
                     DWORD start = SERVICE_DEMAND_START) {
        return CreateServiceW(mgr_, L"TestSvc", L"Test Service", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, start,
                              SERVICE_ERROR_NORMAL, cmd.c_str(), L"NetworkProvider", nullptr, nullptr, nullptr,
                              nullptr);
    }
    DWORD State() { return winsim::scm::Status(machine(), L"TestSvc").dwCurrentState; }
    // Starts the service and waits until it runs.
    SC_HANDLE Running() {
        SC_HANDLE s = Create();
        EXPECT_TRUE(StartServiceW(s, 0, nullptr)) << GetLastError();
        EXPECT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000));
        return s;
    }
    SC_HANDLE mgr_ = nullptr;
};

TEST_F(ScmTest, CreateWritesTheDatabaseInTheRegistry) {
    SC_HANDLE s = Create(L"\"C:\\Program Files\\Test\\testsvc.exe\" /run", SERVICE_AUTO_START);
    ASSERT_NE(nullptr, s);
    SERVICE_DESCRIPTIONW d{const_cast<LPWSTR>(L"Runs tests")};
    EXPECT_TRUE(ChangeServiceConfig2W(s, SERVICE_CONFIG_DESCRIPTION, &d));
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    EXPECT_TRUE(ChangeServiceConfig2W(s, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed));
    winsim::Registry reg(machine());
    EXPECT_EQ(0x10u, reg.GetDword(kKey, L"Type"));
    EXPECT_EQ(2u, reg.GetDword(kKey, L"Start"));
    EXPECT_EQ(1u, reg.GetDword(kKey, L"ErrorControl"));
    EXPECT_EQ(L"\"C:\\Program Files\\Test\\testsvc.exe\" /run", reg.GetString(kKey, L"ImagePath"));
    EXPECT_EQ(REG_EXPAND_SZ, reg.GetValue(kKey, L"ImagePath")->type);
    EXPECT_EQ(L"Test Service", reg.GetString(kKey, L"DisplayName"));
    EXPECT_EQ(L"NetworkProvider", reg.GetString(kKey, L"Group"));
    EXPECT_EQ(L"LocalSystem", reg.GetString(kKey, L"ObjectName"));
    EXPECT_EQ(L"Runs tests", reg.GetString(kKey, L"Description"));
    EXPECT_EQ(1u, reg.GetDword(kKey, L"DelayedAutostart"));
    // An empty description removes it; a null one leaves it.
    SERVICE_DESCRIPTIONW none{nullptr};
    EXPECT_TRUE(ChangeServiceConfig2W(s, SERVICE_CONFIG_DESCRIPTION, &none));
    EXPECT_TRUE(reg.GetString(kKey, L"Description").has_value());
    SERVICE_DESCRIPTIONW empty{const_cast<LPWSTR>(L"")};
    EXPECT_TRUE(ChangeServiceConfig2W(s, SERVICE_CONFIG_DESCRIPTION, &empty));
    EXPECT_FALSE(reg.GetString(kKey, L"Description").has_value());
    EXPECT_FALSE(ChangeServiceConfig2W(s, 99, &d));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
    CloseServiceHandle(s);
}

TEST_F(ScmTest, ChangeConfigKeepsWhatItIsNotGiven) {
    SC_HANDLE s = Create();
    EXPECT_TRUE(ChangeServiceConfigW(s, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr));
    auto c = winsim::scm::Config(machine(), L"testsvc");
    ASSERT_TRUE(c);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), c->start);
    EXPECT_EQ(L"Test Service", c->display_name);
    EXPECT_EQ(L"NetworkProvider", c->group);
    EXPECT_FALSE(StartServiceW(s, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DISABLED), GetLastError());
    // A Win32 service cannot be a boot or system start service.
    EXPECT_FALSE(ChangeServiceConfigW(s, SERVICE_NO_CHANGE, SERVICE_BOOT_START, SERVICE_NO_CHANGE, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    CloseServiceHandle(s);
}

struct ErrorCase {
    const char* what;
    DWORD (*run)(SC_HANDLE mgr);
    DWORD error;
};

DWORD LastErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }
DWORD LastErrorOf(SC_HANDLE h) {
    DWORD e = h ? 0 : GetLastError();
    if (h) CloseServiceHandle(h);
    return e;
}
SC_HANDLE CreateTest(SC_HANDLE mgr, LPCWSTR name) {
    return CreateServiceW(mgr, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                          SERVICE_ERROR_NORMAL, L"C:\\Program Files\\Test\\testsvc.exe", nullptr, nullptr, nullptr,
                          nullptr, nullptr);
}

const ErrorCase kErrors[] = {
    {"open a missing service", [](SC_HANDLE m) { return LastErrorOf(OpenServiceW(m, L"Nope", SERVICE_QUERY_STATUS)); },
     ERROR_SERVICE_DOES_NOT_EXIST},
    {"create twice",
     [](SC_HANDLE m) {
         CloseServiceHandle(CreateTest(m, L"Twice"));
         return LastErrorOf(CreateTest(m, L"twice"));
     },
     ERROR_SERVICE_EXISTS},
    {"create with a backslash", [](SC_HANDLE m) { return LastErrorOf(CreateTest(m, L"a\\b")); }, ERROR_INVALID_NAME},
    {"create under a display name in use",
     [](SC_HANDLE m) {
         CloseServiceHandle(CreateTest(m, L"First"));
         return LastErrorOf(CreateServiceW(m, L"Second", L"First", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, L"x.exe", nullptr, nullptr,
                                           nullptr, nullptr, nullptr));
     },
     ERROR_DUPLICATE_SERVICE_NAME},
    {"create through a connect-only manager handle",
     [](SC_HANDLE) {
         SC_HANDLE c = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
         DWORD e = LastErrorOf(CreateTest(c, L"Denied"));
         CloseServiceHandle(c);
         return e;
     },
     ERROR_ACCESS_DENIED},
    {"start through a query-only handle",
     [](SC_HANDLE m) {
         CloseServiceHandle(CreateTest(m, L"QueryOnly"));
         SC_HANDLE s = OpenServiceW(m, L"QueryOnly", SERVICE_QUERY_STATUS);
         DWORD e = LastErrorOf(StartServiceW(s, 0, nullptr));
         CloseServiceHandle(s);
         return e;
     },
     ERROR_ACCESS_DENIED},
    {"control a stopped service",
     [](SC_HANDLE m) {
         SC_HANDLE s = CreateTest(m, L"Idle");
         SERVICE_STATUS st{};
         DWORD e = LastErrorOf(ControlService(s, 128, &st));
         CloseServiceHandle(s);
         return st.dwCurrentState == SERVICE_STOPPED ? e : 0;
     },
     ERROR_SERVICE_NOT_ACTIVE},
    {"a control code outside the documented ones",
     [](SC_HANDLE m) {
         SC_HANDLE s = CreateTest(m, L"Odd");
         SERVICE_STATUS st{};
         DWORD e = LastErrorOf(ControlService(s, 100, &st));
         CloseServiceHandle(s);
         return e;
     },
     ERROR_INVALID_PARAMETER},
    {"the failed-services database",
     [](SC_HANDLE) { return LastErrorOf(OpenSCManagerW(nullptr, L"ServicesFailed", SC_MANAGER_CONNECT)); },
     ERROR_DATABASE_DOES_NOT_EXIST},
    {"a service handle closed twice",
     [](SC_HANDLE m) {
         SC_HANDLE s = CreateTest(m, L"Closed");
         CloseServiceHandle(s);
         return LastErrorOf(CloseServiceHandle(s));
     },
     ERROR_INVALID_HANDLE},
};

TEST_F(ScmTest, DocumentedErrors) {
    for (const auto& c : kErrors) EXPECT_EQ(c.error, c.run(mgr_)) << c.what;
}

TEST_F(ScmTest, DeleteWhileOpenMarksTheServiceUntilTheLastHandleCloses) {
    SC_HANDLE s = Create();
    SC_HANDLE second = OpenServiceW(mgr_, L"TestSvc", SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, second);
    EXPECT_TRUE(DeleteService(s));
    EXPECT_TRUE(winsim::scm::MarkedForDelete(machine(), L"TestSvc"));
    EXPECT_FALSE(DeleteService(s));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
    EXPECT_EQ(nullptr, Create());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
    EXPECT_FALSE(StartServiceW(s, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
    CloseServiceHandle(s);
    EXPECT_TRUE(winsim::Registry(machine()).KeyExists(kKey));
    CloseServiceHandle(second);
    EXPECT_FALSE(winsim::Registry(machine()).KeyExists(kKey));
    EXPECT_FALSE(winsim::scm::Config(machine(), L"TestSvc"));
}

TEST_F(ScmTest, ARunningServiceMarkedForDeleteGoesWhenItStops) {
    SC_HANDLE s = Running();
    EXPECT_TRUE(DeleteService(s));
    CloseServiceHandle(s);
    EXPECT_TRUE(winsim::Registry(machine()).KeyExists(kKey));
    SC_HANDLE stop = OpenServiceW(mgr_, L"TestSvc", SERVICE_STOP);
    SERVICE_STATUS st{};
    EXPECT_TRUE(ControlService(stop, SERVICE_CONTROL_STOP, &st));
    CloseServiceHandle(stop);
    EXPECT_FALSE(winsim::Registry(machine()).KeyExists(kKey));
}

TEST_F(ScmTest, StartRunsTheImageInSessionZeroWithItsArguments) {
    SC_HANDLE s = Create();
    LPCWSTR args[] = {L"one", L"two"};
    ASSERT_TRUE(StartServiceW(s, 2, args));
    EXPECT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000));
    auto& svc = scmtest::Svc();
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Program Files\\Test\\testsvc.exe", L"/run"}), svc.argv);
    EXPECT_EQ((std::vector<std::wstring>{L"TestSvc", L"one", L"two"}), svc.main_args);
    DWORD pid = winsim::scm::ProcessId(machine(), L"TestSvc");
    auto p = machine().FindProcess(pid);
    ASSERT_TRUE(p);
    EXPECT_EQ(0u, p->session);
    EXPECT_EQ(L"SYSTEM", p->user);
    SERVICE_STATUS_PROCESS sp{};
    DWORD needed = 0;
    EXPECT_TRUE(QueryServiceStatusEx(s, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&sp), sizeof sp, &needed));
    EXPECT_EQ(pid, sp.dwProcessId);
    EXPECT_FALSE(StartServiceW(s, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), GetLastError());
    CloseServiceHandle(s);
}

TEST_F(ScmTest, ControlsReachTheHandlerOnTheDispatcherThread) {
    SC_HANDLE s = Running();
    SERVICE_STATUS st{};
    EXPECT_TRUE(ControlService(s, 128, &st));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), st.dwCurrentState);
    EXPECT_FALSE(ControlService(s, 130, &st));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), st.dwCurrentState);
    EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_INTERROGATE, &st));
    // Pause is not accepted: refused without reaching the handler.
    EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_PAUSE, &st));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());
    EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), st.dwCurrentState);
    std::vector<DWORD> seen;
    for (auto& c : scmtest::Svc().seen) seen.push_back(c.control);
    EXPECT_EQ((std::vector<DWORD>{128, 130, SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_STOP}), seen);
    auto log = winsim::scm::Controls(machine());
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), log[1].result);
    auto tail = winsim::scm::ControlsFrom(machine(), 2);
    ASSERT_EQ(2u, tail.size());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_CONTROL_INTERROGATE), tail[0].control);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_CONTROL_STOP), tail[1].control);
    EXPECT_TRUE(winsim::scm::ControlsFrom(machine(), 9).empty());
    // The dispatcher returned, so the program ended with its entry.
    DWORD pid = 0;
    for (auto& p : machine().Processes())
        if (p->image_path == kImage) pid = p->pid;
    auto p = machine().FindProcess(pid);
    ASSERT_TRUE(p);
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (h) WaitForSingleObject(h, 5000), CloseHandle(h);
    EXPECT_TRUE(p->ended);
    EXPECT_EQ(TRUE, scmtest::Svc().dispatcher_result);
    CloseServiceHandle(s);
}

struct PendingCase {
    const char* what;
    DWORD start_delay, stop_delay;
    DWORD control;  // sent while pending
};

TEST_F(ScmTest, ControlsAreRefusedWhilePending) {
    const PendingCase cases[] = {
        {"start pending, a user code", 3000, 0, 128},
        {"start pending, stop", 3000, 0, SERVICE_CONTROL_STOP},
    };
    for (const auto& c : cases) {
        scmtest::Install(machine(), kImage);
        scmtest::Svc().start_delay_ms = c.start_delay;
        SC_HANDLE s = Create();
        ASSERT_TRUE(StartServiceW(s, 0, nullptr)) << c.what;
        Sleep(100);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), State()) << c.what;
        SERVICE_STATUS st{};
        EXPECT_FALSE(ControlService(s, c.control, &st)) << c.what;
        EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), GetLastError()) << c.what;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), st.dwCurrentState) << c.what;
        EXPECT_TRUE(scmtest::Svc().seen.empty()) << c.what;
        EXPECT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000)) << c.what;
        EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &st)) << c.what;
        EXPECT_TRUE(DeleteService(s));
        CloseServiceHandle(s);
        HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, winsim::scm::ProcessId(machine(), L"TestSvc"));
        if (p) WaitForSingleObject(p, 5000), CloseHandle(p);
    }
}

TEST_F(ScmTest, StopPendingRefusesAControlFromAnotherSender) {
    scmtest::Svc().stop_delay_ms = 2000;
    SC_HANDLE s = Running();
    // A second process sends 129 while the first one's stop is still pending.
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        SC_HANDLE s;
        HANDLE ready;
        BOOL ok;
        DWORD error;
        DWORD state;
    } a{s, ready, FALSE, 0, 0};
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* a = static_cast<Args*>(p);
            Sleep(500);
            SERVICE_STATUS st{};
            a->ok = ControlService(a->s, 129, &st);
            a->error = GetLastError();
            a->state = st.dwCurrentState;
            return 0;
        },
        &a, 0, nullptr);
    SERVICE_STATUS st{};
    EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &st));
    WaitForSingleObject(t, INFINITE);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), a.error);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), a.state);
    CloseHandle(t);
    CloseHandle(ready);
    CloseServiceHandle(s);
}

TEST_F(ScmTest, DispatcherOutsideAStartedServiceFailsAtOnce) {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"TestSvc"), [](DWORD, LPWSTR*) {}}, {nullptr, nullptr}};
    DWORD t0 = GetTickCount();
    EXPECT_FALSE(StartServiceCtrlDispatcherW(table));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT), GetLastError());
    EXPECT_EQ(t0, GetTickCount());
    EXPECT_EQ(nullptr, RegisterServiceCtrlHandlerExW(
                           L"TestSvc", [](DWORD, DWORD, LPVOID, LPVOID) -> DWORD { return 0; }, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_IN_EXE), GetLastError());
}

// An image path is read as a command line is: an unquoted path with blanks runs the first
// program its blank-ended prefixes name, so a program planted higher up runs instead.
struct ImagePathCase {
    const char* what;
    const wchar_t* image_path;
    const wchar_t* planted;  // a second program image, or nullptr
    const wchar_t* runs;     // the image of the service's process
};

TEST_F(ScmTest, ImagePathIsReadAsACommandLine) {
    const ImagePathCase cases[] = {
        {"quoted", L"\"C:\\Program Files\\Test\\testsvc.exe\" /run", L"C:\\Program.exe", kImage},
        {"unquoted with arguments", L"C:\\Program Files\\Test\\testsvc.exe /run", nullptr, kImage},
        {"unquoted alone", L"C:\\Program Files\\Test\\testsvc.exe", nullptr, kImage},
        {"unquoted, a program planted at the first blank", L"C:\\Program Files\\Test\\testsvc.exe /run",
         L"C:\\Program.exe", L"C:\\Program.exe"},
        {"unquoted, a program planted at the second blank", L"C:\\Program Files\\Test Dir\\testsvc.exe",
         L"C:\\Program Files\\Test.exe", L"C:\\Program Files\\Test.exe"},
        {"no extension", L"\"C:\\Program Files\\Test\\testsvc\" /run", nullptr, kImage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.planted) winsim::InstallProgramImage(machine(), c.planted, L"testsvc.exe");
        if (std::wstring(c.image_path).find(L"Test Dir") != std::wstring::npos)
            winsim::InstallProgramImage(machine(), L"C:\\Program Files\\Test Dir\\testsvc.exe", L"testsvc.exe");
        SC_HANDLE s = Create(c.image_path);
        ASSERT_NE(nullptr, s);
        ASSERT_TRUE(StartServiceW(s, 0, nullptr)) << GetLastError();
        ASSERT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000));
        auto p = machine().FindProcess(winsim::scm::ProcessId(machine(), L"TestSvc"));
        ASSERT_TRUE(p);
        EXPECT_TRUE(winsim::IEquals(c.runs, p->image_path)) << winsim::Utf8(p->image_path);
        EXPECT_EQ(std::wstring(c.image_path), p->command_line);
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, p->pid);
        SERVICE_STATUS st;
        EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &st));
        WaitForSingleObject(h, 60000);
        CloseHandle(h);
        EXPECT_TRUE(DeleteService(s));
        CloseServiceHandle(s);
        if (c.planted) {
            EXPECT_TRUE(DeleteFileW(c.planted));
        }
    }
}

TEST_F(ScmTest, DispatchTable) {
    // An entry name that is not the service's: an own-process service still runs the first.
    scmtest::Svc().table = 1;
    SC_HANDLE s = Create();
    ASSERT_TRUE(StartServiceW(s, 0, nullptr));
    ASSERT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000));
    EXPECT_EQ(std::vector<std::wstring>{L"TestSvc"}, scmtest::Svc().main_args);
    SERVICE_STATUS st;
    EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &st));
    ASSERT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_STOPPED, 5000));
    EXPECT_TRUE(DeleteService(s));
    CloseServiceHandle(s);
    // A table whose entry has no main is refused; the service never connects.
    scmtest::Svc().table = 2;
    scmtest::Svc().dispatcher_result = -1;
    s = Create();
    EXPECT_FALSE(StartServiceW(s, 0, nullptr));
    EXPECT_EQ(FALSE, scmtest::Svc().dispatcher_result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), scmtest::Svc().dispatcher_error);
    EXPECT_TRUE(DeleteService(s));
    CloseServiceHandle(s);
}

struct StartFailure {
    const char* what;
    const wchar_t* image_path;
    bool connect;
    DWORD error;
};

TEST_F(ScmTest, StartFailures) {
    winsim::files::WriteBytes(machine(), L"C:\\Program Files\\Test\\text.exe", "just text");
    const StartFailure cases[] = {
        {"the image is missing", L"C:\\Program Files\\Test\\gone.exe /run", true, ERROR_FILE_NOT_FOUND},
        {"the image is no program", L"\"C:\\Program Files\\Test\\text.exe\"", true, ERROR_BAD_EXE_FORMAT},
        {"the program never connects", L"\"C:\\Program Files\\Test\\testsvc.exe\"", false,
         ERROR_SERVICE_REQUEST_TIMEOUT},
    };
    for (const auto& c : cases) {
        scmtest::Svc().connect = c.connect;
        SC_HANDLE s = Create(c.image_path);
        ASSERT_NE(nullptr, s) << c.what;
        EXPECT_FALSE(StartServiceW(s, 0, nullptr)) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), State()) << c.what;
        EXPECT_TRUE(DeleteService(s));
        CloseServiceHandle(s);
    }
}

TEST_F(ScmTest, AKilledServiceProcessReadsAsStopped) {
    SC_HANDLE s = Running();
    HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, winsim::scm::ProcessId(machine(), L"TestSvc"));
    ASSERT_NE(nullptr, p);
    EXPECT_TRUE(TerminateProcess(p, 9));
    CloseHandle(p);
    SERVICE_STATUS st{};
    EXPECT_TRUE(QueryServiceStatus(s, &st));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), st.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROCESS_ABORTED), st.dwWin32ExitCode);
    // It can be started again.
    EXPECT_TRUE(StartServiceW(s, 0, nullptr));
    EXPECT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000));
    CloseServiceHandle(s);
}

TEST_F(ScmTest, AUserWhoIsNoAdministratorMayOnlyQueryAndSendUserCodes) {
    SC_HANDLE s = Running();
    winsim::os::SetUserAdmin(machine(), L"User", false);
    EXPECT_EQ(nullptr, OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(nullptr, mgr);
    EXPECT_EQ(nullptr, OpenServiceW(mgr, L"TestSvc", SERVICE_STOP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(nullptr, OpenServiceW(mgr, L"TestSvc", GENERIC_EXECUTE));
    SC_HANDLE user = OpenServiceW(mgr, L"TestSvc", SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, user);
    SERVICE_STATUS st{};
    EXPECT_TRUE(ControlService(user, 129, &st));
    EXPECT_FALSE(ControlService(user, SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseServiceHandle(user);
    CloseServiceHandle(mgr);
    winsim::os::SetUserAdmin(machine(), L"User", true);
    CloseServiceHandle(s);
}

TEST_F(ScmTest, QueryConfigReturnsTheStringsAfterTheRecord) {
    SC_HANDLE s = Create();
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigW(s, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    std::vector<BYTE> buf(needed);
    auto* cfg = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
    ASSERT_TRUE(QueryServiceConfigW(s, cfg, needed, &needed));
    EXPECT_STREQ(L"\"C:\\Program Files\\Test\\testsvc.exe\" /run", cfg->lpBinaryPathName);
    EXPECT_STREQ(L"NetworkProvider", cfg->lpLoadOrderGroup);
    EXPECT_STREQ(L"Test Service", cfg->lpDisplayName);
    EXPECT_STREQ(L"LocalSystem", cfg->lpServiceStartName);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), cfg->dwStartType);
    CloseServiceHandle(s);
}

}  // namespace
