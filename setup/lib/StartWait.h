// The end of the start waits of devices and services.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include "DbgMac.h"

// 1 when a wait of dwTimeout ms begun at *pdwStart (timeGetTime) is over, with the reason
// logged; a clock that wrapped around counts on from 0.
inline int StartWaitIsOver(DWORD* pdwStart, DWORD dwTimeout) {
    if (dwTimeout == 0) {
        DBGPRINT(L"IsStarted:FAIL but timeout = 0.");
        return 1;
    }
    DWORD dwNow = timeGetTime();
    if (dwNow < *pdwStart) {
        DBGPRINT(L"IsStarted:If detect over 49.7 days, it reset start time.");
        *pdwStart = 0;
    }
    if (dwNow - *pdwStart > dwTimeout) {
        DBGPRINT(L"IsStarted:Detect timeout.");
        return 1;
    }
    return 0;
}
