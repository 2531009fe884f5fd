// Plays a list of events on a fresh simulated tablet running the service and the GUI, and
// checks the system's invariants all along (every 500 ms of virtual time and after each
// event) and at the end.
#pragma once

#include "sim_events.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct RunOptions {
    bool debug = false;  // print the events, the programs' debug output and the RF changes
};

struct RunResult {
    bool ok = true;
    size_t event = 0;         // the event after which the invariant broke (events.size(): at the end)
    uint64_t time_ms = 0;     // virtual time of the failure since the machine started
    std::string invariant;    // which invariant broke (a short stable name)
    std::string what;         // what was seen
    uint64_t virtual_ms = 0;  // virtual time the whole run covered
};

// Runs the events; progress(i, t) is called before event i is applied at virtual time t.
RunResult Run(const std::vector<Event>& events, const RunOptions& options,
              void (*progress)(size_t, uint64_t) = nullptr);

// How the invariants' time bounds follow from the programs' timers, for reports.
std::string BoundsText();

}  // namespace sim
