// winsim: user32 text formatting (included by winuser.h).
#pragma once
#include "../winnt.h"

WINSIM_BEGIN_C
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
WINSIM_END_C

#define wsprintf wsprintfW
#define wvsprintf wvsprintfW
