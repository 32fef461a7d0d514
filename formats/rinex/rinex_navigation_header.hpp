// The header of a RINEX 2 GPS navigation file, read one line at a time: each line's label (columns
// 61-80) picks the handler that reads its first 60 columns.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "formats/rinex/rinex_header_labels.hpp"
#include "formats/rinex/rinex_navigation.hpp"

class RinexNavigationHeaderReader {
  public:
    RinexNavigationHeaderReader();

    // Takes the next header line; false with `error` set when the line is not what its label
    // needs or not where it may stand.
    bool Take(std::string_view line, std::string& error);
    bool Ended() const { return labels_.Ended(); }
    // After END OF HEADER: false with `error` naming a required line that is missing.
    bool Complete(std::string& error) const { return labels_.Complete(error); }
    // ION ALPHA and ION BETA, when the header has both.
    std::optional<RinexIonosphere> Ionosphere() const;

    using Handler = bool (RinexNavigationHeaderReader::*)(std::string_view line,
                                                          std::string& error);
    struct Label {
        std::string_view text;
        bool required;
        bool repeats;
        Handler take;  // nullptr: a documentary line, read past
    };

  private:
    bool TakeVersion(std::string_view line, std::string& error);
    bool TakeIonAlpha(std::string_view line, std::string& error);
    bool TakeIonBeta(std::string_view line, std::string& error);

    static const Label kLabels[];
    RinexHeaderLabels<Label> labels_;
    std::optional<std::array<double, 4>> alpha_, beta_;
};
