// The device-class objects on machines with the modem and wireless devices: the modem
// search, the homologation stamp in both registry views, the ASPM and wake-on-ring writes,
// the capability value and the disable-then-enable round trip.
#include "ModemCtrl.h"

#include <cfgmgr32.h>

#include "lib_fixture.h"
#include "device_state.h"
#include "winsim/devices.h"
#include "winsim/wireless.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace winsim::wireless;
using Bytes = std::vector<uint8_t>;

class ModemCtrlTest : public LibTest {
protected:
    winsim::Registry reg() { return winsim::Registry(machine()); }
    winsim::DeviceTree tree() { return winsim::DeviceTree(machine()); }

    std::string NodeState(DWORD dn) { return NodeStateOf(tree(), dn); }
    void Disable(DWORD dn) { ASSERT_TRUE(DisableNode(tree(), dn)); }
    size_t Count(const std::wstring& text) {
        size_t n = 0;
        for (const auto& l : Logs()) n += l == text;
        return n;
    }
};

// The stamp's first byte toggles; a missing stamp becomes four zero bytes; anything else
// than four bytes, or no key, is left alone.
struct StampCase {
    const char* name;
    bool key;
    std::optional<Bytes> before;
    int result;
    std::optional<Bytes> after;
};

const StampCase kStamps[] = {
    {"Missing", true, std::nullopt, 1, Bytes{0, 0, 0, 0}},
    {"Zero", true, Bytes{0, 0, 0, 0}, 1, Bytes{1, 0, 0, 0}},
    {"One", true, Bytes{1, 0, 0, 0}, 1, Bytes{0, 0, 0, 0}},
    {"OtherBytesKept", true, Bytes{5, 2, 0, 0}, 1, Bytes{0, 2, 0, 0}},
    {"TooShortLeftAlone", true, Bytes{1, 2}, 0, Bytes{1, 2}},
    {"TooLongLeftAlone", true, Bytes{1, 2, 3, 4, 5}, 0, Bytes{1, 2, 3, 4, 5}},
    {"NoKey", false, std::nullopt, 0, std::nullopt},
};

TEST_F(ModemCtrlTest, HomolStamp) {
    for (const auto& c : kStamps) {
        reg().DeleteKey(kSoftModemKey);
        if (c.key) reg().CreateKey(kSoftModemKey);
        if (c.before) reg().SetValue(kSoftModemKey, L"HomolTimeStamp", REG_BINARY, *c.before);
        auto modem = std::make_unique<CModemCtrl>();
        EXPECT_EQ(c.result, modem->InitHomolTime(MODEMCTRL_HOMOL_ACCESS)) << c.name;
        auto v = reg().GetValue(kSoftModemKey, L"HomolTimeStamp");
        EXPECT_EQ(c.after.has_value(), v.has_value()) << c.name;
        if (v && c.after) {
            EXPECT_EQ(*c.after, v->data) << c.name;
            EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v->type) << c.name;
        }
    }
}

TEST_F(ModemCtrlTest, HomolStampLogsWhatItReadAndWrote) {
    SoftModemSpec s;
    s.stamp = Bytes{5, 2, 0, 0};
    AddSoftModem(machine(), s);
    auto modem = std::make_unique<CModemCtrl>();
    ASSERT_EQ(1, modem->InitHomolTime(MODEMCTRL_HOMOL_ACCESS));
    EXPECT_TRUE(Logged(L"ModemCtrl->InitHomolTime->Get Homol Time=0x0205 "));
    EXPECT_TRUE(Logged(L"ModemCtrl->InitHomolTime->Set Homol Time=0x0200"));
    EXPECT_TRUE(Logged(L"ModemCtrl->InitHomolTime->end"));
}

// The mask chooses the view: a 64-bit process reaches the 32-bit driver's key with the
// 32-bit view's mask only.
struct ViewCase {
    const char* name;
    bool wow32_key;
    REGSAM sam;
    int result;
};

const ViewCase kViews[] = {
    {"OwnViewOwnKey", false, MODEMCTRL_HOMOL_ACCESS, 1},
    {"OwnViewMissesThe32BitKey", true, MODEMCTRL_HOMOL_ACCESS, 0},
    {"View32ReachesThe32BitKey", true, MODEMCTRL_HOMOL_ACCESS_32, 1},
    {"View32MissesThe64BitKey", false, MODEMCTRL_HOMOL_ACCESS_32, 0},
    {"View64", false, MODEMCTRL_HOMOL_ACCESS_64, 1},
};

TEST_F(ModemCtrlTest, HomolStampView) {
    for (const auto& c : kViews) {
        reg().DeleteKey(kSoftModemKey);
        reg().DeleteKey(kSoftModemKey32);
        std::wstring key = c.wow32_key ? kSoftModemKey32 : kSoftModemKey;
        reg().CreateKey(key);
        reg().SetValue(key, L"HomolTimeStamp", REG_BINARY, Bytes{0, 0, 0, 0});
        auto modem = std::make_unique<CModemCtrl>();
        EXPECT_EQ(c.result, modem->InitHomolTime(c.sam)) << c.name;
        Bytes expected = c.result ? Bytes{1, 0, 0, 0} : Bytes{0, 0, 0, 0};
        EXPECT_EQ(expected, reg().GetValue(key, L"HomolTimeStamp")->data) << c.name;
    }
}

TEST_F(ModemCtrlTest, ModemSearchPassesOverAModemWithoutIds) {
    auto modem = std::make_unique<CModemCtrl>();
    EXPECT_EQ(0, modem->IsExist());
    EXPECT_TRUE(Logged(L"ModemCtrl->IsExist->Could not find modem"));
    winsim::DeviceSpec bare;
    bare.instance_id = L"ROOT\\MODEM\\0000";
    bare.class_name = L"Modem";
    bare.class_guid = winsim::devclass::kModem;
    bare.hardware_ids = std::nullopt;
    tree().Add(bare);
    AddSoftModem(machine(), SoftModemSpec());
    EXPECT_EQ(1, modem->IsExist());
    EXPECT_STREQ(SoftModemSpec().hardware_id.c_str(), modem->GetFoundHwId());
}

TEST_F(ModemCtrlTest, AspmOnlyWhereTheValueExists) {
    WlanSpec s;
    s.settings = {{L"A", 1}, {L"B", std::nullopt}, {L"C", 0}};
    Devices d = AddWlanAdapter(machine(), s);
    std::wstring params = tree().ParametersKey(d.device);
    auto wlan = std::make_unique<CWLANCtrl>();
    ASSERT_EQ(1, wlan->Open());
    EXPECT_EQ(s.hardware_id, wlan->GetEnumId());
    EXPECT_EQ(1, wlan->SetASPMOptIn(0));
    EXPECT_EQ(std::optional<DWORD>(0), reg().GetDword(params + L"\\A", L"ASPMOptIn"));
    EXPECT_EQ(std::optional<DWORD>(0), reg().GetDword(params + L"\\C", L"ASPMOptIn"));
    EXPECT_FALSE(reg().GetDword(params + L"\\B", L"ASPMOptIn").has_value());
    EXPECT_EQ(1, wlan->SetASPMOptIn(1));
    EXPECT_EQ(std::optional<DWORD>(1), reg().GetDword(params + L"\\C", L"ASPMOptIn"));

    // Without the value anywhere nothing is written.
    reg().DeleteValue(params + L"\\A", L"ASPMOptIn");
    reg().DeleteValue(params + L"\\C", L"ASPMOptIn");
    EXPECT_EQ(0, wlan->SetASPMOptIn(0));
    EXPECT_FALSE(reg().GetDword(params + L"\\A", L"ASPMOptIn").has_value());
}

TEST_F(ModemCtrlTest, WakeOnRingOnEveryInstance) {
    WwanModemSpec s;
    s.instances = 3;
    Devices d = AddWwanModem(machine(), s);
    auto modem = std::make_unique<CWModemCtrl>();
    ASSERT_EQ(1, modem->Open());
    EXPECT_EQ(s.composite_id, modem->GetDeviceId());
    EXPECT_EQ(1, modem->SetWakeOnRing());
    for (DWORD dn : d.instances)
        EXPECT_EQ(std::optional<DWORD>(1), reg().GetDword(tree().ParametersKey(dn), L"WakeOnRing"));
    // No interface 00: nothing written, and so a failure.
    EXPECT_EQ(0, modem->WriteWORReg(L"USB\\VID_0000&PID_0000", L"WakeOnRing", 1));
}

// An instance whose key cannot be opened is passed over, and the result says whether
// anything was written.
TEST_F(ModemCtrlTest, WakeOnRingSkipsWhatCannotBeOpened) {
    struct Case {
        const char* name;
        bool deny_instance;  // the first instance's key cannot be read
        bool deny_params;    // the second one's Device Parameters cannot be written
        int result;
    } cases[] = {
        {"InstanceSkipped", true, false, 1},
        {"NothingWritten", true, true, 0},
    };
    for (const auto& c : cases) {
        WwanModemSpec s;
        s.composite_id = std::wstring(L"USB\\VID_2C7C&PID_01") + (c.deny_params ? L"26" : L"27");
        s.instances = 2;
        Devices d = AddWwanModem(machine(), s);
        const std::wstring params0 = tree().ParametersKey(d.instances[0]);
        const std::wstring params1 = tree().ParametersKey(d.instances[1]);
        reg().SetDenyRead(params0.substr(0, params0.rfind(L'\\')), c.deny_instance);
        reg().SetDenyWrite(params1, c.deny_params);
        auto modem = std::make_unique<CWModemCtrl>();
        EXPECT_EQ(c.result, modem->WriteWORReg(s.composite_id.c_str(), L"WakeOnRing", 1)) << c.name;
        EXPECT_FALSE(reg().GetDword(params0, L"WakeOnRing").has_value()) << c.name;
        EXPECT_EQ(!c.deny_params, reg().GetDword(params1, L"WakeOnRing").has_value()) << c.name;
    }
}

TEST_F(ModemCtrlTest, CapabilityValue) {
    WlanSpec s;
    s.list_index = 0;
    s.capability = 0x24;
    AddWlanAdapter(machine(), s);
    auto wlan = std::make_unique<CWLANCtrl>();
    DWORD cap = 7;
    EXPECT_EQ(1, wlan->GetWlDevCapByReg(0, &cap));
    EXPECT_EQ(0x24u, cap);
    cap = 7;
    EXPECT_EQ(0, wlan->GetWlDevCapByReg(1, &cap));
    EXPECT_EQ(7u, cap);
    EXPECT_TRUE(Logged(L"GetWlDevCapByReg->Not found DevCap_SupportRL1"));
}

// The round trip disables each matching device once (the composite device carries two
// matching IDs; its modem function goes with it) and enables again only what it disabled:
// a device the user had disabled stays disabled.
TEST_F(ModemCtrlTest, WirelessModemRoundTripLeavesUserDisabledDevices) {
    WwanModemSpec s;
    Devices d = AddWwanModem(machine(), s);
    DWORD composite = tree().Get(d.device)->parent;
    winsim::DeviceSpec other;
    other.instance_id = L"ROOT\\MODEM\\0001";
    other.class_name = L"Modem";
    other.class_guid = winsim::devclass::kModem;
    other.hardware_ids = std::vector<std::wstring>{s.composite_id + L"&MI_02"};
    DWORD user_disabled = tree().Add(other);
    Disable(user_disabled);

    auto modem = std::make_unique<CWModemCtrl>();
    ASSERT_EQ(1, modem->Open());
    modem->EnableAllProperty(0);
    EXPECT_EQ("disabled", NodeState(composite));
    EXPECT_EQ("absent", NodeState(d.device));
    EXPECT_EQ(1u, Count(L"Detect:Device is enabled->Disalbe device."));
    modem->EnableAllProperty(1);
    EXPECT_EQ("running", NodeState(composite));
    EXPECT_EQ("running", NodeState(d.device));
    EXPECT_EQ("disabled", NodeState(user_disabled));
}

// The adapter's round trip needs the whole ID: a list entry that is only its beginning
// finds the adapter but changes nothing.
TEST_F(ModemCtrlTest, WlanRoundTripNeedsTheWholeId) {
    struct Case {
        const char* name;
        std::wstring list_id;
        int found;
        const char* while_disabled;
    } cases[] = {
        {"WholeId", L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01", 1, "disabled"},
        {"Prefix", L"PCI\\VEN_168C&DEV_0E5A", 0, "running"},
    };
    for (const auto& c : cases) {
        WlanSpec s;
        s.list_id = c.list_id;
        Devices d = AddWlanAdapter(machine(), s);
        auto wlan = std::make_unique<CWLANCtrl>();
        ASSERT_EQ(1, wlan->Open()) << c.name;
        EXPECT_EQ(c.found, wlan->EnableAllProperty(0)) << c.name;
        EXPECT_EQ(c.while_disabled, NodeState(d.device)) << c.name;
        wlan->EnableAllProperty(1);
        EXPECT_EQ("running", NodeState(d.device)) << c.name;
        tree().Uninstall(d.device);
    }
}

}  // namespace
