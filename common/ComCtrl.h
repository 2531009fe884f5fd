// The COM port of a device found by hardware ID, opened with fixed line settings, and one
// AT command exchanged with the modem behind it.
//
// Every step logs through the debug-log object (DbgMac.h); the programs that have none
// (the service, the GUI) run the same code without log lines.
#pragma once

#include <windows.h>

// Port names are read into a buffer of 260 bytes.
#define COMCTRL_PORTNAME_CCH (260 / 2)
// The device instance ID buffer of the port lookup.
#define COMCTRL_INSTANCE_CCH MAX_PATH
// At most this many bytes go to the port and come back from it per exchange.
#define COMCTRL_IO_BYTES 256

namespace ComCtrl {

// Finds the first present device (all setup classes, enumeration order) one of whose
// hardware IDs equals pszHardwareId without regard to case; copies its device instance ID
// (cut to cchInstanceId - 1 characters). 1 when found.
BOOL GetDeviceParamReg(LPCWSTR pszHardwareId, LPWSTR pszInstanceId, DWORD cchInstanceId);

// Reads PortName from the device's Device Parameters key into pszPortName, which holds
// COMCTRL_PORTNAME_CCH characters. 1 when read; a value that fills the buffer without its
// terminator counts as too long (ERROR_MORE_DATA).
BOOL GetPortName(LPCWSTR pszHardwareId, LPWSTR pszPortName);

}  // namespace ComCtrl

class CComCtrl {
public:
    CComCtrl();
    ~CComCtrl();

    // Opens the device's port and sets it up (purge, time-outs, line settings); a port this
    // object held before is closed first. 1 when open.
    BOOL Open(LPCWSTR pszHardwareId);
    // Writes the command with a CR, waits dwWaitMs, reads the reply once and extracts the
    // result text into pszResult (cbResult bytes, always terminated). 1 when written and read.
    BOOL GetAtCommand(LPCWSTR pszCommand, LPWSTR pszResult, DWORD cbResult, DWORD dwWaitMs);
    BOOL Close();
    // 1 when the device's port name is found but the port cannot be opened (another process
    // holds it, or any other failure); 0 when the device or its port name is not found, or
    // the port opens.
    BOOL IsUsingCom(LPCWSTR pszHardwareId);

    // The result text of a cleaned reply (CR and LF removed) to pszCommand, as
    // GetAtCommand extracts it; pszResult holds cchResult characters.
    static void ExtractResult(LPCWSTR pszCommand, LPCWSTR pszCleaned, LPWSTR pszResult, DWORD cchResult);

private:
    CComCtrl(const CComCtrl&);
    CComCtrl& operator=(const CComCtrl&);

    HANDLE m_hComm;
};
