// winsim: the machine's Mobile Broadband service and the module vendor's connection
// library, as tests and the winsim tool reach them.
//
// Mobile Broadband: the interface manager class (CLSID_MbnInterfaceManager) is provided to
// CoCreateInstance on every machine. It keeps the machine's interfaces, keyed by interface
// ID (the NetCfgInstanceId of the module's network adapter, compared without regard to
// case), in the machine's store: ready state, capability record, subscriber information
// and the hardware and software radio states. Behaviour, as documented:
// - IMbnInterfaceManager::GetInterface of an unknown ID: HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
//   and NULL; GetInterfaces: a SAFEARRAY of VT_UNKNOWN (the caller destroys it).
// - IMbnInterface: get_InterfaceID, GetReadyState, GetInterfaceCapability (the record's
//   strings are new BSTRs, NULL where the interface has none), GetSubscriberInformation
//   (E_PENDING while the subscriber information is not available); QueryInterface gives
//   IMbnRadio. The other methods answer E_NOTIMPL. An interface removed after it was handed
//   out answers HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
// - IMbnSubscriberInformation: get_SubscriberID / get_SimIccID give new BSTRs (a missing
//   value gives S_OK with NULL), get_TelephoneNumbers a SAFEARRAY of VT_BSTR.
// - IMbnRadio: both states; SetSoftwareRadioState changes it, gives a request ID and calls
//   OnSetSoftwareRadioStateComplete of the radio sinks.
// - The manager's IConnectionPointContainer has the connection points of
//   IMbnInterfaceEvents and IMbnRadioEvents (CONNECT_E_NOCONNECTION for others). Advise
//   keeps the sink (AddRef) until Unadvise; sinks still registered when the machine goes
//   away are dropped without a Release, as when their process ends.
// Every call can be made to fail with an injected HRESULT, for one interface or for all.
//
// The connection library "GobiApi.dll" is a module of every machine with the entries
// QCWWANConnect and QCWWANDisconnect (common/wwan/GobiApi.h); it loads where its file is
// (winsim/modules.h). The tablet profile installs it at kGobiTabletPath and gives the
// module's adapter its interface: ready, a SIM with a subscriber ID, the matching firmware.
#pragma once

#include <windows.h>

#include "MbnApi.h"
#include "machine.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::mbn {

// The tablet's module interface (the NetCfgInstanceId of its network adapter).
inline constexpr const wchar_t* kTabletInterfaceId = L"{7E1C4A2B-3D5F-4E6A-8B9C-0D1E2F3A4B5C}";
inline constexpr const wchar_t* kTabletSubscriberId = L"440109876543210";
inline constexpr const wchar_t* kTabletFirmware = L"SWI9X15C_01.11";

struct InterfaceSpec {
    std::wstring id;
    MBN_READY_STATE ready = MBN_READY_STATE_INITIALIZED;
    // Capability record (nullopt: the string is NULL).
    MBN_CELLULAR_CLASS cellular_class = MBN_CELLULAR_CLASS_GSM;
    MBN_VOICE_CLASS voice_class = MBN_VOICE_CLASS_NO_VOICE;
    ULONG data_class = 0;
    std::optional<std::wstring> custom_data_class;
    ULONG gsm_band_class = 0;
    ULONG cdma_band_class = 0;
    std::optional<std::wstring> custom_band_class;
    ULONG sms_caps = 0;
    ULONG control_caps = 0;
    std::optional<std::wstring> device_id;
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> model;
    std::optional<std::wstring> firmware_info;
    // Subscriber information.
    bool subscriber_available = true;  // false: GetSubscriberInformation gives E_PENDING
    std::optional<std::wstring> subscriber_id;
    std::optional<std::wstring> sim_iccid;
    std::vector<std::wstring> telephone_numbers;
    // Radio.
    MBN_RADIO hardware_radio = MBN_RADIO_ON;
    MBN_RADIO software_radio = MBN_RADIO_ON;
};

// The calls that can be made to fail or counted.
enum class Call {
    GetInterface,
    GetInterfaces,
    InterfaceID,
    GetReadyState,
    GetInterfaceCapability,
    GetSubscriberInformation,
    SubscriberID,
    SimIccID,
    TelephoneNumbers,
    QueryRadio,  // IMbnInterface::QueryInterface(IID_IMbnRadio)
    HardwareRadioState,
    SoftwareRadioState,
    SetSoftwareRadioState,
    FindConnectionPoint,
    Advise,
    Unadvise,
};
const char* CallName(Call c);

class Service {
public:
    explicit Service(Machine& m) : m_(m) {}

    // Adds or replaces an interface.
    void SetInterface(const InterfaceSpec& desc);
    bool RemoveInterface(const std::wstring& id);
    std::optional<InterfaceSpec> Interface(const std::wstring& id);
    std::vector<InterfaceSpec> Interfaces();

    // Changes that the service reports to the registered sinks: a new ready state
    // (OnReadyStateChange), radio states (OnRadioStateChange). Each sink is called on a new
    // thread of the process that registered it, which the caller waits for (directly when
    // the caller is in that process or on no simulated thread), each with an interface
    // object of its own that it may keep.
    bool SetReadyState(const std::wstring& id, MBN_READY_STATE state);
    bool SetRadio(const std::wstring& id, MBN_RADIO hardware, MBN_RADIO software);
    // OnInterfaceCapabilityAvailable / OnSubscriberInformationChange of every interface-event
    // sink; false when the interface does not exist.
    bool NotifyCapabilityAvailable(const std::wstring& id);
    bool NotifySubscriberInformationChange(const std::wstring& id);

    // The next `count` calls (0: all until cleared) of an interface (id "" : of any
    // interface and of the manager) fail with hr.
    void InjectFailure(const std::wstring& id, Call call, HRESULT hr, unsigned count = 0);
    void ClearFailures();
    // Calls made since the machine was opened (failed ones included).
    int CallCount(Call call);
    // Sinks registered now at the interface-event / radio-event connection points.
    int InterfaceEventSinks();
    int RadioEventSinks();
    // CoCreateInstance of the manager class fails with REGDB_E_CLASSNOTREG while off.
    void SetClassRegistered(bool on);

private:
    Machine& m_;
};

}  // namespace winsim::mbn

namespace winsim::gobi {

inline constexpr const wchar_t* kModuleName = L"GobiApi.dll";
inline constexpr const wchar_t* kGobiTabletPath = L"C:\\Program Files (x86)\\Sierra Wireless Inc\\Utils\\GobiApi.dll";

// Which entries the library exports.
enum class Variant { Full, NoConnect, NoDisconnect, NoEntries };

// Re-registers the library with the variant's entries (the machine starts with Full).
void SetVariant(Machine& m, Variant v);
// Writes the library's file at path.
void Install(Machine& m, const std::wstring& path);
// What the entries return (default 0).
void SetResults(Machine& m, ULONG connect, ULONG disconnect);

struct CallRecord {
    std::string entry;      // "QCWWANConnect" or "QCWWANDisconnect"
    bool null_args = true;  // QCWWANConnect: both arguments NULL
    DWORD pid = 0;
};
// The entries' calls in order, since the machine was opened.
std::vector<CallRecord> Calls(Machine& m);
int ConnectCalls(Machine& m);
int DisconnectCalls(Machine& m);

}  // namespace winsim::gobi
