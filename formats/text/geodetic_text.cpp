#include "formats/text/geodetic_text.hpp"

#include <cmath>

#include "formats/text/number_text.hpp"

bool ParseLatLonHeight(std::string_view text, Geodetic& place) {
    double values[3];
    for (int k = 0; k < 3; ++k) {
        const std::size_t comma = text.find(',');
        const bool last = k == 2;
        if (last != (comma == std::string_view::npos) ||
            !ParseWholeNumber(text.substr(0, comma), values[k])) {
            return false;
        }
        text = last ? std::string_view{} : text.substr(comma + 1);
    }
    if (std::fabs(values[0]) > 90.0 || std::fabs(values[1]) > 180.0 ||
        std::fabs(values[2]) > 100000.0) {
        return false;
    }
    place = {values[0], values[1], values[2]};
    return true;
}
