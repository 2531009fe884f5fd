// Worker threads and window threads (see ThreadCtl.h).
#include "ThreadCtl.h"

#include <process.h>

namespace {

// The window-thread object of the calling thread, read by CWndCtl::StaticWndProc. Set
// before the window is created (so WM_CREATE reaches the object), cleared when the thread
// body ends.
thread_local CWndCtl* t_pBoundWnd = NULL;

void CopyName(WCHAR* pDst, LPCWSTR pszSrc) {
    int i = 0;
    if (pszSrc)
        for (; i < WNDCTL_NAME_CCH - 1 && pszSrc[i]; ++i) pDst[i] = pszSrc[i];
    pDst[i] = 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CThreadCtl

CThreadCtl::CThreadCtl() : m_dwThreadId(0), m_hThread(NULL), m_hStopEvent(NULL) {}

CThreadCtl::~CThreadCtl() {
    CThreadCtl::Stop();
    if (m_hStopEvent) {
        CloseHandle(m_hStopEvent);
        m_hStopEvent = NULL;
    }
}

int CThreadCtl::Start() {
    if (m_hThread) return 0;
    if (!m_hStopEvent) {
        m_hStopEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
        if (!m_hStopEvent) return 0;
    }
    ResetEvent(m_hStopEvent);
    unsigned uThreadId = 0;
    uintptr_t hThread = _beginthreadex(NULL, 0, ThreadEntry, this, 0, &uThreadId);
    if (!hThread) return 0;
    m_hThread = reinterpret_cast<HANDLE>(hThread);
    m_dwThreadId = uThreadId;
    return 1;
}

unsigned __stdcall CThreadCtl::ThreadEntry(void* pArg) {
    CThreadCtl* pThis = static_cast<CThreadCtl*>(pArg);
    if (!pThis) _endthreadex(static_cast<unsigned>(-1));
    _endthreadex(static_cast<unsigned>(pThis->Run()));
    return 0;
}

int CThreadCtl::Wait(DWORD dwMilliseconds) {
    if (!m_hThread) return 1;
    int nResult = 1;
    if (WaitForSingleObject(m_hThread, dwMilliseconds) != WAIT_OBJECT_0) {
        TerminateThread(m_hThread, 0);
        nResult = 0;
    }
    CloseHandle(m_hThread);
    m_hThread = NULL;
    return nResult;
}

void CThreadCtl::Stop() {
    if (m_hStopEvent) SetEvent(m_hStopEvent);
    Wait(INFINITE);
}

DWORD CThreadCtl::Run() { return 0; }

// ---------------------------------------------------------------------------------------
// CWndCtl

CWndCtl::CWndCtl() : m_hReadyEvent(NULL), m_hInstance(NULL), m_hWnd(NULL), m_nCmdShow(0) {
    CopyName(m_szClassName, WNDCTL_DEFAULT_CLASS);
    CopyName(m_szWindowTitle, WNDCTL_DEFAULT_TITLE);
}

CWndCtl::~CWndCtl() {
    // The window thread ends before the ready event goes, so that nothing it does meets a
    // closed handle.
    Close();
    if (m_hReadyEvent) {
        CloseHandle(m_hReadyEvent);
        m_hReadyEvent = NULL;
    }
}

void CWndCtl::SetClassName(LPCWSTR pszClassName) { CopyName(m_szClassName, pszClassName); }

void CWndCtl::SetWindowTitle(LPCWSTR pszTitle) { CopyName(m_szWindowTitle, pszTitle); }

void CWndCtl::Close() {
    HWND hWnd = m_hWnd;
    if (hWnd && IsWindow(hWnd)) {
        // Default handling destroys the window, whose WM_DESTROY ends the loop.
        PostMessageW(hWnd, WM_CLOSE, 0, 0);
    } else if (m_hThread) {
        PostQuitToThread();
    }
    CThreadCtl::Stop();
}

void CWndCtl::Stop() { Close(); }

void CWndCtl::PostQuitToThread() {
    // The thread makes its message queue first thing, so the post can only fail before the
    // thread has run at all, or after it has ended.
    while (!PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0)) {
        if (WaitForSingleObject(m_hThread, 10) != WAIT_TIMEOUT) break;
    }
}

int CWndCtl::Create(HINSTANCE hInstance) {
    if (!m_hReadyEvent) {
        m_hReadyEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
        if (!m_hReadyEvent) return 0;
    }
    ResetEvent(m_hReadyEvent);
    m_hInstance = hInstance;
    if (!Start()) return 0;
    if (WaitForSingleObject(m_hReadyEvent, WNDCTL_READY_TIMEOUT) == WAIT_OBJECT_0) return 1;
    Close();
    return 0;
}

DWORD CWndCtl::Run() {
    // Makes the thread's message queue before anything else, so that a quit message posted
    // to the thread by Close is never lost.
    MSG msg;
    PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
    t_pBoundWnd = this;
    m_hWnd = NULL;
    MessageLoop(m_hInstance, m_nCmdShow);
    t_pBoundWnd = NULL;
    return 0;
}

int CWndCtl::MessageLoop(HINSTANCE hInstance, int nCmdShow) {
    RegisterWndClass(hInstance);
    if (!CreateWnd(hInstance, nCmdShow)) return 0;
    SetEvent(m_hReadyEvent);
    MSG msg;
    BOOL bResult;
    while ((bResult = GetMessageW(&msg, NULL, 0, 0)) != 0) {
        if (bResult == -1) return 0;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

ATOM CWndCtl::RegisterWndClass(HINSTANCE hInstance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = m_szClassName;
    if (m_nCmdShow != 0) {
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    }
    return RegisterClassExW(&wc);
}

int CWndCtl::CreateWnd(HINSTANCE hInstance, int nCmdShow) {
    HWND hWnd = CreateWindowExW(0, m_szClassName, m_szWindowTitle, nCmdShow ? WS_OVERLAPPEDWINDOW : 0, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);
    m_hWnd = hWnd;
    if (!hWnd) return 0;
    if (nCmdShow) {
        ShowWindow(hWnd, nCmdShow);
        UpdateWindow(hWnd);
    }
    return 1;
}

LRESULT CWndCtl::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK CWndCtl::StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CWndCtl* pThis = t_pBoundWnd;
    if (!pThis) return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT lResult = pThis->WndProc(hWnd, uMsg, wParam, lParam);
    // A handle that is gone is not kept: Close then ends the thread by its quit message.
    if (uMsg == WM_NCDESTROY && pThis->m_hWnd == hWnd) pThis->m_hWnd = NULL;
    return lResult;
}
