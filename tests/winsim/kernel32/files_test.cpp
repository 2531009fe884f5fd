// kernel32's file functions over the file-system model: the machine's folders, drives and
// clock, other processes, reparse points, short names, the order of listings, injected
// failures, moves across volumes and at restart, devices (files_conformance_test.cpp
// states the rest as Windows has it).
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

// ---------------------------------------------------------------------------------------
// Dispositions

// ---------------------------------------------------------------------------------------
// Reads, writes and the file pointer

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
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              Open(L"C:\\shared.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
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
    // Removing a junction removes the link even when the folder it shows is not empty.
    Put(L"C:\\Users\\User\\Application Data\\kept.txt", "K");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\Users\\User\\Application Data", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(RemoveDirectoryW(L"C:\\Users\\User\\Application Data"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\Users\\User\\Application Data"));
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\Plain\\Sub"));
    EXPECT_FALSE(RemoveDirectoryW(L"C:\\Plain"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
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
    const std::vector<std::wstring> all = {
        L".",        L"..",        L"en-US",    L"machine.inf",      L"noext",       L"oem0.inf",
        L"oem1.pnf", L"oem12.inf", L"OEM2.INF", L"setupapi.dev.log", L"usbstor.infx"};
    // The order of the names without regard to case, and a match through a short name.
    const Row rows[] = {
        // "usbstor.infx" matches through its short name USBSTO~1.INF, as on Windows.
        {L"C:\\Windows\\INF\\*.inf", {L"machine.inf", L"oem0.inf", L"oem12.inf", L"OEM2.INF", L"usbstor.infx"}},
        {L"C:\\Windows\\INF\\*", all},
        {L"c:/windows/inf/*.", {L".", L"..", L"en-US", L"noext"}},  // "*." : names without an extension
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
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Program Files", L"Program Files (x86)", L"ProgramData", L"Users", L"Windows"}),
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

TEST_F(FilesApiTest, TempFileNumbersCountOnFromOneForTheMachine) {
    WCHAR name[MAX_PATH];
    EXPECT_EQ(1u, GetTempFileNameW(L"C:\\Windows\\Temp", L"setup", 0, name));
    EXPECT_STREQ(L"C:\\Windows\\Temp\\set1.tmp", name);
    EXPECT_TRUE(wf::Exists(*machine, name));
    Put(L"C:\\Windows\\Temp\\set2.tmp", "taken");
    Put(L"C:\\Windows\\Temp\\SET3.TMP", "taken");
    EXPECT_EQ(4u, GetTempFileNameW(L"C:\\Windows\\Temp\\", L"set", 0, name));
    EXPECT_STREQ(L"C:\\Windows\\Temp\\set4.tmp", name);
    EXPECT_EQ("taken", Get(L"C:\\Windows\\Temp\\set2.tmp"));
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
    // A given number names a file without creating it; its hexadecimal digits are upper case.
    EXPECT_EQ(0xBEEFu, GetTempFileNameW(L"C:\\Windows\\Temp", L"x", 0xBEEF, name));
    EXPECT_STREQ(L"C:\\Windows\\Temp\\xBEEF.tmp", name);
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
    for (const wchar_t* p :
         {L"C:\\Windows\\System32\\config\\systemprofile", L"C:\\Windows\\SysWOW64", L"C:\\Windows\\inf",
          L"C:\\Windows\\Temp", L"C:\\Program Files", L"C:\\Program Files (x86)", L"C:\\ProgramData",
          L"C:\\Users\\Public", L"C:\\Users\\User\\AppData\\Local\\Temp", L"C:\\Users\\User\\AppData\\Roaming",
          L"C:\\Users\\User\\Desktop"})
        EXPECT_TRUE(wf::IsDirectory(*machine, p)) << winsim::Utf8(p);
    ASSERT_TRUE(wf::WriteBytes(*machine, L"C:\\Windows\\extra.txt", "x"));
    machine->Reset("tablet");
    EXPECT_FALSE(wf::Exists(*machine, L"C:\\Windows\\extra.txt"));
    EXPECT_TRUE(wf::IsDirectory(*machine, L"C:\\Users\\User\\Desktop"));
}

// ---------------------------------------------------------------------------------------
// Copies and moves

TEST_F(FilesApiTest, MovesChangeCaseAndCrossDrivesOnlyByCopy) {
    Put(L"C:\\name.txt", "n");
    ASSERT_TRUE(MoveFileW(L"C:\\name.txt", L"C:\\NAME.TXT"));
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"C:\\name.txt", &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    EXPECT_STREQ(L"NAME.TXT", fd.cFileName);
    FindClose(f);
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\D2"));
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

TEST_F(FilesApiTest, NoTargetWithoutDelayIsAnInvalidParameter) {
    Put(L"C:\\a.txt", "A");
    EXPECT_FALSE(MoveFileExW(L"C:\\a.txt", nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(wf::Exists(*machine, L"C:\\a.txt"));
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
    EXPECT_EQ((std::vector<std::wstring>{L"\\??\\C:\\Windows\\Temp\\junk.tmp", L"", L"\\??\\C:\\Windows\\Temp\\new.sys",
                                         L"!\\??\\C:\\Windows\\System32\\old.sys"}),
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
