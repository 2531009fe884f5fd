// The device-class objects: the modem, the wireless LAN adapter and the wireless modem.
#include "ModemCtrl.h"

#include "DbgMac.h"
#include "RegCtrl.h"
#include "SetupContext.h"

#include <cfgmgr32.h>
#include <setupapi.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <stdlib.h>
#include <string.h>

CModemCtrl* g_pModemCtrl = NULL;

namespace {

// {4D36E96D-E325-11CE-BFC1-08002BE10318}, the Modem class.
const GUID kModemClass = {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// {4D36E972-E325-11CE-BFC1-08002BE10318}, the Net class.
const GUID kNetClass = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

const WCHAR kSoftModemKey[] = L"Software\\Agere\\SoftModem";
const WCHAR kHomolValue[] = L"HomolTimeStamp";
const WCHAR kSupportIdKey[] = L"Software\\Quarven\\WirelessDeviceID";
const WCHAR kEnumKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
const WCHAR kDeviceParameters[] = L"Device Parameters";
const WCHAR kAspmValue[] = L"ASPMOptIn";

const DWORD kMaxInstances = 201;  // instance and sub keys looked at, per level
const DWORD kKeyNameCch = 260;
const DWORD kPropertyTries = 4;

// The device's hardware IDs as a multi-string with spare terminators (free it). NULL with
// *pdwErr 0 when it has none (ERROR_INVALID_DATA), else with the error of the read.
LPWSTR ReadHardwareIds(HDEVINFO hSet, PSP_DEVINFO_DATA pData, DWORD* pdwErr) {
    *pdwErr = 0;
    BYTE* pBuf = NULL;
    DWORD cbBuf = 0;
    for (DWORD nTry = 0; nTry < kPropertyTries; ++nTry) {
        DWORD cbNeed = 0;
        if (SetupDiGetDeviceRegistryPropertyW(hSet, pData, SPDRP_HARDWAREID, NULL, pBuf, cbBuf, &cbNeed)) {
            if (pBuf && reinterpret_cast<LPWSTR>(pBuf)[0]) return reinterpret_cast<LPWSTR>(pBuf);
            free(pBuf);
            return NULL;
        }
        DWORD dwErr = GetLastError();
        free(pBuf);
        pBuf = NULL;
        if (dwErr == ERROR_INVALID_DATA) return NULL;
        if (dwErr != ERROR_INSUFFICIENT_BUFFER || cbNeed == 0) {
            *pdwErr = dwErr;
            return NULL;
        }
        cbBuf = cbNeed;
        pBuf = static_cast<BYTE*>(calloc(1, cbNeed + 2 * sizeof(WCHAR)));
        if (!pBuf) {
            *pdwErr = ERROR_NOT_ENOUGH_MEMORY;
            return NULL;
        }
    }
    free(pBuf);
    *pdwErr = ERROR_INSUFFICIENT_BUFFER;
    return NULL;
}

// Whether one of the device's hardware IDs is the ID (bExact) or begins with it, without
// regard to case. An empty ID matches nothing.
int CarriesId(LPCWSTR pszIds, LPCWSTR pszId, int bExact) {
    int n = lstrlenW(pszId);
    if (n <= 0) return 0;
    for (LPCWSTR p = pszIds; *p; p += lstrlenW(p) + 1) {
        if (bExact ? lstrcmpiW(p, pszId) == 0 : StrCmpNIW(p, pszId, n) == 0) return 1;
    }
    return 0;
}

// Joins up to three texts into out (MAX_PATH characters); 0 when they do not fit.
int JoinPath(LPWSTR pszOut, LPCWSTR psz1, LPCWSTR psz2, LPCWSTR psz3) {
    return SUCCEEDED(StringCchCopyW(pszOut, MAX_PATH, psz1)) && SUCCEEDED(StringCchCatW(pszOut, MAX_PATH, psz2)) &&
           SUCCEEDED(StringCchCatW(pszOut, MAX_PATH, psz3));
}

// The four stamp bytes as the little-endian number the log shows.
DWORD StampValue(const BYTE* pb) {
    return (DWORD)pb[0] | ((DWORD)pb[1] << 8) | ((DWORD)pb[2] << 16) | ((DWORD)pb[3] << 24);
}

int IsListed(const CTextList& list, LPCWSTR pszText) {
    for (int i = 0; i < list.GetCount(); ++i)
        if (lstrcmpiW(list.Get(i), pszText) == 0) return 1;
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The modem.

CModemCtrl::CModemCtrl() { memset(m_szRegion, 0, sizeof m_szRegion); }

CModemCtrl::~CModemCtrl() {}

int CModemCtrl::IsExist() {
    DBGPRINT(L"ModemCtrl->IsExist->start");
    HDEVINFO hSet = SetupDiGetClassDevsW(&kModemClass, NULL, NULL, DIGCF_PRESENT);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ModemCtrl->IsExist->GetClassDevs() Error");
        return 0;
    }
    int nResult = 0;
    SP_DEVINFO_DATA data;
    DWORD i = 0;
    for (;; ++i) {
        memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInfo(hSet, i, &data)) break;
        DWORD dwErr = 0;
        LPWSTR pszIds = ReadHardwareIds(hSet, &data, &dwErr);
        if (!pszIds) {
            if (dwErr == 0) continue;  // no hardware IDs: passed over
            DBGPRINT(L"ModemCtrl->IsExist->Unknown Error");
            DBGPRINT(L"ModemCtrl->IsExist->End");
            SetupDiDestroyDeviceInfoList(hSet);
            return 0;
        }
        StringCchCopyW(m_szFoundHwId, DEVBASE_HWID_CCH, pszIds);
        free(pszIds);
        DBGPRINT(L"ModemCtrl->IsExist->Found %s", m_szFoundHwId);
        nResult = 1;
        break;
    }
    if (!nResult) {
        DWORD dwErr = GetLastError();
        if (dwErr != 0 && dwErr != ERROR_NO_MORE_ITEMS)
            DBGPRINT(L"ModemCtrl->IsExist->Error");
        else
            DBGPRINT(L"ModemCtrl->IsExist->Could not find modem");
        DBGPRINT(L"ModemCtrl->IsExist->End");
    }
    SetupDiDestroyDeviceInfoList(hSet);
    return nResult;
}

LPCWSTR CModemCtrl::GetRegion() {
    if (m_szRegion[0]) return m_szRegion;
    WCHAR szOem[MODEMCTRL_OEM_CCH];
    szOem[0] = 0;
    LPCWSTR pszOem = GetSetupContext()->GetOemString();
    if (pszOem) lstrcpynW(szOem, pszOem, MODEMCTRL_OEM_CCH);
    if (lstrlenW(szOem) >= 6) {
        m_szRegion[0] = szOem[5];
        m_szRegion[1] = 0;
    }
    return m_szRegion;
}

int CModemCtrl::InitModemRegion(LPCWSTR pszIni, LPCWSTR pszSection) {
    return CRegCtrl::AddDelRegFromIni(pszIni, pszSection, GetRegion(), NULL) ? 1 : 0;
}

int CModemCtrl::InitTelephonyRegion(LPCWSTR pszIni, LPCWSTR pszSection) {
    return CRegCtrl::AddDelRegFromIni(pszIni, pszSection, GetRegion(), NULL) ? 1 : 0;
}

int CModemCtrl::InitHomolTime(REGSAM samDesired) {
    DBGPRINT(L"ModemCtrl->InitHomolTime->start");
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSoftModemKey, 0, samDesired, &hKey) != ERROR_SUCCESS) {
        DBGPRINT(L"ModemCtrl->InitHomolTime->Open registry fail");
        return 0;
    }
    BYTE abStamp[4] = {0, 0, 0, 0};
    DWORD cb = sizeof abStamp;
    DWORD dwType = 0;
    LONG rc = RegQueryValueExW(hKey, kHomolValue, NULL, &dwType, abStamp, &cb);
    if (rc == ERROR_SUCCESS && cb == sizeof abStamp) {
        DBGPRINT(L"ModemCtrl->InitHomolTime->Get Homol Time=0x%04x ", StampValue(abStamp));
        abStamp[0] = abStamp[0] == 0 ? 1 : 0;
    } else if (rc == ERROR_FILE_NOT_FOUND) {
        DBGPRINT(L"ModemCtrl->InitHomolTime->Get Homol Time Error");
    } else {
        // Another stamp than the four bytes this program writes, or one that cannot be
        // read: it stays as it is.
        DBGPRINT(L"ModemCtrl->InitHomolTime->Get Homol Time Error %d size %d, left alone", rc, cb);
        RegCloseKey(hKey);
        return 0;
    }
    DBGPRINT(L"ModemCtrl->InitHomolTime->Set Homol Time=0x%04x", StampValue(abStamp));
    rc = RegSetValueExW(hKey, kHomolValue, 0, REG_BINARY, abStamp, sizeof abStamp);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"ModemCtrl->InitHomolTime->Set Homol Time Error");
        return 0;
    }
    DBGPRINT(L"ModemCtrl->InitHomolTime->end");
    return 1;
}

// ---------------------------------------------------------------------------------------
// The disable-then-enable round trip.

int CDisabledDevices::Disable(CDevCtrl& dev, LPCWSTR pszId, int bExact) {
    if (!pszId || !pszId[0]) {
        DBGPRINT(L"ERROR:DisabledProperty->empty hardware ID, not found");
        return 0;
    }
    HDEVINFO hSet = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ERROR:DisabledProperty->SetupDiGetClassDevsEx");
        return 0;
    }
    int bFound = 0;
    SP_DEVINFO_DATA data;
    for (DWORD i = 0;; ++i) {
        memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInfo(hSet, i, &data)) break;
        DWORD dwErr = 0;
        LPWSTR pszIds = ReadHardwareIds(hSet, &data, &dwErr);
        if (!pszIds) {
            if (dwErr == 0) continue;
            DBGPRINT(L"Unknown Fail:DisabledProperty->SetupDiGetDeviceRegistryProperty");
            break;
        }
        int bMatch = CarriesId(pszIds, pszId, bExact);
        free(pszIds);
        if (!bMatch) continue;
        bFound = 1;
        DBGPRINT(L"Found! = %s\n", pszId);
        WCHAR szInstance[DEVCTRL_INSTANCE_CCH];
        ULONG ulStatus = 0, ulProblem = 0;
        if (!SetupDiGetDeviceInstanceIdW(hSet, &data, szInstance, DEVCTRL_INSTANCE_CCH, NULL) ||
            CM_Get_DevNode_Status(&ulStatus, &ulProblem, data.DevInst, 0) != CR_SUCCESS) {
            DBGPRINT(L"ERROR:DisabledProperty->CM_Get_DevNode_Status");
        } else if ((ulStatus & DN_DISABLEABLE) && ulProblem != CM_PROB_DISABLED) {
            DBGPRINT(L"Detect:Device is enabled->Disalbe device.");
            // Remembered whatever the change reported: a change that waits for a restart
            // is undone by the enable step as well.
            dev.StateChange(DICS_DISABLE, hSet, &data);
            if (!IsListed(m_Instances, szInstance)) m_Instances.Add(szInstance);
        } else {
            DBGPRINT(L"Detect:Device is not enabled.Do not disable device.");
        }
        if (bExact) break;
    }
    SetupDiDestroyDeviceInfoList(hSet);
    return bFound;
}

void CDisabledDevices::Enable(CDevCtrl& dev) {
    if (m_Instances.GetCount() == 0) {
        DBGPRINT(L"EnabledProperty: no device of this run to enable again");
        return;
    }
    HDEVINFO hSet = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ERROR:EnabledProperty->SetupDiGetClassDevsEx");
        return;
    }
    SP_DEVINFO_DATA data;
    for (DWORD i = 0;; ++i) {
        memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInfo(hSet, i, &data)) break;
        WCHAR szInstance[DEVCTRL_INSTANCE_CCH];
        if (!SetupDiGetDeviceInstanceIdW(hSet, &data, szInstance, DEVCTRL_INSTANCE_CCH, NULL)) continue;
        if (!IsListed(m_Instances, szInstance)) continue;
        ULONG ulStatus = 0, ulProblem = 0;
        if (CM_Get_DevNode_Status(&ulStatus, &ulProblem, data.DevInst, 0) != CR_SUCCESS) {
            DBGPRINT(L"ERROR:EnabledProperty->CM_Get_DevNode_Status");
            continue;
        }
        // Enabled again also when the disable is still waiting for a restart.
        if ((ulStatus & DN_HAS_PROBLEM) && ulProblem == CM_PROB_DISABLED)
            DBGPRINT(L"Detect:Device is disabled->Enable device.");
        else
            DBGPRINT(L"Detect:Device is enabled->Enable its configuration again.");
        dev.StateChange(DICS_ENABLE, hSet, &data);
    }
    SetupDiDestroyDeviceInfoList(hSet);
    m_Instances.Clear();
}

// ---------------------------------------------------------------------------------------
// The wireless LAN adapter.

CWLANCtrl::CWLANCtrl() : m_nOpen(0) {
    memset(m_szDeviceId, 0, sizeof m_szDeviceId);
    memset(m_szEnumId, 0, sizeof m_szEnumId);
}

CWLANCtrl::~CWLANCtrl() {}

int CWLANCtrl::IsExist() { return m_DevCtrl.IsExistByReg(L"DevID_SupportRL", &kNetClass, NULL); }

int CWLANCtrl::Open() {
    m_nOpen = IsExist();
    StringCchCopyW(m_szDeviceId, MODEMCTRL_ID_CCH, m_DevCtrl.GetMatchedListId());
    StringCchCopyW(m_szEnumId, MODEMCTRL_ID_CCH, m_DevCtrl.GetMatchedDeviceId());
    return m_nOpen;
}

int CWLANCtrl::EnableAllProperty(int bEnable) {
    if (bEnable) {
        DBGPRINT(L"EnableAllProperty %s", m_szDeviceId);
        int n = m_Disabled.GetCount();
        m_Disabled.Enable(m_DevCtrl);
        return n ? 1 : 0;
    }
    DBGPRINT(L"DisableAllProperty %s", m_szDeviceId);
    return m_Disabled.Disable(m_DevCtrl, m_szDeviceId, 1);
}

int CWLANCtrl::SetASPMOptIn(int bOptIn) {
    WCHAR szPath[MAX_PATH];
    if (!m_szEnumId[0] || FAILED(StringCchCopyW(szPath, MAX_PATH, kEnumKey)) ||
        FAILED(StringCchCatW(szPath, MAX_PATH, m_szEnumId))) {
        DBGPRINT(L"SetASPMOptIn: no adapter");
        return 0;
    }
    HKEY hDevice = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szPath, 0, KEY_ENUMERATE_SUB_KEYS, &hDevice) != ERROR_SUCCESS) return 0;
    DWORD dwValue = bOptIn ? 1 : 0;
    int nResult = 0;
    for (DWORD i = 0; i < kMaxInstances; ++i) {
        WCHAR szInstance[kKeyNameCch + 1];
        DWORD cch = kKeyNameCch + 1;
        LONG rc = RegEnumKeyExW(hDevice, i, szInstance, &cch, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        WCHAR szParams[MAX_PATH];
        if (!JoinPath(szParams, szInstance, L"\\", kDeviceParameters)) continue;
        HKEY hParams = NULL;
        if (RegOpenKeyExW(hDevice, szParams, 0, KEY_ENUMERATE_SUB_KEYS, &hParams) != ERROR_SUCCESS) continue;
        for (DWORD j = 0; j < kMaxInstances; ++j) {
            WCHAR szSub[kKeyNameCch + 1];
            cch = kKeyNameCch + 1;
            rc = RegEnumKeyExW(hParams, j, szSub, &cch, NULL, NULL, NULL, NULL);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS) continue;
            HKEY hSub = NULL;
            if (RegOpenKeyExW(hParams, szSub, 0, KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, &hSub) != ERROR_SUCCESS)
                continue;
            if (RegQueryValueExW(hSub, kAspmValue, NULL, NULL, NULL, NULL) == ERROR_SUCCESS &&
                RegSetValueExW(hSub, kAspmValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                               sizeof dwValue) == ERROR_SUCCESS) {
                DBGPRINT(L"SetASPMOptIn %s\\%s=%d", szInstance, szSub, dwValue);
                nResult = 1;
            }
            RegCloseKey(hSub);
        }
        RegCloseKey(hParams);
    }
    RegCloseKey(hDevice);
    return nResult;
}

int CWLANCtrl::GetWlDevCapByReg(DWORD dwIndex, DWORD* pdwCap) {
    WCHAR szName[64];
    wnsprintfW(szName, 64, L"%s%u", L"DevCap_SupportRL", dwIndex);
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSupportIdKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        DBGPRINT(L"ERROR GetWlDevCapByReg->RegOpen");
        return 0;
    }
    DWORD dwValue = 0, dwType = 0, cb = sizeof dwValue;
    LONG rc = RegQueryValueExW(hKey, szName, NULL, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cb);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS || cb != sizeof dwValue || !pdwCap) {
        DBGPRINT(L"GetWlDevCapByReg->Not found %s", szName);
        return 0;
    }
    *pdwCap = dwValue;
    DBGPRINT(L"GetWlDevCapByReg->Found %s=%d", szName, dwValue);
    return 1;
}

// ---------------------------------------------------------------------------------------
// The wireless modem.

CWModemCtrl::CWModemCtrl() : m_nOpen(0) { memset(m_szDeviceId, 0, sizeof m_szDeviceId); }

CWModemCtrl::~CWModemCtrl() {}

int CWModemCtrl::IsExist() { return m_DevCtrl.IsExistByReg(L"3GID_SupportRL", &kModemClass, NULL); }

int CWModemCtrl::Open() {
    m_nOpen = IsExist();
    StringCchCopyW(m_szDeviceId, MODEMCTRL_ID_CCH, m_DevCtrl.GetMatchedListId());
    return m_nOpen;
}

void CWModemCtrl::EnableAllProperty(int bEnable) {
    if (bEnable) {
        DBGPRINT(L"EnableAllProperty %s", m_szDeviceId);
        m_Disabled.Enable(m_DevCtrl);
    } else {
        DBGPRINT(L"DisableAllProperty %s", m_szDeviceId);
        m_Disabled.Disable(m_DevCtrl, m_szDeviceId, 0);
    }
}

int CWModemCtrl::SetWakeOnRing() { return WriteWORReg(m_szDeviceId, L"WakeOnRing", 1); }

int CWModemCtrl::WriteWORReg(LPCWSTR pszDeviceId, LPCWSTR pszValueName, DWORD dwValue) {
    WCHAR szPath[MAX_PATH];
    if (!pszDeviceId || !pszDeviceId[0] || !pszValueName || !JoinPath(szPath, kEnumKey, pszDeviceId, L"&MI_00")) {
        DBGPRINT(L"WriteWORReg: no device");
        return 0;
    }
    HKEY hInterface = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szPath, 0, KEY_ENUMERATE_SUB_KEYS, &hInterface) != ERROR_SUCCESS) {
        DBGPRINT(L"WriteWORReg: %s cannot be opened", szPath);
        return 0;
    }
    int nWritten = 0;
    for (DWORD i = 0; i < kMaxInstances; ++i) {
        WCHAR szInstance[kKeyNameCch + 1];
        DWORD cch = kKeyNameCch + 1;
        LONG rc = RegEnumKeyExW(hInterface, i, szInstance, &cch, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        HKEY hInstance = NULL;
        if (RegOpenKeyExW(hInterface, szInstance, 0, KEY_READ, &hInstance) != ERROR_SUCCESS) continue;
        WCHAR szTarget[MAX_PATH];
        if (JoinPath(szTarget, szPath, L"\\", szInstance) && SUCCEEDED(StringCchCatW(szTarget, MAX_PATH, L"\\")) &&
            SUCCEEDED(StringCchCatW(szTarget, MAX_PATH, kDeviceParameters))) {
            DBGPRINT(L"WriteWORReg TargetPath=%s", szTarget);
            HKEY hParams = NULL;
            if (RegOpenKeyExW(hInstance, kDeviceParameters, 0, KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                              &hParams) == ERROR_SUCCESS) {
                if (RegSetValueExW(hParams, pszValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                                   sizeof dwValue) == ERROR_SUCCESS)
                    ++nWritten;
                RegCloseKey(hParams);
            }
        }
        RegCloseKey(hInstance);
    }
    RegCloseKey(hInterface);
    return nWritten ? 1 : 0;
}
