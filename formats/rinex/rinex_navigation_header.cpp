#include "formats/rinex/rinex_navigation_header.hpp"

#include "formats/rinex/rinex_columns.hpp"

using Reader = RinexNavigationHeaderReader;

// The header lines of a RINEX 2.11 GPS navigation file (document table A3) that this reader
// knows; the others are read past.
const Reader::Label Reader::kLabels[] = {
    {kRinexVersionLabel, true, false, &Reader::TakeVersion},
    {"PGM / RUN BY / DATE", false, false, nullptr},
    {"COMMENT", false, true, nullptr},
    {"ION ALPHA", false, false, &Reader::TakeIonAlpha},
    {"ION BETA", false, false, &Reader::TakeIonBeta},
    {"DELTA-UTC: A0,A1,T,W", false, false, nullptr},
    {"LEAP SECONDS", false, false, nullptr},
    {kRinexEndOfHeaderLabel, true, false, nullptr},
};

namespace {

constexpr std::size_t kIonosphereWidth = 12;  // 2X,4D12.4

// 2X,4D12.4 in columns 1-50.
bool ReadIonosphere(std::string_view line, std::string_view label,
                    std::optional<std::array<double, 4>>& values, std::string& error) {
    std::array<double, 4> read{};
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t start = 2 + kIonosphereWidth * k;
        const std::string_view field = Columns(line, start, kIonosphereWidth);
        if (!ReadExponential(field, read[k])) {
            error = std::string(label) + ": coefficient " + std::to_string(k + 1) + " in " +
                    ColumnRange(start, kIonosphereWidth) + " is " + Quoted(field) +
                    ", not a number (D12.4)";
            return false;
        }
    }
    if (!IsBlank(Columns(line, 0, 2)) || !IsBlank(Columns(line, 50, 10))) {
        error = std::string(label) + " holds four numbers in columns 3-50 (2X,4D12.4) only";
        return false;
    }
    values = read;
    return true;
}

}  // namespace

Reader::RinexNavigationHeaderReader() : labels_(kLabels) {}

bool Reader::Take(std::string_view line, std::string& error) {
    int index = -1;
    if (!labels_.Classify(line, index, error)) {
        return false;
    }
    const Handler take = index >= 0 ? kLabels[index].take : nullptr;
    return take == nullptr || (this->*take)(line, error);
}

std::optional<RinexIonosphere> Reader::Ionosphere() const {
    if (!alpha_ || !beta_) {
        return std::nullopt;
    }
    return RinexIonosphere{*alpha_, *beta_};
}

bool Reader::TakeVersion(std::string_view line, std::string& error) {
    // Writers put the version as 2, 2.1, 2.10 or 2.11 (F9.2 by the format, not always kept).
    double version = 0;
    if (!ReadLooseDecimal(Columns(line, 0, 9), version) || version < 2 || version >= 3) {
        error = "version " + Quoted(Columns(line, 0, 9)) +
                " in columns 1-9: only RINEX 2 navigation files are read";
        return false;
    }
    if (line[20] != 'N') {
        error = "not a RINEX GPS navigation file: column 21 must hold 'N', not " +
                Quoted(line.substr(20, 1));
        return false;
    }
    return true;
}

bool Reader::TakeIonAlpha(std::string_view line, std::string& error) {
    return ReadIonosphere(line, "ION ALPHA", alpha_, error);
}

bool Reader::TakeIonBeta(std::string_view line, std::string& error) {
    return ReadIonosphere(line, "ION BETA", beta_, error);
}
