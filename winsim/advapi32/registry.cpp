// winsim: advapi32's registry functions over the registry model (see winreg.h for the
// rules on string sizes and the model's simplifications).
#include <windows.h>

#include "registry_model.h"
#include "winsim/machine.h"

#include <cstring>
#include <map>
#include <memory>
#include <utility>

using namespace winsim;
using winsim::reg::KeyId;
using winsim::reg::KeyRow;
using winsim::reg::Model;

namespace {

constexpr REGSAM kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr REGSAM kAllRights = KEY_ALL_ACCESS;

// One open key of a process.
struct OpenKey {
    KeyId id;
    REGSAM access;
};

// Key handles of a process: values never reused, in a range of their own so that they
// are never mistaken for kernel handles.
struct KeyTable {
    std::map<uintptr_t, OpenKey> keys;
    uintptr_t next = 0x40000000;
};

KeyTable& Table() {
    auto& slot = CurrentProcess().ext["winsim.registry.keys"];
    if (!slot) slot = std::make_shared<KeyTable>();
    return *static_cast<KeyTable*>(slot.get());
}

HKEY AddKeyHandle(KeyId id, REGSAM access) {
    KeyTable& t = Table();
    uintptr_t v = t.next;
    t.next += 4;
    t.keys[v] = OpenKey{id, access};
    return reinterpret_cast<HKEY>(v);
}

// The predefined key a handle value names, or -1.
int PredefinedIndex(HKEY h) {
    uint64_t v = reinterpret_cast<uintptr_t>(h);
    if ((v >> 32) != 0 && (v >> 32) != 0xFFFFFFFFu) return -1;
    uint32_t low = static_cast<uint32_t>(v);
    if (low >= 0x80000000u && low <= 0x80000005u) return static_cast<int>(low - 0x80000000u);
    return -1;
}

enum { kClassesRoot = 0, kCurrentUser = 1, kLocalMachine = 2, kUsers = 3, kPerformanceData = 4, kCurrentConfig = 5 };

bool View32(REGSAM sam) {
    if (sam & KEY_WOW64_64KEY) return false;
    if (sam & KEY_WOW64_32KEY) return true;
    return !CurrentProcess().image64;
}

bool BadView(REGSAM sam) { return (sam & KEY_WOW64_RES) == KEY_WOW64_RES; }

REGSAM MapGeneric(REGSAM sam) {
    REGSAM a = sam & ~static_cast<REGSAM>(KEY_WOW64_RES | MAXIMUM_ALLOWED | GENERIC_READ | GENERIC_WRITE |
                                          GENERIC_EXECUTE | GENERIC_ALL);
    if (sam & GENERIC_READ) a |= KEY_READ;
    if (sam & GENERIC_WRITE) a |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE) a |= KEY_EXECUTE;
    if (sam & GENERIC_ALL) a |= KEY_ALL_ACCESS;
    return a;
}

std::vector<std::wstring> Split(const std::wstring& path) {
    std::vector<std::wstring> out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find(L'\\', i);
        if (j == std::wstring::npos) j = path.size();
        if (j > i) out.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

// Checks a relative key path: no leading backslash, no component over the limit.
LSTATUS ParseSubKey(LPCWSTR sub, std::vector<std::wstring>* out) {
    out->clear();
    if (!sub || !*sub) return ERROR_SUCCESS;
    if (sub[0] == L'\\') return ERROR_BAD_PATHNAME;
    *out = Split(sub);
    for (const auto& c : *out)
        if (c.size() > reg::kMaxKeyName) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD t) { return t == REG_SZ || t == REG_EXPAND_SZ || t == REG_MULTI_SZ; }

// Caller's bytes -> stored bytes.
std::vector<uint8_t> ToStored(DWORD type, const BYTE* data, DWORD cb) {
    if (!data || cb == 0) return {};
    if (!IsStringType(type)) return std::vector<uint8_t>(data, data + cb);
    std::wstring w(cb / sizeof(WCHAR), L'\0');
    if (!w.empty()) std::memcpy(&w[0], data, w.size() * sizeof(WCHAR));
    return reg::ToUtf16Bytes(w);
}

// Stored bytes -> caller's bytes.
std::vector<uint8_t> ToCaller(DWORD type, const std::vector<uint8_t>& stored) {
    if (!IsStringType(type)) return stored;
    std::wstring w = reg::FromUtf16Bytes(stored);
    std::vector<uint8_t> out(w.size() * sizeof(WCHAR));
    if (!w.empty()) std::memcpy(out.data(), w.data(), out.size());
    return out;
}

LSTATUS PutData(const std::vector<uint8_t>& bytes, LPBYTE data, LPDWORD cb) {
    DWORD need = static_cast<DWORD>(bytes.size());
    if (data) {
        if (*cb < need) {
            *cb = need;
            return ERROR_MORE_DATA;
        }
        if (need) std::memcpy(data, bytes.data(), need);
    }
    if (cb) *cb = need;
    return ERROR_SUCCESS;
}

void PutFileTime(int64_t ft, PFILETIME out) {
    if (!out) return;
    out->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ft));
    out->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ft) >> 32);
}

// Copies a name into a character buffer of *cch characters (terminator included);
// ERROR_MORE_DATA, *cch unchanged, when it does not fit.
LSTATUS PutName(const std::wstring& name, LPWSTR buf, LPDWORD cch) {
    if (*cch <= name.size()) return ERROR_MORE_DATA;
    wmemcpy(buf, name.data(), name.size());
    buf[name.size()] = 0;
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

class Api {
public:
    Api() : m_(CurrentMachine()), model_(m_) {}
    Model& model() { return model_; }

    // A handle's key and rights. Predefined keys are resolved now in the view of view32.
    // exists: check that the key is still there (a caller that reads its row next need not).
    LSTATUS Resolve(HKEY h, bool view32, OpenKey* out, bool exists = true) {
        int pre = PredefinedIndex(h);
        if (pre >= 0) {
            KeyId id = Predefined(pre, view32);
            if (!id) return ERROR_INVALID_HANDLE;
            *out = OpenKey{id, kAllRights};
            return ERROR_SUCCESS;
        }
        auto& keys = Table().keys;
        auto it = keys.find(reinterpret_cast<uintptr_t>(h));
        if (it == keys.end()) return ERROR_INVALID_HANDLE;
        if (exists && !model_.Exists(it->second.id)) return ERROR_KEY_DELETED;
        *out = it->second;
        return ERROR_SUCCESS;
    }

    // Resolves h and checks rights plus the key's deny flags for an operation.
    LSTATUS Use(HKEY h, REGSAM need, KeyRow* row, OpenKey* ok_out = nullptr) {
        OpenKey ok{};
        LSTATUS st = Resolve(h, View32(0), &ok, false);  // a deleted key has no row
        if (st) return st;
        if ((ok.access & need) != need) return ERROR_ACCESS_DENIED;
        auto k = model_.Key(ok.id);
        if (!k) return ERROR_KEY_DELETED;
        if ((need & kReadRights) && k->deny_read) return ERROR_ACCESS_DENIED;
        if ((need & kWriteRights) && k->deny_write) return ERROR_ACCESS_DENIED;
        *row = *k;
        if (ok_out) *ok_out = ok;
        return ERROR_SUCCESS;
    }

    KeyId Predefined(int which, bool view32) {
        switch (which) {
        case kLocalMachine: return model_.Root(reg::kMachineRoot);
        case kUsers: return model_.Root(reg::kUsersRoot);
        case kCurrentUser: return UserHive(CurrentProcess().user_sid);
        case kClassesRoot: {
            KeyId id = 0;
            Walk(model_.Root(reg::kMachineRoot), {L"SOFTWARE", L"Classes"}, view32, true, nullptr, &id, nullptr);
            return id;
        }
        case kCurrentConfig:
            return model_.Walk(model_.Root(reg::kMachineRoot),
                               {L"SYSTEM", L"CurrentControlSet", L"Hardware Profiles", L"Current"}, true);
        default: return 0;
        }
    }

    KeyId UserHive(const std::wstring& sid) { return model_.Walk(model_.Root(reg::kUsersRoot), {sid}, true); }

    struct CreateOpts {
        std::wstring cls;
        bool is_volatile = false;
    };

    // Walks components from start in the given view. With create set, missing keys are
    // created (opts); *created tells whether the last key was new.
    LSTATUS Walk(KeyId start, const std::vector<std::wstring>& comps, bool view32, bool create, const CreateOpts* opts,
                 KeyId* out, bool* created) {
        if (created) *created = false;
        KeyId software = 0;
        if (view32) {
            KeyId hklm = model_.Root(reg::kMachineRoot);
            software = model_.Child(hklm, L"SOFTWARE");
        }
        KeyId cur = start;
        LSTATUS st = ERROR_SUCCESS;
        bool may_create = false;  // only the write pass creates what is missing
        auto step = [&](const std::wstring& name, bool* made) -> bool {
            *made = false;
            KeyId next = model_.Child(cur, name);
            if (!next) {
                if (!may_create) {
                    st = ERROR_FILE_NOT_FOUND;
                    return false;
                }
                auto parent = model_.Key(cur);
                if (!parent) {
                    st = ERROR_KEY_DELETED;
                    return false;
                }
                bool vol = opts && opts->is_volatile;
                // The key's own security decides, not the rights of the handle it was reached by.
                if (parent->deny_write) {
                    st = ERROR_ACCESS_DENIED;
                    return false;
                }
                if (parent->is_volatile && !vol) {
                    st = ERROR_CHILD_MUST_BE_VOLATILE;
                    return false;
                }
                next = model_.CreateChild(cur, name, opts ? opts->cls : L"", vol);
                *made = true;
            }
            cur = next;
            return true;
        };
        auto run = [&] {
            bool made = false;
            for (size_t i = 0; i < comps.size(); ++i) {
                if (software && cur == software) {
                    // The 32-bit view of SOFTWARE.
                    if (!step(L"WOW6432Node", &made)) return;
                    if (IEquals(comps[i], L"WOW6432Node")) continue;
                }
                if (!step(comps[i], &made)) return;
            }
            if (software && cur == software && !comps.empty()) {
                if (!step(L"WOW6432Node", &made)) return;
            }
            if (created) *created = made;
        };
        {
            // Keys that are all there are found by reading alone, without a write transaction.
            std::lock_guard<std::recursive_mutex> g(model_.store().mutex());
            run();
        }
        if (create && st == ERROR_FILE_NOT_FOUND) {
            cur = start;
            st = ERROR_SUCCESS;
            may_create = true;
            model_.store().Transaction(run);
        }
        if (st) return st;
        *out = cur;
        return ERROR_SUCCESS;
    }

    // Rights granted when opening key k for sam; ERROR_ACCESS_DENIED when a deny flag
    // refuses them.
    static LSTATUS Grant(const KeyRow& k, REGSAM sam, REGSAM* granted) {
        REGSAM want = MapGeneric(sam);
        REGSAM denied = (k.deny_read ? kReadRights : 0) | (k.deny_write ? kWriteRights : 0);
        if (sam & MAXIMUM_ALLOWED) want |= kAllRights & ~denied;
        if (want & denied) return ERROR_ACCESS_DENIED;
        *granted = want;
        return ERROR_SUCCESS;
    }

    LSTATUS Open(HKEY h, LPCWSTR sub, REGSAM sam, PHKEY result) {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = NULL;
        if (BadView(sam)) return ERROR_INVALID_PARAMETER;
        std::vector<std::wstring> comps;
        LSTATUS st = ParseSubKey(sub, &comps);
        if (st) return st;
        bool v32 = View32(sam);
        OpenKey base{};
        if ((st = Resolve(h, v32, &base))) return st;
        KeyId target = base.id;
        if (!comps.empty() && (st = Walk(base.id, comps, v32, false, nullptr, &target, nullptr))) return st;
        auto k = model_.Key(target);
        if (!k) return ERROR_KEY_DELETED;
        REGSAM granted = 0;
        if ((st = Grant(*k, sam, &granted))) return st;
        *result = AddKeyHandle(target, granted);
        return ERROR_SUCCESS;
    }

    LSTATUS Create(HKEY h, LPCWSTR sub, LPCWSTR cls, DWORD options, REGSAM sam, PHKEY result, LPDWORD disposition) {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = NULL;
        if (BadView(sam)) return ERROR_INVALID_PARAMETER;
        if (options & REG_OPTION_CREATE_LINK) return ERROR_INVALID_PARAMETER;
        std::vector<std::wstring> comps;
        LSTATUS st = ParseSubKey(sub, &comps);
        if (st) return st;
        bool v32 = View32(sam);
        OpenKey base{};
        if ((st = Resolve(h, v32, &base))) return st;
        CreateOpts opts;
        opts.cls = cls ? cls : L"";
        opts.is_volatile = (options & REG_OPTION_VOLATILE) != 0;
        KeyId target = base.id;
        bool created = false;
        if (!comps.empty() && (st = Walk(base.id, comps, v32, true, &opts, &target, &created))) return st;
        auto k = model_.Key(target);
        if (!k) return ERROR_KEY_DELETED;
        REGSAM granted = 0;
        if ((st = Grant(*k, sam, &granted))) return st;
        *result = AddKeyHandle(target, granted);
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }

    // The key sub names below h in the view of sam, for deletion.
    LSTATUS Target(HKEY h, LPCWSTR sub, REGSAM sam, KeyRow* out) {
        if (BadView(sam)) return ERROR_INVALID_PARAMETER;
        std::vector<std::wstring> comps;
        LSTATUS st = ParseSubKey(sub, &comps);
        if (st) return st;
        bool v32 = View32(sam);
        OpenKey base{};
        if ((st = Resolve(h, v32, &base))) return st;
        KeyId target = base.id;
        if (!comps.empty() && (st = Walk(base.id, comps, v32, false, nullptr, &target, nullptr))) return st;
        auto k = model_.Key(target);
        if (!k) return ERROR_KEY_DELETED;
        // Roots and hive keys (HKLM\SOFTWARE, HKU\<sid> ...) cannot be deleted.
        if (model_.Depth(target) < 2) return ERROR_ACCESS_DENIED;
        *out = *k;
        return ERROR_SUCCESS;
    }

    bool TreeDenied(KeyId id) {
        for (KeyId k : model_.Tree(id)) {
            auto row = model_.Key(k);
            if (row && row->deny_write) return true;
        }
        return false;
    }

private:
    Machine& m_;
    Model model_;
};

// RRF_RT_* bit of a value type (0: only RRF_RT_ANY admits it).
DWORD RestrictBit(DWORD type) {
    switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;
    }
}

// Caller-unit wide text of stored string data, up to its first terminator.
std::wstring StoredText(const std::vector<uint8_t>& stored) {
    std::wstring w = reg::FromUtf16Bytes(stored);
    size_t z = w.find(L'\0');
    if (z != std::wstring::npos) w.resize(z);
    return w;
}

std::vector<uint8_t> WideBytes(const std::wstring& w) {
    std::vector<uint8_t> out(w.size() * sizeof(WCHAR));
    if (!w.empty()) std::memcpy(out.data(), w.data(), out.size());
    return out;
}

// Runs an entry point; a failure of the store itself (a database error) is reported the
// way Windows reports an unreadable hive instead of escaping into the caller.
template <class F>
LSTATUS Guard(F&& f) {
    try {
        return f();
    } catch (const std::exception&) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// Guard around a call whose store work shares one transaction: a read transaction for a
// call that only reads, a write transaction (its checks and its change) for one that writes.
template <bool kWrites, class F>
LSTATUS GuardShared(F&& f) {
    return Guard([&]() -> LSTATUS {
        LSTATUS st = ERROR_SUCCESS;
        auto call = [&] { st = f(); };
        Store& store = CurrentMachine().store();
        if (kWrites)
            store.Transaction(call);
        else
            store.Read(call);
        return st;
    });
}

template <class F>
LSTATUS GuardRead(F&& f) {
    return GuardShared<false>(std::forward<F>(f));
}

template <class F>
LSTATUS GuardWrite(F&& f) {
    return GuardShared<true>(std::forward<F>(f));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Keys

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    return GuardRead([&]() -> LSTATUS { return Api().Open(hKey, lpSubKey, samDesired, phkResult); });
}

LSTATUS WINAPI RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return Guard([&]() -> LSTATUS {
        if (!phkResult) return ERROR_INVALID_PARAMETER;
        if (!lpSubKey || !*lpSubKey) {
            *phkResult = hKey;
            return ERROR_SUCCESS;
        }
        return Api().Open(hKey, lpSubKey, MAXIMUM_ALLOWED, phkResult);
    });
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return GuardRead([&]() -> LSTATUS {
        return Api().Create(hKey, lpSubKey, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition);
    });
}

LSTATUS WINAPI RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return Guard([&]() -> LSTATUS {
        if (!phkResult) return ERROR_INVALID_PARAMETER;
        if (!lpSubKey || !*lpSubKey) {
            *phkResult = hKey;
            return ERROR_SUCCESS;
        }
        return Api().Create(hKey, lpSubKey, nullptr, 0, MAXIMUM_ALLOWED, phkResult, nullptr);
    });
}

LSTATUS WINAPI RegOpenCurrentUser(REGSAM samDesired, PHKEY phkResult) {
    return Guard([&]() -> LSTATUS {
        if (!phkResult) return ERROR_INVALID_PARAMETER;
        Api api;
        api.UserHive(CurrentProcess().user_sid);  // a hive is there for every user
        return api.Open(HKEY_USERS, CurrentProcess().user_sid.c_str(), samDesired, phkResult);
    });
}

LSTATUS WINAPI RegConnectRegistryW(LPCWSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
    return Guard([&]() -> LSTATUS {
        if (!phkResult) return ERROR_INVALID_PARAMETER;
        *phkResult = NULL;
        if (lpMachineName && *lpMachineName) {
            std::wstring name = lpMachineName;
            if (name.compare(0, 2, L"\\\\") == 0) name = name.substr(2);
            std::wstring self = CurrentProcess().GetEnv(L"COMPUTERNAME");
            if (!IEquals(name, self) && !IEquals(name, L"localhost") && name != L".") return ERROR_BAD_NETPATH;
        }
        int pre = PredefinedIndex(hKey);
        if (pre != kLocalMachine && pre != kUsers) return ERROR_INVALID_HANDLE;
        return Api().Open(hKey, nullptr, KEY_ALL_ACCESS, phkResult);
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return Guard([&]() -> LSTATUS {
        if (PredefinedIndex(hKey) >= 0) return ERROR_SUCCESS;
        auto& keys = Table().keys;
        auto it = keys.find(reinterpret_cast<uintptr_t>(hKey));
        if (it == keys.end()) return ERROR_INVALID_HANDLE;
        keys.erase(it);
        return ERROR_SUCCESS;
    });
}

// Changes are committed at once but reach the disk lazily: a flush makes them durable.
LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    return Guard([&]() -> LSTATUS {
        OpenKey ok{};
        LSTATUS st = Api().Resolve(hKey, View32(0), &ok);
        if (st == ERROR_SUCCESS) CurrentMachine().store().Flush();
        return st;
    });
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD) {
    return Guard([&]() -> LSTATUS {
        if (!lpSubKey) return ERROR_INVALID_PARAMETER;
        Api api;
        KeyRow k;
        LSTATUS st = api.Target(hKey, lpSubKey, samDesired & KEY_WOW64_RES, &k);
        if (st) return st;
        if (k.deny_write) return ERROR_ACCESS_DENIED;
        if (api.model().SubkeyCount(k.id) > 0) return ERROR_ACCESS_DENIED;
        api.model().DeleteTree(k.id);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) { return RegDeleteKeyExW(hKey, lpSubKey, 0, 0); }

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return Guard([&]() -> LSTATUS {
        Api api;
        if (lpSubKey && *lpSubKey) {
            KeyRow k;
            LSTATUS st = api.Target(hKey, lpSubKey, 0, &k);
            if (st) return st;
            if (api.TreeDenied(k.id)) return ERROR_ACCESS_DENIED;
            api.model().DeleteTree(k.id);
            return ERROR_SUCCESS;
        }
        KeyRow k;
        OpenKey ok{};
        LSTATUS st = api.Use(hKey, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &k, &ok);
        if (st) return st;
        bool has_values = api.model().ValueCount(k.id) > 0;
        if (has_values && !(ok.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        if (api.TreeDenied(k.id)) return ERROR_ACCESS_DENIED;
        api.model().DeleteContents(k.id);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return GuardRead([&]() -> LSTATUS {
        if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
        if (lpClass && !lpcchClass) return ERROR_INVALID_PARAMETER;
        Api api;
        KeyRow k;
        LSTATUS st = api.Use(hKey, KEY_ENUMERATE_SUB_KEYS, &k);
        if (st) return st;
        auto sub = api.model().SubkeyAt(k.id, dwIndex);
        if (!sub) return ERROR_NO_MORE_ITEMS;
        if ((st = PutName(sub->name, lpName, lpcchName))) return st;
        if (lpClass) {
            if ((st = PutName(sub->cls, lpClass, lpcchClass))) return st;
        } else if (lpcchClass) {
            *lpcchClass = static_cast<DWORD>(sub->cls.size());
        }
        PutFileTime(sub->last_write, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
    return Guard([&]() -> LSTATUS {
        return RegEnumKeyExW(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
    });
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime) {
    return GuardRead([&]() -> LSTATUS {
        if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
        Api api;
        KeyRow k;
        LSTATUS st = api.Use(hKey, KEY_QUERY_VALUE, &k);
        if (st) return st;
        std::lock_guard<std::recursive_mutex> g(api.model().store().mutex());
        auto subs = api.model().Subkeys(k.id);
        auto vals = api.model().Values(k.id);
        DWORD max_sub = 0, max_cls = 0, max_vname = 0, max_vdata = 0;
        for (const auto& s : subs) {
            max_sub = std::max(max_sub, static_cast<DWORD>(s.name.size()));
            max_cls = std::max(max_cls, static_cast<DWORD>(s.cls.size()));
        }
        for (const auto& v : vals) {
            max_vname = std::max(max_vname, static_cast<DWORD>(v.name.size()));
            max_vdata = std::max(max_vdata, static_cast<DWORD>(ToCaller(v.type, v.data).size()));
        }
        if (lpClass) {
            if (*lpcchClass <= k.cls.size()) {
                *lpcchClass = static_cast<DWORD>(k.cls.size());
                return ERROR_MORE_DATA;
            }
            PutName(k.cls, lpClass, lpcchClass);
        } else if (lpcchClass) {
            *lpcchClass = static_cast<DWORD>(k.cls.size());
        }
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subs.size());
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = max_sub;
        if (lpcbMaxClassLen) *lpcbMaxClassLen = max_cls;
        if (lpcValues) *lpcValues = static_cast<DWORD>(vals.size());
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = max_vname;
        if (lpcbMaxValueLen) *lpcbMaxValueLen = max_vdata;
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = SECURITY_DESCRIPTOR_MIN_LENGTH;
        PutFileTime(k.last_write, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

// ---------------------------------------------------------------------------------------
// Values

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return GuardRead([&]() -> LSTATUS {
        if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
        Api api;
        KeyRow k;
        LSTATUS st = api.Use(hKey, KEY_QUERY_VALUE, &k);
        if (st) return st;
        auto v = api.model().Value(k.id, lpValueName ? lpValueName : L"");
        if (!v) return ERROR_FILE_NOT_FOUND;
        if (lpType) *lpType = v->type;
        return PutData(ToCaller(v->type, v->data), lpData, lpcbData);
    });
}

LSTATUS WINAPI RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType, PVOID pvData,
                            LPDWORD pcbData) {
    return Guard([&]() -> LSTATUS {
        DWORD restrict = dwFlags & RRF_RT_ANY;
        if (!restrict || (dwFlags & RRF_WOW64_MASK) == RRF_WOW64_MASK || (pvData && !pcbData))
            return ERROR_INVALID_PARAMETER;
        if (restrict != RRF_RT_ANY && (restrict & RRF_RT_REG_EXPAND_SZ) && !(dwFlags & RRF_NOEXPAND))
            return ERROR_INVALID_PARAMETER;
        DWORD buf_size = pcbData ? *pcbData : 0;
        auto fail = [&](LSTATUS st) {
            if ((dwFlags & RRF_ZEROONFAILURE) && pvData && buf_size) std::memset(pvData, 0, buf_size);
            return st;
        };

        HKEY key = hkey;
        HKEY opened = NULL;
        if (lpSubKey && *lpSubKey) {
            REGSAM view = (dwFlags & RRF_SUBKEY_WOW6464KEY)   ? KEY_WOW64_64KEY
                          : (dwFlags & RRF_SUBKEY_WOW6432KEY) ? KEY_WOW64_32KEY
                                                              : 0;
            LSTATUS st = RegOpenKeyExW(hkey, lpSubKey, 0, KEY_QUERY_VALUE | view, &opened);
            if (st) return fail(st);
            key = opened;
        }
        struct Closer {
            HKEY h;
            ~Closer() {
                if (h) RegCloseKey(h);
            }
        } closer{opened};

        Api api;
        KeyRow k;
        LSTATUS st = api.Use(key, KEY_QUERY_VALUE, &k);
        if (st) return fail(st);
        auto v = api.model().Value(k.id, lpValue ? lpValue : L"");
        if (!v) return fail(ERROR_FILE_NOT_FOUND);

        DWORD type = v->type;
        std::vector<uint8_t> out;
        if (type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
            std::wstring src = StoredText(v->data);
            DWORD need = ExpandEnvironmentStringsW(src.c_str(), nullptr, 0);
            std::wstring dst(need, L'\0');
            ExpandEnvironmentStringsW(src.c_str(), &dst[0], need);
            out = WideBytes(dst);  // with its terminator
            type = REG_SZ;
        } else {
            out = ToCaller(type, v->data);
        }

        if (restrict != RRF_RT_ANY) {
            if (!(RestrictBit(type)& restrict)) return fail(ERROR_UNSUPPORTED_TYPE);
            if (type == REG_BINARY) {
                if (restrict == RRF_RT_DWORD && out.size() != 4) return fail(ERROR_DATATYPE_MISMATCH);
                if (restrict == RRF_RT_QWORD && out.size() != 8) return fail(ERROR_DATATYPE_MISMATCH);
            }
            if (type == REG_DWORD && out.size() != 4) return fail(ERROR_DATATYPE_MISMATCH);
            if (type == REG_QWORD && out.size() != 8) return fail(ERROR_DATATYPE_MISMATCH);
        }

        // Strings come back terminated (a list with its final empty string).
        if (IsStringType(type)) {
            size_t n = out.size() / sizeof(WCHAR);
            auto unit = [&](size_t i) {
                WCHAR c;
                std::memcpy(&c, out.data() + i * sizeof(WCHAR), sizeof(WCHAR));
                return c;
            };
            size_t want = (type == REG_MULTI_SZ && n > 0) ? 2 : 1;
            size_t have = 0;
            while (have < want && have < n && unit(n - 1 - have) == 0) ++have;
            out.resize(out.size() + (want - have) * sizeof(WCHAR), 0);
        }

        if (pdwType) *pdwType = type;
        st = PutData(out, static_cast<LPBYTE>(pvData), pcbData);
        if (st) return fail(st);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    return GuardWrite([&]() -> LSTATUS {
        std::wstring name = lpValueName ? lpValueName : L"";
        if (name.size() > reg::kMaxValueName) return ERROR_INVALID_PARAMETER;
        if (!lpData && cbData) return ERROR_NOACCESS;
        Api api;
        KeyRow k;
        LSTATUS st = api.Use(hKey, KEY_SET_VALUE, &k);
        if (st) return st;
        api.model().SetValue(k.id, name, dwType, ToStored(dwType, lpData, cbData));
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegSetKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName, DWORD dwType, LPCVOID lpData,
                               DWORD cbData) {
    return Guard([&]() -> LSTATUS {
        if (!lpSubKey || !*lpSubKey)
            return RegSetValueExW(hKey, lpValueName, 0, dwType, static_cast<const BYTE*>(lpData), cbData);
        HKEY h = NULL;
        LSTATUS st = RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
        if (st) return st;
        st = RegSetValueExW(h, lpValueName, 0, dwType, static_cast<const BYTE*>(lpData), cbData);
        RegCloseKey(h);
        return st;
    });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return GuardWrite([&]() -> LSTATUS {
        Api api;
        KeyRow k;
        LSTATUS st = api.Use(hKey, KEY_SET_VALUE, &k);
        if (st) return st;
        return api.model().DeleteValue(k.id, lpValueName ? lpValueName : L"") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return GuardRead([&]() -> LSTATUS {
        if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
        Api api;
        KeyRow k;
        LSTATUS st = api.Use(hKey, KEY_QUERY_VALUE, &k);
        if (st) return st;
        auto v = api.model().ValueAt(k.id, dwIndex);
        if (!v) return ERROR_NO_MORE_ITEMS;
        if ((st = PutName(v->name, lpValueName, lpcchValueName))) return st;
        if (lpType) *lpType = v->type;
        return PutData(ToCaller(v->type, v->data), lpData, lpcbData);
    });
}
