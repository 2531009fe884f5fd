// user32's text functions: wsprintf's rules and limit, and the character functions.
#include "conformance.h"

#include <climits>
#include <cstdint>
#include <string>

namespace {

using WsprintfTest = ConformanceTest;
using CharCaseTest = ConformanceTest;
using CharClassTest = ConformanceTest;

std::wstring U(const wchar_t* fmt, ...) {
    wchar_t buf[1024];
    va_list ap;
    va_start(ap, fmt);
    wvsprintfW(buf, fmt, ap);
    va_end(ap);
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
#define USER(want, fmt, ...) \
    Case { fmt, U(fmt, __VA_ARGS__), want }

const char* const kZeroCharacter =
    "wsprintfW: hc and lc ignore character arguments with a numeric value of zero; Wine writes the zero";

TEST_F(WsprintfTest, FollowsTheUser32Rules) {
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
        USER(WINE_DIFFERS(L"4464 65535", L"70000 4294967295",
                          "wsprintfW: hd is a signed short and hu an unsigned short integer argument; Wine prints "
                          "the whole int"),
             L"%hd %hu", 70000, -1),
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
        USER(WINE_DIFFERS(L"000ab", L"   ab",
                          "wsprintfW: the 0 flag pads the output value with zeros to fill the field width; Wine "
                          "pads strings with blanks"),
             L"%05s", L"ab"),
        // Characters: %c WCHAR, %C/%hc char from the ANSI code page; zero prints nothing.
        USER(L"W n \x20AC \x3042", L"%c %C %hc %lc", L'W', 'n', '\x80', 0x3042),
        USER(L"a", L"a%cb", 0),  // c writes the zero character; hc and lc leave it out
        USER(WINE_DIFFERS(L"ab", L"a", kZeroCharacter), L"a%hcb", 0),
        USER(WINE_DIFFERS(L"ab", L"a", kZeroCharacter), L"a%lcb", 0),
        USER(L"  x", L"%3c", L'x'),
        // No meaning as a format field: the character is copied, no argument consumed.
        USER(L"100%", L"100%%", 0),
        USER(L"+d 5", L"%+d %d", 5),
        USER(L"f|7", L"%f|%d", 7),
        USER(L"abc", L"abc%", 0),
    };
    Check(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(WsprintfTest, StopsAt1024CharactersIncludingTheTerminator) {
    std::wstring big(2000, L'x');
    struct Row {
        size_t len;
        int want;
    } rows[] = {{1022, 1022}, {1023, 1023}, {1024, 1023}, {2000, 1023}};
    for (const Row& r : rows) {
        std::wstring buf(2048, L'#');
        int n = wsprintfW(&buf[0], L"%s", big.substr(0, r.len).c_str());
        EXPECT_EQ(WINE_DIFFERS(r.want, r.want == 1023 ? 1024 : r.want,
                               "wsprintfW returns the number of characters stored in the output buffer, not "
                               "counting the terminating null character; Wine counts 1024 at the limit"),
                  n)
            << r.len;
        EXPECT_EQ(static_cast<size_t>(r.want), wcslen(buf.c_str())) << r.len;
        EXPECT_EQ(L'#', buf[1024]) << "wrote beyond the 1024-character limit";
    }
    // A literal format counts the same.
    std::wstring fmt(1500, L'y');
    wchar_t out[1024];
    EXPECT_EQ(WINE_DIFFERS(1023, 1024,
                           "wsprintfW returns the number of characters stored in the output buffer, not counting "
                           "the terminating null character; Wine counts 1024 at the limit"),
              wsprintfW(out, fmt.c_str()));
    EXPECT_EQ(0, out[1023]);
}

TEST_F(CharCaseTest, SingleCharacterAndStringForms) {
    auto single = [](LPWSTR (*fn)(LPWSTR), wchar_t c) {
        return static_cast<wchar_t>(
            reinterpret_cast<ULONG_PTR>(fn(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
    };
    EXPECT_EQ(L'A', single(CharUpperW, L'a'));
    EXPECT_EQ(L'\x00C9', single(CharUpperW, L'\x00E9'));
    EXPECT_EQ(L'\x00F7', single(CharUpperW, L'\x00F7'));  // the division sign has no case
    EXPECT_EQ(L'z', single(CharLowerW, L'Z'));
    EXPECT_EQ(L'1', single(CharLowerW, L'1'));

    wchar_t s[] = L"Mixed \x00C9t\x00E9";
    EXPECT_EQ(s, CharUpperW(s));
    EXPECT_STREQ(L"MIXED \x00C9T\x00C9", s);
    EXPECT_EQ(s, CharLowerW(s));
    EXPECT_STREQ(L"mixed \x00E9t\x00E9", s);

    // The Buff forms convert exactly the count given, NUL characters included.
    wchar_t b[] = {L'a', 0, L'b', L'c', 0};
    EXPECT_EQ(3u, CharUpperBuffW(b, 3));
    EXPECT_EQ(L'A', b[0]);
    EXPECT_EQ(L'B', b[2]);
    EXPECT_EQ(L'c', b[3]);
    EXPECT_EQ(2u, CharLowerBuffW(b, 2));
    EXPECT_EQ(L'a', b[0]);
}

TEST_F(CharClassTest, Table) {
    const int x = -1;  // not checked: case beyond Latin-1 is not modelled
    struct Row {
        wchar_t c;
        int alpha, alnum, upper, lower;
    } rows[] = {
        {L'a', true, true, false, true},      {L'Z', true, true, true, false},      {L'5', false, true, false, false},
        {L'_', false, false, false, false},   {L' ', false, false, false, false},   {0x00C9, true, true, true, false},
        {0x00E9, true, true, false, true},    {0x00DF, true, true, false, true},     // sharp s
        {0x00D7, false, false, false, false}, {0x00F7, false, false, false, false},  // x and division
        {0x03B1, true, true, x, x},           {0x3042, true, true, false, false},    // alpha, hiragana a
        {0x4E2D, true, true, false, false},   {0xFF11, false, true, false, false},   // CJK, full-width 1
    };
    for (const Row& r : rows) {
        const int got[] = {IsCharAlphaW(r.c) != FALSE, IsCharAlphaNumericW(r.c) != FALSE, IsCharUpperW(r.c) != FALSE,
                           IsCharLowerW(r.c) != FALSE};
        const int want[] = {r.alpha, r.alnum, r.upper, r.lower};
        for (int k = 0; k < 4; ++k) {
            if (want[k] != x) {
                EXPECT_EQ(want[k], got[k]) << std::hex << static_cast<int>(r.c) << " function " << k;
            }
        }
    }
}

}  // namespace
