// Reading observation files: a real station's hour, the layouts a file may take, and the ways a
// file goes wrong, each refused with its line.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "formats/rinex/rinex_observation.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/rinex_observation_text.hpp"

namespace {

const std::string kTwoTypes = RinexHeaderLine("     2    C1    L1", "# / TYPES OF OBSERV");

// Station 0759's hour: header, 120 epochs, three file splices in between.
TEST(RinexObservation, ReadsTheStationHour) {
    SATLOG_REQUIRE_REFERENCE("07590920.05o");
    RinexError error;
    const auto file =
        ParseRinexObservation(ReadTextFile(ReferenceDataDir() / "07590920.05o"), error);
    ASSERT_TRUE(file) << error.line << ": " << error.message;
    const RinexObservationHeader& h = file->header;
    EXPECT_EQ(h.version, 2.10);
    EXPECT_EQ(h.markerName, "0759");
    EXPECT_EQ(h.types, (std::vector<std::string>{"L1", "C1", "L2", "P2"}));
    EXPECT_EQ(h.approxPosition, (std::array<double, 3>{-3976219.5082, 3382372.5671, 3652512.9849}));
    EXPECT_EQ(h.interval, 30.0);
    EXPECT_EQ(h.firstObservation, GpsTime::FromWeekMilliseconds(1316, 518400000));

    ASSERT_EQ(file->epochs.size(), 120u);
    EXPECT_EQ(file->eventRecords, 3);
    std::size_t fewest = 99, most = 0;
    for (const RinexObservationEpoch& e : file->epochs) {
        fewest = std::min(fewest, e.satellites.size());
        most = std::max(most, e.satellites.size());
    }
    EXPECT_EQ(fewest, 7u);
    EXPECT_EQ(most, 9u);

    const RinexObservationEpoch& first = file->epochs.front();
    EXPECT_EQ(first.line, 18);
    ASSERT_EQ(first.satellites.size(), 8u);
    EXPECT_EQ(first.satellites[0].prn, 3);
    EXPECT_EQ(first.satellites[7].prn, 28);
    const RinexObservation& c1 = first.satellites[0].values[1];
    EXPECT_TRUE(c1.present);
    EXPECT_EQ(c1.value, 24767686.375);
    const RinexObservation& l2 = first.satellites[0].values[2];
    EXPECT_EQ(l2.value, 43647388.242);
    EXPECT_EQ(l2.lli, 4);  // under anti-spoofing
    EXPECT_EQ(l2.strength, -1);

    // The epoch after the first splice, 4 ms late by the receiver's clock, and the last one.
    const auto spliced = std::find_if(file->epochs.begin(), file->epochs.end(),
                                      [](const auto& e) { return e.line == 857; });
    ASSERT_NE(spliced, file->epochs.end());
    EXPECT_EQ(spliced->time.OfWeek(),
              std::chrono::seconds(518400 + 48 * 60) + std::chrono::microseconds(4000));
    EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(file->epochs.back().time.OfWeek()).count(),
              521970);

    // Satellites tracked on L1 only: the blank L2 and P2 fields are absent.
    std::size_t withoutP2 = 0;
    for (const RinexObservationEpoch& e : file->epochs) {
        for (const RinexSatelliteObservations& s : e.satellites) {
            withoutP2 += !s.values[3].present;
        }
    }
    EXPECT_GT(withoutP2, 0u);
}

// Continuation lines for more than 12 satellites and more than 5 types, other systems of a mixed
// file read past, a cycle-slip record and header lines inside the data skipped.
TEST(RinexObservation, ReadsContinuationLinesAndSkipsWhatIsNotAnObservation) {
    const std::string types =
        RinexHeaderLine("     7    C1    L1    L2    P2    P1    S1    D1", "# / TYPES OF OBSERV");
    std::string text = RinexObservationHeaderText("M (MIXED)", types);
    text +=
        " 05  4  2  0  0  0.0030000  0 14G01G02G03G04G05G06G07G08G09G10G11R12-0.000123456\n"
        "                                G13G14\n";
    for (int s = 1; s <= 14; ++s) {
        text +=
            RinexObservationField(std::string("20000000.00") + std::to_string(s % 10), ' ', '7') +
            RinexObservationField("1000000.000") + RinexObservationField("-50.123", '1', '9') +
            RinexObservationField("20000001.000") + RinexObservationField("") + "\n" +
            RinexObservationField("45.000") + "\n";
    }
    text += "                            4  2\n" + RinexHeaderLine("a spliced file", "COMMENT") +
            RinexHeaderLine("", "ANT # / TYPE");
    text += " 05  4  2  0  0  0.0030000  6  1G05\n" + RinexObservationField("20000000.005", '1') +
            "\n\n";
    text +=
        " 05  4  2  0  0 30.0000000  0  1  5\n" + RinexObservationField("20000030.000") + "\n\n";
    RinexError error;
    const auto file = ParseRinexObservation(text, error);
    ASSERT_TRUE(file) << error.line << ": " << error.message;
    EXPECT_EQ(file->header.system, 'M');
    EXPECT_EQ(file->header.types.size(), 7u);
    EXPECT_EQ(file->eventRecords, 1);
    EXPECT_EQ(file->cycleSlipRecords, 1);
    ASSERT_EQ(file->epochs.size(), 2u);

    const RinexObservationEpoch& e = file->epochs[0];
    EXPECT_EQ(e.time.Calendar().secondTicks, 30000);
    EXPECT_EQ(e.receiverClockOffset, -0.000123456);
    EXPECT_EQ(e.otherSystemSatellites, 1);
    ASSERT_EQ(e.satellites.size(), 13u);
    EXPECT_EQ(e.satellites[11].prn, 13);
    EXPECT_EQ(e.satellites[12].prn, 14);
    const RinexSatelliteObservations& s14 = e.satellites[12];
    EXPECT_EQ(s14.values[0].value, 20000000.004);
    EXPECT_EQ(s14.values[0].lli, -1);
    EXPECT_EQ(s14.values[0].strength, 7);
    EXPECT_EQ(s14.values[2].value, -50.123);
    EXPECT_EQ(s14.values[2].lli, 1);
    EXPECT_EQ(s14.values[2].strength, 9);
    EXPECT_FALSE(s14.values[4].present);   // P1 blank
    EXPECT_EQ(s14.values[5].value, 45.0);  // S1 on the continuation line
    EXPECT_FALSE(s14.values[6].present);   // D1 blank, the line ends early

    // A blank system letter is GPS.
    ASSERT_EQ(file->epochs[1].satellites.size(), 1u);
    EXPECT_EQ(file->epochs[1].satellites[0].prn, 5);
    EXPECT_EQ(file->epochs[1].satellites[0].values.size(), 7u);
}

// What RINEX 2.11 allows and the reader has no use for: labels it does not know (MARKER TYPE, a
// program's own), an INTERVAL of 0 (no fixed spacing), an observation type it does not know, and
// empty lines at the end of the file.
TEST(RinexObservation, ReadsPastWhatTheFormatAllowsAndNothingUses) {
    std::string text = RinexObservationHeaderText(
        "G (GPS)", RinexHeaderLine("     2    C1    X7", "# / TYPES OF OBSERV") +
                       RinexHeaderLine("     0.000", "INTERVAL") +
                       RinexHeaderLine("GEODETIC", "MARKER TYPE") +
                       RinexHeaderLine("a program's own line", "ANTENNA: PHASECENTER"));
    text += " 05  4  2  0  0  0.0000000  0  1G05\n" + RinexObservationField("20000000.000") +
            RinexObservationField("1.000") + "\n\n   \n";
    RinexError error;
    const auto file = ParseRinexObservation(text, error);
    ASSERT_TRUE(file) << error.line << ": " << error.message;
    EXPECT_FALSE(file->header.interval);
    EXPECT_EQ(file->header.types, (std::vector<std::string>{"C1", "X7"}));
    ASSERT_EQ(file->epochs.size(), 1u);
    EXPECT_EQ(file->epochs[0].satellites[0].values[0].value, 20000000.0);
}

struct Malformed {
    const char* what;
    std::string text;
    int line;
    const char* message;
};

TEST(RinexObservation, RefusesMalformedFilesNamingTheLine) {
    const std::string header = RinexObservationHeaderText("G (GPS)", kTwoTypes);
    const std::string epoch = " 05  4  2  0  0  0.0000000  0  1G05\n  20000000.000  1000000.000\n";
    auto without = [&](const std::string& label) {
        std::string h = header;
        const std::size_t at = h.find(label);
        const std::size_t start = h.rfind('\n', at) + 1;
        h.erase(start, h.find('\n', at) + 1 - start);
        return h;
    };
    const std::string epochLine = " 05  4  2  0  0  0.0000000  0  1G05";
    const Malformed cases[] = {
        {"navigation file",
         RinexHeaderLine("     2.10           N: GPS NAV DATA", "RINEX VERSION / TYPE"), 1,
         "column 21"},
        {"version 3", "     3.02" + header.substr(9), 1, "2.10 and 2.11"},
        {"missing label", without("ANT # / TYPE"), 11, "no ANT # / TYPE"},
        {"unknown label", RinexHeaderLine("", "MARKER TYPE") + header, 1, "first line"},
        {"label shifted right", header.substr(0, 81) + " " + header.substr(81), 2, "column 61"},
        {"label shifted left", header.substr(0, 81) + header.substr(82), 2, "begins in column 60"},
        {"types announced, not listed",
         RinexObservationHeaderText(
             "G (GPS)",
             RinexHeaderLine("    11    C1    L1    L2    P2    P1    S1    D1    S2    D2",
                             "# / TYPES OF OBSERV")),
         11, "announced 11"},
        {"line too long", header + epochLine + std::string(50, ' ') + "\n", 13, "longer than 80"},
        {"no header end", header.substr(0, header.rfind('\n', header.size() - 2) + 1), 11,
         "END OF HEADER"},
        {"seconds not F11.7", header + " 05  4  2  0  0  0.000000   0  1G05\n", 13, "F11.7"},
        {"bad month", header + " 05 13  2  0  0  0.0000000  0  1G05\n", 13, "not valid"},
        {"value shifted one column", header + epochLine + "\n 20000000.000   1000000.000\n", 14,
         "not F14.3"},
        {"LLI out of range", header + epochLine + "\n  20000000.0009\n", 14, "loss-of-lock"},
        {"fewer satellites than announced", header + " 05  4  2  0  0  0.0000000  0  2G05\n", 13,
         "satellite 2"},
        {"epoch cut short", header + epochLine + "\n", 13, "ends inside"},
        {"GLONASS in a GPS file", header + " 05  4  2  0  0  0.0000000  0  1R05\n", 13, "system"},
        {"time goes back", header + epoch + epoch, 15, "not later"},
        {"empty line between epochs", header + epoch + "\n" + epoch, 15, "empty line"},
        {"event lines missing",
         header + "                            4  2\n" + RinexHeaderLine("x", "COMMENT"), 14,
         "event record"},
        {"types change inside", header + "                            4  1\n" + kTwoTypes, 14,
         "types change"},
        {"control character", header + epoch.substr(0, 20) + "\t" + epoch.substr(21), 13,
         "printable"},
    };
    for (const Malformed& c : cases) {
        RinexError error;
        EXPECT_FALSE(ParseRinexObservation(c.text, error)) << c.what;
        EXPECT_EQ(error.line, c.line) << c.what << ": " << error.message;
        EXPECT_NE(error.message.find(c.message), std::string::npos)
            << c.what << ": " << error.message;
    }
}

}  // namespace
