// winsim: placeholder until the registry model lands.
#include "internal.h"

namespace winsim::internal {
void InitRegistry(Machine&) {}
void ProfileRegistry(Machine&, const std::string&) {}
void ResetRegistry(Machine&) {}
}  // namespace winsim::internal
