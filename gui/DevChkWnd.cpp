// The device-check window and the RF-stopped dialog.
#include "DevChkWnd.h"

#include <dbt.h>

#include "MainFrm.h"
#include "resource.h"

LRESULT CDevChkWnd::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVICEARRIVAL) {
            KillTimer(hWnd, DEVCHK_TIMER_ARRIVAL);
            SetTimer(hWnd, DEVCHK_TIMER_ARRIVAL, DEVCHK_SETTLE_MS, NULL);
        } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
            KillTimer(hWnd, DEVCHK_TIMER_REMOVAL);
            SetTimer(hWnd, DEVCHK_TIMER_REMOVAL, DEVCHK_SETTLE_MS, NULL);
        }
        break;
    case WM_POWERBROADCAST:
        if (m_lWaiting &&
            (wParam == PBT_APMRESUMESUSPEND || (wParam == PBT_APMRESUMECRITICAL && m_lResume != PBT_APMRESUMESUSPEND) ||
             (wParam == PBT_APMRESUMEAUTOMATIC && m_lResume == 0)))
            InterlockedExchange(&m_lResume, static_cast<LONG>(wParam));
        break;
    case WM_TIMER:
        KillTimer(hWnd, wParam);
        if (wParam == DEVCHK_TIMER_REMOVAL) {
            HANDLE h = OpenEventW(EVENT_ALL_ACCESS, FALSE, DEVICE_CHANGE_EVENT_NAME);
            if (h) {
                SetEvent(h);
                CloseHandle(h);
            }
        }
        break;
    case WM_DESTROY: PostQuitMessage(0); break;
    default: break;
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

CMyDlg::CMyDlg(CMainFrame* pFrame) : CVqDialog(IDD_RFSTOPPED, pFrame), m_pFrame(pFrame) {}

BOOL CMyDlg::OnInitDialog() {
    static const struct {
        int nControl;
        int nText;
    } kControls[] = {{IDC_RFSTOP_TITLE, TEXT_RFSTOP_TITLE},
                     {IDC_RFSTOP_MESSAGE, TEXT_RFSTOP_MESSAGE},
                     {IDC_RFSTOP_CHECK, TEXT_RFSTOP_CHECK},
                     {IDOK, TEXT_RFSTOP_BUTTON}};
    for (const auto& c : kControls) SetDlgItemTextW(m_hWnd, c.nControl, m_pFrame->GetText(c.nText));
    CheckDlgButton(m_hWnd, IDC_RFSTOP_CHECK, BST_UNCHECKED);
    CenterTopmost(m_hWnd);
    return TRUE;
}

void CMyDlg::OnOK() {
    if (m_pFrame) {
        m_pFrame->SetUserChoice(FALSE, IsDlgButtonChecked(m_hWnd, IDC_RFSTOP_CHECK) == BST_CHECKED);
        m_pFrame->ForgetRFStoppedDlg();
    }
    DestroyWindow();
}

void CMyDlg::OnCancel() {
    if (m_pFrame) m_pFrame->ForgetRFStoppedDlg();
    DestroyWindow();
}

void CMyDlg::PostNcDestroy() {
    // Also when the frame's end takes the dialog with it.
    if (m_pFrame) m_pFrame->ForgetRFStoppedDlg();
    delete this;
}
