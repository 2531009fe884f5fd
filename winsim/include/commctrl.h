// winsim: common controls: initialisation and the progress bar's messages and styles.
//
// The progress bar class "msctls_progress32" exists in every process (see winuser.h); it
// keeps its range, position, step and marquee state. InitCommonControls does nothing more.
#pragma once
#include "windows.h"

#define PROGRESS_CLASSW L"msctls_progress32"
#define PROGRESS_CLASS PROGRESS_CLASSW
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
#define PBM_SETBARCOLOR (WM_USER + 9)
#define PBM_SETMARQUEE (WM_USER + 10)
#define PBM_GETSTEP (WM_USER + 13)
#define CLR_DEFAULT 0xFF000000L
#define PBS_SMOOTH 0x01
#define PBS_VERTICAL 0x04
#define PBS_MARQUEE 0x08

typedef struct {
    int iLow;
    int iHigh;
} PBRANGE, *PPBRANGE;

WINSIM_BEGIN_C
void WINAPI InitCommonControls(void);
WINSIM_END_C
