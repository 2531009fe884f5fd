#include "SvcCtrl.h"

#include "DbgMac.h"
#include "StartWait.h"

#include <mmsystem.h>
#include <strsafe.h>

#include <string.h>

namespace {

const WCHAR kNetExe[] = L"\\System32\\net.exe";

// Closes a service handle and its manager's on every way out, logging each close.
class CScmHandles {
public:
    CScmHandles(LPCWSTR pszService, LPCWSTR pszManager)
        : m_hMgr(NULL), m_hSvc(NULL), m_pszSvcLog(pszService), m_pszMgrLog(pszManager) {}
    ~CScmHandles() {
        if (m_hSvc) {
            CloseServiceHandle(m_hSvc);
            DBGPRINT(m_pszSvcLog);
        }
        if (m_hMgr) {
            CloseServiceHandle(m_hMgr);
            DBGPRINT(m_pszMgrLog);
        }
    }
    SC_HANDLE m_hMgr;
    SC_HANDLE m_hSvc;

private:
    CScmHandles(const CScmHandles&);
    CScmHandles& operator=(const CScmHandles&);
    LPCWSTR m_pszSvcLog;
    LPCWSTR m_pszMgrLog;
};

}  // namespace

int CSvcCtrl::GetSvcStatus(LPCWSTR pszService, DWORD* pdwState) {
    CScmHandles h(L"GetSvcStatus:CloseServiceHandle-Service\n",
                  L"GetSvcStatus:CloseServiceHandle-ServiceControlManger\n");
    h.m_hMgr = OpenSCManagerW(NULL, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
    if (!h.m_hMgr) {
        DBGPRINT(L"GetSvcStatus:OpenSCManager() Error %d", GetLastError());
        return 0;
    }
    h.m_hSvc = OpenServiceW(h.m_hMgr, pszService ? pszService : L"", SERVICE_QUERY_STATUS);
    if (!h.m_hSvc) {
        DBGPRINT(L"GetSvcStatus:OpenService() Error %d", GetLastError());
        return 0;
    }
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    if (!QueryServiceStatus(h.m_hSvc, &status)) {
        DBGPRINT(L"GetSvcStatus:QueryServiceStatus() Error %d", GetLastError());
        return 0;
    }
    if (pdwState) *pdwState = status.dwCurrentState;
    return 1;
}

int CSvcCtrl::IsStarted(LPCWSTR pszService, DWORD dwWanted, DWORD dwInterval, DWORD dwTimeout) {
    DWORD dwStart = timeGetTime();
    DWORD dwState = 0;
    for (;;) {
        if (GetSvcStatus(pszService, &dwState)) {
            if (dwState == dwWanted) return 1;
        } else {
            DBGPRINT(L"IsStarted:Service did not exist!");
        }
        if (StartWaitIsOver(&dwStart, dwTimeout)) return 0;
        DBGPRINT(L"IsStarted:Service is not started.ID %s sleep=%d status=%d. ", pszService ? pszService : L"",
                 dwInterval, dwState);
        // A zero interval would look again without letting time pass.
        Sleep(dwInterval ? dwInterval : 1);
    }
}

int CSvcCtrl::WaitForRunning(LPCWSTR pszService, DWORD dwInterval, DWORD dwTimeout) {
    return IsStarted(pszService, SERVICE_RUNNING, dwInterval, dwTimeout);
}

int CSvcCtrl::IsExist(LPCWSTR pszService) {
    LPCWSTR pszName = pszService ? pszService : L"";
    CScmHandles h(L"IsExist:CloseServiceHandle-Service", L"IsExist:CloseServiceHandle-ServiceControlManger");
    h.m_hMgr = OpenSCManagerW(NULL, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
    if (!h.m_hMgr) {
        DBGPRINT(L"IsExist:OpenSCManager() %s Error %d", pszName, GetLastError());
        return 0;
    }
    h.m_hSvc = OpenServiceW(h.m_hMgr, pszName, SERVICE_QUERY_STATUS);
    if (!h.m_hSvc) {
        DBGPRINT(L"IsExist:OpenService() %s Error %d", pszName, GetLastError());
        return 0;
    }
    DBGPRINT(L"IsExist:Found service %s", pszName);
    return 1;
}

int CSvcCtrl::RunNetCmd(int nOperation, LPCWSTR pszService, DWORD dwWait) {
    DBGPRINT(L"RunNetCmd()");
    WCHAR szPath[MAX_PATH];
    DWORD cch = GetEnvironmentVariableW(L"SystemRoot", szPath, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH || FAILED(StringCchCatW(szPath, MAX_PATH, kNetExe)) ||
        GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
        if (cch == 0 || cch >= MAX_PATH) szPath[0] = 0;
        DBGPRINT(L"CSvcCtrl::RunNetCmd() Error can not find net.exe = %s", szPath);
        return 0;
    }
    if (!pszService || !pszService[0]) {
        DBGPRINT(L"CSvcCtrl::RunNetCmd() Error no service name");
        return 0;
    }
    // The path quoted, as the folder may hold blanks; a name with blanks quoted too.
    WCHAR szCmd[MAX_PATH * 2];
    int bQuoteName = wcschr(pszService, L' ') != NULL;
    if (FAILED(StringCchPrintfW(szCmd, MAX_PATH * 2, bQuoteName ? L"\"%s\"%s\"%s\"" : L"\"%s\"%s%s", szPath,
                                nOperation == SVCCTRL_NET_START ? L" start " : L" stop ", pszService))) {
        DBGPRINT(L"CSvcCtrl::RunNetCmd() Error the service name is too long");
        return 0;
    }
    STARTUPINFOW si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    if (!CreateProcessW(szPath, szCmd, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi)) {
        DBGPRINT(L"CSvcCtrl::RunNetCmd()  CreateProcess() - Error! %d", GetLastError());
        return 0;
    }
    WaitForSingleObject(pi.hProcess, dwWait);
    DWORD dwExit = 0;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    DBGPRINT(L"CSvcCtrl::RunNetCmd() CreateProcess - ExitCode is %d", dwExit);
    return 1;
}

SC_HANDLE CSvcCtrl::OpenForChange(LPCWSTR pszService, DWORD dwAccess, SC_HANDLE* phManager) {
    *phManager = OpenSCManagerW(NULL, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS);
    if (!*phManager) {
        DBGPRINT(L"OpenSCManager failed (%d)\n", GetLastError());
        return NULL;
    }
    SC_HANDLE hSvc = OpenServiceW(*phManager, pszService ? pszService : L"", dwAccess);
    if (!hSvc) {
        DBGPRINT(L"OpenService failed (%d)\n", GetLastError());
        CloseServiceHandle(*phManager);
        *phManager = NULL;
    }
    return hSvc;
}

namespace {

// The start type change of EnableSvc and DisableSvc.
int ChangeStart(SC_HANDLE hSvc, DWORD dwStart, LPCWSTR pszSuccess) {
    if (!ChangeServiceConfigW(hSvc, SERVICE_NO_CHANGE, dwStart, SERVICE_NO_CHANGE, NULL, NULL, NULL, NULL, NULL, NULL,
                              NULL)) {
        DBGPRINT(L"ChangeServiceConfig failed (%d)\n", GetLastError());
        return 0;
    }
    DBGPRINT(pszSuccess);
    return 1;
}

void CloseBoth(SC_HANDLE hSvc, SC_HANDLE hMgr) {
    CloseServiceHandle(hSvc);
    CloseServiceHandle(hMgr);
}

}  // namespace

int CSvcCtrl::EnableSvc(LPCWSTR pszService) {
    SC_HANDLE hMgr = NULL;
    SC_HANDLE hSvc = OpenForChange(pszService, SERVICE_CHANGE_CONFIG, &hMgr);
    if (!hSvc) return 0;
    int nResult = ChangeStart(hSvc, SERVICE_DEMAND_START, L"Service enabled successfully.\n");
    CloseBoth(hSvc, hMgr);
    return nResult;
}

int CSvcCtrl::DisableSvc(LPCWSTR pszService) {
    SC_HANDLE hMgr = NULL;
    SC_HANDLE hSvc = OpenForChange(pszService, SERVICE_CHANGE_CONFIG, &hMgr);
    if (!hSvc) return 0;
    int nResult = ChangeStart(hSvc, SERVICE_DISABLED, L"Service disabled successfully.\n");
    CloseBoth(hSvc, hMgr);
    return nResult;
}

int CSvcCtrl::ChangeDisplayName(LPCWSTR pszService, LPCWSTR pszDisplayName) {
    if (!pszDisplayName || !pszDisplayName[0]) {
        DBGPRINT(L"ChangeDisplayName refused an empty display name for %s\n", pszService ? pszService : L"");
        return 0;
    }
    SC_HANDLE hMgr = NULL;
    SC_HANDLE hSvc = OpenForChange(pszService, SERVICE_CHANGE_CONFIG, &hMgr);
    if (!hSvc) return 0;
    int nResult = 1;
    if (!ChangeServiceConfigW(hSvc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, NULL, NULL, NULL, NULL,
                              NULL, NULL, pszDisplayName)) {
        DBGPRINT(L"ChangeServiceConfig failed (%d)\n", GetLastError());
        nResult = 0;
    }
    CloseBoth(hSvc, hMgr);
    return nResult;
}

int CSvcCtrl::ChangeDescription(LPCWSTR pszService, LPCWSTR pszDescription) {
    SC_HANDLE hMgr = NULL;
    SC_HANDLE hSvc = OpenForChange(pszService, SERVICE_CHANGE_CONFIG, &hMgr);
    if (!hSvc) return 0;
    SERVICE_DESCRIPTIONW desc;
    desc.lpDescription = const_cast<LPWSTR>(pszDescription ? pszDescription : L"");
    int nResult = 1;
    if (ChangeServiceConfig2W(hSvc, SERVICE_CONFIG_DESCRIPTION, &desc)) {
        DBGPRINT(L"Service description updated successfully.\n");
    } else {
        DBGPRINT(L"ChangeServiceConfig2 failed\n");
        nResult = 0;
    }
    CloseBoth(hSvc, hMgr);
    return nResult;
}

int CSvcCtrl::DeleteSvc(LPCWSTR pszService) {
    SC_HANDLE hMgr = NULL;
    SC_HANDLE hSvc = OpenForChange(pszService, DELETE, &hMgr);
    if (!hSvc) return 0;
    int nResult = 1;
    if (DeleteService(hSvc)) {
        DBGPRINT(L"Service deleted successfully\n");
    } else {
        DBGPRINT(L"DeleteService failed (%d)\n", GetLastError());
        nResult = 0;
    }
    CloseBoth(hSvc, hMgr);
    return nResult;
}
