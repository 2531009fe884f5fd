#include "RegCtrl.h"

#include "DbgMac.h"
#include "RegRead.h"
#include "SetupContext.h"

#include <stdlib.h>
#include <string.h>

namespace {

#if defined(_WIN64) || (!defined(_WIN32) && defined(__LP64__))
const int kBuild64 = 1;
#else
const int kBuild64 = 0;
#endif

// Copies the open source key's values and sub keys into the open destination key.
int CopyOpenKey(HKEY hSrc, HKEY hDest) {
    DWORD cSubKeys = 0, cchMaxSubKey = 0, cValues = 0, cchMaxValue = 0, cbMaxData = 0;
    LONG rc = RegQueryInfoKeyW(hSrc, NULL, NULL, NULL, &cSubKeys, &cchMaxSubKey, NULL, &cValues, &cchMaxValue,
                               &cbMaxData, NULL, NULL);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"CSetupCtrl::CopyRegistry():RegQueryInfoKey() Error %d", rc);
        return 0;
    }
    int nResult = 1;
    // Names and data may grow while the copy runs: the buffers grow with them.
    // A key name has at most 255 characters.
    DWORD cchName = (cchMaxValue > 255 ? cchMaxValue : 255) + 1;
    DWORD cbData = cbMaxData + sizeof(WCHAR);
    LPWSTR pszName = static_cast<LPWSTR>(malloc(cchName * sizeof(WCHAR)));
    BYTE* pData = static_cast<BYTE*>(malloc(cbData));
    if (!pszName || !pData) {
        free(pszName);
        free(pData);
        return 0;
    }
    for (DWORD i = 0;; ++i) {
        DWORD cch = cchName, type = 0, cb = cbData;
        rc = RegEnumValueW(hSrc, i, pszName, &cch, NULL, &type, pData, &cb);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) {
            DWORD cchNeed = 0, cbNeed = 0;
            RegQueryInfoKeyW(hSrc, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &cchNeed, &cbNeed, NULL, NULL);
            LPWSTR pszBigger = static_cast<LPWSTR>(realloc(pszName, (cchNeed + 1) * sizeof(WCHAR)));
            if (pszBigger) pszName = pszBigger, cchName = cchName > cchNeed + 1 ? cchName : cchNeed + 1;
            BYTE* pBigger = static_cast<BYTE*>(realloc(pData, cbNeed + sizeof(WCHAR)));
            if (pBigger) pData = pBigger, cbData = cbData > cbNeed + 2 ? cbData : cbNeed + 2;
            if (!pszBigger || !pBigger) {
                nResult = 0;
                break;
            }
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) {
            DBGPRINT(L"CSetupCtrl::CopyRegistry():RegEnumValue() Error %d", rc);
            nResult = 0;
            break;
        }
        rc = RegSetValueExW(hDest, pszName, 0, type, pData, cb);
        if (rc != ERROR_SUCCESS) {
            DBGPRINT(L"CSetupCtrl::CopyRegistry():RegSetValueEx() Error %d", rc);
            nResult = 0;
        }
    }
    for (DWORD i = 0;; ++i) {
        DWORD cch = cchName;
        rc = RegEnumKeyExW(hSrc, i, pszName, &cch, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) {
            nResult = 0;
            break;
        }
        HKEY hSubSrc = NULL, hSubDest = NULL;
        rc = RegOpenKeyExW(hSrc, pszName, 0, KEY_READ, &hSubSrc);
        if (rc != ERROR_SUCCESS) {
            DBGPRINT(L"CSetupCtrl::CopyRegistry():RegOpenKeyEx() %s Error %d", pszName, rc);
            nResult = 0;
            continue;
        }
        rc = RegCreateKeyExW(hDest, pszName, 0, NULL, 0, KEY_READ | KEY_WRITE, NULL, &hSubDest, NULL);
        if (rc != ERROR_SUCCESS) {
            DBGPRINT(L"CSetupCtrl::CopyRegistry():RegCreateKeyEx() Error %d", rc);
            nResult = 0;
        } else {
            if (!CopyOpenKey(hSubSrc, hSubDest)) nResult = 0;
            RegCloseKey(hSubDest);
        }
        RegCloseKey(hSubSrc);
    }
    free(pszName);
    free(pData);
    return nResult;
}

// 1 when the key path lies at or below the other (both under the same root).
int IsKeyWithin(LPCWSTR pszInner, LPCWSTR pszOuter) {
    while (*pszOuter == L'\\') ++pszOuter;
    while (*pszInner == L'\\') ++pszInner;
    int n = lstrlenW(pszOuter);
    while (n > 0 && pszOuter[n - 1] == L'\\') --n;
    if (lstrlenW(pszInner) < n) return 0;
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, pszInner, n, pszOuter, n) != CSTR_EQUAL) return 0;
    return n == 0 || pszInner[n] == 0 || pszInner[n] == L'\\';
}

}  // namespace

int CRegCtrl::CopyRegistry(HKEY hSrcRoot, LPCWSTR pszSrcKey, HKEY hDestRoot, LPCWSTR pszDestKey) {
    if (!pszSrcKey || !pszDestKey) return 0;
    if (hSrcRoot == hDestRoot && IsKeyWithin(pszDestKey, pszSrcKey)) {
        DBGPRINT(L"CSetupCtrl::CopyRegistry():Refused a copy into its own source %s", pszSrcKey);
        return 0;
    }
    HKEY hSrc = NULL, hDest = NULL;
    if (RegOpenKeyExW(hSrcRoot, pszSrcKey, 0, KEY_READ, &hSrc) != ERROR_SUCCESS) return 0;
    LONG rc = RegCreateKeyExW(hDestRoot, pszDestKey, 0, NULL, 0, KEY_READ | KEY_WRITE, NULL, &hDest, NULL);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"CSetupCtrl::CopyRegistry():RegCreateKeyEx() Error %d", rc);
        RegCloseKey(hSrc);
        return 0;
    }
    int nResult = CopyOpenKey(hSrc, hDest);
    RegCloseKey(hDest);
    RegCloseKey(hSrc);
    return nResult;
}

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
    // The plain delete takes no access mask: it works in the program's own view, whatever
    // the WOW flag says.
    return RegDeleteKeyW(hRoot, pszSubKey) == ERROR_SUCCESS ? 1 : 0;
}
