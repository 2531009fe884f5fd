// The device layer's changes: class-installer enable and disable, the device-node form with
// its shift, the property change and its restart rule, and removal.
#include "dev_fixture.h"

#include <string>
#include <vector>

using namespace devlib;

namespace {

const GUID kNet = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kModem = {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

const wchar_t* const kDisableText = L"Detect:Device is enabled->Disalbe device.";
const wchar_t* const kNoDisableText = L"Detect:Device is not enabled.Do not disable device.";
const wchar_t* const kEnableText = L"Detect:Device is disabled->Enable device.";
const wchar_t* const kNoEnableText = L"Detect:Device is enabled->Do not enable device.";

// ---------------------------------------------------------------------------------------
// Decisions from status and problem (class-installer form, and the device-node form on the
// device itself).

enum Start { kRunning, kDisabled, kFailedStart, kNotDisableable };

struct DecisionCase {
    const char* name;
    Start start;
    bool enable;
    const wchar_t* decision;
    const char* after;
};

class DecisionTest : public DevTest, public ::testing::WithParamInterface<DecisionCase> {
protected:
    void Prepare(Start s) {
        if (s == kDisabled) Disable(wlan_);
        if (s == kFailedStart) tree().SetProblem(wlan_, CM_PROB_FAILED_START);
    }
    DWORD Target(Start s) {
        if (s != kNotDisableable) return wlan_;
        winsim::DeviceSpec fixed = Node(L"ACPI\\FIXED01\\0", tree().Find(L"ACPI\\PNP0A08\\0"), L"System",
                                        winsim::devclass::kSystem, {L"PCI\\VEN_168C&DEV_FFFF"});
        fixed.disableable = false;
        return tree().Add(fixed);
    }
};

TEST_P(DecisionTest, ClassInstallerForm) {
    const DecisionCase& c = GetParam();
    DWORD dn = Target(c.start);
    Prepare(c.start);
    // A prefix of the device's first hardware ID only (its second one is shorter).
    const wchar_t* id = c.start == kNotDisableable ? L"PCI\\VEN_168C&DEV_FFFF" : L"pci\\ven_168c&dev_0e5a&subsys";
    ClearLogs();
    if (c.enable)
        dev_->EnabledProperty(id);
    else
        dev_->DisabledProperty(id);
    EXPECT_EQ(1u, CountLogs(c.decision));
    EXPECT_EQ(c.after, NodeState(dn));
    EXPECT_TRUE(Logged(std::wstring(c.enable ? L"ERROR:EnabledProperty" : L"ERROR:DisabledProperty") + L"->erro code " +
                       std::to_wstring(ERROR_NO_MORE_ITEMS)));
}

TEST_P(DecisionTest, DeviceNodeFormWithoutShift) {
    const DecisionCase& c = GetParam();
    DWORD dn = Target(c.start);
    Prepare(c.start);
    // The whole ID, in another letter case.
    const wchar_t* id = c.start == kNotDisableable ? L"pci\\ven_168c&dev_ffff" : L"pci\\ven_168c&dev_0e5a";
    ClearLogs();
    int r = c.enable ? dev_->EnabledProperty(id, 0) : dev_->DisabledProperty(id, 0);
    EXPECT_EQ(1, r);
    EXPECT_EQ(1u, CountLogs(c.decision));
    EXPECT_EQ(c.after, NodeState(dn));
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, DecisionTest,
    ::testing::Values(DecisionCase{"disableRunning", kRunning, false, kDisableText, "disabled"},
                      DecisionCase{"disableDisabled", kDisabled, false, kNoDisableText, "disabled"},
                      DecisionCase{"disableFailed", kFailedStart, false, kDisableText, "disabled"},
                      DecisionCase{"disableFixed", kNotDisableable, false, kNoDisableText, "running"},
                      DecisionCase{"enableDisabled", kDisabled, true, kEnableText, "running"},
                      DecisionCase{"enableRunning", kRunning, true, kNoEnableText, "running"},
                      DecisionCase{"enableFailed", kFailedStart, true, kNoEnableText, "problem 10"},
                      DecisionCase{"enableFixed", kNotDisableable, true, kNoEnableText, "running"}),
    [](const ::testing::TestParamInfo<DecisionCase>& i) { return std::string(i.param.name); });

// The class-installer form decides once for every hardware ID that matches, reading the
// node's state again each time: a device whose two IDs carry the prefix is changed by the
// first and left alone by the second.
struct EveryIdCase {
    const char* name;
    bool start_disabled;
    bool enable;
    std::vector<const wchar_t*> decisions;  // in order
    const char* after;
};

class EveryIdTest : public DevTest, public ::testing::WithParamInterface<EveryIdCase> {};

TEST_P(EveryIdTest, OneDecisionPerMatchingId) {
    const EveryIdCase& c = GetParam();
    if (c.start_disabled) Disable(wlan_);
    ClearLogs();
    // Both "PCI\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01" and "PCI\VEN_168C&DEV_0E5A".
    if (c.enable)
        dev_->EnabledProperty(L"PCI\\VEN_168C&DEV_0E5A");
    else
        dev_->DisabledProperty(L"PCI\\VEN_168C&DEV_0E5A");
    std::vector<std::wstring> seen;
    for (const auto& l : Logs())
        if (l == kDisableText || l == kNoDisableText || l == kEnableText || l == kNoEnableText) seen.push_back(l);
    EXPECT_EQ(std::vector<std::wstring>(c.decisions.begin(), c.decisions.end()), seen);
    EXPECT_EQ(c.enable ? 0u : 1u, CountLogs(L"Found! = " + std::wstring(kWlanId) + L"\n"));
    EXPECT_EQ(c.enable ? 0u : 1u, CountLogs(L"Found! = PCI\\VEN_168C&DEV_0E5A\n"));
    EXPECT_EQ(c.after, NodeState(wlan_));
}

INSTANTIATE_TEST_SUITE_P(
    EveryId, EveryIdTest,
    ::testing::Values(EveryIdCase{"disableRunning", false, false, {kDisableText, kNoDisableText}, "disabled"},
                      EveryIdCase{"disableDisabled", true, false, {kNoDisableText, kNoDisableText}, "disabled"},
                      EveryIdCase{"enableDisabled", true, true, {kEnableText, kNoEnableText}, "running"},
                      EveryIdCase{"enableRunning", false, true, {kNoEnableText, kNoEnableText}, "running"}),
    [](const ::testing::TestParamInfo<EveryIdCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, ClassInstallerFormActsOnEveryMatchingDeviceOnce) {
    ClearLogs();
    // The port and the adapter share the prefix; the module does not carry it.
    dev_->DisabledProperty(L"USB\\VID_1A2B&PID_3C4D&REV_0001&MI_0");
    EXPECT_EQ("disabled", NodeState(port_));
    EXPECT_EQ("disabled", NodeState(net_));
    EXPECT_EQ("running", NodeState(module_));
    EXPECT_EQ(2u, CountLogs(kDisableText));
    EXPECT_TRUE(Logged(L"Found! = " + std::wstring(kPortId) + L"\n"));
    EXPECT_TRUE(Logged(L"Found! = " + std::wstring(kNetId) + L"\n"));
    dev_->EnabledProperty(L"USB\\VID_1A2B&PID_3C4D&REV_0001&MI_0");
    EXPECT_EQ("running", NodeState(port_));
    EXPECT_EQ("running", NodeState(net_));
}

TEST_F(DevTest, EmptyIdChangesNothing) {
    ClearLogs();
    dev_->DisabledProperty(L"");
    dev_->EnabledProperty(L"");
    EXPECT_EQ(0, dev_->DisabledProperty(L"", 0));
    EXPECT_EQ(0, dev_->EnabledProperty(L"", 1));
    for (DWORD dn : {hc_, hub_, module_, port_, net_, wlan_}) EXPECT_EQ("running", NodeState(dn));
    EXPECT_EQ(0u, CountLogs(kDisableText));
    EXPECT_EQ(2u, CountLogs(L"ERROR:DisabledProperty->empty hardware ID, not found"));
    EXPECT_EQ(2u, CountLogs(L"ERROR:EnabledProperty->empty hardware ID, not found"));
}

// ---------------------------------------------------------------------------------------
// The device-node form and its shift.

struct ShiftCase {
    const char* name;
    const wchar_t* id;
    int shift;
    bool enable;
    int result;
    // Expected states after: hc, hub, module, port, net.
    const char* states[5];
};

class ShiftTest : public DevTest, public ::testing::WithParamInterface<ShiftCase> {};

TEST_P(ShiftTest, WalksParentsOrFirstChildren) {
    const ShiftCase& c = GetParam();
    if (c.enable) Disable(port_);
    ClearLogs();
    int r = c.enable ? dev_->EnabledProperty(c.id, c.shift) : dev_->DisabledProperty(c.id, c.shift);
    EXPECT_EQ(c.result, r);
    const DWORD nodes[5] = {hc_, hub_, module_, port_, net_};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.states[i], NodeState(nodes[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Shifts, ShiftTest,
    ::testing::Values(
        ShiftCase{"self", kPortId, 0, false, 1, {"running", "running", "running", "disabled", "running"}},
        // The module disabled takes its children away.
        ShiftCase{"parent", kPortId, 1, false, 1, {"running", "running", "disabled", "absent", "absent"}},
        ShiftCase{"grandparent", kNetId, 2, false, 1, {"running", "disabled", "absent", "absent", "absent"}},
        // Six steps up from the port: module, hub, controller, PCI root, computer, root; a
        // seventh does not exist: the walk stops at the root, which is never acted on.
        ShiftCase{"pastTheRoot", kPortId, 7, false, 0, {"running", "running", "running", "running", "running"}},
        ShiftCase{"farPastTheRoot", kPortId, 100, false, 0, {"running", "running", "running", "running", "running"}},
        // The PCI root, the computer and the root cannot be disabled.
        ShiftCase{"fixedNode", kPortId, 4, false, 1, {"running", "running", "running", "running", "running"}},
        ShiftCase{"root", kPortId, 6, false, 1, {"running", "running", "running", "running", "running"}},
        // The module's first child is the port.
        ShiftCase{"child", kModuleShortId, -1, false, 1, {"running", "running", "running", "disabled", "running"}},
        ShiftCase{
            "grandchild", L"USB\\ROOT_HUB30", -2, false, 1, {"running", "running", "running", "disabled", "running"}},
        // Below a leaf the walk stops at the leaf, which is then acted on.
        ShiftCase{"belowALeaf", kNetId, -1, false, 1, {"running", "running", "running", "running", "disabled"}},
        ShiftCase{
            "pastALeaf", L"USB\\ROOT_HUB30", -5, false, 1, {"running", "running", "running", "disabled", "running"}},
        ShiftCase{"prefixIsNotEnough",
                  L"USB\\VID_1A2B&PID_3C4D&MI",
                  0,
                  false,
                  0,
                  {"running", "running", "running", "running", "running"}},
        ShiftCase{"enableChild", kModuleId, -1, true, 1, {"running", "running", "running", "running", "running"}},
        ShiftCase{"enableSelf", kPortShortId, 0, true, 1, {"running", "running", "running", "running", "running"}},
        // The port is disabled, its parent is not: nothing to enable there.
        ShiftCase{
            "enableRunningParent", kPortShortId, 1, true, 1, {"running", "running", "running", "disabled", "running"}}),
    [](const ::testing::TestParamInfo<ShiftCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, ShiftLogsAndFailedNodeCalls) {
    ClearLogs();
    EXPECT_EQ(0, dev_->DisabledProperty(kPortId, 9));
    EXPECT_EQ(0u, CountLogs(kDisableText));
    EXPECT_TRUE(Logged(L"ERROR:DisabledProperty->shift 9 passes the root of the device tree, nothing changed"));
    EXPECT_TRUE(Logged(L"Found! = " + std::wstring(kPortId) + L"\n"));
    // A node held open by a program vetoes the polite disable: logged, still found.
    tree().AddOpen(port_, 1);
    ClearLogs();
    EXPECT_EQ(1, dev_->DisabledProperty(kPortId, 1));
    EXPECT_TRUE(Logged(L"CM_Disable_DevNode FAILED."));
    EXPECT_EQ("running", NodeState(module_));
    tree().AddOpen(port_, -1);
    // Not found: the walk's end is logged with its error.
    ClearLogs();
    EXPECT_EQ(0, dev_->EnabledProperty(L"PCI\\VEN_FFFF&DEV_FFFF", 0));
    EXPECT_TRUE(Logged(L"ERROR:EnabledProperty->erro code " + std::to_wstring(ERROR_NO_MORE_ITEMS)));
}

// ---------------------------------------------------------------------------------------
// The property change and "needs restart".

struct StateChangeCase {
    const char* name;
    DWORD state;
    DWORD restart;    // flags the machine reports
    DWORD installer;  // error the class installer reports
    int result;
    const wchar_t* log;  // nullptr: none of the error texts
};

class StateChangeTest : public DevTest, public ::testing::WithParamInterface<StateChangeCase> {};

TEST_P(StateChangeTest, RestartCountsAsFailure) {
    const StateChangeCase& c = GetParam();
    if (c.state == DICS_ENABLE) Disable(wlan_);
    if (c.restart) tree().SetRestartNeeded(wlan_, c.restart);
    if (c.installer) tree().SetInstallerError(wlan_, c.installer);
    DeviceInSet set(kWlanInstance);
    ASSERT_TRUE(set.found);
    ClearLogs();
    EXPECT_EQ(c.result, dev_->StateChange(c.state, set.set, &set.data));
    for (const wchar_t* t :
         {L"ERROR:StateChange->SetupDiSetClassInstallParams", L"ERROR:StateChange->SetupDiGetDeviceInstallParams"})
        EXPECT_EQ(c.log && std::wstring(c.log) == t, Logged(t)) << winsim::Utf8(t);
}

INSTANTIATE_TEST_SUITE_P(Changes, StateChangeTest,
                         ::testing::Values(StateChangeCase{"disable", DICS_DISABLE, 0, 0, 1, nullptr},
                                           StateChangeCase{"enable", DICS_ENABLE, 0, 0, 1, nullptr},
                                           StateChangeCase{"disableNeedsRestart", DICS_DISABLE, DI_NEEDRESTART, 0, 0,
                                                           L"ERROR:StateChange->SetupDiGetDeviceInstallParams"},
                                           StateChangeCase{"enableNeedsReboot", DICS_ENABLE, DI_NEEDREBOOT, 0, 0,
                                                           L"ERROR:StateChange->SetupDiGetDeviceInstallParams"},
                                           StateChangeCase{"installerFails", DICS_DISABLE, 0, ERROR_ACCESS_DENIED, 0,
                                                           L"ERROR:StateChange->SetupDiSetClassInstallParams"}),
                         [](const ::testing::TestParamInfo<StateChangeCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, StateChangeResultsReachTheDevice) {
    {
        DeviceInSet set(kWlanInstance);
        ASSERT_EQ(1, dev_->StateChange(DICS_DISABLE, set.set, &set.data));
    }
    EXPECT_EQ("disabled", NodeState(wlan_));
    // The disable works in the current hardware profile only; the enable clears both.
    auto n = tree().Get(wlan_);
    ASSERT_TRUE(n.has_value());
    EXPECT_TRUE(n->disabled_config);
    EXPECT_FALSE(n->disabled_global);
    DWORD flags = 0;
    ASSERT_EQ(0u, tree().ChangeState(wlan_, DICS_DISABLE, DICS_FLAG_GLOBAL, &flags));
    {
        DeviceInSet set(kWlanInstance);
        ASSERT_EQ(1, dev_->StateChange(DICS_ENABLE, set.set, &set.data));
    }
    n = tree().Get(wlan_);
    EXPECT_FALSE(n->disabled_config);
    EXPECT_FALSE(n->disabled_global);
    EXPECT_EQ("running", NodeState(wlan_));
}

// ---------------------------------------------------------------------------------------
// Removal.

struct RemoveCase {
    const char* name;
    bool class_installer;  // RemoveDriver, else RemoveDevice
    const wchar_t* id;
    const GUID* cls;
    const wchar_t* enumerator;
    int target;              // 0 none, 1 the adapter, 2 the phantom, 3 the module (and its children)
    const wchar_t* matched;  // the device's ID that matched
};

class RemoveTest : public DevTest, public ::testing::WithParamInterface<RemoveCase> {};

constexpr const wchar_t* kPhantomInstance = L"PCI\\VEN_2A3B&DEV_4229&SUBSYS_11012A3B&REV_61\\4&1&0&00E0";
constexpr const wchar_t* kPhantomId = L"PCI\\VEN_2A3B&DEV_4229&SUBSYS_11012A3B&REV_61";

TEST_P(RemoveTest, FindsPresentAndPhantomDevices) {
    const RemoveCase& c = GetParam();
    AddPhantom(kPhantomInstance, kPhantomId);
    ClearLogs();
    int r = c.class_installer ? dev_->RemoveDriver(c.id, c.cls, c.enumerator)
                              : dev_->RemoveDevice(c.id, c.cls, c.enumerator);
    EXPECT_EQ(c.target ? 1 : 0, r);
    EXPECT_EQ(c.target == 1 || c.target == 3, tree().Find(kNetInstance) == 0);
    EXPECT_EQ(c.target == 2, tree().Find(kPhantomInstance) == 0);
    EXPECT_EQ(c.target == 3, tree().Find(kModuleInstance) == 0);
    EXPECT_EQ(c.target == 3, tree().Find(kPortInstance) == 0);
    EXPECT_NE(0u, tree().Find(kWlanInstance));
    EXPECT_TRUE(Logged(c.class_installer ? L"RemoveDriver() Start)" : L"CDevCtrl::RemoveDevice() Started"));
    if (c.target) {
        EXPECT_TRUE(Logged(L"Remove! = " + std::wstring(c.matched) + L"\n"));
    } else {
        std::wstring text = c.class_installer ? L"Donot find. Cannot remove! = "
                                              : L"DevCtrl::RemoveDevice() Donot find. Cannot remove! = ";
        EXPECT_TRUE(Logged(text + (c.id ? c.id : L"") + L"\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Removal, RemoveTest,
    ::testing::Values(RemoveCase{"driverPresent", true, L"usb\\vid_1a2b&pid_3c4d&rev_0001&mi_08", NULL, NULL, 1,
                                 kNetId},
                      RemoveCase{"devicePresent", false, kNetShortId, &kNet, NULL, 1, kNetShortId},
                      RemoveCase{"driverPhantom", true, L"PCI\\VEN_2A3B&DEV_4229", NULL, NULL, 2, kPhantomId},
                      RemoveCase{"devicePhantom", false, L"PCI\\VEN_2A3B", &kNet, L"PCI", 2, kPhantomId},
                      // The first device with the prefix is the module: its subtree goes too.
                      RemoveCase{"driverSubtree", true, L"USB\\VID_1A2B", NULL, NULL, 3, kModuleId},
                      RemoveCase{"deviceWrongClass", false, kNetShortId, &kModem, NULL, 0, L""},
                      RemoveCase{"driverWrongEnumerator", true, kNetShortId, NULL, L"PCI", 0, L""},
                      RemoveCase{"deviceUnknown", false, L"PCI\\VEN_FFFF", NULL, NULL, 0, L""},
                      RemoveCase{"driverEmpty", true, L"", NULL, NULL, 0, L""},
                      RemoveCase{"deviceEmpty", false, L"", NULL, NULL, 0, L""}),
    [](const ::testing::TestParamInfo<RemoveCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, PhantomIsRemovedWithItsKeys) {
    AddPhantom(kPhantomInstance, kPhantomId);
    const std::wstring enumKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + std::wstring(kPhantomInstance);
    ASSERT_TRUE(winsim::Registry(machine()).KeyExists(enumKey));
    // Not present: the present-only searches do not see it; removal does.
    EXPECT_EQ(0, dev_->IsExist(kPhantomId, NULL, NULL));
    ULONG status, problem;
    EXPECT_EQ(0, dev_->GetDevStatus(kPhantomId, &status, &problem));
    ASSERT_EQ(1, dev_->RemoveDevice(kPhantomId, NULL, NULL));
    EXPECT_FALSE(winsim::Registry(machine()).KeyExists(enumKey));
    EXPECT_EQ(0, dev_->RemoveDevice(kPhantomId, NULL, NULL));
}

}  // namespace
