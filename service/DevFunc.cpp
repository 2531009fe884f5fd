#include "DevFunc.h"

#include <devguid.h>
#include <setupapi.h>
#include <string.h>
#include <wchar.h>

#include <new>

#include "ModuleInfo.h"

CNetAdapterList::CNetAdapterList() : m_pItems(NULL), m_nCount(0), m_nCapacity(0) {}

CNetAdapterList::~CNetAdapterList() { delete[] m_pItems; }

BOOL CNetAdapterList::Add(const NetAdapterInfo& info) {
    if (m_nCount == m_nCapacity) {
        int nCapacity = m_nCapacity == 0 ? 4 : m_nCapacity * 2;
        NetAdapterInfo* pItems = new (std::nothrow) NetAdapterInfo[nCapacity];
        if (pItems == NULL) return FALSE;
        if (m_nCount > 0) memcpy(pItems, m_pItems, sizeof(NetAdapterInfo) * m_nCount);
        delete[] m_pItems;
        m_pItems = pItems;
        m_nCapacity = nCapacity;
    }
    m_pItems[m_nCount++] = info;
    return TRUE;
}

void CNetAdapterList::Clear() { m_nCount = 0; }

namespace {

enum PropRead { PROP_FAILED, PROP_MISSING, PROP_READ };

// Reads a device property into *ppBuffer, which grows as the call asks (freed, then
// allocated zero-filled at the size asked for, with room for two terminators).
PropRead ReadProperty(HDEVINFO hSet, SP_DEVINFO_DATA* pData, DWORD dwProperty, LPBYTE* ppBuffer, DWORD* pcbBuffer) {
    for (;;) {
        if (*ppBuffer != NULL) {
            memset(*ppBuffer, 0, *pcbBuffer);
            DWORD cbNeeded = 0;
            if (SetupDiGetDeviceRegistryPropertyW(hSet, pData, dwProperty, NULL, *ppBuffer,
                                                  *pcbBuffer - 2 * sizeof(WCHAR), &cbNeeded))
                return PROP_READ;
            DWORD dwError = GetLastError();
            if (dwError == ERROR_INVALID_DATA) return PROP_MISSING;
            if (dwError != ERROR_INSUFFICIENT_BUFFER || cbNeeded == 0) return PROP_FAILED;
            LocalFree(*ppBuffer);
            *pcbBuffer = cbNeeded + 2 * sizeof(WCHAR);
        } else {
            *pcbBuffer = 256 * sizeof(WCHAR);
        }
        *ppBuffer = (LPBYTE)LocalAlloc(LPTR, *pcbBuffer);
        if (*ppBuffer == NULL) {
            *pcbBuffer = 0;
            return PROP_FAILED;
        }
    }
}

// Copies a multi-string cut to cchField characters, keeping it terminated by two nulls.
void CopyMultiSz(LPWSTR pszField, DWORD cchField, LPCWSTR pszMulti, DWORD cbMulti) {
    memset(pszField, 0, cchField * sizeof(WCHAR));
    DWORD cch = cbMulti / sizeof(WCHAR);
    if (cch > cchField - 2) cch = cchField - 2;
    memcpy(pszField, pszMulti, cch * sizeof(WCHAR));
}

}  // namespace

CDevFunc::CDevFunc() {}

CDevFunc::~CDevFunc() {}

BOOL CDevFunc::EnumNetAdapters(CNetAdapterList* pList, LPCWSTR pszEnumerator) {
    if (pList == NULL) return FALSE;
    HDEVINFO hSet = SetupDiGetClassDevsW(&GUID_DEVCLASS_NET, pszEnumerator, NULL, DIGCF_PRESENT);
    if (hSet == INVALID_HANDLE_VALUE) return FALSE;

    static const DWORD kProperties[] = {SPDRP_HARDWAREID, SPDRP_DRIVER, SPDRP_DEVICEDESC, SPDRP_SERVICE,
                                        SPDRP_FRIENDLYNAME};
    BOOL bResult = TRUE;
    LPBYTE pBuffer = NULL;
    DWORD cbBuffer = 0;
    NetAdapterInfo info;
    SP_DEVINFO_DATA data;
    for (DWORD i = 0; bResult; i++) {
        memset(&data, 0, sizeof(data));
        data.cbSize = sizeof(data);
        if (!SetupDiEnumDeviceInfo(hSet, i, &data)) break;
        memset(&info, 0, sizeof(info));
        for (size_t p = 0; p < sizeof(kProperties) / sizeof(kProperties[0]); p++) {
            PropRead read = ReadProperty(hSet, &data, kProperties[p], &pBuffer, &cbBuffer);
            if (read == PROP_FAILED) {
                bResult = FALSE;
                break;
            }
            if (read == PROP_MISSING) continue;
            LPCWSTR pszText = (LPCWSTR)pBuffer;
            switch (kProperties[p]) {
            case SPDRP_HARDWAREID:
                CopyMultiSz(info.szHardwareIds, NETADAPTER_HWIDS_CCH, pszText, cbBuffer - 2 * sizeof(WCHAR));
                break;
            case SPDRP_DRIVER: lstrcpynW(info.szDriverKey, pszText, NETADAPTER_NAME_CCH); break;
            case SPDRP_DEVICEDESC: lstrcpynW(info.szDescription, pszText, NETADAPTER_DESC_CCH); break;
            case SPDRP_SERVICE: lstrcpynW(info.szService, pszText, NETADAPTER_NAME_CCH); break;
            default: lstrcpynW(info.szFriendlyName, pszText, NETADAPTER_DESC_CCH); break;
            }
        }
        if (!bResult) break;
        if (!ReadClassRegValue(info.szDriverKey, L"NetCfgInstanceId", info.szNetCfgInstanceId, NETADAPTER_NAME_CCH))
            info.szNetCfgInstanceId[0] = L'\0';
        if (!pList->Add(info)) bResult = FALSE;
    }
    if (pBuffer != NULL) LocalFree(pBuffer);
    SetupDiDestroyDeviceInfoList(hSet);
    return bResult;
}

BOOL CDevFunc::ReadClassRegValue(LPCWSTR pszDriverKey, LPCWSTR pszName, LPWSTR pszValue, DWORD cchValue) {
    if (pszValue == NULL || cchValue == 0) return FALSE;
    pszValue[0] = L'\0';
    // Without a driver key there is nothing below the class key to read.
    if (pszDriverKey == NULL || pszDriverKey[0] == L'\0') return FALSE;
    WCHAR szKey[MAX_PATH];
    if (wcslen(NET_CLASS_KEY) + wcslen(pszDriverKey) >= MAX_PATH) return FALSE;
    lstrcpynW(szKey, NET_CLASS_KEY, MAX_PATH);
    lstrcpynW(szKey + wcslen(szKey), pszDriverKey, (int)(MAX_PATH - wcslen(szKey)));

    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return FALSE;
    // A text of up to CLASS_VALUE_CCH characters, cut to the caller's field.
    LONG lResult = RegReadText(hKey, pszName, REGREAD_TEXT | REGREAD_CUT, CLASS_VALUE_CCH, pszValue, cchValue);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

BOOL CDevFunc::ReadSupportId(LPCWSTR pszPrefix, DWORD n, LPWSTR pszId) {
    if (pszId == NULL) return FALSE;
    pszId[0] = L'\0';
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SUPPORT_ID_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return FALSE;
    LONG lResult = RegReadListEntry(hKey, pszPrefix, n, REGLIST_READ, SUPPORT_ID_CCH, pszId, SUPPORT_ID_CCH);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

BOOL CDevFunc::FindSupported3GAdapter(NetAdapterInfo* pInfo) {
    if (pInfo == NULL) return FALSE;
    CNetAdapterList list;
    if (!EnumNetAdapters(&list, NULL)) return FALSE;
    WCHAR szEntry[SUPPORT_ID_CCH];
    for (DWORD n = 0; n < REGLIST_MAX_ENTRIES && ReadSupportId(LIST_3G_SUPPORT, n, szEntry); n++) {
        size_t cchEntry = wcslen(szEntry);
        // An empty entry would begin every ID.
        if (cchEntry == 0) continue;
        for (int i = 0; i < list.GetCount(); i++) {
            const NetAdapterInfo* pAdapter = list.Get(i);
            if (_wcsnicmp(pAdapter->szHardwareIds, szEntry, cchEntry) != 0) continue;
            *pInfo = *pAdapter;
            memset(pInfo->szHardwareIds, 0, sizeof(pInfo->szHardwareIds));
            lstrcpynW(pInfo->szHardwareIds, szEntry, NETADAPTER_HWIDS_CCH - 1);
            return TRUE;
        }
    }
    return FALSE;
}
