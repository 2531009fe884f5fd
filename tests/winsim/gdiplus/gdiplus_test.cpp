// GDI+: images decoded from PNG files (a bad file is an error), start-up and shut-down
// counted, images alive at the shut-down and drawing after it counted, drawings recorded.
#include <gtest/gtest.h>
#include <windows.h>

#include <gdiplus.h>

#include "png_bytes.h"
#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/gdiplus.h"

#include <string>

namespace {

class GdiplusTest : public SimTest {
protected:
    GdiplusTest() { winsim::files::CreateFolders(machine(), L"C:\\pics"); }
    void Put(const wchar_t* name, const std::string& bytes) {
        winsim::files::WriteBytes(machine(), std::wstring(L"C:\\pics\\") + name, bytes);
    }
    winsim::gdiplus::Usage Usage() { return winsim::gdiplus::UsageOf(machine(), GetCurrentProcessId()); }
    ULONG_PTR Start() {
        Gdiplus::GdiplusStartupInput in;
        ULONG_PTR token = 0;
        EXPECT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token, &in, nullptr));
        return token;
    }
};

struct FileCase {
    const char* name;
    std::string bytes;  // empty: no file
    Gdiplus::Status status;
    UINT cx, cy;
};

class GdiplusFile : public GdiplusTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(GdiplusFile, ImageFromFile) {
    const FileCase& c = GetParam();
    if (!c.bytes.empty()) Put(L"p.png", c.bytes);
    ULONG_PTR token = Start();
    {
        Gdiplus::Image image(L"C:\\pics\\p.png");
        EXPECT_EQ(c.status, image.GetLastStatus());
        EXPECT_EQ(c.cx, image.GetWidth());
        EXPECT_EQ(c.cy, image.GetHeight());
        EXPECT_EQ(c.status == Gdiplus::Ok ? 1 : 0, Usage().live_images);
    }
    Gdiplus::GdiplusShutdown(token);
    EXPECT_EQ(0, Usage().left_at_shutdown);
}

std::string Truncated() {
    std::string b = PngBytes(40, 30);
    return b.substr(0, b.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(Files, GdiplusFile,
                         ::testing::Values(FileCase{"Png", PngBytes(50, 40), Gdiplus::Ok, 50, 40},
                                           FileCase{"Missing", "", Gdiplus::FileNotFound, 0, 0},
                                           FileCase{"NotPng", "BM not a picture", Gdiplus::UnknownImageFormat, 0, 0},
                                           FileCase{"Truncated", Truncated(), Gdiplus::UnknownImageFormat, 0, 0}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(GdiplusTest, CountsMisuseAroundTheShutdown) {
    Put(L"a.png", PngBytes(8, 8));
    {
        Gdiplus::Image early(L"C:\\pics\\a.png");
        EXPECT_EQ(Gdiplus::GdiplusNotInitialized, early.GetLastStatus());
    }
    ULONG_PTR token = Start();
    auto* kept = new Gdiplus::Image(L"C:\\pics\\a.png");
    Gdiplus::GdiplusShutdown(token);
    Gdiplus::GdiplusShutdown(token);
    delete kept;
    winsim::gdiplus::Usage u = Usage();
    EXPECT_EQ(1, u.startups);
    EXPECT_EQ(1, u.shutdowns);
    EXPECT_EQ(1, u.bad_shutdowns);
    EXPECT_EQ(1, u.left_at_shutdown);
    EXPECT_EQ(2, u.used_after_shutdown);  // the early image and the late delete
    EXPECT_EQ(0, u.live_images);
}

TEST_F(GdiplusTest, DrawingIsRecordedForTheWindowOfTheDeviceContext) {
    Put(L"a.png", PngBytes(50, 40));
    HWND w =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ULONG_PTR token = Start();
    {
        Gdiplus::Image image(L"C:\\pics\\a.png");
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        Gdiplus::Graphics g(dc);
        EXPECT_EQ(Gdiplus::Ok, g.DrawImage(&image, 1, 1, 80, 64));
        EXPECT_EQ(Gdiplus::InvalidParameter, g.DrawImage(nullptr, 1, 1, 80, 64));
        EndPaint(w, &ps);
    }
    Gdiplus::GdiplusShutdown(token);
    auto draws = winsim::gdiplus::Draws(machine(), w);
    ASSERT_EQ(1u, draws.size());
    EXPECT_EQ(L"C:\\pics\\a.png", draws[0].file);
    EXPECT_EQ(50u, draws[0].image_cx);
    EXPECT_EQ(80, draws[0].cx);
    EXPECT_EQ(64, draws[0].cy);
    DestroyWindow(w);
}

}  // namespace
