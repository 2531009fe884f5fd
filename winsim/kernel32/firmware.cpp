// winsim: kernel32's firmware tables: the raw SMBIOS table of the machine.
#include <windows.h>

#include "smbios_internal.h"
#include "winsim/machine.h"
#include "winsim/smbios.h"

#include <cstring>

using namespace winsim;

namespace {

const DWORD kProviderRsmb = 0x52534D42;  // 'RSMB'

}  // namespace

UINT WINAPI GetSystemFirmwareTable(DWORD provider, DWORD id, PVOID buffer, DWORD size) {
    Machine& m = CurrentMachine();
    if (DWORD err = internal::TakeFirmwareFailure(m)) {
        SetLastError(err);
        return 0;
    }
    if (provider != kProviderRsmb || id != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto table = smbios::GetTable(m);
    if (!table) {
        SetLastError(ERROR_NOT_FOUND);
        return 0;
    }
    std::vector<uint8_t> raw = smbios::RawBlock(*table);
    UINT needed = static_cast<UINT>(raw.size());
    if (!buffer || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return needed;
    }
    memcpy(buffer, raw.data(), raw.size());
    SetLastError(ERROR_SUCCESS);
    return needed;
}
