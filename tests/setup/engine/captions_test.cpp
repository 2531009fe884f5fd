// The progress dialog's status texts: the captions and details each command shows, in
// order, read from a progress dialog whose controls record every text they are given.
#include "unit_fixture.h"

#include <shlobj.h>

#include "winsim/osinfo.h"

#include <string>
#include <vector>

namespace {

namespace wf = winsim::files;

const wchar_t kScript[] = L"C:\\Program Files\\Quarven\\Setup\\Captions.ini";
const wchar_t kProbeClass[] = L"VqStatusProbe";
enum { kCaptionId = 1, kDetailId = 2 };

// "caption|detail" for each status text, in order.
std::vector<std::wstring> g_shown;

LRESULT CALLBACK ProbeProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SETTEXT) {
        LPCWSTR text = reinterpret_cast<LPCWSTR>(lp);
        if (GetWindowLongPtrW(h, GWLP_ID) == kCaptionId)
            g_shown.push_back(std::wstring(text) + L"|");
        else if (GetWindowLongPtrW(h, GWLP_ID) == kDetailId && !g_shown.empty())
            g_shown.back() += text;
    }
    return DefWindowProcW(h, m, wp, lp);
}

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
    return bytes;
}

struct CaptionCase {
    const char* name;
    const wchar_t* keyword;
    const wchar_t* lines;             // of the argument section [S] (also under its OS word)
    std::vector<std::wstring> shown;  // {programs} stands for the common programs folder
};

const CaptionCase kCases[] = {
    {"RemoveFiles",
     L"REMOVE_FILES",
     L"FILE=2\r\nFILE1=C:\\Data\\a.txt\r\nFILE2=C:\\Data\\none.txt\r\n",
     {L"Deleting File...|C:\\Data\\a.txt"}},
    {"RemoveFilesAtReboot",
     L"REMOVE_FILES",
     L"REBOOTFLAG=1\r\nFILE=1\r\nFILE1=C:\\Data\\a.txt\r\n",
     {L"Registed delete file at reboot...|C:\\Data\\a.txt"}},
    {"CopyFolders",
     L"COPY_FOLDERS",
     L"FOLDER=1\r\nFOLDER1_SRC=C:\\Src\r\nFOLDER1_DEST=C:\\New\\Tree\r\n",
     {L"Creating folder...|C:\\New", L"Creating folder...|C:\\New\\Tree", L"Copy File...|C:\\New\\Tree\\x.sys"}},
    {"CopyFilesAndFoldersFolder",
     L"COPY_FILES_FOLDERS",
     L"FILEFOLDER=1\r\nFILEFOLDER1_SRC=C:\\Src\r\nFILEFOLDER1_DEST=C:\\New\r\n",
     {L"Copy file...|C:\\Src", L"Creating folder...|C:\\New", L"Copy File...|C:\\New\\x.sys"}},
    {"CopyFilesAndFoldersFile",
     L"COPY_FILES_FOLDERS",
     L"FILEFOLDER=1\r\nFILEFOLDER1_SRC=C:\\Src\\x.sys\r\nFILEFOLDER1_DEST=C:\\New\\Place\r\n",
     {L"Creating folder...|C:\\New", L"Creating folder...|C:\\New\\Place"}},
    {"RemoveFoldersForced",
     L"REMOVE_FOLDERS",
     L"FORCE_DELETE=1\r\nFOLDER=1\r\nFOLDER1=C:\\Old\r\n",
     {L"Deleting Folder...|C:\\Old\\sub", L"Deleting File...|C:\\Old\\sub\\f.txt"}},
    {"CreateFoldersShowsNothing", L"CREATE_FOLDERS", L"FOLDER=1\r\nFOLDER1=C:\\Made\\Here\r\n", {}},
    {"CmdCp",
     L"CMD_CP",
     L"CMD=2\r\nCMD1=C:\\Tools\\none.exe\r\nCMD2=C:\\Tools\\bad.exe\r\nCMD_PLUSARG=-q\r\n",
     {L"S|\"C:\\Tools\\bad.exe\"  -q"}},
    {"CmdUilangNamesTheChosenSection",
     L"CMD_UILANG",
     L"CMD=0\r\n[S_0411]\r\nCMD=1\r\nCMD1=C:\\Tools\\bad.exe\r\n",
     {L"S_0411|\"C:\\Tools\\bad.exe\"  "}},
    {"CmdSh", L"CMD_SH", L"SHL=1\r\nSHL1=C:\\Docs\\none.txt\r\n", {L"S|C:\\Docs\\none.txt"}},
    {"UninstApps",
     L"UNINST_APPS",
     L"APP=2\r\nAPP1=Nowhere\r\nAPP2=App\r\nAPP2_OPTION=-q\r\n",
     {L"Uninstalling... application|C:\\Missing\\gone.exe -runfromtemp -x  -q "}},
    {"MacroWinclick", L"MACRO_WINCLICK", L"DIALOGCOUNT=0\r\n", {L"Unattendant... |Windows or Dialog"}},
    {"CmdSvc", L"CMD_SVC", L"SVC=0\r\n", {L"Command service... |"}},
    {"RegIni",
     L"REG_INI",
     L"ADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\Vq\r\nADDREG1_ENTRYNAME=Mode\r\nADDREG1_VALUE=1\r\n"
     L"DELREG=1\r\nDELREG1_ROOT=HKLM\r\nDELREG1_SUBKEY=SOFTWARE\\Vq\r\nDELREG1_ENTRYNAME=Old\r\n",
     {L"Adding Registry...|Mode", L"Deleting Registry...|Old"}},
    {"InstallDrvpackPreinstall",
     L"INSTALL_DRVPACK",
     L"INF=1\r\nOPTION=0\r\nINF1=x.inf\r\n",
     {L"Preinstalling... driver package|x.inf"}},
    {"InstallDrvpackInstall",
     L"INSTALL_DRVPACK",
     L"INF=1\r\nOPTION=1\r\nINF1=x.inf\r\n",
     {L"Installing... driver package|x.inf"}},
    {"InstallDrvpackUninstall",
     L"INSTALL_DRVPACK",
     L"INF=2\r\nOPTION=2\r\nINF1=\r\nINF2=wlan\\x.inf\r\n",
     {L"Uninstalling... driver package|wlan\\x.inf"}},
    {"InstallDrvpackStorePath",
     L"INSTALL_DRVPACK",
     L"INF=1\r\nOPTION=3\r\nINF1=x.inf\r\n",
     {L"Getting inf path... driver package|x.inf"}},
    {"UninstallOemInf",
     L"UNINSTALL_OEMINF",
     L"DEV=1\r\nDEV1=PCI\\VEN_1D2E\r\nCLASS=Net\r\n",
     {L"Removing... oem inf for|PCI\\VEN_1D2E"}},
    {"DeleteLink",
     L"DELETE_LINK",
     L"LINK=2\r\nLINK1=Vq\\a.lnk\r\nLINK1_LOCATION=17\r\nLINK2=Vq\\none.lnk\r\n",
     {L"Deleting File...|{programs}\\Vq\\a.lnk"}},
};

class Captions : public EngineUnitTest, public ::testing::WithParamInterface<CaptionCase> {
protected:
    void SetUp() override {
        winsim::os::SetUserUILanguage(machine(), 0x0411);
        for (const wchar_t* f : {L"C:\\Data\\a.txt", L"C:\\Src\\x.sys", L"C:\\Old\\sub\\f.txt", L"C:\\Tools\\bad.exe"})
            Put(f);
        ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs_)));
        Put(std::wstring(programs_) + L"\\Vq\\a.lnk");
        winsim::Registry(machine()).SetString(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App",
                                              L"UninstallString", L"C:\\Missing\\gone.exe -runfromtemp -x");
        Create();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ProbeProc;
        wc.lpszClassName = kProbeClass;
        RegisterClassW(&wc);
        g_SetupDlgDesc.hDialog =
            CreateWindowExW(0, kProbeClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        g_SetupDlgDesc.hProgressBar = Control(0);
        g_SetupDlgDesc.hCaption = Control(kCaptionId);
        g_SetupDlgDesc.hDetail = Control(kDetailId);
        g_shown.clear();
    }
    void TearDown() override {
        DestroyWindow(g_SetupDlgDesc.hDialog);
        g_SetupDlgDesc.hDialog = g_SetupDlgDesc.hProgressBar = g_SetupDlgDesc.hCaption = g_SetupDlgDesc.hDetail =
            nullptr;
    }
    HWND Control(int id) {
        return CreateWindowExW(0, kProbeClass, L"", WS_CHILD, 0, 0, 1, 1, g_SetupDlgDesc.hDialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    void Put(const std::wstring& path) {
        wf::CreateFolders(machine(), path.substr(0, path.rfind(L'\\')));
        ASSERT_TRUE(wf::WriteBytes(machine(), path, "x")) << winsim::Utf8(path);
    }

    WCHAR programs_[MAX_PATH] = L"";
};

TEST_P(Captions, ShownInOrder) {
    const CaptionCase& c = GetParam();
    WCHAR section[SETUP_TEXT_CCH];
    CSetupCtrl::SectionWithOSWord(L"S", section, SETUP_TEXT_CCH);
    std::wstring lines = c.lines;
    ASSERT_TRUE(wf::WriteBytes(machine(), kScript, Utf16(L"[S]\r\n" + lines + L"[" + section + L"]\r\n" + lines)));
    g_pSetupEnv->SetScriptPath(kScript);
    int quit = 0;
    FindSetupCommand(c.keyword)->pfnHandler(L"", L"S", &quit, 0);
    std::vector<std::wstring> want;
    for (std::wstring s : c.shown) {
        size_t at = s.find(L"{programs}");
        if (at != std::wstring::npos) s.replace(at, 10, programs_);
        want.push_back(s);
    }
    EXPECT_EQ(want, g_shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, Captions, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CaptionCase>& i) { return std::string(i.param.name); });

}  // namespace
