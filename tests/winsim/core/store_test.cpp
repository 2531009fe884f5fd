// The machine's store: a transaction that SQLite refuses rolls back and leaves the store
// usable by every thread.
#include <gtest/gtest.h>

#include "winsim/store.h"

#include <stdexcept>
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
