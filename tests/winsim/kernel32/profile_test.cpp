// The profile functions on the machine: a bare file name is in the Windows folder, an ANSI
// file is in the machine's code page 1252, and a file that cannot be read is not replaced
// (profile_conformance_test.cpp states the rest as Windows has it).
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"

#include <string>
#include <vector>

namespace {

const wchar_t* const kFile = L"C:\\Data\\test.ini";

class ProfileTest : public ::testing::Test {
protected:
    ProfileTest() { winsim::files::CreateFolders(*machine, L"C:\\Data"); }

    void Put(const std::string& bytes, const wchar_t* path = kFile) {
        ASSERT_TRUE(winsim::files::WriteBytes(*machine, path, bytes));
    }
    std::string Bytes(const wchar_t* path = kFile) {
        return winsim::files::ReadBytes(*machine, path).value_or("<none>");
    }

    std::wstring Get(const wchar_t* app, const wchar_t* key, const wchar_t* def = L"", DWORD size = 260,
                     DWORD* ret = nullptr) {
        std::vector<WCHAR> buf(size + 1, L'#');
        DWORD n = GetPrivateProfileStringW(app, key, def, buf.data(), size, kFile);
        if (ret) *ret = n;
        return std::wstring(buf.data());
    }

    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(ProfileTest, BareNameIsInTheWindowsFolder) {
    Put("[S]\r\nk=win\r\n", L"C:\\Windows\\vq.ini");
    WCHAR buf[16];
    GetPrivateProfileStringW(L"S", L"k", L"", buf, 16, L"vq.ini");
    EXPECT_EQ(std::wstring(L"win"), buf);
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"n", L"2", L"vq.ini"));
    EXPECT_EQ("[S]\r\nk=win\r\nn=2\r\n", Bytes(L"C:\\Windows\\vq.ini"));
}

TEST_F(ProfileTest, AnsiFileIsCodePage1252) {
    Put("[S]\r\nk=caf\xE9 \x80\r\n");
    EXPECT_EQ(L"caf\u00e9 \u20ac", Get(L"S", L"k"));
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"n", L"\u00fc\u4e2d", kFile));
    EXPECT_EQ("[S]\r\nk=caf\xE9 \x80\r\nn=\xFC?\r\n", Bytes());
}

TEST_F(ProfileTest, UnreadableFileIsNotReplaced) {
    Put("[S]\r\nk=1\r\n");
    winsim::files::InjectFailure(*machine, kFile, winsim::files::kFailOpen, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(WritePrivateProfileStringW(L"S", L"k", L"2", kFile));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    winsim::files::ClearFailures(*machine);
    EXPECT_EQ("[S]\r\nk=1\r\n", Bytes());
}

// ---------------------------------------------------------------------------------------
// What the documentation leaves open and winsim settles as Windows has it

const char* const kSample =
    "[Main]\r\n"
    "Name=Alpha Beta\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Mismatch=\"x'\r\n"
    "Comment=value ; not a comment\r\n"
    "name=second wins never\r\n"
    "Bare line\r\n"
    "Empty=\r\n"
    "Eq=a=b\r\n"
    "[ other ]\r\n"
    "k=1\r\n"
    "[MAIN]\r\n"
    "Name=duplicate section\r\n";

// Splits a double-null-terminated list.
std::vector<std::wstring> List(const WCHAR* p) {
    std::vector<std::wstring> v;
    while (*p) {
        v.emplace_back(p);
        p += v.back().size() + 1;
    }
    return v;
}

TEST_F(ProfileTest, AKeyWithoutEqualsSignIsPresentAndEmpty) {
    Put(kSample);
    DWORD n = 99;
    EXPECT_EQ(L"", Get(L"Main", L"Bare line", L"d", 260, &n));
    EXPECT_EQ(0u, n);
}

TEST_F(ProfileTest, TheDefaultLosesTrailingTabsToo) {
    DWORD n = 0;
    EXPECT_EQ(L"  lead kept", Get(L"Nope", L"k", L"  lead kept \t ", 260, &n));
    EXPECT_EQ(11u, n);
}

TEST_F(ProfileTest, AnUpperCaseHexPrefixCounts) {
    Put("[S]\r\nv=0X10\r\n");
    EXPECT_EQ(16u, GetPrivateProfileIntW(L"S", L"v", 99, kFile));
}

TEST_F(ProfileTest, ListsOfSectionsAndKeys) {
    Put(kSample);
    WCHAR buf[512];
    DWORD n = GetPrivateProfileStringW(NULL, NULL, L"x", buf, 512, kFile);
    EXPECT_EQ((std::vector<std::wstring>{L"Main", L"other"}), List(buf));
    EXPECT_EQ(11u, n);  // "Main\0other\0"
    EXPECT_EQ(n, GetPrivateProfileSectionNamesW(buf, 512, kFile));
    GetPrivateProfileStringW(L"MAIN", NULL, L"", buf, 512, kFile);
    EXPECT_EQ((std::vector<std::wstring>{L"Name", L"Quoted", L"Single", L"Mismatch", L"Comment", L"Bare line", L"Empty",
                                         L"Eq"}),
              List(buf));
    EXPECT_EQ(0u, GetPrivateProfileStringW(L"Nope", NULL, L"", buf, 512, kFile));
    EXPECT_EQ(0, buf[0]);
}

TEST_F(ProfileTest, WritesTakeTheCallersSpellingAndKeepCommentsAfterTheSection) {
    struct Row {
        const char* before;
        const wchar_t* app;
        const wchar_t* key;
        const char* after;
    } rows[] = {
        {"[A]\r\nK = old\r\nk=dup\r\n[a]\r\nk=x\r\n", L"a", L"k", "[A]\r\nk=new\r\nk=dup\r\n[a]\r\nk=x\r\n"},
        // A new key after the section's last entry, before blank lines and comments.
        {"[A]\r\nx=1\r\n\r\n; c\r\n[B]\r\n", L"A", L"y", "[A]\r\nx=1\r\ny=new\r\n\r\n; c\r\n[B]\r\n"},
    };
    for (const Row& r : rows) {
        Put(r.before);
        EXPECT_TRUE(WritePrivateProfileStringW(r.app, r.key, L"new", kFile));
        EXPECT_EQ(r.after, Bytes()) << r.before;
    }
}

// The parsed file is kept between reads; every way of changing it is seen by the next read,
// even at the same machine time and with the same size.
TEST_F(ProfileTest, AChangeOfTheFileIsSeenByTheNextRead) {
    struct Row {
        const char* name;
        void (*change)(winsim::Machine& m);
        const wchar_t* expected;
    } rows[] = {
        {"test API write", [](winsim::Machine& m) { winsim::files::WriteBytes(m, kFile, "[S]\r\nk=two\r\n"); }, L"two"},
        {"WriteFile",
         [](winsim::Machine&) {
             HANDLE h = CreateFileW(kFile, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
             DWORD put = 0;
             WriteFile(h, "[S]\r\nk=two\r\n", 12, &put, NULL);
             CloseHandle(h);
         },
         L"two"},
        {"profile write", [](winsim::Machine&) { WritePrivateProfileStringW(L"S", L"k", L"two", kFile); }, L"two"},
        {"replaced by a move",
         [](winsim::Machine& m) {
             winsim::files::WriteBytes(m, L"C:\\Data\\new.ini", "[S]\r\nk=two\r\n");
             MoveFileExW(L"C:\\Data\\new.ini", kFile, MOVEFILE_REPLACE_EXISTING);
         },
         L"two"},
        {"deleted", [](winsim::Machine&) { DeleteFileW(kFile); }, L"def"},
        {"unopenable",
         [](winsim::Machine& m) {
             winsim::files::InjectFailure(m, kFile, winsim::files::kFailOpen, ERROR_SHARING_VIOLATION);
         },
         L"def"},
    };
    for (const Row& r : rows) {
        Put("[S]\r\nk=one\r\n");
        EXPECT_EQ(L"one", Get(L"S", L"k", L"def")) << r.name;
        r.change(*machine);
        EXPECT_EQ(r.expected, Get(L"S", L"k", L"def")) << r.name;
        winsim::files::ClearFailures(*machine);
    }
}

}  // namespace
