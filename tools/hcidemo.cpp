// hcidemo: switches the mobile broadband module's power over HCI with the setup program's
// debug log switched on by its registry settings. A demonstration of the shared foundation.
#include <windows.h>

#include <stdio.h>

#include "DbgMac.h"
#include "HCIDevice.h"

namespace {

// Program name, version and log path, as the setup program's environment object gives them.
class CDemoHost : public CDebugLogHost {
public:
    CDemoHost() {
        GetModuleFileNameW(NULL, m_szLog, MAX_PATH);
        LPWSTR pszBase = wcsrchr(m_szLog, L'\\');
        lstrcpynW(m_szName, pszBase ? pszBase + 1 : m_szLog, MAX_PATH);
        LPWSTR pszDot = wcsrchr(m_szName, L'.');
        if (pszDot) *pszDot = L'\0';
        LPWSTR pszExt = wcsrchr(m_szLog, L'.');
        if (pszExt && (!pszBase || pszExt > pszBase)) *pszExt = L'\0';
        if (lstrlenW(m_szLog) + 5 < MAX_PATH) lstrcatW(m_szLog, L".log");
    }
    LPCWSTR GetProgramName() { return m_szName; }
    LPCWSTR GetProgramVersion() { return L"1.0.0.1"; }
    LPCWSTR GetLogFilePath() { return m_szLog; }

private:
    WCHAR m_szName[MAX_PATH];
    WCHAR m_szLog[MAX_PATH];
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || (lstrcmpiW(argv[1], L"on") != 0 && lstrcmpiW(argv[1], L"off") != 0)) {
        printf("usage: hcidemo on|off\n");
        return 2;
    }
    bool bOn = lstrcmpiW(argv[1], L"on") == 0;
    CDemoHost host;
    g_pDebugLogHost = &host;
    g_pDebugCtrl = new CDebugCtrl();
    DBGPRINT(L"Start");
    CQivHCICtrl hci;
    int nResult = hci.MBNPower(bOn);
    printf("module power %s: %s\n", bOn ? "on" : "off", nResult ? "done" : "failed");
    DBGPRINT(L"End = %d", nResult);
    delete g_pDebugCtrl;
    g_pDebugCtrl = NULL;
    g_pDebugLogHost = NULL;
    return nResult ? 0 : 1;
}
