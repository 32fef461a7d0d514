// A raw log written from real ephemerides, as the receiver would have sent them, read back by the
// raw-log decoder: the positions it prints are the positions computed directly, to the last bit.
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orbit/satellite_position.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/temporary_stream.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/dump/dump_records.hpp"

namespace {

// Runs a dump command over `log` and captures what it prints.
struct DumpRun {
    int status;
    std::string out;
    std::string err;
};

DumpRun RunDump(const std::vector<std::uint8_t>& log, bool positions) {
    TemporaryStream in, out, err;
    if (!log.empty()) {
        std::fwrite(log.data(), 1, log.size(), in.get());
    }
    std::rewind(in.get());
    const int status = positions ? DumpPositions(in.get(), "test.log", out.get(), err.get())
                                 : DumpRecords(in.get(), "test.log", out.get(), err.get());
    return DumpRun{status, out.Contents(), err.Contents()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct Expected {
    std::int32_t timeMs;
    int prn;
    double transmitTime;
    SatellitePosition p;
};

// One hour of epochs every 30 s for the first few satellites of the reference day.
void BuildLog(std::vector<std::uint8_t>& log, std::vector<Expected>& expected) {
    std::map<int, EphemerisRecord> bySatellite;
    for (const OracleEphemeris& o : LoadOracleEphemerides()) {
        if (o.source.rfind("rinex:", 0) == 0 && !bySatellite.count(o.prn)) {
            bySatellite[o.prn] = o.record;
        }
    }
    for (const auto& [prn, record] : bySatellite) {
        AppendLogEntry(log, kSnvLayout, EncodeEphemerisBody(record));
    }
    for (std::int32_t timeMs = 345600000; timeMs < 345600000 + 3600000; timeMs += 30250) {
        for (const auto& [prn, record] : bySatellite) {
            const double rawRange = 0.066 + prn * 3.1e-4 + (timeMs % 7) * 1e-6;
            AppendLogEntry(
                log, kMpcLayout,
                EncodeMeasurementBody({static_cast<std::uint8_t>(prn),
                                       static_cast<std::uint8_t>(1 + prn % 2), 0.0, rawRange}));
            const double t = timeMs / 1000.0 - rawRange;
            expected.push_back({timeMs, prn, t, ComputeSatellitePosition(record, t)});
        }
        AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(timeMs));
    }
}

TEST(RawLogRoundTrip, PositionsEqualTheDirectComputation) {
    SATLOG_REQUIRE_REFERENCE("oracle-ephemerides.csv");
    std::vector<std::uint8_t> log;
    std::vector<Expected> expected;
    BuildLog(log, expected);
    const DumpRun run = RunDump(log, true);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), expected.size() + 1);
    EXPECT_EQ(lines[0], "time_ms,prn,transmit_time,x,y,z");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::istringstream row(lines[i + 1]);
        std::string cell[6];
        for (auto& c : cell) {
            std::getline(row, c, ',');
        }
        const Expected& e = expected[i];
        ASSERT_EQ(std::stol(cell[0]), e.timeMs) << lines[i + 1];
        ASSERT_EQ(std::stoi(cell[1]), e.prn);
        // Shortest round-trip text: reading it back gives the same double, bit for bit.
        ASSERT_EQ(std::strtod(cell[2].c_str(), nullptr), e.transmitTime) << lines[i + 1];
        ASSERT_EQ(std::strtod(cell[3].c_str(), nullptr), e.p.x);
        ASSERT_EQ(std::strtod(cell[4].c_str(), nullptr), e.p.y);
        ASSERT_EQ(std::strtod(cell[5].c_str(), nullptr), e.p.z);
    }
}

TEST(RawLogDump, RecordsListsEveryEntryWithItsFields) {
    std::vector<std::uint8_t> log;
    EphemerisRecord eph{};
    eph.prn = 4;
    eph.toe = 345600;
    eph.toc = 352800;
    eph.e = 0.25;
    eph.rootA = 5153.5;
    AppendLogEntry(log, kSnvLayout, EncodeEphemerisBody(eph));
    MpcBody mpc = EncodeMeasurementBody({5, 2, 0.0, 0.0712});
    mpc[96] = 'X';  // damaged trailer
    AppendLogEntry(log, kMpcLayout, mpc);
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(-1000));
    const DumpRun run = RunDump(log, false);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "offset=0 kind=SNV slot=5 toe=345600 toc=352800 e=0.25 rootA=5153.5 trailer=CRLF");
    EXPECT_EQ(lines[1], "offset=138 kind=MPC slot=5 status=2 rawRange=0.0712 trailer=bad");
    EXPECT_EQ(lines[2], "offset=239 kind=PBN slot=- timeMs=-1000 trailer=CRLF");
}

TEST(RawLogDump, ProblemsNameFileOffsetAndWhatWasFound) {
    std::vector<std::uint8_t> log;
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(1000));
    std::vector<std::uint8_t> truncated = log;
    const MpcBody mpc = EncodeMeasurementBody({5, 1, 0.0, 0.07});
    truncated.insert(truncated.end(), {'M', 'P', 'C', ','});
    truncated.insert(truncated.end(), mpc.begin(), mpc.begin() + 40);
    DumpRun run = RunDump(truncated, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.out).size(), 1u);  // the entry before the problem is printed
    EXPECT_NE(run.err.find("test.log: byte offset 62:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("40 of 97"), std::string::npos) << run.err;

    std::vector<std::uint8_t> unknown = log;
    unknown.insert(unknown.end(), {'X', 'Y', 'Z', 0x01, 0, 0, 0});
    run = RunDump(unknown, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.out).size(), 1u);  // the CSV header
    EXPECT_NE(run.err.find("byte offset 62: unknown entry tag \"XYZ\\x01\""), std::string::npos)
        << run.err;

    std::vector<std::uint8_t> shortTag = log;
    shortTag.push_back('S');
    run = RunDump(shortTag, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("byte offset 62"), std::string::npos);

    run = RunDump({}, true);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "time_ms,prn,transmit_time,x,y,z\n");
}

TEST(RawLogDump, DamagedStretchesAreSkippedAndEveryWholeEntryAfterThemIsRead) {
    std::vector<std::uint8_t> good;
    AppendLogEntry(good, kPbnLayout, EncodeEpochTimeBody(1000));
    AppendLogEntry(good, kMpcLayout, EncodeMeasurementBody({5, 1, 0.0, 0.07}));
    AppendLogEntry(good, kPbnLayout, EncodeEpochTimeBody(2000));
    const std::size_t pbn = 4 + kPbnLayout.bodyLength;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> damage;
        std::uint64_t skipped;
    };
    std::vector<std::uint8_t> torn(good.begin() + pbn, good.begin() + pbn + 44);  // MPC, cut
    std::vector<std::uint8_t> noise = {'P', 'B', 'N', ',', 1, 2, 3, 'S', 'N', 'V', ','};
    const Case cases[] = {
        {"zeros of an outside truncation", std::vector<std::uint8_t>(300, 0), 300},
        {"an entry torn by a crash", torn, torn.size()},
        {"line noise holding tags", noise, noise.size()},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> log(good.begin(), good.begin() + pbn);
        log.insert(log.end(), c.damage.begin(), c.damage.end());
        log.insert(log.end(), good.begin() + pbn, good.end());
        const DumpRun run = RunDump(log, false);
        EXPECT_EQ(run.status, 1) << c.what;
        const auto lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 3u) << c.what << "\n" << run.out << run.err;
        EXPECT_EQ(lines[1].rfind("offset=" + std::to_string(pbn + c.skipped) + " kind=MPC", 0), 0u)
            << c.what << ": " << lines[1];
        const std::string skip = "test.log: skipped " + std::to_string(c.skipped) +
                                 " bytes from byte offset " + std::to_string(pbn);
        EXPECT_NE(run.err.find("test.log: byte offset " + std::to_string(pbn) + ":"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(skip), std::string::npos) << c.what << ": " << run.err;
    }
}

TEST(RawLogDump, FailedOutputIsNeverCalledComplete) {
    std::vector<std::uint8_t> log;
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(1000));
    log.insert(log.end(), {'X', 'Y', 'Z', ','});
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    TemporaryStream in, err;
    std::fwrite(log.data(), 1, log.size(), in.get());
    std::rewind(in.get());
    EXPECT_EQ(DumpRecords(in.get(), "test.log", full, err.get()), 2);
    std::fclose(full);
    EXPECT_NE(err.Contents().find("cannot write the output"), std::string::npos) << err.Contents();
}

TEST(RawLogDump, CommandLine) {
    const char* help[] = {"satlog-dump", "--help"};
    TemporaryStream helpOut;
    EXPECT_EQ(DumpMain(2, help, helpOut.get(), stderr), 0);
    EXPECT_NE(helpOut.Contents().find("positions"), std::string::npos);

    const char* version[] = {"satlog-dump", "--version"};
    TemporaryStream versionOut;
    EXPECT_EQ(DumpMain(2, version, versionOut.get(), stderr), 0);
    EXPECT_TRUE(std::regex_match(versionOut.Contents(),
                                 std::regex("satlog-dump [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << versionOut.Contents();

    TemporaryStream missingErr;
    const char* missing[] = {"satlog-dump", "records", "/nonexistent/mavu0.txt"};
    EXPECT_EQ(DumpMain(3, missing, stdout, missingErr.get()), 2);
    EXPECT_EQ(missingErr.Contents(),
              "satlog-dump: cannot open /nonexistent/mavu0.txt: No such file or directory\n");

    TemporaryStream commandHelpOut;
    const char* commandHelp[] = {"satlog-dump", "records", "--help"};
    EXPECT_EQ(DumpMain(3, commandHelp, commandHelpOut.get(), stderr), 0);
    EXPECT_NE(commandHelpOut.Contents().find("usage: satlog-dump"), std::string::npos);

    TemporaryStream wrongErr;
    const char* wrong[] = {"satlog-dump", "frobnicate", "x"};
    EXPECT_EQ(DumpMain(3, wrong, stdout, wrongErr.get()), 2);
}

}  // namespace
