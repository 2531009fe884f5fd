// winsim: registry storage over the machine database (see registry_model.h).
#include "registry_model.h"

#include <deque>
#include <map>
#include <unordered_map>

namespace winsim::reg {

// What the registry keeps between calls on one machine: the ids of keys by parent and name,
// and where the last enumeration of a key's values and subkeys stopped, so that a walk by
// index costs one step a call. It holds while the store changes nothing it rests on: a
// commit of another connection (the data version) drops it all, a key created or deleted
// here drops the names, a value deleted the value walks.
struct Cursor {
    int64_t index = -1;
    int64_t seq = 0;   // values: the seq of the value at index
    std::string fold;  // subkeys: the fold of the subkey at index
};

struct RegCache {
    explicit RegCache(Machine&) {}
    int64_t data_version = -1;
    uint64_t checked = 0;  // the store's snapshot in which data_version was last read
    std::unordered_map<std::string, KeyId> children;  // "parent:fold" -> id
    std::map<KeyId, Cursor> values, subkeys;
    uint64_t changes = 0;
    std::deque<Change> record;  // the last kMaxRecord changes

    static std::string ChildKey(KeyId parent, const std::string& fold) { return std::to_string(parent) + ":" + fold; }
    void DropNames() {
        children.clear();
        subkeys.clear();
    }
    void DropAll() {
        DropNames();
        values.clear();
    }
    void Note(KeyId key, bool tree) {
        record.push_back(Change{++changes, key, tree});
        if (record.size() > kMaxRecord) record.pop_front();
    }
    static constexpr size_t kMaxRecord = 4096;
};

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr size_t kMaxCached = 65536;
constexpr size_t kMaxCursors = 64;

KeyRow ReadKey(Stmt& s) {
    KeyRow k;
    k.id = s.Int(0);
    k.parent = s.IsNull(1) ? 0 : s.Int(1);
    k.name = Wide(s.Text(2));
    k.cls = Wide(s.Text(3));
    k.last_write = s.Int(4);
    k.is_volatile = s.Int(5) != 0;
    k.deny_read = s.Int(6) != 0;
    k.deny_write = s.Int(7) != 0;
    return k;
}

constexpr const char* kKeyCols = "id, parent, name, class, last_write, volatile, deny_read, deny_write";

ValueRow ReadValue(Stmt& s) {
    ValueRow v;
    v.name = Wide(s.Text(0));
    v.type = static_cast<DWORD>(s.Int(1));
    v.data = s.Blob(2);
    return v;
}

}  // namespace

std::wstring Fold(const std::wstring& name) { return Upper(name); }

std::vector<uint8_t> ToUtf16Bytes(const std::wstring& s) {
    std::u16string u = Utf16(s);
    std::vector<uint8_t> b;
    b.reserve(u.size() * 2);
    for (char16_t c : u) {
        b.push_back(static_cast<uint8_t>(c & 0xFF));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    return b;
}

std::wstring FromUtf16Bytes(const std::vector<uint8_t>& b) {
    std::u16string u;
    u.reserve((b.size() + 1) / 2);
    for (size_t i = 0; i < b.size(); i += 2) u += static_cast<char16_t>(b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0));
    return FromUtf16(u);
}

void Model::CreateSchema() {
    Store& st = store();
    Lock g(st.mutex());
    st.Exec(
        "CREATE TABLE IF NOT EXISTS reg_keys ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " parent INTEGER REFERENCES reg_keys(id) ON DELETE CASCADE,"
        " name TEXT NOT NULL, fold TEXT NOT NULL, class TEXT NOT NULL DEFAULT '',"
        " last_write INTEGER NOT NULL DEFAULT 0, volatile INTEGER NOT NULL DEFAULT 0,"
        " deny_read INTEGER NOT NULL DEFAULT 0, deny_write INTEGER NOT NULL DEFAULT 0)");
    st.Exec("CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_child ON reg_keys(parent, fold)");
    st.Exec("CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_root ON reg_keys(fold) WHERE parent IS NULL");
    st.Exec(
        "CREATE TABLE IF NOT EXISTS reg_values ("
        " key INTEGER NOT NULL REFERENCES reg_keys(id) ON DELETE CASCADE,"
        " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
        " seq INTEGER NOT NULL, PRIMARY KEY (key, fold))");
    st.Exec("CREATE INDEX IF NOT EXISTS reg_values_seq ON reg_values(key, seq)");
}

void Model::EnsureRoots() {
    store().Transaction([&] {
        Root(kMachineRoot);
        Root(kUsersRoot);
    });
}

void Model::EraseAll() {
    store().Transaction([&] {
        store().Exec("DELETE FROM reg_values");
        store().Exec("DELETE FROM reg_keys");
        Cache().DropAll();
        Cache().Note(0, true);
    });
}

// Keeps a key's id by parent and name; not inside a transaction, which may yet be rolled back.
void Model::Remember(RegCache& c, const std::string& child_key, KeyId id) {
    if (store().in_transaction()) return;
    if (c.children.size() >= kMaxCached) c.children.clear();
    c.children.emplace(child_key, id);
}

RegCache& Model::Cache() {
    RegCache& c = m_.Ext<RegCache>("registry-cache");
    // Within one open transaction no other connection's commit can show: one reading of
    // the data version serves it all.
    uint64_t snapshot = store().snapshot();
    if (snapshot && snapshot == c.checked) return c;
    Stmt s(store().db(), "PRAGMA data_version");
    int64_t v = s.Step() ? s.Int(0) : -1;
    c.checked = snapshot;
    if (v != c.data_version) {
        c.DropAll();
        c.data_version = v;
        c.Note(0, true);
    }
    return c;
}

bool Model::ChangesSince(uint64_t n, std::vector<Change>* out) {
    Lock g(store().mutex());
    RegCache& c = Cache();
    out->clear();
    if (n >= c.changes) return true;
    if (c.record.empty() || c.record.front().n > n + 1) return false;
    for (const Change& ch : c.record)
        if (ch.n > n) out->push_back(ch);
    return true;
}

uint64_t Model::ChangeCount() {
    Lock g(store().mutex());
    return Cache().changes;
}

std::optional<std::wstring> Model::PathOf(KeyId id) {
    Lock g(store().mutex());
    std::wstring path;
    for (int depth = 0; id && depth < 1024; ++depth) {
        auto k = Key(id);
        if (!k) return std::nullopt;
        path = path.empty() ? k->name : k->name + L"\\" + path;
        id = k->parent;
    }
    return path;
}

bool Model::Within(KeyId id, KeyId ancestor) {
    Lock g(store().mutex());
    for (int depth = 0; id && depth < 1024; ++depth) {
        if (id == ancestor) return true;
        auto k = Key(id);
        if (!k) return false;
        id = k->parent;
    }
    return false;
}

int64_t Model::NowFileTime() {
    int64_t ms = m_.boot_local_ms() + static_cast<int64_t>(m_.NowMs()) + m_.tz_bias_minutes * 60000LL;
    return ms * 10000;
}

KeyId Model::Root(const std::wstring& name) {
    Store& st = store();
    Lock g(st.mutex());
    RegCache& c = Cache();
    std::string fold = Utf8(Fold(name));
    std::string ck = RegCache::ChildKey(0, fold);
    auto it = c.children.find(ck);
    if (it != c.children.end()) return it->second;
    KeyId id = 0;
    {
        Stmt s(st.db(), "SELECT id FROM reg_keys WHERE parent IS NULL AND fold=?");
        s.Bind(1, fold);
        if (s.Step()) id = s.Int(0);
    }
    if (!id) {
        Stmt ins(st.db(), "INSERT INTO reg_keys (parent, name, fold, last_write) VALUES (NULL, ?, ?, ?)");
        ins.Bind(1, Utf8(name)).Bind(2, fold).Bind(3, NowFileTime()).Run();
        id = sqlite3_last_insert_rowid(st.db());
        Cache().DropNames();
    }
    Remember(c, ck, id);
    return id;
}

std::optional<KeyRow> Model::Key(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), (std::string("SELECT ") + kKeyCols + " FROM reg_keys WHERE id=?").c_str());
    s.Bind(1, id);
    if (!s.Step()) return std::nullopt;
    return ReadKey(s);
}

bool Model::Exists(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT 1 FROM reg_keys WHERE id=?");
    s.Bind(1, id);
    return s.Step();
}

KeyId Model::Child(KeyId parent, const std::wstring& name) {
    Store& st = store();
    Lock g(st.mutex());
    RegCache& c = Cache();
    std::string fold = Utf8(Fold(name));
    std::string ck = RegCache::ChildKey(parent, fold);
    auto it = c.children.find(ck);
    if (it != c.children.end()) return it->second;
    Stmt s(st.db(), "SELECT id FROM reg_keys WHERE parent=? AND fold=?");
    s.Bind(1, parent).Bind(2, fold);
    if (!s.Step()) return 0;
    Remember(c, ck, s.Int(0));
    return s.Int(0);
}

KeyId Model::CreateChild(KeyId parent, const std::wstring& name, const std::wstring& cls, bool is_volatile) {
    KeyId id = 0;
    store().Transaction([&] {
        int64_t now = NowFileTime();
        Stmt ins(store().db(),
                 "INSERT INTO reg_keys (parent, name, fold, class, last_write, volatile) "
                 "VALUES (?, ?, ?, ?, ?, ?)");
        ins.Bind(1, parent).Bind(2, Utf8(name)).Bind(3, Utf8(Fold(name))).Bind(4, Utf8(cls)).Bind(5, now);
        ins.Bind(6, static_cast<int64_t>(is_volatile ? 1 : 0)).Run();
        id = sqlite3_last_insert_rowid(store().db());
        Touch(parent);
        Cache().DropNames();
    });
    return id;
}

KeyId Model::Walk(KeyId start, const std::vector<std::wstring>& components, bool create) {
    KeyId cur = start;
    auto step = [&] {
        cur = start;
        for (const auto& c : components) {
            KeyId next = Child(cur, c);
            if (!next) {
                if (!create) return KeyId{0};
                next = CreateChild(cur, c);
            }
            cur = next;
        }
        return cur;
    };
    {
        // Existing keys are found without a write transaction.
        Lock g(store().mutex());
        bool saved = create;
        create = false;
        KeyId found = step();
        create = saved;
        if (found || !create) return found;
    }
    KeyId out = 0;
    store().Transaction([&] { out = step(); });
    return out;
}

int Model::Depth(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(),
           "WITH RECURSIVE up(id, parent) AS (SELECT id, parent FROM reg_keys WHERE id=? "
           "UNION ALL SELECT k.id, k.parent FROM reg_keys k JOIN up ON k.id=up.parent) "
           "SELECT COUNT(*) - 1 FROM up");
    s.Bind(1, id);
    return s.Step() ? static_cast<int>(s.Int(0)) : -1;
}

int64_t Model::SubkeyCount(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT COUNT(*) FROM reg_keys WHERE parent=?");
    s.Bind(1, id);
    return s.Step() ? s.Int(0) : 0;
}

std::optional<KeyRow> Model::SubkeyAt(KeyId id, int64_t index) {
    Store& st = store();
    Lock g(st.mutex());
    RegCache& c = Cache();
    auto cur = c.subkeys.find(id);
    bool next = cur != c.subkeys.end() && cur->second.index + 1 == index;
    static const std::string kNext =
        std::string("SELECT ") + kKeyCols + ", fold FROM reg_keys WHERE parent=? AND fold>? ORDER BY fold LIMIT 1";
    static const std::string kAt =
        std::string("SELECT ") + kKeyCols + ", fold FROM reg_keys WHERE parent=? ORDER BY fold LIMIT 1 OFFSET ?";
    Stmt s(st.db(), (next ? kNext : kAt).c_str());
    s.Bind(1, id);
    if (next)
        s.Bind(2, cur->second.fold);
    else
        s.Bind(2, index);
    if (!s.Step()) {
        c.subkeys.erase(id);
        return std::nullopt;
    }
    if (store().in_transaction())
        c.subkeys.erase(id);  // what it read may yet be rolled back
    else {
        if (c.subkeys.size() >= kMaxCursors && !c.subkeys.count(id)) c.subkeys.clear();
        c.subkeys[id] = Cursor{index, 0, s.Text(8)};
    }
    return ReadKey(s);
}

std::vector<KeyRow> Model::Subkeys(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), (std::string("SELECT ") + kKeyCols + " FROM reg_keys WHERE parent=? ORDER BY fold").c_str());
    s.Bind(1, id);
    std::vector<KeyRow> out;
    while (s.Step()) out.push_back(ReadKey(s));
    return out;
}

std::vector<KeyId> Model::Tree(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(),
           "WITH RECURSIVE t(id) AS (SELECT id FROM reg_keys WHERE id=? "
           "UNION ALL SELECT k.id FROM reg_keys k JOIN t ON k.parent=t.id) SELECT id FROM t");
    s.Bind(1, id);
    std::vector<KeyId> out;
    while (s.Step()) out.push_back(s.Int(0));
    return out;
}

int64_t Model::ValueCount(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT COUNT(*) FROM reg_values WHERE key=?");
    s.Bind(1, id);
    return s.Step() ? s.Int(0) : 0;
}

std::optional<ValueRow> Model::Value(KeyId id, const std::wstring& name) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT name, type, data FROM reg_values WHERE key=? AND fold=?");
    s.Bind(1, id).Bind(2, Utf8(Fold(name)));
    if (!s.Step()) return std::nullopt;
    return ReadValue(s);
}

std::optional<ValueRow> Model::ValueAt(KeyId id, int64_t index) {
    Store& st = store();
    Lock g(st.mutex());
    RegCache& c = Cache();
    auto cur = c.values.find(id);
    bool next = cur != c.values.end() && cur->second.index + 1 == index;
    Stmt s(st.db(), next ? "SELECT name, type, data, seq FROM reg_values WHERE key=? AND seq>? ORDER BY seq LIMIT 1"
                         : "SELECT name, type, data, seq FROM reg_values WHERE key=? ORDER BY seq LIMIT 1 OFFSET ?");
    s.Bind(1, id).Bind(2, next ? cur->second.seq : index);
    if (!s.Step()) {
        c.values.erase(id);
        return std::nullopt;
    }
    if (store().in_transaction())
        c.values.erase(id);
    else {
        if (c.values.size() >= kMaxCursors && !c.values.count(id)) c.values.clear();
        c.values[id] = Cursor{index, s.Int(3), std::string()};
    }
    return ReadValue(s);
}

std::vector<ValueRow> Model::Values(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT name, type, data FROM reg_values WHERE key=? ORDER BY seq");
    s.Bind(1, id);
    std::vector<ValueRow> out;
    while (s.Step()) out.push_back(ReadValue(s));
    return out;
}

void Model::SetValue(KeyId id, const std::wstring& name, DWORD type, const std::vector<uint8_t>& data) {
    store().Transaction([&] {
        // An existing value keeps its name and its place in the enumeration.
        Stmt s(store().db(),
               "INSERT INTO reg_values (key, name, fold, type, data, seq) "
               "VALUES (?1, ?2, ?3, ?4, ?5, "
               " (SELECT COALESCE(MAX(seq), 0) + 1 FROM reg_values WHERE key=?1)) "
               "ON CONFLICT (key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
        s.Bind(1, id).Bind(2, Utf8(name)).Bind(3, Utf8(Fold(name))).Bind(4, static_cast<int64_t>(type));
        s.Bind(5, data).Run();
        Touch(id);
        Cache().Note(id, false);
    });
}

bool Model::DeleteValue(KeyId id, const std::wstring& name) {
    bool deleted = false;
    store().Transaction([&] {
        Stmt s(store().db(), "DELETE FROM reg_values WHERE key=? AND fold=?");
        s.Bind(1, id).Bind(2, Utf8(Fold(name))).Run();
        deleted = sqlite3_changes(store().db()) > 0;
        if (deleted) {
            Touch(id);
            Cache().values.erase(id);
            Cache().Note(id, false);
        }
    });
    return deleted;
}

void Model::DeleteTree(KeyId id) {
    store().Transaction([&] {
        auto k = Key(id);
        if (!k) return;
        Stmt s(store().db(), "DELETE FROM reg_keys WHERE id=?");
        s.Bind(1, id).Run();
        if (k->parent) Touch(k->parent);
        Cache().DropAll();
        Cache().Note(k->parent, true);
    });
}

void Model::DeleteContents(KeyId id) {
    store().Transaction([&] {
        Stmt v(store().db(), "DELETE FROM reg_values WHERE key=?");
        v.Bind(1, id).Run();
        Stmt k(store().db(), "DELETE FROM reg_keys WHERE parent=?");
        k.Bind(1, id).Run();
        Touch(id);
        Cache().DropAll();
        Cache().Note(id, true);
    });
}

void Model::SetDenyRead(KeyId id, bool deny) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "UPDATE reg_keys SET deny_read=? WHERE id=?");
    s.Bind(1, static_cast<int64_t>(deny ? 1 : 0)).Bind(2, id).Run();
}

void Model::SetDenyWrite(KeyId id, bool deny) {
    Store& st = store();
    Lock g(st.mutex());
    Stmt s(st.db(), "UPDATE reg_keys SET deny_write=? WHERE id=?");
    s.Bind(1, static_cast<int64_t>(deny ? 1 : 0)).Bind(2, id).Run();
}

void Model::Touch(KeyId id) {
    Store& st = store();
    Lock g(st.mutex());
    // A key already written at this instant keeps its row (and its page) untouched.
    Stmt s(st.db(), "UPDATE reg_keys SET last_write=?1 WHERE id=?2 AND last_write<>?1");
    s.Bind(1, NowFileTime()).Bind(2, id).Run();
}

}  // namespace winsim::reg
