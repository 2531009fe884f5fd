// The notices: the language names, the texts from the language section, the base section
// and the string table, the texts that name the RF-stop posture, the user's choices by OK,
// Cancel and Close, and the first check that waits for the notice and starts splash.exe.
#include "gui_fixture.h"

#include "resource.h"
#include "winsim/program.h"

#include <optional>
#include <ostream>
#include <string>

namespace {

const wchar_t* kFolder = L"C:\\Program Files\\Quarven\\Veltrane\\";
const wchar_t* kUserKey = L"HKCU\\Software\\Quarven\\Lumora";

TEST(LanguageName, ByLangId) {
    const struct {
        LANGID id;
        const wchar_t* name;
    } cases[] = {{1033, L"ENGLISH"},  {3082, L"SPANISH"},    {20490, L"SPANISH"},
                 {1041, L"JAPANESE"}, {2052, L"CHINESE"},    {1028, L"CHINESE_TRADITIONAL"},
                 {5127, L"GERMAN"},   {2070, L"PORTUGUESE"}, {1049, L"RUSSIAN"},
                 {0, L"ENGLISH"}};
    for (const auto& c : cases) EXPECT_STREQ(c.name, GetLanguageName(c.id)) << c.id;
}

class Notices : public GuiTest {
protected:
    void WriteIni(const std::string& text) {
        std::wstring folder = kFolder;
        for (size_t i = 3; i < folder.size(); ++i)
            if (folder[i] == L'\\') CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
        HANDLE h = CreateFileW((folder + L"RVQXCTRL.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD put = 0;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
        CloseHandle(h);
    }
    std::optional<DWORD> UserFlag(const wchar_t* name) { return winsim::Registry(machine()).GetDword(kUserKey, name); }
    std::wstring Text(int n) { return frame_->GetText(n); }
};

TEST_F(Notices, LanguageSectionThenBaseSectionThenStringTable) {
    WriteIni(
        "[DIALOG]\r\nDIALOG_TITLE=Base title\r\nDIALOG_OK=Base OK\r\n"
        "[DIALOG_SPANISH]\r\nDIALOG_OK=Aceptar\r\n"
        "[LOGONDIALOG_SPANISH]\r\nPLAND=Horizontal principal\r\n"
        "[LOGONDIALOG_JAPANESE]\r\nPLAND=Japanese only\r\n");
    SetProduct(L"DLGDEBUG", 1);
    SetProduct(L"LANGID", 0x10000 | 3082);  // the low 16 bits count
    Open();
    EXPECT_EQ(3082, frame_->GetLangId());
    EXPECT_EQ(L"Base title", Text(TEXT_RFSTOP_TITLE));
    EXPECT_EQ(L"Aceptar", Text(TEXT_RFSTOP_BUTTON));
    EXPECT_EQ(L"Horizontal principal", Text(TEXT_LABEL_PLAND));
    EXPECT_EQ(L"Primary portrait", Text(TEXT_LABEL_PPORT));
    EXPECT_EQ(L"OK", Text(TEXT_NOTICE_BUTTON));
    EXPECT_EQ(L"Limitation of Wireless WAN Connection.", Text(TEXT_NOTICE_TITLE));
    // The dialogs show them.
    WCHAR sz[TEXT_CCH];
    GetDlgItemTextW(frame_->GetLogonDlg(), IDC_LABEL_PRIMARY_LANDSCAPE, sz, TEXT_CCH);
    EXPECT_STREQ(L"Horizontal principal", sz);
    GetDlgItemTextW(frame_->GetRFStoppedDlg(), IDOK, sz, TEXT_CCH);
    EXPECT_STREQ(L"Aceptar", sz);
}

struct PostureCase {
    const char* name;
    DWORD stop_flags;  // HCI: 0x4000 -> 1, 0x2000 -> 2, 0x8000 -> 3, 0x1000 -> 4
    bool ini;          // the INI has the suffixed keys
    const wchar_t* message;
    const wchar_t* line2_position;
};
void PrintTo(const PostureCase& c, std::ostream* os) { *os << c.name; }
class PostureTexts : public Notices, public ::testing::WithParamInterface<PostureCase> {};

TEST_P(PostureTexts, SuffixAndFallbackNameThePosture) {
    const auto& c = GetParam();
    if (c.ini)
        WriteIni(
            "[DIALOG]\r\nDIALOG_MSG0_SP=msg SP\r\nDIALOG_MSG0_SL=msg SL\r\nDIALOG_MSG0_PP=msg PP\r\n"
            "[LOGONDIALOG]\r\nDIALOG_MSG1_SP=SP\r\nDIALOG_MSG1_SL=SL\r\nDIALOG_MSG1_PP=PP\r\n");
    hci().set_posture_flags(c.stop_flags);
    Open();
    EXPECT_NE(std::wstring::npos, Text(TEXT_RFSTOP_MESSAGE).find(c.message)) << Text(TEXT_RFSTOP_MESSAGE);
    EXPECT_NE(std::wstring::npos, Text(TEXT_NOTICE_LINE2).find(c.line2_position)) << Text(TEXT_NOTICE_LINE2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PostureTexts,
    ::testing::Values(PostureCase{"SecondaryPortraitIni", 0x2000, true, L"msg SP", L"SP"},
                      PostureCase{"SecondaryLandscapeIni", 0x8000, true, L"msg SL", L"SL"},
                      PostureCase{"PrimaryPortraitIni", 0x1000, true, L"msg PP", L"PP"},
                      PostureCase{"PrimaryLandscapeIniTakesSP", 0x4000, true, L"msg SP", L"SP"},
                      PostureCase{"SecondaryPortrait", 0x2000, false,
                                  L"used in the Secondary Portrait Display Position, which is your current",
                                  L"used in the Secondary Portrait Display Position."},
                      PostureCase{"SecondaryLandscape", 0x8000, false, L"the Secondary Landscape Display Position",
                                  L"the Secondary Landscape Display Position."},
                      PostureCase{"PrimaryPortrait", 0x1000, false, L"the Primary Portrait Display Position",
                                  L"the Primary Portrait Display Position."},
                      PostureCase{"PrimaryLandscape", 0x4000, false, L"the Primary Landscape Display Position",
                                  L"the Primary Landscape Display Position."}),
    [](const auto& i) { return std::string(i.param.name); });

struct CloseCase {
    const char* name;
    bool notice;  // the notice, else the RF-stopped dialog
    bool checked;
    int how;  // 0 OK, 1 Cancel, 2 Close from the system menu
    std::optional<DWORD> flag;
};
void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }
class Closing : public Notices, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(Closing, ChoiceKeptOnlyByOk) {
    const auto& c = GetParam();
    SetProduct(L"DLGDEBUG", 1);  // both dialogs at set-up
    auto& f = Open();
    HWND dlg = c.notice ? f.GetLogonDlg() : f.GetRFStoppedDlg();
    ASSERT_TRUE(dlg && IsWindowVisible(dlg));
    CheckDlgButton(dlg, c.notice ? IDC_NOTICE_CHECK : IDC_RFSTOP_CHECK, c.checked ? BST_CHECKED : BST_UNCHECKED);
    if (c.how == 2)
        SendMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        SendMessageW(dlg, WM_COMMAND, c.how == 0 ? IDOK : IDCANCEL, 0);
    Pump(100);
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_EQ(nullptr, c.notice ? f.GetLogonDlg() : f.GetRFStoppedDlg());
    EXPECT_EQ(c.flag, UserFlag(c.notice ? L"LOGONDLGFLAG" : L"DLGFLAG"));
    bool wanted = c.notice ? f.IsNoticeWanted() : f.IsRFStoppedDlgWanted();
    EXPECT_EQ(!(c.flag && *c.flag), wanted);
}

INSTANTIATE_TEST_SUITE_P(Table, Closing,
                         ::testing::Values(CloseCase{"NoticeOkChecked", true, true, 0, 1u},
                                           CloseCase{"NoticeOkUnchecked", true, false, 0, 0u},
                                           CloseCase{"NoticeCancel", true, true, 1, std::nullopt},
                                           CloseCase{"NoticeClose", true, true, 2, std::nullopt},
                                           CloseCase{"StoppedOkChecked", false, true, 0, 1u},
                                           CloseCase{"StoppedOkUnchecked", false, false, 0, 0u},
                                           CloseCase{"StoppedCancel", false, true, 1, std::nullopt},
                                           CloseCase{"StoppedClose", false, true, 2, std::nullopt}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Notices, RememberedChoicesKeepTheDialogsAway) {
    winsim::Registry(machine()).SetDword(kUserKey, L"LOGONDLGFLAG", 1);
    winsim::Registry(machine()).SetDword(kUserKey, L"DLGFLAG", 1);
    hci().set_posture_flags(0x2000);
    display().Rotate(DMDO_90);
    auto& f = Open();
    f.CheckPostureNow();
    EXPECT_EQ(std::vector<DWORD>{129}, f.codes);
    EXPECT_EQ(nullptr, f.GetLogonDlg());
    EXPECT_EQ(nullptr, f.GetRFStoppedDlg());
}

// Another program's request to show (lParam not 0) or hide (0) the RF-stopped dialog: no
// control goes to the service; a shown dialog ends the start-up polling, unless the user
// chose not to see it again.
TEST_F(Notices, RfStoppedRequestShowsAndHidesTheDialogOnly) {
    for (bool unwanted : {false, true}) {
        if (unwanted) winsim::Registry(machine()).SetDword(kUserKey, L"DLGFLAG", 1);
        SetProduct(L"StartTime", 1000);
        SetProduct(L"PollingInterval", 500);
        SetProduct(L"PollingMaxTime", 60000);
        HANDLE ready = CreateEventW(nullptr, TRUE, TRUE, READY_EVENT_NAME);
        auto& f = Open();
        ASSERT_NE(0u, f.GetTimer(TIMER_POLLSTART));
        f.codes.clear();
        const struct {
            LPARAM l;
            bool visible;
        } steps[] = {{0, false}, {1, true}, {1, true}, {0, false}, {7, true}};
        for (const auto& s : steps) {
            SendMessageW(f.m_hWnd, WM_APP_NOTIFY, NOTIFY_RFSTOPPED, s.l);
            HWND dlg = f.GetRFStoppedDlg();
            EXPECT_EQ(s.visible && !unwanted, dlg != nullptr && IsWindowVisible(dlg)) << unwanted << " " << s.l;
        }
        EXPECT_TRUE(f.codes.empty());
        EXPECT_EQ(unwanted, f.GetTimer(TIMER_POLLSTART) != 0);
        Close();
        CloseHandle(ready);
    }
}

int WINAPI SplashMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return 0; }

TEST_F(Notices, FirstCheckWaitsForTheNoticeThenStartsSplash) {
    winsim::ProgramInfo splash;
    splash.file_name = L"splash.exe";
    splash.wwinmain = SplashMain;
    winsim::RegisterProgram(splash);
    const std::wstring path = std::wstring(kFolder) + L"splash.exe";
    winsim::InstallProgramImage(machine(), path, L"splash.exe");
    SetProduct(L"StartTime", 1000);
    auto& f = Open();
    auto started = [&] {
        int n = 0;
        for (auto& p : machine().Processes())
            if (p->image_path == path) {
                ++n;
                EXPECT_EQ(L"\"" + path + L"\"", p->command_line);
            }
        return n;
    };
    HWND notice = f.GetLogonDlg();
    ASSERT_TRUE(notice && IsWindowVisible(notice));
    Pump(3000);
    EXPECT_EQ(0, started());
    SendMessageW(notice, WM_COMMAND, IDOK, 0);
    Pump(1500);
    EXPECT_EQ(1, started());
    Pump(3000);
    EXPECT_EQ(1, started());  // once only
}

}  // namespace
