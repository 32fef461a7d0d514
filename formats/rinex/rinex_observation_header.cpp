#include "formats/rinex/rinex_observation_header.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "formats/rinex/rinex_columns.hpp"

namespace {

enum Label : int {
    kVersion,
    kProgram,
    kMarkerName,
    kMarkerNumber,
    kObserver,
    kReceiver,
    kAntenna,
    kApproxPosition,
    kAntennaDelta,
    kWavelength,
    kTypes,
    kInterval,
    kFirstObservation,
    kLastObservation,
    kLeapSeconds,
    kSatelliteCount,
    kPrnObservationCount,
    kClockOffsetApplied,
    kComment,
    kEnd,
};

struct LabelInfo {
    std::string_view text;
    bool required;
    bool repeats;  // may stand on several lines
};

// The header lines of a RINEX 2.11 observation file (document table A1).
constexpr LabelInfo kLabels[] = {
    {"RINEX VERSION / TYPE", true, false},
    {"PGM / RUN BY / DATE", true, false},
    {"MARKER NAME", true, false},
    {"MARKER NUMBER", false, false},
    {"OBSERVER / AGENCY", true, false},
    {"REC # / TYPE / VERS", true, false},
    {"ANT # / TYPE", true, false},
    {"APPROX POSITION XYZ", true, false},
    {"ANTENNA: DELTA H/E/N", true, false},
    {"WAVELENGTH FACT L1/2", true, true},
    {"# / TYPES OF OBSERV", true, true},
    {"INTERVAL", false, false},
    {"TIME OF FIRST OBS", true, false},
    {"TIME OF LAST OBS", false, false},
    {"LEAP SECONDS", false, false},
    {"# OF SATELLITES", false, false},
    {"PRN / # OF OBS", false, true},
    {"RCV CLOCK OFFS APPL", false, false},
    {"COMMENT", false, true},
    {"END OF HEADER", true, false},
};
static_assert(std::size(kLabels) == kEnd + 1);

constexpr int kMaxTypes = 40;  // RINEX 2.11 defines 26; more is a damaged count

int FindLabel(std::string_view label) {
    for (int k = 0; k <= kEnd; ++k) {
        if (kLabels[k].text == label) {
            return k;
        }
    }
    return -1;
}

std::string Quoted(std::string_view s) {
    std::string out(1, '\'');
    out.append(s).push_back('\'');
    return out;
}

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
bool ReadHeaderTime(std::string_view line, RinexTime& t, std::string& error) {
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
    if (!IsValidRinexTime(t)) {
        error = "not a valid date and time";
        return false;
    }
    const std::string_view system = TrimRight(Columns(line, 48, 12));
    if (!system.empty() && system != "GPS") {
        error = "time system " + Quoted(system) + " is not GPS time";
        return false;
    }
    return true;
}

bool ValidType(std::string_view type) {
    return type.size() == 2 && std::string_view("LCPDST").find(type[0]) != std::string_view::npos &&
           std::string_view("125678").find(type[1]) != std::string_view::npos;
}

}  // namespace

std::string_view HeaderLabel(std::string_view line) {
    return TrimRight(Columns(line, 60, 20));
}

int RinexObservationHeader::TypeIndex(std::string_view type) const {
    const auto it = std::find(types.begin(), types.end(), type);
    return it == types.end() ? -1 : static_cast<int>(it - types.begin());
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

bool RinexObservationHeaderReader::Take(std::string_view line, std::string& error) {
    if (line.size() < 61) {
        error = "header line without a label in columns 61-80";
        return false;
    }
    const std::string_view labelText = HeaderLabel(line);
    const int label = FindLabel(labelText);
    if (first_ != (label == kVersion)) {
        error = first_ ? "the first line must be RINEX VERSION / TYPE, not " + Quoted(labelText)
                       : "RINEX VERSION / TYPE again";
        return false;
    }
    first_ = false;
    if (label < 0) {
        error = "unknown header label " + Quoted(labelText);
        return false;
    }
    if (seen_[static_cast<std::size_t>(label)] && !kLabels[label].repeats) {
        error = std::string(kLabels[label].text) + " again";
        return false;
    }
    if (label != kTypes && typesAnnounced_ > static_cast<int>(header.types.size())) {
        error = "# / TYPES OF OBSERV announced " + std::to_string(typesAnnounced_) +
                " types but lists " + std::to_string(header.types.size());
        return false;
    }
    seen_.set(static_cast<std::size_t>(label));
    const std::string_view content = Columns(line, 0, 60);
    switch (label) {
        case kVersion: {
            std::int64_t version = 0;
            if (!ReadFixedUnits(Columns(line, 0, 9), 2, version) ||
                (version != 210 && version != 211)) {
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
            break;
        }
        case kMarkerName:
            header.markerName = TrimRight(content);
            break;
        case kApproxPosition:
            if (!ReadTriple(line, header.approxPosition)) {
                error = "APPROX POSITION XYZ must be three F14.4 numbers in columns 1-42";
                return false;
            }
            break;
        case kAntennaDelta:
            if (!ReadTriple(line, header.antennaDelta)) {
                error = "ANTENNA: DELTA H/E/N must be three F14.4 numbers in columns 1-42";
                return false;
            }
            break;
        case kWavelength: {
            int l1 = 0, l2 = 0, count = 0;
            const std::string_view countField = Columns(line, 12, 6);
            if (!ReadInteger(Columns(line, 0, 6), l1) || !ReadInteger(Columns(line, 6, 6), l2) ||
                l1 < 1 || l1 > 2 || l2 < 0 || l2 > 2 ||
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
            break;
        }
        case kTypes:
            return TakeTypes(line, error);
        case kInterval: {
            // Written as F10.3, but some writers use one more decimal; the value is what counts.
            double interval = 0;
            if (!ReadLooseDecimal(content, interval) || !(interval > 0)) {
                error = "INTERVAL must be a positive number of seconds, not " +
                        Quoted(TrimRight(content));
                return false;
            }
            header.interval = interval;
            break;
        }
        case kFirstObservation:
        case kLastObservation: {
            RinexTime time;
            if (!ReadHeaderTime(line, time, error)) {
                error = std::string(kLabels[label].text) + ": " + error;
                return false;
            }
            if (label == kFirstObservation) {
                header.firstObservation = time;
            } else {
                header.lastObservation = time;
            }
            break;
        }
        case kComment:
            header.comments.emplace_back(TrimRight(content));
            break;
        case kEnd:
            ended_ = true;
            break;
        default:
            break;  // documentary lines
    }
    return true;
}

bool RinexObservationHeaderReader::Complete(std::string& error) const {
    for (int k = 0; k <= kEnd; ++k) {
        if (kLabels[k].required && !seen_[static_cast<std::size_t>(k)]) {
            error = "the header has no " + std::string(kLabels[k].text) + " line";
            return false;
        }
    }
    return true;
}

bool CheckInDataHeaderLine(std::string_view line, std::string& error) {
    const int label = line.size() < 61 ? -1 : FindLabel(HeaderLabel(line));
    if (label < 0 || label == kVersion || label == kEnd) {
        error = "an event record announces header lines, but this is not one";
        return false;
    }
    if (label == kTypes) {
        error = "the observation types change inside the file; such files are not read";
        return false;
    }
    return true;
}
