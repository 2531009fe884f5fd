// Formatting: user32's wsprintf rules, shlwapi's bounded forms, strsafe and the C
// runtime's _snwprintf family, all reading arguments with the Windows sizes.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <strsafe.h>
#include <tchar.h>
#include <windows.h>

#include "winsim/format.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>

namespace {

std::wstring U(const wchar_t* fmt, ...) {
    wchar_t buf[1024];
    va_list ap;
    va_start(ap, fmt);
    wvsprintfW(buf, fmt, ap);
    va_end(ap);
    return buf;
}

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
#define USER(want, fmt, ...) Case{fmt, U(fmt, __VA_ARGS__), want}
#define CRT(want, fmt, ...) Case{fmt, Crt(fmt, __VA_ARGS__), want}

void Check(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(cases[i].want, cases[i].got) << "format \"" << cases[i].fmt << "\"";
}

TEST(WsprintfTest, FollowsTheUser32Rules) {
    const LONG minus_one = -1;
    const Case cases[] = {
        USER(L"42", L"%d", 42),
        USER(L"-2147483648", L"%i", INT_MIN),
        USER(L"4294967295", L"%u", -1),
        USER(L"beef BEEF", L"%x %X", 0xBEEFu, 0xBEEFu),
        USER(L"0000BEEF", L"%08X", 0xBEEFu),
        USER(L"0xff 0XFF", L"%#x %#X", 255u, 255u),
        USER(L"0x0", L"%#x", 0u),  // the prefix is unconditional
        USER(L"42   |", L"%-5d|", 42),
        USER(L"   42", L"%5d", 42),
        USER(L"-0042", L"%05d", -42),
        USER(L"42   |", L"%-05d|", 42),
        USER(L"007", L"%.3d", 7),
        USER(L"0", L"%.0d", 0),  // precision 0 means 1
        USER(L"00007", L"%05.3d", 7),
        // 'l' is Windows' 32-bit long; I64 and ll are 64 bits.
        USER(L"-1 7", L"%ld %d", minus_one, 7),
        USER(L"4294967295", L"%lu", 0xFFFFFFFFu),
        USER(L"ffffffff", L"%lx", 0xFFFFFFFFu),
        USER(L"18446744073709551615", L"%I64u", UINT64_MAX),
        USER(L"-9223372036854775808", L"%I64d", INT64_MIN),
        USER(L"123456789ABCDEF0", L"%I64X", 0x123456789ABCDEF0ull),
        USER(L"ld 9", L"%lld %d", 9),  // no "ll": the second 'l' has no meaning as a type
        USER(L"4464 65535", L"%hd %hu", 70000, -1),
        USER(L"123456789abc", L"%Ix", static_cast<ULONG_PTR>(0x123456789ABCull)),
        USER(L"0000000000001234", L"%p", reinterpret_cast<void*>(0x1234)),
        // Strings: %s wide, %S narrow from the ANSI code page.
        USER(L"wide wide wide", L"%s %ls %ws", L"wide", L"wide", L"wide"),
        USER(L"narrow narrow", L"%S %hs", "narrow", "narrow"),
        USER(L"\x20AC\x2122", L"%S", "\x80\x99"),
        USER(L"(null) (null)", L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
        USER(L"      text|", L"%10s|", L"text"),
        USER(L"text      |", L"%-10s|", L"text"),
        USER(L"abc", L"%.3s", L"abcdef"),
        USER(L"   ab", L"%5.2s", L"abcdef"),
        USER(L"000ab", L"%05s", L"ab"),
        // Characters: %c WCHAR, %C/%hc char from the ANSI code page.
        USER(L"W n \x20AC \x3042", L"%c %C %hc %lc", L'W', 'n', '\x80', 0x3042),
        USER(L"a", L"a%cb", 0),  // c writes the zero character; hc and lc leave it out
        USER(L"ab", L"a%hcb", 0),
        USER(L"ab", L"a%lcb", 0),
        USER(L"  x", L"%3c", L'x'),
        // No meaning as a format field: the character is copied, no argument consumed.
        USER(L"100%", L"100%%", 0),
        USER(L"+d 5", L"%+d %d", 5),
        USER(L"f|7", L"%f|%d", 7),
        USER(L"abc", L"abc%", 0),
    };
    Check(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(WsprintfTest, StopsAt1024CharactersIncludingTheTerminator) {
    std::wstring big(2000, L'x');
    struct Row {
        size_t len;
        int want;
    } rows[] = {{1022, 1022}, {1023, 1023}, {1024, 1023}, {2000, 1023}};
    for (const Row& r : rows) {
        std::wstring buf(2048, L'#');
        int n = wsprintfW(&buf[0], L"%s", big.substr(0, r.len).c_str());
        EXPECT_EQ(r.want, n) << r.len;
        EXPECT_EQ(static_cast<size_t>(r.want), wcslen(buf.c_str())) << r.len;
        EXPECT_EQ(L'#', buf[1024]) << "wrote beyond the 1024-character limit";
    }
    // A literal format counts the same.
    std::wstring fmt(1500, L'y');
    wchar_t out[1024];
    EXPECT_EQ(1023, wsprintfW(out, fmt.c_str()));
    EXPECT_EQ(0, out[1023]);
}

TEST(WnsprintfTest, TruncatesTerminatesAndReportsMinusOne) {
    struct Row {
        int cch;
        int want;
        const wchar_t* text;
    } rows[] = {
        {100, 5, L"hello"}, {6, 5, L"hello"}, {5, -1, L"hell"}, {2, -1, L"h"}, {1, -1, L""},
    };
    for (const Row& r : rows) {
        wchar_t buf[16];
        wmemset(buf, L'#', 16);
        EXPECT_EQ(r.want, wnsprintfW(buf, r.cch, L"%s", L"hello")) << r.cch;
        EXPECT_STREQ(r.text, buf) << r.cch;
        if (r.cch < 16) {
            EXPECT_EQ(L'#', buf[r.cch]) << "wrote beyond cchDest " << r.cch;
        }
    }
    wchar_t buf[4] = {L'#', L'#', 0, 0};
    EXPECT_EQ(-1, wnsprintfW(buf, 0, L"%d", 1));
    EXPECT_EQ(L'#', buf[0]);
    EXPECT_EQ(3, wnsprintfW(buf, 4, L"%d", 123));
    EXPECT_STREQ(L"123", buf);
}

TEST(CrtFormatTest, FollowsTheMicrosoftRuntimeRules) {
    const LONG minus_one = -1;
    const Case cases[] = {
        CRT(L" 3.14", L"%5.2f", 3.14159),
        CRT(L"1.234568e+04", L"%e", 12345.678),
        CRT(L"0.0001 1e+10", L"%g %g", 0.0001, 1e10),
        CRT(L"-00002.50", L"%09.2f", -2.5),
        CRT(L"+5  5", L"%+d % d", 5, 5),
        CRT(L"", L"%.0d", 0),
        CRT(L"0 0xff", L"%#x %#x", 0u, 255u),
        CRT(L"010 0", L"%#o %o", 8u, 0u),
        CRT(L"   42", L"%*d", 5, 42),
        CRT(L"42   |", L"%*d|", -5, 42),
        CRT(L"ab", L"%.*s", 2, L"abc"),
        CRT(L"  007", L"%05.3d", 7),  // '0' is ignored with a precision
        CRT(L"000ab", L"%05s", L"ab"),
        CRT(L"wide narrow", L"%s %S", L"wide", "narrow"),
        CRT(L"\x80", L"%S", "\x80"),  // the "C" locale widens bytes as they are
        CRT(L"(null)", L"%s", static_cast<const wchar_t*>(nullptr)),
        CRT(L"-1 7", L"%ld %d", minus_one, 7),
        CRT(L"44 -1", L"%hhd %hd", 300, 65535),
        CRT(L"18446744073709551615 12", L"%llu %zu", UINT64_MAX, static_cast<size_t>(12)),
        CRT(L"-5", L"%I64d", -5ll),
        CRT(L"00000000DEADBEEF", L"%p", reinterpret_cast<void*>(0xDEADBEEF)),
        CRT(L"x\x3042y", L"x%cy", 0x3042),
        CRT(L"50%", L"%d%%", 50),
        CRT(L"<error>", L"%y", 1),
        CRT(L"<error>", L"abc%", 0),
        CRT(L"<error>", L"%n", nullptr),
    };
    Check(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(CrtFormatTest, ZeroCharacterIsWrittenAndCounted) {
    wchar_t buf[8];
    EXPECT_EQ(3, _snwprintf(buf, 8, L"a%cb", 0));
    EXPECT_EQ(L'a', buf[0]);
    EXPECT_EQ(0, buf[1]);
    EXPECT_EQ(L'b', buf[2]);
}

TEST(CrtFormatTest, SnwprintfTerminatesOnlyWhenThereIsRoom) {
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

TEST(CrtFormatTest, SecureFormsReportTruncationAndOverflow) {
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

TEST(CrtFormatTest, SwprintfSFailsWithAnEmptyStringWhenTooSmall) {
    wchar_t buf[6];
    errno = 0;
    EXPECT_EQ(5, swprintf_s(buf, 6, L"%s", L"hello"));
    EXPECT_STREQ(L"hello", buf);
    EXPECT_EQ(-1, swprintf_s(buf, 5, L"%s", L"hello"));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(ERANGE, errno);
    errno = 0;
    EXPECT_EQ(-1, swprintf_s(buf, 0, L"%s", L"x"));
    EXPECT_EQ(EINVAL, errno);
    wchar_t arr[8];
    EXPECT_EQ(5, _stprintf_s(arr, _T("%s-%02d"), _T("ab"), 7));
    EXPECT_STREQ(L"ab-07", arr);
}

TEST(FormatterTest, ReportsTheCompleteLengthAndHasNoLimitOfItsOwn) {
    using winsim::FormatStyle;
    wchar_t buf[4];
    wmemset(buf, L'#', 4);
    EXPECT_EQ(6, winsim::FormatW(buf, 3, FormatStyle::User32, L"%d-%s", 5, L"abcd"));
    EXPECT_STREQ(L"5-", buf);
    EXPECT_EQ(L'#', buf[3]);
    EXPECT_EQ(6, winsim::FormatW(nullptr, 0, FormatStyle::Crt, L"%d-%s", 5, L"abcd"));
    EXPECT_EQ(-1, winsim::FormatW(buf, 4, FormatStyle::Crt, L"%q"));
    EXPECT_STREQ(L"", buf);
    std::wstring big(5000, L'z');
    EXPECT_EQ(L"<" + big + L">", winsim::FormatStringW(FormatStyle::User32, L"<%s>", big.c_str()));
    EXPECT_EQ(L"1.50", winsim::FormatStringW(FormatStyle::Crt, L"%.2f", 1.5));
    EXPECT_EQ(L"f", winsim::FormatStringW(FormatStyle::User32, L"%f", 1.5));
}

TEST(StrsafeTest, PrintfResults) {
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
    EXPECT_EQ(0, buf[0]);
    // The runtime's rules: floating point, precision 0 prints no digit.
    wchar_t f[32];
    EXPECT_EQ(S_OK, StringCchPrintfW(f, 32, L"%.2f|%.0d|%s", 2.5, 0, L"w"));
    EXPECT_STREQ(L"2.50||w", f);
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfW(f, 32, L"bad %y"));
    EXPECT_STREQ(L"", f);
    // Byte counts.
    wchar_t four[4];
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCbPrintfW(four, sizeof(four), L"%d", 12345));
    EXPECT_STREQ(L"123", four);
}

TEST(StrsafeTest, PrintfExReportsEndAndRemaining) {
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
