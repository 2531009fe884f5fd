// The main frame: construction, set-up, message map, tear-down and the threads that feed
// it.
#include "MainFrm.h"

#include <dbt.h>
#include <wtsapi32.h>

#include "HCIOps.h"
#include "resource.h"

#include <initializer_list>
#include <string.h>

#define DRIVER_REOPEN_MS 50

namespace {

HANDLE CreateFrameEvent(LPCWSTR pszName) { return CreateEventW(NULL, TRUE, FALSE, pszName); }

void CloseIf(HANDLE& h) {
    if (h) CloseHandle(h);
    h = NULL;
}

// Security attributes with a NULL DACL, for the events shared between sessions.
struct OpenSecurity {
    SECURITY_DESCRIPTOR sd;
    SECURITY_ATTRIBUTES sa;
    BOOL Init(BOOL bInherit) {
        if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) return FALSE;
        if (!SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE)) return FALSE;
        sa.nLength = sizeof(sa);
        sa.lpSecurityDescriptor = &sd;
        sa.bInheritHandle = bInherit;
        return TRUE;
    }
};

BOOL ReadDwordOf(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszName, DWORD* pdwValue) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(hRoot, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return FALSE;
    DWORD dw = 0, cb = sizeof(dw);
    LONG r = RegQueryValueExW(hKey, pszName, NULL, NULL, reinterpret_cast<LPBYTE>(&dw), &cb);
    RegCloseKey(hKey);
    if (r != ERROR_SUCCESS || cb != sizeof(dw)) return FALSE;
    *pdwValue = dw;
    return TRUE;
}

}  // namespace

BOOL ReadProductDword(LPCWSTR pszName, DWORD* pdwValue) {
    return ReadDwordOf(HKEY_LOCAL_MACHINE, PRODUCT_KEY, pszName, pdwValue);
}

BOOL ReadUserDword(LPCWSTR pszName, DWORD* pdwValue) {
    return ReadDwordOf(HKEY_CURRENT_USER, USER_KEY, pszName, pdwValue);
}

// ---------------------------------------------------------------------------------------
// Construction and destruction

CMainFrame::CMainFrame(LPCWSTR pszCmdLine)
    : m_hInstance(NULL),
      m_bEjectTarget(FALSE),
      m_hStopPanelState(NULL),
      m_hStopEvent(NULL),
      m_hStopWaitSvc(NULL),
      m_hDeviceChange(NULL),
      m_hActiveSync(NULL),
      m_hSessionStop(NULL),
      m_bSessionRegistered(0),
      m_bTablet(FALSE),
      m_bDisableSAR(FALSE),
      m_bDisableWatchPanel(FALSE),
      m_dwSessionId(0),
      m_bRFCtrl(FALSE),
      m_bActive(1),
      m_bSyncSignaller(0),
      m_bSyncStop(0),
      m_nLastPosture(0),
      m_bFirstCheckDone(FALSE),
      m_dwDlgDebug(0),
      m_bDlgFlag(FALSE),
      m_bLogonDlgFlag(FALSE),
      m_pMyDlg(NULL),
      m_pLogonDlg(NULL),
      m_wLangId(0),
      m_bPollAtStart(1),
      m_dwPollSum(0),
      m_dwResumeSum(0),
      m_dwPollingMaxTime(0),
      m_dwPollingInterval(0),
      m_dwStartTime(0),
      m_dwResumePollingMaxTime(0),
      m_dwResumePollingInterval(0),
      m_dwResumeStamp(0),
      m_dwAllowEjectFromResume(0),
      m_dwBlockTimeShortTimeSuspend(0),
      m_dwWaitTimeRemoveComplete(0),
      m_dwDisabledRFCtrl(0),
      m_dwResumeRecoveryWaitTime(0),
      m_dwEnableRFRefresh(0),
      m_bGdiplusStarted(FALSE),
      m_ulGdiplusToken(0) {
    lstrcpynW(m_szCmdLine, pszCmdLine ? pszCmdLine : L"", MAX_PATH);
    memset(m_nTimer, 0, sizeof(m_nTimer));
    memset(m_szTexts, 0, sizeof(m_szTexts));
    memset(m_aPictures, 0, sizeof(m_aPictures));
    // The module record (built by CModuleInfo's constructor: RF-stop posture, module).
    if (m_ModuleInfo.IsPresent()) m_bEjectTarget = IsEjectTarget(m_ModuleInfo.GetModuleId());
    m_hStopPanelState = CreateFrameEvent(L"StopPanelStateThread");
    m_hStopEvent = CreateFrameEvent(L"StopEventThread");
    m_hStopWaitSvc = CreateFrameEvent(L"StopWaitSvcThread");
    m_hDeviceChange = CreateFrameEvent(DEVICE_CHANGE_EVENT_NAME);
}

CMainFrame::~CMainFrame() {
    // Normally WM_DESTROY has stopped them already.
    StopThreads();
    if (m_SessionThread.IsRunning()) {
        if (m_hSessionStop) SetEvent(m_hSessionStop);
        m_SessionThread.End(DRIVER_THREAD_STOP_MS);
    }
    CloseIf(m_hSessionStop);
    m_DevChkWnd.Close();
    if (m_hWnd && IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    CloseIf(m_hStopPanelState);
    CloseIf(m_hStopEvent);
    CloseIf(m_hStopWaitSvc);
    CloseIf(m_hDeviceChange);
    FreePictures();
}

BOOL CMainFrame::LoadFrame(HINSTANCE hInstance) {
    m_hInstance = hInstance;
    WCHAR szTitle[64];
    if (LoadStringW(hInstance, IDR_MAINFRAME, szTitle, 64) <= 0) lstrcpynW(szTitle, FRAME_TITLE, 64);
    HICON hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    HMENU hMenu = LoadMenuW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    return CreateEx(0, FRAME_CLASS, szTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, NULL, hMenu, hInstance, CS_HREDRAW | CS_VREDRAW, hIcon,
                    reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

// ---------------------------------------------------------------------------------------
// Message map, in the frame's order

VQ_BEGIN_MESSAGE_MAP(CMainFrame)
VQ_ON_MESSAGE(WM_CREATE, OnCreate)
VQ_ON_MESSAGE(WM_SETFOCUS, OnSetFocus)
VQ_ON_MESSAGE(WM_DEVICECHANGE, OnDeviceChange)
VQ_ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
VQ_ON_MESSAGE(WM_DISPLAYCHANGE, OnDisplayChange)
VQ_ON_MESSAGE(WM_APP_DRIVEREVENT, OnDriverEvent)
VQ_ON_MESSAGE(WM_WTSSESSION_CHANGE, OnSessionChange)
VQ_ON_MESSAGE(WM_APP_RFCONTROL, OnRFControlMsg)
VQ_ON_MESSAGE(WM_APP_NOTIFY, OnNotify)
VQ_ON_MESSAGE(WM_APP_SERVICEREADY, OnServiceReady)
VQ_ON_MESSAGE(WM_DESTROY, OnDestroy)
VQ_ON_MESSAGE(WM_TIMER, OnTimer)
VQ_ON_MESSAGE(WM_ENDSESSION, OnEndSession)
VQ_ON_MESSAGE(WM_CLOSE, OnClose)
VQ_END_MESSAGE_MAP()

LRESULT CMainFrame::OnCreate(WPARAM, LPARAM) {
    // The client view: a plain child that paints nothing.
    if (!m_wndView.CreateEx(0, L"RVQXCTRLView", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, m_hWnd,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(0xE900)), m_hInstance,
                            CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, NULL, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)))
        return -1;
    ::ShowWindow(m_hWnd, SW_HIDE);
    SetUp();
    return 0;
}

LRESULT CMainFrame::OnSetFocus(WPARAM, LPARAM) {
    if (m_wndView.m_hWnd) SetFocus(m_wndView.m_hWnd);
    return 0;
}

LRESULT CMainFrame::OnDeviceChange(WPARAM wParam, LPARAM) {
    if (wParam == DBT_DEVICEREMOVECOMPLETE && m_hDeviceChange) SetEvent(m_hDeviceChange);
    return 0;
}

LRESULT CMainFrame::OnEndSession(WPARAM wParam, LPARAM) {
    Default();
    // Only a session that really ends takes the program with it.
    if (wParam) ::DestroyWindow(m_hWnd);
    return 0;
}

LRESULT CMainFrame::OnClose(WPARAM, LPARAM) {
    ::DestroyWindow(m_hWnd);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Set-up

void CMainFrame::SetUp() {
    ReadProductDword(L"DLGDEBUG", &m_dwDlgDebug);
    m_bTablet = GetSystemMetrics(SM_TABLETPC) != 0;
    DWORD dw = 0;
    m_bDisableSAR = ReadProductDword(L"DisableSAR", &dw) && dw == 1;
    dw = 0;
    m_bDisableWatchPanel = ReadProductDword(L"DisableWatchPanel", &dw) && dw == 1;
    m_nLastPosture = 0;
    if (m_bTablet && !m_bDisableSAR && !m_bDisableWatchPanel) {
        ResetEvent(m_hStopPanelState);
        m_DriverThread.Begin(DriverEventThread, this);
    }
    DWORD dwSession = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &dwSession)) m_dwSessionId = dwSession;
    // This instance drives RF from the start, so that its own signal below cannot take
    // that away while it sets up.
    m_bActive = 1;
    StartActiveSync();
    m_hSessionStop = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (m_hSessionStop) m_SessionThread.Begin(SessionRegisterThread, this);
    m_DevChkWnd.Create(m_hInstance);
    LoadTexts();
    m_bFirstCheckDone = FALSE;
    m_bDlgFlag = ReadUserFlag(USER_FLAG_RFSTOPPED);
    m_bLogonDlgFlag = lstrcmpiW(m_szCmdLine, L"/nogui") == 0 || ReadUserFlag(USER_FLAG_NOTICE);
    if (m_dwDlgDebug == 1) {
        // Both dialogs and splash.exe, whatever the user chose.
        ShowLogonDlg();
        if (!m_pMyDlg) ShowRFStoppedDlg();
        StartSplash();
    }
    for (UINT i = 0; i < 10; ++i) m_nTimer[i] = 0;
    m_bPollAtStart = 1;
    // The settings come first, so that the control below honours DisabledRFCtrl.
    ReadSettings();
    m_bRFCtrl = m_ModuleInfo.IsPresent();
    if (!m_bRFCtrl) {
        // Like every other RF request, only an instance that drives RF sends it: one started
        // outside the console would switch RF off under the console's instance, and nothing
        // would switch it on again when the module comes back.
        if (m_bActive) ControlRF(FALSE);
        return;
    }
    if (m_bTablet && !m_bDisableSAR) SendMessageW(m_hWnd, WM_APP_NOTIFY, NOTIFY_LOGON, 0);
    StartFirstCheck(m_dwStartTime);
    if (m_dwEnableRFRefresh == 1 && m_MBApi.Initialize()) {
        m_MBApi.SetFrameWindow(m_hWnd);
        m_MBApi.StartWatcher();
    }
}

void CMainFrame::ReadSettings() {
    ReadProductDword(L"PollingMaxTime", &m_dwPollingMaxTime);
    ReadProductDword(L"PollingInterval", &m_dwPollingInterval);
    ReadProductDword(L"StartTime", &m_dwStartTime);
    ReadProductDword(L"ResumePollingMaxTime", &m_dwResumePollingMaxTime);
    ReadProductDword(L"ResumePollingInterval", &m_dwResumePollingInterval);
    m_dwResumeStamp = GetTickCount();
    ReadProductDword(L"AllowEjectFromResume", &m_dwAllowEjectFromResume);
    ReadProductDword(L"BlockTimeShortTimeSuspend", &m_dwBlockTimeShortTimeSuspend);
    ReadProductDword(L"WaitTimeRemoveComplete", &m_dwWaitTimeRemoveComplete);
    ReadProductDword(L"DisabledRFCtrl", &m_dwDisabledRFCtrl);
    ReadProductDword(L"ResumeRecoveryWaitTime", &m_dwResumeRecoveryWaitTime);
    ReadProductDword(L"EnableRFRefresh", &m_dwEnableRFRefresh);
}

// ---------------------------------------------------------------------------------------
// Timers

UINT_PTR CMainFrame::GetTimer(UINT nId) const { return nId < 10 ? m_nTimer[nId] : 0; }

void CMainFrame::StartTimer(UINT nId, DWORD dwPeriod) {
    KillTimer(m_hWnd, nId);
    // A missing or 0 period means the timer does not run (SetTimer would make it fire at
    // once, again and again).
    m_nTimer[nId] = dwPeriod ? SetTimer(m_hWnd, nId, dwPeriod, NULL) : 0;
}

void CMainFrame::StopTimer(UINT nId) {
    if (m_nTimer[nId]) KillTimer(m_hWnd, nId);
    m_nTimer[nId] = 0;
}

void CMainFrame::StopAllTimers() {
    for (UINT id : {TIMER_FIRSTCHECK, TIMER_POLLSTART, TIMER_POLLRESUME, TIMER_AUTORESUME, TIMER_RECOVERY})
        StopTimer(id);
}

void CMainFrame::StartFirstCheck(DWORD dwPeriod) {
    if (!m_bRFCtrl || !m_bActive) return;
    if (!m_nTimer[TIMER_FIRSTCHECK]) StartTimer(TIMER_FIRSTCHECK, dwPeriod);
    WaitForService();
}

void CMainFrame::WaitForService() {
    m_bWaitedForService = TRUE;
    if (m_WaitSvcThread.IsRunning()) return;
    ResetEvent(m_hStopWaitSvc);
    m_WaitSvcThread.Begin(ServiceReadyWaitThread, this);
}

LRESULT CMainFrame::OnServiceReady(WPARAM, LPARAM) {
    // The service is ready: the start-up polling begins, on the frame's own thread.
    if (!m_nTimer[TIMER_POLLSTART] && m_bPollAtStart) {
        m_dwPollSum = 0;
        StartTimer(TIMER_POLLSTART, m_dwStartTime);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Tear-down

void CMainFrame::StopThreads() {
    if (m_DriverThread.IsRunning()) {
        // The stop event also cancels the pending driver wait.
        SetEvent(m_hStopPanelState);
        m_DriverThread.End(DRIVER_THREAD_STOP_MS);
        ResetEvent(m_hStopPanelState);
    }
    if (m_SyncThread.IsRunning()) {
        InterlockedExchange(&m_bSyncStop, 1);
        SetEvent(m_hStopEvent);
        m_SyncThread.End(DRIVER_THREAD_STOP_MS);
    }
    CloseIf(m_hActiveSync);
    if (m_WaitSvcThread.IsRunning()) {
        SetEvent(m_hStopWaitSvc);
        m_WaitSvcThread.End(DRIVER_THREAD_STOP_MS);
        ResetEvent(m_hStopWaitSvc);
    }
}

LRESULT CMainFrame::OnDestroy(WPARAM, LPARAM) {
    StopAllTimers();
    // Each dialog's window and object go with the frame.
    if (m_pMyDlg) m_pMyDlg->DestroyWindow();
    m_pMyDlg = NULL;
    if (m_pLogonDlg) m_pLogonDlg->DestroyWindow();
    m_pLogonDlg = NULL;
    StopThreads();
    if (m_dwEnableRFRefresh == 1) {
        m_MBApi.StopWatcher();
        m_MBApi.Shutdown();
    }
    m_DevChkWnd.Close();
    if (m_SessionThread.IsRunning()) {
        SetEvent(m_hSessionStop);
        m_SessionThread.End(DRIVER_THREAD_STOP_MS);
    }
    if (m_bSessionRegistered) WTSUnRegisterSessionNotification(m_hWnd);
    m_bSessionRegistered = 0;
    PostQuitMessage(0);
    return Default();
}
