// The registry reads of a DWORD, a bounded text and a numbered list entry, rule by rule.
#include <windows.h>

#include "RegRead.h"
#include "sim_fixture.h"
#include "winsim/registry.h"

#include <string>
#include <vector>

namespace {

const wchar_t* kPath = L"HKLM\\SOFTWARE\\Quarven\\Test";
const wchar_t* kSub = L"SOFTWARE\\Quarven\\Test";

std::vector<uint8_t> Utf16(const std::wstring& s) { return winsim::Registry::Utf16Bytes(s); }

class RegReadTest : public SimTest {
protected:
    RegReadTest() { reg.CreateKey(kPath); }
    ~RegReadTest() override {
        if (key_) RegCloseKey(key_);
    }
    HKEY Key() {
        if (!key_) {
            EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSub, 0, KEY_READ, &key_));
        }
        return key_;
    }

    winsim::Registry reg{machine()};

private:
    HKEY key_ = NULL;
};

struct TextCase {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;  // empty with type 0: no value
    DWORD flags, cch_read, cch_out;
    LONG result;
    std::wstring text;  // "keep" when the output stays as it was
};

const DWORD kStrict = REGREAD_TEXT | REGREAD_TERMINATED;

class RegReadTexts : public RegReadTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(RegReadTexts, FollowTheReadersRule) {
    const TextCase& c = GetParam();
    if (c.type) reg.SetValue(kPath, L"V", c.type, c.data);
    WCHAR out[16] = L"keep";
    EXPECT_EQ(c.result, RegReadText(Key(), L"V", c.flags, c.cch_read, out, c.cch_out));
    EXPECT_EQ(c.text, out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegReadTexts,
    ::testing::Values(
        TextCase{"Terminated", REG_SZ, Utf16(std::wstring(L"COM5", 5)), kStrict, 8, 8, ERROR_SUCCESS, L"COM5"},
        TextCase{"ExpandAsStored", REG_EXPAND_SZ, Utf16(L"%TEMP%"), kStrict, 8, 8, ERROR_SUCCESS, L"%TEMP%"},
        TextCase{"SzOnly", REG_EXPAND_SZ, Utf16(L"%TEMP%"), REGREAD_SZ, 8, 8, ERROR_INVALID_DATA, L"keep"},
        TextCase{"NotAText", REG_DWORD, {5, 0, 0, 0}, kStrict, 8, 8, ERROR_INVALID_DATA, L"keep"},
        TextCase{"AnyType", REG_MULTI_SZ, Utf16(std::wstring(L"A\0B\0", 5)), REGREAD_ANY_TYPE, 8, 8, ERROR_SUCCESS,
                 L"A"},
        TextCase{"FillsWithTerminator", REG_SZ, Utf16(std::wstring(L"ABCDEFG", 8)), kStrict, 8, 8, ERROR_SUCCESS,
                 L"ABCDEFG"},
        TextCase{"FillsWithoutTerminator", REG_SZ, Utf16(L"ABCDEFGH"), kStrict, 8, 8, ERROR_MORE_DATA, L"keep"},
        TextCase{"FillsTakenWhole", REG_SZ, Utf16(L"ABCDEFGH"), REGREAD_TEXT, 8, 9, ERROR_SUCCESS, L"ABCDEFGH"},
        TextCase{"LongerThanTheRead", REG_SZ, Utf16(L"ABCDEFGHI"), REGREAD_TEXT, 8, 16, ERROR_MORE_DATA, L"keep"},
        TextCase{"LongerThanTheOutput", REG_SZ, Utf16(L"ABCDEFG"), REGREAD_TEXT, 8, 4, ERROR_INSUFFICIENT_BUFFER,
                 L"keep"},
        TextCase{"CutToTheOutput", REG_SZ, Utf16(L"ABCDEFG"), REGREAD_TEXT | REGREAD_CUT, 8, 4, ERROR_SUCCESS, L"ABC"},
        TextCase{"Missing", 0, {}, kStrict, 8, 8, ERROR_FILE_NOT_FOUND, L"keep"},
        TextCase{"NoTypeNamed", REG_SZ, Utf16(L"A"), REGREAD_TERMINATED, 8, 8, ERROR_INVALID_PARAMETER, L"keep"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DwordCase {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;
    DWORD flags;
    LONG result;
    DWORD value;  // starting from 0x11111111
};

class RegReadDwords : public RegReadTest, public ::testing::WithParamInterface<DwordCase> {};

TEST_P(RegReadDwords, FollowTheReadersRule) {
    const DwordCase& c = GetParam();
    reg.SetValue(kPath, L"V", c.type, c.data);
    DWORD d = 0x11111111;
    EXPECT_EQ(c.result, RegReadDword(HKEY_LOCAL_MACHINE, kSub, KEY_READ, L"V", c.flags, &d));
    EXPECT_EQ(c.value, d);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegReadDwords,
    ::testing::Values(
        DwordCase{"Typed", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, REGREAD_DWORD, ERROR_SUCCESS, 0x12345678},
        DwordCase{"TypedRefusesBinary", REG_BINARY, {1, 0, 0, 0}, REGREAD_DWORD, ERROR_INVALID_DATA, 0x11111111},
        DwordCase{"AnyFourBytes", REG_BINARY, {1, 0, 0, 0}, REGREAD_ANY_TYPE, ERROR_SUCCESS, 1},
        DwordCase{"ShortRefused", REG_BINARY, {0xAA, 0xBB}, REGREAD_ANY_TYPE, ERROR_INVALID_DATA, 0x11111111},
        DwordCase{"ShortFillsItsOwnBytes",
                  REG_BINARY,
                  {0xAA, 0xBB},
                  REGREAD_ANY_TYPE | REGREAD_SHORT_DWORD,
                  ERROR_SUCCESS,
                  0x1111BBAA},
        DwordCase{"EightBytes",
                  REG_QWORD,
                  {5, 0, 0, 0, 0, 0, 0, 0},
                  REGREAD_ANY_TYPE | REGREAD_SHORT_DWORD,
                  ERROR_MORE_DATA,
                  0x11111111}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegReadTest, DwordOfAMissingKey) {
    DWORD d = 7;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegReadDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\None", KEY_READ, L"V", REGREAD_DWORD, &d));
    EXPECT_EQ(7u, d);
}

TEST_F(RegReadTest, ListEntryIsNamedByPrefixAndDecimalNumber) {
    reg.SetString(kPath, L"3GID_SupportRL12", L"USB\\VID_0001");
    WCHAR out[16] = L"keep";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegReadListEntry(Key(), L"3GID_SupportRL", 0xC0, kStrict, 16, out, 16));
    EXPECT_EQ(ERROR_SUCCESS, RegReadListEntry(Key(), L"3GID_SupportRL", 12, kStrict, 16, out, 16));
    EXPECT_STREQ(L"USB\\VID_0001", out);
    // A name too long for REGREAD_LIST_NAME_CCH is refused, not cut.
    std::wstring prefix(REGREAD_LIST_NAME_CCH - 2, L'P');
    reg.SetString(kPath, prefix + L"9", L"fits");
    EXPECT_EQ(ERROR_SUCCESS, RegReadListEntry(Key(), prefix.c_str(), 9, kStrict, 16, out, 16));
    EXPECT_STREQ(L"fits", out);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegReadListEntry(Key(), prefix.c_str(), 10, kStrict, 16, out, 16));
}

}  // namespace
