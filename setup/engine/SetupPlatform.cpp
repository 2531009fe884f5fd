// The user-interface and process calls of the setup program.
#include "SetupPlatform.h"

#include <string.h>

// The simulated platform of the Linux build gains its user32 resource and message-box
// functions and its process start-up separately; until they are there, these calls fail
// as on a machine without a user interface.
#if defined(_WIN32) || __has_include("winsim/api_user_res.h")
#define SETUP_HAVE_USER_RESOURCES 1
#endif
#if defined(_WIN32) || __has_include("winsim/api_process.h")
#define SETUP_HAVE_PROCESSES 1
#endif

int SetupLoadString(HINSTANCE hInstance, UINT uId, LPWSTR pszBuffer, int cchBuffer) {
    if (!pszBuffer || cchBuffer <= 0) return 0;
    pszBuffer[0] = 0;
#ifdef SETUP_HAVE_USER_RESOURCES
    return LoadStringW(hInstance, uId, pszBuffer, cchBuffer);
#else
    // Without the string table the main window keeps its names.
    (void)hInstance;
    LPCWSTR pszText = uId == 103 ? L"Dravetto" : uId == 109 ? L"DRAVETTO" : NULL;
    if (!pszText) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    lstrcpynW(pszBuffer, pszText, cchBuffer);
    return lstrlenW(pszBuffer);
#endif
}

INT_PTR SetupDialogBox(HINSTANCE hInstance, int nTemplate, HWND hOwner, SetupDialogProc pfnProc) {
#ifdef SETUP_HAVE_USER_RESOURCES
    return DialogBoxParamW(hInstance, MAKEINTRESOURCEW(nTemplate), hOwner, pfnProc, 0);
#else
    (void)hInstance;
    (void)nTemplate;
    (void)hOwner;
    (void)pfnProc;
    return -1;
#endif
}

int SetupMessageBox(HWND hOwner, LPCWSTR pszText, LPCWSTR pszCaption, UINT uType) {
#ifdef SETUP_HAVE_USER_RESOURCES
    return MessageBoxW(hOwner, pszText, pszCaption, uType);
#else
    (void)hOwner;
    (void)pszText;
    (void)pszCaption;
    (void)uType;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
#endif
}

int SetupStartProgram(LPCWSTR pszApplication, LPWSTR pszCommandLine, LPCWSTR pszCurrentDir) {
#ifdef SETUP_HAVE_PROCESSES
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    memset(&pi, 0, sizeof(pi));
    if (!CreateProcessW(pszApplication, pszCommandLine, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, pszCurrentDir,
                        &si, &pi))
        return 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1;
#else
    (void)pszApplication;
    (void)pszCommandLine;
    (void)pszCurrentDir;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
#endif
}

void SetupEndDialog(HWND hDlg, INT_PTR nResult) {
#ifdef SETUP_HAVE_USER_RESOURCES
    EndDialog(hDlg, nResult);
#else
    (void)nResult;
    DestroyWindow(hDlg);
#endif
}
