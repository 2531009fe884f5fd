// CLOSE_WINDOW, SENDMSG_WINDOW and MACRO_WINCLICK against windows of another program:
// windows that close, windows that ignore WM_CLOSE, buttons clicked, and a dialog that
// shows up only after the first attempts.
#include "unit_fixture.h"

namespace {

const wchar_t kScript[] = L"C:\\Program Files\\Quarven\\Setup\\script.ini";
const wchar_t kClass[] = L"VqOtherProgram";
const UINT kQuit = WM_APP + 9;  // ends any of these windows
const UINT kBye = WM_APP + 5;   // the message a window leaves on

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

struct Counts {
    int close = 0;
    int bye = 0;
};
Counts g_counts;

// stubborn windows (GWLP_USERDATA 1) ignore WM_CLOSE; a clicked "OK" button closes its
// window, "Stay" does nothing.
LRESULT CALLBACK OtherProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CLOSE:
        ++g_counts.close;
        if (GetWindowLongPtrW(h, GWLP_USERDATA) != 1) DestroyWindow(h);
        return 0;
    case kBye:
        ++g_counts.bye;
        DestroyWindow(h);
        return 0;
    case kQuit: DestroyWindow(h); return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) DestroyWindow(h);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(h, m, wp, lp);
    }
}

struct Other {
    std::wstring title;
    bool stubborn = false;
    DWORD delay_ms = 0;
    HANDLE thread = nullptr;
    DWORD tid = 0;
};

DWORD WINAPI OtherMain(LPVOID p) {
    Other* o = static_cast<Other*>(p);
    if (o->delay_ms) Sleep(o->delay_ms);
    HWND h = CreateWindowExW(0, kClass, o->title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                             nullptr, nullptr);
    if (o->stubborn) SetWindowLongPtrW(h, GWLP_USERDATA, 1);
    CreateWindowExW(0, L"BUTTON", L"Stay", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, h, (HMENU)(INT_PTR)IDCANCEL, nullptr,
                    nullptr);
    CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 60, 0, 50, 20, h, (HMENU)(INT_PTR)IDOK, nullptr,
                    nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

class WindowCommands : public EngineUnitTest {
protected:
    void SetUp() override {
        g_counts = Counts();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = OtherProc;
        wc.lpszClassName = kClass;
        RegisterClassW(&wc);
        Create();
    }
    void TearDown() override {
        for (auto& o : others_) {
            if (o->tid) PostThreadMessageW(o->tid, WM_QUIT, 0, 0);
            WaitForSingleObject(o->thread, INFINITE);
            CloseHandle(o->thread);
        }
    }
    void Place(const std::wstring& title, bool stubborn = false, DWORD delay_ms = 0) {
        others_.push_back(std::make_unique<Other>());
        Other* o = others_.back().get();
        o->title = title;
        o->stubborn = stubborn;
        o->delay_ms = delay_ms;
        o->thread = CreateThread(nullptr, 0, OtherMain, o, 0, &o->tid);
        Sleep(1);  // the window thread runs up to its message loop (or its delay)
    }
    void Script(const std::wstring& section) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, Utf16(L"[S]\r\n" + section)));
    }

    std::vector<std::unique_ptr<Other>> others_;
};

TEST_F(WindowCommands, CloseWindowByTitleAndByClass) {
    Place(L"Viewer");
    Place(L"Tray");
    Script(L"WIN=1\r\nWIN1=Viewer\r\n");
    EXPECT_EQ(0u, g_pSetupCtrl->CloseWindowFromIni(kScript, L"S"));
    EXPECT_EQ(nullptr, FindWindowW(nullptr, L"Viewer"));
    Script(L"WIN=1\r\nCLASS=1\r\nWIN1=VqOtherProgram\r\n");
    EXPECT_EQ(0u, g_pSetupCtrl->CloseWindowFromIni(kScript, L"S"));
    EXPECT_EQ(nullptr, FindWindowW(nullptr, L"Tray"));
}

// A window that ignores WM_CLOSE gets it every 200 ms for the whole budget; an entry
// naming no window asks no window, not even an untitled one. The command succeeds.
struct CloseCase {
    const char* name;
    const wchar_t* title;  // of a window that ignores WM_CLOSE
    std::wstring section;
    DWORD elapsed;
    int closes;
};

const CloseCase kCloses[] = {
    {"StubbornAskedUntilTheBudgetEnds", L"Stubborn", L"WIN=1\r\nTIMEOUT=1000\r\nWIN1=Stubborn\r\n", 1000, 5},
    {"EntryWithoutNameSkipped", L"", L"WIN=2\r\nWIN1=\r\nTIMEOUT=1000\r\n", 0, 0},
};

class CloseWindows : public WindowCommands, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseWindows, Asked) {
    const CloseCase& c = GetParam();
    Place(c.title, true);
    Script(c.section);
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, g_pSetupCtrl->CloseWindowFromIni(kScript, L"S"));
    EXPECT_EQ(c.elapsed, GetTickCount() - start);
    EXPECT_EQ(c.closes, g_counts.close);
    EXPECT_NE(nullptr, FindWindowW(kClass, c.title));
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseWindows, ::testing::ValuesIn(kCloses),
                         [](const ::testing::TestParamInfo<CloseCase>& i) { return std::string(i.param.name); });

TEST_F(WindowCommands, PostWithoutBudgetOrWindowFails) {
    Place(L"Stubborn", true);
    EXPECT_EQ(37u, g_pSetupCtrl->PostWinMessage(nullptr, L"Stubborn", WM_CLOSE, 0));
    EXPECT_EQ(37u, g_pSetupCtrl->PostWinMessage(nullptr, L"Nobody", WM_CLOSE, 5000));
}

struct SendCase {
    const char* name;
    std::wstring section;
    unsigned result;
    int bye;
};

const SendCase kSends[] = {
    {"ByTitle", L"WIN=1\r\nWIN1_TITLE=Viewer\r\nWIN1_MSGID=8005\r\n", 0, 1},
    {"ByClass", L"WIN=1\r\nWIN1_CLASS=VqOtherProgram\r\nWIN1_MSGID=0x8005\r\n", 0, 1},
    // A failed entry fails the command even when a later one succeeds.
    {"FirstMissing", L"WIN=2\r\nWIN1_TITLE=Nobody\r\nWIN1_MSGID=8005\r\nWIN2_TITLE=Viewer\r\nWIN2_MSGID=8005\r\n", 59,
     1},
    {"LastMissing", L"WIN=2\r\nWIN1_TITLE=Viewer\r\nWIN1_MSGID=8005\r\nWIN2_TITLE=Nobody\r\nWIN2_MSGID=8005\r\n", 59,
     1},
    {"NotLeaving", L"WIN=1\r\nTIMEOUT=400\r\nWIN1_TITLE=Viewer\r\nWIN1_MSGID=8006\r\n", 59, 0},
    {"NoEntries", L"WIN=0\r\n", 0, 0},
    {"NoWindowNamed", L"WIN=1\r\nWIN1_MSGID=8005\r\n", 59, 0},
};

class SendMessages : public WindowCommands, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendMessages, Result) {
    Place(L"Viewer");
    Script(GetParam().section);
    EXPECT_EQ(GetParam().result, g_pSetupCtrl->SendMessageWindowFromIni(kScript, L"S"));
    EXPECT_EQ(GetParam().bye, g_counts.bye);
}

INSTANTIATE_TEST_SUITE_P(Cases, SendMessages, ::testing::ValuesIn(kSends),
                         [](const ::testing::TestParamInfo<SendCase>& i) { return std::string(i.param.name); });

struct ClickCase {
    const char* name;
    DWORD delay_ms;  // 0: the dialog is there from the start; -1: never
    std::wstring section;
    unsigned result;
    bool gone;
};

const ClickCase kClicks[] = {
    {"Clicked", 0,
     L"DIALOGCOUNT=1\r\nDIALOG1_TITLE=Install\r\nDIALOG1_CHILD=OK\r\nDIALOG1_OPENWAIT=1000\r\n"
     L"DIALOG1_CLOSEWAIT=500\r\n",
     0, true},
    // A wait below 100 ms makes no attempt: the dialog counts as done.
    {"NoOpenWait", 0, L"DIALOGCOUNT=1\r\nDIALOG1_TITLE=Install\r\nDIALOG1_CHILD=OK\r\nDIALOG1_OPENWAIT=99\r\n", 0,
     false},
    // The dialog shows up at the third attempt: clicked, but the failed attempts count.
    {"LateDialog", 250,
     L"DIALOGCOUNT=1\r\nDIALOG1_TITLE=Install\r\nDIALOG1_CHILD=OK\r\nDIALOG1_OPENWAIT=5000\r\n"
     L"DIALOG1_CLOSEWAIT=500\r\n",
     72, true},
    {"NeverOpens", (DWORD)-1, L"DIALOGCOUNT=1\r\nDIALOG1_TITLE=Install\r\nDIALOG1_CHILD=OK\r\nDIALOG1_OPENWAIT=500\r\n",
     72, true},
    {"NoSuchButton", 0, L"DIALOGCOUNT=1\r\nDIALOG1_TITLE=Install\r\nDIALOG1_CHILD=Ok\r\nDIALOG1_OPENWAIT=300\r\n", 72,
     false},
    {"StillThere", 0,
     L"DIALOGCOUNT=1\r\nDIALOG1_TITLE=Install\r\nDIALOG1_CHILD=Stay\r\nDIALOG1_OPENWAIT=300\r\n"
     L"DIALOG1_CLOSEWAIT=300\r\n",
     72, false},
};

class WinClicks : public WindowCommands, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(WinClicks, Result) {
    const ClickCase& c = GetParam();
    if (c.delay_ms != (DWORD)-1) Place(L"Install", false, c.delay_ms);
    Script(c.section);
    EXPECT_EQ(c.result, g_pSetupCtrl->WinClickFromIni(kScript, L"S"));
    Sleep(10);
    EXPECT_EQ(c.gone, FindWindowW(nullptr, L"Install") == nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, WinClicks, ::testing::ValuesIn(kClicks),
                         [](const ::testing::TestParamInfo<ClickCase>& i) { return std::string(i.param.name); });

}  // namespace
