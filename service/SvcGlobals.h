// The service's process-wide state: its settings and RF state, the events of the worker
// threads, the named objects shared with the GUI and between threads, and the three global
// objects built at program start.
#pragma once

#include <windows.h>

class CDisplayList;
class CModuleInfo;
class CMBApiCtrl;

#define SVC_NAME L"RVQXSVC"
#define SVC_READY_EVENT_NAME L"Global\\RVQXSvcReadyEvent"
#define SVC_COM_MUTEX_NAME L"RVQXSvcMutexForComOpen"
// HKLM key of the product's settings.
#define SVC_SETTINGS_KEY L"SOFTWARE\\Quarven\\Veltrane"

#define SVC_AT_PORT_ID_CCH 260

// RF states of the state machine; requests use 0, 1, 4 and 5.
#define RFSTATE_OFF_USER 0
#define RFSTATE_ON_USER 1
#define RFSTATE_INITIAL 2
#define RFSTATE_ERROR 3
#define RFSTATE_OFF_POSTURE 4
#define RFSTATE_ON_POSTURE 5

// Settings and state.
extern BOOL g_bSieWAMode;      // RF is switched directly, never through the state machine
extern BOOL g_b3GDevice;       // a supported module is present
extern BOOL g_bRFCtrl;         // the state machine may act (DisabledRFCtrl is not 1)
extern BOOL g_bNoPostureCtrl;  // the service itself keeps RF on
extern int g_nRFState;         // RFSTATE_*
extern int g_nLastPosture;     // posture code seen by the last Event3G_Resume
extern int g_nLastSwitch;      // last wireless-switch state (HCI_SWITCH_*)
extern BOOL g_bSuspendSeen;    // a suspend came since the last resume
extern BOOL g_bAtPortFound;    // g_szAtPortId holds the modem's AT-command port
extern WCHAR g_szAtPortId[SVC_AT_PORT_ID_CCH];

// Events of the worker threads: auto-reset, unnamed, created in this order before the
// first thread starts.
extern HANDLE g_hAtStopEvent;
extern HANDLE g_hAtCheckNowEvent;
extern HANDLE g_hSuspendEvent;
extern HANDLE g_hResumeEvent;
extern HANDLE g_hGobiStopEvent;
extern HANDLE g_hGobiConnectEvent;
extern HANDLE g_hDisableEnableStopEvent;
extern HANDLE g_hEjectEvent;
extern HANDLE g_hReAddEvent;

// The ready event for the GUI and the COM-port mutex, kept open for the process's life.
extern HANDLE g_hReadyEvent;
extern HANDLE g_hComMutex;

// The global objects, built in this order when the program starts.
extern CDisplayList* g_pDisplayList;
extern CModuleInfo* g_pModuleInfo;
extern CMBApiCtrl* g_pMBApiCtrl;

// The start values of the state (before the settings are read).
void SvcResetState();
// Creates the nine worker events in their order; 1 when all were created.
BOOL SvcCreateWorkerEvents();
// Closes the worker events that exist.
void SvcCloseWorkerEvents();

// Reads a DWORD setting (the key opened with KEY_READ for this read). 1 when a 4-byte
// REG_DWORD was read; the value is then in *pdwValue.
BOOL SvcReadDword(LPCWSTR pszName, DWORD* pdwValue);
// Writes a DWORD setting, creating the key when missing. 1 when written.
BOOL SvcWriteDword(LPCWSTR pszName, DWORD dwValue);
