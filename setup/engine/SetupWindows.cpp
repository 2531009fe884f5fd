// Other programs' windows (CLOSE_WINDOW, SENDMSG_WINDOW, MACRO_WINCLICK), the shutdown
// scripts of the local group policy and SHOW_WMIDATA.
#include "SetupCtrl.h"

#include <setupapi.h>
#include <string.h>
#include <wchar.h>

#include "DbgMac.h"
#include "RegCtrl.h"
#include "SetupEnv.h"
#include "SetupExec.h"
#include "SetupGlobals.h"

namespace {

#define POST_INTERVAL_MS 200
#define CLICK_INTERVAL_MS 100
#define MAX_CHILD_WINDOWS 256
#define MSGID_CCH 128
#define SHUTDOWN_SLOTS 25

#define GP_STATE L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\State\\Machine\\Scripts"
#define GP_POLICY L"SOFTWARE\\Policies\\Microsoft\\Windows\\System\\Scripts"

struct ScriptTree {
    LPCWSTR pszShutdown;
    LPCWSTR pszStartup;
    LPCWSTR pszObject;
};
const ScriptTree kStateTree = {GP_STATE L"\\Shutdown", GP_STATE L"\\Startup", GP_STATE L"\\Shutdown\\0"};
const ScriptTree kPolicyTree = {GP_POLICY L"\\Shutdown", GP_POLICY L"\\Startup", GP_POLICY L"\\Shutdown\\0"};

void ReadText(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, LPCWSTR pszDefault, LPWSTR pszOut, DWORD cchOut) {
    lstrcpynW(pszOut, pszDefault, (int)cchOut);
    GetPrivateProfileStringW(pszSection, pszKey, pszDefault, pszOut, cchOut, pszIni);
}

int ReadInt(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, int nDefault) {
    return (int)GetPrivateProfileIntW(pszSection, pszKey, nDefault, pszIni);
}

void SlotKey(const ScriptTree& tree, int nSlot, LPWSTR pszOut) { wsprintfW(pszOut, L"%s\\%d", tree.pszObject, nSlot); }

// Whether the slot holds this command and these parameters (case-insensitive).
int SlotHolds(CRegCtrl& reg, LPCWSTR pszSlot, LPCWSTR pszCmd, LPCWSTR pszParam) {
    WCHAR szScript[REGCTRL_TEXT_CCH], szParams[REGCTRL_TEXT_CCH];
    szScript[0] = szParams[0] = 0;
    reg.ReadRegSZ(HKEY_LOCAL_MACHINE, pszSlot, L"Script", szScript);
    reg.ReadRegSZ(HKEY_LOCAL_MACHINE, pszSlot, L"Parameters", szParams);
    return lstrcmpiW(szScript, pszCmd) == 0 && lstrcmpiW(szParams, pszParam) == 0;
}

int WriteSlot(CRegCtrl& reg, LPCWSTR pszSlot, LPCWSTR pszCmd, LPCWSTR pszParam) {
    static const BYTE s_abExecTime[16] = {0};
    return reg.WriteRegSZ(HKEY_LOCAL_MACHINE, pszSlot, L"Script", pszCmd) &&
           reg.WriteRegSZ(HKEY_LOCAL_MACHINE, pszSlot, L"Parameters", pszParam) &&
           reg.WriteRegBIN(HKEY_LOCAL_MACHINE, pszSlot, L"ExecTime", s_abExecTime, sizeof(s_abExecTime));
}

// The Shutdown and Startup keys and the policy object of a tree; 0 when one cannot be
// made.
int PrepareTree(CRegCtrl& reg, const ScriptTree& tree) {
    LPCWSTR apszKeys[] = {tree.pszShutdown, tree.pszStartup};
    for (int i = 0; i < 2; ++i) {
        if (reg.IsRegKey(HKEY_LOCAL_MACHINE, apszKeys[i])) continue;
        DBGPRINT(L"CSetupCtrl::CreateShutdownScript:Create Registry Key=%s \n", apszKeys[i]);
        if (!reg.CreateRegKey(HKEY_LOCAL_MACHINE, apszKeys[i])) return 0;
    }
    if (reg.IsRegKey(HKEY_LOCAL_MACHINE, tree.pszObject)) return 1;
    DBGPRINT(L"CSetupCtrl::CreateShutdownScript:Create Registry =%s \n", tree.pszObject);
    static const WCHAR s_szName[] = {0x30ED, 0x30FC, 0x30AB, 0x30EB, 0x0020, 0x30B0, 0x30EB, 0x30FC,
                                     0x30D7, 0x0020, 0x30DD, 0x30EA, 0x30B7, 0x30FC, 0};
    WCHAR szFolder[MAX_PATH];
    UINT cch = GetSystemDirectoryW(szFolder, MAX_PATH - 32);
    if (cch == 0 || cch >= MAX_PATH - 32) return 0;
    lstrcatW(szFolder, L"\\GroupPolicy\\Machine");
    return reg.WriteRegSZ(HKEY_LOCAL_MACHINE, tree.pszObject, L"DisplayName", s_szName) &&
           reg.WriteRegSZ(HKEY_LOCAL_MACHINE, tree.pszObject, L"GPOName", s_szName) &&
           reg.WriteRegSZ(HKEY_LOCAL_MACHINE, tree.pszObject, L"FileSysPath", szFolder) &&
           reg.WriteRegSZ(HKEY_LOCAL_MACHINE, tree.pszObject, L"GPO-ID", L"LocalGPO") &&
           reg.WriteRegSZ(HKEY_LOCAL_MACHINE, tree.pszObject, L"SOM-ID", L"Local");
}

// Deletes the policy object of a tree when none of its slots is left.
void DropEmptyObject(CRegCtrl& reg, const ScriptTree& tree) {
    WCHAR szSlot[MAX_PATH];
    for (int i = 0; i < SHUTDOWN_SLOTS; ++i) {
        SlotKey(tree, i, szSlot);
        if (reg.IsRegKey(HKEY_LOCAL_MACHINE, szSlot)) return;
    }
    reg.DeleteRegKey(HKEY_LOCAL_MACHINE, tree.pszObject);
}

}  // namespace

unsigned CSetupCtrl::PostWinMessage(LPCWSTR pszClass, LPCWSTR pszTitle, UINT uMsg, DWORD dwBudgetMs) {
    HWND hWnd = FindWindowW(pszClass, pszTitle);
    if (!hWnd) return 37;
    DWORD dwSpent = 0;
    while (hWnd) {
        if (dwSpent >= dwBudgetMs) return 37;
        PostMessageW(hWnd, uMsg, 0, 0);
        Sleep(POST_INTERVAL_MS);
        dwSpent += POST_INTERVAL_MS;
        hWnd = FindWindowW(pszClass, pszTitle);
    }
    return 0;
}

unsigned CSetupCtrl::CloseWindowFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"WIN", 0);
    DWORD dwTimeout = (DWORD)ReadInt(pszIni, pszSection, L"TIMEOUT", 5000);
    int bClass = ReadInt(pszIni, pszSection, L"CLASS", 0);
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[32], szName[SETUP_TEXT_CCH];
        wsprintfW(szKey, L"WIN%d", n);
        ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH);
        // An entry naming no window would reach whichever untitled window comes first.
        if (szName[0]) PostWinMessage(bClass ? szName : NULL, bClass ? NULL : szName, WM_CLOSE, dwTimeout);
        DBGPRINT(L"CloseWindows:%s\n", szName);
    }
    return 0;
}

unsigned CSetupCtrl::SendMessageWindowFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"WIN", 0);
    DWORD dwTimeout = (DWORD)ReadInt(pszIni, pszSection, L"TIMEOUT", 5000);
    unsigned uResult = 0;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[32], szClass[SETUP_TEXT_CCH], szTitle[SETUP_TEXT_CCH], szMsg[MSGID_CCH];
        wsprintfW(szKey, L"WIN%d_CLASS", n);
        ReadText(pszIni, pszSection, szKey, L"", szClass, SETUP_TEXT_CCH);
        wsprintfW(szKey, L"WIN%d_TITLE", n);
        ReadText(pszIni, pszSection, szKey, L"", szTitle, SETUP_TEXT_CCH);
        wsprintfW(szKey, L"WIN%d_MSGID", n);
        ReadText(pszIni, pszSection, szKey, L"", szMsg, MSGID_CCH);
        DWORD dwMsg = 0;
        if (!ParseNumber(szMsg, 16, &dwMsg)) dwMsg = 0;
        // An entry naming no window would reach whichever window comes first: it fails.
        unsigned uEntry = 37;
        if (szClass[0] || szTitle[0])
            uEntry = PostWinMessage(szClass[0] ? szClass : NULL, szTitle[0] ? szTitle : NULL, (UINT)dwMsg, dwTimeout);
        // Every entry counts: one that failed fails the command.
        if (uEntry) uResult = 59;
    }
    return uResult;
}

HWND CSetupCtrl::GetChildWindowHandle(LPCWSTR pszTitle, LPCWSTR pszChild) {
    HWND hParent = FindWindowW(NULL, pszTitle);
    if (!hParent) {
        DBGPRINT(L"CSetupCtrl::GetChildWindowHandle can not find Windows=%s", pszTitle);
        return NULL;
    }
    HWND hChild = GetWindow(hParent, GW_CHILD);
    for (int i = 0; hChild && i < MAX_CHILD_WINDOWS; ++i) {
        WCHAR szText[MAX_CHILD_WINDOWS + 1];
        szText[0] = 0;
        GetWindowTextW(hChild, szText, MAX_CHILD_WINDOWS);
        if (lstrcmpW(szText, pszChild) == 0) {
            DBGPRINT(L"CSetupCtrl::GetChildWindowHandle found target win %d: %s vs %s", i, szText, pszChild);
            return hChild;
        }
        hChild = GetWindow(hChild, GW_HWNDNEXT);
    }
    DBGPRINT(L"CSetupCtrl::GetChildWindowHandle can not find childwindow : %s->%s", pszTitle, pszChild);
    return NULL;
}

int CSetupCtrl::ClickWinButton(LPCWSTR pszTitle, LPCWSTR pszChild) {
    HWND hChild = GetChildWindowHandle(pszTitle, pszChild);
    if (!hChild) {
        DBGPRINT(L"CSetupCtrl::ClickWinButton Error can not find child window %s->%s", pszTitle, pszChild);
        return 0;
    }
    PostMessageW(hChild, WM_ACTIVATE, WA_ACTIVE, 0);
    PostMessageW(hChild, BM_CLICK, 0, 0);
    DBGPRINT(L"CSetupCtrl::ClickWinButton post message completed win 0x%08x: %s->%s", (DWORD)(ULONG_PTR)hChild,
             pszTitle, pszChild);
    return 1;
}

int CSetupCtrl::DialogUnattend(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"DIALOGCOUNT", 0);
    int bResult = 1;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[40], szTitle[SETUP_TEXT_CCH], szChild[SETUP_TEXT_CCH];
        wsprintfW(szKey, L"DIALOG%d_TITLE", n);
        ReadText(pszIni, pszSection, szKey, L"DEFAULT", szTitle, SETUP_TEXT_CCH);
        wsprintfW(szKey, L"DIALOG%d_CHILD", n);
        ReadText(pszIni, pszSection, szKey, L"DEFAULT", szChild, SETUP_TEXT_CCH);
        wsprintfW(szKey, L"DIALOG%d_OPENWAIT", n);
        int nOpenWait = ReadInt(pszIni, pszSection, szKey, 0);
        wsprintfW(szKey, L"DIALOG%d_CLOSEWAIT", n);
        int nCloseWait = ReadInt(pszIni, pszSection, szKey, 0);
        // Every failed attempt marks the command failed, even when a later one works; no
        // wait of a whole interval makes no attempt at all.
        int nAttempts = nOpenWait / CLICK_INTERVAL_MS;
        int bDone = 0;
        for (int a = 0; a < nAttempts && !bDone; ++a) {
            if (!FindWindowW(NULL, szTitle)) {
                DBGPRINT(L"CSetupCtrl::DialogUnattend can not find window : %s", szTitle);
                bResult = 0;
                Sleep(CLICK_INTERVAL_MS);
                continue;
            }
            if (!ClickWinButton(szTitle, szChild)) {
                DBGPRINT(L"CSetupCtrl::DialogUnattend error ClickWinButton() ");
                bResult = 0;
                Sleep(CLICK_INTERVAL_MS);
                continue;
            }
            int nPolls = nCloseWait / CLICK_INTERVAL_MS;
            int bGone = 0;
            for (int p = 0; p < nPolls; ++p) {
                Sleep(CLICK_INTERVAL_MS);
                if (!GetChildWindowHandle(szTitle, szChild)) {
                    DBGPRINT(L"CSetupCtrl::DialogUnattend success close window %s->%s", szTitle, szChild);
                    bGone = 1;
                    break;
                }
            }
            if (nPolls > 0 && !bGone) {
                DBGPRINT(L"CSetupCtrl::DialogUnattend click windows button but still exist : %s->%s", szTitle, szChild);
                bResult = 0;
            } else {
                DBGPRINT(L"CSetupCtrl::DialogUnattend close success : %s->%s", szTitle, szChild);
            }
            bDone = 1;
        }
    }
    return bResult;
}

unsigned CSetupCtrl::WinClickFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"MACRO_WINCLICK %s %s", pszIni, pszSection);
    if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Unattendant... ", L"Windows or Dialog");
    return DialogUnattend(pszIni, pszSection) ? 0 : 72;
}

int CSetupCtrl::CreateShutdownScript(LPCWSTR pszCmd, LPCWSTR pszParam) {
    CRegCtrl reg;
    if (!PrepareTree(reg, kStateTree)) return 0;
    // A command already registered is left alone; otherwise the first number free in both
    // trees is taken, so that the two lists stay in step.
    int nFree = -1, bFound = 0;
    WCHAR szSlot[MAX_PATH], szPolicySlot[MAX_PATH];
    for (int i = 0; i < SHUTDOWN_SLOTS && !bFound; ++i) {
        SlotKey(kStateTree, i, szSlot);
        if (reg.IsRegKey(HKEY_LOCAL_MACHINE, szSlot)) {
            bFound = SlotHolds(reg, szSlot, pszCmd, pszParam);
            if (bFound) DBGPRINT(L"CSetupCtrl::CreateShutdownScript:Found Alredy Script in %s \n", szSlot);
            continue;
        }
        SlotKey(kPolicyTree, i, szPolicySlot);
        if (nFree < 0 && !reg.IsRegKey(HKEY_LOCAL_MACHINE, szPolicySlot)) nFree = i;
    }
    if (!PrepareTree(reg, kPolicyTree) || bFound || nFree < 0) return 0;
    SlotKey(kStateTree, nFree, szSlot);
    SlotKey(kPolicyTree, nFree, szPolicySlot);
    DBGPRINT(L"CSetupCtrl::CreateShutdownScript:Create Script in %s \n", szSlot);
    if (!WriteSlot(reg, szSlot, pszCmd, pszParam)) {
        reg.DeleteRegKey(HKEY_LOCAL_MACHINE, szSlot);
        return 0;
    }
    DBGPRINT(L"CSetupCtrl::CreateShutdownScript:Create Script Key=%s \n", szPolicySlot);
    if (!WriteSlot(reg, szPolicySlot, pszCmd, pszParam)) {
        // Both slots or neither.
        reg.DeleteRegKey(HKEY_LOCAL_MACHINE, szPolicySlot);
        reg.DeleteRegKey(HKEY_LOCAL_MACHINE, szSlot);
        return 0;
    }
    return 1;
}

int CSetupCtrl::DeleteShutdownScript(LPCWSTR pszCmd, LPCWSTR pszParam) {
    CRegCtrl reg;
    int nDeleted = -1;
    WCHAR szSlot[MAX_PATH];
    for (int i = 0; i < SHUTDOWN_SLOTS && nDeleted < 0; ++i) {
        SlotKey(kStateTree, i, szSlot);
        if (!reg.IsRegKey(HKEY_LOCAL_MACHINE, szSlot) || !SlotHolds(reg, szSlot, pszCmd, pszParam)) continue;
        DBGPRINT(L"CSetupCtrl::DeleteShutdownScript:Delete Registry Key=%s \n", szSlot);
        if (reg.DeleteRegKey(HKEY_LOCAL_MACHINE, szSlot)) nDeleted = i;
    }
    DropEmptyObject(reg, kStateTree);
    int bResult = 0;
    if (nDeleted >= 0) {
        SlotKey(kPolicyTree, nDeleted, szSlot);
        if (reg.IsRegKey(HKEY_LOCAL_MACHINE, szSlot)) {
            DBGPRINT(L"CSetupCtrl::DeleteShutdownScript:Delete Registry Key=%s \n", szSlot);
            bResult = reg.DeleteRegKey(HKEY_LOCAL_MACHINE, szSlot);
        }
    }
    DropEmptyObject(reg, kPolicyTree);
    return bResult;
}

unsigned CSetupCtrl::RegistShutdownScriptFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int bCreate) {
    int nCount = ReadInt(pszIni, pszSection, L"CMD", 0);
    DBGPRINT(L"CSetupCtrl::RegistShutdownScriptFromIni:Cmd count=%d", nCount);
    int bFailed = 0;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[32], szCmd[SETUP_TEXT_CCH], szParam[SETUP_TEXT_CCH];
        wsprintfW(szKey, L"CMD%d", n);
        ReadText(pszIni, pszSection, szKey, L"", szCmd, SETUP_TEXT_CCH);
        wsprintfW(szKey, L"CMD%d_PARAM", n);
        ReadText(pszIni, pszSection, szKey, L"", szParam, SETUP_TEXT_CCH);
        // A slot without a command would run nothing at every shutdown.
        if (bCreate ? szCmd[0] && CreateShutdownScript(szCmd, szParam) : DeleteShutdownScript(szCmd, szParam)) continue;
        DBGPRINT(bCreate ? L"CSetupCtrl::CreateShutdownScript Error" : L"CSetupCtrl::DeleteShutdownScript Error");
        bFailed = 1;
    }
    DBGPRINT(L"CSetupCtrl::RegistShutdownScriptFromIni:End");
    return bFailed ? (bCreate ? 78 : 79) : 0;
}

int CSetupCtrl::ShowWmidataFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    static const LPCWSTR s_keys[] = {L"WMI_NAMESPACE", L"WMI_CLASSNAME", L"WMI_PROPERTYNAME"};
    WCHAR aszNames[3][SETUP_TEXT_CCH];
    for (int i = 0; i < 3; ++i) {
        ReadText(pszIni, pszSection, s_keys[i], L"", aszNames[i], SETUP_TEXT_CCH);
        if (!aszNames[i][0]) {
            DBGPRINT(L"CSetupCtrl::ShowWmidataFromIni Error Can not get %s", s_keys[i]);
            return 0;
        }
    }
    WCHAR szValue[WMICTRL_TEXT_CCH] = {0};
    WmiCtrl localWmi;
    WmiCtrl& wmi = g_pSetupEnv ? g_pSetupEnv->GetWmi() : localWmi;
    if (!wmi.GetValue(aszNames[0], aszNames[1], aszNames[2], szValue, WMICTRL_TEXT_CCH)) {
        DBGPRINT(L"CSetupCtrl::ShowWmidataFromIni Error GetValue.");
        return 0;
    }
    DBGPRINT(L"CSetupCtrl::ShowWmidataFromIni %s", szValue);
    ShowMsgBox(pszIni, pszSection, szValue);
    return 1;
}

int IsRebootSuppressed() {
    if (!g_pSetupEnv) return 0;
    return wcsstr(g_pSetupEnv->GetLowerArguments(), L"/reboot=suppress") ||
           wcsstr(g_pSetupEnv->GetArguments(), L"-reboot=suppress");
}

unsigned ShowRebootDialog() {
    if (SetupPromptReboot(NULL, GetActiveWindow(), FALSE) == -1) {
        DBGPRINT(L"ShowRebootDialog ERROR:%d", GetLastError());
        return 61;
    }
    return 0;
}

unsigned CSetupCtrl::RestartSystem() {
    HANDLE hToken = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken)) {
        DBGPRINT(L"OpenProcessToken Error");
        return 67;
    }
    TOKEN_PRIVILEGES tp;
    memset(&tp, 0, sizeof(tp));
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    int bLooked = LookupPrivilegeValueW(NULL, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid);
    SetLastError(ERROR_SUCCESS);
    if (bLooked) AdjustTokenPrivileges(hToken, FALSE, &tp, 0, NULL, NULL);
    DWORD dwError = bLooked ? GetLastError() : ERROR_INVALID_PARAMETER;
    CloseHandle(hToken);
    if (dwError != ERROR_SUCCESS) {
        DBGPRINT(L"Privilege Error");
        return 67;
    }
    if (!ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0)) {
        DBGPRINT(L"Restart Error");
        return 67;
    }
    return 0;
}

unsigned CSetupCtrl::ShowRebootDialogFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"SHOW_REBOOTDIALOG %s %s", pszIni, pszSection);
    if (IsRebootSuppressed()) return 0;
    return ShowRebootDialog();
}

unsigned CSetupCtrl::CmdRebootFromIni() {
    unsigned uResult = 0;
    if (!IsRebootSuppressed()) uResult = IsSilentRun() ? RestartSystem() : ShowRebootDialog();
    DBGPRINT(L"CMD_REBOOT FINISH");
    return uResult;
}
