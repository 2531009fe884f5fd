// kernel32's file functions as Windows has them, in the test's own folder: dispositions,
// the file pointer, access rights, sharing, attributes, folders, listings, temporary
// names, copies and moves.
#include "conformance.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

class FilesTest : public ConformanceTest {
protected:
    // A path in the test's folder.
    std::wstring P(const std::wstring& name) { return Path(name); }
    void Put(const std::wstring& path, const std::string& bytes) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD n = 0;
        EXPECT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
        CloseHandle(h);
    }
    std::string Get(const std::wstring& path) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<missing>";
        std::string out;
        char buf[64];
        DWORD n = 0;
        while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
        CloseHandle(h);
        return out;
    }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    static bool IsFolder(const std::wstring& path) {
        DWORD a = GetFileAttributesW(path.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    static HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disp, DWORD flags = 0) {
        return CreateFileW(path.c_str(), access, share, nullptr, disp, flags, nullptr);
    }
};

std::string ReadAll(HANDLE h) {
    std::string out;
    char buf[64];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
    return out;
}

// ---------------------------------------------------------------------------------------
// Dispositions

TEST_F(FilesTest, DispositionsAndTheirLastErrors) {
    struct Row {
        bool exists;
        DWORD disp;
        DWORD error;  // the last error after the call
        bool opened;
        const char* content;  // afterwards; null: no file
    };
    const Row rows[] = {
        {true, CREATE_NEW, ERROR_FILE_EXISTS, false, "hello"},
        {true, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, true, ""},
        {true, OPEN_EXISTING, ERROR_SUCCESS, true, "hello"},
        {true, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, true, "hello"},
        {true, TRUNCATE_EXISTING, ERROR_SUCCESS, true, ""},
        {false, CREATE_NEW, ERROR_SUCCESS, true, ""},
        {false, CREATE_ALWAYS, ERROR_SUCCESS, true, ""},
        {false, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, false, nullptr},
        {false, OPEN_ALWAYS, ERROR_SUCCESS, true, ""},
        {false, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, false, nullptr},
        {true, 0, ERROR_INVALID_PARAMETER, false, "hello"},
        {true, 6, ERROR_INVALID_PARAMETER, false, "hello"},
    };
    const std::wstring d = P(L"d.txt");
    for (const auto& r : rows) {
        DeleteFileW(d.c_str());
        if (r.exists) Put(d, "hello");
        SetLastError(12345);
        HANDLE h = Open(d, GENERIC_READ | GENERIC_WRITE, 0, r.disp);
        EXPECT_EQ(r.opened, h != INVALID_HANDLE_VALUE) << r.exists << " " << r.disp;
        EXPECT_EQ(r.error, GetLastError()) << r.exists << " " << r.disp;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (r.content)
            EXPECT_EQ(r.content, Get(d)) << r.exists << " " << r.disp;
        else
            EXPECT_FALSE(Exists(d)) << r.exists << " " << r.disp;
    }
}

TEST_F(FilesTest, FoldersOpenOnlyWithBackupSemantics) {
    const std::wstring folder = P(L"Folder");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    HANDLE h = Open(folder, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    h = Open(folder + L"\\", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(FILE_TYPE_DISK), GetFileType(h));
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), info.dwFileAttributes);
    DWORD n;
    char c;
    EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
    CloseHandle(h);
    // A file named with a trailing separator is no file.
    Put(P(L"plain.txt"), "p");
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(P(L"plain.txt\\"), GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(P(L"plain.txt\\").c_str()));
}

// ---------------------------------------------------------------------------------------
// Reads, writes and the file pointer

TEST_F(FilesTest, ReadWriteAndFilePointer) {
    HANDLE h = Open(P(L"rw.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(11u, n);
    EXPECT_EQ(11u, GetFileSize(h, nullptr));
    EXPECT_EQ(6u, SetFilePointer(h, 6, nullptr, FILE_BEGIN));
    char buf[16] = {};
    ASSERT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
    EXPECT_EQ(std::string("world"), std::string(buf, n));
    // At the end a synchronous read succeeds with nothing.
    ASSERT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(h, -20, nullptr, FILE_CURRENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
    EXPECT_EQ(9u, SetFilePointer(h, -2, nullptr, FILE_END));
    LONG high = 1;  // 4 GiB + 5 (beyond the end is allowed)
    EXPECT_EQ(5u, SetFilePointer(h, 5, &high, FILE_BEGIN));
    EXPECT_EQ(1, high);
    LARGE_INTEGER to, pos;
    to.QuadPart = 5;
    ASSERT_TRUE(SetFilePointerEx(h, to, &pos, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(5, size.QuadPart);
    // With an OVERLAPPED record the offset comes from it.
    OVERLAPPED ov = {};
    ov.Offset = 1;
    ASSERT_TRUE(WriteFile(h, "EL", 2, &n, &ov));
    EXPECT_EQ(2u, ov.InternalHigh);
    ov.Offset = 5;
    EXPECT_FALSE(ReadFile(h, buf, 4, &n, &ov));
    EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), GetLastError());
    CloseHandle(h);
    EXPECT_EQ("hELlo", Get(P(L"rw.bin")));
}

TEST_F(FilesTest, AccessRightsOfTheHandleAreEnforced) {
    const std::wstring log = P(L"a.log");
    Put(log, "one\n");
    HANDLE r = Open(log, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    DWORD n;
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(FlushFileBuffers(r));
    HANDLE w = Open(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    char c;
    EXPECT_FALSE(ReadFile(w, &c, 1, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    // Append-only access writes at the end wherever the pointer is.
    HANDLE a = Open(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, a);
    ASSERT_TRUE(WriteFile(a, "two\n", 4, &n, nullptr));
    ASSERT_TRUE(WriteFile(a, "three\n", 6, &n, nullptr));
    EXPECT_EQ("one\ntwo\nthree\n", ReadAll(r));
    CloseHandle(a);
    CloseHandle(w);
    CloseHandle(r);
    EXPECT_FALSE(CloseHandle(r));
}

// ---------------------------------------------------------------------------------------
// Sharing

TEST_F(FilesTest, SharingModesAcrossOpenHandles) {
    constexpr DWORD R = FILE_SHARE_READ, W = FILE_SHARE_WRITE, D = FILE_SHARE_DELETE;
    struct Row {
        DWORD access1, share1, access2, share2;
        bool second_opens;
    };
    const Row rows[] = {
        {GENERIC_READ, R, GENERIC_READ, R, true},
        {GENERIC_READ, R, GENERIC_WRITE, R | W, false},  // the first refuses writers
        {GENERIC_WRITE, R, GENERIC_READ, R, false},      // the second refuses the first's writing
        {GENERIC_WRITE, R, GENERIC_READ, R | W, true},
        {GENERIC_READ | GENERIC_WRITE, 0, GENERIC_READ, R | W, false},
        {GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, true},  // attribute-only opens never conflict
        {GENERIC_READ, R, DELETE, R | W | D, false},
        {GENERIC_READ, R | D, DELETE, R | W | D, true},
    };
    const std::wstring s = P(L"s.txt"), upper = P(L"S.TXT");
    Put(s, "s");
    for (const auto& r : rows) {
        HANDLE a = Open(s, r.access1, r.share1, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, a);
        HANDLE b = Open(upper, r.access2, r.share2, OPEN_EXISTING);
        EXPECT_EQ(r.second_opens, b != INVALID_HANDLE_VALUE)
            << r.access1 << "/" << r.share1 << " then " << r.access2 << "/" << r.share2;
        if (b == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        } else {
            CloseHandle(b);
        }
        CloseHandle(a);
        // Once the first is closed the second opens.
        b = Open(s, r.access2, r.share2, OPEN_EXISTING);
        EXPECT_NE(INVALID_HANDLE_VALUE, b);
        CloseHandle(b);
    }
}

TEST_F(FilesTest, OpenFilesRefuseDeleteAndMoveWithoutShareDelete) {
    const std::wstring busy = P(L"busy.txt");
    Put(busy, "b");
    HANDLE h = Open(busy, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(DeleteFileW(busy.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(MoveFileW(busy.c_str(), P(L"moved.txt").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    // A duplicated handle keeps the file open after the first is closed.
    HANDLE dup = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS));
    CloseHandle(h);
    EXPECT_FALSE(DeleteFileW(busy.c_str()));
    CloseHandle(dup);
    EXPECT_TRUE(DeleteFileW(busy.c_str()));
}

// ---------------------------------------------------------------------------------------
// Attributes

const char* const kArchive =
    "SetFileAttributesW sets the attributes given (FILE_ATTRIBUTE_NORMAL: no other attribute set); Wine reports "
    "FILE_ATTRIBUTE_ARCHIVE on every file";

TEST_F(FilesTest, ReadOnlyFilesRefuseChanges) {
    const std::wstring ro = P(L"ro.txt"), other = P(L"other.txt");
    Put(ro, "keep");
    Put(other, "other");
    ASSERT_TRUE(SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              GetFileAttributesW(P(L"RO.TXT").c_str()));
    struct Row {
        const char* what;
        std::function<BOOL()> op;
    };
    auto opened = [](HANDLE h) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
    };
    const Row refused[] = {
        {"DeleteFileW", [&] { return DeleteFileW(ro.c_str()); }},
        {"open for writing", [&] { return opened(Open(ro, GENERIC_WRITE, 0, OPEN_EXISTING)); }},
        {"CREATE_ALWAYS", [&] { return opened(Open(ro, GENERIC_READ, 0, CREATE_ALWAYS)); }},
        {"MoveFileExW onto it", [&] { return MoveFileExW(other.c_str(), ro.c_str(), MOVEFILE_REPLACE_EXISTING); }},
        {"CopyFileW onto it", [&] { return CopyFileW(other.c_str(), ro.c_str(), FALSE); }},
    };
    if (!WINE_LACKS("FILE_ATTRIBUTE_READONLY: applications can read the file but cannot write to it or delete it; "
                    "Wine leaves that to the host's permissions, which do not stop root")) {
        for (const auto& r : refused) {
            SetLastError(0);
            EXPECT_FALSE(r.op()) << r.what;
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << r.what;
        }
        EXPECT_EQ("keep", Get(ro));
    }
    HANDLE h = Open(ro, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    ASSERT_TRUE(SetFileAttributesW((L"\\\\?\\" + ro).c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(
        WINE_DIFFERS(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), kArchive),
        GetFileAttributesW(ro.c_str()));
    EXPECT_TRUE(DeleteFileW(ro.c_str()));
    // Hidden files cannot be overwritten with CREATE_ALWAYS unless the caller says hidden.
    const std::wstring hidden = P(L"h.txt");
    Put(hidden, "h");
    ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    h = Open(hidden, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!WINE_LACKS("CreateFileW: CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL fails with ERROR_ACCESS_DENIED on an "
                    "existing file that has FILE_ATTRIBUTE_HIDDEN; Wine overwrites it")) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, h);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = Open(hidden, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(hidden.c_str()));
}

// ---------------------------------------------------------------------------------------
// Folders

class FolderTest : public FilesTest {
protected:
    FolderTest() { GetCurrentDirectoryW(MAX_PATH, cwd_); }
    ~FolderTest() override { SetCurrentDirectoryW(cwd_); }

private:
    WCHAR cwd_[MAX_PATH];
};

TEST_F(FolderTest, CreateAndRemoveFolders) {
    struct Row {
        const char* what;
        std::function<BOOL()> op;
        DWORD error;
    };
    Put(P(L"f.txt"), "f");
    ASSERT_TRUE(CreateDirectoryW(P(L"Full").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(P(L"Full\\Sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(P(L"Cwd").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryW(P(L"Cwd").c_str()));
    const Row rows[] = {
        {"create new", [&] { return CreateDirectoryW(P(L"New").c_str(), nullptr); }, 0},
        {"create existing", [&] { return CreateDirectoryW(P(L"new").c_str(), nullptr); }, ERROR_ALREADY_EXISTS},
        {"create over a file", [&] { return CreateDirectoryW(P(L"f.txt").c_str(), nullptr); }, ERROR_ALREADY_EXISTS},
        {"create in a missing folder", [&] { return CreateDirectoryW(P(L"Missing\\New").c_str(), nullptr); },
         ERROR_PATH_NOT_FOUND},
        {"remove non-empty", [&] { return RemoveDirectoryW(P(L"Full").c_str()); }, ERROR_DIR_NOT_EMPTY},
        {"remove a file", [&] { return RemoveDirectoryW(P(L"f.txt").c_str()); }, ERROR_DIRECTORY},
        {"remove missing", [&] { return RemoveDirectoryW(P(L"Missing").c_str()); }, ERROR_FILE_NOT_FOUND},
        {"remove the current directory", [&] { return RemoveDirectoryW(P(L"cwd").c_str()); }, ERROR_SHARING_VIOLATION},
        {"remove empty", [&] { return RemoveDirectoryW(P(L"Full\\Sub").c_str()); }, 0},
        {"delete a folder as a file", [&] { return DeleteFileW(P(L"New").c_str()); }, ERROR_ACCESS_DENIED},
    };
    for (const auto& r : rows) {
        SetLastError(0);
        EXPECT_EQ(r.error == 0, r.op() != FALSE) << r.what;
        EXPECT_EQ(r.error, GetLastError()) << r.what;
    }
    EXPECT_TRUE(IsFolder(P(L"New")));
    EXPECT_FALSE(Exists(P(L"Full\\Sub")));
}

// ---------------------------------------------------------------------------------------
// Listings

TEST_F(FilesTest, FindFirstFilePatterns) {
    const std::wstring inf = P(L"INF");
    ASSERT_TRUE(CreateDirectoryW(inf.c_str(), nullptr));
    for (const wchar_t* n : {L"oem0.inf", L"oem1.pnf", L"oem12.inf", L"OEM2.INF", L"machine.inf", L"setupapi.dev.log",
                             L"noext", L"usbstor.infx"})
        Put(inf + L"\\" + n, "x");
    ASSERT_TRUE(CreateDirectoryW((inf + L"\\en-US").c_str(), nullptr));
    struct Row {
        std::wstring pattern;
        std::vector<std::wstring> names;
    };
    const std::vector<std::wstring> all = {
        L".",        L"..",        L"en-US",    L"machine.inf",      L"noext",       L"oem0.inf",
        L"oem1.pnf", L"oem12.inf", L"OEM2.INF", L"setupapi.dev.log", L"usbstor.infx"};
    std::wstring slashed = inf;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    const Row rows[] = {
        {inf + L"\\oem*?.inf", {L"oem0.inf", L"oem12.inf", L"OEM2.INF"}},
        {inf + L"\\oem?.inf", {L"oem0.inf", L"OEM2.INF"}},
        {inf + L"\\*.*", all},
        {inf + L"\\*", all},
        {slashed + L"/*.inf", {L"machine.inf", L"oem0.inf", L"oem12.inf", L"OEM2.INF", L"usbstor.infx"}},
        {inf + L"\\*.inf", {L"machine.inf", L"oem0.inf", L"oem12.inf", L"OEM2.INF", L"usbstor.infx"}},
        {inf + L"\\setupapi.*", {L"setupapi.dev.log"}},
        {inf + L"\\MACHINE.INF", {L"machine.inf"}},
        {inf, {L"INF"}},
        {inf + L"\\en-us", {L"en-US"}},
    };
    auto list = [](const std::wstring& pattern, std::vector<std::wstring>* got) {
        WIN32_FIND_DATAW fd;
        HANDLE f = FindFirstFileW(pattern.c_str(), &fd);
        if (f == INVALID_HANDLE_VALUE) return false;
        do got->push_back(fd.cFileName);
        while (FindNextFileW(f, &fd));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
        EXPECT_TRUE(FindClose(f));
        std::sort(got->begin(), got->end(), [](const std::wstring& a, const std::wstring& b) {
            return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
        });
        return true;
    };
    for (const auto& r : rows) {
        if (r.pattern.find(L"*?") != std::wstring::npos &&
            WINE_LACKS("FindFirstFileW: * matches zero or more characters and ? one; Wine finds nothing for "
                       "\"oem*?.inf\"")) {
            continue;
        }
        std::vector<std::wstring> got;
        EXPECT_TRUE(list(r.pattern, &got)) << r.pattern;
        EXPECT_EQ(r.names, got) << r.pattern;  // in the order of the names, which the file system does not promise
    }
    struct Bad {
        std::wstring pattern;
        DWORD error;
    };
    const Bad bad[] = {
        {inf + L"\\nothing*", ERROR_FILE_NOT_FOUND},
        {P(L"NoSuchDir\\*"), ERROR_PATH_NOT_FOUND},
        {inf + L"\\", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& b : bad) {
        WIN32_FIND_DATAW fd;
        EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(b.pattern.c_str(), &fd)) << b.pattern;
        EXPECT_EQ(b.error, GetLastError()) << b.pattern;
    }
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((inf + L"\\setup*").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    EXPECT_EQ(1u, fd.nFileSizeLow);
    EXPECT_TRUE(FindClose(f));
}

// ---------------------------------------------------------------------------------------
// Temporary file names

TEST_F(FilesTest, TempFileNames) {
    WCHAR name[MAX_PATH];
    UINT unique = GetTempFileNameW(Dir().c_str(), L"setup", 0, name);
    ASSERT_NE(0u, unique);
    WCHAR want[MAX_PATH];
    wsprintfW(want, L"%s\\set%X.tmp", Dir().c_str(), unique);
    EXPECT_EQ(0, lstrcmpiW(want, name)) << name;  // the first three characters of the prefix
    EXPECT_TRUE(Exists(name));
    // A given number names a file without creating it; only its low 16 bits count.
    EXPECT_EQ(0xBEEFu, GetTempFileNameW((Dir() + L"\\").c_str(), L"x", 0x1BEEF, name));
    EXPECT_EQ(0, lstrcmpiW((Dir() + L"\\xBEEF.tmp").c_str(), name)) << name;
    EXPECT_FALSE(Exists(name));
    EXPECT_EQ(0u, GetTempFileNameW(P(L"Missing").c_str(), L"x", 0, name));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
}

// ---------------------------------------------------------------------------------------
// Copies and moves

TEST_F(FilesTest, CopyFile) {
    const std::wstring src = P(L"src.txt"), dst = P(L"dst.txt");
    Put(src, "source");
    Put(dst, "old");
    ASSERT_TRUE(SetFileAttributesW(src.c_str(), FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(CopyFileW(src.c_str(), dst.c_str(), TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_EQ("old", Get(dst));
    EXPECT_TRUE(CopyFileW(src.c_str(), P(L"DST.TXT").c_str(), FALSE));
    EXPECT_EQ("source", Get(dst));
    EXPECT_EQ(WINE_DIFFERS(static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE),
                           static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE),
                           "CopyFileW: the existing file's attributes are copied to the new file; Wine leaves them"),
              GetFileAttributesW(dst.c_str()));
    EXPECT_FALSE(CopyFileW(P(L"missing.txt").c_str(), P(L"x.txt").c_str(), FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CopyFileW(src.c_str(), P(L"Missing\\x.txt").c_str(), FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CopyFileW(src.c_str(), src.c_str(), FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

TEST_F(FilesTest, MoveFileEx) {
    const std::wstring a = P(L"a.txt"), b = P(L"b.txt"), folder = P(L"Folder");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    struct Row {
        const char* what;
        std::wstring from;
        const wchar_t* to;
        DWORD flags;
        DWORD error;
        const char* target_content;
    };
    const std::wstring none = P(L"none.txt"), missing = P(L"Missing\\b.txt");
    const Row rows[] = {
        {"onto an existing file", a, b.c_str(), 0, ERROR_ALREADY_EXISTS, "B"},
        {"replacing", a, b.c_str(), MOVEFILE_REPLACE_EXISTING, 0, "A"},
        {"onto a folder", a, folder.c_str(), MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED, nullptr},
        {"missing source", none, b.c_str(), 0, ERROR_FILE_NOT_FOUND, "B"},
        {"into a missing folder", a, missing.c_str(), 0, ERROR_PATH_NOT_FOUND, nullptr},
        {"delay with copy", a, b.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED, ERROR_INVALID_PARAMETER,
         "B"},
    };
    for (const auto& r : rows) {
        DeleteFileW(b.c_str());
        Put(a, "A");
        Put(b, "B");
        BOOL ok = MoveFileExW(r.from.c_str(), r.to, r.flags);
        if (r.flags == (MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED) &&
            WINE_LACKS("MoveFileExW: MOVEFILE_COPY_ALLOWED cannot be used with MOVEFILE_DELAY_UNTIL_REBOOT; Wine "
                       "takes both")) {
            continue;
        }
        EXPECT_EQ(r.error == 0, ok != FALSE) << r.what;
        if (r.error) {
            EXPECT_EQ(r.error, GetLastError()) << r.what;
        }
        if (r.target_content) {
            EXPECT_EQ(r.target_content, Get(r.to)) << r.what;
        }
        EXPECT_EQ(r.error != 0, Exists(a)) << r.what;
    }
}

TEST_F(FilesTest, MovedFoldersCarryTheirContents) {
    ASSERT_TRUE(CreateDirectoryW(P(L"D1").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(P(L"D1\\Sub").c_str(), nullptr));
    Put(P(L"D1\\Sub\\f.txt"), "f");
    ASSERT_TRUE(SetFileAttributesW(P(L"D1\\Sub\\f.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(MoveFileW(P(L"D1").c_str(), P(L"D2").c_str()));
    EXPECT_EQ(WINE_DIFFERS(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN),
                           static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), kArchive),
              GetFileAttributesW(P(L"D2\\Sub\\f.txt").c_str()));
    EXPECT_FALSE(MoveFileW(P(L"D2").c_str(), P(L"D2\\Sub\\D3").c_str()));
}

}  // namespace
