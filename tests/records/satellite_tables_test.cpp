// Epoch sequences through the satellite tables.
#include <cmath>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "records/satellite_tables.hpp"

namespace {

// A plausible GPS orbit whose position is easy to recognise.
EphemerisRecord Ephemeris(double m0 = 0.25) {
    EphemerisRecord e{};
    e.rootA = 5153.6;
    e.e = 0.01;
    e.m0 = m0;
    e.i0 = 0.3;
    e.omega0 = -0.4;
    e.omega = 0.9;
    e.toe = 345600;
    e.toc = 345600;
    e.af0 = 1e-4f;
    return e;
}

class SatelliteTablesTest : public ::testing::Test {
  protected:
    std::unique_ptr<SatelliteTables> tables = std::make_unique<SatelliteTables>();
};

TEST_F(SatelliteTablesTest, EpochBeforeAnyRecordComputesNothing) {
    EXPECT_EQ(tables->ProcessEpoch(345600000), 0);
    EXPECT_EQ(tables->computedCount, 0);
    for (const SatelliteState& s : tables->stateTable) {
        EXPECT_EQ(s.receiveTime, 345600.0);
        EXPECT_EQ(s.transmitTime, 345600.0);
    }
}

TEST_F(SatelliteTablesTest, UsableMeasurementWithEphemerisIsComputed) {
    const EphemerisRecord eph = Ephemeris();
    tables->StoreEphemeris(eph, 5);
    tables->StoreMeasurement({5, 1, 42.5, 0.0712});
    EXPECT_EQ(tables->ProcessEpoch(345600000), 1);
    EXPECT_EQ(tables->computedCount, 1);
    EXPECT_EQ(tables->measurementValid[5], 0);
    EXPECT_EQ(tables->ephemerisValid[5], 1);
    const SatelliteState& s = tables->stateTable[5];
    EXPECT_EQ(s.transmitTime, 345600.0 - 0.0712);
    EXPECT_EQ(s.fullPhase, 42.5);
    const SatellitePosition p = ComputeSatellitePosition(eph, 345600.0 - 0.0712);
    EXPECT_EQ(s.x, p.x);
    EXPECT_EQ(s.y, p.y);
    EXPECT_EQ(s.z, p.z);
    EXPECT_GT(std::hypot(s.x, s.y, s.z), 2.0e7);
}

TEST_F(SatelliteTablesTest, OnlyStatusOneOrTwoIsUsable) {
    tables->StoreEphemeris(Ephemeris(), 5);
    for (int statusValue : {0, 1, 2, 3, 255}) {
        tables->StoreMeasurement({5, static_cast<std::uint8_t>(statusValue), statusValue * 1.0,
                                  0.07 + statusValue * 1e-3});
        const bool usable = statusValue == 1 || statusValue == 2;
        EXPECT_EQ(tables->ProcessEpoch(345601000), usable ? 1 : 0) << statusValue;
        // Range and phase are stored whatever the status.
        EXPECT_EQ(tables->stateTable[5].rawRange, 0.07 + statusValue * 1e-3);
        EXPECT_EQ(tables->stateTable[5].fullPhase, statusValue * 1.0);
    }
}

TEST_F(SatelliteTablesTest, LastMeasurementOfTheEpochDecides) {
    tables->StoreEphemeris(Ephemeris(), 5);
    tables->StoreMeasurement({5, 1, 0, 0.07});
    tables->StoreMeasurement({5, 0, 0, 0.07});
    tables->ProcessEpoch(345600000);
    EXPECT_EQ(tables->computedCount, 0);
    tables->StoreMeasurement({5, 0, 0, 0.07});
    tables->StoreMeasurement({5, 2, 0, 0.07});
    tables->ProcessEpoch(345601000);
    EXPECT_EQ(tables->computedCount, 1);
}

TEST_F(SatelliteTablesTest, MeasurementNeedsAnEphemerisAndDoesNotOutliveItsEpoch) {
    tables->StoreMeasurement({9, 1, 0, 0.07});
    tables->ProcessEpoch(345600000);
    EXPECT_EQ(tables->computedCount, 0);
    tables->StoreEphemeris(Ephemeris(), 9);
    tables->ProcessEpoch(345601000);
    EXPECT_EQ(tables->computedCount, 0);
}

TEST_F(SatelliteTablesTest, OneEphemerisServesEveryLaterEpochUntilReplaced) {
    tables->StoreEphemeris(Ephemeris(0.25), 12);
    tables->StoreMeasurement({12, 1, 0, 0.07});
    tables->ProcessEpoch(345600000);
    const double x1 = tables->stateTable[12].x;
    tables->StoreMeasurement({12, 1, 0, 0.07});
    tables->ProcessEpoch(345601000);
    EXPECT_EQ(tables->computedCount, 1);
    EXPECT_NE(tables->stateTable[12].x, x1);  // it moved in a second

    // A second ephemeris replaces the first whole.
    const EphemerisRecord replacement = Ephemeris(-0.5);
    tables->StoreEphemeris(replacement, 12);
    EXPECT_EQ(0, std::memcmp(&tables->ephemerisTable[12], &replacement, sizeof replacement));
    tables->StoreMeasurement({12, 1, 0, 0.07});
    tables->ProcessEpoch(345602000);
    EXPECT_EQ(tables->stateTable[12].x, ComputeSatellitePosition(replacement, 345602.0 - 0.07).x);
}

TEST_F(SatelliteTablesTest, SatelliteNotComputedKeepsItsLastPosition) {
    tables->StoreEphemeris(Ephemeris(), 3);
    tables->StoreMeasurement({3, 1, 0, 0.07});
    tables->ProcessEpoch(345600000);
    const SatelliteState first = tables->stateTable[3];
    tables->ProcessEpoch(345601000);
    EXPECT_EQ(tables->computedCount, 0);
    EXPECT_EQ(tables->stateTable[3].x, first.x);
    EXPECT_EQ(tables->stateTable[3].y, first.y);
    EXPECT_EQ(tables->stateTable[3].z, first.z);
    EXPECT_EQ(tables->stateTable[3].receiveTime, 345601.0);
}

TEST_F(SatelliteTablesTest, ReceiveTimeKeepsTheMilliseconds) {
    tables->ProcessEpoch(345600999);
    EXPECT_EQ(tables->stateTable[0].receiveTime, 345600.999);
    tables->ProcessEpoch(-1500);
    EXPECT_EQ(tables->stateTable[36].receiveTime, -1.5);
    EXPECT_EQ(tables->stateTable[36].transmitTime, -1.5);
}

TEST_F(SatelliteTablesTest, CountsEverySlot) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        tables->StoreEphemeris(Ephemeris(slot * 0.05), slot);
        tables->StoreMeasurement({static_cast<std::uint8_t>(slot), 2, 0, 0.07});
    }
    EXPECT_EQ(tables->ProcessEpoch(345600000), 37);
    EXPECT_EQ(tables->computedCount, 37);
    EXPECT_EQ(tables->ProcessEpoch(345601000), 0);
}

TEST_F(SatelliteTablesTest, SatelliteNumbersThatNameNoSlotLeaveTheTablesUntouched) {
    tables->StoreEphemeris(Ephemeris(), 36);
    tables->StoreMeasurement({36, 1, 1.0, 0.07});
    auto before = std::make_unique<SatelliteTables>(*tables);
    for (int slot : {-128, -1, 37, 127}) {
        tables->StoreEphemeris(Ephemeris(0.7), slot);
    }
    for (int prn : {37, 38, 200, 255}) {
        tables->StoreMeasurement({static_cast<std::uint8_t>(prn), 1, 9.0, 0.09});
    }
    EXPECT_EQ(0, std::memcmp(before.get(), tables.get(), sizeof(SatelliteTables)));
}

// The sink sees exactly the satellites counted, in slot order, with the values stored.
class CollectingSink : public ComputedSatelliteSink {
  public:
    void SatelliteComputed(std::int32_t timeMs, int slot, double transmitTime,
                           const SatellitePosition& p) override {
        rows.push_back({timeMs, slot, transmitTime, p.x});
    }
    struct Row {
        std::int32_t timeMs;
        int slot;
        double transmitTime;
        double x;
    };
    std::vector<Row> rows;
};

TEST_F(SatelliteTablesTest, SinkSeesEveryComputedSatelliteInSlotOrder) {
    CollectingSink sink;
    for (int slot : {30, 2, 17}) {
        tables->StoreEphemeris(Ephemeris(slot * 0.01), slot);
        tables->StoreMeasurement({static_cast<std::uint8_t>(slot), 1, 0, 0.065 + slot * 1e-4});
    }
    tables->StoreMeasurement({4, 1, 0, 0.07});  // no ephemeris: not computed
    tables->ProcessEpoch(345600500, &sink);
    ASSERT_EQ(sink.rows.size(), 3u);
    EXPECT_EQ(sink.rows[0].slot, 2);
    EXPECT_EQ(sink.rows[1].slot, 17);
    EXPECT_EQ(sink.rows[2].slot, 30);
    for (const auto& row : sink.rows) {
        EXPECT_EQ(row.timeMs, 345600500);
        EXPECT_EQ(row.transmitTime, tables->stateTable[row.slot].transmitTime);
        EXPECT_EQ(row.x, tables->stateTable[row.slot].x);
    }
}

}  // namespace
