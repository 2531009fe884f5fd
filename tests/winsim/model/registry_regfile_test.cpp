// .reg files: export format, import of both dialects, round trips and rejected input.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/registry.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

using winsim::RegFormat;
using winsim::Registry;

const wchar_t* const kKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";

std::vector<uint8_t> U16(const std::wstring& s) { return Registry::Utf16Bytes(s); }

class RegFileTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    Registry reg{*machine};

    // Everything below a key, as comparable text (names, types, bytes).
    std::string Snapshot(const std::wstring& path) {
        std::ostringstream o;
        if (!reg.KeyExists(path)) return "(none)";
        o << winsim::Utf8(reg.CanonicalPath(path)) << "\n";
        for (const auto& v : reg.ListValues(path)) {
            o << "  " << winsim::Utf8(v.name) << " " << v.type << ":";
            for (uint8_t b : v.data) o << ' ' << static_cast<int>(b);
            o << "\n";
        }
        for (const auto& k : reg.ListKeys(path)) o << Snapshot(path + L"\\" + k);
        return o.str();
    }

    void Fill() {
        reg.SetString(kKey, L"", L"default");
        reg.SetString(kKey, L"Str", L"a\"b\\c");
        reg.SetDword(kKey, L"Num", 42);
        reg.SetValue(kKey, L"Bin", REG_BINARY, {0x01, 0x02, 0xFF});
        reg.SetExpandString(kKey, L"Exp", L"%OS%");
        reg.SetMultiString(kKey, L"Multi", {L"a", L"b"});
        reg.SetQword(kKey, L"Q", 0x0102030405060708ULL);
        reg.SetValue(kKey, L"NoTerm", REG_SZ, U16(L"ab"));
        reg.SetValue(kKey, L"Empty", REG_NONE, {});
        reg.SetValue(kKey, L"Odd\"Name", REG_DWORD, {1, 2});
        reg.CreateKey(std::wstring(kKey) + L"\\zeta");
        reg.SetDword(std::wstring(kKey) + L"\\Alpha", L"n", 1);
    }
};

TEST_F(RegFileTest, ExportWritesTheVersion5Format) {
    Fill();
    std::wstring expected =
        L"Windows Registry Editor Version 5.00\r\n"
        L"\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane]\r\n"
        L"@=\"default\"\r\n"
        L"\"Str\"=\"a\\\"b\\\\c\"\r\n"
        L"\"Num\"=dword:0000002a\r\n"
        L"\"Bin\"=hex:01,02,ff\r\n"
        L"\"Exp\"=hex(2):25,00,4f,00,53,00,25,00,00,00\r\n"
        L"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        L"\"Q\"=hex(b):08,07,06,05,04,03,02,01\r\n"
        L"\"NoTerm\"=hex(1):61,00,62,00\r\n"
        L"\"Empty\"=hex(0):\r\n"
        L"\"Odd\\\"Name\"=hex(4):01,02\r\n"
        L"\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane\\Alpha]\r\n"
        L"\"n\"=dword:00000001\r\n"
        L"\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane\\zeta]\r\n"
        L"\r\n";
    EXPECT_EQ(winsim::Utf8(expected), winsim::Utf8(reg.ExportReg(L"hklm\\software\\quarven\\veltrane")));
    auto file = reg.ExportRegFile(kKey);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(0xFF, file[0]);
    EXPECT_EQ(0xFE, file[1]);
    EXPECT_EQ('W', file[2]);
    EXPECT_EQ(0, file[3]);
    EXPECT_EQ(2 + 2 * expected.size(), file.size());
}

TEST_F(RegFileTest, ExportKeepsTheRootItWasGiven) {
    reg.SetDword(L"HKCU\\Software\\Quarven", L"n", 1);
    std::wstring text = reg.ExportReg(L"HKCU\\Software\\Quarven");
    EXPECT_NE(std::wstring::npos, text.find(L"[HKEY_CURRENT_USER\\Software\\Quarven]\r\n")) << winsim::Utf8(text);
    EXPECT_EQ(L"Windows Registry Editor Version 5.00\r\n\r\n", reg.ExportReg(L"HKLM\\SOFTWARE\\Missing"));
}

TEST_F(RegFileTest, LongHexDataIsWrappedAndReadBack) {
    std::vector<uint8_t> big(200);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    reg.SetValue(kKey, L"Blob", REG_BINARY, big);
    std::wstring text = reg.ExportReg(kKey);
    size_t lines = 0, start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        EXPECT_LE(end - start, 80u) << "line " << lines;
        ++lines;
        start = end + 2;
    }
    EXPECT_GT(lines, 8u);
    reg.DeleteKey(kKey);
    ASSERT_TRUE(reg.ImportReg(text)) << reg.ImportReg(text).error;
    EXPECT_EQ(big, reg.GetValue(kKey, L"Blob")->data);
}

TEST_F(RegFileTest, RoundTripRestoresTheTreeByteForByte) {
    Fill();
    reg.SetValue(kKey, L"LineBreak", REG_SZ, U16(std::wstring(L"x\r\ny", 5)));
    reg.SetValue(kKey, L"Inner NUL", REG_SZ, U16(std::wstring(L"x\0y\0", 4)));
    reg.SetValue(kKey, L"Odd", REG_SZ, {'a', 0, 'b'});
    reg.SetValue(kKey, L"Unicode", REG_SZ, U16(std::wstring(L"\u00e9\u4e2d\U0001F600", 5)));
    const std::string before = Snapshot(kKey);
    auto bytes = reg.ExportRegFile(kKey);
    reg.DeleteKey(kKey);
    ASSERT_EQ("(none)", Snapshot(kKey));
    auto r = reg.ImportRegFile(bytes);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(before, Snapshot(kKey));
    // Export of the imported tree is the same file.
    EXPECT_EQ(bytes, reg.ExportRegFile(kKey));
}

TEST_F(RegFileTest, Regedit4IsSingleByte) {
    reg.SetExpandString(kKey, L"Exp", L"%OS%");
    reg.SetString(kKey, L"Name", L"caf\u00e9");
    auto bytes = reg.ExportRegFile(kKey, RegFormat::Regedit4);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(0u, text.find("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane]\r\n"));
    EXPECT_NE(std::string::npos, text.find("\"Exp\"=hex(2):25,4f,53,25,00\r\n"));
    EXPECT_NE(std::string::npos, text.find("\"Name\"=\"caf\xe9\"\r\n")) << "Latin-1 byte";
    const std::string before = Snapshot(kKey);
    reg.DeleteKey(kKey);
    auto r = reg.ImportRegFile(bytes);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(before, Snapshot(kKey)) << "strings come back as UTF-16";
}

TEST_F(RegFileTest, ImportAppliesEveryKindOfLine) {
    reg.SetDword(L"HKLM\\SOFTWARE\\Quarven\\Old\\Deep", L"n", 1);
    reg.SetDword(kKey, L"Gone", 1);
    reg.SetDword(kKey, L"Kept", 1);
    const wchar_t* text =
        L"\xFEFFWindows Registry Editor Version 5.00\r\n"
        L"; a comment\r\n"
        L"\r\n"
        L"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Old]\r\n"
        L"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\NeverThere]\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane]\r\n"
        L"@=\"dflt\"\r\n"
        L"\"Gone\"=-\r\n"
        L"\"Short\"=dword:1F\r\n"
        L"  \"Spaced\" = \"v\"  \r\n"
        L"\"Wrapped\"=hex(7):61,00,00,\\\r\n"
        L"    00,00,00\r\n"
        L"\"Trailing\"=hex:01,02,\r\n"
        L"\"None\"=hex(0):\r\n"
        L"\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Empty]\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Quarven]\r\n"
        L"\"User\"=\"yes\"\n";  // a bare LF is fine too
    auto r = reg.ImportReg(text);
    ASSERT_TRUE(r) << r.error;
    EXPECT_FALSE(reg.KeyExists(L"HKLM\\SOFTWARE\\Quarven\\Old"));
    EXPECT_EQ(L"dflt", reg.GetString(kKey, L""));
    EXPECT_FALSE(reg.GetValue(kKey, L"Gone"));
    EXPECT_EQ(1u, reg.GetDword(kKey, L"Kept"));
    EXPECT_EQ(0x1Fu, reg.GetDword(kKey, L"Short"));
    EXPECT_EQ(L"v", reg.GetString(kKey, L"Spaced"));
    EXPECT_EQ((std::vector<std::wstring>{L"a"}), reg.GetMultiString(kKey, L"Wrapped"));
    EXPECT_EQ((std::vector<uint8_t>{1, 2}), reg.GetValue(kKey, L"Trailing")->data);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), reg.GetValue(kKey, L"None")->type);
    EXPECT_TRUE(reg.KeyExists(L"HKLM\\SOFTWARE\\Quarven\\Empty"));
    EXPECT_EQ(L"yes", reg.GetString(L"HKU\\" + reg.user_sid() + L"\\Software\\Quarven", L"User"));
}

struct BadCase {
    const char* what;
    const wchar_t* body;  // after a valid header and a valid first key with a value
    size_t line;
};

TEST_F(RegFileTest, BadInputIsRejectedWithItsLineAndChangesNothing) {
    const std::vector<BadCase> cases = {
        {"short root", L"[HKLM\\SOFTWARE\\Quarven]\r\n", 5},
        {"unknown root", L"[HKEY_NOWHERE\\X]\r\n", 5},
        {"no closing bracket", L"[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n", 5},
        {"doubled separator", L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X]\r\n", 5},
        {"bad dword", L"\"n\"=dword:xyz\r\n", 5},
        {"dword too long", L"\"n\"=dword:123456789\r\n", 5},
        {"unterminated string", L"\"n\"=\"abc\r\n", 5},
        {"bad escape", L"\"n\"=\"C:\\Windows\"\r\n", 5},
        {"text after string", L"\"n\"=\"a\" b\r\n", 5},
        {"missing equals", L"\"n\" \"a\"\r\n", 5},
        {"bad hex byte", L"\"n\"=hex:01,0g\r\n", 5},
        {"hex byte too long", L"\"n\"=hex:123\r\n", 5},
        {"empty hex byte", L"\"n\"=hex:01,,02\r\n", 5},
        {"bad hex type", L"\"n\"=hex(zz):01\r\n", 5},
        {"continuation at the end", L"\"n\"=hex:01,\\\r\n", 5},
        {"stray text", L"hello\r\n", 5},
        {"value after a deleted key", L"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\X]\r\n\"n\"=dword:1\r\n", 6},
        {"error after a continuation", L"\"a\"=hex:01,\\\r\n  02\r\n\"b\"=dword:\r\n", 7},
    };
    reg.SetDword(kKey, L"Existing", 5);
    const std::string before = Snapshot(L"HKLM\\SOFTWARE\\Quarven");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring text = std::wstring(L"Windows Registry Editor Version 5.00\r\n\r\n") +
                            L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane]\r\n\"Existing\"=dword:00000009\r\n" +
                            c.body;
        auto r = reg.ImportReg(text);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(c.line, r.line) << r.error;
        EXPECT_EQ(0u, r.error.find("line " + std::to_string(c.line) + ": ")) << r.error;
        EXPECT_EQ(before, Snapshot(L"HKLM\\SOFTWARE\\Quarven")) << "nothing applied";
    }
}

TEST_F(RegFileTest, HeaderIsRequired) {
    struct {
        const wchar_t* text;
        bool ok;
        size_t line;
    } cases[] = {
        {L"", false, 1},
        {L"\r\n\r\nREGEDIT4\r\n", true, 0},
        {L"REGEDIT5\r\n", false, 1},
        {L"\r\nWindows Registry Editor Version 4.00\r\n", false, 2},
        {L"Windows Registry Editor Version 5.00", true, 0},
    };
    for (const auto& c : cases) {
        auto r = reg.ImportReg(c.text);
        EXPECT_EQ(c.ok, r.ok) << winsim::Utf8(c.text) << r.error;
        EXPECT_EQ(c.line, r.line);
    }
}

TEST_F(RegFileTest, ImportedValuesReadThroughTheApi) {
    auto r = reg.ImportReg(
        L"Windows Registry Editor Version 5.00\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\Veltrane]\r\n"
        L"\"Path\"=\"C:\\\\Program Files\\\\Quarven\"\r\n");
    ASSERT_TRUE(r) << r.error;
    winsim::ProcessScope scope{*machine};
    WCHAR buf[64];
    DWORD cb = sizeof(buf);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane", L"Path", RRF_RT_REG_SZ,
                                          nullptr, buf, &cb));
    EXPECT_STREQ(L"C:\\Program Files\\Quarven", buf);
    EXPECT_EQ(sizeof(L"C:\\Program Files\\Quarven"), cb);
}

}  // namespace
