// winsim: the C runtime's thread functions.
#pragma once
#include "windows.h"

WINSIM_BEGIN_C
uintptr_t __cdecl _beginthreadex(void* security, unsigned stack_size, unsigned(__stdcall* start_address)(void*),
                                 void* arglist, unsigned initflag, unsigned* thrdaddr);
void __cdecl _endthreadex(unsigned retval);
uintptr_t __cdecl _beginthread(void(__cdecl* start_address)(void*), unsigned stack_size, void* arglist);
void __cdecl _endthread(void);
WINSIM_END_C
