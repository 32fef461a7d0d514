// The header of a RINEX 2 observation file, read one line at a time: each line's label (columns
// 61-80) says what its first 60 columns hold.
#pragma once

#include <bitset>
#include <string>
#include <string_view>

#include "formats/rinex/rinex_observation.hpp"

class RinexObservationHeaderReader {
  public:
    // Takes the next header line; false with `error` set when the line is not what its label
    // needs or not where it may stand.
    bool Take(std::string_view line, std::string& error);
    bool Ended() const { return ended_; }
    // After END OF HEADER: false with `error` naming a required line that is missing.
    bool Complete(std::string& error) const;

    RinexObservationHeader header;

  private:
    bool TakeTypes(std::string_view line, std::string& error);

    bool first_ = true;
    bool ended_ = false;
    std::bitset<32> seen_;
    int typesAnnounced_ = 0;
    int wavelengthLines_ = 0;
};

// A header line inside the data (epoch flags 3 and 4 announce them): it must carry a known label,
// and it may not change the observation types, which would change the layout of what follows.
bool CheckInDataHeaderLine(std::string_view line, std::string& error);

// The label of a header line (columns 61-80 without trailing blanks); empty for a short line.
std::string_view HeaderLabel(std::string_view line);
