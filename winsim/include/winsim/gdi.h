// winsim: the test API of gdi32's objects.
#pragma once

#include "machine.h"

#include "../windows.h"

#include <cstddef>

namespace winsim::gdi {

// The fonts and bitmaps a process made that are not deleted yet.
size_t LiveObjects(Machine& m, DWORD pid);

}  // namespace winsim::gdi
