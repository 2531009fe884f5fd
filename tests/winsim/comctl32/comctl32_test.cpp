// The common controls' start-up.
#include "user_fixture.h"

#include <commctrl.h>

using namespace usertest;

namespace {

// Nothing is left to register: the progress bar class exists in every process.
TEST_F(UserTest, CommonControlsStartUpFindsTheProgressBarClass) {
    InitCommonControls();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    EXPECT_TRUE(GetClassInfoExW(nullptr, PROGRESS_CLASSW, &wc));
}

}  // namespace
