// The hidden main frame of RVQXCTRL: set-up, the RF decision and its control codes to the
// service, the threads that feed the frame, and its tear-down.
#pragma once

#include <windows.h>

#include "DevChkWnd.h"
#include "MBApiWatch.h"
#include "ModuleInfo.h"
#include "Notices.h"
#include "VqFrame.h"

#define FRAME_TITLE L"RVQXCTRL"
#define FRAME_CLASS L"RVQXCTRLFrame"
#define SERVICE_NAME L"RVQXSVC"

// Messages of the frame.
#define WM_APP_DRIVEREVENT 0x9000
#define WM_APP_RFCONTROL 0x9001
#define WM_APP_NOTIFY 0x9005
// Internal: the service-ready waiter asks the frame to start its polling.
#define WM_APP_SERVICEREADY 0x9006

// wParam of WM_APP_RFCONTROL.
#define RFCONTROL_ON 0x9002
#define RFCONTROL_OFF 0x9003
#define RFCONTROL_POWEROFF 0x9009
#define RFCONTROL_REFRESH_OFF 0x9010
#define RFCONTROL_REFRESH_EVAL 0x9011

// wParam of WM_APP_NOTIFY.
#define NOTIFY_LOGON 0x9006
#define NOTIFY_RFSTOPPED 0x9007
#define NOTIFY_FIRSTCHECK 0x9008

// User control codes of the service.
#define SERVICE_CONTROL_RF_ON 128
#define SERVICE_CONTROL_RF_OFF 129
#define SERVICE_CONTROL_MODULE_POWER_OFF 161
#define SERVICE_CONTROL_MODULE_EJECT 171
#define SERVICE_CONTROL_MODULE_RECOVER 181

// Timers of the frame.
#define TIMER_FIRSTCHECK 4
#define TIMER_POLLSTART 5
#define TIMER_POLLRESUME 7
#define TIMER_AUTORESUME 8
#define TIMER_RECOVERY 9

// Posture codes.
#define POSTURE_NONE 0
#define POSTURE_NO_STOP 5

#define READY_EVENT_NAME L"Global\\RVQXSvcReadyEvent"
#define ACTIVE_SYNC_EVENT_NAME L"Global\\RVQXCtrlActiveSync"
#define DEVICE_CHANGE_EVENT_NAME L"DeviceChangeComplete"

#define USER_KEY L"Software\\Quarven\\Lumora"
#define LIST_EJECT L"EjectId"
#define LIST_CHKUSING L"ChkUsingId"
#define DRIVER_THREAD_STOP_MS 500

// A product setting (HKLM\SOFTWARE\Quarven\Veltrane): TRUE when read.
BOOL ReadProductDword(LPCWSTR pszName, DWORD* pdwValue);
// A value of the current user's key (HKCU\Software\Quarven\Lumora): TRUE when read.
BOOL ReadUserDword(LPCWSTR pszName, DWORD* pdwValue);
// The module ID begins an EjectId<n> entry (case ignored).
BOOL IsEjectTarget(LPCWSTR pszModuleId);
// The COM port of a present ChkUsingId<n> device is in use.
BOOL IsCheckedPortInUse();
// The state another program of the maker keeps under HKCU\Software\Quarven\Tarsk: 0 none,
// 1 other, 2 TarskState 1, 3 TarskState 2 with NoWake 0, 4 TarskState 2 with NoWake 1.
int GetTarskState();
// The panel's AC brightness is at its lowest supported level (\\.\LCD).
BOOL IsLcdAtLowestBrightness();

class CMyDlg;

class CMainFrame : public CVqFrameWnd {
public:
    explicit CMainFrame(LPCWSTR pszCmdLine);
    ~CMainFrame() override;

    // Creates the hidden frame (its WM_CREATE runs the set-up); FALSE when it could not.
    BOOL LoadFrame(HINSTANCE hInstance);

    // The RF decision and the service link.
    int GetPosture(int nDisplay);
    int GetDisplayOrientation(int nDisplay);
    void PostRFDecision(int nPosture);
    void ControlRF(BOOL bOn);
    void SendServiceControl(DWORD dwCode);
    void OnRFControl(BOOL bOn);
    void CheckPostureChange();
    void CheckPostureNow();
    void RefreshRFOff();
    void DecideForOtherSession();
    void StartFirstCheck(DWORD dwPeriod);
    // Starts the wait for the service's ready event unless it is running.
    void WaitForService();
    // Power and sessions.
    void OnSuspend();
    void StartResumePolling(DWORD dwPeriod);
    void StartAutoResumeCheck(DWORD dwPeriod);
    void StartActiveSync();
    BOOL IsActiveConsoleSession() const;

    // State read by the program's threads and its tests.
    BOOL IsActive() const { return m_bActive != 0; }
    BOOL IsRFCtrl() const { return m_bRFCtrl; }
    BOOL IsTablet() const { return m_bTablet; }
    int GetLastPosture() const { return m_nLastPosture; }
    BOOL IsEjectFlag() const { return m_bEjectTarget; }
    HWND GetRFStoppedDlg() const;
    HWND GetDevChkHwnd() const { return m_DevChkWnd.GetHwnd(); }
    UINT_PTR GetTimer(UINT nId) const;
    const CModuleInfo& GetModuleInfo() const { return m_ModuleInfo; }
    const CMBApiWatcher& GetMBApi() const { return m_MBApi; }

    // Called by the RF-stopped dialog when it ends.
    void ForgetRFStoppedDlg() { m_pMyDlg = NULL; }

    // The notices.
    void LoadTexts();
    LPCWSTR GetText(int nText) const;
    // The pictures (set-up, with the texts) and their end (the frame's destruction).
    void LoadPictures();
    void FreePictures();
    const NoticePictureSlot& GetPicture(int nSlot) const { return m_aPictures[nSlot]; }
    WORD GetLangId() const { return m_wLangId; }
    HWND GetLogonDlg() const;
    void ForgetLogonDlg() { m_pLogonDlg = NULL; }
    // The user's choice in a dialog (the notice's or the RF-stopped one's): kept in HKCU.
    void SetUserChoice(BOOL bNotice, BOOL bNoMore);
    BOOL IsRFStoppedDlgWanted() const { return !m_bDlgFlag; }
    BOOL IsNoticeWanted() const { return !m_bLogonDlgFlag; }

protected:
    VQ_DECLARE_MESSAGE_MAP()

    // Hands a control code to the service (the service manager's ControlService).
    virtual void DeliverControl(DWORD dwCode);

    LRESULT OnCreate(WPARAM, LPARAM);
    LRESULT OnSetFocus(WPARAM, LPARAM);
    LRESULT OnDeviceChange(WPARAM, LPARAM);
    LRESULT OnPowerBroadcast(WPARAM, LPARAM);
    LRESULT OnDisplayChange(WPARAM, LPARAM);
    LRESULT OnDriverEvent(WPARAM, LPARAM);
    LRESULT OnSessionChange(WPARAM, LPARAM);
    LRESULT OnRFControlMsg(WPARAM, LPARAM);
    LRESULT OnNotify(WPARAM, LPARAM);
    LRESULT OnServiceReady(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnEndSession(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);

    void SetUp();
    void ReadSettings();
    void ShowRFStoppedDlg();
    void ShowLogonDlg();
    void StartSplash();
    void StartTimer(UINT nId, DWORD dwPeriod);
    void StopTimer(UINT nId);
    void StopAllTimers();
    // Adds a polling step to a sum; TRUE when the polling has run its time.
    static BOOL PollingDone(DWORD& dwSum, DWORD dwStep, DWORD dwMax);
    void StopThreads();

    static DWORD WINAPI DriverEventThread(LPVOID pParam);
    static DWORD WINAPI ActiveSyncWatchThread(LPVOID pParam);
    static DWORD WINAPI ServiceReadyWaitThread(LPVOID pParam);
    static DWORD WINAPI SessionRegisterThread(LPVOID pParam);

    HINSTANCE m_hInstance;
    WCHAR m_szCmdLine[MAX_PATH];
    CDevChkWnd m_DevChkWnd;
    CVqFrameWnd m_wndView;
    CModuleInfo m_ModuleInfo;
    CMBApiWatcher m_MBApi;
    BOOL m_bEjectTarget;

    HANDLE m_hStopPanelState;  // "StopPanelStateThread"
    HANDLE m_hStopEvent;       // "StopEventThread": the active-sync watcher
    HANDLE m_hStopWaitSvc;     // "StopWaitSvcThread"
    HANDLE m_hDeviceChange;    // "DeviceChangeComplete"
    HANDLE m_hActiveSync;      // this instance's handle of the active-sync event
    CVqThread m_DriverThread;
    CVqThread m_SyncThread;
    CVqThread m_WaitSvcThread;
    BOOL m_bWaitedForService = FALSE;  // the ready wait was started at least once
    CVqThread m_SessionThread;
    HANDLE m_hSessionStop;  // the session-registration thread's stop event
    volatile LONG m_bSessionRegistered;

    BOOL m_bTablet;
    BOOL m_bDisableSAR;
    BOOL m_bDisableWatchPanel;
    DWORD m_dwSessionId;
    BOOL m_bRFCtrl;
    volatile LONG m_bActive;
    volatile LONG m_bSyncSignaller;
    volatile LONG m_bSyncStop;
    int m_nLastPosture;
    BOOL m_bFirstCheckDone;
    DWORD m_dwDlgDebug;
    BOOL m_bDlgFlag;
    BOOL m_bLogonDlgFlag;
    CMyDlg* m_pMyDlg;
    CLogonMyDlg* m_pLogonDlg;
    WORD m_wLangId;
    WCHAR m_szTexts[TEXT_COUNT][TEXT_CCH];
    volatile LONG m_bPollAtStart;
    UINT_PTR m_nTimer[10];
    DWORD m_dwPollSum;
    DWORD m_dwResumeSum;

    DWORD m_dwPollingMaxTime;
    DWORD m_dwPollingInterval;
    DWORD m_dwStartTime;
    DWORD m_dwResumePollingMaxTime;
    DWORD m_dwResumePollingInterval;
    DWORD m_dwResumeStamp;
    DWORD m_dwAllowEjectFromResume;
    DWORD m_dwBlockTimeShortTimeSuspend;
    DWORD m_dwWaitTimeRemoveComplete;
    DWORD m_dwDisabledRFCtrl;
    DWORD m_dwResumeRecoveryWaitTime;
    DWORD m_dwEnableRFRefresh;
    // GDI+ is started once, for the first PNG picture, and shut down after every image.
    NoticePictureSlot m_aPictures[PICTURE_COUNT];
    BOOL m_bGdiplusStarted;
    ULONG_PTR m_ulGdiplusToken;
};
