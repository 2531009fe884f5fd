// The shell link class: fields set through IShellLinkW come back from the saved file, saving
// into a missing folder fails, winsim still saves the bytes that Wine was shown to load, and
// no shorter piece of a link file loads.
#include "sim_fixture.h"
#include "shelllink_fixtures.h"
#include "winsim/com.h"
#include "winsim/files.h"
#include "winsim/shelllink.h"

#include <cstdlib>
#include <fstream>

namespace {

class ShellLinkTest : public ShellLinkCalls<SimTest> {};

TEST_F(ShellLinkTest, SavedFieldsReadBack) {
    IShellLinkW* link = NewLink();
    ASSERT_NE(nullptr, link);
    EXPECT_EQ(S_OK, link->SetPath(L"C:\\Apps\\tool.exe"));
    EXPECT_EQ(S_OK, link->SetArguments(L"/x \"a b\""));
    EXPECT_EQ(S_OK, link->SetWorkingDirectory(L"C:\\Apps"));
    EXPECT_EQ(S_OK, link->SetShowCmd(SW_SHOWMINIMIZED));
    EXPECT_EQ(S_OK, link->SetDescription(L"two\nlines"));
    winsim::files::CreateFolders(machine(), L"C:\\Links");
    EXPECT_EQ(S_OK, Persist(link, L"C:\\Links\\tool.lnk", true));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Persist(link, L"C:\\Missing\\tool.lnk", true));
    // The format holds local paths only; nothing is written for another.
    EXPECT_EQ(S_OK, link->SetPath(L"\\\\server\\share\\tool.exe"));
    EXPECT_EQ(E_INVALIDARG, Persist(link, L"C:\\Links\\unc.lnk", true));
    EXPECT_FALSE(winsim::files::Exists(machine(), L"C:\\Links\\unc.lnk"));
    link->Release();
    auto saved = winsim::shelllink::Read(machine(), L"C:\\Links\\tool.lnk");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(L"C:\\Apps\\tool.exe", saved->path);
    EXPECT_EQ(L"/x \"a b\"", saved->arguments);
    EXPECT_EQ(L"C:\\Apps", saved->working_dir);
    EXPECT_EQ(L"two\nlines", saved->description);
    EXPECT_EQ(SW_SHOWMINIMIZED, saved->show_cmd);
    EXPECT_EQ(0, winsim::com::LiveObjects());
}

TEST_F(ShellLinkTest, SavesTheWinsimFixture) {
    winsim::files::CreateFolders(machine(), L"C:\\Links");
    ASSERT_EQ(S_OK, SaveLink(FixtureLink(), L"C:\\Links\\fixture.lnk"));
    auto bytes = winsim::files::ReadBytes(machine(), L"C:\\Links\\fixture.lnk");
    ASSERT_TRUE(bytes.has_value());
    if (const char* keep = std::getenv("VQ_KEEP_LINK")) std::ofstream(keep, std::ios::binary) << *bytes;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kWinsimSavedLink), sizeof(kWinsimSavedLink)), *bytes)
        << "winsim saves a link differently: make kWinsimSavedLink again (shelllink_fixtures.h)";
}

// Every piece of a link file cut short is refused, and the object keeps the link it had.
TEST_F(ShellLinkTest, NoShorterPieceLoads) {
    const std::string whole(reinterpret_cast<const char*>(kWinsimSavedLink), sizeof(kWinsimSavedLink));
    winsim::files::CreateFolders(machine(), L"C:\\Links");
    ASSERT_TRUE(winsim::files::WriteBytes(machine(), L"C:\\Links\\whole.lnk", whole));
    IShellLinkW* link = NewLink();
    ASSERT_NE(nullptr, link);
    ASSERT_EQ(S_OK, Persist(link, L"C:\\Links\\whole.lnk", false));
    for (size_t n = 0; n < whole.size(); ++n) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), L"C:\\Links\\cut.lnk", whole.substr(0, n)));
        EXPECT_EQ(E_FAIL, Persist(link, L"C:\\Links\\cut.lnk", false)) << n << " bytes";
    }
    WCHAR path[MAX_PATH];
    EXPECT_EQ(S_OK, link->GetPath(path, MAX_PATH, nullptr, 0));
    EXPECT_EQ(FixtureLink().target, path);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Persist(link, L"C:\\Links\\none.lnk", false));
    link->Release();
}

}  // namespace
