// Reading broadcast ephemerides from navigation files.
#include <cmath>

#include <gtest/gtest.h>

#include "formats/rinex/rinex_navigation.hpp"
#include "orbit/satellite_position.hpp"
#include "tests/support/reference_data.hpp"

namespace {

constexpr const char* kHeader =
    "     2.10           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
    "                                                            END OF HEADER\n";

constexpr const char* kRecord =
    " 2 10  7  1  0  0  0.0 2.691089175642D-04 3.183231456205D-12 0.000000000000D+00\n"
    "    7.700000000000D+01 4.143750000000D+01 5.255576164908D-09 1.657703665896D+00\n"
    "    2.322718501091D-06 9.606978041120D-03 6.174668669701D-06 5.153597391129D+03\n"
    "    3.456000000000D+05-5.587935447693D-09-1.274587603494D+00 1.676380634308D-07\n"
    "    9.393553005372D-01 2.499375000000D+02 3.097414154064D+00-8.387849060237D-09\n"
    "   -2.321525284400D-11 1.000000000000D+00 1.590000000000D+03 0.000000000000D+00\n"
    "    2.000000000000D+00 0.000000000000D+00-1.722946763039D-08 7.700000000000D+01\n"
    "    3.384000000000D+05 4.000000000000D+00\n";

TEST(RinexNavigation, ReadsARecordAndConvertsToSemicircles) {
    RinexError error;
    const auto file = ParseRinexNavigation(std::string(kHeader) + kRecord, error);
    ASSERT_TRUE(file) << error.line << ": " << error.message;
    ASSERT_EQ(file->records.size(), 1u);
    const RinexEphemeris& r = file->records[0];
    EXPECT_EQ(r.prn, 2);
    EXPECT_EQ(r.toe, 345600.0);
    EXPECT_EQ(r.tocSecondsOfWeek, 345600.0);  // 2010-07-01 is a Thursday
    EXPECT_EQ(r.rootA, 5153.597391129);
    EXPECT_EQ(r.cic, -5.587935447693e-09);
    EXPECT_EQ(r.fitInterval, 4.0);
    const EphemerisRecord e = ToEphemerisRecord(r);
    EXPECT_EQ(+e.prn, 1);
    EXPECT_EQ(+e.toe, 345600);
    EXPECT_EQ(+e.toc, 345600);
    EXPECT_DOUBLE_EQ(e.m0 * orbit_constants::kPi, 1.657703665896);
    EXPECT_FLOAT_EQ(+e.omegaDot, static_cast<float>(-8.387849060237e-09 / orbit_constants::kPi));
    EXPECT_EQ(+e.tgd, static_cast<float>(-1.722946763039e-08));
}

TEST(RinexNavigation, ErrorsNameTheLine) {
    RinexError error;
    std::string broken = std::string(kHeader) + kRecord;
    broken.replace(broken.find("9.606978041120D-03"), 18, "9.60697804x120D-03");
    EXPECT_FALSE(ParseRinexNavigation(broken, error));
    EXPECT_EQ(error.line, 5);
    EXPECT_NE(error.message.find("orbit line 2"), std::string::npos) << error.message;

    for (const char* toe : {"3.456000000000D+15", "-1.00000000000D+00", "6.048000000000D+05"}) {
        std::string outOfWeek = std::string(kHeader) + kRecord;
        outOfWeek.replace(outOfWeek.find("3.456000000000D+05"), 18, toe);
        EXPECT_FALSE(ParseRinexNavigation(outOfWeek, error)) << toe;
        EXPECT_EQ(error.line, 6) << toe;
        EXPECT_NE(error.message.find("toe out of range"), std::string::npos) << error.message;
    }

    const std::string truncated = std::string(kHeader) + std::string(kRecord).substr(0, 300);
    EXPECT_FALSE(ParseRinexNavigation(truncated, error));
    EXPECT_NE(error.message.find("ends inside"), std::string::npos) << error.message;

    EXPECT_FALSE(ParseRinexNavigation("     2.10           O: OBS\n", error));
    EXPECT_EQ(error.line, 1);
    EXPECT_FALSE(ParseRinexNavigation(std::string(kHeader).substr(0, 81), error));
    EXPECT_NE(error.message.find("END OF HEADER"), std::string::npos);
}

TEST(RinexNavigation, ReadsTheReferenceDays) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    SATLOG_REQUIRE_REFERENCE("brdc0910.09n");
    const RinexNavigationFile day = LoadNavigation("brdc1820.10n");
    EXPECT_EQ(day.records.size(), 421u);
    // The E-exponent file of another day.
    const RinexNavigationFile other = LoadNavigation("brdc0910.09n");
    ASSERT_FALSE(other.records.empty());
    for (const RinexEphemeris& r : other.records) {
        EXPECT_GT(r.rootA, 5000.0);
        EXPECT_LT(r.e, 0.05);
        EXPECT_GE(r.tocSecondsOfWeek, 259200.0 - 7200.0);  // day 3 of the week
        EXPECT_LE(r.tocSecondsOfWeek, 345600.0 + 7200.0);
    }
}

}  // namespace
