// winsim: the maker's hardware-control (HCI) driver \\.\VUNDD, as tests and the tool see it.
//
// The driver accepts one control code, 0x222880, with a 24-byte block in and out:
// word 0 function (0xFF00 write, 0xFE00 read), word 1 register (0x56), word 2 value,
// word 3 selector, words 4 and 5 reserved. It answers in place: word 0 becomes 0 on
// success or carries a non-zero high byte on failure; a read puts the value into word 2.
// Selectors of register 0x56: 0x2000 RF (write 0/1), 0x4000 module power (write 0/1),
// 1 status word (read; bit 0 the wireless switch, bit 13 read by the GUI), 3 the RF-stop
// posture flags (read; any mix of 0x2000, 0x1000, 0x8000, 0x4000).
// All state lives in the machine's store, so every process of the machine sees one driver.
#pragma once

#include "machine.h"

#include <array>
#include <cstdint>
#include <vector>

namespace winsim {

constexpr DWORD kIoctlVunddHci = 0x222880;
// Reply status for requests the driver does not know (unknown register or selector).
constexpr DWORD kHciReplyNotSupported = 0x8000;

struct HciRequest {
    uint64_t time_ms;
    DWORD pid;
    std::array<DWORD, 6> in;
    std::array<DWORD, 6> out;
    bool completed;  // false: the control was refused (DeviceIoControl failed, block unchanged)
    uint64_t seq;    // its number in the log (rising, never reused)
};

class HciDriver {
public:
    explicit HciDriver(Machine& m) : m_(m) {}

    bool present();
    void set_present(bool on);
    // Win32 error that CreateFileW gets while the device is present (0: opens).
    DWORD open_error();
    void set_open_error(DWORD err);

    bool rf();  // RF transmission on
    void set_rf(bool on);
    bool power();  // module powered
    void set_power(bool on);
    DWORD status();  // status word of selector 1
    void set_status(DWORD w);
    void set_switch(bool on);  // bit 0 of the status word
    DWORD posture_flags();     // flags of selector 3
    void set_posture_flags(DWORD flags);
    // RF after a resume from sleep: -1 as before, 0 off, 1 on.
    int rf_after_resume();
    void set_rf_after_resume(int v);

    // Makes requests with this selector answer with reply word 0 = status (0 clears), or
    // be refused outright (the control fails, the block stays as sent).
    void set_error(DWORD selector, DWORD reply_status);
    void set_refused(DWORD selector, bool refused);
    DWORD error_for(DWORD selector);
    bool refused(DWORD selector);

    // The requests received, oldest first: the log keeps the last Store::LogLimit("hci_log")
    // (Store::LogDropped counts those it let go).
    std::vector<HciRequest> log();
    std::vector<HciRequest> log_since(uint64_t seq);  // those numbered after seq
    void clear_log();

    // The machine resumed from sleep (applies rf_after_resume).
    void OnResume();

private:
    Machine& m_;
};

}  // namespace winsim
