// Driver installation commands: driver updates from the program's copy under Program
// Files, driver packages, OEM INF removal and device rescans.
#include "SetupCtrl.h"

#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <string.h>

#include "DbgMac.h"
#include "SetupExec.h"
#include "DriverSetupCtrl.h"
#include "InfCtrl.h"
#include "RegCtrl.h"
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

int CSetupCtrl::GetDriverRegKey(DEVINST dnDevice, LPWSTR pszOut, DWORD cchOut, int nShift) {
    if (!pszOut || cchOut == 0) return 0;
    pszOut[0] = 0;
    DEVINST dn = dnDevice;
    for (; nShift != 0; nShift += nShift > 0 ? -1 : 1) {
        DEVINST next = 0;
        CONFIGRET cr = nShift > 0 ? CM_Get_Parent(&next, dn, 0) : CM_Get_Child(&next, dn, 0);
        if (cr != CR_SUCCESS) {
            // A shift that cannot be made in full edits nothing.
            DBGPRINT(L"CSetupCtrl::GetDriverRegKey: Error : can not shift devide instance");
            return 0;
        }
        dn = next;
    }
    WCHAR szBuffer[200];
    ULONG ulLength = sizeof szBuffer - sizeof(WCHAR);
    memset(szBuffer, 0, sizeof szBuffer);
    if (CM_Get_DevNode_Registry_PropertyW(dn, CM_DRP_DRIVER, NULL, szBuffer, &ulLength, 0) != CR_SUCCESS ||
        !szBuffer[0]) {
        DBGPRINT(L"CSetupCtrl::GetDriverRegKey: Error : can not shift devide instance");
        return 0;
    }
    lstrcpynW(pszOut, szBuffer, (int)cchOut);
    memset(szBuffer, 0, sizeof szBuffer);
    ulLength = sizeof szBuffer - sizeof(WCHAR);
    CM_Get_DevNode_Registry_PropertyW(dn, CM_DRP_HARDWAREID, NULL, szBuffer, &ulLength, 0);
    DBGPRINT(L"CSetupCtrl::GetDriverRegKey: Success %s=%s", szBuffer, pszOut);
    return 1;
}

int CSetupCtrl::DriverAddDelRegFromInf(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey) {
    int nAdd = ReadInt(pszIni, pszSection, L"ADDREG", 0);
    int nDel = ReadInt(pszIni, pszSection, L"DELREG", 0);
    if (nAdd <= 0 && nDel <= 0) return 1;

    // Names and keys are quoted for the INF, flags go as the script gives them, and each
    // value reaches the registry whole; no percent sign can name a string key of the
    // temporary INF.
    WCHAR szEscKey[REGCTRL_INF_ESCAPED_CCH], szEscSub[REGCTRL_INF_ESCAPED_CCH], szEscName[REGCTRL_INF_ESCAPED_CCH];
    CRegCtrl::InfEscape(pszKey, 1, szEscKey);
    TextBuf sAdd, sDel;
    for (int i = 1; i <= nAdd; ++i) {
        WCHAR szKey[64], szName[SETUP_TEXT_CCH], szFlags[SETUP_TEXT_CCH], szValue[SETUP_TEXT_CCH],
            szSubKey[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"ADDREG%d_ENTRYNAME", i);
        ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"ADDREG%d_FLAGS", i);
        ReadText(pszIni, pszSection, szKey, L"", szFlags, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"ADDREG%d_VALUE", i);
        ReadText(pszIni, pszSection, szKey, L"", szValue, SETUP_TEXT_CCH);
        NumberedKey(szKey, L"ADDREG%d_SUBKEY", i);
        ReadText(pszIni, pszSection, szKey, L"", szSubKey, SETUP_TEXT_CCH);
        CRegCtrl::InfEscape(szName, 1, szEscName);
        if (szSubKey[0])
            sAdd.AddFormat(L"%s, \"%s\\%s\",\"%s\",%s,", L"HKLM", szEscKey, CRegCtrl::InfEscape(szSubKey, 1, szEscSub),
                           szEscName, szFlags);
        else
            sAdd.AddFormat(L"%s, \"%s\",\"%s\",%s,", L"HKLM", szEscKey, szEscName, szFlags);
        CRegCtrl::AddInfValue(sAdd, szFlags, szValue);
        sAdd.Add(L"\r\n");
    }
    for (int j = 1; j <= nDel; ++j) {
        WCHAR szKey[64], szName[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"DELREG%d_ENTRYNAME", j);
        ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH);
        // An entry without a name would delete the whole driver key.
        if (!szName[0]) {
            DBGPRINT(L"DriverAddDelRegFromInf: DELREG%d has no name, skipped", j);
            continue;
        }
        sDel.AddFormat(L"%s, \"%s\",\"%s\"\r\n", L"HKLM", szEscKey, CRegCtrl::InfEscape(szName, 1, szEscName));
    }
    if (!sAdd.n && !sDel.n) return 1;
    return CRegCtrl::RunRegInf(sAdd, sDel, L"DriverAddDelRegFromInf->chRegCmdLine", L"DriverAddDelRegFromInf:Waiting",
                               L"DriverAddDelRegFromInf: the installer did not start %d %s")
               ? 1
               : 0;
}

int CSetupCtrl::DriverRegRoutine(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszHardwareId, int nShift,
                                 int* pbApplied) {
    if (pbApplied) *pbApplied = 0;
    HDEVINFO hSet = SetupDiGetClassDevsExW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES, NULL, NULL, NULL);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"GetClassDevs(All Present Devices)");
        return 0;
    }
    SP_DEVINFO_LIST_DETAIL_DATA_W detail;
    detail.cbSize = sizeof detail;
    if (!SetupDiGetDeviceInfoListDetailW(hSet, &detail)) {
        SetupDiDestroyDeviceInfoList(hSet);
        return 0;
    }
    int bFound = 0;
    int bError = 0;
    SP_DEVINFO_DATA data;
    data.cbSize = sizeof data;
    for (DWORD i = 0; !bFound && !bError && SetupDiEnumDeviceInfo(hSet, i, &data); ++i) {
        DWORD dwSize = 0;
        LPWSTR pszIds = NULL;
        BOOL bRead = FALSE;
        for (;;) {
            bRead =
                SetupDiGetDeviceRegistryPropertyW(hSet, &data, SPDRP_HARDWAREID, NULL, (PBYTE)pszIds, dwSize, &dwSize);
            if (bRead || GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
            free(pszIds);
            pszIds = static_cast<LPWSTR>(calloc(1, dwSize + 2 * sizeof(WCHAR)));
            if (!pszIds) break;
        }
        if (!bRead) {
            DWORD dwError = GetLastError();
            free(pszIds);
            if (dwError == ERROR_INVALID_DATA) continue;
            DBGPRINT(L"GetDeviceRegistryProperty");
            bError = 1;
            break;
        }
        for (LPCWSTR p = pszIds; p && *p; p += lstrlenW(p) + 1) {
            if (lstrcmpiW(p, pszHardwareId) != 0) continue;
            bFound = 1;
            DBGPRINT(L"DriverRegRoutine");
            WCHAR szDriverKey[MAX_PATH];
            if (GetDriverRegKey(data.DevInst, szDriverKey, MAX_PATH, nShift)) {
                WCHAR szKey[MAX_PATH + 64];
                wnsprintfW(szKey, (int)(sizeof szKey / sizeof szKey[0]),
                           L"SYSTEM\\CurrentControlSet\\Control\\Class\\%s", szDriverKey);
                if (DriverAddDelRegFromInf(pszIni, pszSection, szKey) && pbApplied) *pbApplied = 1;
            }
            break;
        }
        free(pszIds);
    }
    if (!bFound) {
        DWORD dwError = GetLastError();
        if (dwError != 0 && dwError != ERROR_NO_MORE_ITEMS) DBGPRINT(L"EnumDeviceInfo");
        DBGPRINT(L"DriverRegRoutine");
    }
    SetupDiDestroyDeviceInfoList(hSet);
    return bFound;
}

namespace {
// 1 when the first present device carrying the ID is disabled.
int IsDisabled(CDevCtrl& dev, LPCWSTR pszId) {
    ULONG ulStatus = 0, ulProblem = 0;
    return dev.GetDevStatus(pszId, &ulStatus, &ulProblem) && (ulStatus & DN_HAS_PROBLEM) &&
           ulProblem == CM_PROB_DISABLED;
}
}  // namespace

int CSetupCtrl::DriverRegFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    CDevCtrl dev;
    int nDev = ReadInt(pszIni, pszSection, L"DEV", 0);
    int nPreSleep = ReadInt(pszIni, pszSection, L"PRESLEEP", 0);
    int nAfterSleep = ReadInt(pszIni, pszSection, L"AFTERSLEEP", 0);
    int bPreDisable = ReadInt(pszIni, pszSection, L"PREDISABLE", 0) != 0;
    int bAfterEnable = ReadInt(pszIni, pszSection, L"AFTERENABLE", 0) != 0;
    WCHAR szShift[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"DEVSHIFT", L"0", szShift, SETUP_TEXT_CCH);
    int nShift = ParseSignedDecimal(szShift);
    int bSilent = IsSilentRun();
    int nResult = 1;
    for (int i = 1; i <= nDev; ++i) {
        WCHAR szKey[64], szId[1024], szRegSection[SETUP_TEXT_CCH + 1024];
        NumberedKey(szKey, L"DEV%d", i);
        ReadText(pszIni, pszSection, szKey, L"DEFAULT_ID", szId, (int)(sizeof szId / sizeof szId[0]));
        wnsprintfW(szRegSection, (int)(sizeof szRegSection / sizeof szRegSection[0]), L"%s_%s", pszSection, szId);
        if (!dev.IsExist(szId, NULL, NULL)) continue;
        // Only a device this command disabled is enabled again: one the user disabled stays so.
        int bDisabledHere = 0;
        if (!bSilent) {
            if (bPreDisable && !IsDisabled(dev, szId)) {
                dev.DisabledProperty(szId, 0);
                bDisabledHere = IsDisabled(dev, szId);
            }
            Sleep((DWORD)(nPreSleep > 0 ? nPreSleep : 0));
        }
        int bApplied = 0;
        if (!DriverRegRoutine(pszIni, szRegSection, szId, nShift, &bApplied) || !bApplied) {
            DBGPRINT(L"DRIVER_REG: the driver key of %s was not edited", szId);
            nResult = 0;
        }
        if (!bSilent) {
            Sleep((DWORD)(nAfterSleep > 0 ? nAfterSleep : 0));
            if (bAfterEnable && bDisabledHere) dev.EnabledProperty(szId, 0);
        }
    }
    return nResult;
}
