// The setup program's process-wide state: the per-command WOW flag, kernel32's WOW64
// entries bound at run time, the dialog record shared with the dialog library, and the one
// exit routine every end of a run goes through.
#pragma once

#include <windows.h>

#include "SetupDlgDesc.h"

typedef BOOL(WINAPI* PFN_IsWow64Process)(HANDLE, PBOOL);
typedef BOOL(WINAPI* PFN_Wow64DisableWow64FsRedirection)(PVOID*);
typedef BOOL(WINAPI* PFN_Wow64RevertWow64FsRedirection)(PVOID);
typedef BOOLEAN(WINAPI* PFN_Wow64EnableWow64FsRedirection)(BOOLEAN);

// Set around each command from its suffix; while set, registry work uses the other view.
extern int g_bWowFlag;

// "Kernel32.dll" loaded by name and its WOW64 entries (each null when absent).
extern HMODULE g_hKernel32;
extern PFN_IsWow64Process g_pfnIsWow64Process;
extern PFN_Wow64DisableWow64FsRedirection g_pfnWow64DisableWow64FsRedirection;
extern PFN_Wow64RevertWow64FsRedirection g_pfnWow64RevertWow64FsRedirection;
extern PFN_Wow64EnableWow64FsRedirection g_pfnWow64EnableWow64FsRedirection;

// The record shared with the dialog library; its text begins with the product name.
extern SetupDlgDesc g_SetupDlgDesc;

// IsWow64Process of the current process through the bound entry; 0 when it is absent.
BOOL SetupIsWow64();

// Ends the run: releases kernel32, deletes the temporary INI and the global objects in
// reverse order of creation, and ends the process with the code. Does not return.
void SetupExit(UINT uCode);

// The entry routine of the program (its wWinMain): ends every run through SetupExit.
int WINAPI SetupWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
