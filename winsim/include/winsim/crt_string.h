// winsim: the Microsoft C runtime's string extras that glibc lacks (_wcsicmp, wcscpy_s,
// _snwprintf ...), with the Microsoft semantics in the "C" locale:
// - case-insensitive functions fold ASCII only;
// - integers have the Windows sizes: long is 32 bits, so _wtol and _ultow work on 32-bit
//   values and _wtol clamps to the 32-bit range;
// - the printf family formats as the Microsoft CRT does (winsim/format.h, Crt style): in
//   these wide functions %s is a wide string and %S a narrow one;
// - where the CRT calls its invalid-parameter handler (which by default ends the
//   program) these functions set errno and return the error the CRT returns when the
//   handler lets it continue: EINVAL or ERANGE, -1 for the printf forms, and the
//   destination (when there is one) is left holding an empty string.
// _tcstol/_tcstoul (tchar.h) map to _winsim_wcstol/_winsim_wcstoul, which give the 32-bit
// results of the Windows wcstol/wcstoul; a direct wcstol call reaches the host's 64-bit one.
#pragma once

#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <wchar.h>

#ifndef _ERRNO_T_DEFINED
#define _ERRNO_T_DEFINED
typedef int errno_t;
#endif
#ifndef _RSIZE_T_DEFINED
#define _RSIZE_T_DEFINED
typedef size_t rsize_t;
#endif

#define _TRUNCATE ((size_t)-1)
// EINVAL (22) and ERANGE (34) have the same values on Linux and Windows.
#ifndef STRUNCATE
#define STRUNCATE 80
#endif
#define _NLSCMPERROR 2147483647
#ifndef _countof
#define _countof(array) (sizeof(array) / sizeof((array)[0]))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Comparison and case.
int _wcsicmp(const wchar_t* string1, const wchar_t* string2);
int _wcsnicmp(const wchar_t* string1, const wchar_t* string2, size_t count);
int _stricmp(const char* string1, const char* string2);
int _strnicmp(const char* string1, const char* string2, size_t count);
wchar_t* _wcsupr(wchar_t* str);
wchar_t* _wcslwr(wchar_t* str);
errno_t _wcsupr_s(wchar_t* str, size_t numberOfElements);
wchar_t* _wcsdup(const wchar_t* strSource);  // freed with free()
wchar_t* _wcsrev(wchar_t* str);

// Numbers.
int _wtoi(const wchar_t* str);
long _wtol(const wchar_t* str);
long long _wtoi64(const wchar_t* str);
double _wtof(const wchar_t* str);
long _winsim_wcstol(const wchar_t* str, wchar_t** endptr, int base);
unsigned long _winsim_wcstoul(const wchar_t* str, wchar_t** endptr, int base);
wchar_t* _itow(int value, wchar_t* buffer, int radix);
wchar_t* _ltow(long value, wchar_t* buffer, int radix);
wchar_t* _ultow(unsigned long value, wchar_t* buffer, int radix);
wchar_t* _i64tow(long long value, wchar_t* buffer, int radix);
wchar_t* _ui64tow(unsigned long long value, wchar_t* buffer, int radix);
errno_t _itow_s(int value, wchar_t* buffer, size_t size, int radix);
errno_t _ultow_s(unsigned long value, wchar_t* buffer, size_t size, int radix);

// Bounded copies.
errno_t wcscpy_s(wchar_t* dest, rsize_t dest_size, const wchar_t* src);
errno_t wcsncpy_s(wchar_t* dest, rsize_t dest_size, const wchar_t* src, rsize_t count);
errno_t wcscat_s(wchar_t* dest, rsize_t dest_size, const wchar_t* src);
errno_t wcsncat_s(wchar_t* dest, rsize_t dest_size, const wchar_t* src, rsize_t count);
wchar_t* wcstok_s(wchar_t* str, const wchar_t* delimiters, wchar_t** context);
errno_t strcpy_s(char* dest, rsize_t dest_size, const char* src);
errno_t strcat_s(char* dest, rsize_t dest_size, const char* src);

// Formatting. _snwprintf/_vsnwprintf: at most count characters; terminated only when the
// output is shorter than count; -1 when it is longer (count characters stored). With a
// null buffer and count 0 they return the length the output needs.
int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...);
int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list argptr);
int _snwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, ...);
int swprintf_s(wchar_t* buffer, size_t sizeOfBuffer, const wchar_t* format, ...);
int _scwprintf(const wchar_t* format, ...);

#ifdef __cplusplus
}  // extern "C"

// The C++ overloads that take the destination's size from its array type.
template <size_t N>
inline errno_t wcscpy_s(wchar_t (&dest)[N], const wchar_t* src) {
    return wcscpy_s(dest, N, src);
}
template <size_t N>
inline errno_t wcsncpy_s(wchar_t (&dest)[N], const wchar_t* src, size_t count) {
    return wcsncpy_s(dest, N, src, count);
}
template <size_t N>
inline errno_t wcscat_s(wchar_t (&dest)[N], const wchar_t* src) {
    return wcscat_s(dest, N, src);
}
template <size_t N>
inline errno_t wcsncat_s(wchar_t (&dest)[N], const wchar_t* src, size_t count) {
    return wcsncat_s(dest, N, src, count);
}
template <size_t N>
inline errno_t strcpy_s(char (&dest)[N], const char* src) {
    return strcpy_s(dest, N, src);
}
template <size_t N>
inline errno_t strcat_s(char (&dest)[N], const char* src) {
    return strcat_s(dest, N, src);
}
template <size_t N>
inline errno_t _wcsupr_s(wchar_t (&str)[N]) {
    return _wcsupr_s(str, N);
}
template <size_t N>
inline errno_t _itow_s(int value, wchar_t (&buffer)[N], int radix) {
    return _itow_s(value, buffer, N, radix);
}
template <size_t N>
inline errno_t _ultow_s(unsigned long value, wchar_t (&buffer)[N], int radix) {
    return _ultow_s(value, buffer, N, radix);
}
template <size_t N, class... Args>
inline int swprintf_s(wchar_t (&buffer)[N], const wchar_t* format, Args... args) {
    return swprintf_s(buffer, N, format, args...);
}
template <size_t N, class... Args>
inline int _snwprintf_s(wchar_t (&buffer)[N], size_t count, const wchar_t* format, Args... args) {
    return _snwprintf_s(buffer, N, count, format, args...);
}
#endif
