// winsim: the operating system's version as programs query it (sysinfoapi.h on Windows).
//
// GetVersionExW reports the machine's version (winsim/osinfo.h) by the manifest rule of
// Windows 8.1 and later: a program sees a version above 6.2 only as far as its manifest
// declares compatibility with it (the highest supportedOS Id of the program's manifest
// resource); a program without such a declaration sees 6.2 (build 9200). The structure's
// size must be that of OSVERSIONINFOW or OSVERSIONINFOEXW (else ERROR_INSUFFICIENT_BUFFER).
#pragma once
#include "../windef.h"

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003
#define VER_SUITE_SINGLEUSERTS 0x00000100

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW, RTL_OSVERSIONINFOW, *PRTL_OSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

typedef OSVERSIONINFOW OSVERSIONINFO;
typedef LPOSVERSIONINFOW LPOSVERSIONINFO;
typedef OSVERSIONINFOEXW OSVERSIONINFOEX;

WINSIM_BEGIN_C
BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
// The firmware table of a provider: 'RSMB' (0x52534D42), table 0, the raw SMBIOS data
// (winsim/smbios.h). A null or short buffer gives the size needed.
UINT WINAPI GetSystemFirmwareTable(DWORD FirmwareTableProviderSignature, DWORD FirmwareTableID,
                                   PVOID pFirmwareTableBuffer, DWORD BufferSize);
WINSIM_END_C

#define GetVersionEx GetVersionExW
