// winsim: version information of files (version.dll).
//
// A file of the machine carries version data when winsim/version.h attached some to it
// (the system's own programs get theirs from their version header when installed). The
// block that GetFileVersionInfoW copies is opaque: only GetFileVersionInfoSizeW's size and
// VerQueryValueW's results are defined. A buffer shorter than the size gets a cut block
// whose cut-off entries VerQueryValueW no longer finds.
//
// GetFileVersionInfoSizeW: 0 with ERROR_FILE_NOT_FOUND (or the path's error) for a missing
// file, 0 with ERROR_RESOURCE_TYPE_NOT_FOUND for a file without version data.
// VerQueryValueW sub-blocks (names without regard to case, the leading backslash
// optional): "\" gives the VS_FIXEDFILEINFO (its size in bytes); "\VarFileInfo\Translation"
// the array of DWORDs, language in the low word and code page in the high word (its size
// in bytes; fails when the file lists none); "\StringFileInfo\llllcccc\Name" the string of
// that table (its length in characters with the terminator). Anything else fails with
// ERROR_RESOURCE_TYPE_NOT_FOUND.
#pragma once
#include "windows.h"

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VOS_NT_WINDOWS32 0x00040004L
#define VFT_UNKNOWN 0x00000000L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L
#define VFT_DRV 0x00000003L

WINSIM_BEGIN_C
DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);
WINSIM_END_C

#define GetFileVersionInfoSize GetFileVersionInfoSizeW
#define GetFileVersionInfo GetFileVersionInfoW
#define VerQueryValue VerQueryValueW
