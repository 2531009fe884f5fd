// winsim: comctl32's start-up functions. The progress bar class they would register exists in
// every process already, with user32's system classes (user32/control.cpp).
#include <windows.h>
#include <commctrl.h>

void WINAPI InitCommonControls(void) {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* p) {
    if (!p || p->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    return TRUE;
}
