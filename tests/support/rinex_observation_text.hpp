// Observation files written by hand for tests, line by line in their fixed columns.
#pragma once

#include <string>

// A header line: the content padded to 60 columns, then the label.
inline std::string RinexHeaderLine(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label + "\n";
}

// A complete RINEX 2.11 header of 12 lines: `system` as in columns 41-60 of the version line,
// `typesLines` the # / TYPES OF OBSERV lines, the first observation on 2005-04-02 at 00:00:00
// GPS time (week 1316, 518400 s of the week).
inline std::string RinexObservationHeaderText(const std::string& system,
                                              const std::string& typesLines) {
    return RinexHeaderLine("     2.11           OBSERVATION DATA    " + system,
                           "RINEX VERSION / TYPE") +
           RinexHeaderLine("satlog", "PGM / RUN BY / DATE") +
           RinexHeaderLine("TEST", "MARKER NAME") + RinexHeaderLine("", "OBSERVER / AGENCY") +
           RinexHeaderLine("", "REC # / TYPE / VERS") + RinexHeaderLine("", "ANT # / TYPE") +
           RinexHeaderLine("  4000000.0000  3000000.0000  3500000.0000", "APPROX POSITION XYZ") +
           RinexHeaderLine("        0.0000        0.0000        0.0000", "ANTENNA: DELTA H/E/N") +
           RinexHeaderLine("     1     1", "WAVELENGTH FACT L1/2") + typesLines +
           RinexHeaderLine("  2005     4     2     0     0    0.0000000     GPS",
                           "TIME OF FIRST OBS") +
           RinexHeaderLine("", "END OF HEADER");
}

// One observation field: F14.3 with its loss-of-lock indicator and signal strength.
inline std::string RinexObservationField(const std::string& value, char lli = ' ',
                                         char strength = ' ') {
    return std::string(14 - value.size(), ' ') + value + lli + strength;
}
