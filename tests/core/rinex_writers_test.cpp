// The RINEX writers read back by the project's readers.
#include <gtest/gtest.h>

#include "tests/support/reference_data.hpp"
#include "tests/support/same_ephemeris.hpp"
#include "tools/rinex/gps_time.hpp"
#include "tools/rinex/rinex_navigation.hpp"
#include "tools/rinex/rinex_navigation_writer.hpp"

namespace {

const RinexRunInfo kRun{"satlog-dump", "test", "20261208 120000 UTC"};

TEST(RinexNavigationWriter, ADayOfEphemeridesReadsBackAsTheRecordsCarryThem) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    const RinexNavigationFile day = LoadNavigation("brdc1820.10n");
    std::string text = FormatRinexNavigationHeader(kRun);
    for (const RinexEphemeris& s : day.records) {
        const int week = static_cast<int>(s.gpsWeek);
        ASSERT_TRUE(AppendRinexNavigationRecord(text, ToEphemerisRecord(s), week,
                                                GpsWeekOfDate(s.year, s.month, s.day),
                                                s.transmissionTime));
    }
    RinexError error;
    const auto back = ParseRinexNavigation(text, error);
    ASSERT_TRUE(back) << error.line << ": " << error.message;
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
        EXPECT_EQ(b.year, s.year);
        EXPECT_EQ(b.fitInterval, 4.0);
        EXPECT_EQ(b.iode, 0.0);
    }
}

TEST(RinexNavigationWriter, ARecordThatCannotBeWrittenLeavesNothing) {
    EphemerisRecord r = ToEphemerisRecord(RinexEphemeris{.prn = 5, .rootA = 5153.6});
    std::string text = "kept";
    r.e = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    r.e = 0.01;
    r.rootA = 1e200;
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    r.rootA = 5153.6;
    r.prn = 120;
    EXPECT_FALSE(AppendRinexNavigationRecord(text, r, 1590, 1590, 345600));
    EXPECT_EQ(text, "kept");
}

}  // namespace
