// The driver package library "DIFxAPI.dll": no import library or header comes with the
// compilers, so the setup program loads it at run time and binds its five entries by name.
// These declarations follow the library's documentation.
#pragma once

#include <windows.h>

#define DIFX_LIBRARY_NAME L"DIFxAPI.dll"
#define DIFX_PREINSTALL_NAME "DriverPackagePreinstallW"
#define DIFX_INSTALL_NAME "DriverPackageInstallW"
#define DIFX_UNINSTALL_NAME "DriverPackageUninstallW"
#define DIFX_GETPATH_NAME "DriverPackageGetPathW"
#define DIFX_SETLOGCALLBACK_NAME "DIFXAPISetLogCallbackW"

// Flags of the package operations.
#define DRIVER_PACKAGE_REPAIR 0x00000001
#define DRIVER_PACKAGE_SILENT 0x00000002
#define DRIVER_PACKAGE_FORCE 0x00000004
#define DRIVER_PACKAGE_ONLY_IF_DEVICE_PRESENT 0x00000008
#define DRIVER_PACKAGE_LEGACY_MODE 0x00000010
#define DRIVER_PACKAGE_DELETE_FILES 0x00000020

// Results beyond the Win32 codes.
#define DIFX_ERROR_NO_SUCH_DEVINST 0xE000020BUL
#define DIFX_ERROR_DEPENDENT_APPLICATIONS_EXIST 0xE0000300UL
#define DIFX_ERROR_DRIVER_PACKAGE_NOT_IN_STORE 0xE0000302UL

// Event kinds of the log callback.
typedef enum { DIFXAPI_SUCCESS = 0, DIFXAPI_INFO = 1, DIFXAPI_WARNING = 2, DIFXAPI_ERROR = 3 } DIFXAPI_LOG;

// The application that installs a package (the setup program passes none).
typedef struct {
    PWSTR pApplicationId;
    PWSTR pDisplayName;
    PWSTR pProductName;
    PWSTR pMfgName;
} INSTALLERINFO_W, *PINSTALLERINFO_W;
typedef const INSTALLERINFO_W* PCINSTALLERINFO_W;

typedef void(__cdecl* DIFXAPILOGCALLBACK_W)(DIFXAPI_LOG EventType, DWORD Error, PCWSTR EventDescription,
                                            PVOID CallbackContext);

typedef DWORD(WINAPI* PFN_DriverPackagePreinstallW)(PCWSTR DriverPackageInfPath, DWORD Flags);
typedef DWORD(WINAPI* PFN_DriverPackageInstallW)(PCWSTR DriverPackageInfPath, DWORD Flags,
                                                 PCINSTALLERINFO_W pInstallerInfo, BOOL* pNeedReboot);
typedef DWORD(WINAPI* PFN_DriverPackageUninstallW)(PCWSTR DriverPackageInfPath, DWORD Flags,
                                                   PCINSTALLERINFO_W pInstallerInfo, BOOL* pNeedReboot);
typedef DWORD(WINAPI* PFN_DriverPackageGetPathW)(PCWSTR DriverPackageInfPath, PWSTR pDestInfPath, DWORD* pNumOfChars);
typedef void(WINAPI* PFN_DIFXAPISetLogCallbackW)(DIFXAPILOGCALLBACK_W LogCallback, PVOID CallbackContext);
