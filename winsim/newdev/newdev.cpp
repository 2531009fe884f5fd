// winsim: newdev.dll's driver update over the driver store (newdev.h).
#include <windows.h>

#include <newdev.h>
#include <setupapi.h>

#include "winsim/devices.h"
#include "winsim/driverstore.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <shlwapi.h>

using namespace winsim;

namespace winsim::driverstore::internal {
void RecordUpdate(Machine& m, const Update& u);
}

namespace {

DWORD Update(Machine& m, LPCWSTR id, LPCWSTR inf, DWORD flags) {
    if (!id || !*id || !inf || !*inf) return ERROR_INVALID_PARAMETER;
    if (flags & ~static_cast<DWORD>(INSTALLFLAG_BITS)) return ERROR_INVALID_FLAGS;
    if (!CurrentProcess().image64) return ERROR_IN_WOW64;
    if (PathIsRelativeW(inf)) return ERROR_INVALID_PARAMETER;
    std::wstring full = files::FullPath(inf);
    auto bytes = files::ReadBytes(m, full);
    if (!bytes) return ERROR_FILE_NOT_FOUND;
    auto info = driverstore::ParseInf(*bytes);
    if (!info) return ERROR_WRONG_INF_STYLE;
    bool modelled = false;
    for (const auto& model : info->models)
        for (const auto& x : model.ids)
            if (IEquals(x, id)) modelled = true;
    if (!modelled) return ERROR_NO_SUCH_DEVINST;
    // The devices that would be updated, before the INF joins the store.
    DeviceTree t(m);
    Registry reg(m);
    std::wstring same = driverstore::FindCopy(m, full);
    bool any = false, newer = false;
    for (const auto& n : t.List()) {
        if (!n.present || t.DriverKey(n.devinst).empty()) continue;
        bool carries = false;
        for (const wchar_t* v : {L"HardwareID", L"CompatibleIDs"})
            for (const auto& x : reg.GetMultiString(t.EnumKey(n.devinst), v).value_or(std::vector<std::wstring>()))
                if (IEquals(x, id)) carries = true;
        if (!carries) continue;
        any = true;
        if (same.empty() || !IEquals(driverstore::BoundInf(m, n.devinst), same)) newer = true;
    }
    if (!any) return ERROR_NO_SUCH_DEVINST;
    if (!newer && !(flags & INSTALLFLAG_FORCE)) return ERROR_NO_MORE_ITEMS;
    std::wstring name;
    DWORD err = driverstore::CopyIn(m, full, &name, nullptr);
    if (err) return err;
    driverstore::InstallOn(m, name, id);
    driverstore::StartInstall(m);
    return ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND hwndParent, LPCWSTR HardwareId, LPCWSTR FullInfPath,
                                               DWORD InstallFlags, PBOOL bRebootRequired) {
    (void)hwndParent;
    if (bRebootRequired) *bRebootRequired = FALSE;
    Machine& m = CurrentMachine();
    DWORD err = Update(m, HardwareId, FullInfPath, InstallFlags);
    driverstore::Update u;
    u.hardware_id = HardwareId ? HardwareId : L"";
    u.inf_path = FullInfPath ? FullInfPath : L"";
    u.flags = InstallFlags;
    u.error = err;
    driverstore::internal::RecordUpdate(m, u);
    if (err) return Fail(err, FALSE);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
