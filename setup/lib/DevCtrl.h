// The setup program's device layer: finds devices by hardware ID through SetupAPI and the
// configuration manager, loads the maker's lists of supported hardware IDs, enables,
// disables and removes devices, reads and writes values of a device's driver key, reads a
// device's status and reports the machine's battery state.
//
// Matching. A wanted ID matches a device's hardware ID by prefix (the device's ID begins
// with it, without regard to case) or, for the device-node enable and disable, as a whole.
// An empty wanted ID or an empty list entry matches nothing: the operation logs it and
// reports "not found", so that no later command acts on a device picked at random.
#pragma once

#include <windows.h>

#include <setupapi.h>

#define DEVCTRL_ID_COUNT 256      // entries of the ID table
#define DEVCTRL_ID_CCH 128        // characters of a table entry and of the matched IDs
#define DEVCTRL_INSTANCE_CCH 260  // characters of the device instance ID
#define DEVCTRL_VALUE_CCH 260     // characters of a registry text read (a 520-byte value)
#define DEVCTRL_VENDOR_CCH 5      // the vendor digits and their terminator

// GetBatteryStatus bits.
#define DEVCTRL_BATTERY_PRESENT 0x1      // a system battery that is not a short-term one
#define DEVCTRL_BATTERY_DISCHARGING 0x2  // running on it (no AC power)

class CDevCtrl {
public:
    CDevCtrl();
    ~CDevCtrl();

    // Reads value "<prefix><n>" of HKLM\Software\Quarven\WirelessDeviceID into pszOut
    // (cchOut characters). 1 read; 0 the key or the value is missing; -1 the value exists
    // but is no text or does not fit (pszOut is then empty).
    int ReadSupportId(LPCWSTR pszPrefix, UINT n, LPWSTR pszOut, size_t cchOut);
    // Loads the list named by pszPrefix into the ID table (values 0 to 255, up to the first
    // missing one; a value too long for an entry is kept as an empty entry, which matches
    // nothing, so that the table index stays the value's number) and looks for a present
    // device carrying one of its IDs. 1 found.
    int IsExistByReg(LPCWSTR pszPrefix, const GUID* pClassGuid, LPCWSTR pszEnumerator);
    // The table search: the present devices of the class (all classes for null), their
    // hardware IDs in order and, for each, the table entries in order; the first prefix
    // match sets the matched device ID (the device's first hardware ID), list ID and index.
    int FindListedDevice(const GUID* pClassGuid, LPCWSTR pszEnumerator);
    // One wanted ID (prefix match); on a match the device's instance ID is kept.
    int IsExist(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator);

    // Class-installer disable/enable of every present device with a matching hardware ID.
    void DisabledProperty(LPCWSTR pszHardwareId);
    void EnabledProperty(LPCWSTR pszHardwareId);
    // Disable/enable of the first present device whose hardware ID is the whole wanted ID,
    // or of the node nShift steps above it (nShift > 0: parents) or below it (nShift < 0:
    // first children); a step that fails stops at the node reached so far. 1 when the
    // device was found (whatever the state change did); 0 when no device matched, the
    // node's status could not be read, or the shift ran past the root of the device tree,
    // which is never acted on (nothing changed then).
    int DisabledProperty(LPCWSTR pszHardwareId, int nShift);
    int EnabledProperty(LPCWSTR pszHardwareId, int nShift);
    // The class installer's property change to dwState (DICS_ENABLE, DICS_DISABLE) on one
    // device; 0 when it failed or needs a restart.
    int StateChange(DWORD dwState, HDEVINFO hDevInfo, PSP_DEVINFO_DATA pDevInfoData);

    // Uninstall the first device with a matching hardware ID, present or not: through the
    // class installer (DIF_REMOVE) or SetupDiRemoveDevice. 1 removed.
    int RemoveDriver(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator);
    int RemoveDevice(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator);
    // Whether the last RemoveDriver or RemoveDevice found a device carrying the ID (so a 0
    // from it means the removal failed rather than that there was nothing to remove).
    int GetRemoveFound() const { return m_bRemoveFound; }

    // Values of HKLM\SYSTEM\CurrentControlSet\Control\Class\<driver key> (the driver key as
    // SPDRP_DRIVER gives it). The read needs the text to fit into cchOut characters.
    int ReadDriverRegByKey(LPCWSTR pszDriverKey, LPCWSTR pszValue, LPWSTR pszOut, size_t cchOut);
    int WriteDriverRegByKey(LPCWSTR pszDriverKey, LPCWSTR pszValue, LPCWSTR pszText);

    // The four vendor digits of a "PCI\VEN_xxxx..." or "USB\VID_xxxx..." ID (the bus name in
    // upper or lower case) into pszOut (at least DEVCTRL_VENDOR_CCH characters); 0 for any
    // other ID.
    int GetDeviceVendor(LPCWSTR pszHardwareId, LPWSTR pszOut, size_t cchOut);

    // Node status and problem of the first present device with a matching hardware ID.
    int GetDevStatus(LPCWSTR pszHardwareId, ULONG* pulStatus, ULONG* pulProblem);
    // Polls GetDevStatus every dwInterval ms (at least 1) until the device is started (1) or
    // more than dwTimeout ms have passed (0); a time-out of 0 checks once.
    int IsStarted(LPCWSTR pszHardwareId, DWORD dwInterval, DWORD dwTimeout);

    // DEVCTRL_BATTERY_* bits: 0 no system battery, 1 a battery on mains, 3 a battery and
    // running on it.
    int GetBatteryStatus();

    // The search state.
    LPCWSTR GetMatchedDeviceId() const { return m_szMatchedDeviceId; }
    LPCWSTR GetMatchedListId() const { return m_szMatchedListId; }
    DWORD GetMatchedIndex() const { return m_dwMatchedIndex; }
    DWORD GetCount() const { return m_dwCount; }
    LPCWSTR GetSupportId(DWORD n) const { return n < DEVCTRL_ID_COUNT ? m_szIdTable[n] : L""; }
    LPCWSTR GetDevInstanceId() const { return m_szDevInstanceId; }

private:
    int ChangeDevNode(LPCWSTR pszHardwareId, int nShift, int bEnable);
    void ChangeAllMatching(LPCWSTR pszHardwareId, int bEnable);
    int Remove(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator, int bClassInstaller);

    WCHAR m_szIdTable[DEVCTRL_ID_COUNT][DEVCTRL_ID_CCH];
    WCHAR m_szMatchedDeviceId[DEVCTRL_ID_CCH];
    WCHAR m_szMatchedListId[DEVCTRL_ID_CCH];
    DWORD m_dwMatchedIndex;
    DWORD m_dwCount;
    WCHAR m_szDevInstanceId[DEVCTRL_INSTANCE_CCH];
    int m_bRemoveFound;
};
