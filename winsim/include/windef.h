// winsim: window-manager handle types and geometry records.
#pragma once
#include "winnt.h"

#define WINSIM_DECLARE_HANDLE(name) \
    struct name##__ {               \
        int unused;                 \
    };                              \
    typedef struct name##__* name
WINSIM_DECLARE_HANDLE(HWND);
WINSIM_DECLARE_HANDLE(HINSTANCE);
WINSIM_DECLARE_HANDLE(HKEY);
WINSIM_DECLARE_HANDLE(HMENU);
WINSIM_DECLARE_HANDLE(HICON);
WINSIM_DECLARE_HANDLE(HBRUSH);
WINSIM_DECLARE_HANDLE(HDC);
WINSIM_DECLARE_HANDLE(HFONT);
WINSIM_DECLARE_HANDLE(HBITMAP);
WINSIM_DECLARE_HANDLE(HPEN);
WINSIM_DECLARE_HANDLE(HRGN);
WINSIM_DECLARE_HANDLE(HGDIOBJ__);
WINSIM_DECLARE_HANDLE(HACCEL);
WINSIM_DECLARE_HANDLE(HMONITOR);
WINSIM_DECLARE_HANDLE(HDESK);
WINSIM_DECLARE_HANDLE(HWINSTA);
WINSIM_DECLARE_HANDLE(HRSRC);
WINSIM_DECLARE_HANDLE(HDEVNOTIFY__);
WINSIM_DECLARE_HANDLE(HPOWERNOTIFY__);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void* HGDIOBJ;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef void* HDEVNOTIFY;
typedef void* HPOWERNOTIFY;
typedef HKEY* PHKEY;
typedef DWORD COLORREF;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef int(WINAPI* FARPROC)(void);
typedef int(WINAPI* NEARPROC)(void);
typedef int(WINAPI* PROC)(void);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT* LPCRECT;
typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;
typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;
typedef struct _POINTL {
    LONG x;
    LONG y;
} POINTL, *PPOINTL;

#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
