// winsim: the maker's method and event driver \\.\VUNDG, as tests and the tool see it.
//
// Method evaluation, control code 0x222940, METHOD_BUFFERED. Input (at least 16 bytes):
// u32 0, u32 8 (the size of the ACPI request that follows), u32 0x42696541 (the signature
// of an ACPI method-evaluation input), u32 the method's four letters ("PLST" is
// 0x54534C50). The driver answers with reply_size() bytes (28 unless a test changes it):
// u32 status (reply_status(), 0 by default), u32 20 (the size of the ACPI answer that
// follows), u32 0x426F6541 (the ACPI output signature), u32 20, u32 1 (one argument), u16 0
// (an integer), u16 4 (its size), u32 the method's value. Methods the driver does not know
// fail with ERROR_FILE_NOT_FOUND (the method object is not found); a bad input with
// ERROR_INVALID_PARAMETER; an output buffer shorter than the answer with
// ERROR_INSUFFICIENT_BUFFER; an injected method error with that error.
//
// Event registration, control code 0x222944. Input (at least 8 bytes): u32 0, u32 the
// event number; output at least 4 bytes. The request stays pending (DeviceIoControl fails
// with ERROR_IO_PENDING on an overlapped handle, and blocks on other handles) until the
// machine fires that event: Fire(id, value) writes u32 value, u32 0 into the output,
// completes the OVERLAPPED (Internal 0, InternalHigh 8) and signals its event; every
// request pending for the number completes. Cancelling follows winsim/device.h.
// The posture event is 134; rotating the display fires it with the new orientation
// (DMDO_DEFAULT 0 ... DMDO_270 3) as its value.
//
// Pending requests live in the host process that runs the simulated program; Fire
// completes those of its own process (the winsim tool's fire command records the event
// but reaches no other running program). All other state is in the machine's store.
#pragma once

#include "machine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

constexpr DWORD kIoctlVundgEvalMethod = 0x222940;
constexpr DWORD kIoctlVundgWaitEvent = 0x222944;
constexpr DWORD kVundgPostureEvent = 134;
constexpr DWORD kVundgMethodPlst = 0x54534C50;  // "PLST"

struct VundgRequest {
    uint64_t time_ms = 0;
    DWORD pid = 0;
    DWORD code = 0;            // the control code; 0 for an event the machine fired
    std::vector<uint8_t> in;   // the input bytes (for a fired event: u32 number, u32 value)
    DWORD result = 0;          // Win32 result; ERROR_IO_PENDING for a pending request
    std::vector<uint8_t> out;  // the output a completed evaluation gave
    uint64_t seq = 0;          // its number in the log (rising, never reused)
};

class VundgDriver {
public:
    explicit VundgDriver(Machine& m) : m_(m) {}

    bool present();
    void set_present(bool on);
    DWORD open_error();  // Win32 error of CreateFileW while present (0: opens)
    void set_open_error(DWORD err);

    // Method values by name (four letters); "PLST" is the posture method.
    std::optional<DWORD> method(const std::string& name);
    void set_method(const std::string& name, DWORD value);
    void remove_method(const std::string& name);
    DWORD plst() { return method("PLST").value_or(0); }
    void set_plst(DWORD v) { set_method("PLST", v); }

    DWORD method_error();  // every evaluation fails with it (0: none)
    void set_method_error(DWORD err);
    DWORD reply_status();  // word 0 of a successful evaluation
    void set_reply_status(DWORD st);
    DWORD reply_size();  // bytes an evaluation returns (28)
    void set_reply_size(DWORD n);
    DWORD event_error();  // event registrations fail at once with it (0: none)
    void set_event_error(DWORD err);

    // Fires event id: completes the requests pending for it in this host process and
    // returns how many. Must run on a simulated thread when any are pending.
    size_t Fire(DWORD id, DWORD value);
    // Requests pending for event id in this host process.
    size_t Pending(DWORD id);

    // Oldest first; the log keeps the last Store::LogLimit("vundg_log").
    std::vector<VundgRequest> log();
    std::vector<VundgRequest> log_since(uint64_t seq);  // those numbered after seq
    void clear_log();

private:
    Machine& m_;
};

}  // namespace winsim
