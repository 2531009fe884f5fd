// Device commands: the hardware-ID check, enabling and disabling listed devices, removing
// devices or their drivers, the wait for devices to start and the check for a supported
// wireless device of a type.
#include "SetupCtrl.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include "DbgMac.h"
#include "ModemCtrl.h"
#include "ScriptRead.h"

namespace {

using script::NumberedKey;
using script::ReadInt;
using script::ReadText;

#define QIV_TEXT_CCH 128

const GUID kUnknownClass = {0x4d36e97e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kNetClass = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kModemClass = {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The class words of CLASS; any other word searches every class.
struct ClassWord {
    LPCWSTR pszWord;
    const GUID* pGuid;
};
const ClassWord kClassWords[] = {
    {L"UNKNOWN", &kUnknownClass},
    {L"NETWORK", &kNetClass},
    {L"MODEM", &kModemClass},
};

const GUID* ClassOfWord(LPCWSTR pszWord) {
    for (size_t i = 0; i < sizeof(kClassWords) / sizeof(kClassWords[0]); ++i)
        if (lstrcmpiW(kClassWords[i].pszWord, pszWord) == 0) return kClassWords[i].pGuid;
    return NULL;
}

// The device types of CHECK_QIVDEV, tested in this order (letter case significant).
struct QivType {
    LPCWSTR pszWord;
    LPCWSTR pszPrefix;
};
const QivType kQivTypes[] = {
    {L"WLAN", L"DevID_SupportRL"},
    {L"WWAN", L"3GID_SupportRL"},
    {L"UWB", L"UWBID_SupportRL"},
    {L"WIMAX", L"WiMAXID_SupportRL"},
};

unsigned Fail(int* pbQuit, unsigned uCode) {
    if (pbQuit) *pbQuit = 1;
    return uCode;
}

}  // namespace

unsigned CSetupCtrl::CheckHwidFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int* pbQuit) {
    WCHAR szRowIni[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"ROWINI", L"", szRowIni, SETUP_TEXT_CCH);
    ExpandMacros(szRowIni, SETUP_TEXT_CCH);
    // The list comes from the file ROWINI names when it exists (its section of the same
    // name), else from the script.
    LPCWSTR pszList = pszIni;
    if (szRowIni[0]) {
        DWORD dwAttr = GetFileAttributesW(szRowIni);
        if (dwAttr != INVALID_FILE_ATTRIBUTES && !(dwAttr & FILE_ATTRIBUTE_DIRECTORY)) pszList = szRowIni;
    }
    int nCount = ReadInt(pszList, pszSection, L"HWID", 0);
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"HWID%d", n);
        ReadText(pszList, pszSection, szKey, L"", szId, SETUP_TEXT_CCH);
        int bFound = IsExist(szId);
        DBGPRINT(L"CHECK_HWID:%s", szId);
        if (bFound) {
            DBGPRINT(L"Detect HWID %s=%s", szKey, szId);
            return 0;
        }
    }
    DBGPRINT(L"Error did not find any HWID!");
    return Fail(pbQuit, 20);
}

unsigned CSetupCtrl::EnableDriverFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    CDevCtrl* pDev = new (std::nothrow) CDevCtrl();
    if (!pDev) return 68;
    int nCount = ReadInt(pszIni, pszSection, L"HWID", 0);
    int bAnyPresent = 0, bAnyFailed = 0;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[64], szId[SETUP_ITEM_CCH];
        NumberedKey(szKey, L"HWID%d", n);
        ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_ITEM_CCH);
        int bPresent = IsExist(szId);
        DBGPRINT(L"ENABLE_DRIVER:%s", szId);
        if (!bPresent) continue;
        bAnyPresent = 1;
        WCHAR szFlagKey[64], szShiftKey[64];
        NumberedKey(szFlagKey, L"HWID%d_FLAG", n);
        NumberedKey(szShiftKey, L"HWID%d_SHIFT", n);
        int nFlag = ReadInt(pszIni, pszSection, szFlagKey, 0);
        int nShift = ReadInt(pszIni, pszSection, szShiftKey, 0);
        int bDone;
        if (nFlag) {
            DBGPRINT(L"ENABLE_DRIVER:Detect and Enable %s=%s Flag=%d Shift=%d", szKey, szId, nFlag, nShift);
            bDone = pDev->EnabledProperty(szId, nShift);
        } else {
            DBGPRINT(L"ENABLE_DRIVER:Detect and Disable %s=%s Flag=%d Shift=%d", szKey, szId, nFlag, nShift);
            bDone = pDev->DisabledProperty(szId, nShift);
        }
        if (!bDone) bAnyFailed = 1;
    }
    delete pDev;
    if (!bAnyPresent) {
        DBGPRINT(L"ENABLE_DRIVER:Error did not find any HWID!");
        return 68;
    }
    if (bAnyFailed) {
        DBGPRINT(L"ENABLE_DRIVER:Error disable/enable HWID!");
        return 68;
    }
    return 0;
}

namespace {

// The removal of REMOVE_DRIVER (bDriver) and REMOVE_DEVICE. 0 when a device that was found
// could not be removed.
int RemoveFromIni(CSetupCtrl* pCtrl, CDevCtrl* pDev, LPCWSTR pszIni, LPCWSTR pszSection, int bDriver) {
    int nCount = ReadInt(pszIni, pszSection, L"DEV", 0);
    int bExistOnly = ReadInt(pszIni, pszSection, L"EXISTONLY", 0);
    WCHAR szClass[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"CLASS", L"", szClass, SETUP_TEXT_CCH);
    const GUID* pClass = ClassOfWord(szClass);
    int nResult = 1;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"DEV%d", n);
        ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_TEXT_CCH);
        if (bExistOnly && !pCtrl->IsExist(szId)) continue;
        int bRemoved = bDriver ? pDev->RemoveDriver(szId, pClass, NULL) : pDev->RemoveDevice(szId, pClass, NULL);
        if (!bRemoved && pDev->GetRemoveFound()) {
            DBGPRINT(L"%s:Error %s was found but could not be removed", bDriver ? L"REMOVE_DRIVER" : L"REMOVE_DEVICE",
                     szId);
            nResult = 0;
        }
    }
    return nResult;
}

}  // namespace

int CSetupCtrl::RemoveDriverFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    return RemoveFromIni(this, &m_DevCtrl, pszIni, pszSection, 1);
}

int CSetupCtrl::RemoveDeviceFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    return RemoveFromIni(this, &m_DevCtrl, pszIni, pszSection, 0);
}

int CSetupCtrl::IsStartedFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    CDevCtrl* pDev = new (std::nothrow) CDevCtrl();
    if (!pDev) return 0;
    int nCount = ReadInt(pszIni, pszSection, L"DEV", 0);
    DWORD dwTimeout = (DWORD)ReadInt(pszIni, pszSection, L"TIMEOUT", 0);
    DWORD dwInterval = (DWORD)ReadInt(pszIni, pszSection, L"INTERVAL", 0);
    DBGPRINT(L"CSetupCtrl::IsStartedFromIni:Start");
    // Every present listed device must start, not only the last one.
    int nState = 1;
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szKey[64], szId[SETUP_TEXT_CCH];
        NumberedKey(szKey, L"DEV%d", n);
        ReadText(pszIni, pszSection, szKey, L"", szId, SETUP_TEXT_CCH);
        if (!pDev->IsExist(szId, NULL, NULL)) continue;
        DBGPRINT(L"CSetupCtrl::IsStartedFromIni:Found %s\n", szId);
        if (pDev->IsStarted(szId, dwInterval, dwTimeout)) {
            DBGPRINT(L"CSetupCtrl::IsStartedFromInis %s Started", szId);
        } else {
            DBGPRINT(L"CSetupCtrl::IsStartedFromIni Error %s", szId);
            nState = 0;
        }
    }
    DBGPRINT(L"CSetupCtrl::IsStartedFromIni:End");
    delete pDev;
    return nState;
}

unsigned CSetupCtrl::CheckQivDevFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int* pbQuit) {
    WCHAR szType[QIV_TEXT_CCH], szFilter[QIV_TEXT_CCH];
    ReadText(pszIni, pszSection, L"DEVTYPE", L"", szType, QIV_TEXT_CCH);
    ReadText(pszIni, pszSection, L"DEVFILTER", L"", szFilter, QIV_TEXT_CCH);
    DWORD dwFilterCap = (DWORD)ReadInt(pszIni, pszSection, L"DEVFILTERCAP", 0);
    LPCWSTR pszPrefix = NULL;
    for (size_t i = 0; i < sizeof(kQivTypes) / sizeof(kQivTypes[0]) && !pszPrefix; ++i)
        if (wcsstr(szType, kQivTypes[i].pszWord)) pszPrefix = kQivTypes[i].pszPrefix;
    if (!pszPrefix) {
        DBGPRINT(L"CHECK_QIVDEV:Error does not set DEVTYPE\n");
        return Fail(pbQuit, 49);
    }
    CDevCtrl* pDev = new (std::nothrow) CDevCtrl();
    if (!pDev) return Fail(pbQuit, 49);
    if (!pDev->IsExistByReg(pszPrefix, NULL, NULL)) {
        DBGPRINT(L"CHECK_QIVDEV:Error could not find QUARVEN device. header=%s", pszPrefix);
        delete pDev;
        return Fail(pbQuit, 49);
    }
    WCHAR szMatched[DEVCTRL_ID_CCH];
    lstrcpynW(szMatched, pDev->GetMatchedListId(), DEVCTRL_ID_CCH);
    DWORD dwIndex = pDev->GetMatchedIndex();
    delete pDev;
    if (szFilter[0] && !wcsstr(szMatched, szFilter)) {
        DBGPRINT(L"CHECK_QIVDEV:Error missmatch devfilter %s vs %s", szMatched, szFilter);
        return Fail(pbQuit, 49);
    }
    DBGPRINT(L"CHECK_QIVDEV:Found Quarven Device %s vs %s", szMatched, szFilter);
    if (wcsstr(szType, L"WLAN") && dwFilterCap != 0) {
        CWLANCtrl* pWlan = new (std::nothrow) CWLANCtrl();
        DWORD dwCap = 0;
        if (pWlan) pWlan->GetWlDevCapByReg(dwIndex, &dwCap);
        delete pWlan;
        if (!(dwCap & dwFilterCap)) {
            DBGPRINT(L"CHECK_QIVDEV:Error missmatch devfiltercap 0x%x vs 0x%x", dwCap, dwFilterCap);
            return Fail(pbQuit, 49);
        }
        DBGPRINT(L"CHECK_QIVDEV:Matching devfiltercap bit 0x%x vs 0x%x", dwCap, dwFilterCap);
    }
    return 0;
}
