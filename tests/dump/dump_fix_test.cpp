// satlog-dump fix as a command: its rows without a fix, its exit statuses and messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/raw_log_builder.hpp"
#include "tests/support/sample_ephemeris.hpp"
#include "tests/support/temporary_stream.hpp"
#include "tools/dump/dump_fix.hpp"
#include "tools/dump/dump_main.hpp"

namespace {

struct FixRun {
    int status;
    std::string out;
    std::string err;
};

// `satlog-dump fix ARGS`, or DumpFix on `log`.
FixRun FixMain(std::vector<const char*> args, const RawLogBuilder* log = nullptr) {
    TemporaryStream file, out, err;
    if (log != nullptr) {
        log->WriteTo(file.get());
    }
    args.insert(args.begin(), {"satlog-dump", "fix"});
    const int status =
        log != nullptr ? DumpFix(file.get(), "test.log", out.get(), err.get())
                       : DumpMain(static_cast<int>(args.size()), args.data(), out.get(), err.get());
    return {status, out.Contents(), err.Contents()};
}

TEST(DumpFix, EpochsWithoutAFixKeepTheirRowsAndATornEndSaysWhere) {
    RawLogBuilder log;
    log.Ephemeris(SampleEphemeris(3)).Measurement(3, 1, 0.07).Epoch(1500).Epoch(2500);
    log.Raw({'P', 'B', 'N', ',', 1, 2});
    const FixRun run = FixMain({}, &log);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms,"
              "from_nav,excluded\n"
              "1500,1,,,,,,,,,,,,0,\n"
              "2500,0,,,,,,,,,,,,0,\n");
    EXPECT_EQ(run.err,
              "satlog-dump: test.log: byte offset 363: the log ends inside a PBN, entry: 2 of 58 "
              "body bytes\n");
}

TEST(DumpFix, UsageErrorsAndAFileThatCannotBeOpened) {
    const FixRun missing = FixMain({"/nonexistent-satlog-dir/none.log"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot open /nonexistent-satlog-dir/none.log: "),
              std::string::npos);
    EXPECT_EQ(FixMain({"--mask", "high", "x.log"}).status, 2);
    EXPECT_EQ(FixMain({"--mask", "95", "x.log"}).status, 2);
    EXPECT_EQ(FixMain({"a.log", "b.log"}).status, 2);
    EXPECT_EQ(FixMain({}).status, 2);
    const FixRun help = FixMain({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Without --nav (or with a file that lacks them, as\n"
                            "standard error then says) there is no ionospheric correction"),
              std::string::npos);
    const FixRun noNav = FixMain({"--nav", "/nonexistent-satlog-dir/day.05n", "x.log"});
    EXPECT_EQ(noNav.status, 2);
    EXPECT_EQ(noNav.err,
              "satlog-dump: cannot open the navigation file /nonexistent-satlog-dir/day.05n\n");
}

}  // namespace
