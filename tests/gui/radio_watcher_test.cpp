// The Mobile Broadband radio watcher: when the module comes up with its radio off though the
// wireless switch is on, RF off and a new decision 500 ms later, at most three times 4000 ms
// apart; nothing for a radio on, a switch off or a failing query; the version gate; the
// sink withdrawn at the end; a stop during a pass.
#include "gui_fixture.h"

#include "winsim/mbn.h"
#include "winsim/osinfo.h"

#include <ostream>
#include <string>
#include <utility>

namespace {

using winsim::mbn::Call;
using winsim::mbn::kTabletInterfaceId;

class Watcher : public GuiTest {
protected:
    winsim::mbn::Service mbn() { return winsim::mbn::Service(machine()); }
    RecordingFrame& OpenWatching() {
        SetProduct(L"EnableRFRefresh", 1);
        return Open();
    }
    void SetHardwareRadio(MBN_RADIO r) {
        auto iface = *mbn().Interface(kTabletInterfaceId);
        iface.hardware_radio = r;
        mbn().SetInterface(iface);
    }
    // The module comes up; returns (ms after it, code) of each control for ms.
    std::vector<std::pair<DWORD, DWORD>> ComeUp(DWORD ms) {
        frame_->codes.clear();
        DWORD start = GetTickCount();
        EXPECT_TRUE(mbn().NotifyCapabilityAvailable(kTabletInterfaceId));
        std::vector<std::pair<DWORD, DWORD>> seen;
        for (DWORD t = 0; t < ms; t += 100) {
            Pump(100);
            for (size_t i = seen.size(); i < frame_->codes.size(); ++i)
                seen.push_back({(GetTickCount() - start) / 100 * 100, frame_->codes[i]});
        }
        return seen;
    }
};

struct RadioCase {
    const char* name;
    MBN_RADIO hardware;
    DWORD hci_status;
    bool query_fails;
    int queries;
    std::vector<std::pair<DWORD, DWORD>> controls;
};
void PrintTo(const RadioCase& c, std::ostream* os) { *os << c.name; }
class Radio : public Watcher, public ::testing::WithParamInterface<RadioCase> {};

TEST_P(Radio, RefreshOnlyForARadioOffWithTheSwitchOn) {
    const auto& c = GetParam();
    hci().set_status(c.hci_status);
    SetHardwareRadio(c.hardware);
    if (c.query_fails) mbn().InjectFailure(L"", Call::HardwareRadioState, E_FAIL);
    auto& f = OpenWatching();
    ASSERT_TRUE(f.GetMBApi().IsWatching());
    int before = mbn().CallCount(Call::HardwareRadioState);
    EXPECT_EQ(c.controls, ComeUp(14000));
    EXPECT_EQ(c.queries, mbn().CallCount(Call::HardwareRadioState) - before);
}

const std::vector<std::pair<DWORD, DWORD>> kThreeRefreshes = {{1000, 129}, {1500, 128},  {5500, 129},
                                                              {6000, 128}, {10000, 129}, {10500, 128}};

INSTANTIATE_TEST_SUITE_P(Table, Radio,
                         ::testing::Values(RadioCase{"OffWithSwitchOn", MBN_RADIO_OFF, 0x2001, false, 3,
                                                     kThreeRefreshes},
                                           RadioCase{"On", MBN_RADIO_ON, 0x2001, false, 1, {}},
                                           RadioCase{"SwitchOff", MBN_RADIO_OFF, 0x2000, false, 1, {}},
                                           RadioCase{"Bit13Clear", MBN_RADIO_OFF, 0x0001, false, 1, {}},
                                           RadioCase{"QueryFails", MBN_RADIO_OFF, 0x2001, true, 3, {}}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Watcher, RadioBackOnEndsTheRefreshes) {
    hci().set_status(0x2001);
    SetHardwareRadio(MBN_RADIO_OFF);
    OpenWatching();
    auto first = ComeUp(2000);
    EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{1000, 129}, {1500, 128}}), first);
    SetHardwareRadio(MBN_RADIO_ON);
    frame_->codes.clear();
    Pump(10000);
    EXPECT_TRUE(frame_->codes.empty());
}

TEST_F(Watcher, StopDuringAPassEndsAtOnceAndWithdrawsTheSink) {
    hci().set_status(0x2001);
    SetHardwareRadio(MBN_RADIO_OFF);
    OpenWatching();
    EXPECT_EQ(1, mbn().InterfaceEventSinks());
    ComeUp(2000);  // the watcher now waits before its second pass
    DWORD start = GetTickCount();
    Close();
    EXPECT_GT(500u, GetTickCount() - start);
    EXPECT_EQ(0, mbn().InterfaceEventSinks());
}

struct GateCase {
    const char* name;
    DWORD major, minor;
    DWORD enable;
    bool registered;
    bool watching;
};
void PrintTo(const GateCase& c, std::ostream* os) { *os << c.name; }
class Gate : public Watcher, public ::testing::WithParamInterface<GateCase> {};

TEST_P(Gate, WatcherStartsOnlyWhereItCan) {
    const auto& c = GetParam();
    winsim::os::Version v;
    v.major = c.major;
    v.minor = c.minor;
    winsim::os::SetVersion(machine(), v);
    mbn().SetClassRegistered(c.registered);
    SetProduct(L"EnableRFRefresh", c.enable);
    auto& f = Open();
    EXPECT_EQ(c.watching, f.GetMBApi().IsWatching() != FALSE);
    EXPECT_EQ(c.watching ? 1 : 0, mbn().InterfaceEventSinks());
}

INSTANTIATE_TEST_SUITE_P(Table, Gate,
                         ::testing::Values(GateCase{"Windows7", 6, 1, 1, true, true},
                                           GateCase{"Windows10", 10, 0, 1, true, true},
                                           GateCase{"Vista", 6, 0, 1, true, false},
                                           GateCase{"XP", 5, 1, 1, true, false},
                                           GateCase{"RefreshOff", 6, 1, 0, true, false},
                                           GateCase{"NoMobileBroadband", 6, 1, 1, false, false}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
