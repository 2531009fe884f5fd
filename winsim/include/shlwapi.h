// winsim: shlwapi.h - the shell's light-weight utility functions.
//
// Sections: string functions and formatting (below); path functions join in their own
// section.
#pragma once
#include "windows.h"

// ---------------------------------------------------------------------------------------
// Strings and formatting
//
// wnsprintfW/wvnsprintfW use user32's format rules (winsim/format.h). They write at most
// cchDest - 1 characters and always terminate (cchDest > 0); when the output does not
// fit it is truncated and -1 is returned. The comparisons fold ASCII and Latin-1 case and
// return -1, 0 or 1 (see winsim/api_string.h for the ordering). StrStrW/StrStrIW find
// nothing for an empty search string. StrDupW's copy is freed with LocalFree (a null string
// duplicates as an empty one). StrToIntW/StrToIntExW wrap around beyond 32 bits.

typedef int STIF_FLAGS;
#define STIF_DEFAULT 0x00000000L
#define STIF_SUPPORT_HEX 0x00000001L

WINSIM_BEGIN_C
int WINAPIV wnsprintfW(PWSTR pszDest, int cchDest, PCWSTR pszFmt, ...);
int WINAPI wvnsprintfW(PWSTR pszDest, int cchDest, PCWSTR pszFmt, va_list arglist);

int WINAPI StrCmpW(PCWSTR psz1, PCWSTR psz2);
int WINAPI StrCmpIW(PCWSTR psz1, PCWSTR psz2);
int WINAPI StrCmpNW(PCWSTR psz1, PCWSTR psz2, int nChar);
int WINAPI StrCmpNIW(PCWSTR psz1, PCWSTR psz2, int nChar);
PWSTR WINAPI StrStrW(PCWSTR pszFirst, PCWSTR pszSrch);
PWSTR WINAPI StrStrIW(PCWSTR pszFirst, PCWSTR pszSrch);
PWSTR WINAPI StrChrW(PCWSTR pszStart, WCHAR wMatch);
PWSTR WINAPI StrChrIW(PCWSTR pszStart, WCHAR wMatch);
PWSTR WINAPI StrRChrW(PCWSTR pszStart, PCWSTR pszEnd, WCHAR wMatch);
int WINAPI StrToIntW(PCWSTR pszSrc);
BOOL WINAPI StrToIntExW(PCWSTR pszString, STIF_FLAGS dwFlags, int* piRet);
BOOL WINAPI StrTrimW(PWSTR psz, PCWSTR pszTrimChars);
PWSTR WINAPI StrCpyNW(PWSTR pszDst, PCWSTR pszSrc, int cchMax);
PWSTR WINAPI StrDupW(PCWSTR pszSrch);
PWSTR WINAPI StrCatBuffW(PWSTR pszDest, PCWSTR pszSrc, int cchDestBuffSize);
WINSIM_END_C

#define wnsprintf wnsprintfW
#define wvnsprintf wvnsprintfW
#define StrCmp StrCmpW
#define StrCmpI StrCmpIW
#define StrCmpN StrCmpNW
#define StrCmpNI StrCmpNIW
#define StrStr StrStrW
#define StrStrI StrStrIW
#define StrChr StrChrW
#define StrChrI StrChrIW
#define StrRChr StrRChrW
#define StrToInt StrToIntW
#define StrToLong StrToIntW
#define StrToIntEx StrToIntExW
#define StrTrim StrTrimW
#define StrCpyN StrCpyNW
#define StrNCpy StrCpyNW
#define StrDup StrDupW
#define StrCatBuff StrCatBuffW

// ---------------------------------------------------------------------------------------
// Paths
