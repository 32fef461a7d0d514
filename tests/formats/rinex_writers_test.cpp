// The RINEX writers read back by the project's readers.
#include <gtest/gtest.h>

#include "formats/rinex/rinex_navigation.hpp"
#include "formats/rinex/rinex_navigation_writer.hpp"
#include "formats/rinex/rinex_observation.hpp"
#include "formats/rinex/rinex_observation_writer.hpp"
#include "tests/support/ephemeris_field.hpp"
#include "tests/support/reference_data.hpp"

namespace {

const RinexRunInfo kRun{"satlog-dump", "test", "20261208 120000 UTC"};

// With the day's broadcast ionosphere in the header, as an export given a navigation file writes
// it.
TEST(RinexNavigationWriter, ADayOfEphemeridesReadsBackAsTheRecordsCarryThem) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    const RinexNavigationFile day = LoadNavigation("brdc1820.10n");
    ASSERT_TRUE(day.ionosphere);
    std::string text = FormatRinexNavigationHeader(kRun, day.ionosphere);
    for (const RinexEphemeris& s : day.records) {
        const int week = static_cast<int>(s.gpsWeek);
        ASSERT_TRUE(AppendRinexNavigationRecord(text, ToEphemerisRecord(s), week, s.toc.Week(),
                                                s.transmissionTime));
    }
    RinexError error;
    const auto back = ParseRinexNavigation(text, error);
    ASSERT_TRUE(back) << error.line << ": " << error.message;
    ASSERT_TRUE(back->ionosphere);
    EXPECT_EQ(back->ionosphere->alpha, day.ionosphere->alpha);
    EXPECT_EQ(back->ionosphere->beta, day.ionosphere->beta);
    ASSERT_EQ(back->records.size(), day.records.size());
    for (std::size_t k = 0; k < day.records.size(); ++k) {
        const RinexEphemeris& s = day.records[k];
        const RinexEphemeris& b = back->records[k];
        ExpectSameEphemeris(ToEphemerisRecord(b), ToEphemerisRecord(s));
        // Doubles of the record come back with every digit of the day's file.
        EXPECT_EQ(b.m0, s.m0);
        EXPECT_EQ(b.i0, s.i0);
        EXPECT_EQ(b.rootA, s.rootA);
        EXPECT_EQ(b.gpsWeek, s.gpsWeek);
        EXPECT_EQ(b.transmissionTime, s.transmissionTime);
        EXPECT_EQ(b.tocSecondsOfWeek, s.tocSecondsOfWeek);
        EXPECT_EQ(b.toc, s.toc);
        EXPECT_EQ(b.fitInterval, 4.0);
        EXPECT_EQ(b.iode, 0.0);
    }
}

TEST(RinexNavigationWriter, ARecordThatCannotBeWrittenLeavesNothing) {
    EphemerisRecord r = ToEphemerisRecord(RinexEphemeris{.prn = 5, .toc = {}, .rootA = 5153.6});
    std::string text = "kept";
    r.e = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    r.e = 0.01;
    r.rootA = 1e200;
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    r.rootA = 5153.6;
    r.toe = 604800;
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    r.toe = 345600;
    r.prn = 120;
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    EXPECT_EQ(text, "kept");
}

TEST(RinexObservationWriter, FourteenSatellitesAndAnOddEpochTimeReadBackStrictly) {
    RinexObservationHeaderValues h;
    h.run = kRun;
    h.markerName = "MAVU";
    h.firstEpoch = GpsTime::FromWeekMilliseconds(1590, 345600000);
    h.lastEpoch = GpsTime::FromWeekMilliseconds(1590, 345601007);
    h.interval = 1.0;
    std::string text = FormatRinexObservationHeader(h);
    std::vector<ObservedRange> ranges;
    for (int prn = 1; prn <= 14; ++prn) {
        ranges.push_back({prn, 20000000.0 + prn * 1111.11137 + (prn % 2 == 0 ? -0.0004 : 0.0)});
    }
    AppendRinexObservationEpoch(text, h.firstEpoch, std::span(ranges).first(3));
    AppendRinexObservationEpoch(text, h.lastEpoch, ranges);

    RinexError error;
    const auto file = ParseRinexObservation(text, error);
    ASSERT_TRUE(file) << error.line << ": " << error.message << "\n" << text;
    EXPECT_EQ(file->header.version, 2.11);
    EXPECT_EQ(file->header.markerName, "MAVU");
    EXPECT_EQ(file->header.approxPosition[0], 0.0);  // no fix: zeros, and a COMMENT says why
    EXPECT_FALSE(file->header.comments.empty());
    ASSERT_EQ(file->epochs.size(), 2u);
    const RinexObservationEpoch& e = file->epochs[1];
    EXPECT_EQ(e.time, h.lastEpoch);
    ASSERT_EQ(e.satellites.size(), 14u);  // the last two on a continuation line
    const int c1 = file->header.TypeIndex("C1");
    ASSERT_EQ(c1, 0);
    for (std::size_t k = 0; k < ranges.size(); ++k) {
        EXPECT_EQ(e.satellites[k].prn, ranges[k].prn);
        EXPECT_NEAR(e.satellites[k].values[0].value, ranges[k].c1, 0.0005);
    }
    EXPECT_EQ(file->header.lastObservation, e.time);
}

}  // namespace
