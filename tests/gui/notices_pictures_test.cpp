// The notice's pictures: a PNG beside the program (the X picture of the RF-stop posture)
// drawn at 1.6 times its size by its own control, else the bitmap of the resources set on
// the control; GDI+ started once and shut down once after every image; the bold title font
// living as long as the notice.
#include "gui_fixture.h"

#include "png_bytes.h"
#include "resource.h"
#include "winsim/files.h"
#include "winsim/gdi.h"
#include "winsim/gdiplus.h"
#include "winsim/user.h"

#include <ostream>
#include <string>
#include <vector>

namespace {

const std::wstring kFolder = L"C:\\Program Files\\Quarven\\Veltrane\\";

struct PictureCase {
    const char* name;
    DWORD stop_flags;  // HCI: 0x4000 -> 1, 0x2000 -> 2, 0x8000 -> 3, 0x1000 -> 4
    std::vector<const wchar_t*> pngs;
    std::vector<const wchar_t*> broken;
    const wchar_t* shown[PICTURE_COUNT];  // the file drawn per slot, null: the bitmap
};
void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class NoticePictures : public GuiTest, public ::testing::WithParamInterface<PictureCase> {
protected:
    void Put(const wchar_t* name, const std::string& bytes) {
        winsim::files::CreateFolders(machine(), kFolder.substr(0, kFolder.size() - 1));
        winsim::files::WriteBytes(machine(), kFolder + name, bytes);
    }
};

TEST_P(NoticePictures, PngDrawnByItsControlElseBitmapSetOnce) {
    const PictureCase& c = GetParam();
    for (const wchar_t* f : c.pngs) Put(f, PngBytes(50, 40));
    for (const wchar_t* f : c.broken) Put(f, "\x89PNG\r\n\x1a\n broken");
    hci().set_posture_flags(c.stop_flags);
    SetProduct(L"DLGDEBUG", 1);
    auto& f = Open();
    HWND notice = f.GetLogonDlg();
    ASSERT_TRUE(notice && IsWindowVisible(notice));
    for (int i = 0; i < PICTURE_COUNT; ++i) {
        SCOPED_TRACE(i);
        HWND ctl = GetDlgItem(notice, GetPictureControl(i));
        auto draws = winsim::gdiplus::Draws(machine(), ctl);
        auto info = winsim::user::Info(machine(), ctl);
        ASSERT_TRUE(info);
        if (c.shown[i]) {
            ASSERT_FALSE(draws.empty());
            EXPECT_EQ(kFolder + c.shown[i], draws.back().file);
            EXPECT_EQ(1, draws.back().x);
            EXPECT_EQ(80, draws.back().cx);  // 50 x 40 drawn as 80 x 64
            EXPECT_EQ(64, draws.back().cy);
            EXPECT_EQ(nullptr, info->control.image);
        } else {
            EXPECT_TRUE(draws.empty());
            HBITMAP bmp = f.GetPicture(i).hBitmap;
            EXPECT_EQ(static_cast<HANDLE>(bmp), info->control.image);
            BITMAP bm{};
            ASSERT_TRUE(GetObjectW(bmp, sizeof(bm), &bm));
            EXPECT_EQ(i == PICTURE_PPORT || i == PICTURE_SPORT, bm.bmHeight > bm.bmWidth);
        }
    }
    Close();
    winsim::gdiplus::Usage u = winsim::gdiplus::UsageOf(machine(), GetCurrentProcessId());
    EXPECT_EQ(c.pngs.empty() && c.broken.empty() ? 0 : 1, u.startups);
    EXPECT_EQ(u.startups, u.shutdowns);
    EXPECT_EQ(0, u.bad_shutdowns + u.left_at_shutdown + u.used_after_shutdown + u.live_images);
    EXPECT_EQ(0u, winsim::gdi::LiveObjects(machine(), GetCurrentProcessId()));
}

const wchar_t* const kAll[] = {L"PPORT.png", L"PPORTX.png", L"SPORT.png", L"SPORTX.png",
                               L"PLAND.png", L"SLAND.png",  L"SLANDX.png"};
std::vector<const wchar_t*> All() { return {std::begin(kAll), std::end(kAll)}; }

INSTANTIATE_TEST_SUITE_P(
    Table, NoticePictures,
    ::testing::Values(
        PictureCase{
            "SecondaryPortraitStop", 0x2000, All(), {}, {L"PPORT.png", L"SPORTX.png", L"PLAND.png", L"SLAND.png"}},
        PictureCase{
            "PrimaryPortraitStop", 0x1000, All(), {}, {L"PPORTX.png", L"SPORT.png", L"PLAND.png", L"SLAND.png"}},
        PictureCase{
            "SecondaryLandscapeStop", 0x8000, All(), {}, {L"PPORT.png", L"SPORT.png", L"PLAND.png", L"SLANDX.png"}},
        PictureCase{
            "PrimaryLandscapeStopHasNoX", 0x4000, All(), {}, {L"PPORT.png", L"SPORT.png", L"PLAND.png", L"SLAND.png"}},
        PictureCase{"NoFilesAllBitmaps", 0x2000, {}, {}, {nullptr, nullptr, nullptr, nullptr}},
        PictureCase{"OnlyTheXPictureMissing",
                    0x2000,
                    {L"PPORT.png", L"SPORT.png"},
                    {},
                    {L"PPORT.png", nullptr, nullptr, nullptr}},
        PictureCase{"BrokenPngTakesTheBitmap",
                    0x2000,
                    {L"PLAND.png"},
                    {L"SPORTX.png"},
                    {nullptr, nullptr, L"PLAND.png", nullptr}}),
    [](const auto& i) { return std::string(i.param.name); });

class NoticeFont : public GuiTest {};

TEST_F(NoticeFont, BoldTitleTwoUnitsLargerLivesAsLongAsTheNotice) {
    SetProduct(L"DLGDEBUG", 1);
    auto& f = Open();
    HWND notice = f.GetLogonDlg();
    ASSERT_TRUE(notice);
    LOGFONTW dlg{}, title{};
    HFONT hTitle = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(notice, IDC_NOTICE_TITLE), WM_GETFONT, 0, 0));
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(notice, WM_GETFONT, 0, 0)), sizeof(dlg), &dlg));
    ASSERT_TRUE(GetObjectW(hTitle, sizeof(title), &title));
    EXPECT_EQ(dlg.lfHeight - 2, title.lfHeight);
    EXPECT_EQ(FW_BOLD, title.lfWeight);
    EXPECT_STREQ(L"Tahoma", title.lfFaceName);
    SendMessageW(notice, WM_COMMAND, IDCANCEL, 0);
    Pump(100);
    EXPECT_FALSE(IsWindow(notice));
    EXPECT_EQ(0, GetObjectW(hTitle, sizeof(title), &title));
}

}  // namespace

#include "RVQXCTRLRes.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace {

// The Windows build takes the bitmaps' files, the Linux build the sizes the header gives.
TEST(NoticeBitmaps, FilesHaveTheSizesTheResourcesDeclare) {
    struct Row {
        const char* file;
        int cx, cy;
    };
#define VQ_TEST_BITMAP_ROW(id, file, cx, cy) {file, cx, cy},
    const Row rows[] = {VQ_RES_BITMAPS(VQ_TEST_BITMAP_ROW)};
#undef VQ_TEST_BITMAP_ROW
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        std::ifstream in(std::string(VQ_GUI_SOURCE_DIR "/") + r.file, std::ios::binary);
        std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(b.size(), 26u);
        EXPECT_EQ("BM", b.substr(0, 2));
        auto le32 = [&b](size_t at) {
            return static_cast<int32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                                        static_cast<uint8_t>(b[at + 2]) << 16 |
                                        static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
        };
        EXPECT_EQ(r.cx, le32(18));
        EXPECT_EQ(r.cy, le32(22));
    }
}

}  // namespace
