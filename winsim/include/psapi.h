// winsim: the process status functions (psapi.dll, which forwards them to kernel32).
//
// EnumProcesses lists the processes of the machine that have not ended, as many as fit;
// *needed is the bytes written (a full buffer may mean more). EnumProcessModules gives the
// program's own module first (a process here loads no other image module), and it and
// GetModuleBaseNameW need a handle with PROCESS_QUERY_INFORMATION and PROCESS_VM_READ;
// those rights are denied on a protected process (winsim::Process::protected_process).
// GetModuleBaseNameW copies the file name of the module's image, cut to the buffer, and
// returns the characters copied.
#pragma once
#include "windows.h"

BOOL WINAPI EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded);
BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded);
DWORD WINAPI GetModuleBaseNameW(HANDLE hProcess, HMODULE hModule, LPWSTR lpBaseName, DWORD nSize);
