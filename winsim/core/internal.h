// winsim: hooks between the machine and the models of its subsystems.
#pragma once

#include "winsim/machine.h"

#include <string>

namespace winsim::internal {

// Schemas and device registrations, run once when a machine is opened.
void InitRegistry(Machine& m);
void InitFiles(Machine& m);
void InitDrivers(Machine& m);
void InitModules(Machine& m);
// setupapi.dll's exports that programs bind by name.
void InitDriverStore(Machine& m);
// Device and display changes reach the top-level windows (after the models exist).
void InitBroadcasts(Machine& m);
// Session changes reach the windows registered for them (wtsapi32).
void InitSessionNotifications(Machine& m);
void InitWmi(Machine& m);
// The Mobile Broadband service and the connection library (after the COM model).
void InitMbn(Machine& m);
void InitGobi(Machine& m);
// Registers the setup program's dialog library with all its entries (its file is not
// installed: it loads where a test or the demo puts it).
void InitSetupDlg(Machine& m);
// Registers the system's own programs (regedit, rundll32, net) in the host process.
void InitSystemPrograms(Machine& m);
void InitDifx(Machine& m);

// Profile steps, run in this order when a machine is created or reset.
void ProfileRegistry(Machine& m, const std::string& profile);
void ProfileFiles(Machine& m, const std::string& profile);
void ProfileDrivers(Machine& m, const std::string& profile);
void ProfileWmi(Machine& m, const std::string& profile);
void ProfileSmbios(Machine& m, const std::string& profile);
void ProfileMbn(Machine& m, const std::string& profile);
// Installs the images of the system's own programs (after the folders exist).
void ProfileSystemPrograms(Machine& m);
// The network stack's keys of the profile's adapters and the network services (after the
// device tree).
void ProfileNetwork(Machine& m, const std::string& profile);

// Erases the persistent state of each subsystem (Reset).
void ResetRegistry(Machine& m);
void ResetFiles(Machine& m);
void ResetDrivers(Machine& m);
void ResetWmi(Machine& m);
void ResetMbn(Machine& m);
void ResetMsgBox(Machine& m);  // the answers and records of message and dialog boxes

}  // namespace winsim::internal
