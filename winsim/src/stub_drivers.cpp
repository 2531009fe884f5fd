// winsim: placeholder until the drivers model lands.
#include "internal.h"

namespace winsim::internal {
void InitDrivers(Machine&) {}
void ProfileDrivers(Machine&, const std::string&) {}
void ResetDrivers(Machine&) {}
}  // namespace winsim::internal
