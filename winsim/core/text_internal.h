// winsim: helpers shared by the text layer (formatting, string functions, code pages).
#pragma once

#include <windows.h>

#include "winsim/machine.h"

#include <cstddef>
#include <cstdint>

namespace winsim::text {

// Case folding of the Windows string functions: ASCII and Latin-1, exactly as
// winsim::Lower/Upper fold whole strings.
inline wchar_t FoldLower(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    if (c > 0xFF) return c;
    return Lower(std::wstring(1, c))[0];
}
inline wchar_t FoldUpper(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    if (c > 0xFF) return c;
    return Upper(std::wstring(1, c))[0];
}

inline bool InRange(wchar_t c, unsigned lo, unsigned hi) {
    return static_cast<unsigned>(c) >= lo && static_cast<unsigned>(c) <= hi;
}

// Letters of the common alphabets (what IsCharAlphaW knows).
inline bool IsLetter(wchar_t c) {
    if (c < 0x80) return InRange(c, 'A', 'Z') || InRange(c, 'a', 'z');
    if (c <= 0xFF) return c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
    return InRange(c, 0x0100, 0x02AF)                                     // Latin Extended, IPA
           || c == 0x0386 || (InRange(c, 0x0388, 0x03FF) && c != 0x03F6)  // Greek
           || InRange(c, 0x0400, 0x0481) || InRange(c, 0x048A, 0x052F)    // Cyrillic
           || InRange(c, 0x1E00, 0x1FFF)                                  // Latin and Greek extended
           || InRange(c, 0x3041, 0x3096) || InRange(c, 0x309D, 0x309F)    // hiragana
           || InRange(c, 0x30A1, 0x30FA) || InRange(c, 0x30FC, 0x30FF)    // katakana
           || InRange(c, 0x3400, 0x4DBF) || InRange(c, 0x4E00, 0x9FFF)    // CJK ideographs
           || InRange(c, 0xAC00, 0xD7A3)                                  // Hangul syllables
           || InRange(c, 0xFF21, 0xFF3A) || InRange(c, 0xFF41, 0xFF5A)    // full-width Latin
           || InRange(c, 0xFF66, 0xFF9F);                                 // half-width katakana
}

// Case folding of the C runtime in the "C" locale: ASCII only.
inline wchar_t CrtLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }
inline wchar_t CrtUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// Sets the calling thread's last error when it is a simulated thread; the text functions
// are pure and also run outside the simulation.
inline void SetError(DWORD err) {
    if (Thread* t = CurrentThreadOrNull()) t->last_error = err;
}
template <class T>
T Failed(DWORD err, T ret) {
    SetError(err);
    return ret;
}

// Code pages (text_codepage.cpp).
// The character of byte b in the ANSI code page (1252).
wchar_t AnsiToWide(unsigned char b);
// The byte of c in code page 1252, or -1 when it has none.
int WideToAnsi(wchar_t c);

// Comparisons (text_kernel.cpp); results -1, 0, 1.
// The model of lstrcmpW/CompareStringW: the lower-case folded texts compared ordinally;
// when they are equal and case counts, the first case difference decides, lower case
// first. ignore_symbols skips everything but letters and digits.
int LinguisticCompare(const wchar_t* a, size_t na, const wchar_t* b, size_t nb, bool ignore_case,
                      bool ignore_symbols = false);
// CompareStringOrdinal: code points, folded to upper case when ignoring case.
int OrdinalCompare(const wchar_t* a, size_t na, const wchar_t* b, size_t nb, bool ignore_case);

// The length of s, but at most max characters.
inline size_t BoundedLength(const wchar_t* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n]) ++n;
    return n;
}

// UTF-8 conversions: invalid input becomes U+FFFD, or fails when strict.
bool DecodeUtf8(const unsigned char* s, size_t n, bool strict, std::wstring& out);
bool EncodeUtf8(const wchar_t* s, size_t n, bool strict, std::string& out);

}  // namespace winsim::text
