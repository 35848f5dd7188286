#include "widgets/Support/NumberFormat.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>
#include <vector>

namespace NumberFormat {

std::optional<Conversion> check(const std::string& format) {
    std::optional<Conversion> found;
    std::size_t i = 0;
    auto digits = [&] {
        std::size_t count = 0;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i, ++count;
        return count;
    };
    for (; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        ++i;
        if (i < format.size() && format[i] == '%') continue;
        if (found) return std::nullopt;
        while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) ++i;
        if (digits() > 3) return std::nullopt;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (digits() > 3) return std::nullopt;
        }
        if (i >= format.size()) return std::nullopt;
        if (format[i] == 'd' || format[i] == 'i') {
            found = Conversion::integer;
        } else if (std::string_view("fFeEgGaA").find(format[i]) != std::string_view::npos) {
            found = Conversion::floating;
        } else {
            return std::nullopt;
        }
    }
    return found;
}

std::string apply(const std::string& format, Conversion conversion, double value) {
    auto print = [&](char* buffer, std::size_t size) {
        if (conversion == Conversion::integer) {
            const double cut = std::isnan(value) ? 0 : std::trunc(value);
            const double held = std::fmax(std::numeric_limits<std::int32_t>::min(),
                                          std::fmin(std::numeric_limits<std::int32_t>::max(), cut));
            return std::snprintf(buffer, size, format.c_str(), static_cast<int>(held));
        }
        return std::snprintf(buffer, size, format.c_str(), value);
    };
    // Printed once when it fits (a chart prints a thousand labels at a
    // time), measured first when it does not.
    char fits[64];
    const int length = print(fits, sizeof fits);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof fits) return std::string(fits, static_cast<std::size_t>(length));
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    print(buffer.data(), buffer.size());
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> format(const std::string& format, double value) {
    const auto conversion = check(format);
    if (!conversion) return std::nullopt;
    return apply(format, *conversion, value);
}

}  // namespace NumberFormat
