#include "DevCtrl.h"

#include "DbgMac.h"
#include "StartWait.h"
#include "RegRead.h"

#include <batclass.h>
#include <cfgmgr32.h>
#include <mmsystem.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <stdlib.h>
#include <string.h>

namespace {

const WCHAR kSupportIdKey[] = L"Software\\Quarven\\WirelessDeviceID";
const WCHAR kDriverClassKey[] = L"SYSTEM\\CurrentControlSet\\Control\\class\\";

// The battery device interface class {72631E54-78A4-11D0-BCF7-00AA00B7B32A}.
const GUID kBatteryInterface = {0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

const DWORD kBatterySlots = 100;  // battery interfaces asked at most
const DWORD kPropertyTries = 4;   // grow-and-retry rounds of a property read

// The device's hardware ID begins with the wanted ID (compared without regard to case over
// the wanted ID's length).
int PrefixMatch(LPCWSTR pszDeviceId, LPCWSTR pszWanted) {
    int n = lstrlenW(pszWanted);
    if (n <= 0) return 0;
    return StrCmpNIW(pszDeviceId, pszWanted, n) == 0 ? 1 : 0;
}

// The whole hardware ID equals the wanted ID without regard to case.
int ExactMatch(LPCWSTR pszDeviceId, LPCWSTR pszWanted) {
    if (!pszWanted[0]) return 0;
    return lstrcmpiW(pszDeviceId, pszWanted) == 0 ? 1 : 0;
}

int IsEmptyId(LPCWSTR psz) { return !psz || !psz[0]; }

// One walk over the devices of a device information set and the hardware IDs of each. The
// walker owns the set: it is destroyed with the walker, so every return of an operation
// gives it back.
class CHwIdWalk {
public:
    explicit CHwIdWalk(HDEVINFO hSet)
        : m_hSet(hSet), m_dwIndex(0), m_pIds(NULL), m_cchIds(0), m_pNext(NULL), m_dwEndError(0), m_dwPropError(0) {
        memset(&m_Data, 0, sizeof m_Data);
    }
    ~CHwIdWalk() {
        free(m_pIds);
        if (IsOpen()) SetupDiDestroyDeviceInfoList(m_hSet);
    }
    // Takes over a set (the walker must hold none).
    void Attach(HDEVINFO hSet) { m_hSet = hSet; }

    int IsOpen() const { return m_hSet != INVALID_HANDLE_VALUE && m_hSet != NULL; }
    HDEVINFO Set() const { return m_hSet; }
    PSP_DEVINFO_DATA Data() { return &m_Data; }

    // Moves on to the next device that has hardware IDs. 1 a device; 0 the enumeration
    // ended (EndError() tells why, ERROR_NO_MORE_ITEMS at the normal end); -1 the property
    // read failed (EndError() holds its error).
    int NextDevice() {
        for (;;) {
            m_Data.cbSize = sizeof m_Data;
            if (!SetupDiEnumDeviceInfo(m_hSet, m_dwIndex, &m_Data)) {
                m_dwEndError = GetLastError();
                return 0;
            }
            ++m_dwIndex;
            int r = ReadIds();
            if (r > 0) return 1;
            if (r < 0) return -1;
            // No hardware IDs: passed over.
        }
    }

    // The current device's next hardware ID; NULL after the last one (or an empty string).
    LPCWSTR NextId() {
        if (!m_pNext) return NULL;
        LPCWSTR pEnd = m_pIds + m_cchIds;
        if (m_pNext >= pEnd || !m_pNext[0]) return NULL;
        LPCWSTR p = m_pNext;
        while (m_pNext < pEnd && *m_pNext) ++m_pNext;
        ++m_pNext;  // the buffer holds spare terminators beyond m_cchIds
        return p;
    }
    // The current device's first hardware ID.
    LPCWSTR FirstId() const { return m_pIds ? m_pIds : L""; }

    DWORD EndError() const { return m_dwEndError; }
    // The error of the last failed property call (the size query's, as a rule).
    DWORD PropertyError() const { return m_dwPropError; }

private:
    CHwIdWalk(const CHwIdWalk&);
    CHwIdWalk& operator=(const CHwIdWalk&);

    // 1 the IDs are read; 0 the device has none; -1 the read failed.
    int ReadIds() {
        free(m_pIds);
        m_pIds = NULL;
        m_pNext = NULL;
        m_cchIds = 0;
        BYTE* pBuf = NULL;
        DWORD cbBuf = 0;
        for (DWORD nTry = 0; nTry < kPropertyTries; ++nTry) {
            DWORD dwType = 0;
            DWORD cbNeed = 0;
            if (SetupDiGetDeviceRegistryPropertyW(m_hSet, &m_Data, SPDRP_HARDWAREID, &dwType, pBuf, cbBuf, &cbNeed)) {
                if (!pBuf) {
                    // An empty property: nothing to match.
                    return 0;
                }
                m_pIds = reinterpret_cast<LPWSTR>(pBuf);
                m_cchIds = cbNeed / sizeof(WCHAR);
                if (m_cchIds * sizeof(WCHAR) > cbBuf) m_cchIds = cbBuf / sizeof(WCHAR);
                m_pNext = m_pIds;
                return m_pIds[0] ? 1 : 0;
            }
            DWORD dwErr = GetLastError();
            m_dwPropError = dwErr;
            free(pBuf);
            pBuf = NULL;
            if (dwErr == ERROR_INVALID_DATA) return 0;
            if (dwErr != ERROR_INSUFFICIENT_BUFFER || cbNeed == 0) {
                m_dwEndError = dwErr;
                return -1;
            }
            // The reported size and room for two terminators, all zeroed.
            cbBuf = cbNeed;
            pBuf = static_cast<BYTE*>(calloc(1, cbNeed + 2 * sizeof(WCHAR)));
            if (!pBuf) {
                m_dwEndError = ERROR_NOT_ENOUGH_MEMORY;
                return -1;
            }
        }
        free(pBuf);
        m_dwEndError = ERROR_INSUFFICIENT_BUFFER;
        return -1;
    }

    HDEVINFO m_hSet;
    SP_DEVINFO_DATA m_Data;
    DWORD m_dwIndex;
    LPWSTR m_pIds;
    DWORD m_cchIds;
    LPCWSTR m_pNext;
    DWORD m_dwEndError;
    DWORD m_dwPropError;
};

// The present devices of every class, the set checked as SetupDiGetDeviceInfoListDetail
// does. pszName names the operation in the log texts. 1 open.
int OpenPresentAll(CHwIdWalk* pWalk, LPCWSTR pszName) {
    HDEVINFO hSet = SetupDiGetClassDevsExW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES, NULL, NULL, NULL);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ERROR:%s->SetupDiGetClassDevsEx", pszName);
        return 0;
    }
    pWalk->Attach(hSet);
    SP_DEVINFO_LIST_DETAIL_DATA_W detail;
    memset(&detail, 0, sizeof detail);
    detail.cbSize = sizeof detail;
    if (!SetupDiGetDeviceInfoListDetailW(hSet, &detail)) {
        DBGPRINT(L"ERROR:%s->SetupDiGetDeviceInfoListDetail", pszName);
        return 0;
    }
    return 1;
}

// The set of a class (every class for null) and enumerator with the given flags.
HDEVINFO OpenClassSet(const GUID* pClassGuid, LPCWSTR pszEnumerator, DWORD dwFlags) {
    if (!pClassGuid) dwFlags |= DIGCF_ALLCLASSES;
    return SetupDiGetClassDevsW(pClassGuid, pszEnumerator, NULL, dwFlags);
}

}  // namespace

CDevCtrl::CDevCtrl() : m_dwMatchedIndex(0), m_dwCount(0), m_bRemoveFound(0) {
    memset(m_szIdTable, 0, sizeof m_szIdTable);
    memset(m_szMatchedDeviceId, 0, sizeof m_szMatchedDeviceId);
    memset(m_szMatchedListId, 0, sizeof m_szMatchedListId);
    memset(m_szDevInstanceId, 0, sizeof m_szDevInstanceId);
}

CDevCtrl::~CDevCtrl() {}

// ---------------------------------------------------------------------------------------
// The maker's lists of supported hardware IDs.

int CDevCtrl::ReadSupportId(LPCWSTR pszPrefix, UINT n, LPWSTR pszOut, size_t cchOut) {
    if (!pszPrefix || !pszOut || cchOut == 0) return 0;
    pszOut[0] = 0;
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSupportIdKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return 0;
    // Either text type, of up to DEVCTRL_VALUE_CCH characters, that fits the caller's buffer.
    LONG rc = RegReadListEntry(hKey, pszPrefix, n, REGREAD_TEXT, DEVCTRL_VALUE_CCH, pszOut, static_cast<DWORD>(cchOut));
    RegCloseKey(hKey);
    switch (rc) {
    case ERROR_SUCCESS: return 1;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_PARAMETER:  // a value name too long to build: no such entry
        return 0;
    case ERROR_INVALID_DATA: DBGPRINT(L"ReadSupportId %s%u is no text", pszPrefix, n); return -1;
    case ERROR_INSUFFICIENT_BUFFER: DBGPRINT(L"ReadSupportId %s%u is too long", pszPrefix, n); return -1;
    default:
        DBGPRINT(L"ReadSupportId %s%u cannot be read (%d)", pszPrefix, n, rc);
        return rc == ERROR_MORE_DATA ? -1 : 0;
    }
}

int CDevCtrl::IsExistByReg(LPCWSTR pszPrefix, const GUID* pClassGuid, LPCWSTR pszEnumerator) {
    DWORD dwStart = GetTickCount();
    m_dwCount = 0;
    memset(m_szIdTable, 0, sizeof m_szIdTable);
    DWORD n = 0;
    for (; n < DEVCTRL_ID_COUNT; ++n) {
        // A value that is no usable text stays as an empty entry: it keeps its number and
        // matches nothing.
        if (ReadSupportId(pszPrefix, n, m_szIdTable[n], DEVCTRL_ID_CCH) == 0) break;
        ++m_dwCount;
    }
    DBGPRINT(L"IsExistByReg reg query count = %d TickCount=%d DevCount=%d", n, GetTickCount() - dwStart, m_dwCount);
    int bFound = FindListedDevice(pClassGuid, pszEnumerator);
    if (bFound)
        DBGPRINT(L"IsExistByReg Found Device TickCount=%d", GetTickCount() - dwStart);
    else
        DBGPRINT(L"IsExistByReg Device TickCount=%d", GetTickCount() - dwStart);
    return bFound;
}

int CDevCtrl::FindListedDevice(const GUID* pClassGuid, LPCWSTR pszEnumerator) {
    DWORD dwUsable = 0;
    for (DWORD i = 0; i < m_dwCount; ++i) {
        if (m_szIdTable[i][0])
            ++dwUsable;
        else
            DBGPRINT(L"FindListedDevice: entry %d is empty and matches nothing", i);
    }
    if (dwUsable == 0) {
        DBGPRINT(L"FindListedDevice: no hardware ID to look for");
        return 0;
    }
    CHwIdWalk walk(OpenClassSet(pClassGuid, pszEnumerator, DIGCF_PRESENT));
    if (!walk.IsOpen()) {
        DBGPRINT(L"FindListedDevice: SetupDiGetClassDevs error %d", GetLastError());
        return 0;
    }
    while (walk.NextDevice() > 0) {
        for (LPCWSTR pszId = walk.NextId(); pszId; pszId = walk.NextId()) {
            for (DWORD i = 0; i < m_dwCount; ++i) {
                if (!m_szIdTable[i][0]) continue;
                DBGPRINT(L"SetupAPI ID = %s, Compare ID = %s", pszId, m_szIdTable[i]);
                if (!PrefixMatch(pszId, m_szIdTable[i])) continue;
                StringCchCopyW(m_szMatchedListId, DEVCTRL_ID_CCH, m_szIdTable[i]);
                // The device's first (most specific) hardware ID, cut to the field.
                StringCchCopyW(m_szMatchedDeviceId, DEVCTRL_ID_CCH, walk.FirstId());
                m_dwMatchedIndex = i;
                return 1;
            }
        }
    }
    return 0;
}

int CDevCtrl::IsExist(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator) {
    if (IsEmptyId(pszHardwareId)) {
        DBGPRINT(L"CDevCtrl::IsExist: empty hardware ID, not found");
        return 0;
    }
    CHwIdWalk walk(OpenClassSet(pClassGuid, pszEnumerator, DIGCF_PRESENT));
    if (!walk.IsOpen()) {
        DBGPRINT(L"CDevCtrl::IsExist: SetupDiGetClassDevs error %d", GetLastError());
        return 0;
    }
    while (walk.NextDevice() > 0) {
        for (LPCWSTR pszId = walk.NextId(); pszId; pszId = walk.NextId()) {
            DBGPRINT(L"SetupAPI Code=%d ID = %s, Compare ID = %s", walk.PropertyError(), pszId, pszHardwareId);
            if (!PrefixMatch(pszId, pszHardwareId)) continue;
            WCHAR szInstance[DEVCTRL_INSTANCE_CCH];
            if (SetupDiGetDeviceInstanceIdW(walk.Set(), walk.Data(), szInstance, DEVCTRL_INSTANCE_CCH, NULL))
                StringCchCopyW(m_szDevInstanceId, DEVCTRL_INSTANCE_CCH, szInstance);
            else
                DBGPRINT(L"CDevCtrl::IsExist: SetupDiGetDeviceInstanceId error %d", GetLastError());
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Enable and disable.

int CDevCtrl::StateChange(DWORD dwState, HDEVINFO hDevInfo, PSP_DEVINFO_DATA pDevInfoData) {
    SP_PROPCHANGE_PARAMS params;
    memset(&params, 0, sizeof params);
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = dwState;
    params.Scope = DICS_FLAG_GLOBAL;
    params.HwProfile = 0;
    if (!SetupDiSetClassInstallParamsW(hDevInfo, pDevInfoData, &params.ClassInstallHeader, sizeof params)) {
        DBGPRINT(L"ERROR:StateChange->SetupDiSetClassInstallParams");
        return 0;
    }
    if (dwState == DICS_ENABLE) {
        // Enabling clears the global flag first; what that call says does not count.
        SetupDiSetClassInstallParamsW(hDevInfo, pDevInfoData, &params.ClassInstallHeader, sizeof params);
        SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, hDevInfo, pDevInfoData);
    }
    params.Scope = DICS_FLAG_CONFIGSPECIFIC;
    if (!SetupDiSetClassInstallParamsW(hDevInfo, pDevInfoData, &params.ClassInstallHeader, sizeof params) ||
        !SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, hDevInfo, pDevInfoData)) {
        DBGPRINT(L"ERROR:StateChange->SetupDiSetClassInstallParams");
        return 0;
    }
    SP_DEVINSTALL_PARAMS_W install;
    memset(&install, 0, sizeof install);
    install.cbSize = sizeof install;
    if (SetupDiGetDeviceInstallParamsW(hDevInfo, pDevInfoData, &install) &&
        (install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT))) {
        // The change waits for a restart: it counts as failed.
        DBGPRINT(L"ERROR:StateChange->SetupDiGetDeviceInstallParams");
        return 0;
    }
    return 1;
}

void CDevCtrl::DisabledProperty(LPCWSTR pszHardwareId) { ChangeAllMatching(pszHardwareId, 0); }

void CDevCtrl::EnabledProperty(LPCWSTR pszHardwareId) { ChangeAllMatching(pszHardwareId, 1); }

int CDevCtrl::DisabledProperty(LPCWSTR pszHardwareId, int nShift) { return ChangeDevNode(pszHardwareId, nShift, 0); }

int CDevCtrl::EnabledProperty(LPCWSTR pszHardwareId, int nShift) { return ChangeDevNode(pszHardwareId, nShift, 1); }

void CDevCtrl::ChangeAllMatching(LPCWSTR pszHardwareId, int bEnable) {
    LPCWSTR pszName = bEnable ? L"EnabledProperty" : L"DisabledProperty";
    if (IsEmptyId(pszHardwareId)) {
        DBGPRINT(L"ERROR:%s->empty hardware ID, not found", pszName);
        return;
    }
    CHwIdWalk walk(INVALID_HANDLE_VALUE);
    CHwIdWalk* pWalk = &walk;
    if (!OpenPresentAll(pWalk, pszName)) return;
    int r = 0;
    int bStop = 0;
    while (!bStop && (r = pWalk->NextDevice()) > 0) {
        // Every matching hardware ID of the device is one decision: the status is read
        // again for each, so a device already changed by an earlier ID is left alone.
        for (LPCWSTR pszId = pWalk->NextId(); pszId; pszId = pWalk->NextId()) {
            if (!PrefixMatch(pszId, pszHardwareId)) continue;
            if (!bEnable) DBGPRINT(L"Found! = %s\n", pszId);
            ULONG ulStatus = 0, ulProblem = 0;
            if (CM_Get_DevNode_Status(&ulStatus, &ulProblem, pWalk->Data()->DevInst, 0) != CR_SUCCESS) {
                DBGPRINT(L"ERROR:%s->CM_Get_DevNode_Status", pszName);
                bStop = 1;
                break;
            }
            if (!bEnable) {
                if ((ulStatus & DN_DISABLEABLE) && ulProblem != CM_PROB_DISABLED) {
                    DBGPRINT(L"Detect:Device is enabled->Disalbe device.");
                    StateChange(DICS_DISABLE, pWalk->Set(), pWalk->Data());
                } else {
                    DBGPRINT(L"Detect:Device is not enabled.Do not disable device.");
                }
            } else {
                if ((ulStatus & DN_HAS_PROBLEM) && ulProblem == CM_PROB_DISABLED) {
                    DBGPRINT(L"Detect:Device is disabled->Enable device.");
                    StateChange(DICS_ENABLE, pWalk->Set(), pWalk->Data());
                } else {
                    DBGPRINT(L"Detect:Device is enabled->Do not enable device.");
                }
            }
        }
    }
    if (r < 0) DBGPRINT(L"Unknown Fail:%s->SetupDiGetDeviceRegistryProperty", pszName);
    DWORD dwErr = pWalk->EndError();
    if (bEnable && dwErr != 0 && dwErr != ERROR_NO_MORE_ITEMS)
        DBGPRINT(L"ERROR:EnabledProperty->SetupDiEnumDeviceInfo");
    DBGPRINT(L"ERROR:%s->erro code %d", pszName, dwErr);
}

int CDevCtrl::ChangeDevNode(LPCWSTR pszHardwareId, int nShift, int bEnable) {
    LPCWSTR pszName = bEnable ? L"EnabledProperty" : L"DisabledProperty";
    if (IsEmptyId(pszHardwareId)) {
        DBGPRINT(L"ERROR:%s->empty hardware ID, not found", pszName);
        return 0;
    }
    CHwIdWalk walk(INVALID_HANDLE_VALUE);
    CHwIdWalk* pWalk = &walk;
    if (!OpenPresentAll(pWalk, pszName)) return 0;
    int r;
    LPCWSTR pszId = NULL;
    while ((r = pWalk->NextDevice()) > 0) {
        for (pszId = pWalk->NextId(); pszId; pszId = pWalk->NextId())
            if (ExactMatch(pszId, pszHardwareId)) break;
        if (pszId) break;
    }
    if (!pszId) {
        if (r < 0) DBGPRINT(L"Unknown Fail:%s->SetupDiGetDeviceRegistryProperty", pszName);
        DWORD dwErr = pWalk->EndError();
        if (bEnable && dwErr != 0 && dwErr != ERROR_NO_MORE_ITEMS)
            DBGPRINT(L"ERROR:EnabledProperty->SetupDiEnumDeviceInfo");
        DBGPRINT(L"ERROR:%s->erro code %d", pszName, dwErr);
        return 0;
    }
    if (!bEnable) DBGPRINT(L"Found! = %s\n", pszId);

    // The node the change acts on: |nShift| parents up or first children down. A step that
    // fails stops the walk at the node reached so far (below a leaf: the leaf itself). A
    // shift that runs out at the top stops at the root of the device tree, which is never
    // acted on: nothing changes then.
    DEVINST dnNode = pWalk->Data()->DevInst;
    int nSteps = nShift < 0 ? -nShift : nShift;
    for (int i = 0; i < nSteps; ++i) {
        DEVINST dnNext = 0;
        CONFIGRET cr = nShift > 0 ? CM_Get_Parent(&dnNext, dnNode, 0) : CM_Get_Child(&dnNext, dnNode, 0);
        if (cr == CR_SUCCESS) {
            dnNode = dnNext;
            continue;
        }
        DEVINST dnRoot = 0;
        if (nShift > 0 && CM_Locate_DevNodeW(&dnRoot, NULL, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS &&
            dnNode == dnRoot) {
            DBGPRINT(L"ERROR:%s->shift %d passes the root of the device tree, nothing changed", pszName, nShift);
            return 0;
        }
        DBGPRINT(L"%s->shift %d stopped after %d steps (CR %d)", pszName, nShift, i, cr);
        break;
    }
    ULONG ulStatus = 0, ulProblem = 0;
    if (CM_Get_DevNode_Status(&ulStatus, &ulProblem, dnNode, 0) != CR_SUCCESS) {
        DBGPRINT(L"ERROR:%s->CM_Get_DevNode_Status", pszName);
        return 0;
    }
    if (!bEnable) {
        if ((ulStatus & DN_DISABLEABLE) && ulProblem != CM_PROB_DISABLED) {
            DBGPRINT(L"Detect:Device is enabled->Disalbe device.");
            if (nShift == 0)
                StateChange(DICS_DISABLE, pWalk->Set(), pWalk->Data());
            else if (CM_Disable_DevNode(dnNode, CM_DISABLE_UI_NOT_OK) != CR_SUCCESS)
                DBGPRINT(L"CM_Disable_DevNode FAILED.");
        } else {
            DBGPRINT(L"Detect:Device is not enabled.Do not disable device.");
        }
    } else {
        if ((ulStatus & DN_HAS_PROBLEM) && ulProblem == CM_PROB_DISABLED) {
            DBGPRINT(L"Detect:Device is disabled->Enable device.");
            if (nShift == 0)
                StateChange(DICS_ENABLE, pWalk->Set(), pWalk->Data());
            else if (CM_Enable_DevNode(dnNode, 0) != CR_SUCCESS)
                DBGPRINT(L"CM_Enable_DevNode FAILED.");
        } else {
            DBGPRINT(L"Detect:Device is enabled->Do not enable device.");
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------------------
// Removal.

int CDevCtrl::RemoveDriver(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator) {
    DBGPRINT(L"RemoveDriver() Start)");
    return Remove(pszHardwareId, pClassGuid, pszEnumerator, 1);
}

int CDevCtrl::RemoveDevice(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator) {
    DBGPRINT(L"CDevCtrl::RemoveDevice() Started");
    return Remove(pszHardwareId, pClassGuid, pszEnumerator, 0);
}

int CDevCtrl::Remove(LPCWSTR pszHardwareId, const GUID* pClassGuid, LPCWSTR pszEnumerator, int bClassInstaller) {
    LPCWSTR pszNotFound = bClassInstaller ? L"Donot find. Cannot remove! = %s\n"
                                          : L"DevCtrl::RemoveDevice() Donot find. Cannot remove! = %s\n";
    m_bRemoveFound = 0;
    if (IsEmptyId(pszHardwareId)) {
        DBGPRINT(L"Remove: empty hardware ID, not searched");
        DBGPRINT(pszNotFound, L"");
        return 0;
    }
    // Installed devices, present or not.
    CHwIdWalk walk(OpenClassSet(pClassGuid, pszEnumerator, 0));
    if (!walk.IsOpen()) {
        DBGPRINT(L"GetClassDevs(All Present Devices)");
        return 0;
    }
    int r;
    while ((r = walk.NextDevice()) > 0) {
        for (LPCWSTR pszId = walk.NextId(); pszId; pszId = walk.NextId()) {
            if (!PrefixMatch(pszId, pszHardwareId)) continue;
            m_bRemoveFound = 1;
            WCHAR szId[DEVCTRL_ID_CCH];
            StringCchCopyW(szId, DEVCTRL_ID_CCH, pszId);  // the device's IDs go with it
            BOOL bOk = bClassInstaller ? SetupDiCallClassInstaller(DIF_REMOVE, walk.Set(), walk.Data())
                                       : SetupDiRemoveDevice(walk.Set(), walk.Data());
            if (bOk) {
                DBGPRINT(L"Remove! = %s\n", szId);
                return 1;
            }
            DBGPRINT(bClassInstaller ? L"CallClassInstaller(REMOVE)" : L"SetupDiRemoveDevice Failed!!");
        }
    }
    if (r < 0) {
        DBGPRINT(L"GetDeviceRegistryProperty");
    } else {
        DWORD dwErr = walk.EndError();
        if (dwErr != 0 && dwErr != ERROR_NO_MORE_ITEMS) DBGPRINT(L"EnumDeviceInfo");
    }
    DBGPRINT(pszNotFound, pszHardwareId);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Driver keys.

namespace {

// HKLM\SYSTEM\CurrentControlSet\Control\class\<driver key> into szOut (MAX_PATH); 0 when
// it does not fit.
int DriverKeyPath(LPCWSTR pszDriverKey, LPWSTR pszOut) {
    if (IsEmptyId(pszDriverKey)) return 0;
    if (FAILED(StringCchCopyW(pszOut, MAX_PATH, kDriverClassKey))) return 0;
    if (FAILED(StringCchCatW(pszOut, MAX_PATH, pszDriverKey))) return 0;
    return 1;
}

}  // namespace

int CDevCtrl::ReadDriverRegByKey(LPCWSTR pszDriverKey, LPCWSTR pszValue, LPWSTR pszOut, size_t cchOut) {
    if (!pszValue || !pszOut || cchOut == 0) return 0;
    WCHAR szKey[MAX_PATH];
    HKEY hKey = NULL;
    if (!DriverKeyPath(pszDriverKey, szKey) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        DBGPRINT(L"ERROR ReadDriverRegByKey->RegOpen");
        return 0;
    }
    // Either text type, of up to DEVCTRL_VALUE_CCH characters (520 bytes in the Windows
    // build), that fits the caller's buffer.
    LONG rc = RegReadText(hKey, pszValue, REGREAD_TEXT, DEVCTRL_VALUE_CCH, pszOut, static_cast<DWORD>(cchOut));
    RegCloseKey(hKey);
    if (rc == ERROR_INSUFFICIENT_BUFFER) {
        pszOut[0] = 0;
        DBGPRINT(L"ERROR ReadDriverRegByKey->%s does not fit", pszValue);
        return 0;
    }
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"ReadDriverRegByKey->Not found %s", pszValue);
        return 0;
    }
    DBGPRINT(L"ReadDriverRegByKey->Found %s=%s", pszValue, pszOut);
    return 1;
}

int CDevCtrl::WriteDriverRegByKey(LPCWSTR pszDriverKey, LPCWSTR pszValue, LPCWSTR pszText) {
    if (!pszValue || !pszText) return 0;
    WCHAR szKey[MAX_PATH];
    HKEY hKey = NULL;
    if (!DriverKeyPath(pszDriverKey, szKey) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_WRITE, &hKey) != ERROR_SUCCESS) {
        DBGPRINT(L"ERROR WriteDriverRegByKey->RegOpen");
        return 0;
    }
    // With the terminator, as every text the setup program writes.
    DWORD cb = static_cast<DWORD>((lstrlenW(pszText) + 1) * sizeof(WCHAR));
    LONG rc = RegSetValueExW(hKey, pszValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText), cb);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"ERROR WriteDriverRegByKey->RegSetValue %d", rc);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------
// Vendor, status, start.

int CDevCtrl::GetDeviceVendor(LPCWSTR pszHardwareId, LPWSTR pszOut, size_t cchOut) {
    DBGPRINT(L"GetDeviceVendor");
    if (!pszOut || cchOut < DEVCTRL_VENDOR_CCH) return 0;
    pszOut[0] = 0;
    if (!pszHardwareId) return 0;
    // "PCI\VEN_xxxx" or "USB\VID_xxxx" (the bus in upper or lower case): the four digits
    // after the bus and the vendor tag.
    static const WCHAR* const kBuses[] = {L"PCI\\", L"pci\\", L"USB\\", L"usb\\"};
    int bBus = 0;
    for (LPCWSTR pszBus : kBuses) bBus |= wcsncmp(pszHardwareId, pszBus, 4) == 0;
    if (!bBus) return 0;
    if (lstrlenW(pszHardwareId) < 12) return 0;
    memcpy(pszOut, pszHardwareId + 8, 4 * sizeof(WCHAR));
    pszOut[4] = 0;
    return 1;
}

int CDevCtrl::GetDevStatus(LPCWSTR pszHardwareId, ULONG* pulStatus, ULONG* pulProblem) {
    if (!pulStatus || !pulProblem) return 0;
    *pulStatus = 0;
    *pulProblem = 0;
    DBGPRINT(L"CDevCtrl::GetDevStatus:Start");
    if (IsEmptyId(pszHardwareId)) {
        DBGPRINT(L"ERROR:GetDevStatus->empty hardware ID, not found");
        return 0;
    }
    CHwIdWalk walk(INVALID_HANDLE_VALUE);
    CHwIdWalk* pWalk = &walk;
    if (!OpenPresentAll(pWalk, L"GetDevStatus")) return 0;
    int r;
    while ((r = pWalk->NextDevice()) > 0) {
        for (LPCWSTR pszId = pWalk->NextId(); pszId; pszId = pWalk->NextId()) {
            DBGPRINT(L"GetDevStatus Compare %s vs %s", pszHardwareId, pszId);
            if (!PrefixMatch(pszId, pszHardwareId)) continue;
            DBGPRINT(L"GetDevStatus Found! = %s\n", pszId);
            CONFIGRET cr = CM_Get_DevNode_Status(pulStatus, pulProblem, pWalk->Data()->DevInst, 0);
            if (cr != CR_SUCCESS) {
                *pulStatus = 0;
                *pulProblem = 0;
                DBGPRINT(L"ERROR:GetDevStatus->CM_Get_DevNode_Status");
                return 0;
            }
            DBGPRINT(L"GetDevStatus. status=%x problem=%x ", *pulStatus, *pulProblem);
            return 1;
        }
    }
    if (r < 0)
        DBGPRINT(L"Unknown Fail:GetDevStatus->SetupDiGetDeviceRegistryProperty");
    else
        DBGPRINT(L"ERROR:GetDevStatus->error code %d", pWalk->EndError());
    return 0;
}

int CDevCtrl::IsStarted(LPCWSTR pszHardwareId, DWORD dwInterval, DWORD dwTimeout) {
    DWORD dwStart = timeGetTime();
    DBGPRINT(L"CSetupCtrl::IsStarted:Start");
    for (;;) {
        ULONG ulStatus = 0, ulProblem = 0;
        if (GetDevStatus(pszHardwareId, &ulStatus, &ulProblem)) {
            if ((ulStatus & DN_STARTED) && !(ulStatus & DN_HAS_PROBLEM)) {
                DBGPRINT(L"IsStarted:Device is started.");
                return 1;
            }
            DBGPRINT(L"IsStarted:Device has problem. Status=%d Problem=%d", ulStatus, ulProblem);
        } else {
            DBGPRINT(L"IsStarted:Device did not exist!");
        }
        if (StartWaitIsOver(&dwStart, dwTimeout)) return 0;
        DBGPRINT(L"IsStarted:Device is not started.ID %s sleep=%d status=%d. problem=%d.",
                 pszHardwareId ? pszHardwareId : L"", dwInterval, ulStatus, ulProblem);
        // A zero interval would poll without letting time pass.
        Sleep(dwInterval ? dwInterval : 1);
    }
}

// ---------------------------------------------------------------------------------------
// Batteries.

int CDevCtrl::GetBatteryStatus() {
    int nResult = DEVCTRL_BATTERY_DISCHARGING;
    HDEVINFO hSet = SetupDiGetClassDevsW(&kBatteryInterface, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"GetBatteryStatus: SetupDiGetClassDevs error %d", GetLastError());
        return 0;
    }
    for (DWORD i = 0; i < kBatterySlots; ++i) {
        SP_DEVICE_INTERFACE_DATA iface;
        memset(&iface, 0, sizeof iface);
        iface.cbSize = sizeof iface;
        if (!SetupDiEnumDeviceInterfaces(hSet, NULL, &kBatteryInterface, i, &iface)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;
        }
        DWORD cbDetail = 0;
        SetupDiGetDeviceInterfaceDetailW(hSet, &iface, NULL, 0, &cbDetail, NULL);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbDetail < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        PSP_DEVICE_INTERFACE_DETAIL_DATA_W pDetail =
            static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(calloc(1, cbDetail + sizeof(WCHAR)));
        if (!pDetail) continue;
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(hSet, &iface, pDetail, cbDetail, NULL, NULL)) {
            HANDLE hBattery =
                CreateFileW(pDetail->DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            if (hBattery != INVALID_HANDLE_VALUE) {
                ULONG ulWait = 0;
                ULONG ulTag = 0;
                DWORD cbRet = 0;
                if (DeviceIoControl(hBattery, IOCTL_BATTERY_QUERY_TAG, &ulWait, sizeof ulWait, &ulTag, sizeof ulTag,
                                    &cbRet, NULL) &&
                    ulTag != 0) {
                    BATTERY_QUERY_INFORMATION query;
                    memset(&query, 0, sizeof query);
                    query.BatteryTag = ulTag;
                    query.InformationLevel = BatteryInformation;
                    BATTERY_INFORMATION info;
                    memset(&info, 0, sizeof info);
                    if (DeviceIoControl(hBattery, IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof query, &info,
                                        sizeof info, &cbRet, NULL) &&
                        (info.Capabilities & BATTERY_SYSTEM_BATTERY)) {
                        if (!(info.Capabilities & BATTERY_IS_SHORT_TERM)) nResult |= DEVCTRL_BATTERY_PRESENT;
                        BATTERY_WAIT_STATUS wait;
                        memset(&wait, 0, sizeof wait);
                        wait.BatteryTag = ulTag;
                        BATTERY_STATUS status;
                        memset(&status, 0, sizeof status);
                        if (DeviceIoControl(hBattery, IOCTL_BATTERY_QUERY_STATUS, &wait, sizeof wait, &status,
                                            sizeof status, &cbRet, NULL) &&
                            (status.PowerState & BATTERY_POWER_ON_LINE))
                            nResult &= ~DEVCTRL_BATTERY_DISCHARGING;
                    }
                }
                CloseHandle(hBattery);
            }
        }
        free(pDetail);
    }
    SetupDiDestroyDeviceInfoList(hSet);
    if (!(nResult & DEVCTRL_BATTERY_PRESENT)) nResult &= ~DEVCTRL_BATTERY_DISCHARGING;
    DBGPRINT(L"GetBatteryStatus = %d", nResult);
    return nResult;
}
