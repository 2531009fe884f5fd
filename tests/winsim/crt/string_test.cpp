// The runtime's formatting as winsim has it where a conformance test cannot go: %n, which
// the current runtime refuses by default, writes through its pointer in older ones, and
// the documentation gives no error for a buffer size of zero.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <string>

namespace {

TEST(CrtFormatTest, CountOutputIsRefused) {
    wchar_t buf[16];
    EXPECT_EQ(-1, _snwprintf(buf, 16, L"%n", nullptr));
}

TEST(CrtFormatTest, SwprintfSOfNoBufferIsAnInvalidParameter) {
    wchar_t buf[4];
    errno = 0;
    EXPECT_EQ(-1, swprintf_s(buf, 0, L"%s", L"x"));
    EXPECT_EQ(EINVAL, errno);
}

}  // namespace
