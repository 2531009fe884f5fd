// winsim: winmm timer functions.
#pragma once
#include "windows.h"

WINSIM_BEGIN_C
DWORD WINAPI timeGetTime(void);
WINSIM_END_C
