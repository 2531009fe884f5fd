// The profile functions: reading values and lists, the integer rule, writing in place and
// the file encodings.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"

#include <string>
#include <vector>

namespace {

const wchar_t* const kFile = L"C:\\Data\\test.ini";

std::string Utf16Bom(const std::wstring& w) {
    std::string s = "\xFF\xFE";
    for (char16_t c : winsim::Utf16(w)) {
        s.push_back(static_cast<char>(c & 0xFF));
        s.push_back(static_cast<char>(c >> 8));
    }
    return s;
}

// Splits a double-null-terminated list.
std::vector<std::wstring> List(const WCHAR* p) {
    std::vector<std::wstring> v;
    while (*p) {
        v.emplace_back(p);
        p += v.back().size() + 1;
    }
    return v;
}

class ProfileTest : public ::testing::Test {
protected:
    ProfileTest() { winsim::files::CreateFolders(*machine, L"C:\\Data"); }

    void Put(const std::string& bytes, const wchar_t* path = kFile) {
        ASSERT_TRUE(winsim::files::WriteBytes(*machine, path, bytes));
    }
    std::string Bytes(const wchar_t* path = kFile) { return winsim::files::ReadBytes(*machine, path).value_or("<none>"); }

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

const char* const kSample =
    "; leading comment\r\n"
    "[Main]\r\n"
    "  Name =  Alpha Beta  \r\n"
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
    "Name=duplicate section\r\n"
    "Extra=only in the second\r\n";

struct ValueCase {
    const char* name;
    const wchar_t* app;
    const wchar_t* key;
    const wchar_t* def;
    const wchar_t* want;
    DWORD ret;
};

class ProfileValues : public ProfileTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ProfileValues, ReadsAsWindowsDoes) {
    Put(kSample);
    const ValueCase& c = GetParam();
    DWORD n = 0;
    EXPECT_EQ(c.want, Get(c.app, c.key, c.def, 260, &n));
    EXPECT_EQ(c.ret, n);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileValues,
    ::testing::Values(ValueCase{"BlanksTrimmed", L"Main", L"Name", L"", L"Alpha Beta", 10},
                      ValueCase{"CaseInsensitiveFirstWins", L"main", L"NAME", L"", L"Alpha Beta", 10},
                      ValueCase{"CallersBlanksTrimmed", L" Main ", L" Name ", L"", L"Alpha Beta", 10},
                      ValueCase{"QuotesRemovedInsideKept", L"Main", L"Quoted", L"", L"  spaced  ", 10},
                      ValueCase{"SingleQuotes", L"Main", L"Single", L"", L"x", 1},
                      ValueCase{"QuotesMustMatch", L"Main", L"Mismatch", L"", L"\"x'", 3},
                      ValueCase{"SemicolonInAValue", L"Main", L"Comment", L"", L"value ; not a comment", 21},
                      ValueCase{"KeyWithoutEquals", L"Main", L"Bare line", L"d", L"", 0},
                      ValueCase{"EmptyIsNoDefault", L"Main", L"Empty", L"d", L"", 0},
                      ValueCase{"EqualsInAValue", L"Main", L"Eq", L"", L"a=b", 3},
                      ValueCase{"SectionNameTrimmed", L"other", L"k", L"", L"1", 1},
                      ValueCase{"LaterDuplicateSectionUnseen", L"Main", L"Extra", L"dflt  ", L"dflt", 4},
                      ValueCase{"NullDefault", L"Main", L"missing", NULL, L"", 0},
                      ValueCase{"DefaultLosesTrailingBlanks", L"Nope", L"k", L"  lead kept \t ", L"  lead kept", 11},
                      ValueCase{"CommentLineIsNoKey", L"Main", L"; leading comment", L"d", L"d", 1}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(ProfileTest, MissingFileGivesTheDefaultAndFileNotFound) {
    DWORD n = 0;
    SetLastError(0);
    EXPECT_EQ(L"def", Get(L"Main", L"Name", L"def  ", 260, &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    WCHAR list[8] = {L'#', L'#', L'#'};
    EXPECT_EQ(0u, GetPrivateProfileSectionNamesW(list, 8, kFile));
    EXPECT_EQ(0, list[0]);
}

TEST_F(ProfileTest, ListsOfSectionsAndKeys) {
    Put(kSample);
    WCHAR buf[512];
    DWORD n = GetPrivateProfileStringW(NULL, NULL, L"x", buf, 512, kFile);
    EXPECT_EQ((std::vector<std::wstring>{L"Main", L"other"}), List(buf));
    EXPECT_EQ(11u, n);  // "Main\0other\0"
    EXPECT_EQ(n, GetPrivateProfileSectionNamesW(buf, 512, kFile));
    GetPrivateProfileStringW(L"MAIN", NULL, L"", buf, 512, kFile);
    EXPECT_EQ((std::vector<std::wstring>{L"Name", L"Quoted", L"Single", L"Mismatch", L"Comment", L"Bare line",
                                         L"Empty", L"Eq"}),
              List(buf));
    EXPECT_EQ(0u, GetPrivateProfileStringW(L"Nope", NULL, L"", buf, 512, kFile));
    EXPECT_EQ(0, buf[0]);
}

TEST_F(ProfileTest, WholeSectionLinesAreTrimmedWithQuotesKept) {
    Put(kSample);
    WCHAR buf[1024];
    GetPrivateProfileSectionW(L"main", buf, 1024, kFile);
    auto v = List(buf);
    ASSERT_EQ(9u, v.size());  // every line, the duplicate key included
    EXPECT_EQ(L"Name=Alpha Beta", v[0]);
    EXPECT_EQ(L"Quoted=\"  spaced  \"", v[1]);
    EXPECT_EQ(L"name=second wins never", v[5]);
    EXPECT_EQ(L"Bare line", v[6]);
    EXPECT_EQ(L"Empty=", v[7]);
}

struct CutCase {
    DWORD size;
    DWORD ret;
    const wchar_t* value;  // for the value read
};

TEST_F(ProfileTest, TruncationRules) {
    Put("[S]\r\nKey=abcdef\r\n[T]\r\n");
    // A value: cut, terminated, size - 1.
    for (CutCase c : {CutCase{7, 6, L"abcdef"}, CutCase{6, 5, L"abcde"}, CutCase{2, 1, L"a"}, CutCase{1, 0, L""}}) {
        DWORD n = 0;
        EXPECT_EQ(c.value, Get(L"S", L"Key", L"", c.size, &n)) << c.size;
        EXPECT_EQ(c.ret, n) << c.size;
    }
    // A list "S\0T\0\0" of 5: cut with two nulls, size - 2.
    WCHAR buf[8];
    EXPECT_EQ(4u, GetPrivateProfileSectionNamesW(buf, 5, kFile));
    EXPECT_EQ(2u, GetPrivateProfileSectionNamesW(buf, 4, kFile));
    EXPECT_EQ(L'S', buf[0]);
    EXPECT_EQ(0, buf[1]);
    EXPECT_EQ(0, buf[2]);
    EXPECT_EQ(0, buf[3]);
    EXPECT_EQ(1u, GetPrivateProfileSectionNamesW(buf, 3, kFile));
    EXPECT_EQ(L'S', buf[0]);
    EXPECT_EQ(0, buf[1]);
    EXPECT_EQ(0, buf[2]);
    GetPrivateProfileSectionW(L"S", buf, 6, kFile);  // "Key=abcdef\0\0" cut
    EXPECT_EQ(L"Key=", std::wstring(buf));
    EXPECT_EQ(0u, GetPrivateProfileStringW(L"S", L"Key", L"", buf, 0, kFile));
}

struct IntCase {
    const char* text;
    UINT want;
};

TEST_F(ProfileTest, IntegersAsNtReadsThem) {
    // 16-bit Windows gave 0 for a negative value; NT returns the signed value's bits.
    const IntCase cases[] = {{"12", 12},           {"  12  ", 12},       {"-5", static_cast<UINT>(-5)},
                             {"+7", 7},            {"102abc", 102},      {"0x1F", 31},
                             {"0X10", 16},         {"0o17", 15},         {"0b101", 5},
                             {"abc", 0},           {"-0x10", static_cast<UINT>(-16)}, {"4294967295", 0xFFFFFFFFu},
                             {"012", 12}};
    for (const IntCase& c : cases) {
        Put(std::string("[S]\r\nv=") + c.text + "\r\nempty=\r\n");
        EXPECT_EQ(c.want, GetPrivateProfileIntW(L"S", L"v", 99, kFile)) << c.text;
    }
    EXPECT_EQ(99u, GetPrivateProfileIntW(L"S", L"missing", 99, kFile));
    EXPECT_EQ(static_cast<UINT>(-3), GetPrivateProfileIntW(L"S", L"empty", -3, kFile));
}

TEST_F(ProfileTest, BareNameIsInTheWindowsFolder) {
    Put("[S]\r\nk=win\r\n", L"C:\\Windows\\vq.ini");
    WCHAR buf[16];
    GetPrivateProfileStringW(L"S", L"k", L"", buf, 16, L"vq.ini");
    EXPECT_EQ(std::wstring(L"win"), buf);
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"n", L"2", L"vq.ini"));
    EXPECT_EQ("[S]\r\nk=win\r\nn=2\r\n", Bytes(L"C:\\Windows\\vq.ini"));
}

struct WriteCase {
    const char* name;
    const char* before;
    const wchar_t* app;
    const wchar_t* key;
    const wchar_t* value;
    const char* after;
};

class ProfileWrites : public ProfileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWrites, ChangesInPlace) {
    const WriteCase& c = GetParam();
    if (c.before) Put(c.before);
    EXPECT_TRUE(WritePrivateProfileStringW(c.app, c.key, c.value, kFile));
    EXPECT_EQ(c.after, Bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileWrites,
    ::testing::Values(
        // A new file.
        WriteCase{"NewFile", nullptr, L"S", L"k", L"v", "[S]\r\nk=v\r\n"},
        // Replace the first key of the first section; others untouched.
        WriteCase{"ReplacesTheFirstKey", "[A]\r\nK = old\r\nk=dup\r\n[a]\r\nk=x\r\n", L"a", L"k", L"new",
                  "[A]\r\nk=new\r\nk=dup\r\n[a]\r\nk=x\r\n"},
        // A new key after the section's last entry, before blank lines and comments.
        WriteCase{"NewKeyBeforeBlanksAndComments", "[A]\r\nx=1\r\n\r\n; c\r\n[B]\r\n", L"A", L"y", L"2",
                  "[A]\r\nx=1\r\ny=2\r\n\r\n; c\r\n[B]\r\n"},
        WriteCase{"NewKeyInAnEmptySection", "[A]\r\n[B]\r\n", L"A", L"y", L"2", "[A]\r\ny=2\r\n[B]\r\n"},
        // A new section at the end; a last line without line end gets one.
        WriteCase{"NewSectionAtTheEnd", "[A]\nx=1", L"B", L"y", L"2", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        // Deleting a key, a section.
        WriteCase{"DeletesAKey", "[A]\r\nx=1\r\ny=2\r\n", L"A", L"x", NULL, "[A]\r\ny=2\r\n"},
        WriteCase{"DeletesASection", "[A]\r\nx=1\r\n; c\r\n[B]\r\ny=2\r\n", L"a", NULL, NULL, "[B]\r\ny=2\r\n"},
        WriteCase{"DeletingAMissingKey", "[A]\r\nx=1\r\n", L"A", L"none", NULL, "[A]\r\nx=1\r\n"},
        // An empty value is written as such.
        WriteCase{"EmptyValue", "[A]\r\nx=1\r\n", L"A", L"x", L"", "[A]\r\nx=\r\n"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(ProfileTest, DeletionNeverCreatesAFile) {
    EXPECT_TRUE(WritePrivateProfileStringW(L"A", L"x", NULL, kFile));
    EXPECT_FALSE(winsim::files::Exists(*machine, kFile));
    EXPECT_FALSE(WritePrivateProfileStringW(L"A", L"x", L"1", L"C:\\NoFolder\\x.ini"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(ProfileTest, Utf16FileIsReadAndKeepsItsEncoding) {
    Put(Utf16Bom(L"[Strings]\r\nName=\u65e5\u672c\r\n"));
    EXPECT_EQ(L"\u65e5\u672c", Get(L"Strings", L"Name"));
    EXPECT_TRUE(WritePrivateProfileStringW(L"Strings", L"Other", L"\u00e9\u4e2d", kFile));
    EXPECT_EQ(Utf16Bom(L"[Strings]\r\nName=\u65e5\u672c\r\nOther=\u00e9\u4e2d\r\n"), Bytes());
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

}  // namespace
