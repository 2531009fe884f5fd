// winsim: wtsapi32: session change notifications for windows.
//
// Model (see winsim/wts.h for the test API):
// - A window registered with WTSRegisterSessionNotification gets WM_WTSSESSION_CHANGE
//   (wParam the WTS_ code, lParam the session) for the session changes of the machine:
//   NOTIFY_FOR_THIS_SESSION those of its own session, NOTIFY_FOR_ALL_SESSIONS all of them.
//   Each window is sent the message with its own time-out, so that a blocked window does
//   not hold up the others.
// - Registering again changes the flags; a window's registration ends with
//   WTSUnRegisterSessionNotification or with the window.
// - While the terminal services are not started yet, registration fails with
//   RPC_S_INVALID_BINDING.
#pragma once
#include "windows.h"

#define NOTIFY_FOR_THIS_SESSION 0
#define NOTIFY_FOR_ALL_SESSIONS 1

#ifndef RPC_S_INVALID_BINDING
#define RPC_S_INVALID_BINDING 1702L
#endif

BOOL WINAPI WTSRegisterSessionNotification(HWND hWnd, DWORD dwFlags);
BOOL WINAPI WTSUnRegisterSessionNotification(HWND hWnd);
