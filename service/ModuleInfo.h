// The 3G module record: whether a supported module is present, its hardware ID, the
// posture that stops its RF, and how its device node is ejected, re-added, disabled and
// enabled. Beside it the service's lookups on the same hardware-ID lists.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>

#include "RegRead.h"

#define PRODUCT_KEY L"SOFTWARE\\Quarven\\Veltrane"
#define WIRELESS_ID_KEY L"SOFTWARE\\Quarven\\WirelessDeviceID"

#define LIST_3G_SUPPORT L"3GID_SupportRL"
#define LIST_SVC_EJECT L"SVCEjectId"
#define LIST_ATCMD L"ATCMDId"

// Numbers 0 to 255; an entry is read into 128 characters (127 and the terminator).
#define REGLIST_MAX_ENTRIES 256
#define REGLIST_ENTRY_CCH 128
#define REGLIST_PREFIX_CCH 64
#define REGLIST_MAX_ENTRY_CCH 260

#define MODULE_ID_CCH 1024
#define AT_PORT_ID_CCH 260
#define VETO_NAME_CCH 260

// What an enable or disable did to the device.
#define DEVSTATE_UNCHANGED 0      // not acted on, or the change failed
#define DEVSTATE_CHANGED 1        // the state changed; no restart needed
#define DEVSTATE_NEEDS_RESTART 2  // the state was changed, but takes effect at a restart

// How the service reads a list entry (RegRead.h): a REG_SZ that fits with its terminator
// (it may be empty).
#define REGLIST_READ (REGREAD_SZ | REGREAD_TERMINATED)

// A numbered hardware-ID list below HKLM: entries 0, 1, ... up to the first one that
// cannot be read. Empty entries are skipped: they would match every ID.
class CRegIdList {
public:
    CRegIdList(LPCWSTR pszKey, LPCWSTR pszPrefix, REGSAM samDesired, DWORD cchEntry = REGLIST_ENTRY_CCH);
    ~CRegIdList();

    BOOL IsOpen() const { return m_hKey != NULL; }
    // Copies the next non-empty entry (cut to cchOut - 1 characters); 0 at the end.
    BOOL Next(LPWSTR pszOut, DWORD cchOut);

private:
    CRegIdList(const CRegIdList&);
    CRegIdList& operator=(const CRegIdList&);

    HKEY m_hKey;
    WCHAR m_szPrefix[REGLIST_PREFIX_CCH];
    DWORD m_nNext;
    DWORD m_cchEntry;
    BOOL m_bEnd;
};

// 1 when a present device of any class lists pszHardwareId among its hardware IDs (whole
// string, case ignored). An empty ID is never present.
BOOL IsHwIdPresent(LPCWSTR pszHardwareId);
// 1 when some entry of 3GID_SupportRL<n> is present.
BOOL Is3GDeviceByReg();
// The first entry of ATCMDId<n> that is present, copied into pszPortId (AT_PORT_ID_CCH).
BOOL GetAtCmdPortId(LPWSTR pszPortId);

class CModuleInfo {
public:
    // Reads the RF-stop posture, finds the module and its eject settings.
    CModuleInfo();
    ~CModuleInfo();

    // 1 on an HCI error (the posture is then 6), else 0.
    BOOL ReadRfStopPosture();
    // 1 when the posture code differs from the RF-stop posture: without a stop posture (0)
    // only "no posture" (0) is the same, with an unreadable one (6) only 6.
    BOOL IsPostureDifferent(int nPosture) const;
    BOOL FindModuleId();
    BOOL IsHardwareIdPresent(LPCWSTR pszHardwareId);

    // 0 removed; 1 no device list; 4 removal failed or vetoed; 6 no present device has the ID.
    int Eject(LPCWSTR pszModuleId);
    // 0 done; 1 the node could not be set up again; 2 the parent could not be enumerated.
    int ReAdd();
    // 1 when the state changed and no restart is needed.
    BOOL EnableDevice(LPCWSTR pszModuleId);
    BOOL DisableDevice(LPCWSTR pszModuleId);
    // The same operations with the full outcome (DEVSTATE_*). Without bCheckState the
    // change is made whatever the node's status says: it takes back a disable that waits
    // for a restart, while the node still runs.
    int ChangeDeviceState(LPCWSTR pszModuleId, BOOL bEnable, BOOL bCheckState = TRUE);

    int GetRfStopPosture() const { return m_nRfStopPosture; }
    BOOL IsPresent() const { return m_bPresent; }
    BOOL IsEjectListed() const { return m_bEjectListed; }
    DWORD GetShiftLevels() const { return m_nShiftLevels; }
    LPCWSTR GetModuleId() const { return m_szModuleId; }
    DEVINST GetEjectedNode() const { return m_dnEjected; }
    DEVINST GetEjectedParent() const { return m_dnEjectedParent; }

private:
    CModuleInfo(const CModuleInfo&);
    CModuleInfo& operator=(const CModuleInfo&);

    BOOL IsEjectListedByReg() const;

    int m_nRfStopPosture;
    BOOL m_bEjectListed;
    BOOL m_bPresent;
    DWORD m_nShiftLevels;
    WCHAR m_szModuleId[MODULE_ID_CCH];
    DEVINST m_dnEjected;
    DEVINST m_dnEjectedParent;
};
