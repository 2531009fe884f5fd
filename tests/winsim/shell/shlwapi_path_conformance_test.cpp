// shlwapi's path functions: the edge rules of joining, splitting and testing paths.
#include "conformance.h"

#include <shlwapi.h>

#include <cwchar>
#include <string>

namespace {

const char* const kTrailingDot =
    "PathAppendW and PathCombineW concatenate relative path elements, which leaves no \".\" element; Wine keeps a "
    "trailing one";

using ShlwapiPath = ConformanceTest;

struct TwoIn {
    const wchar_t* a;
    const wchar_t* b;
    const wchar_t* want;  // null: the call fails
};

TEST_F(ShlwapiPath, Append) {
    const TwoIn cases[] = {
        {L"C:\\a", L"b", L"C:\\a\\b"},
        {L"C:\\a\\", L"b", L"C:\\a\\b"},
        {L"C:\\a", L"\\b", L"C:\\a\\b"},           // leading backslashes of the tail dropped
        {L"C:\\a", L"\\\\srv\\s", L"\\\\srv\\s"},  // a UNC tail stands alone
        {L"C:\\a", L"D:\\x", L"D:\\x"},            // so does a drive path
        {L"C:\\a\\b", L"..\\c", L"C:\\a\\c"},
        {L"C:\\a", L"..\\..\\..\\c", L"C:\\c"},  // never above the root
        {L"C:\\a", L".\\b\\.", WINE_DIFFERS(L"C:\\a\\b", L"C:\\a\\b\\.", kTrailingDot)},
        {L"C:\\", L"x.ini", L"C:\\x.ini"},
        {L"C:", L"x", L"C:\\x"},
        {L"", L"x", L"x"},
        {L"rel", L"x", L"rel\\x"},
        {L"C:\\a", L"b\\", L"C:\\a\\b\\"},
        {L"C:\\a", L"", L"C:\\a"},
    };
    for (const TwoIn& c : cases) {
        WCHAR buf[MAX_PATH];
        wcscpy(buf, c.a);
        EXPECT_TRUE(PathAppendW(buf, c.b)) << c.a << " + " << c.b;
        EXPECT_EQ(std::wstring(c.want), buf) << c.a << " + " << c.b;
    }
}

TEST_F(ShlwapiPath, AppendThatDoesNotFitFailsAndKeepsThePath) {
    WCHAR buf[MAX_PATH];
    std::wstring base = L"C:\\" + std::wstring(250, L'a');
    wcscpy(buf, base.c_str());
    EXPECT_FALSE(PathAppendW(buf, L"0123456789"));
    EXPECT_TRUE(PathAppendW(buf, L"01234"));  // 253 + 1 + 5 = 259 characters fit
    WCHAR dest[MAX_PATH] = L"x";
    EXPECT_EQ(nullptr, PathCombineW(dest, base.c_str(), L"0123456789"));
    EXPECT_EQ(0, dest[0]);
}

TEST_F(ShlwapiPath, CombineRootRelativeAndCanonical) {
    WCHAR d[MAX_PATH];
    EXPECT_EQ(std::wstring(L"C:\\x\\y"), PathCombineW(d, L"C:\\a\\b", L"\\x\\y"));
    EXPECT_EQ(std::wstring(WINE_DIFFERS(L"C:\\", L"C:\\.", kTrailingDot)), PathCombineW(d, L"C:\\a\\..", L"."));
    EXPECT_EQ(std::wstring(L"C:\\a"), PathCombineW(d, L"C:\\a", NULL));
    EXPECT_EQ(std::wstring(L"D:\\f"), PathCombineW(d, NULL, L"D:\\f"));
    EXPECT_EQ(nullptr, PathCombineW(d, NULL, NULL));
}

struct OneIn {
    const wchar_t* in;
    const wchar_t* want;
    BOOL ret;
};

TEST_F(ShlwapiPath, RemoveFileSpec) {
    const OneIn cases[] = {
        {L"C:\\a\\b.txt", L"C:\\a", TRUE},
        {L"C:\\a", L"C:\\", TRUE},
        {L"C:\\", L"C:\\", FALSE},
        {L"C:\\a\\", L"C:\\a", TRUE},
        {L"\\a", L"\\", TRUE},
        {L"\\", L"\\", FALSE},
        {L"name.exe", L"", TRUE},
        {L"C:name", L"C:", TRUE},
        {L"\\\\srv\\share", L"\\\\srv", TRUE},
        {L"", L"", FALSE},
    };
    for (const OneIn& c : cases) {
        WCHAR buf[MAX_PATH];
        wcscpy(buf, c.in);
        EXPECT_EQ(c.ret, PathRemoveFileSpecW(buf)) << c.in;
        EXPECT_EQ(std::wstring(c.want), buf) << c.in;
    }
}

TEST_F(ShlwapiPath, FileNameAndStrip) {
    const OneIn cases[] = {
        {L"C:\\dir\\file.txt", L"file.txt", 0},
        {L"C:\\dir\\", L"dir\\", 0},
        {L"C:\\", L"C:\\", 0},
        {L"file", L"file", 0},
        {L"C:file", L"file", 0},
        {L"a/b", L"b", 0},
    };
    for (const OneIn& c : cases) {
        EXPECT_EQ(std::wstring(c.want), PathFindFileNameW(c.in)) << c.in;
        WCHAR buf[MAX_PATH];
        wcscpy(buf, c.in);
        PathStripPathW(buf);
        EXPECT_EQ(std::wstring(c.want), buf) << c.in;
    }
}

TEST_F(ShlwapiPath, Extensions) {
    const OneIn cases[] = {
        {L"C:\\a\\setup.exe", L".exe", 0},
        {L"C:\\a.b\\file", L"", 0},
        {L"file.tar.gz", L".gz", 0},
        {L"file.a b", L"", 0},
        {L"file.", L".", 0},
        {L".ini", L".ini", 0},
        {L"C:\\a\\b", L"", 0},
    };
    for (const OneIn& c : cases) {
        EXPECT_EQ(std::wstring(c.want), PathFindExtensionW(c.in)) << c.in;
        EXPECT_EQ(0, *(PathFindExtensionW(c.in) + wcslen(c.want)));
    }
    WCHAR buf[MAX_PATH] = L"C:\\p\\Setup.exe";
    EXPECT_TRUE(PathRenameExtensionW(buf, L".ini"));
    EXPECT_EQ(std::wstring(L"C:\\p\\Setup.ini"), buf);
    PathRemoveExtensionW(buf);
    EXPECT_EQ(std::wstring(L"C:\\p\\Setup"), buf);
    EXPECT_TRUE(PathRenameExtensionW(buf, L".dat"));  // no extension: appended
    EXPECT_EQ(std::wstring(L"C:\\p\\Setup.dat"), buf);
    std::wstring longp(MAX_PATH - 4, L'a');
    wcscpy(buf, longp.c_str());
    EXPECT_FALSE(PathRenameExtensionW(buf, L".ext"));
    EXPECT_EQ(longp, buf);
}

TEST_F(ShlwapiPath, RelativeAndArgs) {
    const struct {
        const wchar_t* p;
        BOOL rel;
    } rel[] = {{L"C:\\a", FALSE}, {L"C:a", FALSE}, {L"\\a", FALSE}, {L"\\\\s\\x", FALSE},
               {L"a\\b", TRUE},   {L".\\a", TRUE}, {L"", TRUE},     {NULL, TRUE}};
    for (const auto& c : rel) EXPECT_EQ(c.rel, PathIsRelativeW(c.p)) << (c.p ? c.p : L"(null)");

    const TwoIn args[] = {{L"Setup.exe /encrypt", nullptr, L"/encrypt"},
                          {L"\"C:\\Program Files\\S.exe\" /a /b", nullptr, L"/a /b"},
                          {L"Setup.exe  two", nullptr, L" two"},
                          {L"Setup.exe", nullptr, L""},
                          {L"\"C:\\a b\\x.exe\"", nullptr, L""}};
    for (const TwoIn& c : args) EXPECT_EQ(std::wstring(c.want), PathGetArgsW(c.a)) << c.a;
}

TEST_F(ShlwapiPath, BackslashesAndQuotes) {
    const struct {
        const wchar_t* in;
        const wchar_t* add;
        const wchar_t* remove;
    } cases[] = {{L"C:\\a", L"C:\\a\\", L"C:\\a"},
                 {L"C:\\a\\", L"C:\\a\\", L"C:\\a"},
                 {L"C:\\", L"C:\\", L"C:\\"},
                 {L"\\", L"\\", L"\\"},
                 {L"", L"", L""}};
    for (const auto& c : cases) {
        WCHAR buf[MAX_PATH];
        wcscpy(buf, c.in);
        LPWSTR end = PathAddBackslashW(buf);
        EXPECT_EQ(std::wstring(c.add), buf);
        EXPECT_EQ(buf + wcslen(buf), end);
        wcscpy(buf, c.in);
        PathRemoveBackslashW(buf);
        EXPECT_EQ(std::wstring(c.remove), buf);
    }
    WCHAR full[MAX_PATH];
    std::wstring f(MAX_PATH - 1, L'a');
    wcscpy(full, f.c_str());
    LPWSTR end = PathAddBackslashW(full);
    EXPECT_EQ(WINE_DIFFERS(nullptr, full + MAX_PATH,
                           "PathAddBackslashW returns NULL when the backslash could not be appended due to "
                           "inadequate buffer size; Wine fills a MAX_PATH buffer without its terminator"),
              end);

    WCHAR q[MAX_PATH] = L"C:\\Program Files\\x.exe";
    PathQuoteSpacesW(q);
    EXPECT_EQ(std::wstring(L"\"C:\\Program Files\\x.exe\""), q);
    PathUnquoteSpacesW(q);
    EXPECT_EQ(std::wstring(L"C:\\Program Files\\x.exe"), q);
    WCHAR n[MAX_PATH] = L"C:\\a.exe";
    PathQuoteSpacesW(n);
    EXPECT_EQ(std::wstring(L"C:\\a.exe"), n);
    WCHAR half[MAX_PATH] = L"\"C:\\a";
    PathUnquoteSpacesW(half);
    EXPECT_EQ(std::wstring(L"\"C:\\a"), half);
}

TEST_F(ShlwapiPath, ExistenceOfFilesAndFolders) {
    const std::wstring data = Path(L"Data");
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((data + L"\\Empty").c_str(), nullptr));
    HANDLE h = CreateFileW((data + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    std::wstring lower = Dir() + L"\\data";
    EXPECT_TRUE(PathFileExistsW((data + L"\\f.txt").c_str()));
    EXPECT_TRUE(PathFileExistsW(lower.c_str()));  // folders too
    EXPECT_FALSE(PathFileExistsW((data + L"\\none").c_str()));
    EXPECT_FALSE(PathFileExistsW(NULL));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, PathIsDirectoryW(data.c_str()));
    EXPECT_FALSE(PathIsDirectoryW((data + L"\\f.txt").c_str()));
    EXPECT_TRUE(PathIsDirectoryEmptyW((data + L"\\Empty").c_str()));
    EXPECT_TRUE(PathIsDirectoryEmptyW((data + L"\\Empty\\").c_str()));
    EXPECT_FALSE(PathIsDirectoryEmptyW(data.c_str()));
    EXPECT_FALSE(PathIsDirectoryEmptyW((data + L"\\f.txt").c_str()));
}

}  // namespace
