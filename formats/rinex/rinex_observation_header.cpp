#include "formats/rinex/rinex_observation_header.hpp"

#include <algorithm>
#include <cstdint>

#include "formats/rinex/rinex_columns.hpp"

using Reader = RinexObservationHeaderReader;

// The header lines of a RINEX 2.11 observation file (document table A1) that this reader knows;
// the others are read past.
const Reader::Label Reader::kLabels[] = {
    {kRinexVersionLabel, true, false, &Reader::TakeVersion},
    {"PGM / RUN BY / DATE", true, false, nullptr},
    {"MARKER NAME", true, false, &Reader::TakeMarkerName},
    {"MARKER NUMBER", false, false, nullptr},
    {"OBSERVER / AGENCY", true, false, nullptr},
    {"REC # / TYPE / VERS", true, false, nullptr},
    {"ANT # / TYPE", true, false, nullptr},
    {"APPROX POSITION XYZ", true, false, &Reader::TakeApproxPosition},
    {"ANTENNA: DELTA H/E/N", true, false, &Reader::TakeAntennaDelta},
    {"WAVELENGTH FACT L1/2", true, true, &Reader::TakeWavelengths},
    {"# / TYPES OF OBSERV", true, true, &Reader::TakeTypes},
    {"INTERVAL", false, false, &Reader::TakeInterval},
    {"TIME OF FIRST OBS", true, false, &Reader::TakeFirstObservation},
    {"TIME OF LAST OBS", false, false, &Reader::TakeLastObservation},
    {"LEAP SECONDS", false, false, nullptr},
    {"# OF SATELLITES", false, false, nullptr},
    {"PRN / # OF OBS", false, true, nullptr},
    {"RCV CLOCK OFFS APPL", false, false, nullptr},
    {"COMMENT", false, true, &Reader::TakeComment},
    {kRinexEndOfHeaderLabel, true, false, nullptr},
};

namespace {

constexpr std::string_view kTypesLabel = "# / TYPES OF OBSERV";

constexpr int kMaxTypes = 40;  // RINEX 2.11 defines 26; more is a damaged count

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// 3F14.4 in columns 1-42.
bool ReadTriple(std::string_view line, std::array<double, 3>& values) {
    for (std::size_t k = 0; k < 3; ++k) {
        if (!ReadFixed(Columns(line, 14 * k, 14), 4, values[k])) {
            return false;
        }
    }
    return IsBlank(Columns(line, 42, 18));
}

// 5I6,F13.7,5X,A3: a time of first or last observation; the time system must be GPS time.
bool ReadHeaderTime(std::string_view line, GpsTime& time, std::string& error) {
    CalendarTime t;
    int* fields[] = {&t.year, &t.month, &t.day, &t.hour, &t.minute};
    for (std::size_t k = 0; k < 5; ++k) {
        if (!ReadInteger(Columns(line, 6 * k, 6), *fields[k])) {
            error = "year, month, day, hour and minute must be integers in columns 1-30 (5I6)";
            return false;
        }
    }
    if (!ReadFixedUnits(Columns(line, 30, 13), 7, t.secondTicks) ||
        !IsBlank(Columns(line, 43, 5))) {
        error = "seconds must be F13.7 in columns 31-43";
        return false;
    }
    const std::optional<GpsTime> valid = RinexEpochTime(t);
    if (!valid) {
        error = "not a valid date and time";
        return false;
    }
    time = *valid;
    const std::string_view system = TrimRight(Columns(line, 48, 12));
    if (!system.empty() && system != "GPS") {
        error = "time system " + Quoted(system) + " is not GPS time";
        return false;
    }
    return true;
}

// An observation type: a letter and a digit or letter (L1, C5, ...). Types this program does not
// use are read like any other and left alone, as the format asks of readers.
bool ValidType(std::string_view type) {
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    return type.size() == 2 && letter(type[0]) &&
           (letter(type[1]) || (type[1] >= '0' && type[1] <= '9'));
}

}  // namespace

int RinexObservationHeader::TypeIndex(std::string_view type) const {
    const auto it = std::find(types.begin(), types.end(), type);
    return it == types.end() ? -1 : static_cast<int>(it - types.begin());
}

RinexObservationHeaderReader::RinexObservationHeaderReader() : labels_(kLabels) {}

bool RinexObservationHeaderReader::Take(std::string_view line, std::string& error) {
    int index = -1;
    if (!labels_.Classify(line, index, error)) {
        return false;
    }
    const bool types = index >= 0 && kLabels[index].text == kTypesLabel;
    if (!types && typesAnnounced_ > static_cast<int>(header.types.size())) {
        error = "# / TYPES OF OBSERV announced " + std::to_string(typesAnnounced_) +
                " types but lists " + std::to_string(header.types.size());
        return false;
    }
    const Handler take = index >= 0 ? kLabels[index].take : nullptr;
    return take == nullptr || (this->*take)(line, error);
}

bool RinexObservationHeaderReader::TakeVersion(std::string_view line, std::string& error) {
    std::int64_t version = 0;
    if (!ReadFixedUnits(Columns(line, 0, 9), 2, version) || (version != 210 && version != 211)) {
        error = "version " + Quoted(Columns(line, 0, 9)) +
                " in columns 1-9: only 2.10 and 2.11 are read";
        return false;
    }
    header.version = static_cast<double>(version) / 100.0;
    if (line[20] != 'O' || !IsBlank(Columns(line, 9, 11))) {
        error = "not an observation file: column 21 must hold 'O'";
        return false;
    }
    const char system = line[40];
    if (system != ' ' && system != 'G' && system != 'M') {
        error = std::string("satellite system '") + system +
                "' in column 41: GPS ('G' or blank) or mixed ('M') files are read";
        return false;
    }
    header.system = system == 'M' ? 'M' : 'G';
    return true;
}

bool RinexObservationHeaderReader::TakeMarkerName(std::string_view line, std::string&) {
    header.markerName = TrimRight(Columns(line, 0, 60));
    return true;
}

bool RinexObservationHeaderReader::TakeApproxPosition(std::string_view line, std::string& error) {
    if (!ReadTriple(line, header.approxPosition)) {
        error = "APPROX POSITION XYZ must be three F14.4 numbers in columns 1-42";
        return false;
    }
    return true;
}

bool RinexObservationHeaderReader::TakeAntennaDelta(std::string_view line, std::string& error) {
    if (!ReadTriple(line, header.antennaDelta)) {
        error = "ANTENNA: DELTA H/E/N must be three F14.4 numbers in columns 1-42";
        return false;
    }
    return true;
}

bool RinexObservationHeaderReader::TakeWavelengths(std::string_view line, std::string& error) {
    int l1 = 0, l2 = 0, count = 0;
    const std::string_view countField = Columns(line, 12, 6);
    if (!ReadInteger(Columns(line, 0, 6), l1) || !ReadInteger(Columns(line, 6, 6), l2) || l1 < 1 ||
        l1 > 2 || l2 < 0 || l2 > 2 ||
        (!IsBlank(countField) && (!ReadInteger(countField, count) || count < 0))) {
        error = "WAVELENGTH FACT L1/2 must be factors 1-2 and 0-2 in columns 1-12 (2I6)";
        return false;
    }
    // The first line holds the default factors; later ones name their satellites.
    if (wavelengthLines_++ == 0) {
        if (count != 0) {
            error = "the first WAVELENGTH FACT L1/2 line must not list satellites";
            return false;
        }
        header.wavelengthL1 = l1;
        header.wavelengthL2 = l2;
    }
    return true;
}

bool RinexObservationHeaderReader::TakeTypes(std::string_view line, std::string& error) {
    const std::string_view count = Columns(line, 0, 6);
    const bool continuation = typesAnnounced_ > static_cast<int>(header.types.size());
    if (continuation) {
        if (!IsBlank(count)) {
            error = "the observation types announced before are not all listed yet (" +
                    std::to_string(header.types.size()) + " of " + std::to_string(typesAnnounced_) +
                    "): columns 1-6 must be blank";
            return false;
        }
    } else {
        if (typesAnnounced_ > 0) {
            error = "observation types listed twice";
            return false;
        }
        if (!ReadInteger(count, typesAnnounced_) || typesAnnounced_ < 1 ||
            typesAnnounced_ > kMaxTypes) {
            error = "the number of observation types must be 1 to " + std::to_string(kMaxTypes) +
                    " in columns 1-6 (I6), not " + Quoted(count);
            return false;
        }
    }
    // 9(4X,A2) in columns 7-60.
    for (std::size_t k = 0; k < 9; ++k) {
        const std::string_view slot = Columns(line, 6 + 6 * k, 6);
        if (static_cast<int>(header.types.size()) == typesAnnounced_) {
            if (!IsBlank(slot)) {
                error = "more observation types than the " + std::to_string(typesAnnounced_) +
                        " announced";
                return false;
            }
            continue;
        }
        const std::string_view type = Columns(slot, 4, 2);
        if (!IsBlank(Columns(slot, 0, 4)) || !ValidType(type)) {
            error = "observation type " + std::to_string(header.types.size() + 1) + " in columns " +
                    std::to_string(7 + 6 * k) + "-" + std::to_string(12 + 6 * k) + " is " +
                    Quoted(slot) + ", not a RINEX 2 type right-aligned (4X,A2)";
            return false;
        }
        if (header.TypeIndex(type) >= 0) {
            error = "observation type " + std::string(type) + " listed twice";
            return false;
        }
        header.types.emplace_back(type);
    }
    return true;
}

bool RinexObservationHeaderReader::TakeInterval(std::string_view line, std::string& error) {
    // Written as F10.3, but some writers use one more decimal; the value is what counts. Zero is
    // what writers put when the epochs have no fixed spacing: no interval then.
    const std::string_view content = Columns(line, 0, 60);
    double interval = 0;
    if (!ReadLooseDecimal(content, interval) || interval < 0) {
        error =
            "INTERVAL must be a number of seconds, 0 or more, not " + Quoted(TrimRight(content));
        return false;
    }
    if (interval > 0) {
        header.interval = interval;
    }
    return true;
}

bool RinexObservationHeaderReader::TakeFirstObservation(std::string_view line, std::string& error) {
    if (!ReadHeaderTime(line, header.firstObservation, error)) {
        error = "TIME OF FIRST OBS: " + error;
        return false;
    }
    return true;
}

bool RinexObservationHeaderReader::TakeLastObservation(std::string_view line, std::string& error) {
    GpsTime time;
    if (!ReadHeaderTime(line, time, error)) {
        error = "TIME OF LAST OBS: " + error;
        return false;
    }
    header.lastObservation = time;
    return true;
}

bool RinexObservationHeaderReader::TakeComment(std::string_view line, std::string&) {
    header.comments.emplace_back(TrimRight(Columns(line, 0, 60)));
    return true;
}

bool CheckInDataHeaderLine(std::string_view line, std::string& error) {
    if (!HasHeaderLabel(line, error)) {
        error = "an event record announces header lines, but this is not one: " + error;
        return false;
    }
    const std::string_view label = HeaderLabel(line);
    if (label == kRinexVersionLabel || label == kRinexEndOfHeaderLabel) {
        error = "an event record announces header lines, but " + Quoted(label) +
                " cannot stand inside the data";
        return false;
    }
    if (label == kTypesLabel) {
        error = "the observation types change inside the file; such files are not read";
        return false;
    }
    return true;
}
