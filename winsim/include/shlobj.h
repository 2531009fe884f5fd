// winsim: shlobj.h - the shell's special folders and the administrator test.
//
// SHGetFolderPathW knows the folders below (for the calling process's user and bitness:
// a 32-bit process gets "C:\Program Files (x86)" for CSIDL_PROGRAM_FILES, and
// CSIDL_SYSTEM is SysWOW64 for it as on Windows); CSIDL_FLAG_CREATE creates the folder, any
// other flag bit is ignored. An unknown CSIDL gives E_INVALIDARG, a folder that does not
// exist (without CSIDL_FLAG_CREATE) HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND); the buffer
// is then left as it was.
//
// IsUserAnAdmin reports whether the process runs with administrator rights: the setting of
// its user (winsim/osinfo.h, default: every user is an administrator).
#pragma once
#include "windows.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_STARTUP 0x0007
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_FONTS 0x0014
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_STARTUP 0x0018
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROFILE 0x0028
#define CSIDL_SYSTEMX86 0x0029
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_PROGRAM_FILES_COMMON 0x002b
#define CSIDL_COMMON_DOCUMENTS 0x002e
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

WINSIM_BEGIN_C
HRESULT WINAPI SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);
BOOL WINAPI IsUserAnAdmin(void);
WINSIM_END_C

#define SHGetFolderPath SHGetFolderPathW
