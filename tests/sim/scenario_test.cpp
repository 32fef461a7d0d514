#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "records/record_decoders.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/scenario.hpp"

namespace {

const ReceiverSite kSite = MakeReceiverSite(50.0, 10.0, 300.0);

std::size_t Framed(const EpochPlan& plan) {
    std::size_t n = 0;
    for (const PlannedRecord& r : plan.records) {
        n += r.FramedLength();
    }
    return n;
}

TEST(Scenario, EpochIsEphemeridesThenMeasurementsByPrnThenThePositionRecord) {
    BuiltinConstellation c;
    Scenario s(c, kSite, 345600000, 60);
    for (int k = 0; k < 30; ++k) {
        const EpochPlan plan = s.Next();
        EXPECT_EQ(plan.timeMs, 345600000 + 1000 * k);
        ASSERT_GE(plan.records.size(), 2u);
        const PlannedRecord& last = plan.records.back();
        ASSERT_EQ(last.kind->kind, RecordKind::EpochTime);
        EXPECT_EQ(DecodeEpochTime(std::span<const std::uint8_t, 58>(last.body.data(), 58)),
                  plan.timeMs);
        int phase = 0;  // 0 ephemerides, 1 measurements
        int lastPrn = 0;
        std::size_t measurements = 0;
        for (std::size_t i = 0; i + 1 < plan.records.size(); ++i) {
            const PlannedRecord& r = plan.records[i];
            if (r.kind->kind == RecordKind::Ephemeris) {
                EXPECT_EQ(phase, 0);
                continue;
            }
            ASSERT_EQ(r.kind->kind, RecordKind::Measurement);
            phase = 1;
            const MeasurementRecord m =
                DecodeMeasurement(std::span<const std::uint8_t, 97>(r.body.data(), 97));
            EXPECT_GT(m.prn, lastPrn);
            lastPrn = m.prn;
            EXPECT_TRUE(m.status == 1 || m.status == 2);
            EXPECT_GT(m.rawRange, 0.06);
            EXPECT_LT(m.rawRange, 0.09);
            ++measurements;
        }
        EXPECT_EQ(measurements, plan.truth.size());
        EXPECT_GE(measurements, 4u);  // a receiver with fewer would be useless
        // Within what the line carries in a second, unless a single ephemeris had to go anyway.
        const std::size_t snvs = plan.records.size() - 1 - measurements;
        if (snvs > 1) {
            EXPECT_LE(Framed(plan), kLineBytesPerSecond);
        }
    }
}

// Seconds (from the start) at which each PRN's ephemeris went out, and the toe it carried.
std::map<int, std::vector<std::pair<int, std::int32_t>>> EphemerisTimes(
    Scenario& s, int seconds, std::vector<int>* firstMeasured) {
    std::map<int, std::vector<std::pair<int, std::int32_t>>> out;
    if (firstMeasured) {
        firstMeasured->assign(33, -1);
    }
    for (int k = 0; k < seconds; ++k) {
        const EpochPlan plan = s.Next();
        for (const PlannedRecord& r : plan.records) {
            if (r.kind->kind == RecordKind::Ephemeris) {
                const DecodedEphemeris d =
                    DecodeEphemeris(std::span<const std::uint8_t, 134>(r.body.data(), 134));
                out[d.slot].push_back({k, d.record.toe});
            } else if (r.kind->kind == RecordKind::Measurement && firstMeasured &&
                       (*firstMeasured)[static_cast<std::size_t>(r.slot)] < 0) {
                (*firstMeasured)[static_cast<std::size_t>(r.slot)] = k;
            }
        }
    }
    return out;
}

TEST(Scenario, EphemerisOnRisingAndAgainEveryInterval) {
    BuiltinConstellation c;
    Scenario s(c, kSite, 345600000, 60);
    std::vector<int> firstMeasured;
    const auto times = EphemerisTimes(s, 600, &firstMeasured);
    int risen = 0;
    for (int prn = 1; prn <= 31; ++prn) {
        if (firstMeasured[static_cast<std::size_t>(prn)] < 0) {
            continue;
        }
        ++risen;
        ASSERT_TRUE(times.count(prn)) << prn;
        const auto& sent = times.at(prn);
        // The first one follows the first measurement within a few seconds (line budget).
        EXPECT_LE(sent.front().first - firstMeasured[static_cast<std::size_t>(prn)], 3) << prn;
        EXPECT_GE(sent.front().first, firstMeasured[static_cast<std::size_t>(prn)]) << prn;
        for (std::size_t i = 1; i < sent.size(); ++i) {
            const int gap = sent[i].first - sent[i - 1].first;
            // Every 60 s while in view (a new rise may come sooner).
            EXPECT_LE(gap, 63) << prn;
        }
    }
    EXPECT_GE(risen, 6);
}

TEST(Scenario, ChangedEphemerisGoesOutAtOnce) {
    BuiltinConstellation c;
    // The nearest toe moves from 345600 to 352800 at 349200.
    Scenario s(c, kSite, 349200000 - 20000, 600);
    const auto times = EphemerisTimes(s, 40, nullptr);
    int changed = 0;
    for (const auto& [prn, sent] : times) {
        for (const auto& [second, toe] : sent) {
            if (toe == 352800) {
                EXPECT_GE(second, 20);
                EXPECT_LE(second, 23) << prn;
                ++changed;
            } else {
                EXPECT_EQ(toe, 345600);
                EXPECT_LT(second, 20);
            }
        }
    }
    EXPECT_GE(changed, 6);
}

TEST(Scenario, SameArgumentsSameBytes) {
    BuiltinConstellation c;
    Scenario a(c, kSite, 400000000, 60);
    Scenario b(c, kSite, 400000000, 60);
    for (int k = 0; k < 20; ++k) {
        const EpochPlan pa = a.Next();
        const EpochPlan pb = b.Next();
        ASSERT_EQ(pa.records.size(), pb.records.size());
        for (std::size_t i = 0; i < pa.records.size(); ++i) {
            EXPECT_EQ(pa.records[i].body, pb.records[i].body);
        }
    }
}

TEST(Scenario, TimeOfWeekWrapsAtTheWeekEnd) {
    EXPECT_EQ(WeekMilliseconds(604799000), 604799000);
    EXPECT_EQ(WeekMilliseconds(604800000), 0);
    EXPECT_EQ(WeekMilliseconds(604801500), 1500);
    BuiltinConstellation c;
    Scenario s(c, kSite, 604799000, 60);
    EXPECT_EQ(s.Next().timeMs, 604799000);
    const EpochPlan next = s.Next();
    EXPECT_EQ(next.timeMs, 0);
    EXPECT_GE(next.truth.size(), 4u);
}

}  // namespace
