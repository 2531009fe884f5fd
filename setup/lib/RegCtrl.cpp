#include "RegCtrl.h"

#include "DbgMac.h"
#include "RegRead.h"
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

REGSAM CRegCtrl::CurrentMask(REGSAM samBase) { return ViewMask(samBase, GetSetupContext()->GetWowFlag(), kBuild64); }

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
    // Any type, up to REGCTRL_TEXT_CCH characters, cut to the 259 that the caller gets.
    LONG rc = RegReadText(hKey, pszValue, REGREAD_ANY_TYPE | REGREAD_CUT, REGCTRL_TEXT_CCH, pszOut, REGCTRL_TEXT_CCH);
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int CRegCtrl::ReadRegDW(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, DWORD* pdwOut) {
    if (!pdwOut) return 0;
    // Any type of up to 4 bytes; a shorter value fills only its own bytes.
    LONG rc =
        RegReadDword(hRoot, pszSubKey, CurrentMask(KEY_READ), pszValue, REGREAD_ANY_TYPE | REGREAD_SHORT_DWORD, pdwOut);
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
    // RegDeleteKeyExW is bound at run time: Windows XP's advapi32 lacks it, and there, with
    // no second registry view, the key is deleted in the program's own view.
    typedef LSTATUS(WINAPI * PFN_RegDeleteKeyExW)(HKEY, LPCWSTR, REGSAM, DWORD);
    HMODULE hAdvapi = LoadLibraryW(L"advapi32.dll");
    PFN_RegDeleteKeyExW pfnDeleteEx = hAdvapi ? reinterpret_cast<PFN_RegDeleteKeyExW>(reinterpret_cast<void (*)(void)>(
                                                    GetProcAddress(hAdvapi, "RegDeleteKeyExW")))
                                              : NULL;
    LSTATUS rc = pfnDeleteEx ? pfnDeleteEx(hRoot, pszSubKey, CurrentMask(0), 0) : RegDeleteKeyW(hRoot, pszSubKey);
    if (hAdvapi) FreeLibrary(hAdvapi);
    return rc == ERROR_SUCCESS ? 1 : 0;
}
