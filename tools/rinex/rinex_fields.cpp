#include "tools/rinex/rinex_fields.hpp"

#include <cmath>
#include <cstdio>

namespace rinex_fields {

bool AppendD19(std::string& out, double value) {
    if (!std::isfinite(value)) {
        return false;
    }
    // A value too small for a two-digit exponent is written as zero, as a Fortran reader of the
    // field would read it anyway; one too large does not fit the field.
    if (std::fabs(value) < 1e-99) {
        value = 0.0;
    }
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%19.12E", value);
    if (n != 19 || text[15] != 'E') {  // a three-digit exponent does not fit
        return false;
    }
    text[15] = 'D';
    out.append(text, 19);
    return true;
}

bool AppendFixed(std::string& out, double value, int width, int decimals) {
    if (!std::isfinite(value)) {
        return false;
    }
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    if (n != width) {
        return false;
    }
    out.append(text, static_cast<std::size_t>(n));
    return true;
}

void AppendInteger(std::string& out, long value, int width) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%*ld", width, value);
    out.append(text, static_cast<std::size_t>(n > 0 ? n : 0));
}

void AppendText(std::string& out, std::string_view text, int width) {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::string_view cut = text.substr(0, w);
    out.append(cut);
    out.append(w - cut.size(), ' ');
}

void AppendHeaderLine(std::string& out, std::string_view content, std::string_view label) {
    AppendText(out, content, 60);
    out.append(label.substr(0, 20));
    out.push_back('\n');
}

}  // namespace rinex_fields
