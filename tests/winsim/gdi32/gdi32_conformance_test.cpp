// Fonts as Windows keeps them: a font made from a description gives it back, and a deleted
// font is gone.
#include "conformance.h"

#include <cstring>

namespace {

using GdiConformance = ConformanceTest;

LOGFONTW Bold(LONG height) {
    LOGFONTW lf;
    std::memset(&lf, 0, sizeof(lf));
    lf.lfHeight = height;
    lf.lfWeight = FW_BOLD;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy(lf.lfFaceName, L"Tahoma");
    return lf;
}

TEST_F(GdiConformance, FontGivesBackItsDescription) {
    LOGFONTW in = Bold(-15);
    HFONT font = CreateFontIndirectW(&in);
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(static_cast<int>(sizeof(LOGFONTW)), GetObjectW(font, 0, nullptr));
    LOGFONTW out;
    std::memset(&out, 0xCC, sizeof(out));
    EXPECT_EQ(static_cast<int>(sizeof(LOGFONTW)), GetObjectW(font, sizeof(out), &out));
    EXPECT_EQ(-15, out.lfHeight);
    EXPECT_EQ(FW_BOLD, out.lfWeight);
    EXPECT_STREQ(L"Tahoma", out.lfFaceName);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_EQ(0, GetObjectW(font, sizeof(out), &out));
    EXPECT_FALSE(DeleteObject(font));
}

}  // namespace
