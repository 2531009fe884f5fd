// winsim: user32 formatting (wsprintfW, wvsprintfW) and character functions.
#include <windows.h>

#include "text_internal.h"
#include "winsim/format.h"

using namespace winsim;

namespace {

// wsprintfW and wvsprintfW never write more than this, terminator included.
constexpr size_t kWsprintfMax = 1024;

bool IsSingleChar(LPWSTR p) { return (reinterpret_cast<ULONG_PTR>(p) >> 16) == 0; }

}  // namespace

int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
    if (!lpOut) return text::Failed(ERROR_INVALID_PARAMETER, 0);
    if (!lpFmt) {
        lpOut[0] = 0;
        return text::Failed(ERROR_INVALID_PARAMETER, 0);
    }
    int n = FormatW(lpOut, kWsprintfMax, lpFmt, arglist, FormatStyle::User32);
    if (n < 0) return 0;
    return n < static_cast<int>(kWsprintfMax) ? n : static_cast<int>(kWsprintfMax - 1);
}

int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list ap;
    va_start(ap, lpFmt);
    int n = wvsprintfW(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}

LPWSTR WINAPI CharUpperW(LPWSTR lpsz) {
    if (IsSingleChar(lpsz))
        return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(text::FoldUpper(static_cast<wchar_t>(LOWORD(lpsz)))));
    for (LPWSTR p = lpsz; *p; ++p) *p = text::FoldUpper(*p);
    return lpsz;
}

LPWSTR WINAPI CharLowerW(LPWSTR lpsz) {
    if (IsSingleChar(lpsz))
        return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(text::FoldLower(static_cast<wchar_t>(LOWORD(lpsz)))));
    for (LPWSTR p = lpsz; *p; ++p) *p = text::FoldLower(*p);
    return lpsz;
}

DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz) return 0;
    for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = text::FoldUpper(lpsz[i]);
    return cchLength;
}

DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz) return 0;
    for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = text::FoldLower(lpsz[i]);
    return cchLength;
}

BOOL WINAPI IsCharAlphaW(WCHAR ch) { return text::IsLetter(ch) ? TRUE : FALSE; }

BOOL WINAPI IsCharAlphaNumericW(WCHAR ch) {
    return (text::IsLetter(ch) || text::InRange(ch, '0', '9') || text::InRange(ch, 0xFF10, 0xFF19)) ? TRUE : FALSE;
}

BOOL WINAPI IsCharUpperW(WCHAR ch) { return (text::IsLetter(ch) && text::FoldLower(ch) != ch) ? TRUE : FALSE; }

BOOL WINAPI IsCharLowerW(WCHAR ch) {
    // Latin-1 has lower-case letters without an upper-case partner there (sharp s, y
    // with diaeresis, micro sign).
    if (ch == 0xDF || ch == 0xFF || ch == 0xB5) return TRUE;
    return (text::IsLetter(ch) && text::FoldUpper(ch) != ch) ? TRUE : FALSE;
}
