// The registry API: sizes and errors, names, handles, access rights, enumeration, deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/registry.h"

#include <cstring>
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
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub, 0, nullptr, 0, sam, nullptr, &h, nullptr))
            << "create " << sub;
        return h;
    }
};

// ---------------------------------------------------------------------------------------
// Sizes: what RegQueryValueExW reports and writes for data stored in the machine.

struct QueryCase {
    const char* what;
    DWORD type;
    std::vector<uint8_t> stored;
    bool pass_buffer;  // lpData given
    DWORD offered;     // *lpcbData on entry
    LSTATUS status;
    DWORD size;                  // *lpcbData on return
    std::vector<uint8_t> data;   // caller bytes written (when status is success and a buffer was given)
};

TEST_F(RegistryApiTest, QueryValueSizesAndErrors) {
    const std::vector<QueryCase> cases = {
        {"REG_SZ size only", REG_SZ, U16(std::wstring(L"abc", 4)), false, 0, ERROR_SUCCESS, 4 * sizeof(WCHAR), {}},
        {"REG_SZ exact buffer", REG_SZ, U16(std::wstring(L"abc", 4)), true, 4 * sizeof(WCHAR), ERROR_SUCCESS,
         4 * sizeof(WCHAR), WideBytes(std::wstring(L"abc", 4))},
        {"REG_SZ one byte short", REG_SZ, U16(std::wstring(L"abc", 4)), true, 4 * sizeof(WCHAR) - 1, ERROR_MORE_DATA,
         4 * sizeof(WCHAR), {}},
        {"REG_SZ zero buffer", REG_SZ, U16(std::wstring(L"abc", 4)), true, 0, ERROR_MORE_DATA, 4 * sizeof(WCHAR), {}},
        {"REG_SZ without terminator stays so", REG_SZ, U16(L"abc"), true, 64, ERROR_SUCCESS, 3 * sizeof(WCHAR),
         WideBytes(L"abc")},
        {"REG_SZ odd byte count", REG_SZ, {'a', 0, 'b'}, true, 64, ERROR_SUCCESS, 2 * sizeof(WCHAR), WideBytes(L"ab")},
        {"REG_SZ empty data", REG_SZ, {}, true, 64, ERROR_SUCCESS, 0, {}},
        {"REG_EXPAND_SZ is not expanded", REG_EXPAND_SZ, U16(std::wstring(L"%OS%", 5)), true, 64, ERROR_SUCCESS,
         5 * sizeof(WCHAR), WideBytes(std::wstring(L"%OS%", 5))},
        {"REG_MULTI_SZ", REG_MULTI_SZ, U16(std::wstring(L"a\0bc\0\0", 6)), true, 64, ERROR_SUCCESS,
         6 * sizeof(WCHAR), WideBytes(std::wstring(L"a\0bc\0\0", 6))},
        {"outside the BMP: one wchar_t, two units", REG_SZ, U16(std::wstring(L"\U0001F600", 2)), true, 64,
         ERROR_SUCCESS, 2 * sizeof(WCHAR), WideBytes(std::wstring(L"\U0001F600", 2))},
        {"REG_DWORD", REG_DWORD, {1, 2, 3, 4}, true, 4, ERROR_SUCCESS, 4, {1, 2, 3, 4}},
        {"REG_DWORD short buffer", REG_DWORD, {1, 2, 3, 4}, true, 3, ERROR_MORE_DATA, 4, {}},
        {"REG_DWORD of odd size is kept", REG_DWORD, {1, 2}, true, 4, ERROR_SUCCESS, 2, {1, 2}},
        {"REG_QWORD", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, true, 8, ERROR_SUCCESS, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"REG_BINARY odd size", REG_BINARY, {9, 8, 7}, true, 16, ERROR_SUCCESS, 3, {9, 8, 7}},
        {"REG_NONE empty", REG_NONE, {}, false, 0, ERROR_SUCCESS, 0, {}},
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

TEST_F(RegistryApiTest, QueryValueParameterErrors) {
    reg.SetDword(kKey, L"n", 5);
    HKEY h = Open(kSub, KEY_READ);
    DWORD d = 0, cb = 4, reserved = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExW(h, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(h, L"n", &reserved, nullptr, reinterpret_cast<BYTE*>(&d), &cb));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(h, L"missing", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(h, nullptr, nullptr, nullptr, nullptr, &cb))
        << "no default value unless set";
    // Neither buffer nor size: only whether the value exists.
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"n", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(h);
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NoSuchKey", 0, KEY_READ, &missing));
    EXPECT_EQ(NULL, missing);
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegQueryValueExW(reinterpret_cast<HKEY>(0x1234), L"n", nullptr, nullptr, nullptr, &cb));
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
        {"outside the BMP", REG_SZ, WideBytes(std::wstring(L"\U0001F600", 2)), 2 * sizeof(WCHAR),
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
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExW(h, L"v", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"v", 0, REG_BINARY, nullptr, 0));
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, StringSizeRoundTripsInCallerUnits) {
    // The idiom system code uses in both builds: cb = (len + 1) * sizeof(WCHAR) and
    // cb / sizeof(WCHAR) characters back.
    const wchar_t* text = L"C:\\Program Files\\Quarven";
    HKEY h = Create(kSub);
    DWORD cb = static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), cb));
    EXPECT_EQ(2 * (wcslen(text) + 1), reg.GetValue(kKey, L"Path")->data.size()) << "UTF-16 in the store";
    WCHAR buf[64];
    DWORD got = sizeof(buf);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &got));
    EXPECT_EQ(cb, got);
    EXPECT_EQ(wcslen(text) + 1, got / sizeof(WCHAR));
    EXPECT_STREQ(text, buf);
    RegCloseKey(h);
}

// ---------------------------------------------------------------------------------------
// RegGetValueW

struct GetCase {
    const char* what;
    DWORD type;
    std::vector<uint8_t> stored;
    DWORD flags;
    LSTATUS status;
    DWORD out_type;
    std::vector<uint8_t> data;  // caller bytes on success
};

TEST_F(RegistryApiTest, GetValueRestrictsTypesAndTerminatesStrings) {
    const std::vector<GetCase> cases = {
        {"terminator added", REG_SZ, U16(L"abc"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ,
         WideBytes(std::wstring(L"abc", 4))},
        {"terminator kept", REG_SZ, U16(std::wstring(L"abc", 4)), RRF_RT_ANY, ERROR_SUCCESS, REG_SZ,
         WideBytes(std::wstring(L"abc", 4))},
        {"expanded to REG_SZ", REG_EXPAND_SZ, U16(std::wstring(L"%SystemRoot%\\inf", 17)), RRF_RT_REG_SZ,
         ERROR_SUCCESS, REG_SZ, WideBytes(std::wstring(L"C:\\Windows\\inf", 15))},
        {"unknown variable kept", REG_EXPAND_SZ, U16(std::wstring(L"%NOPE%", 7)), RRF_RT_ANY, ERROR_SUCCESS, REG_SZ,
         WideBytes(std::wstring(L"%NOPE%", 7))},
        {"not expanded", REG_EXPAND_SZ, U16(std::wstring(L"%OS%", 5)), RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
         ERROR_SUCCESS, REG_EXPAND_SZ, WideBytes(std::wstring(L"%OS%", 5))},
        {"unexpanded is not REG_SZ", REG_EXPAND_SZ, U16(std::wstring(L"%OS%", 5)), RRF_RT_REG_SZ | RRF_NOEXPAND,
         ERROR_UNSUPPORTED_TYPE, 0, {}},
        {"RRF_RT_REG_EXPAND_SZ needs RRF_NOEXPAND", REG_EXPAND_SZ, U16(std::wstring(L"%OS%", 5)),
         RRF_RT_REG_EXPAND_SZ, ERROR_INVALID_PARAMETER, 0, {}},
        {"multi-string list ended", REG_MULTI_SZ, U16(std::wstring(L"a\0b\0", 4)), RRF_RT_REG_MULTI_SZ,
         ERROR_SUCCESS, REG_MULTI_SZ, WideBytes(std::wstring(L"a\0b\0\0", 5))},
        {"dword", REG_DWORD, {7, 0, 0, 0}, RRF_RT_REG_DWORD, ERROR_SUCCESS, REG_DWORD, {7, 0, 0, 0}},
        {"32-bit binary as RRF_RT_DWORD", REG_BINARY, {7, 0, 0, 0}, RRF_RT_DWORD, ERROR_SUCCESS, REG_BINARY,
         {7, 0, 0, 0}},
        {"binary of another size", REG_BINARY, {7, 0, 0}, RRF_RT_DWORD, ERROR_DATATYPE_MISMATCH, 0, {}},
        {"dword asked as string", REG_DWORD, {7, 0, 0, 0}, RRF_RT_REG_SZ, ERROR_UNSUPPORTED_TYPE, 0, {}},
        {"string asked as dword", REG_SZ, U16(std::wstring(L"7", 2)), RRF_RT_DWORD, ERROR_UNSUPPORTED_TYPE, 0, {}},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, RRF_RT_QWORD, ERROR_SUCCESS, REG_QWORD,
         {1, 0, 0, 0, 0, 0, 0, 0}},
        {"no type flag", REG_DWORD, {7, 0, 0, 0}, RRF_NOEXPAND, ERROR_INVALID_PARAMETER, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reg.SetValue(kKey, L"v", c.type, c.stored);
        std::vector<uint8_t> buf(256, 0xCD);
        DWORD type = 0, cb = static_cast<DWORD>(buf.size());
        LSTATUS st = RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"v", c.flags, &type, buf.data(), &cb);
        EXPECT_EQ(c.status, st);
        if (st == ERROR_SUCCESS) {
            EXPECT_EQ(c.out_type, type);
            EXPECT_EQ(c.data, std::vector<uint8_t>(buf.begin(), buf.begin() + cb));
            // The size query gives the same size.
            DWORD need = 0;
            EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"v", c.flags, nullptr, nullptr, &need));
            EXPECT_EQ(cb, need);
        }
    }
}

TEST_F(RegistryApiTest, GetValueShortBufferAndZeroOnFailure) {
    reg.SetValue(kKey, L"s", REG_SZ, U16(L"abcd"));  // stored without terminator
    WCHAR buf[8];
    wmemset(buf, L'#', 8);
    DWORD cb = 4 * sizeof(WCHAR);
    EXPECT_EQ(ERROR_MORE_DATA, RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"s", RRF_RT_REG_SZ, nullptr, buf, &cb));
    EXPECT_EQ(5 * sizeof(WCHAR), cb) << "room for the added terminator";
    cb = 4 * sizeof(WCHAR);
    EXPECT_EQ(ERROR_MORE_DATA,
              RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"s", RRF_RT_REG_SZ | RRF_ZEROONFAILURE, nullptr, buf, &cb));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0, buf[i]);
    EXPECT_EQ(L'#', buf[4]) << "only the offered size is cleared";
    cb = sizeof(buf);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nope", L"s", RRF_RT_ANY, nullptr, buf, &cb));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"s", RRF_RT_ANY, nullptr, buf, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegGetValueW(HKEY_LOCAL_MACHINE, kSub, L"s",
                                                    RRF_RT_ANY | RRF_SUBKEY_WOW6432KEY | RRF_SUBKEY_WOW6464KEY,
                                                    nullptr, nullptr, &cb));
}

// ---------------------------------------------------------------------------------------
// Names and handles

TEST_F(RegistryApiTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
    HKEY h = Create(L"SOFTWARE\\Quarven\\VelTrane");
    DWORD disp = 0;
    HKEY again = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"software\\QUARVEN\\veltrane", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &again, &disp));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disp);
    DWORD v = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"MyValue", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    v = 2;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(again, L"MYVALUE", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    DWORD got = 0, cb = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"myvalue", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &cb));
    EXPECT_EQ(2u, got);
    WCHAR name[32];
    DWORD cch = 32;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"MyValue", name) << "the first spelling stays";
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    HKEY parent = Open(L"SOFTWARE\\QUARVEN");
    cch = 32;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExW(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"VelTrane", name);
    EXPECT_EQ(8u, cch);
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarven\\VelTrane",
              reg.CanonicalPath(L"hklm\\software\\quarven\\VELTRANE"));
    RegCloseKey(parent);
    RegCloseKey(again);
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, EmptySubkeyOpensANewHandleToTheSameKey) {
    HKEY h = Create(kSub);
    for (LPCWSTR sub : {static_cast<LPCWSTR>(nullptr), L""}) {
        HKEY h2 = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(h, sub, 0, KEY_ALL_ACCESS, &h2));
        EXPECT_NE(h, h2);
        DWORD v = 9;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h2, L"via2", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h2));
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"via2", nullptr, nullptr, nullptr, nullptr))
            << "the first handle still works";
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(h2)) << "handle values are not reused";
    }
    // RegOpenKeyW and RegCreateKeyW hand back the same handle.
    HKEY same = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyW(h, nullptr, &same));
    EXPECT_EQ(h, same);
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyW(h, L"", &same));
    EXPECT_EQ(h, same);
    // RegCreateKeyExW with "" opens the key itself.
    DWORD disp = 0;
    HKEY h3 = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(h, L"", 0, nullptr, 0, KEY_READ, nullptr, &h3, &disp));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disp);
    RegCloseKey(h3);
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, PathSyntaxAndLimits) {
    HKEY h = NULL;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\X", 0, nullptr, 0, KEY_READ,
                                                  nullptr, &h, nullptr));
    // A trailing or doubled separator is harmless.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\\\Microsoft\\", 0, KEY_READ, &h));
    RegCloseKey(h);
    std::wstring n255(255, L'k'), n256(256, L'k');
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\" + n255).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &h, nullptr));
    std::wstring v16383(16383, L'v'), v16384(16384, L'v');
    DWORD d = 1;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(h, v16383.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExW(h, v16384.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4));
    RegCloseKey(h);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\" + n256).c_str(), 0,
                                                       nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
    EXPECT_FALSE(reg.KeyExists(L"HKLM\\SOFTWARE\\" + n255.substr(0, 10)));
}

TEST_F(RegistryApiTest, HandleErrors) {
    HKEY h = Create(kSub);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(h, L"x", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE)) << "predefined keys close silently";
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_LOCAL_MACHINE));
    // Key handles are not kernel handles.
    HKEY k = Create(kSub);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(k)));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(k));
}

// ---------------------------------------------------------------------------------------
// Access rights

enum class Op { Query, Set, DeleteValue, EnumKeys, EnumValues, Info, CreateNewSub, OpenExistingSub };

struct AccessCase {
    const char* what;
    REGSAM sam;
    Op op;
    LSTATUS status;
};

TEST_F(RegistryApiTest, AccessMasksAreChecked) {
    const std::vector<AccessCase> cases = {
        {"read refuses set", KEY_READ, Op::Set, ERROR_ACCESS_DENIED},
        {"read refuses value delete", KEY_READ, Op::DeleteValue, ERROR_ACCESS_DENIED},
        // Creation is checked against the key's security descriptor, not the handle's rights.
        {"read may create subkeys", KEY_READ, Op::CreateNewSub, ERROR_SUCCESS},
        {"read may open an existing subkey", KEY_READ, Op::OpenExistingSub, ERROR_SUCCESS},
        {"read queries", KEY_READ, Op::Query, ERROR_SUCCESS},
        {"read enumerates", KEY_READ, Op::EnumKeys, ERROR_SUCCESS},
        {"write refuses queries", KEY_WRITE, Op::Query, ERROR_ACCESS_DENIED},
        {"write refuses value enumeration", KEY_WRITE, Op::EnumValues, ERROR_ACCESS_DENIED},
        {"write refuses key enumeration", KEY_WRITE, Op::EnumKeys, ERROR_ACCESS_DENIED},
        {"write sets", KEY_WRITE, Op::Set, ERROR_SUCCESS},
        {"write creates", KEY_WRITE, Op::CreateNewSub, ERROR_SUCCESS},
        {"query value alone cannot enumerate keys", KEY_QUERY_VALUE, Op::EnumKeys, ERROR_ACCESS_DENIED},
        {"set value alone cannot query info", KEY_SET_VALUE, Op::Info, ERROR_ACCESS_DENIED},
        {"generic read", GENERIC_READ, Op::EnumValues, ERROR_SUCCESS},
        {"generic write", GENERIC_WRITE, Op::Set, ERROR_SUCCESS},
        {"maximum allowed", MAXIMUM_ALLOWED, Op::Set, ERROR_SUCCESS},
        {"no rights", 0, Op::Query, ERROR_ACCESS_DENIED},
    };
    reg.SetDword(kKey, L"n", 1);
    reg.CreateKey(std::wstring(kKey) + L"\\Existing");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY h = Open(kSub, c.sam);
        DWORD d = 1, cb = 4, cch = 64;
        WCHAR name[64];
        HKEY sub = NULL;
        LSTATUS st = ERROR_GEN_FAILURE;
        switch (c.op) {
            case Op::Query: st = RegQueryValueExW(h, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), &cb); break;
            case Op::Set: st = RegSetValueExW(h, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4); break;
            case Op::DeleteValue: st = RegDeleteValueW(h, L"n"); break;
            case Op::EnumKeys: st = RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr); break;
            case Op::EnumValues: st = RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr); break;
            case Op::Info:
                st = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &d, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
                break;
            case Op::CreateNewSub:
                st = RegCreateKeyExW(h, L"New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
                break;
            case Op::OpenExistingSub:
                st = RegCreateKeyExW(h, L"Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
                break;
        }
        EXPECT_EQ(c.status, st);
        if (sub) RegCloseKey(sub);
        RegCloseKey(h);
        reg.SetDword(kKey, L"n", 1);
        reg.DeleteKey(std::wstring(kKey) + L"\\New");
    }
}

// ---------------------------------------------------------------------------------------
// Enumeration

std::vector<std::wstring> EnumKeys(HKEY h) {
    std::vector<std::wstring> out;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        LSTATUS st = RegEnumKeyExW(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, st);
        if (st) break;
        out.emplace_back(name, cch);
    }
    return out;
}

std::vector<std::wstring> EnumValues(HKEY h) {
    std::vector<std::wstring> out;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        LSTATUS st = RegEnumValueW(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, st);
        if (st) break;
        out.emplace_back(name, cch);
    }
    return out;
}

TEST_F(RegistryApiTest, SubkeysEnumerateSortedWithoutRegardToCase) {
    HKEY h = Create(kSub);
    for (const wchar_t* n : {L"beta", L"_under", L"Alpha", L"Gamma", L"alpha2", L"0digit"}) {
        HKEY s = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(h, n, 0, nullptr, 0, KEY_READ, nullptr, &s, nullptr));
        RegCloseKey(s);
    }
    // Upper-case order: '_' (0x5F) sorts after the letters.
    EXPECT_EQ((std::vector<std::wstring>{L"0digit", L"Alpha", L"alpha2", L"beta", L"Gamma", L"_under"}), EnumKeys(h));
    EXPECT_EQ(EnumKeys(h), reg.ListKeys(kKey));
    WCHAR small[5];
    DWORD cch = 5;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(h, 0, small, &cch, nullptr, nullptr, nullptr, nullptr))
        << "\"0digit\" needs 7 characters";
    WCHAR fits[7];
    cch = 7;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(h, 0, fits, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(6u, cch);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyW(h, 1, small, 5));
    WCHAR name[16];
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyW(h, 1, name, 16));
    EXPECT_STREQ(L"Alpha", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyW(h, 6, name, 16));
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, ValuesEnumerateInCreationOrder) {
    HKEY h = Create(kSub);
    auto set = [&](const wchar_t* n, DWORD v) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, n, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    };
    set(L"zeta", 1);
    set(L"Alpha", 2);
    set(L"mid", 3);
    set(L"", 4);
    EXPECT_EQ((std::vector<std::wstring>{L"zeta", L"Alpha", L"mid", L""}), EnumValues(h));
    set(L"ALPHA", 5);  // an overwrite keeps its place
    EXPECT_EQ((std::vector<std::wstring>{L"zeta", L"Alpha", L"mid", L""}), EnumValues(h));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(h, L"zeta"));
    set(L"zeta", 6);  // deleted and created again: last
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"mid", L"", L"zeta"}), EnumValues(h));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(h, L"nothing"));

    // Short name buffer, then short data buffer (the name fits: required size reported).
    WCHAR name[8];
    DWORD cch = 5, type = 0, cb = 2;
    BYTE data[8];
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(h, 0, name, &cch, nullptr, &type, data, &cb)) << "\"Alpha\" needs 6";
    cch = 6;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(h, 0, name, &cch, nullptr, &type, data, &cb));
    EXPECT_EQ(4u, cb);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    cch = 8;
    cb = 8;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(h, 0, name, &cch, nullptr, &type, data, &cb));
    EXPECT_STREQ(L"Alpha", name);
    EXPECT_EQ(5u, cch);
    EXPECT_EQ(5u, data[0]);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(h, 4, name, &cch, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, QueryInfoKeyCountsInCallerUnits) {
    reg.SetString(kKey, L"LongestName", L"0123456789");  // 11 characters with the terminator
    reg.SetDword(kKey, L"n", 1);
    reg.CreateKey(std::wstring(kKey) + L"\\Sub");
    reg.CreateKey(std::wstring(kKey) + L"\\LongerSub");
    HKEY h = Open(kSub, KEY_READ);
    DWORD subs = 0, max_sub = 0, values = 0, max_name = 0, max_data = 0, cch_class = 0;
    FILETIME ft{};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(h, nullptr, &cch_class, nullptr, &subs, &max_sub, nullptr, &values,
                                              &max_name, &max_data, nullptr, &ft));
    EXPECT_EQ(2u, subs);
    EXPECT_EQ(9u, max_sub);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(11u, max_name);
    EXPECT_EQ(11 * sizeof(WCHAR), max_data);
    EXPECT_EQ(0u, cch_class);
    EXPECT_NE(0u, ft.dwHighDateTime);
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, LastWriteTimeFollowsTheMachineClock) {
    HKEY h = Create(kSub);
    FILETIME before{}, after{};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, &before));
    Sleep(5000);
    DWORD v = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, &after));
    auto ticks = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    EXPECT_EQ(5000u * 10000u, ticks(after) - ticks(before));
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    EXPECT_EQ(ticks(now), ticks(after));
    RegCloseKey(h);
}

// ---------------------------------------------------------------------------------------
// Deletion

TEST_F(RegistryApiTest, DeleteKeyRefusesKeysWithSubkeys) {
    reg.SetDword(std::wstring(kKey) + L"\\Child\\Grandchild", L"n", 1);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSub));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane\\Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane\\Child\\Grandchild"))
        << "a key with values but no subkeys goes";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane\\Child\\Grandchild"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr));
    HKEY h = Open(kSub, KEY_READ);  // the handle's rights do not matter
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(h, L"Child"));
    RegCloseKey(h);
    EXPECT_TRUE(reg.KeyExists(kKey));
    EXPECT_FALSE(reg.KeyExists(std::wstring(kKey) + L"\\Child"));
    // Hive keys and roots stay.
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_USERS, L".DEFAULT"));
    EXPECT_TRUE(reg.KeyExists(L"HKLM\\SYSTEM\\CurrentControlSet"));
}

TEST_F(RegistryApiTest, DeleteTreeRemovesEverythingBelow) {
    reg.SetDword(std::wstring(kKey) + L"\\A\\B\\C", L"n", 1);
    reg.SetDword(std::wstring(kKey) + L"\\A", L"n", 1);
    reg.SetDword(kKey, L"top", 1);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane\\A"));
    EXPECT_FALSE(reg.KeyExists(std::wstring(kKey) + L"\\A"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Veltrane\\A"));
    // With no subkey name: the contents go, the key stays.
    reg.CreateKey(std::wstring(kKey) + L"\\X\\Y");
    HKEY h = Open(kSub, KEY_READ);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(h, nullptr)) << "needs DELETE and KEY_SET_VALUE for values";
    RegCloseKey(h);
    h = Open(kSub, KEY_ALL_ACCESS);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(h, nullptr));
    EXPECT_TRUE(reg.KeyExists(kKey));
    EXPECT_TRUE(reg.ListKeys(kKey).empty());
    EXPECT_TRUE(reg.ListValues(kKey).empty());
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, HandleOfADeletedKeyFailsWithKeyDeleted) {
    reg.SetDword(kKey, L"n", 1);
    HKEY h = Open(kSub);
    HKEY parent = Open(L"SOFTWARE\\Quarven");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(parent, L"Veltrane"));
    reg.SetDword(kKey, L"n", 1);  // the same path made again is another key
    DWORD d = 0, cb = 4, cch = 16;
    WCHAR name[16];
    HKEY sub = NULL;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(h, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&d), &cb));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExW(h, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExW(h, L"x", 0, KEY_READ, &sub));
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExW(h, L"x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueW(h, L"n"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h));
    RegCloseKey(parent);
}

// ---------------------------------------------------------------------------------------
// Other entry points

TEST_F(RegistryApiTest, SetKeyValueCreatesTheSubkey) {
    DWORD v = 77;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSub, L"n", REG_DWORD, &v, 4));
    EXPECT_EQ(77u, reg.GetDword(kKey, L"n"));
    HKEY h = Open(kSub);
    v = 78;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(h, nullptr, L"n", REG_DWORD, &v, 4));
    EXPECT_EQ(78u, reg.GetDword(kKey, L"n"));
    RegCloseKey(h);
}

TEST_F(RegistryApiTest, VolatileKeysNeedVolatileChildren) {
    HKEY v = NULL, child = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quarven\\Volatile", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &v, nullptr));
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
              RegCreateKeyExW(v, L"Stable", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(v, L"Fleeting", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                             &child, nullptr));
    RegCloseKey(child);
    RegCloseKey(v);
}

TEST_F(RegistryApiTest, ConnectRegistryIsLocalOnly) {
    struct {
        const wchar_t* machine;
        HKEY key;
        LSTATUS status;
    } cases[] = {
        {nullptr, HKEY_LOCAL_MACHINE, ERROR_SUCCESS},    {L"", HKEY_USERS, ERROR_SUCCESS},
        {L"\\\\QTABLET", HKEY_LOCAL_MACHINE, ERROR_SUCCESS}, {L"\\\\qtablet", HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {L"\\\\OTHERPC", HKEY_LOCAL_MACHINE, ERROR_BAD_NETPATH}, {nullptr, HKEY_CURRENT_USER, ERROR_INVALID_HANDLE},
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
