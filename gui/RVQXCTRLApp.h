// The application object of RVQXCTRL, made by the program's entry.
#pragma once

#include "MainFrm.h"
#include "VqFrame.h"

class CAboutDlg : public CVqDialog {
public:
    CAboutDlg() : CVqDialog(IDD_ABOUTBOX_ID, NULL) {}
    enum { IDD_ABOUTBOX_ID = 100 };
};

class CRVQXCTRLApp : public CVqApp {
public:
    CRVQXCTRLApp() : m_pFrame(NULL) {}
    ~CRVQXCTRLApp() override;

protected:
    BOOL InitInstance() override;
    int ExitInstance() override;

    CMainFrame* m_pFrame;
};

// The program's entry, shared by the Windows build's wWinMain and the simulated host.
int RvqxCtrlMain(HINSTANCE hInstance, LPCWSTR pszCmdLine, int nCmdShow);
