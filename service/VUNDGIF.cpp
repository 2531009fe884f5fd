// The driver class of the maker's method and event driver (the service's build).
#include "VUNDGIF.h"

#include <string.h>

VUNDGIF::VUNDGIF() : m_hDevice(NULL), m_hAbort(NULL) {}

VUNDGIF::~VUNDGIF() {}

BOOL VUNDGIF::Open(BOOL bOverlapped) {
    DWORD dwFlags = FILE_ATTRIBUTE_NORMAL | (bOverlapped ? FILE_FLAG_OVERLAPPED : 0);
    HANDLE h =
        CreateFileW(VUNDG_DEVICE_NAME, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, dwFlags, NULL);
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

void VUNDGIF::Pause(DWORD dwMs) {
    if (m_hAbort)
        WaitForSingleObject(m_hAbort, dwMs);
    else
        Sleep(dwMs);
}

BOOL VUNDGIF::WaitEvent(int nEvent, DWORD* pdwValue, DWORD dwTimeoutMs) {
    WCHAR szName[64];
    wsprintfW(szName, VUNDG_EVENT_NAME_FORMAT, nEvent);
    SECURITY_DESCRIPTOR sd;
    SECURITY_ATTRIBUTES sa;
    memset(&sa, 0, sizeof(sa));
    sa.nLength = sizeof(sa);
    if (InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE))
        sa.lpSecurityDescriptor = &sd;
    sa.bInheritHandle = FALSE;

    BOOL bResult = FALSE;
    HANDLE hEvent = CreateEventW(&sa, TRUE, FALSE, szName);
    if (hEvent && GetLastError() != ERROR_INVALID_HANDLE) {
        ResetEvent(hEvent);
        DWORD adwIn[2] = {0, (DWORD)nEvent};
        DWORD adwOut[2] = {0xFFFFFFFF, 0};
        OVERLAPPED ov;
        memset(&ov, 0, sizeof(ov));
        ov.hEvent = hEvent;
        DWORD cb = 0;
        BOOL bIssued = IoControl(IOCTL_VUNDG_WAIT_EVENT, adwIn, sizeof(adwIn), adwOut, sizeof(adwOut), &cb, &ov);
        if (bIssued || GetLastError() == ERROR_IO_PENDING) {
            HANDLE ah[2] = {hEvent, m_hAbort};
            DWORD w = WaitForMultipleObjects(m_hAbort ? 2 : 1, ah, FALSE, dwTimeoutMs);
            if (w != WAIT_OBJECT_0) CancelIoEx(m_hDevice, &ov);
            // The request's end, completed or cancelled: only a completed one has an answer.
            DWORD cbDone = 0;
            if (GetOverlappedResult(m_hDevice, &ov, &cbDone, TRUE)) {
                if (pdwValue) *pdwValue = adwOut[0];
                bResult = TRUE;
            }
        }
        Pause(200);
        ResetEvent(hEvent);
        Pause(500);
    } else {
        // The name belongs to an object of another kind, or no event could be made.
        if (hEvent) CloseHandle(hEvent);
        hEvent = OpenEventW(SYNCHRONIZE, FALSE, szName);
        if (!hEvent) {
            Pause(5000);
            return FALSE;
        }
        HANDLE ah[2] = {hEvent, m_hAbort};
        if (WaitForMultipleObjects(m_hAbort ? 2 : 1, ah, FALSE, dwTimeoutMs) == WAIT_OBJECT_0) {
            if (pdwValue) *pdwValue = 0;
            bResult = TRUE;
        }
    }
    CloseHandle(hEvent);
    return bResult;
}

BOOL VUNDGIF::IoControl(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut, LPDWORD pcbReturned,
                        LPOVERLAPPED pOverlapped) {
    return DeviceIoControl(m_hDevice, dwCode, pIn, cbIn, pOut, cbOut, pcbReturned, pOverlapped);
}
