// winsim: strsafe's wide functions.
#include <strsafe.h>

#include "text_internal.h"
#include "winsim/format.h"

#include <cstring>

using namespace winsim;

namespace {

constexpr size_t kMax = STRSAFE_MAX_CCH;

// A destination size check; clears the first character of a buffer with a bogus size.
bool ValidDest(STRSAFE_LPWSTR dest, size_t cch) {
    if (cch == 0 || !dest) return false;
    if (cch > kMax) {
        dest[0] = 0;
        return false;
    }
    return true;
}

// Copies at most max characters of src to dest (room for cch characters, terminator
// included) and terminates. Returns *out_len = characters written.
HRESULT CopyWorker(STRSAFE_LPWSTR dest, size_t cch, STRSAFE_LPCWSTR src, size_t max, size_t* out_len = nullptr) {
    size_t i = 0;
    while (i < max && src[i] && i + 1 < cch) {
        dest[i] = src[i];
        ++i;
    }
    dest[i] = 0;
    if (out_len) *out_len = i;
    return (i < max && src[i]) ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

HRESULT Copy(STRSAFE_LPWSTR dest, size_t cch, STRSAFE_LPCWSTR src, size_t max) {
    if (!ValidDest(dest, cch)) return STRSAFE_E_INVALID_PARAMETER;
    if (max > kMax || !src) {
        dest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    return CopyWorker(dest, cch, src, max);
}

HRESULT Cat(STRSAFE_LPWSTR dest, size_t cch, STRSAFE_LPCWSTR src, size_t max) {
    if (!ValidDest(dest, cch) || max > kMax || !src) return STRSAFE_E_INVALID_PARAMETER;
    size_t len = text::BoundedLength(dest, cch);
    if (len == cch) return STRSAFE_E_INVALID_PARAMETER;  // not terminated within its size
    return CopyWorker(dest + len, cch - len, src, max);
}

HRESULT VPrintf(STRSAFE_LPWSTR dest, size_t cch, STRSAFE_LPCWSTR fmt, va_list ap, size_t* out_len) {
    if (!ValidDest(dest, cch)) return STRSAFE_E_INVALID_PARAMETER;
    if (!fmt) {
        dest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    int n = FormatW(dest, cch, fmt, ap, FormatStyle::Crt);
    if (n < 0) return STRSAFE_E_INVALID_PARAMETER;  // FormatW left an empty string
    if (static_cast<size_t>(n) >= cch) {
        *out_len = cch - 1;
        return STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    *out_len = static_cast<size_t>(n);
    return S_OK;
}

size_t CbToCch(size_t cb) { return cb / sizeof(WCHAR); }

// StringCchPrintfExW's work on a va_list.
HRESULT VPrintfEx(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPWSTR* ppszDestEnd, size_t* pcchRemaining,
                  DWORD dwFlags, STRSAFE_LPCWSTR pszFormat, va_list argList) {
    const DWORD valid = 0xFF | STRSAFE_IGNORE_NULLS | STRSAFE_FILL_BEHIND_NULL | STRSAFE_FILL_ON_FAILURE |
                        STRSAFE_NULL_ON_FAILURE | STRSAFE_NO_TRUNCATION;
    if (dwFlags & ~valid) return STRSAFE_E_INVALID_PARAMETER;
    if ((dwFlags & STRSAFE_IGNORE_NULLS) && !pszFormat) pszFormat = L"";
    if ((dwFlags & STRSAFE_IGNORE_NULLS) && !pszDest && cchDest == 0) {
        // Nothing to write to: success only for an empty result.
        int n = FormatW(nullptr, 0, pszFormat, argList, FormatStyle::Crt);
        if (n != 0) return n < 0 ? STRSAFE_E_INVALID_PARAMETER : STRSAFE_E_INSUFFICIENT_BUFFER;
        if (ppszDestEnd) *ppszDestEnd = pszDest;
        if (pcchRemaining) *pcchRemaining = 0;
        return S_OK;
    }
    size_t len = 0;
    HRESULT hr = VPrintf(pszDest, cchDest, pszFormat, argList, &len);
    if (hr == STRSAFE_E_INVALID_PARAMETER) return hr;

    const int fill = STRSAFE_GET_FILL_PATTERN(dwFlags);
    STRSAFE_LPWSTR end = pszDest + len;
    size_t remaining = cchDest - len;
    if (SUCCEEDED(hr)) {
        if ((dwFlags & STRSAFE_FILL_BEHIND_NULL) && remaining > 1)
            memset(end + 1, fill, (remaining - 1) * sizeof(WCHAR));
    } else {
        if (dwFlags & STRSAFE_FILL_ON_FAILURE) {
            memset(pszDest, fill, cchDest * sizeof(WCHAR));
            if (fill == 0) {
                end = pszDest;
                remaining = cchDest;
            } else {
                end = pszDest + cchDest - 1;
                remaining = 1;
                *end = 0;
            }
        }
        if (dwFlags & (STRSAFE_NULL_ON_FAILURE | STRSAFE_NO_TRUNCATION)) {
            pszDest[0] = 0;
            end = pszDest;
            remaining = cchDest;
        }
    }
    if (ppszDestEnd) *ppszDestEnd = end;
    if (pcchRemaining) *pcchRemaining = remaining;
    return hr;
}

}  // namespace

HRESULT WINAPI StringCchCopyW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc) {
    return Copy(pszDest, cchDest, pszSrc, STRSAFE_MAX_LENGTH);
}

HRESULT WINAPI StringCchCopyNW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc, size_t cchToCopy) {
    return Copy(pszDest, cchDest, pszSrc, cchToCopy);
}

HRESULT WINAPI StringCchCatW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc) {
    return Cat(pszDest, cchDest, pszSrc, STRSAFE_MAX_LENGTH);
}

HRESULT WINAPI StringCchCatNW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc, size_t cchToAppend) {
    return Cat(pszDest, cchDest, pszSrc, cchToAppend);
}

HRESULT WINAPI StringCchLengthW(STRSAFE_LPCWSTR psz, size_t cchMax, size_t* pcchLength) {
    HRESULT hr = STRSAFE_E_INVALID_PARAMETER;
    size_t n = 0;
    if (psz && cchMax > 0 && cchMax <= kMax) {
        n = text::BoundedLength(psz, cchMax);
        if (n < cchMax)
            hr = S_OK;
        else
            n = 0;
    }
    if (pcchLength) *pcchLength = n;
    return hr;
}

HRESULT WINAPIV StringCchPrintfW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszFormat, ...) {
    va_list ap;
    va_start(ap, pszFormat);
    size_t len;
    HRESULT hr = VPrintf(pszDest, cchDest, pszFormat, ap, &len);
    va_end(ap);
    return hr;
}

HRESULT WINAPIV StringCchPrintfExW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPWSTR* ppszDestEnd,
                                   size_t* pcchRemaining, DWORD dwFlags, STRSAFE_LPCWSTR pszFormat, ...) {
    va_list ap;
    va_start(ap, pszFormat);
    HRESULT hr = VPrintfEx(pszDest, cchDest, ppszDestEnd, pcchRemaining, dwFlags, pszFormat, ap);
    va_end(ap);
    return hr;
}

HRESULT WINAPI StringCbCopyW(STRSAFE_LPWSTR pszDest, size_t cbDest, STRSAFE_LPCWSTR pszSrc) {
    return Copy(pszDest, CbToCch(cbDest), pszSrc, STRSAFE_MAX_LENGTH);
}

HRESULT WINAPI StringCbCatW(STRSAFE_LPWSTR pszDest, size_t cbDest, STRSAFE_LPCWSTR pszSrc) {
    return Cat(pszDest, CbToCch(cbDest), pszSrc, STRSAFE_MAX_LENGTH);
}

HRESULT WINAPI StringCbLengthW(STRSAFE_LPCWSTR psz, size_t cbMax, size_t* pcbLength) {
    size_t cch = 0;
    HRESULT hr = StringCchLengthW(psz, CbToCch(cbMax), &cch);
    if (pcbLength) *pcbLength = cch * sizeof(WCHAR);
    return hr;
}

HRESULT WINAPIV StringCbPrintfW(STRSAFE_LPWSTR pszDest, size_t cbDest, STRSAFE_LPCWSTR pszFormat, ...) {
    va_list ap;
    va_start(ap, pszFormat);
    size_t len;
    HRESULT hr = VPrintf(pszDest, CbToCch(cbDest), pszFormat, ap, &len);
    va_end(ap);
    return hr;
}
