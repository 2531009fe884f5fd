#include "RegCtrl.h"

#include "DbgMac.h"
#include "SetupContext.h"

#include <string.h>

namespace {

#if defined(_WIN64) || (!defined(_WIN32) && defined(__LP64__))
const int kBuild64 = 1;
#else
const int kBuild64 = 0;
#endif

}  // namespace

REGSAM CRegCtrl::ViewMask(REGSAM samBase, int bWow, int b64Build) {
    if (!bWow) return samBase;
    return samBase | (b64Build ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
}

REGSAM CRegCtrl::CurrentMask(REGSAM samBase) {
    return ViewMask(samBase, GetSetupContext()->GetWowFlag(), kBuild64);
}

int CRegCtrl::WriteRegBIN(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, const BYTE* pData, DWORD cbData) {
    HKEY hKey = NULL;
    LONG rc = RegCreateKeyExW(hRoot, pszSubKey, 0, NULL, 0, CurrentMask(KEY_WRITE), NULL, &hKey, NULL);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"CRegCtrl::WriteRegBIN():RegCreateKeyEx() Error %d", rc);
        return 0;
    }
    rc = RegSetValueExW(hKey, pszValue, 0, REG_BINARY, pData, cbData);
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int CRegCtrl::WriteRegSZ(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, LPCWSTR pszText) {
    if (!pszText) return 0;
    HKEY hKey = NULL;
    LONG rc = RegCreateKeyExW(hRoot, pszSubKey, 0, NULL, 0, CurrentMask(KEY_WRITE), NULL, &hKey, NULL);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"CRegCtrl::WriteRegSZ():RegCreateKeyEx() Error %d", rc);
        return 0;
    }
    DWORD cb = static_cast<DWORD>((lstrlenW(pszText) + 1) * sizeof(WCHAR));
    rc = RegSetValueExW(hKey, pszValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText), cb);
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int CRegCtrl::ReadRegSZ(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, LPWSTR pszOut) {
    if (!pszOut) return 0;
    HKEY hKey = NULL;
    if (RegOpenKeyExW(hRoot, pszSubKey, 0, CurrentMask(KEY_READ), &hKey) != ERROR_SUCCESS) return 0;
    WCHAR szBuf[REGCTRL_TEXT_CCH + 1];
    memset(szBuf, 0, sizeof szBuf);
    DWORD cb = REGCTRL_TEXT_CCH * sizeof(WCHAR);
    LONG rc = RegQueryValueExW(hKey, pszValue, NULL, NULL, reinterpret_cast<BYTE*>(szBuf), &cb);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS) return 0;
    lstrcpynW(pszOut, szBuf, REGCTRL_TEXT_CCH);
    return 1;
}

int CRegCtrl::ReadRegDW(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, DWORD* pdwOut) {
    if (!pdwOut) return 0;
    HKEY hKey = NULL;
    if (RegOpenKeyExW(hRoot, pszSubKey, 0, CurrentMask(KEY_READ), &hKey) != ERROR_SUCCESS) return 0;
    DWORD cb = sizeof(DWORD);
    LONG rc = RegQueryValueExW(hKey, pszValue, NULL, NULL, reinterpret_cast<BYTE*>(pdwOut), &cb);
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int CRegCtrl::IsRegKey(HKEY hRoot, LPCWSTR pszSubKey) {
    HKEY hKey = NULL;
    LONG rc = RegOpenKeyExW(hRoot, pszSubKey, 0, CurrentMask(KEY_READ), &hKey);
    DBGPRINT(L"CRegCtrl::IsRegKey():RegOpenKeyEx() Wowflag %d Return Code  0x%08x", GetSetupContext()->GetWowFlag(),
             rc);
    if (rc != ERROR_SUCCESS) return 0;
    RegCloseKey(hKey);
    return 1;
}

int CRegCtrl::CreateRegKey(HKEY hRoot, LPCWSTR pszSubKey) {
    HKEY hKey = NULL;
    if (RegCreateKeyExW(hRoot, pszSubKey, 0, NULL, 0, CurrentMask(KEY_WRITE), NULL, &hKey, NULL) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(hKey);
    return 1;
}

int CRegCtrl::DeleteRegKey(HKEY hRoot, LPCWSTR pszSubKey) {
    return RegDeleteKeyExW(hRoot, pszSubKey, CurrentMask(0), 0) == ERROR_SUCCESS ? 1 : 0;
}
