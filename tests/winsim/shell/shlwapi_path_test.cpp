// shlwapi's path functions where the documentation leaves the result open and winsim
// settles it.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

TEST(ShlwapiPath, AppendThatDoesNotFitKeepsThePath) {
    WCHAR buf[MAX_PATH];
    std::wstring base = L"C:\\" + std::wstring(250, L'a');
    wcscpy(buf, base.c_str());
    EXPECT_FALSE(PathAppendW(buf, L"0123456789"));
    EXPECT_EQ(base, buf);
}

}  // namespace
