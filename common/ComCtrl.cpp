// Serial port lookup, set-up and the AT exchange.
#include "ComCtrl.h"

#include <setupapi.h>
#include <shlwapi.h>
#include <string.h>

#include "DbgMac.h"
#include "RegRead.h"

namespace {

const WCHAR kEnumKeyFormat[] = L"SYSTEM\\CurrentControlSet\\Enum\\%s\\Device Parameters";
const DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// True when the multi-string (cb bytes) holds an entry equal to pszId without regard to case.
BOOL MultiStringHolds(const WCHAR* pszList, DWORD cb, LPCWSTR pszId) {
    DWORD cch = cb / sizeof(WCHAR);
    DWORD i = 0;
    while (i < cch && pszList[i] != L'\0') {
        DWORD start = i;
        while (i < cch && pszList[i] != L'\0') ++i;
        if (i < cch && lstrcmpiW(pszList + start, pszId) == 0) return TRUE;
        ++i;
    }
    return FALSE;
}

void MakeDevicePath(LPCWSTR pszPortName, LPWSTR pszPath, int cchPath) {
    pszPath[0] = L'\0';
    wnsprintfW(pszPath, cchPath, L"\\\\.\\%s", pszPortName);
    pszPath[cchPath - 1] = L'\0';
}

UINT HandleValue(HANDLE h) { return (UINT)(UINT_PTR)h; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Port lookup

BOOL ComCtrl::GetDeviceParamReg(LPCWSTR pszHardwareId, LPWSTR pszInstanceId, DWORD cchInstanceId) {
    if (!pszHardwareId || !pszInstanceId || cchInstanceId == 0) return FALSE;
    pszInstanceId[0] = L'\0';
    HDEVINFO hSet = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hSet == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ComCtrl::GetDeviceParamReg():Donot find. = %s\n", pszHardwareId);
        return FALSE;
    }
    BOOL bFound = FALSE;
    SP_DEVINFO_DATA devInfo;
    devInfo.cbSize = sizeof(devInfo);
    for (DWORD dwIndex = 0; !bFound && SetupDiEnumDeviceInfo(hSet, dwIndex, &devInfo); ++dwIndex) {
        WCHAR* pBuffer = NULL;
        DWORD cbBuffer = 0;
        DWORD cbNeeded = 0;
        BOOL bRead = FALSE;
        BOOL bStop = FALSE;
        for (;;) {
            if (SetupDiGetDeviceRegistryPropertyW(hSet, &devInfo, SPDRP_HARDWAREID, NULL, (PBYTE)pBuffer, cbBuffer,
                                                  &cbNeeded)) {
                bRead = TRUE;
                break;
            }
            DWORD dwError = GetLastError();
            if (dwError == ERROR_INSUFFICIENT_BUFFER && cbNeeded > cbBuffer) {
                if (pBuffer) LocalFree(pBuffer);
                // Room for two more terminators, so the list always ends.
                cbBuffer = cbNeeded + 2 * sizeof(WCHAR);
                pBuffer = (WCHAR*)LocalAlloc(LPTR, cbBuffer);
                if (!pBuffer) {
                    bStop = TRUE;
                    break;
                }
                continue;
            }
            if (dwError != ERROR_INVALID_DATA) bStop = TRUE;
            break;
        }
        if (bRead && MultiStringHolds(pBuffer, cbBuffer, pszHardwareId)) {
            DBGPRINT(L"ComCtrl::GetDeviceParamReg():Found! = %s\n", pszHardwareId);
            if (SetupDiGetDeviceInstanceIdW(hSet, &devInfo, pszInstanceId, cchInstanceId, NULL)) {
                DBGPRINT(L"ComCtrl::GetDeviceParamReg():Got Device Param Registry Key! = %s\n", pszInstanceId);
                bFound = TRUE;
            } else {
                pszInstanceId[0] = L'\0';
                bStop = TRUE;
            }
        }
        if (pBuffer) LocalFree(pBuffer);
        if (bStop) break;
    }
    SetupDiDestroyDeviceInfoList(hSet);
    if (!bFound) DBGPRINT(L"ComCtrl::GetDeviceParamReg():Donot find. = %s\n", pszHardwareId);
    return bFound;
}

BOOL ComCtrl::GetPortName(LPCWSTR pszHardwareId, LPWSTR pszPortName) {
    if (!pszPortName) return FALSE;
    pszPortName[0] = L'\0';
    WCHAR szInstance[COMCTRL_INSTANCE_CCH];
    if (!GetDeviceParamReg(pszHardwareId, szInstance, COMCTRL_INSTANCE_CCH)) {
        DBGPRINT(L"ComCtrl::GetPortName():Failed get device param regisry! = %s\n", pszHardwareId);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    WCHAR szKey[MAX_PATH + 64];
    szKey[0] = L'\0';
    wnsprintfW(szKey, MAX_PATH + 64, kEnumKeyFormat, szInstance);
    szKey[MAX_PATH + 63] = L'\0';
    DBGPRINT(L"ComCtrl::GetPortName():sKey = %s\n", szKey);

    HKEY hKey = NULL;
    LONG lResult = RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey);
    if (lResult != ERROR_SUCCESS) {
        DBGPRINT(L"ComCtrl::GetPortName():RegOpenKeyEx(%s) Error\n", szKey);
        SetLastError((DWORD)lResult);
        return FALSE;
    }
    // A text type that fits with its terminator.
    WCHAR szPort[COMCTRL_PORTNAME_CCH];
    lResult = RegReadText(hKey, L"PortName", REGREAD_TEXT | REGREAD_TERMINATED, COMCTRL_PORTNAME_CCH, szPort,
                          COMCTRL_PORTNAME_CCH);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS) {
        DBGPRINT(L"ComCtrl::GetPortName():RegQueryValueEx() Error %x80\n", (DWORD)lResult);
        SetLastError((DWORD)lResult);
        return FALSE;
    }
    lstrcpynW(pszPortName, szPort, COMCTRL_PORTNAME_CCH);
    DBGPRINT(L"ComCtrl::GetPortName(): Get portname = %s\n", pszPortName);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// CComCtrl

CComCtrl::CComCtrl() : m_hComm(NULL) {}

CComCtrl::~CComCtrl() { Close(); }

BOOL CComCtrl::Close() {
    if (m_hComm) {
        CloseHandle(m_hComm);
        m_hComm = NULL;
    }
    return TRUE;
}

BOOL CComCtrl::Open(LPCWSTR pszHardwareId) {
    Close();
    WCHAR szPort[COMCTRL_PORTNAME_CCH];
    if (!ComCtrl::GetPortName(pszHardwareId, szPort)) {
        DBGPRINT(L"Open() GetPortname() Error(%s) : %d\n", pszHardwareId, GetLastError());
        return FALSE;
    }
    WCHAR szPath[COMCTRL_PORTNAME_CCH + 8];
    MakeDevicePath(szPort, szPath, COMCTRL_PORTNAME_CCH + 8);
    HANDLE hComm = CreateFileW(szPath, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    if (hComm == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"Open() CreateFile Error(%s) : %d\n", szPath, GetLastError());
        return FALSE;
    }
    DBGPRINT(L"Open() COM port open completed(%s) : hComm = 0x%X\n", szPath, HandleValue(hComm));

    Sleep(1000);
    if (!PurgeComm(hComm, kPurgeAll)) DBGPRINT(L"PurgeComm() Error : %d\n", GetLastError());

    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 3000;
    if (!SetCommTimeouts(hComm, &timeouts)) {
        DBGPRINT(L"Open() SetCommTimeouts() Error : %d\n", GetLastError());
        CloseHandle(hComm);
        return FALSE;
    }

    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(hComm, &dcb)) {
        DBGPRINT(L"GetCommState() Error : %d\n", GetLastError());
        CloseHandle(hComm);
        return FALSE;
    }
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 0;
    dcb.fAbortOnError = 0;
    dcb.XonLim = 4060;
    dcb.XoffLim = 2706;
    if (!SetCommState(hComm, &dcb)) DBGPRINT(L"SetCommState() Error : %d\n", GetLastError());

    m_hComm = hComm;
    return TRUE;
}

void CComCtrl::ExtractResult(LPCWSTR pszCommand, LPCWSTR pszCleaned, LPWSTR pszResult, DWORD cchResult) {
    if (!pszResult || cchResult == 0) return;
    pszResult[0] = L'\0';
    if (!pszCleaned) return;
    const WCHAR* pEcho = (pszCommand && pszCommand[0]) ? wcsstr(pszCleaned, pszCommand) : NULL;
    if (!pEcho) {
        lstrcpynW(pszResult, pszCleaned, (int)cchResult);
        return;
    }
    const WCHAR* pStatus = wcsstr(pszCleaned, L"+CFUN:");
    if (pStatus) {
        // The status digit: the first non-blank character after "+CFUN:", if any.
        const WCHAR* p = pStatus + 6;
        while (*p == L' ' || *p == L'\t') ++p;
        if (*p != L'\0' && cchResult >= 2) {
            pszResult[0] = *p;
            pszResult[1] = L'\0';
        }
        return;
    }
    // The reply without the echo, wherever it was found.
    DWORD cchBefore = (DWORD)(pEcho - pszCleaned);
    DWORD cchCommand = (DWORD)lstrlenW(pszCommand);
    DWORD n = 0;
    for (DWORD i = 0; i < cchBefore && n + 1 < cchResult; ++i) pszResult[n++] = pszCleaned[i];
    for (const WCHAR* p = pEcho + cchCommand; *p != L'\0' && n + 1 < cchResult; ++p) pszResult[n++] = *p;
    pszResult[n] = L'\0';
}

BOOL CComCtrl::GetAtCommand(LPCWSTR pszCommand, LPWSTR pszResult, DWORD cbResult, DWORD dwWaitMs) {
    if (!m_hComm) {
        DBGPRINT(L"GetAtCommand() Error : m_hComm == NULL\n");
        return FALSE;
    }
    DWORD cchResult = cbResult / sizeof(WCHAR);
    if (!pszCommand || !pszResult || cchResult == 0) return FALSE;
    memset(pszResult, 0, cchResult * sizeof(WCHAR));

    WCHAR szInput[COMCTRL_IO_BYTES + 2];
    szInput[0] = L'\0';
    wnsprintfW(szInput, COMCTRL_IO_BYTES + 2, L"%s\r", pszCommand);
    szInput[COMCTRL_IO_BYTES + 1] = L'\0';
    CHAR achInput[COMCTRL_IO_BYTES + 1];
    int cbInput = WideCharToMultiByte(CP_ACP, 0, szInput, -1, achInput, COMCTRL_IO_BYTES + 1, NULL, NULL);
    DWORD dwWritten = 0;
    if (cbInput <= 1 || cbInput - 1 > COMCTRL_IO_BYTES ||
        !WriteFile(m_hComm, achInput, (DWORD)(cbInput - 1), &dwWritten, NULL)) {
        DBGPRINT(L"GetAtCommand()  WriteFile() Error : %d", GetLastError());
        PurgeComm(m_hComm, kPurgeAll);
        return FALSE;
    }
    DBGPRINT(L"GetAtCommand() Write completed szInput : [%s]\n", szInput);

    Sleep(dwWaitMs);
    CHAR achOutput[COMCTRL_IO_BYTES];
    DWORD dwRead = 0;
    if (!ReadFile(m_hComm, achOutput, COMCTRL_IO_BYTES, &dwRead, NULL)) {
        DBGPRINT(L"GetAtCommand()  ReadFile() Error : %d", GetLastError());
        PurgeComm(m_hComm, kPurgeAll);
        return FALSE;
    }
    // Converted by its count, with room for the terminator.
    WCHAR szOutput[COMCTRL_IO_BYTES + 1];
    int cchOutput = 0;
    if (dwRead > 0 && dwRead <= COMCTRL_IO_BYTES)
        cchOutput = MultiByteToWideChar(CP_ACP, 0, achOutput, (int)dwRead, szOutput, COMCTRL_IO_BYTES);
    if (cchOutput < 0) cchOutput = 0;
    szOutput[cchOutput] = L'\0';
    DBGPRINT(L"GetAtCommand() ReadFile completed szOutput : [%s]\n", szOutput);

    WCHAR szCleaned[COMCTRL_IO_BYTES + 1];
    int n = 0;
    for (int i = 0; i < cchOutput && szOutput[i] != L'\0'; ++i)
        if (szOutput[i] != L'\r' && szOutput[i] != L'\n') szCleaned[n++] = szOutput[i];
    szCleaned[n] = L'\0';
    DBGPRINT(L"GetAtCommand() Delete Command(%s) from Result(%s) \n", pszCommand, szCleaned);

    ExtractResult(pszCommand, szCleaned, pszResult, cchResult);
    DBGPRINT(L"GetAtCommand() Result Code Complete pszResult : [%s]\n", pszResult);
    return TRUE;
}

BOOL CComCtrl::IsUsingCom(LPCWSTR pszHardwareId) {
    WCHAR szPort[COMCTRL_PORTNAME_CCH];
    if (!ComCtrl::GetPortName(pszHardwareId, szPort)) {
        DBGPRINT(L"IsUsingCom() GetPortname() Error(%s) : %d\n", pszHardwareId, GetLastError());
        return FALSE;
    }
    WCHAR szPath[COMCTRL_PORTNAME_CCH + 8];
    MakeDevicePath(szPort, szPath, COMCTRL_PORTNAME_CCH + 8);
    HANDLE hComm = CreateFileW(szPath, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    if (hComm == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"IsUsingCom() COM port is unavailable by other process(%s) : hComm = 0x%X\n", szPath,
                 HandleValue(hComm));
        return TRUE;
    }
    DBGPRINT(L"IsUsingCom() COM port is available %s: hComm = 0x%X\n", szPath, HandleValue(hComm));
    CloseHandle(hComm);
    return FALSE;
}
