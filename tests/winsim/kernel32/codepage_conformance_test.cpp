// Code pages 1252, 437 and UTF-8 through MultiByteToWideChar and WideCharToMultiByte, with
// the documented sizes and errors.
#include "codepage_calls.h"
#include "conformance.h"

#include <string>
#include <utility>

namespace {

class CodePageTest : public ConformanceTest {
protected:
    DWORD ErrorOf(int result) {
        EXPECT_EQ(0, result);
        return GetLastError();
    }
};

TEST_F(CodePageTest, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::wstring w = ToWide(1252, all);
    ASSERT_EQ(all.size(), w.size());
    BOOL used = TRUE;
    EXPECT_EQ(all, ToBytes(1252, w, &used));
    EXPECT_FALSE(used);
}

TEST_F(CodePageTest, Windows1252Characters) {
    struct Row {
        unsigned char b;
        wchar_t c;
    } rows[] = {
        {0x41, L'A'},
        {0x80, 0x20AC},
        {0x85, 0x2026},
        {0x8A, 0x0160},
        {0x99, 0x2122},
        {0x9F, 0x0178},
        {0xA0, 0x00A0},
        {0xE9, 0x00E9},
        {0xFF, 0x00FF},
        // The five bytes the code page leaves undefined map to the C1 controls.
        {0x81, 0x0081},
        {0x8D, 0x008D},
        {0x8F, 0x008F},
        {0x90, 0x0090},
        {0x9D, 0x009D},
    };
    for (const Row& r : rows) {
        std::string s(1, static_cast<char>(r.b));
        EXPECT_EQ(std::wstring(1, r.c), ToWide(1252, s, MB_ERR_INVALID_CHARS)) << std::hex << int(r.b);
        EXPECT_EQ(s, ToBytes(1252, std::wstring(1, r.c))) << std::hex << int(r.b);
    }
}

TEST_F(CodePageTest, MissingCharactersBecomeTheDefaultCharacter) {
    BOOL used = FALSE;
    // Without WC_NO_BEST_FIT_CHARS Windows may map a character to a similar one instead
    // (U+0100 to 'A'), which winsim does not model.
    EXPECT_EQ("a?b", ToBytes(1252,
                             L"a\x0100"
                             L"b",
                             &used, nullptr, WC_NO_BEST_FIT_CHARS));
    EXPECT_TRUE(used);
    EXPECT_EQ("*", ToBytes(1252, L"\x4E2D", &used, "*"));
    EXPECT_TRUE(used);
    EXPECT_EQ("?", ToBytes(1252, L"\x0080", &used));  // U+0080 is not in 1252 (0x80 is the euro)
    EXPECT_EQ("?", ToBytes(437, L"\x00C0", &used, nullptr, WC_NO_BEST_FIT_CHARS));
}

TEST_F(CodePageTest, Oem437) {
    EXPECT_EQ(L"\x00C7\x00FC\x2591\x03B1\x00A0", ToWide(437, "\x80\x81\xB0\xE0\xFF"));
    EXPECT_EQ("\x80\xB0\xE0", ToBytes(437, L"\x00C7\x2591\x03B1"));
    EXPECT_EQ(std::wstring(L"\x01", 1), ToWide(437, "\x01"));
    EXPECT_EQ(L"\x263A\x2302", ToWide(437, "\x01\x7F", MB_USEGLYPHCHARS));
}

TEST_F(CodePageTest, Utf8) {
    EXPECT_EQ(L"h\x00E9", ToWide(CP_UTF8, "h\xC3\xA9"));
    EXPECT_EQ(L"\x20AC", ToWide(CP_UTF8, "\xE2\x82\xAC"));
    // A surrogate pair in wide input is joined.
    EXPECT_EQ("\xF0\x9F\x98\x80", ToBytes(CP_UTF8, L"\xD83D\xDE00"));
    EXPECT_EQ("h\xC3\xA9", ToBytes(CP_UTF8, L"h\x00E9"));
}

TEST_F(CodePageTest, InvalidUtf8BecomesReplacementCharacters) {
    struct Row {
        const char* bytes;
        const wchar_t* want;
    } rows[] = {
        {"a\xC3", L"a\xFFFD"},          // truncated at the end
        {"\xE2\x82x", L"\xFFFDx"},      // one U+FFFD for the maximal subpart
        {"\xC0\xAF", L"\xFFFD\xFFFD"},  // overlong
        {"\xFF"
         "a",
         L"\xFFFD"
         L"a"},
        {"\x80\x80", L"\xFFFD\xFFFD"},  // stray continuation bytes
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, ToWide(CP_UTF8, r.bytes)) << r.bytes;
        EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, r.bytes, -1, nullptr, 0)) << r.bytes;
    }
    // A lone surrogate in wide input.
    EXPECT_EQ("\xEF\xBF\xBD", ToBytes(CP_UTF8, L"\xD800"));
}

TEST_F(CodePageTest, MinusOneLengthCountsTheTerminator) {
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

TEST_F(CodePageTest, DocumentedFailures) {
    wchar_t w[2];
    char b[2], b8[8];
    BOOL used;
    const char* const kUtf8Flags =
        "MultiByteToWideChar: for UTF-8 dwFlags must be 0 or MB_ERR_INVALID_CHARS, else ERROR_INVALID_FLAGS; Wine "
        "converts";
    const char* const kUtf8Default =
        "WideCharToMultiByte: for CP_UTF8 lpDefaultChar and lpUsedDefaultChar must be NULL, else "
        "ERROR_INVALID_PARAMETER; Wine converts";
    const char* const kSbcsInvalidChars =
        "WideCharToMultiByte: WC_ERR_INVALID_CHARS applies to CP_UTF8 and 54936 only and cannot be used with other "
        "code pages; Wine converts";
    struct Row {
        const char* what;
        std::pair<int, DWORD> got;  // result and last error
        DWORD want;
        const char* wine;  // Wine accepts the call: why that departs from the documentation
    };
    auto failed = [](int result) { return std::make_pair(result, GetLastError()); };
    const Row rows[] = {
        {"buffer too small", failed(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 2)), ERROR_INSUFFICIENT_BUFFER,
         nullptr},
        {"wide buffer too small", failed(WideCharToMultiByte(CP_ACP, 0, L"abc", -1, b, 2, nullptr, nullptr)),
         ERROR_INSUFFICIENT_BUFFER, nullptr},
        {"invalid UTF-8", failed(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3", 1, w, 2)),
         ERROR_NO_UNICODE_TRANSLATION, nullptr},
        {"invalid UTF-16",
         failed(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, L"\xDC00", 1, b8, 8, nullptr, nullptr)),
         ERROR_NO_UNICODE_TRANSLATION, nullptr},
        {"zero length", failed(MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 2)), ERROR_INVALID_PARAMETER, nullptr},
        {"null source", failed(MultiByteToWideChar(CP_ACP, 0, nullptr, 1, w, 2)), ERROR_INVALID_PARAMETER, nullptr},
        {"unknown code page", failed(MultiByteToWideChar(12345, 0, "a", 1, w, 2)), ERROR_INVALID_PARAMETER, nullptr},
        {"UTF-8 flags", failed(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, w, 2)), ERROR_INVALID_FLAGS,
         kUtf8Flags},
        {"UTF-8 default char", failed(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, b, 2, nullptr, &used)),
         ERROR_INVALID_PARAMETER, kUtf8Default},
        {"SBCS with WC_ERR_INVALID_CHARS",
         failed(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, L"a", 1, b, 2, nullptr, nullptr)), ERROR_INVALID_FLAGS,
         kSbcsInvalidChars},
    };
    for (const Row& r : rows) {
        if (r.wine && WINE_LACKS(r.wine)) continue;
        EXPECT_EQ(0, r.got.first) << r.what;
        EXPECT_EQ(r.want, r.got.second) << r.what;
    }
    // The partial output of a too-small buffer.
    EXPECT_EQ(L'a', w[0]);
}

}  // namespace
