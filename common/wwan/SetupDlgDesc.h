// The record the setup program shares with the outside dialog library: the dialog number,
// a text area that begins with the product name, and the progress dialog's window handles,
// which the library fills when it shows the dialog.
#pragma once

#include <windows.h>

#include <stddef.h>

struct SetupDlgDesc {
    INT32 DLG;          // dialog number (script key DLG)
    WCHAR text[780];    // begins with [PARAMS] PRODUCT_NAME; the rest is the library's
    HWND hProgressBar;  // filled by the library on show
    HWND hCaption;      // status caption control
    HWND hDetail;       // status detail control
    HWND hDialog;       // the progress dialog
};

#ifdef _WIN32
#ifdef _WIN64
static_assert(offsetof(SetupDlgDesc, hProgressBar) == 1568 && sizeof(SetupDlgDesc) == 1600, "dialog record layout");
#else
static_assert(offsetof(SetupDlgDesc, hProgressBar) == 1564 && sizeof(SetupDlgDesc) == 1580, "dialog record layout");
#endif
#endif
