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
    EXPECT_FALSE(file->ionosphere);
    const RinexEphemeris& r = file->records[0];
    EXPECT_EQ(r.prn, 2);
    EXPECT_EQ(r.toc.Calendar().day, 1);
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

struct Malformed {
    const char* what;
    std::string text;
    int line;
    const char* message;
};

// What the strict line and column readers refuse, each with its line: damaged numbers, fields out
// of their columns, and lines that break the header's rules.
TEST(RinexNavigation, RefusesMalformedFilesNamingTheLineAndColumns) {
    const std::string file = std::string(kHeader) + kRecord;
    auto replaced = [&](const std::string& what, const std::string& with) {
        std::string text = file;
        text.replace(text.find(what), what.size(), with);
        return text;
    };
    const std::string version = std::string(kHeader).substr(0, 81);
    const Malformed cases[] = {
        {"damaged number", replaced("9.606978041120D-03", "9.60697804x120D-03"), 5,
         "orbit line 2 of the record of line 3: field 2 in columns 23-41"},
        {"number shifted one column", replaced(" 9.606978041120D-03", "9.606978041120D-03 "), 5,
         "columns 23-41"},
        {"toe past the week", replaced("3.456000000000D+05", "6.048000000000D+05"), 6,
         "toe out of range"},
        {"toe negative", replaced("3.456000000000D+05", "-1.00000000000D+00"), 6,
         "toe out of range"},
        {"text in columns 1-3", replaced("    7.700000000000D+01", "  x 7.700000000000D+01"), 4,
         "columns 1-3 must be blank"},
        {"not a date", replaced(" 2 10  7  1", " 2 10  2 30"), 3, "not a valid date"},
        {"seconds not F5.1", replaced("  0  0  0.0", "  0  0 0.00"), 3, "F5.1"},
        {"PRN not right-aligned", replaced(" 2 10", "2  10"), 3, "columns 1-2"},
        {"record cut short", file.substr(0, file.rfind('\n', file.size() - 2) + 1), 9,
         "ends inside"},
        {"blank line between records", file + "\n" + kRecord, 11, "empty line"},
        {"tab", replaced("    2.322718501091D-06", "\t2.322718501091D-06"), 5, "printable"},
        {"line too long",
         replaced("4.000000000000D+00\n", "4.000000000000D+00" + std::string(50, ' ') + "\n"), 10,
         "longer than 80"},
        {"observation file",
         "     2.10           O: OBS" + std::string(34, ' ') + "RINEX VERSION / TYPE\n", 1,
         "column 21"},
        {"RINEX 3", "     3.02" + file.substr(9), 1, "only RINEX 2"},
        {"header line without label", version + "ION ALPHA\n" + file.substr(81), 2,
         "without a label"},
        {"ION ALPHA damaged",
         version + "    1.1180D-08  1.4900D-08 -5.9600D-0x -5.9600D-08          ION ALPHA\n" +
             file.substr(81),
         2, "ION ALPHA: coefficient 3 in columns 27-38"},
        {"no END OF HEADER", version, 1, "END OF HEADER"},
        {"label with more after it", replaced("END OF HEADER", "END OF HEADERS"), 2,
         "is not 'END OF HEADER'"},
    };
    for (const Malformed& c : cases) {
        RinexError error;
        EXPECT_FALSE(ParseRinexNavigation(c.text, error)) << c.what;
        EXPECT_EQ(error.line, c.line) << c.what << ": " << error.message;
        EXPECT_NE(error.message.find(c.message), std::string::npos)
            << c.what << ": " << error.message;
    }
}

TEST(RinexNavigation, ReadsTheReferenceDays) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    SATLOG_REQUIRE_REFERENCE("brdc0910.09n");
    const RinexNavigationFile day = LoadNavigation("brdc1820.10n");
    EXPECT_EQ(day.records.size(), 421u);
    // "    0.4657D-08  0.1490D-07 -0.5960D-07 -0.1192D-06          ION ALPHA" and its beta.
    ASSERT_TRUE(day.ionosphere);
    EXPECT_EQ(day.ionosphere->alpha,
              (std::array<double, 4>{0.4657e-8, 0.1490e-7, -0.5960e-7, -0.1192e-6}));
    EXPECT_EQ(day.ionosphere->beta,
              (std::array<double, 4>{0.8192e5, 0.8192e5, -0.6554e5, -0.5243e6}));
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
