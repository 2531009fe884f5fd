// winsim: the device trees the machine profiles start with.
//
// "bare": a plain PC: the ACPI computer node, the PCI root complex and a basic display
// adapter.
// "tablet": the product's tablet. Below the PCI root complex: the display adapter (VIDEO
// route settings, 1366 x 768 x 32) and the USB host controller with its root hub, on which
// sits the 3G module, a USB composite device with two functions: the modem's AT-command
// port (class Ports, PortName COM5, the modem model behind it) and the mobile broadband
// network adapter (class Net, NetCfgInstanceId in its driver key). Beside them the maker's
// two drivers (\\.\VUNDD and \\.\VUNDG), the AC adapter and the tablet's battery (ACPI
// control method battery, charging on mains). The product's lists point at the module:
//   HKLM\SOFTWARE\Quarven\WirelessDeviceID  3GID_SupportRL0 = the composite's hardware ID
//   HKLM\SOFTWARE\Quarven\Veltrane          ATCMDId0 = the AT port's hardware ID,
//                                           SVCEjectId0 / EjectId0 = the module's ID,
//                                           ChkUsingId0 = the AT port's hardware ID.
// All hardware IDs are made up.
#include "devices_internal.h"
#include "winsim/devices.h"
#include "winsim/display.h"
#include "winsim/registry.h"

namespace winsim::devices {

namespace {

constexpr const wchar_t* kModuleId = L"USB\\VID_1A2B&PID_3C4D";
constexpr const wchar_t* kAtPortId = L"USB\\VID_1A2B&PID_3C4D&MI_03";
constexpr const wchar_t* kNetId = L"USB\\VID_1A2B&PID_3C4D&MI_08";

struct Base {
    DWORD computer;
    DWORD pci;
};

// An ACPI device below parent: instance ACPI\<id>\<instance>, hardware IDs ACPI\<id> and *<id>.
DeviceSpec Acpi(DWORD parent, const std::wstring& id, const wchar_t* instance, const wchar_t* class_name,
                const wchar_t* class_guid, const wchar_t* description, const wchar_t* manufacturer,
                const wchar_t* service) {
    DeviceSpec d;
    d.instance_id = L"ACPI\\" + id + L"\\" + instance;
    d.parent = parent;
    d.class_name = class_name;
    d.class_guid = class_guid;
    d.hardware_ids = std::vector<std::wstring>{L"ACPI\\" + id, L"*" + id};
    d.description = description;
    d.manufacturer = manufacturer;
    d.service = service;
    return d;
}

Base Common(Machine& m) {
    DeviceTree t(m);
    DeviceSpec c;
    c.instance_id = L"ACPI_HAL\\PNP0C08\\0";
    c.class_name = L"Computer";
    c.class_guid = devclass::kComputer;
    c.hardware_ids = std::vector<std::wstring>{L"acpiapic", L"ACPI_HAL\\PNP0C08"};
    c.description = L"ACPI x64-based PC";
    c.manufacturer = L"(Standard computers)";
    c.disableable = false;
    DWORD computer = t.Add(c);

    DeviceSpec p = Acpi(computer, L"PNP0A08", L"0", L"System", devclass::kSystem, L"PCI Express Root Complex",
                        L"(Standard system devices)", L"pci");
    p.compatible_ids = {L"ACPI\\PNP0A03", L"*PNP0A03"};
    p.disableable = false;
    DWORD pci = t.Add(p);
    return {computer, pci};
}

void Bare(Machine& m) {
    Base b = Common(m);
    DisplayAdapterSpec a;
    a.instance_id = L"PCI\\VEN_1234&DEV_1111&SUBSYS_00000000&REV_02\\3&267A616A&0&10";
    a.parent = b.pci;
    a.hardware_ids = {L"PCI\\VEN_1234&DEV_1111&SUBSYS_00000000&REV_02", L"PCI\\VEN_1234&DEV_1111&SUBSYS_00000000",
                      L"PCI\\VEN_1234&DEV_1111&CC_030000", L"PCI\\VEN_1234&DEV_1111&CC_0300"};
    a.description = L"Basic Display Adapter";
    a.service = L"BasicDisplay";
    a.video_id = L"{5B3C1F2E-8A7D-4E6B-9C0A-1D2E3F405162}";
    a.x_resolution = 1024;
    a.y_resolution = 768;
    Display(m).AddAdapter(a);
}

void Tablet(Machine& m) {
    Base b = Common(m);
    DeviceTree t(m);

    DisplayAdapterSpec a;
    a.instance_id = L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B&REV_09\\3&11583659&0&10";
    a.parent = b.pci;
    a.hardware_ids = {L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B&REV_09", L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B",
                      L"PCI\\VEN_1D2E&DEV_4012&CC_030000", L"PCI\\VEN_1D2E&DEV_4012&CC_0300"};
    a.description = L"Tessel HD Graphics 4000";
    a.service = L"tsgfx";
    a.video_id = L"{D2C1E5A0-6F3B-4C8D-9E21-7A4B5C6D8E9F}";
    a.x_resolution = 1366;
    a.y_resolution = 768;
    Display(m).AddAdapter(a);

    DeviceSpec hc;
    hc.instance_id = L"PCI\\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B&REV_04\\3&11583659&0&A0";
    hc.parent = b.pci;
    hc.class_name = L"USB";
    hc.class_guid = devclass::kUsb;
    hc.hardware_ids =
        std::vector<std::wstring>{L"PCI\\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B&REV_04",
                                  L"PCI\\VEN_1D2E&DEV_1E31&SUBSYS_80011A2B", L"PCI\\VEN_1D2E&DEV_1E31&CC_0C0330"};
    hc.description = L"USB xHCI Compliant Host Controller";
    hc.manufacturer = L"Generic USB xHCI Host Controller";
    hc.service = L"USBXHCI";
    DWORD controller = t.Add(hc);

    DeviceSpec hub;
    hub.instance_id = L"USB\\ROOT_HUB30\\4&2A6B1C3D&0&0";
    hub.parent = controller;
    hub.class_name = L"USB";
    hub.class_guid = devclass::kUsb;
    hub.hardware_ids = std::vector<std::wstring>{L"USB\\ROOT_HUB30&VID1D2E&PID1E31&REV0004", L"USB\\ROOT_HUB30"};
    hub.description = L"USB Root Hub (USB 3.0)";
    hub.manufacturer = L"(Standard USB HUBs)";
    hub.service = L"USBHUB3";
    DWORD root_hub = t.Add(hub);

    DeviceSpec module;
    module.instance_id = L"USB\\VID_1A2B&PID_3C4D\\6&1F2E3D4C&0&4";
    module.parent = root_hub;
    module.class_name = L"USB";
    module.class_guid = devclass::kUsb;
    module.hardware_ids = std::vector<std::wstring>{L"USB\\VID_1A2B&PID_3C4D&REV_0002", kModuleId};
    module.compatible_ids = {L"USB\\DevClass_00&SubClass_00&Prot_00", L"USB\\DevClass_00&SubClass_00",
                             L"USB\\DevClass_00", L"USB\\COMPOSITE"};
    module.description = L"USB Composite Device";
    module.friendly_name = L"Quarven QM-3G Mobile Broadband Module";
    module.manufacturer = L"(Standard USB Host Controller)";
    module.location = L"Port_#0004.Hub_#0001";
    module.service = L"usbccgp";
    module.removable = true;
    DWORD composite = t.Add(module);

    DeviceSpec port;
    port.instance_id = L"USB\\VID_1A2B&PID_3C4D&MI_03\\7&2B3C4D5E&0&0003";
    port.parent = composite;
    port.class_name = L"Ports";
    port.class_guid = devclass::kPorts;
    port.hardware_ids = std::vector<std::wstring>{L"USB\\VID_1A2B&PID_3C4D&REV_0002&MI_03", kAtPortId};
    port.compatible_ids = {L"USB\\Class_FF&SubClass_FF&Prot_FF", L"USB\\Class_FF&SubClass_FF", L"USB\\Class_FF"};
    port.description = L"Quarven QM-3G AT Command Port";
    port.friendly_name = L"Quarven QM-3G AT Command Port (COM5)";
    port.manufacturer = L"Quarven";
    port.service = L"qvser";
    port.parameters = {{L"PortName", L"COM5"}};
    t.Add(port);

    DeviceSpec net;
    net.instance_id = L"USB\\VID_1A2B&PID_3C4D&MI_08\\7&2B3C4D5E&0&0008";
    net.parent = composite;
    net.class_name = L"Net";
    net.class_guid = devclass::kNet;
    net.hardware_ids = std::vector<std::wstring>{L"USB\\VID_1A2B&PID_3C4D&REV_0002&MI_08", kNetId};
    net.compatible_ids = {L"USB\\Class_02&SubClass_0e&Prot_00", L"USB\\Class_02&SubClass_0e", L"USB\\Class_02"};
    net.description = L"Quarven QM-3G Mobile Broadband Adapter";
    net.friendly_name = L"Quarven QM-3G Mobile Broadband Adapter";
    net.manufacturer = L"Quarven";
    net.service = L"qvwwan";
    net.driver_values = {{L"NetCfgInstanceId", L"{7E1C4A2B-3D5F-4E6A-8B9C-0D1E2F3A4B5C}"}, {L"*IfType", L"243"}};
    t.Add(net);

    t.Add(Acpi(b.computer, L"QRV0001", L"0", L"System", devclass::kSystem, L"Quarven Hardware Control Interface",
               L"Quarven", L"vundd"));
    t.Add(Acpi(b.computer, L"QRV0002", L"0", L"System", devclass::kSystem, L"Quarven System Event Driver", L"Quarven",
               L"vundg"));
    t.Add(Acpi(b.computer, L"ACPI0003", L"1", L"Battery", devclass::kBattery, L"AC Adapter",
               L"(Standard system devices)", L"CmBatt"));

    DeviceSpec battery;
    battery.instance_id = L"ACPI\\PNP0C0A\\1";
    battery.parent = b.computer;
    battery.manufacturer = L"(Standard system devices)";
    BatteryState state = BatteryState::OnMains();
    state.device_name = L"QV-TB2 Battery";
    state.manufacturer = L"Quarven";
    state.serial_number = L"0042";
    t.AddBattery(battery, state);

    Registry r(m);
    r.SetString(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID", L"3GID_SupportRL0", kModuleId);
    const std::wstring v = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";
    r.SetString(v, L"ATCMDId0", kAtPortId);
    r.SetString(v, L"SVCEjectId0", kModuleId);
    r.SetString(v, L"EjectId0", kModuleId);
    r.SetString(v, L"ChkUsingId0", kAtPortId);
}

}  // namespace

void ProfileDevices(Machine& m, const std::string& profile) {
    EnsureRoot(m);
    m.store().Transaction([&] {
        if (profile == "tablet")
            Tablet(m);
        else
            Bare(m);
    });
}

}  // namespace winsim::devices
