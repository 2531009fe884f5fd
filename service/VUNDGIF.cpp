// The driver class of the maker's method and event driver (the service's build).
#include "VUNDGIF.h"

#include <string.h>

VUNDGIF::VUNDGIF() : m_hDevice(NULL) {}

VUNDGIF::~VUNDGIF() {}

BOOL VUNDGIF::Open(BOOL bOverlapped) {
    DWORD dwFlags = FILE_ATTRIBUTE_NORMAL | (bOverlapped ? FILE_FLAG_OVERLAPPED : 0);
    HANDLE h = CreateFileW(VUNDG_DEVICE_NAME, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, dwFlags, NULL);
    if (h == INVALID_HANDLE_VALUE || h == NULL) {
        m_hDevice = NULL;
        return FALSE;
    }
    m_hDevice = h;
    return TRUE;
}

BOOL VUNDGIF::Close() {
    BOOL bResult = CloseHandle(m_hDevice);
    m_hDevice = NULL;
    return bResult;
}

DWORD VUNDGIF::EvalMethod(DWORD dwMethod, DWORD* pdwValue, DWORD* pdwStatus) {
    VUNDGEvalInput in;
    memset(&in, 0, sizeof(in));
    in.dwReserved = 0;
    in.dwSize = 8;
    in.dwSignature = VUNDG_EVAL_SIGNATURE;
    in.dwMethod = dwMethod;
    VUNDGEvalOutput out;
    memset(&out, 0, sizeof(out));
    out.dwSize = 20;
    OVERLAPPED ov;
    memset(&ov, 0, sizeof(ov));
    DWORD cbReturned = 0;
    if (!IoControl(IOCTL_VUNDG_EVAL_METHOD, &in, sizeof(in), &out, sizeof(out), &cbReturned, &ov)) {
        DWORD dwError = GetLastError();
        if (pdwStatus) *pdwStatus = (DWORD)-1;
        return dwError;
    }
    if (pdwStatus) *pdwStatus = out.dwStatus;
    // The value is there only when the answer reached past offset 24.
    if (pdwValue && cbReturned >= 28) *pdwValue = out.dwValue;
    return 0;
}

BOOL VUNDGIF::WaitEvent(int nEvent, DWORD* pdwValue, DWORD dwTimeoutMs) {
    // The service registers for no driver event; the GUI's build has the waiting procedure.
    (void)nEvent;
    (void)pdwValue;
    (void)dwTimeoutMs;
    return FALSE;
}

BOOL VUNDGIF::IoControl(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut, LPDWORD pcbReturned,
                        LPOVERLAPPED pOverlapped) {
    return DeviceIoControl(m_hDevice, dwCode, pIn, cbIn, pOut, cbOut, pcbReturned, pOverlapped);
}
