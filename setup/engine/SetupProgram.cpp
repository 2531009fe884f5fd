// The program Setup: its entry routine is the engine's.
#include "SetupGlobals.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
    return SetupWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
