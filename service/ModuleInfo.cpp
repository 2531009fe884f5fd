#include "ModuleInfo.h"

#include <devguid.h>
#include <setupapi.h>
#include <string.h>
#include <wchar.h>

#include "HCIOps.h"

// ---------------------------------------------------------------------------------------
// Numbered lists

CRegIdList::CRegIdList(LPCWSTR pszKey, LPCWSTR pszPrefix, REGSAM samDesired, DWORD cchEntry)
    : m_hKey(NULL), m_nNext(0), m_cchEntry(cchEntry), m_bEnd(FALSE) {
    lstrcpynW(m_szPrefix, pszPrefix, REGLIST_PREFIX_CCH);
    if (m_cchEntry > REGLIST_MAX_ENTRY_CCH) m_cchEntry = REGLIST_MAX_ENTRY_CCH;
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, samDesired, &hKey) == ERROR_SUCCESS)
        m_hKey = hKey;
    else
        m_bEnd = TRUE;
}

CRegIdList::~CRegIdList() {
    if (m_hKey != NULL) RegCloseKey(m_hKey);
}

BOOL CRegIdList::Next(LPWSTR pszOut, DWORD cchOut) {
    if (pszOut == NULL || cchOut == 0) return FALSE;
    pszOut[0] = L'\0';
    WCHAR szEntry[REGLIST_MAX_ENTRY_CCH];
    while (!m_bEnd && m_nNext < REGLIST_MAX_ENTRIES) {
        DWORD n = m_nNext++;
        if (RegReadListEntry(m_hKey, m_szPrefix, n, REGLIST_READ, m_cchEntry, szEntry, m_cchEntry) != ERROR_SUCCESS)
            break;
        if (szEntry[0] == L'\0') continue;
        lstrcpynW(pszOut, szEntry, (int)cchOut);
        return TRUE;
    }
    m_bEnd = TRUE;
    return FALSE;
}

// ---------------------------------------------------------------------------------------
// Device lookups

namespace {

// Result of reading a device's hardware IDs.
enum HwIdRead { HWID_FAILED, HWID_NONE, HWID_READ };

// Reads the hardware-ID multi-string of a device into *ppBuffer, which grows (LocalAlloc,
// zero-filled) as the property call asks.
HwIdRead ReadHardwareIds(HDEVINFO hSet, SP_DEVINFO_DATA* pData, LPBYTE* ppBuffer, DWORD* pcbBuffer) {
    for (;;) {
        DWORD cbNeeded = 0;
        // Cleared for each read: the buffer is reused from device to device, and a property
        // written with one terminator would let the end of the last one show through.
        if (*ppBuffer != NULL) memset(*ppBuffer, 0, *pcbBuffer);
        if (*ppBuffer != NULL && SetupDiGetDeviceRegistryPropertyW(hSet, pData, SPDRP_HARDWAREID, NULL, *ppBuffer,
                                                                   *pcbBuffer - 2 * sizeof(WCHAR), &cbNeeded)) {
            // Two spare characters keep the multi-string terminated whatever the driver wrote.
            return HWID_READ;
        }
        if (*ppBuffer == NULL) {
            cbNeeded = 256 * sizeof(WCHAR);
        } else {
            DWORD dwError = GetLastError();
            if (dwError == ERROR_INVALID_DATA) return HWID_NONE;
            if (dwError != ERROR_INSUFFICIENT_BUFFER) return HWID_FAILED;
        }
        if (*ppBuffer != NULL) LocalFree(*ppBuffer);
        *pcbBuffer = cbNeeded + 2 * sizeof(WCHAR);
        *ppBuffer = (LPBYTE)LocalAlloc(LPTR, *pcbBuffer);
        if (*ppBuffer == NULL) {
            *pcbBuffer = 0;
            return HWID_FAILED;
        }
    }
}

BOOL MultiSzHolds(LPCWSTR pszMulti, LPCWSTR pszId) {
    for (LPCWSTR p = pszMulti; *p != L'\0'; p += wcslen(p) + 1) {
        if (_wcsicmp(p, pszId) == 0) return TRUE;
    }
    return FALSE;
}

enum FindResult { FIND_FAILED, FIND_NONE, FIND_FOUND };

// The first device of the set that lists pszId among its hardware IDs.
FindResult FindDevice(HDEVINFO hSet, LPCWSTR pszId, SP_DEVINFO_DATA* pFound) {
    if (pszId == NULL || pszId[0] == L'\0') return FIND_NONE;
    LPBYTE pBuffer = NULL;
    DWORD cbBuffer = 0;
    FindResult result = FIND_NONE;
    SP_DEVINFO_DATA data;
    for (DWORD i = 0;; i++) {
        memset(&data, 0, sizeof(data));
        data.cbSize = sizeof(data);
        if (!SetupDiEnumDeviceInfo(hSet, i, &data)) break;
        HwIdRead read = ReadHardwareIds(hSet, &data, &pBuffer, &cbBuffer);
        if (read == HWID_FAILED) {
            result = FIND_FAILED;
            break;
        }
        if (read == HWID_NONE) continue;
        if (MultiSzHolds((LPCWSTR)pBuffer, pszId)) {
            *pFound = data;
            result = FIND_FOUND;
            break;
        }
    }
    if (pBuffer != NULL) LocalFree(pBuffer);
    return result;
}

BOOL IsPresentInAllClasses(LPCWSTR pszHardwareId) {
    if (pszHardwareId == NULL || pszHardwareId[0] == L'\0') return FALSE;
    HDEVINFO hSet = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hSet == INVALID_HANDLE_VALUE) return FALSE;
    SP_DEVINFO_DATA data;
    FindResult r = FindDevice(hSet, pszHardwareId, &data);
    SetupDiDestroyDeviceInfoList(hSet);
    return r == FIND_FOUND;
}

// The first present entry of a list, copied out.
BOOL FindPresentEntry(LPCWSTR pszKey, LPCWSTR pszPrefix, LPWSTR pszOut, DWORD cchOut) {
    CRegIdList list(pszKey, pszPrefix, KEY_QUERY_VALUE);
    WCHAR szEntry[REGLIST_ENTRY_CCH];
    while (list.Next(szEntry, REGLIST_ENTRY_CCH)) {
        if (IsPresentInAllClasses(szEntry)) {
            if (pszOut != NULL) lstrcpynW(pszOut, szEntry, (int)cchOut);
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

BOOL IsHwIdPresent(LPCWSTR pszHardwareId) { return IsPresentInAllClasses(pszHardwareId); }

BOOL Is3GDeviceByReg() { return FindPresentEntry(WIRELESS_ID_KEY, LIST_3G_SUPPORT, NULL, 0); }

BOOL GetAtCmdPortId(LPWSTR pszPortId) {
    if (pszPortId == NULL) return FALSE;
    pszPortId[0] = L'\0';
    return FindPresentEntry(PRODUCT_KEY, LIST_ATCMD, pszPortId, AT_PORT_ID_CCH);
}

// ---------------------------------------------------------------------------------------
// CModuleInfo

CModuleInfo::CModuleInfo()
    : m_nRfStopPosture(0),
      m_bEjectListed(FALSE),
      m_bPresent(FALSE),
      m_nShiftLevels(0),
      m_dnEjected(0),
      m_dnEjectedParent(0) {
    memset(m_szModuleId, 0, sizeof(m_szModuleId));
    ReadRfStopPosture();
    if (!FindModuleId()) return;
    m_bPresent = TRUE;
    m_bEjectListed = IsEjectListedByReg();
    if (m_bEjectListed) {
        DWORD dwValue = 0;
        if (RegReadDword(HKEY_LOCAL_MACHINE, PRODUCT_KEY, KEY_READ, L"ShifEjectDev", REGREAD_DWORD, &dwValue) ==
            ERROR_SUCCESS)
            m_nShiftLevels = dwValue;
    }
}

CModuleInfo::~CModuleInfo() {}

BOOL CModuleInfo::ReadRfStopPosture() {
    m_nRfStopPosture = HCIGetRfStopPosture();
    return m_nRfStopPosture == 6;
}

BOOL CModuleInfo::IsPostureDifferent(int nPosture) const { return nPosture != m_nRfStopPosture; }

BOOL CModuleInfo::FindModuleId() {
    CRegIdList list(WIRELESS_ID_KEY, LIST_3G_SUPPORT, KEY_QUERY_VALUE);
    WCHAR szEntry[REGLIST_ENTRY_CCH];
    while (list.Next(szEntry, REGLIST_ENTRY_CCH)) {
        if (IsHardwareIdPresent(szEntry)) {
            lstrcpynW(m_szModuleId, szEntry, MODULE_ID_CCH);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CModuleInfo::IsHardwareIdPresent(LPCWSTR pszHardwareId) { return IsPresentInAllClasses(pszHardwareId); }

BOOL CModuleInfo::IsEjectListedByReg() const {
    size_t cchModule = wcslen(m_szModuleId);
    if (cchModule == 0) return FALSE;
    CRegIdList list(PRODUCT_KEY, LIST_SVC_EJECT, KEY_QUERY_VALUE);
    WCHAR szEntry[REGLIST_ENTRY_CCH];
    while (list.Next(szEntry, REGLIST_ENTRY_CCH)) {
        if (wcslen(szEntry) >= cchModule && _wcsnicmp(szEntry, m_szModuleId, cchModule) == 0) return TRUE;
    }
    return FALSE;
}

int CModuleInfo::Eject(LPCWSTR pszModuleId) {
    HDEVINFO hSet = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hSet == INVALID_HANDLE_VALUE) return 1;
    SP_DEVINFO_DATA data;
    FindResult found = FindDevice(hSet, pszModuleId, &data);
    SetupDiDestroyDeviceInfoList(hSet);
    if (found != FIND_FOUND) return 6;

    DEVINST dnNode = data.DevInst;
    for (DWORD i = 0; i < m_nShiftLevels; i++) {
        DEVINST dnParent = 0;
        if (CM_Get_Parent(&dnParent, dnNode, 0) != CR_SUCCESS) break;
        dnNode = dnParent;
    }
    // The node is kept before the removal, so that a re-add acts on it whatever happens.
    m_dnEjected = dnNode;
    DEVINST dnParent = 0;
    if (CM_Get_Parent(&dnParent, dnNode, 0) != CR_SUCCESS) dnParent = 0;
    m_dnEjectedParent = dnParent;

    PNP_VETO_TYPE vetoType = PNP_VetoTypeUnknown;
    WCHAR szVetoName[VETO_NAME_CCH];
    szVetoName[0] = L'\0';
    if (CM_Query_And_Remove_SubTreeW(dnNode, &vetoType, szVetoName, VETO_NAME_CCH, 0) != CR_SUCCESS) return 4;
    return 0;
}

int CModuleInfo::ReAdd() {
    if (CM_Setup_DevNode(m_dnEjected, CM_SETUP_DEVNODE_RESET) != CR_SUCCESS) return 1;
    if (CM_Reenumerate_DevNode(m_dnEjectedParent, CM_REENUMERATE_NORMAL) != CR_SUCCESS) return 2;
    return 0;
}

BOOL CModuleInfo::EnableDevice(LPCWSTR pszModuleId) { return ChangeDeviceState(pszModuleId, TRUE) == DEVSTATE_CHANGED; }

BOOL CModuleInfo::DisableDevice(LPCWSTR pszModuleId) {
    return ChangeDeviceState(pszModuleId, FALSE) == DEVSTATE_CHANGED;
}

namespace {

BOOL SetPropChange(HDEVINFO hSet, SP_DEVINFO_DATA* pData, DWORD dwState, DWORD dwScope) {
    SP_PROPCHANGE_PARAMS params;
    memset(&params, 0, sizeof(params));
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = dwState;
    params.Scope = dwScope;
    params.HwProfile = 0;
    return SetupDiSetClassInstallParamsW(hSet, pData, &params.ClassInstallHeader, sizeof(params));
}

int ApplyStateChange(HDEVINFO hSet, SP_DEVINFO_DATA* pData, BOOL bEnable) {
    DWORD dwState = bEnable ? DICS_ENABLE : DICS_DISABLE;
    if (!SetPropChange(hSet, pData, dwState, DICS_FLAG_GLOBAL)) return DEVSTATE_UNCHANGED;
    if (bEnable) {
        SetPropChange(hSet, pData, dwState, DICS_FLAG_GLOBAL);
        SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, hSet, pData);
    }
    if (!SetPropChange(hSet, pData, dwState, DICS_FLAG_CONFIGSPECIFIC)) return DEVSTATE_UNCHANGED;
    if (!SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, hSet, pData)) return DEVSTATE_UNCHANGED;

    SP_DEVINSTALL_PARAMS_W install;
    memset(&install, 0, sizeof(install));
    install.cbSize = sizeof(install);
    if (SetupDiGetDeviceInstallParamsW(hSet, pData, &install) && (install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)))
        return DEVSTATE_NEEDS_RESTART;
    return DEVSTATE_CHANGED;
}

}  // namespace

int CModuleInfo::ChangeDeviceState(LPCWSTR pszModuleId, BOOL bEnable, BOOL bCheckState) {
    HDEVINFO hSet = SetupDiGetClassDevsW(&GUID_DEVCLASS_USB, NULL, NULL, DIGCF_PRESENT);
    if (hSet == INVALID_HANDLE_VALUE) return DEVSTATE_UNCHANGED;
    int result = DEVSTATE_UNCHANGED;
    SP_DEVINFO_DATA data;
    if (FindDevice(hSet, pszModuleId, &data) == FIND_FOUND) {
        ULONG ulStatus = 0;
        ULONG ulProblem = 0;
        if (CM_Get_DevNode_Status(&ulStatus, &ulProblem, data.DevInst, 0) == CR_SUCCESS) {
            BOOL bDisabled = (ulStatus & DN_HAS_PROBLEM) && ulProblem == CM_PROB_DISABLED;
            BOOL bAct = bEnable ? bDisabled : ((ulStatus & DN_DISABLEABLE) && ulProblem != CM_PROB_DISABLED);
            if (!bCheckState) bAct = TRUE;
            if (bAct) result = ApplyStateChange(hSet, &data, bEnable);
        }
    }
    SetupDiDestroyDeviceInfoList(hSet);
    return result;
}
