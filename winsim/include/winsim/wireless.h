// winsim: the tablet's modem and wireless devices, as the setup program's modem and
// wireless commands find them, for tests and the winsim tool to install on a machine.
//
// Soft modem: a PCI modem function (class Modem) and its driver's key
//   HKLM\SOFTWARE\Agere\SoftModem (HKLM\SOFTWARE\WOW6432Node\... for the 32-bit driver)
//   with the homologation stamp HomolTimeStamp (REG_BINARY) when one is given.
// Wireless LAN adapter: a PCI network adapter (class Net) listed as DevID_SupportRL<n> with
//   its capability DevCap_SupportRL<n> (REG_DWORD) under HKLM\SOFTWARE\Quarven
//   \WirelessDeviceID; its Device Parameters hold one sub key per given setting, each with
//   or without the DWORD ASPMOptIn.
// Wireless modem: a USB composite device listed as 3GID_SupportRL<n> whose interface 00 is
//   a modem (class Modem, "<composite ID>&MI_00"); every further instance is the same
//   module seen on another USB port before (installed, not present), and each instance has
//   a Device Parameters key.
// All hardware IDs are made up.
#pragma once

#include "devices.h"
#include "machine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim::wireless {

constexpr const wchar_t* kSoftModemKey = L"HKLM\\SOFTWARE\\Agere\\SoftModem";
constexpr const wchar_t* kSoftModemKey32 = L"HKLM\\SOFTWARE\\WOW6432Node\\Agere\\SoftModem";
constexpr const wchar_t* kListKey = L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID";

struct SoftModemSpec {
    bool wow32 = false;                         // the 32-bit driver's key
    std::optional<std::vector<uint8_t>> stamp;  // nullopt: the key without the value
    std::wstring hardware_id = L"PCI\\VEN_11D4&DEV_1040&SUBSYS_20011A2B";
};

struct WlanSpec {
    std::wstring hardware_id = L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01";
    std::wstring list_id;  // the list entry ("" the hardware ID itself)
    unsigned list_index = 0;
    std::optional<DWORD> capability;  // DevCap_SupportRL<list_index>
    // The sub keys of Device Parameters: a name and its ASPMOptIn (nullopt: none).
    std::vector<std::pair<std::wstring, std::optional<DWORD>>> settings = {{L"PowerSettings", 1}};
};

struct WwanModemSpec {
    std::wstring composite_id = L"USB\\VID_2C7C&PID_0125";
    unsigned list_index = 0;
    unsigned instances = 1;  // the first is present, the others are not
};

struct Devices {
    DWORD device = 0;              // the soft modem, the adapter, or the modem function
    std::vector<DWORD> instances;  // every instance of the modem function (wireless modem)
    std::wstring instance_id;      // the first device's instance ID
};

// Each below the machine's PCI root (ACPI\PNP0A08\0).
Devices AddSoftModem(Machine& m, const SoftModemSpec& modem);
Devices AddWlanAdapter(Machine& m, const WlanSpec& adapter);
Devices AddWwanModem(Machine& m, const WwanModemSpec& modem);

}  // namespace winsim::wireless
