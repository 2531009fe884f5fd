// Path macros of the setup script: a name between two percent signs, replaced by the
// program's own values or by the environment variable of that name.
#include "SetupCtrl.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>

#include "NetDevCtrl.h"
#include "SetupEnv.h"

namespace {

// The work area of one replacement pass: the longest text a caller hands in.
const DWORD kWorkCch = 4096;

void CopyCut(LPWSTR pszOut, DWORD cchOut, LPCWSTR pszIn) {
    if (!cchOut) return;
    lstrcpynW(pszOut, pszIn ? pszIn : L"", (int)cchOut);
}

}  // namespace

int CSetupCtrl::FindMacroName(LPCWSTR pszText, LPCWSTR pszMark, LPWSTR pszName) {
    if (!pszText || !pszMark || !pszMark[0] || !pszName) return 0;
    LPCWSTR pFirst = wcschr(pszText, pszMark[0]);
    if (!pFirst) return 0;
    LPCWSTR pSecond = wcschr(pFirst + 1, pszMark[0]);
    if (!pSecond) return 0;
    size_t n = (size_t)(pSecond - pFirst - 1);
    if (n > SETUP_TEXT_CCH - 1) n = SETUP_TEXT_CCH - 1;
    memcpy(pszName, pFirst + 1, n * sizeof(WCHAR));
    pszName[n] = 0;
    return 1;
}

int CSetupCtrl::ReplaceAll(LPWSTR pszText, DWORD cchText, LPCWSTR pszToken, LPCWSTR pszValue) {
    if (!pszText || !cchText || !pszToken || !pszToken[0]) return 0;
    if (!pszValue) pszValue = L"";
    size_t nToken = wcslen(pszToken);
    size_t nValue = wcslen(pszValue);
    LPWSTR pszWork = (LPWSTR)malloc(cchText * sizeof(WCHAR));
    if (!pszWork) return 0;
    size_t out = 0;
    const size_t cap = cchText - 1;
    int bReplaced = 0;
    LPCWSTR p = pszText;
    while (*p && out < cap) {
        if (wcsncmp(p, pszToken, nToken) == 0) {
            size_t n = nValue < cap - out ? nValue : cap - out;
            memcpy(pszWork + out, pszValue, n * sizeof(WCHAR));
            out += n;
            p += nToken;
            bReplaced = 1;
        } else {
            pszWork[out++] = *p++;
        }
    }
    pszWork[out] = 0;
    if (bReplaced) memcpy(pszText, pszWork, (out + 1) * sizeof(WCHAR));
    free(pszWork);
    return bReplaced;
}

int CSetupCtrl::MacroValue(LPCWSTR pszToken, LPCWSTR pszName, LPWSTR pszValue, DWORD cchValue) {
    pszValue[0] = 0;
    if (lstrcmpiW(pszToken, L"%ExecuteDir%") == 0) {
        CopyCut(pszValue, cchValue, g_pSetupEnv ? g_pSetupEnv->GetShortProgramFolder() : L"");
        size_t n = wcslen(pszValue);
        if (n > 0 && pszValue[n - 1] == L'\\') pszValue[n - 1] = 0;
        return 1;
    }
    if (lstrcmpiW(pszToken, L"%NetInstanceGUID%") == 0) {
        CopyCut(pszValue, cchValue, g_pNetDevCtrl ? g_pNetDevCtrl->GetNetCfgInstanceId() : L"");
        return 1;
    }
    if (lstrcmpiW(pszToken, L"%DevInstanceID%") == 0) {
        CopyCut(pszValue, cchValue, m_DevCtrl.GetDevInstanceId());
        return 1;
    }
    int nFolder = -1;
    if (lstrcmpiW(pszToken, L"%CSIDL_COMMON_PROGRAMS%") == 0)
        nFolder = CSIDL_COMMON_PROGRAMS;
    else if (lstrcmpiW(pszToken, L"%CSIDL_COMMON_STARTMENU%") == 0)
        nFolder = CSIDL_COMMON_STARTMENU;
    if (nFolder >= 0) {
        WCHAR szPath[MAX_PATH];
        szPath[0] = 0;
        if (SUCCEEDED(SHGetFolderPathW(NULL, nFolder, NULL, SHGFP_TYPE_CURRENT, szPath)))
            CopyCut(pszValue, cchValue, szPath);
        return 1;
    }
    CopyCut(pszValue, cchValue, _wgetenv(pszName));
    return 1;
}

void CSetupCtrl::ExpandMacros(LPWSTR pszText, DWORD cchText) {
    if (!pszText || !cchText) return;
    pszText[cchText - 1] = 0;
    WCHAR szName[SETUP_TEXT_CCH];
    WCHAR szToken[SETUP_TEXT_CCH + 2];
    LPWSTR pszValue = (LPWSTR)malloc(kWorkCch * sizeof(WCHAR));
    if (!pszValue) return;
    // Each pass starts again at the first percent pair; a value that brings a pair back
    // could go on for ever, so the passes are counted.
    for (int nPass = 0; nPass < SETUP_MACRO_MAX_PASSES; ++nPass) {
        if (!FindMacroName(pszText, L"%", szName)) break;
        wnsprintfW(szToken, SETUP_TEXT_CCH + 2, L"%%%s%%", szName);
        MacroValue(szToken, szName, pszValue, kWorkCch);
        if (!ReplaceAll(pszText, cchText, szToken, pszValue)) break;
    }
    free(pszValue);
}
