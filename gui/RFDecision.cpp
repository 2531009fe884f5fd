// The RF decision and the service link: the posture, the decision and its control codes,
// the service-ready waiter and the active-sync watcher between the instances of the
// sessions.
#include "MainFrm.h"

#include <winsvc.h>

#include "GuiVUNDGIF.h"

#include <string.h>

int CMainFrame::GetPosture(int nDisplay) {
    if (m_bDisableSAR) return POSTURE_NO_STOP;
    CGuiVUNDGIF drv;
    if (!drv.Open(FALSE)) return POSTURE_NONE;
    DWORD dwValue = 0;
    DWORD dwError = drv.EvalMethod(VUNDG_METHOD_PLST, &dwValue, NULL);
    drv.Close();
    if (dwError != 0) return POSTURE_NO_STOP;
    switch (dwValue & 3) {
    case 1: return GetDisplayOrientation(nDisplay);
    case 3: return POSTURE_NONE;
    default: return POSTURE_NO_STOP;
    }
}

int CMainFrame::GetDisplayOrientation(int nDisplay) {
    WCHAR szDevice[32];
    wsprintfW(szDevice, L"\\\\.\\Display%d", nDisplay);
    DEVMODEW dm;
    memset(&dm, 0, sizeof(dm));
    dm.dmSize = sizeof(DEVMODEW);  // 220 bytes on Windows
    if (!EnumDisplaySettingsW(szDevice, ENUM_CURRENT_SETTINGS, &dm)) return 0;
    if (!(dm.dmFields & DM_DISPLAYORIENTATION)) return 0;
    switch (dm.dmDisplayOrientation) {
    case DMDO_DEFAULT: return 1;
    case DMDO_90: return 2;
    case DMDO_180: return 3;
    case DMDO_270: return 4;
    default: return 0;
    }
}

void CMainFrame::PostRFDecision(int nPosture) {
    SendMessageW(m_hWnd, WM_APP_RFCONTROL, m_ModuleInfo.IsPostureDifferent(nPosture) ? RFCONTROL_ON : RFCONTROL_OFF, 0);
}

void CMainFrame::ControlRF(BOOL bOn) {
    if (m_dwDisabledRFCtrl == 1) return;
    DeliverControl(bOn ? SERVICE_CONTROL_RF_ON : SERVICE_CONTROL_RF_OFF);
}

void CMainFrame::SendServiceControl(DWORD dwCode) { DeliverControl(dwCode); }

void CMainFrame::DeliverControl(DWORD dwCode) {
    SC_HANDLE hScm = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    if (!hScm) return;
    SC_HANDLE hSvc = OpenServiceW(hScm, SERVICE_NAME, SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL);
    if (hSvc) {
        SERVICE_STATUS st;
        memset(&st, 0, sizeof(st));
        ControlService(hSvc, dwCode, &st);
        CloseServiceHandle(hSvc);
    }
    CloseServiceHandle(hScm);
}

HWND CMainFrame::GetRFStoppedDlg() const { return m_pMyDlg ? m_pMyDlg->m_hWnd : NULL; }

void CMainFrame::ShowRFStoppedDlg() {
    if (m_pMyDlg && m_pMyDlg->m_hWnd) {
        m_pMyDlg->Show(SW_HIDE);
        m_pMyDlg->Show(SW_SHOW);
        return;
    }
    CMyDlg* pDlg = new CMyDlg(this);
    if (!pDlg->Create(m_hInstance)) {
        delete pDlg;
        return;
    }
    m_pMyDlg = pDlg;
    pDlg->Show(SW_SHOW);
}

void CMainFrame::OnRFControl(BOOL bOn) {
    ControlRF(bOn);
    if (bOn) {
        if (m_pMyDlg && m_pMyDlg->IsWindowVisible()) m_pMyDlg->Show(SW_HIDE);
        return;
    }
    StopTimer(TIMER_POLLSTART);
    if (!m_bDlgFlag) ShowRFStoppedDlg();
}

BOOL CMainFrame::IsActiveConsoleSession() const { return WTSGetActiveConsoleSessionId() == m_dwSessionId; }

void CMainFrame::CheckPostureChange() {
    if (!m_bRFCtrl || !m_bActive || !m_bTablet) return;
    if (!IsActiveConsoleSession()) {
        DecideForOtherSession();
        return;
    }
    int p = GetPosture(1);
    if (m_ModuleInfo.IsPostureDifferent(p) != m_ModuleInfo.IsPostureDifferent(m_nLastPosture)) {
        m_nLastPosture = p;
        PostRFDecision(p);
    }
}

void CMainFrame::CheckPostureNow() {
    if (!m_bRFCtrl || !m_bActive) return;
    if (!IsActiveConsoleSession()) {
        DecideForOtherSession();
        return;
    }
    int p = GetPosture(1);
    PostRFDecision(p);
    m_nLastPosture = p;
}

void CMainFrame::RefreshRFOff() {
    if (!m_bRFCtrl || !m_bActive) return;
    if (IsActiveConsoleSession()) ControlRF(FALSE);
}

void CMainFrame::DecideForOtherSession() {
    if (!m_bTablet) return;
    ControlRF(GetPosture(1) == POSTURE_NO_STOP);
}

LRESULT CMainFrame::OnRFControlMsg(WPARAM wParam, LPARAM) {
    switch (wParam) {
    case RFCONTROL_ON: OnRFControl(TRUE); break;
    case RFCONTROL_OFF: OnRFControl(FALSE); break;
    case RFCONTROL_POWEROFF: SendServiceControl(SERVICE_CONTROL_MODULE_POWER_OFF); break;
    case RFCONTROL_REFRESH_OFF: RefreshRFOff(); break;
    case RFCONTROL_REFRESH_EVAL: CheckPostureNow(); break;
    default: break;
    }
    return 0;
}

LRESULT CMainFrame::OnDisplayChange(WPARAM, LPARAM) {
    if (m_bTablet) CheckPostureChange();
    return 0;
}

LRESULT CMainFrame::OnDriverEvent(WPARAM, LPARAM) {
    if (!m_bTablet) return 1;
    CheckPostureChange();
    return 0;
}

// ---------------------------------------------------------------------------------------
// The service-ready waiter

DWORD WINAPI CMainFrame::ServiceReadyWaitThread(LPVOID pParam) {
    CMainFrame* p = static_cast<CMainFrame*>(pParam);
    HANDLE hReady = OpenEventW(EVENT_ALL_ACCESS, FALSE, READY_EVENT_NAME);
    if (!hReady) {
        SECURITY_DESCRIPTOR sd;
        SECURITY_ATTRIBUTES sa;
        if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE))
            return 1;
        sa.nLength = sizeof(sa);
        sa.lpSecurityDescriptor = &sd;
        sa.bInheritHandle = TRUE;
        hReady = CreateEventW(&sa, TRUE, FALSE, READY_EVENT_NAME);
        // Without a handle there is nothing to wait for.
        if (!hReady) return 1;
    }
    HANDLE ah[2] = {hReady, p->m_hStopWaitSvc};
    DWORD w = WaitForMultipleObjects(2, ah, FALSE, INFINITE);
    CloseHandle(hReady);
    if (w == WAIT_OBJECT_0 + 1) return 0;  // stopped
    if (w != WAIT_OBJECT_0) return 1;
    // The frame starts its polling timer on its own thread.
    PostMessageW(p->m_hWnd, WM_APP_SERVICEREADY, 0, 0);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Active sync between the instances of the sessions

void CMainFrame::StartActiveSync() {
    m_bSyncSignaller = 0;
    m_bSyncStop = 0;
    SECURITY_DESCRIPTOR sd;
    SECURITY_ATTRIBUTES sa;
    if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE))
        return;
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = &sd;
    sa.bInheritHandle = TRUE;
    m_hActiveSync = CreateEventW(&sa, TRUE, FALSE, ACTIVE_SYNC_EVENT_NAME);
    if (!m_hActiveSync) return;
    ResetEvent(m_hStopEvent);
    SetEvent(m_hActiveSync);
    // The other instances' watchers reset the event once they woke, maybe before this
    // instance's own watcher waits on it: the rule is applied to this instance here, so
    // that an instance starting outside the console session never drives RF.
    if (!IsActiveConsoleSession()) InterlockedExchange(&m_bActive, 0);
    m_SyncThread.Begin(ActiveSyncWatchThread, this);
}

DWORD WINAPI CMainFrame::ActiveSyncWatchThread(LPVOID pParam) {
    CMainFrame* p = static_cast<CMainFrame*>(pParam);
    HANDLE hSync = OpenEventW(EVENT_ALL_ACCESS, FALSE, ACTIVE_SYNC_EVENT_NAME);
    if (!hSync) return 1;
    HANDLE ah[2] = {hSync, p->m_hStopEvent};
    while (!p->m_bSyncStop) {
        DWORD w = WaitForMultipleObjects(2, ah, FALSE, INFINITE);
        if (w != WAIT_OBJECT_0) break;
        // The signaller's mark spares it its own signal only: kept past it (as when the
        // instance signalled as the console's), it would keep the instance driving RF after
        // the console moved to another session.
        BOOL bSignaller = InterlockedExchange(&p->m_bSyncSignaller, 0);
        if (!p->IsActiveConsoleSession() && !bSignaller) InterlockedExchange(&p->m_bActive, 0);
        ResetEvent(hSync);
    }
    CloseHandle(hSync);
    return 0;
}
