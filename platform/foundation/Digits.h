#pragma once
// Fixed-width decimal fields, as in dates: exactly the given number of ASCII
// digits, no sign, no blanks.

#include <cstddef>
#include <optional>
#include <string_view>

namespace platform {

// The value of the `width` digits at `pos` (at most 18, so it cannot
// overflow); nullopt when the text is shorter or any of them is no digit.
inline std::optional<long long> readFixedDigits(std::string_view text, std::size_t pos, std::size_t width) {
    if (width > 18 || pos > text.size() || width > text.size() - pos) return std::nullopt;
    long long value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace platform
