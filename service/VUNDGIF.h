// The maker's method and event driver \\.\VUNDG: method evaluation and event registration.
#pragma once

#include <windows.h>

#include <winioctl.h>

#define VUNDG_DEVICE_NAME L"\\\\.\\VUNDG"
#define IOCTL_VUNDG_EVAL_METHOD CTL_CODE(FILE_DEVICE_UNKNOWN, 0xA50, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_VUNDG_WAIT_EVENT CTL_CODE(FILE_DEVICE_UNKNOWN, 0xA51, METHOD_BUFFERED, FILE_ANY_ACCESS)
// The signature of an ACPI method-evaluation input ("AeiB" in memory).
#define VUNDG_EVAL_SIGNATURE 0x42696541
// Four-letter method names as 32-bit values, letters in memory order.
#define VUNDG_METHOD_PLST 0x54534C50
// The driver's posture event.
#define VUNDG_EVENT_POSTURE 134
// The named event of a registration: "VUNDGIF:EventName%d" with the event number.
#define VUNDG_EVENT_NAME_FORMAT L"VUNDGIF:EventName%d"

static_assert(IOCTL_VUNDG_EVAL_METHOD == 0x222940, "method evaluation control code");
static_assert(IOCTL_VUNDG_WAIT_EVENT == 0x222944, "event registration control code");

// The method-evaluation request, 32 bytes each way.
struct VUNDGEvalInput {
    DWORD dwReserved;   // 0
    DWORD dwSize;       // 8: the ACPI request that follows
    DWORD dwSignature;  // VUNDG_EVAL_SIGNATURE
    DWORD dwMethod;     // e.g. VUNDG_METHOD_PLST
    DWORD adwReserved[4];
};
struct VUNDGEvalOutput {
    DWORD dwStatus;  // returned to the caller
    DWORD dwSize;    // 20, set before the call
    DWORD adwAcpi[4];
    DWORD dwValue;  // offset 24: the method's integer result
    DWORD dwReserved;
};
static_assert(sizeof(VUNDGEvalInput) == 32 && sizeof(VUNDGEvalOutput) == 32, "32-byte requests");

class VUNDGIF {
public:
    VUNDGIF();
    // The handle is not closed here: callers close through Close.
    ~VUNDGIF();

    // Opens the device: no access rights, sharing read and write, FILE_FLAG_OVERLAPPED when
    // asked. 1 when a valid handle came back; else the handle is NULL and 0.
    virtual BOOL Open(BOOL bOverlapped);
    // CloseHandle of the handle (its result); the handle becomes NULL.
    virtual BOOL Close();
    // Evaluates the method: 0 on success, with *pdwStatus (offset 0) and *pdwValue (offset
    // 24, read only when the driver returned at least 28 bytes); else GetLastError's code
    // and *pdwStatus = (DWORD)-1. Either pointer may be NULL.
    virtual DWORD EvalMethod(DWORD dwMethod, DWORD* pdwValue, DWORD* pdwStatus);
    // Registers for driver event nEvent on a device opened overlapped and waits up to
    // dwTimeoutMs (or until the abort event is set): 1 with *pdwValue from the completed
    // request, else 0. A request still pending is cancelled and its end waited for before
    // the call returns, so the driver never writes into a buffer that is gone. The service
    // never calls it.
    virtual BOOL WaitEvent(int nEvent, DWORD* pdwValue, DWORD dwTimeoutMs);
    // DeviceIoControl on the handle, unchanged.
    virtual BOOL IoControl(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut, LPDWORD pcbReturned,
                           LPOVERLAPPED pOverlapped);

    HANDLE GetHandle() const { return m_hDevice; }
    // An event whose setting ends a waiting WaitEvent and its pauses at once (NULL: none).
    void SetAbortEvent(HANDLE hAbort) { m_hAbort = hAbort; }

protected:
    // Waits dwMs, or less when the abort event is set.
    void Pause(DWORD dwMs);

    HANDLE m_hDevice;
    HANDLE m_hAbort;

private:
    VUNDGIF(const VUNDGIF&);
    VUNDGIF& operator=(const VUNDGIF&);
};
