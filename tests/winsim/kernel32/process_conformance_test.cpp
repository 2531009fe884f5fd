// The process environment: names without regard to case, sizes, missing variables and
// expansion.
#include "conformance.h"

#include <cwchar>

namespace {

class Environment : public ConformanceTest {
protected:
    ~Environment() override { SetEnvironmentVariableW(L"VqConfRoot", nullptr); }
};

TEST_F(Environment, GetSetAndExpand) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"VqConfRoot", L"C:\\Windows"));
    WCHAR buf[64];
    EXPECT_EQ(10u, GetEnvironmentVariableW(L"vqconfroot", buf, 64));
    EXPECT_STREQ(L"C:\\Windows", buf);
    EXPECT_EQ(11u, GetEnvironmentVariableW(L"VqConfRoot", buf, 5));  // size needed with the terminator
    EXPECT_EQ(0u, GetEnvironmentVariableW(L"VqConfNoSuchVar", buf, 64));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
    DWORD n = ExpandEnvironmentStringsW(L"%VqConfRoot%\\x %VqConfNope% 100%", buf, 64);
    EXPECT_STREQ(L"C:\\Windows\\x %VqConfNope% 100%", buf);
    EXPECT_EQ(wcslen(buf) + 1, n);
    // A null value deletes the variable.
    ASSERT_TRUE(SetEnvironmentVariableW(L"VqConfRoot", nullptr));
    EXPECT_EQ(0u, GetEnvironmentVariableW(L"VqConfRoot", buf, 64));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
}

}  // namespace
