// The profile reader: file names, comment cut, string sections by language, substitution,
// lists of keys and lines, field picking and writing into existing files.
#include "ProfileCtrl.h"
#include "lib_fixture.h"

#include <string>
#include <vector>

namespace {

const char* const kInf =
    "[Version]\r\n"
    "Disk=%DiskName%\r\n"
    "Tail=50%\r\n"
    "Lone=a % b % c\r\n"
    "Pair=%Known% and %Unknown%!\r\n"
    "Comment=value ; the rest\r\n"
    "Nested=%Outer%\r\n"
    "Self=%Loop%\r\n"
    "Long=%Big%%Big%%Big%\r\n"
    "[Files]\r\n"
    "drv = %DiskName%, drv.sys ; driver\r\n"
    "cat = one\r\n"
    "%KeyName%=keyed\r\n"
    "[Strings.0411]\r\n"
    "DiskName=A\r\n"
    "[Strings]\r\n"
    "DiskName=B\r\n"
    "Known=yes ; comment cut\r\n"
    "Outer=%Inner%\r\n"
    "Inner=deep\r\n"
    "Loop=x%Loop%\r\n"
    "KeyName=renamed\r\n"
    "Big=0123456789012345678901234567890123456789\r\n";

class ProfileCtrlTest : public LibTest {
protected:
    ProfileCtrlTest() { PutFile(InFolder(L"drv.inf"), kInf); }
    std::wstring Read(CProfileCtrl& p, const wchar_t* sec, const wchar_t* key, int subst, DWORD cch = 260,
                      int* ret = nullptr) {
        std::vector<WCHAR> buf(cch, L'#');
        int r = p.GetString(sec, key, buf.data(), cch, subst);
        if (ret) *ret = r;
        return r ? std::wstring(buf.data()) : L"<none>";
    }
};

TEST_F(ProfileCtrlTest, RelativeNamesAreInTheShortProgramFolder) {
    CProfileCtrl p;
    EXPECT_EQ(1, p.Open(L"drv.inf"));
    EXPECT_EQ(std::wstring(L"C:\\PROGRA~1\\Quarven\\Setup\\drv.inf"), p.GetFilePath());
    EXPECT_EQ(0, p.Open(L"none.inf"));  // kept although it does not exist
    EXPECT_EQ(std::wstring(L"C:\\PROGRA~1\\Quarven\\Setup\\none.inf"), p.GetFilePath());
    EXPECT_EQ(1, p.Open(L"C:\\Program Files\\Quarven\\Setup\\drv.inf"));  // absolute: unchanged
    EXPECT_EQ(std::wstring(L"C:\\Program Files\\Quarven\\Setup\\drv.inf"), p.GetFilePath());
    EXPECT_EQ(0, p.Open(NULL));
    std::wstring longname(300, L'x');
    EXPECT_EQ(0, p.Open(longname.c_str()));  // does not fit: no path kept
    EXPECT_EQ(std::wstring(L""), p.GetFilePath());
}

struct LangCase {
    int language;
    const wchar_t* disk;
};

TEST_F(ProfileCtrlTest, StringSectionFollowsTheLanguage) {
    const LangCase cases[] = {{0x0411, L"A"}, {0x0409, L"B"}, {0x0407, L"B"}};
    for (const LangCase& c : cases) {
        CProfileCtrl p;
        ASSERT_EQ(1, p.Open(L"drv.inf", c.language));
        EXPECT_EQ(c.language, p.GetLanguage());
        EXPECT_EQ(c.disk, Read(p, L"Version", L"Disk", 1)) << std::hex << c.language;
    }
}

TEST_F(ProfileCtrlTest, LanguageDefaultsToTheUsersUiLanguage) {
    winsim::Registry(machine()).SetString(L"HKCU\\Control Panel\\Desktop", L"MultiUILanguageId", L"00000411");
    CProfileCtrl p;
    EXPECT_EQ(0x0411, p.GetLanguage());
    EXPECT_EQ(0x0407, p.SetLanguage(0x0407));
    EXPECT_EQ(0x0411, p.SetLanguage(-1));
    p.Open(L"drv.inf");
    EXPECT_EQ(L"A", Read(p, L"Version", L"Disk", 1));
}

struct ValueCase {
    const wchar_t* key;
    int subst;
    const wchar_t* want;
};

TEST_F(ProfileCtrlTest, ValuesCutAndSubstituted) {
    CProfileCtrl p;
    p.Open(L"drv.inf", 0x0409);
    const ValueCase cases[] = {
        {L"Disk", 0, L"%DiskName%"}, {L"Tail", 1, L"50%"},  // a single percent sign stays
        {L"Lone", 1, L"a  c"},                              // two lone ones take the words between
        {L"Pair", 1, L"yes  and !"},                        // found value cut at ';', unknown name emptied
        {L"Comment", 0, L"value "},                         // the blank before ';' is kept
        {L"Nested", 1, L"deep"},                            // a replacement with tokens: a later pass
        {L"Missing", 1, L"<none>"},
    };
    for (const ValueCase& c : cases) EXPECT_EQ(c.want, Read(p, L"Version", c.key, c.subst)) << c.key;
}

TEST_F(ProfileCtrlTest, SubstitutionIsBounded) {
    CProfileCtrl p;
    p.Open(L"drv.inf", 0x0409);
    // A value that refers to itself grows by one "x" a pass until the pass limit.
    std::wstring self = Read(p, L"Version", L"Self", 1);
    EXPECT_EQ(std::wstring(PROFILE_MAX_PASSES, L'x') + L"%Loop%", self);
    // Three 40-character values do not fit in 100 characters: the text stays as it was.
    EXPECT_EQ(L"%Big%%Big%%Big%", Read(p, L"Version", L"Long", 1, 100));
    EXPECT_EQ(120u, Read(p, L"Version", L"Long", 1, 121).size());
    WCHAR small[8] = L"%Known%";
    EXPECT_EQ(1, p.Substitute(small, 8));
    EXPECT_EQ(std::wstring(L"yes "), small);
    WCHAR none[16] = L"plain";
    EXPECT_EQ(0, p.Substitute(none, 16));
}

TEST_F(ProfileCtrlTest, SectionsByName) {
    CProfileCtrl p;
    p.Open(L"drv.inf");
    EXPECT_EQ(1, p.HasSection(L"files"));
    EXPECT_EQ(1, p.HasSection(L"STRINGS.0411"));
    EXPECT_EQ(0, p.HasSection(L"Strings.0409"));
    EXPECT_EQ(0, p.HasSection(NULL));
}

TEST_F(ProfileCtrlTest, KeyValuesWithAndWithoutSubstitution) {
    CProfileCtrl p;
    p.Open(L"drv.inf", 0x0409);
    CProfileEntryList plain, subst;
    EXPECT_EQ(3, p.GetKeyValues(L"Files", &plain, 0));
    ASSERT_EQ(3, plain.GetCount());
    EXPECT_EQ(std::wstring(L"drv"), plain.Get(0)->szKey);
    EXPECT_EQ(std::wstring(L"%DiskName%, drv.sys "), plain.Get(0)->szValue);
    EXPECT_EQ(std::wstring(L"%KeyName%"), plain.Get(2)->szKey);
    EXPECT_EQ(3, p.GetKeyValues(L"Files", &subst, 1));
    EXPECT_EQ(std::wstring(L"B, drv.sys "), subst.Get(0)->szValue);
    EXPECT_EQ(std::wstring(L"renamed"), subst.Get(2)->szKey);
    EXPECT_EQ(0, p.GetKeyValues(L"Nope", &plain, 0));
}

TEST_F(ProfileCtrlTest, SectionLinesAndFields) {
    CProfileCtrl p;
    p.Open(L"drv.inf", 0x0409);
    CTextList whole, third, second;
    EXPECT_EQ(3, p.GetSectionLines(L"Files", &whole, 1, NULL, 0));
    ASSERT_EQ(3, whole.GetCount());
    EXPECT_EQ(std::wstring(L"drv=B, drv.sys "), whole.Get(0));
    EXPECT_EQ(std::wstring(L"renamed=keyed"), whole.Get(2));
    // Field 3 exists only in the first line; the others are counted but add nothing.
    EXPECT_EQ(3, p.GetSectionLines(L"Files", &third, 0, L"= ,", 3));
    ASSERT_EQ(1, third.GetCount());
    EXPECT_EQ(std::wstring(L"drv.sys"), third.Get(0));
    EXPECT_EQ(3, p.GetSectionLines(L"Files", &second, 1, L"= ,", 2));
    ASSERT_EQ(3, second.GetCount());
    EXPECT_EQ(std::wstring(L"B"), second.Get(0));
}

struct FieldCase {
    const wchar_t* text;
    const wchar_t* seps;
    int n;
    const wchar_t* want;  // null: no such field
};

TEST(ProfileFields, PickedAsTheTokeniserCutsThem) {
    const FieldCase cases[] = {
        {L"key= first,second", L"= ,", 3, L"second"},
        {L"key= first,second", L"= ,", 4, nullptr},
        {L"key= first,second", L"= ,", 1, L"key"},
        {L",,a,,b", L",", 1, L"a"},  // leading and repeated separators count as one
        {L",,a,,b", L",", 2, L"b"},
        {L"", L",", 1, nullptr},
        {L"abc", L",", 0, nullptr},
    };
    for (const FieldCase& c : cases) {
        WCHAR out[64] = L"untouched";
        int r = CProfileCtrl::GetField(c.text, c.seps, c.n, out, 64);
        EXPECT_EQ(c.want ? 1 : 0, r) << c.text << " #" << c.n;
        if (c.want) {
            EXPECT_EQ(std::wstring(c.want), out);
        }
    }
    WCHAR tiny[4];
    EXPECT_EQ(1, CProfileCtrl::GetField(L"abcdef", L",", 1, tiny, 4));
    EXPECT_EQ(std::wstring(L"abc"), tiny);
}

TEST(ProfileSplit, LeavesOutEmptyPieces) {
    CTextList list;
    CProfileCtrl::Split(&list, L"||a||bc|d||", L"||");
    ASSERT_EQ(2, list.GetCount());
    EXPECT_EQ(std::wstring(L"a"), list.Get(0));
    EXPECT_EQ(std::wstring(L"bc|d"), list.Get(1));
    CTextList one;
    CProfileCtrl::Split(&one, L"tail", L",");
    ASSERT_EQ(1, one.GetCount());
    EXPECT_EQ(std::wstring(L"tail"), one.Get(0));
}

TEST_F(ProfileCtrlTest, WriteStringNeverCreatesAFile) {
    CProfileCtrl p;
    EXPECT_EQ(0, p.Open(L"new.ini"));
    EXPECT_EQ(0, p.WriteString(L"S", L"k", L"v", NULL));
    EXPECT_FALSE(winsim::files::Exists(machine(), InFolder(L"new.ini")));
    std::wstring other = InFolder(L"other.ini");
    EXPECT_EQ(0, p.WriteString(L"S", L"k", L"v", other.c_str()));

    PutFile(other, "[S]\r\nk=old\r\n");
    EXPECT_EQ(1, p.WriteString(L"S", L"k", L"v", other.c_str()));
    EXPECT_EQ("[S]\r\nk=v\r\n", FileBytes(other));
    p.Open(L"other.ini");
    EXPECT_EQ(1, p.WriteString(L"T", L"n", L"1", NULL));
    EXPECT_EQ("[S]\r\nk=v\r\n[T]\r\nn=1\r\n", FileBytes(other));
}

}  // namespace
