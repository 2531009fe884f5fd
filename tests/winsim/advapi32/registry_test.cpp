// The registry as winsim stores it: UTF-16 in the store whatever the caller's WCHAR, canonical
// paths, the machine's clock and hives, the machine's name (registry_conformance_test.cpp
// states the API as Windows has it).
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/registry.h"

#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using winsim::Registry;

const wchar_t* const kKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";
const wchar_t* const kSub = L"SOFTWARE\\Quarven\\Veltrane";

std::vector<uint8_t> U16(const std::wstring& s) { return Registry::Utf16Bytes(s); }

std::vector<uint8_t> WideBytes(const std::wstring& s) {
    std::vector<uint8_t> b(s.size() * sizeof(WCHAR));
    if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
    return b;
}

class RegistryApiTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
    Registry reg{*machine};

    HKEY Open(const wchar_t* sub, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY h = NULL;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub, 0, sam, &h)) << "open " << sub;
        return h;
    }
    HKEY Create(const wchar_t* sub, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY h = NULL;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub, 0, nullptr, 0, sam, nullptr, &h, nullptr))
            << "create " << sub;
        return h;
    }
};

// ---------------------------------------------------------------------------------------
// Sizes: what RegQueryValueExW reports for UTF-16 data stored in the machine that no caller of
// RegSetValueExW with a 32-bit WCHAR could have written.

struct QueryCase {
    const char* what;
    DWORD type;
    std::vector<uint8_t> stored;
    bool pass_buffer;  // lpData given
    DWORD offered;     // *lpcbData on entry
    LSTATUS status;
    DWORD size;                 // *lpcbData on return
    std::vector<uint8_t> data;  // caller bytes written (when status is success and a buffer was given)
};

TEST_F(RegistryApiTest, QueryValueOfStoredUtf16) {
    const std::vector<QueryCase> cases = {
        {"REG_SZ odd byte count", REG_SZ, {'a', 0, 'b'}, true, 64, ERROR_SUCCESS, 2 * sizeof(WCHAR), WideBytes(L"ab")},
        {"outside the BMP: one wchar_t, two units", REG_SZ, U16(std::wstring(L"\U0001F600", 2)), true, 64,
         ERROR_SUCCESS, 2 * sizeof(WCHAR), WideBytes(std::wstring(L"\U0001F600", 2))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reg.SetValue(kKey, L"v", c.type, c.stored);
        HKEY h = Open(kSub, KEY_QUERY_VALUE);
        std::vector<uint8_t> buf(256, 0xCD);
        DWORD type = 0xFFFF, cb = c.offered;
        LSTATUS st = RegQueryValueExW(h, L"v", nullptr, &type, c.pass_buffer ? buf.data() : nullptr, &cb);
        EXPECT_EQ(c.status, st);
        EXPECT_EQ(c.size, cb);
        EXPECT_EQ(c.type, type);  // the type comes back with ERROR_MORE_DATA too
        if (st == ERROR_SUCCESS && c.pass_buffer) {
            EXPECT_EQ(c.data, std::vector<uint8_t>(buf.begin(), buf.begin() + cb));
            EXPECT_EQ(0xCD, buf[cb]) << "written past the data";
        }
        if (st == ERROR_MORE_DATA) {
            EXPECT_EQ(std::vector<uint8_t>(256, 0xCD), buf) << "buffer written";
        }
        RegCloseKey(h);
    }
}

// RegSetValueExW: string sizes are in the caller's WCHAR units, the store holds UTF-16.
struct SetCase {
    const char* what;
    DWORD type;
    std::vector<uint8_t> caller;  // bytes passed
    DWORD cb;
    std::vector<uint8_t> stored;
};

TEST_F(RegistryApiTest, SetValueStoresUtf16AndExactBytes) {
    auto abc0 = WideBytes(std::wstring(L"abc", 4));
    const std::vector<SetCase> cases = {
        {"REG_SZ with terminator", REG_SZ, abc0, 4 * sizeof(WCHAR), U16(std::wstring(L"abc", 4))},
        {"REG_SZ without terminator", REG_SZ, abc0, 3 * sizeof(WCHAR), U16(L"abc")},
        {"a partial WCHAR is dropped", REG_SZ, abc0, 3 * sizeof(WCHAR) + 1, U16(L"abc")},
        {"REG_SZ empty", REG_SZ, abc0, 0, {}},
        {"REG_MULTI_SZ", REG_MULTI_SZ, WideBytes(std::wstring(L"x\0y\0\0", 5)), 5 * sizeof(WCHAR),
         U16(std::wstring(L"x\0y\0\0", 5))},
        {"outside the BMP",
         REG_SZ,
         WideBytes(std::wstring(L"\U0001F600", 2)),
         2 * sizeof(WCHAR),
         {0x3D, 0xD8, 0x00, 0xDE, 0, 0}},
        {"REG_BINARY byte-exact", REG_BINARY, {1, 2, 3, 4, 5}, 3, {1, 2, 3}},
        {"REG_DWORD byte-exact", REG_DWORD, {0x2A, 0, 0, 0}, 4, {0x2A, 0, 0, 0}},
    };
    HKEY h = Create(kSub, KEY_SET_VALUE);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"v", 0, c.type, c.caller.data(), c.cb));
        auto v = reg.GetValue(kKey, L"v");
        ASSERT_TRUE(v);
        EXPECT_EQ(c.type, v->type);
        EXPECT_EQ(c.stored, v->data);
    }
    RegCloseKey(h);
}

// ---------------------------------------------------------------------------------------
// Paths, handles, the clock and the machine

TEST_F(RegistryApiTest, CanonicalPathsKeepTheFirstSpelling) {
    RegCloseKey(Create(L"SOFTWARE\\Quarven\\VelTrane"));
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\VelTrane",
              reg.CanonicalPath(L"hklm\\software\\quarven\\VELTRANE"));
}

TEST_F(RegistryApiTest, KeyHandlesAreNoKernelHandles) {
    HKEY k = Create(kSub);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(k)));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(k));
}

// ---------------------------------------------------------------------------------------
// What the documentation leaves open and winsim settles as Windows has it

TEST_F(RegistryApiTest, SubkeysEnumerateSortedWithoutRegardToCase) {
    HKEY h = Create(kSub);
    for (const wchar_t* n : {L"beta", L"_under", L"Alpha", L"Gamma", L"alpha2", L"0digit"}) {
        HKEY s = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(h, n, 0, nullptr, 0, KEY_READ, nullptr, &s, nullptr));
        RegCloseKey(s);
    }
    // Upper-case order: '_' (0x5F) sorts after the letters.
    EXPECT_EQ((std::vector<std::wstring>{L"0digit", L"Alpha", L"alpha2", L"beta", L"Gamma", L"_under"}),
              reg.ListKeys(kKey));
    WCHAR name[16];
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyW(h, 1, name, 16));
    EXPECT_STREQ(L"Alpha", name);
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, ValuesEnumerateInCreationOrder) {
    HKEY h = Create(kSub);
    auto set = [&](const wchar_t* n, DWORD v) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, n, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    };
    auto names = [&] {
        std::vector<std::wstring> out;
        WCHAR name[16];
        DWORD cch = 16;
        for (DWORD i = 0; RegEnumValueW(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
            out.emplace_back(name, cch);
            cch = 16;
        }
        return out;
    };
    set(L"zeta", 1);
    set(L"Alpha", 2);
    set(L"mid", 3);
    set(L"", 4);
    EXPECT_EQ((std::vector<std::wstring>{L"zeta", L"Alpha", L"mid", L""}), names());
    set(L"ALPHA", 5);  // an overwrite keeps its place
    EXPECT_EQ((std::vector<std::wstring>{L"zeta", L"Alpha", L"mid", L""}), names());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(h, L"zeta"));
    set(L"zeta", 6);  // deleted and created again: last
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"mid", L"", L"zeta"}), names());
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, CreateKeyWithAnEmptyNameGivesTheSameHandle) {
    HKEY h = Create(kSub), same = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyW(h, L"", &same));
    EXPECT_EQ(h, same);
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, GetValueEndsAMultiStringListAndWantsATypeFlag) {
    reg.SetValue(kKey, L"v", REG_MULTI_SZ, U16(std::wstring(L"a\0b\0", 4)));
    std::vector<uint8_t> buf(64, 0xCD);
    DWORD type = 0, cb = static_cast<DWORD>(buf.size());
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"v", RRF_RT_REG_MULTI_SZ, &type, buf.data(), &cb));
    EXPECT_EQ(WideBytes(std::wstring(L"a\0b\0\0", 5)), std::vector<uint8_t>(buf.begin(), buf.begin() + cb));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"v", RRF_NOEXPAND, &type, buf.data(), &cb));
}

TEST_F(RegistryApiTest, LastWriteTimeFollowsTheMachineClock) {
    HKEY h = Create(kSub);
    FILETIME before{}, after{};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, &before));
    Sleep(5000);
    DWORD v = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, &after));
    auto ticks = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    EXPECT_EQ(5000u * 10000u, ticks(after) - ticks(before));
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    EXPECT_EQ(ticks(now), ticks(after));
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, HiveKeysAndRootsStay) {
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_USERS, L".DEFAULT"));
    EXPECT_TRUE(reg.KeyExists(L"HKLM\\SYSTEM\\CurrentControlSet"));
}

TEST_F(RegistryApiTest, ConnectRegistryIsLocalOnly) {
    struct {
        const wchar_t* machine;
        HKEY key;
        LSTATUS status;
    } cases[] = {
        {nullptr, HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {L"", HKEY_USERS, ERROR_SUCCESS},
        {L"\\\\QTABLET", HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {L"\\\\qtablet", HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {L"\\\\OTHERPC", HKEY_LOCAL_MACHINE, ERROR_BAD_NETPATH},
        {nullptr, HKEY_CURRENT_USER, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        HKEY h = NULL;
        EXPECT_EQ(c.status, RegConnectRegistryW(c.machine, c.key, &h));
        if (h) {
            HKEY sub = NULL;
            EXPECT_EQ(ERROR_SUCCESS,
                      RegOpenKeyExW(h, c.key == HKEY_USERS ? L".DEFAULT" : L"SYSTEM", 0, KEY_READ, &sub));
            RegCloseKey(sub);
            RegCloseKey(h);
        }
    }
}

}  // namespace

// A walk by index goes on from where the last call stopped; a change between two calls,
// made here or by another connection to the machine's database, is seen by the next one.
class RegistryWalkTest : public ::testing::Test {
protected:
    std::string folder = ::testing::TempDir() + "winsim-walk-" + std::to_string(::getpid());
    void TearDown() override { std::filesystem::remove_all(folder); }
};

TEST_F(RegistryWalkTest, AChangeBetweenTwoStepsIsSeen) {
    struct Row {
        const char* name;
        bool other_connection;
        void (*change)(Registry& r);
        const wchar_t* third;  // the value at index 2 after the change
    } rows[] = {
        {"none", false, [](Registry&) {}, L"c"},
        {"one before deleted", false, [](Registry& r) { r.DeleteValue(kKey, L"a"); }, L"d"},
        {"the next deleted", false, [](Registry& r) { r.DeleteValue(kKey, L"c"); }, L"d"},
        {"one added", false, [](Registry& r) { r.SetDword(kKey, L"e", 5); }, L"c"},
        {"one before deleted elsewhere", true, [](Registry& r) { r.DeleteValue(kKey, L"a"); }, L"d"},
        {"key made anew elsewhere", true,
         [](Registry& r) {
             r.DeleteKey(kKey);
             for (const wchar_t* n : {L"x", L"y", L"z"}) r.SetDword(kKey, n, 1);
         },
         L"z"},
    };
    for (const Row& row : rows) {
        std::filesystem::remove_all(folder);
        auto m = winsim::Machine::Open(folder, "bare");
        auto other = winsim::Machine::Open(folder, "bare");
        Registry here(*m);
        for (const wchar_t* n : {L"a", L"b", L"c", L"d"}) here.SetDword(kKey, n, 1);
        winsim::ProcessScope scope(*m);
        HKEY h = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSub, 0, KEY_READ, &h)) << row.name;
        WCHAR name[16];
        for (DWORD i = 0; i < 2; ++i) {
            DWORD cch = 16;
            ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(h, i, name, &cch, NULL, NULL, NULL, NULL)) << row.name;
        }
        Registry there(row.other_connection ? *other : *m);
        row.change(there);
        RegCloseKey(h);  // the key may be another now
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSub, 0, KEY_READ, &h)) << row.name;
        DWORD cch = 16;
        ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(h, 2, name, &cch, NULL, NULL, NULL, NULL)) << row.name;
        EXPECT_EQ(std::wstring(row.third), name) << row.name;
        RegCloseKey(h);
    }
}
