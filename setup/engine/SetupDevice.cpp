// The device search of the hardware-ID switch. The device control class of the setup
// library is not part of this build yet, so no device is ever found.
#include "SetupCtrl.h"

int SetupFindDevice(LPCWSTR pszHardwareId, LPWSTR pszInstanceId, DWORD cchInstanceId) {
    (void)pszHardwareId;
    if (pszInstanceId && cchInstanceId) pszInstanceId[0] = 0;
    return 0;
}
