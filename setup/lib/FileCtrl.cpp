#include "FileCtrl.h"

#include <shlwapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <winver.h>

#include "DbgMac.h"
#include "LibText.h"
#include "SetupContext.h"

int CFileCtrl::GetFileResource(LPCWSTR pszFile, LPCWSTR pszEntry, LPWSTR pszOut, DWORD cchOut) {
    if (!pszFile || !pszEntry || !pszOut || cchOut == 0) return 0;
    DWORD dwHandle = 0;
    DWORD cbSize = GetFileVersionInfoSizeW(pszFile, &dwHandle);
    if (cbSize == 0) {
        DBGPRINT(L"CFileCtrl::GetFileResource GetFileVersionInfoSize() Error %d", GetLastError());
        return 0;
    }
    BYTE* pBlock = static_cast<BYTE*>(malloc(cbSize + sizeof(WCHAR)));
    if (!pBlock) return 0;
    int nResult = 0;
    if (!GetFileVersionInfoW(pszFile, dwHandle, cbSize, pBlock)) {
        DBGPRINT(L"CFileCtrl::GetFileResource GetFileVersionInfo() Error %d", GetLastError());
    } else {
        LPVOID pTranslation = NULL;
        UINT cbTranslation = 0;
        if (!VerQueryValueW(pBlock, L"\\VarFileInfo\\Translation", &pTranslation, &cbTranslation) ||
            cbTranslation < sizeof(DWORD)) {
            DBGPRINT(L"CFileCtrl::GetFileResource VerQueryValue() Can not get codepage Error %d", GetLastError());
        } else {
            const WORD* pwLangCp = static_cast<const WORD*>(pTranslation);
            WCHAR szLangCp[16];
            wsprintfW(szLangCp, L"%04x%04x", pwLangCp[0], pwLangCp[1]);
            WCHAR szSubBlock[FILECTRL_TEXT_CCH + 64];
            int n = wnsprintfW(szSubBlock, FILECTRL_TEXT_CCH + 64, L"\\StringFileInfo\\%s\\%s", szLangCp, pszEntry);
            LPVOID pValue = NULL;
            UINT cchValue = 0;
            if (n < 0 || !VerQueryValueW(pBlock, szSubBlock, &pValue, &cchValue) || !pValue) {
                DBGPRINT(L"CFileCtrl::GetFileResource VerQueryValue() Can not get %s Error %d", pszEntry,
                         GetLastError());
            } else {
                lstrcpynW(pszOut, static_cast<LPCWSTR>(pValue), static_cast<int>(cchOut));
                nResult = 1;
            }
        }
    }
    free(pBlock);
    return nResult;
}

int CFileCtrl::GetFileVersion(LPCWSTR pszFile, LPWSTR pszOut, DWORD cchOut) {
    return GetFileResource(pszFile, L"FileVersion", pszOut, cchOut);
}

int CFileCtrl::IsFileExist(LPCWSTR pszPath) { return PathFileExistsW(pszPath) ? 1 : 0; }

int CFileCtrl::SetAttrib(LPCWSTR pszPath, DWORD dwAttributes) {
    WCHAR szPath[MAX_PATH];
    if (!MakeProgramPath(pszPath, szPath)) return 0;
    WCHAR szLong[MAX_PATH + 8];
    wsprintfW(szLong, L"\\\\?\\%s", szPath);
    if (!SetFileAttributesW(szLong, dwAttributes)) {
        DBGPRINT(L"CFileCtrl::SetAttrib SetFileAttributes() Error %d", GetLastError());
        return 0;
    }
    return 1;
}

int CFileCtrl::FileRename(LPCWSTR pszOldPath, LPCWSTR pszNewPath) {
    WCHAR szOld[MAX_PATH], szNew[MAX_PATH];
    if (!MakeProgramPath(pszOldPath, szOld) || !MakeProgramPath(pszNewPath, szNew)) return 0;
    int nResult = _wrename(szOld, szNew);
    if (nResult != 0) {
        DBGPRINT(L"CFileCtrl::FileRename rename() Error %d", nResult);
        return 0;
    }
    return 1;
}

int CFileCtrl::CopyTextReplace(const CReplaceList* pList, LPCWSTR pszSource, LPCWSTR pszDestination) {
    FILE* fpSource = _wfopen(pszSource, L"rt");
    if (!fpSource) return 0;
    FILE* fpDestination = _wfopen(pszDestination, L"wt");
    if (!fpDestination) {
        fclose(fpSource);
        return 0;
    }
    LPWSTR pszWork = static_cast<LPWSTR>(malloc(FILECTRL_WORK_CCH * sizeof(WCHAR)));
    int bOk = pszWork != NULL;
    WCHAR szPiece[FILECTRL_PIECE_CCH];
    while (bOk && fgetws(szPiece, FILECTRL_PIECE_CCH, fpSource)) {
        lstrcpynW(pszWork, szPiece, FILECTRL_WORK_CCH);
        for (int i = 0; pList && i < pList->GetCount(); ++i) {
            const ReplacePair* p = pList->Get(i);
            if (ReplaceAll(pszWork, FILECTRL_WORK_CCH, p->szSearch, p->szReplace) < 0) bOk = 0;
        }
        if (bOk && fputws(pszWork, fpDestination) < 0) bOk = 0;
    }
    free(pszWork);
    int bSourceClosed = fclose(fpSource) == 0;
    int bDestinationClosed = fclose(fpDestination) == 0;
    if (!bOk || !bDestinationClosed) {
        _wremove(pszDestination);
        return 0;
    }
    return bSourceClosed ? 1 : 0;
}
