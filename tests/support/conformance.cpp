// The conformance tests' fixture and main (see conformance.h).
#include "conformance.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <utility>
#include <string>

#ifdef _WIN32
#include <stdlib.h>
#else
#include "conformance_version.h"
#include "winsim/crypt.h"
#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/version.h"
#endif

namespace conformance {

namespace {

std::mutex& DifferencesLock() {
    static std::mutex m;
    return m;
}

std::set<std::pair<Source, std::string>>& Differences() {
    static std::set<std::pair<Source, std::string>> s;
    return s;
}

const char* SourceName(Source source) {
    switch (source) {
    case Source::Wine: return "Wine";
    case Source::Msvcrt: return "msvcrt.dll";
    case Source::Mingw: return "mingw-w64";
    }
    return "?";
}

// Removes a folder with everything in it; read-only entries too.
void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = dir + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(f, &fd));
        FindClose(f);
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(dir.c_str());
}

// A name no other test of this run (or another run at the same time) uses.
std::wstring UniqueName() {
    static unsigned counter = 0;
    return L"vqconf-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

}  // namespace

bool UnderWine() {
#ifdef _WIN32
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
#else
    return false;
#endif
}

void NoteDifference(Source source, const char* reason) {
    std::lock_guard<std::mutex> lock(DifferencesLock());
    Differences().insert({source, reason});
}

}  // namespace conformance

ConformanceTest::ConformanceTest() {
#ifndef _WIN32
    machine_ = winsim::Machine::CreateInMemory("bare");
    scope_ = std::make_unique<winsim::ProcessScope>(*machine_);
#endif
}

ConformanceTest::~ConformanceTest() {
#ifndef _WIN32
    EXPECT_EQ(0u, winsim::crypt::OpenHandles(*machine_)) << "CryptoAPI handles left open";
#endif
    if (key_) RegCloseKey(key_);
    if (!key_path_.empty()) {
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, key_path_.c_str()));
    }
    if (!dir_.empty()) {
        conformance::RemoveTree(dir_);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dir_.c_str())) << "the test's folder stays behind";
    }
}

const std::wstring& ConformanceTest::Dir() {
    if (dir_.empty()) {
        WCHAR temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        EXPECT_TRUE(n > 0 && n <= MAX_PATH) << "no temporary folder";
        std::wstring dir = std::wstring(temp, n) + conformance::UniqueName();
        EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr)) << "cannot make the test's folder";
        dir_ = dir;
    }
    return dir_;
}

const std::wstring& ConformanceTest::KeyPath() {
    if (key_path_.empty()) {
        std::wstring path = L"Software\\" + conformance::UniqueName();
        DWORD disp = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key_, &disp));
        EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disp) << "the test's key was there already";
        key_path_ = path;
    }
    return key_path_;
}

HKEY ConformanceTest::Key() {
    KeyPath();
    return key_;
}

std::wstring ConformanceTest::ImageWithVersion() {
    WCHAR image[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, image, MAX_PATH);
    EXPECT_TRUE(n > 0 && n < MAX_PATH);
#ifndef _WIN32
    // What the resource script gives the Windows build.
    if (!winsim::files::Exists(*machine_, image)) winsim::files::WriteBytes(*machine_, image, "MZ");
    auto wide = [](const char* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); };
    winsim::version::VersionInfo v;
    winsim::version::ParseVersion(wide(VQCONF_FILE_VERSION_STR), &v.file_ms, &v.file_ls);
    v.product_ms = v.file_ms;
    v.product_ls = v.file_ls;
    v.translations = {{0x0409, 1200}, {0x0411, 932}};
    v.tables = {
        {{0x0409, 1200}, {{L"FileVersion", wide(VQCONF_FILE_VERSION_STR)}, {L"CompanyName", wide(VQCONF_COMPANY_STR)}}},
        {{0x0411, 932}, {{L"Comments", wide(VQCONF_COMMENTS_STR)}}}};
    EXPECT_TRUE(winsim::version::Attach(*machine_, image, v));
#endif
    return std::wstring(image, n);
}

#ifdef _WIN32
namespace {
// The runtime's secure functions report bad arguments through this handler; by default it
// may end the program, while the tests check the documented return value and errno.
void IgnoreInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}
}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    _set_invalid_parameter_handler(IgnoreInvalidParameter);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    if (conformance::UnderWine()) std::printf("[ wine     ] running under Wine\n");
    int status = RUN_ALL_TESTS();
    std::lock_guard<std::mutex> lock(conformance::DifferencesLock());
    if (!conformance::Differences().empty()) {
        std::printf("[ known    ] %zu known differences from the documented behaviour met:\n",
                    conformance::Differences().size());
        for (const auto& d : conformance::Differences())
            std::printf("[ known    ]   %s: %s\n", conformance::SourceName(d.first), d.second.c_str());
    }
    return status;
}
