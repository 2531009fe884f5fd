// winsim: the machine's network configuration as the INetCfg interfaces (netcfgx.h) see
// it, and its network adapters with the registry trees the network stack keeps for them.
//
// Components. Every component has an ID, a display name, a class (client, service,
// protocol or adapter), a bind name and the binding paths below it, each with a token
// (bind names joined by "->") and an enabled flag. A machine starts with a client
// (ms_msclient), a service (ms_server) and a protocol (ms_tcpip) bound to every adapter
// of the device tree that has a NetCfgInstanceId: "ms_tcpip->{GUID}",
// "ms_msclient->ms_netbt->ms_tcpip->{GUID}", "ms_server->ms_netbt->ms_tcpip->{GUID}"; each
// adapter is a component of the Net class whose bind name is its GUID. The configuration
// lives as long as the machine object (it is built again when a machine is opened).
#pragma once

#include "machine.h"

#include "../windows.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::netcfg {

// Class GUIDs as the registry spells them.
constexpr const wchar_t* kNetClient = L"{4d36e973-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kNetService = L"{4d36e974-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kNetTrans = L"{4d36e975-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kNet = L"{4d36e972-e325-11ce-bfc1-08002be10318}";

struct BindingPath {
    std::wstring token;
    bool enabled = true;
};

struct Component {
    std::wstring id;  // "ms_tcpip"; adapters: their hardware ID in lower case
    std::wstring display_name;
    std::wstring class_guid;  // one of the four above
    std::wstring bind_name;   // adapters: their NetCfgInstanceId
    std::wstring pnp_id;      // adapters: their device instance ID
    ULONG status = 0;         // GetDeviceStatus
    std::vector<BindingPath> paths;
    bool paths_fail = false;  // EnumBindingPaths fails with E_FAIL
};

// Adds a component, or replaces the one with the same ID.
void AddComponent(Machine& m, const Component& c);
std::vector<Component> Components(Machine& m);
// The enabled flag of a path (nullopt when no component has it).
std::optional<bool> PathEnabled(Machine& m, const std::wstring& token);

// Another client holds the write lock under this description ("" releases it).
void HoldLock(Machine& m, const std::wstring& holder);
std::wstring LockHolder(Machine& m);
// What INetCfg::Apply returns from now on (S_OK at first); a failure applies nothing.
void SetApplyResult(Machine& m, HRESULT hr);
// How many Apply calls there were, and how many INetCfg instances are initialised now.
unsigned ApplyCount(Machine& m);
unsigned OpenInstances(Machine& m);

}  // namespace winsim::netcfg

namespace winsim::net {

// A network adapter: a device of the Net class (winsim/devices.h) with its driver key's
// NetCfgInstanceId (and CardCfgId when given, and a CustomParams sub key of the driver key
// with the given values), and the keys the network stack keeps for its GUID:
//   HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{GUID}
//     EnableDHCP, IPAddress, SubnetMask, DefaultGateway, NameServer
//   HKLM\SYSTEM\CurrentControlSet\Services\NetBT\Parameters\Interfaces\tcpip_{GUID}
//     NameServerList, NetbiosOptions
//   HKLM\SOFTWARE\Microsoft\EAPOL\Parameters\Interfaces\{GUID}  (wireless adapters)
//   HKLM\SOFTWARE\Microsoft\WZCSVC\Parameters\Interfaces\{GUID} (wireless adapters)
// and its component in the network configuration, bound to the client, the service and
// the protocol.
struct AdapterSpec {
    std::wstring instance_id;
    std::vector<std::wstring> hardware_ids;
    std::wstring guid;  // "{...}"
    std::wstring description;
    std::wstring service;
    bool attached = true;
    bool wireless = false;
    std::optional<std::wstring> card_cfg_id;
    std::vector<std::pair<std::wstring, std::wstring>> custom_params;
    std::wstring ip_address = L"192.168.10.20";
};
// Adds the adapter; returns its DEVINST.
DWORD AddAdapter(Machine& m, const AdapterSpec& a);
// The keys of an adapter's GUID, full paths.
std::wstring TcpipKey(const std::wstring& guid);
std::wstring NetbtKey(const std::wstring& guid);
std::wstring EapolKey(const std::wstring& guid);
std::wstring WzcKey(const std::wstring& guid);

}  // namespace winsim::net
