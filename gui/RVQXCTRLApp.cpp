// The application object: the hidden main frame and the program's message loop.
#include "RVQXCTRLApp.h"

#include <commctrl.h>

CRVQXCTRLApp::~CRVQXCTRLApp() { delete m_pFrame; }

BOOL CRVQXCTRLApp::InitInstance() {
    InitCommonControls();
    m_pFrame = new CMainFrame(m_pszCmdLine);
    m_pMainWnd = m_pFrame;
    if (!m_pFrame->LoadFrame(m_hInstance)) return FALSE;
    m_pFrame->ShowWindow(SW_HIDE);
    UpdateWindow(m_pFrame->m_hWnd);
    return TRUE;
}

int CRVQXCTRLApp::ExitInstance() {
    delete m_pFrame;
    m_pFrame = NULL;
    m_pMainWnd = NULL;
    return 0;
}

int RvqxCtrlMain(HINSTANCE hInstance, LPCWSTR pszCmdLine, int nCmdShow) {
    CRVQXCTRLApp app;
    return app.Run(hInstance, pszCmdLine, nCmdShow);
}
