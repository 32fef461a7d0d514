// Broadcast ephemerides of the reference day for the benchmarks; a nominal orbit when the
// reference files are absent.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/rinex/rinex_navigation.hpp"

inline std::vector<EphemerisRecord> BenchEphemerides() {
    std::string dir = SATLOG_DATA_DIR;
    if (const char* env = std::getenv("SATLOG_DATA_DIR")) {
        dir = env;
    }
    std::ifstream in(dir + "/brdc1820.10n");
    std::vector<EphemerisRecord> out;
    if (in) {
        std::stringstream text;
        text << in.rdbuf();
        RinexError error;
        if (auto nav = ParseRinexNavigation(text.str(), error)) {
            for (const RinexEphemeris& r : nav->records) {
                if (r.health == 0) {
                    out.push_back(ToEphemerisRecord(r));
                }
            }
        }
    }
    if (out.empty()) {
        EphemerisRecord e{};
        e.rootA = 5153.6;
        e.e = 0.01;
        e.i0 = 0.3;
        e.toe = e.toc = 345600;
        out.push_back(e);
    }
    return out;
}
