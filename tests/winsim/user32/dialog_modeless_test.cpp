// Modeless dialogs from templates: found by template, shown by their style, their controls
// read, and Esc, Close from the system menu and a button click reaching the dialog
// procedure as commands.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/gdi.h"
#include "winsim/resources.h"
#include "winsim/user.h"

#define IDD_NOTE 131
#define IDC_NOMORE 1001
#define TEST_NOTE(ICON, CONTROL)                                                                     \
    CONTROL("Stopped", -1, "Static", SS_LEFT, 7, 7, 100, 8)                                          \
    CONTROL("Do not show again", IDC_NOMORE, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 7, 20, 100, 10) \
    CONTROL("OK", IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 60, 40, 50, 14)
#define VQ_RES_DIALOGS(D) \
    D(IDD_NOTE, 0, 0, 120, 60, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, "Note", 9, "System", TEST_NOTE)

#include "winsim/program_resources.h"

#include <ostream>
#include <string>
#include <vector>

namespace {

std::vector<WORD>* g_commands;

INT_PTR CALLBACK NoteProc(HWND h, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && g_commands) {
        g_commands->push_back(LOWORD(wp));
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) DestroyWindow(h);
        return TRUE;
    }
    return FALSE;
}

// The program's loop, as the frame runs it: dialog messages first.
void Pump(HWND dlg) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!IsWindow(dlg) || !IsDialogMessageW(dlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
}

class ModelessDialog : public SimTest {
protected:
    ModelessDialog() {
        winsim::resources::Attach(process(), WINSIM_RESOURCE_TABLE(nullptr));
        g_commands = &commands;
    }
    ~ModelessDialog() override { g_commands = nullptr; }
    HWND Create() { return CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_NOTE), nullptr, NoteProc, 0); }
    std::vector<WORD> commands;
};

TEST_F(ModelessDialog, ShownByItsTemplateAndReadFromOutside) {
    HWND dlg = Create();
    ASSERT_NE(nullptr, dlg);
    EXPECT_EQ(std::vector<HWND>{dlg}, winsim::user::DialogsByTemplate(machine(), GetCurrentProcessId(), IDD_NOTE));
    auto info = winsim::user::Info(machine(), dlg);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->visible);
    EXPECT_EQ(L"Note", info->text);
    HWND check = GetDlgItem(dlg, IDC_NOMORE);
    SendMessageW(check, BM_CLICK, 0, 0);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), winsim::user::Info(machine(), check)->control.check);
    EXPECT_EQ(std::vector<WORD>{IDC_NOMORE}, commands);
    DestroyWindow(dlg);
    EXPECT_TRUE(winsim::user::DialogsByTemplate(machine(), GetCurrentProcessId(), IDD_NOTE).empty());
}

TEST_F(ModelessDialog, TemplateFontGoesToEveryControlAndDiesWithTheDialog) {
    HWND dlg = Create();
    ASSERT_NE(nullptr, dlg);
    EXPECT_EQ(1u, winsim::gdi::LiveObjects(machine(), GetCurrentProcessId()));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    ASSERT_EQ(static_cast<int>(sizeof(lf)), GetObjectW(font, sizeof(lf), &lf));
    EXPECT_EQ(-12, lf.lfHeight);  // 9 points at 96 dots per inch
    EXPECT_STREQ(L"System", lf.lfFaceName);
    for (int id : {IDC_NOMORE, IDOK})
        EXPECT_EQ(reinterpret_cast<LRESULT>(font), SendMessageW(GetDlgItem(dlg, id), WM_GETFONT, 0, 0));
    DestroyWindow(dlg);
    EXPECT_EQ(0u, winsim::gdi::LiveObjects(machine(), GetCurrentProcessId()));
    EXPECT_EQ(0, GetObjectW(font, sizeof(lf), &lf));
}

struct EndCase {
    const char* name;
    UINT msg;
    WPARAM wp;
    bool to_control;
    WORD command;
};
// Test names show the case name only.
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class ModelessEnd : public ModelessDialog, public ::testing::WithParamInterface<EndCase> {};

TEST_P(ModelessEnd, UserEndsTheDialog) {
    const auto& c = GetParam();
    HWND dlg = Create();
    ASSERT_NE(nullptr, dlg);
    HWND target = c.to_control ? GetDlgItem(dlg, IDC_NOMORE) : dlg;
    PostMessageW(target, c.msg, c.wp, 0);
    Pump(dlg);
    EXPECT_EQ(std::vector<WORD>{c.command}, commands);
    EXPECT_FALSE(IsWindow(dlg));
}

INSTANTIATE_TEST_SUITE_P(Ways, ModelessEnd,
                         ::testing::Values(EndCase{"Escape", WM_KEYDOWN, VK_ESCAPE, true, IDCANCEL},
                                           EndCase{"Enter", WM_KEYDOWN, VK_RETURN, true, IDOK},
                                           EndCase{"SystemMenuClose", WM_SYSCOMMAND, SC_CLOSE, false, IDCANCEL}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
