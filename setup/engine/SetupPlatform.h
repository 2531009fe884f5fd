// The user-interface and process calls of the setup program in one place: the string
// table, the About box, message boxes and starting a program.
#pragma once

#include <windows.h>

int SetupLoadString(HINSTANCE hInstance, UINT uId, LPWSTR pszBuffer, int cchBuffer);
typedef INT_PTR(CALLBACK* SetupDialogProc)(HWND, UINT, WPARAM, LPARAM);
INT_PTR SetupDialogBox(HINSTANCE hInstance, int nTemplate, HWND hOwner, SetupDialogProc pfnProc);
void SetupEndDialog(HWND hDlg, INT_PTR nResult);
int SetupMessageBox(HWND hOwner, LPCWSTR pszText, LPCWSTR pszCaption, UINT uType);
// Starts the program at pszApplication with the command line pszCommandLine (a writable
// buffer) in pszCurrentDir with no window; 1 when started (the handles are closed).
int SetupStartProgram(LPCWSTR pszApplication, LPWSTR pszCommandLine, LPCWSTR pszCurrentDir);
