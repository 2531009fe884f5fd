// The one wide formatter behind wsprintf, the runtime's _snwprintf family and strsafe: the
// complete length and no limit of its own (the callers' rules are in the conformance tests
// of user32/text, shell/shlwapi_string, crt/string and crt/strsafe).
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/format.h"

#include <string>

namespace {

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

}  // namespace
