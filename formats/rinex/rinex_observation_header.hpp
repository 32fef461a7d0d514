// The header of a RINEX 2 observation file, read one line at a time: each line's label (columns
// 61-80) picks the handler that reads its first 60 columns.
#pragma once

#include <string>
#include <string_view>

#include "formats/rinex/rinex_header_labels.hpp"
#include "formats/rinex/rinex_observation.hpp"

class RinexObservationHeaderReader {
  public:
    RinexObservationHeaderReader();

    // Takes the next header line; false with `error` set when the line is not what its label
    // needs or not where it may stand.
    bool Take(std::string_view line, std::string& error);
    bool Ended() const { return labels_.Ended(); }
    // After END OF HEADER: false with `error` naming a required line that is missing.
    bool Complete(std::string& error) const { return labels_.Complete(error); }

    RinexObservationHeader header;

    using Handler = bool (RinexObservationHeaderReader::*)(std::string_view line,
                                                           std::string& error);
    struct Label {
        std::string_view text;
        bool required;
        bool repeats;  // may stand on several lines
        Handler take;  // nullptr: a documentary line, read past
    };

  private:
    bool TakeVersion(std::string_view line, std::string& error);
    bool TakeMarkerName(std::string_view line, std::string& error);
    bool TakeApproxPosition(std::string_view line, std::string& error);
    bool TakeAntennaDelta(std::string_view line, std::string& error);
    bool TakeWavelengths(std::string_view line, std::string& error);
    bool TakeTypes(std::string_view line, std::string& error);
    bool TakeInterval(std::string_view line, std::string& error);
    bool TakeFirstObservation(std::string_view line, std::string& error);
    bool TakeLastObservation(std::string_view line, std::string& error);
    bool TakeComment(std::string_view line, std::string& error);

    static const Label kLabels[];
    RinexHeaderLabels<Label> labels_;
    int typesAnnounced_ = 0;
    int wavelengthLines_ = 0;
};

// A header line inside the data (epoch flags 3 and 4 announce them): it must carry a label, and
// it may not change the observation types, which would change the layout of what follows.
bool CheckInDataHeaderLine(std::string_view line, std::string& error);
