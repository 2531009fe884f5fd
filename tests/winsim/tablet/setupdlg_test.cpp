// The dialog library's stand-in: it loads only where its file is, binds only the entries
// it was given, and its progress dialog fills the record's four handles.
#include <windows.h>

#include "SetupDlgLib.h"
#include "sim_fixture.h"
#include "winsim/setupdlg.h"

namespace {

class SetupDlgStandIn : public SimTest {};

TEST_F(SetupDlgStandIn, LoadsWhereItsFileIsWithItsEntries) {
    winsim::setupdlg::Register(machine(), {true, true, false});
    EXPECT_EQ(nullptr, LoadLibraryW(L"C:\\Nowhere\\Pavrix.dll"));
    winsim::setupdlg::Install(machine(), L"C:\\Lib\\Pavrix.dll");
    HMODULE h = LoadLibraryW(L"C:\\Lib\\Pavrix.dll");
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(nullptr, GetProcAddress(h, SETUPDLG_STRWIN_NAME));
    auto show = reinterpret_cast<PFN_SetupDlgShowDlg>(reinterpret_cast<void*>(GetProcAddress(h, SETUPDLG_SHOW_NAME)));
    ASSERT_NE(nullptr, show);
    SetupDlgDesc desc = {};
    desc.DLG = 3;
    show(&desc, nullptr, 1);
    EXPECT_TRUE(IsWindowVisible(desc.hDialog));
    EXPECT_EQ(desc.hDialog, GetParent(desc.hProgressBar));
    EXPECT_EQ(desc.hDialog, GetParent(desc.hCaption));
    EXPECT_EQ(desc.hDialog, GetParent(desc.hDetail));
    show(&desc, nullptr, 0);
    EXPECT_FALSE(IsWindowVisible(desc.hDialog));
    auto calls = winsim::setupdlg::Calls(machine());
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(3, calls[0].dlg);
    EXPECT_EQ(0, calls[1].show);
    FreeLibrary(h);
}

}  // namespace
