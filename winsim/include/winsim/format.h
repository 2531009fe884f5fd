// winsim: the one formatter behind every wide printf-style function of the platform
// (user32's wsprintfW family, shlwapi's wnsprintfW, strsafe and the C runtime's
// _snwprintf family).
//
// Both styles read their arguments with the Windows (LLP64) sizes even though the host is
// LP64: plain and 'l' integers are 32 bits, 'll'/'I64' 64 bits, 'I'/'z'/'t' and %p
// pointer-sized. In a wide function %s/%ls/%ws is a wide string, %S/%hs a narrow one;
// %c/%lc/%wc a WCHAR, %C/%hc a char. A null string pointer prints "(null)".
//
// User32 style (wsprintfW, wvsprintfW, wnsprintfW, wvnsprintfW):
//   %[-][#][0][width][.precision][size]type, flags in any order; no '*', no '+'/' '.
//   Sizes h, l, w, I, I32, I64 and (as an extension) ll. Types c C d i u x X s S p.
//   Number precision 0 or missing means 1 ("%.0d" of 0 prints "0"); '#' always
//   prefixes 0x/0X; '0' pads numbers and strings with zeros unless '-' is given; a zero
//   character argument prints nothing. A '%' followed by anything else prints that
//   character and consumes no argument ("%%" is '%', "%+d" is "+d"). Narrow strings and
//   characters are converted from the ANSI code page (1252). No floating point.
//
// Crt style (the Microsoft C runtime in the "C" locale):
//   %[flags][width][.precision][size]type with flags - + space # 0, '*' for width and
//   precision, sizes h hh l ll L w I I32 I64 j z t, types c C d i o u x X e E f F g G a A
//   p s S. '0' is ignored with '-' or an integer precision; "%.0d" of 0 prints nothing;
//   '#' prefixes only non-zero hex values; a zero %c is written as a NUL character.
//   Narrow text is widened byte for byte (the "C" locale). %p is 16 upper-case hex
//   digits. An unknown type, %n or a lone '%' at the end is an invalid format (the CRT
//   would call its invalid-parameter handler): the result is -1. Floating-point
//   conversions are done by the host's snprintf (so "inf"/"nan" and %a digits follow the
//   host).
#pragma once

#include <stdarg.h>
#include <stddef.h>

#include <string>

namespace winsim {

enum class FormatStyle { User32, Crt };

// Formats fmt into out, writing at most cch - 1 characters and always a terminator when
// cch > 0 (out may be null when cch is 0). Returns the length of the complete output
// without its terminator (which may exceed cch - 1: the output was truncated), or -1 for
// an invalid format (Crt style) or an output longer than INT_MAX. On -1 the buffer holds
// an empty string.
int FormatW(wchar_t* out, size_t cch, const wchar_t* fmt, va_list ap, FormatStyle style = FormatStyle::User32);
int FormatW(wchar_t* out, size_t cch, FormatStyle style, const wchar_t* fmt, ...);

// Like FormatW but writes at most cap characters and no terminator; returns the length of
// the complete output or -1 (nothing is guaranteed about the buffer on -1).
int FormatRawW(wchar_t* out, size_t cap, const wchar_t* fmt, va_list ap, FormatStyle style);

// The complete output as a string (empty on an invalid format).
std::wstring FormatStringW(FormatStyle style, const wchar_t* fmt, va_list ap);
std::wstring FormatStringW(FormatStyle style, const wchar_t* fmt, ...);

}  // namespace winsim
