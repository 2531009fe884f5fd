// winsim: the machine hooks of the device models: the device tree, the serial ports and
// their modems, the display and the maker's drivers.
#include "drivers.h"

#include "devices_internal.h"
#include "internal.h"

namespace winsim::internal {

void InitDrivers(Machine& m) {
    devices::CreateSchema(m);
    devices::EnsureRoot(m);
    serial::Init(m);
    display::Init(m);
    drivers::InitVundd(m);
    drivers::InitVundg(m);
}

void ProfileDrivers(Machine& m, const std::string& profile) {
    drivers::ProfileVundd(m, profile);
    drivers::ProfileVundg(m, profile);
    display::Profile(m, profile);
    devices::ProfileDevices(m, profile);
}

void ResetDrivers(Machine& m) {
    drivers::ResetVundd(m);
    drivers::ResetVundg(m);
    serial::Reset(m);
    devices::Erase(m);
}

}  // namespace winsim::internal
