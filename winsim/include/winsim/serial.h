// winsim: serial (COM) ports and the modem behind each, as tests and the tool see them.
//
// Ports. "\\.\COMn" (n 1-256) opens the port of the present device whose Device
// Parameters hold PortName = COMn (winsim/devices.h); with no such device CreateFileW fails
// with ERROR_FILE_NOT_FOUND. A port has one opener at a time across the whole machine,
// whatever the sharing flags: a second open, from any process, fails with
// ERROR_ACCESS_DENIED, as does an open while a test holds the port for another process or
// the port's persisted hold flag is set (the winsim tool's "port hold"), and with the
// error a test injected (set_open_error) while the device is present. An open port
// vetoes the removal of its device's subtree (CM_Query_And_Remove_SubTreeW). When the
// device goes away all the same (unplugged), the handles opened before fail every call
// with ERROR_BAD_COMMAND, also after the device came back.
//
// Line settings. GetCommState and SetCommState read and record a DCB per port
// (SetCommState checks ByteSize 5-8, Parity 0-4, StopBits 0-2, a non-zero BaudRate and
// XonChar != XoffChar: ERROR_INVALID_PARAMETER otherwise). A port starts at 9600 baud, 8
// data bits, no parity, one stop bit, fBinary, DTR and RTS enabled, XonLim 2048, XoffLim
// 512, XonChar 0x11, XoffChar 0x13. COMMTIMEOUTS are recorded too (all zero at first).
// PurgeComm is counted; its RX clear empties what has arrived (bytes the modem has not
// sent yet still come).
//
// Transfers, on the machine clock. WriteFile completes at once (the write time-outs never
// expire). ReadFile follows COMMTIMEOUTS: with ReadIntervalTimeout MAXDWORD and both
// total values 0 it returns at once with what has arrived; with MAXDWORD, multiplier
// MAXDWORD and a constant C it returns at once when bytes are there, else at the first
// byte or after C ms; otherwise it returns when the buffer is full, when the total
// time-out (multiplier x bytes asked + constant, if either is non-zero) expires, or when
// the interval time-out passes between two bytes after the first - with what arrived. A
// read with no time-out at all waits for the full count.
//
// The modem. Bytes written are taken as command lines ending at CR (LF is ignored). With
// echo on the modem sends every written byte back at once. The reply to a line comes
// reply_delay ms after the write (late mode: late_delay ms) and is, for the commands it
// knows (without regard to case):
//   AT, ATZ (echo on again)             "\r\nOK\r\n"
//   ATE0 / ATE1                         echo off / on, "\r\nOK\r\n"
//   ATI                                 "\r\n<model>\r\n\r\nOK\r\n"
//   AT+CFUN?                            "\r\n+CFUN: n\r\n\r\nOK\r\n"
//   AT+CFUN=?                           "\r\n+CFUN: (0,1,4)\r\n\r\nOK\r\n"
//   AT+CFUN=n[,r] with n 0, 1 or 4      sets n, "\r\nOK\r\n"
//   anything else starting with AT      "\r\nERROR\r\n"
// Lines not starting with AT are ignored. Silent mode: no echo, no reply, no change.
// Garbage mode: no echo; every line is answered with bytes that are no AT reply, and
// nothing changes. Every line received is logged with its reply.
#pragma once

#include "../winbase.h"
#include "machine.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

enum class ModemMode { Normal, Silent, Late, Garbage };

struct ModemCommand {
    uint64_t time_ms = 0;
    std::wstring port;
    std::string line;   // without its CR
    std::string reply;  // "" when none
};

class SerialPorts {
public:
    explicit SerialPorts(Machine& m) : m_(m) {}

    // The port is open by a program (in this host process), and by whom.
    bool IsOpen(const std::wstring& port);
    DWORD OpenerPid(const std::wstring& port);

    // Holds the port as another process would, for the lifetime of the returned object.
    class Hold {
    public:
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        DWORD pid() const { return pid_; }

    private:
        friend class SerialPorts;
        Hold(Machine& m, std::wstring port, DWORD pid) : m_(m), port_(std::move(port)), pid_(pid) {}
        Machine& m_;
        std::wstring port_;
        DWORD pid_;
    };
    std::unique_ptr<Hold> HoldAsOtherProcess(const std::wstring& port);
    // The persisted hold flag (for the winsim tool, whose processes end at once).
    bool held(const std::wstring& port);
    void set_held(const std::wstring& port, bool on);

    // Recorded settings.
    DCB dcb(const std::wstring& port);
    COMMTIMEOUTS timeouts(const std::wstring& port);
    DWORD purge_count(const std::wstring& port);
    DWORD last_purge_flags(const std::wstring& port);
    // CreateFileW / WriteFile / ReadFile on the port fail with the error (0: they work).
    void set_open_error(const std::wstring& port, DWORD err);
    DWORD open_error(const std::wstring& port);
    void set_write_error(const std::wstring& port, DWORD err);
    void set_read_error(const std::wstring& port, DWORD err);
    DWORD write_error(const std::wstring& port);
    DWORD read_error(const std::wstring& port);

    // The modem behind the port.
    bool echo(const std::wstring& port);
    void set_echo(const std::wstring& port, bool on);
    int cfun(const std::wstring& port);
    void set_cfun(const std::wstring& port, int state);
    ModemMode mode(const std::wstring& port);
    void set_mode(const std::wstring& port, ModemMode mode);
    DWORD reply_delay(const std::wstring& port);  // ms after the write (50)
    void set_reply_delay(const std::wstring& port, DWORD ms);
    DWORD late_delay(const std::wstring& port);  // ms in late mode (2000)
    void set_late_delay(const std::wstring& port, DWORD ms);
    std::string model(const std::wstring& port);
    void set_model(const std::wstring& port, const std::string& line);
    // Makes the modem send bytes of its own, delay ms from now (an unsolicited line ...).
    void Send(const std::wstring& port, const std::string& bytes, DWORD delay_ms = 0);

    // Oldest first; the log keeps the last Store::LogLimit("modem_log").
    std::vector<ModemCommand> log();
    void clear_log();

    static const char* ModeName(ModemMode m);
    static std::optional<ModemMode> ModeFromName(const std::string& s);

private:
    Machine& m_;
};

}  // namespace winsim
