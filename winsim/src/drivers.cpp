// winsim: the machine hooks of the driver models.
#include "drivers.h"

#include "internal.h"

namespace winsim::internal {

void InitDrivers(Machine& m) { drivers::InitVundd(m); }
void ProfileDrivers(Machine& m, const std::string& profile) { drivers::ProfileVundd(m, profile); }
void ResetDrivers(Machine& m) { drivers::ResetVundd(m); }

}  // namespace winsim::internal
