// winsim: kernel32 string functions (lstr*, CompareString*) and local memory.
#include <windows.h>

#include "text_internal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace winsim;

namespace winsim::text {

namespace {

int Sign(long long d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

bool Counts(wchar_t c) { return IsLetter(c) || InRange(c, '0', '9'); }

}  // namespace

int LinguisticCompare(const wchar_t* a, size_t na, const wchar_t* b, size_t nb, bool ignore_case, bool ignore_symbols) {
    std::vector<wchar_t> fa, fb;
    if (ignore_symbols) {
        for (size_t i = 0; i < na; ++i)
            if (Counts(a[i])) fa.push_back(a[i]);
        for (size_t i = 0; i < nb; ++i)
            if (Counts(b[i])) fb.push_back(b[i]);
        a = fa.data();
        na = fa.size();
        b = fb.data();
        nb = fb.size();
    }
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = FoldLower(a[i]), y = FoldLower(b[i]);
        if (x != y) return Sign(static_cast<long long>(x) - static_cast<long long>(y));
    }
    if (na != nb) return na < nb ? -1 : 1;
    if (ignore_case) return 0;
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        bool a_lower = FoldLower(a[i]) == a[i];
        return a_lower ? -1 : 1;
    }
    return 0;
}

int OrdinalCompare(const wchar_t* a, size_t na, const wchar_t* b, size_t nb, bool ignore_case) {
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = ignore_case ? FoldUpper(a[i]) : a[i];
        wchar_t y = ignore_case ? FoldUpper(b[i]) : b[i];
        if (x != y) return Sign(static_cast<long long>(x) - static_cast<long long>(y));
    }
    if (na != nb) return na < nb ? -1 : 1;
    return 0;
}

}  // namespace winsim::text

int WINAPI lstrlenW(LPCWSTR lpString) { return lpString ? static_cast<int>(wcslen(lpString)) : 0; }

int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(strlen(lpString)) : 0; }

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return NULL;
    return wcscpy(lpString1, lpString2);
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2) return NULL;
    if (iMaxLength <= 0) return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = 0;
    return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return NULL;
    return wcscat(lpString1, lpString2);
}

namespace {

int NullOrder(LPCWSTR a, LPCWSTR b) {
    if (!a && !b) return 0;
    return !a ? -1 : 1;
}

}  // namespace

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return NullOrder(lpString1, lpString2);
    return text::LinguisticCompare(lpString1, wcslen(lpString1), lpString2, wcslen(lpString2), false);
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return NullOrder(lpString1, lpString2);
    return text::LinguisticCompare(lpString1, wcslen(lpString1), lpString2, wcslen(lpString2), true);
}

int WINAPI CompareStringW(LCID, DWORD dwCmpFlags, LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2, int cchCount2) {
    const DWORD known = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | SORT_DIGITSASNUMBERS |
                        LINGUISTIC_IGNORECASE | LINGUISTIC_IGNOREDIACRITIC | SORT_STRINGSORT | NORM_IGNOREKANATYPE |
                        NORM_IGNOREWIDTH | NORM_LINGUISTIC_CASING;
    if (!lpString1 || !lpString2) return text::Failed(ERROR_INVALID_PARAMETER, 0);
    if (dwCmpFlags & ~known) return text::Failed(ERROR_INVALID_FLAGS, 0);
    size_t n1 = cchCount1 < 0 ? wcslen(lpString1) : static_cast<size_t>(cchCount1);
    size_t n2 = cchCount2 < 0 ? wcslen(lpString2) : static_cast<size_t>(cchCount2);
    bool icase = (dwCmpFlags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE)) != 0;
    return 2 + text::LinguisticCompare(lpString1, n1, lpString2, n2, icase, (dwCmpFlags & NORM_IGNORESYMBOLS) != 0);
}

int WINAPI CompareStringOrdinal(LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2, int cchCount2, BOOL bIgnoreCase) {
    if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1) return text::Failed(ERROR_INVALID_PARAMETER, 0);
    size_t n1 = cchCount1 < 0 ? wcslen(lpString1) : static_cast<size_t>(cchCount1);
    size_t n2 = cchCount2 < 0 ? wcslen(lpString2) : static_cast<size_t>(cchCount2);
    return 2 + text::OrdinalCompare(lpString1, n1, lpString2, n2, bIgnoreCase != FALSE);
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* p = (uFlags & LMEM_ZEROINIT) ? calloc(uBytes ? uBytes : 1, 1) : malloc(uBytes ? uBytes : 1);
    if (!p) return text::Failed(ERROR_NOT_ENOUGH_MEMORY, static_cast<HLOCAL>(NULL));
    return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    free(hMem);
    return NULL;
}
