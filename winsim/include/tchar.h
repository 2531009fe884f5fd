// winsim: tchar.h - the generic-text mappings for a UNICODE build (every _t name maps to
// its wide form). _tcstol/_tcstoul map to the Windows-sized (32-bit) conversions.
#pragma once
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "winsim/crt_string.h"

#define __T(x) L##x
#define _T(x) __T(x)
#define _TEXT(x) __T(x)

typedef wchar_t _TCHAR;
typedef wchar_t _TSCHAR;
typedef wchar_t _TUCHAR;
typedef wchar_t _TXCHAR;
typedef wint_t _TINT;
#define _TEOF WEOF

#define _tmain wmain
#define _tWinMain wWinMain

// Strings.
#define _tcslen wcslen
#define _tcsnlen wcsnlen
#define _tcscpy wcscpy
#define _tcscpy_s wcscpy_s
#define _tcsncpy wcsncpy
#define _tcsncpy_s wcsncpy_s
#define _tcscat wcscat
#define _tcscat_s wcscat_s
#define _tcsncat wcsncat
#define _tcsncat_s wcsncat_s
#define _tcscmp wcscmp
#define _tcsncmp wcsncmp
#define _tcsicmp _wcsicmp
#define _tcsnicmp _wcsnicmp
#define _tcsstr wcsstr
#define _tcschr wcschr
#define _tcsrchr wcsrchr
#define _tcsspn wcsspn
#define _tcscspn wcscspn
#define _tcspbrk wcspbrk
#define _tcstok_s wcstok_s
#define _tcsdup _wcsdup
#define _tcsupr _wcsupr
#define _tcslwr _wcslwr
#define _tcsupr_s _wcsupr_s
#define _tcsrev _wcsrev

// Numbers.
#define _ttoi _wtoi
#define _tstoi _wtoi
#define _ttol _wtol
#define _tstol _wtol
#define _ttoi64 _wtoi64
#define _tstoi64 _wtoi64
#define _ttof _wtof
#define _tstof _wtof
#define _tcstol _winsim_wcstol
#define _tcstoul _winsim_wcstoul
#define _tcstoi64 wcstoll
#define _tcstoui64 wcstoull
#define _tcstod wcstod
#define _itot _itow
#define _itot_s _itow_s
#define _ltot _ltow
#define _ultot _ultow
#define _ultot_s _ultow_s
#define _i64tot _i64tow
#define _ui64tot _ui64tow

// Formatting (Microsoft CRT semantics: %s is a wide string).
#define _stprintf_s swprintf_s
#define _sntprintf _snwprintf
#define _vsntprintf _vsnwprintf
#define _sntprintf_s _snwprintf_s
#define _sctprintf _scwprintf
