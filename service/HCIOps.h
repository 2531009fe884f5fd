// The four HCI operations on register 0x56 of the maker's driver: RF on/off, module power
// off, the wireless-switch state and the RF-stop posture. Each one opens the driver device
// for its own request (HCIExecute). No service state is touched here, so the GUI links the
// same unit.
#pragma once

#include <windows.h>

// Results of HCIGetSwitchState.
#define HCI_SWITCH_ERROR 0
#define HCI_SWITCH_OFF 1
#define HCI_SWITCH_ON 2

// Flags of the RF-stop posture reply (word 2), in the order they are tested.
#define HCI_RFSTOP_FLAG_90 0x2000
#define HCI_RFSTOP_FLAG_270 0x1000
#define HCI_RFSTOP_FLAG_180 0x8000
#define HCI_RFSTOP_FLAG_DEFAULT 0x4000

// Switches RF transmission on (TRUE) or off; TRUE when the driver accepted it.
BOOL HCISetRf(BOOL bOn);
// Switches the module's power off; TRUE when the driver accepted it.
BOOL HCIPowerOff();
// HCI_SWITCH_ON when bit 0 of the status word is set, HCI_SWITCH_OFF when clear,
// HCI_SWITCH_ERROR when the read failed.
int HCIGetSwitchState();
// The posture in which RF must stop: 1-4 (display orientations), 0 when no flag is set,
// 6 when the read failed.
int HCIGetRfStopPosture();
