// The machine's code pages: 1252 is the ANSI and 437 the OEM code page, 932 is not
// installed, and a WCHAR (32 bits on Linux) holds any character (codepage_conformance_test.cpp
// states the conversions as Windows has them).
#include <gtest/gtest.h>
#include <windows.h>

#include "codepage_calls.h"
#include "winsim/machine.h"

#include <string>

namespace {

TEST(CodePageTest, MachineCodePages) {
    EXPECT_EQ(1252u, GetACP());
    EXPECT_EQ(437u, GetOEMCP());
    EXPECT_TRUE(IsValidCodePage(1252));
    EXPECT_TRUE(IsValidCodePage(CP_UTF8));
    EXPECT_FALSE(IsValidCodePage(932));
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(ToWide(1252, all), ToWide(CP_ACP, all));
    EXPECT_EQ(ToWide(437, all), ToWide(CP_OEMCP, all));
}

TEST(CodePageTest, InvalidUtf8GivesOneReplacementPerByteOfAnImpossibleSequence) {
    // The documentation leaves the count open: one U+FFFD for each maximal subpart.
    EXPECT_EQ(L"\xFFFD\xFFFD\xFFFD", ToWide(CP_UTF8, "\xED\xA0\x80"));            // an encoded surrogate
    EXPECT_EQ(L"\xFFFD\xFFFD\xFFFD\xFFFD", ToWide(CP_UTF8, "\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(CodePageTest, Utf8BeyondTheBmpIsOneWchar) {
    EXPECT_EQ(std::wstring(1, static_cast<wchar_t>(0x1F600)), ToWide(CP_UTF8, "\xF0\x9F\x98\x80"));
    EXPECT_EQ("\xF0\x9F\x98\x80", ToBytes(CP_UTF8, std::wstring(1, static_cast<wchar_t>(0x1F600))));
}

class CodePageErrorTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(CodePageErrorTest, UnknownCodePage) {
    wchar_t w[2];
    EXPECT_EQ(0, MultiByteToWideChar(932, 0, "a", 1, w, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(CodePageTest, FailuresOutsideTheSimulationReturnZero) {
    // The conversions are pure: without a simulated thread there is no last error to set.
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, nullptr, 0));
    EXPECT_EQ(1, MultiByteToWideChar(CP_UTF8, 0, "\xFF", 1, nullptr, 0));
}

}  // namespace
