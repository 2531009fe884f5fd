// winsim: the system's own programs that the machine offers (regedit, rundll32, net).
#pragma once

#include <windows.h>

#include "winsim/program.h"

#include <string>

namespace winsim::programs {

// The stand-in programs, registered in every host process.
ProgramInfo RegeditProgram();
ProgramInfo Rundll32Program();
ProgramInfo NetProgram();

// Applies the DelReg and AddReg directives of an INF's install section through the calling
// process's registry functions; ERROR_SUCCESS, or the first kind of failure met (every
// line is still tried).
DWORD InstallInfRegistry(const std::wstring& inf_path, const std::wstring& section);

}  // namespace winsim::programs
