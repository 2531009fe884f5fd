// HCI requests: the bytes the driver receives and how replies are judged.
#include <windows.h>

#include "DbgMac.h"
#include "HCIDevice.h"
#include "sim_fixture.h"
#include "winsim/hci.h"
#include "winsim/registry.h"

namespace {

class HciTest : public SimTest {
protected:
    HciTest() : SimTest("tablet") {
        winsim::Registry r(machine());
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugLevel", 1);
        g_pDebugCtrl = new CDebugCtrl();
        machine().ClearDebugOutput();
    }
    ~HciTest() override {
        delete g_pDebugCtrl;
        g_pDebugCtrl = nullptr;
    }
    winsim::HciDriver hci() { return winsim::HciDriver(machine()); }
    // Debugger lines without the "name:" prefix and the header pair.
    std::vector<std::wstring> Logged() {
        std::vector<std::wstring> v;
        for (auto& l : DebugLines())
            if (l.find(L"Debug mode is enabled") == std::wstring::npos && l.find(L"Debug level") == std::wstring::npos)
                v.push_back(l.substr(l.find(L':') + 1));
        return v;
    }
};

TEST_F(HciTest, PowerSwitchSendsTheBlockInPlace) {
    CQivHCICtrl ctl;
    EXPECT_EQ(1, ctl.MBNPower(false));
    EXPECT_FALSE(hci().power());
    EXPECT_EQ(1, ctl.MBNPower(true));
    EXPECT_TRUE(hci().power());
    auto log = hci().log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ((std::array<DWORD, 6>{0xFF00, 0x56, 0, 0x4000, 0, 0}), log[0].in);
    EXPECT_EQ((std::array<DWORD, 6>{0xFF00, 0x56, 1, 0x4000, 0, 0}), log[1].in);
    EXPECT_EQ(0u, log[1].out[0]);
    std::vector<std::wstring> expected = {L"CQivHCICtrl::MBNPower: MBN is OFF.\n\n",
                                          L"CQivHCICtrl::MBNPower: MBN is ON.\n\n"};
    EXPECT_EQ(expected, Logged());
}

TEST_F(HciTest, MissingDeviceLogsOnThenError) {
    hci().set_present(false);
    CQivHCICtrl ctl;
    EXPECT_EQ(0, ctl.MBNPower(true));
    std::vector<std::wstring> expected = {L"CQivHCICtrl::MBNPower: MBN is ON.\n\n",
                                          L"CQivHCICtrl::MBNPower: Error.\n\n"};
    EXPECT_EQ(expected, Logged());
    EXPECT_TRUE(hci().log().empty());
}

TEST_F(HciTest, RefusedControlLeavesTheFunctionWordAndFails) {
    hci().set_refused(HCI_WWAN_POWER, true);
    EXPECT_EQ(0, CQivHCICtrl().MBNPower(true));
    hci().set_refused(HCI_WWAN_POWER, false);
    hci().set_open_error(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, CQivHCICtrl().MBNPower(true));
}

struct ReplyCase {
    const char* name;
    DWORD word0;
    BOOL ok;
};
class HciReplies : public HciTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(HciReplies, OnlyTheHighByteOfWordZeroIsAnError) {
    hci().set_error(HCI_WWAN_STATUS, GetParam().word0);
    hci().set_status(0x2001);
    DWORD v = 0;
    EXPECT_EQ(GetParam().ok, HCIExecute(HCI_GET, HCI_WWAN_STATUS, 0, &v));
    if (GetParam().ok) {
        EXPECT_EQ(0x2001u, v);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HciReplies,
                         ::testing::Values(ReplyCase{"Clear", 0x0000, TRUE}, ReplyCase{"LowByte", 0x00FF, TRUE},
                                           ReplyCase{"LowestHighBit", 0x0100, FALSE},
                                           ReplyCase{"TopBit", 0x8000, FALSE}, ReplyCase{"HighByte", 0xFF00, FALSE}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(HciTest, ReadsPostureFlagsAndRejectsUnknownSelectors) {
    hci().set_posture_flags(0x3000);
    DWORD v = 0;
    EXPECT_TRUE(HCIExecute(HCI_GET, HCI_WWAN_RFSTOP_POSTURE, 0, &v));
    EXPECT_EQ(0x3000u, v);
    EXPECT_FALSE(HCIExecute(HCI_GET, 0x77, 0, &v));
    EXPECT_FALSE(HCIExecute(HCI_SET, HCI_WWAN_RF, 2, nullptr));  // values are 0 or 1
}

TEST_F(HciTest, ControlWithTheWrongBufferSizeNeverReachesTheRegister) {
    HANDLE h = CreateFileW(HCI_DEVICE_NAME, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD block[7] = {HCI_SET, HCI_REG_WWAN, 0, HCI_WWAN_RF, 0, 0, 0};
    DWORD got = 0;
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_VUNDD_HCI, block, 28, block, 28, &got, nullptr));
    EXPECT_FALSE(DeviceIoControl(h, 0x222884, block, 24, block, 24, &got, nullptr));
    EXPECT_EQ(static_cast<DWORD>(HCI_SET), block[0]);
    EXPECT_TRUE(hci().rf());
    CloseHandle(h);
}

}  // namespace
