// String functions: kernel32's lstr* and CompareString, user32's character functions,
// shlwapi's Str*, strsafe's copies and the C runtime's extras.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <strsafe.h>
#include <tchar.h>
#include <windows.h>

#include "winsim/machine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

// ---------------------------------------------------------------------------------------
// kernel32

TEST(LstrTest, LengthOfNullIsZero) {
    EXPECT_EQ(0, lstrlenW(nullptr));
    EXPECT_EQ(0, lstrlenA(nullptr));
    EXPECT_EQ(3, lstrlenW(L"abc"));
    EXPECT_EQ(3, lstrlenA("abc"));
}

TEST(LstrTest, CpynCopiesAtMostNMinusOneAndTerminates) {
    struct Row {
        int n;
        const wchar_t* want;
        int touched;  // characters written, terminator included
    } rows[] = {
        {0, L"########", 0}, {1, L"", 1}, {2, L"a", 2}, {6, L"abcde", 6}, {7, L"abcdef", 7}, {100, L"abcdef", 7},
    };
    for (const Row& r : rows) {
        wchar_t buf[12];
        wmemset(buf, L'#', 12);
        buf[8] = 0;
        EXPECT_EQ(buf, lstrcpynW(buf, L"abcdef", r.n)) << r.n;
        EXPECT_STREQ(r.want, buf) << r.n;
        EXPECT_EQ(L'#', buf[r.touched]) << "wrote past the copy " << r.n;
    }
    wchar_t buf[4];
    EXPECT_EQ(nullptr, lstrcpynW(nullptr, L"x", 4));
    EXPECT_EQ(nullptr, lstrcpyW(buf, nullptr));
}

TEST(LstrTest, ComparisonPutsLowerCaseFirstAmongEqualLetters) {
    struct Row {
        const wchar_t* a;
        const wchar_t* b;
        int cmp;   // lstrcmpW
        int cmpi;  // lstrcmpiW
    } rows[] = {
        {L"abc", L"abc", 0, 0},
        {L"a", L"B", -1, -1},  // letters first, case second (ordinal would say 'a' > 'B')
        {L"a", L"A", -1, 0},
        {L"Ab", L"aB", 1, 0},
        {L"ab", L"abc", -1, -1},
        {L"\x00C9t\x00E9", L"\x00E9T\x00C9", 1, 0},  // Latin-1 folds too
        {L"", L"", 0, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.cmp, lstrcmpW(r.a, r.b)) << "lstrcmpW " << r.a << " " << r.b;
        EXPECT_EQ(-r.cmp, lstrcmpW(r.b, r.a)) << "lstrcmpW " << r.b << " " << r.a;
        EXPECT_EQ(r.cmpi, lstrcmpiW(r.a, r.b)) << "lstrcmpiW " << r.a << " " << r.b;
        EXPECT_EQ(r.cmp, StrCmpW(r.a, r.b));
        EXPECT_EQ(r.cmpi, StrCmpIW(r.a, r.b));
    }
}

TEST(CompareStringTest, FlagsAndCounts) {
    EXPECT_EQ(CSTR_EQUAL, CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, L"ABC", -1, L"abc", -1));
    EXPECT_EQ(CSTR_LESS_THAN, CompareStringW(LOCALE_USER_DEFAULT, 0, L"abc", -1, L"ABC", -1));
    EXPECT_EQ(CSTR_EQUAL, CompareStringW(LOCALE_USER_DEFAULT, 0, L"abcX", 3, L"abcY", 3));
    EXPECT_EQ(CSTR_EQUAL, CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORESYMBOLS, L"a-b c", -1, L"abc", -1));
    // Ordinal: code points; ignoring case folds to upper case ('_' sorts after letters).
    EXPECT_EQ(CSTR_GREATER_THAN, CompareStringOrdinal(L"a", -1, L"B", -1, FALSE));
    EXPECT_EQ(CSTR_LESS_THAN, CompareStringOrdinal(L"a", -1, L"B", -1, TRUE));
    EXPECT_EQ(CSTR_GREATER_THAN, CompareStringOrdinal(L"_", -1, L"a", -1, TRUE));
    EXPECT_EQ(CSTR_EQUAL, CompareStringOrdinal(L"\x00E9", 1, L"\x00C9", 1, TRUE));
}

class TextLastErrorTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(TextLastErrorTest, CompareStringRejectsBadArguments) {
    SetLastError(0);
    EXPECT_EQ(0, CompareStringW(LOCALE_USER_DEFAULT, 0x40000000, L"a", -1, L"a", -1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    EXPECT_EQ(0, CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, -1, L"a", -1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(LocalMemoryTest, ZeroInitAndFree) {
    auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(nullptr, p);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(0, p[i]);
    EXPECT_EQ(nullptr, LocalFree(p));
    EXPECT_EQ(nullptr, LocalFree(nullptr));
}

// ---------------------------------------------------------------------------------------
// user32

TEST(CharCaseTest, SingleCharacterAndStringForms) {
    auto single = [](LPWSTR (*fn)(LPWSTR), wchar_t c) {
        return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(fn(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
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

TEST(CharCaseTest, FoldingMatchesTheMachineFolding) {
    for (wchar_t c = 1; c < 0x300; ++c) {
        wchar_t up = static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(c))));
        wchar_t lo = static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(c))));
        ASSERT_EQ(winsim::Upper(std::wstring(1, c))[0], up) << static_cast<int>(c);
        ASSERT_EQ(winsim::Lower(std::wstring(1, c))[0], lo) << static_cast<int>(c);
    }
}

TEST(CharClassTest, Table) {
    const int x = -1;  // not checked: case beyond Latin-1 is not modelled
    struct Row {
        wchar_t c;
        int alpha, alnum, upper, lower;
    } rows[] = {
        {L'a', true, true, false, true},      {L'Z', true, true, true, false},
        {L'5', false, true, false, false},    {L'_', false, false, false, false},
        {L' ', false, false, false, false},   {0x00C9, true, true, true, false},
        {0x00E9, true, true, false, true},    {0x00DF, true, true, false, true},   // sharp s
        {0x00D7, false, false, false, false}, {0x00F7, false, false, false, false},  // x and division
        {0x03B1, true, true, x, x},   {0x3042, true, true, false, false},  // alpha, hiragana a
        {0x4E2D, true, true, false, false},   {0xFF11, false, true, false, false},  // CJK, full-width 1
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

// ---------------------------------------------------------------------------------------
// shlwapi

TEST(ShlwapiTest, CountedComparison) {
    EXPECT_EQ(0, StrCmpNIW(L"abcX", L"ABCY", 3));
    EXPECT_EQ(-1, StrCmpNIW(L"abcX", L"ABCY", 4));
    EXPECT_EQ(1, StrCmpNIW(L"abc", L"ab", 3));
    EXPECT_EQ(0, StrCmpNIW(L"abc", L"xyz", 0));
    EXPECT_EQ(0, StrCmpNIW(L"\x00C9T\x00C9", L"\x00E9t\x00E9", 3));
    EXPECT_EQ(-1, StrCmpNW(L"abcX", L"ABCY", 3));  // lower case first
}

TEST(ShlwapiTest, SearchFunctions) {
    const wchar_t* s = L"Hello World, hello";
    EXPECT_EQ(s + 6, StrStrIW(s, L"WORLD"));
    EXPECT_EQ(nullptr, StrStrW(s, L"WORLD"));
    EXPECT_EQ(s + 13, StrStrW(s, L"hello"));
    EXPECT_EQ(nullptr, StrStrW(s, L""));
    EXPECT_EQ(nullptr, StrStrIW(s, L"worlds"));
    EXPECT_EQ(s + 4, StrChrW(s, L'o'));
    EXPECT_EQ(nullptr, StrChrW(s, L'z'));
    EXPECT_EQ(s, StrChrIW(s, L'h'));
    EXPECT_EQ(s + 17, StrRChrW(s, nullptr, L'o'));
    EXPECT_EQ(s + 7, StrRChrW(s, s + 10, L'o'));  // the end is exclusive
    EXPECT_EQ(nullptr, StrRChrW(s, s + 4, L'o'));
}

TEST(ShlwapiTest, StrToInt) {
    struct Row {
        const wchar_t* s;
        int want;
        BOOL hex_ok;
        int hex;
    } rows[] = {
        {L"123", 123, TRUE, 123},    {L"  -42x", -42, TRUE, -42}, {L"+7", 7, TRUE, 7},
        {L"12b34", 12, TRUE, 12},    {L"abc", 0, FALSE, 0},       {L"", 0, FALSE, 0},
        {L"0x1A", 0, TRUE, 26},      {L"\t0XfF", 0, TRUE, 255},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, StrToIntW(r.s)) << r.s;
        int v = -99;
        EXPECT_EQ(r.hex_ok, StrToIntExW(r.s, STIF_SUPPORT_HEX, &v)) << r.s;
        EXPECT_EQ(r.hex, v) << r.s;
    }
}

TEST(ShlwapiTest, TrimCopyDupCat) {
    struct Row {
        const wchar_t* in;
        const wchar_t* set;
        const wchar_t* out;
        BOOL changed;
    } rows[] = {
        {L"  ab  ", L" ", L"ab", TRUE},
        {L"ab", L" ", L"ab", FALSE},
        {L"xxx", L"x", L"", TRUE},
        {L"\t\"quoted\" \r\n", L" \t\r\n\"", L"quoted", TRUE},
        {L"a b", L" ", L"a b", FALSE},
    };
    for (const Row& r : rows) {
        wchar_t buf[32];
        wcscpy(buf, r.in);
        EXPECT_EQ(r.changed, StrTrimW(buf, r.set)) << r.in;
        EXPECT_STREQ(r.out, buf) << r.in;
    }

    wchar_t dst[8];
    wmemset(dst, L'#', 8);
    EXPECT_EQ(dst, StrCpyNW(dst, L"abcdef", 4));
    EXPECT_STREQ(L"abc", dst);
    EXPECT_EQ(L'#', dst[4]);

    PWSTR dup = StrDupW(L"copy");
    ASSERT_NE(nullptr, dup);
    EXPECT_STREQ(L"copy", dup);
    LocalFree(dup);

    wchar_t cat[8] = L"abc";
    EXPECT_EQ(cat, StrCatBuffW(cat, L"defghij", 8));
    EXPECT_STREQ(L"abcdefg", cat);
    EXPECT_STREQ(L"abcdefg", StrCatBuffW(cat, L"x", 8));  // full: unchanged
}

// ---------------------------------------------------------------------------------------
// strsafe

TEST(StrsafeTest, CopyAndCatResults) {
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
         STRSAFE_E_INVALID_PARAMETER, c, L""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, r.got) << r.what;
        EXPECT_EQ(r.want_text, r.text) << r.what;
    }
}

TEST(StrsafeTest, LengthAndByteCounts) {
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

// ---------------------------------------------------------------------------------------
// C runtime

TEST(CrtStringTest, CaseInsensitiveFunctionsFoldAsciiOnly) {
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

TEST(CrtStringTest, NumberParsingUsesWindowsSizes) {
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

TEST(CrtStringTest, NumberToText) {
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

TEST(CrtStringTest, BoundedCopies) {
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
        {"wcsncpy_s count", wcsncpy_s(d, L"abcdef", 2), 0, d, L"ab"},
        {"wcscat_s fits", wcscat_s(e, L"cdefg"), 0, e, L"abcdefg"},
        {"wcscat_s too small", wcscat_s(f, 6, L"cdefg"), ERANGE, f, L""},
        {"wcsncat_s truncate", wcsncat_s(g, 4, L"cdef", _TRUNCATE), STRUNCATE, g, L"abc"},
        {"wcsncat_s count", wcsncat_s(h, L"cdef", 1), 0, h, L"abc"},
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

TEST(CrtStringTest, TokensDupAndReverse) {
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
