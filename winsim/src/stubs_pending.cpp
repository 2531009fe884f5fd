// winsim: placeholders for the subsystems still being written.
#include "internal.h"

namespace winsim::internal {
void InitRegistry(Machine&) {}
void InitFiles(Machine&) {}
void ProfileRegistry(Machine&, const std::string&) {}
void ProfileFiles(Machine&, const std::string&) {}
void ResetRegistry(Machine&) {}
void ResetFiles(Machine&) {}
void InitDrivers(Machine&) {}
void ProfileDrivers(Machine&, const std::string&) {}
void ResetDrivers(Machine&) {}
}  // namespace winsim::internal
