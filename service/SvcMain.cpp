// The service host of RVQXSVC.
#include "SvcMain.h"

#include <process.h>
#include <strsafe.h>

#include <new>

#include "DisplayList.h"
#include "MBApiCtrl.h"
#include "ModuleInfo.h"
#include "RFState.h"
#include "SvcGlobals.h"
#include "SvcThreads.h"

SERVICE_STATUS g_SvcStatus;
SERVICE_STATUS_HANDLE g_hSvcStatus = NULL;
HANDLE g_hAtThread = NULL;
HANDLE g_hGobiThread = NULL;
HANDLE g_hDisableEnableThread = NULL;
BOOL g_bSvcWorkerLeftRunning = FALSE;

namespace {

const LPCWSTR kSwitches[] = {L"InstallService", L"UninstallService", L"Service", L"InstallEnabler", L"Enabler"};

// The security of the ready event: an inheritable handle, and a NULL DACL so that every
// user's GUI may open it.
SECURITY_DESCRIPTOR g_sdReady;
SECURITY_ATTRIBUTES g_saReady;

void ReportStatus() {
    if (g_hSvcStatus != NULL) SetServiceStatus(g_hSvcStatus, &g_SvcStatus);
}

void ReportState(DWORD dwState, DWORD dwCheckPoint, DWORD dwWaitHint) {
    g_SvcStatus.dwCurrentState = dwState;
    g_SvcStatus.dwCheckPoint = dwCheckPoint;
    g_SvcStatus.dwWaitHint = dwWaitHint;
    ReportStatus();
}

void Signal(HANDLE hEvent) {
    if (hEvent != NULL) SetEvent(hEvent);
}

BOOL IsSuspendEvent(DWORD dwEventType) {
    return dwEventType == PBT_APMQUERYSUSPEND || dwEventType == PBT_APMQUERYSTANDBY || dwEventType == PBT_APMSUSPEND ||
           dwEventType == PBT_APMSTANDBY;
}

BOOL IsResumeEvent(DWORD dwEventType) {
    return dwEventType == PBT_APMQUERYSUSPENDFAILED || dwEventType == PBT_APMQUERYSTANDBYFAILED ||
           dwEventType == PBT_APMRESUMECRITICAL || dwEventType == PBT_APMRESUMESUSPEND ||
           dwEventType == PBT_APMRESUMESTANDBY || dwEventType == PBT_APMRESUMEAUTOMATIC;
}

void OnPowerEvent(DWORD dwEventType) {
    if (g_bSieWAMode) return;
    if (IsSuspendEvent(dwEventType)) {
        Signal(g_hSuspendEvent);
        g_bSuspendSeen = TRUE;
    } else if (IsResumeEvent(dwEventType)) {
        if (g_bSuspendSeen) {
            // What RF does after a sleep is up to the hardware (it may have restored RF):
            // the state is unknown, so that the next request of either kind switches it. A
            // posture stop stays a posture stop. Not saved.
            if (g_nRFState != RFSTATE_OFF_POSTURE) g_nRFState = RFSTATE_ERROR;
            g_bSuspendSeen = FALSE;
        }
        Signal(g_hResumeEvent);
        Signal(g_hAtCheckNowEvent);
    }
}

void OnPostureOn() {
    if (g_bSieWAMode) {
        IssueHCIwithBool(TRUE);
        Signal(g_hGobiConnectEvent);
        return;
    }
    int nPosture = g_pDisplayList != NULL ? g_pDisplayList->GetServicePosture() : 0;
    if (g_pModuleInfo == NULL || g_pModuleInfo->IsPostureDifferent(nPosture)) IssueHCI(RFSTATE_ON_POSTURE);
    if (g_nRFState == RFSTATE_ON_USER || g_nRFState == RFSTATE_ON_POSTURE) {
        Signal(g_hAtCheckNowEvent);
        Signal(g_hGobiConnectEvent);
    }
}

}  // namespace

SvcSwitch SvcFindSwitch(int argc, wchar_t** argv) {
    for (int s = 0; s < (int)(sizeof(kSwitches) / sizeof(kSwitches[0])); s++) {
        for (int i = 1; i < argc; i++) {
            LPCWSTR pszArg = argv[i];
            if (pszArg == NULL || (pszArg[0] != L'-' && pszArg[0] != L'/')) continue;
            if (lstrcmpiW(pszArg + 1, kSwitches[s]) == 0) return (SvcSwitch)s;
        }
    }
    return SVC_SWITCH_NONE;
}

BOOL SvcInstall(BOOL bPlain) {
    WCHAR szPath[MAX_PATH + 1];
    DWORD cch = GetModuleFileNameW(NULL, szPath, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return FALSE;
    szPath[cch] = L'\0';
    // The program path is quoted in both forms: unquoted, a path with blanks would let
    // "C:\Program.exe" run as LocalSystem.
    WCHAR szImage[MAX_PATH + 16];
    if (FAILED(StringCchPrintfW(szImage, MAX_PATH + 16, bPlain ? L"\"%s\" /Enabler" : L"\"%s\" /Service", szPath)))
        return FALSE;

    SC_HANDLE hScm = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (hScm == NULL) return FALSE;
    SC_HANDLE hSvc = CreateServiceW(hScm, SVC_NAME, SVC_DISPLAY_NAME, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, szImage,
                                    bPlain ? NULL : SVC_LOAD_ORDER_GROUP, NULL, NULL, NULL, NULL);
    BOOL bDone = FALSE;
    if (hSvc != NULL) {
        bDone = TRUE;
        if (!bPlain) {
            SERVICE_DESCRIPTIONW desc;
            desc.lpDescription = (LPWSTR)SVC_DESCRIPTION;
            if (ChangeServiceConfig2W(hSvc, SERVICE_CONFIG_DESCRIPTION, &desc)) {
                SERVICE_DELAYED_AUTO_START_INFO delayed;
                delayed.fDelayedAutostart = TRUE;
                ChangeServiceConfig2W(hSvc, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed);
            }
        }
        CloseServiceHandle(hSvc);
    }
    CloseServiceHandle(hScm);
    return bDone;
}

BOOL SvcUninstall() {
    SC_HANDLE hScm = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (hScm == NULL) return FALSE;
    BOOL bDone = FALSE;
    SC_HANDLE hSvc = OpenServiceW(hScm, SVC_NAME, DELETE);
    if (hSvc != NULL) {
        bDone = DeleteService(hSvc);
        CloseServiceHandle(hSvc);
    }
    CloseServiceHandle(hScm);
    return bDone;
}

void SvcCreateGlobalObjects() {
    // What an earlier run of the program in this host kept for a worker thread that
    // outlived it: that run has ended with all its threads.
    g_bSvcWorkerLeftRunning = FALSE;
    SvcDeleteGlobalObjects();
    g_pDisplayList = new (std::nothrow) CDisplayList();
    g_pModuleInfo = new (std::nothrow) CModuleInfo();
    g_pMBApiCtrl = new (std::nothrow) CMBApiCtrl();
}

void SvcDeleteGlobalObjects() {
    // A worker thread that outlived its stop may still use the objects: they then stay
    // until the process ends.
    if (g_bSvcWorkerLeftRunning) return;
    delete g_pMBApiCtrl;
    g_pMBApiCtrl = NULL;
    delete g_pModuleInfo;
    g_pModuleInfo = NULL;
    delete g_pDisplayList;
    g_pDisplayList = NULL;
}

void Event3G_Init() {
    SvcResetState();

    if (!InitializeSecurityDescriptor(&g_sdReady, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&g_sdReady, TRUE, NULL, FALSE))
        return;
    g_saReady.nLength = sizeof(g_saReady);
    g_saReady.lpSecurityDescriptor = &g_sdReady;
    g_saReady.bInheritHandle = TRUE;

    // Unsignalled until the service reports SERVICE_RUNNING: a GUI that acted earlier would
    // have its controls refused while the service is still start-pending. When the GUI
    // created the event first, this opens it and leaves its state alone.
    g_hReadyEvent = CreateEventW(&g_saReady, TRUE, FALSE, SVC_READY_EVENT_NAME);
    g_hComMutex = CreateMutexW(NULL, FALSE, SVC_COM_MUTEX_NAME);

    DWORD dwValue = 0;
    if (SvcReadDword(L"SieWAMode", &dwValue) && dwValue == 1) {
        g_bSieWAMode = TRUE;
        g_b3GDevice = TRUE;
    } else {
        g_b3GDevice = Is3GDeviceByReg();
    }
    if (SvcReadDword(L"DisabledRFCtrl", &dwValue) && dwValue == 1) g_bRFCtrl = FALSE;

    if (g_bSieWAMode || !g_b3GDevice)
        g_bNoPostureCtrl = FALSE;
    else if (GetSystemMetrics(SM_TABLETPC) == 0)
        g_bNoPostureCtrl = TRUE;
    else
        g_bNoPostureCtrl = SvcReadDword(L"DisableSAR", &dwValue) && dwValue == 1;

    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

    g_bAtPortFound = GetAtCmdPortId(g_szAtPortId);

    if (g_bNoPostureCtrl) IssueHCI(RFSTATE_ON_USER);
}

void SvcStartup() {
    Event3G_Init();
    SvcCreateWorkerEvents();
    g_hAtThread = SvcStartWorker(AtWatchdogThread);
    g_hGobiThread = SvcStartWorker(GobiConnectThread);
    g_hDisableEnableThread = SvcStartWorker(DisableEnableThread);
}

void SvcStopThreads() {
    BOOL bAt = SvcStopWorker(g_hAtStopEvent, &g_hAtThread, SVC_THREAD_STOP_WAIT_MS);
    BOOL bGobi = SvcStopWorker(g_hGobiStopEvent, &g_hGobiThread, SVC_THREAD_STOP_WAIT_MS);
    BOOL bDisableEnable = SvcStopWorker(g_hDisableEnableStopEvent, &g_hDisableEnableThread, SVC_THREAD_STOP_WAIT_MS);
    if (!bAt || !bGobi || !bDisableEnable) g_bSvcWorkerLeftRunning = TRUE;
}

DWORD WINAPI SvcCtrlHandler(DWORD dwControl, DWORD dwEventType, LPVOID, LPVOID) {
    DWORD dwResult = NO_ERROR;
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
        // Pending while the threads end, so that no new instance starts while they still
        // eject the module or hold the COM port.
        ReportState(SERVICE_STOP_PENDING, 1, SVC_STOP_WAIT_HINT_MS);
        SvcStopThreads();
        ReportState(SERVICE_STOPPED, 0, 0);
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT: OnPowerEvent(dwEventType); break;
    case SERVICE_CONTROL_SESSIONCHANGE:
        if (dwEventType == WTS_SESSION_LOGOFF && !g_bSieWAMode && !g_bNoPostureCtrl) IssueHCI(RFSTATE_OFF_USER);
        break;
    case SERVICE_CONTROL_RF_ON:
        if (g_bSieWAMode) {
            IssueHCIwithBool(TRUE);
            Signal(g_hGobiConnectEvent);
        } else {
            IssueHCI(RFSTATE_ON_USER);
            Signal(g_hAtCheckNowEvent);
        }
        break;
    case SERVICE_CONTROL_RF_OFF:
        if (g_bSieWAMode)
            IssueHCIwithBool(FALSE);
        else
            IssueHCI(RFSTATE_OFF_USER);
        break;
    case SERVICE_CONTROL_RESERVED_130: dwResult = ERROR_INVALID_SERVICE_CONTROL; break;
    case SERVICE_CONTROL_RF_RESUME:
        if (!g_bSieWAMode && !g_bNoPostureCtrl) Event3G_Resume();
        break;
    case SERVICE_CONTROL_POSTURE_ON: OnPostureOn(); break;
    case SERVICE_CONTROL_POSTURE_OFF:
        if (g_bSieWAMode)
            IssueHCIwithBool(FALSE);
        else
            IssueHCI(RFSTATE_OFF_POSTURE);
        break;
    case SERVICE_CONTROL_MODULE_POWER_OFF: IssueHCIPowerOff(); break;
    case SERVICE_CONTROL_MODULE_EJECT: Signal(g_hEjectEvent); break;
    case SERVICE_CONTROL_MODULE_RECOVER: Signal(g_hReAddEvent); break;
    default:  // hardware profile change, interrogate and any other code
        break;
    }
    ReportStatus();
    return dwResult;
}

void WINAPI SvcServiceMain(DWORD, LPWSTR*) {
    g_SvcStatus.dwServiceType = SERVICE_WIN32;
    g_SvcStatus.dwCurrentState = SERVICE_START_PENDING;
    g_SvcStatus.dwControlsAccepted = SVC_CONTROLS_ACCEPTED;
    g_SvcStatus.dwWin32ExitCode = 0;
    g_SvcStatus.dwServiceSpecificExitCode = 0;
    g_SvcStatus.dwCheckPoint = 0;
    g_SvcStatus.dwWaitHint = 0;

    g_hSvcStatus = RegisterServiceCtrlHandlerExW(SVC_NAME, SvcCtrlHandler, (LPVOID)1);
    if (g_hSvcStatus == NULL) return;

    SvcStartup();
    ReportState(SERVICE_RUNNING, 0, 0);
    Signal(g_hReadyEvent);

    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
    ReportState(SERVICE_STOPPED, 0, 0);
}

int RvqxSvcMain(int argc, wchar_t** argv) {
    SvcCreateGlobalObjects();

    SERVICE_TABLE_ENTRYW table[] = {{(LPWSTR)SVC_NAME, SvcServiceMain}, {NULL, NULL}};
    switch (SvcFindSwitch(argc, argv)) {
    case SVC_SWITCH_INSTALL_SERVICE: SvcInstall(FALSE); break;
    case SVC_SWITCH_UNINSTALL_SERVICE: SvcUninstall(); break;
    case SVC_SWITCH_SERVICE:
        g_bNoPostureCtrl = FALSE;
        StartServiceCtrlDispatcherW(table);
        break;
    case SVC_SWITCH_INSTALL_ENABLER: SvcInstall(TRUE); break;
    case SVC_SWITCH_ENABLER:
        g_bNoPostureCtrl = TRUE;
        StartServiceCtrlDispatcherW(table);
        break;
    default: break;
    }

    SvcDeleteGlobalObjects();
    return 0;
}
