// winsim: the tablet's modem and wireless devices (winsim/wireless.h).
#include "winsim/wireless.h"

#include "winsim/registry.h"

#include <stdexcept>

namespace winsim::wireless {

namespace {

DWORD PciRoot(Machine& m) {
    DWORD pci = DeviceTree(m).Find(L"ACPI\\PNP0A08\\0");
    if (!pci) throw std::invalid_argument("the machine has no PCI root");
    return pci;
}

DeviceSpec Function(const std::wstring& instance, DWORD parent, const std::wstring& cls, const std::wstring& guid,
                    const std::vector<std::wstring>& ids, const std::wstring& description) {
    DeviceSpec d;
    d.instance_id = instance;
    d.parent = parent;
    d.class_name = cls;
    d.class_guid = guid;
    d.hardware_ids = ids;
    d.description = description;
    d.manufacturer = L"Quarven";
    return d;
}

}  // namespace

Devices AddSoftModem(Machine& m, const SoftModemSpec& modem) {
    Devices out;
    out.instance_id = modem.hardware_id + L"\\4&1C2D3E4F&0&00F3";
    DeviceSpec d = Function(out.instance_id, PciRoot(m), L"Modem", devclass::kModem, {modem.hardware_id},
                            L"HDA Soft Data Fax Modem");
    d.service = L"sftmdm";
    out.device = DeviceTree(m).Add(d);
    out.instances = {out.device};
    Registry r(m);
    const std::wstring key = modem.wow32 ? kSoftModemKey32 : kSoftModemKey;
    r.CreateKey(key);
    if (modem.stamp) r.SetValue(key, L"HomolTimeStamp", REG_BINARY, *modem.stamp);
    return out;
}

Devices AddWlanAdapter(Machine& m, const WlanSpec& adapter) {
    Devices out;
    out.instance_id = adapter.hardware_id + L"\\4&3A1B2C3D&0&00E0";
    DeviceSpec d =
        Function(out.instance_id, PciRoot(m), L"Net", devclass::kNet, {adapter.hardware_id}, L"Wireless Network Adapter");
    d.service = L"qvwlan";
    out.device = DeviceTree(m).Add(d);
    out.instances = {out.device};
    Registry r(m);
    std::wstring params = DeviceTree(m).ParametersKey(out.device);
    for (const auto& s : adapter.settings) {
        r.CreateKey(params + L"\\" + s.first);
        if (s.second) r.SetDword(params + L"\\" + s.first, L"ASPMOptIn", *s.second);
    }
    std::wstring n = std::to_wstring(adapter.list_index);
    r.SetString(kListKey, L"DevID_SupportRL" + n, adapter.list_id.empty() ? adapter.hardware_id : adapter.list_id);
    if (adapter.capability) r.SetDword(kListKey, L"DevCap_SupportRL" + n, *adapter.capability);
    return out;
}

Devices AddWwanModem(Machine& m, const WwanModemSpec& modem) {
    Devices out;
    DeviceTree t(m);
    const std::wstring modem_id = modem.composite_id + L"&MI_00";
    for (unsigned i = 0; i < modem.instances; ++i) {
        std::wstring port = std::to_wstring(i + 2);
        DeviceSpec c = Function(modem.composite_id + L"\\5&2E4F6A8C&0&" + port, PciRoot(m), L"USB", devclass::kUsb,
                                {modem.composite_id + L"&REV_0318", modem.composite_id}, L"USB Composite Device");
        c.service = L"usbccgp";
        c.attached = i == 0;
        DWORD composite = t.Add(c);
        DeviceSpec f = Function(modem_id + L"\\6&3B5D7F9A&0&000" + port, composite, L"Modem", devclass::kModem,
                                {modem.composite_id + L"&REV_0318&MI_00", modem_id}, L"Wireless WAN Modem");
        f.service = L"qvmdm";
        f.attached = i == 0;
        DWORD function = t.Add(f);
        out.instances.push_back(function);
        if (i == 0) {
            out.device = function;
            out.instance_id = f.instance_id;
        }
    }
    Registry(m).SetString(kListKey, L"3GID_SupportRL" + std::to_wstring(modem.list_index), modem.composite_id);
    return out;
}

}  // namespace winsim::wireless
