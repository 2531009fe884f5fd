// What a program reads of the operating system: the version by the manifest rule, the
// languages, the user's nation, the telephony location in both registry views,
// administrator rights, named mutexes across processes and kernel32's run-time entries.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/kernel.h"
#include "winsim/modules.h"
#include "winsim/osinfo.h"
#include "winsim/resources.h"

#include <functional>

namespace os = winsim::os;

namespace {

const char* const kUpTo81 =
    "<assembly><compatibility><application>"
    "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>"
    "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>"
    "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>"
    "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>"
    "</application></compatibility></assembly>";
const char* const kUpTo10 =
    "<assembly><compatibility><application>"
    "<supportedOS Id=\"{1F676C76-80E1-4239-95BB-83D0F6D0DA78}\"/>"
    "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"
    "</application></compatibility></assembly>";

// Runs fn as the one thread of a new process of the machine and returns its result.
DWORD InProcess(winsim::Machine& m, const winsim::ProcessOptions& opt, std::function<DWORD()> fn) {
    auto p = m.CreateProcess(opt);
    auto t = winsim::SpawnThread(m, p, std::move(fn));
    HANDLE h = winsim::CurrentProcess().AddHandle(t);
    WaitForSingleObject(h, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    return code;
}

class OsInfoTest : public SimTest {
protected:
    void UseManifest(const char* xml) {
        auto t = std::make_shared<winsim::ResourceTable>();
        if (xml) t->manifest = xml;
        winsim::resources::Attach(process(), t);
    }
};

struct VersionCase {
    const char* name;
    os::Version real;
    const char* manifest;
    DWORD major, minor, build;
    const wchar_t* csd;
    WORD sp_major;
};

class OsVersionTest : public OsInfoTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(OsVersionTest, ReportsTheVersionTheManifestAllows) {
    const VersionCase& c = GetParam();
    os::SetVersion(machine(), c.real);
    UseManifest(c.manifest);
    OSVERSIONINFOEXW v{};
    v.dwOSVersionInfoSize = sizeof(v);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&v)));
    EXPECT_EQ(c.major, v.dwMajorVersion);
    EXPECT_EQ(c.minor, v.dwMinorVersion);
    EXPECT_EQ(c.build, v.dwBuildNumber);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), v.dwPlatformId);
    EXPECT_EQ(std::wstring(c.csd), v.szCSDVersion);
    EXPECT_EQ(c.sp_major, v.wServicePackMajor);
    // The short structure gets the same numbers.
    OSVERSIONINFOW s{};
    s.dwOSVersionInfoSize = sizeof(s);
    ASSERT_TRUE(GetVersionExW(&s));
    EXPECT_EQ(c.major << 8 | c.minor, s.dwMajorVersion << 8 | s.dwMinorVersion);
}

os::Version V(DWORD major, DWORD minor, DWORD build, const wchar_t* csd = L"", WORD sp = 0) {
    os::Version v;
    v.major = major;
    v.minor = minor;
    v.build = build;
    v.csd = csd;
    v.sp_major = sp;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Machines, OsVersionTest,
    ::testing::Values(
        VersionCase{"XpSp3", V(5, 1, 2600, L"Service Pack 3", 3), kUpTo81, 5, 1, 2600, L"Service Pack 3", 3},
        VersionCase{"Server2003", V(5, 2, 3790, L"Service Pack 2", 2), nullptr, 5, 2, 3790, L"Service Pack 2", 2},
        VersionCase{"Seven", V(6, 1, 7601, L"Service Pack 1", 1), nullptr, 6, 1, 7601, L"Service Pack 1", 1},
        VersionCase{"Eight", V(6, 2, 9200), nullptr, 6, 2, 9200, L"", 0},
        VersionCase{"EightOneWithoutManifest", V(6, 3, 9600), nullptr, 6, 2, 9200, L"", 0},
        VersionCase{"EightOneDeclared", V(6, 3, 9600), kUpTo81, 6, 3, 9600, L"", 0},
        VersionCase{"TenWithoutManifest", V(10, 0, 19045), nullptr, 6, 2, 9200, L"", 0},
        VersionCase{"TenManifestUpTo81", V(10, 0, 19045), kUpTo81, 6, 3, 9600, L"", 0},
        VersionCase{"TenDeclared", V(10, 0, 19045), kUpTo10, 10, 0, 19045, L"", 0},
        VersionCase{"TenEmptyManifest", V(10, 0, 22631), "<assembly/>", 6, 2, 9200, L"", 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(OsInfoTest, VersionQueryFailsForBadSizesAndOnRequest) {
    OSVERSIONINFOW v{};
    for (DWORD size : {0u, static_cast<DWORD>(sizeof(v) - 1), static_cast<DWORD>(sizeof(v) + 1)}) {
        v.dwOSVersionInfoSize = size;
        EXPECT_FALSE(GetVersionExW(&v)) << size;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    }
    os::SetVersionFailure(machine(), ERROR_ACCESS_DENIED);
    v.dwOSVersionInfoSize = sizeof(v);
    EXPECT_FALSE(GetVersionExW(&v));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    os::SetVersionFailure(machine(), 0);
    EXPECT_TRUE(GetVersionExW(&v));
}

TEST_F(OsInfoTest, LanguagesWrittenByTheHelpersAreWhatTheQueriesGive) {
    struct {
        LANGID ui, sys;
    } cases[] = {{0x0411, 0x0411}, {0x0409, 0x0411}, {0x0804, 0x0409}};
    for (const auto& c : cases) {
        os::SetUserUILanguage(machine(), c.ui);
        os::SetSystemLanguage(machine(), c.sys);
        EXPECT_EQ(c.ui, GetUserDefaultUILanguage());
        EXPECT_EQ(c.sys, GetSystemDefaultLangID());
    }
}

TEST_F(OsInfoTest, NationIsTheFull32BitGeoId) {
    struct {
        std::optional<GEOID> set;
        GEOID nation;
    } cases[] = {
        {122, 122},          // Japan
        {244, 244},          // United States
        {0x12345, 0x12345},  // above 16 bits, kept whole
        {std::nullopt, GEOID_NOT_AVAILABLE},
    };
    for (const auto& c : cases) {
        os::SetUserGeoId(machine(), c.set);
        EXPECT_EQ(c.nation, GetUserGeoID(GEOCLASS_NATION));
    }
}

DWORD ReadLocation(REGSAM view, const wchar_t* value, const std::wstring& sub = L"") {
    std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations" + sub;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return 0xFFFFFFFF;
    DWORD v = 0, size = sizeof(v);
    LSTATUS st = RegGetValueW(h, nullptr, value, RRF_RT_REG_DWORD, nullptr, &v, &size);
    RegCloseKey(h);
    return st == ERROR_SUCCESS ? v : 0xFFFFFFFF;
}

TEST_F(OsInfoTest, TelephonyLocationReadsAlikeInBothViews) {
    os::SetTelephonyLocation(machine(), 3, 81);
    for (REGSAM view :
         {static_cast<REGSAM>(0), static_cast<REGSAM>(KEY_WOW64_64KEY), static_cast<REGSAM>(KEY_WOW64_32KEY)}) {
        EXPECT_EQ(3u, ReadLocation(view, L"CurrentID")) << view;
        EXPECT_EQ(81u, ReadLocation(view, L"Country", L"\\Location3")) << view;
    }
    // A 32-bit process sees it in its own view too.
    winsim::ProcessOptions o;
    o.image64 = false;
    EXPECT_EQ(81u, InProcess(machine(), o, [] { return ReadLocation(0, L"Country", L"\\Location3"); }));
    os::SetTelephonyLocation(machine(), std::nullopt, std::nullopt);
    EXPECT_EQ(0xFFFFFFFFu, ReadLocation(KEY_WOW64_32KEY, L"CurrentID"));
    EXPECT_EQ(0xFFFFFFFFu, ReadLocation(KEY_WOW64_64KEY, L"CurrentID"));
}

TEST_F(OsInfoTest, AdministratorRightsArePerUser) {
    machine().AddSession({2, L"Guest", L"S-1-5-21-1-2-3-1002"});
    std::wstring me = process().user;
    EXPECT_TRUE(IsUserAnAdmin()) << "every user is an administrator by default";
    os::SetUserAdmin(machine(), winsim::Upper(me), false);
    EXPECT_FALSE(IsUserAnAdmin()) << "user names compare without regard to case";
    winsim::ProcessOptions guest;
    guest.session = 2;
    EXPECT_EQ(1u, InProcess(machine(), guest, [] { return static_cast<DWORD>(IsUserAnAdmin()); }));
    os::SetUserAdmin(machine(), L"guest", false);
    EXPECT_EQ(0u, InProcess(machine(), guest, [] { return static_cast<DWORD>(IsUserAnAdmin()); }));
    os::SetUserAdmin(machine(), me, true);
    EXPECT_TRUE(IsUserAnAdmin());
}

TEST_F(OsInfoTest, NamedMutexIsSharedByTheProcessesOfASession) {
    auto second = [this](const wchar_t* name) {
        return InProcess(machine(), winsim::ProcessOptions{}, [name] {
            HANDLE h = CreateMutexW(nullptr, FALSE, name);
            DWORD e = GetLastError();
            if (h) CloseHandle(h);
            return h ? e : 0xFFFFFFFF;
        });
    };
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), second(L"Setup")) << "nobody holds it yet";
    HANDLE mine = CreateMutexW(nullptr, FALSE, L"Setup");
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), second(L"Setup"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), second(L"setup")) << "object names are case-sensitive";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), second(L"Other"));
    CloseHandle(mine);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), second(L"Setup")) << "gone with its last handle";
}

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

TEST_F(OsInfoTest, Kernel32ByNameWithAndWithoutItsWow64Entries) {
    const char* entries[] = {"IsWow64Process", "Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection",
                             "Wow64EnableWow64FsRedirection"};
    HMODULE k = LoadLibraryW(L"Kernel32.dll");
    ASSERT_NE(nullptr, k);
    for (const char* e : entries) EXPECT_NE(nullptr, GetProcAddress(k, e)) << e;
    auto is_wow = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)(void)>(GetProcAddress(k, entries[0])));
    BOOL wow = TRUE;
    ASSERT_TRUE(is_wow(GetCurrentProcess(), &wow));
    EXPECT_FALSE(wow);
    FreeLibrary(k);

    // A 32-bit program is under WOW64.
    winsim::ProcessOptions o32;
    o32.image64 = false;
    EXPECT_EQ(1u, InProcess(machine(), o32, [] {
                  BOOL w = FALSE;
                  IsWow64Process(GetCurrentProcess(), &w);
                  return static_cast<DWORD>(w);
              }));

    // A machine whose kernel32 lacks the entries, then one where it does not load at all.
    winsim::Modules mods(machine());
    for (const char* e : entries) mods.SetExport(L"kernel32.dll", e, nullptr);
    k = LoadLibraryW(L"Kernel32.dll");
    ASSERT_NE(nullptr, k);
    for (const char* e : entries) {
        EXPECT_EQ(nullptr, GetProcAddress(k, e)) << e;
        EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    }
    FreeLibrary(k);
    mods.SetLoadFailure(L"kernel32.dll", ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(nullptr, LoadLibraryW(L"Kernel32.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

}  // namespace
