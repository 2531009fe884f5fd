// The setup program's view of the Service Control Manager: whether a service exists, its
// state, a wait for a state, a start or stop through the system's net.exe, and single
// changes of a service's configuration. Services are known only by the names the script
// gives; no handle outlives a call.
#pragma once

#include <windows.h>

// RunNetCmd operations.
#define SVCCTRL_NET_START 0
#define SVCCTRL_NET_STOP 1

class CSvcCtrl {
public:
    CSvcCtrl() {}
    ~CSvcCtrl() {}

    // The service's current state (SERVICE_STOPPED ... SERVICE_PAUSED) into *pdwState.
    int GetSvcStatus(LPCWSTR pszService, DWORD* pdwState);
    // Looks at the service until it is in dwWanted (1) or more than dwTimeout ms have
    // passed (0), dwInterval ms apart; a time-out of 0 looks once. An interval of 0 looks
    // again after 1 ms, so that the wait always ends.
    int IsStarted(LPCWSTR pszService, DWORD dwWanted, DWORD dwInterval, DWORD dwTimeout);
    int WaitForRunning(LPCWSTR pszService, DWORD dwInterval, DWORD dwTimeout);
    // The service can be opened for status queries.
    int IsExist(LPCWSTR pszService);
    // Runs %SystemRoot%\System32\net.exe start|stop SERVICE and waits for it at most dwWait
    // ms; 1 when it was started, whatever its exit code.
    int RunNetCmd(int nOperation, LPCWSTR pszService, DWORD dwWait);

    // One change each, every other setting left as it is.
    int EnableSvc(LPCWSTR pszService);   // start type on demand
    int DisableSvc(LPCWSTR pszService);  // start type disabled
    // An empty display name is refused (0): the manager would show the service nameless.
    int ChangeDisplayName(LPCWSTR pszService, LPCWSTR pszDisplayName);
    // An empty description clears it.
    int ChangeDescription(LPCWSTR pszService, LPCWSTR pszDescription);
    // Marks the service for deletion.
    int DeleteSvc(LPCWSTR pszService);

private:
    CSvcCtrl(const CSvcCtrl&);
    CSvcCtrl& operator=(const CSvcCtrl&);

    // Opens the manager with every right and the service with dwAccess: the service handle,
    // the manager's in *phManager; NULL (both closed) on failure, logged.
    SC_HANDLE OpenForChange(LPCWSTR pszService, DWORD dwAccess, SC_HANDLE* phManager);
};
