// System parameters: the foreground lock time-out that a program sets to 0 and back around
// taking the foreground.
#include "user_fixture.h"

using namespace usertest;

namespace {

DWORD ForegroundLockTimeout() {
    DWORD ms = 1;
    EXPECT_TRUE(SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &ms, 0));
    return ms;
}

BOOL SetForegroundLockTimeout(DWORD ms) {
    return SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<PVOID>(static_cast<UINT_PTR>(ms)),
                                 0);
}

TEST_F(UserTest, ForegroundLockTimeoutIsSetAndRestored) {
    DWORD saved = ForegroundLockTimeout();
    EXPECT_EQ(200000u, saved);
    EXPECT_TRUE(SetForegroundLockTimeout(0));
    EXPECT_EQ(0u, ForegroundLockTimeout());
    EXPECT_TRUE(SetForegroundLockTimeout(saved));
    EXPECT_EQ(saved, ForegroundLockTimeout());
    SetLastError(0);
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
