// The CSV of satlog-dump fix read back row by row, and the offset of a fix from a known place in
// that place's horizon, with a local frame of the tests' own (independent of the project's
// geodesy): what the tests of the fix compare.
#pragma once

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

inline constexpr const char* kFixCsvHeader =
    "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms,from_nav,"
    "excluded";

struct FixCsvRow {
    std::int64_t timeMs = 0;
    int satellites = 0;
    bool fixed = false;  // the position fields are filled
    double x = 0, y = 0, z = 0;
    int fromNav = 0;
    std::vector<int> excluded;
    std::string text;  // the row as written
};

// The rows after the header; `header` receives the first line.
inline std::vector<FixCsvRow> ParseFixCsv(const std::string& csv, std::string& header) {
    std::istringstream in(csv);
    std::getline(in, header);
    std::vector<FixCsvRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        FixCsvRow row;
        row.text = line;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, ',');) {
            fields.push_back(field);
        }
        if (!line.empty() && line.back() == ',') {
            fields.emplace_back();  // an empty last field
        }
        if (fields.size() != 15) {
            rows.push_back(row);  // a malformed row: the test's comparisons fail on it
            continue;
        }
        row.timeMs = std::stoll(fields[0]);
        row.satellites = std::stoi(fields[1]);
        row.fixed = !fields[2].empty();
        if (row.fixed) {
            row.x = std::stod(fields[2]);
            row.y = std::stod(fields[3]);
            row.z = std::stod(fields[4]);
        }
        row.fromNav = std::stoi(fields[13]);
        std::istringstream prns(fields[14]);
        for (int prn = 0; prns >> prn;) {
            row.excluded.push_back(prn);
        }
        rows.push_back(row);
    }
    return rows;
}

// A fix's offset from a place given in earth-fixed metres, split along the place's local
// vertical (up positive) and horizon. The geodetic latitude of the place by fixed-point
// iteration on WGS 84.
struct LocalOffset {
    double horizontal = 0;
    double up = 0;
};

inline LocalOffset OffsetFrom(const double place[3], double x, double y, double z) {
    const double a = 6378137.0;
    const double f = 1.0 / 298.257223563;
    const double e2 = f * (2.0 - f);
    const double lon = std::atan2(place[1], place[0]);
    const double r = std::hypot(place[0], place[1]);
    double lat = std::atan2(place[2], r * (1.0 - e2));
    for (int k = 0; k < 10; ++k) {
        const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
        const double h = r / std::cos(lat) - n;
        lat = std::atan2(place[2], r * (1.0 - e2 * n / (n + h)));
    }
    const double d[3] = {x - place[0], y - place[1], z - place[2]};
    const double east = -std::sin(lon) * d[0] + std::cos(lon) * d[1];
    const double north = -std::sin(lat) * std::cos(lon) * d[0] -
                         std::sin(lat) * std::sin(lon) * d[1] + std::cos(lat) * d[2];
    const double up = std::cos(lat) * std::cos(lon) * d[0] + std::cos(lat) * std::sin(lon) * d[1] +
                      std::sin(lat) * d[2];
    return {std::hypot(east, north), up};
}
