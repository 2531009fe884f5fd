// winsim: the machine's device tree (Plug and Play), as tests, profiles and the winsim tool
// see it. SetupAPI (setupapi.h) and the configuration manager (cfgmgr32.h) work on it.
//
// Nodes. Every installed device is a node with a DEVINST (its number: stable, never
// reused, shared by every process), a parent (the root node HTREE\ROOT\0, DEVINST 1, has
// none), an instance ID ("<enumerator>\<device ID>\<instance>", unique without regard to
// case) and a class GUID. Enumeration order is the order of installation.
//
// Registry. The tree is mirrored as on Windows, and the registry is where its properties
// live (SetupAPI reads them from there at each call, so a test may change them):
//   HKLM\SYSTEM\CurrentControlSet\Enum\<instance ID>: HardwareID, CompatibleIDs
//     (REG_MULTI_SZ), DeviceDesc, FriendlyName, Mfg, LocationInformation, Class, ClassGUID,
//     Driver ("{class GUID}\NNNN"), Service (REG_SZ), ConfigFlags (CONFIGFLAG_DISABLED 1
//     while disabled in the global scope), Capabilities (DWORD); subkey Device Parameters.
//   HKLM\SYSTEM\CurrentControlSet\Control\Class\<class GUID>: Class; \NNNN the driver key:
//     DriverDesc, ProviderName, MatchingDeviceId and the device's own driver values.
//   HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current\System\CurrentControlSet\Enum
//     \<instance ID>: CSConfigFlags (CSCONFIGFLAG_DISABLED 1 while disabled in the
//     config-specific scope).
//   HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per present device whose Device
//     Parameters hold PortName.
// The node table itself (presence, holds, injections) is kept in the machine's store, so
// the tree survives reopening the machine folder.
//
// Phantoms. A device installed with attached = false (or unplugged later) is a phantom:
// installed but not present. SetupDiGetClassDevs without DIGCF_PRESENT lists it, its
// registry keys and properties stay, DIF_REMOVE and SetupDiRemoveDevice uninstall it; the
// configuration manager answers CR_NO_SUCH_DEVNODE for it (CM_Get_Parent excepted).
//
// Device interfaces. A device exposes the interface classes of DeviceSpec::interfaces, one
// interface each, with the symbolic link "\\?\<instance ID, '\' turned into
// '#'>#<interface class GUID>" (mirrored under HKLM\SYSTEM\CurrentControlSet\Control
// \DeviceClasses\<GUID>\##?#...: DeviceInstance, and SymbolicLink in its "#" subkey). An
// interface is active while its device is present.
//
// Batteries. A battery is a device with the GUID_DEVICE_BATTERY interface and a battery
// state (BatteryState: tag, capabilities, power state ...), opened with CreateFileW on its
// interface path and asked with the IOCTL_BATTERY_* requests of batclass.h.
//
// Presence. A node is present when it is attached (plugged in), not held, and its parent is
// present and running (started: not disabled, no problem). So removing, disabling or
// failing a node takes its whole subtree away, and bringing it back returns those of its
// descendants that are attached and not held. A disabled node itself stays present
// (DN_HAS_PROBLEM, CM_PROB_DISABLED).
//
// Changes. Every node that becomes present (arrival) or stops being present (removal) is
// recorded in the store in order: removals bottom-up, arrivals top-down. Listeners (the
// window manager's WM_DEVICECHANGE broadcast) are called after each operation, once per
// change, in that order, on the thread that made the change: a simulated thread, or a host
// thread outside the simulation (the winsim tool), which a listener must allow for.
#pragma once

#include "machine.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// Class GUIDs as the registry spells them.
namespace devclass {
constexpr const wchar_t* kComputer = L"{4d36e966-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kDisplay = L"{4d36e968-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kModem = L"{4d36e96d-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kMonitor = L"{4d36e96e-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kNet = L"{4d36e972-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kPorts = L"{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kSystem = L"{4d36e97d-e325-11ce-bfc1-08002be10318}";
constexpr const wchar_t* kUsb = L"{36fc9e60-c465-11cf-8056-444553540000}";
constexpr const wchar_t* kHid = L"{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";
constexpr const wchar_t* kBattery = L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";  // also GUID_DEVICE_BATTERY
}  // namespace devclass

struct DeviceSpec {
    std::wstring instance_id;                               // "USB\VID_1A2B&PID_3C4D\6&1F2E3D4C&0&4"
    DWORD parent = 0;                                       // 0: the root
    std::wstring class_name;                                // "Ports"
    std::wstring class_guid;                                // devclass::kPorts
    std::optional<std::vector<std::wstring>> hardware_ids;  // nullopt: the device has none
    std::vector<std::wstring> compatible_ids;
    std::optional<std::wstring> description;
    std::optional<std::wstring> friendly_name;
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> location;
    std::wstring service;    // "" none
    bool driver_key = true;  // gets a driver key {class GUID}\NNNN (needs a class GUID)
    std::vector<std::pair<std::wstring, std::wstring>> driver_values;  // REG_SZ under the driver key
    std::vector<std::pair<std::wstring, std::wstring>> parameters;     // REG_SZ under Device Parameters
    bool attached = true;                                              // plugged in when installed
    bool disableable = true;                                           // DN_DISABLEABLE
    bool removable = false;                                            // DN_REMOVABLE (and CM_DEVCAP_REMOVABLE)
    std::vector<std::wstring> interfaces;                              // interface class GUIDs ("{72631e54-...}")
};

// The state of a battery as its battery class driver reports it (values of batclass.h).
struct BatteryState {
    DWORD tag = 1;                    // BATTERY_TAG_INVALID (0): the slot is empty
    DWORD capabilities = 0x80000000;  // BATTERY_SYSTEM_BATTERY
    BYTE technology = 1;              // rechargeable
    std::string chemistry = "LION";   // at most 4 characters
    DWORD designed_capacity = 42000;  // mWh
    DWORD full_charged_capacity = 40000;
    DWORD default_alert1 = 2000;
    DWORD default_alert2 = 4000;
    DWORD critical_bias = 0;
    DWORD cycle_count = 12;
    DWORD power_state = 0x1 | 0x4;  // BATTERY_POWER_ON_LINE | BATTERY_CHARGING
    DWORD capacity = 30000;         // mWh
    DWORD voltage = 11100;          // mV
    LONG rate = 8000;               // mW, negative while discharging
    DWORD temperature = 3000;       // tenths of a kelvin
    std::wstring device_name = L"Battery";
    std::wstring manufacturer = L"";
    std::wstring serial_number = L"";
    std::wstring unique_id = L"";
    BYTE manufacture_day = 1, manufacture_month = 1;
    WORD manufacture_year = 2010;

    // The test machines' cases: the system's battery on mains or running on it, and the
    // short-term battery of an uninterruptible power supply.
    static BatteryState OnMains();
    static BatteryState OnBattery();
    static BatteryState Ups(bool on_line = true);
};

struct DeviceInterface {
    DWORD devinst = 0;
    std::wstring class_guid;  // as given, lower case
    std::wstring path;        // "\\?\ACPI#PNP0C0A#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}"
    bool active = false;      // its device is present
};

enum class DeviceChangeKind { Arrival, Removal };

struct DeviceChange {
    uint64_t seq = 0;
    uint64_t time_ms = 0;  // machine time
    DeviceChangeKind kind = DeviceChangeKind::Arrival;
    DWORD devinst = 0;
    std::wstring instance_id;
    std::wstring class_guid;
    std::wstring port_name;  // PortName of its Device Parameters ("" none)
};

struct DeviceNode {
    DWORD devinst = 0;
    DWORD parent = 0;  // 0 for the root
    std::wstring instance_id;
    std::wstring class_guid;
    bool attached = false;
    bool present = false;
    bool held = false;             // removed by CM_Query_And_Remove_SubTreeW, not yet reset
    bool disabled = false;         // running state
    bool disabled_global = false;  // configuration flags
    bool disabled_config = false;
    bool change_pending = false;  // a configuration change waits for the restart
    DWORD problem = 0;            // injected problem code (0 none)
    DWORD restart_flags = 0;      // DI_NEEDRESTART / DI_NEEDREBOOT that a change reports
    DWORD veto_type = 0;          // injected PNP_VETO_TYPE of a removal (0 none)
    std::wstring veto_name;
    DWORD installer_error = 0;  // Win32 error the class installer reports (0 none)
    bool disableable = true;
    bool removable = false;
    uint64_t generation = 0;  // counts the arrivals: handles opened before go stale
};

class DeviceTree {
public:
    static constexpr DWORD kRoot = 1;
    static constexpr const wchar_t* kRootId = L"HTREE\\ROOT\\0";
    using Listener = std::function<void(const DeviceChange&)>;

    explicit DeviceTree(Machine& m) : m_(m) {}

    // Installs a device below desc.parent and writes its registry keys; returns its
    // DEVINST. Throws std::invalid_argument for an empty or duplicate instance ID or an
    // unknown parent.
    DWORD Add(const DeviceSpec& desc);
    // Uninstalls a device and its subtree (removals for those present; keys deleted).
    void Uninstall(DWORD devinst);

    DWORD Find(const std::wstring& instance_id) const;  // 0 when unknown
    std::optional<DeviceNode> Get(DWORD devinst) const;
    // Every installed node, root first, in enumeration order.
    std::vector<DeviceNode> List() const;
    std::vector<DWORD> Children(DWORD devinst, bool present_only) const;
    // Installed nodes with a hardware ID equal to id (without regard to case).
    std::vector<DWORD> FindByHardwareId(const std::wstring& id) const;
    bool IsPresent(DWORD devinst) const;
    // CM_Get_DevNode_Status's answer for a present node; false when not present.
    bool Status(DWORD devinst, DWORD* status, DWORD* problem) const;

    // Registry paths (full, HKLM\...) of a node.
    std::wstring EnumKey(DWORD devinst) const;
    std::wstring ParametersKey(DWORD devinst) const;
    std::wstring DriverKey(DWORD devinst) const;  // "" when it has none
    std::wstring PortName(DWORD devinst) const;   // "" when it has none
    // The present node whose Device Parameters hold PortName = name (0 none).
    DWORD FindPort(const std::wstring& name) const;

    // Device interfaces of a class ("" every class), in tree order.
    std::vector<DeviceInterface> Interfaces(const std::wstring& class_guid) const;

    // Batteries. AddBattery installs desc (defaults: class Battery, hardware ID
    // ACPI\PNP0C0A, service CmBatt) with the battery interface and state; an empty instance
    // ID takes "ACPI\PNP0C0A\<n>" with the next free n from 1.
    DWORD AddBattery(DeviceSpec desc, const BatteryState& state);
    void SetBattery(DWORD devinst, const BatteryState& state);  // throws for a non-battery
    std::optional<BatteryState> Battery(DWORD devinst) const;
    std::vector<DWORD> Batteries() const;  // in tree order

    // Hardware: a device is unplugged (surprise removal, no veto) or plugged in again.
    void Unplug(DWORD devinst);
    void Plug(DWORD devinst);

    // The configuration manager's operations (CONFIGRET results; usable outside the
    // simulation). RemoveSubtree fills the veto type and name when it vetoes.
    DWORD RemoveSubtree(DWORD devinst, DWORD* veto_type, std::wstring* veto_name);
    DWORD ResetHold(DWORD devinst);    // CM_Setup_DevNode(CM_SETUP_DEVNODE_RESET)
    DWORD Reenumerate(DWORD devinst);  // CM_Reenumerate_DevNode
    // The class installer's property change (DICS_* state and scope); returns a Win32
    // error and the install flags the change reports (DI_NEEDRESTART ...).
    DWORD ChangeState(DWORD devinst, DWORD state, DWORD scope, DWORD* install_flags);

    // Injection (persisted).
    void SetVeto(DWORD devinst, DWORD veto_type, const std::wstring& name);  // 0 clears
    void SetRestartNeeded(DWORD devinst, DWORD flags);                       // DI_NEEDRESTART, DI_NEEDREBOOT, 0
    void SetProblem(DWORD devinst, DWORD problem);                           // 0 clears; a problem stops the device
    // The class installer fails its property changes and removals (DIF_REMOVE) with error
    // (0 clears); SetupDiRemoveDevice itself does not ask it.
    void SetInstallerError(DWORD devinst, DWORD error);
    // The machine restarts: pending configuration changes take effect and holds are
    // released (the whole tree is enumerated again).
    void Restart();

    // Recorded arrivals and removals, oldest first.
    std::vector<DeviceChange> Changes() const;
    void ClearChanges();
    void AddListener(Listener l);

    // Devices that programs hold open (a COM port ...): a removal of a subtree that holds
    // one is vetoed with PNP_VetoOutstandingOpen. Models report their opens and closes;
    // checks are asked for holds the models keep themselves (in this host process).
    void AddOpen(DWORD devinst, int delta);
    void AddInUseCheck(std::function<bool(DWORD devinst)> check);
    bool InUse(DWORD devinst) const;

private:
    Machine& m_;
};

}  // namespace winsim
