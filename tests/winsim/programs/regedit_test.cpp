// The stand-in registry editor: "regedit /s FILE" imports both dialects into the view of
// the copy started, and a malformed file changes nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <string>

namespace {

std::string Utf16(const std::string& ascii) {
    std::string b = "\xFF\xFE";
    for (char c : ascii) b += c, b += '\0';
    return b;
}

struct RegeditCase {
    const char* name;
    std::string file;
    const wchar_t* program;
    DWORD exit_code;
    const wchar_t* key;  // HKLM\SOFTWARE\Vq\V afterwards, as text ("<none>" when missing)
    const wchar_t* want;
};

const char kTree[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vq]\r\n\"V\"=\"new\"\r\n\"Old\"=-\r\n"
    "\"Bin\"=hex:01,02,\\\r\n  03\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vq\\Tree]\r\n";

const RegeditCase kCases[] = {
    {"Version5", Utf16(std::string("Windows Registry Editor Version 5.00\r\n\r\n") + kTree),
     L"C:\\Windows\\regedit.exe", 0, L"HKLM\\SOFTWARE\\Vq", L"new"},
    {"Regedit4", std::string("REGEDIT4\r\n\r\n") + kTree, L"C:\\Windows\\regedit.exe", 0, L"HKLM\\SOFTWARE\\Vq",
     L"new"},
    {"ThirtyTwoBitCopy", std::string("REGEDIT4\r\n\r\n") + kTree, L"C:\\Windows\\SysWOW64\\regedit.exe", 0,
     L"HKLM\\SOFTWARE\\WOW6432Node\\Vq", L"new"},
    {"MalformedChangesNothing", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vq]\r\n\"V\"=\"new\"\r\nV=bad\r\n",
     L"C:\\Windows\\regedit.exe", 1, L"HKLM\\SOFTWARE\\Vq", L"old"},
};

class Regedit : public SimTest, public ::testing::WithParamInterface<RegeditCase> {};

TEST_P(Regedit, ImportsIntoItsView) {
    const RegeditCase& c = GetParam();
    winsim::Registry reg(machine());
    reg.SetString(L"HKLM\\SOFTWARE\\Vq", L"V", L"old");
    reg.SetString(L"HKLM\\SOFTWARE\\Vq", L"Old", L"x");
    reg.SetString(L"HKLM\\SOFTWARE\\Vq\\Tree\\Sub", L"Deep", L"x");
    ASSERT_TRUE(winsim::files::WriteBytes(machine(), L"C:\\Windows\\Temp\\a b.reg", c.file));
    std::wstring cmd = std::wstring(L"\"") + c.program + L"\" /s \"C:\\Windows\\Temp\\a b.reg\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(c.program, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(c.exit_code, code);
    EXPECT_EQ(c.want, reg.GetString(c.key, L"V").value_or(L"<none>"));
    if (c.exit_code == 0) {
        EXPECT_FALSE(reg.GetValue(c.key, L"Old"));
        EXPECT_EQ(3u, reg.GetValue(c.key, L"Bin").value_or(winsim::RegValue{}).data.size());
        EXPECT_EQ(std::wstring(c.key) != L"HKLM\\SOFTWARE\\Vq", reg.KeyExists(L"HKLM\\SOFTWARE\\Vq\\Tree"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Regedit, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RegeditCase>& i) { return std::string(i.param.name); });

}  // namespace
