// Message boxes answered by the machine, and modal dialog boxes run over the window
// manager with the machine's clicks.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/msgbox.h"
#include "winsim/resources.h"

#include <filesystem>

#define IDD_ASK 100
#define IDD_BARE 101
#define IDI_MARK 50
#define IDC_NOTE 1001
#define VQ_RES_ICONS(I) I(IDI_MARK, "mark.ico")
#define ASK_CONTROLS(ICON, CONTROL)                                              \
    ICON(IDI_MARK, -1, 4, 4, 20, 20)                                             \
    CONTROL("Note", IDC_NOTE, "Static", SS_LEFT, 30, 4, 60, 8)                   \
    CONTROL("OK", IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 30, 40, 14) \
    CONTROL("Cancel", IDCANCEL, "Button", BS_PUSHBUTTON | WS_TABSTOP, 60, 30, 40, 14)
#define BARE_CONTROLS(ICON, CONTROL) CONTROL("Note", IDC_NOTE, "Static", SS_LEFT, 30, 4, 60, 8)
#define VQ_RES_DIALOGS(D)                                                                                \
    D(IDD_ASK, 10, 10, 120, 50, DS_MODALFRAME | WS_POPUP | WS_CAPTION, "Ask", 9, "System", ASK_CONTROLS) \
    D(IDD_BARE, 0, 0, 100, 30, WS_POPUP | WS_CAPTION | WS_SYSMENU, "Bare", 9, "System", BARE_CONTROLS)

#include "winsim/program_resources.h"

namespace msgbox = winsim::msgbox;

namespace {

class MsgBoxTest : public SimTest {};

struct DefaultCase {
    const char* name;
    UINT type;
    int answer;
};

class MsgBoxDefaultTest : public MsgBoxTest, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(MsgBoxDefaultTest, NothingQueuedGivesTheDefaultButton) {
    const DefaultCase& c = GetParam();
    EXPECT_EQ(c.answer, MessageBoxW(nullptr, L"t", L"c", c.type));
    auto shown = msgbox::Shown(machine());
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(msgbox::Source::Default, shown[0].source);
}

INSTANTIATE_TEST_SUITE_P(
    Types, MsgBoxDefaultTest,
    ::testing::Values(DefaultCase{"Ok", MB_OK | MB_ICONERROR, IDOK}, DefaultCase{"OkCancel", MB_OKCANCEL, IDOK},
                      DefaultCase{"OkCancelSecond", MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
                      DefaultCase{"AbortRetryIgnore", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
                      DefaultCase{"YesNoCancel", MB_YESNOCANCEL | MB_ICONQUESTION, IDYES},
                      DefaultCase{"YesNoSecond", MB_YESNO | MB_DEFBUTTON2, IDNO},
                      DefaultCase{"RetryCancel", MB_RETRYCANCEL, IDRETRY},
                      DefaultCase{"CancelTryContinue", MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
                      // A default button beyond the box's buttons is its first.
                      DefaultCase{"OkFourth", MB_OK | MB_DEFBUTTON4, IDOK}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(MsgBoxTest, QueuedAnswersGoFirstInFirstOutAndEachBoxIsRecorded) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"Owner";
    ASSERT_NE(0, RegisterClassExW(&wc));
    HWND owner =
        CreateWindowExW(0, L"Owner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

    msgbox::QueueAnswer(machine(), IDNO);
    msgbox::QueueAnswer(machine(), IDRETRY);  // no button of the second box
    msgbox::QueueAnswer(machine(), IDCANCEL);
    EXPECT_EQ((std::vector<int>{IDNO, IDRETRY, IDCANCEL}), msgbox::QueuedAnswers(machine()));

    struct {
        HWND owner;
        const wchar_t* text;
        const wchar_t* caption;
        UINT type;
        int answer;
        const wchar_t* caption_shown;
        msgbox::Source source;
    } steps[] = {
        {owner, L"Continue?", L"Q", MB_YESNO, IDNO, L"Q", msgbox::Source::Queued},
        {nullptr, L"Encrypt Failed.", L"ERROR", MB_ICONERROR, IDOK, L"ERROR", msgbox::Source::Rejected},
        {nullptr, nullptr, nullptr, MB_OKCANCEL, IDCANCEL, L"Error", msgbox::Source::Queued},
        {nullptr, L"again", L"Q", MB_YESNO, IDYES, L"Q", msgbox::Source::Default},
    };
    for (const auto& s : steps) EXPECT_EQ(s.answer, MessageBoxW(s.owner, s.text, s.caption, s.type));

    auto shown = msgbox::Shown(machine());
    ASSERT_EQ(4u, shown.size());
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i].owner, shown[i].owner);
        EXPECT_EQ(steps[i].text ? steps[i].text : L"", shown[i].text);
        EXPECT_EQ(steps[i].caption_shown, shown[i].caption);
        EXPECT_EQ(steps[i].type, shown[i].type);
        EXPECT_EQ(steps[i].answer, shown[i].answer);
        EXPECT_EQ(steps[i].source, shown[i].source);
        EXPECT_EQ(GetCurrentProcessId(), shown[i].pid);
        EXPECT_EQ(process().image_path, shown[i].image);
    }
    EXPECT_TRUE(msgbox::QueuedAnswers(machine()).empty());
    msgbox::ClearShown(machine());
    EXPECT_TRUE(msgbox::Shown(machine()).empty());
}

TEST_F(MsgBoxTest, DefaultsPerButtonTypeOverrideTheDefaultButton) {
    msgbox::SetDefaultAnswer(machine(), MB_YESNO, IDNO);
    EXPECT_EQ(IDNO, MessageBoxW(nullptr, L"a", L"b", MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, L"a", L"b", MB_OKCANCEL)) << "other types keep theirs";
    msgbox::SetDefaultAnswer(machine(), MB_YESNO, std::nullopt);
    EXPECT_EQ(IDYES, MessageBoxW(nullptr, L"a", L"b", MB_YESNO));
}

TEST_F(MsgBoxTest, BadTypeOrOwnerFailsWithoutTakingAnAnswer) {
    msgbox::QueueAnswer(machine(), IDOK);
    struct {
        HWND owner;
        UINT type;
        DWORD error;
    } cases[] = {
        {nullptr, 7, ERROR_INVALID_MSGBOX_STYLE},
        {nullptr, MB_TYPEMASK, ERROR_INVALID_MSGBOX_STYLE},
        {reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12344)), MB_OK, ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(0, MessageBoxW(c.owner, L"x", L"y", c.type));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_TRUE(msgbox::Shown(machine()).empty());
    EXPECT_EQ(1u, msgbox::QueuedAnswers(machine()).size());
}

// What reached the window while a box was up.
std::vector<UINT> g_seen;
LRESULT CALLBACK Recorder(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m >= WM_USER) g_seen.push_back(m);
    return DefWindowProcW(h, m, wp, lp);
}

TEST_F(MsgBoxTest, TheBoxHandlesWhatWaitsInTheQueueAndLeavesTheQuit) {
    g_seen.clear();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Recorder;
    wc.lpszClassName = L"Rec";
    ASSERT_NE(0, RegisterClassExW(&wc));
    HWND h = CreateWindowExW(0, L"Rec", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    PostMessageW(h, WM_USER + 1, 0, 0);
    PostMessageW(h, WM_USER + 2, 0, 0);
    PostQuitMessage(3);
    MessageBoxW(nullptr, L"x", L"y", MB_OK);
    EXPECT_EQ((std::vector<UINT>{WM_USER + 1, WM_USER + 2}), g_seen);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
}

TEST(MsgBoxPersistence, AnswersAndRecordsLiveInTheMachineFolder) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("winsim-msgbox-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    {
        auto m = winsim::Machine::Open(dir.string(), "bare");
        msgbox::QueueAnswer(*m, IDCANCEL);
        msgbox::SetDefaultAnswer(*m, MB_YESNO, IDNO);
    }
    {
        auto m = winsim::Machine::Open(dir.string());
        winsim::ProcessScope scope(*m, winsim::ProcessOptions{});
        EXPECT_EQ(IDCANCEL, MessageBoxW(nullptr, L"1", L"c", MB_OKCANCEL));
        EXPECT_EQ(IDNO, MessageBoxW(nullptr, L"2", L"c", MB_YESNO));
    }
    {
        auto m = winsim::Machine::Open(dir.string());
        auto shown = msgbox::Shown(*m);
        ASSERT_EQ(2u, shown.size());
        EXPECT_EQ(L"1", shown[0].text);
        EXPECT_EQ(IDNO, shown[1].answer);
    }
    fs::remove_all(dir);
}

TEST(MsgBoxNames, AnswerAndTypeNamesRoundTrip) {
    for (int a : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDCLOSE, IDHELP, IDTRYAGAIN, IDCONTINUE})
        EXPECT_EQ(a, msgbox::AnswerByName(msgbox::AnswerName(a)).value_or(-1));
    EXPECT_EQ(IDYES, msgbox::AnswerByName("IDYES").value_or(-1));
    EXPECT_FALSE(msgbox::AnswerByName("maybe"));
    for (UINT t = MB_OK; t <= MB_CANCELTRYCONTINUE; ++t)
        EXPECT_EQ(t, msgbox::ButtonTypeByName(msgbox::ButtonTypeName(t)).value_or(99));
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), msgbox::ButtonTypeByName("MB_YESNO").value_or(99));
}

// ---------------------------------------------------------------------------------------
// Dialog boxes

struct DlgSeen {
    std::vector<UINT> msgs;
    LPARAM init_param = 0;
    BOOL owner_enabled = TRUE;
    BOOL visible = FALSE;
    HICON icon = nullptr;
    std::wstring ok_class;
    HWND dlg = nullptr;
    bool end_in_init = false;
    bool quit_in_init = false;
};
DlgSeen g_dlg;

INT_PTR CALLBACK AskProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_INITDIALOG: {
        g_dlg.msgs.push_back(m);
        g_dlg.dlg = h;
        g_dlg.init_param = lp;
        HWND owner = GetWindow(h, GW_OWNER);
        g_dlg.owner_enabled = owner ? IsWindowEnabled(owner) : TRUE;
        g_dlg.icon = reinterpret_cast<HICON>(SendMessageW(GetWindow(h, GW_CHILD), STM_GETICON, 0, 0));
        wchar_t cls[32] = L"";
        GetClassNameW(GetDlgItem(h, IDOK), cls, 32);
        g_dlg.ok_class = cls;
        if (g_dlg.end_in_init) EndDialog(h, 42);
        if (g_dlg.quit_in_init) PostQuitMessage(9);
        return TRUE;
    }
    case WM_COMMAND:
        g_dlg.msgs.push_back(m);
        g_dlg.visible = IsWindowVisible(h);
        if (GetWindow(h, GW_OWNER)) g_dlg.owner_enabled = IsWindowEnabled(GetWindow(h, GW_OWNER));
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(h, LOWORD(wp) + 100);
        return TRUE;
    }
    return FALSE;
}

class DialogTest : public SimTest {
protected:
    DialogTest() {
        winsim::resources::Attach(process(), WINSIM_RESOURCE_TABLE(nullptr));
        g_dlg = DlgSeen{};
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"Main";
        RegisterClassExW(&wc);
        main_ = CreateWindowExW(0, L"Main", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    HWND main_ = nullptr;
};

struct ClickCase {
    const char* name;
    WORD tmpl;
    int click;
    INT_PTR result;
};

class DialogClickTest : public DialogTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(DialogClickTest, TheMachineClicksAndTheProcedureEndsIt) {
    const ClickCase& c = GetParam();
    msgbox::QueueDialogClick(machine(), c.click);
    EXPECT_EQ(c.result, DialogBoxParamW(nullptr, MAKEINTRESOURCEW(c.tmpl), main_, AskProc, 77));
    EXPECT_EQ((std::vector<UINT>{WM_INITDIALOG, WM_COMMAND}), g_dlg.msgs);
    EXPECT_EQ(77, g_dlg.init_param);
    EXPECT_TRUE(g_dlg.visible) << "shown although its style lacks WS_VISIBLE";
    EXPECT_FALSE(g_dlg.owner_enabled) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_FALSE(IsWindow(g_dlg.dlg)) << "destroyed when it ends";
    auto d = msgbox::Dialogs(machine());
    ASSERT_EQ(1u, d.size());
    EXPECT_EQ(c.tmpl, d[0].template_id);
    EXPECT_EQ(c.click, d[0].clicked);
}

INSTANTIATE_TEST_SUITE_P(Clicks, DialogClickTest,
                         ::testing::Values(ClickCase{"OkButton", IDD_ASK, IDOK, IDOK + 100},
                                           ClickCase{"CancelButton", IDD_ASK, IDCANCEL, IDCANCEL + 100},
                                           // No such button: the command still arrives, as Escape gives it.
                                           ClickCase{"CancelWithoutButton", IDD_BARE, IDCANCEL, IDCANCEL + 100}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(DialogTest, TemplateBecomesAWindowWithItsControls) {
    msgbox::QueueDialogClick(machine(), IDOK);
    DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_ASK), main_, AskProc, 0);
    EXPECT_NE(nullptr, g_dlg.icon) << "the static icon control shows the image's icon";
    EXPECT_EQ(L"BUTTON", winsim::Upper(g_dlg.ok_class));
    auto d = msgbox::Dialogs(machine());
    ASSERT_EQ(1u, d.size());
    EXPECT_EQ(L"Ask", d[0].caption);
}

TEST_F(DialogTest, EndedDuringInitItIsNeverShown) {
    g_dlg.end_in_init = true;
    msgbox::QueueDialogClick(machine(), IDOK);
    EXPECT_EQ(42, DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_ASK), main_, AskProc, 0));
    EXPECT_EQ((std::vector<UINT>{WM_INITDIALOG}), g_dlg.msgs);
    EXPECT_EQ(1u, msgbox::QueuedDialogClicks(machine()).size()) << "the click waits for the next dialog";
}

TEST_F(DialogTest, QuitEndsTheLoopWithZeroAndStaysQueued) {
    g_dlg.quit_in_init = true;
    EXPECT_EQ(0, DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_ASK), main_, AskProc, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(9u, msg.wParam);
    EXPECT_TRUE(IsWindowEnabled(main_));
}

DWORD WINAPI CloseLater(LPVOID p) {
    Sleep(250);
    // The system menu's Close: the dialog manager turns it into IDCANCEL.
    PostMessageW(*static_cast<HWND*>(p), WM_CLOSE, 0, 0);
    return 0;
}

TEST_F(DialogTest, WithoutAQueuedClickItWaitsForAnotherThread) {
    struct Ctx {
        static INT_PTR CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_INITDIALOG) {
                *reinterpret_cast<HWND*>(lp) = h;
                CloseHandle(CreateThread(nullptr, 0, CloseLater, reinterpret_cast<void*>(lp), 0, nullptr));
            }
            return AskProc(h, m, wp, lp);
        }
    };
    static HWND dlg = nullptr;
    DWORD t0 = GetTickCount();
    EXPECT_EQ(IDCANCEL + 100,
              DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_BARE), main_, Ctx::Proc, reinterpret_cast<LPARAM>(&dlg)));
    EXPECT_EQ(250u, GetTickCount() - t0);
}

TEST_F(DialogTest, MissingTemplateOrOwnerFails) {
    struct {
        HINSTANCE inst;
        LPCWSTR name;
        HWND owner;
        DWORD error;
    } cases[] = {
        {nullptr, MAKEINTRESOURCEW(999), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, L"ASK", nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
        {reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x7000000)), MAKEINTRESOURCEW(IDD_ASK), nullptr,
         ERROR_RESOURCE_DATA_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(IDD_ASK), reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12344)),
         ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(-1, DialogBoxParamW(c.inst, c.name, c.owner, AskProc, 0));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_TRUE(g_dlg.msgs.empty());
    EXPECT_FALSE(EndDialog(main_, 1)) << "not a dialog";
}

}  // namespace
