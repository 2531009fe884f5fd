// winsim: advapi32's registry API over the machine's registry store.
//
// Byte sizes of string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ). The store keeps every
// string as UTF-16LE, so the sizes the machine holds are those of Windows (a REG_SZ of n
// characters with its terminator is 2*(n+1) bytes in the store, in a .reg export and in
// RegQueryInfoKey's view of other programs). At this API, however, the byte counts of
// string data are in units of the caller's sizeof(WCHAR): on Linux WCHAR is 4 bytes, so
// RegSetValueExW(REG_SZ, L"abc", 4*4) stores "abc\0" as 8 bytes, and RegQueryValueExW
// reports 16 bytes for it and writes four wchar_t. So `cbData / sizeof(WCHAR)` is the
// character count in both builds, which is all portable code may rely on.
//   - A string's size at the API is its unit count after conversion times sizeof(WCHAR);
//     characters outside the BMP are one wchar_t at the API and two units in the store.
//   - RegSetValueExW reads cbData / sizeof(WCHAR) characters; a remainder of cbData that
//     is not a whole WCHAR is ignored. A stored string with an odd byte count reads back
//     with its last byte as one more character.
//   - Data is never altered otherwise: a REG_SZ set without its terminator is stored and
//     returned without one (RegQueryValueExW adds none; RegGetValueW does).
//   - Every other type (REG_BINARY, REG_DWORD, REG_QWORD, REG_NONE ...) is byte-exact.
//
// Model simplifications (documented so that tests do not rely on more):
//   - HKEY_CURRENT_USER is HKEY_USERS\<the calling process's user SID>.
//   - HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes only (no merge with the
//     user's Software\Classes).
//   - HKEY_CURRENT_CONFIG is HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current.
//   - "CurrentControlSet" is an ordinary key (there is no ControlSet001 link).
//   - WOW64: in the 32-bit view (a 32-bit process, or KEY_WOW64_32KEY) HKLM\SOFTWARE is
//     HKLM\SOFTWARE\WOW6432Node, including SOFTWARE\Classes (so a 32-bit HKCR is
//     WOW6432Node\Classes). No key below SOFTWARE is shared between the views; only the
//     WOW6432Node key itself is reachable from both. The view is chosen per call (from
//     samDesired or the process bitness), never remembered by a handle. An explicit
//     "WOW6432Node" component right below SOFTWARE is taken as the 32-bit view.
//   - Security descriptors are not modelled; each key may carry a "deny read" and a "deny
//     write" flag (set through winsim/registry.h) that makes opens asking for those rights,
//     and the operations themselves, fail with ERROR_ACCESS_DENIED.
//   - Volatile keys are kept like others (the machine never reboots).
//   - Registry functions return their error and leave the thread's last error alone. The
//     functions that open a key set *phkResult to NULL when they fail. A name that does not
//     fit its buffer gives ERROR_MORE_DATA with nothing copied and the count unchanged.
//   - A key component is at most 255 characters, a value name at most 16383; longer ones
//     give ERROR_INVALID_PARAMETER. A subkey path starting with '\\' gives
//     ERROR_BAD_PATHNAME; empty components (doubled or trailing '\\') are skipped.
//   - Roots and hive keys (the keys right below HKLM and HKU) cannot be deleted
//     (ERROR_ACCESS_DENIED); RegDeleteTreeW refuses a tree with a deny-write key in it as a
//     whole instead of deleting part of it.
#pragma once
#include "windef.h"
#include "winbase.h"

typedef LONG LSTATUS;

#ifndef ERROR_BADKEY
#define ERROR_BADKEY 1010L
#endif
#ifndef ERROR_DATATYPE_MISMATCH
#define ERROR_DATATYPE_MISMATCH 1629L
#endif
#ifndef ERROR_UNSUPPORTED_TYPE
#define ERROR_UNSUPPORTED_TYPE 1630L
#endif

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000004))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_OPTION_DONT_VIRTUALIZE 0x00000010L

#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000ffff
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#define RRF_SUBKEY_WOW6432KEY 0x00020000
#define RRF_WOW64_MASK 0x00030000
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

WINSIM_BEGIN_C

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS WINAPI RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition);
LSTATUS WINAPI RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LSTATUS WINAPI RegOpenCurrentUser(REGSAM samDesired, PHKEY phkResult);
LSTATUS WINAPI RegConnectRegistryW(LPCWSTR lpMachineName, HKEY hKey, PHKEY phkResult);
LSTATUS WINAPI RegCloseKey(HKEY hKey);
LSTATUS WINAPI RegFlushKey(HKEY hKey);

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData);
LSTATUS WINAPI RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType, PVOID pvData,
                            LPDWORD pcbData);
LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData);
LSTATUS WINAPI RegSetKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName, DWORD dwType, LPCVOID lpData,
                               DWORD cbData);
LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);
LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LSTATUS WINAPI RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName);
LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime);

WINSIM_END_C

#define RegOpenKeyEx RegOpenKeyExW
#define RegOpenKey RegOpenKeyW
#define RegCreateKeyEx RegCreateKeyExW
#define RegCreateKey RegCreateKeyW
#define RegConnectRegistry RegConnectRegistryW
#define RegQueryValueEx RegQueryValueExW
#define RegGetValue RegGetValueW
#define RegSetValueEx RegSetValueExW
#define RegSetKeyValue RegSetKeyValueW
#define RegDeleteValue RegDeleteValueW
#define RegDeleteKey RegDeleteKeyW
#define RegDeleteKeyEx RegDeleteKeyExW
#define RegDeleteTree RegDeleteTreeW
#define RegEnumKeyEx RegEnumKeyExW
#define RegEnumKey RegEnumKeyW
#define RegEnumValue RegEnumValueW
#define RegQueryInfoKey RegQueryInfoKeyW
