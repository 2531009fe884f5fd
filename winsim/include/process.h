// winsim: the C runtime's thread functions.
#pragma once
#include "windows.h"

WINSIM_BEGIN_C
uintptr_t __cdecl _beginthreadex(void* security, unsigned stack_size, unsigned(__stdcall* start_address)(void*),
                                 void* arglist, unsigned initflag, unsigned* thrdaddr);
void __cdecl _endthreadex(unsigned retval);
WINSIM_END_C
