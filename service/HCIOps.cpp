#include "HCIOps.h"

#include "DisplayList.h"
#include "HCIDevice.h"

BOOL HCISetRf(BOOL bOn) { return HCIExecute(HCI_SET, HCI_WWAN_RF, bOn ? 1 : 0, NULL); }

BOOL HCIPowerOff() { return HCIExecute(HCI_SET, HCI_WWAN_POWER, 0, NULL); }

int HCIGetSwitchState() {
    DWORD dwValue = 0;
    if (!HCIExecute(HCI_GET, HCI_WWAN_STATUS, 0, &dwValue)) return HCI_SWITCH_ERROR;
    return (dwValue & 1) ? HCI_SWITCH_ON : HCI_SWITCH_OFF;
}

int HCIGetRfStopPosture() {
    DWORD dwFlags = 0;
    if (!HCIExecute(HCI_GET, HCI_WWAN_RFSTOP_POSTURE, 0, &dwFlags)) return ROTATION_UNKNOWN;
    if (dwFlags & HCI_RFSTOP_FLAG_90) return POSTURE_DMDO_90;
    if (dwFlags & HCI_RFSTOP_FLAG_270) return POSTURE_DMDO_270;
    if (dwFlags & HCI_RFSTOP_FLAG_180) return POSTURE_DMDO_180;
    if (dwFlags & HCI_RFSTOP_FLAG_DEFAULT) return POSTURE_DMDO_DEFAULT;
    return POSTURE_NONE;
}
