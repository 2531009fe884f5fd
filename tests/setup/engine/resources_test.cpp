// The setup program's resources as its process sees them: the table built from its
// resource header and its manifest (the same sources as the Windows build's resources).
#include <gtest/gtest.h>
#include <windows.h>

#include "../../../setup/engine/SetupRes.h"
#include "sim_fixture.h"
#include "winsim/msgbox.h"
#include "winsim/osinfo.h"
#include "winsim/program_resources.h"

#include <fstream>
#include <sstream>

namespace {

std::string ReadManifest() {
    std::ifstream f(VQ_SETUP_SOURCE_DIR "/Setup.manifest", std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class SetupResourcesTest : public SimTest {
protected:
    SetupResourcesTest() {
        manifest_ = ReadManifest();
        winsim::resources::Attach(process(), WINSIM_RESOURCE_TABLE(manifest_.c_str()));
    }
    std::string manifest_;
};

TEST_F(SetupResourcesTest, WindowTitleAndClassName) {
    struct {
        UINT id;
        const wchar_t* text;
    } cases[] = {{IDS_APP_TITLE, L"Dravetto"}, {IDC_SETUP, L"DRAVETTO"}};
    for (const auto& c : cases) {
        wchar_t buf[100];
        EXPECT_EQ(static_cast<int>(wcslen(c.text)), LoadStringW(GetModuleHandleW(nullptr), c.id, buf, 100));
        EXPECT_EQ(std::wstring(c.text), buf);
    }
    for (WORD icon : {IDI_SETUP, IDI_SMALL, IDI_ABOUT})
        EXPECT_NE(nullptr, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon))) << icon;
}

std::wstring Text(HMENU m, UINT item, UINT flags) {
    wchar_t buf[64] = L"";
    GetMenuStringW(m, item, buf, 64, flags);
    return buf;
}

TEST_F(SetupResourcesTest, MainWindowClassMenu) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_SETUP));
    wc.hIconSm = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_SMALL));
    wc.lpszMenuName = MAKEINTRESOURCEW(IDC_SETUP);
    wc.lpszClassName = L"DRAVETTO";
    ASSERT_NE(0, RegisterClassExW(&wc));
    HWND h = CreateWindowExW(0, L"DRAVETTO", L"Dravetto", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, h);
    HMENU m = GetMenu(h);
    ASSERT_NE(nullptr, m);
    ASSERT_EQ(2, GetMenuItemCount(m));
    struct {
        int pos;
        const wchar_t* popup;
        const wchar_t* item;
        UINT command;
    } cases[] = {{0, L"ファイル(&F)", L"アプリケーションの終了(&X)", IDM_EXIT},
                 {1, L"ヘルプ(&H)", L"バージョン情報 ...(&A)", IDM_ABOUT}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.popup, Text(m, static_cast<UINT>(c.pos), MF_BYPOSITION));
        HMENU sub = GetSubMenu(m, c.pos);
        ASSERT_EQ(1, GetMenuItemCount(sub));
        EXPECT_EQ(c.command, GetMenuItemID(sub, 0));
        EXPECT_EQ(c.item, Text(m, c.command, MF_BYCOMMAND));
    }
}

INT_PTR CALLBACK AboutProc(HWND h, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(h, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

TEST_F(SetupResourcesTest, AboutBox) {
    auto t = winsim::resources::Of(process());
    const winsim::DialogSpec* d = t->FindDialog(IDD_ABOUTBOX);
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(L"バージョン情報", d->caption);
    EXPECT_EQ(L"System", d->font);
    ASSERT_EQ(3u, d->controls.size());
    EXPECT_EQ(IDI_ABOUT, d->controls[0].icon);
    EXPECT_EQ(L"Dravetto Version 1.0", d->controls[1].text);
    EXPECT_EQ(IDOK, d->controls[2].id);
    EXPECT_EQ(L"OK", d->controls[2].text);

    struct {
        int click;
        INT_PTR result;
    } cases[] = {{IDOK, IDOK}, {IDCANCEL, IDCANCEL}};
    for (const auto& c : cases) {
        winsim::msgbox::QueueDialogClick(machine(), c.click);
        EXPECT_EQ(c.result,
                  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, AboutProc, 0));
    }
    ASSERT_EQ(2u, winsim::msgbox::Dialogs(machine()).size());
}

TEST_F(SetupResourcesTest, ManifestMakesWindows10ReportItselfAs63) {
    ASSERT_FALSE(manifest_.empty());
    for (const char* part :
         {"requireAdministrator", "name=\"QUARVEN.Krellvane\"", "<description>Krellvane</description>",
          "Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""})
        EXPECT_NE(std::string::npos, manifest_.find(part)) << part;
    EXPECT_EQ(0x0603u, winsim::os::MaxSupportedOs(manifest_));
    winsim::os::Version v;
    v.major = 10;
    v.minor = 0;
    v.build = 19045;
    winsim::os::SetVersion(machine(), v);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(6u, info.dwMajorVersion);
    EXPECT_EQ(3u, info.dwMinorVersion);
    EXPECT_EQ(9600u, info.dwBuildNumber);
}

}  // namespace
