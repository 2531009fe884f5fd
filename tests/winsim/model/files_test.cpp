// The file-system model's path forms: full paths, names without regard to case, the
// current directory, short names, wildcards and WOW64 redirection.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"

#include <algorithm>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

using winsim::files::FullPath;

std::vector<std::string> HostEntries(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

class FilesPathTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
    std::string drive_c = machine->DriveRoot('C');

    void Touch(const wchar_t* path, const std::string& bytes = "x") {
        ASSERT_TRUE(winsim::files::WriteBytes(*machine, path, bytes)) << winsim::Utf8(path);
    }
};

// ---------------------------------------------------------------------------------------
// Full paths

struct FullCase {
    const wchar_t* cwd;
    const wchar_t* in;
    const wchar_t* out;
};

TEST(FilesFullPath, FollowsGetFullPathNameRules) {
    const FullCase cases[] = {
        {L"C:\\Windows\\System32", L"foo.txt", L"C:\\Windows\\System32\\foo.txt"},
        {L"C:\\Windows", L"..\\x", L"C:\\x"},
        {L"C:\\Windows", L"\\x\\y", L"C:\\x\\y"},
        {L"C:\\Windows", L"C:x", L"C:\\Windows\\x"},  // drive-relative, same drive
        {L"C:\\Windows", L"z:x", L"Z:\\x"},           // another drive: its root
        {L"C:\\", L"a/b//c", L"C:\\a\\b\\c"},         // '/' and repeated separators
        {L"C:\\", L"a\\.\\b\\..\\c", L"C:\\a\\c"},
        {L"C:\\", L"C:\\..\\..\\x", L"C:\\x"},  // ".." stops at the root
        {L"C:\\", L"C:\\dir\\file.txt. . ", L"C:\\dir\\file.txt"},
        {L"C:\\", L"C:\\dir.\\file", L"C:\\dir\\file"},  // one trailing period of a folder
        {L"C:\\", L"C:\\dir\\", L"C:\\dir\\"},           // a trailing separator stays
        {L"C:\\", L"c:\\x", L"c:\\x"},
        {L"C:\\", L"\\\\?\\C:\\a\\..\\b", L"\\\\?\\C:\\a\\..\\b"},  // taken literally
        {L"C:\\", L"\\\\.\\COM1", L"\\\\.\\COM1"},
        {L"C:\\", L"\\\\server\\share\\a\\..\\..\\b", L"\\\\server\\share\\b"},
        {L"C:\\Users\\User", L".", L"C:\\Users\\User"},
        {L"C:\\Users\\User", L"..", L"C:\\Users"},
        {L"C:\\Users\\User", L"...\\x", L"C:\\Users\\User\\...\\x"},  // three periods are a name
    };
    for (const auto& c : cases) EXPECT_EQ(std::wstring(c.out), FullPath(c.in, c.cwd)) << winsim::Utf8(c.in);
}

TEST_F(FilesPathTest, GetFullPathNameReportsSizesAndFilePart) {
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\Windows"));
    WCHAR buf[MAX_PATH];
    LPWSTR part = nullptr;
    EXPECT_EQ(24u, GetFullPathNameW(L"inf\\setup.log", MAX_PATH, buf, &part));
    EXPECT_STREQ(L"C:\\Windows\\inf\\setup.log", buf);
    EXPECT_STREQ(L"setup.log", part);
    // Too small: the size needed with the terminator.
    EXPECT_EQ(25u, GetFullPathNameW(L"inf\\setup.log", 24, buf, &part));
    EXPECT_EQ(nullptr, part);
    EXPECT_EQ(15u, GetFullPathNameW(L"C:\\Windows\\inf\\", MAX_PATH, buf, &part));
    EXPECT_EQ(nullptr, part);  // no file part after a trailing separator
}

// ---------------------------------------------------------------------------------------
// Names without regard to case

TEST_F(FilesPathTest, ExistingNamesResolveWithoutRegardToCase) {
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Data", nullptr));
    HANDLE h = CreateFileW(L"C:\\Data\\Report.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    ASSERT_TRUE(SetCurrentDirectoryW(L"c:\\data"));
    const wchar_t* spellings[] = {
        L"c:\\data\\report.txt",
        L"C:\\DATA\\REPORT.TXT",
        L"c:/Data/report.txt",
        L"\\\\?\\C:\\data\\REPORT.txt",
        L"C:\\Data\\.\\..\\Data\\report.txt.",
        L"report.TXT",
        L".\\REPORT.txt",
        L"\\DATA\\report.txt",
    };
    for (const wchar_t* s : spellings) {
        auto host = winsim::files::HostPath(s);
        ASSERT_TRUE(host.has_value()) << winsim::Utf8(s);
        EXPECT_EQ(drive_c + "/Data/Report.TXT", *host) << winsim::Utf8(s);
        EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesW(s)) << winsim::Utf8(s);
    }
    // Opening under another spelling reaches the same file; nothing new appears.
    h = CreateFileW(L"C:\\DATA\\report.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    CloseHandle(h);
    EXPECT_EQ(std::vector<std::string>{"Report.TXT"}, HostEntries(drive_c + "/Data"));
}

TEST_F(FilesPathTest, NewEntriesKeepTheCaseGiven) {
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Data", nullptr));
    ASSERT_TRUE(CreateDirectoryW(L"c:\\DATA\\NewSub", nullptr));
    HANDLE h = CreateFileW(L"c:\\data\\newsub\\MixedCase.Log", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_EQ(std::vector<std::string>{"NewSub"}, HostEntries(drive_c + "/Data"));
    EXPECT_EQ(std::vector<std::string>{"MixedCase.Log"}, HostEntries(drive_c + "/Data/NewSub"));
    EXPECT_EQ(L"C:\\Data\\NewSub\\MixedCase.Log",
              winsim::files::WindowsPath(*machine, drive_c + "/Data/NewSub/MixedCase.Log"));
    EXPECT_EQ(L"Z:\\etc\\hosts", winsim::files::WindowsPath(*machine, "/etc/hosts"));
}

TEST_F(FilesPathTest, MissingFoldersOnTheWayFailWithPathNotFound) {
    struct Row {
        const wchar_t* path;
        DWORD error;
    };
    Touch(L"C:\\file.txt");
    const Row rows[] = {
        {L"C:\\NoSuchDir\\x.txt", ERROR_PATH_NOT_FOUND},
        {L"C:\\file.txt\\x.txt", ERROR_PATH_NOT_FOUND},  // a file is no folder
        {L"Q:\\x.txt", ERROR_PATH_NOT_FOUND},            // no such drive
        {L"C:\\bad<name>.txt", ERROR_INVALID_NAME},
        {L"C:\\wild*.txt", ERROR_INVALID_NAME},
        {L"\\\\server\\share\\x", ERROR_BAD_NETPATH},
    };
    for (const auto& r : rows) {
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(r.path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))
            << winsim::Utf8(r.path);
        EXPECT_EQ(r.error, GetLastError()) << winsim::Utf8(r.path);
        EXPECT_FALSE(winsim::files::HostPath(r.path).has_value()) << winsim::Utf8(r.path);
    }
}

TEST_F(FilesPathTest, CurrentDirectoryResolvesRelativePaths) {
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Work", nullptr));
    Touch(L"C:\\Work\\plain.txt");
    ASSERT_TRUE(SetCurrentDirectoryW(L"c:\\work\\"));
    WCHAR buf[MAX_PATH];
    // The case given is kept and the trailing separator dropped.
    EXPECT_EQ(7u, GetCurrentDirectoryW(MAX_PATH, buf));
    EXPECT_STREQ(L"c:\\work", buf);
    HANDLE h = CreateFileW(L"rel.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_TRUE(winsim::files::Exists(*machine, L"C:\\Work\\rel.txt"));
    ASSERT_TRUE(SetCurrentDirectoryW(L".."));
    GetCurrentDirectoryW(MAX_PATH, buf);
    EXPECT_STREQ(L"c:\\", buf);
    // Short names become long ones.
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\PROGRA~1\\COMMON~1"));
    GetCurrentDirectoryW(MAX_PATH, buf);
    EXPECT_STREQ(L"C:\\Program Files\\Common Files", buf);

    struct Row {
        const wchar_t* path;
        DWORD error;
    };
    const Row bad[] = {
        {L"C:\\Work\\missing", ERROR_FILE_NOT_FOUND},
        {L"C:\\Work\\plain.txt", ERROR_DIRECTORY},
        {L"C:\\missing\\deeper", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& r : bad) {
        EXPECT_FALSE(SetCurrentDirectoryW(r.path)) << winsim::Utf8(r.path);
        EXPECT_EQ(r.error, GetLastError()) << winsim::Utf8(r.path);
    }
    GetCurrentDirectoryW(MAX_PATH, buf);
    EXPECT_STREQ(L"C:\\Program Files\\Common Files", buf);
}

// ---------------------------------------------------------------------------------------
// Short names

TEST(FilesShortName, DerivedFromTheFolderContents) {
    struct Row {
        std::vector<std::wstring> folder;
        const wchar_t* name;
        const wchar_t* expect;
    };
    const std::vector<std::wstring> program = {L"ProgramData", L"Program Files (x86)", L"Program Files", L"PerfLogs"};
    std::vector<std::wstring> documents;
    for (int i = 1; i <= 10; ++i) documents.push_back(L"Document " + std::to_wstring(i) + L".txt");
    const Row rows[] = {
        {program, L"Program Files", L"PROGRA~1"},
        {program, L"Program Files (x86)", L"PROGRA~2"},
        {program, L"ProgramData", L"PROGRA~3"},
        {program, L"PerfLogs", L"PerfLogs"},  // already 8.3: kept as it is
        {{L"readme.txt"}, L"readme.txt", L"readme.txt"},
        {{L"My Documents"}, L"My Documents", L"MYDOCU~1"},
        {{L"archive.tar.gz"}, L"archive.tar.gz", L"ARCHIV~1.GZ"},
        {{L"a+b=c.txt"}, L"a+b=c.txt", L"A_B_C~1.TXT"},
        {{L".config"}, L".config", L"CONFIG~1"},
        {{L"page.html"}, L"page.html", L"PAGE~1.HTM"},
        {{L"x y.txt"}, L"x y.txt", L"XY~1.TXT"},
        // Same stem, other extensions: no collision.
        {{L"Setup Log.txt", L"Setup Log.ini"}, L"Setup Log.ini", L"SETUPL~1.INI"},
        // Order: 1, 10, 2 ... 9 ("Document 1." sorts before "Document 10"); the tenth of
        // a run shortens its stem to stay at eight characters.
        {documents, L"Document 1.txt", L"DOCUME~1.TXT"},
        {documents, L"Document 10.txt", L"DOCUME~2.TXT"},
        {documents, L"Document 2.txt", L"DOCUME~3.TXT"},
        {documents, L"Document 8.txt", L"DOCUME~9.TXT"},
        {documents, L"Document 9.txt", L"DOCUM~10.TXT"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(std::wstring(r.expect), winsim::files::ShortName(r.folder, r.name)) << winsim::Utf8(r.name);
}

TEST(FilesShortName, ValidNames) {
    struct Row {
        const wchar_t* name;
        bool valid;
    };
    const Row rows[] = {
        {L"README.TXT", true}, {L"readme.txt", true}, {L"A", true},      {L"ABCDEFGH.IJK", true},
        {L"ABCDEFGHI", false}, {L"A.BCDE", false},    {L"A.B.C", false}, {L"MY FILE", false},
        {L"A+B", false},       {L".profile", false},  {L"x.", false},    {L"caf\u00e9", false},
    };
    for (const auto& r : rows) EXPECT_EQ(r.valid, winsim::files::IsValid83(r.name)) << winsim::Utf8(r.name);
}

TEST_F(FilesPathTest, ShortAndLongPathNamesBothWays) {
    struct Row {
        const wchar_t* in;
        const wchar_t* short_form;
        const wchar_t* long_form;
    };
    const Row rows[] = {
        {L"C:\\Program Files", L"C:\\PROGRA~1", L"C:\\Program Files"},
        {L"C:\\Program Files (x86)\\Common Files\\", L"C:\\PROGRA~2\\COMMON~1\\",
         L"C:\\Program Files (x86)\\Common Files\\"},
        {L"C:\\PROGRA~2\\COMMON~1", L"C:\\PROGRA~2\\COMMON~1", L"C:\\Program Files (x86)\\Common Files"},
        {L"c:\\progra~3", L"c:\\progra~3", L"c:\\ProgramData"},
        {L"C:\\Windows\\System32", L"C:\\Windows\\System32", L"C:\\Windows\\System32"},  // 8.3 already
        {L"c:\\WINDOWS\\system32", L"c:\\WINDOWS\\system32", L"c:\\WINDOWS\\system32"},  // case as given
    };
    WCHAR buf[MAX_PATH];
    for (const auto& r : rows) {
        DWORD n = GetShortPathNameW(r.in, buf, MAX_PATH);
        EXPECT_EQ(wcslen(r.short_form), n) << winsim::Utf8(r.in);
        EXPECT_STREQ(r.short_form, buf) << winsim::Utf8(r.in);
        n = GetLongPathNameW(r.in, buf, MAX_PATH);
        EXPECT_EQ(wcslen(r.long_form), n) << winsim::Utf8(r.in);
        EXPECT_STREQ(r.long_form, buf) << winsim::Utf8(r.in);
    }
    // Too small a buffer: the size needed with the terminator.
    EXPECT_EQ(12u, GetShortPathNameW(L"C:\\Program Files", buf, 5));
    EXPECT_EQ(0u, GetShortPathNameW(L"C:\\Program Files\\missing", buf, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0u, GetLongPathNameW(L"C:\\NOSUCH~1\\x", buf, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesPathTest, ShortNamesResolveAsInput) {
    HANDLE h = CreateFileW(L"C:\\PROGRA~1\\Tool Settings.ini", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_EQ(std::vector<std::string>({"Common Files", "Tool Settings.ini"}), HostEntries(drive_c + "/Program Files"));
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesW(L"c:\\progra~1\\toolse~1.ini"));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(L"C:\\PROGRA~2"));
}

// ---------------------------------------------------------------------------------------
// Wildcards

TEST(FilesPattern, WindowsWildcardRules) {
    struct Row {
        const wchar_t* pattern;
        const wchar_t* name;
        bool match;
    };
    const Row rows[] = {
        {L"*", L"a", true},
        {L"*", L".", true},
        {L"*.*", L"noext", true},  // "*.*" takes names without a period too
        {L"*.*", L"a.b.c", true},
        {L"*.", L"noext", true},  // "*." takes only names without an extension
        {L"*.", L"a.txt", false},
        {L"*.txt", L"A.TXT", true},
        {L"*.txt", L"a.txt.bak", false},
        {L"*.txt", L"a.b.txt", true},
        {L"oem*?.inf", L"oem1.inf", true},
        {L"oem*?.inf", L"oem12.inf", true},
        {L"oem*?.inf", L"oem.inf", true},  // '?' before the period may match nothing
        {L"oem*?.inf", L"oem1.pnf", false},
        {L"oem*?.inf", L"xoem1.inf", false},
        {L"a?c", L"abc", true},
        {L"a?c", L"ac", false},
        {L"file?.txt", L"file.txt", true},
        {L"file?.txt", L"file12.txt", false},
        {L"??", L"a", true},  // '?' at the end of a name matches nothing
        {L"*.?", L"a", true},
        {L"*.?", L"a.bc", false},
        {L".*", L".hidden", true},
        {L"a*", L".", false},
        {L"setupapi.*", L"setupapi.dev.log", true},
        {L"MACHINE.INF", L"machine.inf", true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.match, winsim::files::MatchPattern(r.pattern, r.name))
            << winsim::Utf8(r.pattern) << " vs " << winsim::Utf8(r.name);
}

// ---------------------------------------------------------------------------------------
// WOW64 redirection

class FilesWow64Test : public ::testing::Test {
protected:
    static winsim::ProcessOptions Options32() {
        winsim::ProcessOptions o;
        o.image = L"C:\\Program Files (x86)\\Tool\\tool32.exe";
        o.image64 = false;
        return o;
    }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    bool ready = Prepare();
    winsim::ProcessScope scope{*machine, Options32()};

    bool Prepare() {
        auto& m = *machine;
        return winsim::files::CreateFolders(m, L"C:\\Program Files (x86)\\Tool") &&
               winsim::files::WriteBytes(m, L"C:\\Windows\\System32\\only64.dll", "64") &&
               winsim::files::WriteBytes(m, L"C:\\Windows\\SysWOW64\\only32.dll", "32") &&
               winsim::files::WriteBytes(m, L"C:\\Windows\\System32\\drivers\\etc\\hosts", "h");
    }
    static bool Visible(const wchar_t* p) { return GetFileAttributesW(p) != INVALID_FILE_ATTRIBUTES; }
};

struct Wow64Row {
    const wchar_t* path;
    bool redirected;  // visible with redirection on
    bool native;      // visible with redirection off
};

const Wow64Row kWow64Rows[] = {
    {L"C:\\Windows\\System32\\only32.dll", true, false},
    {L"c:\\windows\\SYSTEM32\\only64.dll", false, true},
    {L"C:\\Windows\\SysWOW64\\only32.dll", true, true},
    {L"C:\\Windows\\Sysnative\\only64.dll", true, true},          // the native folder's alias
    {L"C:\\Windows\\System32\\drivers\\etc\\hosts", true, true},  // exempt from redirection
    {L"\\\\?\\C:\\Windows\\System32\\only32.dll", true, false},
};

TEST_F(FilesWow64Test, RedirectsSystem32UntilDisabledOnTheThread) {
    ASSERT_TRUE(ready);
    for (const auto& r : kWow64Rows) EXPECT_EQ(r.redirected, Visible(r.path)) << winsim::Utf8(r.path);
    PVOID old = nullptr;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old));
    for (const auto& r : kWow64Rows) EXPECT_EQ(r.native, Visible(r.path)) << winsim::Utf8(r.path);

    // Another thread of the process still sees the redirected folder.
    struct Probe {
        static DWORD WINAPI Run(LPVOID) { return Visible(L"C:\\Windows\\System32\\only32.dll") ? 1 : 0; }
    };
    HANDLE t = CreateThread(nullptr, 0, Probe::Run, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, t);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, INFINITE));
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(1u, code);
    CloseHandle(t);

    // Nested disabling: only the outermost revert turns redirection on again.
    PVOID inner = nullptr;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&inner));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(inner));
    EXPECT_TRUE(Visible(L"C:\\Windows\\System32\\only64.dll"));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(old));
    for (const auto& r : kWow64Rows) EXPECT_EQ(r.redirected, Visible(r.path)) << winsim::Utf8(r.path);

    EXPECT_TRUE(Wow64EnableWow64FsRedirection(FALSE));
    EXPECT_TRUE(Visible(L"C:\\Windows\\System32\\only64.dll"));
    EXPECT_TRUE(Wow64EnableWow64FsRedirection(TRUE));
    EXPECT_FALSE(Visible(L"C:\\Windows\\System32\\only64.dll"));
}

TEST_F(FilesWow64Test, RedirectionCoversCreationAndListing) {
    ASSERT_TRUE(ready);
    HANDLE h = CreateFileW(L"C:\\Windows\\System32\\new32.dat", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_TRUE(winsim::files::Exists(*machine, L"C:\\Windows\\SysWOW64\\new32.dat"));
    EXPECT_FALSE(winsim::files::Exists(*machine, L"C:\\Windows\\System32\\new32.dat"));
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"C:\\Windows\\System32\\*.dll", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    EXPECT_STREQ(L"only32.dll", fd.cFileName);
    EXPECT_FALSE(FindNextFileW(f, &fd));
    FindClose(f);
    // The system folder's name stays what it is on Windows.
    WCHAR buf[MAX_PATH];
    EXPECT_EQ(19u, GetSystemDirectoryW(buf, MAX_PATH));
    EXPECT_STREQ(L"C:\\Windows\\system32", buf);
}

TEST(FilesWow64, A64BitProcessHasNoRedirection) {
    auto machine = winsim::Machine::CreateInMemory();
    ASSERT_TRUE(winsim::files::WriteBytes(*machine, L"C:\\Windows\\System32\\only64.dll", "64"));
    winsim::ProcessScope scope{*machine};
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\Windows\\System32\\only64.dll"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\Windows\\Sysnative\\only64.dll"));
    PVOID old = nullptr;
    EXPECT_FALSE(Wow64DisableWow64FsRedirection(&old));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    EXPECT_FALSE(Wow64RevertWow64FsRedirection(old));
    EXPECT_FALSE(Wow64EnableWow64FsRedirection(FALSE));
}

}  // namespace
