// winsim: winmm's timer functions: timeGetTime reads the machine's clock as GetTickCount does.
#include <windows.h>
#include <mmsystem.h>

DWORD WINAPI timeGetTime(void) { return GetTickCount(); }
