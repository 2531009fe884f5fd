// winsim: comctl32's start-up function. The progress bar class it would register exists in
// every process already, with user32's system classes (user32/control.cpp).
#include <windows.h>
#include <commctrl.h>

void WINAPI InitCommonControls(void) {}
