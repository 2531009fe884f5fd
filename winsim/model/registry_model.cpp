// winsim: registry storage over the machine database (see registry_model.h).
#include "registry_model.h"

namespace winsim::reg {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

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
    });
}

int64_t Model::NowFileTime() {
    int64_t ms = m_.boot_local_ms() + static_cast<int64_t>(m_.NowMs()) + m_.tz_bias_minutes * 60000LL;
    return ms * 10000;
}

KeyId Model::Root(const std::wstring& name) {
    Store& st = store();
    Lock g(st.mutex());
    {
        Stmt s(st.db(), "SELECT id FROM reg_keys WHERE parent IS NULL AND fold=?");
        s.Bind(1, Utf8(Fold(name)));
        if (s.Step()) return s.Int(0);
    }
    Stmt ins(st.db(), "INSERT INTO reg_keys (parent, name, fold, last_write) VALUES (NULL, ?, ?, ?)");
    ins.Bind(1, Utf8(name)).Bind(2, Utf8(Fold(name))).Bind(3, NowFileTime()).Run();
    return sqlite3_last_insert_rowid(st.db());
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
    Stmt s(st.db(), "SELECT id FROM reg_keys WHERE parent=? AND fold=?");
    s.Bind(1, parent).Bind(2, Utf8(Fold(name)));
    return s.Step() ? s.Int(0) : 0;
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
    });
    return id;
}

KeyId Model::Walk(KeyId start, const std::vector<std::wstring>& components, bool create) {
    KeyId cur = start;
    auto step = [&] {
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
    if (!create) {
        Lock g(store().mutex());
        return step();
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
    Stmt s(
        st.db(),
        (std::string("SELECT ") + kKeyCols + " FROM reg_keys WHERE parent=? ORDER BY fold LIMIT 1 OFFSET ?").c_str());
    s.Bind(1, id).Bind(2, index);
    if (!s.Step()) return std::nullopt;
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
    Stmt s(st.db(), "SELECT name, type, data FROM reg_values WHERE key=? ORDER BY seq LIMIT 1 OFFSET ?");
    s.Bind(1, id).Bind(2, index);
    if (!s.Step()) return std::nullopt;
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
    });
}

bool Model::DeleteValue(KeyId id, const std::wstring& name) {
    bool deleted = false;
    store().Transaction([&] {
        Stmt s(store().db(), "DELETE FROM reg_values WHERE key=? AND fold=?");
        s.Bind(1, id).Bind(2, Utf8(Fold(name))).Run();
        deleted = sqlite3_changes(store().db()) > 0;
        if (deleted) Touch(id);
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
    });
}

void Model::DeleteContents(KeyId id) {
    store().Transaction([&] {
        Stmt v(store().db(), "DELETE FROM reg_values WHERE key=?");
        v.Bind(1, id).Run();
        Stmt k(store().db(), "DELETE FROM reg_keys WHERE parent=?");
        k.Bind(1, id).Run();
        Touch(id);
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
    Stmt s(st.db(), "UPDATE reg_keys SET last_write=? WHERE id=?");
    s.Bind(1, NowFileTime()).Bind(2, id).Run();
}

}  // namespace winsim::reg
