// The registry class: the view table of both builds, the WOW flag's view for every
// operation, the size rules of text and 4-byte reads and the log line of IsRegKey.
#include "RegCtrl.h"
#include "lib_fixture.h"

#include <string>

namespace {

const wchar_t* const kSub = L"SOFTWARE\\Quarven\\RegTest";
const wchar_t* const k64 = L"HKLM\\SOFTWARE\\Quarven\\RegTest";
const wchar_t* const k32 = L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\RegTest";

struct MaskCase {
    REGSAM base;
    int wow;
    int build64;
    REGSAM want;
};

TEST(RegCtrlMasks, ViewTableOfBothBuilds) {
    const MaskCase cases[] = {
        {KEY_READ, 0, 1, 0x20019},  {KEY_READ, 1, 1, 0x20219},
        {KEY_READ, 1, 0, 0x20119},  {KEY_READ, 0, 0, 0x20019},
        {KEY_WRITE, 0, 1, 0x20006}, {KEY_WRITE, 1, 1, 0x20206},
        {KEY_WRITE, 1, 0, 0x20106}, {0, 1, 1, KEY_WOW64_32KEY},
        {0, 1, 0, KEY_WOW64_64KEY}, {0, 0, 1, 0},
    };
    for (const MaskCase& c : cases)
        EXPECT_EQ(c.want, CRegCtrl::ViewMask(c.base, c.wow, c.build64)) << c.base << " " << c.wow << " " << c.build64;
}

class RegCtrlTest : public LibTest {
protected:
    winsim::Registry reg{machine()};
    CRegCtrl rc;
};

TEST_F(RegCtrlTest, WowFlagWritesAndReadsTheOtherView) {
    context_.wow = 1;
    EXPECT_EQ(1, rc.WriteRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Name", L"thirty-two"));
    EXPECT_EQ(std::wstring(L"thirty-two"), reg.GetString(k32, L"Name").value_or(L"-"));
    EXPECT_FALSE(reg.KeyExists(k64));
    WCHAR out[REGCTRL_TEXT_CCH];
    EXPECT_EQ(1, rc.ReadRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Name", out));
    EXPECT_EQ(std::wstring(L"thirty-two"), out);

    reg.CreateKey(L"HKLM\\SOFTWARE\\Quarven\\Only64");
    EXPECT_EQ(0, rc.IsRegKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Only64"));
    EXPECT_TRUE(Logged(L"CRegCtrl::IsRegKey():RegOpenKeyEx() Wowflag 1 Return Code  0x00000002"));
    context_.wow = 0;
    EXPECT_EQ(1, rc.IsRegKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Only64"));
    EXPECT_TRUE(Logged(L"CRegCtrl::IsRegKey():RegOpenKeyEx() Wowflag 0 Return Code  0x00000000"));
    EXPECT_EQ(0, rc.ReadRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Name", out));
}

// The delete takes no view: with the flag set it still works in the program's own view.
TEST_F(RegCtrlTest, DeleteWorksInTheOwnViewWhateverTheFlag) {
    reg.CreateKey(k64);
    reg.CreateKey(k32);
    context_.wow = 1;
    EXPECT_EQ(1, rc.DeleteRegKey(HKEY_LOCAL_MACHINE, kSub));
    EXPECT_FALSE(reg.KeyExists(k64));
    EXPECT_TRUE(reg.KeyExists(k32));
    EXPECT_EQ(0, rc.DeleteRegKey(HKEY_LOCAL_MACHINE, kSub));  // gone in this view
    context_.wow = 0;
    reg.CreateKey(std::wstring(k64) + L"\\Child");
    EXPECT_EQ(0, rc.DeleteRegKey(HKEY_LOCAL_MACHINE, kSub));  // has a sub key
    EXPECT_EQ(1, rc.DeleteRegKey(HKEY_LOCAL_MACHINE, (std::wstring(kSub) + L"\\Child").c_str()));
    EXPECT_EQ(1, rc.DeleteRegKey(HKEY_LOCAL_MACHINE, kSub));
    EXPECT_FALSE(reg.KeyExists(k64));
    EXPECT_TRUE(reg.KeyExists(k32));
}

TEST_F(RegCtrlTest, TextSizes) {
    EXPECT_EQ(1, rc.WriteRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Empty", L""));
    auto v = reg.GetValue(k64, L"Empty");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v->type);
    EXPECT_EQ(2u, v->data.size());  // the terminator alone, as Windows stores it

    WCHAR out[REGCTRL_TEXT_CCH] = L"untouched";
    reg.SetString(k64, L"Max", std::wstring(259, L'a'));
    EXPECT_EQ(1, rc.ReadRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Max", out));
    EXPECT_EQ(std::wstring(259, L'a'), out);
    reg.SetString(k64, L"Over", std::wstring(260, L'b'));
    wcscpy(out, L"untouched");
    EXPECT_EQ(0, rc.ReadRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Over", out));
    EXPECT_EQ(std::wstring(L"untouched"), out);
    EXPECT_EQ(0, rc.ReadRegSZ(HKEY_LOCAL_MACHINE, kSub, L"Missing", out));
}

TEST_F(RegCtrlTest, FourByteReads) {
    reg.SetQword(k64, L"Eight", 5);
    reg.SetDword(k64, L"Four", 0x12345678);
    reg.SetValue(k64, L"Two", REG_BINARY, {0xAA, 0xBB});
    DWORD d = 0xFFFFFFFF;
    EXPECT_EQ(0, rc.ReadRegDW(HKEY_LOCAL_MACHINE, kSub, L"Eight", &d));
    EXPECT_EQ(1, rc.ReadRegDW(HKEY_LOCAL_MACHINE, kSub, L"Four", &d));
    EXPECT_EQ(0x12345678u, d);
    d = 0x11111111;
    EXPECT_EQ(1, rc.ReadRegDW(HKEY_LOCAL_MACHINE, kSub, L"Two", &d));
    EXPECT_EQ(0x1111BBAAu, d);  // only its own bytes
    // A text of one WCHAR with its terminator fills the 4 bytes (one character on Windows,
    // whose WCHAR is 2 bytes; the empty text here, whose WCHAR is 4).
    std::wstring text = sizeof(WCHAR) == 2 ? L"A" : L"";
    reg.SetString(k64, L"Text", text);
    d = 0xFFFFFFFF;
    EXPECT_EQ(1, rc.ReadRegDW(HKEY_LOCAL_MACHINE, kSub, L"Text", &d));
    EXPECT_EQ(sizeof(WCHAR) == 2 ? 0x41u : 0u, d);
}

TEST_F(RegCtrlTest, CreateAndBinary) {
    EXPECT_EQ(1, rc.CreateRegKey(HKEY_LOCAL_MACHINE, kSub));
    EXPECT_EQ(1, rc.CreateRegKey(HKEY_LOCAL_MACHINE, kSub));  // exists: still 1
    const BYTE data[3] = {1, 2, 3};
    EXPECT_EQ(1, rc.WriteRegBIN(HKEY_LOCAL_MACHINE, kSub, L"Bin", data, 3));
    auto v = reg.GetValue(k64, L"Bin");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v->type);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), v->data);
}

TEST_F(RegCtrlTest, CreateFailureIsLogged) {
    reg.CreateKey(L"HKLM\\SOFTWARE\\Quarven\\Locked");
    reg.SetDenyWrite(L"HKLM\\SOFTWARE\\Quarven\\Locked", true);
    EXPECT_EQ(0, rc.WriteRegSZ(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Locked", L"v", L"x"));
    EXPECT_TRUE(Logged(L"CRegCtrl::WriteRegSZ():RegCreateKeyEx() Error 5"));
    const BYTE b = 0;
    EXPECT_EQ(0, rc.WriteRegBIN(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Locked", L"v", &b, 1));
    EXPECT_TRUE(Logged(L"CRegCtrl::WriteRegBIN():RegCreateKeyEx() Error 5"));
    EXPECT_EQ(0, rc.CreateRegKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Locked"));
}

}  // namespace
