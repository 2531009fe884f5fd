// Resource IDs of the setup program (its resource header SetupRes.h and the engine's
// window and dialog code use them).
#pragma once

// Strings: the main window's title and class name.
#define IDS_APP_TITLE 103
#define IDC_SETUP 109  // also the main window's menu

// Dialogs.
#define IDD_ABOUTBOX 103

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105

// Icons: the main window's large and small icon, the About box's icon.
#define IDI_ABOUT 107
#define IDI_SETUP 130
#define IDI_SMALL 131

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
