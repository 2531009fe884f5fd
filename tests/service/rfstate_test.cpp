// The RF state machine against the simulated HCI driver: what each request sends, the RF
// it leaves in the machine and the SaveStatus value it leaves in the registry.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "DisplayList.h"
#include "HCIDevice.h"
#include "ModuleInfo.h"
#include "RFState.h"
#include "SvcGlobals.h"
#include "sim_fixture.h"
#include "winsim/display.h"
#include "winsim/hci.h"
#include "winsim/registry.h"
#include "winsim/vundg.h"

namespace {

const std::wstring kProductKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";
constexpr DWORD kHciFailure = 0x0100;

class RfTest : public SimTest {
protected:
    RfTest() : SimTest("tablet") {
        SvcResetState();
        g_b3GDevice = TRUE;
        hci().clear_log();
    }
    ~RfTest() override {
        SvcResetState();
        g_pDisplayList = nullptr;
        g_pModuleInfo = nullptr;
    }
    winsim::HciDriver hci() { return winsim::HciDriver(machine()); }
    winsim::Registry reg() { return winsim::Registry(machine()); }
    std::optional<DWORD> Saved() { return reg().GetDword(kProductKey, L"SaveStatus"); }
    void Save(DWORD v) { reg().SetDword(kProductKey, L"SaveStatus", v); }
    // The values of the RF writes the driver received, in order.
    std::vector<DWORD> RfWrites() {
        std::vector<DWORD> v;
        for (auto& r : hci().log())
            if (r.in[0] == HCI_SET && r.in[3] == HCI_WWAN_RF) v.push_back(r.in[2]);
        return v;
    }
    size_t Requests() { return hci().log().size(); }
};

// ----------------------------------------------------------------------------------------
// One request in each state (no SaveStatus saved).

constexpr int kNone = -1;

struct DecisionCase {
    int request;
    int state;
    int write;  // kNone, 0 off, 1 on
};

class Decision : public RfTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, SwitchesOnlyWhereTheTableSays) {
    const DecisionCase& c = GetParam();
    g_nRFState = c.state;
    const bool rf_before = c.write == 0;  // make the switch visible in the machine
    hci().set_rf(rf_before);
    int expected = c.write == kNone ? c.state : c.request;
    EXPECT_EQ(expected, SaveStatus(c.request));
    EXPECT_EQ(expected, g_nRFState);
    if (c.write == kNone) {
        EXPECT_EQ(0u, Requests());
        EXPECT_EQ(rf_before, hci().rf());
        EXPECT_FALSE(Saved().has_value());
    } else {
        EXPECT_EQ(std::vector<DWORD>{DWORD(c.write)}, RfWrites());
        EXPECT_EQ(c.write == 1, hci().rf());
        EXPECT_EQ(std::optional<DWORD>(c.request), Saved());
    }
}

TEST_P(Decision, HciErrorGivesStateThreeAndKeepsSaveStatus) {
    const DecisionCase& c = GetParam();
    g_nRFState = c.state;
    Save(7);
    hci().set_error(HCI_WWAN_RF, kHciFailure);
    int expected = c.write == kNone ? c.state : 3;
    EXPECT_EQ(expected, SaveStatus(c.request));
    EXPECT_EQ(expected, g_nRFState);
    EXPECT_EQ(std::optional<DWORD>(7), Saved());
}

INSTANTIATE_TEST_SUITE_P(RequestByState, Decision,
                         ::testing::Values(
                             // RF off by the user.
                             DecisionCase{0, 0, kNone}, DecisionCase{0, 1, 0}, DecisionCase{0, 2, 0},
                             DecisionCase{0, 3, 0}, DecisionCase{0, 4, kNone}, DecisionCase{0, 5, 0},
                             // RF off by the posture.
                             DecisionCase{4, 0, 0}, DecisionCase{4, 1, 0}, DecisionCase{4, 2, 0}, DecisionCase{4, 3, 0},
                             DecisionCase{4, 4, kNone}, DecisionCase{4, 5, 0},
                             // RF on by the user.
                             DecisionCase{1, 0, 1}, DecisionCase{1, 1, kNone}, DecisionCase{1, 2, 1},
                             DecisionCase{1, 3, 1}, DecisionCase{1, 4, kNone}, DecisionCase{1, 5, 1},
                             // RF on by the posture.
                             DecisionCase{5, 0, kNone}, DecisionCase{5, 1, 1}, DecisionCase{5, 2, 1},
                             DecisionCase{5, 3, 1}, DecisionCase{5, 4, 1}, DecisionCase{5, 5, kNone},
                             // Unknown requests do nothing.
                             DecisionCase{2, 1, kNone}, DecisionCase{3, 0, kNone}, DecisionCase{6, 4, kNone},
                             DecisionCase{-1, 5, kNone}),
                         [](const auto& i) {
                             return "Request" + std::to_string(i.param.request + 1) + "_State" +
                                    std::to_string(i.param.state);
                         });

// ----------------------------------------------------------------------------------------
// Sequences after a restart, starting from a saved state.

struct Step {
    int request;
    bool fail;  // the driver fails every RF write of this step
    int result;
    int state;
    std::vector<DWORD> writes;  // RF writes of this step
    bool rf;
    std::optional<DWORD> saved;
};

struct RestartCase {
    const char* name;
    std::optional<DWORD> saved;
    bool rf;  // RF in the machine at the restart
    std::vector<Step> steps;
};

class Restart : public RfTest, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(Restart, FirstRequestAppliesTheSavedState) {
    if (GetParam().saved) Save(*GetParam().saved);
    hci().set_rf(GetParam().rf);
    int i = 0;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(i++));
        hci().set_error(HCI_WWAN_RF, s.fail ? kHciFailure : 0);
        hci().clear_log();
        EXPECT_EQ(s.result, SaveStatus(s.request));
        EXPECT_EQ(s.state, g_nRFState);
        EXPECT_EQ(s.writes, RfWrites());
        EXPECT_EQ(s.rf, hci().rf());
        EXPECT_EQ(s.saved, Saved());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Restart,
    ::testing::Values(RestartCase{"Saved4UserOnKeepsThePostureStop", 4u, true, {{1, false, 4, 4, {0}, false, 4u}}},
                      RestartCase{"Saved4UserOffKeepsThePostureStop", 4u, true, {{0, false, 4, 4, {0}, false, 4u}}},
                      RestartCase{"Saved4PostureOnSwitchesOn", 4u, false, {{5, false, 5, 5, {1}, true, 5u}}},
                      RestartCase{"Saved4ThenPostureOn",
                                  4u,
                                  true,
                                  {{1, false, 4, 4, {0}, false, 4u},
                                   {5, false, 5, 5, {1}, true, 5u},
                                   {1, false, 1, 1, {1}, true, 1u}}},
                      RestartCase{"Saved5UserOffSwitchesOff", 5u, true, {{0, false, 0, 0, {0}, false, 0u}}},
                      RestartCase{"Saved5PostureOffSwitchesOff", 5u, true, {{4, false, 4, 4, {0}, false, 4u}}},
                      RestartCase{"Saved5PostureOnRestoresOnly", 5u, false, {{5, false, 5, 5, {1}, true, 5u}}},
                      RestartCase{"Saved5UserOnRestoresThenSwitches", 5u, false, {{1, false, 1, 1, {1, 1}, true, 1u}}},
                      RestartCase{"Saved1IsNotRestored", 1u, false, {{5, false, 5, 5, {1}, true, 5u}}},
                      RestartCase{"Saved0IsNotRestored", 0u, true, {{5, false, 5, 5, {1}, true, 5u}}},
                      RestartCase{"NothingSaved", std::nullopt, true, {{0, false, 0, 0, {0}, false, 0u}}},
                      RestartCase{"TwoOffsInARowSendOne",
                                  std::nullopt,
                                  true,
                                  {{0, false, 0, 0, {0}, false, 0u}, {0, false, 0, 0, {}, false, 0u}}},
                      // A failed restore leaves the state initial, so that the next request restores again.
                      RestartCase{"Saved4RestoreFailsThenRetries",
                                  4u,
                                  true,
                                  {{1, true, 3, 2, {0}, true, 4u}, {1, false, 4, 4, {0}, false, 4u}}},
                      RestartCase{"Saved5RestoreFailsThenRetries",
                                  5u,
                                  false,
                                  {{5, true, 3, 2, {1}, false, 5u}, {5, false, 5, 5, {1}, true, 5u}}},
                      // An error leaves state 3, from which the same request switches again.
                      RestartCase{"ErrorThenRetry",
                                  std::nullopt,
                                  false,
                                  {{1, true, 3, 3, {1}, false, std::nullopt}, {1, false, 1, 1, {1}, true, 1u}}}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(RfTest, SaveStatusIsADword) {
    g_nRFState = 1;
    ASSERT_EQ(4, SaveStatus(4));
    auto v = reg().GetValue(kProductKey, L"SaveStatus");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(DWORD(REG_DWORD), v->type);
    EXPECT_EQ((std::vector<uint8_t>{4, 0, 0, 0}), v->data);
}

TEST_F(RfTest, UnwritableSaveStatusKeepsTheStateInMemory) {
    reg().SetDenyWrite(kProductKey, true);
    g_nRFState = 1;
    EXPECT_EQ(0, SaveStatus(0));
    EXPECT_EQ(0, g_nRFState);
    EXPECT_FALSE(hci().rf());
}

// ----------------------------------------------------------------------------------------
// The entries around the state machine.

TEST_F(RfTest, DisabledRFCtrlSendsNothing) {
    g_bRFCtrl = FALSE;
    Save(4);
    for (int r : {0, 1, 4, 5}) {
        EXPECT_EQ(2, SaveStatus(r));
        EXPECT_FALSE(IssueHCI(r));
    }
    EXPECT_EQ(0u, Requests());
}

TEST_F(RfTest, NoModuleSendsNothing) {
    g_b3GDevice = FALSE;
    EXPECT_FALSE(IssueHCI(1));
    EXPECT_FALSE(IssueHCI(0));
    EXPECT_FALSE(IssueHCIwithBool(TRUE));
    EXPECT_EQ(3, IssueHCIPowerOff());
    EXPECT_FALSE(Event3G_RfGotoOn());
    Event3G_Resume();
    EXPECT_EQ(0u, Requests());
    EXPECT_EQ(2, g_nRFState);
}

struct IssueCase {
    const char* name;
    int state;
    int request;
    BOOL changed;
};
class Issue : public RfTest, public ::testing::WithParamInterface<IssueCase> {};

TEST_P(Issue, TrueWhenTheStateChanged) {
    g_nRFState = GetParam().state;
    EXPECT_EQ(GetParam().changed, IssueHCI(GetParam().request));
}

INSTANTIATE_TEST_SUITE_P(
    States, Issue,
    ::testing::Values(IssueCase{"UserOnFromInitial", 2, 1, TRUE}, IssueCase{"UserOnTwice", 1, 1, FALSE},
                      IssueCase{"UserOnInThePostureStop", 4, 1, FALSE}, IssueCase{"PostureOnAfterUserOff", 0, 5, FALSE},
                      IssueCase{"UserOffAfterAnError", 3, 0, TRUE}, IssueCase{"PostureOffAfterPostureOn", 5, 4, TRUE}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(RfTest, DirectSwitchLeavesStateAndSaveStatus) {
    g_nRFState = 4;
    EXPECT_TRUE(IssueHCIwithBool(TRUE));
    EXPECT_TRUE(hci().rf());
    EXPECT_TRUE(IssueHCIwithBool(FALSE));
    EXPECT_FALSE(hci().rf());
    EXPECT_EQ((std::vector<DWORD>{1, 0}), RfWrites());
    EXPECT_EQ(4, g_nRFState);
    EXPECT_FALSE(Saved().has_value());
    hci().set_present(false);
    EXPECT_FALSE(IssueHCIwithBool(TRUE));
}

struct PowerCase {
    const char* name;
    int state;
    bool fail;
    int result;
};
class PowerOff : public RfTest, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerOff, KeepsAPostureStop) {
    g_nRFState = GetParam().state;
    if (GetParam().fail) hci().set_error(HCI_WWAN_POWER, kHciFailure);
    EXPECT_EQ(GetParam().result, IssueHCIPowerOff());
    EXPECT_EQ(GetParam().result, g_nRFState);
    EXPECT_EQ(!GetParam().fail, !hci().power());
    EXPECT_FALSE(Saved().has_value());
}

INSTANTIATE_TEST_SUITE_P(States, PowerOff,
                         ::testing::Values(PowerCase{"FromUserOn", 1, false, 0}, PowerCase{"FromInitial", 2, false, 0},
                                           PowerCase{"FromPostureOn", 5, false, 0},
                                           PowerCase{"InThePostureStop", 4, false, 4},
                                           PowerCase{"FromUserOff", 0, false, 0},
                                           PowerCase{"FailingFromUserOn", 1, true, 3},
                                           PowerCase{"FailingInThePostureStop", 4, true, 3}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(RfTest, SwitchOnIsReportedOncePerChange) {
    struct Read {
        int hw;  // 1 on, 0 off, -1 read error
        BOOL result;
        int last;
    };
    const Read reads[] = {{1, TRUE, 2}, {1, FALSE, 2},  {0, FALSE, 1},  {0, FALSE, 1}, {-1, FALSE, 0},
                          {1, TRUE, 2}, {-1, FALSE, 0}, {-1, FALSE, 0}, {0, FALSE, 1}};
    int i = 0;
    for (const Read& r : reads) {
        SCOPED_TRACE("read " + std::to_string(i++));
        hci().set_error(HCI_WWAN_STATUS, r.hw < 0 ? kHciFailure : 0);
        if (r.hw >= 0) hci().set_switch(r.hw == 1);
        EXPECT_EQ(r.result, Event3G_RfGotoOn());
        EXPECT_EQ(r.last, g_nLastSwitch);
    }
}

// ----------------------------------------------------------------------------------------
// The resume rule: RF on unless the display is in the RF-stop posture.

struct ResumeCase {
    const char* name;
    DWORD stop_flags;  // RF-stop posture flags the record reads
    bool stop_error;   // the record's read of them fails
    DWORD plst;
    DWORD orientation;
    int posture;  // expected posture code
    int state;    // state after the resume (from state 2, nothing saved)
};
class Resume : public RfTest, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(Resume, UserRequestFromThePosture) {
    const ResumeCase& c = GetParam();
    hci().set_posture_flags(c.stop_flags);
    if (c.stop_error) hci().set_error(HCI_WWAN_RFSTOP_POSTURE, kHciFailure);
    winsim::VundgDriver(machine()).set_plst(c.plst);
    winsim::Display(machine()).Rotate(c.orientation);
    CDisplayList display;
    CModuleInfo module;
    g_pDisplayList = &display;
    g_pModuleInfo = &module;
    Event3G_Resume();
    EXPECT_EQ(c.posture, g_nLastPosture);
    EXPECT_EQ(c.state, g_nRFState);
    EXPECT_EQ(c.state == 1, hci().rf());
}

INSTANTIATE_TEST_SUITE_P(Postures, Resume,
                         ::testing::Values(ResumeCase{"InTheStopPosture", 0x2000, false, 1, 1, 2, 0},
                                           ResumeCase{"OtherOrientation", 0x2000, false, 1, 0, 1, 1},
                                           ResumeCase{"RfFree", 0x2000, false, 0, 1, 5, 1},
                                           ResumeCase{"NoPosture", 0x2000, false, 3, 1, 0, 1},
                                           ResumeCase{"NoStopPostureAtAnOrientation", 0, false, 1, 0, 1, 1},
                                           ResumeCase{"NoStopPostureAndNoPostureStops", 0, false, 3, 0, 0, 0},
                                           ResumeCase{"UnreadableStopPostureAtAnOrientation", 0x2000, true, 1, 1, 2,
                                                      1}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
