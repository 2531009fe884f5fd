// winsim: the maker's driver models and their machine hooks.
#pragma once

#include "winsim/machine.h"

#include <string>

namespace winsim::drivers {

void InitVundd(Machine& m);
void ProfileVundd(Machine& m, const std::string& profile);
void ResetVundd(Machine& m);

void InitVundg(Machine& m);
void ProfileVundg(Machine& m, const std::string& profile);
void ResetVundg(Machine& m);

}  // namespace winsim::drivers
