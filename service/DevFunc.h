// The present network adapters with the properties the system needs from them, and the
// choice of the supported 3G module's adapter, whose NetCfgInstanceId names its Mobile
// Broadband interface.
#pragma once

#include <windows.h>

#define NETADAPTER_HWIDS_CCH 258
#define NETADAPTER_DESC_CCH 512
#define NETADAPTER_NAME_CCH 128
// A list entry is read into 260 bytes.
#define SUPPORT_ID_CCH 130
#define CLASS_VALUE_CCH 260

#define NET_CLASS_KEY L"SYSTEM\\CurrentControlSet\\Control\\class\\"
#define SUPPORT_ID_KEY L"Software\\Quarven\\WirelessDeviceID"

struct NetAdapterInfo {
    WCHAR szHardwareIds[NETADAPTER_HWIDS_CCH];  // multi-string: the first is the adapter's ID
    WCHAR szDescription[NETADAPTER_DESC_CCH];
    WCHAR szFriendlyName[NETADAPTER_DESC_CCH];
    WCHAR szDriverKey[NETADAPTER_NAME_CCH];
    WCHAR szNetCfgInstanceId[NETADAPTER_NAME_CCH];
    WCHAR szService[NETADAPTER_NAME_CCH];
};

// Adapter records in enumeration order.
class CNetAdapterList {
public:
    CNetAdapterList();
    ~CNetAdapterList();

    // Appends a copy; 0 when no memory is left.
    BOOL Add(const NetAdapterInfo& info);
    void Clear();
    int GetCount() const { return m_nCount; }
    const NetAdapterInfo* Get(int i) const { return i >= 0 && i < m_nCount ? &m_pItems[i] : NULL; }

private:
    CNetAdapterList(const CNetAdapterList&);
    CNetAdapterList& operator=(const CNetAdapterList&);

    NetAdapterInfo* m_pItems;
    int m_nCount;
    int m_nCapacity;
};

class CDevFunc {
public:
    CDevFunc();
    virtual ~CDevFunc();

    // Appends one record per present network adapter (of the enumerator, or all when NULL).
    // 1 when the enumeration ran to its end; records appended before a failure stay.
    BOOL EnumNetAdapters(CNetAdapterList* pList, LPCWSTR pszEnumerator);
    // A value of the driver key below the class key into pszValue (cchValue characters).
    BOOL ReadClassRegValue(LPCWSTR pszDriverKey, LPCWSTR pszName, LPWSTR pszValue, DWORD cchValue);
    // The list entry prefix<n> under the wireless device ID key into pszId (SUPPORT_ID_CCH).
    BOOL ReadSupportId(LPCWSTR pszPrefix, DWORD n, LPWSTR pszId);
    // The adapter whose first hardware ID begins with the lowest-numbered 3GID_SupportRL
    // entry; its hardware-ID field then holds that entry.
    BOOL FindSupported3GAdapter(NetAdapterInfo* pInfo);

private:
    CDevFunc(const CDevFunc&);
    CDevFunc& operator=(const CDevFunc&);
};
