// winsim: shlwapi string functions and formatting.
#include <shlwapi.h>

#include "text_internal.h"
#include "winsim/format.h"

#include <cstring>

using namespace winsim;

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Parses (blanks)(sign)(digits) or, with hex, (blanks)(sign)0x(hex digits); the value
// wraps around as a 32-bit int. False when no digit was found.
bool ParseInt(PCWSTR s, bool hex, int* out) {
    while (IsBlank(*s)) ++s;
    bool neg = false;
    if (*s == L'-' || *s == L'+') neg = *s++ == L'-';
    unsigned base = 10;
    if (hex && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) {
        base = 16;
        s += 2;
    }
    uint32_t v = 0;
    bool any = false;
    for (;; ++s) {
        unsigned d;
        if (*s >= L'0' && *s <= L'9')
            d = static_cast<unsigned>(*s - L'0');
        else if (base == 16 && *s >= L'a' && *s <= L'f')
            d = static_cast<unsigned>(*s - L'a' + 10);
        else if (base == 16 && *s >= L'A' && *s <= L'F')
            d = static_cast<unsigned>(*s - L'A' + 10);
        else
            break;
        v = v * base + d;
        any = true;
    }
    if (neg) v = 0u - v;
    *out = any ? static_cast<int>(v) : 0;
    return any;
}

PWSTR Find(PCWSTR hay, PCWSTR needle, bool icase) {
    if (!hay || !needle || !*needle) return NULL;
    size_t n = wcslen(needle);
    for (PCWSTR p = hay; *p; ++p) {
        size_t i = 0;
        while (i < n && p[i] && (icase ? text::FoldLower(p[i]) == text::FoldLower(needle[i]) : p[i] == needle[i])) ++i;
        if (i == n) return const_cast<PWSTR>(p);
    }
    return NULL;
}

}  // namespace

int WINAPI wvnsprintfW(PWSTR pszDest, int cchDest, PCWSTR pszFmt, va_list arglist) {
    if (!pszDest || cchDest <= 0) return -1;
    if (!pszFmt) {
        pszDest[0] = 0;
        return -1;
    }
    int n = FormatW(pszDest, static_cast<size_t>(cchDest), pszFmt, arglist, FormatStyle::User32);
    return (n < 0 || n >= cchDest) ? -1 : n;
}

int WINAPIV wnsprintfW(PWSTR pszDest, int cchDest, PCWSTR pszFmt, ...) {
    va_list ap;
    va_start(ap, pszFmt);
    int n = wvnsprintfW(pszDest, cchDest, pszFmt, ap);
    va_end(ap);
    return n;
}

int WINAPI StrCmpW(PCWSTR psz1, PCWSTR psz2) { return lstrcmpW(psz1, psz2); }

int WINAPI StrCmpIW(PCWSTR psz1, PCWSTR psz2) { return lstrcmpiW(psz1, psz2); }

int WINAPI StrCmpNW(PCWSTR psz1, PCWSTR psz2, int nChar) {
    if (nChar <= 0) return 0;
    if (!psz1 || !psz2) return lstrcmpW(psz1, psz2);
    size_t n = static_cast<size_t>(nChar);
    return text::LinguisticCompare(psz1, text::BoundedLength(psz1, n), psz2, text::BoundedLength(psz2, n), false);
}

int WINAPI StrCmpNIW(PCWSTR psz1, PCWSTR psz2, int nChar) {
    if (nChar <= 0) return 0;
    if (!psz1 || !psz2) return lstrcmpiW(psz1, psz2);
    size_t n = static_cast<size_t>(nChar);
    return text::LinguisticCompare(psz1, text::BoundedLength(psz1, n), psz2, text::BoundedLength(psz2, n), true);
}

PWSTR WINAPI StrStrW(PCWSTR pszFirst, PCWSTR pszSrch) { return Find(pszFirst, pszSrch, false); }

PWSTR WINAPI StrStrIW(PCWSTR pszFirst, PCWSTR pszSrch) { return Find(pszFirst, pszSrch, true); }

PWSTR WINAPI StrChrW(PCWSTR pszStart, WCHAR wMatch) {
    if (!pszStart) return NULL;
    for (PCWSTR p = pszStart; *p; ++p)
        if (*p == wMatch) return const_cast<PWSTR>(p);
    return NULL;
}

PWSTR WINAPI StrChrIW(PCWSTR pszStart, WCHAR wMatch) {
    if (!pszStart) return NULL;
    wchar_t m = text::FoldLower(wMatch);
    for (PCWSTR p = pszStart; *p; ++p)
        if (text::FoldLower(*p) == m) return const_cast<PWSTR>(p);
    return NULL;
}

PWSTR WINAPI StrRChrW(PCWSTR pszStart, PCWSTR pszEnd, WCHAR wMatch) {
    if (!pszStart) return NULL;
    if (!pszEnd) pszEnd = pszStart + wcslen(pszStart);
    PCWSTR found = NULL;
    for (PCWSTR p = pszStart; p < pszEnd && *p; ++p)
        if (*p == wMatch) found = p;
    return const_cast<PWSTR>(found);
}

int WINAPI StrToIntW(PCWSTR pszSrc) {
    int v = 0;
    if (pszSrc) ParseInt(pszSrc, false, &v);
    return v;
}

BOOL WINAPI StrToIntExW(PCWSTR pszString, STIF_FLAGS dwFlags, int* piRet) {
    if (!pszString || !piRet) return FALSE;
    return ParseInt(pszString, (dwFlags & STIF_SUPPORT_HEX) != 0, piRet) ? TRUE : FALSE;
}

BOOL WINAPI StrTrimW(PWSTR psz, PCWSTR pszTrimChars) {
    if (!psz || !pszTrimChars) return FALSE;
    size_t len = wcslen(psz);
    size_t b = 0, e = len;
    while (b < e && wcschr(pszTrimChars, psz[b])) ++b;
    while (e > b && wcschr(pszTrimChars, psz[e - 1])) --e;
    if (b == 0 && e == len) return FALSE;
    memmove(psz, psz + b, (e - b) * sizeof(wchar_t));
    psz[e - b] = 0;
    return TRUE;
}

PWSTR WINAPI StrCpyNW(PWSTR pszDst, PCWSTR pszSrc, int cchMax) {
    if (!pszDst || cchMax <= 0) return pszDst;
    int i = 0;
    if (pszSrc)
        for (; i < cchMax - 1 && pszSrc[i]; ++i) pszDst[i] = pszSrc[i];
    pszDst[i] = 0;
    return pszDst;
}

PWSTR WINAPI StrDupW(PCWSTR pszSrch) {
    size_t n = pszSrch ? wcslen(pszSrch) : 0;
    PWSTR p = static_cast<PWSTR>(LocalAlloc(LMEM_FIXED, (n + 1) * sizeof(wchar_t)));
    if (!p) return NULL;
    if (n) memcpy(p, pszSrch, n * sizeof(wchar_t));
    p[n] = 0;
    return p;
}

PWSTR WINAPI StrCatBuffW(PWSTR pszDest, PCWSTR pszSrc, int cchDestBuffSize) {
    if (!pszDest || !pszSrc || cchDestBuffSize <= 0) return pszDest;
    size_t cap = static_cast<size_t>(cchDestBuffSize);
    size_t len = text::BoundedLength(pszDest, cap);
    if (len >= cap - 1) return pszDest;  // full (or not terminated within the buffer)
    size_t i = 0;
    for (; len + i < cap - 1 && pszSrc[i]; ++i) pszDest[len + i] = pszSrc[i];
    pszDest[len + i] = 0;
    return pszDest;
}
