// The stand-in rundll32 with setupapi's InstallHinfSection: AddReg and DelReg lines with
// their flags and value forms, deletes before adds, string keys, the INF's signature, and
// the registry view of the copy started (System32 for a 64-bit caller, SysWOW64, or
// System32 redirected for a 32-bit one).
#include <gtest/gtest.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <string>

namespace {

constexpr const wchar_t* kInf = L"C:\\Windows\\Temp\\t.inf";

class Rundll32Test : public SimTest {
protected:
    Rundll32Test() {
        reg.SetString(L"HKLM\\SOFTWARE\\Vq\\Old", L"Gone", L"x");
        reg.SetString(L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"y");
        reg.SetMultiString(L"HKLM\\SOFTWARE\\Vq\\Old", L"List", {L"a", L"b"});
    }

    // Runs the INF's DefaultInstall section with the rundll32 at the path; its exit code.
    DWORD Install(const std::string& inf, const std::wstring& program = L"C:\\Windows\\System32\\rundll32.exe") {
        winsim::files::WriteBytes(machine(), kInf, inf);
        std::wstring cmd = L"\"" + program + L"\" setupapi,InstallHinfSection DefaultInstall 128 " + kInf;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(program.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return GetLastError() | 0x80000000u;
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }

    // A value as text: "<none>", its string, "#N" for a number, "hex:.." for bytes,
    // items joined by '|' for a multi-string.
    std::wstring Shown(const std::wstring& key, const std::wstring& name) {
        auto v = reg.GetValue(key, name);
        if (!v) return L"<none>";
        if (v->type == REG_DWORD && v->data.size() == 4) return L"#" + std::to_wstring(*reg.GetDword(key, name));
        if (v->type == REG_MULTI_SZ) {
            std::wstring out;
            auto items = reg.GetMultiString(key, name).value_or(std::vector<std::wstring>());
            for (const auto& s : items) out += (out.empty() ? L"" : L"|") + s;
            return out;
        }
        if (v->type == REG_SZ || v->type == REG_EXPAND_SZ)
            return (v->type == REG_EXPAND_SZ ? L"x:" : L"") + reg.GetString(key, name).value_or(L"");
        std::wstring out = L"hex(" + std::to_wstring(v->type) + L"):";
        static const wchar_t kDigits[] = L"0123456789abcdef";
        for (uint8_t b : v->data) out += kDigits[b >> 4], out += kDigits[b & 15];
        return out;
    }

    winsim::Registry reg{machine()};
};

struct InfCase {
    const char* name;
    const char* lines;  // the [R] section, AddReg (or, starting with '-', DelReg) of DefaultInstall
    const wchar_t* key;
    const wchar_t* value;
    const wchar_t* want;
};

const InfCase kCases[] = {
    {"Text", "HKLM,SOFTWARE\\Vq\\N,A,0,\"one, two\"", L"HKLM\\SOFTWARE\\Vq\\N", L"A", L"one, two"},
    {"TextWithoutFlags", "HKLM,\"SOFTWARE\\Vq\\N\",\"A\",,plain ", L"HKLM\\SOFTWARE\\Vq\\N", L"A", L"plain"},
    {"ExpandText", "HKLM,SOFTWARE\\Vq\\N,A,0x20000,\"%%SystemRoot%%\\x\"", L"HKLM\\SOFTWARE\\Vq\\N", L"A",
     L"x:%SystemRoot%\\x"},
    {"DwordNumber", "HKLM,SOFTWARE\\Vq\\N,A,0x10001,0x20", L"HKLM\\SOFTWARE\\Vq\\N", L"A", L"#32"},
    {"DwordDecimal", "HKLM,SOFTWARE\\Vq\\N,A,65537,12", L"HKLM\\SOFTWARE\\Vq\\N", L"A", L"#12"},
    {"DwordBytes", "HKLM,SOFTWARE\\Vq\\N,A,0x10001,01,01,00,00", L"HKLM\\SOFTWARE\\Vq\\N", L"A", L"#257"},
    {"BinaryOnContinuedLines", "HKLM,SOFTWARE\\Vq\\N,A,1,de,ad,\\\r\n  be,ef", L"HKLM\\SOFTWARE\\Vq\\N", L"A",
     L"hex(3):deadbeef"},
    {"OtherTypeAsBytes", "HKLM,SOFTWARE\\Vq\\N,A,0x000B0001,01,00,00,00,00,00,00,00", L"HKLM\\SOFTWARE\\Vq\\N", L"A",
     L"hex(11):0100000000000000"},
    {"MultiString", "HKLM,SOFTWARE\\Vq\\N,A,0x10000,x,\"y\"", L"HKLM\\SOFTWARE\\Vq\\N", L"A", L"x|y"},
    {"MultiStringAppend", "HKLM,SOFTWARE\\Vq\\Old,List,0x10008,b,c", L"HKLM\\SOFTWARE\\Vq\\Old", L"List", L"a|b|c"},
    {"NoClobberKeeps", "HKLM,SOFTWARE\\Vq\\Old,Kept,2,new", L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"y"},
    {"OverwriteOnlySkipsNew", "HKLM,SOFTWARE\\Vq\\Old,Fresh,0x20,new", L"HKLM\\SOFTWARE\\Vq\\Old", L"Fresh", L"<none>"},
    {"DelValFlag", "HKLM,SOFTWARE\\Vq\\Old,Gone,4", L"HKLM\\SOFTWARE\\Vq\\Old", L"Gone", L"<none>"},
    {"KeyOnly", "HKLM,SOFTWARE\\Vq\\K,A,0x10,ignored", L"HKLM\\SOFTWARE\\Vq\\K", L"A", L"<none>"},
    {"StringKeysAndPercent", "HKLM,SOFTWARE\\Vq\\N,%Name%,0,\"%Val% 100%%\"", L"HKLM\\SOFTWARE\\Vq\\N", L"Nm",
     L"val 100%"},
    {"Explicit32BitKey", "HKLM,SOFTWARE\\Vq\\N,A,0x4000,w", L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\N", L"A", L"w"},
    {"DelValue", "-HKLM,SOFTWARE\\Vq\\Old,Gone", L"HKLM\\SOFTWARE\\Vq\\Old", L"Gone", L"<none>"},
    {"DelKeepsOthers", "-HKLM,SOFTWARE\\Vq\\Old,Gone", L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"y"},
    {"DelWholeKey", "-HKLM,\"SOFTWARE\\Vq\\Old\" ", L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept", L"<none>"},
    {"DelOneString", "-HKLM,SOFTWARE\\Vq\\Old,List,0x18002,a", L"HKLM\\SOFTWARE\\Vq\\Old", L"List", L"b"},
};

class InfLines : public Rundll32Test, public ::testing::WithParamInterface<InfCase> {};

TEST_P(InfLines, Apply) {
    const InfCase& c = GetParam();
    bool del = c.lines[0] == '-';
    std::string inf = std::string("[Version]\r\nSignature=\"$Windows NT$\"\r\n[DefaultInstall]\r\n") +
                      (del ? "DelReg=R\r\n" : "AddReg=R\r\n") + "[R]\r\n" + (c.lines + (del ? 1 : 0)) +
                      "\r\n[Strings]\r\nName=Nm\r\nVal=\"val\"\r\n";
    EXPECT_EQ(0u, Install(inf));
    EXPECT_EQ(c.want, Shown(c.key, c.value));
}

INSTANTIATE_TEST_SUITE_P(Cases, InfLines, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<InfCase>& i) { return std::string(i.param.name); });

TEST_F(Rundll32Test, DeletesComeFirstThenAddsInTheirOrder) {
    EXPECT_EQ(0u, Install("\xFF\xFE" + [] {
                  std::string b;
                  for (char c : std::string("[Version]\r\nsignature=\"$CHICAGO$\"\r\n[DefaultInstall]\r\n"
                                            "AddReg=A1,A2\r\nDelReg=D\r\n[A1]\r\nHKLM,SOFTWARE\\Vq\\Old,Kept,,1\r\n"
                                            "[A2]\r\nHKLM,SOFTWARE\\Vq\\Old,Kept,,2 ; the last word\r\n"
                                            "[D]\r\nHKLM,SOFTWARE\\Vq\\Old\r\n"))
                      b += c, b += '\0';
                  return b;
              }()));
    EXPECT_EQ(L"2", Shown(L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept"));
    EXPECT_EQ(L"<none>", Shown(L"HKLM\\SOFTWARE\\Vq\\Old", L"Gone"));
}

TEST_F(Rundll32Test, AnUnsignedFileChangesNothing) {
    EXPECT_NE(0u, Install("[Version]\r\n[DefaultInstall]\r\nDelReg=D\r\n[D]\r\nHKLM,SOFTWARE\\Vq\\Old\r\n"));
    EXPECT_EQ(L"y", Shown(L"HKLM\\SOFTWARE\\Vq\\Old", L"Kept"));
}

struct ViewCase {
    const char* name;
    bool caller64;
    const wchar_t* program;
    const wchar_t* written;  // where HKLM\SOFTWARE\Vq\V lands
};

const ViewCase kViews[] = {
    {"System32From64Bit", true, L"C:\\Windows\\System32\\rundll32.exe", L"HKLM\\SOFTWARE\\Vq\\V"},
    {"SysWow64From64Bit", true, L"C:\\Windows\\SysWOW64\\rundll32.exe", L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\V"},
    {"System32From32BitIsRedirected", false, L"C:\\Windows\\System32\\rundll32.exe",
     L"HKLM\\SOFTWARE\\WOW6432Node\\Vq\\V"},
    {"SysnativeFrom32Bit", false, L"C:\\Windows\\Sysnative\\rundll32.exe", L"HKLM\\SOFTWARE\\Vq\\V"},
};

class Views : public Rundll32Test, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(Views, FollowTheCopyStarted) {
    const ViewCase& c = GetParam();
    process().image64 = c.caller64;
    EXPECT_EQ(0u, Install("[Version]\r\nsignature=$CHICAGO$\r\n[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n"
                          "HKLM,SOFTWARE\\Vq\\V,A,,here\r\n",
                          c.program));
    EXPECT_EQ(L"here", Shown(c.written, L"A"));
}

INSTANTIATE_TEST_SUITE_P(Cases, Views, ::testing::ValuesIn(kViews),
                         [](const ::testing::TestParamInfo<ViewCase>& i) { return std::string(i.param.name); });

}  // namespace
