// winsim: user32's resources of a program (strings, icons, menus, dialog templates; see
// winsim/resources.h), modal dialog boxes and message boxes.
//
// - LoadStringW(hInstance, id, buffer, cchBufferMax): the string of the image's table (a
//   null or the image's instance handle); it copies at most cchBufferMax - 1 characters
//   and terminates, returns the number copied; with cchBufferMax 0 it stores a pointer to
//   the read-only string in *buffer and returns its length. A missing string gives 0 and
//   ERROR_RESOURCE_NAME_NOT_FOUND.
// - LoadIconW of an icon of the image's table gives a handle unique to that icon.
// - Menus: LoadMenuW builds a menu from the table; a top-level window created without a
//   menu gets its class's menu (lpszMenuName, also MAKEINTRESOURCE). Menus are read with
//   GetMenuItemCount, GetSubMenu, GetMenuItemID and GetMenuStringW (MF_BYPOSITION or
//   MF_BYCOMMAND, searching popups).
// - DialogBoxParamW creates the dialog of the template (class "#32770", the caption, the
//   controls as children, positions in dialog units of the dialog font), sends
//   WM_INITDIALOG, shows it whatever its style, disables the owner, and runs a modal
//   message loop until the dialog procedure calls EndDialog; WM_CLOSE becomes
//   WM_COMMAND IDCANCEL. A WM_QUIT ends the loop (it is posted again) with result 0. A
//   missing template gives -1.
// - MessageBoxW is answered by the machine (winsim/msgbox.h): nothing is drawn; the box
//   first handles the messages already waiting in the thread's queue (as its own loop
//   would; a WM_QUIT is posted again), then records itself (owner, text, title, type) and
//   returns the queued or default answer. A null title shows as "Error"; a type beyond
//   MB_CANCELTRYCONTINUE fails with ERROR_INVALID_MSGBOX_STYLE.
// - CreateDialogParamW creates the dialog of the template the same way without a loop of
//   its own (a modeless dialog): it is shown only when its template has WS_VISIBLE, and
//   lives until DestroyWindow. IsDialogMessageW, in the program's loop, turns Esc into
//   WM_COMMAND IDCANCEL and Enter into WM_COMMAND of the default button (IDOK), and
//   dispatches every other message of the dialog and its controls.
// - DialogBoxParamW: with a dialog click queued on the machine, the machine clicks that
//   control once the dialog is shown (winsim/msgbox.h).
#pragma once
#include "../windef.h"

#ifndef ERROR_INVALID_MSGBOX_STYLE
#define ERROR_INVALID_MSGBOX_STYLE 1158L
#endif

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Dialog template styles.
#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_CENTER 0x0800L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)
#define SS_NOPREFIX 0x00000080L

#ifndef WM_QUERYDRAGICON
#define WM_QUERYDRAGICON 0x0037
#endif

#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC sizeof(LRESULT)
#define DWLP_USER (DWLP_DLGPROC + sizeof(DLGPROC))

// Menu flags.
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_STRING 0x00000000L
#define MF_POPUP 0x00000010L
#define MF_SEPARATOR 0x00000800L

// Message box types and buttons.
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_ICONSTOP MB_ICONHAND
#define MB_USERICON 0x00000080L
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_HELP 0x00004000L
#define MB_NOFOCUS 0x00008000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_DEFAULT_DESKTOP_ONLY 0x00020000L
#define MB_TOPMOST 0x00040000L
#define MB_RIGHT 0x00080000L
#define MB_RTLREADING 0x00100000L
#define MB_SERVICE_NOTIFICATION 0x00200000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L
#define MB_MODEMASK 0x00003000L
#define MB_MISCMASK 0x0000C000L
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11

WINSIM_BEGIN_C
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName);
BOOL WINAPI DestroyMenu(HMENU hMenu);
HMENU WINAPI GetMenu(HWND hWnd);
HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos);
int WINAPI GetMenuItemCount(HMENU hMenu);
UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos);
int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags);
BOOL WINAPI IsMenu(HMENU hMenu);

INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg);

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
WINSIM_END_C

#define DialogBoxW(hInstance, lpTemplate, hWndParent, lpDialogFunc) \
    DialogBoxParamW(hInstance, lpTemplate, hWndParent, lpDialogFunc, 0L)
#define DialogBox DialogBoxW
#define DialogBoxParam DialogBoxParamW
#define CreateDialogParam CreateDialogParamW
#define IsDialogMessage IsDialogMessageW
#define LoadString LoadStringW
#define LoadMenu LoadMenuW
#define GetMenuString GetMenuStringW
#define MessageBox MessageBoxW
