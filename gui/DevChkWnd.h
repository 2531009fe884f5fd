// The device-check window: a hidden window on a thread of its own that sets
// "DeviceChangeComplete" 1000 ms after the last of a burst of device removals, also while
// the frame's own thread is blocked.
#pragma once

#include "ThreadCtl.h"

#define DEVCHK_TIMER_ARRIVAL 0
#define DEVCHK_TIMER_REMOVAL 1
#define DEVCHK_SETTLE_MS 1000

class CDevChkWnd : public CWndCtl {
public:
    CDevChkWnd() : m_lWaiting(0), m_lResume(0) {}
    ~CDevChkWnd() override { Close(); }
    LRESULT WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    // While the frame's thread waits before a sleep, a resume broadcast does not reach the
    // frame (a sent message not taken in time is dropped): this window's thread hears it.
    // EndWait gives the resume event heard since BeginWait (PBT_APMRESUMESUSPEND before
    // PBT_APMRESUMECRITICAL before PBT_APMRESUMEAUTOMATIC), 0 when none.
    void BeginWait() {
        InterlockedExchange(&m_lResume, 0);
        InterlockedExchange(&m_lWaiting, 1);
    }
    WPARAM EndWait() {
        InterlockedExchange(&m_lWaiting, 0);
        return static_cast<WPARAM>(InterlockedExchange(&m_lResume, 0));
    }

private:
    volatile LONG m_lWaiting;
    volatile LONG m_lResume;
};

class CMainFrame;

// The RF-stopped dialog (dialog 131), modeless, owned by the frame.
#include "VqFrame.h"

class CMyDlg : public CVqDialog {
public:
    explicit CMyDlg(CMainFrame* pFrame);
    void Show(int nCmdShow) { ShowWindow(nCmdShow); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void PostNcDestroy() override;

    CMainFrame* m_pFrame;
};
