// RVQXCTRL's entry.
#include <windows.h>

#include "RVQXCTRLApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
    (void)hPrevInstance;
    return RvqxCtrlMain(hInstance, lpCmdLine, nCmdShow);
}
