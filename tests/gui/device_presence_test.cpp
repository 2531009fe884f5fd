// Device presence: the eject list's prefix rule, the removal signal after a burst, and the
// driver's posture events reaching the frame, also once the driver appears late.
#include "gui_fixture.h"

#include <dbt.h>

#include "winsim/user.h"

#include <ostream>
#include <string>

namespace {

const wchar_t* kModule = L"USB\\VID_1A2B&PID_3C4D";

struct EjectCase {
    const char* name;
    const wchar_t* entry;
    bool match;
};
// Test names show the case name only.
void PrintTo(const EjectCase& c, std::ostream* os) { *os << c.name; }

class EjectList : public GuiTest, public ::testing::WithParamInterface<EjectCase> {};

TEST_P(EjectList, EntryBeginningWithTheModuleMatches) {
    winsim::Registry r(machine());
    r.DeleteValue(L"HKLM\\SOFTWARE\\Quarven\\Veltrane", L"EjectId0");
    r.SetString(L"HKLM\\SOFTWARE\\Quarven\\Veltrane", L"EjectId0", GetParam().entry);
    EXPECT_EQ(GetParam().match, IsEjectTarget(kModule) != FALSE);
}

INSTANTIATE_TEST_SUITE_P(Table, EjectList,
                         ::testing::Values(EjectCase{"Same", L"USB\\VID_1A2B&PID_3C4D", true},
                                           EjectCase{"OtherCaseWithMore", L"usb\\vid_1a2b&pid_3c4d&REV_0001", true},
                                           EjectCase{"Shorter", L"USB\\VID_1A2B&PID_3C", false},
                                           EjectCase{"Other", L"USB\\VID_1A2B&PID_9999", false},
                                           EjectCase{"Empty", L"", false},
                                           EjectCase{"TooLong",
                                                     L"USB\\VID_1A2B&PID_3C4D"
                                                     L"0123456789012345678901234567890123456789"
                                                     L"0123456789012345678901234567890123456789"
                                                     L"01234567890123456789012345678901234567",
                                                     false}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(GuiTest, RemovalBurstSetsDeviceChangeCompleteOnceAfterTheLast) {
    auto& f = Open();
    HANDLE ev = OpenEventW(SYNCHRONIZE, FALSE, L"DeviceChangeComplete");
    ASSERT_NE(nullptr, ev);
    HWND wnd = f.GetDevChkHwnd();
    ASSERT_NE(nullptr, wnd);
    PostMessageW(wnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    Sleep(1500);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(ev, 0)) << "arrivals never set it";
    PostMessageW(wnd, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    Sleep(500);
    PostMessageW(wnd, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    Sleep(999);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(ev, 0));
    Sleep(2);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ev, 0));
    CloseHandle(ev);
}

class DriverEvents : public GuiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DriverEvents, ThreeEventsPostCountsFromZero) {
    bool late = GetParam();
    if (late) vundg().set_present(false);
    auto& f = Open();
    if (late) {
        Pump(500);
        vundg().set_present(true);
    }
    Pump(200);
    winsim::user::ClearMessageLog(machine(), f.m_hWnd);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1u, vundg().Fire(VUNDG_EVENT_POSTURE, 0)) << i;
        Pump(1000);
    }
    std::vector<WPARAM> counts;
    for (auto& m : winsim::user::PostedLog(machine(), f.m_hWnd))
        if (m.msg == WM_APP_DRIVEREVENT) counts.push_back(m.wparam);
    EXPECT_EQ((std::vector<WPARAM>{0, 1, 2}), counts);
}

INSTANTIATE_TEST_SUITE_P(Driver, DriverEvents, ::testing::Bool(),
                         [](const auto& i) { return std::string(i.param ? "AppearingLate" : "Present"); });

}  // namespace
