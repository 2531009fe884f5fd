// The machine's store: a transaction that SQLite refuses rolls back and leaves the store
// usable by every thread; a read sees one state of a database shared with another connection.
#include <gtest/gtest.h>

#include "winsim/store.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

int64_t Count(winsim::Store& s, const char* table) {
    winsim::Stmt q(s.db(), (std::string("SELECT count(*) FROM ") + table).c_str());
    q.Step();
    return q.Int(0);
}

TEST(StoreTest, RefusedCommitRollsBackAndReleasesTheStore) {
    winsim::Store s(":memory:");
    s.Exec("CREATE TABLE parent (id INTEGER PRIMARY KEY)");
    s.Exec("CREATE TABLE child (parent INTEGER REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)");
    // The orphan passes its statement; SQLite refuses it only at COMMIT.
    EXPECT_THROW(s.Transaction([&] {
        s.SetInt("test", "inside", 1);
        s.Exec("INSERT INTO child VALUES (7)");
    }),
                 std::runtime_error);
    EXPECT_EQ(0, Count(s, "child"));
    EXPECT_FALSE(s.GetInt("test", "inside"));

    bool free_elsewhere = false;
    std::thread([&] {
        std::unique_lock<std::recursive_mutex> l(s.mutex(), std::try_to_lock);
        free_elsewhere = l.owns_lock();
    }).join();
    EXPECT_TRUE(free_elsewhere);

    s.Transaction([&] { s.SetInt("test", "after", 2); });
    EXPECT_EQ(2, s.GetInt("test", "after", 0));
}

}  // namespace

// Statements are kept prepared by their text: one taken again starts anew, without the
// bindings or the position of its last use, and two of one text can be live at once.
TEST(StoreTest, APreparedStatementTakenAgainStartsAnew) {
    winsim::Store s(":memory:");
    s.Exec("CREATE TABLE t (x INTEGER)");
    s.Exec("INSERT INTO t VALUES (1), (2)");
    const char* kAll = "SELECT x FROM t ORDER BY x";
    winsim::Stmt outer(s.db(), kAll);
    ASSERT_TRUE(outer.Step());
    EXPECT_EQ(1, outer.Int(0));
    for (int round = 0; round < 2; ++round) {
        winsim::Stmt inner(s.db(), kAll);
        ASSERT_TRUE(inner.Step());
        EXPECT_EQ(1, inner.Int(0)) << round;
    }
    ASSERT_TRUE(outer.Step());
    EXPECT_EQ(2, outer.Int(0));
    {
        winsim::Stmt bound(s.db(), "SELECT ?");
        bound.Bind(1, int64_t{5});
        ASSERT_TRUE(bound.Step());
    }
    winsim::Stmt again(s.db(), "SELECT ?");
    ASSERT_TRUE(again.Step());
    EXPECT_TRUE(again.IsNull(0));
}

// A request log keeps its last rows and counts those it let go, until it is cleared.
TEST(StoreTest, ARequestLogKeepsItsLastRows) {
    struct Row {
        const char* name;
        int64_t limit;
        int inserts;
        int64_t first_kept, dropped;
    } rows[] = {
        {"under the limit", 3, 2, 1, 0},
        {"over the limit", 3, 5, 3, 2},
        {"limit below one", 0, 2, 2, 1},
    };
    for (const Row& r : rows) {
        winsim::Store s(":memory:");
        s.Exec("CREATE TABLE req_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, v INTEGER)");
        s.SetLogLimit("req_log", r.limit);
        for (int i = 1; i <= r.inserts; ++i) {
            winsim::Stmt(s.db(), "INSERT INTO req_log (v) VALUES (1)").Run();
            s.KeepLast("req_log", sqlite3_last_insert_rowid(s.db()));
        }
        winsim::Stmt first(s.db(), "SELECT MIN(seq) FROM req_log");
        ASSERT_TRUE(first.Step());
        EXPECT_EQ(r.first_kept, first.Int(0)) << r.name;
        EXPECT_EQ(r.dropped, s.LogDropped("req_log")) << r.name;
        s.ClearLog("req_log");
        EXPECT_EQ(0, Count(s, "req_log")) << r.name;
        EXPECT_EQ(0, s.LogDropped("req_log")) << r.name;
    }
}

// A read sees one state of the database; a transaction begun inside it writes on the newest
// state, whatever another connection committed meanwhile, and the read goes on after it.
TEST(StoreTest, AReadSeesOneStateAndATransactionInsideItWritesOnTheNewest) {
    char tmpl[] = "/tmp/winsim-store-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string path = std::string(tmpl) + "/machine.db";
    {
        winsim::Store a(path), b(path);
        a.SetInt("test", "n", 1);
        EXPECT_EQ(0u, a.snapshot());
        a.Read([&] {
            uint64_t first = a.snapshot();
            EXPECT_NE(0u, first);
            EXPECT_EQ(1, a.GetInt("test", "n", 0));
            b.SetInt("test", "n", 2);
            EXPECT_EQ(1, a.GetInt("test", "n", 0));  // still the state it began with
            a.Read([&] { EXPECT_EQ(first, a.snapshot()); });
            a.Transaction([&] {
                EXPECT_EQ(2, a.GetInt("test", "n", 0));
                a.SetInt("test", "n", 3);
            });
            EXPECT_NE(first, a.snapshot());
            EXPECT_NE(0u, a.snapshot());
            EXPECT_EQ(3, a.GetInt("test", "n", 0));
            a.Flush();
            EXPECT_EQ(3, a.GetInt("test", "n", 0));
        });
        EXPECT_EQ(0u, a.snapshot());
        EXPECT_EQ(3, b.GetInt("test", "n", 0));
        b.SetInt("test", "n", 4);
        EXPECT_EQ(4, a.GetInt("test", "n", 0));
    }
    std::filesystem::remove_all(tmpl);
}
