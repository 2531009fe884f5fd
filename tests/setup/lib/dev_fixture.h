// A plain machine with a small device tree of its own for the device layer's tests:
//
//   PCI root (bare profile)
//     USB host controller      PCI\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B&REV_04, PCI\VEN_1D2E&DEV_1E31
//       root hub               USB\ROOT_HUB30&VID1D2E&PID1E31, USB\ROOT_HUB30
//         3G module            USB\VID_1A2B&PID_3C4D&REV_0001, USB\VID_1A2B&PID_3C4D
//           modem port (Modem) USB\VID_1A2B&PID_3C4D&REV_0001&MI_03, USB\VID_1A2B&PID_3C4D&MI_03
//           adapter (Net)      USB\VID_1A2B&PID_3C4D&REV_0001&MI_08, USB\VID_1A2B&PID_3C4D&MI_08
//     wireless LAN (Net)       PCI\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01, PCI\VEN_168C&DEV_0E5A
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include "DevCtrl.h"
#include "lib_fixture.h"
#include "device_state.h"
#include "winsim/devices.h"

#include <memory>
#include <string>
#include <vector>

namespace devlib {

constexpr const wchar_t* kHcId = L"PCI\\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B&REV_04";
constexpr const wchar_t* kHubId = L"USB\\ROOT_HUB30&VID1D2E&PID1E31";
constexpr const wchar_t* kModuleId = L"USB\\VID_1A2B&PID_3C4D&REV_0001";
constexpr const wchar_t* kModuleShortId = L"USB\\VID_1A2B&PID_3C4D";
constexpr const wchar_t* kPortId = L"USB\\VID_1A2B&PID_3C4D&REV_0001&MI_03";
constexpr const wchar_t* kPortShortId = L"USB\\VID_1A2B&PID_3C4D&MI_03";
constexpr const wchar_t* kNetId = L"USB\\VID_1A2B&PID_3C4D&REV_0001&MI_08";
constexpr const wchar_t* kNetShortId = L"USB\\VID_1A2B&PID_3C4D&MI_08";
constexpr const wchar_t* kWlanId = L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01";

constexpr const wchar_t* kHcInstance = L"PCI\\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B&REV_04\\3&11583659&0&A0";
constexpr const wchar_t* kHubInstance = L"USB\\ROOT_HUB30\\4&2A6B1C3D&0&0";
constexpr const wchar_t* kModuleInstance = L"USB\\VID_1A2B&PID_3C4D\\6&1F2E3D4C&0&4";
constexpr const wchar_t* kPortInstance = L"USB\\VID_1A2B&PID_3C4D&MI_03\\7&2B3C4D5E&0&0003";
constexpr const wchar_t* kNetInstance = L"USB\\VID_1A2B&PID_3C4D&MI_08\\7&2B3C4D5E&0&0008";
constexpr const wchar_t* kWlanInstance = L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01\\4&3A1B2C3D&0&00E0";

constexpr const wchar_t* kListKey = L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID";

// A device information set of the present devices with one device picked by instance ID.
struct DeviceInSet {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data{};
    bool found = false;
    explicit DeviceInSet(const std::wstring& instance) {
        set = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
            WCHAR id[MAX_DEVICE_ID_LEN];
            if (SetupDiGetDeviceInstanceIdW(set, &data, id, MAX_DEVICE_ID_LEN, NULL) && instance == id) {
                found = true;
                return;
            }
        }
    }
    ~DeviceInSet() {
        if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    }
    DeviceInSet(const DeviceInSet&) = delete;
    DeviceInSet& operator=(const DeviceInSet&) = delete;
};

class DevTest : public LibTest {
protected:
    DevTest() {
        winsim::DeviceTree t = tree();
        DWORD pci = t.Find(L"ACPI\\PNP0A08\\0");
        hc_ = t.Add(Node(kHcInstance, pci, L"USB", winsim::devclass::kUsb, {kHcId, L"PCI\\VEN_1D2E&DEV_1E31"}));
        hub_ = t.Add(Node(kHubInstance, hc_, L"USB", winsim::devclass::kUsb, {kHubId, L"USB\\ROOT_HUB30"}));
        module_ = t.Add(Node(kModuleInstance, hub_, L"USB", winsim::devclass::kUsb, {kModuleId, kModuleShortId}));
        port_ = t.Add(Node(kPortInstance, module_, L"Modem", winsim::devclass::kModem, {kPortId, kPortShortId}));
        winsim::DeviceSpec net = Node(kNetInstance, module_, L"Net", winsim::devclass::kNet, {kNetId, kNetShortId});
        net.driver_values = {{L"NetCfgInstanceId", L"{5E1B7C2A-3D4F-4A6B-9C8D-7E6F5A4B3C2D}"}};
        net_ = t.Add(net);
        wlan_ = t.Add(Node(kWlanInstance, pci, L"Net", winsim::devclass::kNet, {kWlanId, L"PCI\\VEN_168C&DEV_0E5A"}));
        dev_ = std::make_unique<CDevCtrl>();
    }

    static winsim::DeviceSpec Node(const std::wstring& instance, DWORD parent, const std::wstring& cls,
                                   const std::wstring& guid, const std::vector<std::wstring>& ids) {
        winsim::DeviceSpec s;
        s.instance_id = instance;
        s.parent = parent;
        s.class_name = cls;
        s.class_guid = guid;
        s.hardware_ids = ids;
        s.description = cls + L" device";
        return s;
    }

    // A device installed but not present, below the PCI root.
    DWORD AddPhantom(const std::wstring& instance, const std::wstring& hwid) {
        winsim::DeviceSpec s = Node(instance, tree().Find(L"ACPI\\PNP0A08\\0"), L"Net", winsim::devclass::kNet, {hwid});
        s.attached = false;
        return tree().Add(s);
    }

    winsim::DeviceTree tree() { return winsim::DeviceTree(machine()); }

    // The list values "<prefix>0", "<prefix>1" ... in order.
    void SetList(const std::wstring& prefix, const std::vector<std::wstring>& ids) {
        winsim::Registry r(machine());
        for (size_t i = 0; i < ids.size(); ++i) r.SetString(kListKey, prefix + std::to_wstring(i), ids[i]);
    }

    std::string NodeState(DWORD dn) { return NodeStateOf(tree(), dn); }

    void Disable(DWORD dn) { ASSERT_TRUE(DisableNode(tree(), dn)); }

    size_t CountLogs(const std::wstring& text) {
        size_t n = 0;
        for (const auto& l : Logs())
            if (l == text) ++n;
        return n;
    }

    DWORD hc_ = 0, hub_ = 0, module_ = 0, port_ = 0, net_ = 0, wlan_ = 0;
    std::unique_ptr<CDevCtrl> dev_;  // large: kept off the stack
};

}  // namespace devlib
