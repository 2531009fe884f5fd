// The display: EnumDisplaySettingsW, the adapters' settings keys and the rotate operation
// (registry value, current mode, the driver's posture event, the display-change hook).
#include <windows.h>

#include <ntddvdeo.h>

#include "winsim/api_display.h"

#include "sim_fixture.h"
#include "winsim/display.h"
#include "winsim/registry.h"
#include "winsim/vundg.h"

#include <cstring>
#include <tuple>

namespace {

using winsim::Display;

const std::wstring kVideoKey =
    std::wstring(Display::kHwProfile) + L"Control\\VIDEO\\{D2C1E5A0-6F3B-4C8D-9E21-7A4B5C6D8E9F}\\0000";

class DisplayTest : public SimTest {
protected:
    DisplayTest() : SimTest("tablet") {}
    Display display() { return Display(machine()); }

    static DEVMODEW Fresh() {
        DEVMODEW dm;
        std::memset(&dm, 0, sizeof dm);
        dm.dmSize = sizeof dm;
        return dm;
    }
};

TEST_F(DisplayTest, CurrentSettingsOfDisplay1) {
    for (LPCWSTR name : {static_cast<LPCWSTR>(NULL), L"\\\\.\\DISPLAY1", L"\\\\.\\Display1"}) {
        DEVMODEW dm = Fresh();
        ASSERT_TRUE(EnumDisplaySettingsW(name, ENUM_CURRENT_SETTINGS, &dm));
        EXPECT_EQ(1366u, dm.dmPelsWidth);
        EXPECT_EQ(768u, dm.dmPelsHeight);
        EXPECT_EQ(32u, dm.dmBitsPerPel);
        EXPECT_TRUE(dm.dmFields & DM_DISPLAYORIENTATION);
        EXPECT_EQ(static_cast<DWORD>(DMDO_DEFAULT), dm.dmDisplayOrientation);
        EXPECT_EQ(sizeof(DEVMODEW), dm.dmSize);
    }
    DEVMODEW dm = Fresh();
    EXPECT_FALSE(EnumDisplaySettingsW(L"\\\\.\\DISPLAY2", ENUM_CURRENT_SETTINGS, &dm));
    dm.dmSize = 0;
    EXPECT_FALSE(EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &dm));
    display().set_enum_error(ERROR_NOT_READY);
    dm = Fresh();
    EXPECT_FALSE(EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &dm));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
    display().set_enum_error(0);
    display().set_orientation_field(false);
    display().SetOrientation(DMDO_90);
    dm = Fresh();
    ASSERT_TRUE(EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &dm));
    EXPECT_FALSE(dm.dmFields & DM_DISPLAYORIENTATION);
    EXPECT_EQ(768u, dm.dmPelsWidth);
}

TEST_F(DisplayTest, ModeListEndsAndFollowsTheOrientation) {
    DWORD i = 0;
    DEVMODEW dm = Fresh();
    while (EnumDisplaySettingsW(NULL, i, &dm)) ++i;
    EXPECT_GT(i, 2u);
    dm = Fresh();
    ASSERT_TRUE(EnumDisplaySettingsW(NULL, 0, &dm));
    EXPECT_EQ(1366u, dm.dmPelsWidth);
    display().SetOrientation(DMDO_270);
    ASSERT_TRUE(EnumDisplaySettingsW(NULL, 0, &dm));
    EXPECT_EQ(768u, dm.dmPelsWidth);
    EXPECT_EQ(1366u, dm.dmPelsHeight);
}

struct RotateCase {
    const char* name;
    DWORD orientation;
    DWORD cx, cy;
};

class RotateTest : public DisplayTest, public ::testing::WithParamInterface<RotateCase> {};

TEST_P(RotateTest, OneOperationChangesEverythingThatShows) {
    const RotateCase& c = GetParam();
    std::vector<std::tuple<DWORD, DWORD, DWORD>> heard;
    display().AddChangeListener([&](DWORD bpp, DWORD cx, DWORD cy) { heard.emplace_back(bpp, cx, cy); });
    // A driver-event reader waits for the posture event.
    HANDLE h = CreateFileW(L"\\\\.\\VUNDG", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD in[2] = {0, 134}, out[2] = {0xFFFFFFFF, 0};
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    EXPECT_FALSE(DeviceIoControl(h, 0x222944, in, 8, out, 8, NULL, &ov));

    display().Rotate(c.orientation);

    winsim::Registry r(machine());
    EXPECT_EQ(c.orientation, r.GetDword(kVideoKey, L"DefaultSettings.Orientation"));
    EXPECT_EQ(c.cx, r.GetDword(kVideoKey, L"DefaultSettings.XResolution"));
    DEVMODEW dm = Fresh();
    ASSERT_TRUE(EnumDisplaySettingsW(L"\\\\.\\DISPLAY1", ENUM_CURRENT_SETTINGS, &dm));
    EXPECT_EQ(c.orientation, dm.dmDisplayOrientation);
    EXPECT_EQ(c.cx, dm.dmPelsWidth);
    EXPECT_EQ(c.cy, dm.dmPelsHeight);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ov.hEvent, 0));
    EXPECT_EQ(c.orientation, out[0]);
    ASSERT_EQ(1u, heard.size());
    EXPECT_EQ(std::make_tuple(32u, c.cx, c.cy), heard[0]);
    CloseHandle(ov.hEvent);
    CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Orientations, RotateTest,
                         ::testing::Values(RotateCase{"Default", DMDO_DEFAULT, 1366, 768},
                                           RotateCase{"By90", DMDO_90, 768, 1366},
                                           RotateCase{"By180", DMDO_180, 1366, 768},
                                           RotateCase{"By270", DMDO_270, 768, 1366}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(DisplayTest, SettingsKeyByVideoIdElseByService) {
    // A second adapter whose settings sit under its service.
    winsim::DisplayAdapterSpec a;
    a.instance_id = L"PCI\\VEN_1D2E&DEV_5000&SUBSYS_00000000&REV_01\\3&11583659&0&20";
    a.hardware_ids = {L"PCI\\VEN_1D2E&DEV_5000&SUBSYS_00000000&REV_01"};
    a.description = L"Second";
    a.service = L"second";
    a.video_id = L"{00000000-0000-0000-0000-000000000001}";
    a.video_route = false;
    display().AddAdapter(a);
    auto keys = display().SettingsKeys();
    ASSERT_EQ(2u, keys.size());
    EXPECT_EQ(kVideoKey, keys[0]);
    EXPECT_EQ(std::wstring(Display::kHwProfile) + L"Services\\second\\Device0", keys[1]);
    display().Rotate(DMDO_180);
    EXPECT_EQ(2u, winsim::Registry(machine()).GetDword(keys[1], L"DefaultSettings.Orientation"));
    EXPECT_THROW(display().Rotate(4), std::invalid_argument);
}

// The panel's brightness queries: the levels, the AC and DC brightness, a short buffer, an
// injected failure, an unknown code and a missing panel.
TEST_F(DisplayTest, PanelAnswersTheBrightnessQueries) {
    display().set_brightness_levels({5, 40, 100});
    display().set_brightness(40, 5);
    HANDLE h = CreateFileW(L"\\\\.\\LCD", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    BYTE levels[100] = {};
    DWORD n = 0;
    ASSERT_TRUE(DeviceIoControl(h, IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS, NULL, 0, levels, sizeof levels, &n, NULL));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(100, levels[2]);
    DISPLAY_BRIGHTNESS b = {};
    ASSERT_TRUE(DeviceIoControl(h, IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS, NULL, 0, &b, sizeof b, &n, NULL));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(std::make_tuple(DISPLAYPOLICY_BOTH, 40, 5),
              std::make_tuple(int(b.ucDisplayPolicy), int(b.ucACBrightness), int(b.ucDCBrightness)));
    const struct {
        DWORD code;
        DWORD size;
        DWORD error;
    } failures[] = {{IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS, 2, ERROR_INSUFFICIENT_BUFFER},
                    {IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS, 2, ERROR_INSUFFICIENT_BUFFER},
                    {0x23049C, sizeof levels, ERROR_INVALID_FUNCTION}};
    for (const auto& f : failures) {
        EXPECT_FALSE(DeviceIoControl(h, f.code, NULL, 0, levels, f.size, &n, NULL)) << f.code;
        EXPECT_EQ(f.error, GetLastError()) << f.code;
    }
    display().set_brightness_error(IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS, ERROR_GEN_FAILURE);
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS, NULL, 0, &b, sizeof b, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    CloseHandle(h);
    display().set_lcd_present(false);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(L"\\\\.\\LCD", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(DisplayProfiles, TabletPcSettingFollowsTheProfile) {
    EXPECT_TRUE(Display(*winsim::Machine::CreateInMemory("tablet")).tablet_pc());
    auto bare = winsim::Machine::CreateInMemory("bare");
    EXPECT_FALSE(Display(*bare).tablet_pc());
    EXPECT_EQ(1u, Display(*bare).SettingsKeys().size());
    EXPECT_EQ(0, bare->store().GetInt("display", "tabletpc", 1));  // what GetSystemMetrics(SM_TABLETPC) reads
}

}  // namespace
