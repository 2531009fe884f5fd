// The modem and wireless devices a test installs: what SetupAPI lists of them and the keys
// the setup program's modem and wireless commands write.
#include <windows.h>

#include "devices_test_util.h"
#include "sim_fixture.h"
#include "winsim/registry.h"
#include "winsim/wireless.h"

namespace {

using namespace winsim::wireless;

class WirelessTest : public SimTest {
protected:
    WirelessTest() : SimTest("bare") {}
    winsim::Registry reg() { return winsim::Registry(machine()); }
};

TEST_F(WirelessTest, SoftModemKeyInTheDriversView) {
    SoftModemSpec s;
    s.stamp = std::vector<uint8_t>{5, 2, 0, 0};
    Devices d = AddSoftModem(machine(), s);
    EXPECT_TRUE(devtest::Contains(devtest::ListIds(&GUID_DEVCLASS_MODEM, NULL, DIGCF_PRESENT), d.instance_id));
    auto v = reg().GetValue(kSoftModemKey, L"HomolTimeStamp");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v->type);
    EXPECT_EQ((std::vector<uint8_t>{5, 2, 0, 0}), v->data);

    // The 32-bit driver's key, without a stamp.
    reg().DeleteKey(kSoftModemKey);
    SoftModemSpec s32;
    s32.wow32 = true;
    s32.hardware_id = L"PCI\\VEN_11D4&DEV_1041";
    AddSoftModem(machine(), s32);
    EXPECT_TRUE(reg().KeyExists(kSoftModemKey32));
    EXPECT_FALSE(reg().KeyExists(kSoftModemKey));
    EXPECT_FALSE(reg().GetValue(kSoftModemKey32, L"HomolTimeStamp").has_value());
}

TEST_F(WirelessTest, WlanAdapterSettingsAndLists) {
    WlanSpec s;
    s.list_index = 2;
    s.capability = 0x10;
    s.settings = {{L"A", 1}, {L"B", std::nullopt}};
    Devices d = AddWlanAdapter(machine(), s);
    EXPECT_TRUE(devtest::Contains(devtest::ListIds(&GUID_DEVCLASS_NET, NULL, DIGCF_PRESENT), d.instance_id));
    std::wstring params = winsim::DeviceTree(machine()).ParametersKey(d.device);
    EXPECT_EQ(std::optional<DWORD>(1), reg().GetDword(params + L"\\A", L"ASPMOptIn"));
    EXPECT_TRUE(reg().KeyExists(params + L"\\B"));
    EXPECT_FALSE(reg().GetDword(params + L"\\B", L"ASPMOptIn").has_value());
    EXPECT_EQ(std::optional<std::wstring>(s.hardware_id), reg().GetString(kListKey, L"DevID_SupportRL2"));
    EXPECT_EQ(std::optional<DWORD>(0x10), reg().GetDword(kListKey, L"DevCap_SupportRL2"));
}

TEST_F(WirelessTest, WwanModemInstancesUnderOneInterfaceKey) {
    WwanModemSpec s;
    s.instances = 3;
    Devices d = AddWwanModem(machine(), s);
    ASSERT_EQ(3u, d.instances.size());
    auto present = devtest::ListIds(&GUID_DEVCLASS_MODEM, NULL, DIGCF_PRESENT);
    auto installed = devtest::ListIds(&GUID_DEVCLASS_MODEM, NULL, 0);
    EXPECT_EQ(1u, present.size());
    EXPECT_EQ(3u, installed.size());
    std::wstring key = L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + s.composite_id + L"&MI_00";
    auto keys = reg().ListKeys(key);
    ASSERT_EQ(3u, keys.size());
    for (const auto& k : keys) EXPECT_TRUE(reg().KeyExists(key + L"\\" + k + L"\\Device Parameters"));
    EXPECT_EQ(std::optional<std::wstring>(s.composite_id), reg().GetString(kListKey, L"3GID_SupportRL0"));
}

}  // namespace
