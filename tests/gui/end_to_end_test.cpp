// Service and GUI in one machine: turning the display into the RF-stop posture switches RF
// off in the HCI driver through the service, turning it back switches it on; with GUI
// instances in two sessions only the console's drives RF, and switching the console moves
// that role.
#include "gui_fixture.h"

#include "RVQXCTRLApp.h"
#include "SvcGlobals.h"
#include "SvcMain.h"
#include "ModuleInfo.h"
#include "winsim/mbn.h"
#include "winsim/power.h"
#include "winsim/program.h"
#include "winsim/scm.h"
#include "winsim/user.h"

#include <optional>

namespace {

const wchar_t* kSvc = L"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe";
const wchar_t* kGui = L"C:\\Program Files\\Quarven\\Veltrane\\RVQXCTRL.exe";

int WINAPI GuiWinMain(HINSTANCE inst, HINSTANCE, LPWSTR cmdline, int show) { return RvqxCtrlMain(inst, cmdline, show); }

class EndToEnd : public GuiTest {
protected:
    EndToEnd() {
        winsim::ProgramInfo svc;
        svc.file_name = L"RVQXSVC.exe";
        svc.wmain = RvqxSvcMain;
        winsim::RegisterProgram(svc);
        winsim::InstallProgramImage(machine(), kSvc, L"RVQXSVC.exe");
        winsim::ProgramInfo gui;
        gui.file_name = L"RVQXCTRL.exe";
        gui.wwinmain = GuiWinMain;
        gui.resources = RvqxCtrlTestResources();
        winsim::RegisterProgram(gui);
        winsim::InstallProgramImage(machine(), kGui, L"RVQXCTRL.exe");
        hci().set_posture_flags(0x2000);  // DMDO_90 stops RF
        g_bNoPostureCtrl = FALSE;
    }
    ~EndToEnd() override {
        // Each GUI ends when its frame is closed; then the service stops.
        for (auto& p : guis_) {
            HWND frame = FindFrame(p->session);
            if (frame) PostMessageW(frame, WM_CLOSE, 0, 0);
        }
        for (auto& p : guis_) WaitEnd(p);
        if (svc_) {
            SERVICE_STATUS st;
            ControlService(svc_, SERVICE_CONTROL_STOP, &st);
            CloseServiceHandle(svc_);
            for (auto& p : machine().Processes())
                if (p->image_path == kSvc) WaitEnd(p);
        }
        g_hSvcStatus = NULL;
        g_hReadyEvent = NULL;
        g_hComMutex = NULL;
        SvcResetState();
    }
    void RunService() {
        SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        std::wstring path = std::wstring(L"\"") + kSvc + L"\" /Service";
        svc_ = CreateServiceW(mgr, L"RVQXSVC", L"RVQXSVC", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr,
                              nullptr, nullptr);
        CloseServiceHandle(mgr);
        ASSERT_NE(nullptr, svc_);
        ASSERT_TRUE(StartServiceW(svc_, 0, nullptr));
        ASSERT_TRUE(winsim::scm::WaitForState(machine(), L"RVQXSVC", SERVICE_RUNNING, 30000));
    }
    void StartGui(DWORD session) {
        if (!machine().FindSession(session)) winsim::power::Logon(machine(), session);
        winsim::ProcessOptions o;
        o.image = kGui;
        o.session = session;
        DWORD err = 0;
        auto p = winsim::StartImage(machine(), o, &err);
        ASSERT_TRUE(p) << err;
        guis_.push_back(p);
    }
    HWND FindFrame(DWORD session) { return winsim::user::FindByTitle(machine(), FRAME_TITLE, session); }
    void WaitEnd(const std::shared_ptr<winsim::Process>& p) {
        for (int i = 0; i < 600 && !p->ended; ++i) Sleep(100);
    }
    // The RF controls the service handled while the display turned to o.
    std::vector<DWORD> Rotate(DWORD o) {
        winsim::scm::ClearControls(machine());
        display().Rotate(o);
        Sleep(1000);
        std::vector<DWORD> v;
        for (auto& c : winsim::scm::Controls(machine()))
            if (c.control == 128 || c.control == 129) v.push_back(c.control);
        return v;
    }
    std::optional<DWORD> Saved() {
        return winsim::Registry(machine()).GetDword(L"HKLM\\SOFTWARE\\Quarven\\Veltrane", L"SaveStatus");
    }
    SC_HANDLE svc_ = nullptr;
    std::vector<std::shared_ptr<winsim::Process>> guis_;
};

TEST_F(EndToEnd, RotationIntoTheStopPostureAndBackSwitchesRF) {
    RunService();
    StartGui(1);
    Sleep(1000);
    ASSERT_NE(nullptr, FindFrame(1));
    EXPECT_FALSE(IsWindowVisible(FindFrame(1)));
    EXPECT_TRUE(hci().rf());
    const struct {
        DWORD orientation;
        std::vector<DWORD> codes;
        bool rf;
    } steps[] = {{DMDO_90, {129}, false}, {DMDO_DEFAULT, {128}, true}, {DMDO_90, {129}, false}};
    for (const auto& s : steps) {
        EXPECT_EQ(s.codes, Rotate(s.orientation)) << s.orientation;
        EXPECT_EQ(s.rf, hci().rf()) << s.orientation;
        EXPECT_EQ(std::optional<DWORD>(s.rf ? 1u : 0u), Saved()) << s.orientation;
        // The RF-stopped dialog of the GUI's process follows.
        auto dialogs = winsim::user::DialogsByTemplate(machine(), guis_[0]->pid, 131);
        bool shown = !dialogs.empty() && winsim::user::Info(machine(), dialogs[0])->visible;
        EXPECT_EQ(!s.rf, shown) << s.orientation;
    }
    // Other programs find the hidden frame by its title; WM_CLOSE ends the program cleanly.
    PostMessageW(FindFrame(1), WM_CLOSE, 0, 0);
    WaitEnd(guis_[0]);
    EXPECT_TRUE(guis_[0]->ended);
    EXPECT_EQ(0u, guis_[0]->exit_code);
}

TEST_F(EndToEnd, OnlyTheConsoleSessionsInstanceDrivesRF) {
    RunService();
    StartGui(1);
    StartGui(2);
    Sleep(4000);  // both registered for session notices
    EXPECT_EQ(std::vector<DWORD>{129}, Rotate(DMDO_90));
    EXPECT_EQ(std::vector<DWORD>{128}, Rotate(DMDO_DEFAULT));
    // Session 2 takes the console: its instance decides at once and then alone.
    winsim::scm::ClearControls(machine());
    winsim::power::ConsoleConnect(machine(), 2);
    Sleep(500);
    EXPECT_EQ(std::vector<DWORD>{129}, Rotate(DMDO_90));
    EXPECT_FALSE(hci().rf());
    EXPECT_EQ(std::vector<DWORD>{128}, Rotate(DMDO_DEFAULT));
    EXPECT_TRUE(hci().rf());
}

TEST_F(EndToEnd, ServiceStartedAfterTheGuiReleasesItsWaiter) {
    // One tick of the start-up polling, half a second after the service is ready.
    for (auto name : {L"StartTime", L"PollingInterval", L"PollingMaxTime"}) SetProduct(name, 500);
    StartGui(1);
    Sleep(1000);
    EXPECT_TRUE(hci().rf());
    hci().set_posture_flags(0x4000);  // DMDO_DEFAULT stops RF; the GUI read its posture already
    RunService();
    Sleep(1000);
    // The ready event released the waiter: the start-up polling sent the decision (on).
    bool on = false;
    for (auto& c : winsim::scm::Controls(machine())) on |= c.control == 128;
    EXPECT_TRUE(on);
}

// An instance that started outside the console skipped its first check; once the console is
// its session, a service that starts only then still gets its decision.
TEST_F(EndToEnd, AnInstanceThatGetsTheConsoleWaitsForALateService) {
    for (auto name : {L"StartTime", L"PollingInterval", L"PollingMaxTime"}) SetProduct(name, 500);
    winsim::power::Logon(machine(), 1);
    StartGui(2);
    Sleep(4000);  // registered for session notices
    winsim::power::ConsoleConnect(machine(), 2);
    display().Rotate(DMDO_90);  // decided while no service takes it
    Sleep(1000);
    EXPECT_TRUE(hci().rf());
    RunService();
    Sleep(1000);
    EXPECT_FALSE(hci().rf());
}

TEST_F(EndToEnd, SuspendEjectsTheModuleAndResumeReAddsIt) {
    const wchar_t* module = L"USB\\VID_1A2B&PID_3C4D";
    SetProduct(L"WaitTimeRemoveComplete", 20000);
    SetProduct(L"ResumePollingInterval", 1000);
    SetProduct(L"ResumePollingMaxTime", 2000);
    SetProduct(L"ResumeRecoveryWaitTime", 2000);
    RunService();
    StartGui(1);
    Sleep(4000);
    ASSERT_TRUE(IsHwIdPresent(module));
    winsim::scm::ClearControls(machine());
    DWORD start = GetTickCount();
    ASSERT_TRUE(winsim::power::Suspend(machine()));
    // The GUI's wait ends on the removal, long before WaitTimeRemoveComplete.
    Sleep(12000);
    DWORD_PTR r = 0;
    EXPECT_TRUE(SendMessageTimeoutW(FindFrame(1), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &r));
    EXPECT_GT(20000u, GetTickCount() - start);
    EXPECT_FALSE(IsHwIdPresent(module));
    std::vector<DWORD> codes;
    for (auto& c : winsim::scm::Controls(machine()))
        if (c.control >= 128 && c.control <= 181) codes.push_back(c.control);
    EXPECT_EQ((std::vector<DWORD>{129, 171}), codes);
    // After the resume the polling decides again and the re-add brings the module back.
    winsim::scm::ClearControls(machine());
    winsim::power::Resume(machine());
    Sleep(3000);
    EXPECT_TRUE(IsHwIdPresent(module));
    bool readded = false;
    for (auto& c : winsim::scm::Controls(machine())) readded |= c.control == 181;
    EXPECT_TRUE(readded);
}

TEST_F(EndToEnd, RadioOffWhenTheModuleComesUpRefreshesRF) {
    SetProduct(L"EnableRFRefresh", 1);
    hci().set_status(0x2001);
    RunService();
    StartGui(1);
    Sleep(2000);
    winsim::mbn::Service mbn(machine());
    auto iface = *mbn.Interface(winsim::mbn::kTabletInterfaceId);
    iface.hardware_radio = MBN_RADIO_OFF;
    mbn.SetInterface(iface);
    winsim::scm::ClearControls(machine());
    ASSERT_TRUE(mbn.NotifyCapabilityAvailable(winsim::mbn::kTabletInterfaceId));
    Sleep(2000);
    std::vector<DWORD> codes;
    for (auto& c : winsim::scm::Controls(machine()))
        if (c.control == 128 || c.control == 129) codes.push_back(c.control);
    EXPECT_EQ((std::vector<DWORD>{129, 128}), codes);
    EXPECT_TRUE(hci().rf());
}

}  // namespace
