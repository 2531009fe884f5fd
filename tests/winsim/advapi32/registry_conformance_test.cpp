// The registry API as Windows has it, below the test's own key: sizes and errors, names,
// handles, access rights, enumeration and deletion.
#include "conformance.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#ifndef RRF_SUBKEY_WOW6464KEY  // documented (RegGetValueW, dwFlags) but not in every SDK's headers
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#define RRF_SUBKEY_WOW6432KEY 0x00020000
#endif

namespace {

// A string's bytes in the caller's WCHAR units.
std::vector<uint8_t> WideBytes(const std::wstring& s) {
    std::vector<uint8_t> b(s.size() * sizeof(WCHAR));
    if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
    return b;
}

class RegistryTest : public ConformanceTest {
protected:
    // The test key's subkey sub ("" for the key itself), opened or created.
    HKEY Open(const std::wstring& sub, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY h = NULL;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, Sub(sub).c_str(), 0, sam, &h)) << "open";
        return h;
    }
    HKEY Create(const std::wstring& sub, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY h = NULL;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CURRENT_USER, Sub(sub).c_str(), 0, nullptr, 0, sam, nullptr, &h, nullptr))
            << "create";
        return h;
    }
    // The path of sub relative to HKEY_CURRENT_USER.
    std::wstring Sub(const std::wstring& sub) { return sub.empty() ? KeyPath() : KeyPath() + L"\\" + sub; }
    void Set(const std::wstring& sub, const wchar_t* name, DWORD type, const std::vector<uint8_t>& data) {
        HKEY h = Create(sub);
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(h, name, 0, type, data.data(), static_cast<DWORD>(data.size())));
        RegCloseKey(h);
    }
    void SetDword(const std::wstring& sub, const wchar_t* name, DWORD v) {
        Set(sub, name, REG_DWORD,
            {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             static_cast<uint8_t>(v >> 24)});
    }
    bool Exists(const std::wstring& sub) {
        HKEY h = NULL;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Sub(sub).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        RegCloseKey(h);
        return true;
    }
};

// ---------------------------------------------------------------------------------------
// Sizes: what RegQueryValueExW reports and writes for data set in the caller's units.

const char* const kStoredWithout =
    "RegQueryValueExW: the size of string data includes any terminating null character unless the data was stored "
    "without them; Wine adds one";

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

TEST_F(RegistryTest, QueryValueSizesAndErrors) {
    const auto abc0 = WideBytes(std::wstring(L"abc", 4));
    const std::vector<QueryCase> cases = {
        {"REG_SZ size only", REG_SZ, abc0, false, 0, ERROR_SUCCESS, 4 * sizeof(WCHAR), {}},
        {"REG_SZ exact buffer", REG_SZ, abc0, true, 4 * sizeof(WCHAR), ERROR_SUCCESS, 4 * sizeof(WCHAR), abc0},
        {"REG_SZ one byte short", REG_SZ, abc0, true, 4 * sizeof(WCHAR) - 1, ERROR_MORE_DATA, 4 * sizeof(WCHAR), {}},
        {"REG_SZ zero buffer", REG_SZ, abc0, true, 0, ERROR_MORE_DATA, 4 * sizeof(WCHAR), {}},
        {"REG_SZ without terminator stays so", REG_SZ, WideBytes(L"abc"), true, 64, ERROR_SUCCESS,
         WINE_DIFFERS(static_cast<DWORD>(3 * sizeof(WCHAR)), static_cast<DWORD>(4 * sizeof(WCHAR)), kStoredWithout),
         WINE_DIFFERS(WideBytes(L"abc"), WideBytes(std::wstring(L"abc", 4)), kStoredWithout)},
        {"REG_SZ empty data", REG_SZ, {}, true, 64, ERROR_SUCCESS, 0, {}},
        {"REG_EXPAND_SZ is not expanded", REG_EXPAND_SZ, WideBytes(std::wstring(L"%OS%", 5)), true, 64, ERROR_SUCCESS,
         5 * sizeof(WCHAR), WideBytes(std::wstring(L"%OS%", 5))},
        {"REG_MULTI_SZ", REG_MULTI_SZ, WideBytes(std::wstring(L"a\0bc\0\0", 6)), true, 64, ERROR_SUCCESS,
         6 * sizeof(WCHAR), WideBytes(std::wstring(L"a\0bc\0\0", 6))},
        {"REG_DWORD", REG_DWORD, {1, 2, 3, 4}, true, 4, ERROR_SUCCESS, 4, {1, 2, 3, 4}},
        {"REG_DWORD short buffer", REG_DWORD, {1, 2, 3, 4}, true, 3, ERROR_MORE_DATA, 4, {}},
        {"REG_DWORD of odd size is kept", REG_DWORD, {1, 2}, true, 4, ERROR_SUCCESS, 2, {1, 2}},
        {"REG_QWORD", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, true, 8, ERROR_SUCCESS, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"REG_BINARY odd size", REG_BINARY, {9, 8, 7}, true, 16, ERROR_SUCCESS, 3, {9, 8, 7}},
        {"REG_NONE empty", REG_NONE, {}, false, 0, ERROR_SUCCESS, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Set(L"", L"v", c.type, c.stored);
        HKEY h = Open(L"", KEY_QUERY_VALUE);
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

TEST_F(RegistryTest, QueryValueParameterErrors) {
    SetDword(L"", L"n", 5);
    HKEY h = Open(L"", KEY_READ);
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
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CURRENT_USER, Sub(L"NoSuchKey").c_str(), 0, KEY_READ, &missing));
    EXPECT_EQ(NULL, missing);
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegQueryValueExW(reinterpret_cast<HKEY>(0x1234), L"n", nullptr, nullptr, nullptr, &cb));
}

TEST_F(RegistryTest, StringSizeRoundTripsInCallerUnits) {
    // The idiom system code uses in both builds: cb = (len + 1) * sizeof(WCHAR) and
    // cb / sizeof(WCHAR) characters back.
    const wchar_t* text = L"C:\\Program Files\\Quarven";
    HKEY h = Create(L"");
    DWORD cb = static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), cb));
    WCHAR buf[64];
    DWORD got = sizeof(buf);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &got));
    EXPECT_EQ(cb, got);
    EXPECT_EQ(wcslen(text) + 1, got / sizeof(WCHAR));
    EXPECT_STREQ(text, buf);
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExW(h, L"v", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"v", 0, REG_BINARY, nullptr, 0));
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

class RegistryGetValue : public RegistryTest {
protected:
    ~RegistryGetValue() override { SetEnvironmentVariableW(L"VqConfRoot", nullptr); }
};

TEST_F(RegistryGetValue, RestrictsTypesAndTerminatesStrings) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"VqConfRoot", L"C:\\Windows"));
    const std::vector<GetCase> cases = {
        {"terminator added", REG_SZ, WideBytes(L"abc"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ,
         WideBytes(std::wstring(L"abc", 4))},
        {"terminator kept", REG_SZ, WideBytes(std::wstring(L"abc", 4)), RRF_RT_ANY, ERROR_SUCCESS, REG_SZ,
         WideBytes(std::wstring(L"abc", 4))},
        {"expanded to REG_SZ", REG_EXPAND_SZ, WideBytes(std::wstring(L"%VqConfRoot%\\inf", 17)), RRF_RT_REG_SZ,
         ERROR_SUCCESS, REG_SZ, WideBytes(std::wstring(L"C:\\Windows\\inf", 15))},
        {"unknown variable kept", REG_EXPAND_SZ, WideBytes(std::wstring(L"%NOPE%", 7)), RRF_RT_ANY, ERROR_SUCCESS,
         REG_SZ, WideBytes(std::wstring(L"%NOPE%", 7))},
        {"not expanded", REG_EXPAND_SZ, WideBytes(std::wstring(L"%OS%", 5)), RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
         ERROR_SUCCESS, REG_EXPAND_SZ, WideBytes(std::wstring(L"%OS%", 5))},
        {"unexpanded is not REG_SZ",
         REG_EXPAND_SZ,
         WideBytes(std::wstring(L"%OS%", 5)),
         RRF_RT_REG_SZ | RRF_NOEXPAND,
         ERROR_UNSUPPORTED_TYPE,
         0,
         {}},
        {"RRF_RT_REG_EXPAND_SZ needs RRF_NOEXPAND",
         REG_EXPAND_SZ,
         WideBytes(std::wstring(L"%OS%", 5)),
         RRF_RT_REG_EXPAND_SZ,
         ERROR_INVALID_PARAMETER,
         0,
         {}},
        {"dword", REG_DWORD, {7, 0, 0, 0}, RRF_RT_REG_DWORD, ERROR_SUCCESS, REG_DWORD, {7, 0, 0, 0}},
        {"32-bit binary as RRF_RT_DWORD",
         REG_BINARY,
         {7, 0, 0, 0},
         RRF_RT_DWORD,
         ERROR_SUCCESS,
         REG_BINARY,
         {7, 0, 0, 0}},
        {"binary of another size", REG_BINARY, {7, 0, 0}, RRF_RT_DWORD, ERROR_DATATYPE_MISMATCH, 0, {}},
        {"dword asked as string", REG_DWORD, {7, 0, 0, 0}, RRF_RT_REG_SZ, ERROR_UNSUPPORTED_TYPE, 0, {}},
        {"string asked as dword",
         REG_SZ,
         WideBytes(std::wstring(L"7", 2)),
         RRF_RT_DWORD,
         ERROR_UNSUPPORTED_TYPE,
         0,
         {}},
        {"qword",
         REG_QWORD,
         {1, 0, 0, 0, 0, 0, 0, 0},
         RRF_RT_QWORD,
         ERROR_SUCCESS,
         REG_QWORD,
         {1, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Set(L"", L"v", c.type, c.stored);
        std::vector<uint8_t> buf(256, 0xCD);
        DWORD type = 0, cb = static_cast<DWORD>(buf.size());
        LSTATUS st = RegGetValueW(HKEY_CURRENT_USER, KeyPath().c_str(), L"v", c.flags, &type, buf.data(), &cb);
        EXPECT_EQ(c.status, st);
        if (st == ERROR_SUCCESS) {
            EXPECT_EQ(c.out_type, type);
            EXPECT_EQ(c.data, std::vector<uint8_t>(buf.begin(), buf.begin() + cb));
            // The size query gives the same size.
            DWORD need = 0;
            EXPECT_EQ(ERROR_SUCCESS,
                      RegGetValueW(HKEY_CURRENT_USER, KeyPath().c_str(), L"v", c.flags, nullptr, nullptr, &need));
            EXPECT_EQ(cb, need);
        }
    }
}

TEST_F(RegistryGetValue, ShortBufferAndZeroOnFailure) {
    Set(L"", L"s", REG_SZ, WideBytes(L"abcd"));  // without terminator
    WCHAR buf[8];
    wmemset(buf, L'#', 8);
    const char* const room =
        "RegGetValueW: a string without a terminating null character gets one if the buffer is large enough, "
        "otherwise the function fails with ERROR_MORE_DATA; Wine returns it unterminated";
    DWORD cb = 4 * sizeof(WCHAR);
    EXPECT_EQ(WINE_DIFFERS(ERROR_MORE_DATA, ERROR_SUCCESS, room),
              RegGetValueW(HKEY_CURRENT_USER, KeyPath().c_str(), L"s", RRF_RT_REG_SZ, nullptr, buf, &cb));
    EXPECT_EQ(WINE_DIFFERS(5 * sizeof(WCHAR), 4 * sizeof(WCHAR), room), cb) << "room for the added terminator";
    cb = 4 * sizeof(WCHAR);
    LSTATUS st =
        RegGetValueW(HKEY_CURRENT_USER, KeyPath().c_str(), L"s", RRF_RT_REG_SZ | RRF_ZEROONFAILURE, nullptr, buf, &cb);
    EXPECT_EQ(WINE_DIFFERS(ERROR_MORE_DATA, ERROR_SUCCESS, room), st);
    if (st == ERROR_MORE_DATA) {
        for (int i = 0; i < 4; ++i) EXPECT_EQ(0, buf[i]);
    }
    EXPECT_EQ(L'#', buf[4]) << "only the offered size is cleared";
    cb = sizeof(buf);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegGetValueW(HKEY_CURRENT_USER, Sub(L"Nope").c_str(), L"s", RRF_RT_ANY, nullptr, buf, &cb));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegGetValueW(HKEY_CURRENT_USER, KeyPath().c_str(), L"s", RRF_RT_ANY, nullptr, buf, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegGetValueW(HKEY_CURRENT_USER, KeyPath().c_str(), L"s",
                           RRF_RT_ANY | RRF_SUBKEY_WOW6432KEY | RRF_SUBKEY_WOW6464KEY, nullptr, nullptr, &cb));
}

// ---------------------------------------------------------------------------------------
// Names and handles

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
    HKEY h = Create(L"Quarven\\VelTrane");
    DWORD disp = 0;
    HKEY again = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Sub(L"QUARVEN\\veltrane").c_str(), 0, nullptr, 0,
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
    HKEY parent = Open(L"QUARVEN");
    cch = 32;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExW(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"VelTrane", name);
    EXPECT_EQ(8u, cch);
    RegCloseKey(parent);
    RegCloseKey(again);
    RegCloseKey(h);
}

TEST_F(RegistryTest, EmptySubkeyOpensANewHandleToTheSameKey) {
    HKEY h = Create(L"");
    for (LPCWSTR sub : {static_cast<LPCWSTR>(nullptr), L""}) {
        HKEY h2 = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(h, sub, 0, KEY_ALL_ACCESS, &h2));
        EXPECT_NE(h, h2);
        DWORD v = 9;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h2, L"via2", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h2));
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(h, L"via2", nullptr, nullptr, nullptr, nullptr))
            << "the first handle still works";
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(h2)) << "a closed handle";
    }
    // RegOpenKeyW and RegCreateKeyW hand back the same handle.
    HKEY same = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyW(h, nullptr, &same));
    if (!WINE_LACKS("RegOpenKeyW: for a NULL or empty lpSubKey the function returns the same handle that was passed "
                    "in; Wine opens another")) {
        EXPECT_EQ(h, same);
    } else if (same != h) {
        RegCloseKey(same);
    }
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, nullptr, &same));
    if (!WINE_LACKS("RegCreateKeyW: for a predefined hKey and a NULL lpSubKey phkResult receives the same handle; "
                    "Wine opens another")) {
        EXPECT_EQ(HKEY_CURRENT_USER, same);
    } else if (same != HKEY_CURRENT_USER) {
        RegCloseKey(same);
    }
    // RegCreateKeyExW with "" opens the key itself.
    DWORD disp = 0;
    HKEY h3 = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(h, L"", 0, nullptr, 0, KEY_READ, nullptr, &h3, &disp));
    EXPECT_EQ(WINE_DIFFERS(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), static_cast<DWORD>(REG_CREATED_NEW_KEY),
                           "RegCreateKeyExW: REG_OPENED_EXISTING_KEY when the key existed and was simply opened; "
                           "Wine reports the key itself as created"),
              disp);
    RegCloseKey(h3);
    RegCloseKey(h);
}

TEST_F(RegistryTest, PathSyntaxAndLimits) {
    HKEY h = NULL;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExW(HKEY_CURRENT_USER, (L"\\" + KeyPath()).c_str(), 0, nullptr, 0,
                                                  KEY_READ, nullptr, &h, nullptr));
    // A trailing or doubled separator is harmless.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\\\Microsoft\\", 0, KEY_READ, &h));
    RegCloseKey(h);
    std::wstring n255(255, L'k'), n256(256, L'k');
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(Key(), n255.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
    std::wstring v16383(16383, L'v'), v16384(16384, L'v');
    DWORD d = 1;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(h, v16383.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExW(h, v16384.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4));
    RegCloseKey(h);
    const char* const too_long =
        "Registry element size limits: a key name is at most 255 characters; Wine makes longer ones";
    for (const std::wstring& path : {n256, L"X\\" + n256}) {
        LSTATUS st = RegCreateKeyExW(Key(), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        EXPECT_EQ(WINE_DIFFERS(ERROR_INVALID_PARAMETER, ERROR_SUCCESS, too_long), st);
        if (st == ERROR_SUCCESS) RegCloseKey(h);
    }
    EXPECT_FALSE(Exists(n255.substr(0, 10))) << "no name cut to fit";
    EXPECT_EQ(WINE_DIFFERS(false, true, too_long), Exists(L"X")) << "nothing of a refused path is made";
}

TEST_F(RegistryTest, HandleErrors) {
    HKEY h = Create(L"");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(h, L"x", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE)) << "predefined keys close silently";
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_CURRENT_USER));
}

// ---------------------------------------------------------------------------------------
// Access rights

enum class Op { Query, Set, DeleteValue, EnumKeys, EnumValues, Info, CreateNewSub, OpenExistingSub };

struct AccessCase {
    const char* what;
    REGSAM sam;
    Op op;
    LSTATUS status;
    const char* wine = nullptr;  // Wine allows the call: the documented rule it departs from
};

TEST_F(RegistryTest, AccessMasksAreChecked) {
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
        {"set value alone cannot query info", KEY_SET_VALUE, Op::Info, ERROR_ACCESS_DENIED,
         "RegQueryInfoKeyW: the key must have been opened with the KEY_QUERY_VALUE access right; Wine does not check"},
        {"generic read", GENERIC_READ, Op::EnumValues, ERROR_SUCCESS},
        {"generic write", GENERIC_WRITE, Op::Set, ERROR_SUCCESS},
        {"maximum allowed", MAXIMUM_ALLOWED, Op::Set, ERROR_SUCCESS},
        {"no rights", 0, Op::Query, ERROR_ACCESS_DENIED},
    };
    SetDword(L"", L"n", 1);
    RegCloseKey(Create(L"Existing"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY h = Open(L"", c.sam);
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
        case Op::CreateNewSub: st = RegCreateKeyExW(h, L"New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr); break;
        case Op::OpenExistingSub:
            st = RegCreateKeyExW(h, L"Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
            break;
        }
        EXPECT_EQ(c.wine ? WINE_DIFFERS(c.status, ERROR_SUCCESS, c.wine) : c.status, st);
        if (sub) RegCloseKey(sub);
        RegCloseKey(h);
        SetDword(L"", L"n", 1);
        RegDeleteKeyW(Key(), L"New");
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

TEST_F(RegistryTest, SubkeysEnumerateWithTheirSizes) {
    // The order is the registry's own ("subkeys are not ordered").
    HKEY h = Create(L"Many");
    std::vector<std::wstring> names = {L"beta", L"_under", L"Alpha", L"Gamma", L"alpha2", L"0digit"};
    for (const std::wstring& n : names) {
        HKEY s = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(h, n.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &s, nullptr));
        RegCloseKey(s);
    }
    auto listed = EnumKeys(h);
    std::sort(listed.begin(), listed.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, listed);
    RegCloseKey(h);
    h = Create(L"One");
    RegCloseKey(Create(L"One\\0digit"));
    WCHAR small[5];
    DWORD cch = 5;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(h, 0, small, &cch, nullptr, nullptr, nullptr, nullptr))
        << "\"0digit\" needs 7 characters";
    WCHAR fits[7];
    cch = 7;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(h, 0, fits, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(6u, cch);
    EXPECT_STREQ(L"0digit", fits);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyW(h, 0, small, 5));
    WCHAR name[16];
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyW(h, 0, name, 16));
    EXPECT_STREQ(L"0digit", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyW(h, 1, name, 16));
    RegCloseKey(h);
}

TEST_F(RegistryTest, ValuesEnumerateWithTheirSizes) {
    // The order is the registry's own ("values are not ordered").
    HKEY h = Create(L"");
    auto set = [&](const wchar_t* n, DWORD v) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, n, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    };
    auto sorted = [](std::vector<std::wstring> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    set(L"zeta", 1);
    set(L"Alpha", 2);
    set(L"mid", 3);
    set(L"", 4);
    EXPECT_EQ(sorted({L"zeta", L"Alpha", L"mid", L""}), sorted(EnumValues(h)));
    set(L"ALPHA", 5);  // an overwrite keeps the first spelling
    EXPECT_EQ(sorted({L"zeta", L"Alpha", L"mid", L""}), sorted(EnumValues(h)));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(h, L"zeta"));
    EXPECT_EQ(sorted({L"Alpha", L"mid", L""}), sorted(EnumValues(h)));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(h, L"nothing"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(h, L"mid"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(h, L""));

    // Short name buffer, then short data buffer (the name fits: required size reported).
    WCHAR name[8];
    DWORD cch = 5, type = 0, cb = 2;
    BYTE data[8];
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(h, 0, name, &cch, nullptr, &type, data, &cb)) << "\"Alpha\" needs 6";
    cch = 6;
    EXPECT_EQ(WINE_DIFFERS(ERROR_MORE_DATA, ERROR_SUCCESS,
                           "RegEnumValueW returns ERROR_MORE_DATA if the lpData buffer is not large enough to hold "
                           "the data; Wine succeeds without it"),
              RegEnumValueW(h, 0, name, &cch, nullptr, &type, data, &cb));
    EXPECT_EQ(4u, cb);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    cch = 8;
    cb = 8;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(h, 0, name, &cch, nullptr, &type, data, &cb));
    EXPECT_STREQ(L"Alpha", name);
    EXPECT_EQ(5u, cch);
    EXPECT_EQ(5u, data[0]);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(h);
}

TEST_F(RegistryTest, QueryInfoKeyCountsInCallerUnits) {
    const std::wstring ten = L"0123456789";
    Set(L"", L"LongestName", REG_SZ, WideBytes(std::wstring(ten.c_str(), 11)));  // 11 characters with the terminator
    SetDword(L"", L"n", 1);
    RegCloseKey(Create(L"Sub"));
    RegCloseKey(Create(L"LongerSub"));
    HKEY h = Open(L"", KEY_READ);
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

// ---------------------------------------------------------------------------------------
// Deletion

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubkeys) {
    SetDword(L"Child\\Grandchild", L"n", 1);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, Sub(L"Child").c_str()));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, Sub(L"Child\\Grandchild").c_str()))
        << "a key with values but no subkeys goes";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_CURRENT_USER, Sub(L"Child\\Grandchild").c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_CURRENT_USER, nullptr));
    HKEY h = Open(L"", KEY_READ);  // the handle's rights do not matter
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(h, L"Child"));
    RegCloseKey(h);
    EXPECT_TRUE(Exists(L""));
    EXPECT_FALSE(Exists(L"Child"));
}

TEST_F(RegistryTest, DeleteTreeRemovesEverythingBelow) {
    SetDword(L"A\\B\\C", L"n", 1);
    SetDword(L"A", L"n", 1);
    SetDword(L"", L"top", 1);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, Sub(L"A").c_str()));
    EXPECT_FALSE(Exists(L"A"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(HKEY_CURRENT_USER, Sub(L"A").c_str()));
    // With no subkey name: the contents go, the key stays.
    RegCloseKey(Create(L"X\\Y"));
    HKEY h = Open(L"", KEY_READ);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(h, nullptr)) << "needs DELETE and KEY_SET_VALUE for values";
    RegCloseKey(h);
    h = Open(L"", KEY_ALL_ACCESS);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(h, nullptr));
    EXPECT_TRUE(Exists(L""));
    EXPECT_TRUE(EnumKeys(h).empty());
    EXPECT_TRUE(EnumValues(h).empty());
    RegCloseKey(h);
}

TEST_F(RegistryTest, HandleOfADeletedKeyFailsWithKeyDeleted) {
    SetDword(L"Veltrane", L"n", 1);
    HKEY h = Open(L"Veltrane");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(Key(), L"Veltrane"));
    SetDword(L"Veltrane", L"n", 1);  // the same path made again is another key
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
}

// ---------------------------------------------------------------------------------------
// Other entry points

TEST_F(RegistryTest, SetKeyValueCreatesTheSubkey) {
    DWORD v = 77, got = 0, cb = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, Sub(L"New").c_str(), L"n", REG_DWORD, &v, 4));
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(Key(), L"New", L"n", RRF_RT_REG_DWORD, nullptr, &got, &cb));
    EXPECT_EQ(77u, got);
    HKEY h = Open(L"New");
    v = 78;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(h, nullptr, L"n", REG_DWORD, &v, 4));
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(Key(), L"New", L"n", RRF_RT_REG_DWORD, nullptr, &got, &cb));
    EXPECT_EQ(78u, got);
    RegCloseKey(h);
}

TEST_F(RegistryTest, VolatileKeysNeedVolatileChildren) {
    HKEY v = NULL, child = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(Key(), L"Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                             nullptr, &v, nullptr));
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
              RegCreateKeyExW(v, L"Stable", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(v, L"Fleeting", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                             &child, nullptr));
    RegCloseKey(child);
    RegCloseKey(v);
}

}  // namespace
