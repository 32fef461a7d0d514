// The fix of simulated logs: satlog-dump fix must return the place the simulator put the
// receiver at, every epoch, wherever it stands; damaged or degenerate records and a bad range must
// stay out, and the broadcast ionosphere and a navigation file's ephemerides must serve.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "gnss/geodesy.hpp"
#include "records/record_dispatch.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/fix_csv_row.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/temporary_stream.hpp"
#include "tools/dump/dump_fix.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/navigation_ephemerides.hpp"
#include "tools/sim/scenario.hpp"

namespace {

constexpr std::int64_t kWeekMs = 604800000;

using FixRow = FixCsvRow;

using EpochEdit = std::function<void(int second, std::vector<PlannedRecord>& records)>;

// The sky a simulated log comes from: the built-in constellation, or a navigation file's
// ephemerides, with its broadcast ionospheric delay in the ranges when `ionosphere`.
struct Sky {
    const char* navigationFile = nullptr;  // in the reference data
    bool ionosphere = false;
};

// The sky over `site` for `seconds` epochs from `startMs` (ms since the start of the first week),
// written as satlog records it (`edit` may change an epoch's records first), then fixed by
// satlog-dump fix, with the navigation file's data when `fixWithNav`.
struct SimulatedFix {
    int status = -1;
    std::vector<FixRow> rows;
    std::string err;

    SimulatedFix(const Geodetic& site, std::int64_t startMs, int seconds,
                 const EpochEdit& edit = {}, const Sky& from = {}, bool fixWithNav = false) {
        BuiltinConstellation builtin;
        NavigationEphemerides navigation;
        const EphemerisSource* source = &builtin;
        if (from.navigationFile != nullptr) {
            std::string problem;
            EXPECT_TRUE(
                navigation.Load((ReferenceDataDir() / from.navigationFile).string(), problem))
                << problem;
            source = &navigation;
        }
        const KlobucharParameters* ionosphere =
            from.ionosphere ? &*navigation.Ionosphere() : nullptr;
        Scenario scenario(*source,
                          MakeReceiverSite(site.latitudeDeg, site.longitudeDeg, site.heightM),
                          startMs, 60, ionosphere);
        TemporaryStream log, out, errors;
        std::vector<std::uint8_t> bytes;
        for (int second = 0; second < seconds; ++second) {
            EpochPlan plan = scenario.Next();
            if (edit) {
                edit(second, plan.records);
            }
            bytes.clear();
            for (const PlannedRecord& r : plan.records) {
                AppendLogEntry(bytes, *r.kind, r.Body());
            }
            std::fwrite(bytes.data(), 1, bytes.size(), log.get());
        }
        std::rewind(log.get());
        NavigationData data;
        if (fixWithNav) {
            data = ToNavigationData(LoadNavigation(from.navigationFile));
        }
        status = DumpFix(log.get(), "simulated.log", out.get(), errors.get(), FixOptions{},
                         fixWithNav ? &data : nullptr);
        err = errors.Contents();
        std::string header;
        rows = ParseFixCsv(out.Contents(), header);
        EXPECT_EQ(header, kFixCsvHeader);
    }
};

double Error(const FixRow& row, const Geodetic& site) {
    const Ecef truth = GeodeticToEcef(site);
    return row.fixed ? std::hypot(row.x - truth.x, row.y - truth.y, row.z - truth.z) : INFINITY;
}

void ExpectEveryEpochAt(const SimulatedFix& run, const Geodetic& site, std::size_t epochs) {
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.rows.size(), epochs);
    double worst = 0;
    for (const FixRow& row : run.rows) {
        ASSERT_TRUE(row.fixed) << row.text;
        worst = std::max(worst, Error(row, site));
    }
    EXPECT_LT(worst, 0.05);
    std::printf("worst error over %zu epochs at %.1f, %.1f: %.6f m\n", epochs, site.latitudeDeg,
                site.longitudeDeg, worst);
}

struct Place {
    const char* name;
    Geodetic site;
};
void PrintTo(const Place& place, std::ostream* out) {
    *out << place.name;
}

class SimulatedDay : public ::testing::TestWithParam<Place> {};

TEST_P(SimulatedDay, EveryEpochWithinFiveCentimetres) {
    const SimulatedFix run(GetParam().site, 345600000, 86400);
    ExpectEveryEpochAt(run, GetParam().site, 86400);
}

INSTANTIATE_TEST_SUITE_P(Places, SimulatedDay,
                         ::testing::Values(Place{"FarNorth", {78.2, 15.6, 40.0}},
                                           Place{"SouthernHemisphere", {-33.9, 18.4, 50.0}},
                                           Place{"DateLine", {-17.8, 179.98, 20.0}}),
                         [](const ::testing::TestParamInfo<Place>& p) { return p.param.name; });

TEST(SimulatedFix, AcrossTheWeekRollover) {
    const Geodetic site{35.7, 139.7, 40.0};
    const SimulatedFix run(site, kWeekMs - 1800000, 3600);
    ExpectEveryEpochAt(run, site, 3600);
    EXPECT_EQ(run.rows[1799].timeMs, 604799000);
    EXPECT_EQ(run.rows[1800].timeMs, 0);
}

// Keeps the first `n` measurements of an epoch and drops the rest.
void KeepMeasurements(std::vector<PlannedRecord>& records, int n) {
    std::erase_if(records, [&](const PlannedRecord& r) {
        return r.kind->kind == RecordKind::Measurement && n-- <= 0;
    });
}

PlannedRecord* FirstMeasurement(std::vector<PlannedRecord>& records) {
    for (PlannedRecord& r : records) {
        if (r.kind->kind == RecordKind::Measurement) {
            return &r;
        }
    }
    return nullptr;
}

TEST(SimulatedFix, ThreeSatellitesGiveARowWithoutAFix) {
    const Geodetic site{50.0, 10.0, 300.0};
    const SimulatedFix run(site, 345600000, 20, [](int second, std::vector<PlannedRecord>& r) {
        if (second == 10) {
            KeepMeasurements(r, 3);
        }
    });
    ASSERT_EQ(run.rows.size(), 20u);
    EXPECT_EQ(run.rows[10].text, "345610000,3,,,,,,,,,,,,0,");
    EXPECT_LT(Error(run.rows[11], site), 0.05);
}

// The satellite's MPC has a bad trailer, and its content is garbage: it must not count.
TEST(SimulatedFix, BadTrailerMeasurementStaysOut) {
    const Geodetic site{-45.9, 170.5, 10.0};
    int measured = 0;
    const SimulatedFix run(site, 345600000, 20, [&](int second, std::vector<PlannedRecord>& r) {
        if (second == 10) {
            PlannedRecord& m = *FirstMeasurement(r);
            m.body[20] ^= 0x01;  // within rawRange: about 10 km off
            m.body[96] = 'X';
            measured = static_cast<int>(std::count_if(r.begin(), r.end(), [](const auto& p) {
                return p.kind->kind == RecordKind::Measurement;
            }));
        }
    });
    ASSERT_EQ(run.rows.size(), 20u);
    EXPECT_EQ(run.rows[10].satellites, measured - 1);
    EXPECT_LT(Error(run.rows[10], site), 0.05);
}

// From second 10 on, one satellite's ephemeris has no orbit (rootA 0): its position is NaN.
TEST(SimulatedFix, DegenerateEphemerisNeverPoisonsTheFix) {
    const Geodetic site{60.0, -150.0, 100.0};
    int prn = 0;
    std::vector<int> measured;
    const SimulatedFix run(site, 345600000, 30, [&](int second, std::vector<PlannedRecord>& r) {
        measured.push_back(static_cast<int>(std::count_if(r.begin(), r.end(), [](const auto& p) {
            return p.kind->kind == RecordKind::Measurement;
        })));
        if (second == 10) {
            prn = FirstMeasurement(r)->slot;
            EphemerisRecord flat = *BuiltinConstellation().Ephemeris(prn, 345610.0);
            flat.rootA = 0.0;
            PlannedRecord snv;
            snv.kind = &kSnvLayout;
            snv.slot = prn;
            const SnvBody body = EncodeEphemerisBody(flat);
            std::copy(body.begin(), body.end(), snv.body.begin());
            r.insert(r.begin(), snv);
        }
    });
    ASSERT_NE(prn, 0);
    ASSERT_EQ(run.rows.size(), 30u);
    for (std::size_t k = 10; k < 30; ++k) {
        // Until the simulator sends the satellite's good ephemeris again (every 60 s).
        EXPECT_EQ(run.rows[k].satellites, measured[k] - 1) << run.rows[k].text;
        EXPECT_LT(Error(run.rows[k], site), 0.05) << run.rows[k].text;
    }
}

// The measurement of `prn` in an epoch's records, made `metres` longer.
void Lengthen(std::vector<PlannedRecord>& records, int prn, double metres) {
    for (PlannedRecord& r : records) {
        if (r.kind->kind == RecordKind::Measurement && r.slot == prn) {
            MeasurementRecord m = DecodeRecord(*r.kind, r.Body()).measurement;
            m.rawRange += metres / 299792458.0;
            const MpcBody body = EncodeMeasurementBody(m);
            std::copy(body.begin(), body.end(), r.body.begin());
            return;
        }
    }
    ADD_FAILURE() << "PRN " << prn << " not measured";
}

// The PRNs measured in an epoch's records.
std::vector<int> Measured(const std::vector<PlannedRecord>& records) {
    std::vector<int> prns;
    for (const PlannedRecord& r : records) {
        if (r.kind->kind == RecordKind::Measurement) {
            prns.push_back(r.slot);
        }
    }
    return prns;
}

// One satellite's range 30 m long for ten epochs: the residual test finds it and the fix of the
// others is exact. Two bad satellites in one epoch: no fix, and standard error says so.
TEST(SimulatedFix, ABadRangeIsExcludedAndTwoAreFlagged) {
    const Geodetic site{50.0, 10.0, 300.0};
    int bad = 0;
    const SimulatedFix run(site, 345600000, 40, [&](int second, std::vector<PlannedRecord>& r) {
        const std::vector<int> prns = Measured(r);
        ASSERT_GE(prns.size(), 7u);
        if (second == 0) {
            bad = prns[2];
        }
        if (second >= 20 && second < 30) {
            Lengthen(r, bad, 30.0);
        }
        if (second == 35) {
            Lengthen(r, prns[0], 30.0);
            Lengthen(r, prns[prns.size() - 1], -30.0);
        }
    });
    ASSERT_EQ(run.rows.size(), 40u);
    for (std::size_t k = 0; k < 40; ++k) {
        const FixRow& row = run.rows[k];
        if (k == 35) {
            EXPECT_FALSE(row.fixed) << row.text;
            EXPECT_TRUE(row.excluded.empty()) << row.text;
            continue;
        }
        EXPECT_LT(Error(row, site), 0.05) << row.text;
        EXPECT_EQ(row.excluded, (k >= 20 && k < 30 ? std::vector<int>{bad} : std::vector<int>{}))
            << row.text;
    }
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "satlog-dump: simulated.log: 1 epochs without a fix: their ranges disagree beyond "
              "their noise and no single satellite left out mends it\n");
}

// Ranges with the broadcast ionospheric delay: the fix with the navigation file's coefficients
// lands on the place; without them it is off by metres, upwards, as a delay that grows towards
// the horizon pushes it, and only the correction tells the two runs apart.
TEST(SimulatedFix, TheBroadcastIonosphereIsCorrectedWithTheNavigationFile) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    const Geodetic site{47.4, 8.5, 500.0};
    const Sky sky{"brdc1820.10n", true};
    const SimulatedFix corrected(site, 388800000, 600, {}, sky, true);
    ExpectEveryEpochAt(corrected, site, 600);
    const SimulatedFix uncorrected(site, 388800000, 600, {}, sky, false);
    ASSERT_EQ(uncorrected.rows.size(), 600u);
    const Ecef truth = GeodeticToEcef(site);
    const double place[3] = {truth.x, truth.y, truth.z};
    for (std::size_t k = 0; k < 600; k += 60) {
        const FixRow& row = uncorrected.rows[k];
        ASSERT_TRUE(row.fixed) << row.text;
        const LocalOffset offset = OffsetFrom(place, row.x, row.y, row.z);
        EXPECT_GT(offset.up, 1.0) << row.text;
        EXPECT_GT(offset.up, 3.0 * offset.horizontal) << row.text;
    }
}

// Satellites whose ephemeris the log has not brought (here: every other one's first SNV lost,
// the next comes a minute later) are computed from a navigation file's, and the CSV counts them.
TEST(SimulatedFix, ANavigationFileServesSatellitesWithoutAnEphemeris) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    const Geodetic site{-33.9, 18.4, 50.0};
    std::vector<int> measured;
    const EpochEdit loseSnvs = [&](int second, std::vector<PlannedRecord>& r) {
        measured.push_back(static_cast<int>(Measured(r).size()));
        if (second == 0) {
            std::erase_if(r, [](const PlannedRecord& p) {
                return p.kind->kind == RecordKind::Ephemeris && p.slot % 2 == 1;
            });
        }
    };
    const Sky sky{"brdc1820.10n", true};
    const SimulatedFix logOnly(site, 388800000, 5, loseSnvs, sky, false);
    const SimulatedFix withNav(site, 388800000, 5, loseSnvs, sky, true);
    ASSERT_EQ(logOnly.rows.size(), 5u);
    ASSERT_EQ(withNav.rows.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_LT(logOnly.rows[k].satellites, measured[k]) << logOnly.rows[k].text;
        EXPECT_EQ(logOnly.rows[k].fromNav, 0);
        EXPECT_EQ(withNav.rows[k].satellites, measured[k]) << withNav.rows[k].text;
        EXPECT_EQ(withNav.rows[k].fromNav, measured[k] - logOnly.rows[k].satellites)
            << withNav.rows[k].text;
        EXPECT_LT(Error(withNav.rows[k], site), 0.05) << withNav.rows[k].text;
    }
}

}  // namespace
