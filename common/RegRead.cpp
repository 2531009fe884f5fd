// Registry reads of a DWORD, a bounded text and a numbered list entry.
#include "RegRead.h"

#include <shlwapi.h>
#include <string.h>

namespace {

const DWORD kTypeFlags = REGREAD_SZ | REGREAD_EXPAND_SZ | REGREAD_DWORD | REGREAD_ANY_TYPE;

BOOL TypeTaken(DWORD dwType, DWORD dwFlags) {
    if (dwFlags & REGREAD_ANY_TYPE) return TRUE;
    switch (dwType) {
    case REG_SZ: return (dwFlags & REGREAD_SZ) != 0;
    case REG_EXPAND_SZ: return (dwFlags & REGREAD_EXPAND_SZ) != 0;
    case REG_DWORD: return (dwFlags & REGREAD_DWORD) != 0;
    default: return FALSE;
    }
}

}  // namespace

LONG RegReadDword(HKEY hKey, LPCWSTR pszName, DWORD dwFlags, DWORD* pdwValue) {
    if (!pdwValue || !(dwFlags & kTypeFlags)) return ERROR_INVALID_PARAMETER;
    BYTE data[sizeof(DWORD)];
    DWORD dwType = 0;
    DWORD cb = sizeof(data);
    LONG lResult = RegQueryValueExW(hKey, pszName, NULL, &dwType, data, &cb);
    if (lResult != ERROR_SUCCESS) return lResult;
    if (!TypeTaken(dwType, dwFlags)) return ERROR_INVALID_DATA;
    if (cb != sizeof(data) && !(dwFlags & REGREAD_SHORT_DWORD)) return ERROR_INVALID_DATA;
    memcpy(pdwValue, data, cb);
    return ERROR_SUCCESS;
}

LONG RegReadDword(HKEY hRoot, LPCWSTR pszSubKey, REGSAM samDesired, LPCWSTR pszName, DWORD dwFlags, DWORD* pdwValue) {
    HKEY hKey = NULL;
    LONG lResult = RegOpenKeyExW(hRoot, pszSubKey, 0, samDesired, &hKey);
    if (lResult != ERROR_SUCCESS) return lResult;
    lResult = RegReadDword(hKey, pszName, dwFlags, pdwValue);
    RegCloseKey(hKey);
    return lResult;
}

LONG RegReadText(HKEY hKey, LPCWSTR pszName, DWORD dwFlags, DWORD cchRead, LPWSTR pszOut, DWORD cchOut) {
    if (!pszOut || cchOut == 0 || cchRead == 0 || cchRead > REGREAD_MAX_CCH || !(dwFlags & kTypeFlags))
        return ERROR_INVALID_PARAMETER;
    // One character more than is read, so that the text always ends.
    WCHAR szData[REGREAD_MAX_CCH + 1];
    memset(szData, 0, (cchRead + 1) * sizeof(WCHAR));
    DWORD dwType = 0;
    DWORD cb = cchRead * sizeof(WCHAR);
    LONG lResult = RegQueryValueExW(hKey, pszName, NULL, &dwType, (LPBYTE)szData, &cb);
    if (lResult != ERROR_SUCCESS) return lResult;
    if (!TypeTaken(dwType, dwFlags)) return ERROR_INVALID_DATA;
    if (dwFlags & REGREAD_TERMINATED) {
        DWORD cch = cb / sizeof(WCHAR);
        if (cch == 0 || szData[cch - 1] != L'\0') {
            if (cch >= cchRead) return ERROR_MORE_DATA;
            szData[cch] = L'\0';
        }
    }
    DWORD cchText = (DWORD)lstrlenW(szData);
    if (cchText >= cchOut) {
        if (!(dwFlags & REGREAD_CUT)) return ERROR_INSUFFICIENT_BUFFER;
        cchText = cchOut - 1;
    }
    memcpy(pszOut, szData, cchText * sizeof(WCHAR));
    pszOut[cchText] = L'\0';
    return ERROR_SUCCESS;
}

LONG RegReadListEntry(HKEY hKey, LPCWSTR pszPrefix, DWORD n, DWORD dwFlags, DWORD cchRead, LPWSTR pszOut,
                      DWORD cchOut) {
    if (!pszPrefix) return ERROR_INVALID_PARAMETER;
    // The name's length: the prefix and the digits of n.
    int cchName = lstrlenW(pszPrefix) + 1;
    for (DWORD rest = n / 10; rest != 0; rest /= 10) ++cchName;
    if (cchName >= REGREAD_LIST_NAME_CCH) return ERROR_INVALID_PARAMETER;
    WCHAR szName[REGREAD_LIST_NAME_CCH];
    wnsprintfW(szName, REGREAD_LIST_NAME_CCH, L"%s%u", pszPrefix, n);
    szName[REGREAD_LIST_NAME_CCH - 1] = L'\0';
    return RegReadText(hKey, szName, dwFlags, cchRead, pszOut, cchOut);
}
