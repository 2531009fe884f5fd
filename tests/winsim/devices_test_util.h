// Helpers of the device tree tests: the tablet's module nodes and SetupAPI walks.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include "winsim/devices.h"

#include <string>
#include <vector>

namespace devtest {

constexpr const wchar_t* kModuleInstance = L"USB\\VID_1A2B&PID_3C4D\\6&1F2E3D4C&0&4";
constexpr const wchar_t* kPortInstance = L"USB\\VID_1A2B&PID_3C4D&MI_03\\7&2B3C4D5E&0&0003";
constexpr const wchar_t* kNetInstance = L"USB\\VID_1A2B&PID_3C4D&MI_08\\7&2B3C4D5E&0&0008";
constexpr const wchar_t* kHubInstance = L"USB\\ROOT_HUB30\\4&2A6B1C3D&0&0";

// Instance IDs of the devices a SetupDiGetClassDevsW call lists, in its order.
inline std::vector<std::wstring> ListIds(const GUID* cls, const wchar_t* enumerator, DWORD flags) {
    std::vector<std::wstring> ids;
    HDEVINFO set = SetupDiGetClassDevsW(cls, enumerator, NULL, flags);
    if (set == INVALID_HANDLE_VALUE) return ids;
    SP_DEVINFO_DATA d;
    d.cbSize = sizeof d;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i) {
        WCHAR id[MAX_DEVICE_ID_LEN];
        if (SetupDiGetDeviceInstanceIdW(set, &d, id, MAX_DEVICE_ID_LEN, NULL)) ids.push_back(id);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

inline bool Contains(const std::vector<std::wstring>& v, const std::wstring& s) {
    for (auto& x : v)
        if (x == s) return true;
    return false;
}

// A device information set holding one device, found by instance ID among all classes.
struct OneDevice {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data{};
    bool found = false;
    explicit OneDevice(const std::wstring& instance, DWORD flags = DIGCF_PRESENT | DIGCF_ALLCLASSES) {
        set = SetupDiGetClassDevsW(NULL, NULL, NULL, flags);
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
            WCHAR id[MAX_DEVICE_ID_LEN];
            if (SetupDiGetDeviceInstanceIdW(set, &data, id, MAX_DEVICE_ID_LEN, NULL) && instance == id) {
                found = true;
                return;
            }
        }
    }
    ~OneDevice() {
        if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    }
    OneDevice(const OneDevice&) = delete;
    OneDevice& operator=(const OneDevice&) = delete;
};

}  // namespace devtest
