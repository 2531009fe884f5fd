// The network device object.
#include "NetDevCtrl.h"

#include "DbgMac.h"
#include "RegCtrl.h"

#include <cfgmgr32.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

CNetDevCtrl* g_pNetDevCtrl = NULL;

namespace {

// GUID_DEVCLASS_NET.
const GUID kNetClass = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

const WCHAR kBackupKey[] = L"SOFTWARE\\Quarven\\OrvashTool\\Backup";
const WCHAR kTcpipKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
const WCHAR kNetbtKey[] = L"SYSTEM\\CurrentControlSet\\Services\\NetBT\\Parameters\\Interfaces\\tcpip_";
const WCHAR kEapolKey[] = L"SOFTWARE\\Microsoft\\EAPOL\\Parameters\\Interfaces\\";
const WCHAR kWzcKey[] = L"SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\";
const WCHAR kClassKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
const WCHAR kSpecialVendor[] = L"168C";
const WCHAR kWirelessService[] = L"wzcsvc";
const WCHAR kAdapterService[] = L"acs";
const DWORD kNetWaitMs = 60000;
const DWORD kPropertyTries = 4;

// Reads a text property into out (cchOut characters, cut to fit with two terminators
// kept); 1 read, 0 absent, -1 error (the error in *pdwError). *pcb gets the size read.
int ReadProperty(HDEVINFO hSet, PSP_DEVINFO_DATA pData, DWORD dwProp, LPWSTR pszOut, DWORD cchOut, DWORD* pcb,
                 DWORD* pdwError) {
    memset(pszOut, 0, cchOut * sizeof(WCHAR));
    if (pcb) *pcb = 0;
    DWORD cbBuf = 0;
    BYTE* pBuf = NULL;
    for (DWORD nTry = 0; nTry < kPropertyTries; ++nTry) {
        DWORD dwType = 0, cbNeed = 0;
        if (SetupDiGetDeviceRegistryPropertyW(hSet, pData, dwProp, &dwType, pBuf, cbBuf, &cbNeed)) {
            if (pBuf) {
                DWORD cch = cbBuf / sizeof(WCHAR);
                if (cch > cchOut - 2) cch = cchOut - 2;
                memcpy(pszOut, pBuf, cch * sizeof(WCHAR));
                if (pcb) *pcb = cbNeed;
            }
            free(pBuf);
            return 1;
        }
        DWORD dwErr = GetLastError();
        free(pBuf);
        pBuf = NULL;
        if (dwErr == ERROR_INVALID_DATA) return 0;
        if (dwErr != ERROR_INSUFFICIENT_BUFFER || cbNeed == 0) {
            *pdwError = dwErr;
            return -1;
        }
        cbBuf = cbNeed;
        pBuf = static_cast<BYTE*>(calloc(1, cbNeed + 2 * sizeof(WCHAR)));
        if (!pBuf) {
            *pdwError = ERROR_NOT_ENOUGH_MEMORY;
            return -1;
        }
    }
    free(pBuf);
    *pdwError = ERROR_INSUFFICIENT_BUFFER;
    return -1;
}

int Join(LPWSTR pszOut, LPCWSTR pszA, LPCWSTR pszB) {
    return SUCCEEDED(StringCchCopyW(pszOut, MAX_PATH, pszA)) && SUCCEEDED(StringCchCatW(pszOut, MAX_PATH, pszB));
}

// What opening a key of HKLM for reading gives (own view).
LONG OpenCode(LPCWSTR pszKey) {
    HKEY hKey = NULL;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ, &hKey);
    if (rc == ERROR_SUCCESS) RegCloseKey(hKey);
    return rc;
}

int KeyExists(LPCWSTR pszKey) { return OpenCode(pszKey) == ERROR_SUCCESS; }

// A text value of the backup key (own view); empty when missing.
void ReadBackupText(LPCWSTR pszSub, LPCWSTR pszValue, LPWSTR pszOut, DWORD cchOut) {
    pszOut[0] = 0;
    WCHAR szKey[MAX_PATH];
    if (!Join(szKey, kBackupKey, pszSub)) return;
    DWORD cb = (cchOut - 1) * sizeof(WCHAR), dwType = 0;
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
    if (RegQueryValueExW(hKey, pszValue, NULL, &dwType, reinterpret_cast<BYTE*>(pszOut), &cb) != ERROR_SUCCESS ||
        dwType != REG_SZ)
        cb = 0;
    pszOut[cb / sizeof(WCHAR)] = 0;
    RegCloseKey(hKey);
}

int WriteBackupText(LPCWSTR pszSub, LPCWSTR pszValue, LPCWSTR pszText) {
    WCHAR szKey[MAX_PATH];
    if (!Join(szKey, kBackupKey, pszSub)) return 0;
    HKEY hKey = NULL;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, NULL, 0, KEY_WRITE, NULL, &hKey, NULL) != ERROR_SUCCESS) return 0;
    LONG rc = RegSetValueExW(hKey, pszValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText),
                             static_cast<DWORD>((lstrlenW(pszText) + 1) * sizeof(WCHAR)));
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS;
}

// Deletes a key of HKLM with its sub keys (own view).
void DeleteTree(HKEY hParent, LPCWSTR pszKey) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(hParent, pszKey, 0, KEY_READ | KEY_WRITE, &hKey) == ERROR_SUCCESS) {
        WCHAR szName[256];
        for (;;) {
            DWORD cch = 256;
            if (RegEnumKeyExW(hKey, 0, szName, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
            DWORD before = 0;
            RegQueryInfoKeyW(hKey, NULL, NULL, NULL, &before, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
            DeleteTree(hKey, szName);
            DWORD after = 0;
            RegQueryInfoKeyW(hKey, NULL, NULL, NULL, &after, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
            if (after >= before) break;  // could not delete: no endless loop
        }
        RegCloseKey(hKey);
    }
    RegDeleteKeyW(hParent, pszKey);
}

}  // namespace

CNetDevCtrl::CNetDevCtrl() { memset(&m_Current, 0, sizeof m_Current); }

CNetDevCtrl::~CNetDevCtrl() {}

int CNetDevCtrl::GetNetDevInfo(CRecordList<NetDevInfo>* pList, int bPresent, LPCWSTR pszEnumerator) {
    HDEVINFO hSet = SetupDiGetClassDevsW(&kNetClass, pszEnumerator, NULL, bPresent ? DIGCF_PRESENT : 0);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ERROR GetNetDevInfo->ErrCode=%d", GetLastError());
        return 0;
    }
    struct Property {
        DWORD dwProp;
        size_t offset;
        DWORD cch;
        LPCWSTR pszError;
    };
    const Property props[] = {
        {SPDRP_HARDWAREID, offsetof(NetDevInfo, szHardwareIds), NETDEV_HWID_CCH,
         L"ERROR GetNetDevInfo->QueryHWID->Unknown"},
        {SPDRP_DRIVER, offsetof(NetDevInfo, szDriverKey), NETDEV_GUID_CCH,
         L"ERROR GetNetDevInfo->QueryDriverKey->Unknown"},
        {SPDRP_DEVICEDESC, offsetof(NetDevInfo, szDescription), NETDEV_TEXT_CCH,
         L"ERROR GetNetDevInfo->QueryDriverDescription->Unknown"},
        {SPDRP_SERVICE, offsetof(NetDevInfo, szService), NETDEV_TEXT_CCH,
         L"ERROR GetNetDevInfo->QueryDriverDescription->Unknown"},
        {SPDRP_FRIENDLYNAME, offsetof(NetDevInfo, szFriendlyName), NETDEV_TEXT_CCH,
         L"ERROR GetNetDevInfo->QueryFriednlyName->Unknown"},
    };
    int nResult = 1;
    NetDevInfo* pInfo = static_cast<NetDevInfo*>(calloc(1, sizeof(NetDevInfo)));
    for (DWORD i = 0; pInfo; ++i) {
        SP_DEVINFO_DATA data;
        memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInfo(hSet, i, &data)) break;
        memset(pInfo, 0, sizeof *pInfo);
        DWORD dwError = 0;
        for (const Property& p : props) {
            LPWSTR pszField = reinterpret_cast<LPWSTR>(reinterpret_cast<BYTE*>(pInfo) + p.offset);
            DWORD cb = 0;
            if (ReadProperty(hSet, &data, p.dwProp, pszField, p.cch, &cb, &dwError) < 0) {
                DBGPRINT(p.pszError);
                DBGPRINT(L"ERROR GetNetDevInfo->ErrCode=%d", dwError);
                nResult = 0;
                break;
            }
            if (p.dwProp == SPDRP_HARDWAREID) pInfo->cbHardwareIds = cb;
        }
        if (!nResult) break;
        if (pInfo->szDriverKey[0]) {
            ReadDriverRegByKey(pInfo->szDriverKey, L"NetCfgInstanceId", pInfo->szNetCfgInstanceId, NETDEV_GUID_CCH);
            ReadDriverRegByKey(pInfo->szDriverKey, L"CardCfgId", pInfo->szCardCfgId, NETDEV_GUID_CCH);
        }
        GetDeviceVendor(pInfo->szHardwareIds, pInfo->szVendor, NETDEV_GUID_CCH);
        pInfo->bWireless = pInfo->szHardwareIds[0] && IsWirelessByReg(pInfo->szHardwareIds) ? 1 : 0;
        // Present: the device's own node answers (an installed adapter that is not present
        // has none), whatever other adapters carry the same ID.
        ULONG ulStatus = 0, ulProblem = 0;
        pInfo->bPresent = CM_Get_DevNode_Status(&ulStatus, &ulProblem, data.DevInst, 0) == CR_SUCCESS ? 1 : 0;
        if (!pList->Add(*pInfo)) {
            nResult = 0;
            break;
        }
    }
    if (!pInfo) nResult = 0;
    free(pInfo);
    SetupDiDestroyDeviceInfoList(hSet);
    return nResult;
}

int CNetDevCtrl::GetNetDev(NetDevInfo* pOut, LPCWSTR pszHardwareId, int bPresent) {
    int nLen = pszHardwareId ? lstrlenW(pszHardwareId) : 0;
    if (nLen == 0) {
        DBGPRINT(L"GetNetDev->empty hardware ID, not found");
        return 0;
    }
    CRecordList<NetDevInfo> list;
    if (!GetNetDevInfo(&list, bPresent, NULL)) {
        DBGPRINT(L"CNetDevCtrl::GetNetDev() GetNetDevsInfo error or no NIC");
        return 0;
    }
    for (int i = 0; i < list.GetCount(); ++i) {
        const NetDevInfo* p = list.Get(i);
        if (StrCmpNIW(p->szHardwareIds, pszHardwareId, nLen) != 0) continue;
        if ((p->bPresent != 0) != (bPresent != 0)) continue;
        if (!p->szNetCfgInstanceId[0]) {
            DBGPRINT(L"GetNetDev->%s has no NetCfgInstanceId, passed over", p->szHardwareIds);
            continue;
        }
        memcpy(pOut, p, sizeof *pOut);
        DBGPRINT(L"GetNetDev->Found %s", p->szHardwareIds);
        return 1;
    }
    DBGPRINT(L"GetNetDev->Do not found network device");
    return 0;
}

int CNetDevCtrl::Open(LPCWSTR pszHardwareId, int bPresent) {
    DBGPRINT(L"CNetDevCtrl:Open()");
    NetDevInfo* pInfo = static_cast<NetDevInfo*>(calloc(1, sizeof(NetDevInfo)));
    int bFound = pInfo && GetNetDev(pInfo, pszHardwareId, bPresent);
    if (bFound)
        memcpy(&m_Current, pInfo, sizeof m_Current);
    else
        Close();
    free(pInfo);
    return bFound;
}

void CNetDevCtrl::Close() { memset(&m_Current, 0, sizeof m_Current); }

int CNetDevCtrl::IsWirelessByReg(LPCWSTR pszHardwareId) {
    int nIdLen = pszHardwareId ? lstrlenW(pszHardwareId) : 0;
    if (nIdLen == 0) return 0;
    for (UINT n = 0; n < DEVCTRL_ID_COUNT; ++n) {
        WCHAR szEntry[DEVCTRL_VALUE_CCH];
        if (ReadSupportId(L"DevID_SupportRL", n, szEntry, DEVCTRL_VALUE_CCH) != 1) continue;
        int nEntryLen = lstrlenW(szEntry);
        if (nEntryLen == 0) continue;  // an empty entry would agree with every ID
        int nLen = nEntryLen < nIdLen ? nEntryLen : nIdLen;
        if (StrCmpNIW(szEntry, pszHardwareId, nLen) == 0) {
            DBGPRINT(L"CNetDevCtrl::IsWirelessByReg() Found count =%d", n);
            return 1;
        }
    }
    return 0;
}

int CNetDevCtrl::IsBackupExist() { return KeyExists(kBackupKey); }

void CNetDevCtrl::StopIfRunning(LPCWSTR pszService) {
    if (m_SvcCtrl.WaitForRunning(pszService, 0, 0)) m_SvcCtrl.RunNetCmd(SVCCTRL_NET_STOP, pszService, kNetWaitMs);
}

int CNetDevCtrl::CopyPart(int bRestore, LPCWSTR pszName, LPCWSTR pszLive, LPCWSTR pszBackupSub) {
    WCHAR szBackup[MAX_PATH];
    if (!Join(szBackup, kBackupKey, pszBackupSub)) return 0;
    LPCWSTR pszFrom = bRestore ? szBackup : pszLive;
    LPCWSTR pszTo = bRestore ? pszLive : szBackup;
    LPCWSTR pszVerb = bRestore ? L"Restore" : L"Backup";
    DBGPRINT(L"%s: %s %s -> %s\n", pszVerb, pszName, pszFrom, pszTo);
    if (OpenCode(pszFrom) == ERROR_FILE_NOT_FOUND) {
        // Nothing of this part to copy (a wired adapter has no wireless settings).
        DBGPRINT(L"%s: %s %s does not exist, nothing to copy\n", pszVerb, pszName, pszFrom);
        return 1;
    }
    if (CRegCtrl::CopyRegistry(HKEY_LOCAL_MACHINE, pszFrom, HKEY_LOCAL_MACHINE, pszTo)) return 1;
    DBGPRINT(L"%s: %s Copy Failed %s -> %s\n", pszVerb, pszName, pszFrom, pszTo);
    return 0;
}

namespace {

// The live keys of an adapter's parts; 0 when a path does not fit.
struct LiveKeys {
    WCHAR szTcpip[MAX_PATH], szNetbt[MAX_PATH], szEapol[MAX_PATH], szWzc[MAX_PATH], szCustom[MAX_PATH];
    int Build(const NetDevInfo& d) {
        return Join(szTcpip, kTcpipKey, d.szNetCfgInstanceId) && Join(szNetbt, kNetbtKey, d.szNetCfgInstanceId) &&
               Join(szEapol, kEapolKey, d.szNetCfgInstanceId) && Join(szWzc, kWzcKey, d.szNetCfgInstanceId) &&
               Join(szCustom, kClassKey, d.szDriverKey) &&
               SUCCEEDED(StringCchCatW(szCustom, MAX_PATH, L"\\CustomParams"));
    }
};

}  // namespace

int CNetDevCtrl::BackupNetConfig(LPCWSTR pszHardwareId, int bPresent, DWORD dwLevel) {
    if (IsBackupExist()) {
        DBGPRINT(L"Backup: Already exist backup.");
        return 0;
    }
    NetDevInfo* pDev = static_cast<NetDevInfo*>(calloc(1, sizeof(NetDevInfo)));
    if (!pDev || !GetNetDev(pDev, pszHardwareId, bPresent)) {
        DBGPRINT(L"Backup: did not find device ID.");
        free(pDev);
        return 0;
    }
    LiveKeys* pKeys = static_cast<LiveKeys*>(calloc(1, sizeof(LiveKeys)));
    int nResult = pKeys && pKeys->Build(*pDev);
    if (!nResult) DBGPRINT(L"Backup: the adapter's keys cannot be named");
    if (nResult && (dwLevel & NETDEV_LEVEL_TCPIP) && !CopyPart(0, L"TCP/IP", pKeys->szTcpip, L"\\TCPIP")) nResult = 0;
    if (nResult && (dwLevel & NETDEV_LEVEL_NETBT) && !CopyPart(0, L"Wins", pKeys->szNetbt, L"\\NETBT")) nResult = 0;
    if (nResult && (dwLevel & NETDEV_LEVEL_WIRELESS)) {
        StopIfRunning(kWirelessService);
        if (!CopyPart(0, L"EAPOL", pKeys->szEapol, L"\\EAPOL") || !CopyPart(0, L"WZC", pKeys->szWzc, L"\\WZCSVC"))
            nResult = 0;
    }
    if (nResult && (dwLevel & NETDEV_LEVEL_ADAPTER) && lstrcmpiW(pDev->szVendor, kSpecialVendor) == 0) {
        StopIfRunning(kAdapterService);
        if (!CopyPart(0, L"ACU", pKeys->szCustom, L"\\ACUCFG") ||
            !WriteBackupText(L"\\CARDCONFIG", L"CardCfgId", pDev->szCardCfgId))
            nResult = 0;
    }
    if (!nResult && IsBackupExist()) {
        // A partial backup would block the next one and restore half the settings.
        DBGPRINT(L"Backup: failed, the partial backup is removed");
        DeleteTree(HKEY_LOCAL_MACHINE, kBackupKey);
    }
    free(pKeys);
    free(pDev);
    return nResult;
}

int CNetDevCtrl::RestoreNetConfig(LPCWSTR pszHardwareId, int bPresent, DWORD dwLevel) {
    if (!IsBackupExist()) {
        DBGPRINT(L"RestoreNetConfig: Can not find backup.");
        return 0;
    }
    NetDevInfo* pDev = static_cast<NetDevInfo*>(calloc(1, sizeof(NetDevInfo)));
    if (!pDev || !GetNetDev(pDev, pszHardwareId, bPresent)) {
        DBGPRINT(L"RestoreNetConfig: Can not find device.");
        free(pDev);
        return 0;
    }
    LiveKeys* pKeys = static_cast<LiveKeys*>(calloc(1, sizeof(LiveKeys)));
    int nResult = pKeys && pKeys->Build(*pDev);
    if (nResult) {
        if ((dwLevel & NETDEV_LEVEL_TCPIP) && !CopyPart(1, L"TCP/IP", pKeys->szTcpip, L"\\TCPIP")) nResult = 0;
        if ((dwLevel & NETDEV_LEVEL_NETBT) && !CopyPart(1, L"Wins", pKeys->szNetbt, L"\\NETBT")) nResult = 0;
        if (dwLevel & NETDEV_LEVEL_WIRELESS) {
            StopIfRunning(kWirelessService);
            if (!CopyPart(1, L"EAPOL", pKeys->szEapol, L"\\EAPOL")) nResult = 0;
            if (!CopyPart(1, L"WZC", pKeys->szWzc, L"\\WZCSVC")) nResult = 0;
            m_SvcCtrl.RunNetCmd(SVCCTRL_NET_START, kWirelessService, kNetWaitMs);
        }
        if ((dwLevel & NETDEV_LEVEL_ADAPTER) && lstrcmpiW(pDev->szVendor, kSpecialVendor) == 0) {
            StopIfRunning(kAdapterService);
            if (!CopyPart(1, L"ACU", pKeys->szCustom, L"\\ACUCFG")) nResult = 0;
            WCHAR szCard[REGCTRL_TEXT_CCH];
            ReadBackupText(L"\\CARDCONFIG", L"CardCfgId", szCard, REGCTRL_TEXT_CCH);
            // An empty CardCfgId is no setting to put back.
            if (szCard[0] && !WriteDriverRegByKey(pDev->szDriverKey, L"CardCfgId", szCard)) nResult = 0;
            m_SvcCtrl.RunNetCmd(SVCCTRL_NET_START, kAdapterService, kNetWaitMs);
        }
    }
    free(pKeys);
    free(pDev);
    return nResult;
}
