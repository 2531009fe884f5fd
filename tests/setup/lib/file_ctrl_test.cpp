// The file control class: version strings through the first translation only,
// attributes and renames with relative paths, and the replacing text copy.
#include "FileCtrl.h"
#include "LibText.h"
#include "lib_fixture.h"
#include "winsim/version.h"

#include <string>

namespace {

using winsim::version::VersionInfo;

class FileCtrlTest : public LibTest {
protected:
    std::wstring exe = InFolder(L"Driver.exe");
    CFileCtrl fc;

    std::wstring Resource(const std::wstring& file, const wchar_t* entry, DWORD cch = FILECTRL_TEXT_CCH,
                          int* ret = nullptr) {
        WCHAR out[FILECTRL_TEXT_CCH] = L"untouched";
        int r = fc.GetFileResource(file.c_str(), entry, out, cch);
        if (ret) *ret = r;
        return out;
    }
};

TEST_F(FileCtrlTest, VersionStringFromTheFirstTranslation) {
    PutFile(exe, "MZ");
    VersionInfo v;
    v.translations = {{0x0411, 1200}, {0x0409, 1200}};
    v.tables = {{{0x0409, 1200}, {{L"FileVersion", L"9.9"}, {L"Comments", L"en"}}},
                {{0x0411, 1200}, {{L"FileVersion", L"3.1.4.1"}}}};
    ASSERT_TRUE(winsim::version::Attach(machine(), exe, v));
    int r = 0;
    EXPECT_EQ(L"3.1.4.1", Resource(exe, L"FileVersion", FILECTRL_TEXT_CCH, &r));
    EXPECT_EQ(1, r);
    WCHAR ver[128];
    EXPECT_EQ(1, fc.GetFileVersion(exe.c_str(), ver, 128));
    EXPECT_EQ(std::wstring(L"3.1.4.1"), ver);
    EXPECT_EQ(L"3.1", Resource(exe, L"FileVersion", 4));  // cut to the caller's room
    // The second translation has it, the first does not: not found.
    EXPECT_EQ(L"untouched", Resource(exe, L"Comments", FILECTRL_TEXT_CCH, &r));
    EXPECT_EQ(0, r);
    EXPECT_TRUE(Logged(L"CFileCtrl::GetFileResource VerQueryValue() Can not get Comments Error 1813"));
}

TEST_F(FileCtrlTest, FilesWithoutUsableVersionData) {
    PutFile(exe, "MZ");
    int r = 1;
    Resource(exe, L"FileVersion", FILECTRL_TEXT_CCH, &r);
    EXPECT_EQ(0, r);
    EXPECT_TRUE(Logged(L"CFileCtrl::GetFileResource GetFileVersionInfoSize() Error 1813"));
    Resource(InFolder(L"none.exe"), L"FileVersion", FILECTRL_TEXT_CCH, &r);
    EXPECT_TRUE(Logged(L"CFileCtrl::GetFileResource GetFileVersionInfoSize() Error 2"));
    VersionInfo untranslated;
    untranslated.tables = {{{0x0409, 1200}, {{L"FileVersion", L"1.0"}}}};
    winsim::version::Attach(machine(), exe, untranslated);
    Resource(exe, L"FileVersion", FILECTRL_TEXT_CCH, &r);
    EXPECT_EQ(0, r);
    EXPECT_TRUE(Logged(L"CFileCtrl::GetFileResource VerQueryValue() Can not get codepage Error 1813"));
}

TEST_F(FileCtrlTest, ExistenceAttributesAndRenames) {
    PutFile(InFolder(L"a.txt"), "A");
    PutFile(InFolder(L"b.txt"), "B");
    EXPECT_EQ(1, fc.IsFileExist(InFolder(L"a.txt").c_str()));
    EXPECT_EQ(1, fc.IsFileExist(kFolder));  // folders too
    EXPECT_EQ(0, fc.IsFileExist(InFolder(L"c.txt").c_str()));

    EXPECT_EQ(1, fc.SetAttrib(L"a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              winsim::files::Attributes(machine(), InFolder(L"a.txt")));
    EXPECT_EQ(1, fc.SetAttrib(InFolder(L"a.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(0, fc.SetAttrib(L"missing.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(Logged(L"CFileCtrl::SetAttrib SetFileAttributes() Error 2"));
    EXPECT_EQ(0, fc.SetAttrib(std::wstring(300, L'x').c_str(), FILE_ATTRIBUTE_NORMAL));

    // Onto an existing file: fails, both unchanged.
    EXPECT_EQ(0, fc.FileRename(L"a.txt", L"b.txt"));
    EXPECT_TRUE(Logged(L"CFileCtrl::FileRename rename() Error -1"));
    EXPECT_EQ("A", FileBytes(InFolder(L"a.txt")));
    EXPECT_EQ("B", FileBytes(InFolder(L"b.txt")));
    EXPECT_EQ(1, fc.FileRename(L"a.txt", InFolder(L"c.txt").c_str()));
    EXPECT_EQ("A", FileBytes(InFolder(L"c.txt")));
    EXPECT_FALSE(winsim::files::Exists(machine(), InFolder(L"a.txt")));
}

ReplacePair Pair(const wchar_t* s, const wchar_t* r) {
    ReplacePair p;
    lstrcpynW(p.szSearch, s, FILECTRL_TEXT_CCH);
    lstrcpynW(p.szReplace, r, FILECTRL_TEXT_CCH);
    return p;
}

TEST_F(FileCtrlTest, CopyTextReplaceLineByLine) {
    std::string longline = std::string(95, 'x') + "%PORT%tail";  // "%PO" ends the first piece
    PutFile(InFolder(L"in.txt"),
            "[Modem]\r\nport=%PORT%\r\nother=%port%\r\n" + longline + "\r\nspeed=%BAUD%%BAUD%\r\n");
    CReplaceList list;
    list.Add(Pair(L"%PORT%", L"COM3"));
    list.Add(Pair(L"%BAUD%", L"%BAUD%!"));  // a replacement holding the search text
    list.Add(Pair(L"COM3", L"COM4"));       // pairs apply in order
    EXPECT_EQ(1, fc.CopyTextReplace(&list, InFolder(L"in.txt").c_str(), InFolder(L"out.txt").c_str()));
    EXPECT_EQ("[Modem]\r\nport=COM4\r\nother=%port%\r\n" + longline + "\r\nspeed=%BAUD%!%BAUD%!\r\n",
              FileBytes(InFolder(L"out.txt")));
}

TEST_F(FileCtrlTest, CopyTextReplaceFailures) {
    CReplaceList list;
    EXPECT_EQ(0, fc.CopyTextReplace(&list, InFolder(L"none.txt").c_str(), InFolder(L"out.txt").c_str()));
    EXPECT_FALSE(winsim::files::Exists(machine(), InFolder(L"out.txt")));
    PutFile(InFolder(L"in.txt"), "a\r\n");
    EXPECT_EQ(0, fc.CopyTextReplace(&list, InFolder(L"in.txt").c_str(), L"C:\\NoFolder\\out.txt"));
    // A piece that would outgrow its room fails the copy and leaves no destination.
    PutFile(InFolder(L"in.txt"), std::string(90, 'a') + "\r\n");
    std::wstring big(FILECTRL_TEXT_CCH - 1, L'b');
    list.Add(Pair(L"a", big.c_str()));
    EXPECT_EQ(0, fc.CopyTextReplace(&list, InFolder(L"in.txt").c_str(), InFolder(L"out.txt").c_str()));
    EXPECT_FALSE(winsim::files::Exists(machine(), InFolder(L"out.txt")));
}

struct ReplaceCase {
    const wchar_t* text;
    size_t cch;
    const wchar_t* search;
    const wchar_t* repl;
    int ret;
    const wchar_t* want;
};

TEST(ReplaceAllRules, LeftToRightNeverReplacingTheReplacement) {
    const ReplaceCase cases[] = {
        {L"aXbXc", 64, L"X", L"--", 1, L"a--b--c"},
        {L"XX", 64, L"X", L"XX", 1, L"XXXX"},  // not replaced again
        {L"aaa", 64, L"aa", L"b", 1, L"ba"},   // search goes on after the replacement
        {L"abc", 64, L"z", L"y", 0, L"abc"},
        {L"abc", 64, L"", L"y", 0, L"abc"},  // an empty search finds nothing
        {L"abc", 64, L"b", L"", 1, L"ac"},
        {L"abc", 5, L"b", L"123", -1, L"abc"},  // 5 characters would need 6: unchanged
        {L"abc", 6, L"b", L"123", 1, L"a123c"},
    };
    for (const ReplaceCase& c : cases) {
        WCHAR buf[64];
        lstrcpynW(buf, c.text, 64);
        EXPECT_EQ(c.ret, ReplaceAll(buf, c.cch, c.search, c.repl)) << c.text << " " << c.search;
        EXPECT_EQ(std::wstring(c.want), buf) << c.text << " " << c.search;
    }
}

}  // namespace
