// The frame's set-up by machine and settings, and a tear-down that stops every thread of the
// frame and leaves no handle behind.
#include "gui_fixture.h"

#include "winsim/power.h"
#include "winsim/user.h"

#include <ostream>
#include <string>

namespace {

struct SetUpCase {
    const char* name;
    bool module;
    bool tablet;
    DWORD disable_sar;
    DWORD disabled_rf_ctrl;
    bool driver_thread;        // a registration for the posture event is pending
    std::vector<DWORD> codes;  // control codes at set-up
};
// Test names show the case name only.
void PrintTo(const SetUpCase& c, std::ostream* os) { *os << c.name; }

class SetUp : public GuiTest, public ::testing::WithParamInterface<SetUpCase> {};

TEST_P(SetUp, StartsWhatTheMachineAndSettingsAllow) {
    const auto& c = GetParam();
    if (!c.module) winsim::Registry(machine()).DeleteKey(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID");
    display().set_tablet_pc(c.tablet);
    SetProduct(L"DisableSAR", c.disable_sar);
    SetProduct(L"DisabledRFCtrl", c.disabled_rf_ctrl);
    auto& f = Open();
    EXPECT_EQ(c.module, f.IsRFCtrl() != FALSE);
    EXPECT_EQ(c.driver_thread, vundg().Pending(VUNDG_EVENT_POSTURE) == 1);
    EXPECT_EQ(c.codes, f.codes);
    // A module: the first check waits for the service's ready event, made unset for it.
    HANDLE ready = OpenEventW(SYNCHRONIZE, FALSE, READY_EVENT_NAME);
    EXPECT_EQ(c.module, ready != nullptr);
    if (ready) CloseHandle(ready);
}

INSTANTIATE_TEST_SUITE_P(Table, SetUp,
                         ::testing::Values(SetUpCase{"TabletWithModule", true, true, 0, 0, true, {}},
                                           SetUpCase{"NoModuleSendsRFOffOnce", false, true, 0, 0, true, {129}},
                                           SetUpCase{"NoModuleHonoursDisabledRFCtrl", false, true, 0, 1, true, {}},
                                           SetUpCase{"NotATablet", true, false, 0, 0, false, {}},
                                           SetUpCase{"DisableSAR", true, true, 1, 0, false, {}}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(GuiTest, NoModuleOutsideTheConsoleLeavesRFAlone) {
    winsim::Registry(machine()).DeleteKey(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID");
    winsim::power::Logon(machine(), 2);
    winsim::power::ConsoleConnect(machine(), 2);
    EXPECT_EQ(std::vector<DWORD>{}, Open().codes);
}

TEST_F(GuiTest, DlgDebugShowsTheRFStoppedDialogAtStart) {
    SetProduct(L"DLGDEBUG", 1);
    auto& f = Open(L"/NOGUI");
    auto dialogs = winsim::user::DialogsByTemplate(machine(), GetCurrentProcessId(), 131);
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_EQ(dialogs[0], f.GetRFStoppedDlg());
    auto info = winsim::user::Info(machine(), dialogs[0]);
    EXPECT_TRUE(info->visible);
    EXPECT_TRUE(info->topmost);
    // OK forgets it.
    SendMessageW(GetDlgItem(dialogs[0], IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(nullptr, f.GetRFStoppedDlg());
}

TEST_F(GuiTest, TearDownStopsEveryThreadAndLeaksNoHandle) {
    size_t handles = process().HandleCount();
    auto running = [this] {
        size_t n = 0;
        for (auto& t : process().LiveThreads()) n += !t->ended;
        return n;
    };
    size_t threads = running();
    auto& f = Open();
    Pump(4000);  // the session registration is made after 3000 ms
    HWND frame = f.m_hWnd;
    EXPECT_LT(threads, running());
    // Every thread of the frame ends on its own (a terminated one would end with 1).
    std::vector<std::shared_ptr<winsim::Thread>> frame_threads;
    for (auto& t : process().LiveThreads())
        if (t->tid != GetCurrentThreadId()) frame_threads.push_back(t);
    Close();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(0u, vundg().Pending(VUNDG_EVENT_POSTURE));
    EXPECT_EQ(threads, running());
    for (auto& t : frame_threads) EXPECT_EQ(0u, t->exit_code) << t->tid;
    EXPECT_EQ(handles, process().HandleCount());
}

TEST_F(GuiTest, EndSessionEndsTheProgramOnlyWhenTheSessionEnds) {
    auto& f = Open();
    SendMessageW(f.m_hWnd, WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(IsWindow(f.m_hWnd));
    HWND frame = f.m_hWnd;
    SendMessageW(frame, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(IsWindow(frame));
}

}  // namespace
