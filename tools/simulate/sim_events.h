// A tablet's life as a list of events: what happens to the machine, each a delay in
// virtual time after the one before. A seed makes the list; the list is also a text
// (one event a line) that can be saved, edited, minimised and replayed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class Kind {
    Set,         // Set NAME VALUE: a DWORD setting of the product (VALUE -1 deletes it)
    StopFlags,   // the HCI driver's RF-stop posture flags
    RfResume,    // the HCI driver's RF after a resume (-1 as before, 0 off, 1 on)
    Plst,        // the driver's posture method PLST: low bits 1 tablet, 3 no posture, 0 and 2 RF free
    Install,     // RVQXSVC -InstallService
    SvcStart,    // start the service through the Service Control Manager
    SvcStop,     // stop it
    Logon,       // a user logs on to session a (and the GUI starts there, as at every logon)
    LogonNoGui,  // a user logs on to session a, and no GUI starts there
    Logoff,      // the user of session a logs off: the session's programs end first
    Lock,        // lock session a
    Unlock,      // unlock session a
    Connect,     // session a takes the console (the session that had it is disconnected first)
    SwitchBack,  // the console goes back to the session that had it before the last connect
    Disconnect,  // session a leaves the console
    GuiStart,    // start the GUI in session a
    GuiExit,     // WM_CLOSE to the GUI's frame in session a
    Rotate,      // turn the display to orientation a (DMDO_DEFAULT ... DMDO_270)
    Suspend,     // sleep for a ms, then resume: b 0 normal, 1 without a user, 2 critical, 3 from a failure
    FailQuery,   // a suspend query that failed
    Unplug,      // the 3G module is pulled out
    Plug,        // and plugged in again
    Switch,      // the wireless switch: a 0 off, 1 on
    Radio,       // the module's radio: a 0 off, 1 on, 2 the module came up
    HciError,    // HCI requests with selector a answer with status b for c ms
    HciRefuse,   // HCI requests with selector a are refused for b ms
    ComHold,     // another process holds the modem's COM port for a ms
};

struct Event {
    uint32_t delay_ms = 0;  // after the event before
    Kind kind = Kind::Rotate;
    std::string name;  // Set only
    int64_t a = 0, b = 0, c = 0;
};

// The events of one seed: the machine's set-up (settings, the driver, the service and the
// console user's logon) and then a day of random events.
std::vector<Event> Generate(uint64_t seed);

// One event a line: "+DELAY KIND ARGS..." ('#' starts a comment).
std::string Format(const Event& e);
std::string FormatList(const std::vector<Event>& events);
// Parses a list; false with a message naming the line on bad input.
bool ParseList(const std::string& text, std::vector<Event>* events, std::string* error);

}  // namespace sim
