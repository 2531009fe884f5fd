// The three worker threads that service start-up runs and the stop control ends, in this
// order: the AT watchdog, the Gobi connect thread and the disable-enable thread. Each is
// a _beginthreadex procedure without argument that ends when its stop event is set.
#pragma once

#include <windows.h>

unsigned __stdcall AtWatchdogThread(void* pArg);
unsigned __stdcall GobiConnectThread(void* pArg);
unsigned __stdcall DisableEnableThread(void* pArg);
