// Access to the reference orbit files (broadcast ephemerides, precise orbits and reference cases)
// kept with the tests in tests/data. They belong to every checkout: a test whose file is absent
// fails, naming the file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/rinex/rinex_navigation.hpp"
#include "orbit/ephemeris_record.hpp"

std::filesystem::path ReferenceDataDir();
bool HaveReferenceFile(const std::string& name);
std::string ReadTextFile(const std::filesystem::path& path);

#define SATLOG_REQUIRE_REFERENCE(name)                                                      \
    do {                                                                                    \
        if (!HaveReferenceFile(name)) {                                                     \
            GTEST_FAIL() << "reference file " << (ReferenceDataDir() / (name)).string()     \
                         << " is absent (set SATLOG_DATA_DIR to the directory holding it)"; \
        }                                                                                   \
    } while (0)

// oracle-ephemerides.csv: angles already in semicircles; toe/toc whole seconds.
struct OracleEphemeris {
    int prn = 0;
    double toe = 0;
    std::string source;
    EphemerisRecord record{};  // prn field = PRN - 1
};
std::vector<OracleEphemeris> LoadOracleEphemerides();

// oracle-cases.csv
struct OracleCase {
    int prn = 0;
    double toe = 0;
    double transmitTime = 0;
    double x = 0, y = 0, z = 0;
};
std::vector<OracleCase> LoadOracleCases();

// A precise orbit: position of one satellite at one epoch, metres, seconds of the GPS week.
struct PreciseOrbitPoint {
    int prn = 0;
    double secondsOfWeek = 0;
    double x = 0, y = 0, z = 0;
};
std::vector<PreciseOrbitPoint> LoadPreciseOrbits(const std::string& name);

// The broadcast ephemerides of a navigation file in the reference directory.
RinexNavigationFile LoadNavigation(const std::string& name);
