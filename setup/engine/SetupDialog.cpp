// The progress window, the dialog library binding and the commands DOMODAL_DIALOG,
// SHOW_DIALOG and SHOW_STRWIN.
#include "SetupCtrl.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "DbgMac.h"
#include "SetupDlgCtrl.h"
#include "SetupExec.h"
#include "SetupGlobals.h"

namespace {

#define STRWIN_WAIT_MS 10000
#define FINISH_WAIT_MS 3000
#define MARQUEE_MS 50

int ReadInt(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, int nDefault) {
    return (int)GetPrivateProfileIntW(pszSection, pszKey, nDefault, pszIni);
}

void ClearHandles(SetupDlgDesc* pDesc) {
    pDesc->hProgressBar = NULL;
    pDesc->hCaption = NULL;
    pDesc->hDetail = NULL;
    pDesc->hDialog = NULL;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CForegroundCtrl

int CForegroundCtrl::SetForeground(HWND hWnd, int bForce) {
    if (!hWnd) hWnd = m_hWnd;
    DWORD dwThread = GetWindowThreadProcessId(hWnd, NULL);
    DWORD dwFront = GetWindowThreadProcessId(GetForegroundWindow(), NULL);
    if (!bForce || dwThread == dwFront) {
        SetActiveWindow(hWnd);
        SetForegroundWindow(hWnd);
        return 1;
    }
    if (!AttachThreadInput(dwThread, dwFront, TRUE)) return 0;
    SetActiveWindow(hWnd);
    DWORD dwTimeout = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &dwTimeout, 0);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (PVOID)(ULONG_PTR)0, 0);
    SetActiveWindow(hWnd);
    SetForegroundWindow(hWnd);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (PVOID)(ULONG_PTR)dwTimeout, 0);
    AttachThreadInput(dwFront, dwThread, FALSE);
    return 1;
}

// ---------------------------------------------------------------------------------------
// CSetupDlgCtrl

CSetupDlgCtrl::CSetupDlgCtrl() : m_hLib(NULL), m_pfnDoModal(NULL), m_pfnShow(NULL), m_pfnStrWin(NULL), m_hOwner(NULL) {
    memset(&m_Desc, 0, sizeof(m_Desc));
    SetupDlgSettings s = {1, 0, 0, 1000, 1000, 100};
    m_Settings = s;
}

CSetupDlgCtrl::~CSetupDlgCtrl() {
    // The thread first: it may still use the library.
    Close();
    Unbind();
}

void CSetupDlgCtrl::Bind() {
    if (m_hLib) return;
    m_hLib = LoadLibraryW(SETUPDLG_LIBRARY_NAME);
    if (!m_hLib) {
        DBGPRINT(L"Not found Pavrix.dll");
        return;
    }
    m_pfnDoModal = (PFN_SetupDlgDoModalDlg)(void*)GetProcAddress(m_hLib, SETUPDLG_DOMODAL_NAME);
    m_pfnShow = (PFN_SetupDlgShowDlg)(void*)GetProcAddress(m_hLib, SETUPDLG_SHOW_NAME);
    m_pfnStrWin = (PFN_SetupDlgStrWin)(void*)GetProcAddress(m_hLib, SETUPDLG_STRWIN_NAME);
}

void CSetupDlgCtrl::Unbind() {
    if (!m_hLib) return;
    FreeLibrary(m_hLib);
    m_hLib = NULL;
    m_pfnDoModal = NULL;
    m_pfnShow = NULL;
    m_pfnStrWin = NULL;
}

int CSetupDlgCtrl::Start(const SetupDlgSettings& settings, const SetupDlgDesc& desc) {
    if (GetHwnd()) {
        SetupDlgUpdate update = {settings, &desc};
        SendMessageW(GetHwnd(), WM_APP_SETDIALOG, 0, (LPARAM)&update);
        return 1;
    }
    m_Settings = settings;
    m_Desc = desc;
    return Create(NULL);
}

void CSetupDlgCtrl::SetDescriptor(const SetupDlgDesc& desc) {
    if (GetHwnd()) {
        SetupDlgUpdate update = {m_Settings, &desc};
        SendMessageW(GetHwnd(), WM_APP_SETDIALOG, 0, (LPARAM)&update);
    } else {
        m_Desc = desc;
    }
}

LRESULT CSetupDlgCtrl::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_CREATE:
        DBGPRINT(L"SetupDlgCtrl: Get WM_CREATE");
        Bind();
        m_hOwner = hWnd;
        break;
    case WM_APP_SETDIALOG: {
        const SetupDlgUpdate* pUpdate = (const SetupDlgUpdate*)lParam;
        m_Settings = pUpdate->settings;
        m_Desc = *pUpdate->pDesc;
        return 0;
    }
    case WM_APP_SHOWDIALOG:
        DBGPRINT(L"SetupDlgCtrl: Get WM_APP_SHOWDIALOG");
        if (!m_pfnShow) break;
        if (m_Settings.nMarquee) {
            DBGPRINT(L"SetupDlgCtrl: Show Status Marquee Dialog");
            m_pfnShow(&m_Desc, m_hOwner, 1);
            g_SetupDlgDesc = m_Desc;
            SetWindowLongW(m_Desc.hProgressBar, GWL_STYLE,
                           GetWindowLongW(m_Desc.hProgressBar, GWL_STYLE) | PBS_MARQUEE);
            if (!SendMessageW(m_Desc.hProgressBar, PBM_SETMARQUEE, TRUE, MARQUEE_MS))
                DBGPRINT(L"SetupDlgCtrl: Error : can not enable Marquee style.");
        } else {
            DBGPRINT(L"SetupDlgCtrl: Show Status Dialog");
            m_pfnShow(&m_Desc, m_hOwner, 1);
            SendMessageW(m_Desc.hProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, m_Settings.nRange));
            SendMessageW(m_Desc.hProgressBar, PBM_SETSTEP, 1, 0);
            g_SetupDlgDesc = m_Desc;
            if (m_Settings.nAutoStep) {
                KillTimer(hWnd, SETUPDLG_TIMER_STEP);
                SetTimer(hWnd, SETUPDLG_TIMER_STEP, (UINT)m_Settings.nStepIntervalMs, NULL);
            }
        }
        if (m_Settings.nKeepFront) {
            KillTimer(hWnd, SETUPDLG_TIMER_FRONT);
            SetTimer(hWnd, SETUPDLG_TIMER_FRONT, (UINT)m_Settings.nFrontIntervalMs, NULL);
        }
        break;
    case WM_APP_HIDEDIALOG:
        DBGPRINT(L"SetupDlgCtrl: Get WM_APP_HIDEDIALOG");
        if (m_Settings.nMarquee) {
            DBGPRINT(L"SetupDlgCtrl: Hide Marquee Staus Dialog");
            if (!SendMessageW(m_Desc.hProgressBar, PBM_SETMARQUEE, FALSE, 0))
                DBGPRINT(L"SetupDlgCtrl: Error : can not disable Marquee style.");
            if (m_pfnShow) m_pfnShow(&m_Desc, m_hOwner, 0);
            SetWindowLongW(m_Desc.hProgressBar, GWL_STYLE,
                           GetWindowLongW(m_Desc.hProgressBar, GWL_STYLE) & ~PBS_MARQUEE);
            KillTimer(hWnd, SETUPDLG_TIMER_FRONT);
        } else {
            DBGPRINT(L"SetupDlgCtrl: Hide Status Dialog");
            if (m_pfnShow) m_pfnShow(&m_Desc, m_hOwner, 0);
            KillTimer(hWnd, SETUPDLG_TIMER_FRONT);
            KillTimer(hWnd, SETUPDLG_TIMER_STEP);
        }
        break;
    case WM_APP_STARTSTEPIT:
        DBGPRINT(L"SetupDlgCtrl: Get WM_APP_STARTSTEPIT");
        KillTimer(hWnd, SETUPDLG_TIMER_STEP);
        SetTimer(hWnd, SETUPDLG_TIMER_STEP, 1000, NULL);
        break;
    case WM_APP_STOPSTEPIT:
        DBGPRINT(L"SetupDlgCtrl: Get WM_APP_STOPSTEPIT");
        KillTimer(hWnd, SETUPDLG_TIMER_STEP);
        break;
    case WM_TIMER:
        if (!m_Desc.hDialog) break;
        if (wParam == SETUPDLG_TIMER_FRONT) {
            DBGPRINT(L"Set Foreground Setup Dialog");
            SetForegroundWindow(m_Desc.hDialog);
        } else if (wParam == SETUPDLG_TIMER_STEP) {
            SendMessageW(m_Desc.hProgressBar, PBM_STEPIT, 0, 0);
        }
        break;
    case WM_DESTROY:
        DBGPRINT(L"SetupDlgCtrl: Get WM_DESTROY");
        KillTimer(hWnd, SETUPDLG_TIMER_FRONT);
        KillTimer(hWnd, SETUPDLG_TIMER_STEP);
        if (m_hOwner) {
            if (m_pfnShow) m_pfnShow(&m_Desc, m_hOwner, 0);
            m_hOwner = NULL;
        }
        Unbind();
        // The dialog dies with this thread: nothing may reach its handles any more.
        ClearHandles(&m_Desc);
        ClearHandles(&g_SetupDlgDesc);
        PostQuitMessage(0);
        break;
    default: break;
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// ---------------------------------------------------------------------------------------
// CSetupCtrl: the library binding and the dialog commands

void CSetupCtrl::BindDialogLibrary() {
    m_hDlgLib = LoadLibraryW(SETUPDLG_LIBRARY_NAME);
    if (!m_hDlgLib) {
        DBGPRINT(L"Not found Pavrix.dll");
        return;
    }
    m_pfnDoModal = (PFN_SetupDlgDoModalDlg)(void*)GetProcAddress(m_hDlgLib, SETUPDLG_DOMODAL_NAME);
    m_pfnShow = (PFN_SetupDlgShowDlg)(void*)GetProcAddress(m_hDlgLib, SETUPDLG_SHOW_NAME);
    m_pfnStrWin = (PFN_SetupDlgStrWin)(void*)GetProcAddress(m_hDlgLib, SETUPDLG_STRWIN_NAME);
}

void CSetupCtrl::CloseProgressWindow() {
    m_DlgCtrl.Close();
    ClearHandles(&g_SetupDlgDesc);
}

unsigned CSetupCtrl::DoModalDialog(LPCWSTR pszIni, LPCWSTR pszSection, SetupDlgDesc* pDesc) {
    if (!m_pfnDoModal) {
        DBGPRINT(L"DoModalDialog:Not found Pavrix.dll");
        return 3;
    }
    DBGPRINT(L"DoModalDialog:Start Ini=%s Section=%s", pszIni, pszSection);
    pDesc->DLG = ReadInt(pszIni, pszSection, L"DLG", 0);
    int bForce = ReadInt(pszIni, pszSection, L"FORCEFOREGROUND", 1);
    int nResult = m_pfnDoModal(pDesc, GetActiveWindow());
    if (pDesc->hDialog) CForegroundCtrl().SetForeground(pDesc->hDialog, bForce);
    DBGPRINT(L"DoModalDialog:End");
    return (unsigned)nResult;
}

unsigned CSetupCtrl::ShowSetupDialog(LPCWSTR pszIni, LPCWSTR pszSection, SetupDlgDesc* pDesc) {
    if (!m_pfnShow) {
        DBGPRINT(L"ShowSetupDialog:Not found Pavrix.dll");
        return 3;
    }
    DBGPRINT(L"ShowSetupDialog:Start Ini=%s Section=%s", pszIni, pszSection);
    pDesc->DLG = ReadInt(pszIni, pszSection, L"DLG", 0);
    int nShow = ReadInt(pszIni, pszSection, L"SHOW", 0);
    int nStep = ReadInt(pszIni, pszSection, L"STEP", 0);
    int bForce = ReadInt(pszIni, pszSection, L"FORCEFOREGROUND", 1);
    SetupDlgSettings settings = {
        1,    ReadInt(pszIni, pszSection, L"MARQUEE", 0),  ReadInt(pszIni, pszSection, L"AUTO", 0),
        1000, ReadInt(pszIni, pszSection, L"INTERVAL", 0), nStep};
    if (!nShow && pDesc->hProgressBar) {
        if (pDesc->hDialog) CForegroundCtrl().SetForeground(pDesc->hDialog, bForce);
        SendMessageW(m_DlgCtrl.GetHwnd(), WM_APP_STOPSTEPIT, 0, 0);
        if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(pDesc, L"Finish...", L"");
        SendMessageW(pDesc->hProgressBar, PBM_SETPOS, (WPARAM)nStep, 0);
        Sleep(FINISH_WAIT_MS);
        SendMessageW(m_DlgCtrl.GetHwnd(), WM_APP_HIDEDIALOG, 0, 0);
        CloseProgressWindow();
    }
    if (nShow) {
        m_DlgCtrl.Start(settings, *pDesc);
        SendMessageW(m_DlgCtrl.GetHwnd(), WM_APP_SHOWDIALOG, 0, 0);
        if (pDesc->hDialog) CForegroundCtrl().SetForeground(pDesc->hDialog, bForce);
    } else {
        m_DlgCtrl.SetDescriptor(*pDesc);
    }
    DBGPRINT(L"ShowSetupDialog:End\n");
    return 0;
}

unsigned CSetupCtrl::ShowStringWindow(LPCWSTR pszIni, LPCWSTR pszSection) {
    if (!m_pfnStrWin) {
        DBGPRINT(L"ShowStringWindow:Not found Pavrix.dll");
        return 3;
    }
    WCHAR szMsg[SETUP_ITEM_CCH], szX[32], szY[32];
    GetPrivateProfileStringW(pszSection, L"MSG", L"", szMsg, SETUP_ITEM_CCH, pszIni);
    GetPrivateProfileStringW(pszSection, L"XRATE", L"0.5", szX, 32, pszIni);
    GetPrivateProfileStringW(pszSection, L"YRATE", L"0.5", szY, 32, pszIni);
    int nShow = ReadInt(pszIni, pszSection, L"SHOW", 1);
    int nFont = ReadInt(pszIni, pszSection, L"FONTH", 20);
    int nRed = ReadInt(pszIni, pszSection, L"R", 255);
    int nGreen = ReadInt(pszIni, pszSection, L"G", 255);
    int nBlue = ReadInt(pszIni, pszSection, L"B", 255);
    DBGPRINT(L"ShowStringWindow:Start Ini=%s Section=%s", pszIni, pszSection);
    int nResult = m_pfnStrWin(nShow, szMsg, wcstod(szX, NULL), wcstod(szY, NULL), nFont, nRed, nGreen, nBlue);
    Sleep(STRWIN_WAIT_MS);
    DBGPRINT(L"ShowStringWindow:End");
    return (unsigned)nResult;
}
