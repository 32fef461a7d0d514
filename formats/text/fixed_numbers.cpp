#include "formats/text/fixed_numbers.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// "-0.00" says nothing that "0.00" does not: the sign of a value that rounds to zero goes.
void AppendWithoutNegativeZero(const char* begin, const char* end, std::string& out) {
    bool zero = true;
    for (const char* p = begin; p != end; ++p) {
        zero = zero && (*p == '-' || *p == '.' || *p == '0');
    }
    out.append(zero && *begin == '-' ? begin + 1 : begin, end);
}

}  // namespace

bool AppendFixedWithin(double value, int maxDecimals, int width, std::string& out) {
    if (!std::isfinite(value)) {
        return false;
    }
    char text[64];
    for (int decimals = maxDecimals; decimals >= 0; --decimals) {
        const auto r =
            std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
        if (r.ec == std::errc() && r.ptr - text <= width) {
            AppendWithoutNegativeZero(text, r.ptr, out);
            return true;
        }
    }
    return false;
}

void AppendFixed(double value, int decimals, std::string& out) {
    // The largest double has 309 digits before the point.
    char text[400];
    const auto r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) {
        AppendWithoutNegativeZero(text, r.ptr, out);
    }
}

void AppendPadded(long long value, int digits, std::string& out) {
    char text[32];
    const bool negative = value < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                                  : static_cast<unsigned long long>(value);
    auto r = std::to_chars(text, text + sizeof text, magnitude);
    const auto length = static_cast<int>(r.ptr - text);
    if (negative) {
        out.push_back('-');
    }
    out.append(static_cast<std::size_t>(digits > length ? digits - length : 0), '0');
    out.append(text, r.ptr);
}
