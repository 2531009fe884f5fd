// winsim: OLE initialisation (ole32), with the COM and Automation declarations.
//
// OleInitialize enters the thread into a single-threaded apartment (CoInitializeEx with
// COINIT_APARTMENTTHREADED) and counts OLE on the thread: S_OK the first time, S_FALSE
// when COM or OLE was already initialised on the thread (still to be undone), and
// RPC_E_CHANGED_MODE when the thread is in the multithreaded apartment (nothing to undo).
// OleUninitialize undoes one successful OleInitialize. Tests can make it fail
// (winsim/com.h).
#pragma once
#include "objbase.h"
#include "oleauto.h"

WINSIM_BEGIN_C
HRESULT WINAPI OleInitialize(LPVOID pvReserved);
void WINAPI OleUninitialize(void);
WINSIM_END_C
