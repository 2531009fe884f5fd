// Code pages: 1252 (ANSI), 437 (OEM) and UTF-8 through MultiByteToWideChar and
// WideCharToMultiByte, with the documented sizes and errors.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"

#include <string>

namespace {

std::wstring ToWide(UINT cp, const std::string& s, DWORD flags = 0) {
    int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string ToBytes(UINT cp, const std::wstring& w, BOOL* used = nullptr, LPCSTR def = nullptr, DWORD flags = 0) {
    int n = WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), nullptr, 0, def, used);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), &s[0], n, def, used);
    return s;
}

TEST(CodePageTest, MachineCodePages) {
    EXPECT_EQ(1252u, GetACP());
    EXPECT_EQ(437u, GetOEMCP());
    EXPECT_TRUE(IsValidCodePage(1252));
    EXPECT_TRUE(IsValidCodePage(CP_UTF8));
    EXPECT_FALSE(IsValidCodePage(932));
}

TEST(CodePageTest, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    for (UINT cp : {static_cast<UINT>(CP_ACP), 1252u}) {
        std::wstring w = ToWide(cp, all);
        ASSERT_EQ(all.size(), w.size());
        BOOL used = TRUE;
        EXPECT_EQ(all, ToBytes(cp, w, &used));
        EXPECT_FALSE(used);
    }
}

TEST(CodePageTest, Windows1252Characters) {
    struct Row {
        unsigned char b;
        wchar_t c;
    } rows[] = {
        {0x41, L'A'},     {0x80, 0x20AC}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x99, 0x2122}, {0x9F, 0x0178},
        {0xA0, 0x00A0},   {0xE9, 0x00E9}, {0xFF, 0x00FF},
        // The five bytes the code page leaves undefined map to the C1 controls.
        {0x81, 0x0081},   {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
    };
    for (const Row& r : rows) {
        std::string s(1, static_cast<char>(r.b));
        EXPECT_EQ(std::wstring(1, r.c), ToWide(CP_ACP, s, MB_ERR_INVALID_CHARS)) << std::hex << int(r.b);
        EXPECT_EQ(s, ToBytes(CP_ACP, std::wstring(1, r.c))) << std::hex << int(r.b);
    }
}

TEST(CodePageTest, MissingCharactersBecomeTheDefaultCharacter) {
    BOOL used = FALSE;
    EXPECT_EQ("a?b", ToBytes(CP_ACP, L"a\x0100" L"b", &used));
    EXPECT_TRUE(used);
    EXPECT_EQ("*", ToBytes(CP_ACP, L"\x4E2D", &used, "*"));
    EXPECT_TRUE(used);
    EXPECT_EQ("?", ToBytes(CP_ACP, L"\x0080", &used));  // U+0080 is not in 1252 (0x80 is the euro)
    EXPECT_EQ("?", ToBytes(CP_OEMCP, L"\x00C0", &used));
}

TEST(CodePageTest, Oem437) {
    EXPECT_EQ(L"\x00C7\x00FC\x2591\x03B1\x00A0", ToWide(CP_OEMCP, "\x80\x81\xB0\xE0\xFF"));
    EXPECT_EQ("\x80\xB0\xE0", ToBytes(437, L"\x00C7\x2591\x03B1"));
    EXPECT_EQ(std::wstring(L"\x01", 1), ToWide(437, "\x01"));
    EXPECT_EQ(L"\x263A\x2302", ToWide(437, "\x01\x7F", MB_USEGLYPHCHARS));
}

TEST(CodePageTest, Utf8) {
    EXPECT_EQ(L"h\x00E9", ToWide(CP_UTF8, "h\xC3\xA9"));
    EXPECT_EQ(L"\x20AC", ToWide(CP_UTF8, "\xE2\x82\xAC"));
    // Beyond the BMP: one WCHAR (32-bit wchar_t), not a surrogate pair.
    EXPECT_EQ(std::wstring(1, static_cast<wchar_t>(0x1F600)), ToWide(CP_UTF8, "\xF0\x9F\x98\x80"));
    EXPECT_EQ("\xF0\x9F\x98\x80", ToBytes(CP_UTF8, std::wstring(1, static_cast<wchar_t>(0x1F600))));
    // A surrogate pair in wide input is joined.
    EXPECT_EQ("\xF0\x9F\x98\x80", ToBytes(CP_UTF8, L"\xD83D\xDE00"));
    EXPECT_EQ("h\xC3\xA9", ToBytes(CP_UTF8, L"h\x00E9"));
}

TEST(CodePageTest, InvalidUtf8BecomesReplacementCharacters) {
    struct Row {
        const char* bytes;
        const wchar_t* want;
    } rows[] = {
        {"a\xC3", L"a\xFFFD"},                    // truncated at the end
        {"\xE2\x82x", L"\xFFFDx"},                // one U+FFFD for the maximal subpart
        {"\xC0\xAF", L"\xFFFD\xFFFD"},            // overlong
        {"\xED\xA0\x80", L"\xFFFD\xFFFD\xFFFD"},  // an encoded surrogate
        {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // beyond U+10FFFF
        {"\xFF" "a", L"\xFFFD" L"a"},
        {"\x80\x80", L"\xFFFD\xFFFD"},            // stray continuation bytes
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, ToWide(CP_UTF8, r.bytes)) << r.bytes;
        EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, r.bytes, -1, nullptr, 0)) << r.bytes;
    }
    // A lone surrogate in wide input.
    EXPECT_EQ("\xEF\xBF\xBD", ToBytes(CP_UTF8, L"\xD800"));
}

TEST(CodePageTest, MinusOneLengthCountsTheTerminator) {
    EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
    EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0));
    wchar_t w[4] = {L'#', L'#', L'#', L'#'};
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, w, 4));
    EXPECT_STREQ(L"abc", w);
    EXPECT_EQ(3, WideCharToMultiByte(CP_UTF8, 0, L"\x00E9", -1, nullptr, 0, nullptr, nullptr));
    char b[3];
    EXPECT_EQ(3, WideCharToMultiByte(CP_UTF8, 0, L"\x00E9", -1, b, 3, nullptr, nullptr));
    EXPECT_STREQ("\xC3\xA9", b);
}

class CodePageErrorTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    DWORD ErrorOf(int result) {
        EXPECT_EQ(0, result);
        return GetLastError();
    }
};

TEST_F(CodePageErrorTest, DocumentedFailures) {
    wchar_t w[2];
    char b[2];
    BOOL used;
    struct Row {
        const char* what;
        DWORD got;
        DWORD want;
    } rows[] = {
        {"buffer too small", ErrorOf(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 2)), ERROR_INSUFFICIENT_BUFFER},
        {"wide buffer too small", ErrorOf(WideCharToMultiByte(CP_ACP, 0, L"abc", -1, b, 2, nullptr, nullptr)),
         ERROR_INSUFFICIENT_BUFFER},
        {"invalid UTF-8", ErrorOf(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3", 1, w, 2)),
         ERROR_NO_UNICODE_TRANSLATION},
        {"invalid UTF-16", ErrorOf(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, L"\xDC00", 1, b, 2, nullptr,
                                                       nullptr)),
         ERROR_NO_UNICODE_TRANSLATION},
        {"zero length", ErrorOf(MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 2)), ERROR_INVALID_PARAMETER},
        {"null source", ErrorOf(MultiByteToWideChar(CP_ACP, 0, nullptr, 1, w, 2)), ERROR_INVALID_PARAMETER},
        {"unknown code page", ErrorOf(MultiByteToWideChar(932, 0, "a", 1, w, 2)), ERROR_INVALID_PARAMETER},
        {"UTF-8 flags", ErrorOf(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, w, 2)), ERROR_INVALID_FLAGS},
        {"UTF-8 default char", ErrorOf(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, b, 2, nullptr, &used)),
         ERROR_INVALID_PARAMETER},
        {"SBCS with WC_ERR_INVALID_CHARS",
         ErrorOf(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, L"a", 1, b, 2, nullptr, nullptr)),
         ERROR_INVALID_FLAGS},
    };
    for (const Row& r : rows) EXPECT_EQ(r.want, r.got) << r.what;
    // The partial output of a too-small buffer.
    EXPECT_EQ(L'a', w[0]);
}

TEST(CodePageTest, FailuresOutsideTheSimulationReturnZero) {
    // The conversions are pure: without a simulated thread there is no last error to set.
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, nullptr, 0));
    EXPECT_EQ(1, MultiByteToWideChar(CP_UTF8, 0, "\xFF", 1, nullptr, 0));
}

}  // namespace
