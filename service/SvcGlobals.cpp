#include "SvcGlobals.h"

#include "RegRead.h"

BOOL g_bSieWAMode = FALSE;
BOOL g_b3GDevice = FALSE;
BOOL g_bRFCtrl = TRUE;
BOOL g_bNoPostureCtrl = FALSE;
int g_nRFState = RFSTATE_INITIAL;
int g_nLastPosture = 0;
int g_nLastSwitch = 0;
BOOL g_bSuspendSeen = FALSE;
BOOL g_bAtPortFound = FALSE;
WCHAR g_szAtPortId[SVC_AT_PORT_ID_CCH];

HANDLE g_hAtStopEvent = NULL;
HANDLE g_hAtCheckNowEvent = NULL;
HANDLE g_hSuspendEvent = NULL;
HANDLE g_hResumeEvent = NULL;
HANDLE g_hGobiStopEvent = NULL;
HANDLE g_hGobiConnectEvent = NULL;
HANDLE g_hDisableEnableStopEvent = NULL;
HANDLE g_hEjectEvent = NULL;
HANDLE g_hReAddEvent = NULL;

HANDLE g_hReadyEvent = NULL;
HANDLE g_hComMutex = NULL;

CDisplayList* g_pDisplayList = NULL;
CModuleInfo* g_pModuleInfo = NULL;
CMBApiCtrl* g_pMBApiCtrl = NULL;

namespace {

HANDLE* const g_WorkerEvents[] = {
    &g_hAtStopEvent,      &g_hAtCheckNowEvent,        &g_hSuspendEvent, &g_hResumeEvent, &g_hGobiStopEvent,
    &g_hGobiConnectEvent, &g_hDisableEnableStopEvent, &g_hEjectEvent,   &g_hReAddEvent,
};

}  // namespace

void SvcResetState() {
    g_nLastPosture = 0;
    g_nLastSwitch = 0;
    g_nRFState = RFSTATE_INITIAL;
    g_b3GDevice = FALSE;
    g_bSieWAMode = FALSE;
    g_bRFCtrl = TRUE;
    g_bSuspendSeen = FALSE;
    g_bAtPortFound = FALSE;
    g_szAtPortId[0] = L'\0';
}

BOOL SvcCreateWorkerEvents() {
    BOOL bAll = TRUE;
    for (size_t i = 0; i < sizeof(g_WorkerEvents) / sizeof(g_WorkerEvents[0]); i++) {
        *g_WorkerEvents[i] = CreateEventW(NULL, FALSE, FALSE, NULL);
        if (*g_WorkerEvents[i] == NULL) bAll = FALSE;
    }
    return bAll;
}

void SvcCloseWorkerEvents() {
    for (size_t i = 0; i < sizeof(g_WorkerEvents) / sizeof(g_WorkerEvents[0]); i++) {
        if (*g_WorkerEvents[i] != NULL) {
            CloseHandle(*g_WorkerEvents[i]);
            *g_WorkerEvents[i] = NULL;
        }
    }
}

BOOL SvcReadDword(LPCWSTR pszName, DWORD* pdwValue) {
    return RegReadDword(HKEY_LOCAL_MACHINE, SVC_SETTINGS_KEY, KEY_READ, pszName, REGREAD_DWORD, pdwValue) ==
           ERROR_SUCCESS;
}

BOOL SvcWriteDword(LPCWSTR pszName, DWORD dwValue) {
    HKEY hKey = NULL;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SVC_SETTINGS_KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL, &hKey,
                        NULL) != ERROR_SUCCESS)
        return FALSE;
    LONG lResult = RegSetValueExW(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}
