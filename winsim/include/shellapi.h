// winsim: shell32's ShellExecuteW.
//
// The verb "open" (or none) on a program (.exe, .com) starts it with the parameters; on
// any other file it follows the file association of HKEY_CLASSES_ROOT: the extension's
// default value names a class whose shell\open\command default value is the command line,
// "%1" standing for the file and "%*" for the parameters. Returns a value above 32 on
// success; ERROR_FILE_NOT_FOUND (2) for a file that does not exist, SE_ERR_NOASSOC (31)
// when no association applies, SE_ERR_ACCESSDENIED (5) or ERROR_BAD_FORMAT (11) when the
// program would not start. Other verbs give SE_ERR_NOASSOC.
#pragma once
#include "windows.h"

#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31

WINSIM_BEGIN_C
HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters,
                               LPCWSTR lpDirectory, INT nShowCmd);
WINSIM_END_C

#define ShellExecute ShellExecuteW
