// winsim: kernel32's communications functions on serial port handles (\\.\COMn, the model in
// model/serial_port.cpp): the port's settings, its queues and its modem lines.
#include <windows.h>

#include "devices_internal.h"
#include "winsim/serial.h"

#include <cstring>
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

BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (lpErrors) *lpErrors = 0;
    if (lpStat) {
        std::memset(lpStat, 0, sizeof *lpStat);
        lpStat->cbInQue = serial::InQueue(CurrentMachine(), port);
    }
    return TRUE;
}

BOOL WINAPI EscapeCommFunction(HANDLE hFile, DWORD dwFunc) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (dwFunc < SETXOFF || dwFunc > CLRBREAK) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return TRUE;
}

BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    (void)dwInQueue;
    (void)dwOutQueue;
    return TRUE;
}

BOOL WINAPI GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat) {
    std::wstring port;
    if (DWORD err = serial::PortOfHandle(hFile, &port)) return Fail(err, FALSE);
    if (!lpModemStat) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpModemStat = MS_CTS_ON | MS_DSR_ON;
    return TRUE;
}
