// winsim: the machine's persistent state, one SQLite database written through on every change.
// A database on disk runs in WAL mode with synchronous NORMAL: every change is committed at
// once (another host process sees it), but made durable only at a checkpoint or by Flush, as
// Windows writes the registry lazily; a crash of the host loses at most the last commits,
// never the database's consistency.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// A prepared statement with positional binding (1-based) and typed column reads. On the
// connection of a Store, statements are kept prepared by their text: a Stmt takes a free
// one of the same text and gives it back, reset, when it ends.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& Bind(int i, int64_t v);
    Stmt& Bind(int i, const std::string& v);
    Stmt& Bind(int i, const std::vector<uint8_t>& v);
    Stmt& BindNull(int i);
    // Steps once; true while a row is available.
    bool Step();
    // Runs to completion (for statements without rows).
    void Run();
    void Reset();

    int64_t Int(int col) const;
    std::string Text(int col) const;
    std::vector<uint8_t> Blob(int col) const;
    bool IsNull(int col) const;

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
    bool pooled_ = false;  // from the Store's statement pool
};

class Store {
public:
    // path ":memory:" gives a private in-memory database.
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    sqlite3* db() { return db_; }
    void Exec(const char* sql);
    // Makes every committed change durable (a checkpoint of the write-ahead log).
    void Flush();
    // Runs fn inside one transaction (nested calls join the outer one). The outermost call
    // commits; when fn or the commit throws, it rolls back, and the connection's lock is
    // released on every path.
    template <class F>
    void Transaction(F&& fn) {
        TxLevel level(*this);
        fn();
        level.Commit();
    }

    // Runs fn inside one read transaction, so that its reads see one state of the database
    // and take the database's locks once (inside a Transaction it simply joins it). A
    // Transaction begun inside it ends the read first and starts a fresh one after its commit.
    template <class F>
    void Read(F&& fn) {
        ReadLevel level(*this);
        fn();
    }

    // A number for the SQL transaction open on the connection (read or write), the same for
    // all of it and never given again; 0 when none is open. While it stays the same, no
    // other connection's commit can become visible.
    uint64_t snapshot() const { return snapshot_; }

    // Small typed settings: (namespace, key) -> value.
    std::optional<int64_t> GetInt(const std::string& ns, const std::string& key);
    int64_t GetInt(const std::string& ns, const std::string& key, int64_t def);
    void SetInt(const std::string& ns, const std::string& key, int64_t v);
    std::optional<std::string> GetText(const std::string& ns, const std::string& key);
    void SetText(const std::string& ns, const std::string& key, const std::string& v);
    void DeleteSetting(const std::string& ns, const std::string& key);
    std::vector<std::pair<std::string, std::string>> ListSettings(const std::string& ns);

    // Request logs (tables whose rows are numbered by seq INTEGER PRIMARY KEY AUTOINCREMENT)
    // keep their last LogLimit rows, so that an idle machine does not grow without end.
    // KeepLast is called after the insert of row seq: it drops the rows before the last
    // LogLimit and counts them in LogDropped, until ClearLog empties the table.
    static constexpr int64_t kDefaultLogLimit = 10000;
    void KeepLast(const std::string& table, int64_t seq);
    int64_t LogLimit(const std::string& table);
    void SetLogLimit(const std::string& table, int64_t rows);  // at least 1
    int64_t LogDropped(const std::string& table);
    void ClearLog(const std::string& table);

    // Whether a Transaction is open on the connection (its changes may still be rolled back).
    bool in_transaction() const { return depth_ > 0; }

    // Serialises use of the connection by the threads of one host.
    std::recursive_mutex& mutex() { return mu_; }

private:
    // One level of Transaction: holds the connection's lock while it lives; the outermost
    // level begins the SQL transaction, and ends it with ROLLBACK unless Commit succeeded.
    class TxLevel {
    public:
        explicit TxLevel(Store& s);
        ~TxLevel();
        TxLevel(const TxLevel&) = delete;
        TxLevel& operator=(const TxLevel&) = delete;
        void Commit();

    private:
        Store& s_;
        std::unique_lock<std::recursive_mutex> lock_;
        bool committed_ = false;
    };

    // One level of Read: holds the connection's lock; the outermost level outside any
    // Transaction begins a deferred transaction and ends it.
    class ReadLevel {
    public:
        explicit ReadLevel(Store& s);
        ~ReadLevel();
        ReadLevel(const ReadLevel&) = delete;
        ReadLevel& operator=(const ReadLevel&) = delete;

    private:
        Store& s_;
        std::unique_lock<std::recursive_mutex> lock_;
        bool outer_ = false;
    };

    // Begins a deferred (read) transaction for an open Read.
    void BeginRead();
    // Ends the read transaction of an open Read, if SQLite still has it open.
    void EndRead();

    sqlite3* db_ = nullptr;
    int depth_ = 0;
    bool reading_ = false;  // a Read is open outside any Transaction
    uint64_t snapshot_ = 0;
    std::recursive_mutex mu_;
};

}  // namespace winsim
