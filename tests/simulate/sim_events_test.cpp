// The simulation's event lists: a seed always makes the same day, a list reads back as it was
// written, and a bad list is refused with the line that is wrong.
#include <gtest/gtest.h>

#include "sim_events.h"
#include "sim_world.h"

#include <string>
#include <vector>

namespace {

TEST(SimEvents, ASeedMakesTheSameDayEveryTime) {
    auto a = sim::Generate(7), b = sim::Generate(7), c = sim::Generate(8);
    EXPECT_EQ(sim::FormatList(a), sim::FormatList(b));
    EXPECT_NE(sim::FormatList(a), sim::FormatList(c));
}

TEST(SimEvents, AListReadsBackAsWritten) {
    for (uint64_t seed : {1u, 2u, 3u, 500u}) {
        auto events = sim::Generate(seed);
        std::vector<sim::Event> back;
        std::string error;
        ASSERT_TRUE(sim::ParseList(sim::FormatList(events), &back, &error)) << seed << ": " << error;
        EXPECT_EQ(sim::FormatList(events), sim::FormatList(back)) << seed;
    }
}

struct BadList {
    const char* text;
    const char* error;
};

TEST(SimEvents, ABadListNamesItsLine) {
    const BadList cases[] = {
        {"rotate 1\n", "line 1: an event starts with +DELAY"},
        {"# set-up\n+0 install\n+x rotate 1\n", "line 3: bad delay '+x'"},
        {"+0 spin\n", "line 1: unknown event kind 'spin'"},
        {"+0 rotate\n", "line 1: rotate needs 1 arguments"},
        {"+0 rotate 1 2\n", "line 1: unexpected '2'"},
        {"+0 hcierror 0x2000 zz 10\n", "line 1: bad number 'zz'"},
        {"+0 set StartTime\n", "line 1: set needs 2 arguments"},
    };
    for (const auto& c : cases) {
        std::vector<sim::Event> events;
        std::string error;
        EXPECT_FALSE(sim::ParseList(c.text, &events, &error)) << c.text;
        EXPECT_EQ(c.error, error) << c.text;
    }
}

TEST(SimWorld, ARotationIntoTheStopPostureAndBackKeepsEveryInvariant) {
    std::vector<sim::Event> events;
    std::string error;
    ASSERT_TRUE(
        sim::ParseList("+0 set StartTime 1000\n+0 set ResumePollingInterval 1000\n"
                       "+0 set ResumeRecoveryWaitTime 2000\n+0 stopflags 0x2000\n+0 install\n"
                       "+0 svcstart\n+0 logon 1\n+5000 rotate 1\n+5000 rotate 0\n",
                       &events, &error))
        << error;
    sim::RunResult r = sim::Run(events, sim::RunOptions{});
    EXPECT_TRUE(r.ok) << r.invariant << ": " << r.what;
}

}  // namespace
