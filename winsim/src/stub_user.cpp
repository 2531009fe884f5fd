// winsim: placeholder for the window manager: no window exists yet.
#include <commctrl.h>
#include <windows.h>

#include "winsim/kernel.h"

LRESULT WINAPI SendMessageW(HWND, UINT, WPARAM, LPARAM) { return winsim::Fail<LRESULT>(ERROR_INVALID_WINDOW_HANDLE, 0); }
BOOL WINAPI PostMessageW(HWND, UINT, WPARAM, LPARAM) { return winsim::Fail<BOOL>(ERROR_INVALID_WINDOW_HANDLE, FALSE); }
void WINAPI InitCommonControls(void) {}
