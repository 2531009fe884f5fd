// The RF state machine: each RF request decides from the request and the current state
// whether the module's RF is switched, so that a posture stop is not undone by a user's
// RF-on and a user's RF-off is not undone by the posture. The last request switched is
// kept as SaveStatus and restored by the first request after a restart.
#pragma once

#include <windows.h>

// Runs one request (RFSTATE_OFF_USER, _ON_USER, _OFF_POSTURE, _ON_POSTURE); returns the
// state after it.
int SaveStatus(int nRequest);
// 0 without a module; else runs the request and returns 1 when the state changed.
BOOL IssueHCI(int nRequest);
// Switches RF directly, leaving the state alone; 1 on success, 0 without a module.
BOOL IssueHCIwithBool(BOOL bOn);
// Switches the module's power off: 3 without a module or on an HCI error, else the state.
int IssueHCIPowerOff();
// 1 once for each change of the wireless switch to on (the first read included).
BOOL Event3G_RfGotoOn();
// After a resume: RF on unless the display is in the RF-stop posture, else off.
void Event3G_Resume();
