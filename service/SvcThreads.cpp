#include "SvcThreads.h"

#include <process.h>
#include <string.h>
#include <wchar.h>

#include <new>

#include "ComCtrl.h"
#include "GobiApiCtrl.h"
#include "HCIOps.h"
#include "MBApiCtrl.h"
#include "ModuleInfo.h"
#include "RFState.h"
#include "SvcGlobals.h"

// A reply buffer of 512 bytes on Windows.
#define AT_REPLY_CCH 256

namespace {

struct AtSettings {
    DWORD dwPollMs;
    DWORD dwReadWaitMs;
    DWORD dwCheckCount;
    DWORD dwResumeWaitMs;
};

BOOL ReadAtSettings(AtSettings* p) {
    return SvcReadDword(L"SvcAtcmdPollingTime", &p->dwPollMs) && SvcReadDword(L"SvcAtReadWaitTime", &p->dwReadWaitMs) &&
           SvcReadDword(L"SvcAtCmdCount", &p->dwCheckCount) && SvcReadDword(L"SvcATCmdResumeWait", &p->dwResumeWaitMs);
}

// One check of the modem's radio function: 1 when it is full or was switched on again.
BOOL CheckRadioFunction(CComCtrl* pCom, DWORD dwReadWaitMs) {
    WCHAR szReply[AT_REPLY_CCH];
    szReply[0] = L'\0';
    if (!pCom->GetAtCommand(L"AT+CFUN?", szReply, sizeof(szReply), dwReadWaitMs)) return FALSE;
    if (wcschr(szReply, L'1') != NULL) return TRUE;
    szReply[0] = L'\0';
    if (!pCom->GetAtCommand(L"AT+CFUN=1", szReply, sizeof(szReply), dwReadWaitMs)) return FALSE;
    return wcsstr(szReply, L"OK") != NULL;
}

// After a suspend: waits for the resume (which may already have come) or the stop, then
// pauses before polling again. FALSE when the stop came.
BOOL WaitForResume(const AtSettings& settings) {
    HANDLE hWait[2] = {g_hAtStopEvent, g_hResumeEvent};
    if (WaitForMultipleObjects(2, hWait, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return FALSE;
    if (WaitForSingleObject(g_hAtStopEvent, settings.dwResumeWaitMs) == WAIT_OBJECT_0) return FALSE;
    // Resume and suspend signals of the same sleep that came during the pause.
    ResetEvent(g_hResumeEvent);
    ResetEvent(g_hSuspendEvent);
    return TRUE;
}

void RunAtWatchdog() {
    AtSettings settings;
    if (!ReadAtSettings(&settings) || !g_bAtPortFound) return;

    CComCtrl com;
    WCHAR szReply[AT_REPLY_CCH];
    szReply[0] = L'\0';
    com.Open(g_szAtPortId);
    com.GetAtCommand(L"AT+CFUN=1", szReply, sizeof(szReply), settings.dwReadWaitMs);
    com.Close();

    HANDLE hMutex = OpenMutexW(SYNCHRONIZE, FALSE, SVC_COM_MUTEX_NAME);
    DWORD dwRemaining = 0;
    DWORD dwCheckCount = settings.dwCheckCount;
    HANDLE hWait[2] = {g_hAtStopEvent, g_hSuspendEvent};
    for (;;) {
        DWORD dwWait = WaitForMultipleObjects(2, hWait, FALSE, settings.dwPollMs);
        if (dwWait == WAIT_OBJECT_0) break;
        if (dwWait == WAIT_OBJECT_0 + 1) {
            if (!WaitForResume(settings)) break;
        } else if (dwWait == WAIT_TIMEOUT) {
            // A resume without a suspend before it belongs to no sleep of ours: drop it, so
            // that the next suspend waits for its own resume.
            WaitForSingleObject(g_hResumeEvent, 0);
        } else {
            break;
        }

        if (WaitForSingleObject(g_hAtCheckNowEvent, 0) == WAIT_OBJECT_0) dwRemaining = dwCheckCount;
        BOOL bGotoOn = Event3G_RfGotoOn();
        if (!bGotoOn && !(g_nLastSwitch == HCI_SWITCH_ON && dwRemaining > 0)) continue;

        BOOL bOwned = FALSE;
        if (hMutex != NULL) {
            DWORD dwMutex = WaitForSingleObject(hMutex, 0);
            if (dwMutex == WAIT_TIMEOUT) continue;
            bOwned = dwMutex == WAIT_OBJECT_0 || dwMutex == WAIT_ABANDONED;
        }
        if (!com.Open(g_szAtPortId)) {
            dwCheckCount = 1;
            SetEvent(g_hAtCheckNowEvent);
            if (bOwned) ReleaseMutex(hMutex);
            continue;
        }
        if (!CheckRadioFunction(&com, settings.dwReadWaitMs)) {
            dwCheckCount = 1;
            SetEvent(g_hAtCheckNowEvent);
        }
        com.Close();
        if (bOwned) ReleaseMutex(hMutex);
        if (dwRemaining > 0) dwRemaining--;
    }
    com.Close();
    if (hMutex != NULL) CloseHandle(hMutex);
}

void RunGobiConnect() {
    DWORD dwOn = 0;
    if (!SvcReadDword(L"GobiConnectON", &dwOn)) return;
    CGobiApiCtrl* pGobi = new (std::nothrow) CGobiApiCtrl();
    if (pGobi == NULL) return;
    HANDLE hWait[2] = {g_hGobiStopEvent, g_hGobiConnectEvent};
    for (;;) {
        DWORD dwWait = WaitForMultipleObjects(2, hWait, FALSE, INFINITE);
        if (dwWait != WAIT_OBJECT_0 + 1) break;
        ResetEvent(g_hGobiConnectEvent);
        pGobi->Load();
        pGobi->Connect();
        pGobi->Unload();
    }
    delete pGobi;
}

// Carries out what ended a wait of the disable-enable thread; FALSE for the stop.
BOOL ServeModuleRequest(DWORD dwWait) {
    if (dwWait == WAIT_OBJECT_0 + 1) {
        Event3G_Suspend();
        return TRUE;
    }
    if (dwWait == WAIT_OBJECT_0 + 2) {
        Event3G_Recovery();
        return TRUE;
    }
    return dwWait == WAIT_TIMEOUT;
}

BOOL IsFirmwareExpected() { return g_pMBApiCtrl != NULL && g_pMBApiCtrl->CheckFirmware(g_pMBApiCtrl->InterfaceId()); }

// A wait of the start-up restart ended by the eject or re-add event: the restart is given
// up and the request is not carried out. FALSE for the stop.
BOOL IsModuleRequest(DWORD dwWait) { return dwWait == WAIT_OBJECT_0 + 1 || dwWait == WAIT_OBJECT_0 + 2; }

// Start-up restart of the module (DisableEnableFlag 1). FALSE when a stop ended it.
BOOL RestartModule(DWORD dwFirstWaitMs, DWORD dwSecondWaitMs, DWORD dwPauseMs) {
    HANDLE hWait[3] = {g_hDisableEnableStopEvent, g_hEjectEvent, g_hReAddEvent};
    DWORD dwWait = WaitForMultipleObjects(3, hWait, FALSE, dwFirstWaitMs);
    if (dwWait != WAIT_TIMEOUT) return IsModuleRequest(dwWait);
    if (g_pMBApiCtrl == NULL || !g_pMBApiCtrl->FindModuleAdapter() || !IsFirmwareExpected()) return TRUE;
    dwWait = WaitForMultipleObjects(3, hWait, FALSE, dwSecondWaitMs);
    if (dwWait != WAIT_TIMEOUT) return IsModuleRequest(dwWait);
    if (!IsFirmwareExpected() || g_pModuleInfo == NULL) return TRUE;
    WCHAR szModuleId[MODULE_ID_CCH];
    lstrcpynW(szModuleId, g_pModuleInfo->GetModuleId(), MODULE_ID_CCH);
    int nDisable = g_pModuleInfo->ChangeDeviceState(szModuleId, FALSE);
    if (nDisable == DEVSTATE_UNCHANGED) return TRUE;
    // Whatever happens during the pause, the module is enabled again: a stop enables
    // first and then ends the thread. A disable that waits for a restart left the node
    // running, so its enable is made without the disabled-state test.
    BOOL bStopped = WaitForSingleObject(g_hDisableEnableStopEvent, dwPauseMs) == WAIT_OBJECT_0;
    if (nDisable == DEVSTATE_CHANGED)
        g_pModuleInfo->EnableDevice(szModuleId);
    else
        g_pModuleInfo->ChangeDeviceState(szModuleId, TRUE, FALSE);
    return !bStopped;
}

void RunDisableEnable() {
    DWORD dwFlag = 0;
    DWORD dwFirstWait = 0;
    DWORD dwSecondWait = 0;
    DWORD dwPause = 0;
    if (!SvcReadDword(L"DisableEnableFlag", &dwFlag)) dwFlag = 0;
    if (!SvcReadDword(L"DE1S", &dwFirstWait)) dwFirstWait = 0;
    if (!SvcReadDword(L"DE2S", &dwSecondWait)) dwSecondWait = 0;
    if (!SvcReadDword(L"DEINT", &dwPause)) dwPause = 0;

    if (dwFlag == 1) {
        if (!RestartModule(dwFirstWait, dwSecondWait, dwPause)) return;
    } else if (dwFlag == 2 || dwFlag == 3) {
        if (g_pModuleInfo != NULL) {
            WCHAR szModuleId[MODULE_ID_CCH];
            lstrcpynW(szModuleId, g_pModuleInfo->GetModuleId(), MODULE_ID_CCH);
            if (dwFlag == 2)
                g_pModuleInfo->DisableDevice(szModuleId);
            else
                g_pModuleInfo->EnableDevice(szModuleId);
        }
    }

    HANDLE hWait[3] = {g_hDisableEnableStopEvent, g_hEjectEvent, g_hReAddEvent};
    for (;;) {
        DWORD dwWait = WaitForMultipleObjects(3, hWait, FALSE, INFINITE);
        if (dwWait == WAIT_TIMEOUT || !ServeModuleRequest(dwWait)) break;
    }
}

BOOL IsModulePresent() { return g_b3GDevice && g_pModuleInfo != NULL && g_pModuleInfo->IsPresent(); }

}  // namespace

unsigned __stdcall AtWatchdogThread(void*) {
    RunAtWatchdog();
    _endthreadex(0);
    return 0;
}

unsigned __stdcall GobiConnectThread(void*) {
    RunGobiConnect();
    _endthreadex(0);
    return 0;
}

unsigned __stdcall DisableEnableThread(void*) {
    RunDisableEnable();
    _endthreadex(0);
    return 0;
}

void Event3G_Suspend() {
    if (!IsModulePresent()) return;
    WCHAR szModuleId[MODULE_ID_CCH];
    lstrcpynW(szModuleId, g_pModuleInfo->GetModuleId(), MODULE_ID_CCH);
    HANDLE hMutex = OpenMutexW(SYNCHRONIZE, FALSE, SVC_COM_MUTEX_NAME);
    BOOL bOwned = FALSE;
    if (hMutex != NULL) {
        DWORD dwWait = WaitForSingleObject(hMutex, INFINITE);
        bOwned = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    }
    g_pModuleInfo->Eject(szModuleId);
    if (hMutex != NULL) {
        if (bOwned) ReleaseMutex(hMutex);
        CloseHandle(hMutex);
    }
}

void Event3G_Recovery() {
    if (!IsModulePresent()) return;
    g_pModuleInfo->ReAdd();
}

HANDLE SvcStartWorker(unsigned(__stdcall* pfnThread)(void*)) {
    unsigned uThreadId = 0;
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, pfnThread, NULL, 0, &uThreadId);
    if (hThread == NULL || hThread == INVALID_HANDLE_VALUE) return NULL;
    SetThreadPriority(hThread, THREAD_PRIORITY_HIGHEST);
    return hThread;
}

BOOL SvcStopWorker(HANDLE hStopEvent, HANDLE* phThread, DWORD dwWaitMs) {
    if (hStopEvent != NULL) SetEvent(hStopEvent);
    if (phThread == NULL || *phThread == NULL) return TRUE;
    BOOL bEnded = WaitForSingleObject(*phThread, dwWaitMs) == WAIT_OBJECT_0;
    CloseHandle(*phThread);
    *phThread = NULL;
    return bEnded;
}
