// shlwapi's string functions: bounded formatting, comparison, search, numbers, trimming
// and copies.
#include "conformance.h"

#include <shlwapi.h>

#include <cwchar>
#include <string>

namespace {

using ShlwapiTest = ConformanceTest;
using WnsprintfTest = ConformanceTest;

const char* const kWnsprintfFits =
    "wnsprintfW: cchDest is the maximum number of characters allowed in pszDest, the result the number written "
    "without the terminator; Wine fails a result that fills cchDest with its terminator";

TEST_F(WnsprintfTest, TruncatesTerminatesAndReportsMinusOne) {
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
        EXPECT_EQ(r.cch == 6 ? WINE_DIFFERS(r.want, -1, kWnsprintfFits) : r.want,
                  wnsprintfW(buf, r.cch, L"%s", L"hello"))
            << r.cch;
        EXPECT_STREQ(r.text, buf) << r.cch;
        if (r.cch < 16) {
            EXPECT_EQ(L'#', buf[r.cch]) << "wrote beyond cchDest " << r.cch;
        }
    }
    wchar_t buf[4] = {L'#', L'#', 0, 0};
    EXPECT_EQ(-1, wnsprintfW(buf, 0, L"%d", 1));
    EXPECT_EQ(WINE_DIFFERS(L'#', L'\0',
                           "wnsprintfW: cchDest is the maximum number of characters allowed in pszDest; Wine "
                           "terminates a buffer of none"),
              buf[0]);
    EXPECT_EQ(WINE_DIFFERS(3, -1, kWnsprintfFits), wnsprintfW(buf, 4, L"%d", 123));
    EXPECT_STREQ(L"123", buf);
}

TEST_F(ShlwapiTest, CountedComparison) {
    EXPECT_EQ(0, StrCmpNIW(L"abcX", L"ABCY", 3));
    EXPECT_EQ(-1, StrCmpNIW(L"abcX", L"ABCY", 4));
    EXPECT_EQ(1, StrCmpNIW(L"abc", L"ab", 3));
    EXPECT_EQ(0, StrCmpNIW(L"abc", L"xyz", 0));
    EXPECT_EQ(0, StrCmpNIW(L"\x00C9T\x00C9", L"\x00E9t\x00E9", 3));
    EXPECT_EQ(-1, StrCmpNW(L"abcX", L"ABCY", 3));  // lower case first
}

TEST_F(ShlwapiTest, SearchFunctions) {
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

TEST_F(ShlwapiTest, StrToInt) {
    struct Row {
        const wchar_t* s;
        int want;
        BOOL hex_ok;
        int hex;
        int wine;  // StrToIntW under Wine
    } rows[] = {
        {L"123", 123, TRUE, 123, 123}, {L"  -42x", -42, TRUE, -42, 0}, {L"+7", 7, TRUE, 7, 0},
        {L"12b34", 12, TRUE, 12, 12},  {L"abc", 0, FALSE, 0, 0},       {L"", 0, FALSE, 0, 0},
        {L"0x1A", 0, TRUE, 26, 0},     {L"\t0XfF", 0, TRUE, 255, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want == r.wine ? r.want
                                   : WINE_DIFFERS(r.want, r.wine,
                                                  "StrToIntW: (optional white space)(optional sign)(one or more "
                                                  "decimal digits), the sign '-' or '+'; Wine takes neither"),
                  StrToIntW(r.s))
            << r.s;
        int v = -99;
        EXPECT_EQ(r.hex_ok, StrToIntExW(r.s, STIF_SUPPORT_HEX, &v)) << r.s;
        if (r.hex_ok) {
            EXPECT_EQ(r.hex, v) << r.s;
        }
    }
}

TEST_F(ShlwapiTest, TrimCopyDupCat) {
    struct Row {
        const wchar_t* in;
        const wchar_t* set;
        const wchar_t* out;
        BOOL changed;
    } rows[] = {
        {L"  ab  ", L" ", L"ab", TRUE}, {L"ab", L" ", L"ab", FALSE},
        {L"xxx", L"x", L"", TRUE},      {L"\t\"quoted\" \r\n", L" \t\r\n\"", L"quoted", TRUE},
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

}  // namespace
