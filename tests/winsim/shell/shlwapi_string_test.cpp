// shlwapi's string functions where the documentation leaves the result open and winsim
// settles it.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

namespace {

TEST(ShlwapiStringTest, StrToIntExGivesZeroWhenItFails) {
    for (const wchar_t* s : {L"abc", L""}) {
        int v = -99;
        EXPECT_FALSE(StrToIntExW(s, STIF_SUPPORT_HEX, &v)) << s;
        EXPECT_EQ(0, v) << s;
    }
}

}  // namespace
