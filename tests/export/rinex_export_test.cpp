// satlog-dump rinex on simulated logs, read back by the project's strict RINEX readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/rinex/rinex_navigation.hpp"
#include "formats/rinex/rinex_observation.hpp"
#include "gnss/geodesy.hpp"
#include "orbit/satellite_position.hpp"
#include "positioning/point_fix.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/ephemeris_field.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

constexpr double kC = 299792458.0;

struct Exported {
    RinexObservationFile obs;
    RinexNavigationFile nav;
    std::string obsName, navName;
};

// Runs satlog-dump rinex with `options` and reads both files back; fails the test when either
// does not read.
Exported ExportAndRead(const ScratchDirectory& dir, const std::string& log,
                       std::vector<std::string> options, CommandRun* run = nullptr) {
    std::vector<std::string> args{"satlog-dump", "rinex", log, "--dir", dir.Path().string()};
    args.insert(args.end(), options.begin(), options.end());
    const CommandRun r = RunCommand(DumpMain, args);
    if (run != nullptr) {
        *run = r;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream paths(r.out);
    std::string obsPath, navPath;
    std::getline(paths, obsPath);
    std::getline(paths, navPath);
    Exported e;
    e.obsName = std::filesystem::path(obsPath).filename().string();
    e.navName = std::filesystem::path(navPath).filename().string();
    RinexError error;
    auto obs = ParseRinexObservation(ReadTextFile(obsPath), error);
    EXPECT_TRUE(obs) << obsPath << ":" << error.line << ": " << error.message;
    auto nav = ParseRinexNavigation(ReadTextFile(navPath), error);
    EXPECT_TRUE(nav) << navPath << ":" << error.line << ": " << error.message;
    if (obs) {
        e.obs = std::move(*obs);
    }
    if (nav) {
        e.nav = std::move(*nav);
    }
    return e;
}

// The usable measurements of every epoch as `satlog-dump records` prints the log: by PBN time, the
// rawRange of each satellite whose last MPC since the PBN before has status 1 or 2. Also the
// satellites with an SNV before the first PBN.
struct RecordedEpochs {
    std::map<std::int32_t, std::map<int, double>> usable;
    std::set<int> ephemeridesBeforeFirstEpoch;
};

RecordedEpochs UsableMeasurements(const std::string& log) {
    const CommandRun r = RunCommand(DumpMain, {"satlog-dump", "records", log});
    EXPECT_EQ(r.status, 0) << r.err;
    RecordedEpochs out;
    std::map<int, double> pending;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const auto field = [&](const std::string& name) {
            const std::size_t at = line.find(" " + name + "=") + name.size() + 2;
            return line.substr(at, line.find(' ', at) - at);
        };
        EXPECT_EQ(field("trailer"), "CRLF") << line;  // a simulated log without faults
        const std::string kind = field("kind");
        if (kind == "MPC") {
            const int status = std::stoi(field("status"));
            if (status == 1 || status == 2) {
                pending[std::stoi(field("slot"))] = std::stod(field("rawRange"));
            } else {
                pending.erase(std::stoi(field("slot")));
            }
        } else if (kind == "PBN") {
            out.usable[std::stoi(field("timeMs"))] = pending;
            pending.clear();
        } else if (kind == "SNV" && out.usable.empty()) {
            out.ephemeridesBeforeFirstEpoch.insert(std::stoi(field("slot")));
        }
    }
    return out;
}

class RinexExport : public ::testing::Test {
  protected:
    // A log simulated from the day's broadcast ephemerides, from 2010-07-01 00:00 GPS time.
    std::string SimulateDay(int seconds) {
        const std::string log = dir_ / "mavu0.txt";
        const CommandRun sim = RunCommand(
            SimMain, {"satlog-sim", "--nav", (ReferenceDataDir() / "brdc1820.10n").string(),
                      "--log", log, "--start", "345600", "--duration", std::to_string(seconds),
                      "--position", "50,10,300"});
        EXPECT_EQ(sim.status, 0) << sim.err;
        return log;
    }
    ScratchDirectory dir_;
};

TEST_F(RinexExport, FilesReadBackAsTheLogAndTheEphemeridesItWasMadeFrom) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    const std::string log = SimulateDay(1800);
    const Exported e = ExportAndRead(dir_, log, {"--week", "1590"});
    EXPECT_EQ(e.obsName, "mavu1820.10o");
    EXPECT_EQ(e.navName, "mavu1820.10n");

    // Every navigation record is one of the day's, as the receiver's record carries it.
    const RinexNavigationFile day = LoadNavigation("brdc1820.10n");
    ASSERT_FALSE(e.nav.records.empty());
    for (const RinexEphemeris& b : e.nav.records) {
        const RinexEphemeris* source = nullptr;
        for (const RinexEphemeris& s : day.records) {
            if (s.prn == b.prn && s.toe == b.toe && s.health == 0 && source == nullptr) {
                source = &s;
            }
        }
        ASSERT_NE(source, nullptr) << "PRN " << b.prn << " toe " << b.toe;
        ExpectSameEphemeris(ToEphemerisRecord(b), ToEphemerisRecord(*source));
        EXPECT_EQ(b.gpsWeek, 1590);
        EXPECT_EQ(b.tocSecondsOfWeek, source->tocSecondsOfWeek);
        EXPECT_GE(b.transmissionTime, 345600);
        EXPECT_LT(b.transmissionTime, 345600 + 1800);
    }

    // The satellites of every observation epoch are the usable measurements of that epoch in the
    // log, C1 = c x rawRange within 1 mm, those whose ephemeris comes later included.
    const RecordedEpochs recorded = UsableMeasurements(log);
    const int c1 = e.obs.header.TypeIndex("C1");
    ASSERT_GE(c1, 0);
    ASSERT_EQ(e.obs.epochs.size(), recorded.usable.size());
    for (const RinexObservationEpoch& epoch : e.obs.epochs) {
        EXPECT_EQ(epoch.time.Week(), 1590);
        const auto timeMs = static_cast<std::int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(epoch.time.OfWeek()).count());
        const auto it = recorded.usable.find(timeMs);
        ASSERT_NE(it, recorded.usable.end()) << timeMs;
        std::map<int, double> observed;
        for (const RinexSatelliteObservations& sat : epoch.satellites) {
            observed[sat.prn] = sat.values[static_cast<std::size_t>(c1)].value;
        }
        ASSERT_EQ(observed.size(), it->second.size()) << timeMs;
        for (const auto& [prn, rawRange] : it->second) {
            ASSERT_TRUE(observed.count(prn)) << timeMs << " G" << prn;
            EXPECT_NEAR(observed[prn], kC * rawRange, 0.0005) << timeMs << " G" << prn;
        }
    }
    // The first epoch holds satellites whose ephemeris the log brings only after it.
    std::size_t withoutEphemeris = 0;
    for (const RinexSatelliteObservations& sat : e.obs.epochs.front().satellites) {
        withoutEphemeris += recorded.ephemeridesBeforeFirstEpoch.count(sat.prn) == 0 ? 1 : 0;
    }
    EXPECT_GT(withoutEphemeris, 0u);
    EXPECT_NE(std::find(e.obs.header.comments.begin(), e.obs.header.comments.end(),
                        "not the log holds an ephemeris of its satellite yet."),
              e.obs.header.comments.end());
    // The approximate position is the simulated receiver's place.
    const Ecef truth = GeodeticToEcef({50, 10, 300});
    const auto& p = e.obs.header.approxPosition;
    EXPECT_LT(std::hypot(p[0] - truth.x, p[1] - truth.y, p[2] - truth.z), 20.0);
}

TEST_F(RinexExport, DatesAcrossTheWeekRolloverWithTheWeekFromTheFileTime) {
    // The built-in sky from Saturday 23:55 to Sunday 00:05 GPS time: the time of week falls back
    // to 0 half way, and the ephemerides sent before midnight already have toe 0 of the next week.
    const std::string log = dir_ / "mavu0.txt";
    ASSERT_EQ(
        RunCommand(SimMain, {"satlog-sim", "--log", log, "--start", "604500", "--duration", "600"})
            .status,
        0);
    // The file time is 2010-07-04 00:02 UTC, three minutes before the last epoch (as when the
    // host clock is behind the receiver's or the log was written faster than real time).
    using namespace std::chrono;
    const sys_seconds written = sys_days{2010y / July / 4} + minutes(2);
    std::filesystem::last_write_time(log, file_clock::from_sys(written));

    CommandRun run;
    const Exported e = ExportAndRead(dir_, log, {}, &run);
    EXPECT_NE(run.err.find("GPS week 1590"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("modification time"), std::string::npos) << run.err;
    EXPECT_EQ(e.obsName, "mavu1840.10o");  // 2010-07-03 is day 184
    ASSERT_EQ(e.obs.epochs.size(), 600u);
    const CalendarTime first = e.obs.epochs.front().time.Calendar();
    EXPECT_EQ(first.day, 3);
    EXPECT_EQ(first.hour, 23);
    EXPECT_EQ(first.minute, 55);
    for (std::size_t k = 1; k < e.obs.epochs.size(); ++k) {
        ASSERT_EQ(e.obs.epochs[k].time - e.obs.epochs[k - 1].time, seconds(1)) << "epoch " << k;
    }
    ASSERT_TRUE(e.obs.header.lastObservation);
    EXPECT_EQ(e.obs.header.lastObservation, e.obs.epochs.back().time);
    EXPECT_EQ(e.obs.epochs.back().time.Week(), 1591);
    EXPECT_EQ(e.obs.epochs.back().time.Calendar().day, 4);

    // toe 0 belongs to week 1591 whether it came before or after midnight; the transmission time
    // counts in that week.
    std::size_t nextWeek = 0;
    for (const RinexEphemeris& r : e.nav.records) {
        if (r.toe == 0) {
            ++nextWeek;
            EXPECT_EQ(r.gpsWeek, 1591);
            EXPECT_EQ(r.toc.Calendar().day, 4);
            EXPECT_GE(r.transmissionTime, -300);
        } else {
            EXPECT_EQ(r.gpsWeek, 1590);
        }
        EXPECT_LT(r.transmissionTime, 604800);
    }
    EXPECT_GT(nextWeek, 0u);

    // --date names the first epoch's date, and a date that is not it is refused.
    EXPECT_EQ(ExportAndRead(dir_, log, {"--date", "2010-07-03"}).obsName, "mavu1840.10o");
    const CommandRun wrong = RunCommand(DumpMain, {"satlog-dump", "rinex", log, "--dir",
                                                   dir_.Path().string(), "--date", "2010-07-04"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("does not fall on 2010-07-04"), std::string::npos) << wrong.err;
}

TEST_F(RinexExport, FixFromTheExportedFilesAloneAgreesWithDumpFix) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    const std::string log = SimulateDay(300);
    const Exported e = ExportAndRead(dir_, log, {"--week", "1590"});
    const int c1 = e.obs.header.TypeIndex("C1");
    ASSERT_GE(c1, 0);

    // Per epoch of the observation file: each satellite's latest ephemeris received by then (its
    // transmission time), its position at c1 / c before the epoch, and the fix.
    std::map<std::int32_t, Ecef> fromFiles;
    for (const RinexObservationEpoch& epoch : e.obs.epochs) {
        const double t = epoch.time.SecondsOfWeek();
        std::vector<RangeMeasurement> ranges;
        for (const RinexSatelliteObservations& sat : epoch.satellites) {
            const RinexEphemeris* eph = nullptr;
            for (const RinexEphemeris& r : e.nav.records) {
                if (r.prn == sat.prn && r.transmissionTime <= t) {
                    eph = &r;
                }
            }
            if (eph == nullptr) {
                continue;  // measured before its ephemeris came: no position to fix with
            }
            const double c1Value = sat.values[static_cast<std::size_t>(c1)].value;
            const SatelliteSolution s =
                SolveSatellitePosition(ToEphemerisRecord(*eph), t - c1Value / kC);
            ranges.push_back(
                {sat.prn, c1Value, {s.position.x, s.position.y, s.position.z}, s.clockOffset});
        }
        const PointFix fix = ComputePointFix(ranges);
        if (fix.valid) {
            fromFiles[static_cast<std::int32_t>(std::lround(t * 1000))] = fix.position;
        }
    }

    const CommandRun dump = RunCommand(DumpMain, {"satlog-dump", "fix", log});
    ASSERT_EQ(dump.status, 0) << dump.err;
    std::istringstream rows(dump.out);
    std::string row;
    std::getline(rows, row);
    std::size_t compared = 0;
    while (std::getline(rows, row)) {
        std::istringstream cells(row);
        std::string time, satellites, x, y, z;
        std::getline(cells, time, ',');
        std::getline(cells, satellites, ',');
        std::getline(cells, x, ',');
        std::getline(cells, y, ',');
        std::getline(cells, z, ',');
        const auto it = fromFiles.find(std::stoi(time));
        ASSERT_EQ(it != fromFiles.end(), !x.empty()) << row;
        if (x.empty()) {
            continue;
        }
        EXPECT_LT(std::hypot(it->second.x - std::stod(x), it->second.y - std::stod(y),
                             it->second.z - std::stod(z)),
                  0.01)
            << row;
        ++compared;
    }
    EXPECT_EQ(compared, fromFiles.size());
    EXPECT_GT(compared, 250u);
}

TEST_F(RinexExport, RepeatedEpochsAreLeftOutSoThatTheFileStaysInTimeOrder) {
    // Two runs overlapping by five epochs, back to back in one log.
    for (const char* start : {"345600", "345605"}) {
        ASSERT_EQ(RunCommand(SimMain, {"satlog-sim", "--log", dir_ / start, "--start", start,
                                       "--duration", "10"})
                      .status,
                  0);
    }
    const std::string log = dir_ / "mavu0.txt";
    std::ofstream(log, std::ios::binary)
        << ReadTextFile(dir_ / "345600") + ReadTextFile(dir_ / "345605");
    CommandRun run;
    const Exported e = ExportAndRead(dir_, log, {"--week", "1590"}, &run);
    EXPECT_NE(run.err.find("5 epochs left out"), std::string::npos) << run.err;
    ASSERT_EQ(e.obs.epochs.size(), 15u);
    EXPECT_EQ(e.obs.epochs.back().time.SecondsOfWeek(), 345614.0);
}

TEST_F(RinexExport, OutputsThatWouldWriteOverTheLogAreRefused) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    // A log that happens to bear the name its observation file would get.
    const std::string log = dir_ / "mavu1820.10o";
    std::filesystem::rename(SimulateDay(60), log);
    const std::string before = ReadTextFile(log);
    const CommandRun rinex = RunCommand(
        DumpMain, {"satlog-dump", "rinex", log, "--week", "1590", "--dir", dir_.Path().string()});
    EXPECT_EQ(rinex.status, 2);
    EXPECT_NE(rinex.err.find("is the raw log being exported"), std::string::npos) << rinex.err;
    const CommandRun sky = RunCommand(DumpMain, {"satlog-dump", "skyplot", log, "-o", log});
    EXPECT_EQ(sky.status, 2);
    EXPECT_EQ(ReadTextFile(log), before);
}

}  // namespace
