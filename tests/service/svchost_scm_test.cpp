// The service end to end through the Service Control Manager: installed by its own
// program, started from its image path, driven by control codes from another process,
// stopped and started again.
#include <windows.h>

#include "SvcGlobals.h"
#include "SvcMain.h"
#include "sim_fixture.h"
#include "winsim/hci.h"
#include "winsim/power.h"
#include "winsim/program.h"
#include "winsim/registry.h"
#include "winsim/scm.h"

#include <optional>
#include <string>
#include <vector>

namespace {

const wchar_t* kProgram = L"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe";
const std::wstring kProductKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";

class SvcEndToEnd : public SimTest {
protected:
    // The test plays the GUI: another program in the user's session.
    SvcEndToEnd() : SimTest("tablet", L"C:\\Program Files\\Quarven\\Veltrane\\RVQXCTRL.exe") {
        winsim::ProgramInfo info;
        info.file_name = L"RVQXSVC.exe";
        info.wmain = RvqxSvcMain;
        winsim::RegisterProgram(info);
        winsim::InstallProgramImage(machine(), kProgram, L"RVQXSVC.exe");
        g_bNoPostureCtrl = FALSE;
    }
    ~SvcEndToEnd() override {
        if (svc_) {
            SERVICE_STATUS st;
            if (winsim::scm::Status(machine(), L"RVQXSVC").dwCurrentState == SERVICE_RUNNING)
                ControlService(svc_, SERVICE_CONTROL_STOP, &st);
            WaitForServiceProcess();
            CloseServiceHandle(svc_);
        }
        if (mgr_) CloseServiceHandle(mgr_);
        if (ready_) CloseHandle(ready_);
        g_hSvcStatus = NULL;
        g_hReadyEvent = NULL;
        g_hComMutex = NULL;
        SvcResetState();
        g_bNoPostureCtrl = FALSE;
    }
    // Runs the service program with the arguments as a process of its own; its exit code.
    DWORD RunProgram(const std::wstring& args) {
        std::wstring cmd = L"\"" + std::wstring(kProgram) + L"\" " + args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
            return ~0u;
        WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = ~0u;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
    void Open() {
        mgr_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        ASSERT_NE(nullptr, mgr_);
        svc_ = OpenServiceW(mgr_, L"RVQXSVC",
                            SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL);
        ASSERT_NE(nullptr, svc_);
        // As the GUI does: the ready event may exist before the service does.
        ready_ = CreateEventW(nullptr, TRUE, FALSE, L"Global\\RVQXSvcReadyEvent");
        ASSERT_NE(nullptr, ready_);
    }
    // Starts the service and waits for its ready event; the service's state at that moment.
    DWORD StartAndWaitReady() {
        ResetEvent(ready_);
        if (!StartServiceW(svc_, 0, nullptr)) return 0;
        if (WaitForSingleObject(ready_, 30000) != WAIT_OBJECT_0) return 0;
        return winsim::scm::Status(machine(), L"RVQXSVC").dwCurrentState;
    }
    BOOL Send(DWORD code) {
        SERVICE_STATUS st{};
        return ControlService(svc_, code, &st);
    }
    void WaitForServiceProcess() {
        for (auto& p : machine().Processes())
            if (p->image_path == kProgram && !p->ended) {
                HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, p->pid);
                if (h) WaitForSingleObject(h, 60000), CloseHandle(h);
            }
    }
    winsim::HciDriver hci() { return winsim::HciDriver(machine()); }
    std::optional<DWORD> Saved() { return winsim::Registry(machine()).GetDword(kProductKey, L"SaveStatus"); }
    SC_HANDLE mgr_ = nullptr;
    SC_HANDLE svc_ = nullptr;
    HANDLE ready_ = nullptr;
};

TEST_F(SvcEndToEnd, InstalledStartedDrivenStoppedAndStartedAgain) {
    ASSERT_EQ(0u, RunProgram(L"-InstallService"));
    Open();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StartAndWaitReady());
    // The service runs from its image path in session 0.
    DWORD pid = winsim::scm::ProcessId(machine(), L"RVQXSVC");
    auto p = machine().FindProcess(pid);
    ASSERT_TRUE(p);
    EXPECT_EQ(0u, p->session);
    EXPECT_EQ(L"\"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe\" /Service", p->command_line);
    EXPECT_EQ(static_cast<DWORD>(HIGH_PRIORITY_CLASS), p->priority_class);

    struct Step {
        DWORD code;
        bool rf;
        std::optional<DWORD> saved;
    };
    const Step steps[] = {{129, false, 0u}, {128, true, 1u}, {152, false, 4u}};
    for (const auto& s : steps) {
        EXPECT_TRUE(Send(s.code)) << s.code;
        EXPECT_EQ(s.rf, hci().rf()) << s.code;
        EXPECT_EQ(s.saved, Saved()) << s.code;
    }
    EXPECT_FALSE(Send(130));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());

    // Stop: pending with a wait hint while the threads end, then stopped.
    winsim::scm::ClearControls(machine());
    EXPECT_TRUE(Send(SERVICE_CONTROL_STOP));
    auto reports = winsim::scm::Reports(machine(), L"RVQXSVC");
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), reports[reports.size() - 2].status.dwCurrentState);
    EXPECT_LT(0u, reports[reports.size() - 2].status.dwWaitHint);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), reports.back().status.dwCurrentState);
    EXPECT_EQ(0u, reports.back().status.dwWin32ExitCode);
    auto controls = winsim::scm::Controls(machine());
    ASSERT_EQ(1u, controls.size());
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), controls[0].result);
    WaitForServiceProcess();
    EXPECT_TRUE(p->ended);
    EXPECT_EQ(0u, p->exit_code);

    // Started again, the first request applies what was saved: the posture stop stays,
    // so RF-on does not switch RF on.
    hci().set_rf(true);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StartAndWaitReady());
    EXPECT_TRUE(Send(128));
    EXPECT_FALSE(hci().rf());
    EXPECT_EQ(std::optional<DWORD>(4u), Saved());
    EXPECT_TRUE(Send(151));
    EXPECT_TRUE(hci().rf());
    EXPECT_EQ(std::optional<DWORD>(5u), Saved());
}

TEST_F(SvcEndToEnd, TheReadyEventIsSetOnlyOnceTheServiceRuns) {
    ASSERT_EQ(0u, RunProgram(L"-InstallService"));
    Open();
    ASSERT_TRUE(StartServiceW(svc_, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready_, 30000));
    auto reports = winsim::scm::Reports(machine(), L"RVQXSVC");
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), reports.back().status.dwCurrentState);
    EXPECT_EQ(0xE1u, reports.back().status.dwControlsAccepted);
    EXPECT_EQ(0x30u, reports.back().status.dwServiceType);
    // A control sent as soon as the event is set is handled.
    EXPECT_TRUE(Send(129));
    EXPECT_FALSE(hci().rf());
}

TEST_F(SvcEndToEnd, PowerAndSessionEventsReachTheService) {
    ASSERT_EQ(0u, RunProgram(L"-InstallService"));
    Open();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StartAndWaitReady());
    EXPECT_TRUE(Send(128));
    EXPECT_TRUE(hci().rf());
    winsim::scm::ClearControls(machine());
    EXPECT_TRUE(winsim::power::Suspend(machine()));
    winsim::power::Resume(machine());
    winsim::power::Logoff(machine(), 1);
    std::vector<std::pair<DWORD, DWORD>> seen;
    for (auto& c : winsim::scm::Controls(machine())) seen.emplace_back(c.control, c.event_type);
    const std::vector<std::pair<DWORD, DWORD>> expected = {
        {SERVICE_CONTROL_POWEREVENT, PBT_APMQUERYSUSPEND},    {SERVICE_CONTROL_POWEREVENT, PBT_APMSUSPEND},
        {SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMEAUTOMATIC}, {SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMESUSPEND},
        {SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF},
    };
    EXPECT_EQ(expected, seen);
    // The resume left the RF state unknown; the logoff's RF-off then switched the hardware
    // and was saved.
    EXPECT_FALSE(hci().rf());
    EXPECT_EQ(std::optional<DWORD>(0u), Saved());
}

TEST_F(SvcEndToEnd, UninstallWhileRunningRemovesTheServiceOnceItStops) {
    ASSERT_EQ(0u, RunProgram(L"-InstallService"));
    Open();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StartAndWaitReady());
    // Removed as a setup program would (a second RVQXSVC process would share the running
    // one's globals in this host).
    SC_HANDLE admin = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE del = OpenServiceW(admin, L"RVQXSVC", DELETE);
    EXPECT_TRUE(DeleteService(del));
    CloseServiceHandle(del);
    CloseServiceHandle(admin);
    EXPECT_TRUE(winsim::scm::MarkedForDelete(machine(), L"RVQXSVC"));
    EXPECT_TRUE(Send(SERVICE_CONTROL_STOP));
    CloseServiceHandle(svc_);
    svc_ = nullptr;
    EXPECT_FALSE(winsim::scm::Config(machine(), L"RVQXSVC"));
    WaitForServiceProcess();
}

}  // namespace
