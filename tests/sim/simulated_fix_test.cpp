// The fix of simulated logs: satlog-dump fix must return the place the simulator put the
// receiver at, every epoch, wherever it stands; damaged or degenerate records must stay out.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "gnss/geodesy.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/temporary_stream.hpp"
#include "tools/dump/dump_fix.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/scenario.hpp"

namespace {

constexpr std::int64_t kWeekMs = 604800000;

// One CSV row of satlog-dump fix; `x` is NaN for a row without a fix.
struct FixRow {
    std::int32_t timeMs = 0;
    int satellites = 0;
    double x = 0, y = 0, z = 0;
    std::string text;
};

using EpochEdit = std::function<void(int second, std::vector<PlannedRecord>& records)>;

// The built-in sky over `site` for `seconds` epochs from `startMs` (ms since the start of the
// first week), written as satlog records it; `edit` may change an epoch's records first.
struct SimulatedFix {
    int status = -1;
    std::vector<FixRow> rows;
    std::string err;

    SimulatedFix(const Geodetic& site, std::int64_t startMs, int seconds,
                 const EpochEdit& edit = {}) {
        BuiltinConstellation sky;
        Scenario scenario(sky, MakeReceiverSite(site.latitudeDeg, site.longitudeDeg, site.heightM),
                          startMs, 60);
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
        status = DumpFix(log.get(), "simulated.log", out.get(), errors.get());
        err = errors.Contents();
        std::istringstream csv(out.Contents());
        std::string line;
        std::getline(csv, line);
        EXPECT_EQ(line,
                  "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,"
                  "vdop,rms");
        while (std::getline(csv, line)) {
            FixRow row;
            row.text = line;
            char comma;
            std::istringstream fields(line);
            fields >> row.timeMs >> comma >> row.satellites >> comma;
            if (fields.peek() == ',') {
                row.x = std::numeric_limits<double>::quiet_NaN();
            } else {
                fields >> row.x >> comma >> row.y >> comma >> row.z;
            }
            rows.push_back(row);
        }
    }
};

double Error(const FixRow& row, const Geodetic& site) {
    const Ecef truth = GeodeticToEcef(site);
    return std::hypot(row.x - truth.x, row.y - truth.y, row.z - truth.z);
}

void ExpectEveryEpochAt(const SimulatedFix& run, const Geodetic& site, std::size_t epochs) {
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.rows.size(), epochs);
    double worst = 0;
    for (const FixRow& row : run.rows) {
        ASSERT_FALSE(std::isnan(row.x)) << row.text;
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
    EXPECT_EQ(run.rows[10].text, "345610000,3,,,,,,,,,,,");
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

}  // namespace
