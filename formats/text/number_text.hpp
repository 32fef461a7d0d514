// A number as a user types it for an option: the whole text is one number in plain decimal form
// ("15", "-2.5", "1e3"). Nothing may come before or after it, and nothing that a reader of the
// command line would have to guess at is taken: no '+', blanks, hexadecimal, "inf" or "nan".
#pragma once

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>
#include <type_traits>

// True, with the number in `value`, when `text` is one whole number that fits T (and, for a
// floating-point T, is finite); `value` is left as it was otherwise.
template <typename T>
bool ParseWholeNumber(std::string_view text, T& value) {
    T parsed{};
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, parsed);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) {
        return false;
    }
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(parsed)) {
            return false;
        }
    }
    value = parsed;
    return true;
}
