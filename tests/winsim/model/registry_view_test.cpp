// The registry across the machine: WOW64 views, per-user hives, persistence, sharing between
// host processes, failure injection and the profiles.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/registry.h"

#include <filesystem>
#include <optional>
#include <string>

namespace {

using winsim::Registry;

std::wstring ReadString(HKEY root, const wchar_t* sub, const wchar_t* name, REGSAM view, LSTATUS* status) {
    HKEY h = NULL;
    *status = RegOpenKeyExW(root, sub, 0, KEY_READ | view, &h);
    if (*status) return L"";
    WCHAR buf[128] = {};
    DWORD cb = sizeof(buf) - sizeof(WCHAR);
    *status = RegQueryValueExW(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &cb);
    RegCloseKey(h);
    return buf;
}

// ---------------------------------------------------------------------------------------
// WOW64 views

struct ViewCase {
    const char* what;
    bool image64;
    REGSAM flags;
    const wchar_t* path;
    LSTATUS status;
    const wchar_t* seen;  // which copy: "64" or "32"
};

class RegistryViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        reg.SetString(L"HKLM\\SOFTWARE\\Quarven", L"view", L"64");
        reg.SetString(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven", L"view", L"32");
        reg.SetString(L"HKLM\\SYSTEM\\Quarven", L"view", L"shared");
    }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    Registry reg{*machine};

    winsim::ProcessOptions Bits(bool image64) {
        winsim::ProcessOptions o;
        o.image64 = image64;
        return o;
    }
};

TEST_F(RegistryViewTest, EachBitnessSeesItsView) {
    const std::vector<ViewCase> cases = {
        {"64-bit default", true, 0, L"SOFTWARE\\Quarven", ERROR_SUCCESS, L"64"},
        {"64-bit asks for 32", true, KEY_WOW64_32KEY, L"SOFTWARE\\Quarven", ERROR_SUCCESS, L"32"},
        {"64-bit explicit node", true, 0, L"SOFTWARE\\WOW6432Node\\Quarven", ERROR_SUCCESS, L"32"},
        {"32-bit default", false, 0, L"SOFTWARE\\Quarven", ERROR_SUCCESS, L"32"},
        {"32-bit asks for 64", false, KEY_WOW64_64KEY, L"SOFTWARE\\Quarven", ERROR_SUCCESS, L"64"},
        {"32-bit explicit node", false, 0, L"software\\wow6432node\\Quarven", ERROR_SUCCESS, L"32"},
        {"32-bit, 64 asked, explicit node", false, KEY_WOW64_64KEY, L"SOFTWARE\\WOW6432Node\\Quarven", ERROR_SUCCESS,
         L"32"},
        {"SYSTEM is one key for both", false, 0, L"SYSTEM\\Quarven", ERROR_SUCCESS, L"shared"},
        {"both flags", true, KEY_WOW64_32KEY | KEY_WOW64_64KEY, L"SOFTWARE\\Quarven", ERROR_INVALID_PARAMETER, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        winsim::ProcessScope scope{*machine, Bits(c.image64)};
        LSTATUS st = 0;
        std::wstring seen = ReadString(HKEY_LOCAL_MACHINE, c.path, L"view", c.flags, &st);
        EXPECT_EQ(c.status, st);
        EXPECT_EQ(c.seen, seen);
    }
}

TEST_F(RegistryViewTest, SoftwareItselfIsTheViewsRoot) {
    winsim::ProcessScope scope{*machine, Bits(false)};
    HKEY sw = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, &sw));
    // Enumerating the 32-bit SOFTWARE lists the node's children, not the node.
    std::vector<std::wstring> names;
    WCHAR name[64];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 64;
        if (RegEnumKeyExW(sw, i, name, &cch, nullptr, nullptr, nullptr, nullptr)) break;
        names.push_back(name);
    }
    EXPECT_EQ(reg.ListKeys(L"HKLM\\SOFTWARE\\WOW6432Node"), names);
    RegCloseKey(sw);
}

TEST_F(RegistryViewTest, AHandleDoesNotRememberItsView) {
    winsim::ProcessScope scope{*machine, Bits(false)};
    HKEY sw64 = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ | KEY_WOW64_64KEY, &sw64));
    LSTATUS st = 0;
    EXPECT_EQ(L"32", ReadString(sw64, L"Quarven", L"view", 0, &st)) << "redirected again without the flag";
    EXPECT_EQ(L"64", ReadString(sw64, L"Quarven", L"view", KEY_WOW64_64KEY, &st));
    RegCloseKey(sw64);
}

TEST_F(RegistryViewTest, CreateAndClassesFollowTheView) {
    {
        winsim::ProcessScope scope{*machine, Bits(false)};
        HKEY h = NULL;
        DWORD disp = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Made32", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &h, &disp));
        EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disp);
        RegCloseKey(h);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CLASSES_ROOT, L".qvt", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        RegCloseKey(h);
    }
    EXPECT_TRUE(reg.KeyExists(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\Made32"));
    EXPECT_FALSE(reg.KeyExists(L"HKLM\\SOFTWARE\\Quarven\\Made32"));
    EXPECT_TRUE(reg.KeyExists(L"HKLM\\SOFTWARE\\WOW6432Node\\Classes\\.qvt"));
    EXPECT_FALSE(reg.KeyExists(L"HKCR\\.qvt"));
    {
        winsim::ProcessScope scope{*machine, Bits(true)};
        HKEY h = NULL;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CLASSES_ROOT, L".qvt", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        RegCloseKey(h);
    }
    EXPECT_TRUE(reg.KeyExists(L"HKLM\\SOFTWARE\\Classes\\.qvt"));
}

TEST_F(RegistryViewTest, DeleteKeyExDeletesInTheViewItsFlagSelects) {
    reg.CreateKey(L"HKLM\\SOFTWARE\\Quarven\\Del");
    reg.CreateKey(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\Del");
    {
        winsim::ProcessScope scope{*machine, Bits(true)};
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Del", KEY_WOW64_32KEY, 0));
        EXPECT_FALSE(reg.KeyExists(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\Del"));
        EXPECT_TRUE(reg.KeyExists(L"HKLM\\SOFTWARE\\Quarven\\Del"));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Del", KEY_WOW64_32KEY, 0));
        EXPECT_EQ(ERROR_INVALID_PARAMETER,
                  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Del", KEY_WOW64_32KEY | KEY_WOW64_64KEY, 0));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Del", KEY_WOW64_64KEY, 0));
        EXPECT_FALSE(reg.KeyExists(L"HKLM\\SOFTWARE\\Quarven\\Del"));
    }
    reg.CreateKey(L"HKLM\\SOFTWARE\\Quarven\\Del");
    reg.CreateKey(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\Del");
    {
        winsim::ProcessScope scope{*machine, Bits(false)};
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Del")) << "the 32-bit one";
        EXPECT_TRUE(reg.KeyExists(L"HKLM\\SOFTWARE\\Quarven\\Del"));
        EXPECT_FALSE(reg.KeyExists(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\Del"));
    }
}

TEST_F(RegistryViewTest, ProfileGivesEachViewItsProgramFolders) {
    struct {
        bool image64;
        const wchar_t* program_files;
    } cases[] = {{true, L"C:\\Program Files"}, {false, L"C:\\Program Files (x86)"}};
    for (const auto& c : cases) {
        winsim::ProcessScope scope{*machine, Bits(c.image64)};
        LSTATUS st = 0;
        EXPECT_EQ(c.program_files, ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                              L"ProgramFilesDir", 0, &st));
        EXPECT_EQ(L"Windows 10 Pro", ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                                L"ProductName", 0, &st));
        DWORD major = 0, cb = 4;
        EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                              L"CurrentMajorVersionNumber", RRF_RT_REG_DWORD, nullptr, &major, &cb));
        EXPECT_EQ(10u, major);
    }
}

// ---------------------------------------------------------------------------------------
// Users

TEST(RegistryUsers, CurrentUserIsTheProcessUsersHive) {
    auto machine = winsim::Machine::CreateInMemory();
    const std::wstring other_sid = L"S-1-5-21-3623811015-3361044348-30300820-1002";
    machine->AddSession({2, L"Other", other_sid});
    struct {
        DWORD session;
        const wchar_t* data;
    } writers[] = {{1, L"console user"}, {2, L"other user"}, {0, L"system"}};
    for (const auto& w : writers) {
        winsim::ProcessOptions o;
        o.session = w.session;
        winsim::ProcessScope scope{*machine, o};
        DWORD cb = static_cast<DWORD>((wcslen(w.data) + 1) * sizeof(WCHAR));
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Quarven", L"who", REG_SZ, w.data, cb));
    }
    EXPECT_EQ(L"console user", Registry(*machine).GetString(L"HKCU\\Software\\Quarven", L"who"));
    EXPECT_EQ(L"other user", Registry(*machine, other_sid).GetString(L"HKCU\\Software\\Quarven", L"who"));
    EXPECT_EQ(L"other user", Registry(*machine).GetString(L"HKU\\" + other_sid + L"\\Software\\Quarven", L"who"));
    EXPECT_EQ(L"system", Registry(*machine).GetString(L"HKU\\S-1-5-18\\Software\\Quarven", L"who"));
    {
        winsim::ProcessOptions o;
        o.session = 2;
        winsim::ProcessScope scope{*machine, o};
        HKEY cu = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenCurrentUser(KEY_READ, &cu));
        LSTATUS st = 0;
        EXPECT_EQ(L"other user", ReadString(cu, L"Software\\Quarven", L"who", 0, &st));
        RegCloseKey(cu);
    }
}

TEST(RegistryUsers, ProfileHasTheStandardHives) {
    auto machine = winsim::Machine::CreateInMemory("bare");
    Registry reg(*machine);
    for (const wchar_t* k :
         {L"HKU\\.DEFAULT\\Software", L"HKU\\S-1-5-18\\Software", L"HKCU\\Software\\Classes", L"HKCU\\Environment",
          L"HKLM\\SOFTWARE\\Classes", L"HKLM\\SOFTWARE\\Policies", L"HKLM\\SOFTWARE\\WOW6432Node\\Classes",
          L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class", L"HKLM\\SYSTEM\\CurrentControlSet\\Enum",
          L"HKLM\\SYSTEM\\CurrentControlSet\\Services", L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
          L"HKCC\\Software"})
        EXPECT_TRUE(reg.KeyExists(k)) << winsim::Utf8(k);
    EXPECT_EQ(L"6.3", reg.GetString(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"CurrentVersion"));
    winsim::ProcessScope scope{*machine};
    HKEY h = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_CONFIG, L"System", 0, KEY_READ, &h));
    RegCloseKey(h);
}

TEST(RegistryUsers, ResetErasesAndReappliesTheProfile) {
    auto machine = winsim::Machine::CreateInMemory();
    Registry reg(*machine);
    reg.SetDword(L"HKLM\\SOFTWARE\\Quarven", L"n", 1);
    reg.DeleteKey(L"HKLM\\SOFTWARE\\Microsoft");
    machine->Reset("tablet");
    // The tablet profile has product keys of its own there; the value set before is gone.
    EXPECT_FALSE(reg.GetDword(L"HKLM\\SOFTWARE\\Quarven", L"n"));
    EXPECT_EQ(L"Windows 10 Pro",
              reg.GetString(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName"));
}

// ---------------------------------------------------------------------------------------
// Persistence and sharing

class RegistryFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/winsim-regtest-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        folder = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string folder;
};

TEST_F(RegistryFolderTest, ValuesSurviveReopeningTheMachine) {
    {
        auto m = winsim::Machine::Open(folder, "bare");
        winsim::ProcessScope scope{*m};
        HKEY h = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &h, nullptr));
        const wchar_t* s = L"kept";
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(h, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(s), 5 * sizeof(WCHAR)));
        RegCloseKey(h);
        Registry(*m).SetDenyWrite(L"HKLM\\SOFTWARE\\Quarven\\Locked", true);
    }
    auto m = winsim::Machine::Open(folder, "bare");
    winsim::ProcessScope scope{*m};
    LSTATUS st = 0;
    EXPECT_EQ(L"kept", ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane", L"Text", 0, &st));
    EXPECT_EQ(ERROR_SUCCESS, st);
    HKEY h = NULL;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Locked", 0, KEY_WRITE, &h));
    EXPECT_EQ(L"Windows 10 Pro",
              Registry(*m).GetString(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName"));
}

TEST_F(RegistryFolderTest, TwoOpeningsOfOneFolderSeeEachOthersChanges) {
    // Two host processes sharing one machine: nothing is cached.
    auto a = winsim::Machine::Open(folder, "bare");
    auto b = winsim::Machine::Open(folder, "bare");
    Registry ra(*a);
    winsim::ProcessScope scope{*b};
    HKEY h = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &h, nullptr));
    for (DWORD v : {1u, 2u, 3u}) {
        ra.SetDword(L"HKLM\\SOFTWARE\\Quarven", L"n", v);
        DWORD got = 0, cb = 4;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &cb));
        EXPECT_EQ(v, got);
    }
    DWORD v = 9;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"fromB", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    EXPECT_EQ(9u, ra.GetDword(L"HKLM\\SOFTWARE\\Quarven", L"fromB"));
    ra.DeleteKey(L"HKLM\\SOFTWARE\\Quarven");
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExW(h, L"fromB", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    RegCloseKey(h);
}

// ---------------------------------------------------------------------------------------
// Failure injection

enum class Attempt {
    OpenWrite,
    OpenRead,
    OpenMax,
    Set,
    DeleteValue,
    CreateSub,
    DeleteKey,
    DeleteTree,
    Query,
    GetValue
};

struct DenyCase {
    const char* what;
    bool deny_write;  // else deny read
    Attempt attempt;
    LSTATUS status;
};

TEST(RegistryDeny, FlagsRefuseTheirOperations) {
    const std::vector<DenyCase> cases = {
        {"write: open for writing", true, Attempt::OpenWrite, ERROR_ACCESS_DENIED},
        {"write: open for reading", true, Attempt::OpenRead, ERROR_SUCCESS},
        {"write: maximum allowed gives read", true, Attempt::OpenMax, ERROR_SUCCESS},
        {"write: set through an open handle", true, Attempt::Set, ERROR_ACCESS_DENIED},
        {"write: delete a value", true, Attempt::DeleteValue, ERROR_ACCESS_DENIED},
        {"write: create a subkey", true, Attempt::CreateSub, ERROR_ACCESS_DENIED},
        {"write: delete the key", true, Attempt::DeleteKey, ERROR_ACCESS_DENIED},
        {"write: delete the tree above", true, Attempt::DeleteTree, ERROR_ACCESS_DENIED},
        {"write: query", true, Attempt::Query, ERROR_SUCCESS},
        {"read: open for reading", false, Attempt::OpenRead, ERROR_ACCESS_DENIED},
        {"read: open for writing", false, Attempt::OpenWrite, ERROR_SUCCESS},
        {"read: query through an open handle", false, Attempt::Query, ERROR_ACCESS_DENIED},
        {"read: get value", false, Attempt::GetValue, ERROR_ACCESS_DENIED},
        {"read: set", false, Attempt::Set, ERROR_SUCCESS},
    };
    const wchar_t* path = L"HKLM\\SOFTWARE\\Quarven\\Locked";
    const wchar_t* sub = L"SOFTWARE\\Quarven\\Locked";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = winsim::Machine::CreateInMemory();
        Registry reg(*machine);
        reg.SetDword(path, L"n", 1);
        winsim::ProcessScope scope{*machine};
        HKEY open = NULL;  // opened before the flag is set
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub, 0, KEY_ALL_ACCESS, &open));
        if (c.deny_write) {
            reg.SetDenyWrite(path, true);
        } else {
            reg.SetDenyRead(path, true);
        }
        HKEY h = NULL;
        DWORD d = 2, cb = 4;
        LSTATUS st = ERROR_GEN_FAILURE;
        switch (c.attempt) {
        case Attempt::OpenWrite: st = RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub, 0, KEY_WRITE, &h); break;
        case Attempt::OpenRead: st = RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub, 0, KEY_READ, &h); break;
        case Attempt::OpenMax: st = RegOpenKeyW(HKEY_LOCAL_MACHINE, sub, &h); break;
        case Attempt::Set: st = RegSetValueExW(open, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4); break;
        case Attempt::DeleteValue: st = RegDeleteValueW(open, L"n"); break;
        case Attempt::CreateSub:
            st = RegCreateKeyExW(open, L"Sub", 0, nullptr, 0, KEY_READ, nullptr, &h, nullptr);
            break;
        case Attempt::DeleteKey: st = RegDeleteKeyW(HKEY_LOCAL_MACHINE, sub); break;
        case Attempt::DeleteTree: st = RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven"); break;
        case Attempt::Query:
            st = RegQueryValueExW(open, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), &cb);
            break;
        case Attempt::GetValue:
            st = RegGetValueW(HKEY_LOCAL_MACHINE, sub, L"n", RRF_RT_REG_DWORD, nullptr, &d, &cb);
            break;
        }
        EXPECT_EQ(c.status, st);
        if (h) RegCloseKey(h);
        // A refused change changed nothing.
        if (c.deny_write && st == ERROR_ACCESS_DENIED) {
            EXPECT_EQ(1u, reg.GetDword(path, L"n"));
            EXPECT_FALSE(reg.KeyExists(std::wstring(path) + L"\\Sub"));
        }
        // Clearing the flag lifts it.
        reg.SetDenyWrite(path, false);
        reg.SetDenyRead(path, false);
        d = 3;
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(open, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4));
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(open, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), &cb));
        RegCloseKey(open);
    }
}

}  // namespace
