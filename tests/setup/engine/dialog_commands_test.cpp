// The dialog library's dialogs: the progress window on its own thread driven by the main
// thread, status texts stepping its bar, modal answers, the string window's wait, and a
// library or an entry that is missing.
#include "unit_fixture.h"

#include "winsim/setupdlg.h"
#include "winsim/user.h"

namespace {

const wchar_t kScript[] = L"C:\\Program Files\\Quarven\\Setup\\script.ini";
const wchar_t kLibrary[] = L"C:\\Program Files\\Quarven\\Setup\\Pavrix.dll";

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

class DialogCommands : public EngineUnitTest {
protected:
    void Library(winsim::setupdlg::Entries entries = winsim::setupdlg::Entries()) {
        winsim::setupdlg::Register(machine(), entries);
        winsim::setupdlg::Install(machine(), kLibrary);
    }
    void Script(const std::wstring& text) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, Utf16(text)));
        g_pSetupEnv->SetScriptPath(kScript);
    }
    unsigned Command(const wchar_t* keyword, const wchar_t* section, int* quit = nullptr) {
        int q = 0;
        unsigned r = FindSetupCommand(keyword)->pfnHandler(L"", section, &q, 0);
        if (quit) *quit = q;
        return r;
    }
    winsim::user::ControlState Bar() { return winsim::user::Info(machine(), g_SetupDlgDesc.hProgressBar)->control; }

public:
    static std::wstring Text(HWND h) {
        WCHAR sz[64] = {0};
        GetWindowTextW(h, sz, 64);
        return sz;
    }
    std::vector<winsim::setupdlg::Call> CallsOf(const char* entry) {
        std::vector<winsim::setupdlg::Call> v;
        for (const auto& c : winsim::setupdlg::Calls(machine()))
            if (c.entry == entry) v.push_back(c);
        return v;
    }
};

TEST_F(DialogCommands, ProgressDialogShownSteppedAndHidden) {
    Library();
    Create();
    Script(L"[SHOW]\r\nDLG=4\r\nSHOW=1\r\nSTEP=10\r\n[HIDE]\r\nSHOW=0\r\nSTEP=10\r\n");
    ASSERT_EQ(0u, Command(L"SHOW_DIALOG", L"SHOW"));
    ASSERT_NE(nullptr, g_SetupDlgDesc.hProgressBar);
    HWND dialog = g_SetupDlgDesc.hDialog;
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(4, g_SetupDlgDesc.DLG);
    EXPECT_EQ(10, Bar().range_high);
    // The progress dialog lives on the window thread, not on the script's.
    EXPECT_NE(GetCurrentThreadId(), GetWindowThreadProcessId(dialog, nullptr));

    g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Copying...", L"a.sys");
    g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Copying...", L"b.sys");
    EXPECT_EQ(2, Bar().pos);
    EXPECT_EQ(L"Copying...", Text(g_SetupDlgDesc.hCaption));
    EXPECT_EQ(L"b.sys", Text(g_SetupDlgDesc.hDetail));
    g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"", L"c.sys");  // no caption: nothing
    EXPECT_EQ(2, Bar().pos);
    EXPECT_EQ(L"b.sys", Text(g_SetupDlgDesc.hDetail));

    HWND bar = g_SetupDlgDesc.hProgressBar;
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, Command(L"SHOW_DIALOG", L"HIDE"));
    EXPECT_GE(GetTickCount() - start, 3000u);
    EXPECT_FALSE(IsWindow(bar));  // gone with its thread
    // No handle of the dead dialog is left for later status texts.
    EXPECT_EQ(nullptr, g_SetupDlgDesc.hProgressBar);
    EXPECT_EQ(nullptr, g_SetupDlgDesc.hDialog);
    g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Late", L"");
    auto shows = CallsOf("SetupDlgShowDlg");
    ASSERT_GE(shows.size(), 2u);
    EXPECT_EQ(1, shows[0].show);
    EXPECT_EQ(0, shows[1].show);
}

// Seen from another thread during the finish's wait: the bar at STEP, the caption
// "Finish..." and the dialog still shown.
struct FinishView {
    HWND bar = nullptr, caption = nullptr, dialog = nullptr;
    winsim::Machine* m = nullptr;
    int pos = -1;
    std::wstring caption_text;
    bool visible = false;
};

TEST_F(DialogCommands, FinishStepsTheBarToTheEnd) {
    Library();
    Create();
    Script(L"[SHOW]\r\nSHOW=1\r\nSTEP=10\r\n[HIDE]\r\nSHOW=0\r\nSTEP=10\r\n");
    ASSERT_EQ(0u, Command(L"SHOW_DIALOG", L"SHOW"));
    FinishView view;
    view.bar = g_SetupDlgDesc.hProgressBar;
    view.caption = g_SetupDlgDesc.hCaption;
    view.dialog = g_SetupDlgDesc.hDialog;
    view.m = &machine();
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* v = static_cast<FinishView*>(p);
            Sleep(1000);
            v->pos = winsim::user::Info(*v->m, v->bar)->control.pos;
            v->caption_text = Text(v->caption);
            v->visible = IsWindowVisible(v->dialog) != FALSE;
            return 0;
        },
        &view, 0, nullptr);
    EXPECT_EQ(0u, Command(L"SHOW_DIALOG", L"HIDE"));
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    EXPECT_EQ(10, view.pos);
    EXPECT_EQ(L"Finish...", view.caption_text);
    EXPECT_TRUE(view.visible);
}

TEST_F(DialogCommands, AutoStepFollowsTheInterval) {
    Library();
    Create();
    Script(L"[SHOW]\r\nSHOW=1\r\nSTEP=100\r\nAUTO=1\r\nINTERVAL=500\r\n");
    ASSERT_EQ(0u, Command(L"SHOW_DIALOG", L"SHOW"));
    Sleep(1600);
    EXPECT_EQ(3, Bar().pos);
    g_pSetupCtrl->CloseProgressWindow();
}

TEST_F(DialogCommands, ModalAnswers) {
    Library();
    Create();
    Script(L"[ASK]\r\nDLG=7\r\n");
    winsim::setupdlg::QueueModalAnswer(machine(), IDOK);
    winsim::setupdlg::QueueModalAnswer(machine(), IDCANCEL);
    int quit = 0;
    EXPECT_EQ(0u, Command(L"DOMODAL_DIALOG", L"ASK", &quit));
    EXPECT_EQ(0, quit);
    EXPECT_EQ(35u, Command(L"DOMODAL_DIALOG", L"ASK", &quit));
    EXPECT_EQ(1, quit);
    auto calls = CallsOf("SetupDlgDoModalDlg");
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(7, calls[1].dlg);
}

TEST_F(DialogCommands, StringWindowWaitsTenSeconds) {
    Library();
    Create();
    Script(L"[STR]\r\nMSG=Please wait\r\nXRATE=0.25\r\nFONTH=30\r\nG=0\r\n[BAD]\r\nMSG=x\r\n");
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, Command(L"SHOW_STRWIN", L"STR"));
    EXPECT_EQ(10000u, GetTickCount() - start);
    auto calls = CallsOf("SetupDlgStrWin");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(L"Please wait", calls[0].text);
    EXPECT_EQ(0.25, calls[0].x);
    EXPECT_EQ(0.5, calls[0].y);
    EXPECT_EQ(30, calls[0].font);
    EXPECT_EQ(255, calls[0].r);
    EXPECT_EQ(0, calls[0].g);
    EXPECT_EQ(1, calls[0].show);
    winsim::setupdlg::SetStrWinResult(machine(), 5);
    EXPECT_EQ(80u, Command(L"SHOW_STRWIN", L"BAD"));
}

struct MissingCase {
    const char* name;
    bool installed;
    winsim::setupdlg::Entries entries;
    unsigned modal, show, strwin;
};

const MissingCase kMissing[] = {
    {"NoLibrary", false, {}, 0, 36, 80},
    {"NoShowEntry", true, {true, false, true}, 35, 36, 0},
    {"NoModalEntry", true, {false, true, true}, 0, 0, 0},
    {"NoStrWinEntry", true, {true, true, false}, 35, 0, 80},
};

class MissingLibrary : public DialogCommands, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingLibrary, Results) {
    const MissingCase& c = GetParam();
    if (c.installed) Library(c.entries);
    Create();
    Script(L"[D]\r\nSHOW=1\r\n");
    winsim::setupdlg::QueueModalAnswer(machine(), IDCANCEL);
    EXPECT_EQ(c.show, Command(L"SHOW_DIALOG", L"D"));
    EXPECT_EQ(c.modal, Command(L"DOMODAL_DIALOG", L"D"));
    EXPECT_EQ(c.strwin, Command(L"SHOW_STRWIN", L"D"));
    g_pSetupCtrl->CloseProgressWindow();
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingLibrary, ::testing::ValuesIn(kMissing),
                         [](const ::testing::TestParamInfo<MissingCase>& i) { return std::string(i.param.name); });

}  // namespace
