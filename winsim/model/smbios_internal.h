// winsim: what the firmware-table call needs from the SMBIOS model.
#pragma once

#include "winsim/machine.h"

namespace winsim::internal {

// The error the next firmware-table call fails with, 0 when it works (see
// smbios::InjectFailure).
DWORD TakeFirmwareFailure(Machine& m);

}  // namespace winsim::internal
