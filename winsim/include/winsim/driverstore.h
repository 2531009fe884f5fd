// winsim: the machine's driver store, as tests and the driver installation functions see
// it.
//
// The store is the INF folder C:\Windows\INF: third-party INFs stand there as oemN.inf
// (N from 0, the lowest free number), each a real INF text (ANSI or UTF-16LE with its byte
// order mark). A device uses an INF when its driver key names it in InfPath, as Windows
// records an installed driver; an INF in use stays unless its removal is forced.
//
// What the functions over it do:
//   - SetupCopyOEMInfW copies an INF into the folder; the same text already there is not
//     copied again (its name is given back), unless SP_COPY_NOOVERWRITE asks for
//     ERROR_FILE_EXISTS.
//   - SetupUninstallOEMInfW takes a bare oem*.inf name; without SUOI_FORCEDELETE an INF
//     that an installed device uses stays (ERROR_INF_IN_USE_BY_DEVICES), with it the INF
//     goes whatever uses it. Its .pnf goes with it.
//   - UpdateDriverForPlugAndPlayDevicesW (newdev.h) binds every present device that carries
//     the hardware ID (a hardware or compatible ID equal to it, without regard to case) to
//     a store copy of the INF, provided one of the INF's model lines names the ID. Each
//     update leaves an install pending for the set duration (machine time);
//     CMP_WaitNoPendingInstallEvents waits for the pending installs to end.
//   - CM_Reenumerate_DevNode installs the devices queued for detection below the node
//     (their parent must be installed), then brings back what can be present.
#pragma once

#include "devices.h"
#include "machine.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::driverstore {

inline constexpr const wchar_t* kInfFolder = L"C:\\Windows\\INF";

// The parts of an INF the store reads: [Version] Class and Provider (with %name% from
// [Strings]) and every model line's hardware IDs, with the line's description.
struct InfModel {
    std::wstring description;
    std::vector<std::wstring> ids;  // hardware ID, then compatible IDs
};
struct InfInfo {
    std::wstring class_name;
    std::wstring provider;
    std::vector<InfModel> models;
};
// Parses INF bytes (ANSI, or UTF-16LE with its mark); nullopt when there is no [Version].
std::optional<InfInfo> ParseInf(const std::string& bytes);
// The INF text as it would be written to a file: UTF-16LE with its mark, or ANSI.
std::string InfBytes(const std::wstring& text, bool utf16);

// Writes the text as the next oemN.inf of the folder; its name ("oem3.inf").
std::wstring AddOemInf(Machine& m, const std::wstring& text, bool utf16 = false);
// The oem*.inf names of the folder, by number.
std::vector<std::wstring> OemInfs(Machine& m);

// The in-use mark: the device's driver key names the INF (InfPath), its provider and the
// matching ID. Throws std::invalid_argument for a device without a driver key.
void BindDriver(Machine& m, DWORD devinst, const std::wstring& inf_name, const std::wstring& matching_id = L"");
std::wstring BoundInf(Machine& m, DWORD devinst);  // "" none
// Installed devices (present or not) whose driver key names the INF.
std::vector<DWORD> DevicesUsing(Machine& m, const std::wstring& inf_name);

// Store operations (Win32 error codes) that the API functions and the DIFx stand-in share.
// Copies the INF at a full path into the folder: *name the store name, *existed when the
// same text was there already.
DWORD CopyIn(Machine& m, const std::wstring& full_path, std::wstring* name, bool* existed);
// The store name of an INF whose text equals the file's ("" none).
std::wstring FindCopy(Machine& m, const std::wstring& full_path);
DWORD Remove(Machine& m, const std::wstring& inf_name, bool force);
// Binds the present devices that carry one of the INF's model IDs (every one when id is
// empty, else only id) to the store copy; the devices bound.
std::vector<DWORD> InstallOn(Machine& m, const std::wstring& inf_name, const std::wstring& id);

// Devices found by the next re-enumeration of an ancestor (or the root).
void QueueDetection(Machine& m, const DeviceSpec& device);
// Machine milliseconds an install stays pending (default 2000).
void SetInstallDuration(Machine& m, DWORD ms);
// Marks an install pending from now for the set duration.
void StartInstall(Machine& m);
// Milliseconds until the pending installs end (0: none).
uint64_t PendingMs(Machine& m);
// Installs the queued devices whose parent lies in the subtree of devinst.
void DetectBelow(Machine& m, DWORD devinst);

// The calls of UpdateDriverForPlugAndPlayDevicesW, oldest first.
struct Update {
    std::wstring hardware_id;
    std::wstring inf_path;
    DWORD flags = 0;
    DWORD error = 0;  // 0 success
};
std::vector<Update> Updates(Machine& m);

}  // namespace winsim::driverstore
