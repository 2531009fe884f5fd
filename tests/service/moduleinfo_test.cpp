// The 3G module record on the tablet's device tree: the hardware-ID lists, the eject and
// re-add of the module's node, enable and disable through the class installer.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <optional>
#include <string>
#include <vector>

#include "HCIDevice.h"
#include "HCIOps.h"
#include "ModuleInfo.h"
#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/hci.h"
#include "winsim/registry.h"

namespace {

const std::wstring kIdKey = L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID";
const std::wstring kProductKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";
const std::wstring kModuleId = L"USB\\VID_1A2B&PID_3C4D";
const std::wstring kAtPortId = L"USB\\VID_1A2B&PID_3C4D&MI_03";
const std::wstring kModuleNode = L"USB\\VID_1A2B&PID_3C4D\\6&1F2E3D4C&0&4";
const std::wstring kRootHubNode = L"USB\\ROOT_HUB30\\4&2A6B1C3D&0&0";

class ModuleTest : public SimTest {
protected:
    ModuleTest() : SimTest("tablet") {}
    winsim::Registry reg() { return winsim::Registry(machine()); }
    winsim::DeviceTree tree() { return winsim::DeviceTree(machine()); }
    // Replaces a numbered list by the given entries (nullopt: the number is left out).
    void SetList(const std::wstring& key, const std::wstring& prefix,
                 const std::vector<std::optional<std::wstring>>& v) {
        for (int n = 0; n < 8; n++) reg().DeleteValue(key, prefix + std::to_wstring(n));
        for (size_t n = 0; n < v.size(); n++)
            if (v[n]) reg().SetString(key, prefix + std::to_wstring(n), *v[n]);
    }
};

// ----------------------------------------------------------------------------------------
// The numbered list rules, seen through the record and through the service's lookups.

struct ListCase {
    const char* name;
    std::vector<std::optional<std::wstring>> entries;
    std::wstring expected;  // "" no module
};

class ModuleList : public ModuleTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ModuleList, FirstPresentEntryIsTheModule) {
    SetList(kIdKey, L"3GID_SupportRL", GetParam().entries);
    CModuleInfo info;
    EXPECT_EQ(!GetParam().expected.empty(), !!info.IsPresent());
    EXPECT_EQ(GetParam().expected, std::wstring(info.GetModuleId()));
    EXPECT_EQ(info.IsPresent(), Is3GDeviceByReg());
}

const std::wstring k127(127, L'X');
const std::wstring k128(128, L'X');

INSTANTIATE_TEST_SUITE_P(
    Rules, ModuleList,
    ::testing::Values(ListCase{"Listed", {kModuleId}, kModuleId},
                      ListCase{"GapEndsTheList", {std::nullopt, kModuleId}, L""},
                      ListCase{"EntryOf127CharactersIsRead", {k127, kModuleId}, kModuleId},
                      ListCase{"EntryOf128CharactersEndsTheList", {k128, kModuleId}, L""},
                      ListCase{"EmptyEntryIsSkipped", {L"", kModuleId}, kModuleId},
                      ListCase{"OnlyEmptyEntryMatchesNothing", {L""}, L""},
                      ListCase{"OtherCaseMatches", {L"usb\\vid_1a2b&pid_3c4d"}, L"usb\\vid_1a2b&pid_3c4d"},
                      ListCase{"PrefixDoesNotMatch", {L"USB\\VID_1A2B"}, L""},
                      ListCase{"LongerIdDoesNotMatch", {kModuleId + L"&REV_0002X"}, L""},
                      ListCase{"FirstPresentWins", {L"USB\\VID_FFFF&PID_0001", kAtPortId, kModuleId}, kAtPortId},
                      ListCase{"NoEntries", {}, L""}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(ModuleTest, MissingListKeyGivesNoModule) {
    reg().DeleteKey(kIdKey);
    CModuleInfo info;
    EXPECT_FALSE(info.IsPresent());
    EXPECT_FALSE(info.IsEjectListed());
    EXPECT_FALSE(Is3GDeviceByReg());
}

TEST_F(ModuleTest, NonStringEntryEndsTheList) {
    reg().SetDword(kIdKey, L"3GID_SupportRL0", 1);
    reg().SetString(kIdKey, L"3GID_SupportRL1", kModuleId);
    EXPECT_FALSE(Is3GDeviceByReg());
}

TEST_F(ModuleTest, ModuleAwayFromTheTreeIsNotPresent) {
    tree().Unplug(tree().Find(kModuleNode));
    EXPECT_FALSE(CModuleInfo().IsPresent());
    EXPECT_FALSE(IsHwIdPresent(kModuleId.c_str()));
    EXPECT_FALSE(IsHwIdPresent(L""));
}

// A device whose hardware IDs were written as a plain string (one terminator) read after a
// device with longer IDs: nothing of the earlier device's IDs shows through.
TEST_F(ModuleTest, ShortPlainStringIdsLeaveNothingOfTheDeviceBefore) {
    winsim::DeviceSpec a;
    a.instance_id = L"ROOT\\QVXDEV\\0000";
    a.class_name = L"System";
    a.class_guid = winsim::devclass::kSystem;
    a.hardware_ids = std::vector<std::wstring>{L"ROOT\\QVXDEV&TARGET"};
    tree().Add(a);
    winsim::DeviceSpec b = a;
    b.instance_id = L"ROOT\\QVXDEV\\0001";
    DWORD nb = tree().Add(b);
    reg().SetString(tree().EnumKey(nb), L"HardwareID", L"ROOT\\QVXDEV");
    EXPECT_TRUE(IsHwIdPresent(L"ROOT\\QVXDEV"));
    EXPECT_TRUE(IsHwIdPresent(L"ROOT\\QVXDEV&TARGET"));
    EXPECT_FALSE(IsHwIdPresent(L"TARGET"));
}

struct AtPortCase {
    const char* name;
    std::vector<std::optional<std::wstring>> entries;
    std::wstring expected;
};
class AtPortList : public ModuleTest, public ::testing::WithParamInterface<AtPortCase> {};

TEST_P(AtPortList, FirstPresentEntryIsThePort) {
    SetList(kProductKey, L"ATCMDId", GetParam().entries);
    WCHAR sz[AT_PORT_ID_CCH] = L"junk";
    EXPECT_EQ(!GetParam().expected.empty(), !!GetAtCmdPortId(sz));
    EXPECT_EQ(GetParam().expected, std::wstring(sz));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AtPortList,
    ::testing::Values(AtPortCase{"Listed", {kAtPortId}, kAtPortId},
                      AtPortCase{"AbsentThenPresent", {L"USB\\VID_FFFF&PID_0001", kAtPortId}, kAtPortId},
                      AtPortCase{"EmptyThenPresent", {L"", kAtPortId}, kAtPortId},
                      AtPortCase{"Gap", {std::nullopt, kAtPortId}, L""}, AtPortCase{"None", {}, L""}),
    [](const auto& i) { return std::string(i.param.name); });

// ----------------------------------------------------------------------------------------
// SVCEjectId and ShifEjectDev.

struct EjectListCase {
    const char* name;
    std::vector<std::optional<std::wstring>> entries;
    std::optional<DWORD> shift;
    bool listed;
    DWORD levels;
};
class EjectList : public ModuleTest, public ::testing::WithParamInterface<EjectListCase> {};

TEST_P(EjectList, EntryBeginningWithTheModuleIdLists) {
    SetList(kProductKey, L"SVCEjectId", GetParam().entries);
    if (GetParam().shift) reg().SetDword(kProductKey, L"ShifEjectDev", *GetParam().shift);
    CModuleInfo info;
    ASSERT_TRUE(info.IsPresent());
    EXPECT_EQ(GetParam().listed, !!info.IsEjectListed());
    EXPECT_EQ(GetParam().levels, info.GetShiftLevels());
}

INSTANTIATE_TEST_SUITE_P(Rules, EjectList,
                         ::testing::Values(EjectListCase{"Equal", {kModuleId}, 1u, true, 1},
                                           EjectListCase{"LongerEntry", {kModuleId + L"&REV_0002"}, 2u, true, 2},
                                           EjectListCase{"ShorterEntry", {L"USB\\VID_1A2B"}, 1u, false, 0},
                                           EjectListCase{
                                               "OtherCase", {L"usb\\vid_1a2b&pid_3c4d"}, std::nullopt, true, 0},
                                           EjectListCase{"EmptyEntrySkipped", {L"", kModuleId}, 3u, true, 3},
                                           EjectListCase{"Gap", {std::nullopt, kModuleId}, 1u, false, 0}),
                         [](const auto& i) { return std::string(i.param.name); });

// ----------------------------------------------------------------------------------------
// Eject and re-add.

struct EjectCase {
    const char* name;
    DWORD shift;
    std::wstring node;    // expected ejected node ("" the root)
    std::wstring parent;  // expected parent ("" none: 0)
    int result;
};
class Eject : public ModuleTest, public ::testing::WithParamInterface<EjectCase> {};

TEST_P(Eject, ClimbsTheGivenLevels) {
    reg().SetDword(kProductKey, L"ShifEjectDev", GetParam().shift);
    CModuleInfo info;
    ASSERT_TRUE(info.IsEjectListed());
    EXPECT_EQ(GetParam().result, info.Eject(info.GetModuleId()));
    DWORD node = GetParam().node.empty() ? winsim::DeviceTree::kRoot : tree().Find(GetParam().node);
    EXPECT_EQ(node, info.GetEjectedNode());
    DWORD parent = GetParam().parent.empty() ? 0 : tree().Find(GetParam().parent);
    EXPECT_EQ(parent, info.GetEjectedParent());
    EXPECT_EQ(GetParam().result != 0, IsHwIdPresent(kModuleId.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Levels, Eject,
                         ::testing::Values(EjectCase{"OwnNode", 0, kModuleNode, kRootHubNode, 0},
                                           EjectCase{"Parent", 1, kRootHubNode,
                                                     L"PCI\\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B&REV_04\\3&11583659&0&A0",
                                                     0},
                                           EjectCase{"PastTheRoot", 100, L"", L"", 4}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(ModuleTest, ReAddBringsTheEjectedModuleBack) {
    CModuleInfo info;
    ASSERT_EQ(0, info.Eject(info.GetModuleId()));
    EXPECT_FALSE(IsHwIdPresent(kModuleId.c_str()));
    EXPECT_FALSE(IsHwIdPresent(kAtPortId.c_str()));
    EXPECT_EQ(0, info.ReAdd());
    EXPECT_TRUE(IsHwIdPresent(kModuleId.c_str()));
    EXPECT_TRUE(IsHwIdPresent(kAtPortId.c_str()));
}

TEST_F(ModuleTest, VetoedEjectKeepsTheModuleAndItsNodeForTheReAdd) {
    DWORD module = tree().Find(kModuleNode);
    tree().SetVeto(module, PNP_VetoDevice, L"held");
    CModuleInfo info;
    EXPECT_EQ(4, info.Eject(info.GetModuleId()));
    EXPECT_TRUE(IsHwIdPresent(kModuleId.c_str()));
    EXPECT_EQ(module, info.GetEjectedNode());
    // The re-add after it acts on the same node and leaves the module in place.
    EXPECT_EQ(0, info.ReAdd());
    EXPECT_TRUE(IsHwIdPresent(kModuleId.c_str()));
}

TEST_F(ModuleTest, EjectOfAnUnknownIdFindsNothing) {
    CModuleInfo info;
    EXPECT_EQ(6, info.Eject(L"USB\\VID_FFFF&PID_0001"));
    EXPECT_EQ(6, info.Eject(L""));
    EXPECT_EQ(0u, info.GetEjectedNode());
}

TEST_F(ModuleTest, ReAddWithoutEjectFails) {
    CModuleInfo info;
    EXPECT_EQ(1, info.ReAdd());
}

// ----------------------------------------------------------------------------------------
// Enable and disable of the module's USB node.

struct StateCase {
    const char* name;
    bool start_disabled;
    bool enable;
    DWORD restart_flags;
    DWORD installer_error;
    int outcome;  // DEVSTATE_*
    bool disabled_after;
};
class DeviceState : public ModuleTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(DeviceState, ActsOnlyOnTheOppositeState) {
    const StateCase& c = GetParam();
    CModuleInfo info;
    DWORD node = tree().Find(kModuleNode);
    if (c.start_disabled) {
        ASSERT_EQ(DEVSTATE_CHANGED, info.ChangeDeviceState(kModuleId.c_str(), FALSE));
    }
    tree().SetRestartNeeded(node, c.restart_flags);
    tree().SetInstallerError(node, c.installer_error);
    int outcome = info.ChangeDeviceState(kModuleId.c_str(), c.enable);
    EXPECT_EQ(c.outcome, outcome);
    auto n = tree().Get(node);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(c.disabled_after, n->disabled_global || n->disabled_config);
}

TEST_P(DeviceState, BoolFormIsTrueOnlyForAChangeWithoutRestart) {
    const StateCase& c = GetParam();
    CModuleInfo info;
    DWORD node = tree().Find(kModuleNode);
    if (c.start_disabled) {
        ASSERT_TRUE(info.DisableDevice(kModuleId.c_str()));
    }
    tree().SetRestartNeeded(node, c.restart_flags);
    tree().SetInstallerError(node, c.installer_error);
    BOOL r = c.enable ? info.EnableDevice(kModuleId.c_str()) : info.DisableDevice(kModuleId.c_str());
    EXPECT_EQ(c.outcome == DEVSTATE_CHANGED, !!r);
}

INSTANTIATE_TEST_SUITE_P(
    Gating, DeviceState,
    ::testing::Values(StateCase{"DisableRunning", false, false, 0, 0, DEVSTATE_CHANGED, true},
                      StateCase{"DisableDisabled", true, false, 0, 0, DEVSTATE_UNCHANGED, true},
                      StateCase{"EnableDisabled", true, true, 0, 0, DEVSTATE_CHANGED, false},
                      StateCase{"EnableRunning", false, true, 0, 0, DEVSTATE_UNCHANGED, false},
                      StateCase{"DisableNeedsRestart", false, false, DI_NEEDRESTART, 0, DEVSTATE_NEEDS_RESTART, true},
                      StateCase{"DisableNeedsReboot", false, false, DI_NEEDREBOOT, 0, DEVSTATE_NEEDS_RESTART, true},
                      StateCase{"InstallerFails", false, false, 0, ERROR_ACCESS_DENIED, DEVSTATE_UNCHANGED, false}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(ModuleTest, DeviceOutsideTheUsbClassIsNotChanged) {
    CModuleInfo info;
    EXPECT_EQ(DEVSTATE_UNCHANGED, info.ChangeDeviceState(kAtPortId.c_str(), FALSE));
}

// ----------------------------------------------------------------------------------------
// The RF-stop posture.

struct PostureCase {
    const char* name;
    DWORD flags;
    bool error;
    int posture;
};
class StopPosture : public ModuleTest, public ::testing::WithParamInterface<PostureCase> {};

TEST_P(StopPosture, FlagsAreTestedInOrder) {
    winsim::HciDriver hci(machine());
    hci.set_posture_flags(GetParam().flags);
    if (GetParam().error) hci.set_error(HCI_WWAN_RFSTOP_POSTURE, 0x0100);
    CModuleInfo info;
    EXPECT_EQ(GetParam().posture, info.GetRfStopPosture());
    EXPECT_EQ(GetParam().posture, HCIGetRfStopPosture());
}

INSTANTIATE_TEST_SUITE_P(
    Flags, StopPosture,
    ::testing::Values(PostureCase{"None", 0, false, 0}, PostureCase{"Only2000", 0x2000, false, 2},
                      PostureCase{"Only1000", 0x1000, false, 4}, PostureCase{"Only8000", 0x8000, false, 3},
                      PostureCase{"Only4000", 0x4000, false, 1}, PostureCase{"Both3000", 0x3000, false, 2},
                      PostureCase{"BothC000", 0xC000, false, 3}, PostureCase{"All", 0xF000, false, 2},
                      PostureCase{"OtherBits", 0x0FFF, false, 0}, PostureCase{"Error", 0x2000, true, 6}),
    [](const auto& i) { return std::string(i.param.name); });

struct DifferentCase {
    const char* name;
    DWORD flags;
    bool error;
    std::vector<int> same;  // posture codes 0-6 that count as the stop posture
};
class PostureDifferent : public ModuleTest, public ::testing::WithParamInterface<DifferentCase> {};

TEST_P(PostureDifferent, OnlyTheStopPostureEqualsItself) {
    winsim::HciDriver hci(machine());
    hci.set_posture_flags(GetParam().flags);
    if (GetParam().error) hci.set_error(HCI_WWAN_RFSTOP_POSTURE, 0x0100);
    CModuleInfo info;
    for (int code = 0; code <= 6; code++) {
        bool same = false;
        for (int s : GetParam().same) same = same || s == code;
        EXPECT_EQ(!same, !!info.IsPostureDifferent(code)) << "code " << code;
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, PostureDifferent,
                         ::testing::Values(DifferentCase{"Flag2000", 0x2000, false, {2}},
                                           DifferentCase{"Flag4000", 0x4000, false, {1}},
                                           DifferentCase{"NoFlags", 0, false, {0}},
                                           DifferentCase{"ReadError", 0x2000, true, {6}}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
