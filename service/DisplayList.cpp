// The service's display list, orientation read and posture rule.
#include "DisplayList.h"

#include <devguid.h>
#include <setupapi.h>
#include <shlwapi.h>
#include <stdarg.h>
#include <string.h>

#include <new>

#include "DbgMac.h"
#include "RegRead.h"
#include "VUNDGIF.h"

namespace {

const WCHAR kEnumPrefix[] = L"SYSTEM\\CurrentControlSet\\enum\\";
const DWORD kValueCch = 260;  // value reads of up to 520 bytes

// The display's values are read as DWORDs of 4 bytes whatever their type.
BOOL ReadDword(HKEY hKey, LPCWSTR pszName, DWORD* pdwValue) {
    return RegReadDword(hKey, pszName, REGREAD_ANY_TYPE, pdwValue) == ERROR_SUCCESS;
}

// Reads a device property into a field (cut to it; a multi-string keeps its double
// terminator). ERROR_INVALID_DATA leaves the field empty. FALSE on any other failure.
BOOL ReadProperty(HDEVINFO hSet, SP_DEVINFO_DATA* pData, DWORD dwProperty, LPWSTR pszField, DWORD cchField,
                  BOOL bMulti) {
    memset(pszField, 0, cchField * sizeof(WCHAR));
    BYTE* pBuffer = NULL;
    DWORD cbBuffer = 0;
    DWORD cbNeeded = 0;
    for (;;) {
        if (SetupDiGetDeviceRegistryPropertyW(hSet, pData, dwProperty, NULL, pBuffer, cbBuffer, &cbNeeded)) break;
        DWORD dwError = GetLastError();
        if (dwError == ERROR_INSUFFICIENT_BUFFER && cbNeeded > cbBuffer) {
            if (pBuffer) LocalFree(pBuffer);
            cbBuffer = cbNeeded;
            pBuffer = (BYTE*)LocalAlloc(LPTR, cbBuffer);
            if (!pBuffer) return FALSE;
            continue;
        }
        if (pBuffer) LocalFree(pBuffer);
        return dwError == ERROR_INVALID_DATA;
    }
    DWORD cchData = cbNeeded / sizeof(WCHAR);
    DWORD cchRoom = cchField - (bMulti ? 2 : 1);
    DWORD cchCopy = cchData < cchRoom ? cchData : cchRoom;
    if (cchCopy && pBuffer) memcpy(pszField, pBuffer, cchCopy * sizeof(WCHAR));
    if (!bMulti) {
        // Up to the first terminator, as a plain string.
        pszField[cchCopy] = L'\0';
    }
    if (pBuffer) LocalFree(pBuffer);
    return TRUE;
}

void Copy(LPWSTR pszOut, DWORD cchOut, LPCWSTR pszIn) {
    pszOut[0] = L'\0';
    lstrcpynW(pszOut, pszIn, (int)cchOut);
}

}  // namespace

CDisplayList::CDisplayList() : m_pRecords(NULL), m_nCount(0), m_nCapacity(0), m_bDebug(FALSE), m_bTest(FALSE) {
    m_szKeyPath[0] = L'\0';
    ReadDebugSettings();
    Enumerate();
    ChooseKey();
}

CDisplayList::~CDisplayList() { delete[] m_pRecords; }

void CDisplayList::ReadDebugSettings() {
    DWORD dwValue = 0;
    m_bDebug = CDebugCtrl::ReadDebugSetting(DEBUG_SETTINGS_KEY_SERVICE, L"DebugMode", &dwValue) && dwValue == 1;
    dwValue = 0;
    m_bTest = CDebugCtrl::ReadDebugSetting(DEBUG_SETTINGS_KEY_SERVICE, L"TestMode", &dwValue) && dwValue == 1;
    if (m_bDebug) OutputDebugStringW(L"FNF8:Debug mode is enabled.\n");
    if (m_bTest) DebugPrint(L"Test mode is enabled.\n");
}

void CDisplayList::DebugPrint(LPCWSTR pszFormat, ...) {
    if (!m_bDebug) return;
    OutputDebugStringW(L"FnF8:");
    WCHAR szText[DISPLAY_DEBUG_CCH];
    szText[0] = L'\0';
    va_list args;
    va_start(args, pszFormat);
    wvnsprintfW(szText, DISPLAY_DEBUG_CCH, pszFormat, args);
    va_end(args);
    szText[DISPLAY_DEBUG_CCH - 1] = L'\0';
    OutputDebugStringW(szText);
    OutputDebugStringW(L"\r\n");
}

void CDisplayList::Enumerate() {
    HDEVINFO hSet = SetupDiGetClassDevsW(&GUID_DEVCLASS_DISPLAY, L"PCI", NULL, DIGCF_PRESENT);
    if (hSet == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA devInfo;
    devInfo.cbSize = sizeof(devInfo);
    for (DWORD dwIndex = 0; SetupDiEnumDeviceInfo(hSet, dwIndex, &devInfo); ++dwIndex) {
        DisplayRecord* pRecord = new (std::nothrow) DisplayRecord;
        if (!pRecord) break;
        memset(pRecord, 0, sizeof(*pRecord));
        BOOL bRead =
            ReadProperty(hSet, &devInfo, SPDRP_HARDWAREID, pRecord->szHardwareIds, DISPLAY_HWIDS_CCH, TRUE) &&
            ReadProperty(hSet, &devInfo, SPDRP_DRIVER, pRecord->szDriverKey, DISPLAY_NAME_CCH, FALSE) &&
            ReadProperty(hSet, &devInfo, SPDRP_DEVICEDESC, pRecord->szDescription, DISPLAY_DESC_CCH, FALSE) &&
            ReadProperty(hSet, &devInfo, SPDRP_FRIENDLYNAME, pRecord->szFriendlyName, DISPLAY_DESC_CCH, FALSE) &&
            ReadProperty(hSet, &devInfo, SPDRP_SERVICE, pRecord->szService, DISPLAY_NAME_CCH, FALSE);
        if (!bRead) {
            delete pRecord;
            break;
        }
        ReadVideoId(pRecord);
        ReadSettings(pRecord);
        BOOL bAppended = Append(*pRecord);
        delete pRecord;
        if (!bAppended) break;
    }
    SetupDiDestroyDeviceInfoList(hSet);
}

void CDisplayList::ReadVideoId(DisplayRecord* pRecord) {
    WCHAR szKey[MAX_PATH + 64];
    szKey[0] = L'\0';
    wnsprintfW(szKey, MAX_PATH + 64, L"%s%s", kEnumPrefix, pRecord->szHardwareIds);
    szKey[MAX_PATH + 63] = L'\0';
    HKEY hEnum = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hEnum) != ERROR_SUCCESS) {
        DebugPrint(L"ERROR ReadEnumParametersRegByHWID->RegOpen");
        return;
    }
    WCHAR szSub[MAX_PATH];
    BOOL bSub = FALSE;
    for (DWORD i = 0; i < 5 && !bSub; ++i) {
        DWORD cch = MAX_PATH;
        bSub = RegEnumKeyExW(hEnum, i, szSub, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    }
    if (!bSub) {
        DebugPrint(L"ERROR ReadEnumParametersRegByHWID->RegEnumKeyEx");
        RegCloseKey(hEnum);
        return;
    }
    WCHAR szParams[MAX_PATH + 32];
    szParams[0] = L'\0';
    wnsprintfW(szParams, MAX_PATH + 32, L"%s\\Device Parameters", szSub);
    szParams[MAX_PATH + 31] = L'\0';
    HKEY hParams = NULL;
    LONG lResult = RegOpenKeyExW(hEnum, szParams, 0, KEY_READ, &hParams);
    RegCloseKey(hEnum);
    if (lResult != ERROR_SUCCESS) {
        DebugPrint(L"ERROR ReadEnumParametersRegByHWID->RegOpen");
        return;
    }
    WCHAR szValue[kValueCch];
    if (RegReadText(hParams, L"VideoID", REGREAD_TEXT | REGREAD_TERMINATED, kValueCch, szValue, kValueCch) !=
        ERROR_SUCCESS) {
        DebugPrint(L"ReadDriverRegByKey->Not found %s", L"VideoID");
    } else {
        Copy(pRecord->szVideoId, DISPLAY_NAME_CCH, szValue);
        DebugPrint(L"ReadDriverRegByKey->Found %s=%s", L"VideoID", szValue);
    }
    RegCloseKey(hParams);
}

void CDisplayList::ReadSettings(DisplayRecord* pRecord) {
    WCHAR szKey[DISPLAY_KEY_CCH];
    szKey[0] = L'\0';
    wnsprintfW(szKey, DISPLAY_KEY_CCH, L"%sControl\\VIDEO\\%s\\0000", DISPLAY_HWPROFILE_PREFIX, pRecord->szVideoId);
    szKey[DISPLAY_KEY_CCH - 1] = L'\0';
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        hKey = NULL;
        szKey[0] = L'\0';
        wnsprintfW(szKey, DISPLAY_KEY_CCH, L"%sServices\\%s\\Device0", DISPLAY_HWPROFILE_PREFIX, pRecord->szService);
        szKey[DISPLAY_KEY_CCH - 1] = L'\0';
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
            DebugPrint(L"Error : SetDiplayDeviceMode->Open reg");
            return;
        }
        pRecord->bServiceRoute = TRUE;
    }
    Copy(pRecord->szKeyPath, DISPLAY_KEY_CCH, szKey);
    if (!ReadDword(hKey, L"DefaultSettings.Orientation", &pRecord->dwOrientation))
        DebugPrint(L"ERROR SetDiplayDeviceMode->RegQuery Error Orientation");
    if (!ReadDword(hKey, L"DefaultSettings.BitsPerPel", &pRecord->dwBitsPerPel))
        DebugPrint(L"ERROR SetDiplayDeviceMode->RegQuery Error Bit per pel");
    if (!ReadDword(hKey, L"DefaultSettings.XResolution", &pRecord->dwWidth))
        DebugPrint(L"ERROR SetDiplayDeviceMode->RegQuery Error XResolution");
    if (!ReadDword(hKey, L"DefaultSettings.YResolution", &pRecord->dwHeight))
        DebugPrint(L"ERROR SetDiplayDeviceMode->RegQuery Error YResolution");
    RegCloseKey(hKey);
}

BOOL CDisplayList::Append(const DisplayRecord& record) {
    if (m_nCount == m_nCapacity) {
        int nCapacity = m_nCapacity ? m_nCapacity * 2 : 2;
        DisplayRecord* pRecords = new (std::nothrow) DisplayRecord[nCapacity];
        if (!pRecords) return FALSE;
        if (m_nCount) memcpy(pRecords, m_pRecords, m_nCount * sizeof(DisplayRecord));
        delete[] m_pRecords;
        m_pRecords = pRecords;
        m_nCapacity = nCapacity;
    }
    m_pRecords[m_nCount++] = record;
    return TRUE;
}

void CDisplayList::ChooseKey() {
    // The first record found by the service route with settings wins, else the last one
    // with settings.
    for (int i = 0; i < m_nCount; ++i) {
        const DisplayRecord& r = m_pRecords[i];
        if (r.dwBitsPerPel == 0) continue;
        Copy(m_szKeyPath, DISPLAY_KEY_CCH, r.szKeyPath);
        if (r.bServiceRoute) break;
    }
}

int CDisplayList::GetOrientationXPTEbyReg() {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_szKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        DebugPrint(L"GetOrientationXPTEbyReg Error Open reg return ROTATION_UNKNOWN");
        return ROTATION_UNKNOWN;
    }
    DWORD dwOrientation = 0;
    BOOL bRead = ReadDword(hKey, L"DefaultSettings.Orientation", &dwOrientation);
    RegCloseKey(hKey);
    if (!bRead) {
        DebugPrint(L"GetOrientationXPTEbyReg RegQuery Error return ROTATION_UNKNOWN");
        return ROTATION_UNKNOWN;
    }
    switch (dwOrientation) {
    case 0: return POSTURE_DMDO_DEFAULT;
    case 1: return POSTURE_DMDO_90;
    case 2: return POSTURE_DMDO_180;
    case 3: return POSTURE_DMDO_270;
    default: return POSTURE_NONE;
    }
}

int CDisplayList::GetServicePosture() {
    VUNDGIF device;
    if (!device.Open(FALSE)) return POSTURE_NONE;
    DWORD dwValue = 0;
    DWORD dwStatus = 0;
    DWORD dwResult = device.EvalMethod(VUNDG_METHOD_PLST, &dwValue, &dwStatus);
    device.Close();
    if (dwResult != 0) return POSTURE_RF_FREE;
    switch (dwValue & 3) {
    case 1: return GetOrientationXPTEbyReg();
    case 3: return POSTURE_NONE;
    default: return POSTURE_RF_FREE;
    }
}
