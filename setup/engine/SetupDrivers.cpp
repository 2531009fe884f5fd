// Driver installation commands: driver updates from the program's copy under Program
// Files, driver packages, OEM INF removal and device rescans.
#include "SetupCtrl.h"

#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "DbgMac.h"
#include "DriverSetupCtrl.h"
#include "InfCtrl.h"
#include "ScriptRead.h"
#include "SetupEnv.h"
#include "SetupGlobals.h"

using script::NumberedKey;
using script::ReadInt;
using script::ReadText;

namespace {

// 1 when the folder a lies in b or is b (full paths, any case).
int IsInside(LPCWSTR a, LPCWSTR b) {
    int n = lstrlenW(b);
    while (n > 0 && b[n - 1] == L'\\') --n;
    if (n == 0 || lstrlenW(a) < n || _wcsnicmp(a, b, n) != 0) return 0;
    return a[n] == 0 || a[n] == L'\\';
}

// A folder name below Program Files: not empty, not absolute, no "..".
int IsPlainRelative(LPCWSTR psz) {
    if (!psz[0] || !PathIsRelativeW(psz) || psz[0] == L'\\' || psz[0] == L'/') return 0;
    for (LPCWSTR p = psz; *p; ++p)
        if (p[0] == L'.' && p[1] == L'.') return 0;
    return 1;
}

// The pending-install wait is exported by setupapi.dll without an import library entry:
// bound by name.
typedef DWORD(WINAPI* PFN_CMP_WaitNoPendingInstallEvents)(DWORD dwTimeout);

DWORD WaitNoPendingInstalls() {
    HMODULE h = GetModuleHandleW(L"setupapi.dll");
    if (!h) h = LoadLibraryW(L"setupapi.dll");
    PFN_CMP_WaitNoPendingInstallEvents pfn =
        h ? reinterpret_cast<PFN_CMP_WaitNoPendingInstallEvents>(
                reinterpret_cast<void*>(GetProcAddress(h, "CMP_WaitNoPendingInstallEvents")))
          : NULL;
    if (!pfn) {
        DBGPRINT(L"CMP_WaitNoPendingInstallEvents is not available");
        return WAIT_FAILED;
    }
    return pfn(INFINITE);
}

}  // namespace

LPCWSTR CSetupCtrl::OSWord(DWORD dwOSCode) {
    switch (dwOSCode) {
    case 5: return L"2000";
    case 7: return L"XP";
    case 8: return L"VISTA";
    case 9: return L"WIN7";
    case 10: return L"WIN8";
    default: return L"";
    }
}

void CSetupCtrl::SectionWithOSWord(LPCWSTR pszSection, LPWSTR pszOut, DWORD cchOut) {
    LPCWSTR pszWord = OSWord(g_pSetupEnv ? g_pSetupEnv->GetOSCode() : 0);
    if (pszWord[0])
        wnsprintfW(pszOut, (int)cchOut, L"%s_%s", pszSection ? pszSection : L"", pszWord);
    else
        lstrcpynW(pszOut, pszSection ? pszSection : L"", (int)cchOut);
}

int CSetupCtrl::ScriptHasSection(LPCWSTR pszIni, LPCWSTR pszSection) {
    if (!pszIni || !pszSection || !pszSection[0]) return 0;
    LPWSTR pszNames = static_cast<LPWSTR>(calloc(32767, sizeof(WCHAR)));
    if (!pszNames) return 0;
    GetPrivateProfileSectionNamesW(pszNames, 32767, pszIni);
    int bFound = 0;
    for (LPCWSTR p = pszNames; *p && !bFound; p += lstrlenW(p) + 1) bFound = lstrcmpiW(p, pszSection) == 0;
    free(pszNames);
    return bFound;
}

int CSetupCtrl::InstallDriverFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    WCHAR szDest[MAX_PATH], szDestDir[SETUP_TEXT_CCH];
    DWORD n = GetEnvironmentVariableW(L"ProgramW6432", szDest, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        if (FAILED(SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, SHGFP_TYPE_CURRENT, szDest))) return 0;
    }
    ReadText(pszIni, pszSection, L"DESTDIR", L"Quarven\\NetworkDriver", szDestDir, SETUP_TEXT_CCH);
    if (!IsPlainRelative(szDestDir) || !PathAppendW(szDest, szDestDir)) {
        DBGPRINT(L"InstallDriverFromIni:Refused DESTDIR %s", szDestDir);
        return 0;
    }
    LPCWSTR pszProgram = g_pSetupEnv ? g_pSetupEnv->GetProgramFolder() : L"";
    if (!pszProgram[0] || IsInside(szDest, pszProgram) || IsInside(pszProgram, szDest)) {
        DBGPRINT(L"InstallDriverFromIni:Refused %s, it overlaps the program's folder", szDest);
        return 0;
    }
    DeleteDirectory(szDest, 1);
    if (!CopyFiles(pszProgram, szDest)) {
        DBGPRINT(L"Error CopyFiles");
        return 0;
    }

    int nDev = ReadInt(pszIni, pszSection, L"DEV", 0);
    int nInfCopy = ReadInt(pszIni, pszSection, L"INFCOPY", 0);
    int nRefresh = ReadInt(pszIni, pszSection, L"REFRESH", 0);
    int bHandled = 0;
    for (int i = 1; i <= nDev; ++i) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH], szInfName[SETUP_TEXT_CCH], szInf[MAX_PATH];
        NumberedKey(szKey, L"DEV%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_TEXT_CCH);
        if (!IsExist(szId)) continue;
        NumberedKey(szKey, L"DEVINF%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szInfName, SETUP_TEXT_CCH);
        lstrcpynW(szInf, szDest, MAX_PATH);
        if (!PathAppendW(szInf, szInfName)) return 0;
        bHandled = 1;
        if (!UpdateDriverForPlugAndPlayDevicesW(NULL, szId, szInf, INSTALLFLAG_FORCE, NULL)) {
            DBGPRINT(L"Error UpdateDriverForPlugAndPlayDevices");
            return 0;
        }
        DBGPRINT(L"UpdateDriverForPlugAndPlayDevices %s ,%s", szId, szInf);
        if (WaitNoPendingInstalls() != WAIT_OBJECT_0) return 0;
    }
    if (bHandled) return 1;

    for (int i = 1; i <= nInfCopy; ++i) {
        WCHAR szKey[64], szInfName[SETUP_TEXT_CCH], szInf[MAX_PATH];
        NumberedKey(szKey, L"INF%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szInfName, SETUP_TEXT_CCH);
        lstrcpynW(szInf, szDest, MAX_PATH);
        if (!PathAppendW(szInf, szInfName)) return 0;
        if (!SetupCopyOEMInfW(szInf, szDest, SPOST_PATH, 0, NULL, 0, NULL, NULL)) {
            DBGPRINT(L"Error SetupCopyOEMInf %s %d", szInf, (int)GetLastError());
            return 0;
        }
    }
    if (nRefresh != 1) return 1;
    Refresh(pszIni, pszSection, 0);
    return WaitNoPendingInstalls() == WAIT_OBJECT_0 ? 1 : 0;
}

int CSetupCtrl::Refresh(LPCWSTR pszIni, LPCWSTR pszSection, int bForce) {
    int nCount = ReadInt(pszIni, pszSection, L"DETECTCOUNT", 0);
    int nAfterWait = ReadInt(pszIni, pszSection, L"AFTERWAIT", 0);
    int bDetected = 0;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"DETECTDEV%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_TEXT_CCH);
        if (IsExist(szId)) bDetected = 1;
    }
    if (bForce) bDetected = 0;
    if (!bDetected) {
        DEVINST dnRoot = 0;
        CONFIGRET cr = CM_Locate_DevNodeW(&dnRoot, NULL, CM_LOCATE_DEVNODE_NORMAL);
        if (cr != CR_SUCCESS) {
            DBGPRINT(L"CSetupCtrl::Refresh()CM_Locate_DevNode ERROR=%d", (int)cr);
            return 0;
        }
        cr = CM_Reenumerate_DevNode(dnRoot, 0);
        if (cr != CR_SUCCESS) {
            DBGPRINT(L"CSetupCtrl::Refresh()CM_Reenumerate_DevNode ERROR=%d", (int)cr);
            return 0;
        }
    }
    if (nAfterWait > 0) {
        DBGPRINT(L"CSetupCtrl::Refresh() Finished wait=%d", nAfterWait);
        Sleep((DWORD)nAfterWait);
    }
    DBGPRINT(L"CSetupCtrl::Refresh() END");
    return 1;
}

int CSetupCtrl::UninstallOEMInfFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    CInfCtrl inf;
    int nDev = ReadInt(pszIni, pszSection, L"DEV", 0);
    WCHAR szClass[SETUP_TEXT_CCH], szProvider[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"CLASS", L"", szClass, SETUP_TEXT_CCH);
    szProvider[0] = 0;
    if (!szClass[0]) ReadText(pszIni, pszSection, L"PROVIDER", L"", szProvider, SETUP_TEXT_CCH);
    int nResult = 0;
    for (int i = 1; i <= nDev; ++i) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"DEV%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_TEXT_CCH);
        if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Removing... oem inf for", szId);
        nResult = inf.RemoveAllOEMInf(szId, szProvider[0] ? szProvider : NULL, szClass[0] ? szClass : NULL);
    }
    // An INF that matched but would not go fails the command, whatever the last ID found.
    if (inf.GetFailedCount()) {
        DBGPRINT(L"Uninstall OEM Inf: %d removals failed", inf.GetFailedCount());
        return 0;
    }
    return nResult;
}

int CSetupCtrl::InstallDriverPack(LPCWSTR pszIni, LPCWSTR pszSection) {
    CDriverSetupCtrl driver;
    int nCount = ReadInt(pszIni, pszSection, L"INF", 0);
    int nOption = ReadInt(pszIni, pszSection, L"OPTION", 0);
    DWORD dwLast = 0;
    int bAnySuccess = 0;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szInf[MAX_PATH];
        NumberedKey(szKey, L"INF%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szInf, MAX_PATH);
        if (szInf[0]) {
            static const LPCWSTR kCaptions[] = {L"Preinstalling... driver package", L"Installing... driver package",
                                                L"Uninstalling... driver package",
                                                L"Getting inf path... driver package"};
            static const LPCWSTR kLogs[] = {L"CSetupCtrl::InstallDriverPack Preinstalling %s",
                                            L"CSetupCtrl::InstallDriverPack Installing %s",
                                            L"CSetupCtrl::InstallDriverPack Uninstalling %s",
                                            L"CSetupCtrl::InstallDriverPack Getting inf path. %s"};
            if (nOption >= 0 && nOption <= 3) {
                if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, kCaptions[nOption], szInf);
                DBGPRINT(kLogs[nOption], szInf);
            }
            dwLast = driver.Run(nOption, szInf, 0);
        }
        if (dwLast == 0) bAnySuccess = 1;
    }
    return bAnySuccess;
}
