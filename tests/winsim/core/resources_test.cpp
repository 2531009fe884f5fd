// A program's resources: the table built from a resource header, LoadStringW (both
// forms), icons, and menus loaded by handle or through the window class.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/resources.h"

// A resource header as a program writes it (nested popups, a separator, a dialog).
#define IDS_SHORT 1
#define IDS_LONG 2
#define IDS_WIDE 3
#define IDS_EMPTY 4
#define IDI_BIG 200
#define IDI_SMALLER 201
#define IDM_MAIN 300
#define IDM_OPEN 301
#define IDM_QUIT 302
#define IDM_DEEP 303
#define IDM_HELP 304
#define IDD_TEST 400

#define VQ_RES_LANGUAGE 0x0411
#define VQ_RES_STRINGS(S)       \
    S(IDS_SHORT, "abc")         \
    S(IDS_LONG, "0123456789")   \
    S(IDS_WIDE, "ファイル(&F)") \
    S(IDS_EMPTY, "")
#define VQ_RES_ICONS(I) I(IDI_BIG, "big.ico") I(IDI_SMALLER, "small.ico")
#define IDB_WIDE 500
#define VQ_RES_BITMAPS(B) B(IDB_WIDE, "wide.bmp", 96, 64)
#define TEST_MENU(POPUP, ITEM, SEPARATOR, END) \
    POPUP("&File")                             \
    ITEM("&Open", IDM_OPEN)                    \
    SEPARATOR                                  \
    POPUP("&More")                             \
    ITEM("&Deep", IDM_DEEP)                    \
    END ITEM("E&xit", IDM_QUIT)                \
    END ITEM("&Help", IDM_HELP)
#define VQ_RES_MENUS(M) M(IDM_MAIN, TEST_MENU)
#define TEST_DIALOG(ICON, CONTROL) \
    ICON(IDI_BIG, -1, 4, 4, 20, 20) CONTROL("Hi", 7, "Button", BS_PUSHBUTTON | WS_TABSTOP, 10, 20, 40, 12)
#define VQ_RES_DIALOGS(D) D(IDD_TEST, 1, 2, 100, 50, WS_POPUP | WS_CAPTION, "Test", 8, "System", TEST_DIALOG)

#include "winsim/program_resources.h"

namespace {

class ResourcesTest : public SimTest {
protected:
    ResourcesTest() { winsim::resources::Attach(process(), WINSIM_RESOURCE_TABLE("<assembly/>")); }
};

TEST_F(ResourcesTest, HeaderBuildsTheTable) {
    auto t = winsim::resources::Of(process());
    ASSERT_TRUE(t);
    EXPECT_EQ(0x0411, t->language);
    EXPECT_EQ(L"ファイル(&F)", t->strings.at(IDS_WIDE));
    EXPECT_EQ((std::vector<WORD>{IDI_BIG, IDI_SMALLER}), t->icons);
    EXPECT_EQ("<assembly/>", t->manifest);
    const winsim::DialogSpec* d = t->FindDialog(IDD_TEST);
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_SETFONT), d->style);
    EXPECT_EQ(L"System", d->font);
    ASSERT_EQ(2u, d->controls.size());
    EXPECT_EQ(IDI_BIG, d->controls[0].icon);
    EXPECT_EQ(static_cast<DWORD>(SS_ICON), d->controls[0].style);
    EXPECT_EQ(L"Button", d->controls[1].class_name);
    EXPECT_EQ(7, d->controls[1].id);
}

struct LoadCase {
    const char* name;
    UINT id;
    int cch;
    int ret;
    const wchar_t* text;
    DWORD error;
};

class LoadStringTest : public ResourcesTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadStringTest, CopiesBoundedAndTerminated) {
    const LoadCase& c = GetParam();
    wchar_t buf[32];
    wmemset(buf, L'#', 32);
    SetLastError(0xDEAD);
    EXPECT_EQ(c.ret, LoadStringW(nullptr, c.id, buf, c.cch));
    EXPECT_EQ(std::wstring(c.text), std::wstring(buf));
    EXPECT_EQ(L'#', buf[c.cch]) << "wrote past the buffer";
    if (c.error) {
        EXPECT_EQ(c.error, GetLastError());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadStringTest,
                         ::testing::Values(LoadCase{"Whole", IDS_SHORT, 10, 3, L"abc", 0},
                                           LoadCase{"ExactFit", IDS_SHORT, 4, 3, L"abc", 0},
                                           LoadCase{"CutOne", IDS_SHORT, 3, 2, L"ab", 0},
                                           LoadCase{"CutLong", IDS_LONG, 5, 4, L"0123", 0},
                                           LoadCase{"OnlyTerminator", IDS_LONG, 1, 0, L"", 0},
                                           LoadCase{"Japanese", IDS_WIDE, 20, 8, L"ファイル(&F)", 0},
                                           LoadCase{"Missing", 999, 10, 0, L"", ERROR_RESOURCE_NAME_NOT_FOUND},
                                           LoadCase{"Empty", IDS_EMPTY, 10, 0, L"", ERROR_RESOURCE_NAME_NOT_FOUND}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(ResourcesTest, ZeroLengthGivesTheReadOnlyString) {
    const wchar_t* p = nullptr;
    EXPECT_EQ(10, LoadStringW(GetModuleHandleW(nullptr), IDS_LONG, reinterpret_cast<LPWSTR>(&p), 0));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(std::wstring(L"0123456789"), std::wstring(p, 10));
    // The same string each time: it is the image's, not a copy.
    const wchar_t* q = nullptr;
    LoadStringW(nullptr, IDS_LONG, reinterpret_cast<LPWSTR>(&q), 0);
    EXPECT_EQ(p, q);
}

TEST_F(ResourcesTest, OtherModulesAndImagesWithoutTableHaveNoStrings) {
    wchar_t buf[8] = L"x";
    HINSTANCE other = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x7000000));
    EXPECT_EQ(0, LoadStringW(other, IDS_SHORT, buf, 8));
    EXPECT_EQ(ERROR_RESOURCE_DATA_NOT_FOUND, GetLastError());
    winsim::resources::Attach(process(), nullptr);
    EXPECT_EQ(0, LoadStringW(nullptr, IDS_SHORT, buf, 8));
    EXPECT_EQ(L'\0', buf[0]);
}

TEST_F(ResourcesTest, IconsOfTheImageHaveTheirOwnStableHandles) {
    HICON big = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_BIG));
    HICON small = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SMALLER));
    ASSERT_NE(nullptr, big);
    ASSERT_NE(nullptr, small);
    EXPECT_NE(big, small);
    EXPECT_EQ(big, LoadIconW(nullptr, L"#200"));
    EXPECT_NE(big, LoadIconW(nullptr, IDI_APPLICATION));
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadIconW(nullptr, MAKEINTRESOURCEW(IDS_SHORT)));
    EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
}

TEST_F(ResourcesTest, EachBitmapLoadIsAnObjectOfItsOwn) {
    HBITMAP a = LoadBitmapW(nullptr, MAKEINTRESOURCEW(IDB_WIDE));
    HBITMAP b = LoadBitmapW(GetModuleHandleW(nullptr), L"#500");
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_NE(a, b);
    BITMAP bm{};
    EXPECT_EQ(static_cast<int>(sizeof(bm)), GetObjectW(a, sizeof(bm), &bm));
    EXPECT_EQ(96, bm.bmWidth);
    EXPECT_EQ(64, bm.bmHeight);
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_TRUE(DeleteObject(b));
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadBitmapW(nullptr, MAKEINTRESOURCEW(IDI_BIG)));
    EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
}

std::wstring MenuText(HMENU m, UINT item, UINT flags) {
    wchar_t buf[64] = L"#";
    GetMenuStringW(m, item, buf, 64, flags);
    return buf;
}

TEST_F(ResourcesTest, MenuTreeReadsByPositionAndByCommand) {
    HMENU m = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDM_MAIN));
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(2, GetMenuItemCount(m));
    HMENU file = GetSubMenu(m, 0);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(nullptr, GetSubMenu(m, 1));
    EXPECT_EQ(static_cast<UINT>(-1), GetMenuItemID(m, 0)) << "a popup has no command";
    EXPECT_EQ(static_cast<UINT>(IDM_HELP), GetMenuItemID(m, 1));
    EXPECT_EQ(static_cast<UINT>(-1), GetMenuItemID(m, 2));

    EXPECT_EQ(4, GetMenuItemCount(file));
    EXPECT_EQ(0u, GetMenuItemID(file, 1)) << "separator";
    EXPECT_EQ(L"", MenuText(file, 1, MF_BYPOSITION));
    HMENU more = GetSubMenu(file, 2);
    ASSERT_NE(nullptr, more);
    EXPECT_EQ(static_cast<UINT>(IDM_DEEP), GetMenuItemID(more, 0));

    struct {
        UINT item;
        UINT flags;
        const wchar_t* text;
    } cases[] = {
        {0, MF_BYPOSITION, L"&File"},       {1, MF_BYPOSITION, L"&Help"},       {IDM_HELP, MF_BYCOMMAND, L"&Help"},
        {IDM_QUIT, MF_BYCOMMAND, L"E&xit"}, {IDM_DEEP, MF_BYCOMMAND, L"&Deep"}, {5, MF_BYPOSITION, L""},
        {999, MF_BYCOMMAND, L""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, MenuText(m, c.item, c.flags)) << c.item;

    // Without a buffer: the length; a short buffer: cut and terminated.
    EXPECT_EQ(5, GetMenuStringW(m, IDM_QUIT, nullptr, 0, MF_BYCOMMAND));
    wchar_t small[3];
    EXPECT_EQ(2, GetMenuStringW(m, IDM_QUIT, small, 3, MF_BYCOMMAND));
    EXPECT_EQ(std::wstring(L"E&"), small);
}

TEST_F(ResourcesTest, DestroyMenuTakesItsPopupsWithIt) {
    HMENU m = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDM_MAIN));
    HMENU file = GetSubMenu(m, 0);
    HMENU more = GetSubMenu(file, 2);
    HMENU second = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDM_MAIN));
    EXPECT_NE(m, second) << "each load is a menu of its own";
    EXPECT_TRUE(DestroyMenu(m));
    for (HMENU h : {m, file, more}) EXPECT_FALSE(IsMenu(h));
    EXPECT_TRUE(IsMenu(second));
    EXPECT_EQ(-1, GetMenuItemCount(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE), GetLastError());
    EXPECT_FALSE(DestroyMenu(m));
    EXPECT_EQ(nullptr, LoadMenuW(nullptr, MAKEINTRESOURCEW(999)));
    EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
}

TEST_F(ResourcesTest, TopLevelWindowsGetTheirClassMenu) {
    struct {
        const wchar_t* cls;
        LPCWSTR menu_name;
        bool has_menu;
    } cases[] = {
        {L"ByNumber", MAKEINTRESOURCEW(IDM_MAIN), true},
        {L"ByText", L"#300", true},
        {L"Missing", MAKEINTRESOURCEW(999), false},
        {L"None", nullptr, false},
    };
    for (const auto& c : cases) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = c.cls;
        wc.lpszMenuName = c.menu_name;
        wc.hInstance = GetModuleHandleW(nullptr);
        ASSERT_NE(0, RegisterClassExW(&wc));
        HWND h = CreateWindowExW(0, c.cls, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, h);
        HMENU m = GetMenu(h);
        EXPECT_EQ(c.has_menu, m != nullptr) << c.cls;
        if (m) {
            EXPECT_EQ(2, GetMenuItemCount(m));
        }
        // A child window never has a menu: its "menu" is its ID.
        HWND child =
            CreateWindowExW(0, c.cls, L"", WS_CHILD, 0, 0, 1, 1, h, reinterpret_cast<HMENU>(5), nullptr, nullptr);
        EXPECT_EQ(nullptr, GetMenu(child));
        DestroyWindow(h);
    }
    // An explicit menu wins over the class's.
    HMENU own = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDM_MAIN));
    HWND h = CreateWindowExW(0, L"ByNumber", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, own, nullptr, nullptr);
    EXPECT_EQ(own, GetMenu(h));
}

}  // namespace
