// The RF decision: PLST value x orientation x RF-stop posture give the control code and
// the RF-stopped dialog; one control per change of decision class; the DisabledRFCtrl
// gate; an instance outside the console session.
#include "gui_fixture.h"

#include <ostream>
#include <string>

namespace {

struct DecisionCase {
    const char* name;
    DWORD plst;
    DWORD orientation;  // DMDO_*
    DWORD stop_flags;   // HCI selector 3: 0x2000 -> 2, 0x1000 -> 4, 0x8000 -> 3, 0x4000 -> 1
    DWORD code;         // 128 or 129
};
// Test names show the case name only.
void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class Decision : public GuiTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, PostureGivesControlAndDialog) {
    const auto& c = GetParam();
    hci().set_posture_flags(c.stop_flags);
    vundg().set_plst(c.plst);
    display().Rotate(c.orientation);
    auto& f = Open();
    f.codes.clear();
    f.CheckPostureNow();
    ASSERT_EQ(std::vector<DWORD>{c.code}, f.codes);
    HWND dlg = f.GetRFStoppedDlg();
    EXPECT_EQ(c.code == 129, dlg != nullptr && IsWindowVisible(dlg));
}

INSTANTIATE_TEST_SUITE_P(Table, Decision,
                         ::testing::Values(DecisionCase{"Stop90At90", 1, DMDO_90, 0x2000, 129},
                                           DecisionCase{"Stop90AtDefault", 1, DMDO_DEFAULT, 0x2000, 128},
                                           DecisionCase{"Stop270At270", 1, DMDO_270, 0x1000, 129},
                                           DecisionCase{"Stop180At180", 5, DMDO_180, 0x8000, 129},
                                           DecisionCase{"StopDefaultAtDefault", 1, DMDO_DEFAULT, 0x4000, 129},
                                           DecisionCase{"NotTabletPostureBits2", 2, DMDO_270, 0x1000, 128},
                                           DecisionCase{"NotTabletPostureBits0", 0, DMDO_270, 0x1000, 128},
                                           DecisionCase{"NoPostureBits3NoStopPosture", 3, DMDO_270, 0, 129},
                                           DecisionCase{"OrientationNoStopPosture", 1, DMDO_270, 0, 128},
                                           DecisionCase{"NoPostureBits3", 3, DMDO_270, 0x1000, 128},
                                           DecisionCase{"HciErrorNeverStops", 1, DMDO_270, 0xFFFFFFFF, 128}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Decision, RotationsSendOneControlPerChangeOfClass) {
    hci().set_posture_flags(0x2000);  // DMDO_90 stops RF
    auto& f = Open();
    f.codes.clear();
    // Two rotations into the stop posture's class and out: one control each way.
    const struct {
        DWORD orientation;
        std::vector<DWORD> codes;
        bool dialog_visible;
    } steps[] = {{DMDO_90, {129}, true}, {DMDO_90, {}, true}, {DMDO_180, {128}, false}, {DMDO_DEFAULT, {}, false}};
    for (const auto& s : steps) {
        f.codes.clear();
        display().Rotate(s.orientation);
        Pump(1000);
        EXPECT_EQ(s.codes, f.codes) << s.orientation;
        HWND dlg = f.GetRFStoppedDlg();
        EXPECT_EQ(s.dialog_visible, dlg != nullptr && IsWindowVisible(dlg)) << s.orientation;
    }
}

TEST_F(Decision, DisabledRFCtrlSendsNoRFControlYetShowsTheDialog) {
    SetProduct(L"DisabledRFCtrl", 1);
    hci().set_posture_flags(0x2000);
    auto& f = Open();
    display().Rotate(DMDO_90);
    Pump(1000);
    SendMessageW(f.m_hWnd, WM_APP_RFCONTROL, RFCONTROL_POWEROFF, 0);
    EXPECT_EQ(std::vector<DWORD>{161}, f.codes);
    HWND dlg = f.GetRFStoppedDlg();
    EXPECT_TRUE(dlg && IsWindowVisible(dlg));
    // Unknown requests do nothing.
    f.codes.clear();
    EXPECT_EQ(0, SendMessageW(f.m_hWnd, WM_APP_RFCONTROL, 0, 0));
    EXPECT_TRUE(f.codes.empty());
}

struct OtherSessionCase {
    const char* name;
    DWORD plst;
    DWORD code;
};
// Test names show the case name only.
void PrintTo(const OtherSessionCase& c, std::ostream* os) { *os << c.name; }

class OtherSession : public GuiTest, public ::testing::WithParamInterface<OtherSessionCase> {};

TEST_P(OtherSession, SendsOnOnlyForPostureFive) {
    const auto& c = GetParam();
    hci().set_posture_flags(0x2000);
    display().Rotate(DMDO_DEFAULT);  // not the stop posture: the rule ignores it
    vundg().set_plst(c.plst);
    auto& f = Open();
    machine().active_console_session = 2;
    f.codes.clear();
    SendMessageW(f.m_hWnd, WM_APP_RFCONTROL, RFCONTROL_REFRESH_EVAL, 0);
    EXPECT_EQ(std::vector<DWORD>{c.code}, f.codes);
}

INSTANTIATE_TEST_SUITE_P(Table, OtherSession,
                         ::testing::Values(OtherSessionCase{"PostureFive", 2, 128},
                                           OtherSessionCase{"Orientation", 1, 129},
                                           OtherSessionCase{"NoPosture", 3, 129}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
