// kernel32's string functions: lstr*, CompareString and local memory.
#include "conformance.h"

#include <shlwapi.h>

#include <string>

namespace {

using LstrTest = ConformanceTest;
using CompareStringTest = ConformanceTest;
using TextLastErrorTest = ConformanceTest;
using LocalMemoryTest = ConformanceTest;

TEST_F(LstrTest, LengthOfNullIsZero) {
    EXPECT_EQ(0, lstrlenW(nullptr));
    EXPECT_EQ(0, lstrlenA(nullptr));
    EXPECT_EQ(3, lstrlenW(L"abc"));
    EXPECT_EQ(3, lstrlenA("abc"));
}

TEST_F(LstrTest, CpynCopiesAtMostNMinusOneAndTerminates) {
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

TEST_F(LstrTest, ComparisonPutsLowerCaseFirstAmongEqualLetters) {
    struct Row {
        const wchar_t* a;
        const wchar_t* b;
        int cmp;   // lstrcmpW
        int cmpi;  // lstrcmpiW
    } rows[] = {
        {L"abc", L"abc", 0, 0},  {L"a", L"B", -1, -1},  // letters first, case second (ordinal would say 'a' > 'B')
        {L"a", L"A", -1, 0},     {L"Ab", L"aB", 1, 0},
        {L"ab", L"abc", -1, -1}, {L"\x00C9t\x00E9", L"\x00E9T\x00C9", 1, 0},  // Latin-1 folds too
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

TEST_F(CompareStringTest, FlagsAndCounts) {
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

TEST_F(TextLastErrorTest, CompareStringRejectsBadArguments) {
    SetLastError(0);
    EXPECT_EQ(0, CompareStringW(LOCALE_USER_DEFAULT, 0x00000400, L"a", -1, L"a", -1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    EXPECT_EQ(0, CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, -1, L"a", -1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(LocalMemoryTest, ZeroInitAndFree) {
    auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(nullptr, p);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(0, p[i]);
    EXPECT_EQ(nullptr, LocalFree(p));
    EXPECT_EQ(nullptr, LocalFree(nullptr));
}

}  // namespace
