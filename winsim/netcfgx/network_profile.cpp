// winsim: network adapters with the registry trees the network stack keeps for them, and
// the network services of every machine (winsim/netcfg.h).
#include "com_internal.h"
#include "internal.h"
#include "winsim/devices.h"
#include "winsim/netcfg.h"
#include "winsim/registry.h"
#include "winsim/scm.h"

namespace winsim::net {

namespace {

void WriteInterfaceKeys(Registry& r, const std::wstring& guid, const std::wstring& ip, bool wireless) {
    std::wstring tcpip = TcpipKey(guid);
    r.SetDword(tcpip, L"EnableDHCP", 0);
    r.SetMultiString(tcpip, L"IPAddress", {ip});
    r.SetMultiString(tcpip, L"SubnetMask", {L"255.255.255.0"});
    r.SetMultiString(tcpip, L"DefaultGateway", {L"192.168.10.1"});
    r.SetString(tcpip, L"NameServer", L"192.168.10.1");
    std::wstring netbt = NetbtKey(guid);
    r.SetMultiString(netbt, L"NameServerList", {L"192.168.10.2"});
    r.SetDword(netbt, L"NetbiosOptions", 0);
    if (!wireless) return;
    r.SetDword(EapolKey(guid), L"EnableEapol", 1);
    r.SetValue(WzcKey(guid), L"ControlFlags", REG_BINARY, std::vector<uint8_t>{0x02, 0x80, 0x00, 0x00});
    r.SetValue(WzcKey(guid) + L"\\Static#0000", L"Static#0000", REG_BINARY,
               std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04});
}

void AddService(Registry& r, const wchar_t* name, const wchar_t* display, DWORD type, const wchar_t* image) {
    std::wstring key = std::wstring(scm::kServicesKey) + L"\\" + name;
    if (r.KeyExists(key)) return;
    r.SetDword(key, L"Type", type);
    r.SetDword(key, L"Start", SERVICE_AUTO_START);
    r.SetDword(key, L"ErrorControl", SERVICE_ERROR_NORMAL);
    r.SetExpandString(key, L"ImagePath", image);
    r.SetString(key, L"DisplayName", display);
}

}  // namespace

std::wstring TcpipKey(const std::wstring& guid) {
    return L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + guid;
}
std::wstring NetbtKey(const std::wstring& guid) {
    return L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\NetBT\\Parameters\\Interfaces\\tcpip_" + guid;
}
std::wstring EapolKey(const std::wstring& guid) {
    return L"HKLM\\SOFTWARE\\Microsoft\\EAPOL\\Parameters\\Interfaces\\" + guid;
}
std::wstring WzcKey(const std::wstring& guid) {
    return L"HKLM\\SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\" + guid;
}

DWORD AddAdapter(Machine& m, const AdapterSpec& a) {
    DeviceTree t(m);
    DeviceSpec d;
    d.instance_id = a.instance_id;
    d.class_name = L"Net";
    d.class_guid = devclass::kNet;
    d.hardware_ids = a.hardware_ids;
    d.description = a.description;
    d.service = a.service;
    d.attached = a.attached;
    d.driver_values = {{L"NetCfgInstanceId", a.guid}};
    if (a.card_cfg_id) d.driver_values.push_back({L"CardCfgId", *a.card_cfg_id});
    DWORD devinst = t.Add(d);
    Registry r(m);
    if (!a.custom_params.empty()) {
        std::wstring key = t.DriverKey(devinst) + L"\\CustomParams";
        for (auto& [name, value] : a.custom_params) r.SetString(key, name, value);
    }
    WriteInterfaceKeys(r, a.guid, a.ip_address, a.wireless);
    netcfg::detail::BindNewAdapter(m, a.hardware_ids.empty() ? a.instance_id : a.hardware_ids.front(), a.description,
                                   a.guid, a.instance_id);
    return devinst;
}

}  // namespace winsim::net

namespace winsim::internal {

// The interface keys of the profile's adapters, and the wireless configuration service and
// the adapter configuration service ("acs") of a special kind of wireless adapter.
void ProfileNetwork(Machine& m, const std::string&) {
    DeviceTree t(m);
    Registry r(m);
    for (const DeviceNode& n : t.List()) {
        if (!IEquals(n.class_guid, devclass::kNet)) continue;
        std::wstring key = t.DriverKey(n.devinst);
        auto guid = key.empty() ? std::nullopt : r.GetString(key, L"NetCfgInstanceId");
        if (guid && !guid->empty()) net::WriteInterfaceKeys(r, *guid, L"192.168.10.20", false);
    }
    net::AddService(r, L"wzcsvc", L"Wireless Zero Configuration", SERVICE_WIN32_SHARE_PROCESS,
                    L"%SystemRoot%\\System32\\svchost.exe -k netsvcs");
    net::AddService(r, L"acs", L"Adapter Configuration Service", SERVICE_WIN32_OWN_PROCESS,
                    L"%SystemRoot%\\System32\\acs.exe");
}

}  // namespace winsim::internal
