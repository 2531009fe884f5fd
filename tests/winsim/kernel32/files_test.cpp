// kernel32's file functions over the file-system model: dispositions, sharing,
// attributes, listings, temporary files, copies and moves, devices.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/device.h"
#include "winsim/files.h"
#include "winsim/machine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace wf = winsim::files;

class FilesApiTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    void Put(const wchar_t* path, const std::string& bytes) {
        ASSERT_TRUE(wf::WriteBytes(*machine, path, bytes)) << winsim::Utf8(path);
    }
    std::string Get(const wchar_t* path) { return wf::ReadBytes(*machine, path).value_or("<missing>"); }
    static HANDLE Open(const wchar_t* path, DWORD access, DWORD share, DWORD disp, DWORD flags = 0) {
        return CreateFileW(path, access, share, nullptr, disp, flags, nullptr);
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

TEST_F(FilesApiTest, DispositionsAndTheirLastErrors) {
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
    for (const auto& r : rows) {
        DeleteFileW(L"C:\\d.txt");
        if (r.exists) Put(L"C:\\d.txt", "hello");
        SetLastError(12345);
        HANDLE h = Open(L"C:\\d.txt", GENERIC_READ | GENERIC_WRITE, 0, r.disp);
        EXPECT_EQ(r.opened, h != INVALID_HANDLE_VALUE) << r.exists << " " << r.disp;
        EXPECT_EQ(r.error, GetLastError()) << r.exists << " " << r.disp;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (r.content)
            EXPECT_EQ(r.content, Get(L"C:\\d.txt")) << r.exists << " " << r.disp;
        else
            EXPECT_FALSE(wf::Exists(*machine, L"C:\\d.txt")) << r.exists << " " << r.disp;
    }
}

TEST_F(FilesApiTest, FoldersOpenOnlyWithBackupSemantics) {
    HANDLE h = Open(L"C:\\Windows", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    h = Open(L"C:\\Windows\\", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
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
    Put(L"C:\\plain.txt", "p");
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"C:\\plain.txt\\", GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\plain.txt\\"));
}

// ---------------------------------------------------------------------------------------
// Reads, writes and the file pointer

TEST_F(FilesApiTest, ReadWriteAndFilePointer) {
    HANDLE h = Open(L"C:\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
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
    EXPECT_EQ("hELlo", Get(L"C:\\rw.bin"));
}

TEST_F(FilesApiTest, AccessRightsOfTheHandleAreEnforced) {
    Put(L"C:\\a.log", "one\n");
    HANDLE r = Open(L"C:\\a.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    DWORD n;
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(FlushFileBuffers(r));
    HANDLE w = Open(L"C:\\a.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    char c;
    EXPECT_FALSE(ReadFile(w, &c, 1, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    // Append-only access writes at the end wherever the pointer is.
    HANDLE a = Open(L"C:\\a.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, a);
    ASSERT_TRUE(WriteFile(a, "two\n", 4, &n, nullptr));
    ASSERT_TRUE(WriteFile(a, "three\n", 6, &n, nullptr));
    EXPECT_EQ("one\ntwo\nthree\n", ReadAll(r));
    CloseHandle(a);
    CloseHandle(w);
    CloseHandle(r);
    EXPECT_FALSE(CloseHandle(r));
}

TEST_F(FilesApiTest, WriteTimesFollowTheMachineClock) {
    HANDLE h = Open(L"C:\\t.txt", GENERIC_WRITE, 0, CREATE_NEW);
    Sleep(90 * 1000);
    DWORD n;
    ASSERT_TRUE(WriteFile(h, "x", 1, &n, nullptr));
    FILETIME now, written;
    GetSystemTimeAsFileTime(&now);
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &written));
    CloseHandle(h);
    auto v = [](const FILETIME& f) { return static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime; };
    EXPECT_EQ(v(now) / 10000, v(written) / 10000);  // the same millisecond
    WIN32_FILE_ATTRIBUTE_DATA d;
    ASSERT_TRUE(GetFileAttributesExW(L"C:\\t.txt", GetFileExInfoStandard, &d));
    EXPECT_EQ(v(written), v(d.ftLastWriteTime));
    EXPECT_EQ(1u, d.nFileSizeLow);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), d.dwFileAttributes);
}

// ---------------------------------------------------------------------------------------
// Sharing

TEST_F(FilesApiTest, SharingModesAcrossOpenHandles) {
    constexpr DWORD R = FILE_SHARE_READ, W = FILE_SHARE_WRITE, D = FILE_SHARE_DELETE;
    struct Row {
        DWORD access1, share1, access2, share2;
        bool second_opens;
    };
    const Row rows[] = {
        {GENERIC_READ, R, GENERIC_READ, R, true},
        {GENERIC_READ, R, GENERIC_WRITE, R | W, false},          // the first refuses writers
        {GENERIC_WRITE, R, GENERIC_READ, R, false},              // the second refuses the first's writing
        {GENERIC_WRITE, R, GENERIC_READ, R | W, true},
        {GENERIC_READ | GENERIC_WRITE, 0, GENERIC_READ, R | W, false},
        {GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, true},        // attribute-only opens never conflict
        {GENERIC_READ, R, DELETE, R | W | D, false},
        {GENERIC_READ, R | D, DELETE, R | W | D, true},
    };
    Put(L"C:\\s.txt", "s");
    for (const auto& r : rows) {
        HANDLE a = Open(L"C:\\s.txt", r.access1, r.share1, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, a);
        HANDLE b = Open(L"C:\\S.TXT", r.access2, r.share2, OPEN_EXISTING);
        EXPECT_EQ(r.second_opens, b != INVALID_HANDLE_VALUE) << r.access1 << "/" << r.share1 << " then "
                                                             << r.access2 << "/" << r.share2;
        if (b == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        } else {
            CloseHandle(b);
        }
        CloseHandle(a);
        // Once the first is closed the second opens.
        b = Open(L"C:\\s.txt", r.access2, r.share2, OPEN_EXISTING);
        EXPECT_NE(INVALID_HANDLE_VALUE, b);
        CloseHandle(b);
    }
}

TEST_F(FilesApiTest, OpenFilesRefuseDeleteAndMoveWithoutShareDelete) {
    Put(L"C:\\busy.txt", "b");
    HANDLE h = Open(L"C:\\busy.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(DeleteFileW(L"C:\\busy.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(MoveFileW(L"C:\\busy.txt", L"C:\\moved.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    // A duplicated handle keeps the file open after the first is closed.
    HANDLE dup = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS));
    CloseHandle(h);
    EXPECT_FALSE(DeleteFileW(L"C:\\busy.txt"));
    CloseHandle(dup);
    EXPECT_TRUE(DeleteFileW(L"C:\\busy.txt"));
}

TEST_F(FilesApiTest, SharingHoldsAcrossProcesses) {
    Put(L"C:\\shared.dat", "x");
    auto other = machine->CreateProcess(winsim::ProcessOptions{});
    auto opened = std::make_shared<winsim::Event>(true, false);
    auto release = std::make_shared<winsim::Event>(true, false);
    HANDLE held = INVALID_HANDLE_VALUE;
    auto t = winsim::SpawnThread(*machine, other, [&]() -> DWORD {
        held = CreateFileW(L"C:\\shared.dat", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        opened->Set();
        winsim::WaitOn({release}, false, INFINITE);
        return 0;
    });
    ASSERT_EQ(WAIT_OBJECT_0, winsim::WaitOn({opened}, false, INFINITE));
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"C:\\shared.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    // The process ends with its thread and its handles close.
    release->Set();
    ASSERT_EQ(WAIT_OBJECT_0, winsim::WaitOn({t}, false, INFINITE));
    HANDLE h = Open(L"C:\\shared.dat", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
}

// ---------------------------------------------------------------------------------------
// Attributes and injected failures

TEST_F(FilesApiTest, ReadOnlyFilesRefuseChanges) {
    Put(L"C:\\ro.txt", "keep");
    Put(L"C:\\other.txt", "other");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(L"C:\\RO.TXT"));
    struct Row {
        const char* what;
        std::function<BOOL()> op;
    };
    const Row refused[] = {
        {"DeleteFileW", [] { return DeleteFileW(L"C:\\ro.txt"); }},
        {"open for writing",
         [] {
             HANDLE h = Open(L"C:\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
             if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
             return h != INVALID_HANDLE_VALUE;
         }},
        {"CREATE_ALWAYS",
         [] {
             HANDLE h = Open(L"C:\\ro.txt", GENERIC_READ, 0, CREATE_ALWAYS);
             if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
             return h != INVALID_HANDLE_VALUE;
         }},
        {"MoveFileExW onto it", [] { return MoveFileExW(L"C:\\other.txt", L"C:\\ro.txt", MOVEFILE_REPLACE_EXISTING); }},
        {"CopyFileW onto it", [] { return CopyFileW(L"C:\\other.txt", L"C:\\ro.txt", FALSE); }},
    };
    for (const auto& r : refused) {
        SetLastError(0);
        EXPECT_FALSE(r.op()) << r.what;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << r.what;
    }
    EXPECT_EQ("keep", Get(L"C:\\ro.txt"));
    HANDLE h = Open(L"C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    ASSERT_TRUE(SetFileAttributesW(L"\\\\?\\C:\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(L"C:\\ro.txt"));
    EXPECT_TRUE(DeleteFileW(L"C:\\ro.txt"));
    // Hidden files cannot be overwritten with CREATE_ALWAYS unless the caller says hidden.
    Put(L"C:\\h.txt", "h");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\h.txt", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"C:\\h.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    h = Open(L"C:\\h.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(L"C:\\h.txt"));
}

TEST_F(FilesApiTest, AttributesOfHostEntriesAndReparsePoints) {
    Put(L"C:\\host.txt", "h");
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(L"C:\\host.txt"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(L"C:\\Windows"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              GetFileAttributesW(L"C:\\"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\missing.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\Users\\User\\Application Data"));
    ASSERT_TRUE(wf::SetReparsePoint(*machine, L"C:\\Users\\User\\Application Data", true));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              GetFileAttributesW(L"C:\\Users\\User\\application data"));
    // SetFileAttributesW cannot take the reparse flag away.
    ASSERT_TRUE(SetFileAttributesW(L"C:\\Users\\User\\Application Data", FILE_ATTRIBUTE_HIDDEN));
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"C:\\Users\\User\\Appl*", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_HIDDEN),
              fd.dwFileAttributes);
    EXPECT_EQ(static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT), fd.dwReserved0);
    FindClose(f);
}

TEST_F(FilesApiTest, InjectedFailures) {
    Put(L"C:\\locked.dll", "L");
    wf::InjectFailure(*machine, L"C:\\LOCKED.DLL", wf::kFailOpen | wf::kFailDelete, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"C:\\locked.dll", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(DeleteFileW(L"C:\\locked.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(MoveFileW(L"C:\\locked.dll", L"C:\\unlocked.dll"));
    EXPECT_FALSE(CopyFileW(L"C:\\locked.dll", L"C:\\copy.dll", FALSE));
    wf::InjectFailure(*machine, L"C:\\locked.dll", wf::kFailWrite, ERROR_ACCESS_DENIED);
    HANDLE h = Open(L"C:\\locked.dll", GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD n;
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(h);
    wf::ClearFailure(*machine, L"C:\\locked.dll");
    EXPECT_TRUE(DeleteFileW(L"C:\\locked.dll"));
}

// ---------------------------------------------------------------------------------------
// Folders

TEST_F(FilesApiTest, CreateAndRemoveFolders) {
    struct Row {
        const char* what;
        std::function<BOOL()> op;
        DWORD error;
    };
    Put(L"C:\\f.txt", "f");
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\Full\\Sub"));
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\Cwd"));
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\Cwd"));
    const Row rows[] = {
        {"create new", [] { return CreateDirectoryW(L"C:\\New", nullptr); }, 0},
        {"create existing", [] { return CreateDirectoryW(L"c:\\new", nullptr); }, ERROR_ALREADY_EXISTS},
        {"create over a file", [] { return CreateDirectoryW(L"C:\\f.txt", nullptr); }, ERROR_ALREADY_EXISTS},
        {"create in a missing folder", [] { return CreateDirectoryW(L"C:\\Missing\\New", nullptr); },
         ERROR_PATH_NOT_FOUND},
        {"remove non-empty", [] { return RemoveDirectoryW(L"C:\\Full"); }, ERROR_DIR_NOT_EMPTY},
        {"remove a file", [] { return RemoveDirectoryW(L"C:\\f.txt"); }, ERROR_DIRECTORY},
        {"remove missing", [] { return RemoveDirectoryW(L"C:\\Missing"); }, ERROR_FILE_NOT_FOUND},
        {"remove the current directory", [] { return RemoveDirectoryW(L"C:\\cwd"); }, ERROR_SHARING_VIOLATION},
        {"remove empty", [] { return RemoveDirectoryW(L"C:\\Full\\Sub"); }, 0},
        {"delete a folder as a file", [] { return DeleteFileW(L"C:\\New"); }, ERROR_ACCESS_DENIED},
    };
    for (const auto& r : rows) {
        SetLastError(0);
        EXPECT_EQ(r.error == 0, r.op() != FALSE) << r.what;
        EXPECT_EQ(r.error, GetLastError()) << r.what;
    }
    EXPECT_TRUE(wf::IsDirectory(*machine, L"C:\\New"));
    EXPECT_FALSE(wf::Exists(*machine, L"C:\\Full\\Sub"));
}

// ---------------------------------------------------------------------------------------
// Listings

TEST_F(FilesApiTest, FindFirstFilePatterns) {
    for (const wchar_t* n : {L"oem0.inf", L"oem1.pnf", L"oem12.inf", L"OEM2.INF", L"machine.inf", L"setupapi.dev.log",
                             L"noext", L"usbstor.infx"})
        Put((std::wstring(L"C:\\Windows\\INF\\") + n).c_str(), "x");
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Windows\\INF\\en-US", nullptr));
    struct Row {
        const wchar_t* pattern;
        std::vector<std::wstring> names;
    };
    const std::vector<std::wstring> all = {L".",        L"..",          L"en-US",     L"machine.inf",
                                           L"noext",    L"oem0.inf",    L"oem1.pnf",  L"oem12.inf",
                                           L"OEM2.INF", L"setupapi.dev.log", L"usbstor.infx"};
    const Row rows[] = {
        {L"C:\\Windows\\INF\\oem*?.inf", {L"oem0.inf", L"oem12.inf", L"OEM2.INF"}},
        {L"C:\\Windows\\INF\\oem?.inf", {L"oem0.inf", L"OEM2.INF"}},
        // "usbstor.infx" matches through its short name USBSTO~1.INF, as on Windows.
        {L"C:\\Windows\\INF\\*.inf", {L"machine.inf", L"oem0.inf", L"oem12.inf", L"OEM2.INF", L"usbstor.infx"}},
        {L"C:\\Windows\\INF\\*.*", all},
        {L"C:\\Windows\\INF\\*", all},
        {L"c:/windows/inf/*.", {L".", L"..", L"en-US", L"noext"}},
        {L"C:\\Windows\\INF\\setupapi.*", {L"setupapi.dev.log"}},
        {L"C:\\Windows\\INF\\MACHINE.INF", {L"machine.inf"}},
        {L"C:\\Windows\\INF", {L"INF"}},
        {L"C:\\Windows\\inf\\en-us", {L"en-US"}},
    };
    for (const auto& r : rows) {
        WIN32_FIND_DATAW fd;
        std::vector<std::wstring> got;
        HANDLE f = FindFirstFileW(r.pattern, &fd);
        ASSERT_NE(INVALID_HANDLE_VALUE, f) << winsim::Utf8(r.pattern);
        do got.push_back(fd.cFileName);
        while (FindNextFileW(f, &fd));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
        EXPECT_TRUE(FindClose(f));
        EXPECT_EQ(r.names, got) << winsim::Utf8(r.pattern);
    }
    struct Bad {
        const wchar_t* pattern;
        DWORD error;
    };
    const Bad bad[] = {
        {L"C:\\Windows\\INF\\nothing*", ERROR_FILE_NOT_FOUND},
        {L"C:\\NoSuchDir\\*", ERROR_PATH_NOT_FOUND},
        {L"C:\\Windows\\INF\\", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& b : bad) {
        WIN32_FIND_DATAW fd;
        EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(b.pattern, &fd)) << winsim::Utf8(b.pattern);
        EXPECT_EQ(b.error, GetLastError()) << winsim::Utf8(b.pattern);
    }
}

TEST_F(FilesApiTest, FindDataCarriesShortNamesSizesAndNoDotsAtTheRoot) {
    Put(L"C:\\Windows\\INF\\setupapi.dev.log", "12345");
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"C:\\Windows\\INF\\setup*", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    EXPECT_STREQ(L"SETUPA~1.LOG", fd.cAlternateFileName);
    EXPECT_EQ(5u, fd.nFileSizeLow);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), fd.dwFileAttributes);
    EXPECT_TRUE(FindClose(f));
    EXPECT_FALSE(FindClose(f));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    f = FindFirstFileW(L"C:\\*", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    std::vector<std::wstring> got;
    do got.push_back(fd.cFileName);
    while (FindNextFileW(f, &fd));
    FindClose(f);
    EXPECT_EQ((std::vector<std::wstring>{L"Program Files", L"Program Files (x86)", L"ProgramData", L"Users",
                                         L"Windows"}),
              got);
}

TEST_F(FilesApiTest, ListingsAndShortPathsAgreeOnShortNames) {
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\Docs"));
    for (int i = 1; i <= 12; ++i) Put((L"C:\\Docs\\Document " + std::to_wstring(i) + L".txt").c_str(), "d");
    Put(L"C:\\Docs\\short.txt", "s");
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"C:\\Docs\\*.txt", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    int seen = 0;
    do {
        WCHAR buf[MAX_PATH];
        std::wstring path = std::wstring(L"C:\\Docs\\") + fd.cFileName;
        ASSERT_NE(0u, GetShortPathNameW(path.c_str(), buf, MAX_PATH));
        std::wstring last = std::wstring(buf).substr(8);
        EXPECT_EQ(fd.cAlternateFileName[0] ? fd.cAlternateFileName : fd.cFileName, last) << winsim::Utf8(path);
        // And the short name leads back to the file.
        WCHAR back[MAX_PATH];
        ASSERT_NE(0u, GetLongPathNameW(buf, back, MAX_PATH));
        EXPECT_EQ(path, back);
        ++seen;
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    EXPECT_EQ(13, seen);
}

// ---------------------------------------------------------------------------------------
// Temporary files and folders

TEST_F(FilesApiTest, TempFileNames) {
    WCHAR name[MAX_PATH];
    EXPECT_EQ(1u, GetTempFileNameW(L"C:\\Windows\\Temp", L"setup", 0, name));
    EXPECT_STREQ(L"C:\\Windows\\Temp\\set1.tmp", name);
    EXPECT_TRUE(wf::Exists(*machine, name));
    Put(L"C:\\Windows\\Temp\\set2.tmp", "taken");
    Put(L"C:\\Windows\\Temp\\SET3.TMP", "taken");
    EXPECT_EQ(4u, GetTempFileNameW(L"C:\\Windows\\Temp\\", L"set", 0, name));
    EXPECT_STREQ(L"C:\\Windows\\Temp\\set4.tmp", name);
    EXPECT_EQ("taken", Get(L"C:\\Windows\\Temp\\set2.tmp"));
    // A given number names a file without creating it; only its low 16 bits count.
    EXPECT_EQ(0xBEEFu, GetTempFileNameW(L"C:\\Windows\\Temp", L"x", 0x1BEEF, name));
    EXPECT_STREQ(L"C:\\Windows\\Temp\\xBEEF.tmp", name);
    EXPECT_FALSE(wf::Exists(*machine, name));
    EXPECT_EQ(0u, GetTempFileNameW(L"C:\\Missing", L"x", 0, name));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
    // The counter belongs to the machine: another process goes on from it.
    auto other = machine->CreateProcess(winsim::ProcessOptions{});
    UINT next = 0;
    auto t = winsim::SpawnThread(*machine, other, [&]() -> DWORD {
        WCHAR n2[MAX_PATH];
        next = GetTempFileNameW(L"C:\\Windows\\Temp", L"", 0, n2);
        return 0;
    });
    winsim::WaitOn({t}, false, INFINITE);
    EXPECT_EQ(5u, next);
    EXPECT_TRUE(wf::Exists(*machine, L"C:\\Windows\\Temp\\5.tmp"));
}

TEST_F(FilesApiTest, TempPathTakesTmpTempUserProfileThenWindows) {
    struct Row {
        const wchar_t* tmp;
        const wchar_t* temp;
        const wchar_t* profile;
        const wchar_t* expect;
    };
    const Row rows[] = {
        {L"C:\\Users\\User\\AppData\\Local\\Temp", L"C:\\t2", L"C:\\Users\\User",
         L"C:\\Users\\User\\AppData\\Local\\Temp\\"},
        {nullptr, L"C:\\t2\\", L"C:\\Users\\User", L"C:\\t2\\"},
        {nullptr, nullptr, L"C:\\Users\\User", L"C:\\Users\\User\\"},
        {nullptr, nullptr, nullptr, L"C:\\Windows\\"},
        {L"rel", nullptr, nullptr, L"C:\\Windows\\System32\\rel\\"},  // made full against the current directory
    };
    WCHAR buf[MAX_PATH + 1];
    for (const auto& r : rows) {
        SetEnvironmentVariableW(L"TMP", r.tmp);
        SetEnvironmentVariableW(L"TEMP", r.temp);
        SetEnvironmentVariableW(L"USERPROFILE", r.profile);
        DWORD n = GetTempPathW(MAX_PATH + 1, buf);
        EXPECT_EQ(wcslen(r.expect), n) << winsim::Utf8(r.expect);
        EXPECT_STREQ(r.expect, buf);
        // Too small: the size needed with the terminator; exactly enough: the length.
        EXPECT_EQ(n + 1, GetTempPathW(n, buf));
        EXPECT_EQ(n, GetTempPathW(n + 1, buf));
    }
}

TEST_F(FilesApiTest, SystemFoldersDrivesAndSpace) {
    struct Row {
        UINT(WINAPI* fn)(LPWSTR, UINT);
        const wchar_t* expect;
    };
    const Row rows[] = {
        {GetWindowsDirectoryW, L"C:\\Windows"},
        {GetSystemWindowsDirectoryW, L"C:\\Windows"},
        {GetSystemDirectoryW, L"C:\\Windows\\system32"},
        {GetSystemWow64DirectoryW, L"C:\\Windows\\SysWOW64"},
    };
    WCHAR buf[MAX_PATH];
    for (const auto& r : rows) {
        UINT len = static_cast<UINT>(wcslen(r.expect));
        EXPECT_EQ(len, r.fn(buf, MAX_PATH));
        EXPECT_STREQ(r.expect, buf);
        EXPECT_EQ(len + 1, r.fn(buf, len));
    }
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeW(L"C:\\"));
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeW(nullptr));
    EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeW(L"Q:\\"));
    ULARGE_INTEGER caller, total, free_all;
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\Windows\\", &caller, &total, &free_all));
    EXPECT_GT(total.QuadPart, caller.QuadPart);
    EXPECT_GT(caller.QuadPart, 1ULL << 32);
    EXPECT_FALSE(GetDiskFreeSpaceExW(L"C:\\Missing\\", &caller, &total, &free_all));
}

TEST(FilesProfile, BareMachineFolders) {
    auto machine = winsim::Machine::CreateInMemory("bare");
    for (const wchar_t* p : {L"C:\\Windows\\System32\\config\\systemprofile", L"C:\\Windows\\SysWOW64",
                             L"C:\\Windows\\inf", L"C:\\Windows\\Temp", L"C:\\Program Files", L"C:\\Program Files (x86)",
                             L"C:\\ProgramData", L"C:\\Users\\Public", L"C:\\Users\\User\\AppData\\Local\\Temp",
                             L"C:\\Users\\User\\AppData\\Roaming", L"C:\\Users\\User\\Desktop"})
        EXPECT_TRUE(wf::IsDirectory(*machine, p)) << winsim::Utf8(p);
    ASSERT_TRUE(wf::WriteBytes(*machine, L"C:\\Windows\\extra.txt", "x"));
    machine->Reset("tablet");
    EXPECT_FALSE(wf::Exists(*machine, L"C:\\Windows\\extra.txt"));
    EXPECT_TRUE(wf::IsDirectory(*machine, L"C:\\Users\\User\\Desktop"));
}

// ---------------------------------------------------------------------------------------
// Copies and moves

TEST_F(FilesApiTest, CopyFile) {
    Put(L"C:\\src.txt", "source");
    Put(L"C:\\dst.txt", "old");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\src.txt", FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(CopyFileW(L"C:\\src.txt", L"C:\\dst.txt", TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_EQ("old", Get(L"C:\\dst.txt"));
    EXPECT_TRUE(CopyFileW(L"C:\\src.txt", L"C:\\DST.TXT", FALSE));
    EXPECT_EQ("source", Get(L"C:\\dst.txt"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(L"C:\\dst.txt"));
    EXPECT_FALSE(CopyFileW(L"C:\\missing.txt", L"C:\\x.txt", FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CopyFileW(L"C:\\src.txt", L"C:\\Missing\\x.txt", FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CopyFileW(L"C:\\src.txt", L"C:\\src.txt", FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

TEST_F(FilesApiTest, MoveFileEx) {
    struct Row {
        const char* what;
        const wchar_t* from;
        const wchar_t* to;
        DWORD flags;
        DWORD error;
        const char* target_content;
    };
    const Row rows[] = {
        {"onto an existing file", L"C:\\a.txt", L"C:\\b.txt", 0, ERROR_ALREADY_EXISTS, "B"},
        {"replacing", L"C:\\a.txt", L"C:\\b.txt", MOVEFILE_REPLACE_EXISTING, 0, "A"},
        {"onto a folder", L"C:\\a.txt", L"C:\\Windows", MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED, nullptr},
        {"missing source", L"C:\\none.txt", L"C:\\b.txt", 0, ERROR_FILE_NOT_FOUND, "B"},
        {"into a missing folder", L"C:\\a.txt", L"C:\\Missing\\b.txt", 0, ERROR_PATH_NOT_FOUND, nullptr},
        {"no target without delay", L"C:\\a.txt", nullptr, 0, ERROR_INVALID_PARAMETER, nullptr},
        {"delay with copy", L"C:\\a.txt", L"C:\\b.txt", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED,
         ERROR_INVALID_PARAMETER, "B"},
    };
    for (const auto& r : rows) {
        DeleteFileW(L"C:\\b.txt");
        Put(L"C:\\a.txt", "A");
        Put(L"C:\\b.txt", "B");
        BOOL ok = MoveFileExW(r.from, r.to, r.flags);
        EXPECT_EQ(r.error == 0, ok != FALSE) << r.what;
        if (r.error) {
            EXPECT_EQ(r.error, GetLastError()) << r.what;
        }
        if (r.target_content) {
            EXPECT_EQ(r.target_content, Get(r.to)) << r.what;
        }
        EXPECT_EQ(r.error != 0, wf::Exists(*machine, L"C:\\a.txt")) << r.what;
    }
}

TEST_F(FilesApiTest, MovesChangeCaseCarryAttributesAndCrossDrivesOnlyByCopy) {
    Put(L"C:\\name.txt", "n");
    ASSERT_TRUE(MoveFileW(L"C:\\name.txt", L"C:\\NAME.TXT"));
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"C:\\name.txt", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    EXPECT_STREQ(L"NAME.TXT", fd.cFileName);
    FindClose(f);

    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\D1\\Sub"));
    Put(L"C:\\D1\\Sub\\f.txt", "f");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\D1\\Sub\\f.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(MoveFileW(L"C:\\D1", L"C:\\D2"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesW(L"C:\\D2\\Sub\\f.txt"));
    EXPECT_FALSE(MoveFileW(L"C:\\D2", L"C:\\D2\\Sub\\D3"));

    // Z: is another volume: the machine's own folder lies outside drive C:.
    std::wstring z = wf::WindowsPath(*machine, machine->folder()) + L"\\moved.txt";
    EXPECT_EQ(L'Z', z[0]);
    EXPECT_FALSE(MoveFileExW(L"C:\\NAME.TXT", z.c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SAME_DEVICE), GetLastError());
    EXPECT_FALSE(MoveFileExW(L"C:\\D2", (z + L"dir").c_str(), MOVEFILE_COPY_ALLOWED));
    EXPECT_TRUE(MoveFileW(L"C:\\NAME.TXT", z.c_str()));
    EXPECT_EQ("n", Get(z.c_str()));
    EXPECT_FALSE(wf::Exists(*machine, L"C:\\NAME.TXT"));
}

TEST_F(FilesApiTest, DelayUntilRebootRecordsPendingOperations) {
    Put(L"C:\\Windows\\System32\\old.sys", "old");
    Put(L"C:\\Windows\\Temp\\new.sys", "new");
    Put(L"C:\\Windows\\Temp\\junk.tmp", "junk");
    ASSERT_TRUE(MoveFileExW(L"C:\\Windows\\Temp\\junk.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(L"c:\\windows\\temp\\NEW.SYS", L"C:\\Windows\\System32\\old.sys",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(MoveFileExW(L"C:\\Windows\\Temp\\none.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    // Nothing happens before the restart.
    EXPECT_EQ("junk", Get(L"C:\\Windows\\Temp\\junk.tmp"));
    EXPECT_EQ("old", Get(L"C:\\Windows\\System32\\old.sys"));
    auto ops = wf::PendingOperations(*machine);
    ASSERT_EQ(2u, ops.size());
    EXPECT_EQ(L"C:\\Windows\\Temp\\junk.tmp", ops[0].source);
    EXPECT_EQ(L"", ops[0].target);
    EXPECT_EQ(L"C:\\Windows\\Temp\\new.sys", ops[1].source);  // the on-disk names
    EXPECT_EQ((std::vector<std::wstring>{L"\\??\\C:\\Windows\\Temp\\junk.tmp", L"",
                                         L"\\??\\C:\\Windows\\Temp\\new.sys", L"!\\??\\C:\\Windows\\System32\\old.sys"}),
              wf::PendingFileRenameStrings(*machine));
    EXPECT_EQ(2u, wf::RunPendingOperations(*machine));
    EXPECT_FALSE(wf::Exists(*machine, L"C:\\Windows\\Temp\\junk.tmp"));
    EXPECT_EQ("new", Get(L"C:\\Windows\\System32\\old.sys"));
    EXPECT_TRUE(wf::PendingOperations(*machine).empty());
}

TEST(FilesPersistence, PendingOperationsAndAttributesSurviveReopening) {
    char tmpl[] = "/tmp/winsim-files-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string folder = tmpl;
    {
        auto m = winsim::Machine::Open(folder, "bare");
        winsim::ProcessScope scope{*m};
        ASSERT_TRUE(wf::WriteBytes(*m, L"C:\\Windows\\Temp\\x.tmp", "x"));
        ASSERT_TRUE(SetFileAttributesW(L"C:\\Windows\\Temp\\x.tmp", FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(MoveFileExW(L"C:\\Windows\\Temp\\x.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    }
    {
        auto m = winsim::Machine::Open(folder);
        EXPECT_EQ(1u, wf::PendingOperations(*m).size());
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), wf::Attributes(*m, L"C:\\Windows\\Temp\\x.tmp"));
    }
    std::filesystem::remove_all(folder);
}

// ---------------------------------------------------------------------------------------
// Devices

class EchoDevice : public winsim::DeviceModel {
public:
    bool present = true;
    int opens = 0, closes = 0;
    DWORD last_access = 0;
    std::string data;
    bool Present() override { return present; }
    DWORD Open(winsim::Process&, winsim::DeviceHandle& h) override {
        if (opens - closes > 0) return ERROR_ACCESS_DENIED;  // one handle at a time, like a COM port
        ++opens;
        last_access = h.access;
        return 0;
    }
    void Close(winsim::DeviceHandle&) override { ++closes; }
    DWORD Write(winsim::DeviceHandle&, const void* buf, DWORD n, DWORD* put) override {
        data.append(static_cast<const char*>(buf), n);
        *put = n;
        return 0;
    }
    DWORD Read(winsim::DeviceHandle&, void* buf, DWORD n, DWORD* got) override {
        *got = static_cast<DWORD>(std::min<size_t>(n, data.size()));
        std::memcpy(buf, data.data(), *got);
        data.erase(0, *got);
        return 0;
    }
};

TEST_F(FilesApiTest, DeviceNamesOpenTheirModels) {
    auto dev = std::make_shared<EchoDevice>();
    machine->RegisterDevice(L"TestDev", dev);
    machine->RegisterDevice(L"COM7", std::make_shared<EchoDevice>());
    HANDLE h = Open(L"\\\\.\\testdev", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE), dev->last_access);
    EXPECT_EQ(static_cast<DWORD>(FILE_TYPE_CHAR), GetFileType(h));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "AT\r", 3, &n, nullptr));
    EXPECT_EQ(3u, n);
    char buf[8] = {};
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string("AT\r"), std::string(buf, n));
    // The model's error comes back from CreateFileW.
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"\\\\.\\TESTDEV", GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(h);
    EXPECT_EQ(1, dev->closes);
    HANDLE com = Open(L"COM7", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, com);
    CloseHandle(com);
    dev->present = false;
    for (const wchar_t* name : {L"\\\\.\\TestDev", L"\\\\.\\NoSuchDevice", L"COM9"}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(name, GENERIC_READ, 0, OPEN_EXISTING)) << winsim::Utf8(name);
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << winsim::Utf8(name);
    }
}

}  // namespace
