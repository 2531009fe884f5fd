// The two entries of the module vendor's connection library GobiApi.dll that the service
// binds at run time, with the one prototype every call goes through:
//   ULONG QCWWANConnect(CHAR* pDeviceNode, CHAR* pDeviceKey)
//     connects to a device of the module; NULL for both picks the first device found.
//   ULONG QCWWANDisconnect(void)
//     ends the connection of the last QCWWANConnect.
// Both return 0 on success, else the library's error code. The library uses the C calling
// convention.
#pragma once

#include <windows.h>

#define GOBIAPI_DLL_NAME L"GobiApi.dll"
#define GOBIAPI_CONNECT_NAME "QCWWANConnect"
#define GOBIAPI_DISCONNECT_NAME "QCWWANDisconnect"

typedef ULONG(__cdecl* PFN_QCWWANConnect)(CHAR* pDeviceNode, CHAR* pDeviceKey);
typedef ULONG(__cdecl* PFN_QCWWANDisconnect)(void);
