// Programs the script starts: the lists of CMD_CP, CMD_REGION and CMD_UILANG (a region or
// language variant of the section when the script has one) and the uninstall commands that
// installed applications registered.
#include "SetupCtrl.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "DbgMac.h"
#include "LibText.h"
#include "RegCtrl.h"
#include "ScriptRead.h"
#include "SetupContext.h"
#include "SetupEnv.h"

namespace {

#define SETUP_ARGS_CCH 1024
#define SETUP_CMDLINE_CCH (MAX_PATH + SETUP_ARGS_CCH + 8)
#define UNINSTALL_KEY L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

using script::NumberedKey;
using script::ReadInt;
using script::ReadText;

// A wait of the script; a negative one is none.
void SleepMs(int nMs) {
    if (nMs > 0) Sleep((DWORD)nMs);
}

// The section's "_suffix" variant when the script has one, else the section.
void ChooseSection(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPWSTR pszChosen) {
    lstrcpynW(pszChosen, pszSection, SETUP_TEXT_CCH);
    if (!pszSuffix || !pszSuffix[0] || !pszSection[0]) return;
    WCHAR szCandidate[SETUP_TEXT_CCH];
    int n = wnsprintfW(szCandidate, SETUP_TEXT_CCH, L"%s_%s", pszSection, pszSuffix);
    if (n > 0 && n < SETUP_TEXT_CCH - 1 && IniHasSection(pszIni, szCandidate)) lstrcpyW(pszChosen, szCandidate);
}

// Appends " pszPlus" to the argument text as CMD_PLUSARGKEY and CMD_PLUSARG say: always
// when there is no condition, else when the text holds the condition (same letter case).
// pszLog names the text before and after the change, or (bNewOnly) the text after it.
void AddPlusArg(LPWSTR pszArgs, LPCWSTR pszKey, LPCWSTR pszPlus, LPCWSTR pszLog, int bNewOnly) {
    if (pszKey[0] && (!pszPlus[0] || !wcsstr(pszArgs, pszKey))) return;
    WCHAR szOld[SETUP_ARGS_CCH];
    lstrcpynW(szOld, pszArgs, SETUP_ARGS_CCH);
    int n = lstrlenW(pszArgs);
    wnsprintfW(pszArgs + n, SETUP_ARGS_CCH - n, L" %s", pszPlus);
    if (bNewOnly)
        DBGPRINT(pszLog, pszArgs);
    else
        DBGPRINT(pszLog, szOld, pszArgs);
}

// Starts the command line and, unless bAsync, waits for its end; its exit code in
// *pdwExit when waited for. 0 when it could not start.
int StartAndWait(LPCWSTR pszApp, LPWSTR pszCmdLine, LPCWSTR pszFolder, DWORD dwFlags, int bAsync, LPCWSTR pszWaitLog,
                 DWORD* pdwExit, int* pbWaited) {
    STARTUPINFOW si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    if (!CreateProcessW(pszApp, pszCmdLine, NULL, NULL, FALSE, dwFlags, NULL,
                        pszFolder && pszFolder[0] ? pszFolder : NULL, &si, &pi)) {
        DBGPRINT(L"CreateProcess Error=%d %s", GetLastError(), pszCmdLine);
        return 0;
    }
    if (!bAsync) {
        DBGPRINT(pszWaitLog);
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD dwExit = 0;
        GetExitCodeProcess(pi.hProcess, &dwExit);
        if (pdwExit) *pdwExit = dwExit;
        if (pbWaited) *pbWaited = 1;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1;
}

}  // namespace

int CSetupCtrl::CreateProcessFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszArgs,
                                     int* pbWantCode, DWORD* pdwExitCode) {
    DBGPRINT(L"CreateProcessFromIni(%s,%s,%s,%s) ", pszIni ? pszIni : L"", pszSection ? pszSection : L"",
             pszSuffix ? pszSuffix : L"", pszArgs ? pszArgs : L"");
    if (!pszIni || GetFileAttributesW(pszIni) == INVALID_FILE_ATTRIBUTES) {
        DBGPRINT(L"CreateProcessFromIni:Error iregal ini file =%s", pszIni ? pszIni : L"");
        return 0;
    }
    if (!pszSection) {
        DBGPRINT(L"CreateProcessFromIni:Error iregal section name =%s", L"");
        return 0;
    }
    WCHAR szSection[SETUP_TEXT_CCH];
    ChooseSection(pszIni, pszSection, pszSuffix, szSection);
    DBGPRINT(L"CreateProcessFromIni:section name =%s", szSection);

    int nCount = ReadInt(pszIni, szSection, L"CMD", 0);
    int nSleepAll = ReadInt(pszIni, szSection, L"CMD_SLEEP", 0);
    int bAsync = ReadInt(pszIni, szSection, L"CMD_ASYNCFLAG", 0) != 0;
    int bLong = ReadInt(pszIni, szSection, L"CMD_LONGFLAG", 0) == 1;
    int bWithoutArgs = ReadInt(pszIni, szSection, L"CMD_WITHOUTARGS", 0) == 1;
    int bShowConsole = ReadInt(pszIni, szSection, L"CMD_SHOWCONSOLE", 0) == 1;
    int nCdFlag = ReadInt(pszIni, szSection, L"CMD_CDFLAG", 0);
    int bReturnCode = ReadInt(pszIni, szSection, L"CMD_RETURNCODE", 0) != 0;
    WCHAR szPlusKey[SETUP_TEXT_CCH], szPlus[SETUP_TEXT_CCH];
    ReadText(pszIni, szSection, L"CMD_PLUSARGKEY", L"", szPlusKey, SETUP_TEXT_CCH);
    ReadText(pszIni, szSection, L"CMD_PLUSARG", L"", szPlus, SETUP_TEXT_CCH);
    if (bReturnCode && pbWantCode) *pbWantCode = 1;

    WCHAR szArgs[SETUP_ARGS_CCH] = L"";
    if (!bWithoutArgs && pszArgs) lstrcpynW(szArgs, pszArgs, SETUP_ARGS_CCH);
    AddPlusArg(szArgs, szPlusKey, szPlus, L"CreateProcessFromIni() Param was changed %s->%s", 0);
    ExpandMacros(szArgs, SETUP_ARGS_CCH);

    LPCWSTR pszBase =
        g_pSetupEnv ? (bLong ? g_pSetupEnv->GetProgramFolder() : g_pSetupEnv->GetShortProgramFolder()) : L"";
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_TEXT_CCH], szFull[MAX_PATH * 2];
        NumberedKey(szKey, L"CMD%d", i);
        ReadText(pszIni, szSection, szKey, L"", szPath, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"CMD%d_SLEEP", i);
        int nSleep = ReadInt(pszIni, szSection, szKey, 0);
        ExpandMacros(szPath, SETUP_TEXT_CCH);
        if (szPath[0] && PathIsRelativeW(szPath))
            wnsprintfW(szFull, MAX_PATH * 2, L"%s\\%s", pszBase, szPath);
        else
            lstrcpynW(szFull, szPath, MAX_PATH * 2);
        DWORD dwAttr = szPath[0] ? GetFileAttributesW(szFull) : INVALID_FILE_ATTRIBUTES;
        if (dwAttr == INVALID_FILE_ATTRIBUTES || (dwAttr & FILE_ATTRIBUTE_DIRECTORY)) {
            DBGPRINT(L"CreateProcessFromIni:Could not find CMD=%s", szFull);
            continue;
        }
        WCHAR szFolder[MAX_PATH * 2] = L"";
        if (nCdFlag == 0 && g_pSetupEnv) {
            lstrcpynW(szFolder, g_pSetupEnv->GetProgramFolder(), MAX_PATH * 2);
        } else if (nCdFlag == 1) {
            lstrcpynW(szFolder, szFull, MAX_PATH * 2);
            PathRemoveFileSpecW(szFolder);
        } else if (nCdFlag == 2) {
            ReadText(pszIni, szSection, L"CMD_CDPATH", L"", szFolder, SETUP_TEXT_CCH);
            ExpandMacros(szFolder, SETUP_TEXT_CCH);
        }
        // The path goes quoted and as the program to run, so that a folder with blanks
        // cannot start another program.
        WCHAR szCmdLine[SETUP_CMDLINE_CCH];
        wnsprintfW(szCmdLine, SETUP_CMDLINE_CCH, szArgs[0] ? L"\"%s\" %s" : L"\"%s\"", szFull, szArgs);
        DBGPRINT(L"CreateProcessFromIni:sCmdExecute==%s", szCmdLine);
        GetSetupContext()->ShowStatus(szSection, szCmdLine);
        DWORD dwExit = 0;
        int bWaited = 0;
        if (StartAndWait(szFull, szCmdLine, szFolder, bShowConsole ? 0 : CREATE_NO_WINDOW, bAsync,
                         L"CreateProcessFromIni:Waiting for the end of process", &dwExit, &bWaited)) {
            if (bWaited && bReturnCode && pdwExitCode) {
                *pdwExitCode = dwExit;
                DBGPRINT(L"CreateProcessFromIni:Get Return Code %d", dwExit);
            }
        } else {
            nResult = 0;
        }
        SleepMs(nSleepAll);
        SleepMs(nSleep);
    }
    DBGPRINT(L"CreateProcessFromIni:End");
    return nResult;
}

int CSetupCtrl::CreateProcessFromReg(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszValue, LPCWSTR pszArgs, int* pbFound) {
    DBGPRINT(L"CreateProcessFromReg(%d,%s,%s,%s) ", (int)(INT_PTR)hRoot, pszKey, pszValue, pszArgs);
    if (pbFound) *pbFound = 0;
    CRegCtrl reg;
    WCHAR szCommand[REGCTRL_TEXT_CCH];
    if (!reg.ReadRegSZ(hRoot, pszKey, pszValue, szCommand)) return 0;
    if (pbFound) *pbFound = 1;
    WCHAR szCmdLine[SETUP_CMDLINE_CCH];
    wnsprintfW(szCmdLine, SETUP_CMDLINE_CCH, pszArgs[0] ? L"%s %s" : L"%s", szCommand, pszArgs);
    GetSetupContext()->ShowStatus(L"Uninstalling... application", szCmdLine);
    // An uninstaller that restarts itself from the temporary folder would end at once.
    for (LPWSTR p = wcsstr(szCmdLine, L"-runfromtemp "); p; p = wcsstr(p, L"-runfromtemp "))
        memmove(p, p + 13, (lstrlenW(p + 13) + 1) * sizeof(WCHAR));
    DBGPRINT(L"CreateProcessFromReg:sCmdExecute==%s", szCmdLine);
    return StartAndWait(NULL, szCmdLine, g_pSetupEnv ? g_pSetupEnv->GetProgramFolder() : NULL, 0, 0,
                        L"CreateProcessFromReg:Waiting for the end of process", NULL, NULL);
}

int CSetupCtrl::UninstApps(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"APP", 0);
    int nSleep = ReadInt(pszIni, pszSection, L"SLEEP", 0);
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szApp[SETUP_TEXT_CCH], szOption[SETUP_TEXT_CCH], szPlusKey[SETUP_TEXT_CCH],
            szPlus[SETUP_TEXT_CCH], szIss[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"APP%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szApp, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"APP%d_OPTION", i);
        ReadText(pszIni, pszSection, szKey, L"", szOption, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"APP%d_PLUSARGKEY", i);
        ReadText(pszIni, pszSection, szKey, L"", szPlusKey, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"APP%d_PLUSARG", i);
        ReadText(pszIni, pszSection, szKey, L"", szPlus, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"APP%d_ISS", i);
        ReadText(pszIni, pszSection, szKey, L"", szIss, SETUP_TEXT_CCH);
        // An empty name would name the uninstall key itself.
        if (!szApp[0]) continue;
        WCHAR szArgs[SETUP_ARGS_CCH] = L"";
        if (szOption[0]) wnsprintfW(szArgs, SETUP_ARGS_CCH, L" %s", szOption);
        AddPlusArg(szArgs, szPlusKey, szPlus, L"UninstApps() Param was changed %s", 1);
        if (szIss[0] && g_pSetupEnv) {
            WCHAR szIssPath[MAX_PATH * 2];
            wnsprintfW(szIssPath, MAX_PATH * 2, L"%s\\%s", g_pSetupEnv->GetShortProgramFolder(), szIss);
            if (GetFileAttributesW(szIssPath) != INVALID_FILE_ATTRIBUTES) {
                int n = lstrlenW(szArgs);
                wnsprintfW(szArgs + n, SETUP_ARGS_CCH - n, n ? L" /f1\"%s\"" : L"/f1\"%s\"", szIssPath);
            }
        }
        WCHAR szRegKey[SETUP_TEXT_CCH * 2];
        int bFound = 0;
        wnsprintfW(szRegKey, SETUP_TEXT_CCH * 2, UNINSTALL_KEY L"%s", szApp);
        int bRan = CreateProcessFromReg(HKEY_LOCAL_MACHINE, szRegKey, L"UninstallString", szArgs, &bFound);
        if (!bFound) {
            wnsprintfW(szRegKey, SETUP_TEXT_CCH * 2, UNINSTALL_KEY L"InstallShield_%s", szApp);
            bRan = CreateProcessFromReg(HKEY_LOCAL_MACHINE, szRegKey, L"UninstallString", szArgs, &bFound);
        }
        if (bFound && !bRan) nResult = 0;
        if (bFound) SleepMs(nSleep);
    }
    return nResult;
}

namespace {

typedef BOOL(WINAPI* PFN_EnumProcesses)(DWORD*, DWORD, LPDWORD);
typedef BOOL(WINAPI* PFN_EnumProcessModules)(HANDLE, HMODULE*, DWORD, LPDWORD);
typedef DWORD(WINAPI* PFN_GetModuleBaseNameW)(HANDLE, HMODULE, LPWSTR, DWORD);

// The image name of a process, upper-cased; 0 when it cannot be read.
int ProcessName(DWORD dwPid, PFN_EnumProcessModules pfnModules, PFN_GetModuleBaseNameW pfnBaseName, LPWSTR pszName) {
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwPid);
    if (!hProcess) return 0;
    HMODULE hModule = NULL;
    DWORD cbNeeded = 0;
    int bRead = pfnModules(hProcess, &hModule, sizeof(hModule), &cbNeeded) &&
                pfnBaseName(hProcess, hModule, pszName, MAX_PATH) > 0;
    CloseHandle(hProcess);
    if (bRead) _wcsupr(pszName);
    return bRead;
}

}  // namespace

unsigned CSetupCtrl::TerminateProcessByName(LPCWSTR pszImage) {
    int nLength = pszImage ? lstrlenW(pszImage) : 0;
    if (nLength == 0 || nLength > MAX_PATH) return 632;
    WCHAR szWanted[MAX_PATH + 1];
    lstrcpynW(szWanted, pszImage, MAX_PATH + 1);
    _wcsupr(szWanted);
    // Only Windows NT and 9x platforms list their processes this way.
    OSVERSIONINFOW vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExW(&vi)) return 606;
    if (vi.dwPlatformId != VER_PLATFORM_WIN32_NT && vi.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return 607;
    HMODULE hPsapi = LoadLibraryW(L"PSAPI.DLL");
    if (!hPsapi) return 605;
    PFN_EnumProcesses pfnEnum =
        reinterpret_cast<PFN_EnumProcesses>(reinterpret_cast<void (*)(void)>(GetProcAddress(hPsapi, "EnumProcesses")));
    PFN_EnumProcessModules pfnModules = reinterpret_cast<PFN_EnumProcessModules>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(hPsapi, "EnumProcessModules")));
    PFN_GetModuleBaseNameW pfnBaseName = reinterpret_cast<PFN_GetModuleBaseNameW>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(hPsapi, "GetModuleBaseNameW")));
    if (!pfnEnum || !pfnModules || !pfnBaseName) {
        FreeLibrary(hPsapi);
        return 700;
    }
    // The table grows until the list fits with room to spare.
    DWORD cIds = 1024, cbNeeded = 0;
    DWORD* pIds = NULL;
    for (;;) {
        free(pIds);
        pIds = static_cast<DWORD*>(malloc(cIds * sizeof(DWORD)));
        if (!pIds || !pfnEnum(pIds, cIds * sizeof(DWORD), &cbNeeded)) {
            free(pIds);
            FreeLibrary(hPsapi);
            return 701;
        }
        if (cbNeeded < cIds * sizeof(DWORD) || cIds >= 0x100000) break;
        cIds *= 4;
    }
    // Every process of the name ends; one whose name cannot be read is never taken for it.
    unsigned uResult = 603;
    for (DWORD i = 0; i < cbNeeded / sizeof(DWORD); ++i) {
        WCHAR szName[MAX_PATH + 1];
        if (pIds[i] == GetCurrentProcessId() || !ProcessName(pIds[i], pfnModules, pfnBaseName, szName) ||
            lstrcmpW(szName, szWanted) != 0)
            continue;
        HANDLE hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, pIds[i]);
        unsigned uCode;
        if (!hProcess) {
            uCode = 604;
        } else {
            uCode = TerminateProcess(hProcess, 0) ? 0 : 602;
            CloseHandle(hProcess);
        }
        DBGPRINT(L"TerminateProcess:%s pid=%d code=%d", szName, (int)pIds[i], (int)uCode);
        if (uResult == 603 || uResult == 0) uResult = uCode;
    }
    free(pIds);
    FreeLibrary(hPsapi);
    return uResult;
}

unsigned CSetupCtrl::TerminateProcessFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"TPROCESS", 0);
    unsigned uResult = 0;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szName[MAX_PATH + 2];
        NumberedKey(szKey, L"PROCESS%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szName, MAX_PATH + 2);
        DBGPRINT(L"TerminateProcess:%s\n", szName);
        unsigned uCode = TerminateProcessByName(szName);
        if (uCode != 0) DBGPRINT(L"TerminateProcess:Error=%d\n", uCode);
        // The last name decides.
        uResult = uCode != 0 ? 4 : 0;
    }
    return uResult;
}

int CSetupCtrl::ShellExecuteFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszArgs) {
    DBGPRINT(L"ShellExecuteFromIni(%s,%s,%s,%s) ", pszIni ? pszIni : L"", pszSection ? pszSection : L"",
             pszSuffix ? pszSuffix : L"", pszArgs ? pszArgs : L"");
    if (!pszIni || GetFileAttributesW(pszIni) == INVALID_FILE_ATTRIBUTES) {
        DBGPRINT(L"ShellExecuteFromIni:Error iregal ini file =%s", pszIni ? pszIni : L"");
        return 0;
    }
    if (!pszSection) {
        DBGPRINT(L"ShellExecuteFromIni:Error iregal section name =%s", L"");
        return 0;
    }
    WCHAR szSection[SETUP_TEXT_CCH];
    ChooseSection(pszIni, pszSection, pszSuffix, szSection);
    DBGPRINT(L"ShellExecuteFromIni:section name =%s", szSection);
    int nCount = ReadInt(pszIni, szSection, L"SHL", 0);
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szTarget[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"SHL%d", i);
        ReadText(pszIni, szSection, szKey, L"", szTarget, SETUP_TEXT_CCH);
        ExpandMacros(szTarget, SETUP_TEXT_CCH);
        DBGPRINT(L"ShellExecuteFromIni:sCmdExecute==%s", szTarget);
        GetSetupContext()->ShowStatus(szSection, szTarget);
        INT_PTR nShell = (INT_PTR)ShellExecuteW(NULL, L"open", szTarget, NULL, NULL, SW_SHOWNORMAL);
        if (nShell <= 32) DBGPRINT(L"ShellExecuteFromIni:ShellExecute Error=%d %s", (int)nShell, szTarget);
        Sleep(1000);
    }
    return 1;
}
