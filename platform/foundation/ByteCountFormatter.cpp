#include "platform/foundation/ByteCountFormatter.h"

#include <cmath>
#include <cstdlib>

#include "platform/foundation/Locale.h"

namespace platform {

std::string ByteCountFormatter::stringFromByteCount(std::int64_t byteCount) {
    if (byteCount == 0) return "Zero KB";
    const std::string sign = byteCount < 0 ? "-" : "";
    const double magnitude = std::fabs(static_cast<double>(byteCount));
    if (magnitude < 1000) {
        const auto whole = static_cast<long long>(magnitude);
        return sign + std::to_string(whole) + (whole == 1 ? " byte" : " bytes");
    }
    struct Unit {
        const char* name;
        int fractionDigits;
    };
    static constexpr Unit kUnits[] = {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}};
    double value = magnitude / 1000;
    std::size_t unit = 0;
    // A value that rounds up to 1000 is shown in the next unit ("1 MB", not
    // "1,000 KB").
    auto rounded = [](double v, int digits) {
        const double scale = std::pow(10.0, digits);
        return std::round(v * scale) / scale;
    };
    while (unit + 1 < std::size(kUnits) && rounded(value, kUnits[unit].fractionDigits) >= 1000) {
        value /= 1000;
        ++unit;
    }
    return sign + Locale::current().formatDecimal(rounded(value, kUnits[unit].fractionDigits)) + " " +
           kUnits[unit].name;
}

}  // namespace platform
