// The service host of RVQXSVC: the command line with self-installation, service main, the
// start-up routine and the control handler.
#pragma once

#include <windows.h>

// The product's user control codes (sent by the GUI; 130, 131, 151 and 152 have no sender).
#define SERVICE_CONTROL_RF_ON 128
#define SERVICE_CONTROL_RF_OFF 129
#define SERVICE_CONTROL_RESERVED_130 130
#define SERVICE_CONTROL_RF_RESUME 131
#define SERVICE_CONTROL_POSTURE_ON 151
#define SERVICE_CONTROL_POSTURE_OFF 152
#define SERVICE_CONTROL_MODULE_POWER_OFF 161
#define SERVICE_CONTROL_MODULE_EJECT 171
#define SERVICE_CONTROL_MODULE_RECOVER 181

#define SVC_DISPLAY_NAME L"Veltrane Utility"
#define SVC_DESCRIPTION L"This service controls Wireless WAN RF Power"
#define SVC_LOAD_ORDER_GROUP L"NetworkProvider"
// Controls accepted: stop, hardware profile change, power events, session changes.
#define SVC_CONTROLS_ACCEPTED 0xE1
// How long each worker thread is given to end on stop, and the stop's wait hint.
#define SVC_THREAD_STOP_WAIT_MS 500
#define SVC_STOP_WAIT_HINT_MS (3 * SVC_THREAD_STOP_WAIT_MS + 500)

// The switches, in the order they are tried.
enum SvcSwitch {
    SVC_SWITCH_NONE = -1,
    SVC_SWITCH_INSTALL_SERVICE = 0,
    SVC_SWITCH_UNINSTALL_SERVICE,
    SVC_SWITCH_SERVICE,
    SVC_SWITCH_INSTALL_ENABLER,
    SVC_SWITCH_ENABLER,
};

// The program's entry: builds the three global objects, runs the first switch present and
// returns 0 in every case.
int RvqxSvcMain(int argc, wchar_t** argv);

// The first switch of the list that some argument after the program name gives as "-" or
// "/" followed by the switch name (case ignored).
SvcSwitch SvcFindSwitch(int argc, wchar_t** argv);

// Installs the service: the quoted program path with " /Service" (bPlain 0, with group,
// description and delayed start), or with " /Enabler" (bPlain 1). 1 when created.
BOOL SvcInstall(BOOL bPlain);
// 1 when the service was marked for delete.
BOOL SvcUninstall();

// The global objects (display list, module record, Mobile Broadband object), built in this
// order and deleted in reverse; not deleted while a worker thread that did not end on stop
// may still use them.
void SvcCreateGlobalObjects();
void SvcDeleteGlobalObjects();

void WINAPI SvcServiceMain(DWORD dwArgc, LPWSTR* lpszArgv);
DWORD WINAPI SvcCtrlHandler(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData, LPVOID lpContext);

// Start-up: settings, named objects and the start values of the state.
void Event3G_Init();
// Event3G_Init, the worker events, then the three worker threads at the highest priority.
void SvcStartup();
// Stops the three worker threads in order (stop event, up to 500 ms, handle closed); a
// thread still running after its wait sets g_bSvcWorkerLeftRunning.
void SvcStopThreads();

// The status record reported after every control.
extern SERVICE_STATUS g_SvcStatus;
extern SERVICE_STATUS_HANDLE g_hSvcStatus;
// The worker threads' handles (NULL when not running).
extern HANDLE g_hAtThread;
extern HANDLE g_hGobiThread;
extern HANDLE g_hDisableEnableThread;
// A worker thread was left running by the stop.
extern BOOL g_bSvcWorkerLeftRunning;
