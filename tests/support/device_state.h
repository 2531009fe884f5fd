// Device nodes of the simulated tree in the words of the device tests.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include "winsim/devices.h"

#include <string>

// "running", "disabled", "problem N" or "absent".
inline std::string NodeStateOf(winsim::DeviceTree tree, DWORD dn) {
    DWORD status = 0, problem = 0;
    if (!tree.Status(dn, &status, &problem)) return "absent";
    if (problem == CM_PROB_DISABLED) return "disabled";
    if (problem) return "problem " + std::to_string(problem);
    return "running";
}

// Disables the node as the user would (the current hardware profile); false when that failed.
inline bool DisableNode(winsim::DeviceTree tree, DWORD dn) {
    DWORD flags = 0;
    return tree.ChangeState(dn, DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, &flags) == 0;
}
