// The raw-log walk: what each call is handed, and what a damaged entry keeps out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/rawlog/log_epochs.hpp"
#include "orbit/satellite_position.hpp"
#include "tests/support/raw_log_builder.hpp"
#include "tests/support/sample_ephemeris.hpp"
#include "tests/support/temporary_stream.hpp"

namespace {

constexpr std::uint64_t kSnvEntry = 4 + 134;
constexpr std::uint64_t kMpcEntry = 4 + 97;

// Keeps copies of everything the walk hands over.
struct Recorder : LogEpochVisitor {
    struct Epoch {
        std::uint64_t offset;
        std::int32_t timeMs;
        std::vector<EpochMeasurement> measurements;
    };
    std::vector<LogEntry> entries;
    std::vector<LogEphemeris> ephemerides;
    std::vector<Epoch> epochs;
    std::vector<LogDamage> damage;
    LogWalkEnd end;

    void Entry(const LogEntry& e) override { entries.push_back(e); }
    void Ephemeris(const LogEphemeris& e) override { ephemerides.push_back(e); }
    void Epoch(const LogEpoch& e) override {
        epochs.push_back({e.offset, e.timeMs, {e.measurements.begin(), e.measurements.end()}});
    }

    void Damage(const LogDamage& d) override { damage.push_back(d); }

    static Recorder Walk(const RawLogBuilder& log) {
        TemporaryStream file;
        log.WriteTo(file.get());
        Recorder r;
        r.end = WalkLogEpochs(file.get(), r);
        return r;
    }

    std::vector<int> Prns(std::size_t epoch) const {
        std::vector<int> prns;
        for (const EpochMeasurement& m : epochs.at(epoch).measurements) {
            prns.push_back(m.prn);
        }
        return prns;
    }
};

TEST(LogEpochs, EveryEntryThenTheEpochWithPositionAndClockAtTheExactTransmitTime) {
    RawLogBuilder log;
    log.Ephemeris(SampleEphemeris(5))
        .Ephemeris(SampleEphemeris(9))
        .Measurement(9, 2, 0.0712, true, 1234.5)
        .Measurement(5, 1, 0.0698)
        .Measurement(7, 1, 0.0701)  // no ephemeris
        .Measurement(12, 0, 0.07)   // not usable
        .Epoch(345600123);
    const Recorder r = Recorder::Walk(log);

    EXPECT_FALSE(r.end.readFailed);
    ASSERT_EQ(r.entries.size(), 7u);
    EXPECT_EQ(r.entries[2].offset, 2 * kSnvEntry);
    EXPECT_EQ(r.entries[2].slot, 9);
    EXPECT_EQ(r.entries[5].status, 0);
    EXPECT_EQ(r.entries[6].kind, &kPbnLayout);
    EXPECT_EQ(r.entries[6].timeMs, 345600123);
    EXPECT_EQ(r.entries[6].slot, -1);
    ASSERT_EQ(r.ephemerides.size(), 2u);
    EXPECT_EQ(r.ephemerides[1].slot, 9);
    EXPECT_EQ(r.ephemerides[1].offset, kSnvEntry);
    EXPECT_EQ(r.ephemerides[1].record.toe, 345600);

    ASSERT_EQ(r.epochs.size(), 1u);
    EXPECT_EQ(r.epochs[0].offset, 2 * kSnvEntry + 4 * kMpcEntry);
    EXPECT_EQ(r.Prns(0), (std::vector<int>{5, 9}));
    const EpochMeasurement& m = r.epochs[0].measurements[1];
    EXPECT_EQ(m.status, 2);
    EXPECT_EQ(m.rawRange, 0.0712);
    EXPECT_EQ(m.fullPhase, 1234.5);
    EXPECT_EQ(m.transmitTime, 345600.123 - 0.0712);  // the milliseconds are kept
    const SatelliteSolution s = SolveSatellitePosition(SampleEphemeris(9), m.transmitTime);
    EXPECT_EQ(m.position.x, s.position.x);
    EXPECT_EQ(m.position.z, s.position.z);
    EXPECT_EQ(m.clockOffset, s.clockOffset);
}

TEST(LogEpochs, BadTrailersReachNoTableAndCloseNoEpoch) {
    RawLogBuilder log;
    log.Ephemeris(SampleEphemeris(5))
        .Ephemeris(SampleEphemeris(6), false)
        .Ephemeris(SampleEphemeris(7))
        .Measurement(5, 1, 0.07, false)  // its satellite stays out
        .Measurement(6, 1, 0.07)         // its ephemeris never arrived whole
        .Measurement(7, 1, 0.07)
        .Epoch(1000)
        .Measurement(5, 1, 0.07)
        .Epoch(2000, false)       // no epoch: satellite 5's measurement goes stale
        .Measurement(7, 1, 0.07)  // the tables would still hold 5 as usable
        .Epoch(3000);
    const Recorder r = Recorder::Walk(log);

    ASSERT_EQ(r.ephemerides.size(), 3u);
    EXPECT_FALSE(r.ephemerides[1].trailerGood);
    EXPECT_FALSE(r.entries[3].trailerGood);
    ASSERT_EQ(r.epochs.size(), 2u);
    EXPECT_EQ(r.Prns(0), std::vector<int>{7});
    EXPECT_EQ(r.epochs[1].timeMs, 3000);
    EXPECT_EQ(r.Prns(1), std::vector<int>{7});
}

TEST(LogEpochs, DamageIsReadPastAndEndsTheEpochBeforeIt) {
    RawLogBuilder log;
    log.Ephemeris(SampleEphemeris(1))
        .Ephemeris(SampleEphemeris(2))
        .Measurement(1, 1, 0.07)
        .Raw({'X', 'Y', 'Z', ','})  // may have held this epoch's PBN
        .Measurement(2, 1, 0.07)
        .Epoch(1000)
        .Raw({'M', 'P', 'C', ',', 0});
    const Recorder r = Recorder::Walk(log);
    EXPECT_FALSE(r.end.readFailed);
    EXPECT_TRUE(r.end.Damaged());
    EXPECT_EQ(r.end.damage.stretches, 1u);
    EXPECT_TRUE(r.end.damage.truncatedEnd);
    ASSERT_EQ(r.damage.size(), 2u);
    EXPECT_EQ(r.damage[0].status, RawLogFramer::Status::Damaged);
    EXPECT_EQ(r.damage[0].offset, 2 * kSnvEntry + kMpcEntry);
    EXPECT_EQ(r.damage[0].skippedBytes, 4u);
    EXPECT_EQ(r.damage[0].resumeOffset, 2 * kSnvEntry + kMpcEntry + 4);
    EXPECT_EQ(r.damage[1].status, RawLogFramer::Status::Truncated);
    EXPECT_NE(r.damage[1].text.find("MPC"), std::string::npos);
    ASSERT_EQ(r.epochs.size(), 1u);
    EXPECT_EQ(r.Prns(0), std::vector<int>{2});
}

}  // namespace
