// winsim: the driver store's functions of setupapi and the configuration manager
// (winsim/driverstore.h), and the node registry properties.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include "devices_internal.h"
#include "winsim/devices.h"
#include "winsim/driverstore.h"
#include "internal.h"
#include "winsim/files.h"
#include "winsim/modules.h"
#include "winsim/registry.h"

#include <cstring>

using namespace winsim;

BOOL WINAPI SetupCopyOEMInfW(PCWSTR SourceInfFileName, PCWSTR OEMSourceMediaLocation, DWORD OEMSourceMediaType,
                             DWORD CopyStyle, PWSTR DestinationInfFileName, DWORD DestinationInfFileNameSize,
                             PDWORD RequiredSize, PWSTR* DestinationInfFileNameComponent) {
    (void)OEMSourceMediaLocation;
    if (!SourceInfFileName || !*SourceInfFileName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (OEMSourceMediaType >= SPOST_MAX) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (DestinationInfFileNameComponent && !DestinationInfFileName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    Machine& m = CurrentMachine();
    std::wstring full = files::FullPath(SourceInfFileName);
    std::wstring existing = driverstore::FindCopy(m, full);
    if (!existing.empty() && (CopyStyle & SP_COPY_NOOVERWRITE)) return Fail(ERROR_FILE_EXISTS, FALSE);
    if (existing.empty() && (CopyStyle & SP_COPY_REPLACEONLY)) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    std::wstring name;
    bool existed = false;
    DWORD err = driverstore::CopyIn(m, full, &name, &existed);
    if (err) return Fail(err, FALSE);
    std::wstring dest = std::wstring(driverstore::kInfFolder) + L"\\" + name;
    DWORD need = static_cast<DWORD>(dest.size() + 1);
    if (RequiredSize) *RequiredSize = need;
    if (DestinationInfFileName) {
        if (DestinationInfFileNameSize < need) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
        wmemcpy(DestinationInfFileName, dest.c_str(), need);
        if (DestinationInfFileNameComponent)
            *DestinationInfFileNameComponent = DestinationInfFileName + (dest.size() - name.size());
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupUninstallOEMInfW(PCWSTR InfFileName, DWORD Flags, PVOID Reserved) {
    if (!InfFileName || !*InfFileName || Reserved) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (Flags & ~static_cast<DWORD>(SUOI_FORCEDELETE)) return Fail(ERROR_INVALID_FLAGS, FALSE);
    DWORD err = driverstore::Remove(CurrentMachine(), InfFileName, (Flags & SUOI_FORCEDELETE) != 0);
    if (err) return Fail(err, FALSE);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD WINAPI CMP_WaitNoPendingInstallEvents(DWORD dwTimeout) {
    Machine& m = CurrentMachine();
    uint64_t left = driverstore::PendingMs(m);
    if (left == 0) return WAIT_OBJECT_0;
    if (dwTimeout != INFINITE && dwTimeout < left) {
        Sleep(dwTimeout);
        return driverstore::PendingMs(m) ? WAIT_TIMEOUT : WAIT_OBJECT_0;
    }
    Sleep(static_cast<DWORD>(left));
    return WAIT_OBJECT_0;
}

namespace {
const wchar_t* NodeValueName(ULONG prop) {
    switch (prop) {
    case CM_DRP_DEVICEDESC: return L"DeviceDesc";
    case CM_DRP_HARDWAREID: return L"HardwareID";
    case CM_DRP_COMPATIBLEIDS: return L"CompatibleIDs";
    case CM_DRP_SERVICE: return L"Service";
    case CM_DRP_CLASS: return L"Class";
    case CM_DRP_CLASSGUID: return L"ClassGUID";
    case CM_DRP_DRIVER: return L"Driver";
    case CM_DRP_CONFIGFLAGS: return L"ConfigFlags";
    case CM_DRP_MFG: return L"Mfg";
    case CM_DRP_FRIENDLYNAME: return L"FriendlyName";
    case CM_DRP_LOCATION_INFORMATION: return L"LocationInformation";
    default: return nullptr;
    }
}
}  // namespace

CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyW(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType,
                                                   PVOID Buffer, PULONG pulLength, ULONG ulFlags) {
    if (!pulLength || (!Buffer && *pulLength)) return CR_INVALID_POINTER;
    if (ulFlags) return CR_INVALID_FLAG;
    if (ulProperty < CM_DRP_MIN || ulProperty > CM_DRP_MAX) return CR_INVALID_PROPERTY;
    if (dnDevInst == 0) return CR_INVALID_DEVNODE;
    Machine& m = CurrentMachine();
    DeviceTree t(m);
    if (!t.Get(dnDevInst)) return CR_INVALID_DEVNODE;
    const wchar_t* name = NodeValueName(ulProperty);
    auto v = name ? Registry(m).GetValue(t.EnumKey(dnDevInst), name) : std::nullopt;
    if (!v) {
        *pulLength = 0;
        return CR_NO_SUCH_VALUE;
    }
    std::vector<uint8_t> bytes = v->data;
    if (v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_MULTI_SZ) {
        std::wstring w = Registry::FromBytes(v->data);
        bytes.assign(w.size() * sizeof(WCHAR), 0);
        if (!w.empty()) std::memcpy(bytes.data(), w.data(), bytes.size());
    }
    if (pulRegDataType) *pulRegDataType = v->type;
    ULONG need = static_cast<ULONG>(bytes.size());
    if (*pulLength < need) {
        *pulLength = need;
        return CR_BUFFER_SMALL;
    }
    if (need) std::memcpy(Buffer, bytes.data(), need);
    *pulLength = need;
    return CR_SUCCESS;
}

namespace winsim::internal {

// setupapi.dll as programs bind it by name: the pending-install wait has no import library
// entry.
void InitDriverStore(Machine& m) {
    ModuleSpec setupapi;
    setupapi.name = L"setupapi.dll";
    setupapi.system = true;
    setupapi.exports["CMP_WaitNoPendingInstallEvents"] = reinterpret_cast<void*>(&CMP_WaitNoPendingInstallEvents);
    Modules(m).Register(setupapi);
}

}  // namespace winsim::internal
