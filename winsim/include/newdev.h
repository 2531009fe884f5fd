// winsim: the driver update function of newdev.dll over the driver store
// (winsim/driverstore.h).
//
// UpdateDriverForPlugAndPlayDevicesW needs a full INF path (ERROR_INVALID_PARAMETER else,
// ERROR_FILE_NOT_FOUND when it is missing) and known flags (ERROR_INVALID_FLAGS); a 32-bit
// caller on a 64-bit machine gets ERROR_IN_WOW64. When no present device carries the ID,
// or the INF has no model for it, it fails with ERROR_NO_SUCH_DEVINST; without
// INSTALLFLAG_FORCE, devices that already use the same INF are left as they are and it
// fails with ERROR_NO_MORE_ITEMS.
#pragma once
#include "windows.h"

#define INSTALLFLAG_FORCE 0x00000001
#define INSTALLFLAG_READONLY 0x00000002
#define INSTALLFLAG_NONINTERACTIVE 0x00000004
#define INSTALLFLAG_BITS 0x00000007

#ifndef ERROR_IN_WOW64
#define ERROR_IN_WOW64 0xE0000235L
#endif

WINSIM_BEGIN_C
BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND hwndParent, LPCWSTR HardwareId, LPCWSTR FullInfPath,
                                               DWORD InstallFlags, PBOOL bRebootRequired);
WINSIM_END_C

#define UpdateDriverForPlugAndPlayDevices UpdateDriverForPlugAndPlayDevicesW
