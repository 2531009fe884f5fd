// Power, sessions and the frame's timers: RF before a sleep (and the module's eject), the
// polling and the re-add after a resume, which instance drives RF as sessions come and go,
// and the registration for session notices.
#include "MainFrm.h"

#include <winioctl.h>
#include <ntddvdeo.h>
#include <wtsapi32.h>

#include <string.h>

#define SESSION_RETRY_MS 3000
#define FIRSTCHECK_RETRY_MS 1000
#define SHORT_SUSPEND_PASSES 50
#define SHORT_SUSPEND_STEP_MS 300
#define TARSK_KEY L"Software\\Quarven\\Tarsk"

// ---------------------------------------------------------------------------------------
// The Tarsk state and the panel's brightness

int GetTarskState() {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TARSK_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return 0;
    DWORD dwState = 0, cb = sizeof(dwState);
    LONG r = RegQueryValueExW(hKey, L"TarskState", NULL, NULL, reinterpret_cast<LPBYTE>(&dwState), &cb);
    DWORD dwNoWake = 0;
    DWORD cbNoWake = sizeof(dwNoWake);
    LONG rNoWake = RegQueryValueExW(hKey, L"NoWake", NULL, NULL, reinterpret_cast<LPBYTE>(&dwNoWake), &cbNoWake);
    RegCloseKey(hKey);
    if (r != ERROR_SUCCESS || cb != sizeof(dwState)) return 0;
    if (rNoWake != ERROR_SUCCESS || cbNoWake != sizeof(dwNoWake)) return 1;
    if (dwState == 1) return 2;
    if (dwState == 2) {
        if (dwNoWake == 0) return 3;
        if (dwNoWake == 1) return 4;
    }
    return 1;
}

BOOL IsLcdAtLowestBrightness() {
    HANDLE h =
        CreateFileW(L"\\\\.\\LCD", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    BOOL bLowest = FALSE;
    BYTE levels[100];
    memset(levels, 0, sizeof(levels));
    DWORD cb = 0;
    if (DeviceIoControl(h, IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS, NULL, 0, levels, sizeof(levels), &cb, NULL)) {
        BYTE m = 100;
        for (DWORD i = 0; i < cb && i < sizeof(levels); ++i)
            if (levels[i] < m) m = levels[i];
        DISPLAY_BRIGHTNESS db;
        memset(&db, 0, sizeof(db));
        cb = 0;
        if (DeviceIoControl(h, IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS, NULL, 0, &db, sizeof(db), &cb, NULL) && cb)
            bLowest = db.ucACBrightness <= m;
    }
    CloseHandle(h);
    return bLowest;
}

// ---------------------------------------------------------------------------------------
// Timers

BOOL CMainFrame::PollingDone(DWORD& dwSum, DWORD dwStep, DWORD dwMax) {
    dwSum += dwStep;
    // A step of 0 would never reach the end: such a polling ends after one tick.
    return dwStep == 0 || dwSum >= dwMax;
}

LRESULT CMainFrame::OnTimer(WPARAM wParam, LPARAM) {
    switch (wParam) {
    case TIMER_FIRSTCHECK:
        // The first check waits until the user has closed the limitation notice.
        if (m_pLogonDlg) {
            StartTimer(TIMER_FIRSTCHECK, FIRSTCHECK_RETRY_MS);
            break;
        }
        SendMessageW(m_hWnd, WM_APP_NOTIFY, NOTIFY_FIRSTCHECK, 0);
        StopTimer(TIMER_FIRSTCHECK);
        break;
    case TIMER_POLLSTART: {
        int p = GetPosture(1);
        if (p == m_ModuleInfo.GetRfStopPosture()) m_bPollAtStart = 0;
        PostRFDecision(p);
        m_nLastPosture = p;
        if (PollingDone(m_dwPollSum, m_dwPollingInterval, m_dwPollingMaxTime)) StopTimer(TIMER_POLLSTART);
        break;
    }
    case TIMER_POLLRESUME: {
        int p = GetPosture(1);
        PostRFDecision(p);
        m_nLastPosture = p;
        if (PollingDone(m_dwResumeSum, m_dwResumePollingInterval, m_dwResumePollingMaxTime))
            StopTimer(TIMER_POLLRESUME);
        break;
    }
    case TIMER_AUTORESUME: {
        int s = GetTarskState();
        if ((s == 2 || s == 3) && IsLcdAtLowestBrightness()) {
            ControlRF(TRUE);
            if (PollingDone(m_dwResumeSum, m_dwResumePollingInterval, m_dwResumePollingMaxTime))
                StopTimer(TIMER_AUTORESUME);
        } else {
            // The machine is in use: the ordinary resume polling takes over.
            StopTimer(TIMER_AUTORESUME);
            StartResumePolling(m_dwResumePollingInterval);
        }
        break;
    }
    case TIMER_RECOVERY:
        StopTimer(TIMER_RECOVERY);
        SendServiceControl(SERVICE_CONTROL_MODULE_RECOVER);
        break;
    default: break;
    }
    return Default();
}

// ---------------------------------------------------------------------------------------
// Sleep and resume

LRESULT CMainFrame::OnPowerBroadcast(WPARAM wParam, LPARAM) {
    switch (wParam) {
    case PBT_APMSUSPEND: {
        StopAllTimers();
        // A resume broadcast while this thread waits for the module's removal does not reach
        // the frame: the device-check window hears it, and the frame takes it after the wait.
        m_DevChkWnd.BeginWait();
        OnSuspend();
        WPARAM wResume = m_DevChkWnd.EndWait();
        if (wResume) PostMessageW(m_hWnd, WM_POWERBROADCAST, wResume, 0);
        break;
    }
    // A resume from failure (lParam PBTF_APMRESUMEFROMFAILURE) is a resume too: the suspend
    // switched RF off and may have ejected the module.
    case PBT_APMRESUMECRITICAL:
    case PBT_APMRESUMESUSPEND: StartResumePolling(m_dwResumePollingInterval); break;
    case PBT_APMRESUMEAUTOMATIC: StartAutoResumeCheck(m_dwResumePollingInterval); break;
    default: break;
    }
    return 0;
}

void CMainFrame::OnSuspend() {
    if (!m_bRFCtrl || !m_bActive) return;
    int s = GetTarskState();
    if (s == 2 || s == 3 || s == 4) {
        // The other program wakes the machine for its own work and needs RF then.
        ControlRF(TRUE);
        return;
    }
    ControlRF(FALSE);
    if (!m_bEjectTarget) return;
    // A sleep right after a resume: wait until the module has settled.
    DWORD t = GetTickCount();
    for (int i = 0; i < SHORT_SUSPEND_PASSES; ++i) {
        t = GetTickCount();
        if (t < m_dwResumeStamp || t - m_dwResumeStamp > m_dwBlockTimeShortTimeSuspend) break;
        Sleep(SHORT_SUSPEND_STEP_MS);
    }
    if (IsCheckedPortInUse()) return;
    if (t - m_dwResumeStamp <= m_dwAllowEjectFromResume) return;
    // The device-check window's thread signals the removal: this thread is blocked here.
    ResetEvent(m_hDeviceChange);
    SendServiceControl(SERVICE_CONTROL_MODULE_EJECT);
    WaitForSingleObject(m_hDeviceChange, m_dwWaitTimeRemoveComplete);
}

void CMainFrame::StartResumePolling(DWORD dwPeriod) {
    if (!m_bRFCtrl || !m_bActive) return;
    if (!IsActiveConsoleSession()) {
        DecideForOtherSession();
        return;
    }
    StopTimer(TIMER_AUTORESUME);
    StopTimer(TIMER_POLLRESUME);
    m_dwResumeSum = 0;
    m_dwResumeStamp = GetTickCount();
    StartTimer(TIMER_POLLRESUME, dwPeriod);
    StartTimer(TIMER_RECOVERY, m_dwResumeRecoveryWaitTime);
}

void CMainFrame::StartAutoResumeCheck(DWORD dwPeriod) {
    if (!m_bRFCtrl || !m_bActive) return;
    if (!IsActiveConsoleSession()) {
        DecideForOtherSession();
        return;
    }
    m_dwResumeSum = 0;
    StartTimer(TIMER_AUTORESUME, dwPeriod);
    StartTimer(TIMER_RECOVERY, m_dwResumeRecoveryWaitTime);
}

// ---------------------------------------------------------------------------------------
// Sessions

LRESULT CMainFrame::OnSessionChange(WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
    case WTS_CONSOLE_CONNECT:
        // Only the instance of the session that connects polls and signals.
        if (static_cast<DWORD>(lParam) != m_dwSessionId) break;
        m_bActive = 1;
        StartResumePolling(m_dwResumePollingInterval);
        // An instance that started outside the console skipped its first check and with it
        // the wait for the service: when the service starts only now, its start-up polling
        // must still decide, as the decisions sent before went nowhere.
        if (!m_bWaitedForService && m_bRFCtrl) WaitForService();
        {
            HANDLE h = OpenEventW(EVENT_ALL_ACCESS, FALSE, ACTIVE_SYNC_EVENT_NAME);
            if (h) {
                m_bSyncSignaller = 1;
                SetEvent(h);
                CloseHandle(h);
            }
        }
        break;
    case WTS_CONSOLE_DISCONNECT: StopAllTimers(); break;
    case WTS_SESSION_LOGOFF:
        // Only the console's instance drives RF again: an instance outside the console that
        // took any session's logoff for itself would decide for the other session on every
        // display change, against the console's instance.
        if (!IsActiveConsoleSession()) break;
        m_bActive = 1;
        // The service switched RF off for the logoff: the console's instance decides again.
        if (static_cast<DWORD>(lParam) != m_dwSessionId) CheckPostureNow();
        break;
    default: break;
    }
    return 0;
}

DWORD WINAPI CMainFrame::SessionRegisterThread(LPVOID pParam) {
    CMainFrame* p = static_cast<CMainFrame*>(pParam);
    while (WaitForSingleObject(p->m_hSessionStop, SESSION_RETRY_MS) == WAIT_TIMEOUT) {
        if (WTSRegisterSessionNotification(p->m_hWnd, NOTIFY_FOR_ALL_SESSIONS)) {
            InterlockedExchange(&p->m_bSessionRegistered, 1);
            // An instance that the console's session connected to before it could hear of it
            // stays inactive, and another session's instance goes on driving RF: it takes the
            // missed notice now.
            if (p->IsActiveConsoleSession() && InterlockedCompareExchange(&p->m_bActive, 0, 0) == 0)
                PostMessageW(p->m_hWnd, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, p->m_dwSessionId);
            break;
        }
    }
    return 0;
}
