// The network adapter list and the choice of the 3G module's adapter.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "DevFunc.h"
#include "MBApiCtrl.h"
#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/registry.h"

namespace {

const std::wstring kIdKey = L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID";
const std::wstring kModuleAdapterId = L"USB\\VID_1A2B&PID_3C4D&REV_0002&MI_08";
const std::wstring kModuleNetCfg = L"{7E1C4A2B-3D5F-4E6A-8B9C-0D1E2F3A4B5C}";

class DevFuncTest : public SimTest {
protected:
    DevFuncTest() : SimTest("tablet") {}
    winsim::Registry reg() { return winsim::Registry(machine()); }
    DWORD AddAdapter(const std::wstring& instance, std::optional<std::vector<std::wstring>> ids, bool driver_key = true,
                     const std::wstring& netcfg = L"{00000000-0000-0000-0000-000000000001}") {
        winsim::DeviceSpec s;
        s.instance_id = instance;
        s.class_name = L"Net";
        s.class_guid = winsim::devclass::kNet;
        s.hardware_ids = std::move(ids);
        s.description = L"Adapter " + instance;
        s.service = L"netsvc";
        s.driver_key = driver_key;
        if (driver_key) s.driver_values = {{L"NetCfgInstanceId", netcfg}};
        return winsim::DeviceTree(machine()).Add(s);
    }
    void SetList(const std::vector<std::optional<std::wstring>>& v) {
        for (int n = 0; n < 8; n++) reg().DeleteValue(kIdKey, L"3GID_SupportRL" + std::to_wstring(n));
        for (size_t n = 0; n < v.size(); n++)
            if (v[n]) reg().SetString(kIdKey, L"3GID_SupportRL" + std::to_wstring(n), *v[n]);
    }
    const NetAdapterInfo* FindByDescription(const CNetAdapterList& list, const std::wstring& desc) {
        for (int i = 0; i < list.GetCount(); i++)
            if (desc == list.Get(i)->szDescription) return list.Get(i);
        return nullptr;
    }
};

TEST_F(DevFuncTest, ModuleAdapterCarriesItsProperties) {
    CNetAdapterList list;
    ASSERT_TRUE(CDevFunc().EnumNetAdapters(&list, NULL));
    ASSERT_EQ(1, list.GetCount());
    const NetAdapterInfo* a = list.Get(0);
    EXPECT_EQ(kModuleAdapterId, std::wstring(a->szHardwareIds));
    // The second string of the multi-string follows the first.
    EXPECT_EQ(L"USB\\VID_1A2B&PID_3C4D&MI_08", std::wstring(a->szHardwareIds + kModuleAdapterId.size() + 1));
    EXPECT_EQ(L"Quarven QM-3G Mobile Broadband Adapter", std::wstring(a->szDescription));
    EXPECT_EQ(L"Quarven QM-3G Mobile Broadband Adapter", std::wstring(a->szFriendlyName));
    EXPECT_EQ(L"qvwwan", std::wstring(a->szService));
    EXPECT_EQ(kModuleNetCfg, std::wstring(a->szNetCfgInstanceId));
    EXPECT_EQ(0, _wcsnicmp(a->szDriverKey, L"{4d36e972-e325-11ce-bfc1-08002be10318}\\", 39));
}

TEST_F(DevFuncTest, MissingPropertiesLeaveFieldsEmpty) {
    AddAdapter(L"ROOT\\NET\\0000", std::nullopt, false);
    CNetAdapterList list;
    ASSERT_TRUE(CDevFunc().EnumNetAdapters(&list, NULL));
    const NetAdapterInfo* a = FindByDescription(list, L"Adapter ROOT\\NET\\0000");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(L'\0', a->szHardwareIds[0]);
    EXPECT_EQ(L'\0', a->szDriverKey[0]);
    EXPECT_EQ(L'\0', a->szNetCfgInstanceId[0]);
    EXPECT_EQ(L'\0', a->szFriendlyName[0]);
    EXPECT_EQ(L"netsvc", std::wstring(a->szService));
}

TEST_F(DevFuncTest, EnumeratorSelectsAdapters) {
    AddAdapter(L"ROOT\\NET\\0000", std::vector<std::wstring>{L"ROOT\\NETX"});
    struct Case {
        const wchar_t* enumerator;
        int count;
    } cases[] = {{NULL, 2}, {L"USB", 1}, {L"ROOT", 1}, {L"PCI", 0}};
    for (const Case& c : cases) {
        CNetAdapterList list;
        CDevFunc().EnumNetAdapters(&list, c.enumerator);
        EXPECT_EQ(c.count, list.GetCount()) << (c.enumerator ? c.enumerator : L"(all)");
    }
}

TEST_F(DevFuncTest, LongHardwareIdsAreCutAndStayTerminated) {
    const std::wstring first(200, L'A');
    const std::wstring second(100, L'B');
    AddAdapter(L"ROOT\\NET\\0000", std::vector<std::wstring>{first, second});
    CNetAdapterList list;
    ASSERT_TRUE(CDevFunc().EnumNetAdapters(&list, L"ROOT"));
    ASSERT_EQ(1, list.GetCount());
    const NetAdapterInfo* a = list.Get(0);
    EXPECT_EQ(first, std::wstring(a->szHardwareIds));
    std::wstring rest(a->szHardwareIds + first.size() + 1);
    EXPECT_EQ(std::wstring(NETADAPTER_HWIDS_CCH - 2 - first.size() - 1, L'B'), rest);
    EXPECT_EQ(L'\0', a->szHardwareIds[NETADAPTER_HWIDS_CCH - 1]);
    EXPECT_EQ(L'\0', a->szHardwareIds[NETADAPTER_HWIDS_CCH - 2]);
}

struct FindCase {
    const char* name;
    std::vector<std::optional<std::wstring>> entries;
    std::wstring hwid;    // expected field ("" none found)
    std::wstring netcfg;  // expected NetCfgInstanceId
};
class Find3G : public DevFuncTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(Find3G, LowestEntryBeginningTheFirstIdWins) {
    // Installed after the module: enumerated after it.
    AddAdapter(L"ROOT\\NET\\0000", std::vector<std::wstring>{L"ROOT\\QVNET&REV_01", L"USB\\VID_9999"}, true,
               L"{00000000-0000-0000-0000-0000000000AA}");
    SetList(GetParam().entries);
    NetAdapterInfo info;
    memset(&info, 0xCC, sizeof(info));
    BOOL found = CDevFunc().FindSupported3GAdapter(&info);
    EXPECT_EQ(!GetParam().hwid.empty(), !!found);
    if (found) {
        EXPECT_EQ(GetParam().hwid, std::wstring(info.szHardwareIds));
        EXPECT_EQ(L'\0', info.szHardwareIds[GetParam().hwid.size() + 1]);
        EXPECT_EQ(GetParam().netcfg, std::wstring(info.szNetCfgInstanceId));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Find3G,
    ::testing::Values(
        FindCase{"PrefixOfTheFirstId", {L"USB\\VID_1A2B&PID_3C4D"}, L"USB\\VID_1A2B&PID_3C4D", kModuleNetCfg},
        FindCase{"WholeFirstId", {kModuleAdapterId}, kModuleAdapterId, kModuleNetCfg},
        FindCase{"OtherCase", {L"usb\\vid_1a2b"}, L"usb\\vid_1a2b", kModuleNetCfg},
        FindCase{"SecondIdDoesNotCount", {L"USB\\VID_9999"}, L"", L""},
        FindCase{"LongerThanTheId", {kModuleAdapterId + L"X"}, L"", L""},
        FindCase{"FirstEntryMissing", {std::nullopt, L"USB\\VID_1A2B"}, L"", L""},
        FindCase{
            "EmptyEntryIsSkipped", {L"", L"ROOT\\QVNET"}, L"ROOT\\QVNET", L"{00000000-0000-0000-0000-0000000000AA}"},
        FindCase{"LowestEntryBeforeAdapterOrder",
                 {L"ROOT\\QVNET", L"USB\\VID_1A2B"},
                 L"ROOT\\QVNET",
                 L"{00000000-0000-0000-0000-0000000000AA}"},
        FindCase{"NoMatchThenMatch", {L"PCI\\VEN_0000", L"USB\\VID_1A2B"}, L"USB\\VID_1A2B", kModuleNetCfg},
        FindCase{"NoEntries", {}, L"", L""}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(DevFuncTest, ClassValueNeedsADriverKey) {
    CDevFunc f;
    WCHAR sz[CLASS_VALUE_CCH] = L"junk";
    EXPECT_FALSE(f.ReadClassRegValue(L"", L"NetCfgInstanceId", sz, CLASS_VALUE_CCH));
    EXPECT_EQ(L'\0', sz[0]);
    EXPECT_FALSE(
        f.ReadClassRegValue(L"{4d36e972-e325-11ce-bfc1-08002be10318}\\9999", L"NetCfgInstanceId", sz, CLASS_VALUE_CCH));
}

TEST_F(DevFuncTest, SupportIdsAreReadBySuffix) {
    reg().SetString(kIdKey, L"DevID_SupportRL12", L"PCI\\VEN_1111");
    WCHAR sz[SUPPORT_ID_CCH];
    CDevFunc f;
    EXPECT_TRUE(f.ReadSupportId(L"DevID_SupportRL", 12, sz));
    EXPECT_EQ(L"PCI\\VEN_1111", std::wstring(sz));
    EXPECT_FALSE(f.ReadSupportId(L"DevID_SupportRL", 1, sz));
    reg().SetString(kIdKey, L"DevID_SupportRL1", std::wstring(130, L'x'));
    EXPECT_FALSE(f.ReadSupportId(L"DevID_SupportRL", 1, sz));
    reg().SetString(kIdKey, L"DevID_SupportRL1", std::wstring(129, L'x'));
    EXPECT_TRUE(f.ReadSupportId(L"DevID_SupportRL", 1, sz));
}

TEST_F(DevFuncTest, ModuleAdapterNamesTheInterface) {
    CMBApiCtrl mb;
    mb.SetInterfaceId(L"{old}");
    SetList({std::nullopt});
    EXPECT_FALSE(mb.FindModuleAdapter());
    EXPECT_FALSE(mb.AdapterFound());
    EXPECT_EQ(L"{old}", std::wstring(mb.InterfaceId()));
    SetList({L"USB\\VID_1A2B&PID_3C4D"});
    EXPECT_TRUE(mb.FindModuleAdapter());
    EXPECT_TRUE(mb.AdapterFound());
    EXPECT_EQ(kModuleNetCfg, std::wstring(mb.InterfaceId()));
    EXPECT_EQ(L"USB\\VID_1A2B&PID_3C4D", std::wstring(mb.ModuleHardwareId()));
    EXPECT_EQ(L"USB\\VID_1A2B&PID_3C4D", std::wstring(mb.Adapter().szHardwareIds));
}

}  // namespace
