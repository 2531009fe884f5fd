// winsim: user32 text formatting and character functions (included by winuser.h).
//
// wsprintfW/wvsprintfW follow user32's format rules (see winsim/format.h): no floating
// point, 32-bit plain and 'l' integers, %s wide and %S narrow (ANSI) strings. Their
// output is limited to 1024 characters including the terminator; longer output is
// truncated and the count of characters stored is returned. The character functions know
// ASCII and Latin-1 case; IsCharAlphaW also knows the letters of the common alphabets
// (Latin, Greek, Cyrillic, kana, CJK ideographs, Hangul).
#pragma once
#include "../winnt.h"

WINSIM_BEGIN_C
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);

// With a pointer whose high-order bits are zero, CharUpperW/CharLowerW convert the single
// character in its low word and return it the same way.
LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
LPWSTR WINAPI CharLowerW(LPWSTR lpsz);
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
BOOL WINAPI IsCharAlphaW(WCHAR ch);
BOOL WINAPI IsCharAlphaNumericW(WCHAR ch);
BOOL WINAPI IsCharUpperW(WCHAR ch);
BOOL WINAPI IsCharLowerW(WCHAR ch);
WINSIM_END_C

#define wsprintf wsprintfW
#define wvsprintf wvsprintfW
#define CharUpper CharUpperW
#define CharLower CharLowerW
#define CharUpperBuff CharUpperBuffW
#define CharLowerBuff CharLowerBuffW
#define IsCharAlpha IsCharAlphaW
#define IsCharAlphaNumeric IsCharAlphaNumericW
#define IsCharUpper IsCharUpperW
#define IsCharLower IsCharLowerW
