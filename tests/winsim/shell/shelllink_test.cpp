// The shell link class: fields set through IShellLinkW come back from the saved file, and
// saving into a missing folder fails.
#include <objbase.h>
#include <shlobj.h>

#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/com.h"
#include "winsim/shelllink.h"

namespace {

class ShellLinkTest : public SimTest {};

TEST_F(ShellLinkTest, SavedFieldsReadBack) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    IShellLinkW* link = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)));
    EXPECT_EQ(S_OK, link->SetPath(L"C:\\Apps\\tool.exe"));
    EXPECT_EQ(S_OK, link->SetArguments(L"/x \"a b\""));
    EXPECT_EQ(S_OK, link->SetWorkingDirectory(L"C:\\Apps"));
    EXPECT_EQ(S_OK, link->SetShowCmd(SW_SHOWMINIMIZED));
    EXPECT_EQ(E_INVALIDARG, link->SetPath(L"a\nb"));
    IPersistFile* file = nullptr;
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    winsim::files::CreateFolders(machine(), L"C:\\Links");
    EXPECT_EQ(S_OK, file->Save(L"C:\\Links\\tool.lnk", TRUE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), file->Save(L"C:\\Missing\\tool.lnk", TRUE));
    file->Release();
    link->Release();
    CoUninitialize();
    auto saved = winsim::shelllink::Read(machine(), L"C:\\Links\\tool.lnk");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(L"C:\\Apps\\tool.exe", saved->path);
    EXPECT_EQ(L"/x \"a b\"", saved->arguments);
    EXPECT_EQ(L"C:\\Apps", saved->working_dir);
    EXPECT_EQ(SW_SHOWMINIMIZED, saved->show_cmd);
    EXPECT_EQ(0, winsim::com::LiveObjects());
}

}  // namespace
