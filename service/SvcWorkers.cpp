// Stand-ins for the worker threads while the service has no worker-thread unit: each one
// waits for its stop event and ends.
#include "SvcWorkers.h"

#include <process.h>

#include "SvcGlobals.h"

namespace {

unsigned WaitForStop(HANDLE hStop)
{
    if (hStop != NULL)
        WaitForSingleObject(hStop, INFINITE);
    _endthreadex(0);
    return 0;
}

}  // namespace

unsigned __stdcall AtWatchdogThread(void*) { return WaitForStop(g_hAtStopEvent); }
unsigned __stdcall GobiConnectThread(void*) { return WaitForStop(g_hGobiStopEvent); }
unsigned __stdcall DisableEnableThread(void*) { return WaitForStop(g_hDisableEnableStopEvent); }
