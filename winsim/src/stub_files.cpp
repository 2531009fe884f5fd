// winsim: placeholder until the files model lands.
#include "internal.h"

namespace winsim::internal {
void InitFiles(Machine&) {}
void ProfileFiles(Machine&, const std::string&) {}
void ResetFiles(Machine&) {}
}  // namespace winsim::internal
