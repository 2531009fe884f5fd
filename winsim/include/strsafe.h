// winsim: strsafe.h - bounded string copy, concatenation and formatting (wide forms).
//
// Results: S_OK; STRSAFE_E_INSUFFICIENT_BUFFER when the result did not fit (the buffer
// then holds the truncated result, terminated); STRSAFE_E_INVALID_PARAMETER for a size of
// 0 or beyond STRSAFE_MAX_CCH, a null buffer or a destination not terminated within its
// size (concatenation). On an invalid size the first character is set to 0 when the size
// is non-zero. Cb functions take sizes in bytes (sizeof(WCHAR) per character).
//
// The printf forms format as the C runtime's _vsnwprintf does (winsim/format.h, Crt
// style: %s is a wide string, floating point is supported). An invalid format (which
// would call the CRT's invalid-parameter handler) gives STRSAFE_E_INVALID_PARAMETER and
// an empty string.
#pragma once
#include "windows.h"

#define STRSAFE_MAX_CCH 2147483647
#define STRSAFE_MAX_LENGTH (STRSAFE_MAX_CCH - 1)

// Flags of the Ex forms; the low byte is the fill byte.
#define STRSAFE_IGNORE_NULLS 0x00000100
#define STRSAFE_FILL_BEHIND_NULL 0x00000200
#define STRSAFE_FILL_ON_FAILURE 0x00000400
#define STRSAFE_NULL_ON_FAILURE 0x00000800
#define STRSAFE_NO_TRUNCATION 0x00001000
#define STRSAFE_FILL_BYTE(x) ((DWORD)(((x)&0x000000FF) | STRSAFE_FILL_BEHIND_NULL))
#define STRSAFE_FAILURE_BYTE(x) ((DWORD)(((x)&0x000000FF) | STRSAFE_FILL_ON_FAILURE))
#define STRSAFE_GET_FILL_PATTERN(dwFlags) ((int)((dwFlags)&0x000000FF))

typedef WCHAR* STRSAFE_LPWSTR;
typedef const WCHAR* STRSAFE_LPCWSTR;

WINSIM_BEGIN_C
HRESULT WINAPI StringCchCopyW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc);
HRESULT WINAPI StringCchCopyNW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc, size_t cchToCopy);
HRESULT WINAPI StringCchCatW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc);
HRESULT WINAPI StringCchCatNW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc, size_t cchToAppend);
HRESULT WINAPI StringCchLengthW(STRSAFE_LPCWSTR psz, size_t cchMax, size_t* pcchLength);
HRESULT WINAPIV StringCchPrintfW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszFormat, ...);
HRESULT WINAPIV StringCchPrintfExW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPWSTR* ppszDestEnd,
                                   size_t* pcchRemaining, DWORD dwFlags, STRSAFE_LPCWSTR pszFormat, ...);

HRESULT WINAPI StringCbCopyW(STRSAFE_LPWSTR pszDest, size_t cbDest, STRSAFE_LPCWSTR pszSrc);
HRESULT WINAPI StringCbCatW(STRSAFE_LPWSTR pszDest, size_t cbDest, STRSAFE_LPCWSTR pszSrc);
HRESULT WINAPI StringCbLengthW(STRSAFE_LPCWSTR psz, size_t cbMax, size_t* pcbLength);
HRESULT WINAPIV StringCbPrintfW(STRSAFE_LPWSTR pszDest, size_t cbDest, STRSAFE_LPCWSTR pszFormat, ...);
WINSIM_END_C

#define StringCchCopy StringCchCopyW
#define StringCchCopyN StringCchCopyNW
#define StringCchCat StringCchCatW
#define StringCchCatN StringCchCatNW
#define StringCchLength StringCchLengthW
#define StringCchPrintf StringCchPrintfW
#define StringCchPrintfEx StringCchPrintfExW
#define StringCbCopy StringCbCopyW
#define StringCbCat StringCbCatW
#define StringCbLength StringCbLengthW
#define StringCbPrintf StringCbPrintfW
