// File and folder commands and file checks: removing, copying, creating, renaming and
// re-attributing files and folders, the text copy with replacements, and the existence,
// version-resource and empty-folder checks. Recursive and forced removals go through a
// guard that keeps system, shell and root folders out of reach; neither copies nor
// removals descend into junctions or symbolic links.
#include "SetupCtrl.h"

#include <errno.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "ComCtrl.h"
#include "DbgMac.h"
#include "FileCtrl.h"
#include "ScriptRead.h"
#include "SetupContext.h"
#include "SetupEnv.h"

namespace {

#define SETUP_LIST_CCH 1024
#define SETUP_LINE_CCH 512
// Room for a full path built from a 260-character one.
#define SETUP_FULL_CCH (2 * MAX_PATH + 8)
#define PORTNO_SECTION L"PORTNO_SECTION"

// The caption of each folder a copy makes on its way.
const WCHAR kCreatingFolder[] = L"Creating folder...";

using script::NumberedKey;
using script::ReadInt;
using script::ReadText;

int IsDots(LPCWSTR pszName) { return !lstrcmpW(pszName, L".") || !lstrcmpW(pszName, L".."); }

void RemoveTrailingBackslash(LPWSTR pszPath) {
    int n = lstrlenW(pszPath);
    while (n > 0 && pszPath[n - 1] == L'\\') pszPath[--n] = 0;
}

// Joins pszName to pszFolder into pszOut (cchOut); 0 when it does not fit.
int JoinPath(LPWSTR pszOut, DWORD cchOut, LPCWSTR pszFolder, LPCWSTR pszName) {
    int n = wnsprintfW(pszOut, (int)cchOut, L"%s\\%s", pszFolder, pszName);
    return n >= 0 && n < (int)cchOut - 1;
}

// The full form of a path, without a trailing backslash, in long names where it exists.
int FullPath(LPCWSTR pszPath, LPWSTR pszFull, DWORD cchFull) {
    DWORD n = GetFullPathNameW(pszPath, cchFull, pszFull, NULL);
    if (n == 0 || n >= cchFull) return 0;
    WCHAR szLong[SETUP_FULL_CCH];
    n = GetLongPathNameW(pszFull, szLong, SETUP_FULL_CCH);
    if (n > 0 && n < SETUP_FULL_CCH && n < cchFull) lstrcpynW(pszFull, szLong, (int)cchFull);
    if (lstrlenW(pszFull) > 3) RemoveTrailingBackslash(pszFull);
    return 1;
}

int SamePath(LPCWSTR pszA, LPCWSTR pszB) {
    WCHAR szA[SETUP_FULL_CCH], szB[SETUP_FULL_CCH];
    if (!FullPath(pszA, szA, SETUP_FULL_CCH) || !FullPath(pszB, szB, SETUP_FULL_CCH)) return 0;
    return lstrcmpiW(szA, szB) == 0;
}

// 1 when pszInner is pszOuter or lies below it (both full).
int IsWithin(LPCWSTR pszInner, LPCWSTR pszOuter) {
    int n = lstrlenW(pszOuter);
    if (n == 0 || lstrlenW(pszInner) < n) return 0;
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, pszInner, n, pszOuter, n) != CSTR_EQUAL) return 0;
    return pszInner[n] == 0 || pszInner[n] == L'\\' || pszOuter[n - 1] == L'\\';
}

// A drive root ("C:", "C:\") or a share root ("\\server\share").
int IsRoot(LPCWSTR pszFull) {
    if (lstrlenW(pszFull) <= 3 && pszFull[0] && pszFull[1] == L':') return 1;
    if (pszFull[0] == L'\\' && pszFull[1] == L'\\') {
        LPCWSTR p = pszFull + 2;
        if (!wcsncmp(p, L"?\\", 2) || !wcsncmp(p, L".\\", 2)) p += 2;
        int nParts = 0;
        for (LPCWSTR q = p; *q;) {
            while (*q == L'\\') ++q;
            if (!*q) break;
            ++nParts;
            while (*q && *q != L'\\') ++q;
        }
        return nParts <= 2;
    }
    return 0;
}

// Folders that no recursive removal may take: the system's and the shell's own.
const int kGuardedFolders[] = {
    CSIDL_WINDOWS,
    CSIDL_SYSTEM,
    CSIDL_SYSTEMX86,
    CSIDL_PROGRAM_FILES,
    CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,
    CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,
    CSIDL_STARTMENU,
    CSIDL_PROGRAMS,
    CSIDL_STARTUP,
    CSIDL_COMMON_STARTMENU,
    CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_STARTUP,
    CSIDL_COMMON_APPDATA,
    CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_DOCUMENTS,
    CSIDL_FONTS,
};

int MatchesFolder(LPCWSTR pszFull, LPCWSTR pszFolder) {
    if (!pszFolder || !pszFolder[0]) return 0;
    WCHAR szFolder[SETUP_FULL_CCH];
    if (!FullPath(pszFolder, szFolder, SETUP_FULL_CCH)) return 0;
    return lstrcmpiW(pszFull, szFolder) == 0;
}

// 1 when a text of the script held a macro that expanded to nothing.
int HasEmptyMacro(LPCWSTR pszRaw) {
    if (!g_pSetupCtrl) return 0;
    for (LPCWSTR p = wcschr(pszRaw, L'%'); p;) {
        LPCWSTR pEnd = wcschr(p + 1, L'%');
        if (!pEnd) break;
        WCHAR szToken[SETUP_TEXT_CCH];
        int n = (int)(pEnd - p) + 1;
        if (n < SETUP_TEXT_CCH && n > 2) {
            lstrcpynW(szToken, p, n + 1);
            g_pSetupCtrl->ExpandMacros(szToken, SETUP_TEXT_CCH);
            if (!szToken[0]) return 1;
        }
        p = wcschr(pEnd + 1, L'%');
    }
    return 0;
}

// "X:\..." or "\\...": not relative to a current folder of any kind ("C:" and "C:x" are).
int IsFullyQualified(LPCWSTR pszPath) {
    if (pszPath[0] == L'\\' && pszPath[1] == L'\\') return 1;
    return pszPath[0] && pszPath[1] == L':' && pszPath[2] == L'\\';
}

// Whether a folder may be removed with its contents; its full path in pszFull
// (SETUP_FULL_CCH), which the removal must use. pszRaw is the script's text before its
// macros were expanded (NULL: none).
int IsRemovableFolder(LPCWSTR pszRaw, LPCWSTR pszPath, LPWSTR pszFull) {
    pszFull[0] = 0;
    if (!pszPath || !IsFullyQualified(pszPath) || (pszRaw && HasEmptyMacro(pszRaw))) return 0;
    WCHAR szFull[SETUP_FULL_CCH];
    if (!FullPath(pszPath, szFull, SETUP_FULL_CCH) || IsRoot(szFull)) return 0;
    WCHAR szFolder[SETUP_FULL_CCH];
    for (size_t i = 0; i < sizeof(kGuardedFolders) / sizeof(kGuardedFolders[0]); ++i) {
        if (SUCCEEDED(SHGetFolderPathW(NULL, kGuardedFolders[i], NULL, 0, szFolder)) && MatchesFolder(szFull, szFolder))
            return 0;
    }
    // The folder that holds the profiles.
    if (SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_PROFILE, NULL, 0, szFolder)) && PathRemoveFileSpecW(szFolder) &&
        MatchesFolder(szFull, szFolder))
        return 0;
    if (GetWindowsDirectoryW(szFolder, MAX_PATH) && MatchesFolder(szFull, szFolder)) return 0;
    if (GetSystemDirectoryW(szFolder, MAX_PATH) && MatchesFolder(szFull, szFolder)) return 0;
    if (GetSystemWow64DirectoryW(szFolder, MAX_PATH) && MatchesFolder(szFull, szFolder)) return 0;
    DWORD n = GetTempPathW(MAX_PATH, szFolder);
    if (n > 0 && n < MAX_PATH && MatchesFolder(szFull, szFolder)) return 0;
    n = GetEnvironmentVariableW(L"ProgramW6432", szFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH && MatchesFolder(szFull, szFolder)) return 0;
    lstrcpyW(pszFull, szFull);
    return 1;
}

int IsLink(DWORD dwAttributes) {
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The program-files folder: ProgramW6432, else the shell's folder.
int GetProgramFilesFolder(LPWSTR pszFolder) {
    DWORD n = GetEnvironmentVariableW(L"ProgramW6432", pszFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return 1;
    return SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, 0, pszFolder));
}

// Creates the folder and any missing folder above it; each one made is logged with
// pszMadeLog and shown with pszCaption when given. A relative path counts from the
// current folder, whose first piece is made like any other; a drive ("C:") and a share
// ("\\server\share") are taken as they are. 0 at the first failure, logged with pszErrorLog.
int CreateFolderChain(LPCWSTR pszPath, LPCWSTR pszMadeLog, LPCWSTR pszCaption, LPCWSTR pszErrorLog) {
    if (GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES) return 1;
    WCHAR szPath[SETUP_FULL_CCH];
    lstrcpynW(szPath, pszPath, SETUP_FULL_CCH);
    WCHAR szBuilt[SETUP_FULL_CCH] = L"";
    LPWSTR pszPiece = szPath;
    // A share path starts at its share: "\\server\share".
    if (szPath[0] == L'\\' && szPath[1] == L'\\') {
        LPWSTR pszShare = wcschr(szPath + 2, L'\\');
        LPWSTR pszEnd = pszShare ? wcschr(pszShare + 1, L'\\') : NULL;
        if (!pszEnd) return 0;
        *pszEnd = 0;
        lstrcpynW(szBuilt, szPath, SETUP_FULL_CCH);
        pszPiece = pszEnd + 1;
    } else if (szPath[0] == L'\\') {
        // Below the root of the current drive.
        lstrcpyW(szBuilt, L"\\");
    }
    while (*pszPiece) {
        LPWSTR pszEnd = wcschr(pszPiece, L'\\');
        if (pszEnd) *pszEnd = 0;
        if (pszPiece[0]) {
            int n = lstrlenW(szBuilt);
            int bDrive = n == 0 && pszPiece[1] == L':' && pszPiece[2] == 0;
            int bSeparator = n > 0 && szBuilt[n - 1] != L'\\';
            if (n + bSeparator + lstrlenW(pszPiece) >= SETUP_FULL_CCH) return 0;
            if (bSeparator) szBuilt[n++] = L'\\';
            lstrcpyW(szBuilt + n, pszPiece);
            if (!bDrive && GetFileAttributesW(szBuilt) == INVALID_FILE_ATTRIBUTES) {
                if (pszCaption) GetSetupContext()->ShowStatus(pszCaption, szBuilt);
                if (!CreateDirectoryW(szBuilt, NULL)) {
                    DBGPRINT(pszErrorLog, GetLastError());
                    return 0;
                }
                if (pszMadeLog) DBGPRINT(pszMadeLog, szBuilt);
            }
        }
        if (!pszEnd) break;
        pszPiece = pszEnd + 1;
    }
    return 1;
}

// The running program and its script, which a folder copy never overwrites.
int IsOwnFile(LPCWSTR pszTarget) {
    if (!g_pSetupEnv) return 0;
    return !lstrcmpiW(pszTarget, g_pSetupEnv->GetProgramPath()) ||
           !lstrcmpiW(pszTarget, g_pSetupEnv->GetEncryptedScriptPath());
}

int CopyTree(LPCWSTR pszSource, LPCWSTR pszDestination) {
    if (!CreateFolderChain(pszDestination, NULL, kCreatingFolder, L"CopyFiles:CreateDirectory ERROR=%d")) return 0;
    WCHAR szPattern[SETUP_FULL_CCH];
    if (!JoinPath(szPattern, SETUP_FULL_CCH, pszSource, L"*.*")) return 0;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"CopyFiles:FindFirstFile ERROR=InvalidHandle %s", pszSource);
        return 0;
    }
    int nResult = 1;
    do {
        if (IsDots(fd.cFileName)) continue;
        WCHAR szFrom[SETUP_FULL_CCH], szTo[SETUP_FULL_CCH];
        if (!JoinPath(szFrom, SETUP_FULL_CCH, pszSource, fd.cFileName) ||
            !JoinPath(szTo, SETUP_FULL_CCH, pszDestination, fd.cFileName)) {
            nResult = 0;
            break;
        }
        if (IsOwnFile(szTo)) continue;
        if (IsLink(fd.dwFileAttributes)) {
            DBGPRINT(L"CopyFiles:Skip link %s", szFrom);
            continue;
        }
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!CopyTree(szFrom, szTo)) {
                nResult = 0;
                break;
            }
        } else {
            GetSetupContext()->ShowStatus(L"Copy File...", szTo);
            if (!CopyFileW(szFrom, szTo, FALSE)) {
                DBGPRINT(L"CopyFiles:CopyFile %s ERROR=%d", szTo, GetLastError());
                nResult = 0;
                break;
            }
        }
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
    return nResult;
}

int RemoveTree(LPCWSTR pszFolder, int bForce) {
    WCHAR szFolder[SETUP_FULL_CCH];
    lstrcpynW(szFolder, pszFolder, SETUP_FULL_CCH);
    RemoveTrailingBackslash(szFolder);
    // A junction goes as a link: what it points at stays.
    if (bForce && !IsLink(GetFileAttributesW(szFolder))) {
        WCHAR szPattern[SETUP_FULL_CCH];
        if (!JoinPath(szPattern, SETUP_FULL_CCH, szFolder, L"*.*")) return 0;
        WIN32_FIND_DATAW fd;
        HANDLE hFind = FindFirstFileW(szPattern, &fd);
        if (hFind == INVALID_HANDLE_VALUE) {
            DBGPRINT(L"DeleteDirectory:FindFirstFile ERROR=InvalidHandle");
            return 0;
        }
        int nResult = 1;
        do {
            if (IsDots(fd.cFileName)) continue;
            WCHAR szEntry[SETUP_FULL_CCH];
            if (!JoinPath(szEntry, SETUP_FULL_CCH, szFolder, fd.cFileName)) {
                nResult = 0;
                break;
            }
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                GetSetupContext()->ShowStatus(L"Deleting Folder...", szEntry);
                if (!RemoveTree(szEntry, 1)) {
                    nResult = 0;
                    break;
                }
                continue;
            }
            SetFileAttributesW(szEntry, FILE_ATTRIBUTE_NORMAL);
            GetSetupContext()->ShowStatus(L"Deleting File...", szEntry);
            if (!DeleteFileW(szEntry)) {
                DBGPRINT(L"DeleteDirectory:DeleteFile %s ERROR=%d", szEntry, GetLastError());
                nResult = 0;
                break;
            }
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
        if (!nResult) return 0;
    }
    return RemoveDirectoryW(szFolder) ? 1 : 0;
}

// Makes a relative path one in the program's folder.
void InProgramFolder(LPWSTR pszPath, DWORD cchPath) {
    if (!PathIsRelativeW(pszPath) || !g_pSetupEnv) return;
    WCHAR szJoined[SETUP_FULL_CCH];
    if (JoinPath(szJoined, SETUP_FULL_CCH, g_pSetupEnv->GetProgramFolder(), pszPath))
        lstrcpynW(pszPath, szJoined, (int)cchPath);
}

}  // namespace

int CSetupCtrl::CopyFiles(LPCWSTR pszSource, LPCWSTR pszDestination) {
    WCHAR szSource[SETUP_FULL_CCH], szDestination[SETUP_FULL_CCH];
    if (!FullPath(pszSource, szSource, SETUP_FULL_CCH) || !FullPath(pszDestination, szDestination, SETUP_FULL_CCH))
        return 0;
    if (IsWithin(szDestination, szSource)) {
        DBGPRINT(L"CopyFiles:Refused a copy into its own source %s->%s", pszSource, pszDestination);
        return 0;
    }
    return CopyTree(szSource, szDestination);
}

int CSetupCtrl::DeleteDirectory(LPCWSTR pszFolder, int bForce, LPCWSTR pszRaw) {
    // Without force only an empty folder goes, taken as written.
    if (!bForce) return RemoveTree(pszFolder, 0);
    WCHAR szFull[SETUP_FULL_CCH];
    if (!IsRemovableFolder(pszRaw, pszFolder, szFull)) {
        DBGPRINT(L"DeleteDirectory:Refused to remove %s", pszFolder);
        return 0;
    }
    return RemoveTree(szFull, bForce);
}

int CSetupCtrl::RemoveFiles(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"FILE", 0);
    int bReboot = ReadInt(pszIni, pszSection, L"REBOOTFLAG", 0) == 1;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_LIST_CCH];
        NumberedKey(szKey, L"FILE%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szPath, SETUP_LIST_CCH);
        ExpandMacros(szPath, SETUP_LIST_CCH);
        if (!szPath[0] || GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
            DBGPRINT(L"Can not find File %s", szPath);
            continue;
        }
        if (bReboot) {
            GetSetupContext()->ShowStatus(L"Registed delete file at reboot...", szPath);
            if (!MoveFileExW(szPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)) {
                DBGPRINT(L"Error regist delete file at reboot.%s error code =%d", szPath, GetLastError());
                nResult = 0;
            }
            continue;
        }
        GetSetupContext()->ShowStatus(L"Deleting File...", szPath);
        if (_wremove(szPath) == 0) {
            DBGPRINT(L"Delete File %s", szPath);
        } else {
            DBGPRINT(L"Error Delete File %s", szPath);
            nResult = 0;
        }
    }
    return nResult;
}

int CSetupCtrl::CopyFolders(LPCWSTR pszIni, LPCWSTR pszSection) {
    int bProgramFolder = ReadInt(pszIni, pszSection, L"DEST_IS_PROGRAMFOLDER", 0);
    WCHAR szProgramFiles[MAX_PATH] = L"";
    if (bProgramFolder && !GetProgramFilesFolder(szProgramFiles)) return 0;
    DBGPRINT(L"CopyFolders:Start");
    int nCount = ReadInt(pszIni, pszSection, L"FOLDER", 0);
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szSource[SETUP_TEXT_CCH], szDest[SETUP_TEXT_CCH], szTarget[SETUP_FULL_CCH];
        NumberedKey(szKey, L"FOLDER%d_SRC", i);
        ReadText(pszIni, pszSection, szKey, L"", szSource, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FOLDER%d_DEST", i);
        ReadText(pszIni, pszSection, szKey, L"", szDest, SETUP_TEXT_CCH);
        lstrcpynW(szTarget, szDest, SETUP_FULL_CCH);
        if (bProgramFolder && !JoinPath(szTarget, SETUP_FULL_CCH, szProgramFiles, szDest)) szTarget[0] = 0;
        DBGPRINT(L"CopyFolders:%s->%s", szSource, szTarget);
        if (szSource[0] && szTarget[0] && CopyFiles(szSource, szTarget)) {
            DBGPRINT(L"Success CopyFolders %s->%s", szSource, szTarget);
        } else {
            DBGPRINT(L"Error CopyFolders %s->%s", szSource, szTarget);
            nResult = 0;
        }
    }
    DBGPRINT(L"CopyFolders:End");
    return nResult;
}

int CSetupCtrl::CopyFilesAndFolders(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"CopyFilesAndFolders:Start");
    int nCount = ReadInt(pszIni, pszSection, L"FILEFOLDER", 0);
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szSource[SETUP_FULL_CCH], szDest[SETUP_FULL_CCH];
        NumberedKey(szKey, L"FILEFOLDER%d_SRC", i);
        ReadText(pszIni, pszSection, szKey, L"", szSource, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILEFOLDER%d_DEST", i);
        ReadText(pszIni, pszSection, szKey, L"", szDest, SETUP_TEXT_CCH);
        ExpandMacros(szSource, SETUP_TEXT_CCH);
        ExpandMacros(szDest, SETUP_TEXT_CCH);
        if (!szSource[0] || !szDest[0]) {
            DBGPRINT(L"CopyFilesAndFolders:Empty path %s->%s", szSource, szDest);
            nResult = 0;
            continue;
        }
        InProgramFolder(szSource, SETUP_FULL_CCH);
        InProgramFolder(szDest, SETUP_FULL_CCH);
        DWORD dwSource = GetFileAttributesW(szSource);
        if (dwSource == INVALID_FILE_ATTRIBUTES || (dwSource & FILE_ATTRIBUTE_DIRECTORY)) {
            GetSetupContext()->ShowStatus(L"Copy file...", szSource);
            if (CopyFiles(szSource, szDest)) {
                DBGPRINT(L"Success CopyFilesAndFolders %s->%s", szSource, szDest);
            } else {
                DBGPRINT(L"Error CopyFilesAndFolders %s->%s", szSource, szDest);
                nResult = 0;
            }
            continue;
        }
        DWORD dwDest = GetFileAttributesW(szDest);
        if (dwDest == INVALID_FILE_ATTRIBUTES || (dwDest & FILE_ATTRIBUTE_DIRECTORY)) {
            WCHAR szJoined[SETUP_FULL_CCH];
            if (!JoinPath(szJoined, SETUP_FULL_CCH, szDest, PathFindFileNameW(szSource))) {
                nResult = 0;
                continue;
            }
            lstrcpyW(szDest, szJoined);
        }
        WCHAR szFolder[SETUP_FULL_CCH];
        lstrcpyW(szFolder, szDest);
        PathRemoveFileSpecW(szFolder);
        if (!CreateFolderChain(szFolder, NULL, kCreatingFolder, L"CopyFiles:CreateDirectory ERROR=%d")) return 0;
        if (SamePath(szSource, szDest)) {
            DBGPRINT(L"CopyFilesAndFolders:Same file %s", szSource);
        } else if (CopyFileW(szSource, szDest, FALSE)) {
            DBGPRINT(L"Success CopyFilesAndFolders %s->%s", szSource, szDest);
        } else {
            DBGPRINT(L"CopyFilesAndFolders:CopyFile %s ERROR=%d", szSource, GetLastError());
            nResult = 0;
        }
    }
    DBGPRINT(L"CopyFilesAndFolders:End");
    return nResult;
}

int CSetupCtrl::RemoveFolders(LPCWSTR pszIni, LPCWSTR pszSection) {
    int bProgramFolder = ReadInt(pszIni, pszSection, L"TARGET_IS_PROGRAMFOLDER", 0);
    WCHAR szProgramFiles[MAX_PATH] = L"";
    if (bProgramFolder && !GetProgramFilesFolder(szProgramFiles)) return 0;
    int bForce = ReadInt(pszIni, pszSection, L"FORCE_DELETE", 0) != 0;
    DBGPRINT(L"RemoveFolders:Start");
    int nCount = ReadInt(pszIni, pszSection, L"FOLDER", 0);
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szRaw[SETUP_TEXT_CCH], szPath[SETUP_FULL_CCH];
        NumberedKey(szKey, L"FOLDER%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szRaw, SETUP_TEXT_CCH);
        lstrcpynW(szPath, szRaw, SETUP_FULL_CCH);
        // An empty entry joined to the program-files folder would name that folder itself.
        if (bProgramFolder && (!szRaw[0] || !JoinPath(szPath, SETUP_FULL_CCH, szProgramFiles, szRaw))) szPath[0] = 0;
        ExpandMacros(szPath, SETUP_FULL_CCH);
        int bDone;
        WCHAR szFull[SETUP_FULL_CCH];
        if (GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES &&
            (!bForce || IsRemovableFolder(szRaw, szPath, szFull))) {
            DBGPRINT(L"RemoveFolders:Not found %s", szPath);
            bDone = 1;
        } else {
            bDone = DeleteDirectory(szPath, bForce, szRaw);
        }
        if (bDone) {
            DBGPRINT(L"Success RemoveFolders %s", szPath);
        } else {
            DBGPRINT(L"Error RemoveFolders %s", szPath);
            nResult = 0;
        }
    }
    DBGPRINT(L"RemoveFolders:End");
    return nResult;
}

int CSetupCtrl::CreateFolders(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"CreateFolders:Start");
    int nCount = ReadInt(pszIni, pszSection, L"FOLDER", 0);
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szFolder[SETUP_TEXT_CCH], szLocation[SETUP_TEXT_CCH], szPath[SETUP_FULL_CCH];
        NumberedKey(szKey, L"FOLDER%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szFolder, SETUP_TEXT_CCH);
        ExpandMacros(szFolder, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FOLDER%d_LOCATION", i);
        ReadText(pszIni, pszSection, szKey, L"0", szLocation, SETUP_TEXT_CCH);
        int nCsidl = (int)wcstol(szLocation, NULL, 16);
        lstrcpynW(szPath, szFolder, SETUP_FULL_CCH);
        if (nCsidl != 0) {
            WCHAR szShell[MAX_PATH];
            if (FAILED(SHGetFolderPathW(NULL, nCsidl, NULL, 0, szShell)) ||
                !JoinPath(szPath, SETUP_FULL_CCH, szShell, szFolder)) {
                DBGPRINT(L"CreateFolders:CreateDirectory ERROR=%d", ERROR_PATH_NOT_FOUND);
                return 0;
            }
        }
        DBGPRINT(L"CreateFolders:%s", szPath);
        if (!szPath[0] || !CreateFolderChain(szPath, L"CreateFolders:CreateDirectory Success=%s", NULL,
                                             L"CreateFolders:CreateDirectory ERROR=%d"))
            return 0;
    }
    DBGPRINT(L"CreateFolders:End");
    return 1;
}

int CSetupCtrl::SetAttribFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"FILE", 0);
    DBGPRINT(L"CSetupCtrl::SetAttribFromIni:Start count=%d", nCount);
    CFileCtrl file;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"FILE%d_NAME", i);
        ReadText(pszIni, pszSection, szKey, L"", szPath, SETUP_TEXT_CCH);
        ExpandMacros(szPath, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILE%d_VALUE", i);
        DWORD dwValue = (DWORD)ReadInt(pszIni, pszSection, szKey, 0);
        if (!file.SetAttrib(szPath, dwValue)) {
            DBGPRINT(L"CSetupCtrl::SetAttribFromIni SetAttrib() Error File=%s", szPath);
            nResult = 0;
        }
    }
    DBGPRINT(L"CSetupCtrl::SetAttribFromIni:End");
    return nResult;
}

int CSetupCtrl::FileRenameFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"FILE", 0);
    DBGPRINT(L"CSetupCtrl::FileRenameFromIni:Start count=%d", nCount);
    CFileCtrl file;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szName[SETUP_TEXT_CCH], szRename[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"FILE%d_NAME", i);
        ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH);
        ExpandMacros(szName, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILE%d_RENAME", i);
        ReadText(pszIni, pszSection, szKey, L"", szRename, SETUP_TEXT_CCH);
        ExpandMacros(szRename, SETUP_TEXT_CCH);
        if (!file.FileRename(szName, szRename)) nResult = 0;
    }
    DBGPRINT(L"CSetupCtrl::FileRenameFromIni:End");
    return nResult;
}

int CSetupCtrl::GetPortNoFromIni(LPWSTR pszPort, LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"DEV", 0);
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"DEV%d", i);
        ReadText(pszIni, pszSection, szKey, L"default_id", szId, SETUP_TEXT_CCH);
        WCHAR szPort[SETUP_TEXT_CCH] = L"";
        if (ComCtrl::GetPortName(szId, szPort) && szPort[0]) {
            lstrcpynW(pszPort, szPort, 128);
            return 1;
        }
    }
    return 0;
}

// Resolves a %NAME% value in place: %PORTNO% by the script's devices (unchanged when no
// port is found), others by the environment. 0 when a variable is not set.
int CSetupCtrl::ResolveReplaceValue(LPWSTR pszValue, LPCWSTR pszIni) {
    int n = lstrlenW(pszValue);
    if (n < 2 || pszValue[0] != L'%' || pszValue[n - 1] != L'%') return 1;
    WCHAR szName[SETUP_TEXT_CCH];
    lstrcpynW(szName, pszValue + 1, n - 1);
    WCHAR szResolved[FILECTRL_TEXT_CCH];
    if (!lstrcmpW(szName, L"PORTNO")) {
        if (!GetPortNoFromIni(szResolved, pszIni, PORTNO_SECTION)) {
            DBGPRINT(L"CSetupCtrl::CopyFileWithReplace:No port found for %s", pszValue);
            return 1;
        }
    } else {
        DWORD dw = GetEnvironmentVariableW(szName, szResolved, FILECTRL_TEXT_CCH);
        if (dw == 0 || dw >= FILECTRL_TEXT_CCH) {
            DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Variable %s is not set", szName);
            return 0;
        }
    }
    lstrcpynW(pszValue, szResolved, FILECTRL_TEXT_CCH);
    return 1;
}

int CSetupCtrl::CopyFileWithReplace(LPCWSTR pszIni, LPCWSTR pszSection) {
    WCHAR szSource[SETUP_TEXT_CCH], szDest[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"SOURCE", L"setup.dat", szSource, SETUP_TEXT_CCH);
    ReadText(pszIni, pszSection, L"DESTINATION", L"setup.dat", szDest, SETUP_TEXT_CCH);
    ExpandMacros(szSource, SETUP_TEXT_CCH);
    ExpandMacros(szDest, SETUP_TEXT_CCH);
    if (_waccess(szSource, 4) != 0) {
        int nErr = errno;
        if (nErr == EACCES)
            DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Can not read source file.");
        else if (nErr == ENOENT)
            DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Source file can not be found.");
        else
            DBGPRINT(
                L"CSetupCtrl::CopyFileWithReplace::Error:When source file permission is checked, unexpected error "
                L"occurs.");
        return 0;
    }
    // Writing the source onto itself would empty it before it is read.
    if (!szDest[0] || SamePath(szSource, szDest)) {
        DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Source and destination are the same file.");
        return 0;
    }
    // The whole section, however long.
    DWORD cchSection = 4096;
    LPWSTR pszSectionText = NULL;
    for (;;) {
        pszSectionText = static_cast<LPWSTR>(malloc(cchSection * sizeof(WCHAR)));
        if (!pszSectionText) return 0;
        DWORD n = GetPrivateProfileSectionW(pszSection, pszSectionText, cchSection, pszIni);
        if (n < cchSection - 2) break;
        free(pszSectionText);
        if (cchSection >= 0x100000) return 0;
        cchSection *= 4;
    }
    CReplaceList list;
    int nResult = 1;
    for (LPCWSTR pszLine = pszSectionText; *pszLine; pszLine += lstrlenW(pszLine) + 1) {
        LPCWSTR pszEq = wcschr(pszLine, L'=');
        if (!pszEq) continue;
        int nKey = (int)(pszEq - pszLine);
        if (nKey < 2 || pszLine[0] != L'%' || pszLine[nKey - 1] != L'%') continue;
        ReplacePair pair;
        WCHAR szValue[SETUP_LINE_CCH];
        if (nKey >= FILECTRL_TEXT_CCH) {
            nResult = 0;
            break;
        }
        lstrcpynW(pair.szSearch, pszLine, nKey + 1);
        ReadText(pszIni, pszSection, pair.szSearch, L"", szValue, SETUP_LINE_CCH);
        if (lstrlenW(szValue) >= FILECTRL_TEXT_CCH) {
            DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Value of %s is too long", pair.szSearch);
            nResult = 0;
            break;
        }
        lstrcpyW(pair.szReplace, szValue);
        if (!ResolveReplaceValue(pair.szReplace, pszIni) || !list.Add(pair)) {
            nResult = 0;
            break;
        }
    }
    free(pszSectionText);
    if (!nResult) return 0;
    // The copy goes to a fresh file beside the destination, which it replaces only whole.
    WCHAR szFolder[SETUP_FULL_CCH], szTemp[SETUP_FULL_CCH];
    if (!FullPath(szDest, szFolder, SETUP_FULL_CCH) || !PathRemoveFileSpecW(szFolder) ||
        !GetTempFileNameW(szFolder, L"cfr", 0, szTemp)) {
        DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Can not create a work file %d", GetLastError());
        return 0;
    }
    CFileCtrl file;
    if (!file.CopyTextReplace(&list, szSource, szTemp) ||
        !MoveFileExW(szTemp, szDest, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        DBGPRINT(L"CSetupCtrl::CopyFileWithReplace::Error:Copy to %s failed %d", szDest, GetLastError());
        DeleteFileW(szTemp);
        return 0;
    }
    return 1;
}

// File checks.

int CSetupCtrl::CheckFileExistFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"CSetupCtrl::CheckFileExistFromIni:Start");
    int nCount = ReadInt(pszIni, pszSection, L"FILE", 0);
    CFileCtrl file;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_FULL_CCH];
        NumberedKey(szKey, L"FILE%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szPath, SETUP_TEXT_CCH);
        ExpandMacros(szPath, SETUP_TEXT_CCH);
        InProgramFolder(szPath, SETUP_FULL_CCH);
        if (szPath[0] && file.IsFileExist(szPath)) {
            DBGPRINT(L"CSetupCtrl::CheckFileExistFromIni:Exist %s\n", szPath);
        } else {
            DBGPRINT(L"CSetupCtrl::CheckFileExistFromIni:Not Exist %s\n", szPath);
            nResult = 0;
        }
    }
    DBGPRINT(L"CSetupCtrl::CheckFileExistFromIni:End");
    return nResult;
}

int CSetupCtrl::CheckFileResourceFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"FILE", 0);
    DBGPRINT(L"CSetupCtrl::CheckFileResourceFromIni:Start count=%d", nCount);
    CFileCtrl file;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_TEXT_CCH], szEntry[SETUP_TEXT_CCH], szValue[SETUP_TEXT_CCH];
        WCHAR szActual[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"FILE%d_NAME", i);
        ReadText(pszIni, pszSection, szKey, L"", szPath, SETUP_TEXT_CCH);
        ExpandMacros(szPath, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILE%d_ENTRY", i);
        ReadText(pszIni, pszSection, szKey, L"", szEntry, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILE%d_VALUE", i);
        ReadText(pszIni, pszSection, szKey, L"", szValue, SETUP_TEXT_CCH);
        if (!file.GetFileResource(szPath, szEntry, szActual, SETUP_TEXT_CCH)) {
            DBGPRINT(L"CSetupCtrl::CheckFileResourceFromIni GetFileResource() Error File=%s Entry=%s", szPath, szEntry);
            nResult = 0;
        } else if (lstrcmpiW(szValue, szActual) != 0) {
            DBGPRINT(L"CSetupCtrl::CheckFileResourceFromIni Matching File=%s Entry=%s Value=%s Correct=%s", szPath,
                     szEntry, szValue, szActual);
            nResult = 0;
        } else {
            DBGPRINT(L"CSetupCtrl::CheckFileResourceFromIni Matching File=%s Entry=%s Value=%s", szPath, szEntry,
                     szValue);
        }
    }
    DBGPRINT(L"CSetupCtrl::CheckFileResourceFromIni:End");
    return nResult;
}

int CSetupCtrl::CheckFileVersionFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"FILE", 0);
    DBGPRINT(L"CSetupCtrl::CheckFileVersionFromIni:Start count=%d", nCount);
    CFileCtrl file;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_TEXT_CCH], szVersion[SETUP_TEXT_CCH], szCode[SETUP_TEXT_CCH];
        WCHAR szActual[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"FILE%d_NAME", i);
        ReadText(pszIni, pszSection, szKey, L"", szPath, SETUP_TEXT_CCH);
        ExpandMacros(szPath, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILE%d_VERSION", i);
        ReadText(pszIni, pszSection, szKey, L"", szVersion, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"FILE%d_CMPCODE", i);
        ReadText(pszIni, pszSection, szKey, L"", szCode, SETUP_TEXT_CCH);
        if (!file.GetFileResource(szPath, L"FileVersion", szActual, SETUP_TEXT_CCH)) {
            DBGPRINT(L"CSetupCtrl::CheckFileVersionFromIni GetFileResource() Error File=%s", szPath);
            nResult = 0;
            continue;
        }
        int c = CompareVersion(szActual, szVersion);
        DBGPRINT(L"CSetupCtrl::CheckFileVersionFromIni File=%s ExactVersion=%s Version=%s Code=%s", szPath, szActual,
                 szVersion, szCode);
        int bKnown = 1, bHolds = 0;
        if (!lstrcmpiW(szCode, L"=="))
            bHolds = c == 0;
        else if (!lstrcmpiW(szCode, L"!="))
            bHolds = c != 0;
        else if (!lstrcmpiW(szCode, L"<="))
            bHolds = c <= 0;
        else if (!lstrcmpiW(szCode, L"<"))
            bHolds = c < 0;
        else if (!lstrcmpiW(szCode, L">="))
            bHolds = c >= 0;
        else if (!lstrcmpiW(szCode, L">"))
            bHolds = c > 0;
        else
            bKnown = 0;
        if (!bKnown) {
            DBGPRINT(L"CSetupCtrl::CheckFileVersionFromIni File=%s ExactVersion=%s Version=%s Wrong Code=%s", szPath,
                     szActual, szVersion, szCode);
            nResult = 0;
            break;
        }
        if (!bHolds) {
            DBGPRINT(L"CSetupCtrl::CheckFileVersionFromIni Error File=%s ExactVersion=%s Version=%s Code=%s", szPath,
                     szActual, szVersion, szCode);
            nResult = 0;
            break;
        }
    }
    DBGPRINT(L"CSetupCtrl::CheckFileVersionFromIni:End");
    return nResult;
}

int CSetupCtrl::CheckFolderEmptyFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    WCHAR szPath[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"PATH", L"", szPath, SETUP_TEXT_CCH);
    RemoveTrailingBackslash(szPath);
    ExpandMacros(szPath, SETUP_TEXT_CCH);
    int nCount = ReadInt(pszIni, pszSection, L"EXCEPTFILE", 0);
    if (!szPath[0]) return 0;
    if (nCount <= 0) return PathIsDirectoryEmptyW(szPath) ? 1 : 0;
    WCHAR szPattern[SETUP_FULL_CCH];
    if (!JoinPath(szPattern, SETUP_FULL_CCH, szPath, L"*.*")) return 0;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"CheckFolderEmptyFromIni:FindFirstFile ERROR=InvalidHandle");
        return 0;
    }
    int nResult = 1;
    do {
        if (IsDots(fd.cFileName)) continue;
        int bHit = 0;
        for (int i = 1; i <= nCount && !bHit; ++i) {
            WCHAR szKey[64], szExcept[SETUP_TEXT_CCH];
            NumberedKey(szKey, L"EXCEPTFILE%d", i);
            ReadText(pszIni, pszSection, szKey, L"", szExcept, SETUP_TEXT_CCH);
            bHit = szExcept[0] && !lstrcmpW(szExcept, fd.cFileName);
        }
        if (!bHit) {
            nResult = 0;
            break;
        }
        DBGPRINT(L"CheckFolderEmptyFromIni:Hit Except File %s", fd.cFileName);
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
    return nResult;
}
