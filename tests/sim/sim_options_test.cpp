#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "tools/sim/sim_options.hpp"

namespace {

OptionsResult Parse(std::initializer_list<const char*> args) {
    std::vector<const char*> v(args);
    return ParseSimOptions(v);
}

TEST(SimOptions, DefaultsDriveAPseudoTerminalInRealTime) {
    const OptionsResult r = Parse({});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->output, SimOptions::Output::PseudoTerminal);
    EXPECT_EQ(r.options->speed, 1.0);
    EXPECT_FALSE(r.options->fast);
    EXPECT_EQ(r.options->snvIntervalSeconds, 60);
    EXPECT_FALSE(r.options->durationSeconds);
}

TEST(SimOptions, ReadsEveryValue) {
    const OptionsResult r = Parse(
        {"--log",   "out.log", "--duration",     "90",          "--position",     "-33.5,151.25,40",
         "--start", "388800",  "--snv-interval", "30",          "--nav",          "brdc.n",
         "--truth", "t.csv",   "--split-every",  "7",           "--hangup-after", "100",
         "--seed",  "9",       "--fast",         "--ionosphere"});
    ASSERT_TRUE(r.options) << r.error;
    const SimOptions& o = *r.options;
    EXPECT_EQ(o.output, SimOptions::Output::OfflineLog);
    EXPECT_EQ(o.logPath, "out.log");
    EXPECT_EQ(*o.durationSeconds, 90.0);
    EXPECT_EQ(o.latitudeDeg, -33.5);
    EXPECT_EQ(o.longitudeDeg, 151.25);
    EXPECT_EQ(o.heightM, 40.0);
    EXPECT_EQ(*o.startSecondsOfWeek, 388800.0);
    EXPECT_EQ(o.snvIntervalSeconds, 30);
    EXPECT_EQ(o.faults.splitEvery, 7);
    EXPECT_EQ(o.faults.hangupAfter, 100);
    EXPECT_EQ(o.faults.seed, 9u);
    EXPECT_TRUE(o.fast);
    EXPECT_TRUE(o.ionosphere);
}

TEST(SimOptions, RefusesBadArgumentsWithAMessageNamingThem) {
    struct Case {
        std::vector<const char*> args;
        const char* mentions;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "--bogus"},
        {{"--speed"}, "--speed"},
        {{"--speed", "0"}, "--speed"},
        {{"--speed", "fast"}, "--speed"},
        {{"--start", "604800"}, "--start"},
        {{"--start", "-1"}, "--start"},
        {{"--duration", "0"}, "--duration"},
        {{"--position", "50,10"}, "--position"},
        {{"--position", "91,10,0"}, "--position"},
        {{"--position", "50,10,0,1"}, "--position"},
        {{"--split-every", "0"}, "--split-every"},
        {{"--silent-after", "-2"}, "--silent-after"},
        {{"--fast", "--speed", "2"}, "--fast"},
        {{"--device", "/dev/ttyS0", "--link", "/tmp/x"}, "--device"},
        {{"--log", "x.log"}, "--duration"},
        {{"--log", "x.log", "--duration", "5", "--device", "/dev/ttyS0"}, "--log"},
        {{"--replay", "a.log", "--nav", "b.n"}, "--replay"},
        {{"--ionosphere"}, "--ionosphere"},
        {{"--obs", "a.05o", "--nav", "a.05n", "--ionosphere"}, "--ionosphere"},
        {{"stray"}, "stray"},
    };
    for (const Case& c : cases) {
        const OptionsResult r = ParseSimOptions(c.args);
        EXPECT_FALSE(r.options) << c.args.front();
        EXPECT_NE(r.error.find(c.mentions), std::string::npos) << r.error;
    }
}

}  // namespace
