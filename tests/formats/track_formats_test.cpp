// The writers of the live and track formats on values chosen by hand: NMEA 0183 sentences and a
// GPX track point. The independent programs' reading of whole logs is
// tests/export/track_tools_test.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/gpx/gpx_track.hpp"
#include "formats/nmea/nmea_sentences.hpp"

namespace {

using namespace std::chrono;

std::vector<std::string> Sentences(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "a sentence without CR LF";
        lines.push_back(text.substr(at, end + 2 - at));
        at = end + 2;
    }
    return lines;
}

sys_time<milliseconds> Utc(int y, unsigned m, unsigned d, int hh, int mm, int ss, int ms) {
    return sys_days{year{y} / m / d} + hours{hh} + minutes{mm} + seconds{ss} + milliseconds{ms};
}

// Checksums computed apart from the writer.
TEST(NmeaSentences, AFixedEpochInTheOrderAndFormsConsumersRead) {
    const int used[] = {3, 7, 12, 21, 30};
    const NmeaSatellite view[] = {{3, true, 41.2, 92.6},
                                  {7, true, 11.0, 309.4},
                                  {12, true, 76.5, 359.6},
                                  {21, true, -2.3, 250.0},
                                  {30, false, 0, 0}};
    NmeaEpoch e;
    e.utc = Utc(1994, 3, 23, 12, 35, 19, 250);
    e.hasFix = true;
    e.fix = {48.0 + 7.03812 / 60.0, 11.0 + 31.0 / 60.0, 545.4124, 46.9, 1.734, 0.94, 1.4549};
    e.usedPrns = used;
    e.inView = view;
    std::string text;
    AppendNmeaEpoch(e, text);
    EXPECT_EQ(Sentences(text),
              (std::vector<std::string>{
                  "$GPRMC,123519.25,A,4807.03812,N,01131.00000,E,,,230394,,,A*5A\r\n",
                  "$GPGGA,123519.25,4807.03812,N,01131.00000,E,1,05,0.94,545.412,M,46.900,M,,"
                  "*57\r\n",
                  "$GPGSA,A,3,03,07,12,21,30,,,,,,,,1.73,0.94,1.45*0D\r\n",
                  "$GPGSV,2,1,05,03,41,093,,07,11,309,,12,77,000,,21,-02,250,*56\r\n",
                  "$GPGSV,2,2,05,30,,,*7F\r\n", "$GPZDA,123519.25,23,03,1994,00,00*6B\r\n"}));
}

TEST(NmeaSentences, AnEpochWithoutAFixKeepsTheStreamAlive) {
    NmeaEpoch e;
    e.utc = Utc(1999, 12, 31, 23, 59, 59, 996);  // rounds into the next day, date and all
    std::string text;
    AppendNmeaEpoch(e, text);
    EXPECT_EQ(text,
              "$GPRMC,000000.00,V,,,,,,,010100,,,N*7D\r\n"
              "$GPGGA,000000.00,,,,,0,00,,,,,,,*48\r\n"
              "$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n"
              "$GPGSV,1,1,00*79\r\n"
              "$GPZDA,000000.00,01,01,2000,00,00*64\r\n");
}

TEST(NmeaSentences, RoundingCarriesAndEveryFieldFitsItsSentence) {
    // 33 deg 59.9999996 min south rounds to 34 deg 00.00000; a longitude a hair west of 0 is 0 E.
    std::vector<int> used;
    std::vector<NmeaSatellite> view;
    for (int prn = 1; prn <= 37; ++prn) {
        used.push_back(prn);
        view.push_back({prn, true, 90.0, 359.7});
    }
    NmeaEpoch e;
    e.utc = Utc(2024, 2, 29, 1, 2, 3, 4);
    e.hasFix = true;
    e.fix = {-(33.0 + 59.9999996 / 60.0), -1e-10, -123456.789, -107.12345, 1234.5, 12345.6, 99.994};
    e.usedPrns = used;
    e.inView = view;
    std::string text;
    AppendNmeaEpoch(e, text);
    const std::vector<std::string> lines = Sentences(text);
    ASSERT_EQ(lines.size(), 3u + 10u + 1u);  // 37 satellites need 10 GSV sentences
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), kNmeaMaxSentence) << line;
        const std::size_t star = line.find('*');
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", NmeaChecksum(line.substr(1, star - 1)));
        EXPECT_EQ(line.substr(star + 1, 2), hex) << line;
    }
    EXPECT_EQ(lines[0], "$GPRMC,010203.00,A,3400.00000,S,00000.00000,E,,,290224,,,A*4B\r\n");
    // HDOP 12345.6 fits in no form; the altitude keeps what fits of its decimals.
    EXPECT_EQ(lines[1].substr(0, lines[1].find('*')),
              "$GPGGA,010203.00,3400.00000,S,00000.00000,E,1,37,,-123457,M,-107.123,M,,");
    EXPECT_EQ(lines[2].substr(0, lines[2].find('*')),
              "$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,1234,,100");
    EXPECT_EQ(lines[3].substr(0, 36), "$GPGSV,10,1,37,01,90,000,,02,90,000,");
}

TEST(GpxTrack, APointInTheSchemasOrderWithTheLongitudeInItsRange) {
    GpxTrackPoint p;
    p.latitudeDeg = -33.9;
    p.longitudeDeg = 179.9999999999;  // rounds to 180, which the schema writes as -180
    p.elevationM = 12.3456;
    p.geoidHeightM = 31.0619;
    p.utc = Utc(2010, 7, 1, 11, 59, 44, 250);
    p.satellites = 8;
    p.hdop = 0.876;
    p.vdop = 1.5;
    p.pdop = 1.7;
    std::string text;
    AppendGpxHeader("satlog-dump", "a<b>&\"c\x01\xe9.log", text);
    AppendGpxTrackPoint(p, text);
    AppendGpxFooter(text);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<gpx version=\"1.1\" creator=\"satlog-dump\" "
              "xmlns=\"http://www.topografix.com/GPX/1/1\" "
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
              "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
              "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
              "<trk><name>a&lt;b&gt;&amp;&quot;c??.log</name><trkseg>\n"
              "<trkpt lat=\"-33.900000000\" lon=\"-180.000000000\"><ele>12.346</ele>"
              "<time>2010-07-01T11:59:44.250Z</time><geoidheight>31.062</geoidheight>"
              "<fix>3d</fix><sat>8</sat><hdop>0.88</hdop><vdop>1.50</vdop><pdop>1.70</pdop>"
              "</trkpt>\n"
              "</trkseg></trk>\n</gpx>\n");
}

}  // namespace
