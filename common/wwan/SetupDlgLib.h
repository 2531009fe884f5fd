// The setup program's outside dialog library "Pavrix.dll": loaded at run time, its three
// entries bound by name, any of which may be missing.
//
// The project fixes their calling convention as __cdecl and SetupDlgShowDlg's result as
// none (void). SetupDlgDoModalDlg returns when the dialog is closed; 2 (IDCANCEL) ends
// the script section. SetupDlgShowDlg fills the four handles of the record on show.
// SetupDlgStrWin returns 0 on success.
#pragma once

#include <windows.h>

#include "SetupDlgDesc.h"

#define SETUPDLG_LIBRARY_NAME L"Pavrix.dll"
#define SETUPDLG_DOMODAL_NAME "SetupDlgDoModalDlg"
#define SETUPDLG_SHOW_NAME "SetupDlgShowDlg"
#define SETUPDLG_STRWIN_NAME "SetupDlgStrWin"

typedef int(__cdecl* PFN_SetupDlgDoModalDlg)(SetupDlgDesc* pDesc, HWND hParent);
typedef void(__cdecl* PFN_SetupDlgShowDlg)(SetupDlgDesc* pDesc, HWND hOwner, int nShow);
// Show flag, message, horizontal and vertical position as fractions of the screen, font
// height, red, green, blue.
typedef int(__cdecl* PFN_SetupDlgStrWin)(int nShow, LPCWSTR pszMessage, double dXRate, double dYRate, int nFontHeight,
                                         int nRed, int nGreen, int nBlue);
