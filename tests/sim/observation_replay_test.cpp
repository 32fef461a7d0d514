// The records an observation epoch becomes, where the epoch time is finer than the position
// record's milliseconds.
#include <gtest/gtest.h>

#include <sstream>

#include "records/record_decoders.hpp"
#include "tests/support/rinex_observation_text.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/observation_replay.hpp"

namespace {

constexpr double kC = 299792458.0;

TEST(ObservationReplay, TheToolFormsTheStationsTransmitTimeWhateverTheMillisecondTag) {
    // 4.25 ms past the second by the receiver's clock; G05 with C1, G07 with C1 and L1.
    const std::string text =
        RinexObservationHeaderText("G (GPS)",
                                   RinexHeaderLine("     2    C1    L1", "# / TYPES OF OBSERV")) +
        " 05  4  2  0  0  0.0042500  0  2G05G07\n" + RinexObservationField("21000000.125") + "\n" +
        RinexObservationField("23456789.500") + RinexObservationField("-1234567.250") + "\n";
    BuiltinConstellation sky;
    std::string error;
    const auto replay = ObservationReplay::Open(std::make_unique<std::istringstream>(text), "obs",
                                                sky, 60, std::nullopt, error);
    ASSERT_TRUE(replay) << error;
    EpochPlan plan;
    ASSERT_TRUE(replay->NextEpoch(plan));
    EXPECT_EQ(plan.timeMs, 518400004);  // the nearest millisecond

    std::vector<MeasurementRecord> mpc;
    for (const PlannedRecord& r : plan.records) {
        if (r.kind->kind == RecordKind::Measurement) {
            mpc.push_back(DecodeMeasurement(r.Body().first<97>()));
        }
    }
    ASSERT_EQ(mpc.size(), 2u);
    const double receiveTime = plan.timeMs / 1000.0;
    const double c1[] = {21000000.125, 23456789.500};
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(mpc[k].status, 1);
        EXPECT_NEAR(receiveTime - mpc[k].rawRange, 518400.00425 - c1[k] / kC, 1e-9);
    }
    EXPECT_EQ(mpc[0].fullPhase, 0.0);  // no L1
    EXPECT_EQ(mpc[1].fullPhase, -1234567.25);
    EXPECT_EQ(plan.records.back().kind->kind, RecordKind::EpochTime);
    EXPECT_FALSE(replay->NextEpoch(plan));
}

}  // namespace
