// winsim: kernel32's communications functions on serial port handles (\\.\COMn, the model in
// model/serial_port.cpp): the port's settings and the purge of its queues.
#include <windows.h>

#include "devices_internal.h"
#include "winsim/serial.h"

#include <string>

using namespace winsim;

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (!lpDCB) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpDCB = SerialPorts(CurrentMachine()).dcb(port);
    lpDCB->DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (!lpDCB) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const DCB& d = *lpDCB;
    if (d.BaudRate == 0 || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > SPACEPARITY || d.StopBits > TWOSTOPBITS ||
        d.XonChar == d.XoffChar)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    serial::SaveDcb(CurrentMachine(), port, d);
    return TRUE;
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS t) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (!t) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *t = SerialPorts(CurrentMachine()).timeouts(port);
    return TRUE;
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS t) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (!t) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // Windows refuses both read values at MAXDWORD.
    if (t->ReadIntervalTimeout == MAXDWORD && t->ReadTotalTimeoutConstant == MAXDWORD &&
        t->ReadTotalTimeoutMultiplier == MAXDWORD)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    serial::SaveTimeouts(CurrentMachine(), port, *t);
    return TRUE;
}

BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (dwFlags & ~0x0Fu) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    serial::Purge(CurrentMachine(), port, dwFlags);
    return TRUE;
}
