// The progress window: a hidden window on a thread of its own that shows, steps and hides
// the dialog library's progress dialog, and brings it to the front.
#pragma once

#include <windows.h>

#include "SetupDlgLib.h"
#include "ThreadCtl.h"

#define WM_APP_STARTSTEPIT (WM_APP + 0x1001)
#define WM_APP_STOPSTEPIT (WM_APP + 0x1002)
#define WM_APP_SHOWDIALOG (WM_APP + 0x1003)
#define WM_APP_HIDEDIALOG (WM_APP + 0x1004)
// Hands new settings and a descriptor to a running window (lParam: SetupDlgUpdate*).
#define WM_APP_SETDIALOG (WM_APP + 0x1005)

#define SETUPDLG_TIMER_FRONT 1
#define SETUPDLG_TIMER_STEP 2

struct SetupDlgSettings {
    int nKeepFront;        // bring the dialog to the front (1)
    int nMarquee;          // marquee bar (0)
    int nAutoStep;         // step the bar by timer (0)
    int nFrontIntervalMs;  // 1000
    int nStepIntervalMs;   // 1000
    int nRange;            // 100
};

struct SetupDlgUpdate {
    SetupDlgSettings settings;
    const SetupDlgDesc* pDesc;
};

class CSetupDlgCtrl : public CWndCtl {
public:
    CSetupDlgCtrl();
    ~CSetupDlgCtrl() override;

    // Takes the settings and the descriptor, then starts the window thread (waiting up to
    // 20000 ms); a running window gets them in a message instead. 1 when the window is up.
    int Start(const SetupDlgSettings& settings, const SetupDlgDesc& desc);
    // Copies the descriptor into the window's own (in a message while it runs).
    void SetDescriptor(const SetupDlgDesc& desc);

    LRESULT WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void Bind();
    void Unbind();

    HMODULE m_hLib;
    PFN_SetupDlgDoModalDlg m_pfnDoModal;
    PFN_SetupDlgShowDlg m_pfnShow;
    PFN_SetupDlgStrWin m_pfnStrWin;
    HWND m_hOwner;
    SetupDlgDesc m_Desc;
    SetupDlgSettings m_Settings;
};

// Brings a window to the front, borrowing the foreground thread's input when asked to.
class CForegroundCtrl {
public:
    explicit CForegroundCtrl(HWND hWnd = NULL) : m_hWnd(hWnd) {}
    // 1, or 0 when the input of the two threads cannot be attached.
    int SetForeground(HWND hWnd, int bForce);

private:
    HWND m_hWnd;
};
