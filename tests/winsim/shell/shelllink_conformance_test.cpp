// Shell links (IShellLinkW, IPersistFile): a saved link loads back with its target,
// arguments, working folder, description, icon and show command; the link that Wine saved
// loads the same on winsim and the one winsim saved under Wine (shelllink_fixtures.h); a
// file that breaks the Shell Link format is refused with E_FAIL, what IPersistFile::Load
// returns when the object cannot be loaded for a reason other than memory.
#include "conformance.h"
#include "shelllink_fixtures.h"

namespace {

class ShellLinkConformance : public ShellLinkCalls<ConformanceTest> {
protected:
    void Write(const std::wstring& path, const std::string& bytes) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD n = 0;
        EXPECT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
        CloseHandle(h);
    }
    std::string Read(const std::wstring& path) {
        std::string bytes;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        char chunk[4096];
        DWORD n = 0;
        while (ReadFile(h, chunk, sizeof(chunk), &n, nullptr) && n) bytes.append(chunk, n);
        CloseHandle(h);
        return bytes;
    }
    // A path below the test's folder in its long form, the folders made; "" for the folder.
    std::wstring Made(const std::wstring& folder, const std::wstring& file) {
        std::wstring dir = folder.empty() ? Dir() : Path(folder);
        if (!folder.empty()) EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        WCHAR longer[MAX_PATH];
        DWORD n = GetLongPathNameW(dir.c_str(), longer, MAX_PATH);
        EXPECT_TRUE(n > 0 && n < MAX_PATH);
        std::wstring path = std::wstring(longer) + L"\\" + file;
        Write(path, "MZ");
        return path;
    }
};

// Wine gives SW_SHOWNORMAL after any Load, also for the links it saved itself.
int LoadedShow(int saved) {
    return WINE_DIFFERS(saved, SW_SHOWNORMAL,
                        "IShellLink::GetShowCmd: the show command of the loaded link ([MS-SHLLINK] 2.1 ShowCommand)");
}

struct SavedCase {
    const char* name;
    const wchar_t* folder;  // of the target, below the test's folder
    const wchar_t* arguments;
    const wchar_t* description;
    int show;
    bool icon;
    bool ansi_target;  // the ANSI code page holds the target
};

// "Plain" is the link that CREATE_LINK makes: a target and its folder as working folder.
const SavedCase kSaved[] = {
    {"Plain", L"", L"", L"", SW_SHOWNORMAL, false, true},
    {"AllFields", L"Long Folder Name", L"/x \"a b\" -y", L"A tool", SW_SHOWMAXIMIZED, true, true},
    {"UnicodeStrings", L"", L"/name \u30C4\u30FC\u30EB", L"\u30C4\u30FC\u30EB", SW_SHOWMINNOACTIVE, false, true},
    // Not in winsim's code page, nor in that of a Western Windows.
    {"UnicodeTarget", L"\u30C4\u30FC\u30EB", L"", L"", SW_SHOWNORMAL, false, false},
};

class ShellLinkSaved : public ShellLinkConformance, public ::testing::WithParamInterface<SavedCase> {};

TEST_P(ShellLinkSaved, LoadBack) {
    const SavedCase& c = GetParam();
    LinkFields f;
    f.target = Made(c.folder, L"tool.exe");
    f.working_dir = f.target.substr(0, f.target.rfind(L'\\'));
    f.arguments = c.arguments;
    f.description = c.description;
    f.icon = c.icon ? f.target : L"";
    f.icon_index = c.icon ? 1 : 0;
    f.show = c.show;
    ASSERT_EQ(S_OK, SaveLink(f, Path(L"tool.lnk")));
    LinkFields loaded;
    ASSERT_EQ(S_OK, LoadLink(Path(L"tool.lnk"), &loaded));
    f.show = LoadedShow(c.show);
    if (!c.ansi_target &&
        WINE_LACKS("IShellLink::GetPath: the target held in LocalBasePathUnicode ([MS-SHLLINK] 2.3 LinkInfo)"))
        loaded.target = f.target;
    EXPECT_EQ(f, loaded);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellLinkSaved, ::testing::ValuesIn(kSaved),
                         [](const ::testing::TestParamInfo<SavedCase>& i) { return std::string(i.param.name); });

struct FixtureCase {
    const char* name;
    const unsigned char* bytes;
    size_t size;
};

const FixtureCase kFixtures[] = {
    {"SavedByWine", kWineSavedLink, sizeof(kWineSavedLink)},
    {"SavedByWinsim", kWinsimSavedLink, sizeof(kWinsimSavedLink)},
};

class ShellLinkFixture : public ShellLinkConformance, public ::testing::WithParamInterface<FixtureCase> {};

TEST_P(ShellLinkFixture, Loads) {
    const FixtureCase& c = GetParam();
    Write(Path(L"fixture.lnk"), std::string(reinterpret_cast<const char*>(c.bytes), c.size));
    LinkFields loaded;
    ASSERT_EQ(S_OK, LoadLink(Path(L"fixture.lnk"), &loaded));
    LinkFields expected = FixtureLink();
    expected.show = LoadedShow(expected.show);
    EXPECT_EQ(expected, loaded);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellLinkFixture, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<FixtureCase>& i) { return std::string(i.param.name); });

// Saves the fixtures' link; VQ_KEEP_LINK names a file to keep it in (shelllink_fixtures.h).
TEST_F(ShellLinkConformance, SavesTheFixtureLink) {
    ASSERT_EQ(S_OK, SaveLink(FixtureLink(), Path(L"fixture.lnk")));
    WCHAR keep[MAX_PATH];
    if (GetEnvironmentVariableW(L"VQ_KEEP_LINK", keep, MAX_PATH))
        EXPECT_TRUE(CopyFileW(Path(L"fixture.lnk").c_str(), keep, FALSE));
    LinkFields loaded;
    ASSERT_EQ(S_OK, LoadLink(Path(L"fixture.lnk"), &loaded));
    LinkFields expected = FixtureLink();
    expected.show = LoadedShow(expected.show);
    EXPECT_EQ(expected, loaded);
}

// Offsets of the format: the header is 0x4C bytes, the IDList's size follows it.
struct BrokenCase {
    const char* name;
    std::string (*cut)(const std::string& whole);
};

std::string At(std::string s, size_t at, unsigned char v) {
    s[at] = static_cast<char>(v);
    return s;
}

const BrokenCase kBroken[] = {
    {"Empty", [](const std::string&) { return std::string(); }},
    {"ShortHeader", [](const std::string& s) { return s.substr(0, 0x40); }},
    {"HeaderSize", [](const std::string& s) { return At(s, 0, 0x4D); }},
    {"LinkClsid", [](const std::string& s) { return At(s, 4, 0x02); }},
    {"IdListCut", [](const std::string& s) { return s.substr(0, 0x4C + 2 + 0x10); }},
    {"IdListPastEnd", [](const std::string& s) { return At(At(s, 0x4C, 0xFF), 0x4D, 0xFF); }},
    {"LinkInfoPastEnd",
     [](const std::string& s) {
         size_t info = 0x4C + 2 + (static_cast<unsigned char>(s[0x4C]) | static_cast<unsigned char>(s[0x4D]) << 8);
         return At(At(s, info, 0xFF), info + 1, 0xFF);
     }},
    {"ArgumentsCut",
     [](const std::string& s) {
         const std::string arguments("/\0x\0 \0\"\0a\0", 10);
         return s.substr(0, s.find(arguments) + 5);
     }},
};

class ShellLinkBroken : public ShellLinkConformance, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(ShellLinkBroken, AreRefused) {
    ASSERT_EQ(S_OK, SaveLink(FixtureLink(), Path(L"whole.lnk")));
    Write(Path(L"broken.lnk"), GetParam().cut(Read(Path(L"whole.lnk"))));
    LinkFields loaded;
    EXPECT_EQ(E_FAIL, LoadLink(Path(L"broken.lnk"), &loaded));
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellLinkBroken, ::testing::ValuesIn(kBroken),
                         [](const ::testing::TestParamInfo<BrokenCase>& i) { return std::string(i.param.name); });

}  // namespace
