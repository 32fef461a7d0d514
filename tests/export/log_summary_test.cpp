// satlog-dump summary on a simulated log with a gap, a damaged trailer, junk and a torn end.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "records/record_dispatch.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/framed_log.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

std::string Line(const std::string& text, const std::string& label) {
    const std::size_t at = text.find("\n" + label);
    if (at == std::string::npos) {
        return "(no line '" + label + "')";
    }
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(LogSummary, CountsTrailersDamageAndGapsAndFindsTheReceiver) {
    ScratchDirectory dir;
    for (const char* start : {"345600", "345640"}) {
        ASSERT_EQ(RunCommand(SimMain, {"satlog-sim", "--log", dir / start, "--start", start,
                                       "--duration", "30", "--position", "50,10,300"})
                      .status,
                  0);
    }
    // The two runs back to back leave 11 s between epochs 345629 and 345640; junk between them,
    // and the log ends inside an entry.
    const std::string first = ReadTextFile(dir / "345600");
    const std::string junk = "XYZ,\x01\x02\x03";
    const std::string second = ReadTextFile(dir / "345640");
    std::string log = first + junk + second + second.substr(0, 50);
    const std::string path = dir / "damaged.log";
    std::ofstream(path, std::ios::binary) << log;

    // Entries counted by the reader itself; where the first MPC entry is.
    std::size_t counts[3] = {};
    std::size_t firstMpc = 0;
    const FramedLog framed = FrameLogFile(path);
    for (const FramedEvent* entry : framed.Entries()) {
        if (entry->kind == &kMpcLayout && counts[1] == 0) {
            firstMpc = entry->offset;
        }
        ++counts[static_cast<int>(entry->kind->kind)];
    }
    // That entry's trailer damaged.
    log[firstMpc + 4 + kMpcLayout.bodyLength - 1] = 'x';
    // One epoch left with four satellites, one of them 30 km long: nothing tells the bad range
    // from the others, so that epoch's fix lands kilometres away and would pull a mean of the
    // fixes by hundreds of metres.
    const std::vector<const FramedEvent*> epochs = framed.Entries(&kPbnLayout);
    int kept = 0;
    for (const FramedEvent* entry : framed.Entries(&kMpcLayout)) {
        if (entry->offset < epochs.at(39)->offset || entry->offset > epochs.at(40)->offset) {
            continue;
        }
        MeasurementRecord m = DecodeRecord(kMpcLayout, entry->body).measurement;
        m.status = kept < 4 ? m.status : 0;
        m.rawRange += kept == 0 ? 1e-4 : 0;
        ++kept;
        const MpcBody body = EncodeMeasurementBody(m);
        std::copy(body.begin(), body.end(),
                  log.begin() + static_cast<std::ptrdiff_t>(entry->offset + 4));
    }
    ASSERT_GT(kept, 4);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << log;

    const CommandRun run = RunCommand(DumpMain, {"satlog-dump", "summary", path, "--week", "1590"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("byte offset " + std::to_string(first.size())), std::string::npos)
        << run.err;
    const std::string& s = run.out;
    EXPECT_EQ(Line(s, "entries"), "entries           SNV " + std::to_string(counts[0]) + ", MPC " +
                                      std::to_string(counts[1]) + ", PBN " +
                                      std::to_string(counts[2]));
    EXPECT_EQ(Line(s, "bad trailers"), "bad trailers      SNV 0, MPC 1, PBN 0");
    EXPECT_EQ(Line(s, "torn or unknown"),
              "torn or unknown   1 damaged stretches read past (" + std::to_string(junk.size()) +
                  " bytes skipped, 0 began with a torn entry); the log ends inside an entry");
    EXPECT_NE(Line(s, "first epoch")
                  .find("345600.000 s of the GPS week (week 1590, 2010-07-01 00:00:00.000"),
              std::string::npos)
        << s;
    EXPECT_NE(Line(s, "epochs").find("epochs            60,"), std::string::npos) << s;
    EXPECT_EQ(Line(s, "gaps of 5 s+"),
              "gaps of 5 s+      1; longest 11.000 s, after the epoch at 345629.000 s");
    // The median fix is the simulated receiver's place.
    std::smatch m;
    const std::string fix = Line(s, "fix");
    ASSERT_TRUE(std::regex_search(fix, m, std::regex("median ([0-9.]+) ([0-9.]+) ")));
    EXPECT_NEAR(std::stod(m[1]), 50.0, 1e-4);
    EXPECT_NEAR(std::stod(m[2]), 10.0, 1e-4);
}

}  // namespace
