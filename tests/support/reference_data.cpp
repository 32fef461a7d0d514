#include "tests/support/reference_data.hpp"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) {
        out.push_back(cell);
    }
    return out;
}

std::vector<std::vector<std::string>> ReadCsvRows(const std::string& name) {
    std::ifstream in(ReferenceDataDir() / name);
    if (!in) {
        throw std::runtime_error("cannot open " + (ReferenceDataDir() / name).string());
    }
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (!line.empty()) {
            rows.push_back(SplitCsv(line));
        }
    }
    return rows;
}

// GPS week and seconds of week of a calendar instant in GPS time.
double SecondsOfWeek(int year, int month, int day, int hour, int minute, double second) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / month / day};
    const sys_days gpsEpoch{std::chrono::year{1980} / January / 6};
    const long long days = (date - gpsEpoch).count();
    return static_cast<double>(((days % 7) + 7) % 7) * 86400.0 + hour * 3600.0 + minute * 60.0 +
           second;
}

}  // namespace

std::filesystem::path ReferenceDataDir() {
    if (const char* dir = std::getenv("SATLOG_DATA_DIR")) {
        return dir;
    }
    return SATLOG_DATA_DIR;
}

bool HaveReferenceFile(const std::string& name) {
    return std::filesystem::is_regular_file(ReferenceDataDir() / name);
}

std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path.string());
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<OracleEphemeris> LoadOracleEphemerides() {
    std::vector<OracleEphemeris> out;
    for (const auto& c : ReadCsvRows("oracle-ephemerides.csv")) {
        // prn,toe,source,rootA,e,m0,deltaN,omega,i0,iDot,omega0,omegaDot,toc,af0,af1,af2,tgd,
        // cus,cuc,crs,crc,cis,cic
        OracleEphemeris o;
        o.prn = std::stoi(c.at(0));
        o.toe = std::stod(c.at(1));
        o.source = c.at(2);
        EphemerisRecord& r = o.record;
        r.prn = static_cast<std::int8_t>(o.prn - 1);
        r.toe = static_cast<std::int32_t>(o.toe);
        r.rootA = std::stod(c.at(3));
        r.e = std::stod(c.at(4));
        r.m0 = std::stod(c.at(5));
        r.deltaN = std::stof(c.at(6));
        r.omega = std::stod(c.at(7));
        r.i0 = std::stod(c.at(8));
        r.iDot = std::stof(c.at(9));
        r.omega0 = std::stod(c.at(10));
        r.omegaDot = std::stof(c.at(11));
        r.toc = static_cast<std::int32_t>(std::stod(c.at(12)));
        r.af0 = std::stof(c.at(13));
        r.af1 = std::stof(c.at(14));
        r.af2 = std::stof(c.at(15));
        r.tgd = std::stof(c.at(16));
        r.cus = std::stof(c.at(17));
        r.cuc = std::stof(c.at(18));
        r.crs = std::stof(c.at(19));
        r.crc = std::stof(c.at(20));
        r.cis = std::stof(c.at(21));
        r.cic = std::stof(c.at(22));
        out.push_back(o);
    }
    return out;
}

std::vector<OracleCase> LoadOracleCases() {
    std::vector<OracleCase> out;
    for (const auto& c : ReadCsvRows("oracle-cases.csv")) {
        OracleCase o;
        o.prn = std::stoi(c.at(0));
        o.toe = std::stod(c.at(1));
        o.transmitTime = std::stod(c.at(2));
        o.x = std::stod(c.at(3));
        o.y = std::stod(c.at(4));
        o.z = std::stod(c.at(5));
        out.push_back(o);
    }
    return out;
}

std::vector<PreciseOrbitPoint> LoadPreciseOrbits(const std::string& name) {
    std::ifstream in(ReferenceDataDir() / name);
    if (!in) {
        throw std::runtime_error("cannot open " + (ReferenceDataDir() / name).string());
    }
    std::vector<PreciseOrbitPoint> out;
    std::string line;
    double epoch = 0;
    while (std::getline(in, line)) {
        if (line.rfind("* ", 0) == 0) {
            int y, mo, d, h, mi;
            double s;
            std::istringstream ss(line.substr(2));
            ss >> y >> mo >> d >> h >> mi >> s;
            epoch = SecondsOfWeek(y, mo, d, h, mi, s);
        } else if (line.rfind("PG", 0) == 0 && line.size() >= 46) {
            PreciseOrbitPoint p;
            p.prn = std::stoi(line.substr(2, 2));
            p.secondsOfWeek = epoch;
            p.x = std::stod(line.substr(4, 14)) * 1000.0;
            p.y = std::stod(line.substr(18, 14)) * 1000.0;
            p.z = std::stod(line.substr(32, 14)) * 1000.0;
            out.push_back(p);
        }
    }
    return out;
}

RinexNavigationFile LoadNavigation(const std::string& name) {
    const std::string text = ReadTextFile(ReferenceDataDir() / name);
    RinexError error;
    auto file = ParseRinexNavigation(text, error);
    if (!file) {
        throw std::runtime_error(name + ":" + std::to_string(error.line) + ": " + error.message);
    }
    return *file;
}
