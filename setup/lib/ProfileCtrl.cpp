#include "ProfileCtrl.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "LibText.h"

CProfileCtrl::CProfileCtrl() : m_nLanguage(-1) {
    m_szFilePath[0] = 0;
    m_szProgramFolder[0] = 0;
    m_szShortProgramFolder[0] = 0;
    SetLanguage(-1);
    DWORD n = GetModuleFileNameW(NULL, m_szProgramFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) m_szProgramFolder[0] = 0;
    PathRemoveFileSpecW(m_szProgramFolder);
    n = GetShortPathNameW(m_szProgramFolder, m_szShortProgramFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) m_szShortProgramFolder[0] = 0;
}

CProfileCtrl::~CProfileCtrl() {}

int CProfileCtrl::SetLanguage(int nLanguage) {
    m_nLanguage = nLanguage == -1 ? static_cast<int>(GetUserDefaultUILanguage()) : nLanguage;
    return m_nLanguage;
}

int CProfileCtrl::Open(LPCWSTR pszFile) {
    m_szFilePath[0] = 0;
    if (!pszFile) return 0;
    WCHAR szPath[MAX_PATH];
    if (PathIsRelativeW(pszFile)) {
        lstrcpynW(szPath, m_szShortProgramFolder, MAX_PATH);
        if (!PathAppendW(szPath, pszFile)) return 0;
    } else {
        if (lstrlenW(pszFile) >= MAX_PATH) return 0;
        lstrcpynW(szPath, pszFile, MAX_PATH);
    }
    lstrcpynW(m_szFilePath, szPath, MAX_PATH);
    return PathFileExistsW(m_szFilePath) ? 1 : 0;
}

int CProfileCtrl::Open(LPCWSTR pszFile, int nLanguage) {
    SetLanguage(nLanguage);
    return Open(pszFile);
}

int CProfileCtrl::HasSection(LPCWSTR pszSection) {
    if (!pszSection) return 0;
    WCHAR szNames[PROFILE_NAMES_CCH];
    szNames[0] = 0;
    szNames[1] = 0;
    GetPrivateProfileSectionNamesW(szNames, PROFILE_NAMES_CCH, m_szFilePath);
    for (LPCWSTR p = szNames; *p; p += lstrlenW(p) + 1) {
        if (lstrcmpiW(p, pszSection) == 0) return 1;
    }
    return 0;
}

int CProfileCtrl::StripComment(LPWSTR pszText) {
    if (!pszText) return 0;
    LPWSTR p = wcschr(pszText, L';');
    if (!p) return 0;
    *p = 0;
    return 1;
}

int CProfileCtrl::GetString(LPCWSTR pszSection, LPCWSTR pszKey, LPWSTR pszOut, DWORD cchOut, int bSubstitute) {
    if (!pszOut || cchOut == 0) return 0;
    DWORD n = GetPrivateProfileStringW(pszSection, pszKey, L"", pszOut, cchOut, m_szFilePath);
    if (n == 0) return 0;
    StripComment(pszOut);
    if (bSubstitute) Substitute(pszOut, cchOut);
    return 1;
}

int CProfileCtrl::Substitute(LPWSTR pszText, DWORD cchText) {
    if (!pszText || cchText == 0) return 0;
    WCHAR szSection[32];
    lstrcpynW(szSection, L"Strings", 32);
    if (m_nLanguage != -1) {
        wsprintfW(szSection, L"Strings.%04x", m_nLanguage & 0xFFFF);
        if (!HasSection(szSection)) lstrcpynW(szSection, L"Strings", 32);
    }

    int bFound = 0;
    for (int nPass = 0; nPass < PROFILE_MAX_PASSES; ++nPass) {
        LPWSTR pFirst = wcschr(pszText, L'%');
        if (!pFirst) break;
        LPWSTR pSecond = wcschr(pFirst + 1, L'%');
        if (!pSecond) break;

        // The token "%name%" as it stands in the text, and the name to look up.
        size_t nName = static_cast<size_t>(pSecond - pFirst - 1);
        LPWSTR pszToken = static_cast<LPWSTR>(malloc((nName + 3) * sizeof(WCHAR)));
        if (!pszToken) break;
        wmemcpy(pszToken, pFirst, nName + 2);
        pszToken[nName + 2] = 0;
        WCHAR szName[PROFILE_TOKEN_CCH];
        lstrcpynW(szName, pFirst + 1, static_cast<int>(nName + 1 < PROFILE_TOKEN_CCH ? nName + 1 : PROFILE_TOKEN_CCH));

        WCHAR szValue[PROFILE_READ_CCH];
        szValue[0] = 0;
        if (GetString(szSection, szName, szValue, PROFILE_READ_CCH, 0))
            bFound = 1;
        else
            szValue[0] = 0;

        int r = ReplaceAll(pszText, cchText, pszToken, szValue);
        free(pszToken);
        if (r < 0) break;  // the result would not fit: keep the text as it stands
    }
    return bFound;
}

int CProfileCtrl::GetKeyValues(LPCWSTR pszSection, CProfileEntryList* pList, int bSubstitute) {
    if (!pList) return 0;
    WCHAR szKeys[PROFILE_NAMES_CCH];
    szKeys[0] = 0;
    szKeys[1] = 0;
    GetPrivateProfileStringW(pszSection, NULL, L"", szKeys, PROFILE_NAMES_CCH, m_szFilePath);
    int nCount = 0;
    for (LPCWSTR p = szKeys; *p; p += lstrlenW(p) + 1) {
        ProfileEntry e;
        lstrcpynW(e.szKey, p, PROFILE_KEY_CCH);
        e.szValue[0] = 0;
        if (!GetString(pszSection, p, e.szValue, PROFILE_READ_CCH, 0)) e.szValue[0] = 0;
        if (bSubstitute) {
            Substitute(e.szValue, PROFILE_VALUE_CCH);
            Substitute(e.szKey, PROFILE_KEY_CCH);
        }
        pList->Add(e);
        ++nCount;
    }
    return nCount;
}

int CProfileCtrl::GetSectionLines(LPCWSTR pszSection, CTextList* pList, int bSubstitute, LPCWSTR pszSeparators,
                                  int nField) {
    if (!pList) return 0;
    LPWSTR pszAll = static_cast<LPWSTR>(malloc(PROFILE_SECTION_CCH * sizeof(WCHAR)));
    LPWSTR pszLine = static_cast<LPWSTR>(malloc(PROFILE_SECTION_CCH * sizeof(WCHAR)));
    if (!pszAll || !pszLine) {
        free(pszAll);
        free(pszLine);
        return 0;
    }
    pszAll[0] = 0;
    pszAll[1] = 0;
    GetPrivateProfileSectionW(pszSection, pszAll, PROFILE_SECTION_CCH, m_szFilePath);
    int nCount = 0;
    for (LPCWSTR p = pszAll; *p; p += lstrlenW(p) + 1) {
        lstrcpynW(pszLine, p, PROFILE_SECTION_CCH);
        StripComment(pszLine);
        ++nCount;
        if (pszSeparators && nField > 0) {
            WCHAR szField[PROFILE_FIELD_CCH];
            if (!GetField(pszLine, pszSeparators, nField, szField, PROFILE_FIELD_CCH)) continue;
            if (bSubstitute) Substitute(szField, PROFILE_FIELD_CCH);
            pList->Add(szField);
        } else {
            if (bSubstitute) Substitute(pszLine, PROFILE_SECTION_CCH);
            pList->Add(pszLine);
        }
    }
    free(pszAll);
    free(pszLine);
    return nCount;
}

int CProfileCtrl::GetField(LPCWSTR pszText, LPCWSTR pszSeparators, int nField, LPWSTR pszOut, DWORD cchOut) {
    if (!pszText || !pszSeparators || nField < 1 || !pszOut || cchOut == 0) return 0;
    WCHAR szWork[PROFILE_FIELD_CCH];
    lstrcpynW(szWork, pszText, PROFILE_FIELD_CCH);
    int nIndex = 0;
    LPWSTR p = szWork;
    for (;;) {
        while (*p && wcschr(pszSeparators, *p)) ++p;  // runs of separators count as one
        if (!*p) return 0;
        LPWSTR pStart = p;
        while (*p && !wcschr(pszSeparators, *p)) ++p;
        if (++nIndex == nField) {
            *p = 0;
            lstrcpynW(pszOut, pStart, static_cast<int>(cchOut));
            return 1;
        }
    }
}

CTextList* CProfileCtrl::Split(CTextList* pList, LPCWSTR pszText, LPCWSTR pszSeparator) {
    if (!pList || !pszText) return pList;
    size_t nSep = pszSeparator ? wcslen(pszSeparator) : 0;
    if (nSep == 0) {
        if (*pszText) pList->Add(pszText);
        return pList;
    }
    LPCWSTR p = pszText;
    for (;;) {
        LPCWSTR hit = wcsstr(p, pszSeparator);
        size_t n = hit ? static_cast<size_t>(hit - p) : wcslen(p);
        if (n > 0) {
            LPWSTR piece = static_cast<LPWSTR>(malloc((n + 1) * sizeof(WCHAR)));
            if (piece) {
                wmemcpy(piece, p, n);
                piece[n] = 0;
                pList->Add(piece);
                free(piece);
            }
        }
        if (!hit) break;
        p = hit + nSep;
    }
    return pList;
}

int CProfileCtrl::WriteString(LPCWSTR pszSection, LPCWSTR pszKey, LPCWSTR pszValue, LPCWSTR pszFile) {
    LPCWSTR pszPath = pszFile ? pszFile : m_szFilePath;
    if (GetFileAttributesW(pszPath) == INVALID_FILE_ATTRIBUTES) return 0;
    return WritePrivateProfileStringW(pszSection, pszKey, pszValue, pszPath) ? 1 : 0;
}
