#include "tools/sim/navigation_ephemerides.hpp"

#include <filesystem>
#include <fstream>

#include "formats/rinex/rinex_navigation.hpp"

bool NavigationEphemerides::Load(const std::string& path, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a directory, not a navigation file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the navigation file";
        return false;
    }
    RinexError parseError;
    const std::optional<RinexNavigationFile> file = ReadRinexNavigation(in, parseError);
    if (!file) {
        error = path + ":" + std::to_string(parseError.line) + ": " + parseError.message;
        return false;
    }
    data_ = ToNavigationData(*file);
    if (data_.ephemerides.Count() == 0) {
        error = path + ": holds no healthy GPS ephemeris";
        return false;
    }
    return true;
}

std::optional<EphemerisRecord> NavigationEphemerides::Ephemeris(int prn, double time) const {
    const EphemerisRecord* record = data_.ephemerides.Nearest(prn, time);
    if (record == nullptr) {
        return std::nullopt;
    }
    return *record;
}
