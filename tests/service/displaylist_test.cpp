// The driver class, the display list and the service's posture rule on the tablet.
#include <windows.h>

#include "DisplayList.h"
#include "VUNDGIF.h"
#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/display.h"
#include "winsim/registry.h"
#include "winsim/vundg.h"

#include <cstring>

namespace {

using winsim::Display;
using winsim::VundgDriver;

const std::wstring kHwProfile = L"HKLM\\" DISPLAY_HWPROFILE_PREFIX;
const std::wstring kTabletKey =
    L"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\"
    L"Control\\VIDEO\\{D2C1E5A0-6F3B-4C8D-9E21-7A4B5C6D8E9F}\\0000";
const wchar_t* kSorbelt = L"HKLM\\SOFTWARE\\Quarven\\WirelessAPL\\Sorbelt";

class ServiceDisplayTest : public SimTest {
protected:
    ServiceDisplayTest() : SimTest("tablet", L"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe") {}
    VundgDriver drv() { return VundgDriver(machine()); }
    winsim::Registry reg() { return winsim::Registry(machine()); }

    // A second display adapter; its settings under VIDEO or under its service.
    void AddAdapter(const std::wstring& tag, bool video_route, bool settings, DWORD bpp = 32, DWORD orientation = 0) {
        winsim::DisplayAdapterSpec a;
        a.instance_id = L"PCI\\VEN_1D2E&DEV_" + tag + L"&SUBSYS_00000000&REV_01\\3&11583659&0&" + tag;
        a.hardware_ids = {L"PCI\\VEN_1D2E&DEV_" + tag + L"&SUBSYS_00000000&REV_01"};
        a.description = L"Adapter " + tag;
        a.service = L"svc" + tag;
        a.video_id = L"{00000000-0000-0000-0000-00000000" + tag + L"}";
        a.video_route = video_route;
        a.settings = settings;
        a.bits_per_pel = bpp;
        a.orientation = orientation;
        Display(machine()).AddAdapter(a);
    }
};

TEST_F(ServiceDisplayTest, MethodRequestHasTheDocumentedBytes) {
    drv().set_plst(0x15);
    drv().clear_log();
    VUNDGIF dev;
    ASSERT_TRUE(dev.Open(FALSE));
    DWORD value = 0, status = 0xBAD;
    EXPECT_EQ(0u, dev.EvalMethod(VUNDG_METHOD_PLST, &value, &status));
    EXPECT_EQ(0x15u, value);
    EXPECT_EQ(0u, status);
    EXPECT_TRUE(dev.Close());
    EXPECT_EQ(NULL, dev.GetHandle());
    auto log = drv().log();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(0x222940u, log[0].code);
    DWORD expected[8] = {0, 8, 0x42696541, 0x54534C50, 0, 0, 0, 0};
    ASSERT_EQ(32u, log[0].in.size());
    EXPECT_EQ(0, std::memcmp(expected, log[0].in.data(), 32));
}

struct EvalCase {
    const char* name;
    DWORD reply_size;    // 0: as the driver answers
    DWORD method_error;  // injected
    DWORD result;
    DWORD status;
    DWORD value;  // 0x77: untouched
};

class EvalTest : public ServiceDisplayTest, public ::testing::WithParamInterface<EvalCase> {};

TEST_P(EvalTest, ResultStatusAndValue) {
    const EvalCase& c = GetParam();
    drv().set_plst(3);
    drv().set_reply_status(0x11);
    if (c.reply_size) drv().set_reply_size(c.reply_size);
    if (c.method_error) drv().set_method_error(c.method_error);
    VUNDGIF dev;
    ASSERT_TRUE(dev.Open(FALSE));
    DWORD value = 0x77, status = 0xBAD;
    EXPECT_EQ(c.result, dev.EvalMethod(VUNDG_METHOD_PLST, &value, &status));
    EXPECT_EQ(c.status, status);
    EXPECT_EQ(c.value, value);
    // Either pointer may be left out.
    EXPECT_EQ(c.result, dev.EvalMethod(VUNDG_METHOD_PLST, NULL, NULL));
    dev.Close();
}

INSTANTIATE_TEST_SUITE_P(Replies, EvalTest,
                         ::testing::Values(EvalCase{"Full", 0, 0, 0, 0x11, 3}, EvalCase{"Exactly28", 28, 0, 0, 0x11, 3},
                                           // Offset 24 is read only when the answer reaches past it.
                                           EvalCase{"StopsBeforeTheValue", 27, 0, 0, 0x11, 0x77},
                                           EvalCase{"OnlyTheStatus", 4, 0, 0, 0x11, 0x77},
                                           EvalCase{"Failing", 0, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE, 0xFFFFFFFF,
                                                    0x77}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceDisplayTest, OpenAndCloseOfAMissingDevice) {
    drv().set_present(false);
    VUNDGIF dev;
    EXPECT_FALSE(dev.Open(TRUE));
    EXPECT_EQ(NULL, dev.GetHandle());
    EXPECT_FALSE(dev.Close());
    DWORD value = 0;
    EXPECT_FALSE(dev.WaitEvent(VUNDG_EVENT_POSTURE, &value, 0));
}

struct PostureCase {
    const char* name;
    DWORD plst;
    DWORD orientation;  // DefaultSettings.Orientation in the chosen key
    int posture;
};

class PostureTest : public ServiceDisplayTest, public ::testing::WithParamInterface<PostureCase> {};

TEST_P(PostureTest, LowTwoBitsOfPlstThenTheOrientation) {
    const PostureCase& c = GetParam();
    drv().set_plst(c.plst);
    reg().SetDword(L"HKLM\\" + kTabletKey, L"DefaultSettings.Orientation", c.orientation);
    CDisplayList list;
    drv().clear_log();
    EXPECT_EQ(c.posture, list.GetServicePosture());
    EXPECT_EQ(1u, drv().log().size());  // one evaluation, the device opened and closed
}

INSTANTIATE_TEST_SUITE_P(Plst, PostureTest,
                         ::testing::Values(PostureCase{"Bits1Orientation0", 0x5, 0, 1},
                                           PostureCase{"Bits1Orientation3", 0x1, 3, 4},
                                           PostureCase{"Bits1UnknownOrientation", 0x1, 7, 0},
                                           PostureCase{"Bits2", 0x6, 3, 5}, PostureCase{"Bits0", 0x4, 0, 5},
                                           PostureCase{"Bits3", 0x3, 0, 0},
                                           PostureCase{"HighBitsIgnored", 0xFFFFFFF1, 1, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceDisplayTest, PostureWhenTheDriverFails) {
    CDisplayList list;
    drv().set_method_error(ERROR_INVALID_FUNCTION);
    EXPECT_EQ(POSTURE_RF_FREE, list.GetServicePosture());
    drv().set_method_error(0);
    drv().remove_method("PLST");
    EXPECT_EQ(POSTURE_RF_FREE, list.GetServicePosture());
    drv().set_present(false);
    EXPECT_EQ(POSTURE_NONE, list.GetServicePosture());
}

TEST_F(ServiceDisplayTest, OrientationTableReadAnewEachCall) {
    CDisplayList list;
    EXPECT_EQ(kTabletKey, list.GetKeyPath());
    struct {
        DWORD value;
        int posture;
    } table[] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}, {7, 0}, {0xFFFFFFFF, 0}};
    for (auto& t : table) {
        reg().SetDword(L"HKLM\\" + kTabletKey, L"DefaultSettings.Orientation", t.value);
        EXPECT_EQ(t.posture, list.GetOrientationXPTEbyReg()) << t.value;
    }
    reg().SetString(L"HKLM\\" + kTabletKey, L"DefaultSettings.Orientation", L"1");
    EXPECT_EQ(ROTATION_UNKNOWN, list.GetOrientationXPTEbyReg());
    reg().DeleteValue(L"HKLM\\" + kTabletKey, L"DefaultSettings.Orientation");
    EXPECT_EQ(ROTATION_UNKNOWN, list.GetOrientationXPTEbyReg());
    reg().DeleteKey(L"HKLM\\" + kTabletKey);
    EXPECT_EQ(ROTATION_UNKNOWN, list.GetOrientationXPTEbyReg());
}

TEST_F(ServiceDisplayTest, RotatingTheDisplayChangesThePosture) {
    CDisplayList list;
    EXPECT_EQ(POSTURE_DMDO_DEFAULT, list.GetServicePosture());
    Display(machine()).Rotate(3);
    EXPECT_EQ(POSTURE_DMDO_270, list.GetServicePosture());
    Display(machine()).Rotate(1);
    EXPECT_EQ(POSTURE_DMDO_90, list.GetServicePosture());
}

TEST_F(ServiceDisplayTest, RecordsOfTheTabletAdapter) {
    CDisplayList list;
    ASSERT_EQ(1, list.GetCount());
    const DisplayRecord* r = list.GetRecord(0);
    EXPECT_STREQ(L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B&REV_09", r->szHardwareIds);
    // The multi-string goes on after the first ID.
    const WCHAR* second = r->szHardwareIds + wcslen(r->szHardwareIds) + 1;
    EXPECT_STREQ(L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B", second);
    EXPECT_STREQ(L"Tessel HD Graphics 4000", r->szDescription);
    EXPECT_STREQ(L"", r->szFriendlyName);
    EXPECT_STREQ(L"tsgfx", r->szService);
    EXPECT_STREQ(L"{D2C1E5A0-6F3B-4C8D-9E21-7A4B5C6D8E9F}", r->szVideoId);
    EXPECT_STREQ(L"{4d36e968-e325-11ce-bfc1-08002be10318}\\0000", r->szDriverKey);
    EXPECT_EQ(32u, r->dwBitsPerPel);
    EXPECT_EQ(1366u, r->dwWidth);
    EXPECT_EQ(768u, r->dwHeight);
    EXPECT_FALSE(r->bServiceRoute);
    EXPECT_EQ(NULL, list.GetRecord(1));
}

TEST_F(ServiceDisplayTest, LongPropertiesAreCutToTheirFields) {
    winsim::DeviceTree t(machine());
    DWORD dn = t.Find(L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B&REV_09\\3&11583659&0&10");
    reg().SetString(t.EnumKey(dn), L"DeviceDesc", std::wstring(600, L'd'));
    reg().SetString(t.EnumKey(dn), L"Service", std::wstring(200, L's'));
    CDisplayList list;
    ASSERT_EQ(1, list.GetCount());
    EXPECT_EQ(std::wstring(DISPLAY_DESC_CCH - 1, L'd'), list.GetRecord(0)->szDescription);
    EXPECT_EQ(std::wstring(DISPLAY_NAME_CCH - 1, L's'), list.GetRecord(0)->szService);
}

struct ChoiceCase {
    const char* name;
    // Adapters added after the tablet's (VIDEO route, 32 bpp): tag, route, settings, bpp.
    struct Extra {
        const wchar_t* tag;
        bool video_route;
        bool settings;
        DWORD bpp;
    };
    std::vector<Extra> extra;
    int chosen;  // index of the record whose key is chosen; -1 none
};

class KeyChoiceTest : public ServiceDisplayTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(KeyChoiceTest, FirstServiceRouteWithSettingsElseTheLast) {
    const ChoiceCase& c = GetParam();
    for (auto& e : c.extra) AddAdapter(e.tag, e.video_route, e.settings, e.bpp);
    if (c.chosen < 0) reg().DeleteKey(L"HKLM\\" + kTabletKey);
    CDisplayList list;
    ASSERT_EQ(static_cast<int>(1 + c.extra.size()), list.GetCount());
    if (c.chosen < 0) {
        EXPECT_STREQ(L"", list.GetKeyPath());
        EXPECT_EQ(ROTATION_UNKNOWN, list.GetOrientationXPTEbyReg());
    } else {
        EXPECT_STREQ(list.GetRecord(c.chosen)->szKeyPath, list.GetKeyPath());
    }
}

INSTANTIATE_TEST_SUITE_P(Adapters, KeyChoiceTest,
                         ::testing::Values(
                             // The edge case: the first through VIDEO, the second through its service.
                             ChoiceCase{"SecondByService", {{L"5001", false, true, 32}}, 1},
                             ChoiceCase{"LastOfTwoByVideo", {{L"5001", true, true, 16}}, 1},
                             ChoiceCase{
                                 "ServiceRouteEndsTheWalk", {{L"5001", false, true, 32}, {L"5002", true, true, 32}}, 1},
                             ChoiceCase{"ServiceRouteWithoutSettingsSkipped", {{L"5001", false, true, 0}}, 0},
                             ChoiceCase{"NoKeyForTheSecond", {{L"5001", true, false, 32}}, 0},
                             ChoiceCase{"NoSettingsAnywhere", {{L"5001", true, false, 32}}, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceDisplayTest, DebugOutputOnlyInDebugMode) {
    reg().SetDword(kSorbelt, L"DebugMode", 0);
    reg().SetDword(kSorbelt, L"TestMode", 1);
    {
        CDisplayList list;
        list.GetOrientationXPTEbyReg();
        reg().DeleteKey(L"HKLM\\" + kTabletKey);
        EXPECT_EQ(ROTATION_UNKNOWN, list.GetOrientationXPTEbyReg());
        EXPECT_FALSE(list.IsDebugEnabled());
        EXPECT_TRUE(list.IsTestMode());
    }
    EXPECT_TRUE(DebugLines().empty());
}

TEST_F(ServiceDisplayTest, DebugOutputLines) {
    reg().SetDword(kSorbelt, L"DebugMode", 1);
    reg().SetDword(kSorbelt, L"TestMode", 1);
    AddAdapter(L"5001", true, false);  // no settings key
    {
        CDisplayList list;
        reg().DeleteKey(L"HKLM\\" + kTabletKey);
        list.GetOrientationXPTEbyReg();
    }
    std::vector<std::wstring> expected = {
        L"FNF8:Debug mode is enabled.\n",
        L"FnF8:",
        L"Test mode is enabled.\n",
        L"\r\n",
        L"FnF8:",
        L"ReadDriverRegByKey->Found VideoID={D2C1E5A0-6F3B-4C8D-9E21-7A4B5C6D8E9F}",
        L"\r\n",
        L"FnF8:",
        L"ReadDriverRegByKey->Found VideoID={00000000-0000-0000-0000-000000005001}",
        L"\r\n",
        L"FnF8:",
        L"Error : SetDiplayDeviceMode->Open reg",
        L"\r\n",
        L"FnF8:",
        L"GetOrientationXPTEbyReg Error Open reg return ROTATION_UNKNOWN",
        L"\r\n",
    };
    EXPECT_EQ(expected, DebugLines());
}

TEST_F(ServiceDisplayTest, DebugTextsOfMissingValues) {
    reg().SetDword(kSorbelt, L"DebugMode", 1);
    winsim::DeviceTree t(machine());
    DWORD dn = t.Find(L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B&REV_09\\3&11583659&0&10");
    reg().DeleteValue(t.ParametersKey(dn), L"VideoID");
    // No VideoID: the VIDEO route cannot open; the service route has a key without values.
    reg().SetDword(kHwProfile + L"Services\\tsgfx\\Device0", L"DefaultSettings.XResolution", 800);
    process().debug_output.clear();
    CDisplayList list;
    ASSERT_EQ(1, list.GetCount());
    EXPECT_TRUE(list.GetRecord(0)->bServiceRoute);
    EXPECT_EQ(800u, list.GetRecord(0)->dwWidth);
    EXPECT_STREQ(L"", list.GetKeyPath());  // BitsPerPel 0: not chosen
    std::vector<std::wstring> texts;
    for (auto& l : DebugLines())
        if (l != L"FnF8:" && l != L"\r\n") texts.push_back(l);
    std::vector<std::wstring> expected = {
        L"FNF8:Debug mode is enabled.\n",
        L"ReadDriverRegByKey->Not found VideoID",
        L"ERROR SetDiplayDeviceMode->RegQuery Error Orientation",
        L"ERROR SetDiplayDeviceMode->RegQuery Error Bit per pel",
        L"ERROR SetDiplayDeviceMode->RegQuery Error YResolution",
    };
    EXPECT_EQ(expected, texts);
}

TEST_F(ServiceDisplayTest, DebugPrintCutsAt512Characters) {
    reg().SetDword(kSorbelt, L"DebugMode", 1);
    CDisplayList list;
    process().debug_output.clear();
    std::wstring longer(700, L'x');
    list.DebugPrint(L"%s", longer.c_str());
    auto lines = DebugLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(std::wstring(DISPLAY_DEBUG_CCH - 1, L'x'), lines[1]);
}

}  // namespace
