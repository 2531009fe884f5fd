// The language identifiers read from the machine's registry.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/registry.h"

namespace {

TEST(Languages, FromTheRegistryWithTheUserFallingBackToTheSystem) {
    auto m = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*m};
    winsim::Registry r(*m);
    const wchar_t* nls = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
    r.DeleteValue(nls, L"InstallLanguage");
    r.DeleteValue(nls, L"Default");
    r.DeleteValue(L"HKCU\\Control Panel\\Desktop", L"MultiUILanguageId");
    r.DeleteValue(L"HKCU\\Control Panel\\International", L"Locale");
    EXPECT_EQ(0x0409, GetUserDefaultUILanguage());
    EXPECT_EQ(0x0409, GetSystemDefaultLangID());
    r.SetString(nls, L"InstallLanguage", L"0411");
    r.SetString(nls, L"Default", L"0407");
    EXPECT_EQ(0x0411, GetSystemDefaultUILanguage());
    EXPECT_EQ(0x0411, GetUserDefaultUILanguage());  // no language of the user's own
    EXPECT_EQ(0x0407, GetUserDefaultLangID());
    r.SetString(L"HKCU\\Control Panel\\Desktop", L"MultiUILanguageId", L"0000040c");
    r.SetString(L"HKCU\\Control Panel\\International", L"Locale", L"00000410");
    EXPECT_EQ(0x040c, GetUserDefaultUILanguage());
    EXPECT_EQ(0x0410, GetUserDefaultLangID());
    r.SetString(L"HKCU\\Control Panel\\Desktop", L"MultiUILanguageId", L"zz");
    EXPECT_EQ(0x0411, GetUserDefaultUILanguage());
}

}  // namespace
