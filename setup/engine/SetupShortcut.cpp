// Shortcut files, and the CREATE_LINK and DELETE_LINK commands.
#include "ShortcutCtrl.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>
#include <wchar.h>

#include "DbgMac.h"
#include "SetupContext.h"
#include "SetupCtrl.h"
#include "SetupGlobals.h"

namespace {

#define LOCATION_CCH 25

// Creates every missing folder of the path, the first piece (the drive) as it is.
int CreateFolderChain(LPCWSTR pszFolder) {
    WCHAR szPath[MAX_PATH];
    szPath[0] = 0;
    LPCWSTR p = pszFolder;
    int bFirst = 1;
    while (*p) {
        LPCWSTR pEnd = wcschr(p, L'\\');
        int nLen = pEnd ? (int)(pEnd - p) : lstrlenW(p);
        int nHave = lstrlenW(szPath);
        if (nHave + nLen + 2 > MAX_PATH) return 0;
        if (!bFirst) szPath[nHave++] = L'\\';
        lstrcpynW(szPath + nHave, p, nLen + 1);
        if (!bFirst && nLen > 0 && GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES &&
            !CreateDirectoryW(szPath, NULL)) {
            DBGPRINT(L"CreateLinkFileFromIni:CreateDirectory ERROR=%d", GetLastError());
            return 0;
        }
        bFirst = 0;
        if (!pEnd) break;
        p = pEnd + 1;
    }
    return 1;
}

void ReadEntry(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszFormat, int n, LPWSTR pszOut, DWORD cchOut) {
    WCHAR szKey[40];
    wsprintfW(szKey, pszFormat, n);
    pszOut[0] = 0;
    GetPrivateProfileStringW(pszSection, szKey, L"", pszOut, cchOut, pszIni);
}

}  // namespace

int CShortcutCtrl::LinkPath(int nFolder, LPCWSTR pszSubPath, LPWSTR pszOut) {
    pszOut[0] = 0;
    // A shell folder that cannot be found fails: the link never lands in the current folder.
    if (FAILED(SHGetFolderPathW(NULL, nFolder, NULL, 0, pszOut)) || !pszOut[0]) {
        DBGPRINT(L"CShortcutCtrl: Can not find shell folder %x", nFolder);
        return 0;
    }
    WCHAR szFolder[MAX_PATH], szJoined[MAX_PATH];
    lstrcpynW(szFolder, pszOut, MAX_PATH);
    if (!PathAppendW(pszOut, pszSubPath)) return 0;
    // The link stays below its folder: a sub-path that climbs out, or names another place
    // of its own, is refused.
    DWORD n = GetFullPathNameW(pszOut, MAX_PATH, szJoined, NULL);
    int nLen = lstrlenW(szFolder);
    while (nLen > 0 && szFolder[nLen - 1] == L'\\') --nLen;
    if (n == 0 || n >= MAX_PATH || _wcsnicmp(szJoined, szFolder, nLen) != 0 || szJoined[nLen] != L'\\' ||
        !szJoined[nLen + 1]) {
        DBGPRINT(L"CShortcutCtrl: Refused %s, it lies outside the shell folder %x", pszSubPath, nFolder);
        pszOut[0] = 0;
        return 0;
    }
    lstrcpyW(pszOut, szJoined);
    return 1;
}

int CShortcutCtrl::CreateLinkFileFromIni(int nFolder, LPCWSTR pszSubPath, LPCWSTR pszTarget, LPCWSTR pszArguments) {
    WCHAR szLink[MAX_PATH];
    if (!pszSubPath || !pszTarget || !LinkPath(nFolder, pszSubPath, szLink)) return 0;
    WCHAR szWorkingDir[MAX_PATH];
    lstrcpynW(szWorkingDir, pszTarget, MAX_PATH);
    PathRemoveFileSpecW(szWorkingDir);
    WCHAR szTarget[MAX_PATH];
    if (!MakeProgramPath(pszTarget, szTarget)) return 0;
    WCHAR szFolder[MAX_PATH];
    lstrcpynW(szFolder, szLink, MAX_PATH);
    PathRemoveFileSpecW(szFolder);
    if (GetFileAttributesW(szFolder) == INVALID_FILE_ATTRIBUTES && !CreateFolderChain(szFolder)) return 0;
    return CreateShellLink(szLink, szTarget, pszArguments, szWorkingDir, SW_SHOWNORMAL);
}

int CShortcutCtrl::CreateShellLink(LPCWSTR pszLinkPath, LPCWSTR pszTarget, LPCWSTR pszArguments, LPCWSTR pszWorkingDir,
                                   int nShowCmd) {
    CoInitialize(NULL);
    int bResult = 0;
    IShellLinkW* pLink = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&pLink))) {
        pLink->SetPath(pszTarget);
        if (pszArguments && pszArguments[0]) pLink->SetArguments(pszArguments);
        if (pszWorkingDir && pszWorkingDir[0]) pLink->SetWorkingDirectory(pszWorkingDir);
        pLink->SetShowCmd(nShowCmd);
        IPersistFile* pFile = NULL;
        if (SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile))) {
            bResult = pFile->Save(pszLinkPath, TRUE) == S_OK;
            pFile->Release();
        }
        pLink->Release();
    }
    CoUninitialize();
    return bResult;
}

int CShortcutCtrl::DeleteLinkFile(int nFolder, LPCWSTR pszSubPath) {
    WCHAR szPath[MAX_PATH];
    if (!pszSubPath || !LinkPath(nFolder, pszSubPath, szPath)) return 0;
    if (GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
        DBGPRINT(L"Can not find File %s", szPath);
        return 0;
    }
    if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Deleting File...", szPath);
    if (!DeleteFileW(szPath)) {
        DBGPRINT(L"Error Delete File %s", szPath);
        return 0;
    }
    DBGPRINT(L"Delete File %s", szPath);
    return 1;
}

unsigned CSetupCtrl::CreateLinksFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = (int)GetPrivateProfileIntW(pszSection, L"LINK", 0, pszIni);
    int bFailed = 0;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szLink[SETUP_ITEM_CCH], szLocation[LOCATION_CCH], szTarget[SETUP_ITEM_CCH];
        ReadEntry(pszIni, pszSection, L"LINK%d", n, szLink, SETUP_ITEM_CCH);
        ReadEntry(pszIni, pszSection, L"LINK%d_LOCATION", n, szLocation, LOCATION_CCH);
        ReadEntry(pszIni, pszSection, L"LINK%d_CMD", n, szTarget, SETUP_ITEM_CCH);
        DWORD dwFolder = 0;
        if (!ParseNumber(szLocation, 16, &dwFolder)) dwFolder = 0;
        ExpandMacros(szTarget, SETUP_ITEM_CCH);
        ExpandMacros(szLink, SETUP_ITEM_CCH);
        DBGPRINT(L"CREATE_LINK:%s,%x,%s ", szLink, dwFolder, szTarget);
        if (!m_Shortcut.CreateLinkFileFromIni((int)dwFolder, szLink, szTarget, NULL)) {
            DBGPRINT(L"CREATE_LINK ERROR:%s,%x,%s", szLink, dwFolder, szTarget);
            bFailed = 1;
        }
    }
    return bFailed ? 57 : 0;
}

unsigned CSetupCtrl::DeleteLinksFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = (int)GetPrivateProfileIntW(pszSection, L"LINK", 0, pszIni);
    int bFailed = 0;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szLink[SETUP_ITEM_CCH], szLocation[LOCATION_CCH];
        ReadEntry(pszIni, pszSection, L"LINK%d", n, szLink, SETUP_ITEM_CCH);
        ReadEntry(pszIni, pszSection, L"LINK%d_LOCATION", n, szLocation, LOCATION_CCH);
        DWORD dwFolder = 0;
        if (!ParseNumber(szLocation, 16, &dwFolder)) dwFolder = 0;
        ExpandMacros(szLink, SETUP_ITEM_CCH);
        DBGPRINT(L"DELETE_LINK:%s,%x ", szLink, dwFolder);
        if (!m_Shortcut.DeleteLinkFile((int)dwFolder, szLink)) {
            DBGPRINT(L"DELETE_LINK ERROR:%s,%x", szLink, dwFolder);
            bFailed = 1;
        }
    }
    return bFailed ? 60 : 0;
}
