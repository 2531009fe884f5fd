// The GUI's window framework (VqFrame.h).
#include "VqFrame.h"

#include <string.h>

// ---------------------------------------------------------------------------------------
// Windows

CVqWnd::CVqWnd() : m_hWnd(NULL), m_uCurMsg(0), m_wCurParam(0), m_lCurParam(0) {}

CVqWnd::~CVqWnd() {
    // An object going away takes its window with it, so that no message finds it later.
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

BOOL CVqWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

CVqWnd* CVqWnd::FromHandle(HWND hWnd) {
    return hWnd ? reinterpret_cast<CVqWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA)) : NULL;
}

const VqMsgEntry* CVqWnd::GetMessageMap() const {
    static const VqMsgEntry s_none[] = {{0, NULL}};
    return s_none;
}

LRESULT CVqWnd::DefaultProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CVqWnd::Default() { return DefaultProc(m_uCurMsg, m_wCurParam, m_lCurParam); }

LRESULT CVqWnd::Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    UINT uPrev = m_uCurMsg;
    WPARAM wPrev = m_wCurParam;
    LPARAM lPrev = m_lCurParam;
    m_uCurMsg = uMsg;
    m_wCurParam = wParam;
    m_lCurParam = lParam;
    LRESULT lr = 0;
    BOOL bHandled = FALSE;
    for (const VqMsgEntry* e = GetMessageMap(); e->pfn; ++e)
        if (e->uMsg == uMsg) {
            lr = (this->*(e->pfn))(wParam, lParam);
            bHandled = TRUE;
            break;
        }
    if (!bHandled) lr = DefaultProc(uMsg, wParam, lParam);
    m_uCurMsg = uPrev;
    m_wCurParam = wPrev;
    m_lCurParam = lPrev;
    return lr;
}

LRESULT CALLBACK CVqWnd::StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CVqWnd* pWnd = FromHandle(hWnd);
    if (!pWnd && uMsg == WM_NCCREATE) {
        pWnd = static_cast<CVqWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (pWnd) {
            pWnd->m_hWnd = hWnd;
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWnd));
        }
    }
    if (!pWnd) return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT lr = pWnd->Dispatch(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        pWnd->m_hWnd = NULL;
        pWnd->PostNcDestroy();
    }
    return lr;
}

BOOL CVqFrameWnd::CreateEx(DWORD dwExStyle, LPCWSTR pszClass, LPCWSTR pszTitle, DWORD dwStyle, int x, int y, int cx,
                           int cy, HWND hParent, HMENU hMenu, HINSTANCE hInstance, UINT uClassStyle, HICON hIcon,
                           HBRUSH hBrush) {
    WNDCLASSEXW wc;
    if (!GetClassInfoExW(hInstance, pszClass, &wc)) {
        memset(&wc, 0, sizeof(wc));
        wc.cbSize = sizeof(wc);
        wc.style = uClassStyle;
        wc.lpfnWndProc = StaticWndProc;
        wc.hInstance = hInstance;
        wc.hIcon = hIcon;
        wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
        wc.hbrBackground = hBrush;
        wc.lpszClassName = pszClass;
        if (!RegisterClassExW(&wc)) return FALSE;
    }
    HWND h = CreateWindowExW(dwExStyle, pszClass, pszTitle, dwStyle, x, y, cx, cy, hParent, hMenu, hInstance, this);
    return h != NULL;
}

// ---------------------------------------------------------------------------------------
// Dialogs

CVqDialog::CVqDialog(UINT nTemplateId, CVqWnd* pParent)
    : m_nTemplateId(nTemplateId), m_pParent(pParent), m_bModal(FALSE) {}

BOOL CVqDialog::Create(HINSTANCE hInstance) {
    m_bModal = FALSE;
    HWND h = CreateDialogParamW(hInstance, MAKEINTRESOURCEW(m_nTemplateId), m_pParent ? m_pParent->m_hWnd : NULL,
                                StaticDlgProc, reinterpret_cast<LPARAM>(this));
    return h != NULL;
}

INT_PTR CVqDialog::DoModal(HINSTANCE hInstance) {
    m_bModal = TRUE;
    return DialogBoxParamW(hInstance, MAKEINTRESOURCEW(m_nTemplateId), m_pParent ? m_pParent->m_hWnd : NULL,
                           StaticDlgProc, reinterpret_cast<LPARAM>(this));
}

void CVqDialog::EndDialog(INT_PTR nResult) {
    if (m_bModal)
        ::EndDialog(m_hWnd, nResult);
    else
        ::DestroyWindow(m_hWnd);
}

LRESULT CVqDialog::DefaultProc(UINT, WPARAM, LPARAM) {
    // The dialog class does the rest.
    return 0;
}

INT_PTR CALLBACK CVqDialog::StaticDlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CVqDialog* pDlg = static_cast<CVqDialog*>(FromHandle(hWnd));
    if (uMsg == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CVqDialog*>(lParam);
        if (!pDlg) return FALSE;
        pDlg->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, lParam);
        return pDlg->OnInitDialog();
    }
    if (!pDlg) return FALSE;
    if (uMsg == WM_COMMAND) {
        WORD wId = LOWORD(wParam);
        if (wId == IDOK) {
            pDlg->OnOK();
            return TRUE;
        }
        if (wId == IDCANCEL) {
            pDlg->OnCancel();
            return TRUE;
        }
        return pDlg->OnCommand(wId, HIWORD(wParam));
    }
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        pDlg->m_hWnd = NULL;
        pDlg->PostNcDestroy();
        return FALSE;
    }
    BOOL bListed = FALSE;
    for (const VqMsgEntry* e = pDlg->GetMessageMap(); e->pfn; ++e) bListed |= e->uMsg == uMsg;
    if (!bListed) return FALSE;
    pDlg->Dispatch(uMsg, wParam, lParam);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Threads

CVqThread::CVqThread() : m_hThread(NULL) {}

CVqThread::~CVqThread() {
    if (m_hThread) End(0);
}

BOOL CVqThread::Begin(LPTHREAD_START_ROUTINE pfn, void* pParam) {
    if (m_hThread) return FALSE;
    m_hThread = CreateThread(NULL, 0, pfn, pParam, CREATE_SUSPENDED, NULL);
    if (!m_hThread) return FALSE;
    ResumeThread(m_hThread);
    return TRUE;
}

BOOL CVqThread::End(DWORD dwMs) {
    if (!m_hThread) return TRUE;
    BOOL bEnded = WaitForSingleObject(m_hThread, dwMs) == WAIT_OBJECT_0;
    if (!bEnded) TerminateThread(m_hThread, 1);
    CloseHandle(m_hThread);
    m_hThread = NULL;
    return bEnded;
}

// ---------------------------------------------------------------------------------------
// The application

CVqApp::CVqApp() : m_hInstance(NULL), m_pszCmdLine(L""), m_nCmdShow(SW_HIDE), m_pMainWnd(NULL) {}

CVqApp::~CVqApp() {}

int CVqApp::Run(HINSTANCE hInstance, LPCWSTR pszCmdLine, int nCmdShow) {
    m_hInstance = hInstance;
    m_pszCmdLine = pszCmdLine ? pszCmdLine : L"";
    m_nCmdShow = nCmdShow;
    int nCode = 0;
    if (InitInstance()) nCode = MessageLoop();
    int nExit = ExitInstance();
    return nCode ? nCode : nExit;
}

int CVqApp::MessageLoop() {
    MSG msg;
    for (;;) {
        BOOL r = GetMessageW(&msg, NULL, 0, 0);
        if (r == 0) return static_cast<int>(msg.wParam);
        if (r == -1) return -1;
        HWND hRoot = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : NULL;
        WCHAR szClass[16] = L"";
        if (hRoot) GetClassNameW(hRoot, szClass, 16);
        if (hRoot && lstrcmpW(szClass, L"#32770") == 0 && IsDialogMessageW(hRoot, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
