// user32's character functions against the machine's own case folding.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"

#include <string>

namespace {

TEST(CharCaseTest, FoldingMatchesTheMachineFolding) {
    for (wchar_t c = 1; c < 0x300; ++c) {
        wchar_t up = static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(c))));
        wchar_t lo = static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(c))));
        ASSERT_EQ(winsim::Upper(std::wstring(1, c))[0], up) << static_cast<int>(c);
        ASSERT_EQ(winsim::Lower(std::wstring(1, c))[0], lo) << static_cast<int>(c);
    }
}

}  // namespace
