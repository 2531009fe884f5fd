// winsim: SQLite-backed machine state.
#include "winsim/store.h"

#include <atomic>
#include <stdexcept>
#include <unordered_map>

namespace winsim {

namespace {
[[noreturn]] void Throw(sqlite3* db, const char* what) {
    throw std::runtime_error(std::string("winsim store: ") + what + ": " + sqlite3_errmsg(db));
}

// Prepared statements of the Stores' connections that no Stmt uses, by connection and text.
// Statements built with a varying text would fill it: past kMaxTexts texts per connection,
// and kMaxFree free statements of one text, a statement is finalized instead.
class StmtPool {
public:
    static StmtPool& Get() {
        static StmtPool* pool = new StmtPool;  // outlives every Store, whatever the exit order
        return *pool;
    }
    void Open(sqlite3* db) {
        std::lock_guard<std::mutex> g(mu_);
        free_[db];
    }
    void Close(sqlite3* db) {
        std::unordered_map<std::string, std::vector<sqlite3_stmt*>> texts;
        {
            std::lock_guard<std::mutex> g(mu_);
            auto it = free_.find(db);
            if (it == free_.end()) return;
            texts.swap(it->second);
            free_.erase(it);
        }
        for (auto& [sql, list] : texts)
            for (sqlite3_stmt* st : list) sqlite3_finalize(st);
    }
    // A free statement of that text (nullptr: none); *pooled says whether db is a Store's.
    sqlite3_stmt* Take(sqlite3* db, const char* sql, bool* pooled) {
        std::lock_guard<std::mutex> g(mu_);
        auto it = free_.find(db);
        *pooled = it != free_.end();
        if (!*pooled) return nullptr;
        auto t = it->second.find(sql);
        if (t == it->second.end() || t->second.empty()) return nullptr;
        sqlite3_stmt* st = t->second.back();
        t->second.pop_back();
        return st;
    }
    void Give(sqlite3* db, sqlite3_stmt* st) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        {
            std::lock_guard<std::mutex> g(mu_);
            auto it = free_.find(db);
            if (it != free_.end()) {
                auto& texts = it->second;
                const char* sql = sqlite3_sql(st);
                auto t = texts.find(sql);
                if (t == texts.end() && texts.size() < kMaxTexts)
                    t = texts.emplace(sql, std::vector<sqlite3_stmt*>()).first;
                if (t != texts.end() && t->second.size() < kMaxFree) {
                    t->second.push_back(st);
                    return;
                }
            }
        }
        sqlite3_finalize(st);
    }

private:
    static constexpr size_t kMaxTexts = 1024;
    static constexpr size_t kMaxFree = 8;
    std::mutex mu_;
    std::unordered_map<sqlite3*, std::unordered_map<std::string, std::vector<sqlite3_stmt*>>> free_;
};
// Transaction numbers, unique across every Store of the host process.
uint64_t NextSnapshot() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}
}  // namespace

Stmt::Stmt(sqlite3* db, const char* sql) : db_(db) {
    st_ = StmtPool::Get().Take(db, sql, &pooled_);
    if (st_) return;
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st_);
        Throw(db, sql);
    }
}

Stmt::~Stmt() {
    if (!st_) return;
    if (pooled_)
        StmtPool::Get().Give(db_, st_);
    else
        sqlite3_finalize(st_);
}

Stmt& Stmt::Bind(int i, int64_t v) {
    sqlite3_bind_int64(st_, i, v);
    return *this;
}

Stmt& Stmt::Bind(int i, const std::string& v) {
    sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt& Stmt::Bind(int i, const std::vector<uint8_t>& v) {
    sqlite3_bind_blob(st_, i, v.empty() ? "" : static_cast<const void*>(v.data()), static_cast<int>(v.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Stmt& Stmt::BindNull(int i) {
    sqlite3_bind_null(st_, i);
    return *this;
}

bool Stmt::Step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Throw(db_, "step");
}

void Stmt::Run() {
    while (Step()) {}
}

void Stmt::Reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
}

int64_t Stmt::Int(int col) const { return sqlite3_column_int64(st_, col); }

std::string Stmt::Text(int col) const {
    const unsigned char* p = sqlite3_column_text(st_, col);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(st_, col)) : std::string();
}

std::vector<uint8_t> Stmt::Blob(int col) const {
    const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(st_, col));
    int n = sqlite3_column_bytes(st_, col);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

bool Stmt::IsNull(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }

Store::Store(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("winsim store: cannot open " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 10000);
    StmtPool::Get().Open(db_);
    Exec("PRAGMA foreign_keys=ON");
    if (path != ":memory:") {
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
    }
    Exec(
        "CREATE TABLE IF NOT EXISTS settings (ns TEXT NOT NULL, key TEXT NOT NULL, value, "
        "PRIMARY KEY (ns, key))");
}

Store::~Store() {
    StmtPool::Get().Close(db_);
    sqlite3_close(db_);
}

void Store::Flush() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    if (depth_ > 0) return;
    // A checkpoint cannot pass the connection's own open read.
    if (reading_) EndRead();
    Exec("PRAGMA wal_checkpoint(FULL)");
    if (reading_) BeginRead();
}

void Store::Exec(const char* sql) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "?";
        sqlite3_free(err);
        throw std::runtime_error(std::string("winsim store: ") + msg + " in: " + sql);
    }
}

Store::TxLevel::TxLevel(Store& s) : s_(s), lock_(s.mu_) {
    if (s_.depth_ == 0) {
        // A read transaction cannot safely become a write one (another connection may have
        // committed since its snapshot): end it, and write on the newest state.
        if (s_.reading_) s_.EndRead();
        Stmt(s_.db_, "BEGIN IMMEDIATE").Run();  // on failure lock_ lets go, depth_ unchanged
        s_.snapshot_ = NextSnapshot();
    }
    ++s_.depth_;
}

void Store::TxLevel::Commit() {
    if (s_.depth_ == 1) Stmt(s_.db_, "COMMIT").Run();
    committed_ = true;
}

Store::TxLevel::~TxLevel() {
    // A failed COMMIT (busy, a deferred constraint) leaves the transaction open: end it.
    if (s_.depth_ == 1 && !committed_) sqlite3_exec(s_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (--s_.depth_ == 0) {
        s_.snapshot_ = 0;
        if (s_.reading_) s_.BeginRead();
    }
}

void Store::BeginRead() {
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) snapshot_ = NextSnapshot();
}

void Store::EndRead() {
    snapshot_ = 0;
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

Store::ReadLevel::ReadLevel(Store& s) : s_(s), lock_(s.mu_) {
    if (s_.depth_ > 0 || s_.reading_) return;
    Stmt(s_.db_, "BEGIN").Run();
    s_.snapshot_ = NextSnapshot();
    s_.reading_ = outer_ = true;
}

Store::ReadLevel::~ReadLevel() {
    if (!outer_) return;
    s_.reading_ = false;
    s_.EndRead();
}

std::optional<int64_t> Store::GetInt(const std::string& ns, const std::string& key) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    Stmt s(db_, "SELECT value FROM settings WHERE ns=? AND key=?");
    s.Bind(1, ns).Bind(2, key);
    if (!s.Step() || s.IsNull(0)) return std::nullopt;
    return s.Int(0);
}

int64_t Store::GetInt(const std::string& ns, const std::string& key, int64_t def) {
    auto v = GetInt(ns, key);
    return v ? *v : def;
}

void Store::SetInt(const std::string& ns, const std::string& key, int64_t v) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    Stmt s(db_,
           "INSERT INTO settings (ns, key, value) VALUES (?, ?, ?) "
           "ON CONFLICT (ns, key) DO UPDATE SET value=excluded.value");
    s.Bind(1, ns).Bind(2, key).Bind(3, v).Run();
}

std::optional<std::string> Store::GetText(const std::string& ns, const std::string& key) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    Stmt s(db_, "SELECT value FROM settings WHERE ns=? AND key=?");
    s.Bind(1, ns).Bind(2, key);
    if (!s.Step() || s.IsNull(0)) return std::nullopt;
    return s.Text(0);
}

void Store::SetText(const std::string& ns, const std::string& key, const std::string& v) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    Stmt s(db_,
           "INSERT INTO settings (ns, key, value) VALUES (?, ?, ?) "
           "ON CONFLICT (ns, key) DO UPDATE SET value=excluded.value");
    s.Bind(1, ns).Bind(2, key).Bind(3, v).Run();
}

void Store::DeleteSetting(const std::string& ns, const std::string& key) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    Stmt s(db_, "DELETE FROM settings WHERE ns=? AND key=?");
    s.Bind(1, ns).Bind(2, key).Run();
}

void Store::KeepLast(const std::string& table, int64_t seq) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    int64_t limit = LogLimit(table);
    if (seq <= limit) return;
    Stmt s(db_, ("DELETE FROM " + table + " WHERE seq <= ?").c_str());
    s.Bind(1, seq - limit).Run();
    if (int n = sqlite3_changes(db_)) SetInt("log", table + ".dropped", LogDropped(table) + n);
}

int64_t Store::LogLimit(const std::string& table) { return GetInt("log", table + ".limit", kDefaultLogLimit); }

void Store::SetLogLimit(const std::string& table, int64_t rows) {
    SetInt("log", table + ".limit", rows < 1 ? 1 : rows);
}

int64_t Store::LogDropped(const std::string& table) { return GetInt("log", table + ".dropped", 0); }

void Store::ClearLog(const std::string& table) {
    Transaction([&] {
        Exec(("DELETE FROM " + table).c_str());
        DeleteSetting("log", table + ".dropped");
    });
}

std::vector<std::pair<std::string, std::string>> Store::ListSettings(const std::string& ns) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    std::vector<std::pair<std::string, std::string>> out;
    Stmt s(db_, "SELECT key, value FROM settings WHERE ns=? ORDER BY key");
    s.Bind(1, ns);
    while (s.Step()) out.emplace_back(s.Text(0), s.Text(1));
    return out;
}

}  // namespace winsim
