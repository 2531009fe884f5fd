// winsim: the registry's storage in the machine database, shared by the advapi32 functions,
// the outside view (winsim/registry.h) and the profiles.
//
// Tables:
//   reg_keys   (id, parent, name, fold, class, last_write, volatile, deny_read, deny_write)
//   reg_values (key, name, fold, type, data, seq)
// Key ids are never reused (AUTOINCREMENT), so a handle whose id is gone refers to a
// deleted key. Names are kept as given; fold (upper case) is the lookup and sort key.
// Several host processes may share one machine database: what the model keeps between calls
// (key ids by name, enumeration positions) is dropped whenever another connection commits.
#pragma once

#include "winsim/machine.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::reg {

using KeyId = int64_t;
struct RegCache;

// A change of the registry made through this machine's connection: the values of key (tree:
// and everything below it) may have changed; key 0 stands for the whole registry (another
// connection committed).
struct Change {
    uint64_t n;  // numbered from 1, rising
    KeyId key;
    bool tree;
};

// Roots as the store names them.
inline constexpr const wchar_t* kMachineRoot = L"HKEY_LOCAL_MACHINE";
inline constexpr const wchar_t* kUsersRoot = L"HKEY_USERS";
inline constexpr size_t kMaxKeyName = 255;
inline constexpr size_t kMaxValueName = 16383;

struct KeyRow {
    KeyId id = 0;
    KeyId parent = 0;  // 0 for a root
    std::wstring name;
    std::wstring cls;
    int64_t last_write = 0;  // FILETIME (100 ns since 1601, UTC)
    bool is_volatile = false;
    bool deny_read = false;
    bool deny_write = false;
};

struct ValueRow {
    std::wstring name;
    DWORD type = 0;
    std::vector<uint8_t> data;
};

std::wstring Fold(const std::wstring& name);

// Every call takes the store's lock; writes that touch several rows run in a transaction.
class Model {
public:
    explicit Model(Machine& m) : m_(m) {}
    Store& store() { return m_.store(); }

    void CreateSchema();
    void EnsureRoots();
    void EraseAll();

    KeyId Root(const std::wstring& name);  // a root by name (created when missing)
    std::optional<KeyRow> Key(KeyId id);
    bool Exists(KeyId id);
    KeyId Child(KeyId parent, const std::wstring& name);  // 0 when missing
    KeyId CreateChild(KeyId parent, const std::wstring& name, const std::wstring& cls = L"", bool is_volatile = false);
    // The key reached from start by components (created when create is set); 0 when missing.
    KeyId Walk(KeyId start, const std::vector<std::wstring>& components, bool create);
    // Depth below its root (a root is 0).
    int Depth(KeyId id);

    int64_t SubkeyCount(KeyId id);
    std::optional<KeyRow> SubkeyAt(KeyId id, int64_t index);
    std::vector<KeyRow> Subkeys(KeyId id);
    // Every key of the tree below id, id itself included.
    std::vector<KeyId> Tree(KeyId id);

    int64_t ValueCount(KeyId id);
    std::optional<ValueRow> Value(KeyId id, const std::wstring& name);
    std::optional<ValueRow> ValueAt(KeyId id, int64_t index);
    std::vector<ValueRow> Values(KeyId id);
    void SetValue(KeyId id, const std::wstring& name, DWORD type, const std::vector<uint8_t>& data);
    bool DeleteValue(KeyId id, const std::wstring& name);

    // Deletes the key and everything below it (touches the parent).
    void DeleteTree(KeyId id);
    // Deletes the subkeys and values of the key, keeping the key.
    void DeleteContents(KeyId id);

    // The changes numbered after n; false when they are no longer all known (the record
    // keeps the last few thousand), so that the caller must look at everything again.
    bool ChangesSince(uint64_t n, std::vector<Change>* out);
    uint64_t ChangeCount();
    // The full path of a key ("HKEY_LOCAL_MACHINE\SOFTWARE\...", the stored spellings);
    // nullopt when it is gone.
    std::optional<std::wstring> PathOf(KeyId id);
    // Whether id is ancestor or below it.
    bool Within(KeyId id, KeyId ancestor);

    void SetDenyRead(KeyId id, bool deny);
    void SetDenyWrite(KeyId id, bool deny);
    void Touch(KeyId id);
    int64_t NowFileTime();

private:
    // The machine's registry cache, emptied first when another connection has committed.
    RegCache& Cache();
    void Remember(RegCache& c, const std::string& child_key, KeyId id);

    Machine& m_;
};

// A full path ("HKLM\\SOFTWARE\\X") taken apart: the root key, the components below it
// (with those of HKCU/HKCR/HKCC spelt out) and the long root name it was given with.
struct FullPath {
    KeyId start = 0;
    std::vector<std::wstring> comps;
    std::wstring label;   // "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER" ...
    size_t implicit = 0;  // leading comps that the label stands for
};
// Throws std::invalid_argument for an unknown root, or a component over 255 characters.
// allow_short admits HKLM, HKCU, HKU, HKCR and HKCC.
FullPath ParseFullPath(Model& m, const std::wstring& path, const std::wstring& user_sid, bool allow_short);

// UTF-16LE bytes of text and back (an odd last byte is one more unit).
std::vector<uint8_t> ToUtf16Bytes(const std::wstring& s);
std::wstring FromUtf16Bytes(const std::vector<uint8_t>& b);

}  // namespace winsim::reg
