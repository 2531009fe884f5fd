// CREATE_LINK and DELETE_LINK: links below shell folders with the folders made on the way,
// the working folder taken from the target, missing links and shell folders.
#include "unit_fixture.h"

#include <shlobj.h>

#include "winsim/shelllink.h"

namespace {

const wchar_t kScript[] = L"C:\\Program Files\\Quarven\\Setup\\script.ini";

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

class LinkCommands : public EngineUnitTest {
protected:
    void SetUp() override { Create(); }
    void Script(const std::wstring& section) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, Utf16(L"[S]\r\n" + section)));
    }
    static std::wstring Programs() {
        WCHAR sz[MAX_PATH] = {0};
        SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS | CSIDL_FLAG_CREATE, nullptr, 0, sz);
        return sz;
    }
};

struct LinkCase {
    const char* name;
    std::wstring section;
    unsigned result;
    std::wstring sub_path;  // below the common programs folder; empty: no link expected
    std::wstring target, working_dir;
};

const LinkCase kLinks[] = {
    {"FoldersMade", L"LINK=1\r\nLINK1=Quarven\\Tools\\Tool.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=C:\\Apps\\tool.exe", 0,
     L"Quarven\\Tools\\Tool.lnk", L"C:\\Apps\\tool.exe", L"C:\\Apps"},
    {"BareTarget", L"LINK=1\r\nLINK1=Tool.lnk\r\nLINK1_LOCATION=0x17\r\nLINK1_CMD=tool.exe", 0, L"Tool.lnk",
     L"C:\\Program Files\\Quarven\\Setup\\tool.exe", L""},
    {"Macros", L"LINK=1\r\nLINK1=Tool.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=%ExecuteDir%\\tool.exe", 0, L"Tool.lnk",
     L"C:\\PROGRA~1\\Quarven\\Setup\\tool.exe", L"C:\\PROGRA~1\\Quarven\\Setup"},
    // The second entry's shell folder is unknown: the first is still made.
    {"UnknownFolder",
     L"LINK=2\r\nLINK1=Tool.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=C:\\a.exe\r\nLINK2=Lost.lnk\r\nLINK2_LOCATION=7f\r\n"
     L"LINK2_CMD=C:\\b.exe",
     57, L"Tool.lnk", L"C:\\a.exe", L"C:\\"},
    {"NoEntries", L"LINK=0", 0, L"", L"", L""},
    // A link never leaves its folder; ".." that stays inside is fine.
    {"ClimbingOutRefused",
     L"LINK=2\r\nLINK1=..\\..\\..\\..\\..\\..\\x.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=C:\\a.exe\r\n"
     L"LINK2=In\\..\\Tool.lnk\r\nLINK2_LOCATION=17\r\nLINK2_CMD=C:\\a.exe",
     57, L"Tool.lnk", L"C:\\a.exe", L"C:\\"},
};

class Links : public LinkCommands, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(Links, Created) {
    const LinkCase& c = GetParam();
    Script(c.section);
    EXPECT_EQ(c.result, g_pSetupCtrl->CreateLinksFromIni(kScript, L"S"));
    EXPECT_FALSE(winsim::files::Exists(machine(), L"C:\\Program Files\\Quarven\\Setup\\Lost.lnk"));
    EXPECT_FALSE(winsim::files::Exists(machine(), L"C:\\x.lnk"));
    if (c.sub_path.empty()) return;
    auto link = winsim::shelllink::Read(machine(), Programs() + L"\\" + c.sub_path);
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(c.target, link->path);
    EXPECT_EQ(c.working_dir, link->working_dir);
    EXPECT_EQ(L"", link->arguments);
    EXPECT_EQ(SW_SHOWNORMAL, link->show_cmd);
}

INSTANTIATE_TEST_SUITE_P(Cases, Links, ::testing::ValuesIn(kLinks),
                         [](const ::testing::TestParamInfo<LinkCase>& i) { return std::string(i.param.name); });

TEST_F(LinkCommands, MadeAgainThenDeletedThenMissing) {
    Script(L"LINK=1\r\nLINK1=Quarven\\Tool.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=C:\\Apps\\tool.exe");
    EXPECT_EQ(0u, g_pSetupCtrl->CreateLinksFromIni(kScript, L"S"));
    EXPECT_EQ(0u, g_pSetupCtrl->CreateLinksFromIni(kScript, L"S"));
    std::wstring path = Programs() + L"\\Quarven\\Tool.lnk";
    EXPECT_EQ(0u, g_pSetupCtrl->DeleteLinksFromIni(kScript, L"S"));
    EXPECT_FALSE(winsim::files::Exists(machine(), path));
    EXPECT_TRUE(Logged(L"Delete File " + path));
    EXPECT_EQ(60u, g_pSetupCtrl->DeleteLinksFromIni(kScript, L"S"));
    EXPECT_TRUE(Logged(L"Can not find File " + path));
}

// A folder of the link's path that cannot be made, and a link that cannot be deleted.
TEST_F(LinkCommands, FailuresLogTheirTexts) {
    ASSERT_TRUE(winsim::files::WriteBytes(machine(), Programs() + L"\\Blocked", "a file"));
    Script(L"LINK=1\r\nLINK1=Blocked\\Sub\\Tool.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=C:\\Apps\\tool.exe");
    EXPECT_EQ(57u, g_pSetupCtrl->CreateLinksFromIni(kScript, L"S"));
    EXPECT_TRUE(Logged(L"CreateLinkFileFromIni:CreateDirectory ERROR=3"));
    Script(L"LINK=1\r\nLINK1=Tool.lnk\r\nLINK1_LOCATION=17\r\nLINK1_CMD=C:\\Apps\\tool.exe");
    ASSERT_EQ(0u, g_pSetupCtrl->CreateLinksFromIni(kScript, L"S"));
    std::wstring path = Programs() + L"\\Tool.lnk";
    winsim::files::InjectFailure(machine(), path, winsim::files::kFailDelete, ERROR_ACCESS_DENIED);
    EXPECT_EQ(60u, g_pSetupCtrl->DeleteLinksFromIni(kScript, L"S"));
    EXPECT_TRUE(Logged(L"Error Delete File " + path));
}

}  // namespace
