// The service's three worker threads and the module events they carry out: the AT-command
// watchdog that keeps the modem's radio function on, the Gobi connect thread, and the
// disable-enable thread (module restart at start-up, eject and re-add on request).
#pragma once

#include <windows.h>

// Thread procedures for _beginthreadex (no argument); each ends with _endthreadex(0).
unsigned __stdcall AtWatchdogThread(void* pArg);
unsigned __stdcall GobiConnectThread(void* pArg);
unsigned __stdcall DisableEnableThread(void* pArg);

// Ejects the module's device node while holding the COM-port mutex.
void Event3G_Suspend();
// Brings the ejected module back.
void Event3G_Recovery();

// Starts a worker thread at THREAD_PRIORITY_HIGHEST; NULL when it could not be started.
HANDLE SvcStartWorker(unsigned(__stdcall* pfnThread)(void*));
// Sets the stop event, waits up to dwWaitMs for the thread and closes its handle (the
// thread is left running on time-out). 1 when the thread ended in time.
BOOL SvcStopWorker(HANDLE hStopEvent, HANDLE* phThread, DWORD dwWaitMs);
