// The Windows C runtime's string functions: the _snwprintf family with the Microsoft
// runtime's rules and the Windows sizes, case-insensitive comparison, numbers to and from
// text, bounded copies and tokens.
#include "conformance.h"

#include <shlwapi.h>
#include <tchar.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

const char* const kThreeDigitExponent =
    "_set_output_format: the runtime before Visual Studio 2015 prints three exponent digits by default, the current "
    "one at least two";
const char* const kInvalidField =
    "format field syntax: the current runtime fails a character without meaning as a format field (invalid "
    "parameter), the older one's non-secure functions copy it unchanged";

using CrtFormatTest = ConformanceTest;
using CrtStringTest = ConformanceTest;

std::wstring Crt(const wchar_t* fmt, ...) {
    wchar_t buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = _vsnwprintf(buf, 511, fmt, ap);
    va_end(ap);
    if (n < 0) return L"<error>";
    buf[n] = 0;
    return buf;
}

struct Case {
    const wchar_t* fmt;
    std::wstring got;
    const wchar_t* want;
};

void Check(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(cases[i].want, cases[i].got) << "format \"" << cases[i].fmt << "\"";
}
#define CRT(want, fmt, ...) \
    Case { fmt, Crt(fmt, __VA_ARGS__), want }

TEST_F(CrtFormatTest, FollowsTheMicrosoftRuntimeRules) {
    const LONG minus_one = -1;
    const Case cases[] = {
        CRT(L" 3.14", L"%5.2f", 3.14159),
        CRT(MSVCRT_DIFFERS(L"1.234568e+04", L"1.234568e+004", kThreeDigitExponent), L"%e", 12345.678),
        CRT(MSVCRT_DIFFERS(L"0.0001 1e+10", L"0.0001 1e+010", kThreeDigitExponent), L"%g %g", 0.0001, 1e10),
        CRT(L"-00002.50", L"%09.2f", -2.5),
        CRT(L"+5  5", L"%+d % d", 5, 5),
        CRT(L"", L"%.0d", 0),
        CRT(L"0 0xff", L"%#x %#x", 0u, 255u),
        CRT(L"010 0", L"%#o %o", 8u, 0u),
        CRT(L"   42", L"%*d", 5, 42),
        CRT(L"42   |", L"%*d|", -5, 42),
        CRT(L"ab", L"%.*s", 2, L"abc"),
        CRT(WINE_DIFFERS(L"  007", L"00007",
                         "printf flags: 0 is ignored for an integer format with a precision (%04.d); Wine pads "
                         "with zeros"),
            L"%05.3d", 7),
        CRT(L"000ab", L"%05s", L"ab"),
        CRT(L"wide narrow", L"%s %S", L"wide", "narrow"),
        CRT(L"\x80", L"%S", "\x80"),  // the "C" locale widens bytes as they are
        CRT(L"(null)", L"%s", static_cast<const wchar_t*>(nullptr)),
        CRT(L"-1 7", L"%ld %d", minus_one, 7),
        CRT(MSVCRT_DIFFERS(L"44 -1", L"300 -1",
                           "size prefixes: hh is the current runtime's; the older one has h, l, ll, w, I, I32 and "
                           "I64 only"),
            L"%hhd %hd", 300, 65535),
        CRT(L"18446744073709551615 12", L"%llu %zu", UINT64_MAX, static_cast<size_t>(12)),
        CRT(L"-5", L"%I64d", -5ll),
        CRT(L"00000000DEADBEEF", L"%p", reinterpret_cast<void*>(0xDEADBEEF)),
        CRT(L"x\x3042y", L"x%cy", 0x3042),
        CRT(L"50%", L"%d%%", 50),
        CRT(MSVCRT_DIFFERS(L"<error>", L"y", kInvalidField), L"%y", 1),
        CRT(MSVCRT_DIFFERS(L"<error>", L"abc", kInvalidField), L"abc%", 0),
    };
    Check(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CrtFormatTest, ZeroCharacterIsWrittenAndCounted) {
    wchar_t buf[8];
    EXPECT_EQ(3, _snwprintf(buf, 8, L"a%cb", 0));
    EXPECT_EQ(L'a', buf[0]);
    EXPECT_EQ(0, buf[1]);
    EXPECT_EQ(L'b', buf[2]);
}

TEST_F(CrtFormatTest, SnwprintfTerminatesOnlyWhenThereIsRoom) {
    struct Row {
        size_t count;
        int want;
        bool terminated;
    } rows[] = {{6, 5, true}, {5, 5, false}, {4, -1, false}, {0, -1, false}};
    for (const Row& r : rows) {
        wchar_t buf[8];
        wmemset(buf, L'#', 8);
        EXPECT_EQ(r.want, _snwprintf(buf, r.count, L"%s", L"hello")) << r.count;
        EXPECT_EQ(0, wmemcmp(buf, L"hello", r.count < 5 ? r.count : 5)) << r.count;
        EXPECT_EQ(r.terminated ? L'\0' : L'#', buf[r.count < 5 ? r.count : 5]) << r.count;
    }
    EXPECT_EQ(5, _snwprintf(nullptr, 0, L"%d", 12345));
    EXPECT_EQ(11, _scwprintf(L"%s=%d", L"value", 12345));
}

TEST_F(CrtFormatTest, SecureFormsReportTruncationAndOverflow) {
    wchar_t buf[10];
    EXPECT_EQ(-1, _snwprintf_s(buf, 10, _TRUNCATE, L"%s", L"0123456789abc"));
    EXPECT_STREQ(L"012345678", buf);
    EXPECT_EQ(9, _snwprintf_s(buf, 10, _TRUNCATE, L"%s", L"012345678"));
    EXPECT_EQ(-1, _snwprintf_s(buf, 10, 3, L"%s", L"hello"));
    EXPECT_STREQ(L"hel", buf);
    EXPECT_EQ(5, _snwprintf_s(buf, 10, 5, L"%s", L"hello"));
    EXPECT_STREQ(L"hello", buf);
    errno = 0;
    EXPECT_EQ(-1, _snwprintf_s(buf, 4, 5, L"%s", L"hello"));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(ERANGE, errno);
    EXPECT_EQ(-1, _snwprintf_s(buf, 3, L"%d", 1234));  // the array overload
    EXPECT_STREQ(L"123", buf);
}

TEST_F(CrtFormatTest, SwprintfSFailsWithAnEmptyStringWhenTooSmall) {
    wchar_t buf[6];
    errno = 0;
    EXPECT_EQ(5, swprintf_s(buf, 6, L"%s", L"hello"));
    EXPECT_STREQ(L"hello", buf);
    EXPECT_EQ(-1, swprintf_s(buf, 5, L"%s", L"hello"));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(ERANGE, errno);
    errno = 0;
    EXPECT_EQ(-1, swprintf_s(buf, 0, L"%s", L"x"));
    wchar_t arr[8];
    EXPECT_EQ(5, _stprintf_s(arr, _T("%s-%02d"), _T("ab"), 7));
    EXPECT_STREQ(L"ab-07", arr);
}

TEST_F(CrtStringTest, CaseInsensitiveFunctionsFoldAsciiOnly) {
    EXPECT_EQ(0, _wcsicmp(L"ABC", L"abc"));
    EXPECT_LT(_wcsicmp(L"a", L"B"), 0);
    EXPECT_LT(_wcsicmp(L"_", L"a"), 0);  // folds to lower case
    EXPECT_NE(0, _wcsicmp(L"\x00C9", L"\x00E9"));
    EXPECT_EQ(0, StrCmpIW(L"\x00C9", L"\x00E9"));  // while the Windows functions fold Latin-1
    EXPECT_EQ(0, _wcsnicmp(L"ABCd", L"abcE", 3));
    EXPECT_NE(0, _wcsnicmp(L"ABCd", L"abcE", 4));
    EXPECT_NE(0, _wcsnicmp(L"\x00C9t\x00E9", L"\x00E9T\x00C9", 3));
    EXPECT_EQ(0, _wcsnicmp(L"x", L"y", 0));
    EXPECT_EQ(0, _stricmp("MiXeD", "mixed"));
    EXPECT_EQ(0, _strnicmp("abcX", "ABCy", 3));
    wchar_t s[] = L"a\x00E9z";
    EXPECT_STREQ(L"A\x00E9Z", _wcsupr(s));
    EXPECT_STREQ(L"a\x00E9z", _wcslwr(s));
    wchar_t t[3] = {L'a', L'b', L'c'};
    EXPECT_EQ(EINVAL, _wcsupr_s(t, 3));
    EXPECT_EQ(0, t[0]);
    wchar_t u[4] = L"abc";
    EXPECT_EQ(0, _wcsupr_s(u));
    EXPECT_STREQ(L"ABC", u);
}

TEST_F(CrtStringTest, NumberParsingUsesWindowsSizes) {
    struct Row {
        const wchar_t* s;
        int i;
        long l;
        bool range;
    } rows[] = {
        {L"42", 42, 42, false},
        {L"  -17xyz", -17, -17, false},
        {L"abc", 0, 0, false},
        {L"2147483647", INT_MAX, 2147483647L, false},
        {L"2147483648", INT_MAX, 2147483647L, true},
        {L"-2147483649", INT_MIN, -2147483647L - 1, true},
        {L"4294967296", INT_MAX, 2147483647L, true},  // long is 32 bits
    };
    for (const Row& r : rows) {
        errno = 0;
        EXPECT_EQ(r.i, _wtoi(r.s)) << r.s;
        EXPECT_EQ(r.range, errno == ERANGE) << r.s;
        EXPECT_EQ(r.l, _ttol(r.s)) << r.s;
    }
    EXPECT_EQ(9223372036854775807LL, _wtoi64(L"9223372036854775807"));
    EXPECT_EQ(-5000000000LL, _wtoi64(L"-5000000000"));
    EXPECT_DOUBLE_EQ(2.5, _wtof(L" 2.5e0"));

    wchar_t* end = nullptr;
    errno = 0;
    EXPECT_EQ(2147483647L, _tcstol(L"4294967295", &end, 10));
    EXPECT_EQ(ERANGE, errno);
    EXPECT_EQ(-255L, _tcstol(L"-0xff!", &end, 16));
    EXPECT_EQ(L'!', *end);
    EXPECT_EQ(4294967295UL, _tcstoul(L"-1", &end, 10));
    EXPECT_EQ(0xFFFFFFFFUL, _tcstoul(L"ffffffff", &end, 16));
    errno = 0;
    EXPECT_EQ(4294967295UL, _tcstoul(L"4294967296", &end, 10));
    EXPECT_EQ(ERANGE, errno);
    const wchar_t* none = L"  x";
    EXPECT_EQ(0UL, _tcstoul(none, &end, 10));
    EXPECT_EQ(none, end);
}

TEST_F(CrtStringTest, NumberToText) {
    wchar_t b[80];
    struct Row {
        std::wstring got;
        const wchar_t* want;
    } rows[] = {
        {_itow(-255, b, 10), L"-255"},
        {_itow(-1, b, 16), L"ffffffff"},
        {_itow(255, b, 2), L"11111111"},
        {_ltow(-1, b, 16), L"ffffffff"},
        {_ultow(0xFFFFFFFFul, b, 10), L"4294967295"},
        {_i64tow(-1, b, 16), L"ffffffffffffffff"},
        {_i64tow(-9000000000LL, b, 10), L"-9000000000"},
        {_ui64tow(18446744073709551615ULL, b, 10), L"18446744073709551615"},
        {_itow(35, b, 36), L"z"},
    };
    for (const Row& r : rows) EXPECT_EQ(r.want, r.got);

    wchar_t small[4];
    EXPECT_EQ(0, _itow_s(-12, small, 4, 10));
    EXPECT_STREQ(L"-12", small);
    EXPECT_EQ(ERANGE, _itow_s(-123, small, 4, 10));
    EXPECT_STREQ(L"", small);
    EXPECT_EQ(EINVAL, _itow_s(1, small, 4, 1));
    EXPECT_EQ(0, _ultow_s(999, small, 10));
    EXPECT_STREQ(L"999", small);
}

TEST_F(CrtStringTest, BoundedCopies) {
    struct Row {
        const char* what;
        errno_t got;
        errno_t want;
        std::wstring text;
        const wchar_t* want_text;
    };
    wchar_t a[4], b[4], c[4], d[4], e[8], f[6], g[4], h[8];
    wcscpy(b, L"zz");
    wcscpy(e, L"ab");
    wcscpy(f, L"ab");
    wcscpy(g, L"ab");
    wcscpy(h, L"ab");
    const Row rows[] = {
        {"wcscpy_s fits", wcscpy_s(a, L"abc"), 0, a, L"abc"},
        {"wcscpy_s too small", wcscpy_s(b, 4, L"abcd"), ERANGE, b, L""},
        {"wcsncpy_s truncate", wcsncpy_s(c, 4, L"abcdef", _TRUNCATE), STRUNCATE, c, L"abc"},
        {"wcsncpy_s count", wcsncpy_s(d, 4, L"abcdef", 2), 0, d, L"ab"},
        {"wcscat_s fits", wcscat_s(e, L"cdefg"), 0, e, L"abcdefg"},
        {"wcscat_s too small", wcscat_s(f, 6, L"cdefg"), ERANGE, f, L""},
        {"wcsncat_s truncate", wcsncat_s(g, 4, L"cdef", _TRUNCATE), STRUNCATE, g, L"abc"},
        {"wcsncat_s count", wcsncat_s(h, 8, L"cdef", 1), 0, h, L"abc"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, r.got) << r.what;
        EXPECT_EQ(r.want_text, r.text) << r.what;
    }
    wchar_t n[4] = L"abc";
    EXPECT_EQ(EINVAL, wcscpy_s(n, 4, nullptr));
    EXPECT_STREQ(L"", n);
    EXPECT_EQ(EINVAL, wcscpy_s(nullptr, 4, L"x"));
    char nar[4];
    EXPECT_EQ(0, strcpy_s(nar, "abc"));
    EXPECT_EQ(ERANGE, strcat_s(nar, "d"));
    EXPECT_STREQ("", nar);
}

TEST_F(CrtStringTest, TokensDupAndReverse) {
    wchar_t s[] = L",a,,b c,";
    wchar_t* ctx = nullptr;
    std::wstring seen;
    for (wchar_t* t = wcstok_s(s, L", ", &ctx); t; t = _tcstok_s(nullptr, L", ", &ctx)) seen += std::wstring(t) + L"|";
    EXPECT_EQ(L"a|b|c|", seen);
    ctx = nullptr;
    errno = 0;
    EXPECT_EQ(nullptr, wcstok_s(nullptr, L",", &ctx));
    EXPECT_EQ(EINVAL, errno);

    wchar_t* d = _wcsdup(L"dup");
    ASSERT_NE(nullptr, d);
    EXPECT_STREQ(L"dup", d);
    free(d);
    EXPECT_EQ(nullptr, _wcsdup(nullptr));
    wchar_t r[] = L"abcd";
    EXPECT_STREQ(L"dcba", _wcsrev(r));
}

}  // namespace
