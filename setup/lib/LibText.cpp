#include "LibText.h"

#include <shlwapi.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

int ReplaceAll(LPWSTR pszText, size_t cchText, LPCWSTR pszSearch, LPCWSTR pszReplace) {
    if (!pszText || !pszSearch || !*pszSearch || cchText == 0) return 0;
    if (!pszReplace) pszReplace = L"";
    size_t nSearch = wcslen(pszSearch);
    size_t nReplace = wcslen(pszReplace);
    if (!wcsstr(pszText, pszSearch)) return 0;

    LPWSTR pszWork = static_cast<LPWSTR>(malloc(cchText * sizeof(WCHAR)));
    if (!pszWork) return -1;
    size_t nOut = 0;
    LPCWSTR p = pszText;
    for (;;) {
        LPCWSTR hit = wcsstr(p, pszSearch);
        size_t nKeep = hit ? static_cast<size_t>(hit - p) : wcslen(p);
        size_t nAdd = nKeep + (hit ? nReplace : 0);
        if (nOut + nAdd >= cchText) {
            free(pszWork);
            return -1;
        }
        memcpy(pszWork + nOut, p, nKeep * sizeof(WCHAR));
        nOut += nKeep;
        if (!hit) break;
        memcpy(pszWork + nOut, pszReplace, nReplace * sizeof(WCHAR));
        nOut += nReplace;
        p = hit + nSearch;
    }
    pszWork[nOut] = 0;
    memcpy(pszText, pszWork, (nOut + 1) * sizeof(WCHAR));
    free(pszWork);
    return 1;
}

void TextBuf::AddFormat(LPCWSTR pszFormat, ...) {
    WCHAR szLine[2048];
    va_list args;
    va_start(args, pszFormat);
    int n = wvnsprintfW(szLine, 2048, pszFormat, args);
    va_end(args);
    if (n < 0 || n >= 2047)
        bFailed = 1;
    else
        Add(szLine, (size_t)n);
}

int IniHasSection(LPCWSTR pszIni, LPCWSTR pszName) {
    if (!pszIni || !pszName || !pszName[0]) return 0;
    DWORD cch = 4096;
    for (;;) {
        LPWSTR pszNames = static_cast<LPWSTR>(malloc(cch * sizeof(WCHAR)));
        if (!pszNames) return 0;
        DWORD n = GetPrivateProfileSectionNamesW(pszNames, cch, pszIni);
        if (n >= cch - 2 && cch < 0x100000) {
            free(pszNames);
            cch *= 4;
            continue;
        }
        int bFound = 0;
        for (LPCWSTR p = pszNames; *p && !bFound; p += lstrlenW(p) + 1) bFound = !lstrcmpiW(p, pszName);
        free(pszNames);
        return bFound;
    }
}
