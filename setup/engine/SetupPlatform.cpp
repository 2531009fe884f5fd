// The user-interface and process calls of the setup program.
#include "SetupPlatform.h"

#include <string.h>

int SetupLoadString(HINSTANCE hInstance, UINT uId, LPWSTR pszBuffer, int cchBuffer) {
    if (!pszBuffer || cchBuffer <= 0) return 0;
    pszBuffer[0] = 0;
    return LoadStringW(hInstance, uId, pszBuffer, cchBuffer);
}

INT_PTR SetupDialogBox(HINSTANCE hInstance, int nTemplate, HWND hOwner, SetupDialogProc pfnProc) {
    return DialogBoxParamW(hInstance, MAKEINTRESOURCEW(nTemplate), hOwner, pfnProc, 0);
}

void SetupEndDialog(HWND hDlg, INT_PTR nResult) { EndDialog(hDlg, nResult); }

int SetupMessageBox(HWND hOwner, LPCWSTR pszText, LPCWSTR pszCaption, UINT uType) {
    return MessageBoxW(hOwner, pszText, pszCaption, uType);
}

int SetupStartProgram(LPCWSTR pszApplication, LPWSTR pszCommandLine, LPCWSTR pszCurrentDir) {
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    memset(&pi, 0, sizeof(pi));
    if (!CreateProcessW(pszApplication, pszCommandLine, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, pszCurrentDir, &si,
                        &pi))
        return 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1;
}
