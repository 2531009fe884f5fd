// Network commands: ENABLE_BINDING switches binding paths, BACKUP_NETCFG saves or restores
// an adapter's network settings, CHECK_NETDEVID makes an adapter the current one.
#include "SetupCtrl.h"

#include "DbgMac.h"
#include "NetCfgCtrl.h"
#include "NetDevCtrl.h"
#include "ScriptRead.h"

#define SETUP_BINDING_CCH 520

int CSetupCtrl::EnableBinding(LPCWSTR pszIni, LPCWSTR pszSection) {
    CNetCfgCtrl netcfg;
    int nCount = script::ReadInt(pszIni, pszSection, L"BINDING", 0);
    DBGPRINT(L"EnableBinding");
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szPath[SETUP_BINDING_CCH];
        script::NumberedKey(szKey, L"BINDING%d_PATH", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szPath, SETUP_BINDING_CCH);
        script::NumberedKey(szKey, L"BINDING%d_FLAG", i);
        int bEnable = script::ReadInt(pszIni, pszSection, szKey, 0) == 1;
        if (netcfg.EnableBinding(szPath, bEnable)) {
            DBGPRINT(bEnable ? L"EnableBinding %s is enabled." : L"EnableBinding %s is disabled.", szPath);
        } else {
            DBGPRINT(bEnable ? L"EnableBinding %s is enabled. ERROR=%d" : L"EnableBinding %s is disabled. ERROR=%d",
                     szPath, GetLastError());
            nResult = 0;
        }
    }
    DBGPRINT(L"EnableBinding:End");
    return nResult;
}

unsigned CSetupCtrl::BackupNetCfgFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = script::ReadInt(pszIni, pszSection, L"HWID", 0);
    int nBackup = script::ReadInt(pszIni, pszSection, L"BACKUP", 1);
    int nLevel = script::ReadInt(pszIni, pszSection, L"LEVEL", -1);
    int nPresent = script::ReadInt(pszIni, pszSection, L"PRESENT", 1);
    if (!g_pNetDevCtrl) return 39;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szId[SETUP_ITEM_CCH];
        script::NumberedKey(szKey, L"HWID%d", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_ITEM_CCH);
        // 1 backs up, any other value restores.
        int bBackup = nBackup == 1;
        int bDone = bBackup ? g_pNetDevCtrl->BackupNetConfig(szId, nPresent == 1, (DWORD)nLevel)
                            : g_pNetDevCtrl->RestoreNetConfig(szId, nPresent == 1, (DWORD)nLevel);
        LPCWSTR pszName = bBackup ? L"BackupNetConfig" : L"RestoreNetConfig";
        if (bDone) {
            DBGPRINT(L"%s Success HWID %s %d %d", pszName, szId, nPresent, nLevel);
            return 0;
        }
        DBGPRINT(L"%s Error HWID %s %d %d", pszName, szId, nPresent, nLevel);
    }
    return 39;
}

unsigned CSetupCtrl::CheckNetDevIdFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int* pbQuit) {
    int nCount = script::ReadInt(pszIni, pszSection, L"HWID", 0);
    int nPresent = script::ReadInt(pszIni, pszSection, L"PRESENT", 1);
    for (int i = 1; g_pNetDevCtrl && i <= nCount; ++i) {
        WCHAR szKey[64], szId[SETUP_ITEM_CCH];
        script::NumberedKey(szKey, L"HWID%d", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_ITEM_CCH);
        if (g_pNetDevCtrl->Open(szId, nPresent == 1)) {
            DBGPRINT(L"CHECK_NETDEVID Success HWID %s %d", szId, nPresent);
            return 0;
        }
        DBGPRINT(L"CHECK_NETDEVID Error HWID %s %d", szId, nPresent);
    }
    // No adapter found: %NetInstanceGUID% names none.
    if (g_pNetDevCtrl) g_pNetDevCtrl->Close();
    if (pbQuit) *pbQuit = 1;
    return 74;
}
