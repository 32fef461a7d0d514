// A position record carries no checksum: one corrupt epoch time must not date the rest of a RINEX
// export. satlog-dump rinex leaves such an epoch out, names it by its byte offset and exits 1; a
// real week rollover inside a log dates both sides right.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/rinex/rinex_observation.hpp"
#include "gnss/gps_time.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/raw_log_builder.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/sample_ephemeris.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"

namespace {

constexpr int kPrns[] = {3, 7, 12, 19, 25};
constexpr int kEpochs = 120;
constexpr int kCorrupted = 60;
constexpr int kWeek = 1590;
constexpr std::int32_t kThursday = 345600000;  // 2010-07-01 00:00 GPS time

struct Export {
    CommandRun run;
    std::uint64_t corruptedOffset = 0;  // of the PBN entry of epoch kCorrupted
    std::vector<GpsTime> epochs;        // as the observation file dates them
    std::optional<GpsTime> lastObservation;
};

// A log of 120 epochs a second apart from `firstMs` of week 1590 (the times of week wrap at the
// week's end), the time of epoch 60 replaced by `corrupt` when given; exported with
// satlog-dump rinex --week 1590 and the observation file read back.
Export ExportLog(const ScratchDirectory& dir, std::int32_t firstMs,
                 std::optional<std::int32_t> corrupt = std::nullopt) {
    RawLogBuilder log;
    for (const int prn : kPrns) {
        log.Ephemeris(SampleEphemeris(prn));
    }
    Export e;
    for (int k = 0; k < kEpochs; ++k) {
        auto ms = static_cast<std::int32_t>((firstMs + 1000LL * k) % kMillisecondsPerWeek);
        if (k == kCorrupted && corrupt) {
            e.corruptedOffset = log.Size() + std::size(kPrns) * (4 + kMpcLayout.bodyLength);
            ms = *corrupt;
        }
        log.MeasuredEpoch(ms, kPrns);
    }
    const std::string path = dir / "mavu0.txt";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(log.Bytes().data()),
               static_cast<std::streamsize>(log.Size()));
    e.run = RunCommand(DumpMain, {"satlog-dump", "rinex", path, "--week", std::to_string(kWeek),
                                  "--dir", dir.Path().string()});
    std::istringstream paths(e.run.out);
    std::string obsPath;
    std::getline(paths, obsPath);
    RinexError error;
    const auto obs = ParseRinexObservation(ReadTextFile(obsPath), error);
    EXPECT_TRUE(obs) << obsPath << ":" << error.line << ": " << error.message << "\n" << e.run.err;
    if (obs) {
        for (const RinexObservationEpoch& epoch : obs->epochs) {
            e.epochs.push_back(epoch.time);
        }
        e.lastObservation = obs->header.lastObservation;
    }
    return e;
}

// Every epoch but the corrupted one, at its own time in week 1590 (or the week after).
void ExpectEveryOtherEpochDatedRight(const Export& e, std::int32_t firstMs) {
    ASSERT_EQ(e.epochs.size(), static_cast<std::size_t>(kEpochs - 1)) << e.run.err;
    for (std::size_t k = 0, epoch = 0; epoch < kEpochs; ++epoch) {
        if (epoch != kCorrupted) {
            EXPECT_EQ(e.epochs[k++], GpsTime::FromWeekMilliseconds(kWeek, firstMs + 1000LL * epoch))
                << "epoch " << epoch;
        }
    }
    EXPECT_EQ(e.lastObservation, e.epochs.back());
    EXPECT_EQ(e.run.status, 1) << e.run.err;
    EXPECT_NE(e.run.err.find("byte offset " + std::to_string(e.corruptedOffset) + ": epoch time"),
              std::string::npos)
        << e.run.err;
}

TEST(CorruptEpochTime, AnEpochTimeOfZeroIsLeftOutAndDatesNothing) {
    ScratchDirectory dir;
    ExpectEveryOtherEpochDatedRight(ExportLog(dir, kThursday, 0), kThursday);
}

TEST(CorruptEpochTime, AnEpochAnHourAheadIsLeftOutAndTheRestIsKept) {
    ScratchDirectory dir;
    const std::int32_t ahead = kThursday + 1000 * kCorrupted + 3600000;
    const Export e = ExportLog(dir, kThursday, ahead);
    ExpectEveryOtherEpochDatedRight(e, kThursday);
    // The summary says so too.
    const CommandRun summary =
        RunCommand(DumpMain, {"satlog-dump", "summary", dir / "mavu0.txt", "--week", "1590"});
    EXPECT_EQ(summary.status, 1);
    EXPECT_NE(summary.out.find("out of order      1 epochs with a time out of sequence left out"),
              std::string::npos)
        << summary.out;
    EXPECT_NE(summary.out.find("epochs            119,"), std::string::npos) << summary.out;
}

TEST(CorruptEpochTime, AWeekRolloverInsideTheLogDatesBothSides) {
    ScratchDirectory dir;
    const auto lastMinute =
        static_cast<std::int32_t>(kMillisecondsPerWeek - 60000);  // Saturday 23:59 GPS time
    const Export e = ExportLog(dir, lastMinute);
    EXPECT_EQ(e.run.status, 0) << e.run.err;
    ASSERT_EQ(e.epochs.size(), static_cast<std::size_t>(kEpochs));
    for (int k = 0; k < kEpochs; ++k) {
        EXPECT_EQ(e.epochs[k], GpsTime::FromWeekMilliseconds(kWeek, lastMinute + 1000LL * k));
    }
    EXPECT_EQ(e.epochs.back().Week(), kWeek + 1);
}

}  // namespace
