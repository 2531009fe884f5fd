// strsafe's copies, concatenations, lengths and formatting: results, truncation and
// parameter checks.
#include "conformance.h"

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include <cwchar>
#include <string>

namespace {

const char* const kInvalidField =
    "format field syntax: the current runtime fails a character without meaning as a format field (invalid "
    "parameter), the older one's non-secure functions copy it unchanged";

using StrsafeTest = ConformanceTest;

TEST_F(StrsafeTest, CopyAndCatResults) {
    struct Row {
        const char* what;
        HRESULT got;
        HRESULT want;
        std::wstring text;
        const wchar_t* want_text;
    };
    wchar_t a[4], b[4], c[10], d[3], e[5], f[4], g[10], h[4];
    wcscpy(e, L"ab");
    wcscpy(f, L"ab");
    wcscpy(g, L"ab");
    h[0] = L'x', h[1] = L'y', h[2] = L'z', h[3] = L'w';  // no terminator within its size
    const Row rows[] = {
        {"copy fits", StringCchCopyW(a, 4, L"abc"), S_OK, a, L"abc"},
        {"copy truncates", StringCchCopyW(b, 3, L"abc"), STRSAFE_E_INSUFFICIENT_BUFFER, b, L"ab"},
        {"copyn stops at n", StringCchCopyNW(c, 10, L"abcdef", 3), S_OK, c, L"abc"},
        {"copyn truncates", StringCchCopyNW(d, 3, L"abcdef", 3), STRSAFE_E_INSUFFICIENT_BUFFER, d, L"ab"},
        {"cat fits", StringCchCatW(e, 5, L"cd"), S_OK, e, L"abcd"},
        {"cat truncates", StringCchCatW(f, 4, L"cd"), STRSAFE_E_INSUFFICIENT_BUFFER, f, L"abc"},
        {"catn stops at n", StringCchCatNW(g, 10, L"cdef", 2), S_OK, g, L"abcd"},
        {"cat to unterminated", StringCchCatW(h, 4, L"q"), STRSAFE_E_INVALID_PARAMETER, std::wstring(h, 4), L"xyzw"},
        {"copy size 0", StringCchCopyW(a, 0, L"q"), STRSAFE_E_INVALID_PARAMETER, a, L"abc"},
        {"copyn count too big", StringCchCopyNW(c, 10, L"q", static_cast<size_t>(STRSAFE_MAX_CCH) + 1),
         STRSAFE_E_INVALID_PARAMETER, c,
         MINGW_DIFFERS(L"", L"abc",
                       "StringCchCopyNW always null-terminates the destination; mingw-w64's strsafe.h leaves it as "
                       "it was when cchToCopy is too large")},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, r.got) << r.what;
        EXPECT_EQ(r.want_text, r.text) << r.what;
    }
}

TEST_F(StrsafeTest, LengthAndByteCounts) {
    size_t n = 99;
    EXPECT_EQ(S_OK, StringCchLengthW(L"abc", 4, &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchLengthW(L"abc", 3, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchLengthW(nullptr, 3, &n));
    EXPECT_EQ(S_OK, StringCbLengthW(L"abc", 16, &n));
    EXPECT_EQ(3 * sizeof(WCHAR), n);

    wchar_t buf[4];
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCbCopyW(buf, sizeof(buf), L"abcd"));
    EXPECT_STREQ(L"abc", buf);
    wcscpy(buf, L"a");
    EXPECT_EQ(S_OK, StringCbCatW(buf, sizeof(buf), L"bc"));
    EXPECT_STREQ(L"abc", buf);
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCbCopyW(buf, sizeof(WCHAR) - 1, L"x"));
}

TEST_F(StrsafeTest, PrintfResults) {
    struct Row {
        size_t cch;
        HRESULT want;
        const wchar_t* text;
    } rows[] = {
        {100, S_OK, L"hello"},
        {6, S_OK, L"hello"},
        {5, STRSAFE_E_INSUFFICIENT_BUFFER, L"hell"},
        {1, STRSAFE_E_INSUFFICIENT_BUFFER, L""},
    };
    for (const Row& r : rows) {
        wchar_t buf[100];
        EXPECT_EQ(r.want, StringCchPrintfW(buf, r.cch, L"%s", L"hello")) << r.cch;
        EXPECT_STREQ(r.text, buf) << r.cch;
    }
    wchar_t buf[4] = {L'#', 0, 0, 0};
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfW(buf, 0, L"x"));
    EXPECT_EQ(L'#', buf[0]);
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfW(buf, static_cast<size_t>(STRSAFE_MAX_CCH) + 1, L"x"));
    EXPECT_EQ(MINGW_DIFFERS(0, L'#',
                            "StringCchPrintfW always null-terminates a nonzero-length destination; mingw-w64's "
                            "strsafe.h leaves it when cchDest is larger than STRSAFE_MAX_CCH"),
              buf[0]);
    // The runtime's rules: floating point, precision 0 prints no digit.
    wchar_t f[32];
    EXPECT_EQ(S_OK, StringCchPrintfW(f, 32, L"%.2f|%.0d|%s", 2.5, 0, L"w"));
    EXPECT_STREQ(L"2.50||w", f);
    EXPECT_EQ(MSVCRT_DIFFERS(STRSAFE_E_INVALID_PARAMETER, S_OK, kInvalidField), StringCchPrintfW(f, 32, L"bad %y"));
    EXPECT_STREQ(MSVCRT_DIFFERS(L"", L"bad y", kInvalidField), f);
    // Byte counts.
    wchar_t four[4];
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCbPrintfW(four, sizeof(four), L"%d", 12345));
    EXPECT_STREQ(L"123", four);
}

TEST_F(StrsafeTest, PrintfExReportsEndAndRemaining) {
    wchar_t buf[8];
    wchar_t* end = nullptr;
    size_t rem = 0;
    EXPECT_EQ(S_OK, StringCchPrintfExW(buf, 8, &end, &rem, 0, L"%d", 123));
    EXPECT_EQ(buf + 3, end);
    EXPECT_EQ(5u, rem);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfExW(buf, 8, &end, &rem, 0, L"%s", L"0123456789"));
    EXPECT_STREQ(L"0123456", buf);
    EXPECT_EQ(buf + 7, end);
    EXPECT_EQ(1u, rem);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER,
              StringCchPrintfExW(buf, 8, &end, &rem, STRSAFE_NO_TRUNCATION, L"%s", L"0123456789"));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(buf, end);
    EXPECT_EQ(8u, rem);
    wmemset(buf, L'#', 8);
    EXPECT_EQ(S_OK, StringCchPrintfExW(buf, 8, nullptr, nullptr, STRSAFE_FILL_BYTE(0), L"ab"));
    for (int i = 2; i < 8; ++i) EXPECT_EQ(0, buf[i]) << i;
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfExW(buf, 8, nullptr, nullptr, 0x10000, L"ab"));
}

}  // namespace
